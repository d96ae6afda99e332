#include "services/modLoadPic.h"

#include "frame/modGlobalErrorHandling.h"
#include "services/modGDIPlus.h"

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
    if (o.picture.isNull() && !pictureSizeAllowed(o.width, o.height)) {
        // Read, but bigger than any picture the program draws.
        o = Outcome{{}, 0, 0, decoded.route, kErrOutOfMemory};
    }
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

QImage fncLoadJPEG2000Picture(const QString& fileName, const QString& extension)
{
    return decodeJpeg2000(fileName, extension);
}

QImage LoadPic(const QString& strFile, int32_t intSizeMode, int32_t lngWidth, int32_t lngHeight,
               OleColor lngBackColor, int32_t& lngImageWidth, int32_t& lngImageHeight, const LoadPicOptions& options)
{
    Outcome o;
    try {
        o = loadAndSize(strFile, intSizeMode, lngWidth, lngHeight, lngBackColor);
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
