#include "platform/ui/listview.h"

#include <gtest/gtest.h>

using tf::ImageList;
using tf::ListView;

TEST(ListViewRows, AreAddressedFromOneAndKeepTagsSubItemsAndIcons)
{
    ListView lv;
    lv.setColumnHeaders({"File Name", "Resolution", "Size"});
    ImageList images{QSize()};
    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(Qt::red);
    images.Add(red);
    lv.setSmallIcons(&images);
    QTreeWidgetItem* a = lv.AddItem("a", 1);
    QTreeWidgetItem* c = lv.AddItem("c", 0);
    QTreeWidgetItem* b = lv.InsertItem(2, "b");
    ListView::setTag(a, "/x/a.tif");
    ListView::setSubItem(a, 2, "1.00KB");
    EXPECT_EQ(lv.Count(), 3);
    EXPECT_EQ(lv.Item(2), b);
    EXPECT_EQ(lv.Index(c), 3);
    EXPECT_EQ(lv.Item(0), nullptr);
    EXPECT_EQ(lv.Item(4), nullptr);
    EXPECT_EQ(ListView::Tag(a), "/x/a.tif");
    EXPECT_EQ(ListView::SubItem(a, 2), "1.00KB");
    EXPECT_FALSE(a->icon(0).isNull());
    EXPECT_TRUE(c->icon(0).isNull());
    lv.setSmallIcons(nullptr);
    EXPECT_TRUE(a->icon(0).isNull()) << "detaching the image list removes the pictures";
    EXPECT_EQ(ListView::SmallIcon(a), 1) << "but each row keeps its index";
    lv.RemoveItem(1);
    EXPECT_EQ(lv.Item(1), b);
}

TEST(ListViewRows, SelectionInOrder)
{
    ListView lv;
    lv.setColumnHeaders({"Name", "Size"});
    for (const char* n : {"delta", "Alpha", "charlie", "bravo"}) ListView::setSubItem(lv.AddItem(n), 1, QString::number(qstrlen(n)));
    lv.Item(3)->setSelected(true);
    lv.Item(1)->setSelected(true);
    const auto sel = lv.selectedInOrder();
    ASSERT_EQ(sel.size(), 2);
    EXPECT_EQ(sel[0]->text(0), "delta");
    EXPECT_EQ(lv.SelectedItem()->text(0), "delta");
    lv.deselectAll();
    EXPECT_EQ(lv.SelectedItem(), nullptr);
}

#include "platform/ui/statusbar.h"

#include <QApplication>

TEST(StatusPanels, AreAddressedByKey)
{
    tf::StatusBar bar;
    bar.addPanel("folder", 100, 1);
    bar.addPanel("queue");
    bar.addPanel("queue"); // a second panel with the same key would split the texts
    bar.setPanelText("queue", "3 file(s) in basket");
    bar.setPanelText("nowhere", "ignored");
    EXPECT_EQ(bar.panelText("queue"), "3 file(s) in basket");
    EXPECT_EQ(bar.panelText("folder"), "");
    EXPECT_EQ(bar.panelText("nowhere"), "");
    EXPECT_EQ(bar.findChildren<QLabel*>("queue").size(), 1);
}

TEST(StatusPanels, ExactTextsAreShownWholeAndOnlyTheSpringPanelGivesWay)
{
    tf::StatusBar bar;
    bar.addPanel("name", 60);
    bar.addPanel("resolution", 60);
    bar.addPanel("folder", 80, 1);
    bar.resize(700, 24);
    bar.show();
    bar.setPanelText("folder", "Current Folder - /a/folder/whose/path/is/longer/than/the/room/left/for/it/in/the/bar");
    bar.setPanelText("resolution", "1600 X 1200 X 24     2.25MB");
    bar.setPanelText("name", "a.png");
    bar.setPanelPicture("name", QPixmap(16, 16));
    QApplication::processEvents();
    for (const char* key : {"name", "resolution"}) {
        const QLabel* label = bar.panel(key);
        EXPECT_GE(label->width(), label->sizeHint().width()) << key;
    }
    EXPECT_LT(bar.panel("folder")->width(), bar.panel("folder")->sizeHint().width());
    EXPECT_GE(bar.panel("folder")->parentWidget()->width(), 80);

    // A shorter text gives the room back; the panel keeps its own minimum.
    bar.setPanelText("resolution", "");
    QApplication::processEvents();
    EXPECT_EQ(bar.panel("resolution")->parentWidget()->width(), 60);
}

