#include "platform/imagebox/picture_decode.h"

#include "platform/decode/decoder_client.h"
#include "platform/decode/decoder_server.h"
#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/jpeg_eighth.h"
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/picture_geometry.h"
#include "platform/imagebox/picture_limits.h"
#include "platform/imagebox/tiff_pages.h"

#include <FreeImage.h>
#include <IL/il.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace tf {

namespace {

// Page types the image control reads itself when a page is written into a document; the rest
// go through the shared loader.
const QStringList kControlPageExtensions = {"tiff", "tif", "jpeg", "jpg", "psd", "bmp", "pcx", "gif", "png"};
// Looked up in this order; a type FreeImage recognises never reaches the first three.
const QStringList kDevilExtensions = {"psp", "pic", "pix", "pxr", "raw", "dcx", "lif", "wal", "mdl", "oil", "lmp",
                                      "sgi", "bw",  "rgb", "rgba", "act", "pal", "pbm", "pgm", "ppm", "mng"};
const QStringList kJpeg2000Extensions = {"jp2", "j2k", "jpc"};
const QStringList kMetafileExtensions = {"emf", "wmf"};
const QStringList kQtExtensions = {"tiff", "tif", "gif", "jpeg", "jpg", "jpe", "png", "bmp", "emf", "wmf"};

using Bitmap = FreeImageBitmap;

bool isBoxMode(int32_t sizeMode) { return sizeMode == kSizeModeFit || sizeMode == kSizeModeBox; }

// A JPEG bigger than this is not read whole for the layout check; the decoders still guard it.
constexpr qint64 kMaxJpegBytesInMemory = qint64(512) * 1024 * 1024;

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

// Why a picture of the claimed size is refused; empty when it is not.
QString sizeRefusal(quint32 width, quint32 height)
{
    return width > 0 && height > 0 && !pictureSizeAllowed(width, height) ? pictureTooLargeText(width, height) : QString();
}

// For the FreeImage types whose header cannot be read alone: the size the file claims, read from
// its first bytes. FreeImage would allocate (and for GIF, paint) the whole claimed canvas, so a
// file of a few bytes could take gigabytes.
QString headerRefusal(FREE_IMAGE_FORMAT fif, const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray d = file.read(64 * 1024);
    switch (fif) {
    case FIF_GIF: {
        if (QString screen = sizeRefusal(le16(d, 6), le16(d, 8)); !screen.isEmpty()) return screen;
        // The first frame's own size counts too: walk past the colour table and extensions.
        const uchar flags = d.size() > 10 ? uchar(d[10]) : 0;
        qsizetype at = 13 + ((flags & 0x80) ? 3 << ((flags & 7) + 1) : 0);
        while (at < d.size()) {
            const uchar block = uchar(d[at]);
            if (block == 0x2C) return sizeRefusal(le16(d, at + 5), le16(d, at + 7));
            if (block != 0x21) return {};
            at += 2;
            while (at < d.size() && d[at] != 0) at += uchar(d[at]) + 1;
            ++at;
        }
        return {};
    }
    case FIF_SGI: return sizeRefusal(be16(d, 6), be16(d, 8));
    case FIF_DDS: return sizeRefusal(le32(d, 16), le32(d, 12));
    case FIF_J2K:
    case FIF_JP2: {
        // The code stream's size marker: image size less the image offset.
        const qsizetype siz = d.indexOf(QByteArray::fromHex("ff4fff51"));
        if (siz < 0) return {};
        return sizeRefusal(be32(d, siz + 8) - std::min(be32(d, siz + 8), be32(d, siz + 16)),
                           be32(d, siz + 12) - std::min(be32(d, siz + 12), be32(d, siz + 20)));
    }
    default: return {};
    }
}

// Loads a file of a known FreeImage type at its own size. The claimed size is checked before any
// pixel memory is taken, and again after the load; *tooLarge says why a picture was refused for
// its size, and stays empty otherwise.
QImage loadFreeImageFile(FREE_IMAGE_FORMAT fif, const QString& fileName, QString& tooLarge)
{
    tooLarge.clear();
    const QByteArray name = QFile::encodeName(fileName);
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) return {};
    // FreeImage's readers of these types write past their buffers on damaged files, and its TIFF
    // reader loses what some pages hold: the image control's readers read them, so that a
    // thumbnail shows what the preview does.
    if (fif == FIF_PSD || fif == FIF_ICO || fif == FIF_PCX || fif == FIF_TARGA || fif == FIF_JPEG || fif == FIF_TIFF) {
        QString why;
        QImage image = imagebox::decodeImageFile(fileName, 1, &why);
        if (image.isNull() && isTooLargeText(why)) tooLarge = why;
        return image;
    }
    if (!FreeImage_FIFSupportsNoPixels(fif)) {
        tooLarge = headerRefusal(fif, fileName);
        if (!tooLarge.isEmpty()) return {};
    } else {
        Bitmap header(FreeImage_Load(fif, name.constData(), FIF_LOAD_NOPIXELS));
        if (!header) return {};
        tooLarge = sizeRefusal(FreeImage_GetWidth(header.get()), FreeImage_GetHeight(header.get()));
        if (!tooLarge.isEmpty()) return {};
    }
    Bitmap bitmap(FreeImage_Load(fif, name.constData(), 0));
    if (!bitmap) return {};
    tooLarge = sizeRefusal(FreeImage_GetWidth(bitmap.get()), FreeImage_GetHeight(bitmap.get()));
    if (!tooLarge.isEmpty()) return {};
    return qimageFromFreeImage(bitmap.get());
}

