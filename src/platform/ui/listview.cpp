#include "platform/ui/listview.h"

#include "platform/ui/reportview.h"

#include <QHeaderView>
#include <algorithm>

namespace tf {

namespace {
constexpr int kTagRole = kPathRole;
constexpr int kIconRole = Qt::UserRole + 2;
} // namespace

ListView::ListView(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAllColumnsShowFocus(true);
    header()->setSectionsMovable(false);
    setSortingEnabled(false);
}

void ListView::setColumnHeaders(const QStringList& captions)
{
    setColumnCount(static_cast<int>(captions.size()));
    setHeaderLabels(captions);
}

QTreeWidgetItem* ListView::AddItem(const QString& text, int smallIcon)
{
    return InsertItem(Count() + 1, text, smallIcon);
}

QTreeWidgetItem* ListView::InsertItem(int index, const QString& text, int smallIcon)
{
    auto* item = new QTreeWidgetItem();
    item->setText(0, text);
    insertTopLevelItem(std::clamp(index, 1, Count() + 1) - 1, item);
    setSmallIcon(item, smallIcon);
    return item;
}

void ListView::RemoveItem(int index)
{
    if (!Item(index)) return;
    delete takeTopLevelItem(index - 1);
}

void ListView::Clear() { clear(); }

QTreeWidgetItem* ListView::Item(int index) const
{
    return index >= 1 && index <= Count() ? topLevelItem(index - 1) : nullptr;
}

int ListView::Index(const QTreeWidgetItem* item) const
{
    if (!item) return 0;
    return indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) + 1;
}

QString ListView::Tag(const QTreeWidgetItem* item) { return item ? item->data(0, kTagRole).toString() : QString(); }
void ListView::setTag(QTreeWidgetItem* item, const QString& tag)
{
    if (item) item->setData(0, kTagRole, tag);
}

QString ListView::SubItem(const QTreeWidgetItem* item, int subItem)
{
    return item ? item->text(subItem) : QString();
}

void ListView::setSubItem(QTreeWidgetItem* item, int subItem, const QString& text)
{
    if (item && subItem >= 1) item->setText(subItem, text);
}

int ListView::SmallIcon(const QTreeWidgetItem* item) { return item ? item->data(0, kIconRole).toInt() : 0; }

void ListView::setSmallIcon(QTreeWidgetItem* item, int imageIndex)
{
    if (!item) return;
    item->setData(0, kIconRole, imageIndex);
    const QPixmap pixmap = m_images ? m_images->image(imageIndex) : QPixmap();
    item->setIcon(0, pixmap.isNull() ? QIcon() : QIcon(pixmap));
}

void ListView::setSmallIcons(ImageList* images)
{
    m_images = images;
    refreshIcons();
}

void ListView::refreshIcons()
{
    for (int i = 1; i <= Count(); ++i) setSmallIcon(Item(i), SmallIcon(Item(i)));
}

QTreeWidgetItem* ListView::SelectedItem() const
{
    if (currentItem() && currentItem()->isSelected()) return currentItem();
    const QList<QTreeWidgetItem*> selected = selectedInOrder();
    return selected.isEmpty() ? nullptr : selected.first();
}

QList<QTreeWidgetItem*> ListView::selectedInOrder() const
{
    QList<QTreeWidgetItem*> out;
    for (int i = 1; i <= Count(); ++i)
        if (Item(i)->isSelected()) out << Item(i);
    return out;
}

void ListView::deselectAll()
{
    for (int i = 1; i <= Count(); ++i) Item(i)->setSelected(false);
}

} // namespace tf
