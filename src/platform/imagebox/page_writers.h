#pragma once
// One page as it is to be written, and the writers that own a new multipage document, or the
// pages gathered for a PDF that is read once and written once. Whoever writes pages (the image
// control's multipage members, the page pipeline's sinks, the acquisition) owns such a writer;
// nothing of one page's writing lives in a document that shows or edits it.
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/pdf_pages.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>
#include <QtGlobal>

#include <cstdint>
#include <memory>


namespace tf {

class WorkFolder;

class TiffDocumentWriter;

// How a page is written. Colour format: 0 "24 bit", 1 "256 Color", 2 "256 Grayscale", 3 "16
// Color", 4 "16 Grayscale", 5 "Mono" (dithered), 6 "Mono BW" (threshold); -1 keeps each image's
// own depth (1 bit, grey or colour). TIFF compression: 0 none, 1 PackBits, 2 CCITT Group 4, -1
// none. Group 4 codes only black and white, so with it other depths become "Mono BW".
struct PageFormat {
    int16_t colorFormat = -1;
    int16_t tiffCompression = 0;
    int compression() const { return qMax<int>(0, tiffCompression); }
    // Whether a one-bit page is written as Group 4 (TIFF or PDF).
    bool group4Tiff() const;
    bool group4Pdf() const;
};

// A page ready to be written: its pixels and how they are written, with what the pixels' file
// gives that the pixels alone do not, for as long as they are exactly that file's.
struct PageImage {
    QImage pixels;
    PageFormat format;
    // The JPEG file the pixels are the decoding of (a PDF takes the file's own coding); empty once
    // they were changed, or when they are no JPEG file's.
    QByteArray jpeg;
    // The resolution the pixels' file states for a PDF page (kDefaultPageDpi when it states none);
    // 0 when the pixels are no file's as read, and the pixels' own resolution stands. The
    // libraries fill in what a file leaves out and know no EXIF resolution.
    double statedDpiX = 0;
    double statedDpiY = 0;
    // The "Software" value of a TIFF page; empty for none.
    QString software;
    bool isNull() const { return pixels.isNull(); }
};

// The page as a TIFF holds it. Raises ImageBoxError when there are no pixels or they cannot be
// converted.
PageRaster tiffPageRaster(const PageImage& page);
// The page as tiffPageRaster gives it, as a one-page TIFF into `workFile`, an empty file made for
// it (see writeTiffPageInto); an opaque colour page is converted row by row as it is written,
// never whole. False with the reason; `progress` is called as the file grows.
bool writeTiffPageFile(const QString& workFile, PageImage page, QString* error,
                       const std::function<void()>& progress = {});
// The page as a PDF holds it: the JPEG file itself while the pixels are still exactly its decoding
// and the colour format keeps them, else the pixels reduced to the colour format. Raises as
// tiffPageRaster.
PdfPageImage pdfPageImage(const PageImage& page);
// A JPEG file as a PDF page as it is, without being decoded, when that is what decoding it and
// writing the pixels would give (a 24-bit or the native colour format, or "256 Grayscale" for a
// grey JPEG); an invalid page when the file does not qualify. Read with our own bounds-checked
// walk over its markers: no image library parses a user's file here.
PdfPageImage jpegFilePdfPage(const QString& path, int colorFormat);
// A TIFF's Group 4 strip as a PDF page as it is, when it qualifies (see readGroup4Strip) and the
// format writes one-bit pages as Group 4; else an invalid page.
PdfPageImage group4FilePdfPage(const QString& path, const PageFormat& format);
// Whether two paths name one file (the same path when neither is there yet).
bool sameFile(const QString& a, const QString& b);
// Bytes the page takes as a one-page document: format 7 TIFF, 8 PDF (raises for others).
int32_t encodedPageSize(const PageImage& page, int32_t format);

// Pixels as a picture file in the format its extension names (bmp, jpg/jpeg/jpe, tif/tiff, png,
// gif, psd, pcx, tga), JPEG at `jpegQuality` (1..100). The file is replaced only once the new one
// is complete. Raises for no pixels or an unknown extension. When `cancelled` answers true once
// the pixels are encoded, nothing is written and the answer is false. Encoding a big picture
// takes seconds: a blocking call, checked (blockingcalls.h).
bool savePictureFile(const QImage& pixels, const QString& path, int jpegQuality,
                     const std::function<bool()>& cancelled = {});

// A new multipage TIFF, page by page: written beside `target` as the pages come (memory holds one
// page whatever their number), or spooled in the program's work folder when no target is named
// yet; save() puts it in its place. Until then, or when dropped, no file of the user's changes.
// Failures raise ImageBoxError; a page that cannot be added drops the pages before it, so no
// half-written document can be saved.
class NewTiffWriter {
public:
    // A document that may pass 4 GiB (`bytesAtMost`, see tiffPageBytesAtMost) is written as
    // BigTIFF.
    explicit NewTiffWriter(QString target = {}, qint64 bytesAtMost = 0);
    ~NewTiffWriter();
    NewTiffWriter(const NewTiffWriter&) = delete;
    NewTiffWriter& operator=(const NewTiffWriter&) = delete;

