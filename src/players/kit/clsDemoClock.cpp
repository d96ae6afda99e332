#include "players/kit/clsDemoClock.h"

#include "platform/ui/msgbox.h"

#include <algorithm>
#include <optional>
#include <cmath>
#include <cstdlib>

namespace tf::players {

namespace {

double angleStep(double radiusX, double radiusY, bool fineStep)
{
    const double k = fineStep ? 0.5340707 : 1.0681413;
    const double r = std::max(std::fabs(radiusX), std::fabs(radiusY));
    return r == 0 ? k : k / r;
}

// A point on a whole pixel is moved off it, so that it always shares its colour between pixels.
double offWhole(double v) { return v == std::floor(v) ? v + 0.001 : v; }

// A colour value as the system translates it: plain and palette-relative colours by their low 24
// bits, a palette index (no palette given) as itself, a system colour through the fixed table.
// Any other high byte, or a system colour index past the table, does not translate.
std::optional<QColor> translatedColor(OleColor color)
{
    const auto value = static_cast<uint32_t>(color);
    const uint32_t bgr = value & 0xFFFFFFu;
    switch (value >> 24) {
    case 0x00:
    case 0x02: return colorFromOle(static_cast<OleColor>(bgr));
    case 0x01:
        if (bgr > 0xFFFF) return std::nullopt;
        return colorFromOle(static_cast<OleColor>(bgr));
    case 0x80:
        // The system's colour indexes run from 0 (scroll bar) to 30 (menu bar).
        if (bgr > 30) return std::nullopt;
        return colorFromOle(color);
    default: return std::nullopt;
    }
}

} // namespace

void clsDemoClock::DIB(QImage* picture)
{
    m_picture = picture;
    m_array = picture ? picture->convertToFormat(QImage::Format_RGB32) : QImage();
    m_valid = !m_array.isNull();
}

void clsDemoClock::Array2Pic()
{
    if (!m_valid) return;
    if (m_picture) *m_picture = m_array.convertToFormat(m_picture->format());
    m_valid = false;
}

void clsDemoClock::SetRGBComponents(OleColor color)
{
    const QColor c = translatedColor(color).value_or(QColor(0, 0, 0));
    m_red = c.red();
    m_green = c.green();
    m_blue = c.blue();
}

void clsDemoClock::blend(QImage& target, int x, int y, int coverage) const
{
    if (x < 0 || y < 0 || x >= target.width() || y >= target.height()) return;
    if (coverage > 252) {
        target.setPixel(x, y, qRgb(m_red, m_green, m_blue));
        return;
    }
    const int a = std::clamp(coverage, 0, 255);
    const QRgb old = target.pixel(x, y);
    const auto mix = [a](int c, int o) { return (c * a + o * (255 - a)) / 256; };
    target.setPixel(x, y, qRgb(mix(m_red, qRed(old)), mix(m_green, qGreen(old)), mix(m_blue, qBlue(old))));
}

void clsDemoClock::splat(QImage& target, double x, double y)
{
    const double px = x - 0.5, py = y - 0.5;
    const int ix = static_cast<int>(std::floor(px)), iy = static_cast<int>(std::floor(py));
    const double fx = px - ix, fy = py - iy;
    // Coverages are cut to whole steps, never rounded up: four shares never add up past 255.
    const auto w = [](double v) { return static_cast<int>(v * 255); };
    blend(target, ix, iy, w((1 - fx) * (1 - fy)));
    blend(target, ix + 1, iy, w(fx * (1 - fy)));
    blend(target, ix, iy + 1, w((1 - fx) * fy));
    blend(target, ix + 1, iy + 1, w(fx * fy));
}

void clsDemoClock::circle(QImage& target, double cx, double cy, double rx, double ry, bool fineStep)
{
    const double step = angleStep(rx, ry, fineStep);
    // The steps are counted, not summed, so that rounding never adds or drops a last point.
    const int steps = static_cast<int>(1.5707960 / step);
    for (int i = 0; i <= steps; ++i) {
        const double t = i * step;
        const double dx = offWhole(rx * std::cos(t)), dy = offWhole(ry * std::sin(t));
        splat(target, cx + dx, cy + dy);
        splat(target, cx - dx, cy + dy);
        splat(target, cx + dx, cy - dy);
        splat(target, cx - dx, cy - dy);
    }
}

void clsDemoClock::arc(QImage& target, double cx, double cy, double rx, double ry, double start, double end,
                       bool fineStep)
{
    if (end < start) end += 360;
    const double step = angleStep(rx, ry, fineStep);
    const double from = start * 0.017453289, to = end * 0.017453289;
    const int steps = static_cast<int>((to - from) / step);
    for (int i = 0; i <= steps; ++i) {
        const double t = from + i * step;
        splat(target, cx + offWhole(rx * std::cos(t)), cy + offWhole(ry * std::sin(t)));
    }
}

void clsDemoClock::line(QImage& target, int x1, int y1, int x2, int y2)
{
    const int dx = x2 - x1, dy = y2 - y1;
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const int ax = std::abs(dx), ay = std::abs(dy);
    if (ax + ay == 0) return;
    // One walk for both directions: `major` runs along the longer axis, `minor` across it.
    const bool steep = ax <= ay;
    const int major = steep ? ay : ax, minor = steep ? ax : ay;
    const int smaj = steep ? sy : sx, smin = steep ? sx : sy;
    const auto at = [&](int along, int across, int coverage) {
        if (steep)
            blend(target, across, along, coverage);
        else
            blend(target, along, across, coverage);
    };
    const int a1 = steep ? y1 : x1, c1 = steep ? x1 : y1;
    const int a2 = steep ? y2 : x2, c2 = steep ? x2 : y2;
    const int capCoverage = minor * 85 / major;
    at(a1 - smaj, c1 - smin, capCoverage);
    at(a1 - smaj, c1, 127);
    at(a2 + smaj, c2 + smin, capCoverage);
    at(a2 + smaj, c2, 127);
    int along = a1, across = c1, e = major / 2;
    for (int i = 0; i <= major; ++i) {
        at(along, across, 255);
        const int c = e * 255 / major;
        at(along, across - smin, 255 - c);
        at(along, across + smin, c);
        e += minor;
        if (e >= major) {
            e -= major;
            across += smin;
        }
        along += smaj;
    }
}

void clsDemoClock::CircleGP(QImage& dc, int32_t centerX, int32_t centerY, int32_t radiusX, int32_t radiusY,
                            OleColor color, bool fineStep)
{
    SetRGBComponents(color);
    circle(dc, centerX, centerY, radiusX, radiusY, fineStep);
}

void clsDemoClock::ArcGP(QImage& dc, int32_t centerX, int32_t centerY, int32_t radiusX, int32_t radiusY,
                         float startAngle, float endAngle, OleColor color, bool fineStep)
{
    SetRGBComponents(color);
    arc(dc, centerX, centerY, radiusX, radiusY, startAngle, endAngle, fineStep);
}

void clsDemoClock::CircleDIB(int32_t centerX, int32_t centerY, int32_t radiusX, int32_t radiusY, OleColor color,
                             bool fineStep)
{
    if (!m_valid) {
        MsgBox(QStringLiteral("You must create a DIB array\r\nbefore calling CircleDIB."));
        return;
    }
    SetRGBComponents(color);
    circle(m_array, centerX, centerY, radiusX, radiusY, fineStep);
}

void clsDemoClock::ArcDIB(int32_t centerX, int32_t centerY, int32_t radiusX, int32_t radiusY, float startAngle,
                          float endAngle, OleColor color, bool fineStep)
{
    if (!m_valid) return;
    SetRGBComponents(color);
    arc(m_array, centerX, centerY, radiusX, radiusY, startAngle, endAngle, fineStep);
}

void clsDemoClock::LineGP(QImage& dc, int16_t x1, int16_t y1, int16_t x2, int16_t y2, OleColor color)
{
    if (x1 == x2 && y1 == y2) return;
    SetRGBComponents(color);
    line(dc, x1, y1, x2, y2);
}

void clsDemoClock::LineDIB(int16_t x1, int16_t y1, int16_t x2, int16_t y2, OleColor color)
{
    if (!m_valid) {
        MsgBox(QStringLiteral("You must create a DIB array\r\nbefore calling LineDIB."));
        return;
    }
    if (x1 == x2 && y1 == y2) return;
    SetRGBComponents(color);
    line(m_array, x1, y1, x2, y2);
}

} // namespace tf::players