TEST(StatusPanels, GiveWayInProportionWhenTheBarIsTooNarrowAndNeverOverlap)
{
    QWidget window;
    tf::StatusBar bar(&window);
    bar.addPanel("filename", 140);
    bar.addPanel("queue", 140);
    bar.addPanel("folder", 160, 1);
    bar.addPanel("status", 64);
    bar.setPanelText("filename", "a rather long file name.jpg");
    bar.setPanelText("queue", "12 file(s) in basket");
    bar.setPanelText("folder", "Current Folder - /home/alice/Pictures/Holiday 2026");
    bar.setPanelText("status", "43%");
    window.show();
    for (int width : {300, 533, 1280}) {
        bar.setGeometry(0, 0, width, 24);
        QApplication::processEvents();
        QList<QRect> boxes;
        for (const char* key : {"filename", "queue", "folder", "status"})
            boxes << bar.findChild<QWidget*>(QStringLiteral("panel_") + key)->geometry();
        for (int i = 0; i + 1 < boxes.size(); ++i)
            EXPECT_LE(boxes[i].right(), boxes[i + 1].left()) << "panels " << i << " and " << i + 1 << " at width " << width;
        EXPECT_LE(boxes.last().right(), width) << width;
    }
    // With room to spare the texts are whole again.
    EXPECT_GE(bar.panel("queue")->width(), QFontMetrics(bar.panel("queue")->font()).horizontalAdvance("12 file(s) in basket"));
}

TEST(StatusPanels, ACappedPanelShortensALongTextAndLeavesTheOthersTheirRoom)
{
    QWidget window;
    tf::StatusBar bar(&window);
    bar.addPanel("filename", 140, 0, 280);
    bar.addPanel("resolution", 130);
    bar.addPanel("folder", 160, 1);
    bar.setPanelText("resolution", "1600 X 1200 X 24     2.25MB");
    bar.setPanelText("folder", "Current Folder - /home/alice");
    bar.setGeometry(0, 0, 1000, 24);
    window.show();
    const struct {
        const char* what;
        QString name;
        bool shortened;
    } cases[] = {
        {"a short name", "a.png", false},
        {"a name of 300 characters", QString(296, QLatin1Char('n')) + ".jpg", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bar.setPanelText("filename", c.name);
        QApplication::processEvents();
        auto* name = static_cast<tf::ElidingLabel*>(bar.panel("filename"));
        EXPECT_EQ(name->text(), c.name) << "the panel keeps the whole name";
        EXPECT_LE(name->parentWidget()->width(), 280);
        EXPECT_EQ(name->shownText() != c.name, c.shortened);
        if (c.shortened) {
            EXPECT_TRUE(name->shownText().endsWith(".jpg")) << "the extension stays readable";
            EXPECT_EQ(name->toolTip(), c.name);
        }
        const QLabel* resolution = bar.panel("resolution");
        EXPECT_GE(resolution->width(), resolution->sizeHint().width());
        EXPECT_GE(bar.panel("folder")->parentWidget()->width(), 160);
    }
}

TEST(StatusPanels, ShortenedTextsGiveWayBeforeExactOnesAreCut)
{
    QWidget window;
    tf::StatusBar bar(&window);
    bar.addPanel("filename", 140, 0, 280);
    bar.addPanel("pages", 70);
    bar.addPanel("resolution", 130);
    bar.addPanel("folder", 160, 1);
    bar.setPanelText("filename", "a photograph with a long name.jpg");
    bar.setPanelText("pages", "1 page(s)");
    bar.setPanelText("resolution", "4960 X 7016 X 24     12.5MB (13,107,200 bytes)");
    bar.setPanelText("folder", "Current Folder - /home/alice/Pictures/Holiday 2026");
    window.show();
    const auto shown = [&](const char* key) { return static_cast<tf::ElidingLabel*>(bar.panel(key))->shownText(); };
    int exactWidth = 0;
    for (const char* key : {"pages", "resolution"}) exactWidth += bar.panel(key)->parentWidget()->sizeHint().width();
    // Room for the exact texts and a little more: the name and the folder are shortened, not they.
    bar.setGeometry(0, 0, exactWidth + 240, 24);
    QApplication::processEvents();
    EXPECT_EQ(shown("pages"), "1 page(s)");
    EXPECT_EQ(shown("resolution"), bar.panelText("resolution"));
    EXPECT_NE(shown("filename"), bar.panelText("filename"));
    EXPECT_TRUE(shown("filename").endsWith(".jpg"));
    EXPECT_NE(shown("folder"), bar.panelText("folder"));
}