// One DevIL image name, given back whichever way the decode ends.
class DevilImage {
public:
    DevilImage()
    {
        ilGenImages(1, &m_name);
        ilBindImage(m_name);
    }
    ~DevilImage()
    {
        ilDeleteImages(1, &m_name);
        // DevIL keeps a short stack of errors; empty it so that one bad file does not linger.
        for (int i = 0; i < 64 && ilGetError() != IL_NO_ERROR; ++i) {
        }
    }
    DevilImage(const DevilImage&) = delete;
    DevilImage& operator=(const DevilImage&) = delete;

private:
    ILuint m_name = 0;
};

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

    const DevilImage current;
    const QByteArray name = QFile::encodeName(fileName);
    if (ilLoadImage(name.constData()) != 1) return {};
    const ILint w = ilGetInteger(IL_IMAGE_WIDTH);
    const ILint h = ilGetInteger(IL_IMAGE_HEIGHT);
    if (!pictureSizeAllowed(w, h) || ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE) != IL_TRUE) return {};
    const ILubyte* data = ilGetData();
    const bool bottomUp = ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_LOWER_LEFT;
    QImage image(w, h, QImage::Format_ARGB32);
    if (!data || image.isNull()) return {};
    const qsizetype stride = qsizetype(w) * 4;
    for (int y = 0; y < h; ++y) {
        const ILubyte* in = data + stride * (bottomUp ? h - 1 - y : y);
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x, in += 4) line[x] = qRgba(in[2], in[1], in[0], in[3]);
    }
    return image;
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
// fraction of the size for a fraction of the work. Null when the picture is not small enough for
// that to pay, or the reduced decode would come out smaller than it is drawn.
QImage reducedJpeg(const QByteArray& bytes, const JpegLayout& layout, const DecodeRequest& request)
{
    // A frame too big to decode whole is refused on the full route, so that every mode agrees.
    if (!pictureSizeAllowed(layout.width, layout.height)) return {};
    int32_t targetWidth = 0;
    int32_t targetHeight = 0;
    if (!pictureTargetSize(request.sizeMode, layout.width, layout.height, request.boxWidth, request.boxHeight,
                           targetWidth, targetHeight))
        return {};
    const DrawRect drawn = keepAspectRect(layout.width, layout.height, targetWidth, targetHeight);
    const int scale = reducedJpegScale(layout.width, layout.height, drawn.width, drawn.height);
    if (scale == 1) return {};

    const QSize size(drawn.width, drawn.height);
    if (scale == 8) {
        // Most thumbnails: the blocks' means, averaged the rest of the way down as Qt's reader
        // does. A JPEG our own reader leaves alone goes to Qt's.
        const QSize eighthSize((layout.width + 7) / 8, (layout.height + 7) / 8);
        const bool halved = size.width() * 2 <= eighthSize.width() && size.height() * 2 <= eighthSize.height();
        const QImage eighth = decodeJpegEighth(bytes, halved ? EighthColour::BlockMeans : EighthColour::Exact);
        if (eighth.size() == eighthSize) return eighth.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    // Qt's JPEG reader asked for the drawn size decodes the DCT blocks reduced by `scale` and
    // averages the rest of the way down, so the picture arrives at the size it is drawn.
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    reader.setScaledSize(size);
    QImage image;
    if (!reader.read(&image) || image.size() != size) return {};
    return image;
}

// Qt's readers as the loader uses them: no EXIF rotation, the size the file claims checked before
// Qt allocates for it (tooLarge says why it was refused), Qt's allocation limit raised to ours.
QImage decodeWithQtReader(const QString& fileName, QString& tooLarge)
{
    QImageReader reader(fileName);
    reader.setAutoTransform(false);
    const QSize claimed = reader.size();
    tooLarge = claimed.isValid() ? sizeRefusal(claimed.width(), claimed.height()) : QString();
    if (!tooLarge.isEmpty()) return {};
    reader.setAllocationLimit(static_cast<int>(maxPicturePixels() * 4 / (1024 * 1024)));
    QImage image;
    if (!reader.read(&image)) return {};
    return image;
}

DecodeResult finished(DecodeResult r, QImage image)
{
    if (image.isNull()) {
        r.status = DecodeStatus::NoReader;
        return r;
    }
    r.status = DecodeStatus::Ok;
    r.fullSize = image.size();
    r.pageCount = qMax(r.pageCount, 1);
    r.image = std::move(image);
    return r;
}

DecodeResult failed(DecodeResult r, DecodeStatus status, const QString& why)
{
    r.status = status;
    r.failure = why;
    r.image = QImage();
    return r;
}

DecodeResult decodeForControl(const DecodeRequest& request)
{
    DecodeResult r;
    r.route = PicRoute::Control;
    QString why;
    QImage image = imagebox::decodeImageFile(request.path, request.page, &why, &r.pageCount);
    if (image.isNull()) return failed(r, isTooLargeText(why) ? DecodeStatus::TooLarge : DecodeStatus::Invalid, why);
    return finished(r, std::move(image));
}

// The loader's readers. A type FreeImage does not recognise goes by its extension to DevIL, the
// JPEG 2000 reader or the metafile reader (and a failure there is not reported); a type it does
// recognise goes to Qt's readers when they know it, and to FreeImage when they cannot.
DecodeResult decodeForLoader(const DecodeRequest& request)
{
    DecodeResult r;
    if (isBoxMode(request.sizeMode) && (request.boxWidth < 1 || request.boxHeight < 1)) return r;
    const QString& fileName = request.path;
    const QString extension = loadPicExtension(fileName);
    ensureFreeImage();
    const QByteArray name = QFile::encodeName(fileName);
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(name.constData(), 0);

    if (fif == FIF_UNKNOWN || fif == FIF_XBM || fif == FIF_XPM) {
        // The same readers as the image control's, so that a thumbnail shows what the preview does.
        if (const auto kind = imagebox::textPictureKind(fileName); kind != imagebox::TextPictureKind::None) {
            r.route = kind == imagebox::TextPictureKind::Xbm ? PicRoute::Control : PicRoute::Qt;
            QString why;
            QImage image = imagebox::decodeTextPicture(kind, fileName, &why);
            if (!image.isNull()) return finished(r, std::move(image));
            if (kind == imagebox::TextPictureKind::Xbm) return failed(r, DecodeStatus::Invalid, why);
        }
    }

    if (fif == FIF_UNKNOWN) {
        if (kDevilExtensions.contains(extension)) {
            r.route = PicRoute::DevIL;
            return finished(r, decodeWithDevil(fileName));
        }
        if (kJpeg2000Extensions.contains(extension)) {
            r.route = PicRoute::Jpeg2000;
            return finished(r, decodeJpeg2000(fileName, extension));
        }
        if (kMetafileExtensions.contains(extension)) {
            // Qt reads no metafile; should a reader appear, it is used. Not a broken file, so no report.
            r.route = PicRoute::Metafile;
            QString tooLarge;
            QImage image = decodeWithQtReader(fileName, tooLarge);
            return tooLarge.isEmpty() ? finished(r, std::move(image)) : failed(r, DecodeStatus::TooLarge, tooLarge);
        }
        return r;
    }

    if (fif == FIF_JPEG) {
        QFile file(fileName);
        if (file.size() <= kMaxJpegBytesInMemory && file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            const JpegLayout layout = scanJpegLayout(bytes);
            if (!layout.complete) {
                // Both decoders would paint the missing part grey and call it a success.
                r.route = PicRoute::FreeImage;
                return failed(r, DecodeStatus::Invalid, QStringLiteral("truncated file"));
            }
            if (isBoxMode(request.sizeMode)) {
                QImage image = reducedJpeg(bytes, layout, request);
                if (!image.isNull()) {
                    r.route = PicRoute::ReducedJpeg;
                    r = finished(r, std::move(image));
                    r.fullSize = QSize(layout.width, layout.height);
                    return r;
                }
            }
        }
    }

    if ((fif == FIF_BMP || fif == FIF_GIF) && imagebox::pictureFileCutShort(fileName)) {
        // Qt's readers fill the missing rows and call it a success.
        r.route = PicRoute::FreeImage;
        return failed(r, DecodeStatus::Invalid, QStringLiteral("truncated file"));
    }

    if (fif == FIF_PNG) {
        // Both readers go through libpng, which allocates whatever a chunk claims.
        const FileClaims claims = checkFileClaims(fileName);
        if (claims.verdict != FileClaims::Believable) {
            r.route = PicRoute::FreeImage;
            return failed(r, claims.verdict == FileClaims::TooLarge ? DecodeStatus::TooLarge : DecodeStatus::Invalid, claims.why);
        }
    }

    if (kQtExtensions.contains(extension)) {
        r.route = PicRoute::Qt;
        QString tooLarge;
        QImage image = decodeWithQtReader(fileName, tooLarge);
        if (!tooLarge.isEmpty()) return failed(r, DecodeStatus::TooLarge, tooLarge);
        if (!image.isNull()) return finished(r, std::move(image));
    }

    r.route = PicRoute::FreeImage;
    QString tooLarge;
    QImage image = loadFreeImageFile(fif, fileName, tooLarge);
    if (image.isNull())
        return !tooLarge.isEmpty() ? failed(r, DecodeStatus::TooLarge, tooLarge)
                                   : failed(r, DecodeStatus::Invalid, QStringLiteral("unreadable file"));
    return finished(r, std::move(image));
}

} // namespace

