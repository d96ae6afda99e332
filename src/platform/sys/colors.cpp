#include "platform/sys/colors.h"

#include <array>

namespace tf {

namespace {
// The classic Windows scheme, which is what documents made with the original program assumed.
constexpr std::array<uint32_t, 31> kSystemTable = {
    0xC8D0D4, // 0 scroll bar
    0xA56E3A, // 1 desktop
    0x6A240A, // 2 active caption
    0x808080, // 3 inactive caption
    0xC8D0D4, // 4 menu
    0xFFFFFF, // 5 window
    0x000000, // 6 window frame
    0x000000, // 7 menu text
    0x000000, // 8 window text
    0xFFFFFF, // 9 caption text
    0xC8D0D4, // 10 active border
    0xC8D0D4, // 11 inactive border
    0x808080, // 12 application workspace
    0x6A240A, // 13 highlight
    0xFFFFFF, // 14 highlight text
    0xC8D0D4, // 15 button face
    0x808080, // 16 button shadow
    0x808080, // 17 grey text
    0x000000, // 18 button text
    0xC8D0D4, // 19 inactive caption text
    0xFFFFFF, // 20 button highlight
    0x404040, // 21 3D dark shadow
    0xC8D0D4, // 22 3D light
    0x000000, // 23 info text
    0xE1FFFF, // 24 info background
    0xB5B5B5, // 25 (unused slot)
    0x800000, // 26 hot light
    0xF0CAA6, // 27 gradient active caption
    0xC0C0C0, // 28 gradient inactive caption
    0xFF6B31, // 29 menu highlight
    0xC8D0D4, // 30 menu bar
};

QColor fromBgr(uint32_t bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}
} // namespace

bool isSystemColor(OleColor color)
{
    return (static_cast<uint32_t>(color) & 0x80000000u) != 0;
}

QColor systemColor(int index)
{
    if (index < 0 || index >= static_cast<int>(kSystemTable.size())) return QColor(0, 0, 0);
    return fromBgr(kSystemTable[static_cast<size_t>(index)]);
}

QColor colorFromOle(OleColor color)
{
    if (isSystemColor(color)) return systemColor(static_cast<int>(static_cast<uint32_t>(color) & 0xFFFFu));
    return fromBgr(static_cast<uint32_t>(color) & 0xFFFFFFu);
}

OleColor oleFromColor(const QColor& color)
{
    const QColor c = color.toRgb();
    return rgb(c.red(), c.green(), c.blue());
}

} // namespace tf
