#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/safefile.h"
#include "platform/sys/userdirs.h"
#include "platform/sys/workfiles.h"
#include "version_info.h"


#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <map>

namespace tf {

struct ImageDocument::MultipageState {
    // The file the current pixels were decoded from, when they are exactly a JPEG file's: its
    // bytes, and the image's cache key at that moment (any write to the pixels changes the key).
    QByteArray jpeg;
    qint64 jpegKey = 0;
    // The resolution the current pixels' file states, or kDefaultPageDpi when it states none, for
    // as long as the pixels are that file's (same key). The libraries fill in what a file leaves
    // out (FreeImage gives a TIFF without resolution 300 dpi) and know no EXIF resolution.
    qint64 resolutionKey = 0;
    double dpiX = 0;
    double dpiY = 0;
    template <typename Page>
    void applyResolution(Page& page, qint64 key) const
    {
        if (resolutionKey == 0 || key != resolutionKey) return;
        page.dpiX = dpiX;
        page.dpiY = dpiY;
    }
    // Metadata values set for the current image, by lower-cased name.
    std::map<QString, QString> exif;

    // A new document being built: written beside `direct` when Begin named the file, else spooled
    // in a private folder until SaveTiff or SavePdf knows where the document goes.
    QString direct;
    std::unique_ptr<QTemporaryDir> spool;
    std::unique_ptr<TiffDocumentWriter> tiff;
    bool bigTiff = false;
    std::unique_ptr<PdfDocumentWriter> pdf;

    // Pages gathered for an append to a PDF, spooled in a work folder of their own.
    std::unique_ptr<QTemporaryDir> appendSpool;
    std::unique_ptr<PdfAppender> pdfAppend;

    // Writes the gathered pages, if any; false and *error when they could not be.
    bool flushAppend(QString* error)
    {
        std::unique_ptr<PdfAppender> pending = std::move(pdfAppend);
        const bool ok = !pending || pending->pageCount() == 0 || pending->commit(error);
        pending.reset();
        appendSpool.reset();
        return ok;
    }
};

void ImageDocument::MultipageStateDeleter::operator()(MultipageState* state) const
{
    // Pages asked for are written even when nobody reset the state first; nobody is left to be
    // told of a failure, and the document is then as it was.
    if (state) state->flushAppend(nullptr);
    delete state;
}

ImageDocument::MultipageState& ImageDocument::multipage()
{
    if (!m_multipage) m_multipage.reset(new MultipageState);
    return *m_multipage;
}

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

bool sameFile(const QString& a, const QString& b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists()) return fa.canonicalFilePath() == fb.canonicalFilePath();
    return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
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

} // namespace

// ---- the pixel source

void ImageDocument::rememberPixelSource(const QString& path)
{
    MultipageState& st = multipage();
    st.jpeg.clear();
    st.resolutionKey = 0;
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) return;
    const QByteArray magic = f.peek(4);
    if (magic.startsWith("II") || magic.startsWith("MM")) {
        double x = 0, y = 0;
        if (!tiffPageResolution(path, m_pageIndex, &x, &y)) x = y = kDefaultPageDpi;
        st.dpiX = x;
        st.dpiY = y;
        st.resolutionKey = m_image.cacheKey();
        return;
    }
    if (m_pageIndex != 1 || f.size() > imagebox::kMaxBytes) return;
    if (!magic.startsWith(QByteArray("\xFF\xD8\xFF", 3))) return;
    st.jpeg = f.readAll();
    st.jpegKey = m_image.cacheKey();
    if (!jpegResolution(st.jpeg, &st.dpiX, &st.dpiY)) st.dpiX = st.dpiY = kDefaultPageDpi;
    st.resolutionKey = st.jpegKey;
}

void ImageDocument::forgetPixelSource()
{
    if (!m_multipage) return;
    m_multipage->jpeg.clear();
    m_multipage->jpegKey = 0;
    m_multipage->resolutionKey = 0;
    m_multipage->exif.clear();
}

// ---- settings

void ImageDocument::setColorFormat(int16_t format)
{
    if (format < -1 || format > kMonoThreshold)
        raise(imagebox_error::kInvalidProperty, QStringLiteral("Colour format must be 0 to 6"));
    m_colorFormat = format;
}

