// Whether the main window keeps answering while it saves big documents: the real window on an X
// server saves the basket's 64 A4 photo pages as one uncompressed TIFF (about 1.6 GB) ten times
// over, through the Save As command as a user runs it, while a second X connection on a thread of
// its own pings the window the way a window manager does (_NET_WM_PING, which Qt answers on the
// window's thread) every 20 ms and times each answer. The aim: every answer within 100 ms, during
// each save and between them. Each document is checked with tiffinfo (64 uncompressed pages of
// 2480 x 3508).
//   save_ping_bench [SAVES] [--dir FOLDER]
// SAVES defaults to 10; FOLDER (default: a new folder under the current one) keeps the pages and
// the document, and needs about 2 GB free. Without a DISPLAY the benchmark runs itself under
// xvfb-run. Not a test: it writes gigabytes.
#include "benchutil.h"

#include "app/frmMain.h"
#include "basket/BasketController.h"
#include "basket/modMultiPage.h"
#include "browse/BrowseController.h"
#include "frame/modSettings.h"
#include "platform/decode/decoder_client.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/msgbox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPages = 64;
constexpr int kDistinctPhotos = 16;
constexpr double kAimMs = 100.0;

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

// What the pings saw in one span (a save, or the pause after it).
struct Span {
    int pings = 0;
    int late = 0;          // answered after kAimMs, or not at all
    double longestMs = 0;  // the slowest answer
    double startMs = 0;    // when it began, on the monotonic clock
    double longestAtMs = 0; // when the slowest ping was sent, from the span's start
};

// Pings `window` from its own X connection until stopped. Each ping is a ClientMessage of type
// WM_PROTOCOLS carrying _NET_WM_PING and a serial; the window sends it back to the root window,
// where this connection listens. The next ping goes out 20 ms after an answer; an unanswered
// ping counts for as long as it waits.
class Pinger {
public:
    explicit Pinger(xcb_window_t window) : m_window(window) {}
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

    // True once the answer to `serial` came, false when stopped first.
    bool awaitAnswer(uint32_t serial)
    {
        pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        while (!m_stop) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_connection)) {
                bool answered = false;
                if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                    const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(e);
                    answered = m->window == m_root && m->data.data32[0] == m_ping && m->data.data32[1] == serial;
                }
                std::free(e);
                if (answered) return true;
            }
            if (xcb_connection_has_error(m_connection)) return false;
            ::poll(&fd, 1, 5);
        }
        return false;
    }

    void record(double sentMs, double tookMs)
    {
        std::lock_guard lock(m_mutex);
        // A ping sent before the span began waited on the benchmark's own work, not the window's.
        if (sentMs < m_span.startMs) return;
        ++m_span.pings;
        if (tookMs > kAimMs) ++m_span.late;
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
            const bool answered = awaitAnswer(serial);
            record(sent, nowMs() - sent);
            if (!answered) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    xcb_window_t m_window;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_protocols = 0;
    xcb_atom_t m_ping = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    Span m_span;
};

// The benchmark's own waiting: the window's event loop runs meanwhile.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

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

// tiffinfo's account of the document: pages, and whether each is 2480 x 3508 and uncompressed.
bool documentChecks(const QString& path, int& pages)
{
    QProcess p;
    p.start(QStringLiteral("tiffinfo"), {path});
    p.waitForFinished(-1);
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    pages = static_cast<int>(text.count(QStringLiteral("TIFF Directory")));
    return pages > 0 && text.count(QStringLiteral("Image Width: 2480 Image Length: 3508")) == pages &&
           text.count(QStringLiteral("Compression Scheme: None")) == pages;
}

