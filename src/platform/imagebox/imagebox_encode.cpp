#include "platform/imagebox/freeimage_qt.h"
#include "platform/sys/safefile.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/sys/numbers.h"

#include <FreeImage.h>

#include <QBuffer>
#include <QDataStream>
#include <QFileInfo>
#include <QPainter>

namespace tf::imagebox {

namespace {

using Bitmap = FreeImageBitmap;

bool isOpaque(const QImage& image)
{
    if (!image.hasAlphaChannel()) return true;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) != 255) return false;
    }
    return true;
}

bool greyPalette(const QImage& image)
{
    if (image.format() == QImage::Format_Grayscale8) return true;
    if (image.format() == QImage::Format_Mono) {
        const QVector<QRgb> t = image.colorTable();
        return t.size() == 2 && qGray(t[0]) == qRed(t[0]) && qRed(t[0]) == qGreen(t[0]) && qGreen(t[0]) == qBlue(t[0]) &&
               qRed(t[1]) == qGreen(t[1]) && qGreen(t[1]) == qBlue(t[1]);
    }
    return image.format() == QImage::Format_Indexed8 && image.isGrayscale();
}

// The depths each format takes; everything else keeps the depth it has.
QImage prepareFor(const QImage& source, SaveFormat format)
{
    QImage image = source;
    if (image.hasAlphaChannel() && image.format() != QImage::Format_Indexed8 && isOpaque(image))
        image = image.convertToFormat(QImage::Format_RGB888);
    if (image.format() == QImage::Format_RGB32) image = image.convertToFormat(QImage::Format_RGB888);
    switch (format) {
    case SaveFormat::Jpeg:
        if (greyPalette(image)) return image.convertToFormat(QImage::Format_Grayscale8);
        return flattenOnWhite(image);
    case SaveFormat::Gif:
        if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_Indexed8 ||
            image.format() == QImage::Format_Grayscale8)
            return image;
        return flattenOnWhite(image);
    case SaveFormat::Targa:
        if (image.format() == QImage::Format_Mono) return image.convertToFormat(QImage::Format_Indexed8);
        return image;
    default:
        return image;
    }
}

FREE_IMAGE_FORMAT freeImageFormat(SaveFormat format)
{
    switch (format) {
    case SaveFormat::Bmp: return FIF_BMP;
    case SaveFormat::Jpeg: return FIF_JPEG;
    case SaveFormat::Tiff: return FIF_TIFF;
    case SaveFormat::Png: return FIF_PNG;
    case SaveFormat::Gif: return FIF_GIF;
    case SaveFormat::Targa: return FIF_TARGA;
    default: return FIF_UNKNOWN;
    }
}

QByteArray encodeWithFreeImage(const QImage& source, SaveFormat format, int jpegQuality)
{
    const QImage image = prepareFor(source, format);
    Bitmap bitmap(freeImageFromQImage(image));
    if (!bitmap.get()) throw ImageBoxError(imagebox_error::kTooLarge, QStringLiteral("Not enough memory to save the picture"));
    if (format == SaveFormat::Gif && FreeImage_GetBPP(bitmap.get()) == 24) {
        FIBITMAP* quantized = FreeImage_ColorQuantize(bitmap.get(), FIQ_WUQUANT);
        if (!quantized) throw ImageBoxError(imagebox_error::kInvalidPicture, QStringLiteral("The picture cannot be reduced to 256 colours"));
        FreeImage_SetDotsPerMeterX(quantized, FreeImage_GetDotsPerMeterX(bitmap.get()));
        FreeImage_SetDotsPerMeterY(quantized, FreeImage_GetDotsPerMeterY(bitmap.get()));
        bitmap.reset(quantized);
    }
    int flags = 0;
    if (format == SaveFormat::Jpeg) flags = qBound(1, jpegQuality, 100);
    if (format == SaveFormat::Tiff) flags = TIFF_NONE;

    struct MemoryCloser {
        void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
    };
    const std::unique_ptr<FIMEMORY, MemoryCloser> memory(FreeImage_OpenMemory());
    QByteArray out;
    const bool saved = memory && FreeImage_SaveToMemory(freeImageFormat(format), bitmap.get(), memory.get(), flags);
    if (saved) {
        BYTE* data = nullptr;
        DWORD size = 0;
        if (FreeImage_AcquireMemory(memory.get(), &data, &size))
            out = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    }
    if (out.isEmpty()) throw ImageBoxError(imagebox_error::kInvalidPicture, QStringLiteral("The picture could not be encoded"));
    return out;
}

} // namespace

int dotsPerInch(int dotsPerMeter)
{
    return dotsPerMeter > 0 ? static_cast<int>(roundHalfEven(dotsPerMeter * 0.0254)) : 72;
}

QImage flattenOnWhite(const QImage& image)
{
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB888);
    QImage out(image.size(), QImage::Format_RGB888);
    out.fill(Qt::white);
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    return out;
}

