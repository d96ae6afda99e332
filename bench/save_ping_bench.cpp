// Whether the main window keeps answering while it saves big documents: the real window on an X
// server saves the basket's 64 A4 photo pages as one uncompressed TIFF (about 1.6 GB) ten times
// over, through the Save As command as a user runs it, while a second X connection on a thread of
// its own pings the window the way a window manager does (_NET_WM_PING, which Qt answers on the
// window's thread) every 20 ms and times each answer. The aim: every answer within 100 ms, during
// each save and between them. Each document is checked with tiffinfo (64 uncompressed pages of
// 2480 x 3508).
//   save_ping_bench [SAVES] [--dir FOLDER] [--events] [--look-after MS]
// --events lists under each save the deliveries of events on the window's thread that took 30 ms
// or more: when, how long, which event to which object, and how that time was spent (running,
// waiting for a processor, or asleep: in a system call, on a lock, or on a page read from disk).
// Under each answer later than the aim, or than MS when given (to see what slows the answers
// that are not yet late), the states the window's thread and the X server were seen in while it
// was awaited. SAVES defaults to 10; FOLDER (default: a new temporary folder under TMPDIR or /tmp, removed at
// the end) keeps the pages and the document, and needs about 4 GB free (the document and the one
// replacing it). Without a DISPLAY the benchmark runs itself under xvfb-run. Not a test: it
// writes gigabytes.
#include "benchutil.h"
#include "pingutil.h"

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
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

using tf::bench::nowMs;
using tf::bench::Pinger;
using tf::bench::PrintedMessages;
using tf::bench::runFor;
using tf::bench::Span;

constexpr int kPages = 64;
constexpr int kDistinctPhotos = 16;
constexpr double kAimMs = 100.0;

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

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return tf::bench::underXvfb(argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    int saves = 10;
    QString folder;
    bool events = false;
    double lookAfterMs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            folder = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--events") == 0) {
            events = true;
        } else if (std::strcmp(argv[i], "--look-after") == 0 && i + 1 < argc && std::atof(argv[i + 1]) > 0) {
            lookAfterMs = std::atof(argv[++i]);
        } else if (std::atoi(argv[i]) > 0) {
            saves = std::atoi(argv[i]);
        } else {
            std::printf("usage: save_ping_bench [SAVES] [--dir FOLDER] [--events] [--look-after MS]\n");
            return 2;
        }
    }
    // Made only when no folder is given, in the system's place for temporary files (TMPDIR).
    std::unique_ptr<QTemporaryDir> temp;
    if (folder.isEmpty()) {
        temp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/save_ping_bench-XXXXXX"));
        if (!temp->isValid()) {
            std::printf("cannot make a temporary folder: %s\n", qPrintable(temp->errorString()));
            return 1;
        }
        folder = temp->path();
    }
    QDir root(folder);
    root.mkpath(QStringLiteral("photos"));
    root.mkpath(QStringLiteral("home"));
    root.mkpath(QStringLiteral("out"));
    // The window's settings and work files stay in the benchmark's folder.
    qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("home/data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("home/config"))));

    tf::bench::TimedApplication app(argc, argv);
    // With --events, every delivery on the window's thread of 30 ms or more is listed under its save.
    if (events) app.keepSlowerThan(30);
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

    Pinger pinger(static_cast<xcb_window_t>(window.winId()), kAimMs, lookAfterMs);
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
        app.takeSlow();
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
        tf::bench::printStalls(during);
        tf::bench::printStalls(after);
        for (const tf::bench::TimedApplication::Delivery& d : app.takeSlow())
            std::printf("    at %6.0f ms: %6.1f ms (%.1f running, %.1f waiting for a processor, %ld sleeps, %ld faults"
                        " read) in %s to %s\n",
                        d.startMs - start, d.tookMs, d.cpuMs, d.waitingMs, d.sleeps, d.faults, qPrintable(d.event),
                        qPrintable(d.receiver));
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
