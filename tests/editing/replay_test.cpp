#include "platform/imagebox/imagebox.h"
#include "editing/EditListReplayer.h"
#include "editing/PictureStore.h"
#include "editing/modProcessTasks.h"
#include "editing_testutil.h"
#include "platform/imagebox/imagebox_document.h"

#include <gtest/gtest.h>
#include <atomic>
#include <thread>

using namespace tf;
using namespace tf::editops;
using test::gradient;
using test::row;
using test::solid;

namespace {
const QImage kStamp = solid(3, 2, Qt::red);

QImage loadStamp(const QString& path) { return path == "stamp.png" ? kStamp : QImage(); }

QImage replay(const QImage& in, std::vector<EditTask> rows, ReplayResult* result = nullptr, int stopRow = -1)
{
    QImage img = in;
    const ReplayResult r = subProcessPages(img, test::entries(rows), {stopRow, loadStamp});
    EXPECT_TRUE(result || r.ok) << r.message.toStdString();
    if (result) *result = r;
    return img;
}
} // namespace

// Each row kind does what its parameters say: the same pixels as the operation called with them.
TEST(TaskReplay, EveryRowKind)
{
    const QImage in = gradient(20, 10);
    const OleColor white = rgb(255, 255, 255);
    const TextParams text{.fontName = "DejaVu Sans", .fontSize = 10.5, .antiAlias = false, .color = rgb(0, 0, 255)};
    const QSize box = TextExtent(text, "Ab");

    const std::tuple<const char*, EditTask, QImage> cases[] = {
        {"flip 0", row(taskFlip, {"0"}), Flip(in, 0)},
        {"flip 2", row(taskFlip, {"2"}), Flip(in, 1)},
        {"rotate", row(taskRotate, {"True", "30", "255"}), Rotate(in, {30, true, rgb(255, 0, 0)})},
        {"rotate half degrees", row(taskRotate, {"False", "89,5", "0"}), Rotate(in, {90, false, 0})},
        {"resize", row(taskResize, {"True", "7", "4"}), Resize(in, 7, 4)},
        {"scale", row(taskResize, {"False", "50"}), Scale(in, 50)},
        {"blur", row(taskBlur, {"3"}), Blur(in, 3)},
        {"contrast", row(taskContrast, {"80", "1", "0", "1"}), Contrast(in, 80, {true, false, true})},
        {"brightness", row(taskBrightness, {"20", "0", "1", "0"}), Brightness(in, 20, {false, true, false})},
        {"sharpen", row(taskSharpen, {"4"}), Sharpen(in, 4)},
        {"crop values", row(taskCrop, {"True", "0", "2", "1", "12", "8"}), CropToSelection(in, {2, 1, 12, 8}, SelectionShape::Rectangle, white)},
        {"crop ellipse", row(taskCrop, {"True", "1", "2", "1", "12", "8", "65280"}),
         CropToSelection(in, {2, 1, 12, 8}, SelectionShape::Ellipse, rgb(0, 255, 0))},
        {"crop mouse", row(taskCrop, {"False", "12", "8", "2", "1"}), Crop(in, {2, 1, 12, 8}, white)},
        // Recorded on a preview box of 10 x 10: the 20 x 10 picture was shown at 10 x 5.
        {"crop mouse scaled", row(taskCrop, {"False", "1", "1", "6", "4", "10", "10"}), Crop(in, {2, 2, 12, 8}, white)},
        {"watermark", row(taskWatermark, {"False", "0", "1", "stamp.png", "", "6", "4"}), Merge(in, kStamp, {false, 0, 0, mergeAtPoint, 4, 6})},
        {"watermark tile", row(taskWatermark, {"True", "30", "2", "stamp.png", "255", "6", "4"}),
         Merge(in, kStamp, {true, rgb(255, 0, 0), 30, mergeTile, 0, 0})},
        {"text grid", row(taskText, {"False", "True", "True", "0", "2", "DejaVu Sans", "10.5", "False", "False", "False", "16711680", "0", "0", "8", "Ab"}),
         [&] {
             TextParams t = text;
             t.alignment = 2;
             return DrawText(in, t, 20, 10 - box.height(), "Ab");
         }()},
        {"text at point", row(taskText, {"False", "True", "True", "0", "0", "DejaVu Sans", "10.5", "False", "False", "False", "16711680", "0", "0", "9", "Ab", "3", "4"}),
         DrawText(in, text, 3, 4, "Ab")},
        {"invert", row(taskInvert), Invert(in)},
        {"canvas", row(taskCanvas, {"255", "1", "2", "3", "4"}), Crop(in, {-1, -2, 23, 14}, rgb(255, 0, 0))},
        {"plain frame", row(taskFrame, {"65280", "1", "5"}), Crop(in, {-5, -5, 25, 15}, rgb(0, 255, 0))},
        {"picture frame", row(taskFrame, {"65280", "0", "4", "1"}), subApplyPictureFrame(in, 4, 1, true, rgb(0, 255, 0), {})},
        {"mask", row(taskMask, {"False", "20", "3"}), MergeMask(in, PictureStore::instance().mask(3), {false, 0, 20, mergeAtPoint, 0, 0})},
        {"mask transparent", row(taskMask, {"True", "0", "0"}),
         Blur(MergeMask(in, PictureStore::instance().mask(0), {true, 0, 0, mergeAtPoint, 0, 0}), 2)},
        {"shadow 2 uses pieces 10", row(taskShadow, {"2"}), subApplyPictureFrame(in, 10, 1, false, white, {})},
    };
    for (const auto& [name, task, expected] : cases) EXPECT_EQ(replay(in, {task}), expected) << name;
}

