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

} // namespace tf
