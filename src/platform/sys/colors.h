#pragma once
#include <QColor>
#include <cstdint>

namespace tf {

// Colours travel as 0x00BBGGRR longs. A value with the top bit set names a system colour
// (0x800000nn, nn = index); those resolve through one fixed table so that image work gives the
// same pixels whatever the desktop theme.
using OleColor = int32_t;

inline constexpr OleColor kSystemColorFlag = static_cast<OleColor>(0x80000000u);

bool isSystemColor(OleColor color);
QColor systemColor(int index);          // index 0..30; out of range gives black
QColor colorFromOle(OleColor color);    // resolves system colours through the table
OleColor oleFromColor(const QColor& color); // always a plain RGB value, alpha dropped
inline constexpr OleColor rgb(int r, int g, int b) { return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16); }

} // namespace tf