TEST(TaskReplay, SettingsCarryBetweenRowsAndStartFromDefaults)
{
    const QImage in = solid(4, 4, Qt::black);
    // A crop beyond the image fills with white at the start of a replay...
    const QImage alone = replay(in, {row(taskCrop, {"False", "0", "0", "6", "4"})});
    EXPECT_EQ(alone.pixel(5, 0), qRgb(255, 255, 255));
    // ...and with the colour an earlier row of the same replay set.
    const QImage after = replay(in, {row(taskRotate, {"False", "0", "255"}), row(taskCrop, {"False", "0", "0", "6", "4"})});
    EXPECT_EQ(after.pixel(5, 0), qRgb(255, 0, 0));
    // A text row with a position outside the grid reuses the last origin.
    const EditTask first = row(taskText, {"False", "True", "True", "0", "0", "DejaVu Sans", "10", "False", "False", "False", "0", "0", "0", "9", "I", "30", "5"});
    EditTask second = first;
    second.setP(14, "12");
    const QImage white = solid(60, 30, Qt::white);
    EXPECT_EQ(replay(white, {first, second}), replay(white, {first, first}));
}

TEST(TaskReplay, SkippedRowsAndTheStopRow)
{
    const QImage in = gradient(6, 4);
    EditTask unknown = row(taskFlip, {"0"});
    unknown.TaskCode = 17;
    EXPECT_EQ(replay(in, {row(taskBlur), row(taskNothing, {"1"}), row(taskRedEye, {"1"}), unknown}), in);
    const std::vector<EditTask> rows = {row(taskInvert), row(taskFlip, {"0"}), row(taskInvert)};
    EXPECT_EQ(replay(in, rows, nullptr, 0), Invert(in));
    EXPECT_EQ(replay(in, rows, nullptr, 1), Flip(Invert(in), 0));
    EXPECT_EQ(replay(in, rows, nullptr, 7), Flip(in, 0));
    EXPECT_EQ(replay(in, rows), Flip(in, 0));
    QImage empty;
    EXPECT_TRUE(subProcessPages(empty, test::entries(rows)).ok);
}

TEST(TaskReplay, AFailingRowStopsTheReplayAndSaysWhich)
{
    const QImage in = gradient(6, 4);
    const std::pair<EditTask, const char*> cases[] = { // the failing row, what the message says
        {row(taskWatermark, {"False", "0", "0", "missing.png"}), "Task 2 (Watermark)"},
        {row(taskBlur, {"abc"}), "parameter 1 (\"abc\")"},
        {row(taskResize, {"True", "0", "5"}), "Task 2 (Resize)"},
        {row(taskShadow, {"8"}), "there is no shadow 8"},
        {row(taskMask, {"False", "0", "9"}), "there is no mask 9"},
        {row(taskFrame, {"0", "0", "12", "1"}), "There is no picture frame 12"},
        {row(taskCrop, {"False", "5", "1", "5", "3"}), "Task 2 (Crop)"},
        {row(taskCrop, {"False", "1", "1", "2", "2", "0", "10"}), "preview size"},
    };
    for (const auto& [bad, says] : cases) {
        ReplayResult r;
        const QImage out = replay(in, {row(taskInvert), bad, row(taskFlip, {"0"})}, &r);
        EXPECT_FALSE(r.ok) << says;
        EXPECT_TRUE(r.message.contains(QString::fromUtf8(says))) << r.message.toStdString();
        EXPECT_EQ(out, Invert(in)) << says; // the rows before it stay
    }
}

