#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/imagebox/picture_limits.h"
#include "platform/imagebox/tiff_pages.h"

#include <FreeImage.h>
#include <tiffio.h>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>
#include <algorithm>

namespace tf::imagebox {

namespace {

// A multipage file opened read-only; flags FIF_LOAD_NOPIXELS gives headers only.
class MultiBitmap {
public:
    MultiBitmap(FREE_IMAGE_FORMAT fif, const QByteArray& name, int flags)
        : m_handle(FreeImage_OpenMultiBitmap(fif, name.constData(), FALSE, TRUE, TRUE, flags))
    {
    }
    ~MultiBitmap()
    {
        if (m_handle) FreeImage_CloseMultiBitmap(m_handle, 0);
    }
    MultiBitmap(const MultiBitmap&) = delete;
    MultiBitmap& operator=(const MultiBitmap&) = delete;
    int count() const { return m_handle ? FreeImage_GetPageCount(m_handle) : 0; }
    FIMULTIBITMAP* handle() const { return m_handle; }

private:
    FIMULTIBITMAP* m_handle;
};

struct LockedPage {
    LockedPage(FIMULTIBITMAP* doc, int index) : doc(doc), page(doc ? FreeImage_LockPage(doc, index) : nullptr) {}
    ~LockedPage()
    {
        if (page) FreeImage_UnlockPage(doc, page, FALSE);
    }
    LockedPage(const LockedPage&) = delete;
    LockedPage& operator=(const LockedPage&) = delete;
    FIMULTIBITMAP* doc;
    FIBITMAP* page;
};

using Bitmap = FreeImageBitmap;

bool isMultiPage(FREE_IMAGE_FORMAT fif) { return fif == FIF_TIFF || fif == FIF_GIF; }

// Why a picture whose header FreeImage read (or could not read) is not decoded; empty when it is.
QString headerRefusal(FIBITMAP* header, const QString& unreadable)
{
    if (!header) return unreadable;
    const unsigned width = FreeImage_GetWidth(header), height = FreeImage_GetHeight(header);
    if (sizeAllowed(width, height, static_cast<int>(FreeImage_GetBPP(header)))) return {};
    return pictureTooLargeText(width, height);
}

FREE_IMAGE_FORMAT formatOf(const QByteArray& name)
{
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(name.constData(), 0);
    // Formats without a signature (Targa) are known by their extension only.
    if (fif == FIF_UNKNOWN) fif = FreeImage_GetFIFFromFilename(name.constData());
    if (fif != FIF_UNKNOWN && !FreeImage_FIFSupportsReading(fif)) fif = FIF_UNKNOWN;
    // FreeImage's icon reader corrupts memory on damaged files; Qt's reads icons and their pages.
    if (fif == FIF_ICO) fif = FIF_UNKNOWN;
    return fif;
}

// What a BMP's header tells about its pixel data.
struct BmpFacts {
    bool cutShort = false; // its pixel data or its runs end before the picture does
    // 32 bits without an alpha mask. FreeImage takes the fourth byte for alpha, which our own
    // writer puts there too; but most writers leave it 0, which would make the picture invisible.
    bool fourthByteIsPadding = false;
};

bool alphaAllZero(const QImage& argb)
{
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) != 0) return false;
    }
    return true;
}

// Whether BMP run-length data ends before its end-of-picture mark or its last row: decoders
// leave the rows that never came in the background colour.
bool rleCutShort(const QByteArray& runs, qint64 height, int bpp)
{
    const auto* p = reinterpret_cast<const uchar*>(runs.constData());
    const qint64 n = runs.size();
    qint64 pos = 0, row = 0;
    while (row < height) {
        if (pos + 2 > n) return true;
        const int count = p[pos], code = p[pos + 1];
        pos += 2;
        if (count > 0) continue;                 // a run of one value (two for 4 bits)
        if (code == 0) ++row;                    // end of the line
        else if (code == 1) return false;        // end of the picture
        else if (code == 2) {                    // move right and up
            if (pos + 2 > n) return true;
            row += p[pos + 1];
            pos += 2;
        } else {                                 // `code` values as they are, padded to a word
            const qint64 bytes = bpp == 8 ? code : (code + 1) / 2;
            pos += bytes + (bytes & 1);
        }
    }
    return pos > n;
}

