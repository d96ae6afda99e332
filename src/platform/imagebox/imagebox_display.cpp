#include "platform/imagebox/imagebox.h"
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

} // namespace tf

void ImageBox::setFitToWindow(bool fit)
{
    m_fitToWindow = fit;
    displayChanged();
}

double ImageBox::Zoom() const
{
    if (m_fitToWindow && HasImage()) return 100.0 * displaySize().width() / ImageWidth();
    return m_zoom;
}

void ImageBox::setZoom(double percent)
{
    if (!std::isfinite(percent) || percent <= 0.0 || percent > 10000.0)
        throw tf::ImageBoxError(tf::imagebox_error::kInvalidProperty,
                                QStringLiteral("Zoom must be above 0 and at most 10000 percent"));
    m_zoom = percent;
    displayChanged();
}

QSize ImageBox::displaySize() const
{
    if (!HasImage()) return {0, 0};
    return m_fitToWindow ? tf::fitSize(image().size(), boxSize()) : tf::zoomedSize(image().size(), m_zoom);
}

void ImageBox::DrawRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    const tf::OverlayRectangle r{left, top, right, bottom};
    const auto it = std::find(m_overlays.begin(), m_overlays.end(), r);
    if (it != m_overlays.end())
        m_overlays.erase(it);
    else
        m_overlays.push_back(r);
    viewport()->update();
}
