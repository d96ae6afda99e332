#include "browse/ControlSaveAs.h"

#include "frame/LongCommand.h"
#include "frame/frmStatus.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/msgbox.h"

#include <QFileInfo>
#include <QThread>

#include <utility>

namespace tf {

// What the worker leaves for the window's thread; the worker is joined before it is read.
struct ControlSaveAs::Outcome {
    std::atomic<bool> cancelled{false};
    QString failure;
    bool written = false;
};

ControlSaveAs::ControlSaveAs(QObject* parent) : QObject(parent) {}

ControlSaveAs::~ControlSaveAs()
{
    if (m_worker) {
        m_outcome->cancelled = true;
        m_worker->wait();
    }
}

void ControlSaveAs::SaveAs(ImageBox& control)
{
    if (m_worker || !control.HasImage()) return;
    // Taken before the dialog: while another command runs the user is not asked for a file that
    // would then not be written.
    auto command = std::make_unique<LongCommand>(QStringLiteral("Saving the preview"));
    if (!*command) return;
    const QString path = control.SaveAsPath();
    if (path.isEmpty()) return;

    // Copies: the preview may show another picture while this one is written.
    const QImage pixels = control.image();
    const int quality = control.document().JpegQuality();
    auto outcome = std::make_shared<Outcome>();
    // Before the window shows: a Cancel there reaches the save from the first moment.
    command->setCancelHandler([outcome] { outcome->cancelled = true; });
    if (qint64(pixels.width()) * pixels.height() >= kLongSavePixels) {
        if (frmStatus* status = command->showStatus(control.window(), true)) {
            status->setCaption(QStringLiteral("Saving the picture"));
            status->setActivity(QFileInfo(path).fileName());
            // Two steps the user can see go by: the encoding, then the writing.
            status->setProgress(0, 2);
        }
    }
    m_command = std::move(command);
    m_outcome = outcome;
    // The worker reaches this object only through queued calls: this object waits for it before
    // it goes, and a call still queued then is dropped with it.
    m_worker.reset(QThread::create([this, outcome, pixels, path, quality] {
        bool stopped = outcome->cancelled;
        if (stopped) return;
        const auto stop = [&] {
            stopped = outcome->cancelled;
            if (!stopped)
                QMetaObject::invokeMethod(this, [this] { encoded(); }, Qt::QueuedConnection);
            return stopped;
        };
        outcome->failure = savePictureAs(pixels, path, quality, stop);
        outcome->written = outcome->failure.isEmpty() && !stopped;
    }));
    connect(m_worker.get(), &QThread::finished, this, &ControlSaveAs::saveEnded, Qt::QueuedConnection);
    QThread* worker = m_worker.get();
    m_command->whenShown([worker] { worker->start(); });
}

void ControlSaveAs::encoded()
{
    // The window shows the writing under way.
    if (frmStatus* status = m_command ? m_command->status() : nullptr) status->setProgress(1, 2);
}

void ControlSaveAs::saveEnded()
{
    if (!m_worker) return;
    m_worker->wait(); // it has finished: this only joins it
    m_worker.reset();
    const std::shared_ptr<Outcome> outcome = std::exchange(m_outcome, {});
    if (frmStatus* status = m_command->status()) status->hide();
    // Told while the command still holds: a close of the main window waiting for it goes on after.
    if (!outcome->failure.isEmpty()) MsgBox(outcome->failure, vbCritical);
    m_command.reset();
    emit saveFinished(outcome->written);
}

} // namespace tf
