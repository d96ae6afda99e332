#include "controls/splittermodel.h"

#include "platform/sys/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tf {

namespace {
int64_t floorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

int clampToInt(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}
} // namespace

int SplitterModel::percentOf(int c, int size)
{
    if (size <= 0) return 0;
    return clampToInt(floorDiv(int64_t{100} * c, size));
}

int SplitterModel::pixelAt(int size, int percent)
{
    return clampToInt(floorDiv(int64_t{size} * percent, 100));
}

QRect SplitterModel::rectAt(int edge) const
{
    if (isTopBottom()) return QRect(0, edge, m_w, m_barWidth);
    return QRect(edge, 0, m_barWidth, m_h);
}

void SplitterModel::setSize(int width, int height)
{
    m_w = std::max(0, width);
    m_h = std::max(0, height);
}

void SplitterModel::resize(int width, int height)
{
    setSize(width, height);
    placeMover();
    refresh();
}

void SplitterModel::setOrientation(int value)
{
    m_orientation = value;
    m_bar = rectAt(pixelAt(spanLength(), m_position));
    m_mover = m_bar;
}

void SplitterModel::setSplitterWidth(int value)
{
    // A bar cannot be thinner than nothing; a negative width would give inverted rectangles.
    m_barWidth = std::max(0, value);
    placeMover();
    refresh();
}

void SplitterModel::setSplitterPosition(int value)
{
    // Max first, then Min, so Min wins when the limits cross.
    if (value > m_max) value = m_max;
    if (value < m_min) value = m_min;
    m_position = value;
    placeMover();
    refresh();
}

void SplitterModel::setSplitterMax(int value)
{
    if (value < 0) value = 1;
    if (value > 100) value = 99;
    if (value < m_min) value = m_min + 1;
    m_max = value;
    placeMover();
    refresh();
}

void SplitterModel::setSplitterMin(int value)
{
    if (value > 100) value = 99;
    if (value < 0) value = 1;
    if (value > m_max) value = m_max - 1;
    m_min = value;
    placeMover();
    refresh();
}

void SplitterModel::placeMover()
{
    m_mover = rectAt(pixelAt(spanLength(), m_position));
}

void SplitterModel::refresh()
{
    m_bar = m_mover;
}

QRect SplitterModel::leftOrTopRect() const
{
    if (isTopBottom()) return QRect(0, 0, m_w, std::max(0, m_bar.top()));
    return QRect(0, 0, std::max(0, m_bar.left()), m_h);
}

QRect SplitterModel::rightOrBottomRect() const
{
    if (isTopBottom()) {
        const int64_t top = int64_t{m_bar.top()} + m_barWidth;
        return QRect(0, clampToInt(top), m_w, clampToInt(std::max<int64_t>(0, m_h - top)));
    }
    const int64_t left = int64_t{m_bar.left()} + m_barWidth;
    return QRect(clampToInt(left), 0, clampToInt(std::max<int64_t>(0, m_w - left)), m_h);
}

void SplitterModel::beginDrag()
{
    m_mover = m_bar;
    m_dragging = true;
}

bool SplitterModel::dragTo(double edge)
{
    if (!m_dragging || !std::isfinite(edge)) return false;
    const int size = spanLength();
    const int c = roundToLong(edge);
    if (!(pixelAt(size, m_max) > c && c > pixelAt(size, m_min))) return false;
    // The shadow follows the mouse point itself; only the percent is taken from the rounded pixel.
    m_mover = rectAt(clampToInt(static_cast<int64_t>(std::floor(edge))));
    m_position = percentOf(c, size);
    return true;
}

void SplitterModel::endDrag()
{
    if (!m_dragging) return;
    m_dragging = false;
    m_bar = m_mover;
}

} // namespace tf
