#include "frame/frmStatus.h"

#include "frame/globals.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

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

void frmStatus::cmdCancel_Click()
{
    QCoreApplication::processEvents();
    lblStatus->setText(QStringLiteral("Please wait...... cancelling operaration"));
    gblnCancelOperation = -1;
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
