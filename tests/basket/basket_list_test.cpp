#include "basket_fixture.h"
#include "frame/LongCommand.h"
#include "platform/sys/userdirs.h"

#include <QDir>
#include <QFile>
#include <tuple>

using namespace tf::test;
using tf::ListView;

namespace {

class BasketRows : public BasketFixture {
protected:
    void SetUp() override
    {
        BasketFixture::SetUp();
        for (const char* name : {"one", "two", "three", "four", "five"})
            addPage(name, QString("/pages/%1.tif").arg(name));
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

TEST(BasketModelOrder, MovesSortsAndRemovesKeepEveryPageWhole)
{
    tf::basket::BasketModel model;
    for (const char* name : {"b", "a", "C", "e", "d"}) {
        tf::basket::PageRecord page;
        page.text = name;
        page.tag = QString("/t/%1").arg(name);
        page.source = QString("/s/%1").arg(name == QString("d") ? "b" : name);
        model.append(page);
    }
    auto texts = [&] {
        QStringList out;
        for (const auto& p : model.pages()) out << p.text + ":" + p.tag;
        return out.join(' ');
    };
    const struct {
        std::vector<int> rows;
        int insertAt;
        QString after;
    } moves[] = {
        {{1, 2}, 5, "b:/t/b e:/t/e d:/t/d a:/t/a C:/t/C"},
        {{0, 3}, 2, "e:/t/e b:/t/b a:/t/a d:/t/d C:/t/C"},
        {{1, 2, 3}, 3, "e:/t/e b:/t/b a:/t/a d:/t/d C:/t/C"}, // onto itself
    };
    for (const auto& m : moves) {
        model.move(m.rows, m.insertAt);
        EXPECT_EQ(texts(), m.after);
    }
    model.sort(0, false);
    EXPECT_EQ(texts(), "a:/t/a b:/t/b C:/t/C d:/t/d e:/t/e") << "without regard to case";
    EXPECT_EQ(model.distinctSources(), QStringList({"/s/a", "/s/b", "/s/C", "/s/e"})) << "each source once";
    model.remove({4, 0, 9, 0});
    EXPECT_EQ(texts(), "b:/t/b C:/t/C d:/t/d");
}

TEST(BasketModelOrder, TheSizeColumnSortsByBytesNotByItsText)
{
    tf::basket::BasketModel model;
    for (const auto& [name, text, bytes] : {std::tuple{"big", "4.69MB", qint64(4918000)}, {"small", "900 bytes", qint64(900)},
                                            {"unknown", "", qint64(-1)}, {"mid", "89.6KB", qint64(91750)}}) {
        tf::basket::PageRecord page;
        page.text = name;
        page.sizeText = text;
        page.bytes = bytes;
        model.append(page);
    }
    auto names = [&] {
        QStringList out;
        for (const auto& p : model.pages()) out << p.text;
        return out;
    };
    model.sort(2, false);
    EXPECT_EQ(names(), QStringList({"unknown", "small", "mid", "big"}));
    model.sort(2, true);
    EXPECT_EQ(names(), QStringList({"big", "mid", "small", "unknown"}));
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

    // Below the last row there is no target: nothing moves, the highlight goes.
    basket->lvPages_OLEDragOver(lvPages, lvPages->visualItemRect(lvPages->Item(2)).center());
    EXPECT_EQ(lvPages->DropHighlight(), lvPages->Item(2));
    basket->lvPages_OLEDragDrop(lvPages, QPoint(5, lvPages->viewport()->height() - 2));
    EXPECT_EQ(basketTexts(), QStringList({"two", "one", "three", "four", "five"}));
    EXPECT_EQ(lvPages->DropHighlight(), nullptr);

    // Folder rows dragged over the basket highlight nothing.
    dragSource = "lvFolder";
    basket->lvPages_OLEDragOver(lvFolder, lvPages->visualItemRect(lvPages->Item(2)).center());
    EXPECT_EQ(lvPages->DropHighlight(), nullptr);
}

TEST_F(BasketRows, DeleteAndSort)
{
    select({2, 4}, 2);
    basket->cmdPagesDelete()->click();
    EXPECT_EQ(basketTexts(), QStringList({"one", "three", "five"}));
    EXPECT_EQ(sbMain->panelText("queue"), "3 file(s) in basket");

    model->clear();
    for (const auto& [name, size] : {std::pair{"one", "9 X 9"}, {"three", "10 X 10"}, {"five", ""}}) {
        tf::basket::PageRecord page;
        page.text = name;
        page.tag = QString("/pages/%1.tif").arg(name);
        page.resolution = size;
        model->append(page);
    }
    lvPages->Item(2)->setSelected(true);
    basket->subSortListView(1);
    EXPECT_EQ(basketTexts(), QStringList({"five", "one", "three"}));
    EXPECT_EQ(basketColumn(0), QStringList({"/pages/five.tif", "/pages/one.tif", "/pages/three.tif"}));
    EXPECT_TRUE(lvPages->Item(3)->isSelected()) << "the selection goes with its page";
    basket->subSortListView(1);
    EXPECT_EQ(basketTexts(), QStringList({"three", "one", "five"}));
    basket->subSortListView(2);
    EXPECT_EQ(basketTexts(), QStringList({"five", "three", "one"})) << "ascending by text: 10 X 10 before 9 X 9";
    addPage("aaa", "/pages/aaa.tif");
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

    basket->cmdPagesNew()->click();
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
        basket->subSortListView(1);
    }
    EXPECT_EQ(basketTexts(), QStringList({"one", "two", "three", "four", "five"}));
}
