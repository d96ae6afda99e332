#pragma once
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/sys/colors.h"

#include <QImage>
#include <QMetaType>
#include <QObject>
#include <functional>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace tf {

struct PageImage;
struct DecodeResult;

// What SaveToVariant(7) hands out and LoadFromVariant(7, ...) takes back: the whole image,
// pixels, depth, palette and resolution. A snapshot of an empty control is empty.
struct ImageSnapshot {
    QImage image;
    bool isEmpty() const { return image.isNull(); }
};

// One image with its resolution, the properties callers set and read back, loading, saving,
// snapshots and multipage output: what every image has, window or not. Page writers, the batch
// conversion and the replay use it as it is; the ImageBox widget holds one and shows it (how it
// is shown, fitted or zoomed, is the widget's). Members keep the image control's names; a
// property Xxx is read with Xxx() and set with setXxx(). Errors are ImageBoxError, except that a
// file that cannot be read sets LoadFailed instead.
//
// Each family of members lives in its own source file: imagebox_document.cpp (the image and
// plain properties), imagebox_files.cpp, imagebox_snapshots.cpp, imagebox_multipage.cpp. The
// families that belong to an area (metadata, editing, acquisition, printing) live in that area,
// as functions over a document.
class ImageDocument : public QObject {
    Q_OBJECT
public:
    explicit ImageDocument(QObject* parent = nullptr);
    ~ImageDocument() override;
    ImageDocument(const ImageDocument&) = delete;
    ImageDocument& operator=(const ImageDocument&) = delete;

    // ---- the image (imagebox_document.cpp)
    bool HasImage() const { return !m_image.isNull(); }
    void Clear();
    // Pictures travel between controls as QImages where the Windows control passed handles.
    // Setting a null image empties the control.
    QImage Picture() const { return m_image; }
    void setPicture(const QImage& image);
    QImage BitmapHandle() const { return m_image; }
    void setBitmapHandle(const QImage& image) { setPicture(image); }
    const QImage& image() const { return m_image; }
    int32_t ImageWidth() const { return m_image.width(); }
    int32_t ImageHeight() const { return m_image.height(); }
    // 1 for black and white, 8 for palette and grey images, 24 for opaque colour, 32 with alpha.
    int32_t BitsPerPixel() const;

    // ---- plain properties, stored and read back (imagebox_document.cpp)
    int32_t ViewOption1() const { return m_viewOption1; }
    void setViewOption1(int32_t v) { m_viewOption1 = v; }
    int32_t ViewOption2() const { return m_viewOption2; }
    void setViewOption2(int32_t v) { m_viewOption2 = v; }
    bool ViewOption3() const { return m_viewOption3; }
    void setViewOption3(bool v) { m_viewOption3 = v; }
    QString ApplicationName() const { return m_applicationName; }
    void setApplicationName(const QString& v) { m_applicationName = v; }
    OleColor BackgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(OleColor v) { m_backgroundColor = v; }
    QString Tag() const { return m_tag; }
    void setTag(const QString& v) { m_tag = v; }

    // ---- files (imagebox_files.cpp)
    int32_t PageIndex() const { return m_pageIndex; }
    void setPageIndex(int32_t page) { m_pageIndex = page; }
    // Reads page PageIndex (1 = first). A missing, empty, corrupt, truncated or unknown file, a
    // page outside 1..PageCount, or a picture too large to hold leaves the control empty with
    // LoadFailed true; nothing is raised.
    void LoadFromFile(const QString& path);
    // As LoadFromFile, with the page already decoded (read ahead in the decoder pool).
    void LoadDecoded(const QString& path, DecodeResult decoded);
    bool LoadFailed() const { return m_loadFailed; }
    // Pages in a file: TIFF pages, GIF frames, ICO images; 1 for other pictures; 0 when unreadable.
    int32_t PageCount(const QString& path) const;
    // Writes the image in the format its extension names (bmp, jpg/jpeg/jpe, tif/tiff, png, gif,
    // psd, pcx, tga). The file is replaced only once the new one is complete.
    void SaveToFile(const QString& path) const;
    // Writes a JPEG whatever the extension, at JpegQuality or the quality given (1..100).
    void SaveJpeg(const QString& path) const;
    void SaveJpeg(const QString& path, int32_t quality) const;
    static constexpr int32_t kDefaultJpegQuality = 90;
    int32_t JpegQuality() const { return m_jpegQuality; }
    void setJpegQuality(int32_t quality);

    // ---- snapshots (imagebox_snapshots.cpp)
    static constexpr int32_t kSnapshotFormat = 7; // the only format code there is
    ImageSnapshot SaveToVariant(int32_t format) const;
    void LoadFromVariant(int32_t format, const ImageSnapshot& snapshot);

