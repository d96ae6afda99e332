#include "platform/ui/reportview.h"

#include <QAbstractProxyModel>
#include <QHeaderView>
#include <QPainter>
#include <QSet>
#include <algorithm>

namespace tf {

int chosenViewRow(const QAbstractItemView* view)
{
    const QItemSelectionModel* selection = view ? view->selectionModel() : nullptr;
    if (!selection) return -1;
    const QModelIndex current = view->currentIndex();
    if (current.isValid() && selection->rowIntersectsSelection(current.row(), current.parent())) return current.row();
    int first = -1;
    for (const QModelIndex& index : selection->selectedIndexes())
        if (first < 0 || index.row() < first) first = index.row();
    return first;
}

int chosenRowCount(const QAbstractItemView* view)
{
    QSet<int> rows;
    if (view && view->selectionModel())
        for (const QModelIndex& index : view->selectionModel()->selectedIndexes()) rows.insert(index.row());
    return static_cast<int>(rows.size());
}

ColumnSortProxy::ColumnSortProxy(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true);
}

void ColumnSortProxy::columnClicked(int column)
{
    if (column < 0 || column >= columnCount()) return;
    if (m_sorted && m_key == column) {
        m_order = m_order == 0 ? 1 : 0;
    } else {
        m_order = 0;
        m_key = column;
    }
    m_sorted = true;
    sort(m_key, m_order == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

bool ColumnSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const QVariant a = left.data(kSortValueRole);
    const QVariant b = right.data(kSortValueRole);
    if (a.isValid() && b.isValid()) return a.toLongLong() < b.toLongLong();
    return QString::compare(left.data().toString(), right.data().toString(), Qt::CaseInsensitive) < 0;
}

ReportView::ReportView(QWidget* parent) : QTreeView(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The view never sorts itself (that would also make the captions unclickable again): a
    // caption click is the list's owner's to handle.
    setSortingEnabled(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(true);
}

QAbstractItemModel* ReportView::sourceModel() const
{
    QAbstractItemModel* m = model();
    while (auto* proxy = qobject_cast<QAbstractProxyModel*>(m)) m = proxy->sourceModel();
    return m;
}

int ReportView::sourceRow(const QModelIndex& viewIndex) const
{
    QModelIndex i = viewIndex;
    while (i.isValid()) {
        auto* proxy = qobject_cast<const QAbstractProxyModel*>(i.model());
        if (!proxy) break;
        i = proxy->mapToSource(i);
    }
    return i.isValid() ? i.row() : -1;
}

QModelIndex ReportView::viewIndex(int sourceRow, int column) const
{
    QAbstractItemModel* source = sourceModel();
    if (!source || sourceRow < 0 || sourceRow >= source->rowCount()) return {};
    // Mapped up through the proxies from the model's own index, outermost last.
    std::vector<QAbstractProxyModel*> chain;
    for (auto* proxy = qobject_cast<QAbstractProxyModel*>(model()); proxy;
         proxy = qobject_cast<QAbstractProxyModel*>(proxy->sourceModel()))
        chain.push_back(proxy);
    QModelIndex i = source->index(sourceRow, column);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) i = (*it)->mapFromSource(i);
    return i;
}

int ReportView::selectedRow() const
{
    const QModelIndex current = currentIndex();
    // Without full-row selection only the clicked cell is selected: a row counts as chosen when
    // any of its cells is.
    if (current.isValid() && selectionModel() && selectionModel()->rowIntersectsSelection(current.row(), current.parent()))
        return sourceRow(current);
    const std::vector<int> rows = selectedRows();
    return rows.empty() ? -1 : rows.front();
}

std::vector<int> ReportView::selectedRows() const
{
    std::vector<int> out;
    if (!selectionModel()) return out;
    std::vector<int> shown;
    for (const QModelIndex& i : selectionModel()->selectedIndexes()) shown.push_back(i.row());
    std::sort(shown.begin(), shown.end());
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    for (int row : shown) out.push_back(sourceRow(model()->index(row, 0)));
    return out;
}

void ReportView::selectOnly(int sourceRow)
{
    const QModelIndex i = viewIndex(sourceRow);
    if (!i.isValid()) return;
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(i);
}

int ReportView::dropHighlight() const { return m_dropHighlight.isValid() ? sourceRow(m_dropHighlight) : -1; }

void ReportView::setDropHighlight(int sourceRow)
{
    const QModelIndex i = viewIndex(sourceRow);
    if (QModelIndex(m_dropHighlight) == i) return;
    m_dropHighlight = i;
    viewport()->update();
}

void ReportView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (m_dropHighlight.isValid() && index.row() == m_dropHighlight.row() && index.parent() == m_dropHighlight.parent())
        painter->fillRect(option.rect, palette().highlight().color().lighter(160));
    QTreeView::drawRow(painter, option, index);
}

} // namespace tf
