#include "frame/LongCommand.h"

#include "frame/frmStatus.h"
#include "frame/globals.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace tf {

namespace {

int g_running = 0;       // long commands alive, the nested ones included
int g_yielding = 0;      // > 0 while a running command hands control to pending events
std::vector<std::function<void()>> g_afterCommand;

void runAfterCommand()
{
    if (g_afterCommand.empty()) return;
    std::vector<std::function<void()>> pending;
    pending.swap(g_afterCommand);
    // Queued, so that the command's own code has returned before a window goes away under it.
    for (auto& action : pending) QTimer::singleShot(0, qApp, std::move(action));
}

} // namespace

void DoEvents()
{
    ++g_yielding;
    QCoreApplication::processEvents();
    --g_yielding;
}

LongCommand::LongCommand(const QString& operation)
{
    if (g_running > 0 && g_yielding > 0) {
        // Started from a click (or a timer) while another command yields: not now.
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
        return;
    }
    m_started = true;
    m_outermost = g_running == 0;
    ++g_running;
    gstrCurrentOperation = operation;
    if (m_outermost) gblnCancelOperation = 0;
}

LongCommand::~LongCommand()
{
    delete m_status.data();
    if (!m_started) return;
    --g_running;
    if (m_outermost) {
        // A Cancel pressed after the last test has nothing left to stop.
        gblnCancelOperation = 0;
        runAfterCommand();
    }
}

frmStatus* LongCommand::showStatus(QWidget* owner)
{
    if (!m_started) return nullptr;
    if (!m_status) {
        m_status = new frmStatus(owner);
        m_status->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    m_status->show();
    return m_status.data();
}

frmStatus* LongCommand::status() const { return m_status.data(); }

bool LongCommand::nextItem(const QString& description)
{
    if (!m_started || m_cancelled) return false;
    gstrCurrentOperation = description;
    DoEvents();
    if (gblnCancelOperation == -1) {
        // An enclosing loop clears the flag itself when it sees it.
        if (m_outermost) gblnCancelOperation = 0;
        m_cancelled = true;
        return false;
    }
    return true;
}

void LongCommand::yield()
{
    if (m_started) DoEvents();
}

bool isLongCommandRunning() { return g_running > 0; }

void cancelLongCommandThen(std::function<void()> then)
{
    if (g_running == 0) {
        if (then) then();
        return;
    }
    gblnCancelOperation = -1;
    if (then) g_afterCommand.push_back(std::move(then));
}

bool fncCloseWhenIdle(QWidget* window)
{
    if (g_running == 0 || !window) return false;
    // A second close while the first waits must not close (and shut down) the window twice.
    static std::vector<QPointer<QWidget>> waiting;
    std::erase_if(waiting, [](const QPointer<QWidget>& w) { return w.isNull(); });
    for (const auto& w : waiting)
        if (w == window) {
            gblnCancelOperation = -1;
            return true;
        }
    waiting.emplace_back(window);
    QPointer<QWidget> target(window);
    cancelLongCommandThen([target] {
        std::erase_if(waiting, [&](const QPointer<QWidget>& w) { return w.isNull() || w == target; });
        if (target) target->close();
    });
    return true;
}

} // namespace tf
