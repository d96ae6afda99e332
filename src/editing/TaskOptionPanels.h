#pragma once
// The controls of the sixteen task option panels: built into the panels the editing controller
// made, filled from and stored to the settings record's last-used task options, and read back
// as the task the user set up.
#include "editing/EditTask.h"

#include <QObject>
#include <array>
#include <optional>

class QWidget;

namespace tf {

class TaskOptionPanels : public QObject {
    Q_OBJECT
public:
    // panels[code] is the option panel of task code 1..16 (picFlip, picRotate, ...); panels[0]
    // is picNothing. The panels' fixed combo boxes (cboMergeStyle, ComboFilter, ComboFontFamily,
    // comboFontSize, cboPosition) may already stand in them and are then used as they are.
    explicit TaskOptionPanels(const std::array<QWidget*, 17>& panels, QObject* parent = nullptr);

    // The last-used options of every task (gudtSettings.Tasks) onto the controls.
    void fillFromSettings();
    // The controls' values into gudtSettings.Tasks.
    void storeToSettings() const;
    // The task as its panel describes it now. Empty, with a message for the user, when a box
    // holds input the task cannot take.
    std::optional<EditTask> taskFromPanel(int32_t taskCode, QString* message) const;

signals:
    // The user changed an option of the task.
    void optionsChanged(int32_t taskCode);

private:
    std::array<QWidget*, 17> m_panels;
};

} // namespace tf
