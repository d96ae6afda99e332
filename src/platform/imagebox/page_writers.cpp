#include "platform/imagebox/page_writers.h"

#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/blockingcalls.h"
#include "platform/sys/safefile.h"
#include "platform/sys/userdirs.h"
#include "platform/sys/workfiles.h"
#include "version_info.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <utility>

namespace tf {

namespace {

constexpr const char* kSpoolTiff = "pages.tif";
constexpr const char* kSpoolPdf = "pages.pdf";

[[noreturn]] void raise(int32_t number, const QString& description) { throw ImageBoxError(number, description); }

bool isGreyPalette(const QImage& image)
{
    const QVector<QRgb> table = image.colorTable();
    if (table.isEmpty()) return false;
    for (QRgb c : table)
        if (qRed(c) != qGreen(c) || qGreen(c) != qBlue(c)) return false;
    return true;
}

// The colour format that writes an image without changing its depth.
int nativeColorFormat(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return kMonoThreshold;
    case QImage::Format_Grayscale8:
        return kGray256;
    case QImage::Format_Indexed8:
        return isGreyPalette(image) ? kGray256 : kColor24Bit;
    default:
        return kColor24Bit;
    }
}

// A JPEG's own coding can stand for the page when the chosen format keeps what it holds.
bool jpegKeepsFormat(const PdfPageImage& jpeg, int colorFormat)
{
    if (!jpeg.isValid()) return false;
    if (colorFormat < 0 || colorFormat == kColor24Bit) return true;
    return colorFormat == kGray256 && jpeg.space == PdfPageImage::Gray;
}


// A JPEG data stream that runs to its end-of-image marker after the first scan. A file cut short
// loses that marker; inside scan data a 0xFF byte is always followed by 0x00 or a restart marker,
// so the pair FF D9 there can only be the real end.
bool jpegComplete(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
    qsizetype i = 2;
    while (i + 4 <= n) {
        if (p[i] != 0xFF) return false;
        const uchar marker = p[i + 1];
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            i += 2;
            continue;
        }
        if (marker == 0xD9) return false; // an end before any scan
        const int len = (p[i + 2] << 8) | p[i + 3];
        if (len < 2) return false;
        if (marker == 0xDA) {
            i += 2 + len;
            break;
        }
        i += 2 + len;
    }
    if (i >= n) return false;
    for (qsizetype k = n - 2; k >= i; --k)
        if (p[k] == 0xFF && p[k + 1] == 0xD9) return true;
    return false;
}

struct PageSettings {
    int colorFormat;
    int compression;
};

