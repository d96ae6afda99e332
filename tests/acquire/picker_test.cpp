#include "acquire/CapturePicker.h"

#include <gtest/gtest.h>

#include <vector>

namespace tf {
namespace {

CapturePicker drawn(QPoint from, QPoint to)
{
    CapturePicker p;
    p.newRectangle();
    p.press(from);
    p.move(to);
    p.release(to);
    return p;
}

TEST(CapturePicker, CropCoversTheDrawnPixelsWhicheverWayTheDragWent)
{
    struct Case {
        QPoint from, to;
        QSize screen;
        QRect expected;
    } cases[] = {
        {{10, 5}, {50, 40}, {100, 100}, QRect(QPoint(10, 5), QPoint(50, 40))},
        {{50, 40}, {10, 5}, {100, 100}, QRect(QPoint(10, 5), QPoint(50, 40))},  // right to left, bottom to top
        {{90, 95}, {140, 130}, {100, 100}, QRect(QPoint(90, 95), QPoint(99, 99))}, // past the edge: cut
        {{0, 0}, {0, 7}, {100, 100}, QRect(0, 0, 1, 8)},                          // one pixel wide still counts
    };
    for (const Case& c : cases) {
        const CapturePicker p = drawn(c.from, c.to);
        EXPECT_EQ(p.cropRect(c.screen), c.expected) << c.from.x() << "," << c.from.y();
    }
    EXPECT_LT(drawn({50, 40}, {10, 5}).tool().corner2().x(), drawn({50, 40}, {10, 5}).tool().corner1().x());
}

TEST(CapturePicker, NothingToKeepWithoutARealRectangle)
{
    CapturePicker armed;
    armed.newRectangle();
    const CapturePicker click = drawn({20, 20}, {20, 20});
    const CapturePicker offScreen = drawn({200, 200}, {300, 300});
    for (const CapturePicker* p : std::initializer_list<const CapturePicker*>{&armed, &click}) {
        EXPECT_FALSE(p->canAccept());
        EXPECT_TRUE(p->cropRect({100, 100}).isEmpty());
    }
    EXPECT_TRUE(offScreen.cropRect({100, 100}).isEmpty());
}

TEST(CapturePicker, MiddleGripsOnlyPastFifteenPixels)
{
    struct Case {
        QPoint to;
        bool topBottom, sides;
    } cases[] = {{{15, 15}, false, false}, {{16, 15}, true, false}, {{15, 16}, false, true}, {{-16, -16}, true, true}};
    for (const Case& c : cases) {
        const CapturePicker p = drawn({0, 0}, c.to);
        const auto& g = p.tool().grips();
        EXPECT_EQ(g[4].Visible && g[5].Visible, c.topBottom) << c.to.x();
        EXPECT_EQ(g[6].Visible && g[7].Visible, c.sides) << c.to.y();
    }
}

TEST(CapturePicker, HitTestCountsTheStartCornerAndNotTheEnd)
{
    struct Case {
        QPoint from, to, at;
        int hit;
    } cases[] = {
        {{10, 10}, {50, 50}, {10, 20}, 9}, {{10, 10}, {50, 50}, {50, 20}, 0},
        {{50, 50}, {10, 10}, {50, 20}, 9}, {{50, 50}, {10, 10}, {10, 20}, 0},
        {{10, 10}, {12, 40}, {11, 10}, 2}, // grips 1 and 2 both near: the last one wins
        {{10, 10}, {50, 50}, {48, 52}, 4},
    };
    for (const Case& c : cases) {
        CapturePicker p = drawn(c.from, c.to);
        p.move(c.at);
        EXPECT_EQ(p.tool().gripHit(), c.hit) << c.at.x() << "," << c.at.y();
    }
}

TEST(CapturePicker, DragsResizeMoveOrLeaveTheRectangle)
{
    struct Case {
        QPoint grab, to;
        QPoint c1, c2;
    } cases[] = {
        {{30, 30}, {35, 40}, {15, 20}, {55, 60}}, // inside: moved, size kept
        {{50, 30}, {70, 30}, {10, 10}, {70, 50}}, // right middle grip
        {{80, 80}, {90, 90}, {10, 10}, {50, 50}}, // no grip: nothing changes
    };
    for (const Case& c : cases) {
        CapturePicker p = drawn({10, 10}, {50, 50});
        p.move(c.grab);
        p.press(c.grab);
        p.move(c.to);
        p.release(c.to);
        EXPECT_EQ(p.tool().corner1(), c.c1) << c.grab.x();
        EXPECT_EQ(p.tool().corner2(), c.c2) << c.grab.x();
        EXPECT_EQ(p.mode(), SelDragMode::Shown);
    }
}

TEST(CapturePicker, DoubleClickAcceptsInsideAndTogglesTheToolbarOutside)
{
    CapturePicker p = drawn({10, 10}, {50, 50});
    p.move({30, 30});
    EXPECT_EQ(p.doubleClick(), CapturePicker::Action::Accept);
    EXPECT_TRUE(p.toolbarVisible());

    p.move({80, 80});
    EXPECT_EQ(p.doubleClick(), CapturePicker::Action::None);
    EXPECT_FALSE(p.toolbarVisible());
    p.windowMove({500, 10});
    EXPECT_FALSE(p.toolbarVisible());
    p.windowMove({500, 9});
    EXPECT_TRUE(p.toolbarVisible());
}

} // namespace
} // namespace tf
