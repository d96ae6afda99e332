#pragma once
#include "platform/imagebox/page_raster.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <utility>

class QFile;
typedef struct tiff TIFF;

namespace tf {

class SafeFile;

// A new multipage TIFF written page by page. Pages go straight to a hidden temporary file beside
// the target, so memory holds one page at a time; commit() renames it over the target, and
// until then (or after a failure, or when the writer is dropped) the target is untouched.
// The first page of a TIFF that is one Group 4 strip of black and white coded as the program
// writes its own (white zero, first bit leftmost, upright, no uncompressed runs): the strip's
// bytes as they are, with the page's size and resolution in `header` (which has no rows). For
// writers that take such a page into a Group 4 document without decoding and coding it again.
struct Group4Strip {
    PageRaster header;
    QByteArray strip;
    bool isValid() const { return header.width > 0 && header.height > 0 && !strip.isEmpty(); }
};
// Invalid when the first page is anything else, or the file cannot be read. Reads the directory
// and the strip's bytes only; nothing is decoded.
Group4Strip readGroup4Strip(const QString& path);
// Whether readGroup4Strip takes the file, from its directory alone.
bool isGroup4StripPage(const QString& path);

class TiffDocumentWriter {
public:
    explicit TiffDocumentWriter(const QString& target);
    ~TiffDocumentWriter();
    TiffDocumentWriter(const TiffDocumentWriter&) = delete;
    TiffDocumentWriter& operator=(const TiffDocumentWriter&) = delete;

    // Before the first page: write a BigTIFF (64-bit offsets), for documents that may pass 4 GiB.
    void setBigTiff(bool big);
    bool bigTiff() const;
    bool addPage(const PageRaster& page, int compression, const QString& software, QString* error);
    // A Group 4 page written with its strip as it is.
    bool addCodedPage(const Group4Strip& page, const QString& software, QString* error);
    int pageCount() const { return m_pages; }
    // With no page added nothing is written and false comes back.
    bool commit(QString* error);
    void discard();

private:
    bool open(QString* error);
    struct Impl;
    QString m_target;
    std::unique_ptr<Impl> m_impl;
    int m_pages = 0;
};

// Group 4 coding is most of a black-and-white document's time, and each page codes on its own:
// pages are coded on threads of their own, a few at a time, and written to the document in the
// order they came, each as one raw strip. The first page that cannot be coded or written stops
// the queue: every later write gives its reason, so no document is finished with a page missing.
class Group4PageQueue {
public:
    Group4PageQueue() = default;
    ~Group4PageQueue(); // waits for the pages still coding
    Group4PageQueue(const Group4PageQueue&) = delete;
    Group4PageQueue& operator=(const Group4PageQueue&) = delete;

