#include "controls/explorerbar/ExplorerBarLayout.h"
#include "explorerbar_testutil.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace tf;
using tf::testing::edges;
using tf::testing::FakeMetrics;

namespace {

constexpr int kBarWidth = 15; // the scroll bar's width in these tests

struct Laid {
    EbGeometryOut out;
    EbScroll scroll;
};

Laid lay(ExplorerBarModel& m, int W, int H, bool visible = true, EbScroll scroll = {})
{
    m.DisableUpdates();
    const EbGeometryOut out = layoutExplorerBar(m, {W, H, kBarWidth, visible}, scroll, FakeMetrics());
    return {out, scroll};
}

const typExplorerBarGroup& group(const ExplorerBarModel& m, int number) { return *m.groupRecord(number); }

} // namespace

// The task pane's shape: a special group of two items over a group hosting a 200-pixel panel.
TEST(ExplorerBarLayout, SpecialGroupItemsAndHostedPanelGetExactRectangles)
{
    ExplorerBarModel m;
    m.AddSpecialGroup("Tasks Chart");
    m.AddItem("Special Group", "flip", "Flip");
    m.AddItem("Special Group", "rotate", "Rotate");
    m.AddGroup("Dialog", " Task Options");
    QWidget panel;
    panel.resize(50, 200);
    m.SetGroupChild("Dialog", &panel);

    // A bar that is not on screen keeps its scroll bar hidden, so this is the first pass alone.
    Laid r = lay(m, 200, 300, false);
    EXPECT_EQ(group(m, -1).rcHeader, edges(8, 16, 192, 40));
    EXPECT_EQ(group(m, -1).aItems[0].rcItem, edges(20, 50, 69, 64));
    EXPECT_EQ(group(m, -1).aItems[1].rcItem, edges(20, 72, 83, 86));
    EXPECT_EQ(group(m, -1).lBodyHeight, 62);
    EXPECT_EQ(group(m, 1).rcHeader, edges(8, 116, 192, 140));
    EXPECT_EQ(group(m, 1).lBodyHeight, 200);
    EXPECT_EQ(r.out.overflow, 42);
    EXPECT_EQ(r.out.passes, 1);
    EXPECT_FALSE(r.scroll.visible);
    EXPECT_EQ(r.scroll.max, 42);
    EXPECT_EQ(r.scroll.large, 300);
    EXPECT_EQ(r.scroll.small, 4);

    // On screen, the overflow shows the bar and a second pass narrows every header by its width.
    r = lay(m, 200, 300, true);
    EXPECT_TRUE(r.scroll.visible);
    EXPECT_EQ(r.out.passes, 2);
    EXPECT_EQ(r.out.clientWidth, 185);
    EXPECT_EQ(group(m, -1).rcHeader, edges(8, 16, 177, 40));
    EXPECT_EQ(group(m, 1).rcHeader, edges(8, 116, 177, 140));
    EXPECT_EQ(r.scroll.max, 42);

    // Scrolled, everything moves up, above the top too.
    m.m_iScrollValue = 30;
    r = lay(m, 200, 300, true, r.scroll);
    EXPECT_EQ(group(m, -1).rcHeader, edges(8, -14, 177, 10));
    EXPECT_EQ(r.out.passes, 1);
}

TEST(ExplorerBarLayout, SpacingBetweenGroupsFollowsTheirState)
{
    // The gap is the next header's top less the bottom of the first group's last element.
    const struct {
        const char* what;
        bool firstExpanded;
        int gapFromLastElement;
    } cases[] = {{"collapsed header", false, 22}, {"expanded, after its last item", true, 36}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExplorerBarModel m;
        m.AddGroup("A", "A");
        m.AddItem("A", "x", "x");
        m.AddGroup("B", "B");
        m.ExpandGroup("A", c.firstExpanded);
        lay(m, 200, 1000);
        const QRect last = c.firstExpanded ? group(m, 1).aItems[0].rcItem : group(m, 1).rcHeader;
        EXPECT_EQ(group(m, 2).rcHeader.top() - (last.y() + last.height()), c.gapFromLastElement);
        EXPECT_EQ(group(m, 1).rcHeader.top(), 10);
    }

    // An expanded group without items still has a body.
    ExplorerBarModel empty;
    empty.AddGroup("A", "A");
    lay(empty, 200, 1000);
    EXPECT_EQ(group(empty, 1).lBodyHeight, 22);
}