std::vector<DecodeStep> decodeSteps(DecodeCaller caller, const QString& path)
{
    switch (caller) {
    case DecodeCaller::Control: return {DecodeStep::Control};
    case DecodeCaller::Loader: return {DecodeStep::Loader};
    case DecodeCaller::PageWriter:
        // A page the control cannot read gets a second chance through the loader.
        if (kControlPageExtensions.contains(loadPicExtension(path))) return {DecodeStep::Control, DecodeStep::Loader};
        return {DecodeStep::Loader};
    }
    return {};
}

namespace {

enum class Stated { None, Yes, ByReader };

// The resolution the file itself states, read from its header, for the types that can state one.
// PSD states it in a resource our own reader reads.
Stated statedResolution(const QString& path, int page, double* dpiX, double* dpiY)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return Stated::None;
    const QByteArray head = f.read(256 * 1024);
    if (head.startsWith("II") || head.startsWith("MM"))
        return tiffPageResolution(path, page, dpiX, dpiY) ? Stated::Yes : Stated::None;
    if (head.startsWith(QByteArray("\xFF\xD8\xFF", 3))) return jpegResolution(head, dpiX, dpiY) ? Stated::Yes : Stated::None;
    if (head.startsWith("8BPS")) return Stated::ByReader;
    if (head.startsWith("\x89PNG\r\n\x1a\n")) {
        for (qsizetype at = 8; at + 8 <= head.size();) {
            const quint32 length = be32(head, at);
            const QByteArray type = head.mid(at + 4, 4);
            if (type == "IDAT" || type == "IEND") break;
            // Unit 1 is the metre; unit 0 gives the pixels' aspect only.
            if (type == "pHYs" && length == 9 && at + 17 <= head.size() && head[at + 16] == 1 && be32(head, at + 8) > 0 &&
                be32(head, at + 12) > 0) {
                *dpiX = dpiFromDotsPerMeter(int(std::min<quint32>(be32(head, at + 8), INT32_MAX)));
                *dpiY = dpiFromDotsPerMeter(int(std::min<quint32>(be32(head, at + 12), INT32_MAX)));
                return Stated::Yes;
            }
            at += 12 + qsizetype(length);
        }
        return Stated::None;
    }
    if (head.startsWith("BM") && le32(head, 14) >= 40) {
        const qint32 x = qint32(le32(head, 38)), y = qint32(le32(head, 42));
        if (x <= 0 || y <= 0) return Stated::None;
        *dpiX = dpiFromDotsPerMeter(x);
        *dpiY = dpiFromDotsPerMeter(y);
        return Stated::Yes;
    }
    if (head.size() >= 128 && head[0] == 0x0A && uchar(head[1]) <= 5 && head[2] == 1) {
        const quint32 x = le16(head, 12), y = le16(head, 14);
        if (x == 0 || y == 0) return Stated::None;
        *dpiX = x;
        *dpiY = y;
        return Stated::Yes;
    }
    return Stated::None;
}

