#include "editing/PictureStore.h"
#include "editing/modProcessTasks.h"
#include "editing_testutil.h"

#include <gtest/gtest.h>

using namespace tf;
using test::solid;

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
