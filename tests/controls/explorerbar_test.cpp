#include "controls/explorerbar/ExplorerBar.h"
#include "controls/explorerbar/ExplorerBarLayout.h"
#include "platform/theme/visualstyle.h"
#include "platform/ui/msgbox.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace tf;
using Scheme = VisualStyle::Scheme;

namespace {

// Fixed text measures: 7 pixels a character, 14 a line, words wrapped greedily.
class FakeMetrics final : public EbTextMetrics {
public:
    int width(const QString& text, bool) const override { return 7 * static_cast<int>(text.size()); }
    int wrappedHeight(const QString& text, int width, bool) const override
    {
        int lines = 1, used = 0;
        for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const int w = 7 * static_cast<int>(word.size());
            if (used == 0) used = w;
            else if (used + 7 + w <= width) used += 7 + w;
            else { ++lines; used = w; }
        }
        return 14 * lines;
    }
};

inline QPixmap filled(QColor color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return pixmap;
}

// A rectangle given by its edges, as the layout's rules state them.
inline QRect edges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

using Model = ExplorerBarModel;

void wheel(QWidget* target, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWheelEvent event(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &event);
}

// A model with two icons at hand (not yet given to it), its quiet messages kept and boxes scripted.
class ExplorerBarModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        icons.Add("one", filled(Qt::red));
        icons.Add("two", filled(Qt::green));
        m.ignoredErrors = [this](const QString& text) { quiet << text; };
    }
    Model m;
    ImageList icons;
    QStringList quiet;
    ScriptedMessageBoxes boxes;
};

struct Laid {
    EbGeometryOut out;
    EbScroll scroll;
};

Laid lay(ExplorerBarModel& m, int W, int H, bool visible = true, EbScroll scroll = {})
{
    m.DisableUpdates();
    const EbGeometryOut out = layoutExplorerBar(m, {W, H, 15 /* scroll bar */, visible}, scroll, FakeMetrics());
    return {out, scroll};
}

const typExplorerBarGroup& group(const ExplorerBarModel& m, int number) { return *m.groupRecord(number); }

// A style that notes every part the bar asks it for.
class RecordingStyle : public VisualStyle {
public:
    mutable QVector<int> parts;
    bool drawBackground(QPainter& p, QStringView cls, int part, int state, const QRect& r) const override
    {
        parts.push_back(part);
        return VisualStyle::drawBackground(p, cls, part, state, r);
    }
};

bool near(QColor a, QColor b, int tolerance = 4)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

#define EXPECT_NEAR_COLOR(actual, expected)                                                                  \
    EXPECT_PRED2([](QColor a, QColor b) { return near(a, b); }, actual, expected)                            \
        << qPrintable(QColor(actual).name()) << " vs " << qPrintable(QColor(expected).name())

// Pixels of a colour inside a rectangle of the picture.
int count(const QImage& image, const QRect& area, QColor color)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += image.pixelColor(x, y) == color;
    return n;
}

// The task pane 200 x 400 with fixed text measures. Special header 16..40 with items Rotate
// 50..64, Crop 72..86, Resize 94..108; "Dialog" header 138..162; "Editing" header 200..224.
class ExplorerBarWidget : public ::testing::Test {
protected:
    // The set-up the main window makes: a task chart and two groups that host panels.
    void SetUp() override
    {
        bar.setVisualStyle(&style);
        bar.setTextMetrics(std::make_shared<FakeMetrics>());
        bar.resize(200, 400);
        bar.DisableUpdates(true);
        bar.AddSpecialGroup("Tasks Chart", filled(Qt::blue));
        bar.AddItem("Special Group", "Rotate", "Rotate");
        bar.AddItem("Special Group", "Crop", "Crop");
        bar.AddItem("Special Group", "Resize", "Resize");
        bar.AddGroup("Dialog", " Task Options", 1);
        bar.AddGroup("Editing", "Task Basket", 1);
    }
    // Sent straight to the bar: a synthesised move to where the pointer already is gets dropped.
    void move(QPoint to)
    {
        QMouseEvent event(QEvent::MouseMove, to, bar.mapToGlobal(to), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&bar, &event);
    }
    // A panel owned by home, where the bar gives it back.
    QWidget* panel(int height)
    {
        auto* widget = new QWidget(&home);
        widget->resize(100, height);
        return widget;
    }

    QImage picture() { return bar.grab().toImage(); }
    QColor at(int x, int y) { return picture().pixelColor(x, y); }

    RecordingStyle style;
    QWidget home;
    ExplorerBar bar;
};
using PaintedBar = ExplorerBarWidget;

using ExplorerBarLayout = ExplorerBarModelTest;

} // namespace

// ---- the model without a window --------------------------------------------------------------

