#pragma once
// The effect show dialog: the style, the rolling text and its colour, the clock's kind, colours
// and date.
#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tf {

class PlayerCommands;

class frmExecutable : public QDialog {
    Q_OBJECT
public:
    frmExecutable(PlayerCommands& commands, QWidget* owner = nullptr);

    void lstStyles_Click();
    void optClock_Click(int index);
    void chkDate_Click();
    void cmdCreate_Click();

private:
    void subSetup();
    PlayerCommands& m_commands;
    QListWidget* m_lstStyles;
    QGroupBox* m_frameNothing;
    QGroupBox* m_frameRollingText;
    QGroupBox* m_frameClock;
    QLineEdit* m_txtRaining;
    QPushButton* m_cmdRollingTextColor;
    QRadioButton* m_optClock[2];
    QLabel* m_picClock;
    QPushButton* m_cmdHour;
    QPushButton* m_cmdMinute;
    QPushButton* m_cmdSecond;
    QPushButton* m_cmdDigitalClockColor;
    QLabel* m_lblDigitalClockColor;
    QCheckBox* m_chkDate;
    QPushButton* m_cmdDateColor;
};

} // namespace tf