    // Whether a page at this compression index is coded here rather than written at once (a
    // bilevel page at Group 4, larger than an icon).
    static bool codes(const PageRaster& page, int compression);
    // How many pages may code at once before the oldest is waited for.
    static size_t room();
    // Starts coding a page (one that codes() takes).
    void add(const PageRaster& page, const QString& software);
    // A page coded already: it takes its turn behind the pages coding.
    void addCoded(const Group4Strip& page, const QString& software);
    // Writes the oldest pages, as they are coded, as the next directories of `tif` until at most
    // `keep` are left. False with the reason when a page could not be coded or written.
    bool write(TIFF* tif, size_t keep, QString* error);
    size_t size() const { return m_coding.size(); }
    bool failed() const { return !m_failure.isEmpty(); }
    // Drops the pages not written yet, once their coding is over.
    void clear();

private:
    struct Coding {
        PageRaster page;
        QString software;
        std::future<std::pair<QByteArray, QString>> strip;
    };
    std::deque<Coding> m_coding;
    QString m_failure;
};

// Classic TIFF addresses its data with 32-bit offsets: no file of it can be larger.
constexpr qint64 kClassicTiffMaxBytes = 0xFFFFFFFFLL;

// The most bytes a page of these pixels can take in a TIFF file, known before it is encoded:
// its rows at the depth written, grown by PackBits' (or Group 4's) worst case, with its
// directory and strip tables. Documents whose pages together may pass kClassicTiffMaxBytes are
// written as BigTIFF.
qint64 tiffPageBytesAtMost(qint64 width, qint64 height, int bitsPerPixel, int compression);
// The bits per pixel a page is written with, for a colour format and compression index and the
// source picture's depth (-1 keeps the picture's own: 1 bit, grey or colour).
int tiffBitsPerPixel(int colorFormat, int compression, int sourceBits, bool sourceGray);
// A classic TIFF (not BigTIFF) whose directory chain is sound.
bool isClassicTiff(const QString& path);
// Why an append to a classic TIFF is refused when it would pass 4 GiB.
QString tiffTooLargeMessage();

// The resolution a TIFF's page (1-based) states in its tags, in dots per inch; false when it
// states none (or no unit of length) or the file cannot be read.
bool tiffPageResolution(const QString& path, int page, double* dpiX, double* dpiY);

// Pages in a TIFF file; 0 when it is not a readable TIFF (a directory chain that loops included).
int tiffPageCount(const QString& path);

// What a TIFF page (1-based) holds, from its tags; valid is false when the page cannot be read.
struct TiffPageLayout {
    bool valid = false;
    uint32_t width = 0, height = 0;
    static constexpr uint16_t kNoPhotometric = 0xFFFF;
    uint16_t bitsPerSample = 1, samplesPerPixel = 1, photometric = kNoPhotometric, sampleFormat = 1;
    bool alpha = false;           // an extra sample that is alpha
    bool associatedAlpha = false; // ... and the colour samples are premultiplied by it
    // Every strip or tile lies within the file (or is left out, as sparse files do): a page
    // whose data is missing cannot be read, though its directory can.
    bool dataPresent = false;
};
TiffPageLayout tiffPageLayout(const QString& path, int page);

// A TIFF page (1-based) through libtiff's own RGBA reader, which reads every photometric,
// depth and compression libtiff knows except floating point: ARGB32 with its alpha when the page
// has one, else RGB32. Null with the reason in *failure when libtiff cannot; `allowed` vets the
// size before any pixel memory is taken, and *refused says it refused.
QImage readTiffPageRgba(const QString& path, int page, bool (*allowed)(qint64 width, qint64 height),
                        QString* failure, bool* refused);

// A floating-point TIFF page (1-based) of 16, 32 or 64-bit samples, grey or RGB with or without
// alpha, in strips or tiles, as other programs show it: 0 black, 1 white, values beyond clamped.
// ARGB32 with the page's alpha, else RGB32; null with the reason in *failure for any other page,
// `allowed` and *refused as for readTiffPageRgba.
QImage readTiffFloatPage(const QString& path, int page, bool (*allowed)(qint64 width, qint64 height), QString* failure,
                         bool* refused);

// Inserts one page into a TIFF being written as a hidden copy (holding the document's bytes). The
// directory chain is checked before libtiff reads it, and a classic TIFF that the page could take
// past 4 GiB is refused. The new directory is written after the old data (whose bytes stay as
// they were but for one link), then linked in at `position` (1 = first page; 0 or past the last
// page = at the end). On failure false and *error.
bool insertTiffPage(SafeFile& file, const PageRaster& page, int compression, const QString& software, int position,
                    QString* error);

// Writes a one-page TIFF, coded as every TIFF page the program writes, into `workFile`: an empty
// file made for it (by another process, say), which the caller syncs and puts in its place. Every
// write is checked; false with the reason (the system's, for a full disk) when the page is not
// whole in the file. Never follows a link, and refuses a file that holds anything. `progress`, when
// given, is called after each piece written.
bool writeTiffPageInto(const QString& workFile, const PageRaster& page, int compression, QString* error,
                       const std::function<void()>& progress = {});
// One row of a page, `y` from the top, as the page is written: a pointer to its bytes (a row of
// the page's kind, width and depth), which may be `scratch`, room for one row, filled by the call.
using TiffPageRows = std::function<const uchar*(int y, uchar* scratch)>;
// As above for a page whose rows come one at a time (`page` gives the kind, size and resolution
// and holds no rows): the whole page is never held at its written depth. Not for Group 4.
bool writeTiffPageInto(const QString& workFile, const PageRaster& page, const TiffPageRows& rows, int compression,
                       QString* error, const std::function<void()>& progress = {});

// Writes a page as the next directory of a handle open for writing, encoded as every TIFF page
// the program writes, for callers that give libtiff their own I/O.
bool writeTiffPage(TIFF* tif, const PageRaster& page, int compression, const QString& software, QString* error);

// Where a TIFF's directory chain lies, read and checked without libtiff (which follows a chain
// that loops for ever when it appends).
struct TiffChain {
    bool big = false;
    bool littleEndian = true;
    qint64 firstLinkAt = 4; // the header's pointer to the first directory
    quint64 first = 0;
    qint64 lastLinkAt = 0; // the last directory's pointer to the next one (0 in the file)
    int pages = 0;
};
bool readTiffChain(QFile& file, TiffChain* chain, QString* error);

// Encodes a page as a one-page TIFF in memory (for size estimates and for the Group 4 data of
// PDF pages).
QByteArray encodeTiffInMemory(const PageRaster& page, int compression, QString* error = nullptr);

// The Group 4 coded data of a bilevel page (one strip), as PDF CCITT streams carry it.
QByteArray encodeGroup4(const PageRaster& page, QString* error = nullptr);

// The depth a page is written in: CCITT Group 4 codes only black and white, so with it every
// format but the dithered "Mono" becomes the threshold "Mono BW".
int colorFormatForCompression(int colorFormat, int compression);

} // namespace tf
