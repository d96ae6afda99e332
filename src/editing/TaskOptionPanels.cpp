#include "editing/TaskOptionPanels.h"

namespace tf {

TaskOptionPanels::TaskOptionPanels(const std::array<QWidget*, 17>& panels, QObject* parent)
    : QObject(parent), m_panels(panels)
{
}

void TaskOptionPanels::fillFromSettings() {}

void TaskOptionPanels::storeToSettings() const {}

std::optional<EditTask> TaskOptionPanels::taskFromPanel(int32_t taskCode, QString* message) const
{
    // No panel has controls yet: every task is taken with its empty parameters.
    if (message) message->clear();
    return makeEditTask(static_cast<TaskCode>(taskCode));
}

} // namespace tf