TEST_F(ExplorerBarModelTest, GroupsAndItemsKeepTheirOrderKeysAndCaptions)
{
    m.SetImageList(&icons);
    EXPECT_TRUE(m.AddSpecialGroup("Tasks Chart"));
    EXPECT_TRUE(m.AddItem("Special Group", "Rotate", "Rotate page", EbRef("one")));
    EXPECT_TRUE(m.AddItem("Special Group", "Crop", "Crop", EbRef("two")));
    EXPECT_TRUE(m.AddGroup("Dialog", " Task Options", 1));
    EXPECT_TRUE(m.AddGroup("Editing", "Task Basket", 1));
    EXPECT_TRUE(m.AddItem(2, "Undo", "Undo"));

    EXPECT_EQ(m.shownGroups(), (QVector<int>{-1, 1, 2}));
    const typExplorerBarGroup& special = *m.groupRecord(Model::kSpecialGroup);
    EXPECT_EQ(special.sKey, "Special Group");
    EXPECT_EQ(special.sCaption, "Tasks Chart");
    ASSERT_EQ(special.iItemCount(), 2);
    EXPECT_EQ(special.aItems[0].sKey, "Rotate");
    EXPECT_EQ(special.aItems[0].sCaption, "Rotate page");
    EXPECT_EQ(special.aItems[1].iIndex, 2);
    EXPECT_EQ(special.aItems[1].iIcon, 2);
    EXPECT_EQ(m.groupRecord(1)->sCaption, " Task Options");
    EXPECT_TRUE(m.groupRecord(1)->bExpanded);
    EXPECT_EQ(m.groupRecord(2)->aItems[0].iIcon, -1);

    // Items added before the special group is shown again are still there afterwards.
    m.HideSpecialGroup();
    EXPECT_EQ(m.shownGroups(), (QVector<int>{1, 2}));
    m.AddSpecialGroup("Again");
    EXPECT_EQ(m.groupRecord(Model::kSpecialGroup)->iItemCount(), 2);
    EXPECT_EQ(Model::GetControlVersion(), "1.91");
}

TEST_F(ExplorerBarModelTest, GroupLookupByKeyAndNumber)
{
    m.AddGroup("A", "first");
    m.AddGroup("B", "second");
    m.AddGroup("A", "duplicate");
    EXPECT_EQ(m.GetGroupsByKeyN("A"), 1); // the first of two equal keys
    EXPECT_EQ(m.GetGroupsByKeyN("B"), 2);
    EXPECT_EQ(m.GetGroupsByKeyN("b"), Model::kNoGroup); // keys are case-sensitive
    EXPECT_EQ(m.GetGroupsByKeyN("Special Group"), Model::kSpecialGroup);
    EXPECT_EQ(m.GetGroupsByKeyN("Details"), Model::kDetailsGroup);
    EXPECT_EQ(m.GetGroupsByKeyN("Details Group"), Model::kNoGroup);
    EXPECT_EQ(m.GetGroupsByKeyN(17), 17); // numbers pass as they are

    QString key;
    EXPECT_TRUE(m.fncGroupExists(3, &key));
    EXPECT_EQ(key, "A");
    EXPECT_TRUE(m.fncGroupExists(-2, &key));
    EXPECT_EQ(key, "Details Group");
    for (int missing : {4, 0, -3}) EXPECT_FALSE(m.fncGroupExists(missing)) << missing;

    // A group added under an existing key takes an item only by its number.
    EXPECT_TRUE(m.AddItem("A", "x", "x"));
    EXPECT_TRUE(m.AddItem(3, "y", "y"));
    EXPECT_EQ(m.groupRecord(1)->iItemCount(), 1);
    EXPECT_EQ(m.groupRecord(3)->iItemCount(), 1);
}

