#include "editing/EditListModel.h"

namespace tf {

EditListModel::EditListModel(QObject* parent) : QAbstractListModel(parent) {}

int EditListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_tasks.size());
}

QVariant EditListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
    const task::Entry& t = m_tasks[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole: return fncGetTaskName(t.code());
    case Qt::DecorationRole: return m_icons ? QVariant(m_icons(t.key())) : QVariant();
    case TaskKeyRole: return t.key();
    case TaskCodeRole: return t.code();
    default: return {};
    }
}

std::vector<EditTask> EditListModel::rows() const
{
    std::vector<EditTask> rows;
    rows.reserve(m_tasks.size());
    for (const task::Entry& t : m_tasks) rows.push_back(t.row());
    return rows;
}

void EditListModel::appendTask(task::Entry task)
{
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_tasks.push_back(std::move(task));
    endInsertRows();
}

bool EditListModel::removeTask(int row)
{
    if (row < 0 || row >= rowCount()) return false;
    beginRemoveRows({}, row, row);
    m_tasks.erase(m_tasks.begin() + row);
    endRemoveRows();
    return true;
}

void EditListModel::clear() { setTasks({}); }

void EditListModel::setRows(const std::vector<EditTask>& rows)
{
    std::vector<task::Entry> tasks;
    tasks.reserve(rows.size());
    for (const EditTask& row : rows) tasks.push_back(task::Entry::fromRow(row));
    setTasks(std::move(tasks));
}

void EditListModel::setTasks(std::vector<task::Entry> tasks)
{
    beginResetModel();
    m_tasks = std::move(tasks);
    endResetModel();
}

void EditListModel::setIconProvider(std::function<QIcon(const QString&)> provider)
{
    m_icons = std::move(provider);
    if (!m_tasks.empty()) emit dataChanged(index(0), index(rowCount() - 1), {Qt::DecorationRole});
}

} // namespace tf
