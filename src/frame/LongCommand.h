#pragma once
#include <QPointer>
#include <QString>
#include <functional>

class QWidget;
class frmStatus;

namespace tf {

// One long command (save, append, conversion, printing, building a player): the cancel protocol
// and the busy guard in one object that lives for the length of the command.
//
//   LongCommand cmd("Saving a MultiPage file");
//   if (!cmd) return;                       // another long command is running
//   cmd.showStatus(this);                   // frmStatus, modeless, closed when cmd ends
//   for (page : pages) {
//       if (!cmd.nextItem(page.file)) break; // names the item, yields, stops on Cancel
//       ...work on the page...
//   }
//
// Starting clears a Cancel left over from before, so it cannot stop this command's first item.
// While a command runs, a second one started from an event handled during its yields (a click on
// another command) is refused. A command started by the running command's own code (a helper
// that is itself a long loop) joins it: it stops on Cancel too and leaves the flag for the
// enclosing loop, which clears it when it stops.
class LongCommand {
public:
    explicit LongCommand(const QString& operation);
    ~LongCommand();
    LongCommand(const LongCommand&) = delete;
    LongCommand& operator=(const LongCommand&) = delete;

    explicit operator bool() const { return m_started; }
    bool started() const { return m_started; }
    bool cancelled() const { return m_cancelled; }

    // Shows frmStatus modeless (owner: the main window), once; the command closes it when it ends.
    frmStatus* showStatus(QWidget* owner = nullptr);
    frmStatus* status() const;

    // Before each item: sets the current-activity text, yields to pending events, then tests the
    // cancel flag. False means stop now: Cancel was pressed (the flag is cleared again), or the
    // command was refused or already stopped. The items done before stay done.
    bool nextItem(const QString& description);

    // Yields to pending events without an item boundary (Cancel is seen at the next item).
    void yield();

private:
    bool m_started = false;
    bool m_outermost = false;
    bool m_cancelled = false;
    QPointer<frmStatus> m_status;
};

// True while a long command runs.
bool isLongCommandRunning();

// Sets the cancel flag and runs `then` once the running long command has ended and unwound (at
// once when none runs). For a window that must not close under a running loop.
void cancelLongCommandThen(std::function<void()> then);

// For the main window's close: when a long command runs, cancels it, closes the window again
// once it has ended, and answers true (the caller then ignores this close). False when idle.
bool fncCloseWhenIdle(QWidget* window);

// Yields to pending events, as the old loops did between items.
void DoEvents();

} // namespace tf
