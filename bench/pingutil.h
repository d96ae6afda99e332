#pragma once
// What the benchmarks that ping the real window share: the window on an X server (through
// xvfb-run when there is no display), a second X connection on a thread of its own that pings the
// window the way a window manager does (_NET_WM_PING, which Qt answers on the window's thread)
// every 20 ms and times each answer, and the benchmark's own waiting while the window runs.
#include "platform/ui/msgbox.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QMetaEnum>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tf::bench {

inline double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

// What the pings saw in one span (a command, or the pause after it).
struct Span {
    int pings = 0;
    int late = 0;           // answered after the aim, or not at all
    double longestMs = 0;   // the slowest answer
    double startMs = 0;     // when it began, on the monotonic clock
    double longestAtMs = 0; // when the slowest ping was sent, from the span's start
    // For each late answer (and each slower than the pinger was told to look into): where the
    // window's thread and the X server were while it was awaited.
    std::vector<std::string> stalls;
};

// What one thread is doing as the kernel sees it: its state (R running, S asleep, D in
// uninterruptible wait: a disk, a page fault, a throttled write), the system call it is in
// ("running" in user code) and its kernel stack, innermost first, without offsets. Reading
// another thread's kernel stack needs root; without it the stack is left out.
inline std::string threadSnapshot(long pid, long tid)
{
    const std::string base = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/";
    auto slurp = [](const std::string& path) {
        std::string text;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return text;
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
        ::close(fd);
        return text;
    };
    const std::string stat = slurp(base + "stat");
    const size_t paren = stat.rfind(')');
    std::string out = paren != std::string::npos && paren + 2 < stat.size() ? stat.substr(paren + 2, 1) : "?";
    std::string call = slurp(base + "syscall");
    call = call.substr(0, call.find_first_of(" \n"));
    out += " syscall " + (call.empty() ? std::string("?") : call);
    const std::string stack = slurp(base + "stack");
    for (size_t at = 0; at < stack.size();) {
        const size_t end = std::min(stack.find('\n', at), stack.size());
        const std::string line = stack.substr(at, end - at);
        const size_t name = line.find("] ");
        if (name != std::string::npos) {
            const std::string function = line.substr(name + 2, line.find('+', name) - name - 2);
            if (function.rfind("entry_SYSCALL", 0) == 0 || function.rfind("do_syscall", 0) == 0) break;
            out += (out.find(':') == std::string::npos ? ": " : " < ") + function;
        }
        at = end + 1;
    }
    return out;
}

// The X server showing $DISPLAY, when it runs on this machine as Xvfb or Xorg: its process id, or 0.
inline long xServerPid()
{
    const char* display = std::getenv("DISPLAY");
    if (!display) return 0;
    std::string number = display;
    number = number.substr(number.find(':') + 1);
    number = ":" + number.substr(0, number.find('.'));
    long found = 0;
    if (DIR* proc = ::opendir("/proc")) {
        while (dirent* entry = ::readdir(proc)) {
            const long pid = std::atol(entry->d_name);
            if (pid <= 0) continue;
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (!cmdline.open(QIODevice::ReadOnly)) continue;
            const QList<QByteArray> args = cmdline.readAll().split('\0');
            if (args.isEmpty() || !(args[0].endsWith("Xvfb") || args[0].endsWith("Xorg"))) continue;
            if (args.contains(QByteArray::fromStdString(number))) found = pid;
        }
        ::closedir(proc);
    }
    return found;
}

// Pings `window` from its own X connection until stopped. Each ping is a ClientMessage of type
// WM_PROTOCOLS carrying _NET_WM_PING and a serial; the window sends it back to the root window,
// where this connection listens. The next ping goes out 20 ms after an answer; an unanswered
// ping counts for as long as it waits. Answers slower than `aimMs` count as late.
class Pinger {
public:
    // Answers slower than `lookAfterMs` (the aim unless given) are looked into (see Span::stalls).
    Pinger(xcb_window_t window, double aimMs, double lookAfterMs = 0)
        : m_window(window), m_aimMs(aimMs), m_lookAfterMs(lookAfterMs > 0 ? lookAfterMs : aimMs)
    {
    }
    ~Pinger() { stop(); }

