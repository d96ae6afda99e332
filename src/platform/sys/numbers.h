#pragma once
#include <cmath>
#include <cstdint>

namespace tf {

// The program rounds the way its stored values were always rounded: half to even.
inline double roundHalfEven(double value)
{
    return std::nearbyint(value); // the default FE_TONEAREST mode is half-to-even
}

// Whole-number conversions with the 16- and 32-bit widths that stored records use; values out of
// range are clamped instead of wrapping into nonsense.
inline int32_t roundToLong(double value)
{
    const double r = roundHalfEven(value);
    if (std::isnan(r)) return 0;
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

inline int16_t roundToInteger(double value)
{
    const int32_t r = roundToLong(value);
    if (r > INT16_MAX) return INT16_MAX;
    if (r < INT16_MIN) return INT16_MIN;
    return static_cast<int16_t>(r);
}

// Stored window sizes are in twips; the screen is always taken as 96 dpi.
inline constexpr int kTwipsPerPixel = 15;
inline constexpr int32_t pixelsToTwips(int32_t pixels) { return pixels * kTwipsPerPixel; }
inline int32_t twipsToPixels(int32_t twips) { return roundToLong(static_cast<double>(twips) / kTwipsPerPixel); }

// Flags stored in records and handed to the image control.
inline constexpr int16_t kTrue = -1;
inline constexpr int16_t kFalse = 0;
inline constexpr int16_t toFlag(bool b) { return b ? kTrue : kFalse; }

} // namespace tf