// A picture already at the depth asked for goes in with its rows copied, the same result as the
// conversion and many times faster: scanned black-and-white pages are the common case.
PageRaster rasterAsItIs(const QImage& image, int colorFormat)
{
    PageRaster r;
    r.width = image.width();
    r.height = image.height();
    const QVector<QRgb> table = image.colorTable();
    if (image.format() == QImage::Format_Mono && (colorFormat == kMonoDithered || colorFormat == kMonoThreshold) &&
        table.size() == 2) {
        // Pure black and white only: dithering then changes nothing either.
        const bool zeroBlack = table[0] == qRgb(0, 0, 0) && table[1] == qRgb(255, 255, 255);
        const bool zeroWhite = table[0] == qRgb(255, 255, 255) && table[1] == qRgb(0, 0, 0);
        if (!zeroBlack && !zeroWhite) return {};
        r.kind = PageRaster::Bilevel;
        r.bitsPerSample = 1;
        const int rowBytes = r.bytesPerRow();
        r.rows.resize(qsizetype(rowBytes) * r.height);
        const uchar tailMask = r.width % 8 ? static_cast<uchar>(0xFF << (8 - r.width % 8)) : 0xFF;
        for (int y = 0; y < r.height; ++y) {
            const uchar* in = image.constScanLine(y);
            uchar* out = reinterpret_cast<uchar*>(r.rows.data()) + qsizetype(y) * rowBytes;
            // A plain loop each way, which the compiler turns into wide instructions.
            if (zeroBlack)
                for (int i = 0; i < rowBytes; ++i) out[i] = static_cast<uchar>(~in[i]);
            else
                std::memcpy(out, in, static_cast<size_t>(rowBytes));
            out[rowBytes - 1] &= tailMask;
        }
    } else if (colorFormat == kGray256 && (image.format() == QImage::Format_Grayscale8 ||
                                           (image.format() == QImage::Format_Indexed8 && isGreyPalette(image)))) {
        r.kind = PageRaster::Gray;
        r.bitsPerSample = 8;
        r.rows.resize(qsizetype(r.width) * r.height);
        uchar levels[256];
        for (int i = 0; i < 256; ++i) levels[i] = static_cast<uchar>(i < table.size() ? qRed(table[i]) : 0);
        const bool indexed = image.format() == QImage::Format_Indexed8;
        for (int y = 0; y < r.height; ++y) {
            const uchar* in = image.constScanLine(y);
            uchar* out = reinterpret_cast<uchar*>(r.rows.data()) + qsizetype(y) * r.width;
            if (indexed) {
                for (int x = 0; x < r.width; ++x) out[x] = levels[in[x]];
            } else {
                std::memcpy(out, in, static_cast<size_t>(r.width));
            }
        }
    } else if (colorFormat == kColor24Bit &&
               (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_RGB888)) {
        // An opaque colour page, the photo's case: its samples as they are, without a picture of
        // them in between (which would hold a third copy of a page of tens of megabytes).
        r.kind = PageRaster::Rgb;
        r.bitsPerSample = 8;
        const int rowBytes = r.bytesPerRow();
        r.rows.resize(qsizetype(rowBytes) * r.height);
        const bool packed = image.format() == QImage::Format_RGB888;
        for (int y = 0; y < r.height; ++y) {
            uchar* out = reinterpret_cast<uchar*>(r.rows.data()) + qsizetype(y) * rowBytes;
            if (packed) {
                std::memcpy(out, image.constScanLine(y), static_cast<size_t>(rowBytes));
                continue;
            }
            rgbSamplesFromRgb32(reinterpret_cast<const QRgb*>(image.constScanLine(y)), r.width, out);
        }
    } else {
        return {};
    }
    r.dpiX = dpiFromDotsPerMeter(image.dotsPerMeterX());
    r.dpiY = dpiFromDotsPerMeter(image.dotsPerMeterY());
    return r;
}

PageRaster rasterFor(const QImage& image, int colorFormat)
{
    if (colorFormat < 0) colorFormat = nativeColorFormat(image);
    if (PageRaster direct = rasterAsItIs(image, colorFormat); direct.isValid()) return direct;
    PageRaster raster = rasterForColorFormat(image, colorFormat);
    if (!raster.isValid()) raise(imagebox_error::kInvalidPicture, QStringLiteral("The picture could not be converted"));
    return raster;
}

PageRaster tiffRaster(const QImage& image, PageSettings s)
{
    const int format = s.colorFormat < 0 ? nativeColorFormat(image) : s.colorFormat;
    return rasterFor(image, colorFormatForCompression(format, qMax(0, s.compression)));
}

// The page as a PDF carries it: the JPEG file itself while the pixels are still exactly its
// decoding and the colour format keeps them, else the pixels reduced to the colour format.
PdfPageImage pdfPageFor(const QImage& image, int colorFormat, const QByteArray& jpeg, bool jpegCurrent)
{
    if (jpegCurrent) {
        PdfPageImage direct = pdfImageFromJpeg(jpeg, dpiFromDotsPerMeter(image.dotsPerMeterX()), dpiFromDotsPerMeter(image.dotsPerMeterY()));
        if (jpegKeepsFormat(direct, colorFormat) && direct.width == image.width() && direct.height == image.height())
            return direct;
    }
    QString error;
    PdfPageImage page = pdfImageFromRaster(rasterFor(image, colorFormat), &error);
    if (!page.isValid())
        raise(imagebox_error::kInvalidPicture,
              error.isEmpty() ? QStringLiteral("The page could not be encoded") : error);
    return page;
}

// A JPEG file as a PDF page as it is, or an invalid page when it does not qualify (see
// jpegFilePdfPage).
PdfPageImage jpegFilePage(const QString& path, int colorFormat)
{
    if (colorFormat != -1 && colorFormat != kColor24Bit && colorFormat != kGray256) return {};
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly) || f.size() > imagebox::kMaxBytes) return {};
    if (f.peek(3) != QByteArray("\xFF\xD8\xFF", 3)) return {};
    const QByteArray bytes = f.readAll();
    if (!jpegComplete(bytes)) return {};

    // The frame's size and components, and the resolution the file states (JFIF, else EXIF), from
    // our own bounds-checked walk over the markers: no image library parses a user's file in the
    // window's process. The control's size check holds as for a decoded page.
    PdfPageImage page = pdfImageFromJpeg(bytes, kDefaultPageDpi, kDefaultPageDpi);
    if (!page.isValid() || !jpegKeepsFormat(page, colorFormat)) return {};
    if (!imagebox::sizeAllowed(page.width, page.height, page.space == PdfPageImage::Gray ? 8 : 24)) return {};
    return page;
}

} // namespace

