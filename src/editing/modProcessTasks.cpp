#include "editing/modProcessTasks.h"

#include "editing/TaskRecords.h"

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

template <class... Ts>
struct overloaded : Ts... {
    using Ts::operator()...;
};
// Clang before 17 does not deduce an aggregate's template arguments from its initialisers.
template <class... Ts>
overloaded(Ts...) -> overloaded<Ts...>;

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

} // namespace

void applyTaskRow(QImage& image, const EditTask& row, EditSettings& s, const PictureLoader& loader)
{
    const std::optional<task::Record> record = task::fromTask(row);
    if (!record) return;
    // The settings change only once the row's operation has succeeded.
    EditSettings after = s;
    const QImage out = std::visit(
        overloaded{
            [&](const task::Flip& t) { return editops::Flip(image, t.direction); },
            [&](const task::Rotate& t) {
                after.background = t.background;
                after.resample = t.resample;
                return editops::Rotate(image, {double(t.degrees), t.resample, t.background});
            },
            [&](const task::Resize& t) {
                return t.bySize ? editops::ResizeWidthHeight(image, t.width, t.height) : editops::Scale(image, t.percent);
            },
            [&](const task::Blur& t) { return editops::Blur(image, t.level); },
            [&](const task::Sharpen& t) { return editops::Sharpen(image, t.level); },
            [&](const task::Contrast& t) { return editops::Contrast(image, t.level, t.channels); },
            [&](const task::Brightness& t) { return editops::Brightness(image, t.level, t.channels); },
            [&](const task::Crop& t) {
                if (t.byValues) {
                    if (t.ellipse()) after.background = t.background;
                    return editops::CropToSelection(image, t.bounds,
                                                    t.ellipse() ? editops::SelectionShape::Ellipse : editops::SelectionShape::Rectangle,
                                                    after.background);
                }
                if (!t.box) return editops::Crop(image, t.bounds.normalized(), after.background);
                // Recorded on a fitted preview: the points are display pixels in a box of that size.
                if (t.box->width() <= 0 || t.box->height() <= 0)
                    throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("the recorded preview size is not valid"));
                const QSize shown = fitSize(image.size(), *t.box);
                const double sx = double(image.width()) / shown.width(), sy = double(image.height()) / shown.height();
                const Bounds b = t.bounds.normalized();
                return editops::Crop(image, Bounds{half(sx * b.left), half(sy * b.top), half(sx * b.right), half(sy * b.bottom)},
                                     after.background);
            },
            [&](const task::Watermark& t) {
                editops::MergeParams& m = after.merge;
                m.transparent = t.transparent;
                m.transparency = t.transparency;
                m.style = t.style;
                if (t.style == editops::mergeAtPoint) {
                    m.y = t.y;
                    m.x = t.x;
                }
                if (t.transparent) m.transparentColor = t.transparentColor;
                const QImage picture = loader(t.file);
                if (picture.isNull())
                    throw ImageBoxError(imagebox_error::kFileNotFound, QStringLiteral("the picture \"%1\" could not be read").arg(t.file));
                return editops::Merge(image, picture, m);
            },
            [&](const task::Text& t) {
                after.text = t.params;
                if (t.position == 9) {
                    after.textX = t.x;
                    after.textY = t.y;
                } else {
                    subCalcTextPosition(t.orientation, t.position, t.params.alignment, image.size(),
                                        editops::TextExtent(t.params, t.text), after.textX, after.textY);
                }
                return editops::DrawText(image, t.params, after.textX, after.textY, t.text);
            },
            [&](const task::Invert&) { return editops::Invert(image); },
            [&](const task::Canvas& t) {
                after.background = t.color;
                return editops::Crop(image, grownBounds(image, t.left, t.top, t.right, t.bottom), t.color);
            },
            [&](const task::Frame& t) {
                after.merge.transparent = false;
                after.merge.transparency = 0;
                after.background = t.color;
                if (t.plain) return editops::Crop(image, grownBounds(image, t.width, t.width, t.width, t.width), t.color);
                // The pieces above the frames are the shadows'; a frame row may not reach them.
                if (t.picture < 0 || t.picture >= PictureStore::kFrameCount)
                    throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("There is no picture frame %1").arg(t.picture));
                return subApplyPictureFrame(image, t.picture, t.resizeCanvas, t.picture == 4, t.color, after.merge);
            },
            [&](const task::Mask& t) {
                editops::MergeParams& m = after.merge;
                m.transparentColor = 0;
                m.transparent = t.transparent;
                m.transparency = t.level;
                m.style = editops::mergeAtPoint;
                m.x = m.y = 0;
                const QImage mask = PictureStore::instance().mask(t.index);
                if (mask.isNull()) throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("there is no mask %1").arg(t.index));
                // Always stretched over the whole picture (the Preview button does the same), smoothly, so
                // its edge stays antialiased at any size.
                const QImage merged = editops::MergeMask(image, mask, m);
                return m.transparent ? editops::Blur(merged, 2) : merged;
            },
            [&](const task::Shadow& t) {
                after.merge.transparency = 0;
                const int32_t index = int32_t(t.index) + PictureStore::kShadowBase;
                if (index < PictureStore::kShadowBase || index >= PictureStore::kShadowBase + PictureStore::kShadowCount)
                    throw ImageBoxError(imagebox_error::kInvalidArgument, QStringLiteral("there is no shadow %1").arg(t.index));
                return subApplyPictureFrame(image, int16_t(index), 1, false, after.background, after.merge);
            },
        },
        *record);
    image = out;
    s = after;
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
