#include "frame/frmStatus.h"

#include "frame/LongCommand.h"
#include "frame/globals.h"

#include <QCloseEvent>
#include <QTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

frmStatus::frmStatus(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmStatus"));
    setWindowTitle(QStringLiteral("Processing..."));
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    layout->addWidget(lblStatus);

    pbQueue = new QProgressBar(this);
    pbQueue->setObjectName(QStringLiteral("pbQueue"));
    pbQueue->setRange(0, 100);
    pbQueue->setValue(0);
    layout->addWidget(pbQueue);

    lblMessage = new QLabel(this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setTextFormat(Qt::PlainText);
    lblMessage->setWordWrap(true);
    layout->addWidget(lblMessage);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);

    connect(cmdCancel, &QPushButton::clicked, this, &frmStatus::cmdCancel_Click);

    lblStatus->setText(QStringLiteral("Please wait..... your request is being processed"));
    resize(360, 130);
}

void frmStatus::setCaption(const QString& text) { lblStatus->setText(text); }

void frmStatus::setActivity(const QString& text) { lblMessage->setText(text); }

void frmStatus::setProgress(int done, int total)
{
    const int maximum = std::max(1, total);
    pbQueue->setRange(0, maximum);
    pbQueue->setValue(std::clamp(done, 0, maximum));
}

void frmStatus::setProgressVisible(bool shown) { pbQueue->setVisible(shown); }

void frmStatus::cmdCancel_Click()
{
    lblStatus->setText(QStringLiteral("Please wait...... cancelling operaration"));
    tf::cancelRunningCommands();
}

void frmStatus::whenPainted(std::function<void()> then)
{
    if (m_painted) {
        then();
        return;
    }
    m_afterPaint = std::move(then);
    // A window that is never exposed (its owner minimised, say) gets no paint: the work must not
    // wait for one for ever.
    QTimer::singleShot(500, this, [this] {
        if (auto pending = std::exchange(m_afterPaint, {})) pending();
    });
}

void frmStatus::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (m_painted) return;
    m_painted = true;
    // After this paint has reached the screen, not from inside it.
    if (auto then = std::exchange(m_afterPaint, {})) QTimer::singleShot(0, this, std::move(then));
}

void frmStatus::closeEvent(QCloseEvent* event)
{
    if (!event->spontaneous()) {
        // The program closing its own window (at shutdown, say) is no Cancel.
        event->accept();
        return;
    }
    event->ignore();
    cmdCancel_Click();
}

void frmStatus::reject() { cmdCancel_Click(); }
