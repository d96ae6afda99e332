#include "controls/explorerbar/ExplorerBar.h"
#include "platform/ui/msgbox.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace tf;

namespace {

using Model = ExplorerBarModel;

struct QuietMessages {
    QStringList texts;
    explicit QuietMessages(Model& model)
    {
        model.ignoredErrors = [this](const QString& text) { texts << text; };
    }
};

QPixmap filled(QColor color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return pixmap;
}

// The set-up the main window makes: a task chart and two groups that host panels.
void buildTaskPane(ExplorerBar& bar, ImageList* icons)
{
    bar.DisableUpdates(true);
    bar.ClearStructure();
    bar.SetImageList(icons);
    bar.AddSpecialGroup("Tasks Chart", filled(Qt::blue));
    bar.AddItem("Special Group", "Rotate", "Rotate", EbRef("rotate"));
    bar.AddItem("Special Group", "Crop", "Crop", "crop");
    bar.AddItem("Special Group", "Resize", "Resize");
    bar.AddGroup("Dialog", " Task Options", 1);
    bar.AddGroup("Editing", "Task Basket", 1);
}

QPoint centreOf(const QRect& r) { return r.center(); }

bool isUniform(const QImage& image)
{
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != first) return false;
    return true;
}

} // namespace

// ---- the model without a window --------------------------------------------------------------

TEST(ExplorerBarModel, GroupsAndItemsKeepTheirOrderKeysAndCaptions)
{
    Model m;
    ImageList icons;
    icons.Add("rotate", filled(Qt::red));
    icons.Add("crop", filled(Qt::green));
    m.SetImageList(&icons);
    EXPECT_TRUE(m.AddSpecialGroup("Tasks Chart"));
    EXPECT_TRUE(m.AddItem("Special Group", "Rotate", "Rotate page", EbRef("rotate")));
    EXPECT_TRUE(m.AddItem("Special Group", "Crop", "Crop", EbRef("crop")));
    EXPECT_TRUE(m.AddGroup("Dialog", " Task Options", 1));
    EXPECT_TRUE(m.AddGroup("Editing", "Task Basket", 1));
    EXPECT_TRUE(m.AddItem(2, "Undo", "Undo"));

    EXPECT_EQ(m.shownGroups(), (QVector<int>{-1, 1, 2}));
    const typExplorerBarGroup& special = m.m_SpecialGroup;
    EXPECT_EQ(special.sKey, "Special Group");
    EXPECT_EQ(special.sCaption, "Tasks Chart");
    ASSERT_EQ(special.iItemCount(), 2);
    EXPECT_EQ(special.aItems[0].sKey, "Rotate");
    EXPECT_EQ(special.aItems[0].sCaption, "Rotate page");
    EXPECT_EQ(special.aItems[1].iIndex, 2);
    EXPECT_EQ(special.aItems[1].iIcon, 2);
    EXPECT_EQ(m.m_Groups[0].sCaption, " Task Options");
    EXPECT_TRUE(m.m_Groups[0].bExpanded);
    EXPECT_EQ(m.m_Groups[1].aItems[0].iIcon, -1);

    // Items added before the special group is shown again are still there afterwards.
    m.HideSpecialGroup();
    EXPECT_EQ(m.shownGroups(), (QVector<int>{1, 2}));
    m.AddSpecialGroup("Again");
    EXPECT_EQ(m.m_SpecialGroup.iItemCount(), 2);
    EXPECT_EQ(Model::GetControlVersion(), "1.91");
}

TEST(ExplorerBarModel, GroupLookupByKeyAndNumber)
{
    Model m;
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
    EXPECT_FALSE(m.fncGroupExists(4));
    EXPECT_FALSE(m.fncGroupExists(0));
    EXPECT_FALSE(m.fncGroupExists(-3));

    // A group added under an existing key takes an item only by its number.
    EXPECT_TRUE(m.AddItem("A", "x", "x"));
    EXPECT_TRUE(m.AddItem(3, "y", "y"));
    EXPECT_EQ(m.m_Groups[0].iItemCount(), 1);
    EXPECT_EQ(m.m_Groups[2].iItemCount(), 1);
}