TEST(ExplorerBarLayout, CaptionsAndSpecialHeaderAtTheEdges)
{
    ExplorerBarModel m;
    m.AddSpecialGroup("Chart");
    m.ExpandGroup("Special Group", false);
    Laid r = lay(m, 150, 400);
    EXPECT_EQ(group(m, -1).rcHeader, edges(8, 16, 142, 40));
    EXPECT_EQ(r.out.overflow, 46 - 400);

    // A caption wider than the text column stops 16 short of the client edge and wraps.
    m.ExpandGroup("Special Group", true);
    m.AddItem("Special Group", "long", "a caption that cannot fit on one line");
    m.AddItem("Special Group", "short", "Go");
    lay(m, 150, 400);
    const QRect wide = group(m, -1).aItems[0].rcItem;
    EXPECT_EQ(wide.x() + wide.width(), 150 - 16);
    EXPECT_EQ(wide.height(), 4 * 14);
    EXPECT_EQ(group(m, -1).aItems[1].rcItem, edges(20, wide.y() + wide.height() + 8, 41 + 14, wide.y() + wide.height() + 22));

    ExplorerBarModel nothing;
    r = lay(nothing, 150, 400);
    EXPECT_EQ(r.out.overflow, -400);
    EXPECT_FALSE(r.scroll.visible);
}

TEST(ExplorerBarLayout, ContentAsTallAsTheViewHidesTheBarAndDropsTheOldOffset)
{
    ExplorerBarModel m;
    m.AddSpecialGroup("Chart");
    m.ExpandGroup("Special Group", false); // 16 + 24 + 6 = 46 pixels of content
    m.m_iScrollValue = 5;
    const Laid r = lay(m, 200, 46, true, EbScroll{true});
    EXPECT_EQ(r.out.overflow, 0);
    EXPECT_FALSE(r.scroll.visible);
    EXPECT_EQ(r.scroll.max, 1);
    EXPECT_EQ(m.m_iScrollValue, 0);
    // Laid out at the top and the full width, not at the old offset.
    EXPECT_EQ(group(m, -1).rcHeader, edges(8, 16, 192, 40));
}

TEST(ExplorerBarLayout, CollapsingWhileScrolledClampsThePosition)
{
    ExplorerBarModel m;
    m.AddSpecialGroup("Chart");
    m.AddGroup("Long", "Long");
    for (int i = 0; i < 30; ++i) {
        m.AddItem("Special Group", QString("s%1").arg(i), "item");
        m.AddItem("Long", QString("l%1").arg(i), "item");
    }
    Laid r = lay(m, 200, 300);
    m.m_iScrollValue = r.scroll.max;
    r = lay(m, 200, 300, true, r.scroll);

    m.ExpandGroup("Long", false);
    r = lay(m, 200, 300, true, r.scroll);
    ASSERT_TRUE(r.scroll.visible);
    EXPECT_EQ(m.m_iScrollValue, r.scroll.max);
    // The collapsed group's header is now the last thing, ending where the view ends.
    EXPECT_EQ(group(m, 1).rcHeader.bottom() + 1 + 12, 300);
}

TEST(ExplorerBarLayout, DetailsGroupMakesRoomForItsPicture)
{
    ExplorerBarModel m;
    m.AddDetailsGroup("Details", "Title", "Some text");
    lay(m, 200, 1000);
    EXPECT_EQ(group(m, -2).rcHeader, edges(8, 8, 192, 32));
    EXPECT_EQ(m.m_rcDetailsText, edges(20, 32 + 14 + 12, 176, 32 + 20 + 14 + 14 + 24));
    EXPECT_EQ(group(m, -2).lBodyHeight, 52);

    m.SetDetailsImage(QPixmap(10, 10));
    lay(m, 200, 1000);
    EXPECT_EQ(m.m_rcDetailsText.top(), 32 + 14 + 12 + 12 + 200 - 128);
}

TEST(ExplorerBarLayout, HitTestTakesTopAndBottomEdgesButNotTheSides)
{
    const QRect header = edges(8, 16, 192, 40);
    const struct {
        QPoint point;
        bool hits;
    } cases[] = {
        {{8, 20}, false}, {{192, 20}, false}, {{9, 16}, true}, {{191, 40}, true}, {{9, 41}, false}, {{100, 15}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ebHits(header, c.point), c.hits) << c.point.x() << "," << c.point.y();
}

TEST(ExplorerBarLayout, ElementsComeInScanOrderWithoutCollapsedItems)
{
    ExplorerBarModel m;
    m.AddSpecialGroup("Chart");
    m.AddItem("Special Group", "a", "a");
    m.AddGroup("G", "G");
    m.AddItem("G", "b", "b");
    m.AddGroup("H", "H");
    m.AddItem("H", "c", "c");
    m.ExpandGroup("H", false);
    m.AddDetailsGroup("Details", "t", "x");
    QVector<std::pair<int, int>> order;
    for (const EbElement& e : ebElements(m)) order.push_back({e.group, e.item});
    EXPECT_EQ(order, (QVector<std::pair<int, int>>{{-1, 0}, {-1, 1}, {1, 0}, {1, 1}, {2, 0}, {-2, 0}}));
}
