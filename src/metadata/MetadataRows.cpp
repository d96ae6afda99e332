#include "metadata/MetadataRows.h"

#include "platform/ui/imagelist.h"

#include <QIcon>

namespace tf {

MetadataRows::MetadataRows(QObject* parent) : QAbstractTableModel(parent) {}

void MetadataRows::add(MetadataRow row)
{
    beginInsertRows({}, count(), count());
    m_rows.push_back(std::move(row));
    endInsertRows();
}

void MetadataRows::setValue(int index, const QString& value)
{
    if (index < 0 || index >= count()) return;
    m_rows[static_cast<size_t>(index)].value = value;
    emit dataChanged(this->index(index, 1), this->index(index, 1));
}

void MetadataRows::remove(int index)
{
    if (index < 0 || index >= count()) return;
    beginRemoveRows({}, index, index);
    m_rows.erase(m_rows.begin() + index);
    endRemoveRows();
}

void MetadataRows::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int MetadataRows::findKey(const QString& key, Qt::CaseSensitivity cs) const
{
    for (int i = 0; i < count(); ++i)
        if (!m_rows[static_cast<size_t>(i)].key.isEmpty() && m_rows[static_cast<size_t>(i)].key.compare(key, cs) == 0)
            return i;
    return -1;
}

int MetadataRows::findText(const QString& text, bool byTag) const
{
    for (int i = 0; i < count(); ++i)
        if ((byTag ? m_rows[static_cast<size_t>(i)].tag : m_rows[static_cast<size_t>(i)].text) == text) return i;
    return -1;
}

int MetadataRows::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }
int MetadataRows::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant MetadataRows::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count()) return {};
    const MetadataRow& r = row(index.row());
    if (role == Qt::DisplayRole) return index.column() == 0 ? r.text : r.value;
    if (role == Qt::DecorationRole && index.column() == 0 && m_icons) {
        const QPixmap picture = m_icons->image(r.icon);
        if (!picture.isNull()) return QIcon(picture);
    }
    return {};
}

QVariant MetadataRows::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section == 0) return QStringLiteral("Attribute");
    if (section == 1) return QStringLiteral("Value");
    return {};
}

} // namespace tf
