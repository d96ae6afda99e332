#include "controls/explorerbar/ExplorerBar.h"
#include "explorerbar_testutil.h"
#include "platform/theme/visualstyle.h"
#include "platform/ui/msgbox.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace tf;
using tf::testing::filled;

namespace {

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

// ---- the widget ------------------------------------------------------------------------------

// The task pane 200 x 400 with fixed text measures. Special header 16..40 with items Rotate
// 50..64, Crop 72..86, Resize 94..108; "Dialog" header 138..162; "Editing" header 200..224.
class ExplorerBarWidget : public ::testing::Test {
protected:
    // The set-up the main window makes: a task chart and two groups that host panels.
    void SetUp() override
    {
        icons.Add("rotate", filled(Qt::red));
        icons.Add("crop", filled(Qt::green));
        bar.setObjectName("eb");
        bar.setVisualStyle(&style);
        bar.setTextMetrics(std::make_shared<tf::testing::FakeMetrics>());
        bar.resize(200, 400);
        bar.DisableUpdates(true);
        bar.ClearStructure();
        bar.SetImageList(&icons);
        bar.AddSpecialGroup("Tasks Chart", filled(Qt::blue));
        bar.AddItem("Special Group", "Rotate", "Rotate", EbRef("rotate"));
        bar.AddItem("Special Group", "Crop", "Crop", "crop");
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

    VisualStyle style;
    ImageList icons;
    QWidget home;
    ExplorerBar bar;
};

TEST_F(ExplorerBarWidget, ItemClicksReportTheGroupKeyAndItemKey)
{
    bar.AddItem(2, "Undo", "Undo last"); // "Editing" item at 234..248
    bar.show();
    QSignalSpy clicks(&bar, &ExplorerBar::ItemClick);

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
}

TEST_F(ExplorerBarWidget, HeaderClicksToggleGroupsAndAHandlerMayUndoIt)
{
    bar.show();
    QSignalSpy groupClicks(&bar, &ExplorerBar::GroupClick);
    QSignalSpy itemClicks(&bar, &ExplorerBar::ItemClick);

    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(100, 28));
    ASSERT_EQ(groupClicks.size(), 1);
    EXPECT_EQ(groupClicks[0], (QVariantList{-1, false}));
    // The groups below move up: "Dialog" is now at 56..80, and the items are gone.
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(30, 100));
    EXPECT_EQ(itemClicks.size(), 0);
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
    for (int i = 0; i < 2; ++i) {
        QEnterEvent enter(QPointF(100, 28), QPointF(100, 28), QPointF(100, 28));
        QCoreApplication::sendEvent(&bar, &enter);
    }
    move({100, 28});
    for (int i = 0; i < 2; ++i) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&bar, &leave);
    }
    EXPECT_EQ(overs.size(), 1);
    EXPECT_EQ(outs.size(), 1);
    ASSERT_EQ(groupOuts.size(), 1);
    EXPECT_EQ(groupOuts[0][0].toString(), "Special Group");

    // Going from a header onto a hosted panel takes the hot look off as well.
    move({100, 28});
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(hosted, &enter);
    EXPECT_EQ(groupOuts.size(), 2);
    EXPECT_EQ(bar.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ExplorerBarWidget, WheelAndScrollBarScrollTheContent)
{
    for (int i = 0; i < 40; ++i) bar.AddItem("Editing", QString("k%1").arg(i), QString("Item %1").arg(i));
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

TEST_F(ExplorerBarWidget, HostedPanelsAreReparentedPlacedAndGivenBack)
{
    QWidget* picDialog = panel(120);
    QWidget* picEditPreview = panel(60);
    EXPECT_TRUE(bar.SetGroupChild("Dialog", picDialog));
    EXPECT_TRUE(bar.SetGroupChild("Editing", picEditPreview, 2));
    EXPECT_EQ(picDialog->parentWidget(), &bar);
    EXPECT_EQ(picEditPreview->cursor().shape(), Qt::CrossCursor);
    EXPECT_FALSE(bar.SetGroupChild("Nowhere", picDialog));
    EXPECT_FALSE(bar.SetGroupChild(7, picDialog));
    bar.show();
    EXPECT_EQ(picDialog->geometry(), QRect(8, 162, 184, 120));
    // 120 high, less the 10 the header gap gives back, then 12 and 10 to the next header.
    EXPECT_EQ(picEditPreview->geometry(), QRect(8, 162 + 120 + 12 + 24, 184, 60));

    // The panel growing pushes the next group down.
    picDialog->resize(picDialog->width(), 160);
    EXPECT_EQ(picEditPreview->y(), 162 + 160 + 12 + 24);

    // A second panel for the group replaces the first, which goes home hidden.
    QWidget* replacement = panel(30);
    EXPECT_TRUE(bar.SetGroupChild("Dialog", replacement));
    EXPECT_EQ(picDialog->parentWidget(), &home);
    EXPECT_FALSE(picDialog->isVisibleTo(&home));
    EXPECT_EQ(replacement->parentWidget(), &bar);

    // Clearing gives every panel back; a bar going away gives back what it still holds.
    bar.ClearStructure();
    EXPECT_EQ(replacement->parentWidget(), &home);
    EXPECT_EQ(picEditPreview->parentWidget(), &home);
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

TEST_F(ExplorerBarWidget, WheelOverAnUnfocusedSliderScrollsTheBar)
{
    auto* slider = new QSlider(Qt::Horizontal, panel(600));
    slider->setRange(0, 100);
    slider->setValue(50);
    bar.SetGroupChild("Dialog", slider->parentWidget());
    bar.show();
    ASSERT_TRUE(bar.scrollBar()->isVisible());
    wheel(slider, -120);
    EXPECT_EQ(slider->value(), 50);
    EXPECT_EQ(bar.scrollBar()->value(), 32);
}

TEST_F(ExplorerBarWidget, PaintingIsOffUntilShownAndClearingKeepsItOff)
{
    EXPECT_FALSE(bar.isPaintEnabled());
    bar.show();
    EXPECT_TRUE(bar.isPaintEnabled());
    bar.DisableUpdates(true);
    bar.AddDetailsGroup("Details", "Title", "Some text");
    bar.ClearStructure();
    EXPECT_FALSE(bar.isPaintEnabled());
    bar.hide();
    bar.show();
    EXPECT_TRUE(bar.isPaintEnabled());
}