TEST_F(ExplorerBarModelTest, ItemsForMissingGroupsAreRefusedWithoutChange)
{
    m.AddGroup("Dialog", "Options");
    m.AddDetailsGroup("Details", "Title", "Text");

    EXPECT_FALSE(m.AddItem("Details", "k", "c"));        // the details group holds no items
    EXPECT_FALSE(m.AddItem(5, "k", "c"));                // beyond the last group
    EXPECT_FALSE(m.AddItem(-7, "k", "c"));
    EXPECT_TRUE(quiet.isEmpty());
    EXPECT_FALSE(m.AddItem("Details Group", "k", "c"));  // its stored key is not an address
    EXPECT_FALSE(m.AddItem("Nowhere", "k", "c"));
    EXPECT_FALSE(m.AddItem(0, "k", "c"));
    EXPECT_EQ(quiet, (QStringList{"Can't assign items to the Especified group",
                                  "Can't assign items to the Especified group", "The group '0' doesn't exist"}));
    for (int g : {1, Model::kDetailsGroup, Model::kSpecialGroup}) EXPECT_EQ(m.groupRecord(g)->iItemCount(), 0);

    // Members that take a group refuse numbers out of range and leave the state alone.
    EXPECT_FALSE(m.ClearGroup(2));
    EXPECT_FALSE(m.ClearGroup("Details"));
    EXPECT_FALSE(m.ExpandGroup(0));
    EXPECT_FALSE(m.ExpandGroup("Nowhere"));
    EXPECT_FALSE(m.SetGroupCaption(9, "x"));
    QWidget panel;
    EXPECT_FALSE(m.SetGroupChild("Details", &panel));
    EXPECT_FALSE(m.SetGroupChild(2, &panel));
    EXPECT_EQ(m.groupRecord(1)->sCaption, "Options");
    EXPECT_EQ(m.groupRecord(1)->pChild, nullptr);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(ExplorerBarModelTest, IconLookupMessagesGoToTheBoxOrTheQuietSink)
{
    m.AddGroup("G", "G");
    // No list at all.
    EXPECT_TRUE(m.AddItem("G", "a", "a", EbRef("x")));
    EXPECT_EQ(m.groupRecord(1)->aItems[0].iIcon, -1);
    EXPECT_EQ(quiet, QStringList{"No Defined Imagelist"});

    m.SetImageList(&icons);
    quiet.clear();
    EXPECT_EQ(m.GetIconIndex("two"), 2);
    EXPECT_EQ(m.GetIconIndex(1), 1);
    EXPECT_EQ(m.GetIconIndex(0), -1);
    EXPECT_EQ(m.GetIconIndex(3), -1);
    EXPECT_EQ(quiet, (QStringList{"GetIconIndex: invalid Image Index!", "GetIconIndex: invalid Image Index!"}));
    EXPECT_TRUE(boxes.shown().empty());

    // A missing key is shown to the user, and the item still comes, without an icon.
    EXPECT_TRUE(m.AddItem("G", "b", "b", EbRef("three")));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, "An Error has ocurred!\nGetIconIndex: icon with key three doesn't exist!");
    EXPECT_EQ(boxes.shown()[0].title, "ExplorerBar");
    EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);
    EXPECT_EQ(m.groupRecord(1)->aItems[1].iIcon, -1);

    // A list that goes away is a missing list, not a dangling one.
    auto gone = std::make_unique<ImageList>();
    m.SetImageList(gone.get());
    gone.reset();
    quiet.clear();
    EXPECT_EQ(m.GetIconIndex("one"), -1);
    EXPECT_EQ(quiet, QStringList{"No Defined Imagelist"});
}

TEST_F(ExplorerBarModelTest, ExpandCaptionClearAndItemChanges)
{
    m.SetImageList(&icons);
    m.AddSpecialGroup("Tasks Chart");
    m.AddItem("Special Group", "Crop", "Crop");
    m.AddGroup("Dialog", " Task Options");
    m.AddGroup("Empty", "Nothing here");

    EXPECT_TRUE(m.ExpandGroup("Special Group"));
    EXPECT_FALSE(m.groupRecord(Model::kSpecialGroup)->bExpanded);
    EXPECT_TRUE(m.ExpandGroup("Special Group"));
    EXPECT_TRUE(m.groupRecord(Model::kSpecialGroup)->bExpanded);
    EXPECT_TRUE(m.ExpandGroup(1, false));
    EXPECT_TRUE(m.ExpandGroup(1, false));
    EXPECT_FALSE(m.groupRecord(1)->bExpanded);

    EXPECT_TRUE(m.SetGroupCaption("Dialog", "Rotate Options"));
    EXPECT_EQ(m.groupRecord(1)->sCaption, "Rotate Options");
    EXPECT_FALSE(m.SetGroupCaption("dialog", "lower case"));
    EXPECT_EQ(m.groupRecord(1)->sCaption, "Rotate Options");
    EXPECT_TRUE(m.SetGroupCaption("Special Group", "Chart"));
    EXPECT_EQ(m.groupRecord(Model::kSpecialGroup)->sCaption, "Chart");

    EXPECT_TRUE(m.SetItemText("Special Group", "Crop", "Crop page"));
    EXPECT_TRUE(m.SetItemIcon("Special Group", 1, "one"));
    EXPECT_EQ(m.groupRecord(Model::kSpecialGroup)->aItems[0].sCaption, "Crop page");
    EXPECT_EQ(m.groupRecord(Model::kSpecialGroup)->aItems[0].iIcon, 1);
    EXPECT_TRUE(boxes.shown().empty());

    EXPECT_FALSE(m.SetItemText("Nowhere", "Crop", "x"));
    EXPECT_FALSE(m.SetItemText("Details", "Crop", "x"));
    EXPECT_FALSE(m.SetItemText(7, "Crop", "x"));
    EXPECT_FALSE(m.SetItemText("Empty", "Crop", "x"));
    EXPECT_FALSE(m.SetItemText("Special Group", "Rotate", "x"));
    EXPECT_FALSE(m.SetItemText("Special Group", 2, "x"));
    const QString pre = "An Error has ocurred!\n";
    EXPECT_EQ(boxes.prompts(), (QStringList{pre + "The Group 'Nowhere' doesn't exist",
                                            pre + "Details Group hasn't Child Items!",
                                            pre + "The Group '7' doesn't exist",
                                            pre + "GetItemIndex: There are no Items in this group!",
                                            pre + "GetItemIndex/String: Item specified not found!",
                                            pre + "GetItemIndex/Integer: Item specified not found!"}));
    EXPECT_EQ(m.groupRecord(Model::kSpecialGroup)->aItems[0].sCaption, "Crop page");

    // Emptying the special group keeps it on show with an empty body.
    EXPECT_TRUE(m.ClearGroup("Special Group"));
    EXPECT_EQ(m.groupRecord(Model::kSpecialGroup)->iItemCount(), 0);
    EXPECT_EQ(m.shownGroups().first(), Model::kSpecialGroup);
}

