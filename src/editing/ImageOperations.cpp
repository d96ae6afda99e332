#include "editing/ImageOperations.h"

#include "platform/imagebox/imagebox_error.h"
#include "platform/sys/numbers.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
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
    if (width * height > kMaxPixels || width > INT32_MAX || height > INT32_MAX)
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

// Applies f to each switched-on colour channel of every pixel.
template <typename F>
QImage mapChannels(const QImage& image, ChannelSwitches ch, F f)
{
    QImage out = working(image);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba(ch.red ? f(qRed(p)) : qRed(p), ch.green ? f(qGreen(p)) : qGreen(p),
                            ch.blue ? f(qBlue(p)) : qBlue(p), qAlpha(p));
        }
    }
    return out;
}

// One pass of a box blur along rows (horizontal) or columns, edges repeated.
QImage boxPass(const QImage& in, int radius, bool horizontal)
{
    QImage out(in.size(), in.format());
    keepResolution(out, in);
    const int w = in.width(), h = in.height();
    const int len = horizontal ? w : h, lines = horizontal ? h : w;
    const int window = 2 * radius + 1;
    std::vector<QRgb> src(static_cast<size_t>(len));
    for (int l = 0; l < lines; ++l) {
        for (int i = 0; i < len; ++i)
            src[static_cast<size_t>(i)] = horizontal ? in.pixel(i, l) : in.pixel(l, i);
        auto at = [&](int i) { return src[static_cast<size_t>(std::clamp(i, 0, len - 1))]; };
        int64_t sr = 0, sg = 0, sb = 0, sa = 0;
        for (int i = -radius; i <= radius; ++i) {
            const QRgb p = at(i);
            sr += qRed(p), sg += qGreen(p), sb += qBlue(p), sa += qAlpha(p);
        }
        for (int i = 0; i < len; ++i) {
            const QRgb v = qRgba(clamp255(double(sr) / window), clamp255(double(sg) / window), clamp255(double(sb) / window),
                                 clamp255(double(sa) / window));
            if (horizontal) reinterpret_cast<QRgb*>(out.scanLine(l))[i] = v;
            else reinterpret_cast<QRgb*>(out.scanLine(i))[l] = v;
            const QRgb gone = at(i - radius), come = at(i + radius + 1);
            sr += qRed(come) - qRed(gone), sg += qGreen(come) - qGreen(gone);
            sb += qBlue(come) - qBlue(gone), sa += qAlpha(come) - qAlpha(gone);
        }
    }
    return out;
}

QImage boxBlur(const QImage& image, int radius) { return boxPass(boxPass(image, radius, true), radius, false); }

QFont fontFor(const TextParams& p)
{
    if (!(p.fontSize > 0) || p.fontSize > 4000) invalid(QStringLiteral("The font size %1 is not valid.").arg(p.fontSize));
    QFont f(p.fontName);
    f.setPixelSize(std::max(1, static_cast<int>(roundHalfEven(p.fontSize * 96.0 / 72.0))));
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
    const QImage mean = boxBlur(in, 1);
    const double amount = std::min(level, 100) / 5.0;
    for (int y = 0; y < in.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(in.scanLine(y));
        const auto* m = reinterpret_cast<const QRgb*>(mean.constScanLine(y));
        for (int x = 0; x < in.width(); ++x) {
            const QRgb p = line[x];
            auto sharp = [&](int v, int mv) { return clamp255(v + (v - mv) * amount); };
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
    QImage in = working(image);
    const Bounds s = selection.normalized();
    const Bounds clipped{std::max(s.left, 0), std::max(s.top, 0), std::min(s.right, in.width()), std::min(s.bottom, in.height())};
    if (clipped.right <= clipped.left || clipped.bottom <= clipped.top)
        invalid(QStringLiteral("The selection (%1, %2, %3, %4) holds no part of the image.").arg(s.left).arg(s.top).arg(s.right).arg(s.bottom));
    QImage out = canvasLike(in, clipped.right - clipped.left, clipped.bottom - clipped.top, background);
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (shape == SelectionShape::Ellipse) {
        // The ellipse is the one drawn in the whole selection; only its part on the image is kept.
        QPainterPath path;
        path.addEllipse(QRectF(s.left - clipped.left, s.top - clipped.top, s.right - s.left, s.bottom - s.top));
        painter.setClipPath(path);
    }
    painter.drawImage(QPoint(-clipped.left, -clipped.top), in);
    painter.end();
    return out;
}

QImage Merge(const QImage& image, const QImage& picture, const MergeParams& params)
{
    QImage out = working(image);
    if (picture.isNull()) throw ImageBoxError(imagebox_error::kInvalidPicture, QStringLiteral("There is no picture to merge."));
    if (params.style < mergeCentre || params.style > mergeWrap) invalid(QStringLiteral("The merge style %1 is not known.").arg(params.style));
    QImage pic = picture.convertToFormat(QImage::Format_ARGB32);
    if (params.style == mergeWrap)
        pic = pic.scaled(out.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const double opacity = 1.0 - std::clamp(params.transparency, 0.0, 100.0) / 100.0;
    const QRgb key = colorFromOle(params.transparentColor).rgb() & 0xFFFFFFu;

    auto place = [&](int ox, int oy) {
        const int x0 = std::max(0, ox), y0 = std::max(0, oy);
        const int x1 = std::min(out.width(), ox + pic.width()), y1 = std::min(out.height(), oy + pic.height());
        for (int y = y0; y < y1; ++y) {
            auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
            const auto* src = reinterpret_cast<const QRgb*>(pic.constScanLine(y - oy));
            for (int x = x0; x < x1; ++x) {
                const QRgb s = src[x - ox];
                if (params.transparent && (s & 0xFFFFFFu) == key) continue;
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
    return out;
}

QSize TextExtent(const TextParams& params, const QString& text)
{
    const QFontMetrics fm(fontFor(params));
    return {fm.horizontalAdvance(text), fm.height()};
}

QImage DrawText(const QImage& image, const TextParams& params, int32_t x, int32_t y, const QString& text)
{
    QImage out = working(image);
    const QFont font = fontFor(params);
    const QFontMetrics fm(font);
    const int tw = fm.horizontalAdvance(text), th = fm.height();
    const double dx = params.alignment == 1 ? -tw / 2.0 : params.alignment == 2 ? -double(tw) : 0.0;
    QPainter painter(&out);
    painter.setRenderHint(QPainter::TextAntialiasing, params.antiAlias);
    painter.setRenderHint(QPainter::Antialiasing, params.antiAlias);
    painter.translate(x, y);
    painter.rotate(-double(params.angle));
    if (!params.transparent) painter.fillRect(QRectF(dx, 0, tw, th), colorFromOle(params.backColor));
    painter.setFont(font);
    painter.setPen(colorFromOle(params.color));
    painter.drawText(QPointF(dx, fm.ascent()), text);
    painter.end();
    return out;
}

QImage RedEyeCorrection(const QImage& image, Bounds ellipse)
{
    QImage out = working(image);
    const Bounds e = ellipse.normalized();
    const double cx = (e.left + e.right) / 2.0, cy = (e.top + e.bottom) / 2.0;
    const double rx = (e.right - e.left) / 2.0, ry = (e.bottom - e.top) / 2.0;
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
