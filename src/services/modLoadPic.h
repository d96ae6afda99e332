#pragma once
// The shared picture loader: any image file the program can read, as a picture of a requested size
// (thumbnails, previews of the rarer types, pages written into documents, player pages).
#include "platform/decode/decode_types.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/sys/colors.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace tf {

class ImageDocument;

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

// The loader's request for a decoder, for callers that load many pictures at once through a
// DecodeBatch (decoder_client.h); countPages asks the decoder for the file's page count as well
// (kLoadPicCountPages in the request's flags).
inline constexpr uint32_t kLoadPicCountPages = 1;
decode::DecodeRequest loadPicRequest(const QString& fileName, int32_t sizeMode, int32_t width, int32_t height,
                                     OleColor backColor, bool countPages = false);
// LoadPic's picture and size outputs from a decoder's answer to that request; errorNumber, when
// given, receives the number LoadPic would report (0 for none). A decoder that crashed, hung or
// sent nonsense gives the damaged-file number, one that ran out of memory the out-of-memory one.
QImage loadPicAnswer(const decode::DecodeResult& answer, int32_t& imageWidth, int32_t& imageHeight,
                     int32_t* errorNumber = nullptr);

// A page on its way into a document, read into `doc` as every page writer reads one, from the
// decode made ahead for it when there is one (the answer to the request of its first step). A
// page the image control cannot read gets a second chance through the shared loader; false when
// neither could read it (nothing is reported: the writer names every page left out at the end).
//
// `decodeNow`, when given, makes each decode the page still needs (none was made ahead, or the
// second chance) for a plain file, and gives nothing when the wait for it was cut short: the page
// is then not read. Without it those decodes wait here for the decoders.
using PageDecode = std::function<std::optional<decode::DecodeResult>(const decode::DecodeRequest&)>;
bool loadPageFile(ImageDocument& doc, const QString& path, std::optional<decode::DecodeResult> ahead = std::nullopt,
                  const PageDecode& decodeNow = {});

} // namespace tf

// Loads strFile as a picture: size mode 0 at the image's own size (width and height unused),
// 1 fitted into lngWidth x lngHeight and never enlarged, 2 exactly lngWidth x lngHeight with the
// image centred; uncovered parts get lngBackColor (0x00BBGGRR). The outputs always receive the
// decoded image's pixel size, or 0 x 0 when nothing could be decoded. At its own size a picture
// FreeImage read keeps its transparency; every other picture is opaque. A null image means no
// picture: a file of a type nobody reads, a failed read (reported as routine "LoadPic" unless
// options.quiet), an empty image, or a box below 1 x 1 in modes 1 and 2. The reading runs in a
// decoder of the shared pool (decoder_client.h); a decoder that fails counts as a failed read.
QImage LoadPic(const QString& strFile, int32_t intSizeMode, int32_t lngWidth, int32_t lngHeight,
               tf::OleColor lngBackColor, int32_t& lngImageWidth, int32_t& lngImageHeight,
               const tf::LoadPicOptions& options = {});

// Reads a JPEG 2000 file at its own size whatever FreeImage's type test said, trying the file
// format that its extension names first ("jp2": the boxed file format; otherwise a code stream).
// An empty extension or an unreadable file gives a null image.
QImage fncLoadJPEG2000Picture(const QString& fileName, const QString& extension);
