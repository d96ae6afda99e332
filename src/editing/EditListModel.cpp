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
    const EditTask& t = m_tasks[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole: return fncGetTaskName(t.TaskCode);
    case Qt::DecorationRole: return m_icons ? QVariant(m_icons(t.TaskName)) : QVariant();
    case TaskKeyRole: return t.TaskName;
    case TaskCodeRole: return t.TaskCode;
    default: return {};
    }
}

void EditListModel::appendTask(EditTask task)
{
    task.TaskName = task.TaskName.toLower();
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

void EditListModel::setTasks(std::vector<EditTask> tasks)
{
    for (EditTask& t : tasks) t.TaskName = t.TaskName.toLower();
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
