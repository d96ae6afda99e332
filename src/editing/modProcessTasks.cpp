#include "editing/modProcessTasks.h"

#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/imagebox_geometry.h"
#include "platform/sys/numbers.h"

namespace tf {

using editops::Bounds;
using editops::MergeParams;

namespace {
int32_t half(double v) { return roundToLong(v); }
} // namespace

void subCalcTextPosition(uint8_t orientation, int16_t position, int16_t alignment, QSize image, QSize text,
                         int32_t& x, int32_t& y)
{
    if (position < 0 || position > 8) return;
    const int row = position / 3, column = position % 3;
    const double iw = image.width(), ih = image.height(), tw = text.width(), th = text.height();
    if (orientation == 0) {
        y = row == 0 ? 0 : row == 1 ? half((ih - th) / 2) : int32_t(ih - th);
        switch (alignment) {
        case 0: x = column == 0 ? 0 : column == 1 ? half((iw - tw) / 2) : int32_t(iw - tw); break;
        case 1: x = column == 0 ? half(tw / 2) : column == 1 ? half(iw / 2) : half(iw - tw / 2); break;
        default: x = column == 0 ? int32_t(tw) : column == 1 ? half((iw + tw) / 2) : int32_t(iw); break;
        }
    } else {
        x = column == 0 ? int32_t(th) : column == 1 ? half((th + iw) / 2) : int32_t(iw);
        y = row == 0 ? 0 : row == 1 ? half((ih - tw) / 2) : int32_t(ih - tw);
    }
}

QImage applyPictureFrame(const QImage& image, const FramePieces& k, const InnerCorners* inner, uint8_t resizeCanvas,
                         OleColor background, const MergeParams& merge, std::vector<PiecePlacement>* trace)
{
    // One private 32-bit copy that every piece is drawn into.
    const Bounds canvas = resizeCanvas == 1
                              ? Bounds{-k.pleft.width(), -k.pTop_left.height(), k.pRight.width() + image.width() - 2,
                                       k.pBottom_left.height() + image.height() - 2}
                              : Bounds{0, 0, image.width(), image.height()};
    QImage out = editops::Crop(image, canvas, background);
    MergeParams m = merge;
    m.style = editops::mergeAtPoint;
    auto put = [&](const QImage& piece, int32_t x, int32_t y) {
        if (piece.isNull() || piece.width() <= 0)
            throw ImageBoxError(imagebox_error::kInvalidPicture, QStringLiteral("A frame piece is missing."));
        m.x = x, m.y = y;
        editops::MergeInto(out, piece, m);
        if (trace) trace->push_back({&piece, x, y});
    };
    const int32_t iw = out.width(), ih = out.height();
    // The edges step by their own pieces' sizes; a step of 0 would never end.
    if (k.pTop_middle.width() <= 0 || k.pleft.height() <= 0)
        throw ImageBoxError(imagebox_error::kInvalidPicture, QStringLiteral("A frame piece is missing."));

    int32_t x = k.pTop_left.width();
    put(k.pTop_left, 0, 0);
    while (x < iw) {
        put(k.pTop_middle, x, 0);
        x += k.pTop_middle.width();
    }
    put(k.pTop_right, iw - k.pTop_right.width(), 0);

    int32_t y = k.pTop_left.height();
    if (inner) {
        put(inner->left_top, 0, y);
        put(inner->right_top, iw - inner->left_top.width(), y);
        y += inner->left_top.height();
    }
    while (y < ih) {
        put(k.pleft, 0, y);
        put(k.pRight, iw - k.pRight.width(), y);
        y += k.pleft.height();
    }
    if (inner) {
        y = ih - (k.pTop_left.height() + inner->left_top.height());
        put(inner->left_bottom, 0, y);
        put(inner->right_bottom, iw - inner->right_bottom.width(), y);
    }

    const int32_t bottomY = ih - k.pBottom_left.height();
    x = k.pTop_left.width();
    put(k.pBottom_left, 0, bottomY);
    while (x < iw) {
        put(k.pBottom_middle, x, bottomY);
        x += k.pTop_middle.width();
    }
    put(k.pBottom_right, iw - k.pTop_right.width(), bottomY);
    return out;
}

QImage subApplyPictureFrame(const QImage& image, int16_t pieceIndex, uint8_t resizeCanvas, bool innerCorners,
                            OleColor background, const MergeParams& merge)
{
    const PictureStore& store = PictureStore::instance();
    const FramePieces* pieces = store.pieces(pieceIndex);
    if (!pieces) {
        const bool shadow = pieceIndex >= PictureStore::kShadowBase;
        throw ImageBoxError(imagebox_error::kInvalidArgument,
                            shadow ? QStringLiteral("There is no shadow %1.").arg(pieceIndex - PictureStore::kShadowBase)
                                   : QStringLiteral("There is no picture frame %1.").arg(pieceIndex));
    }
    return applyPictureFrame(image, *pieces, innerCorners ? &store.innerCorners() : nullptr, resizeCanvas, background, merge);
}

QImage loadMergePicture(const QString& path)
{
    ImageDocument doc;
    doc.LoadFromFile(path);
    return doc.LoadFailed() ? QImage() : doc.Picture();
}

namespace {

// Reads the parameters of one row, naming the parameter that does not convert.
class RowReader {
public:
    explicit RowReader(const EditTask& row) : m_row(row) {}
    bool boolean(int n) const { return need(n, taskparam::toBool(m_row.p(n))); }
    int32_t longValue(int n) const { return need(n, taskparam::toLong(m_row.p(n))); }
    int16_t integer(int n) const { return need(n, taskparam::toInteger(m_row.p(n))); }
    uint8_t byte(int n) const { return need(n, taskparam::toByte(m_row.p(n))); }
    double number(int n) const { return need(n, taskparam::toDouble(m_row.p(n))); }
    const QString& text(int n) const { return m_row.p(n); }

private:
    template <typename T>
    T need(int n, std::optional<T> v) const
    {
        if (!v)
            throw ImageBoxError(imagebox_error::kInvalidArgument,
                                QStringLiteral("parameter %1 (\"%2\") is not a valid value").arg(n).arg(m_row.p(n)));
        return *v;
    }
    const EditTask& m_row;
};

// The image with margins added on each side (negative margins take away); margins from a file can
// be any 32-bit value, so the sums are checked rather than allowed to wrap.
Bounds grownBounds(const QImage& image, int64_t left, int64_t top, int64_t right, int64_t bottom)
{
    const int64_t v[4] = {-left, -top, image.width() + right, image.height() + bottom};
    for (int64_t x : v)
        if (x < INT32_MIN || x > INT32_MAX)
            throw ImageBoxError(imagebox_error::kTooLarge, QStringLiteral("the margins make the picture too large"));
    return Bounds{int32_t(v[0]), int32_t(v[1]), int32_t(v[2]), int32_t(v[3])};
}

editops::ChannelSwitches channels(const RowReader& r) { return {r.boolean(2), r.boolean(3), r.boolean(4)}; }

} // namespace

void applyTaskRow(QImage& image, const EditTask& row, EditSettings& s, const PictureLoader& loader)
{
    if (row.TaskCode < taskFlip || row.TaskCode > taskShadow) return;
    // A row that lost its parameters (a damaged task basket) is passed over; Invert has none.
    if (row.TaskCode != taskInvert && row.paramsEmpty()) return;
    const RowReader r(row);
    QImage out;
    switch (row.TaskCode) {
    case taskFlip: out = editops::Flip(image, row.p(1) == QLatin1String("0") ? 0 : 1); break;
    case taskRotate:
        s.background = r.longValue(3);
        s.resample = r.boolean(1);
        out = editops::Rotate(image, {double(r.integer(2)), s.resample, s.background});
        break;
    case taskResize:
        out = r.boolean(1) ? editops::ResizeWidthHeight(image, r.longValue(2), r.longValue(3)) : editops::Scale(image, r.integer(2));
        break;
    case taskBlur: out = editops::Blur(image, r.longValue(1)); break;
    case taskContrast: out = editops::Contrast(image, r.longValue(1), channels(r)); break;
    case taskBrightness: out = editops::Brightness(image, r.longValue(1), channels(r)); break;
    case taskSharpen: out = editops::Sharpen(image, r.longValue(1)); break;
    case taskCrop:
        if (r.boolean(1)) {
            const bool ellipse = r.integer(2) != 0;
            if (ellipse) s.background = r.longValue(7);
            out = editops::CropToSelection(image, Bounds{r.longValue(3), r.longValue(4), r.longValue(5), r.longValue(6)},
                                           ellipse ? editops::SelectionShape::Ellipse : editops::SelectionShape::Rectangle,
                                           s.background);
        } else if (row.p(6).isEmpty() || row.p(7).isEmpty()) {
            out = editops::Crop(image, Bounds{r.longValue(2), r.longValue(3), r.longValue(4), r.longValue(5)}.normalized(),
                                s.background);
        } else {
            // Recorded on a fitted preview: p2..p5 are display points in a box of p6 x p7.
            const QSize box(r.longValue(6), r.longValue(7));
            if (box.width() <= 0 || box.height() <= 0)
                throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("the recorded preview size is not valid"));
            const QSize shown = fitSize(image.size(), box);
            const double sx = double(image.width()) / shown.width(), sy = double(image.height()) / shown.height();
            const Bounds b = Bounds{r.longValue(2), r.longValue(3), r.longValue(4), r.longValue(5)}.normalized();
            out = editops::Crop(image, Bounds{half(sx * b.left), half(sy * b.top), half(sx * b.right), half(sy * b.bottom)},
                                s.background);
        }
        break;
    case taskWatermark: {
        s.merge.transparent = r.boolean(1);
        s.merge.transparency = r.integer(2);
        s.merge.style = r.integer(3);
        if (s.merge.style == editops::mergeAtPoint) {
            s.merge.y = r.longValue(6);
            s.merge.x = r.longValue(7);
        }
        if (s.merge.transparent) s.merge.transparentColor = r.longValue(5);
        const QImage picture = loader(r.text(4));
        if (picture.isNull())
            throw ImageBoxError(imagebox_error::kFileNotFound, QStringLiteral("the picture \"%1\" could not be read").arg(r.text(4)));
        out = editops::Merge(image, picture, s.merge);
        break;
    }
    case taskText: {
        editops::TextParams& t = s.text;
        t.antiAlias = r.boolean(1);
        t.transparent = r.boolean(3);
        t.angle = float(r.integer(4));
        t.alignment = r.integer(5);
        t.fontName = r.text(6);
        // The size keeps its fraction: the preview drew a 10.5-point text at 10.5 points.
        t.fontSize = r.number(7);
        t.bold = r.boolean(8);
        t.italic = r.boolean(9);
        t.underline = r.boolean(10);
        t.color = r.longValue(11);
        t.backColor = r.longValue(12);
        const uint8_t orientation = r.byte(13);
        const int16_t position = r.integer(14);
        const QString& text = r.text(15);
        if (position == 9) {
            s.textX = r.longValue(16);
            s.textY = r.longValue(17);
        } else {
            subCalcTextPosition(orientation, position, t.alignment, image.size(), editops::TextExtent(t, text), s.textX, s.textY);
        }
        out = editops::DrawText(image, t, s.textX, s.textY, text);
        break;
    }
    case taskInvert: out = editops::Invert(image); break;
    case taskCanvas:
        s.background = r.longValue(1);
        out = editops::Crop(image, grownBounds(image, r.longValue(2), r.longValue(3), r.longValue(4), r.longValue(5)), s.background);
        break;
    case taskFrame:
        s.merge.transparent = false;
        s.merge.transparency = 0;
        s.background = r.longValue(1);
        if (r.byte(2) != 0) {
            const int32_t w = r.longValue(3);
            out = editops::Crop(image, grownBounds(image, w, w, w, w), s.background);
        } else {
            const int16_t index = r.integer(3);
            // The pieces above the frames are the shadows'; a frame row may not reach them.
            if (index < 0 || index >= PictureStore::kFrameCount)
                throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("There is no picture frame %1").arg(index));
            out = subApplyPictureFrame(image, index, r.byte(4), index == 4, s.background, s.merge);
        }
        break;
    case taskMask: {
        s.merge.transparentColor = 0;
        s.merge.transparent = r.boolean(1);
        s.merge.transparency = r.integer(2);
        s.merge.style = editops::mergeAtPoint;
        s.merge.x = s.merge.y = 0;
        const int16_t index = r.integer(3);
        const QImage mask = PictureStore::instance().mask(index);
        if (mask.isNull()) throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("there is no mask %1").arg(index));
        // Always stretched over the whole picture (the Preview button does the same), smoothly, so
        // its edge stays antialiased at any size.
        out = editops::MergeMask(image, mask, s.merge);
        if (s.merge.transparent) out = editops::Blur(out, 2);
        break;
    }
    case taskShadow: {
        s.merge.transparency = 0;
        const int32_t index = int32_t(r.integer(1)) + PictureStore::kShadowBase;
        if (index < PictureStore::kShadowBase || index >= PictureStore::kShadowBase + PictureStore::kShadowCount)
            throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("there is no shadow %1").arg(r.integer(1)));
        out = subApplyPictureFrame(image, int16_t(index), 1, false, s.background, s.merge);
        break;
    }
    default: return;
    }
    image = out;
}

ReplayResult subProcessPages(QImage& image, const std::vector<EditTask>& rows, const ReplayOptions& options)
{
    if (rows.empty() || image.isNull()) return {};
    EditSettings defaults;
    EditSettings& settings = options.settings ? *options.settings : defaults;
    const int last = options.stopRow < 0 ? int(rows.size()) - 1 : std::min(options.stopRow, int(rows.size()) - 1);
    for (int i = 0; i <= last; ++i) {
        if (options.cancelled && options.cancelled->load(std::memory_order_relaxed)) return {false, QString()};
        const EditTask& row = rows[static_cast<size_t>(i)];
        try {
            applyTaskRow(image, row, settings, options.loader ? options.loader : PictureLoader(loadMergePicture));
        } catch (const ImageBoxError& e) {
            QString why = e.description();
            if (why.endsWith(QLatin1Char('.'))) why.chop(1);
            return {false, QStringLiteral("Task %1 (%2) of the task list could not be applied: %3.")
                               .arg(i + 1)
                               .arg(fncGetTaskName(row.TaskCode), why)};
        }
    }
    return {};
}

} // namespace tf
