#include "platform/imagebox/imagebox_document.h"

#include <QColor>
#include <algorithm>

namespace tf {

namespace {
// The control works in a handful of formats: the depths files come in (1, 8, 24 bit), and 32 bit
// for anything painted or with alpha. Everything else is converted once, on the way in.
QImage normalized(QImage image)
{
    switch (image.format()) {
    case QImage::Format_Invalid: return {};
    case QImage::Format_Mono:
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB888:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: return image;
    case QImage::Format_MonoLSB: return image.convertToFormat(QImage::Format_Mono);
    default: return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
}
} // namespace

ImageDocument::ImageDocument(QObject* parent) : QObject(parent) {}
ImageDocument::~ImageDocument() = default;

void ImageDocument::replaceImage(QImage image)
{
    m_image = normalized(std::move(image));
    forgetPixelSource();
    emit imageChanged();
}

void ImageDocument::Clear() { replaceImage({}); }

void ImageDocument::setPicture(const QImage& image) { replaceImage(image); }

OleColor ImageDocument::PixelColor(int32_t x, int32_t y) const
{
    if (!HasImage()) return 0;
    x = std::clamp(x, 0, m_image.width() - 1);
    y = std::clamp(y, 0, m_image.height() - 1);
    return oleFromColor(QColor(m_image.pixel(x, y)));
}

int32_t ImageDocument::BitsPerPixel() const
{
    switch (m_image.format()) {
    case QImage::Format_Invalid: return 0;
    case QImage::Format_Mono: return 1;
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8: return 8;
    case QImage::Format_RGB888:
    case QImage::Format_RGB32: return 24;
    default: return 32;
    }
}

} // namespace tf
