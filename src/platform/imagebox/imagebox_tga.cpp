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

QRgb from16(const uchar* p)
{
    const int v = p[0] | (p[1] << 8); // x RRRRR GGGGG BBBBB
    const auto widen = [](int c) { return (c << 3) | (c >> 2); };
    return qRgb(widen((v >> 10) & 31), widen((v >> 5) & 31), widen(v & 31));
}

// One pixel of `bytes` bytes as stored (blue first) to a colour.
QRgb colourOf(const uchar* p, int bytes, bool alpha)
{
    switch (bytes) {
    case 2: return from16(p);
    case 3: return qRgb(p[2], p[1], p[0]);
    default: return qRgba(p[2], p[1], p[0], alpha ? p[3] : 255);
    }
}

} // namespace

QImage decodeTga(const uchar* data, qint64 size, QString* failure)
{
    if (size < 18) return fail(failure, "not a Targa file");
    const int idLength = data[0];
    const int mapType = data[1];
    const int type = data[2];
    const int mapFirst = qFromLittleEndian<quint16>(data + 3);
    const int mapLength = qFromLittleEndian<quint16>(data + 5);
    const int mapBits = data[7];
    const qint64 width = qFromLittleEndian<quint16>(data + 12);
    const qint64 height = qFromLittleEndian<quint16>(data + 14);
    const int depth = data[16];
    const int descriptor = data[17];
    const bool rle = type >= 9;
    const int base = rle ? type - 8 : type;
    if (mapType > 1 || (base != 1 && base != 2 && base != 3) || width < 1 || height < 1)
        return fail(failure, "damaged or unsupported Targa header");
    if ((base == 1 && (depth != 8 || mapType != 1)) || (base == 2 && depth != 15 && depth != 16 && depth != 24 && depth != 32) ||
        (base == 3 && depth != 8 && depth != 16))
        return fail(failure, "unsupported Targa depth");
    if (!sizeAllowed(width, height, depth)) {
        if (failure) *failure = pictureTooLargeText(width, height);
        return {};
    }

    qint64 pos = 18 + idLength;
    QVector<QRgb> palette;
    if (mapType == 1) {
        const int entryBytes = (mapBits + 7) / 8;
        if (entryBytes < 2 || entryBytes > 4) return fail(failure, "damaged Targa colour map");
        if (pos + qint64(mapLength) * entryBytes > size) return fail(failure, "truncated Targa file");
        if (base == 1) {
            palette.fill(qRgb(0, 0, 0), 256);
            for (int i = 0; i < mapLength; ++i)
                if (mapFirst + i < 256) palette[mapFirst + i] = colourOf(data + pos + qint64(i) * entryBytes, entryBytes, false);
        }
        pos += qint64(mapLength) * entryBytes;
    }

    // The pixels as stored, unpacked, in file order.
    const int pixelBytes = (depth + 7) / 8;
    const qint64 pixels = width * height;
    const qint64 total = pixels * pixelBytes;
    const qint64 available = size - pos;
    // A run packet of 1 + pixelBytes bytes gives at most 128 pixels.
    if (total > (rle ? available / (1 + pixelBytes) * 128 * pixelBytes : available)) return fail(failure, "truncated Targa file");
    QByteArray unpacked(static_cast<qsizetype>(total), Qt::Uninitialized);
    auto* out = reinterpret_cast<uchar*>(unpacked.data());
    if (!rle) {
        std::memcpy(out, data + pos, static_cast<size_t>(total));
    } else {
        // Packets may run on from one line into the next.
        for (qint64 o = 0; o < total;) {
            if (pos >= size) return fail(failure, "truncated Targa file");
            const uchar header = data[pos++];
            const qint64 count = std::min<qint64>((header & 0x7F) + 1, (total - o) / pixelBytes);
            if (header & 0x80) {
                if (pos + pixelBytes > size) return fail(failure, "truncated Targa file");
                for (qint64 i = 0; i < count; ++i, o += pixelBytes) std::memcpy(out + o, data + pos, static_cast<size_t>(pixelBytes));
                pos += pixelBytes;
            } else {
                const qint64 bytes = ((header & 0x7F) + 1) * qint64(pixelBytes);
                if (pos + bytes > size) return fail(failure, "truncated Targa file");
                std::memcpy(out + o, data + pos, static_cast<size_t>(count * pixelBytes));
                pos += bytes;
                o += count * pixelBytes;
            }
        }
    }

    const int w = static_cast<int>(width), h = static_cast<int>(height);
    // No alpha bits: the fourth byte (the second of 16-bit grey) is padding.
    const bool alpha = (depth == 32 || (base == 3 && depth == 16)) && (descriptor & 0x0F) != 0;
    const bool grey16 = base == 3 && depth == 16;
    QImage::Format format = QImage::Format_RGB32;
    if (base == 1) format = QImage::Format_Indexed8;
    else if (base == 3) format = grey16 ? (alpha ? QImage::Format_ARGB32 : QImage::Format_Grayscale8) : QImage::Format_Grayscale8;
    else if (depth == 24) format = QImage::Format_RGB888;
    else if (alpha) format = QImage::Format_ARGB32;
    QImage image(w, h, format);
    if (image.isNull()) return fail(failure, "not enough memory");
    if (base == 1) image.setColorTable(palette);

    const bool topDown = descriptor & 0x20;
    const bool rightToLeft = descriptor & 0x10;
    for (int row = 0; row < h; ++row) {
        const uchar* from = out + qint64(row) * w * pixelBytes;
        uchar* to = image.scanLine(topDown ? row : h - 1 - row);
        for (int col = 0; col < w; ++col) {
            const int x = rightToLeft ? w - 1 - col : col;
            const uchar* p = from + qint64(col) * pixelBytes;
            if (grey16 && alpha) {
                reinterpret_cast<QRgb*>(to)[x] = qRgba(p[0], p[0], p[0], p[1]);
            } else if (format == QImage::Format_Indexed8 || format == QImage::Format_Grayscale8) {
                to[x] = p[0];
            } else if (format == QImage::Format_RGB888) {
                to[3 * x] = p[2];
                to[3 * x + 1] = p[1];
                to[3 * x + 2] = p[0];
            } else {
                reinterpret_cast<QRgb*>(to)[x] = colourOf(p, pixelBytes, alpha);
            }
        }
    }
    return image;
}

} // namespace tf::imagebox