void ImageDocument::setTiffCompression(int16_t compression)
{
    if (compression < -1 || compression > kTiffGroup4)
        raise(imagebox_error::kInvalidProperty, QStringLiteral("TIFF compression must be 0 to 2"));
    m_tiffCompression = compression;
}

void ImageDocument::SetExifAttribute(const QString& name, const QString& value)
{
    if (name.trimmed().isEmpty()) raise(imagebox_error::kInvalidArgument, QStringLiteral("An attribute needs a name"));
    multipage().exif[name.trimmed().toLower()] = value;
}

// ---- encoding the current image

namespace {

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

QString softwareOf(const std::map<QString, QString>& exif)
{
    const auto it = exif.find(QStringLiteral("software"));
    return it == exif.end() ? QString() : it->second;
}

void requireImage(bool has)
{
    if (!has) raise(imagebox_error::kInvalidPicture, QStringLiteral("There is no picture to add"));
}
} // namespace

// ---- new documents

void ImageDocument::ResetMultipage()
{
    if (!m_multipage) return;
    QString error;
    const bool written = m_multipage->flushAppend(&error);
    m_multipage->tiff.reset();
    m_multipage->bigTiff = false;
    m_multipage->pdf.reset();
    m_multipage->spool.reset();
    m_multipage->direct.clear();
    if (!written) raise(imagebox_error::kFileAccess, error);
}

void ImageDocument::AbandonMultipage()
{
    if (!m_multipage) return;
    m_multipage->pdfAppend.reset();
    m_multipage->appendSpool.reset();
    m_multipage->tiff.reset();
    m_multipage->bigTiff = false;
    m_multipage->pdf.reset();
    m_multipage->spool.reset();
    m_multipage->direct.clear();
}

namespace {
QTemporaryDir& spoolFolder(std::unique_ptr<QTemporaryDir>& spool)
{
    if (!spool) {
        // In the program's own folder rather than the system's temporary one, which is often
        // memory: a long document must not fill it.
        spool = std::make_unique<QTemporaryDir>(userTempDir() + QStringLiteral("/multipage-XXXXXX"));
        if (!spool->isValid()) {
            spool.reset();
            raise(imagebox_error::kFileAccess, QStringLiteral("Cannot create a work folder in ") + userTempDir());
        }
        recordWorkFile(spool->path());
    }
    return *spool;
}

// Where the pages of a new document are written while it is built.
QString pagesFile(const QString& direct, std::unique_ptr<QTemporaryDir>& spool, const char* spoolName)
{
    return direct.isEmpty() ? spoolFolder(spool).filePath(QLatin1String(spoolName)) : direct;
}
} // namespace

void ImageDocument::BeginTiff(const QString& path, qint64 bytesAtMost)
{
    AbandonMultipage();
    MultipageState& st = multipage();
    st.direct = path;
    st.bigTiff = bytesAtMost > kClassicTiffMaxBytes;
}

void ImageDocument::BeginPdf(const QString& path)
{
    AbandonMultipage();
    multipage().direct = path;
}

PageRaster ImageDocument::TiffPageRaster() const
{
    requireImage(HasImage());
    return tiffRaster(m_image, {m_colorFormat, m_tiffCompression});
}

