#include "services/modLoadPic.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/imagebox/freeimage_qt.h"
#include "services/modGDIPlus.h"

#include <FreeImage.h>
#include <IL/il.h>

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

using namespace tf;

namespace {

// Looked up in this order; a type FreeImage recognises never reaches the first three.
const QStringList kDevilExtensions = {"psp", "pic", "pix", "pxr", "raw", "dcx", "lif", "wal", "mdl", "oil", "lmp",
                                      "sgi", "bw",  "rgb", "rgba", "act", "pal", "pbm", "pgm", "ppm", "mng"};
const QStringList kJpeg2000Extensions = {"jp2", "j2k", "jpc"};
const QStringList kMetafileExtensions = {"emf", "wmf"};
const QStringList kQtExtensions = {"tiff", "tif", "gif", "jpeg", "jpg", "jpe", "png", "bmp", "emf", "wmf"};

// A JPEG bigger than this is not read whole for the layout check; the decoders still guard it.
constexpr qint64 kMaxJpegBytesInMemory = qint64(512) * 1024 * 1024;

using BitmapPtr = tf::FreeImageBitmap;

struct MemoryDeleter {
    void operator()(FIMEMORY* m) const
    {
        if (m) FreeImage_CloseMemory(m);
    }
};
using MemoryPtr = std::unique_ptr<FIMEMORY, MemoryDeleter>;

bool isBoxMode(int32_t sizeMode)
{
    return sizeMode == kSizeModeFit || sizeMode == kSizeModeBox;
}

quint32 le16(const QByteArray& d, qsizetype at)
{
    return at + 2 <= d.size() ? quint32(uchar(d[at])) | quint32(uchar(d[at + 1])) << 8 : 0;
}
quint32 be16(const QByteArray& d, qsizetype at)
{
    return at + 2 <= d.size() ? quint32(uchar(d[at])) << 8 | quint32(uchar(d[at + 1])) : 0;
}
quint32 le32(const QByteArray& d, qsizetype at)
{
    return le16(d, at) | le16(d, at + 2) << 16;
}
quint32 be32(const QByteArray& d, qsizetype at)
{
    return be16(d, at) << 16 | be16(d, at + 2);
}

bool claimsTooMuch(quint32 width, quint32 height)
{
    return width > 0 && height > 0 && !pictureSizeAllowed(width, height);
}

// For the FreeImage types whose header cannot be read alone: the size the file claims, read from
// its first bytes. FreeImage would allocate (and for GIF, paint) the whole claimed canvas, so a
// file of a few bytes could take gigabytes.
bool headerClaimsTooMuch(FREE_IMAGE_FORMAT fif, const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray d = file.read(64 * 1024);
    switch (fif) {
    case FIF_GIF: {
        if (claimsTooMuch(le16(d, 6), le16(d, 8))) return true;
        // The first frame's own size counts too: walk past the colour table and extensions.
        const uchar flags = d.size() > 10 ? uchar(d[10]) : 0;
        qsizetype at = 13 + ((flags & 0x80) ? 3 << ((flags & 7) + 1) : 0);
        while (at < d.size()) {
            const uchar block = uchar(d[at]);
            if (block == 0x2C) return claimsTooMuch(le16(d, at + 5), le16(d, at + 7));
            if (block != 0x21) return false;
            at += 2;
            while (at < d.size() && d[at] != 0) at += uchar(d[at]) + 1;
            ++at;
        }
        return false;
    }
    case FIF_SGI: return claimsTooMuch(be16(d, 6), be16(d, 8));
    case FIF_DDS: return claimsTooMuch(le32(d, 16), le32(d, 12));
    case FIF_J2K:
    case FIF_JP2: {
        // The code stream's size marker: image size less the image offset.
        const qsizetype siz = d.indexOf(QByteArray::fromHex("ff4fff51"));
        if (siz < 0) return false;
        return claimsTooMuch(be32(d, siz + 8) - std::min(be32(d, siz + 8), be32(d, siz + 16)),
                             be32(d, siz + 12) - std::min(be32(d, siz + 12), be32(d, siz + 20)));
    }
    default: return false;
    }
}

// Loads a file of a known FreeImage type at its own size. The claimed size is checked before any
// pixel memory is taken, and again after the load.
QImage loadFreeImageFile(FREE_IMAGE_FORMAT fif, const QString& fileName, int flags, bool& tooLarge)
{
    tooLarge = false;
    const QByteArray name = QFile::encodeName(fileName);
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) return {};
    if (!FreeImage_FIFSupportsNoPixels(fif) && headerClaimsTooMuch(fif, fileName)) {
        tooLarge = true;
        return {};
    }
    if (FreeImage_FIFSupportsNoPixels(fif)) {
        BitmapPtr header(FreeImage_Load(fif, name.constData(), flags | FIF_LOAD_NOPIXELS));
        if (!header) return {};
        if (!pictureSizeAllowed(FreeImage_GetWidth(header.get()), FreeImage_GetHeight(header.get()))) {
            tooLarge = true;
            return {};
        }
    }
    BitmapPtr bitmap(FreeImage_Load(fif, name.constData(), flags));
    if (!bitmap) return {};
    if (!pictureSizeAllowed(FreeImage_GetWidth(bitmap.get()), FreeImage_GetHeight(bitmap.get()))) {
        tooLarge = true;
        return {};
    }
    return qimageFromFreeImage(bitmap.get());
}

