#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_geometry.h"

#include <algorithm>
#include <cmath>

namespace tf {

QRect OverlayRectangle::normalized() const
{
    // Right and bottom are exclusive, whichever way round the corners came.
    const int32_t l = std::min(left, right), r = std::max(left, right);
    const int32_t t = std::min(top, bottom), b = std::max(top, bottom);
    return QRect(QPoint(l, t), QPoint(std::max(l, r - 1), std::max(t, b - 1)));
}

void ImageDocument::setFitToWindow(bool fit)
{
    m_fitToWindow = fit;
    documentChanged(Change::Display);
}

double ImageDocument::Zoom() const
{
    if (m_fitToWindow && HasImage()) return 100.0 * displaySize().width() / m_image.width();
    return m_zoom;
}

void ImageDocument::setZoom(double percent)
{
    if (!std::isfinite(percent) || percent <= 0.0 || percent > 10000.0)
        throw ImageBoxError(imagebox_error::kInvalidProperty, QStringLiteral("Zoom must be above 0 and at most 10000 percent"));
    m_zoom = percent;
    documentChanged(Change::Display);
}

void ImageDocument::setBoxSize(QSize size)
{
    if (size == m_boxSize) return;
    m_boxSize = size;
    documentChanged(Change::Display);
}

QSize ImageDocument::displaySize() const
{
    if (!HasImage()) return {0, 0};
    return m_fitToWindow ? fitSize(m_image.size(), boxSize()) : zoomedSize(m_image.size(), m_zoom);
}

void ImageDocument::DrawRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    const OverlayRectangle r{left, top, right, bottom};
    const auto it = std::find(m_overlays.begin(), m_overlays.end(), r);
    if (it != m_overlays.end())
        m_overlays.erase(it);
    else
        m_overlays.push_back(r);
    documentChanged(Change::Overlay);
}

OleColor ImageDocument::PixelColor(int32_t x, int32_t y) const
{
    if (!HasImage()) return 0;
    x = std::clamp(x, 0, m_image.width() - 1);
    y = std::clamp(y, 0, m_image.height() - 1);
    return oleFromColor(QColor(m_image.pixel(x, y)));
}

} // namespace tf