TEST(EditListReplayer, PreviewStopsAtTheChosenRowAndWritersReplayAll)
{
    EditListModel list;
    EditListReplayer replayer(list);
    ImageDocument page;
    page.setPicture(gradient(6, 4));
    EXPECT_FALSE(replayer.hasTasks());
    EXPECT_TRUE(replayer.replayAll(page).ok);
    EXPECT_EQ(page.image(), gradient(6, 4));

    list.appendTask(task::Entry::fromRow(row(taskInvert)));
    list.appendTask(task::Entry::fromRow(row(taskFlip, {"0"})));
    int chosen = 0;
    replayer.setStopRowSource([&] { return chosen; });
    EXPECT_TRUE(replayer.hasTasks());

    ImageBox shown;
    shown.setFitToWindow(true);
    shown.resize(3, 3);
    ImageDocument& preview = shown.document();
    preview.setPicture(gradient(6, 4));
    EXPECT_TRUE(replayer.replayOnPreview(preview).ok);
    EXPECT_EQ(preview.image(), Invert(gradient(6, 4)));
    chosen = -1;
    preview.setPicture(gradient(6, 4));
    replayer.replayOnPreview(preview);
    // A fitted preview and a page control get the same pixels, and the page keeps its resolution.
    EXPECT_TRUE(replayer.replayAll(page).ok);
    EXPECT_EQ(page.image(), preview.image());
    EXPECT_EQ(page.image(), Flip(Invert(gradient(6, 4)), 0));
    EXPECT_EQ(page.image().dotsPerMeterX(), 11811);

    list.appendTask(task::Entry::fromRow(row(taskWatermark, {"False", "0", "0", "/nonexistent/stamp.png"})));
    page.setPicture(gradient(6, 4));
    const ReplayResult r = replayer.replayAll(page);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(page.image(), Flip(Invert(gradient(6, 4)), 0));
}

TEST(EditListReplayer, AFrozenCopyKeepsTheRowsOfItsMomentOnAnyThread)
{
    EditListModel list;
    EditListReplayer replayer(list);
    list.appendTask(task::Entry::fromRow(row(taskInvert)));
    list.appendTask(task::Entry::fromRow(row(taskFlip, {"0"})));
    replayer.setStopRowSource([] { return 0; }); // the preview's choice does not reach a writer
    const std::shared_ptr<TaskReplayer> frozen = replayer.frozen();
    list.clear(); // the user goes on editing while the pages are written
    list.appendTask(task::Entry::fromRow(row(taskFlip, {"1"})));

    ASSERT_TRUE(frozen->hasTasks());
    ImageDocument page;
    page.setPicture(gradient(6, 4));
    ReplayResult result;
    std::thread([&] { result = frozen->replayAll(page); }).join();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(page.image(), Flip(Invert(gradient(6, 4)), 0));

    list.clear();
    EXPECT_FALSE(replayer.frozen()->hasTasks());
    EXPECT_FALSE(NoTasks().frozen()->hasTasks());
}

TEST(EditListReplayer, AFrozenCopyAsPreviewedStopsAtTheChosenRow)
{
    EditListModel list;
    EditListReplayer replayer(list);
    list.appendTask(task::Entry::fromRow(row(taskInvert)));
    list.appendTask(task::Entry::fromRow(row(taskFlip, {"0"})));
    int chosen = 0;
    replayer.setStopRowSource([&] { return chosen; });
    const struct {
        int chosen;
        QImage expected;
    } cases[] = {{0, Invert(gradient(6, 4))}, {1, Flip(Invert(gradient(6, 4)), 0)}, {-1, Flip(Invert(gradient(6, 4)), 0)},
                 {7, Flip(Invert(gradient(6, 4)), 0)}};
    for (const auto& c : cases) {
        chosen = c.chosen;
        const std::shared_ptr<TaskReplayer> frozen = replayer.frozenAsPreviewed();
        chosen = -1; // a later choice does not reach the copy
        ImageDocument page;
        page.setPicture(gradient(6, 4));
        EXPECT_TRUE(frozen->replayAll(page).ok);
        EXPECT_EQ(page.image(), c.expected) << c.chosen;
    }
    list.clear();
    EXPECT_FALSE(replayer.frozenAsPreviewed()->hasTasks());
}