bool ImageDocument::WriteTiffPageInto(const QString& workFile, QString* error, const std::function<void()>& progress)
{
    requireImage(HasImage());
    const int compression = qMax<int>(0, m_tiffCompression);
    const int format =
        colorFormatForCompression(m_colorFormat < 0 ? nativeColorFormat(m_image) : m_colorFormat, compression);
    const QImage image = m_image;
    const bool packed = image.format() == QImage::Format_RGB888;
    if (format != kColor24Bit || (!packed && image.format() != QImage::Format_RGB32)) {
        // Every other page as the document writers have it; the picture goes once it is.
        const PageRaster raster = TiffPageRaster();
        Clear();
        return writeTiffPageInto(workFile, raster, compression, error, progress);
    }
    Clear();
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

void ImageDocument::AddTiffPage(int32_t /*page*/)
{
    requireImage(HasImage());
    MultipageState& st = multipage();
    const PageRaster raster = tiffRaster(m_image, {m_colorFormat, m_tiffCompression});
    if (!st.tiff) {
        st.tiff = std::make_unique<TiffDocumentWriter>(pagesFile(st.direct, st.spool, kSpoolTiff));
        st.tiff->setBigTiff(st.bigTiff);
    }
    QString error;
    if (!st.tiff->addPage(raster, qMax<int>(0, m_tiffCompression), softwareOf(st.exif), &error)) {
        // A page that failed half-written leaves the document unusable: start afresh, so that
        // no later save can write it.
        ResetMultipage();
        raise(imagebox_error::kFileAccess, error);
    }
}

void ImageDocument::ExpectTiffBytes(qint64 bytesAtMost)
{
    MultipageState& st = multipage();
    st.bigTiff = bytesAtMost > kClassicTiffMaxBytes;
    if (st.tiff && st.tiff->pageCount() == 0) st.tiff->setBigTiff(st.bigTiff);
}

void ImageDocument::AddPdfPage(int32_t /*page*/)
{
    requireImage(HasImage());
    MultipageState& st = multipage();
    PdfPageImage page =
        pdfPageFor(m_image, m_colorFormat, st.jpeg, !st.jpeg.isEmpty() && st.jpegKey == m_image.cacheKey());
    st.applyResolution(page, m_image.cacheKey());
    if (!st.pdf) st.pdf = std::make_unique<PdfDocumentWriter>(pagesFile(st.direct, st.spool, kSpoolPdf));
    QString error;
    if (!st.pdf->addPage(page, &error)) {
        ResetMultipage();
        raise(imagebox_error::kFileAccess, error);
    }
}

namespace {

// A JPEG file as a PDF page as it is, or an invalid page when it does not qualify (see
// AddPdfPageFromJpegFile).
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

void ImageDocument::addCodedPdfPage(const PdfPageImage& page)
{
    MultipageState& st = multipage();
    if (!st.pdf) st.pdf = std::make_unique<PdfDocumentWriter>(pagesFile(st.direct, st.spool, kSpoolPdf));
    QString error;
    if (!st.pdf->addPage(page, &error)) {
        ResetMultipage();
        raise(imagebox_error::kFileAccess, error);
    }
}

bool ImageDocument::AddPdfPageFromJpegFile(const QString& path)
{
    const PdfPageImage page = jpegFilePage(path, m_colorFormat);
    if (!page.isValid()) return false;
    addCodedPdfPage(page);
    return true;
}

bool ImageDocument::WritesGroup4Tiff() const { return m_tiffCompression == kTiffGroup4; }

bool ImageDocument::WritesGroup4Pdf() const
{
    return m_colorFormat == -1 || m_colorFormat == kMonoDithered || m_colorFormat == kMonoThreshold;
}

bool ImageDocument::AddTiffPageFromGroup4File(const QString& path)
{
    // Any colour format: a page of pure black and white comes out of every one unchanged.
    if (!WritesGroup4Tiff()) return false;
    const Group4Strip page = readGroup4Strip(path);
    if (!page.isValid()) return false;
    MultipageState& st = multipage();
    if (!st.tiff) {
        st.tiff = std::make_unique<TiffDocumentWriter>(pagesFile(st.direct, st.spool, kSpoolTiff));
        st.tiff->setBigTiff(st.bigTiff);
    }
    QString error;
    // Metadata set belongs to the current image, which this page is not.
    if (!st.tiff->addCodedPage(page, QString(), &error)) {
        ResetMultipage();
        raise(imagebox_error::kFileAccess, error);
    }
    return true;
}

bool ImageDocument::AddPdfPageFromGroup4File(const QString& path)
{
    if (!WritesGroup4Pdf()) return false;
    const Group4Strip strip = readGroup4Strip(path);
    if (!strip.isValid()) return false;
    PdfPageImage page;
    page.filter = PdfPageImage::Ccitt;
    page.space = PdfPageImage::Gray;
    page.bitsPerComponent = 1;
    page.width = strip.header.width;
    page.height = strip.header.height;
    page.dpiX = strip.header.dpiX;
    page.dpiY = strip.header.dpiY;
    page.data = strip.strip;
    addCodedPdfPage(page);
    return true;
}

bool ImageDocument::JpegFileFitsPdf(const QString& path, int16_t colorFormat)
{
    return jpegFilePage(path, colorFormat).isValid();
}

namespace {
// The finished document in its place: there already when it was written beside it, else moved
// from the spool (or from beside another name).
bool placeDocument(const QString& direct, const QTemporaryDir* spool, const char* spoolName, const QString& path,
                   QString* error)
{
    if (!direct.isEmpty() && sameFile(direct, path)) return true;
    const QString written = direct.isEmpty() ? spool->filePath(QLatin1String(spoolName)) : direct;
    return moveFileSafely(written, path, Placement::Replace, error);
}
} // namespace

void ImageDocument::SaveTiff(const QString& path)
{
    MultipageState& st = multipage();
    if (!st.tiff || st.tiff->pageCount() == 0) {
        ResetMultipage();
        raise(imagebox_error::kInvalidPicture, QStringLiteral("There are no pages to save"));
    }
    QString error;
    const bool ok = st.tiff->commit(&error) && placeDocument(st.direct, st.spool.get(), kSpoolTiff, path, &error);
    ResetMultipage();
    if (!ok) raise(imagebox_error::kFileAccess, error);
}

void ImageDocument::SavePdf(const QString& path)
{
    MultipageState& st = multipage();
    if (!st.pdf || st.pdf->pageCount() == 0) {
        ResetMultipage();
        raise(imagebox_error::kInvalidPicture, QStringLiteral("There are no pages to save"));
    }
    QString error;
    const bool ok = st.pdf->commit(QString::fromUtf8(version::kTitle), &error) && placeDocument(st.direct, st.spool.get(), kSpoolPdf, path, &error);
    ResetMultipage();
    if (!ok) raise(imagebox_error::kFileAccess, error);
}

// ---- appending to existing documents

namespace {

void requireExisting(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        raise(imagebox_error::kFileNotFound, QStringLiteral("File not found: ") + path);
}

// Runs `insert` on a copy beside the output, which replaces the output once the page is in. Even
// with one file the insert never works on the document itself: a damaged document can make the
// writer fail halfway, and the user's file must then stay as it was.
template <typename Insert>
void appendVia(const QString& path, const QString& path2, Insert insert)
{
    QString error;
    const QString& target = path2.isEmpty() || sameFile(path, path2) ? path : path2;
    SafeFile copy(target);
    if (!copy.open(&error) || !copy.copyFrom(path, &error) || !insert(copy, &error) || !copy.commit(&error))
        raise(imagebox_error::kFileAccess, error);
}

} // namespace

void ImageDocument::AppendToTiff(const QString& path, const QString& path2, int32_t position)
{
    requireImage(HasImage());
    requireExisting(path);
    if (tiffPageCount(path) == 0) raise(imagebox_error::kInvalidFileFormat, QStringLiteral("Not a TIFF file: ") + path);
    const int compression = qMax<int>(0, m_tiffCompression);
    const PageRaster raster = tiffRaster(m_image, {m_colorFormat, m_tiffCompression});
    const QString software = softwareOf(multipage().exif);
    // Refused before anything is copied or written.
    if (isClassicTiff(path) &&
        QFileInfo(path).size() + tiffPageBytesAtMost(raster.width, raster.height,
                                                     raster.bitsPerSample * raster.samplesPerPixel(), compression) >
            kClassicTiffMaxBytes)
        raise(imagebox_error::kFileAccess, tiffTooLargeMessage());
    appendVia(path, path2, [&](SafeFile& file, QString* error) {
        return insertTiffPage(file, raster, compression, software, position, error);
    });
}

PdfAppender& ImageDocument::pdfAppenderFor(const QString& path, const QString& path2)
{
    MultipageState& st = multipage();
    const QString target = path2.isEmpty() ? path : path2;
    if (st.pdfAppend && sameFile(st.pdfAppend->source(), path) && sameFile(st.pdfAppend->target(), target))
        return *st.pdfAppend;
    // Another document: the pages gathered for the one before are written first.
    QString error;
    if (!st.flushAppend(&error)) raise(imagebox_error::kFileAccess, error);
    requireExisting(path);
    st.appendSpool = std::make_unique<QTemporaryDir>(userTempDir() + QStringLiteral("/multipage-XXXXXX"));
    if (!st.appendSpool->isValid()) {
        st.appendSpool.reset();
        raise(imagebox_error::kFileAccess, QStringLiteral("Cannot create a work folder in ") + userTempDir());
    }
    recordWorkFile(st.appendSpool->path());
    auto appender = std::make_unique<PdfAppender>(path, target, st.appendSpool->filePath(QStringLiteral("pages-XXXXXX")));
    if (!appender->open(&error)) {
        st.appendSpool.reset();
        raise(imagebox_error::kInvalidFileFormat, QStringLiteral("Not a PDF file: ") + path + QLatin1Char('\n') + error);
    }
    st.pdfAppend = std::move(appender);
    return *st.pdfAppend;
}

void ImageDocument::gatherPdfPage(PdfAppender& appender, const PdfPageImage& page, int32_t position)
{
    QString error;
    if (!appender.addPage(page, position, &error)) {
        // Nothing half-gathered is ever written.
        multipage().pdfAppend.reset();
        multipage().appendSpool.reset();
        raise(imagebox_error::kFileAccess, error);
    }
}

void ImageDocument::AppendToPdf(const QString& path, const QString& path2, int32_t position)
{
    requireImage(HasImage());
    PdfAppender& appender = pdfAppenderFor(path, path2);
    MultipageState& st = multipage();
    PdfPageImage page =
        pdfPageFor(m_image, m_colorFormat, st.jpeg, !st.jpeg.isEmpty() && st.jpegKey == m_image.cacheKey());
    st.applyResolution(page, m_image.cacheKey());
    gatherPdfPage(appender, page, position);
}

PdfPageImage ImageDocument::PdfPage() const
{
    requireImage(HasImage());
    const MultipageState* st = m_multipage.get();
    const bool jpegCurrent = st && !st->jpeg.isEmpty() && st->jpegKey == m_image.cacheKey();
    PdfPageImage page = pdfPageFor(m_image, m_colorFormat, jpegCurrent ? st->jpeg : QByteArray(), jpegCurrent);
    if (st) st->applyResolution(page, m_image.cacheKey());
    return page;
}

PdfPageImage ImageDocument::PdfPageFromJpegFile(const QString& jpeg) const { return jpegFilePage(jpeg, m_colorFormat); }

bool ImageDocument::AppendJpegFileToPdf(const QString& jpeg, const QString& path, const QString& path2, int32_t position)
{
    const PdfPageImage page = jpegFilePage(jpeg, m_colorFormat);
    if (!page.isValid()) return false;
    gatherPdfPage(pdfAppenderFor(path, path2), page, position);
    return true;
}

// ---- sizes

int32_t ImageDocument::EncodedSize(int32_t format)
{
    if (format != 7 && format != 8)
        raise(imagebox_error::kInvalidArgument, QStringLiteral("Size format must be 7 or 8"));
    requireImage(HasImage());
    qint64 size = 0;
    if (format == 7) {
        QString error;
        const QByteArray bytes = encodeTiffInMemory(tiffRaster(m_image, {m_colorFormat, m_tiffCompression}),
                                                    qMax<int>(0, m_tiffCompression), &error);
        if (bytes.isEmpty()) raise(imagebox_error::kInvalidPicture, error);
        size = bytes.size();
    } else {
        MultipageState& st = multipage();
        PdfPageImage page =
            pdfPageFor(m_image, m_colorFormat, st.jpeg, !st.jpeg.isEmpty() && st.jpegKey == m_image.cacheKey());
        st.applyResolution(page, m_image.cacheKey());
        QTemporaryDir folder(userTempDir() + QStringLiteral("/size-XXXXXX"));
        if (folder.isValid()) recordWorkFile(folder.path());
        const QString file = folder.filePath(QStringLiteral("page.pdf"));
        PdfDocumentWriter writer(file);
        QString error;
        if (!folder.isValid() || !writer.addPage(page, &error) ||
            !writer.commit(QString::fromUtf8(version::kTitle), &error))
            raise(imagebox_error::kFileAccess, error);
        size = QFileInfo(file).size();
    }
    return static_cast<int32_t>(qMin<qint64>(size, INT32_MAX));
}

} // namespace tf