std::mutex& devilMutex()
{
    static std::mutex m;
    return m;
}

// DevIL decodes into its own memory; nothing is written anywhere. DevIL keeps global state, so
// one load at a time.
QImage decodeWithDevil(const QString& fileName)
{
    std::lock_guard<std::mutex> lock(devilMutex());
    static std::once_flag once;
    std::call_once(once, [] { ilInit(); });

    ILuint imageName = 0;
    ilGenImages(1, &imageName);
    ilBindImage(imageName);
    QImage out;
    const QByteArray name = QFile::encodeName(fileName);
    if (ilLoadImage(name.constData()) == 1) {
        const ILint w = ilGetInteger(IL_IMAGE_WIDTH);
        const ILint h = ilGetInteger(IL_IMAGE_HEIGHT);
        if (pictureSizeAllowed(w, h) && ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE) == IL_TRUE) {
            const ILubyte* data = ilGetData();
            const bool bottomUp = ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_LOWER_LEFT;
            QImage image(w, h, QImage::Format_ARGB32);
            if (data && !image.isNull()) {
                const qsizetype stride = qsizetype(w) * 4;
                for (int y = 0; y < h; ++y) {
                    const ILubyte* in = data + stride * (bottomUp ? h - 1 - y : y);
                    QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                    for (int x = 0; x < w; ++x, in += 4) line[x] = qRgba(in[2], in[1], in[0], in[3]);
                }
                out = image;
            }
        }
    }
    ilDeleteImages(1, &imageName);
    // DevIL keeps a short stack of errors; empty it so that one bad file does not linger.
    for (int i = 0; i < 64 && ilGetError() != IL_NO_ERROR; ++i) {
    }
    return out;
}

// The largest libjpeg reduction (1/8, 1/4, 1/2) that still leaves at least drawWidth x drawHeight
// pixels; 1 when none does.
int reducedJpegScale(int32_t width, int32_t height, int32_t drawWidth, int32_t drawHeight)
{
    for (int scale : {8, 4, 2}) {
        const int32_t w = (width + scale - 1) / scale;
        const int32_t h = (height + scale - 1) / scale;
        if (w >= drawWidth && h >= drawHeight) return scale;
    }
    return 1;
}