// A decoded picture carries the resolution its file states, or kDefaultPageDpi when it states
// none. The libraries make one up otherwise (FreeImage 300 dpi for a PNG or BMP without one, Qt
// 96 for a Targa), and the same pixels would make pages of other sizes by their file's type.
void takeStatedResolution(QImage& image, const QString& path, int page)
{
    double x = kDefaultPageDpi, y = kDefaultPageDpi;
    if (statedResolution(path, page, &x, &y) == Stated::ByReader) return;
    image.setDotsPerMeterX(std::max(1, qRound(x / 0.0254)));
    image.setDotsPerMeterY(std::max(1, qRound(y / 0.0254)));
}

// The routing of each caller, run in this process: only ever inside a decoder.
DecodeResult decodeHere(const DecodeRequest& request)
{
    DecodeResult r;
    for (const DecodeStep step : decodeSteps(request.caller, request.path)) {
        if (step == DecodeStep::Control) {
            r = decodeForControl(request);
        } else {
            DecodeRequest own = request;
            if (request.caller == DecodeCaller::PageWriter) own.sizeMode = kSizeModeOwn;
            r = decodeForLoader(own);
        }
        if (!r.ok()) continue;
        // Thumbnails have no use for it.
        if (request.caller != DecodeCaller::Loader || request.sizeMode == kSizeModeOwn)
            takeStatedResolution(r.image, request.path, request.page);
        return r;
    }
    return r;
}

