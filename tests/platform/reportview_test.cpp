#include "platform/ui/reportview.h"

#include <QStandardItemModel>
#include <gtest/gtest.h>

using tf::ColumnSortProxy;
using tf::ReportView;

namespace {

// Rows of a name and a size: the size column shows a text and sorts by its number.
void addRow(QStandardItemModel& model, const QString& name, qint64 bytes)
{
    auto* size = new QStandardItem(bytes < 0 ? QString() : QStringLiteral("%1 B").arg(bytes));
    size->setData(bytes, tf::kSortValueRole);
    model.appendRow({new QStandardItem(name), size});
}

QStringList shown(const QAbstractItemModel& model)
{
    QStringList out;
    for (int i = 0; i < model.rowCount(); ++i) out << model.index(i, 0).data().toString();
    return out;
}

struct Sorted {
    Sorted()
    {
        for (auto [name, bytes] : {std::pair{"b", 20}, {"A", 300}, {"c", -1}, {"a", 5}}) addRow(model, name, bytes);
        proxy.setSourceModel(&model);
    }
    QStandardItemModel model;
    ColumnSortProxy proxy;
};

} // namespace

TEST(ColumnSortProxy, CaptionClicksSortTheViewNotTheData)
{
    Sorted s;
    EXPECT_EQ(shown(s.proxy), QStringList({"b", "A", "c", "a"})) << "unsorted until a caption is clicked";
    s.proxy.columnClicked(0);
    EXPECT_EQ(shown(s.proxy), QStringList({"A", "a", "b", "c"})) << "case ignored; equal names keep the model's order";
    s.proxy.columnClicked(0);
    EXPECT_EQ(shown(s.proxy), QStringList({"c", "b", "A", "a"}));
    EXPECT_EQ(s.proxy.SortOrder(), 1);
    // Another column starts ascending, by the number behind its text; an unknown size comes first.
    s.proxy.columnClicked(1);
    EXPECT_EQ(shown(s.proxy), QStringList({"c", "a", "b", "A"})) << "300 after 20, though its text sorts first";
    EXPECT_EQ(s.proxy.SortKey(), 1);
    EXPECT_EQ(s.proxy.SortOrder(), 0);
    s.proxy.columnClicked(7);
    EXPECT_EQ(s.proxy.SortKey(), 1) << "a column the model lacks changes nothing";
    EXPECT_EQ(shown(s.model), QStringList({"b", "A", "c", "a"})) << "the data keep their order";
}

TEST(ColumnSortProxy, RowsThatComeOrChangeTakeTheirPlaceInTheChosenOrder)
{
    Sorted s;
    s.proxy.columnClicked(1);
    addRow(s.model, "d", 10);
    EXPECT_EQ(shown(s.proxy), QStringList({"c", "a", "d", "b", "A"}));
    // A size learnt later moves its row.
    s.model.item(2, 1)->setData(1000, tf::kSortValueRole);
    EXPECT_EQ(shown(s.proxy), QStringList({"a", "d", "b", "A", "c"}));
}

TEST(ReportView, TellsTheChosenRowsAsTheModelsRows)
{
    Sorted s;
    ReportView view;
    view.setModel(&s.proxy);
    s.proxy.columnClicked(0); // shown: A(1) a(3) b(0) c(2)
    EXPECT_EQ(view.selectedRow(), -1);
    view.selectionModel()->select(view.viewIndex(2), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.selectionModel()->select(view.viewIndex(3), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(view.selectedRows(), (std::vector<int>{3, 2})) << "in the order shown";
    EXPECT_EQ(view.selectedRow(), 3) << "no current row: the first shown";
    view.selectionModel()->setCurrentIndex(view.viewIndex(2), QItemSelectionModel::NoUpdate);
    EXPECT_EQ(view.selectedRow(), 2) << "the current row, being selected";
    view.selectOnly(0);
    EXPECT_EQ(view.selectedRows(), std::vector<int>{0});
    EXPECT_EQ(view.sourceRow(view.currentIndex()), 0);
    EXPECT_EQ(view.sourceModel(), &s.model);
    // Without full-row selection one cell chosen chooses its row.
    view.setSelectionBehavior(QAbstractItemView::SelectItems);
    view.selectionModel()->select(view.viewIndex(1, 1), QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(view.selectedRows(), std::vector<int>{1});
    view.setDropHighlight(3);
    EXPECT_EQ(view.dropHighlight(), 3);
    view.setDropHighlight(-1);
    EXPECT_EQ(view.dropHighlight(), -1);
}
