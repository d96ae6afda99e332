#include "platform/imagebox/freeimage_qt.h"

#include <FreeImage.h>
#include <tiffio.h>

#include <QFile>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <memory>
#include <cstring>
#include <mutex>

namespace tf {

namespace {

void copyResolution(FIBITMAP* from, QImage& to)
{
    const unsigned x = FreeImage_GetDotsPerMeterX(from);
    const unsigned y = FreeImage_GetDotsPerMeterY(from);
    if (x > 0) to.setDotsPerMeterX(static_cast<int>(x));
    if (y > 0) to.setDotsPerMeterY(static_cast<int>(y));
}

// The palette with the file's transparent entries (a PNG's tRNS, a GIF's transparent index).
QVector<QRgb> paletteOf(FIBITMAP* bitmap)
{
    QVector<QRgb> table;
    const RGBQUAD* pal = FreeImage_GetPalette(bitmap);
    const unsigned n = FreeImage_GetColorsUsed(bitmap);
    if (!pal) return table;
    // A palette PNG or GIF marks its transparent entries in a table of its own; without it a
    // transparent area would come out in whatever colour its entry happens to hold.
    const BYTE* alpha = FreeImage_IsTransparent(bitmap) ? FreeImage_GetTransparencyTable(bitmap) : nullptr;
    const unsigned alphas = alpha ? std::min(n, unsigned(FreeImage_GetTransparencyCount(bitmap))) : 0;
    for (unsigned i = 0; i < n; ++i)
        table << qRgba(pal[i].rgbRed, pal[i].rgbGreen, pal[i].rgbBlue, i < alphas ? alpha[i] : 255);
    return table;
}

QVector<QRgb> greyTable()
{
    QVector<QRgb> table;
    for (int i = 0; i < 256; ++i) table << qRgb(i, i, i);
    return table;
}

// A float sample as other readers show it: 0 black, 1 white, clamped between.
uchar floatLevel(double v) { return v > 0 ? (v < 1 ? uchar(std::lround(v * 255)) : 255) : 0; }

// The types whose levels FreeImage's conversions would stretch from the darkest to the lightest
// pixel (a 16-bit grey picture holding 0..255 of 65535 would come out at full contrast): to 8
// bits as other programs show them. Null for any other type.
QImage levelsAsTheyAre(FIBITMAP* src)
{
    const int w = static_cast<int>(FreeImage_GetWidth(src));
    const int h = static_cast<int>(FreeImage_GetHeight(src));
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(src);
    QImage out;
    switch (type) {
    case FIT_UINT16:
    case FIT_FLOAT:
    case FIT_DOUBLE: out = QImage(w, h, QImage::Format_Indexed8); break;
    case FIT_RGBF: out = QImage(w, h, QImage::Format_RGB888); break;
    case FIT_RGBAF: out = QImage(w, h, QImage::Format_ARGB32); break;
    default: return {};
    }
    if (out.isNull()) return {};
    if (out.format() == QImage::Format_Indexed8) out.setColorTable(greyTable());
    for (int y = 0; y < h; ++y) {
        const BYTE* in = FreeImage_GetScanLine(src, h - 1 - y);
        uchar* line = out.scanLine(y);
        for (int x = 0; x < w; ++x) {
            switch (type) {
            case FIT_UINT16: line[x] = uchar((reinterpret_cast<const uint16_t*>(in)[x] * 255u + 32767u) / 65535u); break;
            case FIT_FLOAT: line[x] = floatLevel(reinterpret_cast<const float*>(in)[x]); break;
            case FIT_DOUBLE: line[x] = floatLevel(reinterpret_cast<const double*>(in)[x]); break;
            case FIT_RGBF: {
                const FIRGBF& p = reinterpret_cast<const FIRGBF*>(in)[x];
                line[3 * x] = floatLevel(p.red);
                line[3 * x + 1] = floatLevel(p.green);
                line[3 * x + 2] = floatLevel(p.blue);
                break;
            }
            default: {
                const FIRGBAF& p = reinterpret_cast<const FIRGBAF*>(in)[x];
                reinterpret_cast<QRgb*>(line)[x] = qRgba(floatLevel(p.red), floatLevel(p.green), floatLevel(p.blue), floatLevel(p.alpha));
                break;
            }
            }
        }
    }
    return out;
}

thread_local FreeImageMessages* t_messages = nullptr;

} // namespace

void FreeImageUnloader::operator()(FIBITMAP* bitmap) const
{
    if (bitmap) FreeImage_Unload(bitmap);
}

void appendFreeImageMessage(const char* message)
{
    if (t_messages && message) t_messages->m_messages << QString::fromLocal8Bit(message);
}

FreeImageMessages::FreeImageMessages() : m_outer(t_messages) { t_messages = this; }

FreeImageMessages::~FreeImageMessages() { t_messages = m_outer; }

bool FreeImageMessages::contains(const QString& text) const
{
    for (const QString& m : m_messages)
        if (m.contains(text, Qt::CaseInsensitive)) return true;
    return false;
}

void ensureFreeImage()
{
    static std::once_flag once;
    std::call_once(once, [] {
        FreeImage_Initialise(FALSE);
        // FreeImage prints decoder complaints to stderr by default; failures are reported by result,
        // and whoever needs the text holds a FreeImageMessages.
        FreeImage_SetOutputMessage([](FREE_IMAGE_FORMAT, const char* message) { appendFreeImageMessage(message); });
        // FreeImage's TIFF plugin feeds libtiff EXIF tags it does not know and libtiff complains
        // on stderr for each; our writers install their own per-file handlers where they care.
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

QImage qimageFromFreeImage(FIBITMAP* bitmap)
{
    ensureFreeImage();
    if (!bitmap || !FreeImage_HasPixels(bitmap)) return {};

    FreeImageBitmap converted;
    FIBITMAP* src = bitmap;
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap);
    unsigned bpp = FreeImage_GetBPP(bitmap);
    if (QImage levels = levelsAsTheyAre(bitmap); !levels.isNull()) {
        copyResolution(bitmap, levels);
        return levels;
    }
    if (type != FIT_BITMAP) {
        // Other high-precision images: tone them down to ordinary 8-bit channels.
        converted.reset(type == FIT_RGBA16 || type == FIT_RGBAF ? FreeImage_ConvertTo32Bits(bitmap)
                                                                : FreeImage_ConvertTo24Bits(bitmap));
        if (!converted) converted.reset(FreeImage_ConvertToStandardType(bitmap, TRUE));
        if (!converted) return {};
        src = converted.get();
        bpp = FreeImage_GetBPP(src);
        if (bpp == 8 && FreeImage_GetColorType(src) == FIC_MINISBLACK) {
            // ConvertToStandardType gives a greyscale bitmap: keep it that way.
        }
    } else if (bpp == 16) {
        converted.reset(FreeImage_ConvertTo24Bits(bitmap));
        if (!converted) return {};
        src = converted.get();
        bpp = 24;
    }

    const int w = static_cast<int>(FreeImage_GetWidth(src));
    const int h = static_cast<int>(FreeImage_GetHeight(src));
    if (w <= 0 || h <= 0) return {};

    QImage out;
    switch (bpp) {
    case 1: {
        out = QImage(w, h, QImage::Format_Mono);
        if (out.isNull()) return {};
        out.setColorTable(paletteOf(src));
        const int bytes = (w + 7) / 8;
        for (int y = 0; y < h; ++y)
            std::memcpy(out.scanLine(y), FreeImage_GetScanLine(src, h - 1 - y), static_cast<size_t>(bytes));
        break;
    }
    case 4: {
        out = QImage(w, h, QImage::Format_Indexed8);
        if (out.isNull()) return {};
        out.setColorTable(paletteOf(src));
        for (int y = 0; y < h; ++y) {
            const uchar* in = FreeImage_GetScanLine(src, h - 1 - y);
            uchar* line = out.scanLine(y);
            for (int x = 0; x < w; ++x) line[x] = (x & 1) ? (in[x / 2] & 0x0F) : (in[x / 2] >> 4);
        }
        break;
    }
    case 8: {
        out = QImage(w, h, QImage::Format_Indexed8);
        if (out.isNull()) return {};
        const QVector<QRgb> table = paletteOf(src);
        out.setColorTable(table.isEmpty() ? greyTable() : table);
        for (int y = 0; y < h; ++y)
            std::memcpy(out.scanLine(y), FreeImage_GetScanLine(src, h - 1 - y), static_cast<size_t>(w));
        break;
    }
    case 24: {
        out = QImage(w, h, QImage::Format_RGB888);
        if (out.isNull()) return {};
        for (int y = 0; y < h; ++y) {
            const uchar* in = FreeImage_GetScanLine(src, h - 1 - y);
            uchar* line = out.scanLine(y);
            for (int x = 0; x < w; ++x) {
                line[3 * x + 0] = in[3 * x + FI_RGBA_RED];
                line[3 * x + 1] = in[3 * x + FI_RGBA_GREEN];
                line[3 * x + 2] = in[3 * x + FI_RGBA_BLUE];
            }
        }
        break;
    }
    case 32: {
        out = QImage(w, h, QImage::Format_ARGB32);
        if (out.isNull()) return {};
        for (int y = 0; y < h; ++y) {
            const uchar* in = FreeImage_GetScanLine(src, h - 1 - y);
            QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < w; ++x)
                line[x] = qRgba(in[4 * x + FI_RGBA_RED], in[4 * x + FI_RGBA_GREEN], in[4 * x + FI_RGBA_BLUE],
                                in[4 * x + FI_RGBA_ALPHA]);
        }
        break;
    }
    default: {
        FreeImageBitmap c(FreeImage_ConvertTo24Bits(src));
        return c ? qimageFromFreeImage(c.get()) : QImage();
    }
    }
    copyResolution(src, out);
    return out;
}

FIBITMAP* freeImageFromQImage(const QImage& image)
{
    ensureFreeImage();
    if (image.isNull()) return nullptr;
    const int w = image.width();
    const int h = image.height();

    FIBITMAP* out = nullptr;
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
        const QImage mono = image.convertToFormat(QImage::Format_Mono);
        out = FreeImage_Allocate(w, h, 1);
        if (!out) return nullptr;
        RGBQUAD* pal = FreeImage_GetPalette(out);
        const QVector<QRgb> table = mono.colorTable();
        for (int i = 0; i < 2; ++i) {
            const QRgb c = i < table.size() ? table[i] : (i ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
            pal[i].rgbRed = static_cast<BYTE>(qRed(c));
            pal[i].rgbGreen = static_cast<BYTE>(qGreen(c));
            pal[i].rgbBlue = static_cast<BYTE>(qBlue(c));
        }
        for (int y = 0; y < h; ++y)
            std::memcpy(FreeImage_GetScanLine(out, h - 1 - y), mono.constScanLine(y), static_cast<size_t>((w + 7) / 8));
    } else if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Grayscale8) {
        out = FreeImage_Allocate(w, h, 8);
        if (!out) return nullptr;
        RGBQUAD* pal = FreeImage_GetPalette(out);
        const QVector<QRgb> table = image.format() == QImage::Format_Indexed8 ? image.colorTable() : QVector<QRgb>();
        for (int i = 0; i < 256; ++i) {
            const QRgb c = image.format() == QImage::Format_Grayscale8 ? qRgb(i, i, i)
                           : i < table.size()                          ? table[i]
                                                                       : qRgb(0, 0, 0);
            pal[i].rgbRed = static_cast<BYTE>(qRed(c));
            pal[i].rgbGreen = static_cast<BYTE>(qGreen(c));
            pal[i].rgbBlue = static_cast<BYTE>(qBlue(c));
        }
        for (int y = 0; y < h; ++y)
            std::memcpy(FreeImage_GetScanLine(out, h - 1 - y), image.constScanLine(y), static_cast<size_t>(w));
    } else if (!image.hasAlphaChannel()) {
        const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
        out = FreeImage_Allocate(w, h, 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
        if (!out) return nullptr;
        for (int y = 0; y < h; ++y) {
            const uchar* in = rgb.constScanLine(y);
            uchar* line = FreeImage_GetScanLine(out, h - 1 - y);
            for (int x = 0; x < w; ++x) {
                line[3 * x + FI_RGBA_RED] = in[3 * x + 0];
                line[3 * x + FI_RGBA_GREEN] = in[3 * x + 1];
                line[3 * x + FI_RGBA_BLUE] = in[3 * x + 2];
            }
        }
    } else {
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        out = FreeImage_Allocate(w, h, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
        if (!out) return nullptr;
        for (int y = 0; y < h; ++y) {
            const QRgb* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
            uchar* line = FreeImage_GetScanLine(out, h - 1 - y);
            for (int x = 0; x < w; ++x) {
                line[4 * x + FI_RGBA_RED] = static_cast<BYTE>(qRed(in[x]));
                line[4 * x + FI_RGBA_GREEN] = static_cast<BYTE>(qGreen(in[x]));
                line[4 * x + FI_RGBA_BLUE] = static_cast<BYTE>(qBlue(in[x]));
                line[4 * x + FI_RGBA_ALPHA] = static_cast<BYTE>(qAlpha(in[x]));
            }
        }
    }
    if (image.dotsPerMeterX() > 0) FreeImage_SetDotsPerMeterX(out, static_cast<unsigned>(image.dotsPerMeterX()));
    if (image.dotsPerMeterY() > 0) FreeImage_SetDotsPerMeterY(out, static_cast<unsigned>(image.dotsPerMeterY()));
    return out;
}

} // namespace tf