// A page writer may replay on worker threads: text, frames and masks give the same pixels there.
TEST(TaskReplay, WorkerThreadsGetTheSamePixels)
{
    const QImage in = gradient(60, 40);
    const std::vector<EditTask> rows = {
        row(taskText, {"True", "True", "False", "0", "1", "DejaVu Sans", "9", "True", "False", "True", "255", "65535", "0", "4", "Tf"}),
        row(taskFrame, {"0", "0", "4", "1"}), row(taskMask, {"True", "10", "2"}), row(taskShadow, {"1"})};
    const QImage expected = replay(in, rows);
    std::vector<QImage> results(4, in);
    std::vector<std::thread> workers;
    for (QImage& result : results) workers.emplace_back([&rows, &result] { subProcessPages(result, test::entries(rows)); });
    for (std::thread& w : workers) w.join();
    for (const QImage& r : results) EXPECT_EQ(r, expected);
}

// Raised from elsewhere, the flag ends the replay before its next row, never inside one.
TEST(TaskReplay, ACancelledReplayStopsBetweenRows)
{
    const QImage in = gradient(6, 4);
    std::atomic_bool cancelled = false;
    // The watermark's picture is read while its row runs: the flag goes up in the middle of it.
    const PictureLoader raiseFlag = [&cancelled](const QString&) {
        cancelled = true;
        return kStamp;
    };
    const std::vector<EditTask> rows = {row(taskInvert), row(taskWatermark, {"False", "0", "1", "stamp.png", "", "0", "0"}),
                                        row(taskInvert)};
    for (const QImage& expected : {Merge(Invert(in), kStamp, {false, 0, 0, mergeAtPoint, 0, 0}), in}) {
        QImage image = in;
        const ReplayResult r = subProcessPages(image, test::entries(rows), {-1, raiseFlag, &cancelled});
        EXPECT_TRUE(!r.ok && r.message.isEmpty()) << "no task failed";
        EXPECT_EQ(image, expected); // the second time, raised before the first row
    }
}

