#include "metadata/MetadataRows.h"

#include "metadata/modMetadata.h"
#include "platform/ui/listview.h"

#include <QTreeWidgetItem>

namespace tf {

void MetadataRows::remove(int index)
{
    if (index >= 0 && index < count()) m_rows.erase(m_rows.begin() + index);
}

int MetadataRows::findKey(const QString& key, Qt::CaseSensitivity cs) const
{
    for (int i = 0; i < count(); ++i)
        if (!m_rows[static_cast<size_t>(i)].key.isEmpty() && m_rows[static_cast<size_t>(i)].key.compare(key, cs) == 0)
            return i;
    return -1;
}

void MetadataRows::showIn(ListView& list) const
{
    const int selected = selectedIn(list);
    list.setUpdatesEnabled(false);
    list.Clear();
    list.setProperty("Tag", path);
    for (const MetadataRow& r : m_rows) {
        QTreeWidgetItem* item = list.AddItem(r.text, r.icon);
        setMetadataRowKey(item, r.key);
        ListView::setTag(item, r.tag);
        ListView::setSubItem(item, 1, r.value);
    }
    if (selected >= 0 && selected < count()) list.setCurrentItem(list.Item(selected + 1));
    list.setUpdatesEnabled(true);
}

int MetadataRows::selectedIn(const ListView& list)
{
    const QTreeWidgetItem* item = list.SelectedItem();
    return item ? list.Index(item) - 1 : -1;
}

} // namespace tf