// ---- the layout ----------------------------------------------------------------------------

// The task pane's shape: a special group of two items over a group hosting a 200-pixel panel.
TEST_F(ExplorerBarLayout, SpecialGroupItemsAndHostedPanelGetExactRectangles)
{
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

TEST_F(ExplorerBarLayout, SpacingBetweenGroupsFollowsTheirState)
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
    m.AddGroup("A", "A");
    lay(m, 200, 1000);
    EXPECT_EQ(group(m, 1).lBodyHeight, 22);
}

TEST_F(ExplorerBarLayout, CaptionsAndSpecialHeaderAtTheEdges)
{
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

TEST_F(ExplorerBarLayout, ContentAsTallAsTheViewHidesTheBarAndDropsTheOldOffset)
{
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

TEST_F(ExplorerBarLayout, CollapsingWhileScrolledClampsThePosition)
{
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

TEST_F(ExplorerBarLayout, DetailsGroupMakesRoomForItsPicture)
{
    m.AddDetailsGroup("Details", "Title", "Some text");
    lay(m, 200, 1000);
    EXPECT_EQ(group(m, -2).rcHeader, edges(8, 8, 192, 32));
    EXPECT_EQ(m.m_rcDetailsText, edges(20, 32 + 14 + 12, 176, 32 + 20 + 14 + 14 + 24));
    EXPECT_EQ(group(m, -2).lBodyHeight, 52);

    m.SetDetailsImage(QPixmap(10, 10));
    lay(m, 200, 1000);
    EXPECT_EQ(m.m_rcDetailsText.top(), 32 + 14 + 12 + 12 + 200 - 128);
}

TEST_F(ExplorerBarLayout, HitTestTakesTopAndBottomEdgesAndElementsComeInScanOrder)
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

    // The elements the mouse code scans, in order, without collapsed items.
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

// ---- painting --------------------------------------------------------------------------------

TEST(ExplorerBarColours, SoftColorLightensEachChannelAndChevronsPointTheWayTheGroupOpens)
{
    const struct {
        OleColor in, out;
    } cases[] = {
        {rgb(0, 0, 0), rgb(76, 76, 76)},       {rgb(255, 255, 255), rgb(255, 255, 255)},
        {rgb(32, 96, 160), rgb(89, 134, 179)}, {rgb(31, 95, 223), rgb(107, 152, 242)},
        {rgb(224, 159, 96), rgb(224, 197, 134)},
    };
    for (const auto& c : cases) EXPECT_EQ(ExplorerBar::SoftColor(c.in), c.out) << std::hex << c.in;

    // Chevrons are symmetric and point the way the group opens.
    for (bool expanded : {true, false}) {
        QImage image(24, 24, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        subDrawChevron(p, 0, 0, expanded, Qt::black);
        p.end();
        // Two chevrons of two strokes each; strokes share their tip pixels.
        EXPECT_EQ(count(image, image.rect(), Qt::black), 24) << expanded;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 12; ++x)
                EXPECT_EQ(image.pixelColor(12 - x, y), image.pixelColor(12 + x, y)) << x << "," << y;
        // The topmost row holds the single tip of an upward chevron, or the two arms of a downward one.
        EXPECT_EQ(count(image, QRect(0, 8, 24, 1), Qt::black), expanded ? 1 : 4);
        EXPECT_EQ(count(image, QRect(0, 0, 24, 8), Qt::black), 0);
        EXPECT_EQ(count(image, QRect(0, 16, 24, 8), Qt::black), 0);
    }
}

TEST(ExplorerBarTheme, ClassicDrawsNothingThemedUnknownClassesGoToTheSinkAndCaptionsTakeTheirColours)
{
    VisualStyle style;
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    QStringList quiet;
    EbPaintContext context;
    context.style = &style;
    context.sink = [&quiet](const QString& text) { quiet << text; };
    EbThemeRequest request;
    request.rect = QRect(0, 0, 40, 40);
    EXPECT_EQ(fncCurrentThemeName(&style), "Classic");
    EXPECT_FALSE(fncDrawThemePart(p, request, context));

    style.setScheme(Scheme::Metallic);
    context.themeName = fncCurrentThemeName(&style);
    EXPECT_EQ(context.themeName, "Metallic");
    request.sClass = "Button";
    EXPECT_FALSE(fncDrawThemePart(p, request, context));
    // A part this scheme does not draw falls back to the classic look too.
    request.sClass = "Explorerbar";
    request.part = 8;
    EXPECT_FALSE(fncDrawThemePart(p, request, context));
    p.end();
    EXPECT_EQ(quiet, (QStringList{"No theme data for class 'Button'.  - 0",
                                  "Failed to draw background for class 'Explorerbar', partId=8, stateId=1"}));
    EXPECT_EQ(count(image, image.rect(), Qt::white), 40 * 40);

    // Captions drawn without the theme's text take the highlight colours.
    style.setScheme(Scheme::NormalColor);
    context.themeName = fncCurrentThemeName(&style);
    context.useUxThemeText = false;
    context.font.setPixelSize(30);
    const struct {
        int part, state;
        QColor text;
    } cases[] = {
        {8, 1, systemColor(13)},
        {8, 2, colorFromOle(SoftColor(oleFromColor(systemColor(13))))},
        {12, 2, systemColor(14)},
    };
    for (const auto& c : cases) {
        QImage caption(200, 40, QImage::Format_RGB32);
        caption.fill(Qt::black);
        QPainter painter(&caption);
        request.part = c.part;
        request.state = c.state;
        request.rect = caption.rect();
        request.text = "IIII";
        request.textOffset = 0;
        ASSERT_TRUE(fncDrawThemePart(painter, request, context));
        painter.end();
        EXPECT_GT(count(caption, caption.rect(), c.text), 20) << c.part << "/" << c.state;
    }
}

// ---- the painted bar in each style -----------------------------------------------------------

TEST_F(PaintedBar, EachStyleDrawsHeadersAndBodiesItsOwnWay)
{
    // Classic outlines bodies and fills headers with system colours, asking the style for nothing.
    bar.show();
    const QImage image = picture();
    EXPECT_EQ(image.pixelColor(2, 2), systemColor(5));             // background
    EXPECT_EQ(image.pixelColor(150, 20), systemColor(13));         // special header
    EXPECT_EQ(image.pixelColor(8, 60), systemColor(13));           // special body outline
    EXPECT_EQ(image.pixelColor(12, 60), systemColor(5));           // no fill inside it
    EXPECT_EQ(image.pixelColor(12, 150), systemColor(15));         // normal header
    EXPECT_EQ(image.pixelColor(8, 170), systemColor(15));          // normal body outline
    // The expanded normal group's chevron points up, in button text on the header.
    EXPECT_EQ(image.pixelColor(168 + 12, 138 + 8), systemColor(18));
    EXPECT_EQ(style.parts, QVector<int>{});

    // Metallic and HomeStead draw their own header gradients.
    const struct {
        Scheme scheme;
        QColor from, to, body;
    } cases[] = {
        {Scheme::Metallic, Qt::white, QColor(214, 215, 224), QColor(240, 241, 245)},
        {Scheme::HomeStead, QColor(255, 252, 236), QColor(224, 231, 184), QColor(246, 246, 236)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.scheme));
        style.parts.clear();
        style.setScheme(c.scheme);
        const QImage themed = picture();
        EXPECT_NEAR_COLOR(themed.pixelColor(9, 150), c.from);
        EXPECT_NEAR_COLOR(themed.pixelColor(191, 150), c.to);
        EXPECT_EQ(themed.pixelColor(12, 170), c.body);
        EXPECT_EQ(themed.pixelColor(12, 45), c.body);
        // Only the background comes from the style, and for HomeStead the special header too.
        EXPECT_TRUE(style.parts.contains(1));
        EXPECT_FALSE(style.parts.contains(8));
        EXPECT_EQ(style.parts.contains(12), c.scheme == Scheme::HomeStead);
    }
    style.setScheme(Scheme::Metallic);
    EXPECT_NEAR_COLOR(at(9, 28), QColor(119, 119, 146));
    EXPECT_NEAR_COLOR(at(191, 28), QColor(180, 182, 199));

    // The blue style draws every part through the style: its special header dark on the left, its
    // normal ones white, its bodies flat fills.
    style.parts.clear();
    style.setScheme(Scheme::NormalColor);
    const QImage blue = picture();
    for (int part : {1, 5, 6, 8, 9, 10, 12}) EXPECT_TRUE(style.parts.contains(part)) << part;
    EXPECT_GT(blue.pixelColor(12, 28).blue(), 150);
    EXPECT_LT(blue.pixelColor(12, 28).red(), 60);
    EXPECT_NEAR_COLOR(blue.pixelColor(9, 150), Qt::white);
    EXPECT_EQ(blue.pixelColor(12, 168), blue.pixelColor(12, 178));
    EXPECT_NE(blue.pixelColor(12, 168), blue.pixelColor(12, 60));
}

TEST_F(PaintedBar, ItemsGoHotWhenHoveredAndHeadersShowTheirState)
{
    // Underlined captions show their colour on the underline; the bar's items are black at rest.
    bar.show();
    const QRect rotate(40, 50, 100, 16);
    EXPECT_EQ(count(picture(), rotate, systemColor(13)), 0);
    EXPECT_GT(count(picture(), rotate, systemColor(18)), 5);
    move({30, 55});
    EXPECT_GT(count(picture(), rotate, systemColor(13)), 5);
    EXPECT_EQ(count(picture(), rotate, systemColor(18)), 0);

    // The classic chevron frame: flat at rest, raised when hot, sunk while pressed.
    const QPoint frameBottom(168 + 6, 138 + 20);
    EXPECT_EQ(at(frameBottom.x(), frameBottom.y()), systemColor(15));
    move({100, 150});
    EXPECT_EQ(at(frameBottom.x(), frameBottom.y()), systemColor(16));
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(100, 150));
    EXPECT_EQ(at(frameBottom.x(), frameBottom.y()), systemColor(20));
}

TEST_F(PaintedBar, AnIconOutsideTheListDrawsTheCaptionAlone)
{
    ImageList icons;
    icons.Add("red", filled(Qt::red));
    bar.SetImageList(&icons);
    bar.AddItem("Dialog", "Good", "Good", EbRef("red"));
    bar.AddItem("Dialog", "Bad", "Bad", EbRef(7));
    bar.show();
    const QImage image = picture();
    EXPECT_EQ(count(image, QRect(20, 172, 16, 16), Qt::red), 256);
    EXPECT_EQ(count(image, QRect(20, 194, 16, 16), Qt::red), 0);
    EXPECT_GT(count(image, QRect(40, 194, 60, 16), systemColor(18)), 5);
}

// ---- the widget ------------------------------------------------------------------------------

TEST_F(ExplorerBarWidget, ClicksReportItemsAndToggleGroupsAndAHandlerMayUndoIt)
{
    bar.AddItem(2, "Undo", "Undo last"); // "Editing" item at 234..248
    bar.show();
    QSignalSpy clicks(&bar, &ExplorerBar::ItemClick);
    QSignalSpy groupClicks(&bar, &ExplorerBar::GroupClick);

    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(30, 80));
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(30, 240));
    // Where the press happened does not matter, only the release.
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(100, 5));
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(30, 57));
    // Other buttons click nothing; nor does the left edge of an item.
    QTest::mouseClick(&bar, Qt::RightButton, {}, QPoint(30, 57));
    QTest::mouseClick(&bar, Qt::MiddleButton, {}, QPoint(30, 57));
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(20, 57));
    ASSERT_EQ(clicks.size(), 3);
    EXPECT_EQ(clicks[0], (QVariantList{"Special Group", "Crop"}));
    EXPECT_EQ(clicks[1], (QVariantList{"Editing", "Undo"}));
    EXPECT_EQ(clicks[2], (QVariantList{"Special Group", "Rotate"}));

    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(100, 28));
    ASSERT_EQ(groupClicks.size(), 1);
    EXPECT_EQ(groupClicks[0], (QVariantList{-1, false}));
    // The groups below move up: "Dialog" is now at 56..80, and the items are gone.
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(30, 100));
    EXPECT_EQ(clicks.size(), 3);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(100, 60));
    ASSERT_EQ(groupClicks.size(), 2);
    EXPECT_EQ(groupClicks[1], (QVariantList{1, false}));

    // A handler that keeps "Dialog" open: the next header stays where an open "Dialog" puts it.
    QObject::connect(&bar, &ExplorerBar::GroupClick, &bar, [this](int group, bool expanded) {
        if (group == 1 && expanded) bar.ExpandGroup(1, false);
    });
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(100, 60));
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(100, 110)); // "Editing" after a closed "Dialog"
    ASSERT_EQ(groupClicks.size(), 4);
    EXPECT_EQ(groupClicks[2], (QVariantList{1, true}));
    EXPECT_EQ(groupClicks[3], (QVariantList{2, false}));
}