TEST(ExplorerBarModel, ItemsForMissingGroupsAreRefusedWithoutChange)
{
    Model m;
    QuietMessages quiet(m);
    ScriptedMessageBoxes boxes;
    m.AddGroup("Dialog", "Options");
    m.AddDetailsGroup("Details", "Title", "Text");

    EXPECT_FALSE(m.AddItem("Details", "k", "c"));        // the details group holds no items
    EXPECT_FALSE(m.AddItem(5, "k", "c"));                // beyond the last group
    EXPECT_FALSE(m.AddItem(-7, "k", "c"));
    EXPECT_TRUE(quiet.texts.isEmpty());
    EXPECT_FALSE(m.AddItem("Details Group", "k", "c"));  // its stored key is not an address
    EXPECT_FALSE(m.AddItem("Nowhere", "k", "c"));
    EXPECT_FALSE(m.AddItem(0, "k", "c"));
    EXPECT_EQ(quiet.texts, (QStringList{"Can't assign items to the Especified group",
                                        "Can't assign items to the Especified group",
                                        "The group '0' doesn't exist"}));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(m.m_Groups[0].iItemCount(), 0);
    EXPECT_EQ(m.m_DetailsGroup.iItemCount(), 0);
    EXPECT_EQ(m.m_SpecialGroup.iItemCount(), 0);

    // Members that take a group refuse numbers out of range and leave the state alone.
    EXPECT_FALSE(m.ClearGroup(2));
    EXPECT_FALSE(m.ClearGroup("Details"));
    EXPECT_FALSE(m.ExpandGroup(0));
    EXPECT_FALSE(m.ExpandGroup("Nowhere"));
    EXPECT_FALSE(m.SetGroupCaption(9, "x"));
    QWidget panel;
    EXPECT_FALSE(m.SetGroupChild("Details", &panel));
    EXPECT_FALSE(m.SetGroupChild(2, &panel));
    EXPECT_EQ(m.m_Groups[0].sCaption, "Options");
    EXPECT_EQ(m.m_Groups[0].pChild, nullptr);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST(ExplorerBarModel, IconLookupMessagesGoToTheBoxOrTheQuietSink)
{
    Model m;
    QuietMessages quiet(m);
    ScriptedMessageBoxes boxes;
    m.AddGroup("G", "G");

    // No list at all.
    EXPECT_TRUE(m.AddItem("G", "a", "a", EbRef("x")));
    EXPECT_EQ(m.m_Groups[0].aItems[0].iIcon, -1);
    EXPECT_EQ(quiet.texts, QStringList{"No Defined Imagelist"});

    auto icons = std::make_unique<ImageList>();
    icons->Add("one", filled(Qt::red));
    icons->Add("two", filled(Qt::green));
    m.SetImageList(icons.get());
    quiet.texts.clear();

    EXPECT_EQ(m.GetIconIndex("two"), 2);
    EXPECT_EQ(m.GetIconIndex(1), 1);
    EXPECT_EQ(m.GetIconIndex(0), -1);
    EXPECT_EQ(m.GetIconIndex(3), -1);
    EXPECT_EQ(quiet.texts, (QStringList{"GetIconIndex: invalid Image Index!", "GetIconIndex: invalid Image Index!"}));
    EXPECT_TRUE(boxes.shown().empty());

    // A missing key is shown to the user, and the item still comes, without an icon.
    EXPECT_TRUE(m.AddItem("G", "b", "b", EbRef("three")));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, "An Error has ocurred!\nGetIconIndex: icon with key three doesn't exist!");
    EXPECT_EQ(boxes.shown()[0].title, "ExplorerBar");
    EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);
    EXPECT_EQ(m.m_Groups[0].aItems[1].iIcon, -1);

    // A list that goes away is a missing list, not a dangling one.
    icons.reset();
    quiet.texts.clear();
    EXPECT_EQ(m.GetIconIndex("one"), -1);
    EXPECT_EQ(quiet.texts, QStringList{"No Defined Imagelist"});
}

