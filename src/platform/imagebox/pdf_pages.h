#pragma once
#include "platform/imagebox/page_raster.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace tf {

// One page image as a PDF carries it: already encoded, with the filter that decodes it.
struct PdfPageImage {
    enum Filter { Dct, Ccitt, Flate };
    Filter filter = Flate;
    int width = 0;
    int height = 0;
    int bitsPerComponent = 8;
    enum Space { Rgb, Gray, Indexed } space = Rgb;
    QVector<QRgb> palette; // Indexed only
    double dpiX = 72.0;
    double dpiY = 72.0;
    QByteArray data;
    bool isValid() const { return width > 0 && height > 0 && !data.isEmpty(); }
};

// Bilevel pages become CCITT Group 4, every other raster Flate.
PdfPageImage pdfImageFromRaster(const PageRaster& raster, QString* error = nullptr);

// The resolution a JPEG file states: its JFIF density, else the X/YResolution of its EXIF data;
// false when it states none (JFIF's aspect-ratio-only density counts as none).
bool jpegResolution(const QByteArray& jpeg, double* dpiX, double* dpiY);

// A JPEG file's bytes, embedded unchanged. The page takes the resolution the file states, else
// dpiX and dpiY. Only baseline or progressive JPEGs of one (grey) or
// three (YCbCr) components qualify; for others this gives an invalid image and the caller
// encodes the decoded pixels instead.
PdfPageImage pdfImageFromJpeg(const QByteArray& jpeg, double dpiX, double dpiY);

// A new PDF written page by page, once: each page's encoded data goes straight into a hidden
// temporary file beside the target (memory holds one page at a time) and commit() adds the page
// tree and renames the file over the target. Until then the target is untouched; a page that
// cannot be written drops the document. Errors name the system's reason (a full disk, say).
class PdfDocumentWriter {
public:
    explicit PdfDocumentWriter(const QString& target);
    ~PdfDocumentWriter();
    PdfDocumentWriter(const PdfDocumentWriter&) = delete;
    PdfDocumentWriter& operator=(const PdfDocumentWriter&) = delete;

    bool addPage(const PdfPageImage& image, QString* error);
    int pageCount() const;
    bool commit(const QString& producer, QString* error);
    void discard();

private:
    bool fail(QString* error);
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Pages in a PDF file; 0 when it cannot be read.
int pdfPageCount(const QString& path);

// True when the PDF cannot be opened without a password.
bool pdfNeedsPassword(const QString& path);

// Pages inserted into an existing PDF, all in one pass: each page is encoded and spooled to
// `spool` as it comes, and commit() reads `source` once, inserts the pages in the order they were
// added (each `position` counts the pages inserted before it: 1 = first; 0 or past the last = at
// the end) and writes the result once to `target` (which may be `source`) through the safe-write
// routine, so a failure leaves both files as they were. However many pages, the document costs
// one read and one write.
class PdfAppender {
public:
    PdfAppender(const QString& source, const QString& target, const QString& spool);
    ~PdfAppender();
    PdfAppender(const PdfAppender&) = delete;
    PdfAppender& operator=(const PdfAppender&) = delete;

    // Reads the source's structure (not its page contents), once: false and *error when it is not
    // a PDF that pages can be added to. Required before addPage.
    bool open(QString* error);
    QString source() const;
    QString target() const;
    bool addPage(const PdfPageImage& image, int position, QString* error);
    int pageCount() const;
    // A `target` not there yet when the appender was made must still be free at the end (another
    // program's new file of that name is never replaced); an existing one is replaced and keeps
    // its permissions. A new target takes the source's permissions.
    bool commit(QString* error);
    void discard();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Pages added to an existing PDF as an incremental update, in time that follows the new pages
// only: their objects, a new version of the page tree's root holding them at the beginning or the
// end, and a cross-reference section of the document's own kind (a table, or a stream where the
// document ends in one) that points back to the old one are written after the old end. The last
// write, the startxref line and %%EOF, is what makes readers take them; until then a reader finds
// the old document, and no old byte ever changes. Undoing the update is cutting the file back to
// its old length, which the next start does for a run killed at any moment before that last write
// was whole (the record of the update is on the disk before its first byte).
class PdfUpdateSession {
public:
    enum class Where { End, Beginning };
    // In place when target == document; otherwise `target` is a new file (the document's bytes
    // plus the update), made beside it with the safe-write routine and never replacing a file.
    // Nothing (and *error empty) when the document cannot take a plain update: it is encrypted,
    // its cross-reference had to be rebuilt, its trailer or page tree is not as the format has
    // them, or it is no PDF at all; the caller then rewrites it whole, or refuses it, as before.
    // Nothing with *error when the file cannot be written or the work record cannot be kept.
    static std::unique_ptr<PdfUpdateSession> start(const QString& document, const QString& target, Where where,
                                                   QString* error);
    ~PdfUpdateSession(); // rolls back when not committed
    PdfUpdateSession(const PdfUpdateSession&) = delete;
    PdfUpdateSession& operator=(const PdfUpdateSession&) = delete;

    bool addPage(const PdfPageImage& image, QString* error);
    int pageCount() const;
    // Writes the page tree and the cross-reference section, syncs, records the last line, then
    // writes it. With no page added nothing changes and false comes back.
    bool commit(QString* error);
    // Cuts the file back to its old length and forgets the record.
    void rollback() noexcept;

    // Tests stop a run at these points to see what a kill there leaves.
    enum class Step { BeforeCommit, AfterCommit };
    static void setStepHookForTests(void (*hook)(Step));
    // Tests compare the document's quick reading with qpdf's whole one: whether the quick one is
    // tried, and which one gave what the update rests on.
    static void setReadingForTests(bool quickAllowed, void (*read)(bool quick) = nullptr);

private:
    PdfUpdateSession();
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace tf