TEST_F(ExplorerBarWidget, HoverEventsComeInScanOrderAndTheHandShowsOverElements)
{
    bar.show();
    QStringList log;
    QObject::connect(&bar, &ExplorerBar::ItemHover, [&log](const QString&, const QString& k) { log << "hover " + k; });
    QObject::connect(&bar, &ExplorerBar::ItemOut, [&log](const QString&, const QString& k) { log << "out " + k; });
    QObject::connect(&bar, &ExplorerBar::GroupHover, [&log](const QString& g) { log << "hover " + g; });
    QObject::connect(&bar, &ExplorerBar::GroupOut, [&log](const QString& g) { log << "out " + g; });

    move({30, 100});
    EXPECT_EQ(bar.cursor().shape(), Qt::PointingHandCursor);
    move({30, 79});  // straight up onto the item above
    move({8, 20});   // the header's left edge is not the header
    EXPECT_EQ(bar.cursor().shape(), Qt::ArrowCursor);
    move({9, 16});   // its top edge is
    EXPECT_EQ(log, (QStringList{"hover Resize", "hover Crop", "out Resize", "out Crop", "hover Special Group"}));

    // An item hot when its group closes is left only once it shows again.
    move({30, 79});
    bar.ExpandGroup("Special Group", false);
    move({100, 5});
    EXPECT_EQ(log.mid(5), (QStringList{"out Special Group", "hover Crop"}));
    bar.ExpandGroup("Special Group", true);
    move({100, 6});
    EXPECT_EQ(log.mid(7), QStringList{"out Crop"});
}