// A thumbnail of a large JPEG does not need every pixel: libjpeg can decode the DCT blocks at a
// fraction of the size for a fraction of the work. The picture is laid out from the full size so
// that it matches a full decode in geometry.
QImage reducedJpegPicture(const QByteArray& bytes, const JpegLayout& layout, int32_t sizeMode, int32_t width,
                          int32_t height, OleColor backColor)
{
    // A frame too big to decode whole is refused on the full route, so that every mode agrees.
    if (!pictureSizeAllowed(layout.width, layout.height)) return {};
    int32_t targetWidth = 0;
    int32_t targetHeight = 0;
    if (!pictureTargetSize(sizeMode, layout.width, layout.height, width, height, targetWidth, targetHeight)) return {};
    const DrawRect drawn = keepAspectRect(layout.width, layout.height, targetWidth, targetHeight);
    const int scale = reducedJpegScale(layout.width, layout.height, drawn.width, drawn.height);
    if (scale == 1) return {};

    // FreeImage picks the largest reduction that keeps the long side at or above the requested size.
    const int requested = std::max(layout.width, layout.height) / scale;
    MemoryPtr memory(FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.constData())),
                                          static_cast<DWORD>(bytes.size())));
    if (!memory) return {};
    BitmapPtr bitmap(FreeImage_LoadFromMemory(FIF_JPEG, memory.get(), JPEG_FAST | (requested << 16)));
    if (!bitmap) return {};
    const QImage image = qimageFromFreeImage(bitmap.get());
    if (image.width() < drawn.width || image.height() < drawn.height) return {};
    return fncResizePictureGDIPlus(image, layout.width, layout.height, kPicTypeBitmap, width, height, sizeMode,
                                   backColor, true);
}

struct Outcome {
    QImage picture;
    int32_t width = 0;
    int32_t height = 0;
    PicRoute route = PicRoute::None;
    int32_t errorNumber = 0;
};

// Picture of an image decoded at its own size by a route that has no size handling of its own.
void finishFromImage(Outcome& o, const QImage& image, int32_t sizeMode, int32_t width, int32_t height,
                     OleColor backColor)
{
    if (image.isNull()) return;
    o.width = image.width();
    o.height = image.height();
    o.picture = fncResizePictureGDIPlus(image, image.width(), image.height(), kPicTypeBitmap, width, height,
                                        sizeMode, backColor, true);
}

Outcome routeAndLoad(const QString& fileName, int32_t sizeMode, int32_t width, int32_t height, OleColor backColor)
{
    Outcome o;
    if (isBoxMode(sizeMode) && (width < 1 || height < 1)) return o;

    const QString extension = loadPicExtension(fileName);
    ensureFreeImage();
    const QByteArray name = QFile::encodeName(fileName);
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(name.constData(), 0);

    if (fif == FIF_UNKNOWN) {
        if (kDevilExtensions.contains(extension)) {
            o.route = PicRoute::DevIL;
            finishFromImage(o, decodeWithDevil(fileName), sizeMode, width, height, backColor);
        } else if (kJpeg2000Extensions.contains(extension)) {
            o.route = PicRoute::Jpeg2000;
            finishFromImage(o, fncLoadJPEG2000Picture(fileName, extension), sizeMode, width, height, backColor);
        } else if (kMetafileExtensions.contains(extension)) {
            // Qt reads no metafile; should a reader appear, it is used. Not a broken file, so no report.
            o.route = PicRoute::Metafile;
            o.picture = fncLoadPictureGDIPlus(fileName, sizeMode, width, height, backColor, true, o.width, o.height);
        }
        return o;
    }

    if (fif == FIF_JPEG) {
        QFile file(fileName);
        if (file.size() <= kMaxJpegBytesInMemory && file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            const JpegLayout layout = scanJpegLayout(bytes);
            if (!layout.complete) {
                // Both decoders would paint the missing part grey and call it a success.
                o.route = PicRoute::FreeImage;
                o.errorNumber = kErrInvalidPicture;
                return o;
            }
            if (isBoxMode(sizeMode)) {
                o.picture = reducedJpegPicture(bytes, layout, sizeMode, width, height, backColor);
                if (!o.picture.isNull()) {
                    o.route = PicRoute::ReducedJpeg;
                    o.width = layout.width;
                    o.height = layout.height;
                    return o;
                }
            }
        }
    }

    if (kQtExtensions.contains(extension)) {
        o.route = PicRoute::Qt;
        o.picture = fncLoadPictureGDIPlus(fileName, sizeMode, width, height, backColor, true, o.width, o.height);
        if (!o.picture.isNull()) return o;
    }

    o.route = PicRoute::FreeImage;
    bool tooLarge = false;
    const QImage image = loadFreeImageFile(fif, fileName, 0, tooLarge);
    if (image.isNull()) {
        o.width = 0;
        o.height = 0;
        o.errorNumber = tooLarge ? kErrOutOfMemory : kErrInvalidPicture;
        return o;
    }
    finishFromImage(o, image, sizeMode, width, height, backColor);
    return o;
}