int underXvfb(int argc, char** argv)
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

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return underXvfb(argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    int saves = 10;
    QString folder;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            folder = QString::fromLocal8Bit(argv[++i]);
        } else if (std::atoi(argv[i]) > 0) {
            saves = std::atoi(argv[i]);
        } else {
            std::printf("usage: save_ping_bench [SAVES] [--dir FOLDER]\n");
            return 2;
        }
    }
    QTemporaryDir temp(QDir::currentPath() + QStringLiteral("/save_ping_bench-XXXXXX"));
    if (folder.isEmpty()) folder = temp.path();
    QDir root(folder);
    root.mkpath(QStringLiteral("photos"));
    root.mkpath(QStringLiteral("home"));
    root.mkpath(QStringLiteral("out"));
    // The window's settings and work files stay in the benchmark's folder.
    qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("home/data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("home/config"))));

    QApplication app(argc, argv);
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));

    auto photoName = [&](int i) {
        return root.filePath(QStringLiteral("photos/page%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
    };
    if (!QFileInfo::exists(photoName(kPages))) {
        std::printf("making %d A4 photo pages (%d distinct) in %s\n", kPages, kDistinctPhotos,
                    qPrintable(root.filePath(QStringLiteral("photos"))));
        std::atomic<int> next{1};
        std::vector<std::thread> threads;
        for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
            threads.emplace_back([&] {
                for (int i = next++; i <= kDistinctPhotos; i = next++) {
                    QImageWriter writer(photoName(i), "jpg");
                    writer.setQuality(85);
                    writer.write(tf::bench::makeA4Photo(static_cast<quint32>(i)));
                }
            });
        for (std::thread& t : threads) t.join();
        for (int i = kDistinctPhotos + 1; i <= kPages; ++i)
            QFile::copy(photoName((i - 1) % kDistinctPhotos + 1), photoName(i));
    }

    PrintedMessages messages;
    tf::setMessageBoxHandler(&messages);
    tf::ScriptedDialogs dialogs;
    frmMain window;
    window.resize(1000, 700);
    window.show();
    runFor(1000);
    // The folder the document goes to is the one shown, as when a user saves where they browse:
    // the listing sees the work file come and the document replaced.
    gudtSettings.FolderView = 3;
    if (!window.browse()->ftvBrowse()->setSelectedFolder(root.filePath(QStringLiteral("out")))) {
        std::printf("the folder tree did not take %s\n", qPrintable(root.filePath(QStringLiteral("out"))));
        return 1;
    }
    tf::basket::BasketModel& basket = window.basket()->model();
    for (int i = 1; i <= kPages; ++i) {
        tf::basket::PageRecord page;
        page.source = page.tag = photoName(i);
        page.text = QFileInfo(photoName(i)).fileName();
        basket.append(page);
    }
    runFor(2000);

    Pinger pinger(static_cast<xcb_window_t>(window.winId()));
    if (!pinger.start()) {
        std::printf("cannot open a second connection to the X server\n");
        return 1;
    }
    runFor(1000);
    const Span before = pinger.nextSpan();
    std::printf("before any save: %d pings, slowest answer %.1f ms\n", before.pings, before.longestMs);
    std::fflush(stdout);
    if (before.pings == 0) {
        std::printf("the window does not answer pings\n");
        return 1;
    }

    // Each save replaces the document before it, as a user saving again does.
    const QString document = root.filePath(QStringLiteral("out/pages.tif"));
    tf::MultiPageCommands* commands = window.basket()->multiPage();
    int failures = 0;
    std::vector<double> longest;
    for (int run = 1; run <= saves; ++run) {
        gudtSettings.SaveDialog.TiffCompression = 0; // None
        gudtSettings.SaveDialog.ColorFormat = 0;     // 24 bit
        gudtSettings.SaveDialog.ProcessTaskList = 0;
        dialogs.answerFile(document, 1);
        bool written = false;
        QEventLoop loop;
        const QMetaObject::Connection ended =
            QObject::connect(commands, &tf::MultiPageCommands::outputFinished, &loop, [&](bool ok) {
                written = ok;
                loop.quit();
            });
        pinger.nextSpan();
        const double start = nowMs();
        int32_t filter = 2;
        if (!commands->fncSaveToFileDialog(filter)) {
            std::printf("save %d did not start\n", run);
            return 1;
        }
        loop.exec();
        QObject::disconnect(ended);
        const double took = nowMs() - start;
        const Span during = pinger.nextSpan();
        // The pause after the save: the window settles while the system writes the file out.
        runFor(1000);
        const Span after = pinger.nextSpan();
        int pages = 0;
        const bool checked = written && documentChecks(document, pages);
        const double worst = std::max(during.longestMs, after.longestMs);
        longest.push_back(worst);
        // No pings at all means the pinger stopped (its connection failed): nothing was shown.
        const bool ok = checked && pages == kPages && during.pings > 0 && during.late == 0 && after.late == 0;
        if (!ok) ++failures;
        std::printf("save %2d: %6.0f ms, %.0f MB, tiffinfo %d pages%s; %3d pings, slowest %6.1f ms (at %.0f ms)"
                    ", after it %6.1f ms%s\n",
                    run, took, QFileInfo(document).size() / 1048576.0, pages, checked ? "" : " (NOT AS WRITTEN)",
                    during.pings, during.longestMs, during.longestAtMs, after.longestMs,
                    ok ? "" : "  MISSES THE AIM");
        std::fflush(stdout);
    }
    pinger.stop();
    std::sort(longest.begin(), longest.end());
    std::printf("\nslowest answer over %d saves: median %.1f ms, worst %.1f ms (aim: every one within %.0f ms); "
                "%d of %d saves missed it\n",
                saves, longest[longest.size() / 2], longest.back(), kAimMs, failures, saves);
    tf::setMessageBoxHandler(nullptr);
    return failures == 0 ? 0 : 1;
}
