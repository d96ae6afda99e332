#pragma once
// The shared picture loader: any image file the program can read, as a picture of a requested size
// (thumbnails, previews of the rarer types, pages written into documents, player pages).
#include "platform/sys/colors.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>

namespace tf {

// Which reader gave (or last tried to give) the picture.
enum class PicRoute {
    None,        // no reader was tried: unknown type, or nothing to draw into
    Qt,          // the common types, through Qt's image readers
    FreeImage,   // whatever FreeImage recognises, and the common types Qt refused
    ReducedJpeg, // a JPEG decoded at 1/2, 1/4 or 1/8 size because the picture is much smaller
    DevIL,       // the rarer types FreeImage does not know
    Jpeg2000,    // .jp2/.j2k/.jpc files FreeImage did not recognise, read as JPEG 2000 anyway
    Metafile,    // .emf/.wmf: cannot be read here
};

using LoadPicReporter =
    std::function<void(const QString& description, int32_t number, int16_t line, const QString& routine)>;

struct LoadPicOptions {
    // A failure gives no picture without a report; for filling a folder of thumbnails, where one
    // report per broken file would bury the user in dialogs.
    bool quiet = false;
    // Receives the failure report; empty means the program-wide reporter.
    LoadPicReporter reporter;
    // When set, receives the route taken.
    PicRoute* route = nullptr;
};

// Error numbers the loader reports, with the texts the program always used for them.
inline constexpr int32_t kErrInvalidPicture = 481;
inline constexpr int32_t kErrOutOfMemory = 7;

// The lower-cased text after the last point of the file name (not of the folder); a name without
// a point is its own extension.
QString loadPicExtension(const QString& fileName);

// The marker structure of a JPEG held in memory: its frame size, and whether the data runs to the
// end-of-image marker. A file cut short anywhere (header, tables, scan data) is not complete.
struct JpegLayout {
    bool complete = false;
    int32_t width = 0;
    int32_t height = 0;
};
JpegLayout scanJpegLayout(const QByteArray& bytes);

} // namespace tf

// Loads strFile as a picture: size mode 0 at the image's own size (width and height unused),
// 1 fitted into lngWidth x lngHeight and never enlarged, 2 exactly lngWidth x lngHeight with the
// image centred; uncovered parts get lngBackColor (0x00BBGGRR). The outputs always receive the
// decoded image's pixel size, or 0 x 0 when nothing could be decoded. A null image means no
// picture: a file of a type nobody reads, a failed read (reported as routine "LoadPic" unless
// options.quiet), an empty image, or a box below 1 x 1 in modes 1 and 2.
QImage LoadPic(const QString& strFile, int32_t intSizeMode, int32_t lngWidth, int32_t lngHeight,
               tf::OleColor lngBackColor, int32_t& lngImageWidth, int32_t& lngImageHeight,
               const tf::LoadPicOptions& options = {});

// Reads a JPEG 2000 file at its own size whatever FreeImage's type test said, trying the file
// format that its extension names first ("jp2": the boxed file format; otherwise a code stream).
// An empty extension or an unreadable file gives a null image.
QImage fncLoadJPEG2000Picture(const QString& fileName, const QString& extension);
