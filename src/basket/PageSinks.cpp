#include "basket/PageSinks.h"

#include "platform/imagebox/page_writers.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/tiff_append.h"
#include "platform/imagebox/tiff_pages.h"
#include "services/clsImageHeaderInfo.h"
#include "services/modFileSystem.h"

#include <QFile>
#include <QFileInfo>

namespace tf {

namespace {

bool existsOrLink(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool isJpegName(const QString& path)
{
    const QString ext = fncGetExtension(path).toLower();
    return ext == QLatin1String("jpg") || ext == QLatin1String("jpeg");
}

bool isTiffName(const QString& path)
{
    const QString ext = fncGetExtension(path).toLower();
    return ext == QLatin1String("tif") || ext == QLatin1String("tiff");
}

// A page whose Group 4 strip can go into the output as it is: nothing is decoded for it.
bool group4AsItIs(bool group4, const QString& path) { return group4 && isTiffName(path) && isGroup4StripPage(path); }

[[noreturn]] void notADocument()
{
    throw ImageBoxError(imagebox_error::kInvalidFileFormat, QStringLiteral("Not a TIFF or PDF document"));
}

} // namespace

qint64 tiffBytesAtMost(const PageSource& pages, int colorFormat, int compression)
{
    qint64 total = 0;
    for (int i = 0; i < pages.count(); ++i) {
        clsImageHeaderInfo header;
        const QString path = pages.page(i).path;
        if (!header.ReadJPEG_TIFF_PNG_Header(path) && !header.ReadGIF_BMP_Header(path)) continue;
        total += tiffPageBytesAtMost(header.Width(), header.Height(),
                                     tiffBitsPerPixel(colorFormat, compression, header.BitsPerPixel(), header.IsGray()),
                                     qMax(0, compression));
    }
    return total;
}

// ---- new documents

NewTiffSink::NewTiffSink(QString target) : m_target(std::move(target)), m_replacing(existsOrLink(m_target)) {}

NewTiffSink::~NewTiffSink() = default;

void NewTiffSink::open(const PageSource& pages, const PageFormat& format)
{
    m_format = format;
    // Written beside the target as the pages come, and put in its place by commit.
    m_writer = std::make_unique<NewTiffWriter>(m_target,
                                               tiffBytesAtMost(pages, format.colorFormat, format.tiffCompression));
}

bool NewTiffSink::takesAsItIs(const QString& path) const { return group4AsItIs(m_format.group4Tiff(), path); }
bool NewTiffSink::addFile(const QString& path) { return m_writer->addGroup4File(path, m_format); }
void NewTiffSink::addPage(PreparedPage page) { m_writer->addPage(page.image); }
void NewTiffSink::commit() { m_writer->save(m_target); }
void NewTiffSink::rollback() noexcept { m_writer.reset(); }

NewPdfSink::NewPdfSink(QString target) : m_target(std::move(target)), m_replacing(existsOrLink(m_target)) {}

NewPdfSink::~NewPdfSink() = default;

void NewPdfSink::open(const PageSource&, const PageFormat& format)
{
    m_format = format;
    m_writer = std::make_unique<NewPdfWriter>(m_target);
}
bool NewPdfSink::takesAsItIs(const QString& path) const
{
    return isJpegName(path) || group4AsItIs(m_format.group4Pdf(), path);
}
bool NewPdfSink::addFile(const QString& path)
{
    return isJpegName(path) ? m_writer->addJpegFile(path, m_format) : m_writer->addGroup4File(path, m_format);
}
void NewPdfSink::addPage(PreparedPage page) { m_writer->addPage(page.image); }
void NewPdfSink::commit() { m_writer->save(m_target); }
void NewPdfSink::rollback() noexcept { m_writer.reset(); }

// ---- appends

TiffAppendSink::TiffAppendSink(QString document, QString target, AppendAt at, QString software)
    : m_document(std::move(document)), m_target(std::move(target)), m_at(at), m_software(std::move(software))
{
}

TiffAppendSink::~TiffAppendSink() = default;

void TiffAppendSink::open(const PageSource& pages, const PageFormat& format)
{
    m_format = format;
    // Only a document that can take pages is touched, and only after it proved readable.
    if (tiffPageCount(m_document) == 0) notADocument();
    // A classic TIFF the pages could take past 4 GiB is refused before any work.
    if (isClassicTiff(m_document) &&
        QFileInfo(m_document).size() + tiffBytesAtMost(pages, format.colorFormat, format.tiffCompression) >
            kClassicTiffMaxBytes)
        throw ImageBoxError(imagebox_error::kFileAccess, tiffTooLargeMessage());
    // The pages go after the document's old end and join it with one pointer rewritten last: no
    // copy of the document, and a failure or Cancel cuts the file back to what it was.
    m_session = std::make_unique<TiffAppendSession>(m_document, m_target,
                                                    m_at == AppendAt::Beginning ? TiffAppendSession::Where::Beginning
                                                                                : TiffAppendSession::Where::End);
}

bool TiffAppendSink::takesAsItIs(const QString& path) const { return group4AsItIs(m_format.group4Tiff(), path); }

bool TiffAppendSink::addFile(const QString& path)
{
    const Group4Strip page = readGroup4Strip(path);
    if (!page.isValid()) return false;
    QString error;
    if (!m_session->addCodedPage(page, m_software, &error)) throw ImageBoxError(imagebox_error::kFileAccess, error);
    return true;
}

void TiffAppendSink::addPage(PreparedPage page)
{
    QString error;
    if (!m_session->addPage(tiffPageRaster(page.image), page.image.format.compression(), m_software, &error))
        throw ImageBoxError(imagebox_error::kFileAccess, error);
}

void TiffAppendSink::commit()
{
    QString error;
    const bool ok = m_session->commit(&error);
    m_session.reset();
    if (!ok) throw ImageBoxError(imagebox_error::kFileAccess, error);
}

void TiffAppendSink::rollback() noexcept { m_session.reset(); }

PdfAppendSink::PdfAppendSink(QString document, QString target, AppendAt at)
    : m_document(std::move(document)), m_target(std::move(target)), m_at(at)
{
}

PdfAppendSink::~PdfAppendSink() = default;

void PdfAppendSink::open(const PageSource&, const PageFormat& format)
{
    m_format = format;
    // The pages go after the document's old end, without reading or writing its pages: the work
    // follows the pages added, and a failure or Cancel cuts the file back to what it was.
    QString error;
    m_update = PdfUpdateSession::start(m_document, m_target,
                                       m_at == AppendAt::Beginning ? PdfUpdateSession::Where::Beginning
                                                                   : PdfUpdateSession::Where::End,
                                       &error);
    if (m_update) return;
    if (!error.isEmpty()) throw ImageBoxError(imagebox_error::kFileAccess, error);
    // A document an update cannot rest on is rewritten whole, or refused, as before.
    if (pdfPageCount(m_document) == 0) notADocument();
}

bool PdfAppendSink::takesAsItIs(const QString& path) const { return isJpegName(path); }

void PdfAppendSink::update(const PdfPageImage& page)
{
    QString error;
    if (!m_update->addPage(page, &error)) throw ImageBoxError(imagebox_error::kFileAccess, error);
}

PdfRewriteAppend& PdfAppendSink::rewrite()
{
    // Made with the first page: the document is read when there is something to put in it.
    if (!m_rewrite) m_rewrite = std::make_unique<PdfRewriteAppend>(m_document, m_target);
    return *m_rewrite;
}

bool PdfAppendSink::addFile(const QString& path)
{
    const PdfPageImage page = jpegFilePdfPage(path, m_format.colorFormat);
    if (!page.isValid()) return false;
    if (m_update)
        update(page);
    else
        rewrite().addPage(page, position());
    ++m_added;
    return true;
}

void PdfAppendSink::addPage(PreparedPage page)
{
    if (m_update) {
        update(pdfPageImage(page.image));
    } else {
        PdfRewriteAppend& document = rewrite();
        document.addPage(pdfPageImage(page.image), position());
    }
    ++m_added;
}

void PdfAppendSink::commit()
{
    QString error;
    bool ok = true;
    if (m_update) {
        ok = m_update->commit(&error);
        m_update.reset();
    } else if (m_rewrite) {
        // The gathered pages are written here, in one pass.
        ok = m_rewrite->commit(&error);
        m_rewrite.reset();
    }
    if (!ok) throw ImageBoxError(imagebox_error::kFileAccess, error);
}

void PdfAppendSink::rollback() noexcept
{
    m_update.reset();
    m_rewrite.reset();
}

} // namespace tf