SaveFormat saveFormatForPath(const QString& path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == u"bmp") return SaveFormat::Bmp;
    if (ext == u"jpg" || ext == u"jpeg" || ext == u"jpe") return SaveFormat::Jpeg;
    if (ext == u"tif" || ext == u"tiff") return SaveFormat::Tiff;
    if (ext == u"png") return SaveFormat::Png;
    if (ext == u"gif") return SaveFormat::Gif;
    if (ext == u"psd") return SaveFormat::Psd;
    if (ext == u"pcx") return SaveFormat::Pcx;
    if (ext == u"tga") return SaveFormat::Targa;
    return SaveFormat::Unknown;
}

QByteArray encodeImage(const QImage& image, SaveFormat format, int jpegQuality)
{
    if (image.isNull()) throw ImageBoxError(imagebox_error::kInvalidPicture, QStringLiteral("There is no picture to save"));
    switch (format) {
    case SaveFormat::Psd: return encodePsd(image);
    case SaveFormat::Pcx: return encodePcx(image);
    case SaveFormat::Unknown:
        throw ImageBoxError(imagebox_error::kInvalidFileFormat, QStringLiteral("Unsupported picture file format"));
    default: return encodeWithFreeImage(image, format, jpegQuality);
    }
}

namespace {

void pcxRun(QByteArray& out, const uchar* data, int length)
{
    for (int i = 0; i < length;) {
        int run = 1;
        while (i + run < length && run < 63 && data[i + run] == data[i]) ++run;
        if (run > 1 || data[i] >= 0xC0) out.append(static_cast<char>(0xC0 | run));
        out.append(static_cast<char>(data[i]));
        i += run;
    }
}

void putLe16(QByteArray& header, int offset, int value)
{
    header[offset] = static_cast<char>(value & 0xFF);
    header[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

} // namespace

QByteArray encodePcx(const QImage& source)
{
    if (source.width() > 65535 || source.height() > 65535)
        throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("The picture is too large for a PCX file"));
    QImage image = source;
    int bitsPerPlane = 8;
    int planes = 3;
    if (image.format() == QImage::Format_Mono) {
        bitsPerPlane = 1;
        planes = 1;
    } else if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Grayscale8) {
        image = image.convertToFormat(QImage::Format_Indexed8);
        planes = 1;
    } else {
        image = flattenOnWhite(image);
    }
    const int w = image.width();
    const int h = image.height();
    int bytesPerLine = (w * bitsPerPlane + 7) / 8;
    bytesPerLine += bytesPerLine & 1; // always even

    QByteArray header(128, '\0');
    header[0] = 0x0A;
    header[1] = 5;
    header[2] = 1;
    header[3] = static_cast<char>(bitsPerPlane);
    putLe16(header, 8, w - 1);
    putLe16(header, 10, h - 1);
    putLe16(header, 12, dotsPerInch(image.dotsPerMeterX()));
    putLe16(header, 14, dotsPerInch(image.dotsPerMeterY()));
    // 1-bit readers take bit 1 as white; flip the bits when the palette says otherwise.
    bool invertBits = false;
    if (bitsPerPlane == 1) {
        const QVector<QRgb> t = image.colorTable();
        invertBits = t.size() == 2 && qGray(t[0]) > qGray(t[1]);
        header[16 + 3] = header[16 + 4] = header[16 + 5] = static_cast<char>(0xFF);
    }
    header[65] = static_cast<char>(planes);
    putLe16(header, 66, bytesPerLine);
    putLe16(header, 68, 1);

    QByteArray out = header;
    QByteArray row(bytesPerLine, '\0');
    for (int y = 0; y < h; ++y) {
        const uchar* line = image.constScanLine(y);
        for (int plane = 0; plane < planes; ++plane) {
            row.fill('\0');
            if (planes == 3) {
                for (int x = 0; x < w; ++x) row[x] = static_cast<char>(line[3 * x + plane]);
            } else {
                const int used = (w * bitsPerPlane + 7) / 8;
                for (int i = 0; i < used; ++i) row[i] = static_cast<char>(invertBits ? ~line[i] : line[i]);
            }
            pcxRun(out, reinterpret_cast<const uchar*>(row.constData()), bytesPerLine);
        }
    }
    if (bitsPerPlane == 8 && planes == 1) {
        out.append(static_cast<char>(0x0C));
        const QVector<QRgb> t = image.colorTable();
        for (int i = 0; i < 256; ++i) {
            const QRgb c = i < t.size() ? t[i] : qRgb(0, 0, 0);
            out.append(static_cast<char>(qRed(c)));
            out.append(static_cast<char>(qGreen(c)));
            out.append(static_cast<char>(qBlue(c)));
        }
    }
    return out;
}

void writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QString error;
    if (!writeFileSafely(path, bytes, &error))
        throw ImageBoxError(imagebox_error::kFileAccess, QStringLiteral("Cannot write the file \"%1\": %2").arg(path, error));
}

} // namespace tf::imagebox
