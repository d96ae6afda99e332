#include "platform/imagebox/imagebox_document.h"

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

ImageDocument::ImageDocument() = default;
ImageDocument::~ImageDocument() = default;

void ImageDocument::replaceImage(QImage image)
{
    m_image = normalized(std::move(image));
    forgetPixelSource();
    // The outlines were drawn over the old picture; like the marks on a repainted window they go.
    m_overlays.clear();
    documentChanged(Change::Image);
}

void ImageDocument::Clear() { replaceImage({}); }

void ImageDocument::setPicture(const QImage& image) { replaceImage(image); }

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