TEST(ExplorerBarModel, ExpandCaptionClearAndItemChanges)
{
    Model m;
    ScriptedMessageBoxes boxes;
    ImageList icons;
    icons.Add("one", filled(Qt::red));
    m.SetImageList(&icons);
    m.AddSpecialGroup("Tasks Chart");
    m.AddItem("Special Group", "Crop", "Crop");
    m.AddGroup("Dialog", " Task Options");
    m.AddGroup("Empty", "Nothing here");

    EXPECT_TRUE(m.ExpandGroup("Special Group"));
    EXPECT_FALSE(m.m_SpecialGroup.bExpanded);
    EXPECT_TRUE(m.ExpandGroup("Special Group"));
    EXPECT_TRUE(m.m_SpecialGroup.bExpanded);
    EXPECT_TRUE(m.ExpandGroup(1, false));
    EXPECT_TRUE(m.ExpandGroup(1, false));
    EXPECT_FALSE(m.m_Groups[0].bExpanded);

    EXPECT_TRUE(m.SetGroupCaption("Dialog", "Rotate Options"));
    EXPECT_EQ(m.m_Groups[0].sCaption, "Rotate Options");
    EXPECT_FALSE(m.SetGroupCaption("dialog", "lower case"));
    EXPECT_EQ(m.m_Groups[0].sCaption, "Rotate Options");
    EXPECT_TRUE(m.SetGroupCaption("Special Group", "Chart"));
    EXPECT_EQ(m.m_SpecialGroup.sCaption, "Chart");

    EXPECT_TRUE(m.SetItemText("Special Group", "Crop", "Crop page"));
    EXPECT_TRUE(m.SetItemIcon("Special Group", 1, "one"));
    EXPECT_EQ(m.m_SpecialGroup.aItems[0].sCaption, "Crop page");
    EXPECT_EQ(m.m_SpecialGroup.aItems[0].iIcon, 1);
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
    EXPECT_EQ(m.m_SpecialGroup.aItems[0].sCaption, "Crop page");

    // Emptying the special group keeps it on show with an empty body.
    EXPECT_TRUE(m.ClearGroup("Special Group"));
    EXPECT_EQ(m.m_SpecialGroup.iItemCount(), 0);
    EXPECT_EQ(m.shownGroups().first(), Model::kSpecialGroup);
}

TEST(ExplorerBarModel, LayoutStacksGroupsAndHitTestFindsThem)
{
    Model m;
    m.AddSpecialGroup("Tasks Chart");
    for (const char* key : {"a", "b", "c"}) m.AddItem("Special Group", key, key);
    m.AddGroup("G", "Second");
    m.AddItem("G", "d", "d");
    const QFont font("DejaVu Sans", 9);
    const int total = ebLayout(m, 200, 0, font);

    const typExplorerBarGroup& special = m.m_SpecialGroup;
    const typExplorerBarGroup& second = m.m_Groups[0];
    EXPECT_LT(special.rcHeader.bottom(), special.aItems[0].rcItem.top());
    EXPECT_LE(special.aItems[0].rcItem.bottom(), special.aItems[1].rcItem.top());
    EXPECT_LT(special.aItems[2].rcItem.bottom(), second.rcHeader.top());
    EXPECT_GT(total, second.aItems[0].rcItem.bottom());
    EXPECT_LE(special.rcHeader.right(), 200);

    EXPECT_EQ(ebHitTest(m, special.aItems[1].rcItem.center()), (EbHit{-1, 2}));
    EXPECT_EQ(ebHitTest(m, second.rcHeader.center()), (EbHit{1, 0}));
    EXPECT_TRUE(ebHitTest(m, QPoint(1, 1)).isNothing());

    // Collapsed items have no place; scrolling moves everything up.
    m.ExpandGroup("Special Group", false);
    const int collapsedTotal = ebLayout(m, 200, 0, font);
    EXPECT_LT(collapsedTotal, total);
    EXPECT_TRUE(special.aItems[0].rcItem.isNull());
    const int headerTop = second.rcHeader.top();
    ebLayout(m, 200, 10, font);
    EXPECT_EQ(second.rcHeader.top(), headerTop - 10);

    Model empty;
    EXPECT_EQ(ebLayout(empty, 200, 0, font), 0);
}

// ---- the widget ------------------------------------------------------------------------------

class ExplorerBarWidget : public ::testing::Test {
protected:
    void SetUp() override
    {
        icons.Add("rotate", filled(Qt::red));
        icons.Add("crop", filled(Qt::green));
        bar.setObjectName("eb");
        bar.resize(220, 500);
        buildTaskPane(bar, &icons);
    }
    const typExplorerBarGroup& special() const { return bar.model().m_SpecialGroup; }
    const typExplorerBarGroup& group(int n) const { return bar.model().m_Groups[n - 1]; }

    ImageList icons;
    ExplorerBar bar;
};

TEST_F(ExplorerBarWidget, ClickOnAnItemRaisesItsGroupKeyAndItemKey)
{
    bar.AddItem(2, "Undo", "Undo last");
    bar.show();
    QSignalSpy clicks(&bar, &ExplorerBar::ItemClick);

    QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(special().aItems[1].rcItem));
    ASSERT_EQ(clicks.size(), 1);
    EXPECT_EQ(clicks[0][0].toString(), "Special Group");
    EXPECT_EQ(clicks[0][1].toString(), "Crop");

    // An item added by group number reports that group's key.
    QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(group(2).aItems[0].rcItem));
    ASSERT_EQ(clicks.size(), 2);
    EXPECT_EQ(clicks[1][0].toString(), "Editing");
    EXPECT_EQ(clicks[1][1].toString(), "Undo");

    // Pressed on one item and released on another is no click; nor is the right button.
    QTest::mousePress(&bar, Qt::LeftButton, {}, centreOf(special().aItems[0].rcItem));
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, centreOf(special().aItems[2].rcItem));
    QTest::mouseClick(&bar, Qt::RightButton, {}, centreOf(special().aItems[0].rcItem));
    EXPECT_EQ(clicks.size(), 2);
}

