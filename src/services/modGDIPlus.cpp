#include "services/modGDIPlus.h"

#include "platform/sys/numbers.h"

#include <QImageReader>
#include <QPainter>

namespace tf {

namespace {

QImage scalableColours(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
    default: return image;
    }
}

void drawInto(const QImage& image, QImage& picture, const DrawRect& r)
{
    if (image.isNull() || picture.isNull() || r.width <= 0 || r.height <= 0) return;
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (image.width() == r.width && image.height() == r.height) {
        painter.drawImage(r.left, r.top, image);
    } else {
        // Qt's smooth scaling averages areas when it shrinks, which is what a thumbnail needs;
        // a painter transform alone would only sample. It keeps a 1-bit or palette image in its
        // own format, though, where averaging has nowhere to go: the colours are lost to a
        // black-and-white pattern or the nearest sample, so such an image is scaled in colour.
        painter.drawImage(r.left, r.top,
                          scalableColours(image).scaled(r.width, r.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
}

QImage makePicture(const QImage& image, int32_t geometryWidth, int32_t geometryHeight, int32_t sizeMode,
                   int32_t width, int32_t height, OleColor backColor, bool keepAspect)
{
    int32_t targetWidth = 0;
    int32_t targetHeight = 0;
    if (image.isNull()) return {};
    if (!pictureTargetSize(sizeMode, geometryWidth, geometryHeight, width, height, targetWidth, targetHeight)) return {};
    QImage picture = fncCreateMemoryBitmap(targetWidth, targetHeight, backColor);
    if (picture.isNull()) return {};
    const DrawRect r = keepAspect ? keepAspectRect(geometryWidth, geometryHeight, targetWidth, targetHeight)
                                  : DrawRect{0, 0, targetWidth, targetHeight};
    drawInto(image, picture, r);
    if (sizeMode != kSizeModeFit && sizeMode != kSizeModeBox) {
        // At its own size the picture still describes the same page, so its resolution stays.
        picture.setDotsPerMeterX(image.dotsPerMeterX());
        picture.setDotsPerMeterY(image.dotsPerMeterY());
    }
    return picture;
}

} // namespace

} // namespace tf

using namespace tf;

int32_t fncStartGDIPlus()
{
    return 1;
}

void subStopGDIPlus(int32_t) {}

QImage fncCreateMemoryBitmap(int32_t width, int32_t height, OleColor backColor)
{
    if (!pictureSizeAllowed(width, height)) return {};
    QImage picture(width, height, QImage::Format_RGB32);
    if (picture.isNull()) return {};
    picture.fill(colorFromOle(backColor));
    return picture;
}

void subDrawImageGDIPlus(const QImage& image, QImage& picture, int32_t width, int32_t height, bool keepAspect)
{
    const DrawRect r = keepAspect ? keepAspectRect(image.width(), image.height(), width, height)
                                  : DrawRect{0, 0, width, height};
    drawInto(image, picture, r);
}

QImage fncLoadPictureGDIPlus(const QString& fileName, int32_t sizeMode, int32_t width, int32_t height,
                             OleColor backColor, bool keepAspect, int32_t& imageWidth, int32_t& imageHeight)
{
    QImageReader reader(fileName);
    reader.setAutoTransform(false);
    reader.setAllocationLimit(static_cast<int>(kMaxPicturePixels * 4 / (1024 * 1024)));
    QImage image;
    if (!reader.read(&image) || image.isNull()) return {};
    imageWidth = image.width();
    imageHeight = image.height();
    return makePicture(image, image.width(), image.height(), sizeMode, width, height, backColor, keepAspect);
}

QImage fncResizePictureGDIPlus(const QImage& source, int32_t sourceWidth, int32_t sourceHeight, int32_t handleType,
                               int32_t width, int32_t height, int32_t sizeMode, OleColor backColor, bool keepAspect)
{
    if (handleType != kPicTypeBitmap && handleType != kPicTypeIcon) return {};
    return makePicture(source, sourceWidth, sourceHeight, sizeMode, width, height, backColor, keepAspect);
}

QImage fncResizePicture(const QImage& picture, int32_t sizeMode, int32_t width, int32_t height, OleColor backColor)
{
    return fncResizePictureGDIPlus(picture, picture.width(), picture.height(), kPicTypeBitmap, width, height, sizeMode,
                                   backColor, true);
}
