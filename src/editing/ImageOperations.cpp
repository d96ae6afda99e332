#include "editing/ImageOperations.h"

#include "platform/imagebox/imagebox_error.h"
#include "platform/sys/numbers.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace tf::editops {

namespace {

// A task list read from a file could ask for any size; refuse what no page needs before
// allocating it (about 1.2 GB at 4 bytes a pixel).
constexpr int64_t kMaxPixels = 300'000'000;

[[noreturn]] void invalid(const QString& what)
{
    throw ImageBoxError(imagebox_error::kInvalidArgument, what);
}

void requireImage(const QImage& image)
{
    if (image.isNull()) throw ImageBoxError(imagebox_error::kInvalidPicture, QStringLiteral("There is no image to edit."));
}

QImage::Format workFormat(const QImage& image)
{
    return image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
}

QImage working(const QImage& image)
{
    requireImage(image);
    QImage out = image.convertToFormat(workFormat(image));
    out.detach();
    return out;
}

// A new canvas in the image's working format and resolution, filled with one colour.
QImage canvasLike(const QImage& image, int64_t width, int64_t height, OleColor fill)
{
    if (width <= 0 || height <= 0) invalid(QStringLiteral("The new size %1 x %2 is not valid.").arg(width).arg(height));
    if (width > kMaxPixels / height) // also refuses sides beyond 32 bits, without multiplying them
        throw ImageBoxError(imagebox_error::kTooLarge, QStringLiteral("An image of %1 x %2 pixels is too large.").arg(width).arg(height));
    QImage out(static_cast<int>(width), static_cast<int>(height), workFormat(image));
    if (out.isNull()) throw ImageBoxError(imagebox_error::kTooLarge, QStringLiteral("Not enough memory for the image."));
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    out.fill(colorFromOle(fill));
    return out;
}

void keepResolution(QImage& out, const QImage& from)
{
    out.setDotsPerMeterX(from.dotsPerMeterX());
    out.setDotsPerMeterY(from.dotsPerMeterY());
}

inline int clamp255(double v) { return static_cast<int>(std::clamp(roundHalfEven(v), 0.0, 255.0)); }

// Applies f to each switched-on colour channel of every pixel, through a table of its 256 values.
template <typename F>
QImage mapChannels(const QImage& image, ChannelSwitches ch, F f)
{
    std::array<uint8_t, 256> same{}, table{};
    for (int v = 0; v < 256; ++v) same[size_t(v)] = uint8_t(v), table[size_t(v)] = uint8_t(f(v));
    const auto& r = ch.red ? table : same;
    const auto& g = ch.green ? table : same;
    const auto& b = ch.blue ? table : same;
    QImage out = working(image);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba(r[size_t(qRed(p))], g[size_t(qGreen(p))], b[size_t(qBlue(p))], qAlpha(p));
        }
    }
    return out;
}

// The mean of a window of 2r + 1 values, rounded; the window is odd, so there are no halves.
inline int mean(int sum, int window) { return (2 * sum + window) / (2 * window); }

// A box blur along rows, edges repeated.
QImage rowPass(const QImage& in, int radius)
{
    QImage out(in.size(), in.format());
    keepResolution(out, in);
    const int w = in.width(), window = 2 * radius + 1;
    for (int y = 0; y < in.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(in.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        auto at = [&](int i) { return src[std::clamp(i, 0, w - 1)]; };
        int sr = 0, sg = 0, sb = 0, sa = 0;
        for (int i = -radius; i <= radius; ++i) {
            const QRgb p = at(i);
            sr += qRed(p), sg += qGreen(p), sb += qBlue(p), sa += qAlpha(p);
        }
        for (int x = 0; x < w; ++x) {
            dst[x] = qRgba(mean(sr, window), mean(sg, window), mean(sb, window), mean(sa, window));
            const QRgb gone = at(x - radius), come = at(x + radius + 1);
            sr += qRed(come) - qRed(gone), sg += qGreen(come) - qGreen(gone);
            sb += qBlue(come) - qBlue(gone), sa += qAlpha(come) - qAlpha(gone);
        }
    }
    return out;
}

// A box blur along columns, edges repeated; a running sum per column, walked row by row.
QImage columnPass(const QImage& in, int radius)
{
    QImage out(in.size(), in.format());
    keepResolution(out, in);
    const int w = in.width(), h = in.height(), window = 2 * radius + 1;
    auto row = [&](int y) { return reinterpret_cast<const QRgb*>(in.constScanLine(std::clamp(y, 0, h - 1))); };
    std::vector<int> sums(size_t(w) * 4, 0); // at most 255 x 2001 each
    for (int i = -radius; i <= radius; ++i) {
        const QRgb* r = row(i);
        for (int x = 0; x < w; ++x) {
            int* s = &sums[size_t(x) * 4];
            s[0] += qRed(r[x]), s[1] += qGreen(r[x]), s[2] += qBlue(r[x]), s[3] += qAlpha(r[x]);
        }
    }
    for (int y = 0; y < h; ++y) {
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        const QRgb* gone = row(y - radius);
        const QRgb* come = row(y + radius + 1);
        for (int x = 0; x < w; ++x) {
            int* s = &sums[size_t(x) * 4];
            dst[x] = qRgba(mean(s[0], window), mean(s[1], window), mean(s[2], window), mean(s[3], window));
            s[0] += qRed(come[x]) - qRed(gone[x]), s[1] += qGreen(come[x]) - qGreen(gone[x]);
            s[2] += qBlue(come[x]) - qBlue(gone[x]), s[3] += qAlpha(come[x]) - qAlpha(gone[x]);
        }
    }
    return out;
}

QImage boxBlur(const QImage& image, int radius) { return columnPass(rowPass(image, radius), radius); }

QFont fontFor(const TextParams& p)
{
    if (!(p.fontSize > 0) || p.fontSize > 4000) invalid(QStringLiteral("The font size %1 is not valid.").arg(p.fontSize));
    QFont f(p.fontName);
    f.setPixelSize(fontPixelSize(p.fontSize));
    f.setBold(p.bold);
    f.setItalic(p.italic);
    f.setUnderline(p.underline);
    f.setStyleStrategy(p.antiAlias ? QFont::PreferAntialias : QFont::NoAntialias);
    return f;
}

} // namespace

