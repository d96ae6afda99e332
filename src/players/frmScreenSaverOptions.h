#pragma once
// The slide show and screen saver dialog: kind, seconds per page, JPEG quality, background colour
// and whether the task list edits the pages.
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSlider;

namespace tf {

class PlayerCommands;

class frmScreenSaverOptions : public QDialog {
    Q_OBJECT
public:
    frmScreenSaverOptions(PlayerCommands& commands, QWidget* owner = nullptr);

    void cmdCreate_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PlayerCommands& m_commands;
    QRadioButton* m_optType[2];
    QLineEdit* m_txtInterval;
    QScrollBar* m_vsInterval;
    QSlider* m_sldQuality;
    QLabel* m_lblQuality;
    QPushButton* m_cmdPageBackgroundColor;
    QCheckBox* m_chkProcessEditingList;
};

} // namespace tf