namespace {

void requirePixels(const PageImage& page)
{
    if (page.isNull()) raise(imagebox_error::kInvalidPicture, QStringLiteral("There is no picture to add"));
}

// In the program's own folder rather than the system's temporary one, which is often memory: a
// long document must not fill it.
WorkFolder& spoolFolder(std::unique_ptr<WorkFolder>& spool)
{
    if (!spool) {
        spool = std::make_unique<WorkFolder>(QStringLiteral("multipage"));
        if (!spool->isValid()) {
            const QString why = spool->errorString();
            spool.reset();
            raise(imagebox_error::kFileAccess, why);
        }
    }
    return *spool;
}

// Where the pages of a new document are written while it is built.
QString pagesFile(const QString& target, std::unique_ptr<WorkFolder>& spool, const char* spoolName)
{
    return target.isEmpty() ? spoolFolder(spool).filePath(QLatin1String(spoolName)) : target;
}

// The finished document in its place: there already when it was written beside it, else moved
// from the spool (or from beside another name).
bool placeDocument(const QString& target, const WorkFolder* spool, const char* spoolName, const QString& path,
                   QString* error)
{
    if (!target.isEmpty() && sameFile(target, path)) return true;
    const QString written = target.isEmpty() ? spool->filePath(QLatin1String(spoolName)) : target;
    return moveFileSafely(written, path, Placement::Replace, error);
}

[[noreturn]] void noPages() { raise(imagebox_error::kInvalidPicture, QStringLiteral("There are no pages to save")); }

} // namespace

// ---- the page

bool sameFile(const QString& a, const QString& b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists()) return fa.canonicalFilePath() == fb.canonicalFilePath();
    return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}

bool PageFormat::group4Tiff() const { return tiffCompression == kTiffGroup4; }

bool PageFormat::group4Pdf() const
{
    return colorFormat == -1 || colorFormat == kMonoDithered || colorFormat == kMonoThreshold;
}

PageRaster tiffPageRaster(const PageImage& page)
{
    requirePixels(page);
    return tiffRaster(page.pixels, {page.format.colorFormat, page.format.tiffCompression});
}

bool writeTiffPageFile(const QString& workFile, PageImage page, QString* error, const std::function<void()>& progress)
{
    requirePixels(page);
    const int compression = page.format.compression();
    const QImage image = std::exchange(page.pixels, QImage());
    const int format = colorFormatForCompression(
        page.format.colorFormat < 0 ? nativeColorFormat(image) : page.format.colorFormat, compression);
    const bool packed = image.format() == QImage::Format_RGB888;
    if (format != kColor24Bit || (!packed && image.format() != QImage::Format_RGB32)) {
        // Every other page as the document writers have it.
        const PageRaster raster = tiffRaster(image, {page.format.colorFormat, page.format.tiffCompression});
        return writeTiffPageInto(workFile, raster, compression, error, progress);
    }
    // The samples as rasterAsItIs takes them, a row at a time.
    PageRaster header;
    header.kind = PageRaster::Rgb;
    header.width = image.width();
    header.height = image.height();
    header.bitsPerSample = 8;
    header.dpiX = dpiFromDotsPerMeter(image.dotsPerMeterX());
    header.dpiY = dpiFromDotsPerMeter(image.dotsPerMeterY());
    return writeTiffPageInto(
        workFile, header,
        [&](int y, uchar* out) -> const uchar* {
            if (packed) return image.constScanLine(y);
            rgbSamplesFromRgb32(reinterpret_cast<const QRgb*>(image.constScanLine(y)), image.width(), out);
            return out;
        },
        compression, error, progress);
}