Bounds Bounds::normalized() const
{
    return {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

QImage Flip(const QImage& image, int32_t direction)
{
    QImage in = working(image);
    return in.mirrored(direction == 0, direction != 0);
}

QImage Rotate(const QImage& image, const RotateParams& params)
{
    QImage in = working(image);
    if (!std::isfinite(params.degrees)) invalid(QStringLiteral("The angle is not a number."));
    const double deg = std::fmod(params.degrees, 360.0);
    const double quarter = deg / 90.0;
    if (quarter == std::floor(quarter)) {
        QImage out = in.transformed(QTransform().rotate(deg), Qt::FastTransformation);
        keepResolution(out, in);
        return out.convertToFormat(workFormat(in));
    }
    const QRectF turned = QTransform().rotate(deg).mapRect(QRectF(0, 0, in.width(), in.height()));
    QImage out = canvasLike(in, static_cast<int64_t>(roundHalfEven(turned.width())),
                            static_cast<int64_t>(roundHalfEven(turned.height())), params.background);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, params.resample);
    painter.setRenderHint(QPainter::Antialiasing, params.resample);
    painter.translate(out.width() / 2.0, out.height() / 2.0);
    painter.rotate(deg);
    painter.translate(-in.width() / 2.0, -in.height() / 2.0);
    painter.drawImage(0, 0, in);
    painter.end();
    return out;
}

QImage Resize(const QImage& image, int32_t width, int32_t height)
{
    QImage in = working(image);
    canvasLike(in, width, height, 0).size(); // validates and bounds the size before scaling
    QImage out = in.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    keepResolution(out, in);
    return out.convertToFormat(workFormat(in));
}

QImage Scale(const QImage& image, double percent)
{
    requireImage(image);
    if (!(percent > 0) || !std::isfinite(percent)) invalid(QStringLiteral("The scale %1 % is not valid.").arg(percent));
    const double w = std::max(1.0, roundHalfEven(image.width() * percent / 100.0));
    const double h = std::max(1.0, roundHalfEven(image.height() * percent / 100.0));
    if (w * h > double(kMaxPixels)) throw ImageBoxError(imagebox_error::kTooLarge, QStringLiteral("The scaled image is too large."));
    return Resize(image, static_cast<int32_t>(w), static_cast<int32_t>(h));
}

QImage Blur(const QImage& image, int32_t level)
{
    QImage in = working(image);
    if (level <= 0) return in;
    return boxBlur(in, std::min(level, 1000));
}

QImage Sharpen(const QImage& image, int32_t level)
{
    QImage in = working(image);
    if (level <= 0) return in;
    const QImage blurred = boxBlur(in, 1);
    // v moves away from its mean m by level / 5 times the difference, through a table of v - m.
    const double amount = std::min(level, 100) / 5.0;
    std::array<int, 511> push{};
    for (int d = -255; d <= 255; ++d) push[size_t(d + 255)] = static_cast<int>(roundHalfEven(d * amount));
    auto sharp = [&](int v, int m) { return std::clamp(v + push[size_t(v - m + 255)], 0, 255); };
    for (int y = 0; y < in.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(in.scanLine(y));
        const auto* m = reinterpret_cast<const QRgb*>(blurred.constScanLine(y));
        for (int x = 0; x < in.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba(sharp(qRed(p), qRed(m[x])), sharp(qGreen(p), qGreen(m[x])), sharp(qBlue(p), qBlue(m[x])), qAlpha(p));
        }
    }
    return in;
}

QImage Contrast(const QImage& image, int32_t level, ChannelSwitches channels)
{
    const double f = std::clamp(level, 0, 100) / 50.0;
    return mapChannels(image, channels, [f](int v) { return clamp255(128 + (v - 128) * f); });
}

QImage Brightness(const QImage& image, int32_t level, ChannelSwitches channels)
{
    const double d = (std::clamp(level, 0, 100) - 50) * 255.0 / 50.0;
    return mapChannels(image, channels, [d](int v) { return clamp255(v + d); });
}

QImage Invert(const QImage& image)
{
    return mapChannels(image, {}, [](int v) { return 255 - v; });
}

QImage Crop(const QImage& image, Bounds b, OleColor background)
{
    QImage in = working(image);
    if (b.right <= b.left || b.bottom <= b.top)
        invalid(QStringLiteral("The crop rectangle (%1, %2, %3, %4) is empty.").arg(b.left).arg(b.top).arg(b.right).arg(b.bottom));
    QImage out = canvasLike(in, int64_t(b.right) - b.left, int64_t(b.bottom) - b.top, background);
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPointF(-double(b.left), -double(b.top)), in);
    painter.end();
    return out;
}

