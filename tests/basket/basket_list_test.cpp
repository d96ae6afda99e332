#include "basket_fixture.h"
#include "platform/ui/reportview.h"
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
        lvPages->clearSelection();
        lvPages->selectionModel()->setCurrentIndex(page(reference), QItemSelectionModel::NoUpdate);
        for (int r : rows) choosePage(r);
    }
    void dropOn(int row) { basket->lvPages_OLEDragDrop(lvPages, lvPages->visualRect(page(row)).center()); }
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

TEST(BasketModelOrder, ViewsKeepTheirPagesThroughAReorderAndWriteThroughTheModel)
{
    tf::basket::BasketModel model;
    for (const char* name : {"c", "a", "b"}) {
        tf::basket::PageRecord page;
        page.text = name;
        page.tag = QString("/t/%1").arg(name);
        model.append(page);
    }
    tf::ReportView view;
    view.setModel(&model);
    view.selectionModel()->select(model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QPersistentModelIndex shown = model.index(2, 0); // the page the preview describes
    model.sort(0, false);
    EXPECT_EQ(view.selectedRows(), std::vector<int>{2}) << "the chosen page c went to the end";
    EXPECT_EQ(shown.row(), 1);
    EXPECT_EQ(shown.data(tf::kPathRole).toString(), "/t/b");

    // A rename and a size found by the preview land in the pages the writers read.
    EXPECT_FALSE(model.setData(model.index(0, 0), "  ")) << "a blank title is refused";
    EXPECT_TRUE(model.setData(model.index(0, 0), "cover"));
    EXPECT_TRUE(model.setData(shown.sibling(shown.row(), 1), "30 X 20 X 24"));
    EXPECT_EQ(model.at(0).text, "cover");
    EXPECT_EQ(model.at(1).resolution, "30 X 20 X 24");
    EXPECT_FALSE(model.setData(model.index(0, 4), "/elsewhere")) << "the source is not the view's to change";
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
    EXPECT_EQ(pageTag(page(4)), "/pages/two.tif");
    EXPECT_FALSE(shownPicture(page(4)).isNull());
    EXPECT_TRUE(isChosen(4));

    select({4}, 4);
    dropOn(1); // moving up: before the target
    EXPECT_EQ(basketTexts(), QStringList({"two", "one", "three", "four", "five"}));

    // Below the last row there is no target: nothing moves, the highlight goes.
    basket->lvPages_OLEDragOver(lvPages, lvPages->visualRect(page(2)).center());
    EXPECT_EQ(lvPages->dropHighlight(), 1);
    basket->lvPages_OLEDragDrop(lvPages, QPoint(5, lvPages->viewport()->height() - 2));
    EXPECT_EQ(basketTexts(), QStringList({"two", "one", "three", "four", "five"}));
    EXPECT_EQ(lvPages->dropHighlight(), -1);

    // Folder rows dragged over the basket highlight nothing.
    dragSource = "lvFolder";
    basket->lvPages_OLEDragOver(lvFolder, lvPages->visualRect(page(2)).center());
    EXPECT_EQ(lvPages->dropHighlight(), -1);
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
    choosePage(2);
    basket->subSortListView(1);
    EXPECT_EQ(basketTexts(), QStringList({"five", "one", "three"}));
    EXPECT_EQ(basketColumn(0), QStringList({"/pages/five.tif", "/pages/one.tif", "/pages/three.tif"}));
    EXPECT_TRUE(isChosen(3)) << "the selection goes with its page";
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
    EXPECT_EQ(pageCount(), 0);
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