TEST_F(ExplorerBarWidget, EnteringAndLeavingAreReportedOnceAndLeavingClearsTheHotElement)
{
    QWidget* hosted = panel(50);
    bar.SetGroupChild("Dialog", hosted);
    bar.show();
    QSignalSpy overs(&bar, &ExplorerBar::MouseOver);
    QSignalSpy outs(&bar, &ExplorerBar::MouseOut);
    QSignalSpy groupOuts(&bar, &ExplorerBar::GroupOut);
    QEnterEvent enter(QPointF(100, 28), QPointF(100, 28), QPointF(100, 28));
    for (int i = 0; i < 2; ++i) QCoreApplication::sendEvent(&bar, &enter);
    move({100, 28});
    QEvent leave(QEvent::Leave);
    for (int i = 0; i < 2; ++i) QCoreApplication::sendEvent(&bar, &leave);
    EXPECT_EQ(overs.size(), 1);
    EXPECT_EQ(outs.size(), 1);
    ASSERT_EQ(groupOuts.size(), 1);
    EXPECT_EQ(groupOuts[0][0].toString(), "Special Group");

    // Going from a header onto a hosted panel takes the hot look off as well.
    move({100, 28});
    QEvent onPanel(QEvent::Enter);
    QCoreApplication::sendEvent(hosted, &onPanel);
    EXPECT_EQ(groupOuts.size(), 2);
    EXPECT_EQ(bar.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ExplorerBarWidget, WheelAndScrollBarScrollTheContent)
{
    for (int i = 0; i < 40; ++i) bar.AddItem("Editing", QString("k%1").arg(i), QString("Item %1").arg(i));
    auto* slider = new QSlider(Qt::Horizontal, panel(50));
    slider->setValue(50);
    bar.SetGroupChild("Dialog", slider->parentWidget());
    bar.show();
    QScrollBar* scroll = bar.scrollBar();
    ASSERT_TRUE(scroll->isVisible());

    wheel(&bar, -120);
    EXPECT_EQ(scroll->value(), 32);
    for (int i = 0; i < 4; ++i) wheel(&bar, -30); // a touchpad's small steps add up
    EXPECT_EQ(scroll->value(), 64);
    wheel(&bar, 120, Qt::ControlModifier);
    EXPECT_EQ(scroll->value(), 64);
    wheel(&bar, 120);
    EXPECT_EQ(scroll->value(), 32);
    wheel(slider, -120); // over a hosted control without focus, the bar scrolls
    EXPECT_EQ(slider->value(), 50);
    EXPECT_EQ(scroll->value(), 64);
    for (int i = 0; i < 100; ++i) wheel(&bar, -120);
    EXPECT_EQ(scroll->value(), scroll->maximum());

    // Clicks land on what is shown: scrolled by 40, "Rotate" sits at 10..24.
    scroll->setValue(40);
    QSignalSpy clicks(&bar, &ExplorerBar::ItemClick);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(30, 17));
    ASSERT_EQ(clicks.size(), 1);
    EXPECT_EQ(clicks[0][1].toString(), "Rotate");

    // Closing the long group while scrolled takes the bar away and the content back to the top.
    scroll->setValue(scroll->maximum());
    bar.ExpandGroup("Editing", false);
    EXPECT_FALSE(scroll->isVisible());
    wheel(&bar, -120);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(30, 57));
    ASSERT_EQ(clicks.size(), 2);
    EXPECT_EQ(clicks[1][1].toString(), "Rotate");
}

