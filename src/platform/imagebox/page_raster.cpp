#include "platform/imagebox/page_raster.h"

#include "platform/imagebox/freeimage_qt.h"

#include <FreeImage.h>
#include <QPainter>
#include <QSysInfo>
#include <cmath>
#include <cstring>
#include <memory>

namespace tf {

double dpiFromDotsPerMeter(int dotsPerMeter)
{
    if (dotsPerMeter <= 0) return kDefaultPageDpi;
    const double exact = dotsPerMeter * 0.0254;
    const double whole = std::round(exact);
    return std::abs(exact - whole) < 0.013 ? whole : exact;
}

namespace {

using Bitmap = FreeImageBitmap;

QImage flattened(const QImage& image)
{
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB888);
    QImage out(image.size(), QImage::Format_RGB888);
    out.fill(Qt::white);
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    QPainter p(&out);
    p.drawImage(0, 0, image);
    return out;
}

// Grey levels by the usual luminance weights, rounded.
QByteArray grayLevels(const QImage& rgb)
{
    QByteArray out(qsizetype(rgb.width()) * rgb.height(), Qt::Uninitialized);
    uchar* o = reinterpret_cast<uchar*>(out.data());
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* in = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x)
            *o++ = static_cast<uchar>((in[3 * x] * 299 + in[3 * x + 1] * 587 + in[3 * x + 2] * 114 + 500) / 1000);
    }
    return out;
}

// Packs one byte per pixel into rows of `bits` bits per pixel, most significant first.
QByteArray packRows(const uchar* values, int width, int height, int bits, int strideIn)
{
    const int rowBytes = (width * bits + 7) / 8;
    QByteArray out(qsizetype(rowBytes) * height, '\0');
    uchar* o = reinterpret_cast<uchar*>(out.data());
    for (int y = 0; y < height; ++y) {
        const uchar* in = values + qsizetype(y) * strideIn;
        uchar* row = o + qsizetype(y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            const int bitPos = x * bits;
            row[bitPos / 8] |= static_cast<uchar>(in[x] << (8 - bits - bitPos % 8));
        }
    }
    return out;
}

PageRaster bilevelFrom(const QImage& rgb, bool dither)
{
    PageRaster r;
    r.kind = PageRaster::Bilevel;
    r.bitsPerSample = 1;
    r.width = rgb.width();
    r.height = rgb.height();
    Bitmap source(freeImageFromQImage(rgb));
    Bitmap grey(source ? FreeImage_ConvertToGreyscale(source.get()) : nullptr);
    Bitmap mono(grey ? (dither ? FreeImage_Dither(grey.get(), FID_FS) : FreeImage_Threshold(grey.get(), 128)) : nullptr);
    if (!mono) return {};
    // FreeImage's 1-bit result may have either palette order: normalise to 1 = black.
    const RGBQUAD* pal = FreeImage_GetPalette(mono.get());
    const bool zeroIsBlack = pal && pal[0].rgbRed < 128;
    const int rowBytes = r.bytesPerRow();
    r.rows.resize(qsizetype(rowBytes) * r.height);
    for (int y = 0; y < r.height; ++y) {
        const uchar* in = FreeImage_GetScanLine(mono.get(), r.height - 1 - y);
        uchar* out = reinterpret_cast<uchar*>(r.rows.data()) + qsizetype(y) * rowBytes;
        for (int i = 0; i < rowBytes; ++i) out[i] = zeroIsBlack ? static_cast<uchar>(~in[i]) : in[i];
        if (r.width % 8) out[rowBytes - 1] &= static_cast<uchar>(0xFF << (8 - r.width % 8));
    }
    return r;
}

PageRaster paletteFrom(const QImage& rgb, int colours)
{
    PageRaster r;
    r.kind = PageRaster::Palette;
    r.width = rgb.width();
    r.height = rgb.height();
    r.bitsPerSample = colours <= 16 ? 4 : 8;
    Bitmap source(freeImageFromQImage(rgb));
    if (!source) return {};
    Bitmap quant(FreeImage_ColorQuantizeEx(source.get(), FIQ_WUQUANT, colours, 0, nullptr));
    if (!quant) return {};
    const RGBQUAD* pal = FreeImage_GetPalette(quant.get());
    for (int i = 0; i < colours; ++i) r.palette << qRgb(pal[i].rgbRed, pal[i].rgbGreen, pal[i].rgbBlue);
    QByteArray indexes(qsizetype(r.width) * r.height, Qt::Uninitialized);
    for (int y = 0; y < r.height; ++y)
        std::memcpy(indexes.data() + qsizetype(y) * r.width, FreeImage_GetScanLine(quant.get(), r.height - 1 - y),
                    static_cast<size_t>(r.width));
    if (r.bitsPerSample == 8) {
        r.rows = indexes;
    } else {
        r.rows = packRows(reinterpret_cast<const uchar*>(indexes.constData()), r.width, r.height, 4, r.width);
    }
    return r;
}

} // namespace

