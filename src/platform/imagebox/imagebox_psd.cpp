#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/picture_limits.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/page_raster.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QtEndian>
#include <cmath>

namespace tf::imagebox {

namespace {

enum PsdMode : quint16 { kBitmap = 0, kGrayscale = 1, kIndexed = 2, kRgb = 3, kCmyk = 4, kDuotone = 8 };

// Reads big-endian fields; any read past the end sets `bad` and yields zeros.
struct Reader {
    const uchar* data;
    qint64 size;
    qint64 pos = 0;
    bool bad = false;

    bool has(qint64 n) const { return n >= 0 && pos <= size && n <= size - pos; }
    const uchar* take(qint64 n)
    {
        if (bad || !has(n)) {
            bad = true;
            return nullptr;
        }
        const uchar* p = data + pos;
        pos += n;
        return p;
    }
    quint16 u16()
    {
        const uchar* p = take(2);
        return p ? qFromBigEndian<quint16>(p) : 0;
    }
    quint32 u32()
    {
        const uchar* p = take(4);
        return p ? qFromBigEndian<quint32>(p) : 0;
    }
};

QImage fail(QString* failure, const char* why)
{
    if (failure) *failure = QString::fromLatin1(why);
    return {};
}

// PackBits into exactly `out.size()` bytes; false when the input runs out first.
bool unpackBits(const uchar* in, qint64 inSize, QByteArray& out)
{
    qint64 i = 0, o = 0;
    const qint64 n = out.size();
    while (o < n) {
        if (i >= inSize) return false;
        const int c = static_cast<signed char>(in[i++]);
        if (c >= 0) {
            const qint64 count = c + 1;
            if (i + count > inSize) return false;
            const qint64 copy = std::min(count, n - o);
            memcpy(out.data() + o, in + i, static_cast<size_t>(copy));
            i += count;
            o += copy;
        } else if (c != -128) {
            if (i >= inSize) return false;
            const qint64 copy = std::min<qint64>(1 - c, n - o);
            memset(out.data() + o, in[i++], static_cast<size_t>(copy));
            o += copy;
        }
    }
    return true;
}

int resolutionToDotsPerMeter(quint32 fixedPpi)
{
    const double ppi = fixedPpi / 65536.0;
    return ppi > 0 && ppi < 100000 ? static_cast<int>(std::lround(ppi / 0.0254)) : 0;
}

} // namespace

QImage decodePsd(const uchar* data, qint64 size, QString* failure)
{
    Reader r{data, size};
    const uchar* sig = r.take(4);
    if (!sig || memcmp(sig, "8BPS", 4) != 0) return fail(failure, "not a PSD file");
    if (r.u16() != 1) return fail(failure, "unsupported PSD version");
    r.take(6);
    const int channels = r.u16();
    const qint64 height = r.u32();
    const qint64 width = r.u32();
    const int depth = r.u16();
    const int mode = r.u16();
    if (r.bad || channels < 1 || channels > 56 || width < 1 || height < 1 || width > 30000 || height > 30000)
        return fail(failure, "damaged PSD header");
    int needed = 1;
    switch (mode) {
    case kBitmap:
        if (depth != 1) return fail(failure, "damaged PSD header");
        break;
    case kGrayscale:
    case kDuotone:
    case kIndexed: break;
    case kRgb: needed = 3; break;
    case kCmyk: needed = 4; break;
    default: return fail(failure, "unsupported PSD colour mode");
    }
    if (mode != kBitmap && depth != 8 && (depth != 16 || mode == kIndexed)) return fail(failure, "unsupported PSD depth");
    if (channels < needed) return fail(failure, "damaged PSD header");
    if (!sizeAllowed(width, height, needed * depth)) {
        if (failure) *failure = pictureTooLargeText(width, height);
        return {};
    }

    QVector<QRgb> palette;
    const quint32 colorDataLength = r.u32();
    const uchar* colorData = r.take(colorDataLength);
    if (mode == kIndexed) {
        if (!colorData || colorDataLength < 768) return fail(failure, "damaged PSD palette");
        for (int i = 0; i < 256; ++i) palette << qRgb(colorData[i], colorData[256 + i], colorData[512 + i]);
    }

    int dpmX = 0, dpmY = 0;
    const quint32 resourcesLength = r.u32();
    if (const uchar* res = r.take(resourcesLength)) {
        Reader rr{res, resourcesLength};
        while (!rr.bad && rr.has(12)) {
            const uchar* s = rr.take(4);
            if (memcmp(s, "8BIM", 4) != 0) break;
            const quint16 id = rr.u16();
            const int nameLength = rr.has(1) ? res[rr.pos] : 0;
            rr.take((nameLength + 2) & ~1);
            const quint32 length = rr.u32();
            const uchar* block = rr.take(length);
            rr.take(length & 1);
            if (id == 0x03ED && block && length >= 16) {
                dpmX = resolutionToDotsPerMeter(qFromBigEndian<quint32>(block));
                dpmY = resolutionToDotsPerMeter(qFromBigEndian<quint32>(block + 8));
            }
        }
    }
    const quint32 layersLength = r.u32();
    r.take(layersLength);
    const int compression = r.u16();
    if (r.bad) return fail(failure, "truncated PSD file");
    if (compression != 0 && compression != 1) return fail(failure, "unsupported PSD compression");

    // The planes we use, each decoded into rows of rowBytes.
    const qint64 rowBytes = (width * depth + 7) / 8;
    const int used = mode == kRgb ? 3 : needed;
    std::vector<QByteArray> planes(static_cast<size_t>(used));
    if (compression == 0) {
        for (int c = 0; c < used; ++c) {
            const uchar* p = r.take(rowBytes * height);
            if (!p) return fail(failure, "truncated PSD file");
            planes[c] = QByteArray(reinterpret_cast<const char*>(p), static_cast<qsizetype>(rowBytes * height));
        }
    } else {
        const uchar* counts = r.take(qint64(channels) * height * 2);
        if (!counts) return fail(failure, "truncated PSD file");
        qint64 offset = r.pos;
        QByteArray row(static_cast<qsizetype>(rowBytes), '\0');
        for (int c = 0; c < used; ++c) {
            planes[c].resize(static_cast<qsizetype>(rowBytes * height));
            for (qint64 y = 0; y < height; ++y) {
                const qint64 length = qFromBigEndian<quint16>(counts + 2 * (c * height + y));
                if (offset + length > size || !unpackBits(data + offset, length, row)) return fail(failure, "damaged PSD image data");
                memcpy(planes[c].data() + y * rowBytes, row.constData(), static_cast<size_t>(rowBytes));
                offset += length;
            }
        }
    }

    const int w = static_cast<int>(width), h = static_cast<int>(height);
    const int step = depth == 16 ? 2 : 1; // 16-bit samples: the high byte, which comes first
    auto sample = [&](int c, int x, int y) { return static_cast<uchar>(planes[c][y * rowBytes + x * step]); };
    QImage out;
    if (mode == kBitmap) {
        out = QImage(w, h, QImage::Format_Mono);
        out.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)}); // a set bit is black
        for (int y = 0; y < h; ++y) memcpy(out.scanLine(y), planes[0].constData() + y * rowBytes, static_cast<size_t>(rowBytes));
    } else if (mode == kIndexed || mode == kGrayscale || mode == kDuotone) {
        out = QImage(w, h, mode == kIndexed ? QImage::Format_Indexed8 : QImage::Format_Grayscale8);
        if (mode == kIndexed) out.setColorTable(palette);
        for (int y = 0; y < h; ++y) {
            uchar* line = out.scanLine(y);
            for (int x = 0; x < w; ++x) line[x] = sample(0, x, y);
        }
    } else {
        out = QImage(w, h, QImage::Format_RGB888);
        for (int y = 0; y < h; ++y) {
            uchar* line = out.scanLine(y);
            for (int x = 0; x < w; ++x) {
                if (mode == kRgb) {
                    for (int c = 0; c < 3; ++c) line[3 * x + c] = sample(c, x, y);
                } else { // CMYK is stored inverted: 255 is no ink
                    const int k = sample(3, x, y);
                    for (int c = 0; c < 3; ++c) line[3 * x + c] = static_cast<uchar>(sample(c, x, y) * k / 255);
                }
            }
        }
    }
    if (out.isNull()) return fail(failure, "not enough memory");
    // No resolution stated: the one every page without one gets.
    out.setDotsPerMeterX(dpmX > 0 ? dpmX : qRound(kDefaultPageDpi / 0.0254));
    out.setDotsPerMeterY(dpmY > 0 ? dpmY : qRound(kDefaultPageDpi / 0.0254));
    return out;
}