    bool start()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (!m_connection || xcb_connection_has_error(m_connection)) return false;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_root = screen->root;
        m_protocols = atom("WM_PROTOCOLS");
        m_ping = atom("_NET_WM_PING");
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
        // Called on the window's thread: the thread a late answer waits for.
        m_windowPid = ::getpid();
        m_windowTid = static_cast<long>(::syscall(SYS_gettid));
        m_serverPid = xServerPid();
        m_thread = std::thread([this] { run(); });
        return true;
    }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_connection) xcb_disconnect(m_connection);
        m_connection = nullptr;
    }

    // Ends the span under way and starts the next one; gives the ended one.
    Span nextSpan()
    {
        std::lock_guard lock(m_mutex);
        Span ended = m_span;
        m_span = Span{};
        m_span.startMs = nowMs();
        return ended;
    }

private:
    xcb_atom_t atom(const char* name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return a;
    }

    void send(uint32_t serial)
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = m_window;
        event.type = m_protocols;
        event.data.data32[0] = m_ping;
        event.data.data32[1] = serial; // stands in for the timestamp, which the window sends back as it came
        event.data.data32[2] = m_window;
        xcb_send_event(m_connection, 0, m_window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(m_connection);
    }

    // True once the answer to `serial` came, false when stopped first. While the answer is later
    // than m_lookAfterMs, the window's thread and the X server are looked at every 5 ms: what they were
    // doing goes into `stall`, each distinct state once with the number of times it was seen.
    bool awaitAnswer(uint32_t serial, double sentMs, std::string& stall)
    {
        std::vector<std::pair<std::string, int>> seen;
        auto look = [&](const char* who, long pid, long tid) {
            const std::string state = std::string(who) + " " + threadSnapshot(pid, tid);
            for (auto& [text, count] : seen)
                if (text == state) return void(++count);
            seen.emplace_back(state, 1);
        };
        auto finish = [&](bool answered) {
            for (const auto& [text, count] : seen) stall += "\n      " + std::to_string(count) + "x " + text;
            return answered;
        };
        pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        while (!m_stop) {
            if (nowMs() - sentMs > m_lookAfterMs) {
                look("window", m_windowPid, m_windowTid);
                if (m_serverPid > 0) look("X server", m_serverPid, m_serverPid);
            }
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_connection)) {
                bool answered = false;
                if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                    const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(e);
                    answered = m->window == m_root && m->data.data32[0] == m_ping && m->data.data32[1] == serial;
                }
                std::free(e);
                if (answered) return finish(true);
            }
            if (xcb_connection_has_error(m_connection)) return finish(false);
            ::poll(&fd, 1, 5);
        }
        return finish(false);
    }

    void record(double sentMs, double tookMs, const std::string& stall)
    {
        std::lock_guard lock(m_mutex);
        // A ping sent before the span began waited on the benchmark's own work, not the window's.
        if (sentMs < m_span.startMs) return;
        ++m_span.pings;
        if (tookMs > m_aimMs) ++m_span.late;
        if (tookMs > m_lookAfterMs) {
            char head[96];
            std::snprintf(head, sizeof head, "ping at %.0f ms answered after %.1f ms:", sentMs - m_span.startMs, tookMs);
            m_span.stalls.push_back(head + stall);
        }
        if (tookMs > m_span.longestMs) {
            m_span.longestMs = tookMs;
            m_span.longestAtMs = sentMs - m_span.startMs;
        }
    }

    void run()
    {
        for (uint32_t serial = 1; !m_stop; ++serial) {
            const double sent = nowMs();
            send(serial);
            std::string stall;
            const bool answered = awaitAnswer(serial, sent, stall);
            record(sent, nowMs() - sent, stall);
            if (!answered) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    xcb_window_t m_window;
    double m_aimMs;
    double m_lookAfterMs;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_protocols = 0;
    xcb_atom_t m_ping = 0;
    long m_windowPid = 0, m_windowTid = 0, m_serverPid = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    Span m_span;
};

// The application, timing each event it hands out on the window's thread: deliveries that take
// longer than a threshold are kept (when, how long, to what, which event), so that a late answer
// to a ping can be matched with the handler that held the thread. Nested deliveries count in the
// one that holds them.
class TimedApplication : public QApplication {
public:
    struct Delivery {
        double startMs = 0;
        double tookMs = 0;
        double cpuMs = 0;     // of that, run on a processor
        double waitingMs = 0; // of that, ready to run but waiting for a processor
        long sleeps = 0;      // times the thread gave up its processor to wait (a call, a fault)
        long faults = 0;      // page faults that had to read from a file or device
        QString receiver;
        QString event;
    };

    TimedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    ~TimedApplication() override
    {
        if (m_schedFd >= 0) ::close(m_schedFd);
    }

    // Deliveries of `ms` and longer are kept from now on; 0 keeps none.
    void keepSlowerThan(double ms) { m_thresholdMs = ms; }
    // The deliveries kept since the last call.
    std::vector<Delivery> takeSlow() { return std::exchange(m_slow, {}); }

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_thresholdMs <= 0 || m_depth > 0 || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        ++m_depth;
        // Read before the delivery, which may delete the receiver.
        const char* className = receiver->metaObject()->className();
        const QString name = receiver->objectName();
        const Sched before = sched();
        rusage usageBefore{};
        getrusage(RUSAGE_THREAD, &usageBefore);
        const double start = nowMs();
        const int type = event->type();
        const bool result = QApplication::notify(receiver, event);
        const double took = nowMs() - start;
        const Sched after = sched();
        rusage usageAfter{};
        getrusage(RUSAGE_THREAD, &usageAfter);
        --m_depth;
        if (took >= m_thresholdMs) {
            const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
            m_slow.push_back({start, took, after.cpuMs - before.cpuMs, after.waitingMs - before.waitingMs,
                              usageAfter.ru_nvcsw - usageBefore.ru_nvcsw, usageAfter.ru_majflt - usageBefore.ru_majflt,
                              QString::fromLatin1(className) + (name.isEmpty() ? QString() : QLatin1Char(' ') + name),
                              typeName ? QString::fromLatin1(typeName) : QString::number(type)});
        }
        return result;
    }

private:
    // The window thread's time on a processor and waiting in the run queue, as the scheduler
    // counts them; the file stays open, read again from its start each time.
    struct Sched {
        double cpuMs = 0, waitingMs = 0;
    };
    Sched sched()
    {
        if (m_schedFd < 0) m_schedFd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
        char text[128] = {};
        unsigned long long run = 0, wait = 0;
        if (m_schedFd < 0 || ::pread(m_schedFd, text, sizeof text - 1, 0) <= 0 ||
            std::sscanf(text, "%llu %llu", &run, &wait) != 2)
            return {};
        return {run / 1e6, wait / 1e6};
    }

    int m_schedFd = -1;
    double m_thresholdMs = 0;
    int m_depth = 0;
    std::vector<Delivery> m_slow;
};

