#include "platform/imagebox/imagebox_geometry.h"

#include "platform/sys/numbers.h"

#include <algorithm>
#include <climits>

namespace tf {

namespace {
int clampSide(double v)
{
    const double r = roundHalfEven(v);
    if (!(r >= 1.0)) return 1;
    if (r >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(r);
}
} // namespace

QSize fitSize(QSize image, QSize box)
{
    if (image.width() <= 0 || image.height() <= 0) return {0, 0};
    if (!box.isValid()) return image; // no window at all; a collapsed one still fits below
    const int bw = std::max(1, box.width());
    const int bh = std::max(1, box.height());
    if (image.width() <= bw && image.height() <= bh) return image;

    const double w = image.width();
    const double h = image.height();
    // Two candidates: the full box width, or the full box height. Of those that fit, the larger
    // wins (ties go to the full width). Choosing among fitting candidates, rather than by the
    // smaller ratio alone, is what makes the result a fixed point of fitting.
    const QSize byWidth(bw, clampSide(h * bw / w));
    const QSize byHeight(clampSide(w * bh / h), bh);
    const bool widthFits = byWidth.height() <= bh;
    const bool heightFits = byHeight.width() <= bw;
    if (widthFits && heightFits) {
        const qint64 aw = qint64(byWidth.width()) * byWidth.height();
        const qint64 ah = qint64(byHeight.width()) * byHeight.height();
        return aw >= ah ? byWidth : byHeight;
    }
    return widthFits ? byWidth : byHeight;
}

QSize zoomedSize(QSize image, double zoomPercent)
{
    if (image.width() <= 0 || image.height() <= 0) return {0, 0};
    return {clampSide(image.width() * zoomPercent / 100.0), clampSide(image.height() * zoomPercent / 100.0)};
}

QPoint displayOrigin(QSize display, QSize viewport, QPoint scroll)
{
    const int x = display.width() < viewport.width() ? static_cast<int>(roundHalfEven((viewport.width() - display.width()) / 2.0))
                                                     : -scroll.x();
    const int y = display.height() < viewport.height()
                      ? static_cast<int>(roundHalfEven((viewport.height() - display.height()) / 2.0))
                      : -scroll.y();
    return {x, y};
}

} // namespace tf
