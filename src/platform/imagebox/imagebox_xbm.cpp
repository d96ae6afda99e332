#include "platform/imagebox/imagebox_codecs.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <cctype>
#include <cstdlib>

namespace tf::imagebox {

namespace {

QImage fail(QString* failure, const QString& why)
{
    if (failure) *failure = why;
    return {};
}

// The text with its C comments turned into blanks, so that a comment anywhere (before the first
// `#define`, between the values) reads as white space.
QByteArray withoutComments(const char* data, qint64 size)
{
    QByteArray out(data, size);
    for (qsizetype i = 0; i + 1 < out.size(); ++i) {
        if (out[i] != '/') continue;
        if (out[i + 1] == '*') {
            const qsizetype end = out.indexOf("*/", i + 2);
            const qsizetype stop = end < 0 ? out.size() : end + 2;
            for (qsizetype k = i; k < stop; ++k)
                if (out[k] != '\n') out[k] = ' ';
            i = stop - 1;
        } else if (out[i + 1] == '/') {
            while (i < out.size() && out[i] != '\n') out[i++] = ' ';
        }
    }
    return out;
}

} // namespace

// X11 bitmaps are C source, and every writer has its habits: a comment or a blank line before the
// first `#define`, names that are no C names ("my-icon_width"), hot-spot defines, `char` or the old
// X10 `short` arrays, hexadecimal or decimal values. Only the width and height defines, the opening
// brace and enough values matter.
QImage decodeXbm(const uchar* data, qint64 size, QString* failure)
{
    // A bitmap of the largest size allowed is about 6 characters a byte.
    if (size <= 0 || size > kMaxBytes) return fail(failure, QStringLiteral("unreadable file"));
    const QByteArray text = withoutComments(reinterpret_cast<const char*>(data), size);
    const qsizetype brace = text.indexOf('{');
    if (brace < 0) return fail(failure, QStringLiteral("not an X bitmap"));

    qint64 width = -1, height = -1;
    const QList<QByteArray> lines = text.left(brace).split('\n');
    for (const QByteArray& raw : lines) {
        const QList<QByteArray> words = raw.simplified().split(' ');
        if (words.size() < 3 || words[0] != "#define") continue;
        bool ok = false;
        const qint64 value = words[2].toLongLong(&ok, 0);
        if (!ok) continue;
        if (words[1].endsWith("_width") || words[1] == "width") width = value;
        else if (words[1].endsWith("_height") || words[1] == "height") height = value;
    }
    if (width < 0 || height < 0) return fail(failure, QStringLiteral("not an X bitmap"));
    if (!sizeAllowed(width, height, 1)) return fail(failure, QStringLiteral("damaged picture"));

    const qsizetype declaration = text.lastIndexOf('\n', brace) + 1;
    const bool shorts = text.mid(declaration, brace - declaration).contains("short");
    const int unitBytes = shorts ? 2 : 1;
    const qint64 rowBytes = (width + 8 * unitBytes - 1) / (8 * unitBytes) * unitBytes;

    QImage image(int(width), int(height), QImage::Format_MonoLSB);
    if (image.isNull()) return fail(failure, QStringLiteral("not enough memory"));
    image.setColorCount(2);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));

    const char* p = text.constData() + brace + 1;
    const char* const end = text.constData() + text.size();
    const qint64 units = rowBytes / unitBytes * height;
    for (qint64 n = 0; n < units; ++n) {
        while (p < end && (std::isspace(uchar(*p)) || *p == ',')) ++p;
        if (p >= end || *p == '}') return fail(failure, QStringLiteral("truncated file"));
        char* after = nullptr;
        const unsigned long value = std::strtoul(p, &after, 0);
        if (after == p) return fail(failure, QStringLiteral("damaged picture"));
        p = after;
        const qint64 at = n * unitBytes;
        uchar* line = image.scanLine(int(at / rowBytes));
        // X10 shorts hold their first pixel in the low bit of the low byte.
        for (int b = 0; b < unitBytes; ++b) {
            const qint64 column = at % rowBytes + b;
            if (column < image.bytesPerLine()) line[column] = uchar(value >> (8 * b));
        }
    }
    return image;
}

TextPictureKind textPictureKind(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xbm")) return TextPictureKind::Xbm;
    if (suffix == QLatin1String("xpm")) return TextPictureKind::Xpm;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return TextPictureKind::None;
    const QByteArray head = f.peek(4096);
    if (head.contains("/* XPM */")) return TextPictureKind::Xpm;
    const QByteArray plain = withoutComments(head.constData(), head.size()).trimmed();
    if (plain.startsWith("#define") && (plain.contains("_width") || plain.contains("_height"))) return TextPictureKind::Xbm;
    return TextPictureKind::None;
}

QImage decodeTextPicture(TextPictureKind kind, const QString& path, QString* failure)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return fail(failure, QStringLiteral("unreadable file"));
    if (f.size() > kMaxBytes) return fail(failure, QStringLiteral("unreadable file"));
    if (kind == TextPictureKind::Xbm) {
        const QByteArray bytes = f.readAll();
        return decodeXbm(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size(), failure);
    }
    // Qt's pixmap reader takes the colour names and key kinds that other readers refuse.
    QImageReader reader(&f, "xpm");
    const QSize size = reader.size();
    if (size.isValid() && !sizeAllowed(size.width(), size.height(), 32)) return fail(failure, QStringLiteral("damaged picture"));
    QImage image = reader.read();
    if (image.isNull()) return fail(failure, reader.errorString());
    return image;
}

} // namespace tf::imagebox