TEST_F(ExplorerBarWidget, HeaderClickTogglesTheGroupAndReportsIt)
{
    bar.show();
    QSignalSpy groupClicks(&bar, &ExplorerBar::GroupClick);
    QSignalSpy itemClicks(&bar, &ExplorerBar::ItemClick);
    const QPoint itemPlace = centreOf(special().aItems[0].rcItem);
    const int dialogTop = group(1).rcHeader.top();

    QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(special().rcHeader));
    ASSERT_EQ(groupClicks.size(), 1);
    EXPECT_EQ(groupClicks[0][0].toInt(), -1);
    EXPECT_FALSE(groupClicks[0][1].toBool());
    EXPECT_LT(group(1).rcHeader.top(), dialogTop); // the groups below move up

    // A collapsed group's items cannot be clicked.
    EXPECT_TRUE(special().aItems[0].rcItem.isNull());
    EXPECT_NE(ebHitTest(bar.model(), itemPlace).group, -1);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(bar.width() / 2, bar.height() - 2));
    EXPECT_EQ(itemClicks.size(), 0);
    EXPECT_EQ(groupClicks.size(), 1);

    QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(special().rcHeader));
    ASSERT_EQ(groupClicks.size(), 2);
    EXPECT_TRUE(groupClicks[1][1].toBool());
    EXPECT_EQ(group(1).rcHeader.top(), dialogTop);
}

TEST_F(ExplorerBarWidget, HostedPanelsAreReparentedPlacedAndGivenBack)
{
    QWidget home;
    auto* picDialog = new QWidget(&home);
    picDialog->setObjectName("picDialog");
    picDialog->resize(150, 120);
    auto* picEditPreview = new QWidget(&home);
    picEditPreview->resize(150, 90);

    EXPECT_TRUE(bar.SetGroupChild("Dialog", picDialog));
    EXPECT_TRUE(bar.SetGroupChild("Editing", picEditPreview, 2));
    EXPECT_EQ(picDialog->parentWidget(), &bar);
    EXPECT_EQ(picEditPreview->cursor().shape(), Qt::CrossCursor);
    EXPECT_FALSE(bar.SetGroupChild("Nowhere", picDialog));
    EXPECT_EQ(picDialog->parentWidget(), &bar);
    bar.show();

    // The panel is the group's body: right under its header, as wide as the group, own height.
    const typExplorerBarGroup& dialog = group(1);
    EXPECT_TRUE(picDialog->isVisible());
    EXPECT_EQ(picDialog->geometry().top(), dialog.rcHeader.bottom() + 1);
    EXPECT_EQ(picDialog->geometry().left(), dialog.rcHeader.left());
    EXPECT_EQ(picDialog->width(), dialog.rcHeader.width());
    EXPECT_EQ(picDialog->height(), 120);
    EXPECT_LT(picDialog->geometry().bottom(), group(2).rcHeader.top());

    // The panel growing pushes the next group down; collapsing hides it.
    const int editingTop = group(2).rcHeader.top();
    picDialog->resize(picDialog->width(), 160);
    EXPECT_EQ(group(2).rcHeader.top(), editingTop + 40);
    bar.ExpandGroup("Dialog", false);
    EXPECT_FALSE(picDialog->isVisible());
    bar.ExpandGroup("Dialog", true);
    EXPECT_TRUE(picDialog->isVisible());

    // A second panel for the group replaces the first, which goes home hidden.
    QWidget* replacement = new QWidget(&home);
    replacement->resize(10, 30);
    EXPECT_TRUE(bar.SetGroupChild("Dialog", replacement));
    EXPECT_EQ(picDialog->parentWidget(), &home);
    EXPECT_FALSE(picDialog->isVisibleTo(&home));
    EXPECT_EQ(replacement->parentWidget(), &bar);
    EXPECT_EQ(group(1).pChild, replacement);

    // Clearing gives every panel back; the bar going away gives back what it still holds.
    bar.ClearStructure();
    EXPECT_EQ(replacement->parentWidget(), &home);
    EXPECT_EQ(picEditPreview->parentWidget(), &home);
    EXPECT_EQ(bar.model().groupCount(), 0);

    auto other = std::make_unique<ExplorerBar>();
    other->AddGroup("Dialog", "Options");
    other->SetGroupChild("Dialog", picDialog);
    other.reset();
    ASSERT_EQ(home.findChildren<QWidget*>().size(), 3);
    EXPECT_EQ(picDialog->parentWidget(), &home);
}