// The same routing in a decoder of the shared pool. Whatever ends a decoder (a crash, a hang, its
// memory running out) ends this file as a damaged one would.
DecodeResult decodeGuarded(const DecodeRequest& request)
{
    return routedAnswer(decode::DecoderPool::shared().decode(routedRequest(request)));
}

} // namespace

decode::DecodeRequest routedRequest(const DecodeRequest& request)
{
    decode::DecodeRequest sent;
    sent.kind = static_cast<uint32_t>(decode::DecodeKind::Routed);
    sent.path = request.path;
    sent.page = request.page;
    sent.flags = static_cast<uint32_t>(request.caller);
    sent.sizeMode = request.sizeMode;
    sent.width = request.boxWidth;
    sent.height = request.boxHeight;
    return sent;
}

DecodeResult routedAnswer(decode::DecodeResult answer)
{
    DecodeResult r;
    if (!answer.answered()) return failed(r, DecodeStatus::Invalid, QString::fromLatin1(decode::kUnableToRead));
    const auto status = static_cast<DecodeStatus>(answer.outcome);
    switch (status) {
    case DecodeStatus::Ok:
    case DecodeStatus::NotAFile:
    case DecodeStatus::NoReader:
    case DecodeStatus::Invalid:
    case DecodeStatus::TooLarge: break;
    default: return failed(r, DecodeStatus::Invalid, QString::fromLatin1(decode::kUnableToRead));
    }
    r.route = static_cast<PicRoute>(std::clamp<int32_t>(answer.route, 0, int32_t(PicRoute::Metafile)));
    r.pageCount = answer.pageCount;
    if (status != DecodeStatus::Ok) return failed(r, status, answer.message);
    // A decoder that says it read the picture and sends none has not read it.
    if (answer.image.isNull()) return failed(r, DecodeStatus::Invalid, QString::fromLatin1(decode::kUnableToRead));
    r.status = status;
    r.image = std::move(answer.image);
    r.fullSize = QSize(answer.sourceWidth, answer.sourceHeight);
    if (r.fullSize.isEmpty()) r.fullSize = r.image.size();
    return r;
}

