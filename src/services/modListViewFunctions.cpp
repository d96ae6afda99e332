#include "services/modListViewFunctions.h"

#include "platform/ui/msgbox.h"

#include <QAbstractItemView>

bool fncListViewFullRowSelect(QAbstractItemView* lv, bool blnFullRow)
{
    if (!lv) {
        MsgBox(QStringLiteral("Error 91\tObject variable or With block variable not set"), vbInformation,
               QStringLiteral("Error in Function : fncListViewFullRowSelect"));
        return false;
    }
    lv->setSelectionBehavior(blnFullRow ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    return true;
}
