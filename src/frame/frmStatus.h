#pragma once
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The small progress window of a long command, shown modeless so that the main window stays
// alive while the command yields. Its Cancel button only raises the program-wide cancel flag;
// the command sees it at its next item and closes the window itself.
class frmStatus : public QDialog {
    Q_OBJECT
public:
    explicit frmStatus(QWidget* owner = nullptr);

    QLabel* lblStatus = nullptr;
    QProgressBar* pbQueue = nullptr;
    QLabel* lblMessage = nullptr;
    QPushButton* cmdCancel = nullptr;

public slots:
    void cmdCancel_Click();
    // Escape is a Cancel.
    void reject() override;

protected:
    // The user closing the window is a Cancel too: the window belongs to the command until it ends.
    void closeEvent(QCloseEvent* event) override;
};