// Under a line of results: where the window's thread and the X server were during each late answer.
inline void printStalls(const Span& span)
{
    for (const std::string& stall : span.stalls) std::printf("    %s\n", stall.c_str());
}

// The benchmark's own waiting: the window's event loop runs meanwhile.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the window's event loop until `done` holds or `ms` have passed; false on the latter.
inline bool runUntil(const std::function<bool()>& done, int ms)
{
    const double end = nowMs() + ms;
    while (!done()) {
        if (nowMs() > end) return false;
        runFor(10);
    }
    return true;
}

// Starts this benchmark again under xvfb-run (an X server of its own); returns only on failure.
inline int underXvfb(int argc, char** argv)
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty()) {
        std::printf("no DISPLAY and no xvfb-run: install xvfb\n");
        return 1;
    }
    std::vector<QByteArray> storage{QFile::encodeName(xvfbRun), "-a", "-s", "-screen 0 1280x1024x24 -nolisten tcp"};
    for (int i = 0; i < argc; ++i) storage.emplace_back(argv[i]);
    std::vector<char*> args;
    for (QByteArray& s : storage) args.push_back(s.data());
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::printf("cannot run xvfb-run\n");
    return 1;
}

// The window's messages, printed instead of shown (a benchmark has nobody to answer them).
class PrintedMessages : public tf::MessageBoxHandler {
public:
    int show(const QString& prompt, int style, const QString&) override
    {
        std::printf("  message: %s\n", qPrintable(prompt));
        ++shown;
        return tf::msgBoxDefaultAnswer(style);
    }
    int shown = 0;
};

} // namespace tf::bench