// Numbers from a damaged or hostile task basket: each row either applies or fails with a message.
TEST(TaskReplay, ExtremeNumbersFailCleanly)
{
    const QImage in = gradient(6, 4);
    const char *kMin = "-2147483648", *kMax = "2147483647";
    const std::pair<EditTask, bool> cases[] = { // the row, whether it applies
        {row(taskCanvas, {"0", kMin, "0", "0", "0"}), false},
        {row(taskCanvas, {"0", "0", "0", kMax, "0"}), false},
        {row(taskFrame, {"0", "1", kMax}), false},
        {row(taskFrame, {"0", "1", kMin}), false},
        {row(taskResize, {"True", kMax, kMax}), false},
        {row(taskResize, {"False", "32767"}), true},
        {row(taskBlur, {kMax}), true},
        {row(taskSharpen, {kMax}), true},
        {row(taskContrast, {kMin, "1", "1", "1"}), true},
        {row(taskCrop, {"True", "1", kMin, kMin, kMax, kMax, "0"}), false},
        {row(taskCrop, {"False", kMin, kMin, kMax, kMax}), false},
        {row(taskCrop, {"False", kMin, "0", kMax, "1", "1", "1"}), false},
        {row(taskWatermark, {"False", "0", "1", "stamp.png", "0", kMax, kMax}), true},
        {row(taskWatermark, {"False", "0", "1", "stamp.png", "0", kMin, kMin}), true},
        {row(taskText, {"False", "True", "True", "0", "0", "DejaVu Sans", "10", "False", "False", "False", "0", "0", "0", "9", "x", kMax, kMin}), true},
        {row(taskText, {"False", "True", "True", "0", "0", "DejaVu Sans", "99999", "False", "False", "False", "0", "0", "0", "4", "x"}), false},
        {row(taskRotate, {"True", "99999", "0"}), false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        ReplayResult r;
        const QImage out = replay(in, {cases[i].first}, &r);
        EXPECT_EQ(r.ok, cases[i].second) << i << " " << r.message.toStdString();
        if (!r.ok) {
            EXPECT_FALSE(r.message.isEmpty());
            EXPECT_EQ(out, in) << i;
        }
    }
}

TEST(TextPlacement, GridPositions)
{
    const std::tuple<uint8_t, int16_t, int16_t, QSize, QSize, QPoint> cases[] = {
        // orientation, position, alignment, picture and text sizes, where the text goes
        {0, 1, 0, {101, 80}, {20, 12}, {40, 0}},  // round(40.5)
        {0, 2, 1, {101, 80}, {20, 12}, {91, 0}},
        {0, 8, 1, {101, 80}, {21, 12}, {90, 68}}, // round(90.5): the same pixel on preview and page
        {0, 6, 0, {101, 80}, {20, 12}, {0, 68}},
        {0, 3, 2, {101, 80}, {20, 12}, {20, 34}},
        {0, 5, 2, {101, 80}, {20, 12}, {101, 34}},
        {0, 4, 1, {101, 80}, {20, 12}, {50, 34}}, // round(50.5)
        {1, 4, 2, {100, 80}, {30, 10}, {55, 25}}, // vertical ignores the alignment
        {1, 0, 0, {100, 80}, {30, 10}, {10, 0}},
        {1, 8, 0, {100, 80}, {30, 10}, {100, 50}},
    };
    for (const auto& [orientation, position, alignment, image, text, expected] : cases) {
        int32_t x = -7, y = -7;
        subCalcTextPosition(orientation, position, alignment, image, text, x, y);
        EXPECT_EQ(QPoint(x, y), expected) << int(orientation) << " " << position << " " << alignment;
    }
    for (int16_t position : {int16_t(9), int16_t(10), int16_t(-1)}) {
        int32_t x = 3, y = 4;
        subCalcTextPosition(0, position, 0, {100, 80}, {30, 10}, x, y);
        EXPECT_EQ(QPoint(x, y), QPoint(3, 4));
    }
}

// Pieces of different sizes, so that each placement tells which piece went where.
static FramePieces testPieces()
{
    return {solid(10, 10, Qt::red), solid(30, 10, Qt::green), solid(8, 10, Qt::blue), // top: left, middle, right
            solid(12, 20, Qt::cyan), solid(14, 20, Qt::magenta),                       // the sides
            solid(10, 9, Qt::yellow), solid(30, 9, Qt::gray), solid(8, 9, Qt::darkRed)}; // bottom
}

TEST(PictureFrames, TilesEdgesInOrderAndCornersLast)
{
    const FramePieces f = testPieces();
    std::vector<PiecePlacement> trace;
    const QImage out = applyPictureFrame(solid(100, 50, Qt::white), f, nullptr, 0, rgb(0, 0, 0), {}, &trace);
    EXPECT_EQ(out.size(), QSize(100, 50));
    const std::vector<std::tuple<const QImage*, int, int>> expected = {
        {&f.pTop_left, 0, 0},       {&f.pTop_middle, 10, 0},    {&f.pTop_middle, 40, 0},    {&f.pTop_middle, 70, 0},
        {&f.pTop_right, 92, 0},     {&f.pleft, 0, 10},          {&f.pRight, 86, 10},        {&f.pleft, 0, 30},
        {&f.pRight, 86, 30},        {&f.pBottom_left, 0, 41},   {&f.pBottom_middle, 10, 41}, {&f.pBottom_middle, 40, 41},
        {&f.pBottom_middle, 70, 41}, {&f.pBottom_right, 92, 41},
    };
    std::vector<std::tuple<const QImage*, int, int>> laid;
    for (const PiecePlacement& p : trace) laid.emplace_back(p.piece, p.x, p.y);
    EXPECT_EQ(laid, expected);
    // The top-right corner covers the end of the last middle tile.
    EXPECT_EQ(out.pixel(95, 2), qRgb(0, 0, 255));
    EXPECT_EQ(out.pixel(50, 25), qRgb(255, 255, 255));
}

TEST(PictureFrames, ResizeCanvasGrowsByTheSidePiecesInTheBackgroundColour)
{
    QImage in = solid(100, 50, Qt::white);
    in.setPixel(0, 0, qRgb(1, 2, 3));
    FramePieces f = testPieces();
    QImage clear(12, 20, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    f.pleft = clear; // lets the grown border show
    const QImage out = applyPictureFrame(in, f, nullptr, 1, rgb(0, 0, 200), {});
    EXPECT_EQ(out.size(), QSize(124, 67)); // the crop (-12, -10, 112, 57)
    EXPECT_EQ(out.pixel(12, 10), qRgb(1, 2, 3));
    EXPECT_EQ(out.pixel(0, 20), qRgb(0, 0, 200));
}

TEST(PictureFrames, InnerCornersOfFrameFour)
{
    const FramePieces f = testPieces();
    InnerCorners inner{solid(6, 5, Qt::black), solid(6, 5, Qt::black), solid(7, 5, Qt::black), solid(4, 5, Qt::black)};
    std::vector<PiecePlacement> trace;
    applyPictureFrame(solid(100, 50, Qt::white), f, &inner, 0, 0, {}, &trace);
    auto at = [&](const QImage* p) {
        for (const PiecePlacement& t : trace)
            if (t.piece == p) return QPoint(t.x, t.y);
        return QPoint(-1, -1);
    };
    EXPECT_EQ(at(&inner.left_top), QPoint(0, 10));
    EXPECT_EQ(at(&inner.right_top), QPoint(94, 10));
    EXPECT_EQ(at(&inner.left_bottom), QPoint(0, 35)); // 50 - (10 + 5)
    EXPECT_EQ(at(&inner.right_bottom), QPoint(96, 35));
    EXPECT_EQ(at(&f.pleft), QPoint(0, 15)); // the sides start below the inner corner
}

TEST(PictureStore, EveryFrameShadowAndMaskExists)
{
    const PictureStore& store = PictureStore::instance();
    for (int i = 0; i < PictureStore::kFrameCount + PictureStore::kShadowCount; ++i) {
        const FramePieces* f = store.pieces(i);
        ASSERT_NE(f, nullptr) << i;
        for (const QImage* p : {&f->pTop_left, &f->pTop_middle, &f->pTop_right, &f->pleft, &f->pRight, &f->pBottom_left,
                                &f->pBottom_middle, &f->pBottom_right})
            EXPECT_FALSE(p->isNull()) << i;
        // Every frame and shadow draws on a picture without error.
        EXPECT_FALSE(subApplyPictureFrame(solid(40, 30, Qt::white), int16_t(i), 1, i == 4, rgb(255, 255, 255), {}).isNull());
    }
    EXPECT_EQ(store.pieces(16), nullptr);
    EXPECT_EQ(store.pieces(-1), nullptr);
    EXPECT_FALSE(store.innerCorners().right_bottom.isNull());
    for (int i = 0; i < PictureStore::kMaskCount; ++i) {
        const QImage m = store.mask(i);
        ASSERT_FALSE(m.isNull()) << i;
        EXPECT_EQ(m.pixel(m.width() / 2, m.height() / 2) & 0xFFFFFFu, 0u) << i; // the picture shows in the middle
        EXPECT_EQ(m.pixel(0, 0) & 0xFFFFFFu, 0xFFFFFFu) << i;
    }
    EXPECT_TRUE(store.mask(8).isNull());
    // Frames differ from one another.
    EXPECT_NE(store.pieces(0)->pTop_left.size(), store.pieces(7)->pTop_left.size());
}

TEST(PictureStore, ShadowsDarkenRightAndBelowOnly)
{
    const QImage out = subApplyPictureFrame(solid(40, 30, Qt::white), PictureStore::kShadowBase + 0, 1, false, rgb(255, 255, 255), {});
    const FramePieces& s = *PictureStore::instance().pieces(PictureStore::kShadowBase);
    EXPECT_EQ(out.width(), 40 + s.pleft.width() + s.pRight.width() - 2);
    EXPECT_EQ(out.height(), 30 + s.pTop_left.height() + s.pBottom_left.height() - 2);
    EXPECT_LT(qRed(out.pixel(out.width() - s.pRight.width() + 2, out.height() / 2)), 255); // shadow beside
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(out.pixel(20, 15), qRgb(255, 255, 255)); // the picture itself is untouched
}