    void addPage(const PageImage& page);
    // A TIFF whose first page is one Group 4 strip of black and white goes in as it is when the
    // format writes Group 4; false, with nothing added, when it does not qualify.
    bool addGroup4File(const QString& path, const PageFormat& format);
    int pageCount() const;
    bool bigTiff() const { return m_bigTiff; }
    // Writes the pages at `path` (the file appears, or replaces an older one, only once complete)
    // and starts afresh; without pages nothing is written and an error raised.
    void save(const QString& path);
    // Drops the pages, writing nothing.
    void abandon();

private:
    TiffDocumentWriter& writer();
    void failed(const QString& error);
    QString m_target;
    bool m_bigTiff;
    std::unique_ptr<WorkFolder> m_spool;
    std::unique_ptr<TiffDocumentWriter> m_writer;
};

// A new PDF, page by page, on the terms of NewTiffWriter.
class NewPdfWriter {
public:
    explicit NewPdfWriter(QString target = {});
    ~NewPdfWriter();
    NewPdfWriter(const NewPdfWriter&) = delete;
    NewPdfWriter& operator=(const NewPdfWriter&) = delete;

    void addPage(const PageImage& page);
    // A page already coded for PDF (see jpegFilePdfPage, group4FilePdfPage).
    void addCodedPage(const PdfPageImage& page);
    // A JPEG file, or the Group 4 strip of a TIFF, as it is when it qualifies; false, with nothing
    // added, when it does not.
    bool addJpegFile(const QString& path, const PageFormat& format);
    bool addGroup4File(const QString& path, const PageFormat& format);
    int pageCount() const;
    void save(const QString& path);
    void abandon();

private:
    PdfDocumentWriter& writer();
    QString m_target;
    std::unique_ptr<WorkFolder> m_spool;
    std::unique_ptr<PdfDocumentWriter> m_writer;
};

// Pages inserted into an existing PDF that is read once and written once however many pages go
// in (see PdfAppender), spooled in a work folder of their own: for a document that cannot take an
// incremental update. The result goes to `target` (`path` itself when empty or the same file).
class PdfRewriteAppend {
public:
    // Raises when `path` is missing (53), is not a PDF pages can be added to (321), or no work
    // folder can be made.
    PdfRewriteAppend(const QString& path, const QString& target);
    ~PdfRewriteAppend();
    PdfRewriteAppend(const PdfRewriteAppend&) = delete;
    PdfRewriteAppend& operator=(const PdfRewriteAppend&) = delete;

    // Whether this appends to `path` with the result going to `target` (as the constructor takes
    // them).
    bool isFor(const QString& path, const QString& target) const;
    // `position` counts the pages gathered before it: 1 = first, 0 or past the last = at the end.
    // Raises when the page cannot be gathered; nothing half-gathered is ever written.
    void addPage(const PdfPageImage& page, int32_t position);
    int pageCount() const;
    // Writes the document with the pages; false and *error when it could not (the files are then
    // as they were).
    bool commit(QString* error);

private:
    std::unique_ptr<WorkFolder> m_spool;
    std::unique_ptr<PdfAppender> m_appender;
};

} // namespace tf
