#pragma once
#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

// The small progress window of a long command. Its Cancel button raises the program-wide cancel
// flag and tells the running command's job; the command closes the window itself when it ends.
class frmStatus : public QDialog {
    Q_OBJECT
public:
    explicit frmStatus(QWidget* owner = nullptr);

    // What the command is doing, above the bar.
    void setCaption(const QString& text);
    // The item under way, below the bar.
    void setActivity(const QString& text);
    // `done` of `total` items through.
    void setProgress(int done, int total);
    void setProgressVisible(bool shown);

    // Runs `then` after the window's first paint (at once when it has been painted already).
    void whenPainted(std::function<void()> then);

public slots:
    void cmdCancel_Click();
    // Escape is a Cancel.
    void reject() override;

protected:
    // The user closing the window is a Cancel too: the window belongs to the command until it ends.
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* lblStatus = nullptr;
    QProgressBar* pbQueue = nullptr;
    QLabel* lblMessage = nullptr;
    QPushButton* cmdCancel = nullptr;
    bool m_painted = false;
    std::function<void()> m_afterPaint;
};
