#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/picture_limits.h"

#include <QtEndian>
#include <cstring>

namespace tf::imagebox {

namespace {

QImage fail(QString* failure, const char* why)
{
    if (failure) *failure = QString::fromLatin1(why);
    return {};
}

// A run byte repeats the next byte up to 63 times, so 2 bytes of file give at most 63 of picture.
constexpr qint64 kMaxRunExpansion = 32;

} // namespace

QImage decodePcx(const uchar* data, qint64 size, QString* failure)
{
    if (size < 128 || data[0] != 0x0A) return fail(failure, "not a PCX file");
    const int encoding = data[2];
    const int bits = data[3];
    const qint64 xMin = qFromLittleEndian<quint16>(data + 4), yMin = qFromLittleEndian<quint16>(data + 6);
    const qint64 xMax = qFromLittleEndian<quint16>(data + 8), yMax = qFromLittleEndian<quint16>(data + 10);
    const int dpiX = qFromLittleEndian<quint16>(data + 12), dpiY = qFromLittleEndian<quint16>(data + 14);
    const int planes = data[65];
    const qint64 bytesPerLine = qFromLittleEndian<quint16>(data + 66);
    const qint64 width = xMax - xMin + 1, height = yMax - yMin + 1;
    if (width < 1 || height < 1 || (encoding != 0 && encoding != 1)) return fail(failure, "damaged PCX header");

    enum class Kind { Mono, PlanarIndexed, PackedIndexed, Palette256, Rgb, Rgba } kind;
    if (bits == 1 && planes == 1) kind = Kind::Mono;
    else if (bits == 1 && planes >= 2 && planes <= 4) kind = Kind::PlanarIndexed;
    else if ((bits == 2 || bits == 4) && planes == 1) kind = Kind::PackedIndexed;
    else if (bits == 8 && planes == 1) kind = Kind::Palette256;
    else if (bits == 8 && planes == 3) kind = Kind::Rgb;
    else if (bits == 8 && planes == 4) kind = Kind::Rgba;
    else return fail(failure, "unsupported PCX depth");
    if (bytesPerLine < (width * bits + 7) / 8) return fail(failure, "damaged PCX header");
    if (!sizeAllowed(width, height, bits * planes)) {
        if (failure) *failure = pictureTooLargeText(width, height);
        return {};
    }

    // Each line holds every plane in turn. Runs may run on from one line into the next.
    const qint64 lineBytes = bytesPerLine * planes;
    const qint64 total = lineBytes * height;
    const qint64 available = size - 128;
    if (total > kMaxBytes || total > (encoding ? available * kMaxRunExpansion : available))
        return fail(failure, "truncated PCX file");
    QByteArray pixels(static_cast<qsizetype>(total), Qt::Uninitialized);
    auto* out = reinterpret_cast<uchar*>(pixels.data());
    qint64 pos = 128;
    if (encoding == 0) {
        std::memcpy(out, data + pos, static_cast<size_t>(total));
        pos += total;
    } else {
        for (qint64 o = 0; o < total;) {
            if (pos >= size) return fail(failure, "truncated PCX file");
            const uchar b = data[pos++];
            if (b >= 0xC0) {
                if (pos >= size) return fail(failure, "truncated PCX file");
                const qint64 run = std::min<qint64>(b & 0x3F, total - o);
                std::memset(out + o, data[pos++], static_cast<size_t>(run));
                o += run;
            } else {
                out[o++] = b;
            }
        }
    }

    // The 16-colour palette in the header.
    QVector<QRgb> headerPalette;
    for (int i = 0; i < 16; ++i) headerPalette << qRgb(data[16 + 3 * i], data[17 + 3 * i], data[18 + 3 * i]);

    const int w = static_cast<int>(width), h = static_cast<int>(height);
    QImage image;
    switch (kind) {
    case Kind::Mono:
        image = QImage(w, h, QImage::Format_Mono);
        if (image.isNull()) return fail(failure, "not enough memory");
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)}); // a set bit is white
        for (int y = 0; y < h; ++y) std::memcpy(image.scanLine(y), out + y * lineBytes, static_cast<size_t>((w + 7) / 8));
        break;
    case Kind::PlanarIndexed:
    case Kind::PackedIndexed:
        image = QImage(w, h, QImage::Format_Indexed8);
        if (image.isNull()) return fail(failure, "not enough memory");
        image.setColorTable(headerPalette.mid(0, 1 << (bits * planes)));
        for (int y = 0; y < h; ++y) {
            const uchar* line = out + y * lineBytes;
            uchar* to = image.scanLine(y);
            for (int x = 0; x < w; ++x) {
                int index = 0;
                if (kind == Kind::PlanarIndexed) {
                    for (int p = 0; p < planes; ++p)
                        index |= ((line[p * bytesPerLine + x / 8] >> (7 - x % 8)) & 1) << p;
                } else {
                    const int perByte = 8 / bits;
                    const int shift = 8 - bits * (x % perByte + 1);
                    index = (line[x / perByte] >> shift) & ((1 << bits) - 1);
                }
                to[x] = static_cast<uchar>(index);
            }
        }
        break;
    case Kind::Palette256: {
        image = QImage(w, h, QImage::Format_Indexed8);
        if (image.isNull()) return fail(failure, "not enough memory");
        // The palette follows the picture data behind a marker byte; without it the picture is grey.
        QVector<QRgb> table;
        const qint64 at = size - 769;
        if (at >= pos && data[at] == 0x0C) {
            for (int i = 0; i < 256; ++i) table << qRgb(data[at + 1 + 3 * i], data[at + 2 + 3 * i], data[at + 3 + 3 * i]);
        } else {
            for (int i = 0; i < 256; ++i) table << qRgb(i, i, i);
        }
        image.setColorTable(table);
        for (int y = 0; y < h; ++y) std::memcpy(image.scanLine(y), out + y * lineBytes, static_cast<size_t>(w));
        break;
    }
    case Kind::Rgb:
    case Kind::Rgba:
        image = QImage(w, h, kind == Kind::Rgb ? QImage::Format_RGB888 : QImage::Format_ARGB32);
        if (image.isNull()) return fail(failure, "not enough memory");
        for (int y = 0; y < h; ++y) {
            const uchar* line = out + y * lineBytes;
            uchar* to = image.scanLine(y);
            for (int x = 0; x < w; ++x) {
                const uchar r = line[x], g = line[bytesPerLine + x], b = line[2 * bytesPerLine + x];
                if (kind == Kind::Rgb) {
                    to[3 * x] = r;
                    to[3 * x + 1] = g;
                    to[3 * x + 2] = b;
                } else {
                    reinterpret_cast<QRgb*>(to)[x] = qRgba(r, g, b, line[3 * bytesPerLine + x]);
                }
            }
        }
        break;
    }
    if (dpiX > 0 && dpiY > 0) {
        image.setDotsPerMeterX(static_cast<int>(dpiX / 0.0254 + 0.5));
        image.setDotsPerMeterY(static_cast<int>(dpiY / 0.0254 + 0.5));
    }
    return image;
}

} // namespace tf::imagebox
