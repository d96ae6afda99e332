#include "services/modListViewFunctions.h"

#include "platform/ui/msgbox.h"

#include <QAbstractItemView>
#include <QItemSelection>
#include <QSet>

bool fncListViewFullRowSelect(QAbstractItemView* lv, bool blnFullRow)
{
    if (!lv) {
        MsgBox(QStringLiteral("Error 91\tObject variable or With block variable not set"), vbInformation,
               QStringLiteral("Error in Function : fncListViewFullRowSelect"));
        return false;
    }
    lv->setSelectionBehavior(blnFullRow ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    // The rows chosen already show the new way at once: whole, or by their first column.
    QItemSelectionModel* selection = lv->selectionModel();
    if (!selection || !selection->hasSelection()) return true;
    QItemSelection rows;
    QSet<QPersistentModelIndex> seen;
    for (const QModelIndex& index : selection->selectedIndexes()) {
        const QModelIndex first = index.siblingAtColumn(0);
        if (seen.contains(first)) continue;
        seen.insert(first);
        const int columns = lv->model()->columnCount(first.parent());
        rows.select(first, blnFullRow ? first.siblingAtColumn(columns - 1) : first);
    }
    selection->select(rows, QItemSelectionModel::ClearAndSelect);
    return true;
}
