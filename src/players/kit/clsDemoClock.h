#pragma once
// Anti-aliased circles, elliptic arcs and lines in one colour, by coverage: every ideal point or
// line step spreads the colour over its neighbouring pixels with weights 0..255, each blended
// with what the pixel already holds. The GP members draw straight onto a picture pixel by pixel;
// the DIB members draw into a 32-bit copy taken by DIB and written back by Array2Pic.
#include "platform/sys/colors.h"

#include <QImage>
#include <cstdint>

namespace tf::players {

class clsDemoClock {
public:
    // Takes a copy of the picture's pixels to draw into; Array2Pic puts them back into it.
    void DIB(QImage* picture);
    void CircleGP(QImage& dc, int32_t centerX, int32_t centerY, int32_t radiusX, int32_t radiusY, OleColor color,
                  bool fineStep);
    void ArcGP(QImage& dc, int32_t centerX, int32_t centerY, int32_t radiusX, int32_t radiusY, float startAngle,
               float endAngle, OleColor color, bool fineStep);
    void CircleDIB(int32_t centerX, int32_t centerY, int32_t radiusX, int32_t radiusY, OleColor color, bool fineStep);
    void ArcDIB(int32_t centerX, int32_t centerY, int32_t radiusX, int32_t radiusY, float startAngle, float endAngle,
                OleColor color, bool fineStep);
    void SetRGBComponents(OleColor color);
    void LineGP(QImage& dc, int16_t x1, int16_t y1, int16_t x2, int16_t y2, OleColor color);
    void LineDIB(int16_t x1, int16_t y1, int16_t x2, int16_t y2, OleColor color);
    void Array2Pic();

    bool arrayValid() const { return m_valid; }

private:
    void circle(QImage& target, double cx, double cy, double rx, double ry, bool fineStep);
    void arc(QImage& target, double cx, double cy, double rx, double ry, double start, double end, bool fineStep);
    void line(QImage& target, int x1, int y1, int x2, int y2);
    void splat(QImage& target, double x, double y);
    void blend(QImage& target, int x, int y, int coverage) const;

    QImage* m_picture = nullptr;
    QImage m_array;
    bool m_valid = false;
    int m_red = 0, m_green = 0, m_blue = 0;
};

} // namespace tf::players
