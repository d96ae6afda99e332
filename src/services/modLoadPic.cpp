#include "services/modLoadPic.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/decode/decoder_client.h"
#include "platform/decode/decoder_server.h"
#include "platform/imagebox/imagebox_document.h"
#include "services/modGDIPlus.h"

#include <QFileInfo>
#include <algorithm>
#include <new>

using namespace tf;

namespace {

struct Outcome {
    QImage picture;
    int32_t width = 0;
    int32_t height = 0;
    PicRoute route = PicRoute::None;
    int32_t errorNumber = 0;
};

Outcome loadAndSize(const QString& fileName, int32_t sizeMode, int32_t width, int32_t height, OleColor backColor)
{
    Outcome o;
    DecodeResult decoded = decodePicture({fileName, 1, DecodeCaller::Loader, sizeMode, width, height});
    o.route = decoded.route;
    switch (decoded.status) {
    case DecodeStatus::Ok: break;
    case DecodeStatus::Invalid: o.errorNumber = kErrInvalidPicture; return o;
    case DecodeStatus::TooLarge: o.errorNumber = kErrOutOfMemory; return o;
    default: return o; // a type nobody reads here, or no file: nothing to report
    }
    o.width = decoded.fullSize.width();
    o.height = decoded.fullSize.height();
    if (sizeMode == kSizeModeOwn && decoded.route == PicRoute::FreeImage && decoded.image.hasAlphaChannel() &&
        pictureSizeAllowed(o.width, o.height)) {
        // FreeImage's picture ends the call as it is: its transparency is no back colour's to fill.
        o.picture = decoded.image.convertToFormat(QImage::Format_ARGB32);
        return o;
    }
    o.picture = fncResizePictureGDIPlus(decoded.image, o.width, o.height, kPicTypeBitmap, width, height, sizeMode,
                                        backColor, true);
    if (sizeMode == kSizeModeOwn && !o.picture.isNull()) {
        // A page read here is sized on paper like one the control reads.
        o.picture.setDotsPerMeterX(decoded.image.dotsPerMeterX());
        o.picture.setDotsPerMeterY(decoded.image.dotsPerMeterY());
    }
    if (o.picture.isNull() && !pictureSizeAllowed(o.width, o.height)) {
        // Read, but bigger than any picture the program draws.
        o = Outcome{{}, 0, 0, decoded.route, kErrOutOfMemory};
    }
    return o;
}

// The whole load, sizing included, in a decoder of the shared pool.
Outcome loadGuarded(const QString& fileName, int32_t sizeMode, int32_t width, int32_t height, OleColor backColor)
{
    Outcome o;
    // Nothing to read: no decoder is woken for it, and nothing is reported, as in the decoder.
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile()) return o;
    const decode::DecodeResult answer =
        decode::DecoderPool::shared().decode(loadPicRequest(fileName, sizeMode, width, height, backColor));
    o.picture = loadPicAnswer(answer, o.width, o.height, &o.errorNumber);
    o.route = static_cast<PicRoute>(std::clamp<int32_t>(answer.route, 0, int32_t(PicRoute::Metafile)));
    return o;
}

QString errorText(int32_t number)
{
    switch (number) {
    case kErrOutOfMemory: return QStringLiteral("Out of memory");
    default: return QStringLiteral("Invalid picture");
    }
}

} // namespace

namespace tf {

decode::DecodeRequest loadPicRequest(const QString& fileName, int32_t sizeMode, int32_t width, int32_t height,
                                     OleColor backColor, bool countPages)
{
    decode::DecodeRequest request;
    request.kind = static_cast<uint32_t>(decode::DecodeKind::Picture);
    request.path = fileName;
    request.sizeMode = sizeMode;
    request.width = width;
    request.height = height;
    request.backColor = backColor;
    request.flags = countPages ? kLoadPicCountPages : 0;
    return request;
}

QImage loadPicAnswer(const decode::DecodeResult& answer, int32_t& imageWidth, int32_t& imageHeight, int32_t* errorNumber)
{
    imageWidth = 0;
    imageHeight = 0;
    int32_t number = 0;
    if (!answer.answered()) {
        // A decoder that crashed or hung: the file counts as damaged; one whose memory ran out,
        // as too large.
        number = answer.status == decode::DecodeStatus::OutOfMemory ? kErrOutOfMemory : kErrInvalidPicture;
    } else if (answer.image.isNull() && answer.errorNumber != 0) {
        // The decoder's own loader reports only these two; anything else counts as damage.
        number = answer.errorNumber == kErrOutOfMemory ? kErrOutOfMemory : kErrInvalidPicture;
    }
    if (errorNumber) *errorNumber = number;
    if (!answer.answered() || answer.image.isNull()) return {};
    imageWidth = answer.sourceWidth;
    imageHeight = answer.sourceHeight;
    return answer.image;
}

bool loadPageFile(ImageDocument& doc, const QString& path, std::optional<decode::DecodeResult> ahead,
                  const PageDecode& decodeNow)
{
    // Only a plain file is handed to a decoder; anything else is refused by the readers unopened.
    const bool decodesHere = decodeNow && QFileInfo(path).isFile();
    for (const DecodeStep step : decodeSteps(DecodeCaller::PageWriter, path)) {
        if (step == DecodeStep::Control) {
            doc.setPageIndex(1);
            if (!ahead && decodesHere) {
                ahead = decodeNow(routedRequest({path, 1, DecodeCaller::Control}));
                if (!ahead) return false;
            }
            if (ahead)
                doc.LoadDecoded(path, routedAnswer(std::move(*ahead)));
            else
                doc.LoadFromFile(path);
            ahead.reset(); // the loader's step, if needed, is decoded now
            if (!doc.LoadFailed()) return true;
            continue;
        }
        if (!ahead && decodesHere) {
            ahead = decodeNow(loadPicRequest(path, 0, -1, -1, 16777215));
            if (!ahead) return false;
        }
        int32_t width = 0, height = 0;
        QImage picture;
        if (ahead) {
            picture = loadPicAnswer(*ahead, width, height);
        } else {
            LoadPicOptions options;
            options.quiet = true;
            picture = LoadPic(path, 0, -1, -1, 16777215, width, height, options);
        }
        if (picture.isNull()) return false;
        doc.setBitmapHandle(picture);
        return true;
    }
    return false;
}

} // namespace tf

QImage fncLoadJPEG2000Picture(const QString& fileName, const QString& extension)
{
    return decodeJpeg2000(fileName, extension);
}

QImage LoadPic(const QString& strFile, int32_t intSizeMode, int32_t lngWidth, int32_t lngHeight,
               OleColor lngBackColor, int32_t& lngImageWidth, int32_t& lngImageHeight, const LoadPicOptions& options)
{
    Outcome o;
    try {
        o = decode::isDecoderProcess() ? loadAndSize(strFile, intSizeMode, lngWidth, lngHeight, lngBackColor)
                                       : loadGuarded(strFile, intSizeMode, lngWidth, lngHeight, lngBackColor);
    } catch (const std::bad_alloc&) {
        o = Outcome{};
        o.errorNumber = kErrOutOfMemory;
    }
    lngImageWidth = o.width;
    lngImageHeight = o.height;
    if (options.route) *options.route = o.route;
    if (o.picture.isNull() && o.errorNumber != 0 && !options.quiet) {
        const QString routine = QStringLiteral("LoadPic");
        if (options.reporter)
            options.reporter(errorText(o.errorNumber), o.errorNumber, 0, routine);
        else
            subGlobalErrorHandler(errorText(o.errorNumber), o.errorNumber, 0, routine);
    }
    return o.picture;
}
