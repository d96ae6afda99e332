#pragma once
// The one way into the picture decoders (FreeImage, DevIL, Qt's readers and our own): a request
// names the file, the page, who asks and the size wanted; the answer is the image with its
// resolution, or why there is none. Which reader reads what, and in which order, is said here
// once for every caller; the callers only size and show the result. The routing runs in a
// guarded decoder process (platform/decode), never in the window's.
#include "platform/decode/decode_types.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <vector>

namespace tf {

// Which reader gave (or last tried to give) the picture.
enum class PicRoute {
    None,        // no reader was tried: not a file, unknown type, or nothing to draw into
    Control,     // the image control's readers (FreeImage, our own PSD/PCX/Targa readers, Qt's)
    Qt,          // the common types, through Qt's image readers
    FreeImage,   // whatever FreeImage recognises, and the common types Qt refused
    ReducedJpeg, // a JPEG decoded at 1/2, 1/4 or 1/8 size because the picture is much smaller
    DevIL,       // the rarer types FreeImage does not know
    Jpeg2000,    // .jp2/.j2k/.jpc files FreeImage did not recognise, read as JPEG 2000 anyway
    Metafile,    // .emf/.wmf: cannot be read here
};

// Who asks. Each has its own order of readers.
enum class DecodeCaller {
    Control,    // the image control's LoadFromFile: previews, pages of multipage files
    Loader,     // the shared picture loader LoadPic: thumbnails, the rarer types
    PageWriter, // a basket page on its way into a document
};

// The steps a caller takes for a file, in order, each ending the search when it gives a picture.
enum class DecodeStep {
    Control, // the image control's readers, page by page (ImageDocument::LoadFromFile)
    Loader,  // the shared picture loader at the picture's own size (LoadPic)
};
std::vector<DecodeStep> decodeSteps(DecodeCaller caller, const QString& path);

struct DecodeRequest {
    QString path;
    int page = 1; // 1 = first
    DecodeCaller caller = DecodeCaller::Control;
    // The picture the loader will make (0 own size, 1 fitted into the box, 2 the box): a JPEG much
    // larger than that is decoded reduced.
    int32_t sizeMode = 0;
    int32_t boxWidth = 0;
    int32_t boxHeight = 0;
};

enum class DecodeStatus {
    Ok,
    NotAFile, // missing, a folder, a pipe or a device: never opened
    NoReader, // no reader for this type, or a reader of the rarer types could not: nothing to report
    Invalid,  // damaged, cut short, empty, or no such page
    TooLarge, // a picture bigger than the program decodes
};

struct DecodeResult {
    DecodeStatus status = DecodeStatus::NoReader;
    QImage image;   // with its resolution; smaller than fullSize after a reduced decode
    QSize fullSize; // the picture's own size
    int pageCount = 0;
    PicRoute route = PicRoute::None;
    QString failure; // why there is no image, in a few words
    bool ok() const { return status == DecodeStatus::Ok; }
};

// Runs in a decoder of the shared pool (decoder_client.h), or in process inside a decoder. A
// decoder that crashes, hangs or runs out of memory gives Invalid with the failure "Unable to read".
DecodeResult decodePicture(const DecodeRequest& request);

// decodePicture in two halves, for callers that decode ahead in a batch of the pool: the request
// a decoder answers, and its answer as decodePicture gives it.
decode::DecodeRequest routedRequest(const DecodeRequest& request);
DecodeResult routedAnswer(decode::DecodeResult answer);

// The decoder program's side of decodePicture: a DecodeKind::Routed request answered with the
// routing run in process.
decode::DecodeResult serveRoutedRequest(const decode::DecodeRequest& request);

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

// A JPEG 2000 file at its own size whatever FreeImage's type test said, trying the file format
// its extension names first ("jp2": the boxed file format; otherwise a code stream).
QImage decodeJpeg2000(const QString& path, const QString& extension);

} // namespace tf