void rgbSamplesFromRgb32(const QRgb* in, int width, uchar* out)
{
    int x = 0;
    // Four pixels into three words at a time: a quarter of the stores of a byte at a time.
    for (; x + 4 <= width; x += 4, in += 4, out += 12) {
        const quint32 p0 = in[0], p1 = in[1], p2 = in[2], p3 = in[3];
        const quint32 w0 = ((p0 >> 16) & 0xff) | (p0 & 0xff00) | ((p0 & 0xff) << 16) | ((p1 & 0xff0000) << 8);
        const quint32 w1 = ((p1 >> 8) & 0xff) | ((p1 & 0xff) << 8) | (p2 & 0xff0000) | ((p2 & 0xff00) << 16);
        const quint32 w2 = (p2 & 0xff) | ((p3 >> 8) & 0xff00) | ((p3 & 0xff00) << 8) | ((p3 & 0xff) << 24);
        if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            std::memcpy(out, &w0, 4);
            std::memcpy(out + 4, &w1, 4);
            std::memcpy(out + 8, &w2, 4);
        } else {
            for (int i = 0; i < 4; ++i) {
                out[i] = uchar(w0 >> (8 * i));
                out[4 + i] = uchar(w1 >> (8 * i));
                out[8 + i] = uchar(w2 >> (8 * i));
            }
        }
    }
    for (; x < width; ++x, ++in, out += 3) {
        out[0] = uchar(qRed(*in));
        out[1] = uchar(qGreen(*in));
        out[2] = uchar(qBlue(*in));
    }
}

PageRaster rasterForColorFormat(const QImage& image, int colorFormat)
{
    if (image.isNull()) return {};
    const QImage rgb = flattened(image);
    PageRaster r;
    switch (colorFormat) {
    case kColor256: r = paletteFrom(rgb, 256); break;
    case kColor16: r = paletteFrom(rgb, 16); break;
    case kGray256:
    case kGray16: {
        QByteArray grey = grayLevels(rgb);
        r.kind = PageRaster::Gray;
        r.width = rgb.width();
        r.height = rgb.height();
        if (colorFormat == kGray256) {
            r.bitsPerSample = 8;
            r.rows = grey;
        } else {
            r.bitsPerSample = 4;
            uchar* g = reinterpret_cast<uchar*>(grey.data());
            for (qsizetype i = 0; i < grey.size(); ++i) g[i] = static_cast<uchar>((g[i] * 15 + 127) / 255);
            r.rows = packRows(g, r.width, r.height, 4, r.width);
        }
        break;
    }
    case kMonoDithered: r = bilevelFrom(rgb, true); break;
    case kMonoThreshold: r = bilevelFrom(rgb, false); break;
    default: {
        r.kind = PageRaster::Rgb;
        r.width = rgb.width();
        r.height = rgb.height();
        r.bitsPerSample = 8;
        const int rowBytes = r.bytesPerRow();
        r.rows.resize(qsizetype(rowBytes) * r.height);
        for (int y = 0; y < r.height; ++y)
            std::memcpy(r.rows.data() + qsizetype(y) * rowBytes, rgb.constScanLine(y), static_cast<size_t>(rowBytes));
        break;
    }
    }
    r.dpiX = dpiFromDotsPerMeter(image.dotsPerMeterX());
    r.dpiY = dpiFromDotsPerMeter(image.dotsPerMeterY());
    return r;
}

QImage imageFromRaster(const PageRaster& raster)
{
    if (!raster.isValid()) return {};
    const int w = raster.width;
    const int h = raster.height;
    const int rowBytes = raster.bytesPerRow();
    auto row = [&](int y) { return reinterpret_cast<const uchar*>(raster.rows.constData()) + qsizetype(y) * rowBytes; };
    auto sample = [&](const uchar* r, int x, int bits) {
        if (bits == 8) return int(r[x]);
        if (bits == 4) return int((r[x / 2] >> ((x & 1) ? 0 : 4)) & 0x0F);
        return int((r[x / 8] >> (7 - x % 8)) & 1);
    };
    QImage out(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const uchar* r = row(y);
        QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            switch (raster.kind) {
            case PageRaster::Rgb: o[x] = qRgb(r[3 * x], r[3 * x + 1], r[3 * x + 2]); break;
            case PageRaster::Gray: {
                const int v = raster.bitsPerSample == 4 ? sample(r, x, 4) * 17 : sample(r, x, 8);
                o[x] = qRgb(v, v, v);
                break;
            }
            case PageRaster::Palette: {
                const int i = sample(r, x, raster.bitsPerSample);
                o[x] = i < raster.palette.size() ? raster.palette[i] : qRgb(0, 0, 0);
                break;
            }
            case PageRaster::Bilevel: o[x] = sample(r, x, 1) ? qRgb(0, 0, 0) : qRgb(255, 255, 255); break;
            }
        }
    }
    out.setDotsPerMeterX(qRound(raster.dpiX / 0.0254));
    out.setDotsPerMeterY(qRound(raster.dpiY / 0.0254));
    return out;
}

} // namespace tf