BmpFacts bmpFacts(const QString& path)
{
    BmpFacts facts;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {true, false};
    const QByteArray h = f.read(70);
    if (h.size() < 34) return {true, false};
    const auto* p = reinterpret_cast<const uchar*>(h.constData());
    const quint32 dataOffset = qFromLittleEndian<quint32>(p + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(p + 14);
    if (headerSize < 40) return facts; // the old OS/2 header: leave it to the decoder
    const qint64 width = qFromLittleEndian<qint32>(p + 18);
    const qint64 height = qAbs(qint64(qFromLittleEndian<qint32>(p + 22)));
    const int bpp = qFromLittleEndian<quint16>(p + 28);
    const quint32 compression = qFromLittleEndian<quint32>(p + 30);
    if (bpp == 32) {
        const bool alphaMask = compression == 3 && headerSize >= 56 && h.size() >= 70 && qFromLittleEndian<quint32>(p + 66) != 0;
        facts.fourthByteIsPadding = (compression == 0 || compression == 3) && !alphaMask;
    }
    if (width <= 0 || bpp <= 0 || !sizeAllowed(width, height, bpp)) return {true, false};
    if ((compression == 1 && bpp == 8) || (compression == 2 && bpp == 4)) {
        const qint64 runBytes = std::min<qint64>(f.size() - qint64(dataOffset), kMaxBytes);
        facts.cutShort = runBytes <= 0 || !f.seek(dataOffset) || rleCutShort(f.read(runBytes), height, bpp);
        return facts;
    }
    if (compression != 0 && compression != 3) return facts;
    const qint64 stride = ((width * bpp + 31) / 32) * 4;
    facts.cutShort = f.size() < qint64(dataOffset) + stride * height;
    return facts;
}

// Walks the blocks of GIF data, calling onFrame(index, position) at each image descriptor until
// it answers true. Says how the walk ended.
enum class GifWalkEnd { Trailer, BetweenBlocks, CutShort, Foreign, Stopped };

template <typename OnFrame>
GifWalkEnd walkGifBlocks(const QByteArray& data, OnFrame onFrame)
{
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    const qint64 n = data.size();
    if (n < 13) return GifWalkEnd::CutShort;
    qint64 pos = 13;
    if (p[10] & 0x80) pos += 3 * (qint64(1) << ((p[10] & 7) + 1));
    auto skipSubBlocks = [&] {
        while (pos < n) {
            const int len = p[pos++];
            if (len == 0) return true;
            pos += len;
        }
        return false;
    };
    for (int index = 0; pos < n;) {
        const uchar kind = p[pos];
        if (kind == 0x3B) return GifWalkEnd::Trailer;
        if (kind == 0x21) {
            pos += 2;
            if (!skipSubBlocks()) return GifWalkEnd::CutShort;
        } else if (kind == 0x2C) {
            if (pos + 10 > n) return GifWalkEnd::CutShort;
            if (onFrame(index, pos)) return GifWalkEnd::Stopped;
            const uchar flags = p[pos + 9];
            pos += 10;
            if (flags & 0x80) pos += 3 * (qint64(1) << ((flags & 7) + 1));
            pos += 1; // LZW minimum code size
            if (!skipSubBlocks()) return GifWalkEnd::CutShort;
            ++index;
        } else {
            return GifWalkEnd::Foreign;
        }
    }
    return pos > n ? GifWalkEnd::CutShort : GifWalkEnd::BetweenBlocks;
}

// Whether GIF data ends inside a block. A file that ends after a whole block without the trailer
// shows everything it holds, so it counts as whole; anything foreign is the decoder's to refuse.
bool gifCutShort(const QByteArray& data)
{
    return walkGifBlocks(data, [](int, qint64) { return false; }) == GifWalkEnd::CutShort;
}

QImage fail(QString* failure, const QString& why)
{
    if (failure) *failure = why;
    return {};
}

// The types whose FreeImage readers trust damaged lengths and write past their buffers.
using OwnReader = QImage (*)(const uchar* data, qint64 size, QString* failure);
OwnReader ownReaderFor(FREE_IMAGE_FORMAT fif)
{
    switch (fif) {
    case FIF_PSD: return decodePsd;
    case FIF_PCX: return decodePcx;
    case FIF_TARGA: return decodeTga;
    default: return nullptr;
    }
}

QImage decodeWithOwnReader(OwnReader reader, const QString& path, int page, QString* failure)
{
    if (page != 1) return fail(failure, QStringLiteral("no such page"));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return fail(failure, QStringLiteral("unreadable file"));
    const uchar* data = f.map(0, f.size());
    if (!data) return fail(failure, QStringLiteral("unreadable file"));
    return reader(data, f.size(), failure);
}

QImage decodeWithQt(const QString& path, int page, QString* failure, int* pageCount)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!reader.canRead()) return fail(failure, QStringLiteral("unknown picture format"));
    const int count = reader.imageCount() > 0 ? reader.imageCount() : 1;
    *pageCount = count;
    if (page > count) return fail(failure, QStringLiteral("no such page"));
    if (page > 1 && !reader.jumpToImage(page - 1)) return fail(failure, QStringLiteral("no such page"));
    const QSize size = reader.size();
    if (size.isValid() && !sizeAllowed(size.width(), size.height(), 32))
        return fail(failure, pictureTooLargeText(size.width(), size.height()));
    // Qt's own default stops at 128 MB.
    reader.setAllocationLimit(static_cast<int>(std::min<qint64>(kMaxBytes, maxPicturePixels() * 4) >> 20));
    QImage image = reader.read();
    if (image.isNull()) return fail(failure, reader.errorString());
    return image;
}