decode::DecodeResult serveRoutedRequest(const decode::DecodeRequest& request)
{
    DecodeRequest own;
    own.path = request.path;
    own.page = request.page;
    own.caller = static_cast<DecodeCaller>(request.flags);
    own.sizeMode = request.sizeMode;
    own.boxWidth = request.width;
    own.boxHeight = request.height;
    decode::DecodeResult answer;
    if (request.flags > uint32_t(DecodeCaller::PageWriter)) {
        answer.outcome = int32_t(DecodeStatus::NoReader);
        answer.message = QStringLiteral("unknown caller %1").arg(request.flags);
        return answer;
    }
    DecodeResult r = decodePicture(own);
    answer.outcome = static_cast<int32_t>(r.status);
    answer.route = static_cast<int32_t>(r.route);
    answer.pageCount = r.pageCount;
    answer.sourceWidth = r.fullSize.width();
    answer.sourceHeight = r.fullSize.height();
    answer.message = r.failure;
    answer.image = std::move(r.image);
    return answer;
}

DecodeResult decodePicture(const DecodeRequest& request)
{
    DecodeResult r;
    // Only plain files: opening a pipe could wait forever, a device could be read forever.
    if (request.path.isEmpty() || !QFileInfo(request.path).isFile())
        return failed(r, DecodeStatus::NotAFile, QStringLiteral("no such file"));
    return decode::isDecoderProcess() ? decodeHere(request) : decodeGuarded(request);
}

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

QImage decodeJpeg2000(const QString& path, const QString& extension)
{
    if (extension.isEmpty() || !QFileInfo(path).isFile()) return {};
    ensureFreeImage();
    const bool boxed = extension.toLower() == QLatin1String("jp2");
    for (FREE_IMAGE_FORMAT fif : {boxed ? FIF_JP2 : FIF_J2K, boxed ? FIF_J2K : FIF_JP2}) {
        QString tooLarge;
        QImage image = loadFreeImageFile(fif, path, tooLarge);
        if (!image.isNull() || !tooLarge.isEmpty()) return image;
    }
    return {};
}

} // namespace tf
