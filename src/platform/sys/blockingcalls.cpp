#include "platform/sys/blockingcalls.h"

#include <QCoreApplication>
#include <QThread>
#include <QtGlobal>

#include <atomic>

namespace tf {

namespace {

#ifdef NDEBUG
std::atomic<bool> g_checked{false};
#else
std::atomic<bool> g_checked{true};
#endif
std::atomic<int> g_allowed{0};
std::atomic<BlockingCallHandler> g_handler{nullptr};

} // namespace

bool blockingCallsChecked() { return g_checked.load(); }
void setBlockingCallsChecked(bool on) { g_checked.store(on); }
void setBlockingCallHandler(BlockingCallHandler handler) { g_handler.store(handler); }

void checkBlockingCall(const char* what)
{
    if (!g_checked.load() || g_allowed.load() > 0) return;
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return;
    if (BlockingCallHandler handler = g_handler.load()) return handler(what);
    qFatal("%s was called on the application's thread; it belongs on a worker", what);
}

BlockingCallsAllowed::BlockingCallsAllowed() { ++g_allowed; }
BlockingCallsAllowed::~BlockingCallsAllowed() { --g_allowed; }

} // namespace tf