// A GIF frame where it lies on the GIF's logical screen, the size the picture has in thumbnails and
// in the folder's details; the rest of the screen is transparent. A screen of 0 x 0 is the frame's.
QImage onGifScreen(QImage frame, QSize screen, QPoint at)
{
    if (frame.isNull() || screen.isEmpty() || (screen == frame.size() && at.isNull())) return frame;
    QImage canvas(screen, QImage::Format_ARGB32);
    if (canvas.isNull()) return {};
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(at, frame);
    painter.end();
    canvas.setDotsPerMeterX(frame.dotsPerMeterX());
    canvas.setDotsPerMeterY(frame.dotsPerMeterY());
    return canvas;
}

bool sizeAllowedForRgba(qint64 width, qint64 height) { return sizeAllowed(width, height, 32); }

// JPEGs are read by Qt's reader, the thumbnails' one: FreeImage's writes past its buffer on some
// damaged files. A file cut short would come out padded grey, so it is refused first, and a
// frame too large for the program before any pixel memory is taken.
QImage decodeJpeg(const QString& path, int page, QString* failure, int* pageCount)
{
    if (page != 1) return fail(failure, QStringLiteral("no such page"));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return fail(failure, QStringLiteral("unreadable file"));
    const uchar* data = f.size() <= kMaxBytes ? f.map(0, f.size()) : nullptr;
    if (!data) return fail(failure, QStringLiteral("unreadable file"));
    const JpegLayout layout =
        scanJpegLayout(QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(f.size())));
    if (!layout.complete) return fail(failure, QStringLiteral("truncated file"));
    if (!sizeAllowed(layout.width, layout.height, 32)) return fail(failure, pictureTooLargeText(layout.width, layout.height));
    return decodeWithQt(path, page, failure, pageCount);
}

