#pragma once
#include <QPointer>
#include <QString>
#include <functional>

class QWidget;
class frmStatus;

namespace tf {

// One long command (save, append, conversion, printing, building a player): the cancel protocol
// and the busy guard in one object that lives for the length of the command. Its work runs on a
// worker thread (or the decoder pool); the object is held on the heap by whatever owns the job (a
// page job started from the window holds one through WindowJob, which does all of this):
//
//   auto cmd = std::make_unique<LongCommand>("Saving a MultiPage file");
//   if (!*cmd) return;                      // another long command is running
//   cmd->showStatus(this);                  // frmStatus, modeless, closed when cmd ends
//   cmd->setCancelHandler([job] { job->cancel(); });
//   cmd->whenShown([job] { job->start(); });
//   ...the job's end, queued to the GUI thread, lets go of cmd...
//
// A Cancel reaches only the commands running when it is pressed, never a later one. While a
// command runs, any second one is refused (a click on another command, a helper's own command
// alike): one long command at a time. Its window's Cancel and a close of the main window reach the
// job through setCancelHandler, on the GUI thread.
class LongCommand {
public:
    explicit LongCommand(const QString& operation);
    ~LongCommand();
    LongCommand(const LongCommand&) = delete;
    LongCommand& operator=(const LongCommand&) = delete;

    explicit operator bool() const { return m_started; }
    bool started() const { return m_started; }

    // Shows frmStatus (owner: the main window), once; the command closes it when it ends. Window
    // modal, it keeps the owner from changing what the job works on; it still repaints.
    frmStatus* showStatus(QWidget* owner = nullptr, bool windowModal = false);
    frmStatus* status() const;

    // Runs `start` once the status window has been painted, so that its bar and Cancel show before
    // the work takes the machine; at once when no window is shown.
    void whenShown(std::function<void()> start);
    // Called on the GUI thread when the command is asked to stop: Cancel in its window (or
    // Escape, or closing it), or a close of the main window. Once only.
    void setCancelHandler(std::function<void()> handler);
    // The job's progress in the status window: `done` of `total` items, the current one named.
    void showProgress(int done, int total, const QString& item);

private:
    bool m_started = false;
    QPointer<frmStatus> m_status;
    std::function<void()> m_onCancel;
    friend void cancelRunningCommands();
};

// Tells the running commands' jobs (their cancel handlers) to stop.
void cancelRunningCommands();

// True while a long command runs.
bool isLongCommandRunning();

// Cancels the running command and runs `then` once the running long command has ended and unwound (at
// once when none runs). For a window that must not close under a running job.
void cancelLongCommandThen(std::function<void()> then);

// For the main window's close: when a long command runs, cancels it, closes the window again
// once it has ended, and answers true (the caller then ignores this close). False when idle.
bool fncCloseWhenIdle(QWidget* window);

} // namespace tf
