#pragma once
#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

// Reading and writing picture files for the image control. Not for other callers: pictures are
// read through decodePicture (picture_decode.h).
namespace tf::imagebox {

// The largest picture the control takes on: beyond this a file's header is not believed.
inline constexpr qint64 kMaxPixels = qint64(1) << 28;
inline constexpr qint64 kMaxBytes = qint64(1) << 30;
bool sizeAllowed(qint64 width, qint64 height, int bitsPerPixel);

// Page `page` (1 = first) of a picture file, or a null image with the reason in *failure; the
// pages the file holds in *pageCount. FreeImage decodes what it recognises, Qt's readers what it
// does not. Never throws. Everyone else goes through decodePicture (picture_decode.h).
QImage decodeImageFile(const QString& path, int page, QString* failure = nullptr, int* pageCount = nullptr);
int imageFilePageCount(const QString& path);
// Whether a BMP or GIF file ends inside its pixel data: Qt's readers pad such files without a word.
bool pictureFileCutShort(const QString& path);

// Width and height of frame `frame` (0-based) of GIF data, and of its logical screen, and where the
// frame lies on the screen; false when the data ends before that frame or is no GIF.
bool gifFrameSize(const QByteArray& data, int frame, QSize* logicalScreen, QSize* frameSize, QPoint* frameAt = nullptr);

enum class SaveFormat { Unknown, Bmp, Jpeg, Tiff, Png, Gif, Psd, Pcx, Targa };
SaveFormat saveFormatForPath(const QString& path);

// The file contents for an image in a format; throws ImageBoxError when it cannot be written.
QByteArray encodeImage(const QImage& image, SaveFormat format, int jpegQuality);
// Our own writers for what FreeImage writes badly or not at all.
QByteArray encodePsd(const QImage& image); // flat RGB, 8 bits per channel, with its resolution
QByteArray encodePcx(const QImage& image); // 1-bit, 8-bit palette or 24-bit, RLE
// Our own readers where FreeImage's trust damaged run lengths and write past their buffers.
// PSD: the flat composite picture (bitmap, grey, duotone, indexed, RGB, CMYK; 8 or 16 bits) with
// its resolution.
QImage decodePsd(const uchar* data, qint64 size, QString* failure = nullptr);
// PCX: 1-bit, 16 colours (planar or packed), 256 colours, 24-bit and 32-bit, with its resolution.
QImage decodePcx(const uchar* data, qint64 size, QString* failure = nullptr);
// Targa: colour-mapped, grey (8 bits, or 16 with alpha), 15/16, 24 and 32-bit, plain or run-length,
// in any corner order.
QImage decodeTga(const uchar* data, qint64 size, QString* failure = nullptr);

// X11 bitmap: what any writer of them writes (comments anywhere, any define names, char or short
// arrays), as a 1-bit picture with 1 black.
QImage decodeXbm(const uchar* data, qint64 size, QString* failure = nullptr);

// Pictures written as C source. Both routes read them alike: bitmaps with decodeXbm, pixmaps with
// Qt's reader first.
enum class TextPictureKind { None, Xbm, Xpm };
// By the extension, else by the first bytes.
TextPictureKind textPictureKind(const QString& path);
QImage decodeTextPicture(TextPictureKind kind, const QString& path, QString* failure = nullptr);

int dotsPerInch(int dotsPerMeter); // 72 when unknown

// Replaces `path` with `bytes` only once they are completely written; throws ImageBoxError.
void writeFileAtomically(const QString& path, const QByteArray& bytes);

// The image drawn over white with its alpha dropped, as RGB888.
QImage flattenOnWhite(const QImage& image);

} // namespace tf::imagebox