PdfPageImage pdfPageImage(const PageImage& page)
{
    requirePixels(page);
    PdfPageImage pdf = pdfPageFor(page.pixels, page.format.colorFormat, page.jpeg, !page.jpeg.isEmpty());
    if (page.statedDpiX > 0 && page.statedDpiY > 0) {
        pdf.dpiX = page.statedDpiX;
        pdf.dpiY = page.statedDpiY;
    }
    return pdf;
}

PdfPageImage jpegFilePdfPage(const QString& path, int colorFormat) { return jpegFilePage(path, colorFormat); }

PdfPageImage group4FilePdfPage(const QString& path, const PageFormat& format)
{
    if (!format.group4Pdf()) return {};
    const Group4Strip strip = readGroup4Strip(path);
    if (!strip.isValid()) return {};
    PdfPageImage page;
    page.filter = PdfPageImage::Ccitt;
    page.space = PdfPageImage::Gray;
    page.bitsPerComponent = 1;
    page.width = strip.header.width;
    page.height = strip.header.height;
    page.dpiX = strip.header.dpiX;
    page.dpiY = strip.header.dpiY;
    page.data = strip.strip;
    return page;
}

int32_t encodedPageSize(const PageImage& page, int32_t format)
{
    if (format != 7 && format != 8) raise(imagebox_error::kInvalidArgument, QStringLiteral("Size format must be 7 or 8"));
    requirePixels(page);
    qint64 size = 0;
    if (format == 7) {
        QString error;
        const QByteArray bytes = encodeTiffInMemory(tiffPageRaster(page), page.format.compression(), &error);
        if (bytes.isEmpty()) raise(imagebox_error::kInvalidPicture, error);
        size = bytes.size();
    } else {
        const PdfPageImage pdf = pdfPageImage(page);
        WorkFolder folder(QStringLiteral("size"));
        if (!folder.isValid()) raise(imagebox_error::kFileAccess, folder.errorString());
        const QString file = folder.filePath(QStringLiteral("page.pdf"));
        PdfDocumentWriter writer(file);
        QString error;
        if (!writer.addPage(pdf, &error) ||
            !writer.commit(QString::fromUtf8(version::kTitle), &error))
            raise(imagebox_error::kFileAccess, error);
        size = QFileInfo(file).size();
    }
    return static_cast<int32_t>(qMin<qint64>(size, INT32_MAX));
}

bool savePictureFile(const QImage& pixels, const QString& path, int jpegQuality, const std::function<bool()>& cancelled)
{
    checkBlockingCall("savePictureFile");
    if (pixels.isNull()) raise(imagebox_error::kInvalidPicture, QStringLiteral("There is no picture to save"));
    const imagebox::SaveFormat format = imagebox::saveFormatForPath(path);
    if (format == imagebox::SaveFormat::Unknown)
        raise(imagebox_error::kInvalidFileFormat,
              QStringLiteral("Cannot save a picture as \"%1\": unknown file type").arg(QFileInfo(path).fileName()));
    const QByteArray bytes = imagebox::encodeImage(pixels, format, jpegQuality);
    if (cancelled && cancelled()) return false;
    imagebox::writeFileAtomically(path, bytes);
    return true;
}

// ---- a new TIFF

NewTiffWriter::NewTiffWriter(QString target, qint64 bytesAtMost)
    : m_target(std::move(target)), m_bigTiff(bytesAtMost > kClassicTiffMaxBytes)
{
}

NewTiffWriter::~NewTiffWriter() = default;

TiffDocumentWriter& NewTiffWriter::writer()
{
    if (!m_writer) {
        m_writer = std::make_unique<TiffDocumentWriter>(pagesFile(m_target, m_spool, kSpoolTiff));
        m_writer->setBigTiff(m_bigTiff);
    }
    return *m_writer;
}

int NewTiffWriter::pageCount() const { return m_writer ? m_writer->pageCount() : 0; }

void NewTiffWriter::failed(const QString& error)
{
    // A page that failed half-written leaves the document unusable: start afresh, so that no
    // later save can write it.
    abandon();
    raise(imagebox_error::kFileAccess, error);
}

void NewTiffWriter::addPage(const PageImage& page)
{
    const PageRaster raster = tiffPageRaster(page);
    QString error;
    if (!writer().addPage(raster, page.format.compression(), page.software, &error)) failed(error);
}