    // ---- pixels (imagebox_document.cpp)
    // The colour of an image pixel as 0x00BBGGRR; a point off the image reads its nearest edge
    // pixel (a pointer just past the edge picks the edge), an empty control reads 0.
    OleColor PixelColor(int32_t x, int32_t y) const;

    // ---- multipage output (imagebox_multipage.cpp)
    // The depth pages are written in: 0 "24 bit", 1 "256 Color", 2 "256 Grayscale", 3 "16 Color",
    // 4 "16 Grayscale", 5 "Mono" (dithered), 6 "Mono BW" (threshold); -1, the start, keeps each
    // image's own depth (1 bit, grey or colour). Compression: 0 none, 1 PackBits, 2 CCITT Group 4,
    // -1 none. Group 4 codes only black and white, so with it other depths become "Mono BW".
    int16_t ColorFormat() const { return m_colorFormat; }
    void setColorFormat(int16_t format);
    int16_t TiffCompression() const { return m_tiffCompression; }
    void setTiffCompression(int16_t compression);
    // The current image as a page to be written, with the colour format and compression set now
    // and what its file gives while the pixels are still exactly that file's (see PageImage):
    // for writers that take pages themselves (page_writers.h).
    PageImage pageImage() const;
    // Writes the pages gathered for an append (see AppendToPdf) and drops the pages added for a
    // new document. Raises when the gathered pages could not be written (the document is then
    // as it was).
    void ResetMultipage();
    // Drops every page added or gathered so far, writing nothing.
    void AbandonMultipage();
    // Encode the current image at once as the next page of a new TIFF or PDF document; pages are
    // spooled to disk in the program's work folder, so memory holds one page whatever their
    // number. The number is the caller's page number; pages keep the order they were added in. A
    // page that cannot be added raises and drops the pages before it, so no half-written document
    // can be saved.
    void AddTiffPage(int32_t page);
    void AddPdfPage(int32_t page);
    // Write the pages added so far as a document at `path` and start afresh. The file appears
    // (or replaces an older one) only once complete; without pages nothing is written and an
    // error raised.
    void SaveTiff(const QString& path);
    void SavePdf(const QString& path);
    // Insert the current image as one page into the existing document `path` (1 = first page,
    // 0 or past the last = at the end). With `path2` empty or the same file the document is
    // changed in place; otherwise the result goes to `path2` and `path` stays as it was. The
    // pages already there keep their bytes (TIFF) or their content (PDF).
    // A PDF is read and written once however many pages go in: the pages of consecutive calls
    // with the same `path` and `path2` are gathered (each position counting the pages gathered
    // before it) and written by ResetMultipage, by a call for another document, or when the
    // control goes away. `path2`, when it is not there yet, must still be free when written.
    // A TIFF append that would take a classic TIFF past 4 GiB is refused before any work.
    void AppendToTiff(const QString& path, const QString& path2, int32_t position);
    // The picture as the TIFF writers would write it with the colour format and compression set
    // now, as a one-page TIFF into `workFile`, an empty file made for it (see writeTiffPageInto);
    // an opaque colour page is converted row by row as it is written, never whole. The document
    // is empty afterwards. False with the reason; `progress` is called as the file grows.
    bool WriteTiffPageInto(const QString& workFile, QString* error, const std::function<void()>& progress = {});
    void AppendToPdf(const QString& path, const QString& path2, int32_t position);
    // Bytes the current image takes as a one-page document with the current settings: 7 TIFF, 8 PDF.
    int32_t EncodedSize(int32_t format);

    // ---- metadata written with pages (imagebox_multipage.cpp)
    // Values belong to the current image and go when it is replaced. Only "Software" is written
    // so far, on TIFF pages.
    void SetExifAttribute(const QString& name, const QString& value);

signals:
    // The pixels were replaced (loaded, set, cleared, restored).
    void imageChanged();

private:
    void replaceImage(QImage image);
    // What the pixels came from, for writers that can pass a file's own coding through;
    // remembered by a successful LoadFromFile, forgotten by every change of the image (with the
    // metadata values set for it).
    void rememberPixelSource(const QString& path);
    void forgetPixelSource();

    struct MultipageState;
    struct MultipageStateDeleter {
        void operator()(MultipageState* state) const;
    };
    MultipageState& multipage();
    std::unique_ptr<MultipageState, MultipageStateDeleter> m_multipage;
    int16_t m_colorFormat = -1;
    int16_t m_tiffCompression = 0;

    QImage m_image;
    int32_t m_viewOption1 = 0;
    int32_t m_viewOption2 = 0;
    bool m_viewOption3 = false;
    QString m_applicationName;
    OleColor m_backgroundColor = rgb(255, 255, 255);
    QString m_tag;

    int32_t m_pageIndex = 1;
    bool m_loadFailed = false;
    int32_t m_jpegQuality = kDefaultJpegQuality;
};

} // namespace tf

Q_DECLARE_METATYPE(tf::ImageSnapshot)