QImage decodeMultiPage(FREE_IMAGE_FORMAT fif, const QString& path, const QByteArray& name, int page, QString* failure,
                       int* pageCount)
{
    MultiBitmap doc(fif, name, 0);
    const int count = doc.count();
    *pageCount = count;
    if (count <= 0) return fail(failure, QStringLiteral("unreadable file"));
    if (page > count) return fail(failure, QStringLiteral("no such page"));

    if (fif == FIF_GIF) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxBytes) return fail(failure, QStringLiteral("unreadable file"));
        QSize screen, frame;
        QPoint at;
        if (!gifFrameSize(f.readAll(), page - 1, &screen, &frame, &at)) return fail(failure, QStringLiteral("damaged frame"));
        for (const QSize& claimed : {screen, frame})
            if (!sizeAllowed(claimed.width(), claimed.height(), 32))
                return fail(failure, pictureTooLargeText(claimed.width(), claimed.height()));
        LockedPage locked(doc.handle(), page - 1);
        if (!locked.page) return fail(failure, QStringLiteral("unreadable page"));
        return onGifScreen(qimageFromFreeImage(locked.page), screen, at);
    }

    // FreeImage would show a page whose pixels are missing as black and call it read.
    const TiffPageLayout layout = tiffPageLayout(path, page);
    if (layout.valid && !layout.dataPresent) return fail(failure, QStringLiteral("damaged page"));
    // FreeImage reads a grey page's alpha as nothing (transparent areas would turn black), takes
    // premultiplied colours for plain ones (half-transparent edges would darken), and gives up on
    // page layouts it does not know; libtiff's own reader knows all three.
    const bool grey = layout.photometric == PHOTOMETRIC_MINISBLACK || layout.photometric == PHOTOMETRIC_MINISWHITE;
    const bool alphaFreeImageMisreads = layout.valid && layout.alpha && layout.sampleFormat != SAMPLEFORMAT_IEEEFP &&
                                        ((grey && layout.samplesPerPixel == 2) || layout.associatedAlpha);
    // FreeImage reads only a few float layouts (not 16-bit samples, nor three 64-bit ones).
    if (layout.valid && layout.sampleFormat == SAMPLEFORMAT_IEEEFP) {
        bool refused = false;
        QImage image = readTiffFloatPage(path, page, sizeAllowedForRgba, failure, &refused);
        if (!image.isNull() || refused) return image;
    }
    if (alphaFreeImageMisreads) {
        bool refused = false;
        QImage image = readTiffPageRgba(path, page, sizeAllowedForRgba, failure, &refused);
        if (!image.isNull() || refused) return image;
    }
    {
        MultiBitmap headers(fif, name, FIF_LOAD_NOPIXELS);
        LockedPage header(headers.handle(), page - 1);
        if (!header.page) return readTiffPageRgba(path, page, sizeAllowedForRgba, failure, nullptr);
        const QString refusal = headerRefusal(header.page, QString());
        if (!refusal.isEmpty()) return fail(failure, refusal);
    }
    LockedPage locked(doc.handle(), page - 1);
    QImage image = locked.page ? qimageFromFreeImage(locked.page) : QImage();
    if (image.isNull()) image = readTiffPageRgba(path, page, sizeAllowedForRgba, failure, nullptr);
    return image;
}

} // namespace

bool sizeAllowed(qint64 width, qint64 height, int bitsPerPixel)
{
    if (width <= 0 || height <= 0 || width > kMaxPixels || height > kMaxPixels) return false;
    const qint64 pixels = width * height;
    return pixels <= std::min<qint64>(kMaxPixels, maxPicturePixels()) && pixels * qMax(bitsPerPixel, 1) / 8 <= kMaxBytes;
}

bool gifFrameSize(const QByteArray& data, int frame, QSize* logicalScreen, QSize* frameSize, QPoint* frameAt)
{
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    if (data.size() < 13 || !data.startsWith("GIF")) return false;
    if (logicalScreen) *logicalScreen = QSize(qFromLittleEndian<quint16>(p + 6), qFromLittleEndian<quint16>(p + 8));
    bool found = false;
    walkGifBlocks(data, [&](int index, qint64 pos) {
        if (index != frame) return false;
        if (frameSize) *frameSize = QSize(qFromLittleEndian<quint16>(p + pos + 5), qFromLittleEndian<quint16>(p + pos + 7));
        if (frameAt) *frameAt = QPoint(qFromLittleEndian<quint16>(p + pos + 1), qFromLittleEndian<quint16>(p + pos + 3));
        found = true;
        return true;
    });
    return found;
}

