#include "editing/SelectionTool.h"

#include <gtest/gtest.h>

using namespace tf;
using Button = SelectionTool::Button;

namespace {
const QSize kImage(200, 100);

// Draws a rectangle from `from` to `to` with the crop-by-mouse tool on an unscaled preview.
SelectionTool drawn(QPoint from, QPoint to)
{
    SelectionTool t;
    t.armCropRectangle();
    t.press(Button::Left, from, kImage, kImage);
    t.move(to, kImage, kImage);
    t.release(Button::Left, to);
    return t;
}

std::vector<int> visibleGrips(const SelectionTool& t)
{
    std::vector<int> v;
    for (int i = 0; i < 8; ++i)
        if (t.grips()[static_cast<size_t>(i)].Visible) v.push_back(i + 1);
    return v;
}
} // namespace

TEST(SelectionTool, MiddleGripsAppearOnlyBeyondFifteenPixels)
{
    const std::pair<QPoint, std::vector<int>> cases[] = { // where the drag from (10, 10) ends, the grips shown
        {{25, 25}, {1, 2, 3, 4}},
        {{26, 25}, {1, 2, 3, 4, 5, 6}},
        {{25, 26}, {1, 2, 3, 4, 7, 8}},
        {{-6, -6}, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const auto& [to, grips] : cases) EXPECT_EQ(visibleGrips(drawn({10, 10}, to)), grips) << to.x() << "," << to.y();
    const SelectionTool t = drawn({10, 10}, {-7, 40});
    EXPECT_EQ(t.grips()[4].X, 1); // mid(10, -7) truncates toward zero
    EXPECT_EQ(t.grips()[6].Y, 25);
}

TEST(SelectionTool, ADragUpAndLeftStillWorks)
{
    SelectionTool t = drawn({50, 40}, {10, 10});
    EXPECT_EQ(t.mode(), SelDragMode::Shown);
    EXPECT_EQ(t.corner1(), QPoint(50, 40));
    EXPECT_EQ(t.corner2(), QPoint(10, 10));
    EXPECT_EQ(t.cropRectangle(), (editops::Bounds{10, 10, 50, 40}));

    const std::tuple<QPoint, int, PointerShape> cases[] = { // where the pointer is, the grip hit, its shape
        {{52, 42}, 1, PointerShape::SizeNESW}, // the corners' arrows swap for a reversed rectangle
        {{53, 40}, 0, PointerShape::Default},  // 3 pixels off misses
        {{48, 12}, 3, PointerShape::SizeNWSE}, // grip 3 is (x1, y2)
        {{30, 10}, 6, PointerShape::SizeNS},
        {{10, 25}, 8, PointerShape::SizeWE},
        {{30, 20}, 9, PointerShape::SizeAll},
        {{50, 20}, 9, PointerShape::SizeAll}, // x1 counts as inside...
        {{11, 20}, 9, PointerShape::SizeAll},
        {{5, 20}, 0, PointerShape::Default},
    };
    for (const auto& [at, hit, pointer] : cases) {
        EXPECT_EQ(t.move(at, kImage, kImage).pointer, pointer) << at.x() << "," << at.y();
        EXPECT_EQ(t.gripHit(), hit) << at.x() << "," << at.y();
    }
    EXPECT_EQ(t.move({10, 20}, kImage, kImage).pointer, PointerShape::Default); // ...and x2 does not
    EXPECT_EQ(t.gripHit(), 0);
}

TEST(SelectionTool, GripHitsAndTheHighestGripWins)
{
    SelectionTool t = drawn({10, 10}, {60, 40});
    EXPECT_EQ(t.move({62, 12}, kImage, kImage).pointer, PointerShape::SizeNESW);
    EXPECT_EQ(t.gripHit(), 2);
    EXPECT_EQ(t.move({8, 8}, kImage, kImage).pointer, PointerShape::SizeNWSE);
    EXPECT_EQ(t.gripHit(), 1);

    SelectionTool tiny = drawn({10, 10}, {12, 12});
    tiny.move({11, 11}, kImage, kImage);
    EXPECT_EQ(tiny.gripHit(), 4);
}

TEST(SelectionTool, ResizingAndMovingTheRectangle)
{
    SelectionTool t = drawn({10, 10}, {60, 40});
    t.move({60, 40}, kImage, kImage);
    t.press(Button::Left, {60, 40}, kImage, kImage);
    EXPECT_EQ(t.mode(), SelDragMode::Resizing);
    EXPECT_EQ(t.overlay().size(), 1u); // the grips are down while dragging
    t.move({80, 45}, kImage, kImage);
    t.release(Button::Left, {80, 45});
    EXPECT_EQ(t.corner2(), QPoint(80, 45));
    EXPECT_EQ(t.grips()[3].X, 80);

    // Side grips move one side only.
    t.move({45, 10}, kImage, kImage);
    EXPECT_EQ(t.gripHit(), 5);
    t.press(Button::Left, {45, 10}, kImage, kImage);
    t.move({0, 2}, kImage, kImage);
    t.release(Button::Left, {0, 2});
    EXPECT_EQ(t.corner1(), QPoint(10, 2));

    t.move({30, 30}, kImage, kImage);
    const MouseOutcome pressed = t.press(Button::Left, {30, 30}, kImage, kImage);
    EXPECT_EQ(t.mode(), SelDragMode::Moving);
    EXPECT_EQ(pressed.pointer, PointerShape::SizeAll);
    t.move({-100, 35}, kImage, kImage); // nothing keeps it on the image
    t.release(Button::Left, {-100, 35});
    EXPECT_EQ(t.corner1(), QPoint(-120, 7));
    EXPECT_EQ(t.corner2(), QPoint(-50, 50));

    // A press off the rectangle and its grips drags nothing.
    t.move({150, 90}, kImage, kImage);
    t.press(Button::Left, {150, 90}, kImage, kImage);
    EXPECT_EQ(t.mode(), SelDragMode::Resizing);
    t.move({190, 95}, kImage, kImage);
    t.release(Button::Left, {190, 95});
    EXPECT_EQ(t.corner1(), QPoint(-120, 7));
    EXPECT_EQ(t.mode(), SelDragMode::Shown);
}

TEST(SelectionTool, TheOverlayIsTheOutlineAndTwoSquaresPerGrip)
{
    SelectionTool t;
    t.armCropRectangle();
    EXPECT_TRUE(t.overlay().empty());
    t.press(Button::Left, {10, 10}, kImage, kImage);
    t.move({20, 14}, kImage, kImage);
    ASSERT_EQ(t.overlay().size(), 1u);
    EXPECT_EQ(t.overlay()[0], (OverlayRectangle{10, 10, 21, 15}));
    t.release(Button::Left, {20, 14});
    const auto shown = t.overlay();
    ASSERT_EQ(shown.size(), 1u + 4 * 2);
    EXPECT_EQ(shown[1], (OverlayRectangle{9, 9, 12, 12}));
    EXPECT_EQ(shown[2], (OverlayRectangle{8, 8, 13, 13}));
    t.clearSelection();
    t.clearSelection();
    EXPECT_TRUE(t.overlay().empty());
    EXPECT_EQ(t.mode(), SelDragMode::Idle);
    EXPECT_EQ(t.corner2(), QPoint());
}

TEST(SelectionTool, ColourPickScalesHalfToEvenAndStaysOnTheImage)
{
    EXPECT_EQ(displayToImage({1, 3}, {1, 3}, {2, 2}), QPoint(0, 4)); // 0.5 -> 0, 4.5 -> 4
    EXPECT_EQ(displayToImage({3, 1}, {1, 3}, {2, 2}), QPoint(2, 2)); // 1.5 -> 2

    // A click for text is raised by half the point size (12 points, 16 pixels: by 6), half to even.
    EXPECT_EQ(textOriginFromClick({10, 20}, {200, 100}, {100, 50}, 12), QPoint(20, 34));
    EXPECT_EQ(textOriginFromClick({3, 3}, {10, 10}, {10, 10}, 9), QPoint(3, -2)); // 3 - 4.5 = -1.5

    SelectionTool t = drawn({10, 10}, {60, 40});
    t.setPickColor(true);
    EXPECT_TRUE(t.overlay().empty());
    const QSize shown(100, 50); // the picture fitted at half size
    const MouseOutcome hover = t.move({10, 7}, kImage, shown);
    ASSERT_TRUE(hover.pickPixel);
    EXPECT_EQ(*hover.pickPixel, QPoint(20, 14));
    EXPECT_TRUE(hover.markChanged);
    const MouseOutcome press = t.press(Button::Left, {100, 60}, kImage, shown);
    EXPECT_EQ(press.pickPixel, QPoint(199, 99));
    const MouseOutcome up = t.release(Button::Left, {100, 60});
    EXPECT_TRUE(up.untickCropBackColorAndRedEye);
    EXPECT_TRUE(up.optionsChanged);
    EXPECT_EQ(t.tool(), toolNone);
    EXPECT_FALSE(t.move({10, 7}, kImage, shown).pickPixel);
    EXPECT_FALSE(t.press(Button::Left, {1, 1}, QSize(), shown).pickPixel);
}

TEST(SelectionTool, CropByMouseOnAScaledPreviewKeepsPressAndRelease)
{
    SelectionTool t;
    t.startControlSelection();
    EXPECT_EQ(t.tool(), toolNone);
    const MouseOutcome down = t.press(Button::Left, {30, 20}, kImage, {100, 50});
    EXPECT_TRUE(down.regionStartChanged);
    t.move({12, 6}, kImage, {100, 50});
    EXPECT_EQ(t.regionEnd(), QPoint(12, 6));
    const MouseOutcome up = t.release(Button::Left, {10, 5});
    EXPECT_TRUE(up.markChanged && up.untickCropMouse);
    EXPECT_FALSE(t.cropByMouse());
    EXPECT_EQ(t.scaledRegion(kImage, {100, 50}), (editops::Bounds{20, 10, 60, 40}));
    EXPECT_TRUE(t.overlay().empty()); // the control drew its own rubber band
    EXPECT_EQ(SelectionTool::regionLabel(t.regionStart()), "X : 30 ; Y : 20");
}

TEST(SelectionTool, LocationPicksForWatermarkAndTextOnly)
{
    SelectionTool t;
    t.setCurrentTask(taskText);
    t.setSelectLocation(true);
    const MouseOutcome hover = t.move({5, 6}, kImage, kImage);
    EXPECT_TRUE(hover.locationChanged);
    EXPECT_EQ(hover.pointer, PointerShape::IBeam);
    const MouseOutcome up = t.release(Button::Left, {7, 8});
    EXPECT_EQ(t.textPoint(), QPoint(7, 8));
    EXPECT_EQ(t.mergePoint(), QPoint());
    EXPECT_TRUE(up.markChanged && up.untickSelectLocation);
    EXPECT_FALSE(t.selectLocation());
    EXPECT_EQ(SelectionTool::locationLabel(t.textPoint()), "X-7; Y-8");

    t.setCurrentTask(taskWatermark);
    t.setSelectLocation(true);
    t.release(Button::Left, {3, 4});
    EXPECT_EQ(t.mergePoint(), QPoint(3, 4));

    t.setCurrentTask(taskFlip);
    t.setSelectLocation(true);
    const MouseOutcome other = t.release(Button::Left, {9, 9});
    EXPECT_FALSE(other.locationChanged);
    EXPECT_TRUE(other.untickSelectLocation);
    EXPECT_EQ(t.mergePoint(), QPoint(3, 4));
}

TEST(SelectionTool, TheRightButtonChangesNothingAndChoosingATaskEndsEveryTool)
{
    SelectionTool t = drawn({10, 10}, {60, 40});
    t.setSelectLocation(true);
    t.setCurrentTask(taskText);
    EXPECT_TRUE(t.press(Button::Right, {30, 30}, kImage, kImage).showContextMenu);
    const MouseOutcome up = t.release(Button::Right, {30, 30});
    EXPECT_FALSE(up.optionsChanged || up.untickSelectLocation);
    EXPECT_EQ(t.mode(), SelDragMode::Shown);
    EXPECT_TRUE(t.selectLocation());

    t.armCropRectangle();
    t.chooseTask(taskText);
    EXPECT_FALSE(t.cropByMouse() || t.selectLocation());
    EXPECT_EQ(t.tool(), toolNone);
    EXPECT_TRUE(t.overlay().empty());
    EXPECT_FALSE(t.release(Button::Left, {5, 5}).locationChanged);

    SelectionTool idle;
    EXPECT_TRUE(idle.release(Button::Left, {1, 1}).optionsChanged); // a release with no tool still marks options changed
}