QImage CropToSelection(const QImage& image, Bounds selection, SelectionShape shape, OleColor background)
{
    const Bounds s = selection.normalized();
    // The picture becomes the whole selection, as a crop by mouse or a canvas does: what lies
    // outside the picture is filled with the background colour.
    QImage out = Crop(image, s, background);
    if (shape == SelectionShape::Ellipse) {
        QImage filled = canvasLike(out, out.width(), out.height(), background);
        QPainter painter(&filled);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        QPainterPath path;
        path.addEllipse(QRectF(0, 0, out.width(), out.height()));
        painter.setClipPath(path);
        painter.drawImage(QPoint(0, 0), out);
        painter.end();
        out = filled;
    }
    return out;
}

QImage Merge(const QImage& image, const QImage& picture, const MergeParams& params)
{
    QImage out = working(image);
    MergeInto(out, picture, params);
    return out;
}

void MergeInto(QImage& out, const QImage& picture, const MergeParams& params)
{
    requireImage(out);
    if (out.format() != workFormat(out)) out = working(out);
    if (picture.isNull()) throw ImageBoxError(imagebox_error::kInvalidPicture, QStringLiteral("There is no picture to merge."));
    if (params.style < mergeCentre || params.style > mergeWrap) invalid(QStringLiteral("The merge style %1 is not known.").arg(params.style));
    QImage pic = picture.convertToFormat(QImage::Format_ARGB32);
    if (params.style == mergeWrap)
        pic = pic.scaled(out.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const double opacity = 1.0 - std::clamp(params.transparency, 0.0, 100.0) / 100.0;
    const QRgb key = colorFromOle(params.transparentColor).rgb() & 0xFFFFFFu;

    auto place = [&](int ox, int oy) {
        const int x0 = std::max(0, ox), y0 = std::max(0, oy);
        const int x1 = int(std::min<int64_t>(out.width(), int64_t(ox) + pic.width()));
        const int y1 = int(std::min<int64_t>(out.height(), int64_t(oy) + pic.height()));
        for (int y = y0; y < y1; ++y) {
            auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
            const auto* src = reinterpret_cast<const QRgb*>(pic.constScanLine(y - oy));
            for (int x = x0; x < x1; ++x) {
                const QRgb s = src[x - ox];
                if (params.transparent && (s & 0xFFFFFFu) == key) continue;
                if (opacity == 1.0 && qAlpha(s) == 255) {
                    dst[x] = s;
                    continue;
                }
                const double a = opacity * qAlpha(s) / 255.0;
                if (a <= 0) continue;
                const QRgb d = dst[x];
                auto mix = [a](int sv, int dv) { return clamp255(sv * a + dv * (1 - a)); };
                dst[x] = qRgba(mix(qRed(s), qRed(d)), mix(qGreen(s), qGreen(d)), mix(qBlue(s), qBlue(d)),
                               clamp255(qAlpha(d) + (255 - qAlpha(d)) * a));
            }
        }
    };
    switch (params.style) {
    case mergeCentre:
        place(static_cast<int>(roundHalfEven((out.width() - pic.width()) / 2.0)),
              static_cast<int>(roundHalfEven((out.height() - pic.height()) / 2.0)));
        break;
    case mergeAtPoint: place(params.x, params.y); break;
    case mergeTile:
        for (int y = 0; y < out.height(); y += pic.height())
            for (int x = 0; x < out.width(); x += pic.width()) place(x, y);
        break;
    default: place(0, 0); break;
    }
}

QImage MergeMask(const QImage& image, const QImage& mask, const MergeParams& params)
{
    QImage out = working(image);
    if (mask.isNull()) throw ImageBoxError(imagebox_error::kInvalidPicture, QStringLiteral("There is no mask to merge."));
    const QImage stretched = mask.convertToFormat(QImage::Format_RGB32).scaled(out.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!params.transparent) {
        MergeParams at = params;
        at.style = mergeAtPoint;
        at.x = at.y = 0;
        MergeInto(out, stretched, at);
        return out;
    }
    // Whole numbers per pixel: a page has millions of them.
    const int opacity = int(std::lround(256.0 * (1.0 - std::clamp(params.transparency, 0.0, 100.0) / 100.0)));
    for (int y = 0; y < out.height(); ++y) {
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        const auto* src = reinterpret_cast<const QRgb*>(stretched.constScanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            // How much of the pixel the mask covers: its grey level, 0 in the black the picture shows through.
            const QRgb m = src[x];
            const int a = (std::max({qRed(m), qGreen(m), qBlue(m)}) * opacity) >> 8;
            if (a <= 0) continue;
            const QRgb d = dst[x];
            const auto mix = [a](int sv, int dv) { return (sv * a + dv * (255 - a) + 127) / 255; };
            dst[x] = qRgba(mix(qRed(m), qRed(d)), mix(qGreen(m), qGreen(d)), mix(qBlue(m), qBlue(d)), qAlpha(d) + (255 - qAlpha(d)) * a / 255);
        }
    }
    return out;
}

int32_t fontPixelSize(double points)
{
    return std::max(1, roundToLong(points * 96.0 / 72.0));
}

namespace {
// The lines of a text as typed: the text box breaks with LF, files written elsewhere with CR LF.
QStringList textLines(const QString& text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t.split(QLatin1Char('\n'));
}
} // namespace

QSize TextExtent(const TextParams& params, const QString& text)
{
    const QFontMetrics fm(fontFor(params));
    const QStringList lines = textLines(text);
    int width = 0;
    for (const QString& line : lines) width = std::max(width, fm.horizontalAdvance(line));
    return {width, fm.height() * int(lines.size())};
}

QImage DrawText(const QImage& image, const TextParams& params, int32_t x, int32_t y, const QString& text)
{
    QImage out = working(image);
    const QFont font = fontFor(params);
    const QFontMetrics fm(font);
    const int th = fm.height();
    QPainter painter(&out);
    painter.setRenderHint(QPainter::TextAntialiasing, params.antiAlias);
    painter.setRenderHint(QPainter::Antialiasing, params.antiAlias);
    painter.translate(x, y);
    painter.rotate(-double(params.angle));
    painter.setFont(font);
    painter.setPen(colorFromOle(params.color));
    // Line below line, each placed by the alignment on its own width.
    const QStringList lines = textLines(text);
    for (int i = 0; i < lines.size(); ++i) {
        const int tw = fm.horizontalAdvance(lines[i]);
        const double dx = params.alignment == 1 ? -tw / 2.0 : params.alignment == 2 ? -double(tw) : 0.0;
        const double top = double(i) * th;
        if (!params.transparent) painter.fillRect(QRectF(dx, top, tw, th), colorFromOle(params.backColor));
        painter.drawText(QPointF(dx, top + fm.ascent()), lines[i]);
    }
    painter.end();
    return out;
}

QImage RedEyeCorrection(const QImage& image, Bounds ellipse)
{
    QImage out = working(image);
    const Bounds e = ellipse.normalized();
    const double cx = (double(e.left) + e.right) / 2.0, cy = (double(e.top) + e.bottom) / 2.0;
    const double rx = (double(e.right) - e.left) / 2.0, ry = (double(e.bottom) - e.top) / 2.0;
    if (rx <= 0 || ry <= 0) return out;
    for (int y = std::max(0, e.top); y < std::min(out.height(), e.bottom); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = std::max(0, e.left); x < std::min(out.width(), e.right); ++x) {
            const double nx = (x + 0.5 - cx) / rx, ny = (y + 0.5 - cy) / ry;
            if (nx * nx + ny * ny > 1.0) continue;
            const QRgb p = line[x];
            const int r = qRed(p), g = qGreen(p), b = qBlue(p);
            if (r > 80 && r > 1.5 * g && r > 1.5 * b) line[x] = qRgba((g + b) / 2, g, b, qAlpha(p));
        }
    }
    return out;
}

} // namespace tf::editops
