#pragma once
// The edit list: the confirmed tasks in the order they were confirmed, as records. lvEdit and
// lvEditPreview show it as views (each with its own selection); the replay, the task basket file
// and the page writers read its records, never a widget.
#include "editing/TaskRecords.h"

#include <QAbstractListModel>
#include <QIcon>
#include <functional>
#include <vector>

namespace tf {

class EditListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { TaskKeyRole = Qt::UserRole + 1, TaskCodeRole };

    explicit EditListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // Display: the list name of the task; decoration: the icon for its key (when a provider is
    // set); TaskKeyRole: the lower-case key; TaskCodeRole: the code.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    const std::vector<task::Entry>& tasks() const { return m_tasks; }
    const task::Entry& task(int row) const { return m_tasks.at(static_cast<size_t>(row)); }
    // The rows' texts, as a task basket file holds them.
    std::vector<EditTask> rows() const;
    void appendTask(task::Entry task);
    bool removeTask(int row);
    void clear();
    void setTasks(std::vector<task::Entry> tasks);
    // Rows as a task basket file holds them.
    void setRows(const std::vector<EditTask>& rows);

    // Icons are the chart's images, which the controller owns.
    void setIconProvider(std::function<QIcon(const QString& key)> provider);

private:
    std::vector<task::Entry> m_tasks;
    std::function<QIcon(const QString&)> m_icons;
};

} // namespace tf
