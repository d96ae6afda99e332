#pragma once
#include "platform/ui/imagelist.h"

#include <QList>
#include <QPointer>
#include <QTreeWidget>

namespace tf {

// A report-style list that holds its own rows: each row has a text, sub-items in the next columns,
// a tag (a hidden text, in tf::kPathRole) and a small icon taken by index from an attached image
// list. Rows are addressed from 1. Only for small fixed lists that are shown and never read back
// (the settings dialog's shortcuts); a list whose rows are data is a ReportView over its model.
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

private:
    QPointer<ImageList> m_images;
};

} // namespace tf
