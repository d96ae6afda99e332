#include "editing/modProcessTasks.h"

#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_error.h"
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

void applyTaskRow(QImage& image, const task::Record& record, EditSettings& s, const PictureLoader& loader)
{
    // The settings change only once the row's operation has succeeded.
    EditSettings after = s;
    image = std::visit([&](const auto& t) { return t.apply(image, after, loader); }, record);
    s = after;
}

void applyTaskRow(QImage& image, const task::Entry& row, EditSettings& s, const PictureLoader& loader)
{
    if (!row.fault().isEmpty()) throw ImageBoxError(imagebox_error::kInvalidArgument, row.fault());
    if (row.record()) applyTaskRow(image, *row.record(), s, loader);
}

ReplayResult subProcessPages(QImage& image, const std::vector<task::Entry>& rows, const ReplayOptions& options)
{
    if (rows.empty() || image.isNull()) return {};
    EditSettings defaults;
    EditSettings& settings = options.settings ? *options.settings : defaults;
    const int last = options.stopRow < 0 ? int(rows.size()) - 1 : std::min(options.stopRow, int(rows.size()) - 1);
    for (int i = 0; i <= last; ++i) {
        if (options.cancelled && options.cancelled->load(std::memory_order_relaxed)) return {false, QString()};
        const task::Entry& row = rows[static_cast<size_t>(i)];
        try {
            applyTaskRow(image, row, settings, options.loader ? options.loader : PictureLoader(loadMergePicture));
        } catch (const ImageBoxError& e) {
            QString why = e.description();
            if (why.endsWith(QLatin1Char('.'))) why.chop(1);
            return {false, QStringLiteral("Task %1 (%2) of the task list could not be applied: %3.")
                               .arg(i + 1)
                               .arg(fncGetTaskName(row.code()), why)};
        }
    }
    return {};
}

} // namespace tf
