#include "basket/PageSinks.h"

#include "platform/imagebox/imagebox_document.h"
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

void NewTiffSink::open(ImageDocument& doc, const PageSource& pages)
{
    doc.BeginTiff(m_target, tiffBytesAtMost(pages, doc.ColorFormat(), doc.TiffCompression()));
    m_group4 = doc.WritesGroup4Tiff();
}

bool NewTiffSink::takesAsItIs(const QString& path) const { return group4AsItIs(m_group4, path); }
bool NewTiffSink::addFile(ImageDocument& doc, const QString& path) { return doc.AddTiffPageFromGroup4File(path); }

void NewTiffSink::addPage(ImageDocument& doc) { doc.AddTiffPage(1); }
void NewTiffSink::commit(ImageDocument& doc) { doc.SaveTiff(m_target); }
void NewTiffSink::rollback(ImageDocument& doc) noexcept { doc.AbandonMultipage(); }

NewPdfSink::NewPdfSink(QString target) : m_target(std::move(target)), m_replacing(existsOrLink(m_target)) {}

void NewPdfSink::open(ImageDocument& doc, const PageSource&)
{
    doc.BeginPdf(m_target);
    m_group4 = doc.WritesGroup4Pdf();
}
bool NewPdfSink::takesAsItIs(const QString& path) const { return isJpegName(path) || group4AsItIs(m_group4, path); }
bool NewPdfSink::addFile(ImageDocument& doc, const QString& path)
{
    return isJpegName(path) ? doc.AddPdfPageFromJpegFile(path) : doc.AddPdfPageFromGroup4File(path);
}
void NewPdfSink::addPage(ImageDocument& doc) { doc.AddPdfPage(1); }
void NewPdfSink::commit(ImageDocument& doc) { doc.SavePdf(m_target); }
void NewPdfSink::rollback(ImageDocument& doc) noexcept { doc.AbandonMultipage(); }

// ---- appends

TiffAppendSink::TiffAppendSink(QString document, QString target, AppendAt at, QString software)
    : m_document(std::move(document)), m_target(std::move(target)), m_at(at), m_software(std::move(software))
{
}

TiffAppendSink::~TiffAppendSink() = default;

void TiffAppendSink::open(ImageDocument& doc, const PageSource& pages)
{
    // Only a document that can take pages is touched, and only after it proved readable.
    if (tiffPageCount(m_document) == 0) notADocument();
    // A classic TIFF the pages could take past 4 GiB is refused before any work.
    if (isClassicTiff(m_document) &&
        QFileInfo(m_document).size() + tiffBytesAtMost(pages, doc.ColorFormat(), doc.TiffCompression()) >
            kClassicTiffMaxBytes)
        throw ImageBoxError(imagebox_error::kFileAccess, tiffTooLargeMessage());
    // The pages go after the document's old end and join it with one pointer rewritten last: no
    // copy of the document, and a failure or Cancel cuts the file back to what it was.
    m_session = std::make_unique<TiffAppendSession>(m_document, m_target,
                                                    m_at == AppendAt::Beginning ? TiffAppendSession::Where::Beginning
                                                                                : TiffAppendSession::Where::End);
    doc.AbandonMultipage();
    m_group4 = doc.WritesGroup4Tiff();
}

bool TiffAppendSink::takesAsItIs(const QString& path) const { return group4AsItIs(m_group4, path); }

bool TiffAppendSink::addFile(ImageDocument&, const QString& path)
{
    const Group4Strip page = readGroup4Strip(path);
    if (!page.isValid()) return false;
    QString error;
    if (!m_session->addCodedPage(page, m_software, &error)) throw ImageBoxError(imagebox_error::kFileAccess, error);
    return true;
}

void TiffAppendSink::addPage(ImageDocument& doc)
{
    QString error;
    if (!m_session->addPage(doc.TiffPageRaster(), qMax<int>(0, doc.TiffCompression()), m_software, &error))
        throw ImageBoxError(imagebox_error::kFileAccess, error);
}

void TiffAppendSink::commit(ImageDocument&)
{
    QString error;
    const bool ok = m_session->commit(&error);
    m_session.reset();
    if (!ok) throw ImageBoxError(imagebox_error::kFileAccess, error);
}

void TiffAppendSink::rollback(ImageDocument&) noexcept { m_session.reset(); }

PdfAppendSink::PdfAppendSink(QString document, QString target, AppendAt at)
    : m_document(std::move(document)), m_target(std::move(target)), m_at(at)
{
}

PdfAppendSink::~PdfAppendSink() = default;

void PdfAppendSink::open(ImageDocument& doc, const PageSource&)
{
    doc.AbandonMultipage();
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

bool PdfAppendSink::addFile(ImageDocument& doc, const QString& path)
{
    if (m_update) {
        const PdfPageImage page = doc.PdfPageFromJpegFile(path);
        if (!page.isValid()) return false;
        update(page);
    } else if (!doc.AppendJpegFileToPdf(path, m_document, m_target, position())) {
        return false;
    }
    ++m_added;
    return true;
}

void PdfAppendSink::addPage(ImageDocument& doc)
{
    if (m_update)
        update(doc.PdfPage());
    else
        doc.AppendToPdf(m_document, m_target, position());
    ++m_added;
}

void PdfAppendSink::commit(ImageDocument& doc)
{
    if (!m_update) {
        doc.ResetMultipage(); // the gathered pages are written here, in one pass
        return;
    }
    QString error;
    const bool ok = m_update->commit(&error);
    m_update.reset();
    if (!ok) throw ImageBoxError(imagebox_error::kFileAccess, error);
}

void PdfAppendSink::rollback(ImageDocument& doc) noexcept
{
    m_update.reset();
    doc.AbandonMultipage();
}

} // namespace tf