QString errorText(int32_t number)
{
    switch (number) {
    case kErrOutOfMemory: return QStringLiteral("Out of memory");
    default: return QStringLiteral("Invalid picture");
    }
}

} // namespace

namespace tf {

QString loadPicExtension(const QString& fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot < 0 ? name : name.mid(dot + 1)).toLower();
}

JpegLayout scanJpegLayout(const QByteArray& bytes)
{
    JpegLayout out;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) return out;
    qsizetype i = 2;
    for (;;) {
        // Decoders skip stray bytes between segments, and any number of fill bytes before a marker.
        while (i < n && b[i] != 0xFF) ++i;
        while (i < n && b[i] == 0xFF) ++i;
        if (i >= n) return out;
        const unsigned char marker = b[i++];
        if (marker == 0xD9) {
            out.complete = true;
            return out;
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
        if (i + 2 > n) return out;
        const qsizetype length = (qsizetype(b[i]) << 8) | b[i + 1];
        if (length < 2 || i + length > n) return out;
        const bool startOfFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame && length >= 7) {
            out.height = (int32_t(b[i + 3]) << 8) | b[i + 4];
            out.width = (int32_t(b[i + 5]) << 8) | b[i + 6];
        }
        i += length;
        if (marker != 0xDA) continue;
        // Entropy-coded data runs to the first marker that is neither a stuffed zero nor a restart.
        for (;;) {
            const void* hit = i < n ? std::memchr(b + i, 0xFF, static_cast<size_t>(n - i)) : nullptr;
            if (!hit) return out;
            i = static_cast<const unsigned char*>(hit) - b;
            if (i + 1 >= n) return out;
            const unsigned char next = b[i + 1];
            if (next == 0xFF) {
                ++i;
            } else if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                i += 2;
            } else {
                break;
            }
        }
    }
}

} // namespace tf

QImage fncLoadJPEG2000Picture(const QString& fileName, const QString& extension)
{
    if (extension.isEmpty()) return {};
    ensureFreeImage();
    const bool boxed = extension.toLower() == QLatin1String("jp2");
    for (FREE_IMAGE_FORMAT fif : {boxed ? FIF_JP2 : FIF_J2K, boxed ? FIF_J2K : FIF_JP2}) {
        bool tooLarge = false;
        const QImage image = loadFreeImageFile(fif, fileName, 0, tooLarge);
        if (!image.isNull() || tooLarge) return image;
    }
    return {};
}

QImage LoadPic(const QString& strFile, int32_t intSizeMode, int32_t lngWidth, int32_t lngHeight,
               OleColor lngBackColor, int32_t& lngImageWidth, int32_t& lngImageHeight, const LoadPicOptions& options)
{
    Outcome o;
    try {
        o = routeAndLoad(strFile, intSizeMode, lngWidth, lngHeight, lngBackColor);
    } catch (const std::bad_alloc&) {
        o = Outcome{};
        o.errorNumber = kErrOutOfMemory;
    }
    lngImageWidth = o.width;
    lngImageHeight = o.height;
    if (options.route) *options.route = o.route;
    if (o.picture.isNull() && o.errorNumber != 0 && !options.quiet) {
        const QString routine = QStringLiteral("LoadPic");
        if (options.reporter)
            options.reporter(errorText(o.errorNumber), o.errorNumber, 0, routine);
        else
            subGlobalErrorHandler(errorText(o.errorNumber), o.errorNumber, 0, routine);
    }
    return o.picture;
}
