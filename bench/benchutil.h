#pragma once
// What the benchmarks share: photo-like test pictures and the "[COUNT] [WIDTHxHEIGHT]" arguments.
#include <QImage>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tf::bench {

// Smooth shapes and fine noise, so the files have the size of real photos; the seed makes each
// picture different.
inline QImage makePhoto(int width, int height, quint32 seed)
{
    QImage img(width, height, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    const double phase = rng.bounded(100) / 10.0;
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double s = std::sin(x / 173.0 + phase) * std::cos(y / 131.0 - phase);
            const int noise = static_cast<int>(rng.bounded(24)) - 12;
            line[x] = qRgb(std::clamp(static_cast<int>(128 + 90 * s) + noise, 0, 255),
                           std::clamp(x * 255 / width + noise, 0, 255), std::clamp(y * 255 / height - noise, 0, 255));
        }
    }
    return img;
}

// Reads "[COUNT] [WIDTHxHEIGHT]" (either may be left out, in any order); false on anything else.
inline bool parseCountAndSize(const QStringList& args, int& count, int& width, int& height, int maxSide = 1000)
{
    for (const QString& arg : args) {
        bool ok = false;
        if (arg.contains('x')) {
            const QStringList parts = arg.split('x');
            bool okW = false, okH = false;
            if (parts.size() == 2) {
                width = parts[0].toInt(&okW);
                height = parts[1].toInt(&okH);
            }
            ok = okW && okH && width > 0 && height > 0 && width <= maxSide && height <= maxSide;
        } else {
            count = arg.toInt(&ok);
            ok = ok && count > 0;
        }
        if (!ok) return false;
    }
    return true;
}

} // namespace tf::bench
