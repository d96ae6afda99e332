#pragma once
// The task list replay and the two drawing routines it shares with the Preview button: text on a
// 3 x 3 grid and picture frames. Everything here is a pure function of an image, the task records
// and the settings passed in, so a page writer may replay on a worker thread.
#include "editing/ImageOperations.h"
#include "editing/PictureStore.h"
#include "editing/TaskRecords.h"
#include "frame/TaskReplay.h"

#include <QImage>
#include <QSize>
#include <atomic>
#include <functional>
#include <vector>

namespace tf {

// Origin of a text of size `text` (TextWidth x TextHeight) at grid position 0..8 (row = position
// div 3, column = position mod 3) on an image of size `image`. Orientation 0 is horizontal and
// places by `alignment`; any other orientation is vertical and ignores it. A position outside
// 0..8 leaves x and y as they are.
void subCalcTextPosition(uint8_t orientation, int16_t position, int16_t alignment, QSize image, QSize text,
                         int32_t& x, int32_t& y);

// Where one piece went, for callers that want to see how a frame was laid.
struct PiecePlacement {
    const QImage* piece;
    int32_t x, y;
};

// Draws a frame from `pieces` round the image, growing the canvas first (in `background`) when
// resizeCanvas is 1. Edge pieces are tiled, never stretched; corners are merged after the tiles
// and cover them. `merge` gives the transparency settings; style and position are the routine's.
QImage applyPictureFrame(const QImage& image, const FramePieces& pieces, const InnerCorners* innerCorners,
                         uint8_t resizeCanvas, OleColor background, const editops::MergeParams& merge,
                         std::vector<PiecePlacement>* trace = nullptr);
// The same with the pieces of the picture store (frames 0..7, shadows 8..15; frame 4 alone has
// inner corners). An unknown index raises ImageBoxError.
QImage subApplyPictureFrame(const QImage& image, int16_t pieceIndex, uint8_t resizeCanvas, bool innerCorners,
                            OleColor background, const editops::MergeParams& merge);

// The picture a Watermark row merges, through the image control's own loading (which decodes users' files safely).
QImage loadMergePicture(const QString& path);

// Carries out one task on the image: its kind's replay step. Raises ImageBoxError when the
// operation fails; the image and the settings are then unchanged.
void applyTaskRow(QImage& image, const task::Record& record, EditSettings& settings, const PictureLoader& loader = loadMergePicture);
// The same for a row of the edit list. A row that stands for nothing changes nothing; one whose
// parameters do not convert raises ImageBoxError naming the parameter.
void applyTaskRow(QImage& image, const task::Entry& row, EditSettings& settings, const PictureLoader& loader = loadMergePicture);

struct ReplayOptions {
    // The last row to replay (0-based); -1 replays every row.
    int stopRow = -1;
    PictureLoader loader = loadMergePicture;
    // Raised by another thread when nobody wants the result any more: the replay stops before the
    // next row, and the result is not ok and names no task.
    const std::atomic_bool* cancelled = nullptr;
    // When given, the replay starts from this state instead of the defaults and leaves in it the
    // state the last replayed row reached.
    EditSettings* settings = nullptr;
};

// subProcessPages: replays the rows in order on `image`, starting from default EditSettings.
// A row that fails ends the replay: the image keeps the rows before it and the result names the
// row and the reason.
ReplayResult subProcessPages(QImage& image, const std::vector<task::Entry>& rows, const ReplayOptions& options = {});

} // namespace tf
