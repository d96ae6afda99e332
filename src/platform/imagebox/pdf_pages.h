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

// A JPEG file's bytes, embedded unchanged. Only baseline or progressive JPEGs of one (grey) or
// three (YCbCr) components qualify; for others this gives an invalid image and the caller
// encodes the decoded pixels instead.
PdfPageImage pdfImageFromJpeg(const QByteArray& jpeg, double dpiX, double dpiY);

// A new PDF written page by page. Each page's encoded data is spooled to a hidden temporary file
// beside the target, so memory holds one page at a time; commit() writes the document to another
// temporary file and renames it over the target. Until then the target is untouched.
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
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Pages in a PDF file; 0 when it cannot be read.
int pdfPageCount(const QString& path);

// Inserts one page into an existing PDF: the file is read, the page added at `position`
// (1 = first; 0 or past the last = at the end), and the result written beside it and renamed
// over it, so a failure leaves the file as it was.
bool insertPdfPage(const QString& path, const PdfPageImage& image, int position, QString* error);

} // namespace tf