QImage decodeImageFile(const QString& path, int page, QString* failure, int* pageCount)
{
    int pages = 1;
    if (!pageCount) pageCount = &pages;
    *pageCount = 1;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) return fail(failure, QStringLiteral("no such file"));
    if (info.size() == 0) return fail(failure, QStringLiteral("empty file"));
    if (page < 1) return fail(failure, QStringLiteral("no such page"));
    const FileClaims claims = checkFileClaims(path);
    if (claims.verdict != FileClaims::Believable) return fail(failure, claims.why);

    ensureFreeImage();
    const QByteArray name = QFile::encodeName(path);
    const FREE_IMAGE_FORMAT fif = formatOf(name);
    if (fif == FIF_UNKNOWN || fif == FIF_XBM || fif == FIF_XPM) {
        // FreeImage's readers of these refuse much that other programs read. Our bitmap reader
        // has the last word (the others pad a damaged bitmap white); a pixmap Qt cannot read
        // still gets FreeImage's attempt below.
        if (const TextPictureKind kind = textPictureKind(path); kind != TextPictureKind::None) {
            if (page != 1) return fail(failure, QStringLiteral("no such page"));
            QImage image = decodeTextPicture(kind, path, failure);
            if (!image.isNull() || kind == TextPictureKind::Xbm) return image;
        }
    }
    if (fif == FIF_UNKNOWN) return decodeWithQt(path, page, failure, pageCount);
    if (fif == FIF_JPEG) return decodeJpeg(path, page, failure, pageCount);
    if (const OwnReader reader = ownReaderFor(fif)) return decodeWithOwnReader(reader, path, page, failure);

    QImage image;
    if (isMultiPage(fif)) {
        image = decodeMultiPage(fif, path, name, page, failure, pageCount);
        if (image.isNull()) return image;
    } else {
        if (page != 1) return fail(failure, QStringLiteral("no such page"));
        if (!FreeImage_FIFSupportsNoPixels(fif)) {
            // Without a header-only read we cannot vet the size before FreeImage allocates it;
            // Qt's readers carry an allocation limit of their own.
            return decodeWithQt(path, page, failure, pageCount);
        }
        const BmpFacts bmp = fif == FIF_BMP ? bmpFacts(path) : BmpFacts{};
        {
            Bitmap header(FreeImage_Load(fif, name.constData(), FIF_LOAD_NOPIXELS));
            const QString refusal = headerRefusal(header.get(), QStringLiteral("damaged picture"));
            // FreeImage knows none of the later BMP headers (version 4 and 5, with their bit
            // masks); Qt's reader, the thumbnails' one, does.
            if (!header && fif == FIF_BMP && !bmp.cutShort) return decodeWithQt(path, page, failure, pageCount);
            if (!refusal.isEmpty()) return fail(failure, refusal);
        }
        if (bmp.cutShort) return fail(failure, QStringLiteral("truncated file"));
        Bitmap bitmap(FreeImage_Load(fif, name.constData(), 0));
        image = qimageFromFreeImage(bitmap.get());
        if (fif == FIF_BMP) {
            // FreeImage here refuses run-length compressed BMPs, which Qt reads (and checks).
            if (image.isNull()) return decodeWithQt(path, page, failure, pageCount);
            if (bmp.fourthByteIsPadding && image.format() == QImage::Format_ARGB32 && alphaAllZero(image))
                image = image.convertToFormat(QImage::Format_RGB32);
        }
    }
    if (image.isNull()) return fail(failure, QStringLiteral("unreadable file"));
    return image;
}

bool pictureFileCutShort(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.peek(6);
    if (head.startsWith("BM")) return bmpFacts(path).cutShort;
    if (head.startsWith("GIF") && f.size() <= kMaxBytes) return gifCutShort(f.readAll());
    return false;
}

int imageFilePageCount(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || info.size() == 0) return 0;
    ensureFreeImage();
    const QByteArray name = QFile::encodeName(path);
    const FREE_IMAGE_FORMAT fif = formatOf(name);
    if (fif == FIF_UNKNOWN) {
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        if (!reader.canRead()) return 0;
        return reader.imageCount() > 0 ? reader.imageCount() : 1;
    }
    // A TIFF whose first page cannot be read shows no pages rather than one.
    if (fif == FIF_TIFF) return tiffPageLayout(path, 1).dataPresent ? tiffPageCount(path) : 0;
    if (isMultiPage(fif)) {
        MultiBitmap doc(fif, name, 0);
        return doc.count();
    }
    return 1;
}

} // namespace tf::imagebox
