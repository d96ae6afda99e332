#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/page_writers.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/safefile.h"

#include <QFile>
#include <QFileInfo>

#include <map>

namespace tf {

struct ImageDocument::MultipageState {
    // The file the current pixels were decoded from, when they are exactly a JPEG file's: its
    // bytes, and the image's cache key at that moment (any write to the pixels changes the key).
    QByteArray jpeg;
    qint64 jpegKey = 0;
    // The resolution the current pixels' file states, or kDefaultPageDpi when it states none, for
    // as long as the pixels are that file's (same key).
    qint64 resolutionKey = 0;
    double dpiX = 0;
    double dpiY = 0;
    // Metadata values set for the current image, by lower-cased name.
    std::map<QString, QString> exif;

    // The new document the pages added go to, spooled until SaveTiff or SavePdf names the file.
    std::unique_ptr<NewTiffWriter> tiff;
    std::unique_ptr<NewPdfWriter> pdf;
    // Pages gathered for an append to a PDF.
    std::unique_ptr<PdfRewriteAppend> pdfAppend;

    // Writes the gathered pages, if any; false and *error when they could not be.
    bool flushAppend(QString* error)
    {
        std::unique_ptr<PdfRewriteAppend> pending = std::move(pdfAppend);
        return !pending || pending->commit(error);
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

[[noreturn]] void raise(int32_t number, const QString& description) { throw ImageBoxError(number, description); }

void requireImage(bool has)
{
    if (!has) raise(imagebox_error::kInvalidPicture, QStringLiteral("There is no picture to add"));
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

PageImage ImageDocument::pageImage() const
{
    PageImage page;
    page.pixels = m_image;
    page.format = {m_colorFormat, m_tiffCompression};
    const MultipageState* st = m_multipage.get();
    if (!st || m_image.isNull()) return page;
    const qint64 key = m_image.cacheKey();
    if (!st->jpeg.isEmpty() && st->jpegKey == key) page.jpeg = st->jpeg;
    if (st->resolutionKey != 0 && st->resolutionKey == key) {
        page.statedDpiX = st->dpiX;
        page.statedDpiY = st->dpiY;
    }
    const auto software = st->exif.find(QStringLiteral("software"));
    if (software != st->exif.end()) page.software = software->second;
    return page;
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

// ---- new documents

void ImageDocument::ResetMultipage()
{
    if (!m_multipage) return;
    QString error;
    const bool written = m_multipage->flushAppend(&error);
    m_multipage->tiff.reset();
    m_multipage->pdf.reset();
    if (!written) raise(imagebox_error::kFileAccess, error);
}

void ImageDocument::AbandonMultipage()
{
    if (!m_multipage) return;
    m_multipage->pdfAppend.reset();
    m_multipage->tiff.reset();
    m_multipage->pdf.reset();
}

bool ImageDocument::WriteTiffPageInto(const QString& workFile, QString* error, const std::function<void()>& progress)
{
    requireImage(HasImage());
    PageImage page = pageImage();
    // The picture is held once, by the page, while it is written.
    Clear();
    return writeTiffPageFile(workFile, std::move(page), error, progress);
}

void ImageDocument::AddTiffPage(int32_t /*page*/)
{
    requireImage(HasImage());
    MultipageState& st = multipage();
    if (!st.tiff) st.tiff = std::make_unique<NewTiffWriter>();
    st.tiff->addPage(pageImage());
}

void ImageDocument::AddPdfPage(int32_t /*page*/)
{
    requireImage(HasImage());
    MultipageState& st = multipage();
    if (!st.pdf) st.pdf = std::make_unique<NewPdfWriter>();
    st.pdf->addPage(pageImage());
}

// Each save starts afresh, with an append's gathered pages written too (a new document is a new
// command).
void ImageDocument::SaveTiff(const QString& path)
{
    std::unique_ptr<NewTiffWriter> tiff = std::move(multipage().tiff);
    if (!tiff) tiff = std::make_unique<NewTiffWriter>();
    try {
        tiff->save(path);
    } catch (...) {
        ResetMultipage();
        throw;
    }
    ResetMultipage();
}

void ImageDocument::SavePdf(const QString& path)
{
    std::unique_ptr<NewPdfWriter> pdf = std::move(multipage().pdf);
    if (!pdf) pdf = std::make_unique<NewPdfWriter>();
    try {
        pdf->save(path);
    } catch (...) {
        ResetMultipage();
        throw;
    }
    ResetMultipage();
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
    const PageImage page = pageImage();
    const int compression = page.format.compression();
    const PageRaster raster = tiffPageRaster(page);
    // Refused before anything is copied or written.
    if (isClassicTiff(path) &&
        QFileInfo(path).size() + tiffPageBytesAtMost(raster.width, raster.height,
                                                     raster.bitsPerSample * raster.samplesPerPixel(), compression) >
            kClassicTiffMaxBytes)
        raise(imagebox_error::kFileAccess, tiffTooLargeMessage());
    appendVia(path, path2, [&](SafeFile& file, QString* error) {
        return insertTiffPage(file, raster, compression, page.software, position, error);
    });
}

void ImageDocument::AppendToPdf(const QString& path, const QString& path2, int32_t position)
{
    requireImage(HasImage());
    MultipageState& st = multipage();
    if (!st.pdfAppend || !st.pdfAppend->isFor(path, path2)) {
        // Another document: the pages gathered for the one before are written first.
        QString error;
        if (!st.flushAppend(&error)) raise(imagebox_error::kFileAccess, error);
        st.pdfAppend = std::make_unique<PdfRewriteAppend>(path, path2);
    }
    const PdfPageImage page = pdfPageImage(pageImage());
    try {
        st.pdfAppend->addPage(page, position);
    } catch (...) {
        // Nothing half-gathered is ever written.
        st.pdfAppend.reset();
        throw;
    }
}

// ---- sizes

int32_t ImageDocument::EncodedSize(int32_t format) { return encodedPageSize(pageImage(), format); }

} // namespace tf
