#include "basket/modBasket.h"
#include "basket_fixture.h"
#include "frame/LongCommand.h"
#include "platform/sys/userdirs.h"

#include <QDir>
#include <QFile>

using namespace tf::test;
using tf::ListView;

namespace {

class BasketRows : public BasketFixture {
protected:
    void SetUp() override
    {
        BasketFixture::SetUp();
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::white);
        for (const char* name : {"one", "two", "three", "four", "five"}) {
            QTreeWidgetItem* item = lvPages->AddItem(name, basket->ilPages()->Add(picture));
            ListView::setTag(item, QString("/pages/%1.tif").arg(name));
        }
        lvPages->setSmallIcons(basket->ilPages());
        window->show();
        dragSource = "lvPages";
    }
    void select(const QList<int>& rows, int reference)
    {
        lvPages->deselectAll();
        lvPages->setCurrentItem(lvPages->Item(reference), 0, QItemSelectionModel::NoUpdate);
        for (int r : rows) lvPages->Item(r)->setSelected(true);
    }
    void dropOn(int row) { basket->lvPages_OLEDragDrop(lvPages, lvPages->visualItemRect(lvPages->Item(row)).center()); }
};

} // namespace

TEST(BasketMoveOrder, SelectedRowsMoveAsOneBlock)
{
    using tf::basket::fncMovedOrder;
    EXPECT_EQ(fncMovedOrder(5, {2, 3}, 6), (std::vector<int>{1, 4, 5, 2, 3}));
    EXPECT_EQ(fncMovedOrder(5, {1, 4}, 3), (std::vector<int>{2, 1, 4, 3, 5}));
    EXPECT_EQ(fncMovedOrder(5, {2, 3, 4}, 4), (std::vector<int>{1, 2, 3, 4, 5})) << "onto itself";
}

TEST_F(BasketRows, DraggingPagesMovesThemAfterOrBeforeTheTarget)
{
    select({2}, 2);
    dropOn(4); // moving down: after the target
    EXPECT_EQ(basketTexts(), QStringList({"one", "three", "four", "two", "five"}));
    EXPECT_EQ(ListView::Tag(lvPages->Item(4)), "/pages/two.tif");
    EXPECT_FALSE(lvPages->Item(4)->icon(0).isNull());
    EXPECT_TRUE(lvPages->Item(4)->isSelected());

    select({4}, 4);
    dropOn(1); // moving up: before the target
    EXPECT_EQ(basketTexts(), QStringList({"two", "one", "three", "four", "five"}));

    select({1, 3}, 1);
    dropOn(5);
    EXPECT_EQ(basketTexts(), QStringList({"one", "four", "five", "two", "three"}));

    // Below the last row there is no target: nothing moves, the highlight goes.
    basket->lvPages_OLEDragOver(lvPages, lvPages->visualItemRect(lvPages->Item(2)).center());
    EXPECT_EQ(lvPages->DropHighlight(), lvPages->Item(2));
    basket->lvPages_OLEDragDrop(lvPages, QPoint(5, lvPages->viewport()->height() - 2));
    EXPECT_EQ(basketTexts(), QStringList({"one", "four", "five", "two", "three"}));
    EXPECT_EQ(lvPages->DropHighlight(), nullptr);

    // Folder rows dragged over the basket highlight nothing.
    dragSource = "lvFolder";
    basket->lvPages_OLEDragOver(lvFolder, lvPages->visualItemRect(lvPages->Item(2)).center());
    EXPECT_EQ(lvPages->DropHighlight(), nullptr);
}

TEST_F(BasketRows, DeleteAndSort)
{
    select({2, 4}, 2);
    cmdPagesDelete->click();
    EXPECT_EQ(basketTexts(), QStringList({"one", "three", "five"}));
    EXPECT_EQ(sbMain->panelText("queue"), "3 file(s) in basket");

    ListView::setSubItem(lvPages->Item(1), 1, "9 X 9");
    ListView::setSubItem(lvPages->Item(2), 1, "10 X 10");
    basket->subSortListView(lvPages, 1);
    EXPECT_EQ(basketTexts(), QStringList({"five", "one", "three"}));
    basket->subSortListView(lvPages, 1);
    EXPECT_EQ(basketTexts(), QStringList({"three", "one", "five"}));
    basket->subSortListView(lvPages, 2);
    EXPECT_EQ(basketTexts(), QStringList({"five", "three", "one"})) << "ascending by text: 10 X 10 before 9 X 9";
    lvPages->AddItem("aaa");
    EXPECT_EQ(basketTexts().last(), "aaa") << "sorted once, not kept sorted";
}

TEST_F(BasketRows, NewBasketEmptiesTheBasketAndDeletesOnlyTempPages)
{
    const QString temp = tf::userTempDir() + "/";
    for (const char* name : {"scan1_12.tif", "page.tif", "keep.tiff", "KEEP.TIF", "keep.jpg"})
        QFile(temp + name).open(QIODevice::WriteOnly);
    QDir(temp).mkdir("sub.tif");
    TempFolder elsewhere;
    elsewhere.write("outside.tif", "x");

    cmdPagesNew->click();
    EXPECT_EQ(lvPages->Count(), 0);
    EXPECT_EQ(basket->ilPages()->count(), 0);
    EXPECT_EQ(sbMain->panelText("queue"), "New Basket");
    EXPECT_EQ(tempFolderFiles(), QStringList({"KEEP.TIF", "keep.jpg", "keep.tiff"}));
    EXPECT_TRUE(QDir(temp + "sub.tif").exists());
    EXPECT_TRUE(QFile::exists(elsewhere.file("outside.tif")));

    QFile(temp + "late.tif").open(QIODevice::WriteOnly);
    basket->cmdPagesNew_Click(); // an empty basket still cleans up
    EXPECT_FALSE(QFile::exists(temp + "late.tif"));
}

TEST_F(BasketRows, BasketCommandsWaitWhileALongCommandRuns)
{
    select({1}, 1);
    {
        tf::LongCommand running("Saving a MultiPage file");
        ASSERT_TRUE(running);
        basket->cmdPagesNew_Click();
        basket->cmdPagesDelete_Click();
        dropOn(3);
        basket->subSortListView(lvPages, 1);
    }
    EXPECT_EQ(basketTexts(), QStringList({"one", "two", "three", "four", "five"}));
}