bool NewTiffWriter::addGroup4File(const QString& path, const PageFormat& format)
{
    // Any colour format: a page of pure black and white comes out of every one unchanged.
    if (!format.group4Tiff()) return false;
    const Group4Strip page = readGroup4Strip(path);
    if (!page.isValid()) return false;
    QString error;
    // A "Software" value belongs to pixels, which this page is not.
    if (!writer().addCodedPage(page, QString(), &error)) failed(error);
    return true;
}

void NewTiffWriter::save(const QString& path)
{
    if (pageCount() == 0) {
        abandon();
        noPages();
    }
    QString error;
    const bool ok = m_writer->commit(&error) && placeDocument(m_target, m_spool.get(), kSpoolTiff, path, &error);
    abandon();
    if (!ok) raise(imagebox_error::kFileAccess, error);
}

void NewTiffWriter::abandon()
{
    m_writer.reset();
    m_spool.reset();
}

// ---- a new PDF

NewPdfWriter::NewPdfWriter(QString target) : m_target(std::move(target)) {}

NewPdfWriter::~NewPdfWriter() = default;

PdfDocumentWriter& NewPdfWriter::writer()
{
    if (!m_writer) m_writer = std::make_unique<PdfDocumentWriter>(pagesFile(m_target, m_spool, kSpoolPdf));
    return *m_writer;
}

int NewPdfWriter::pageCount() const { return m_writer ? m_writer->pageCount() : 0; }

void NewPdfWriter::addCodedPage(const PdfPageImage& page)
{
    QString error;
    if (!writer().addPage(page, &error)) {
        abandon();
        raise(imagebox_error::kFileAccess, error);
    }
}

void NewPdfWriter::addPage(const PageImage& page) { addCodedPage(pdfPageImage(page)); }

bool NewPdfWriter::addJpegFile(const QString& path, const PageFormat& format)
{
    const PdfPageImage page = jpegFilePage(path, format.colorFormat);
    if (!page.isValid()) return false;
    addCodedPage(page);
    return true;
}

bool NewPdfWriter::addGroup4File(const QString& path, const PageFormat& format)
{
    const PdfPageImage page = group4FilePdfPage(path, format);
    if (!page.isValid()) return false;
    addCodedPage(page);
    return true;
}

void NewPdfWriter::save(const QString& path)
{
    if (pageCount() == 0) {
        abandon();
        noPages();
    }
    QString error;
    const bool ok = m_writer->commit(QString::fromUtf8(version::kTitle), &error) &&
                    placeDocument(m_target, m_spool.get(), kSpoolPdf, path, &error);
    abandon();
    if (!ok) raise(imagebox_error::kFileAccess, error);
}

void NewPdfWriter::abandon()
{
    m_writer.reset();
    m_spool.reset();
}

// ---- a PDF read once and written once

PdfRewriteAppend::PdfRewriteAppend(const QString& path, const QString& target)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        raise(imagebox_error::kFileNotFound, QStringLiteral("File not found: ") + path);
    m_spool = std::make_unique<WorkFolder>(QStringLiteral("multipage"));
    if (!m_spool->isValid()) raise(imagebox_error::kFileAccess, m_spool->errorString());
    m_appender = std::make_unique<PdfAppender>(path, target.isEmpty() ? path : target,
                                               m_spool->filePath(QStringLiteral("pages-XXXXXX")));
    QString error;
    if (!m_appender->open(&error))
        raise(imagebox_error::kInvalidFileFormat, QStringLiteral("Not a PDF file: ") + path + QLatin1Char('\n') + error);
}

PdfRewriteAppend::~PdfRewriteAppend()
{
    // The appender goes before the folder its pages are spooled in.
    m_appender.reset();
}

bool PdfRewriteAppend::isFor(const QString& path, const QString& target) const
{
    return m_appender && sameFile(m_appender->source(), path) &&
           sameFile(m_appender->target(), target.isEmpty() ? path : target);
}

void PdfRewriteAppend::addPage(const PdfPageImage& page, int32_t position)
{
    QString error;
    if (!m_appender || !m_appender->addPage(page, position, &error)) {
        // Nothing half-gathered is ever written.
        m_appender.reset();
        raise(imagebox_error::kFileAccess, error);
    }
}

int PdfRewriteAppend::pageCount() const { return m_appender ? m_appender->pageCount() : 0; }

bool PdfRewriteAppend::commit(QString* error)
{
    if (!m_appender || m_appender->pageCount() == 0) return true;
    const bool ok = m_appender->commit(error);
    m_appender.reset();
    return ok;
}

} // namespace tf
