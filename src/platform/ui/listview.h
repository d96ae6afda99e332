#pragma once
#include "platform/ui/imagelist.h"

#include <QList>
#include <QPointer>
#include <QTreeWidget>

namespace tf {

// A report-style list: each row has a text, sub-items in the next columns, a tag (a hidden text)
// and a small icon taken by index from an attached image list. Rows are addressed from 1.
// Keeps the operations the program's list code is written in, on top of QTreeWidget.
class ListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit ListView(QWidget* parent = nullptr);

    void setColumnHeaders(const QStringList& captions);
    int ColumnCount() const { return columnCount(); }

    QTreeWidgetItem* AddItem(const QString& text, int smallIcon = 0);
    // index 1..Count()+1: the new row takes that place
    QTreeWidgetItem* InsertItem(int index, const QString& text, int smallIcon = 0);
    void RemoveItem(int index);
    void Clear();
    int Count() const { return topLevelItemCount(); }
    QTreeWidgetItem* Item(int index) const; // 1-based; nullptr outside
    int Index(const QTreeWidgetItem* item) const; // 1-based; 0 when not in the list

    static QString Tag(const QTreeWidgetItem* item);
    static void setTag(QTreeWidgetItem* item, const QString& tag);
    static QString SubItem(const QTreeWidgetItem* item, int subItem); // 1-based, column subItem
    static void setSubItem(QTreeWidgetItem* item, int subItem, const QString& text);
    static int SmallIcon(const QTreeWidgetItem* item);
    void setSmallIcon(QTreeWidgetItem* item, int imageIndex);

    // Attaches the image list whose pictures the rows show (nullptr detaches it); the list
    // stays owned by the caller.
    void setSmallIcons(ImageList* images);
    ImageList* SmallIcons() const { return m_images.data(); }
    // Shows the pictures again after the attached list changed.
    void refreshIcons();

    // The row with the focus when it is selected, else the first selected row, else nullptr.
    QTreeWidgetItem* SelectedItem() const;
    QList<QTreeWidgetItem*> selectedInOrder() const;
    void deselectAll();
    QTreeWidgetItem* HitTest(const QPoint& viewportPos) const { return itemAt(viewportPos); }

    // The row marked as the target of a drag, or nullptr.
    QTreeWidgetItem* DropHighlight() const { return m_dropHighlight; }
    void setDropHighlight(QTreeWidgetItem* item);

    // Sorting by the text of one column (0 = the row text); SortOrder 0 ascending, 1 descending.
    // Sorted is set once the user has sorted the list by a column.
    int SortKey = 0;
    int SortOrder = 0;
    bool Sorted = false;
    void sortNow();

private:
    QPointer<ImageList> m_images;
    QTreeWidgetItem* m_dropHighlight = nullptr;
};

} // namespace tf

// A click on the header of column `columnIndex` (1 = the row text): the same column again toggles
// the order, another column sorts ascending. The list is sorted once, in place, so its order is
// the order every output follows; the selection is kept.
void subSortListView(tf::ListView* lv, int columnIndex);
