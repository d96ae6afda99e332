#pragma once
#include "editing/TaskRecords.h"

#include <QImage>
#include <initializer_list>
#include <vector>

namespace tf::test {

// Every pixel different: red from x, green from y.
inline QImage gradient(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x * 10 % 256, y * 10 % 256, 100));
    img.setDotsPerMeterX(11811);
    img.setDotsPerMeterY(7874);
    return img;
}

inline QImage solid(int w, int h, QColor c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

// A recorded row: code and p1, p2, ... in order.
inline EditTask row(TaskCode code, std::initializer_list<const char*> params = {})
{
    EditTask t = makeEditTask(code);
    int n = 1;
    for (const char* p : params) t.setP(n++, QString::fromUtf8(p));
    return t;
}

// Rows as a task basket file holds them, as the edit list keeps them.
inline std::vector<task::Entry> entries(const std::vector<EditTask>& rows)
{
    std::vector<task::Entry> out;
    for (const EditTask& r : rows) out.push_back(task::Entry::fromRow(r));
    return out;
}

// The bounding box of pixels that differ from `background`; empty when none do.
inline QRect changedArea(const QImage& img, QRgb background)
{
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFFu) != (background & 0xFFFFFFu)) box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace tf::test
