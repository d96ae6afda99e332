#pragma once
// A report-style list over a model: the model holds the rows, the view only shows them and tells
// which of them the user chose, as the model's own rows. A list whose captions sort it puts a
// ColumnSortProxy between the two, so sorting never reorders the data.
#include <QPersistentModelIndex>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <vector>

namespace tf {

// The file a row stands for, in its first column.
inline constexpr int kPathRole = Qt::UserRole + 1;

// The row (as the view shows it, 0-based) the user chose: the current row when it is selected,
// else the first selected row; -1 for none. Without full-row selection one chosen cell chooses
// its row.
int chosenViewRow(const QAbstractItemView* view);
// How many rows have anything chosen.
int chosenRowCount(const QAbstractItemView* view);

// A model that sorts a column by something other than its text (a size in bytes) gives it in
// this role, as a number; the other columns sort by their text.
inline constexpr int kSortValueRole = Qt::UserRole + 40;

// The order a caption click asks for. The first click on any column sorts it ascending (even the
// column the list starts in), a second click on the same column turns the order round. Texts
// compare without regard to case; equal rows keep the model's order.
class ColumnSortProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit ColumnSortProxy(QObject* parent = nullptr);

    void columnClicked(int column); // 0-based; a column outside the model changes nothing
    // By the old list's names: the column, 0 ascending or 1 descending, and whether a caption
    // was ever clicked.
    int SortKey() const { return m_key; }
    int SortOrder() const { return m_order; }
    bool Sorted() const { return m_sorted; }

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    int m_key = 0;
    int m_order = 0;
    bool m_sorted = false;
};

class ReportView : public QTreeView {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);

    // The model under any proxies, and the ways between its rows and the view's indexes.
    QAbstractItemModel* sourceModel() const;
    int sourceRow(const QModelIndex& viewIndex) const; // -1 for an invalid index
    QModelIndex viewIndex(int sourceRow, int column = 0) const;

    // The row with the focus when it is selected, else the first selected row shown, else -1.
    int selectedRow() const;
    // The selected rows, in the order the view shows them.
    std::vector<int> selectedRows() const;
    // The row under a point of the viewport, -1 for none.
    int rowAt(const QPoint& viewportPos) const { return sourceRow(indexAt(viewportPos)); }
    // Makes the row current and the only one selected, and brings it into sight.
    void selectOnly(int sourceRow);

    // The row marked as the target of a drag (-1 for none).
    int dropHighlight() const;
    void setDropHighlight(int sourceRow);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QPersistentModelIndex m_dropHighlight;
};

} // namespace tf