TEST_F(ExplorerBarWidget, HostedPanelsAreReparentedPlacedColouredAndGivenBack)
{
    bar.resize(200, 600); // tall enough for both panels without a scroll bar
    QWidget* picDialog = panel(120);
    QWidget* picEditPreview = panel(120);
    picEditPreview->setAutoFillBackground(true);
    auto* label = new QLabel("on the panel", picEditPreview);
    label->move(20, 20);
    auto* check = new QCheckBox("check", picEditPreview);
    check->move(20, 50);
    auto* frame = new QFrame(picEditPreview);
    frame->move(20, 80);
    auto* nested = new QLabel("in a frame", frame);
    const QColor nestedColour = nested->palette().color(QPalette::Window);
    EXPECT_TRUE(bar.SetGroupChild("Dialog", picDialog));
    EXPECT_TRUE(bar.SetGroupChild("Editing", picEditPreview, 2));
    EXPECT_EQ(picDialog->parentWidget(), &bar);
    EXPECT_EQ(picEditPreview->cursor().shape(), Qt::CrossCursor);
    EXPECT_FALSE(bar.SetGroupChild("Nowhere", picDialog));
    EXPECT_FALSE(bar.SetGroupChild(7, picDialog));
    bar.show();
    EXPECT_EQ(picDialog->geometry(), QRect(8, 162, 184, 120));
    // 120 high, less the 10 the header gap gives back, then 12 and 10 to the next header.
    const int top = 162 + 120 + 12 + 24;
    EXPECT_EQ(picEditPreview->geometry(), QRect(8, top, 184, 120));

    QImage image = picture();
    EXPECT_EQ(image.pixelColor(8, top), systemColor(15));      // border
    EXPECT_EQ(image.pixelColor(100, top + 76), systemColor(5)); // face
    EXPECT_EQ(label->palette().color(QPalette::Window), systemColor(5));
    EXPECT_EQ(nested->palette().color(QPalette::Window), nestedColour);
    // Under a themed style the controls take the colour drawn where they sit.
    style.setScheme(Scheme::NormalColor);
    image = picture();
    EXPECT_EQ(check->palette().color(QPalette::Window), image.pixelColor(8 + 4, top + 4));
    EXPECT_NE(check->palette().color(QPalette::Window), systemColor(5));
    EXPECT_EQ(nested->palette().color(QPalette::Window), nestedColour);

    // The panel growing pushes the next group down; a panel follows its header's width and place.
    picDialog->resize(picDialog->width(), 160);
    EXPECT_EQ(picEditPreview->y(), 162 + 160 + 12 + 24);
    bar.resize(260, 600);
    EXPECT_EQ(picEditPreview->geometry(), QRect(8, 162 + 160 + 12 + 24, 244, 120));
    bar.ExpandGroup("Dialog", false);
    EXPECT_EQ(picEditPreview->geometry(), QRect(8, 162 + 22 + 24, 244, 120));
    bar.ExpandGroup("Editing", false);
    EXPECT_FALSE(picEditPreview->isVisible());

    // A second panel for the group replaces the first, which goes home hidden.
    QWidget* replacement = panel(30);
    EXPECT_TRUE(bar.SetGroupChild("Dialog", replacement));
    EXPECT_EQ(picDialog->parentWidget(), &home);
    EXPECT_FALSE(picDialog->isVisibleTo(&home));
    EXPECT_EQ(replacement->parentWidget(), &bar);

    // Clearing gives every panel back, filling its own background again; a bar going away gives
    // back what it still holds.
    bar.ClearStructure();
    EXPECT_EQ(replacement->parentWidget(), &home);
    EXPECT_EQ(picEditPreview->parentWidget(), &home);
    EXPECT_TRUE(picEditPreview->autoFillBackground());
    auto other = std::make_unique<ExplorerBar>();
    other->AddGroup("Dialog", "Options");
    other->SetGroupChild("Dialog", picDialog);
    other.reset();
    EXPECT_EQ(picDialog->parentWidget(), &home);
}