TEST_F(ExplorerBarWidget, APanelDeletedWhileHostedLeavesAWorkingBar)
{
    auto* panel = new QWidget;
    panel->resize(100, 200);
    bar.SetGroupChild("Dialog", panel);
    bar.show();
    const int editingTop = group(2).rcHeader.top();
    delete panel;
    QCoreApplication::processEvents();
    EXPECT_EQ(group(1).pChild, nullptr);
    EXPECT_LT(group(2).rcHeader.top(), editingTop);
    bar.ClearStructure();
    EXPECT_FALSE(bar.grab().isNull());
}

TEST_F(ExplorerBarWidget, NothingIsPaintedWhileUpdatesAreDisabled)
{
    // Built with painting off, the bar stays blank until it is shown.
    EXPECT_FALSE(bar.isPaintEnabled());
    EXPECT_TRUE(isUniform(bar.grab().toImage()));
    bar.show();
    EXPECT_TRUE(bar.isPaintEnabled());
    EXPECT_FALSE(isUniform(bar.grab().toImage()));

    bar.DisableUpdates(true);
    bar.AddItem("Special Group", "Flip", "Flip");
    EXPECT_TRUE(isUniform(bar.grab().toImage()));

    // Clearing empties every group and paints the empty bar once, but leaves painting off.
    bar.AddDetailsGroup("Details", "Title", "Some text");
    bar.ClearStructure();
    EXPECT_FALSE(bar.isPaintEnabled());
    EXPECT_TRUE(bar.model().shownGroups().isEmpty());
    EXPECT_EQ(special().iItemCount(), 0);

    bar.AddSpecialGroup("Tasks Chart");
    bar.DisableUpdates();
    EXPECT_FALSE(isUniform(bar.grab().toImage()));

    bar.DisableUpdates(true);
    bar.hide();
    bar.show();
    EXPECT_TRUE(bar.isPaintEnabled());
}

TEST_F(ExplorerBarWidget, TallContentScrollsAndClicksFollowTheScroll)
{
    for (int i = 0; i < 40; ++i) bar.AddItem("Editing", QString("k%1").arg(i), QString("Item %1").arg(i));
    bar.resize(220, 300);
    bar.show();
    QScrollBar* scroll = bar.scrollBar();
    ASSERT_TRUE(scroll->isVisible());
    EXPECT_GT(scroll->maximum(), 0);
    EXPECT_LE(group(2).rcHeader.right(), bar.width() - scroll->width());

    scroll->setValue(scroll->maximum());
    const typExplorerBarItem& last = group(2).aItems.last();
    EXPECT_LE(last.rcItem.bottom(), bar.height());
    QSignalSpy clicks(&bar, &ExplorerBar::ItemClick);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(last.rcItem));
    ASSERT_EQ(clicks.size(), 1);
    EXPECT_EQ(clicks[0][1].toString(), "k39");

    // Collapsing the long group removes the need to scroll.
    bar.ExpandGroup("Editing", false);
    EXPECT_FALSE(scroll->isVisible());
    EXPECT_EQ(bar.model().m_iScrollValue, 0);
}

TEST_F(ExplorerBarWidget, HoverRaisesHoverAndOutEvents)
{
    bar.show();
    QSignalSpy hovers(&bar, &ExplorerBar::ItemHover);
    QSignalSpy outs(&bar, &ExplorerBar::ItemOut);
    QSignalSpy groupHovers(&bar, &ExplorerBar::GroupHover);
    QTest::mouseMove(&bar, centreOf(special().aItems[0].rcItem));
    QTest::mouseMove(&bar, centreOf(special().aItems[1].rcItem));
    QTest::mouseMove(&bar, centreOf(group(1).rcHeader));
    ASSERT_EQ(hovers.size(), 2);
    EXPECT_EQ(hovers[1][1].toString(), "Crop");
    ASSERT_EQ(outs.size(), 2);
    EXPECT_EQ(outs[0][1].toString(), "Rotate");
    ASSERT_EQ(groupHovers.size(), 1);
    EXPECT_EQ(groupHovers[0][0].toString(), "Dialog");
    EXPECT_TRUE(group(1).bHover);
}