QByteArray encodePsd(const QImage& source)
{
    // Version 1 files hold at most 30000 pixels a side.
    if (source.width() > 30000 || source.height() > 30000)
        throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("The picture is too large for a PSD file"));
    const QImage rgb = flattenOnWhite(source);
    const int w = rgb.width();
    const int h = rgb.height();

    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::BigEndian);
    s.writeRawData("8BPS", 4);
    s << quint16(1) << quint32(0) << quint16(0); // version, reserved
    s << quint16(3) << quint32(h) << quint32(w) << quint16(8) << quint16(3); // channels, size, depth, RGB
    s << quint32(0); // no colour mode data

    // Image resources: only the resolution (ResolutionInfo, pixels per inch as 16.16 fixed).
    s << quint32(4 + 2 + 2 + 4 + 16);
    s.writeRawData("8BIM", 4);
    s << quint16(0x03ED) << quint16(0) << quint32(16);
    s << quint32(dotsPerInch(rgb.dotsPerMeterX())) * 65536u << quint16(1) << quint16(1);
    s << quint32(dotsPerInch(rgb.dotsPerMeterY())) * 65536u << quint16(1) << quint16(1);

    s << quint32(0); // no layers: a flat picture
    s << quint16(0); // raw image data, planar
    QByteArray plane(w, Qt::Uninitialized);
    for (int c = 0; c < 3; ++c) {
        for (int y = 0; y < h; ++y) {
            const uchar* line = rgb.constScanLine(y);
            for (int x = 0; x < w; ++x) plane[x] = static_cast<char>(line[3 * x + c]);
            s.writeRawData(plane.constData(), w);
        }
    }
    return out;
}

} // namespace tf::imagebox
