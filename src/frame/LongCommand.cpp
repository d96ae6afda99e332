#include "frame/LongCommand.h"

#include "frame/frmStatus.h"
#include "frame/globals.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace tf {

namespace {

int g_running = 0;  // long commands alive
std::vector<LongCommand*> g_commands;
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

LongCommand::LongCommand(const QString& operation)
{
    if (g_running > 0) {
        // Started from a click (or a timer, or a helper) while another command runs: not now.
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
        return;
    }
    m_started = true;
    ++g_running;
    g_commands.push_back(this);
    gstrCurrentOperation = operation;
}

LongCommand::~LongCommand()
{
    delete m_status.data();
    if (!m_started) return;
    --g_running;
    std::erase(g_commands, this);
    runAfterCommand();
}

frmStatus* LongCommand::showStatus(QWidget* owner, bool windowModal)
{
    if (!m_started) return nullptr;
    if (!m_status) {
        m_status = new frmStatus(owner);
        m_status->setAttribute(Qt::WA_DeleteOnClose, false);
        if (windowModal && owner) m_status->setWindowModality(Qt::WindowModal);
    }
    m_status->show();
    return m_status.data();
}

frmStatus* LongCommand::status() const { return m_status.data(); }

void LongCommand::whenShown(std::function<void()> start)
{
    if (!m_status || !m_status->isVisible()) {
        start();
        return;
    }
    m_status->whenPainted(std::move(start));
}

void LongCommand::setCancelHandler(std::function<void()> handler) { m_onCancel = std::move(handler); }

void LongCommand::showProgress(int done, int total, const QString& item)
{
    gstrCurrentOperation = item;
    if (!m_status) return;
    m_status->setProgress(done, total);
}

bool isLongCommandRunning() { return g_running > 0; }

void cancelRunningCommands()
{
    // A handler may end its command at once: work on a copy of the list.
    const std::vector<LongCommand*> running = g_commands;
    for (LongCommand* command : running) {
        if (std::find(g_commands.begin(), g_commands.end(), command) == g_commands.end()) continue;
        if (auto handler = std::exchange(command->m_onCancel, {})) handler();
    }
}

void cancelLongCommandThen(std::function<void()> then)
{
    if (g_running == 0) {
        if (then) then();
        return;
    }
    if (then) g_afterCommand.push_back(std::move(then));
    cancelRunningCommands();
}

bool fncCloseWhenIdle(QWidget* window)
{
    if (g_running == 0 || !window) return false;
    // A second close while the first waits must not close (and shut down) the window twice.
    static std::vector<QPointer<QWidget>> waiting;
    std::erase_if(waiting, [](const QPointer<QWidget>& w) { return w.isNull(); });
    for (const auto& w : waiting)
        if (w == window) return true;
    waiting.emplace_back(window);
    QPointer<QWidget> target(window);
    cancelLongCommandThen([target] {
        std::erase_if(waiting, [&](const QPointer<QWidget>& w) { return w.isNull() || w == target; });
        if (target) target->close();
    });
    return true;
}

} // namespace tf