TEST_F(ExplorerBarWidget, APanelDeletedWhileHostedLeavesAWorkingBar)
{
    QWidget* doomed = panel(200);
    QWidget* basket = panel(50);
    bar.SetGroupChild("Dialog", doomed);
    bar.SetGroupChild("Editing", basket);
    bar.show();
    delete doomed;
    QCoreApplication::processEvents();
    // "Dialog" is empty now: its body is 22 high, so "Editing" starts at 200 again.
    EXPECT_EQ(basket->geometry(), QRect(8, 224, 184, 50));
}

TEST_F(ExplorerBarWidget, PaintingIsOffUntilShownAndWhileDisabledTheShownPictureStays)
{
    EXPECT_FALSE(bar.isPaintEnabled());
    bar.show();
    EXPECT_TRUE(bar.isPaintEnabled());
    const QImage before = bar.grab().toImage();
    bar.DisableUpdates(true);
    bar.AddItem("Dialog", "Redo", "Redo");
    bar.ExpandGroup("Special Group", false);
    EXPECT_EQ(bar.grab().toImage(), before);
    bar.DisableUpdates();
    EXPECT_NE(bar.grab().toImage(), before);
    EXPECT_EQ(bar.grab().toImage().pixelColor(8, 45), systemColor(5)); // the special body's outline is gone

    // Clearing keeps painting off; the next show turns it on.
    bar.DisableUpdates(true);
    bar.AddDetailsGroup("Details", "Title", "Some text");
    bar.ClearStructure();
    EXPECT_FALSE(bar.isPaintEnabled());
    bar.hide();
    bar.show();
    EXPECT_TRUE(bar.isPaintEnabled());
}
