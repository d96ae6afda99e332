// Times the main window's folder listing, the way the user sees it (rows at once, then thumbnails
// or details texts as they come), against a peer tool on the same files in the same run; also the
// longest time the window's event loop was held meanwhile:
//   details     COUNT small JPEGs (default 1,000) listed in details mode, against `identify`
//               reading the same headers (ImageMagick; optional);
//   thumbnails  COUNT A4 300-dpi photo JPEGs (default 64, about 1.2 MB each) listed as 40 x 40
//               thumbnails, against `vipsthumbnail` making the same thumbnails on every core
//               (libvips-tools; optional), with xargs -P8 -n8 among the ways it is run.
// Both sides are whole processes: ours is this program started again with --child, which starts
// the window (and its decoders), lists the folder, waits for the last row's answer and ends; its
// start-up is in the time, as the peer's is. The listing's own time in that window (the folder
// chosen to the last answer) is printed beside it, for reference only.
#include "benchutil.h"

#include "app/frmMain.h"
#include "browse/BrowseController.h"
#include "frame/modSettings.h"
#include "platform/decode/decoder_client.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/reportview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <optional>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

void usage()
{
    std::printf("usage: browse_bench details|thumbnails [COUNT]\n"
                "  both sides whole processes (ours: the window started, the folder listed, the program ended)\n"
                "  details:    COUNT JPEGs of 120 x 90 (default 1000) in details mode, against identify\n"
                "  thumbnails: COUNT JPEGs of 2480 x 3508 (default 64) as 40x40 thumbnails, against\n"
                "              vipsthumbnail on every core (one command; one process per core; xargs -P)\n");
}

// CPU seconds of this process and of its waited-for children (the decoders, the peer tools).
double cpuSeconds()
{
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        total += double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

// CPU seconds of the children still running (the pool's decoders), which getrusage does not
// count until they are waited for.
double runningChildrenCpuSeconds()
{
    double total = 0;
    const QString self = QString::number(QCoreApplication::applicationPid());
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        // The fields after the command name, which is in parentheses and may hold blanks.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13 || fields[1] != self.toLatin1()) continue;
        total += double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
    }
    return total;
}

// A few distinct pictures, copied to make up the count: every file is still read on its own.
QStringList makeJpegs(const QString& folder, int count, int width, int height)
{
    QStringList paths;
    const int distinct = std::min(count, 8);
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(folder).filePath(QString("photo%1.jpg").arg(i, 4, 10, QChar('0')));
        if (i < distinct) {
            QImageWriter writer(path, "jpg");
            writer.setQuality(85);
            const QImage photo = width == tf::bench::kA4Width && height == tf::bench::kA4Height
                                     ? tf::bench::makeA4Photo(static_cast<quint32>(i + 1))
                                     : tf::bench::makePhoto(width, height, static_cast<quint32>(i + 1));
            if (!writer.write(photo)) return {};
        } else if (!QFile::copy(paths[i % distinct], path)) {
            return {};
        }
        paths << path;
    }
    return paths;
}

struct Timing {
    qint64 ms = 0;
    double cpu = 0;
};

// Runs the processes at once and waits for all; nothing when one failed.
std::optional<Timing> runAll(const QString& program, const std::vector<QStringList>& argLists,
                             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    std::vector<std::unique_ptr<QProcess>> processes;
    const double cpu = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    for (const QStringList& args : argLists) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->setProcessEnvironment(environment);
        processes.back()->setStandardOutputFile(QProcess::nullDevice());
        processes.back()->start(program, args);
    }
    bool ok = true;
    for (auto& p : processes) {
        p->waitForFinished(-1);
        if (p->exitStatus() != QProcess::NormalExit || p->exitCode() != 0) {
            std::printf("%s failed: %s\n", qPrintable(program), p->readAllStandardError().constData());
            ok = false;
        }
    }
    if (!ok) return std::nullopt;
    return Timing{timer.elapsed(), cpuSeconds() - cpu};
}

struct Listing {
    Timing done;          // until every row has its facts and its picture
    qint64 rowsMs = 0;    // until every row was there
    qint64 longestGapMs = 0; // the longest the event loop went without running a 10 ms timer
};

Listing listInWindow(frmMain& window, const QString& folder)
{
    Listing out;
    BrowseController* browse = window.browse();
    const double cpu = cpuSeconds() + runningChildrenCpuSeconds();
    QElapsedTimer timer, since;
    QTimer ticks;
    ticks.setInterval(10);
    QObject::connect(&ticks, &QTimer::timeout, [&] { out.longestGapMs = std::max(out.longestGapMs, since.restart()); });
    QEventLoop loop;
    QObject::connect(browse, &BrowseController::folderListed, &loop, &QEventLoop::quit);
    timer.start();
    // Chosen in the folder tree, as the user chooses it: the tree reads the folder as well.
    if (!browse->ftvBrowse()->setSelectedFolder(folder)) std::printf("the tree did not take %s\n", qPrintable(folder));
    out.rowsMs = timer.elapsed();
    since.start();
    ticks.start();
    if (browse->listingBusy()) loop.exec();
    out.longestGapMs = std::max(out.longestGapMs, since.elapsed());
    out.done = Timing{timer.elapsed(), cpuSeconds() + runningChildrenCpuSeconds() - cpu};
    return out;
}

void print(const char* who, const Timing& t, int count)
{
    std::printf("%-28s %8lld ms  %8.2f s CPU  %9.1f files/s\n", who, static_cast<long long>(t.ms), t.cpu,
                t.ms > 0 ? count * 1000.0 / double(t.ms) : 0.0);
}

// The child: a window that lists the folder and ends. Prints "rows MS longest MS listing MS
// complete N of M".
int runChild(const QString& mode, const QString& folder, int width, int height)
{
    const bool details = mode == "details";
    frmMain window;
    window.resize(1000, 700);
    window.show();
    gudtSettings.FolderView = details ? 3 : 0;
    gudtSettings.FolderThumbWidth = 40;
    gudtSettings.FolderThumbHeight = 40;
    subUpdateThumbnailSizes();
    const Listing listing = listInWindow(window, folder);
    const QAbstractItemModel* list = window.browse()->lvFolder()->model();
    // Every row as the user sees it at the end: a thumbnail of its own, or the header's size.
    int complete = 0;
    for (int i = 0; i < list->rowCount(); ++i) {
        const QString resolution = list->index(i, 1).data().toString();
        complete += details ? (resolution == QString("%1 X %2 X 24").arg(width).arg(height) ? 1 : 0)
                            : (!window.browse()->fncFolderThumbnail(list->index(i, 0)).isNull() ? 1 : 0);
    }
    // The decoders are still running, so their CPU is not yet counted for this process: add it.
    std::printf("rows %lld longest %lld listing %lld complete %d of %d cpu %.3f\n",
                static_cast<long long>(listing.rowsMs), static_cast<long long>(listing.longestGapMs),
                static_cast<long long>(listing.done.ms), complete, int(list->rowCount()),
                cpuSeconds() + runningChildrenCpuSeconds());
    return 0;
}

// Our side as a process of its own, timed from its start to its end.
std::optional<Timing> runOurs(const QString& mode, const QString& folder, QSize size, QString& said)
{
    QProcess p;
    const double cpu = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    p.start(QCoreApplication::applicationFilePath(),
            {"--child", mode, folder, QString::number(size.width()), QString::number(size.height())});
    p.waitForFinished(-1);
    const Timing t{timer.elapsed(), cpuSeconds() - cpu};
    said = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return std::nullopt;
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 6 && QByteArray(argv[1]) == "--child") {
        QApplication app(argc, argv);
        tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]),
                        std::atoi(argv[5]));
    }
    // Everything under the current folder rather than the shared /tmp: the window's folder tree
    // watches the folders above its first one, and other programs' files coming and going there
    // would land in the timing.
    QTemporaryDir home(QDir::currentPath() + "/browse_bench-home-XXXXXX"); // settings, temp folders, first folder
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    qputenv("HOME", home.path().toUtf8());
    QApplication app(argc, argv);

    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    const bool details = mode == "details";
    if ((!details && mode != "thumbnails") || args.size() > 2) {
        usage();
        return 2;
    }
    int count = details ? 1000 : 64;
    if (args.size() == 2) {
        bool ok = false;
        count = args[1].toInt(&ok);
        if (!ok || count < 1) {
            usage();
            return 2;
        }
    }

    QTemporaryDir dir(QDir::currentPath() + "/browse_bench-XXXXXX");
    const QString photos = dir.filePath("photos");
    QDir().mkpath(photos);
    const QSize size = details ? QSize(120, 90) : QSize(tf::bench::kA4Width, tf::bench::kA4Height);
    std::printf("making %d JPEG files of %d x %d in %s\n", count, size.width(), size.height(), qPrintable(photos));
    const QStringList files = makeJpegs(photos, count, size.width(), size.height());
    if (files.size() != count) {
        std::printf("cannot write the pictures\n");
        return 1;
    }
    qint64 bytes = 0;
    for (const QString& f : files) bytes += QFileInfo(f).size();
    std::printf("%.2f MB a file on average\n", bytes / 1048576.0 / count);

    QString said;
    const auto oursRun = runOurs(mode, photos, size, said);
    if (!oursRun) {
        std::printf("our listing failed: %s\n", qPrintable(said));
        return 1;
    }
    Timing ours = *oursRun;
    ours.cpu = std::max(ours.cpu, said.split(' ').value(11).toDouble());
    print(details ? "ours, details (process):" : "ours, thumbnails (process):", ours, count);
    const QStringList f = said.split(' ');
    std::printf("  in the window: rows after %s ms, listing done after %s ms, event loop held at most %s ms\n",
                qPrintable(f.value(1)), qPrintable(f.value(5)), qPrintable(f.value(3)));
    if (f.value(7) != QString::number(count) || f.value(9) != QString::number(count))
        std::printf("warning: %s of %d files were listed, %s of them complete\n", qPrintable(f.value(9)), count,
                    qPrintable(f.value(7)));

    if (details) {
        const QString identify = QStandardPaths::findExecutable("identify");
        if (identify.isEmpty()) {
            std::printf("identify: not on the PATH, no comparison (optional: imagemagick)\n");
            return 0;
        }
        const auto theirs = runAll(identify, {files});
        if (!theirs) return 1;
        print("identify:", *theirs, count);
        std::printf("identify / ours: %.2f in time (> 1: ours is faster), %.2f in CPU\n",
                    double(theirs->ms) / double(std::max<qint64>(ours.ms, 1)), theirs->cpu / std::max(ours.cpu, 1e-3));
        return 0;
    }

    const QString vips = QStandardPaths::findExecutable("vipsthumbnail");
    if (vips.isEmpty()) {
        std::printf("vipsthumbnail: not on the PATH, no comparison (optional: libvips-tools)\n");
        return 0;
    }
    const QString outDir = dir.filePath("vips");
    QDir().mkpath(outDir);
    const int cores = std::max(1, QThread::idealThreadCount());
    const QStringList options = {"--size", "40x40", "-o", outDir + "/%s.jpg"};
    // The ways a user runs it on every core: one command over all the files (libvips' own
    // threads), the files shared out over one process per core, and xargs -P with eight files a
    // process and with one.
    const auto one = runAll(vips, {options + files});
    if (!one) return 1;
    std::vector<QStringList> lists(static_cast<size_t>(std::min(cores, count)));
    for (QStringList& l : lists) l = options;
    for (int i = 0; i < count; ++i) lists[size_t(i) % lists.size()] << files[i];
    const auto shared = runAll(vips, lists);
    if (!shared) return 1;
    const QString listFile = dir.filePath("files.txt");
    {
        QFile list(listFile);
        if (!list.open(QIODevice::WriteOnly)) return 1;
        for (const QString& file : files) list.write(QFile::encodeName(file) + '\n');
    }
    auto xargs = [&](int perProcess) {
        return runAll("/bin/sh", {{"-c", QString("xargs -P %1 -n %2 %3 --size 40x40 -o '%4/%s.jpg' < '%5'")
                                             .arg(cores)
                                             .arg(perProcess)
                                             .arg(vips)
                                             .arg(outDir, listFile)}});
    };
    const auto eight = xargs(8);
    const auto each = xargs(1);
    if (!eight || !each) return 1;
    const int made = int(QDir(outDir).entryList(QDir::Files).size());
    if (made != count) std::printf("warning: vipsthumbnail made %d of %d thumbnails\n", made, count);
    const std::pair<const char*, Timing> theirs[] = {{"vipsthumbnail, one command:", *one},
                                                     {"vipsthumbnail, one per core:", *shared},
                                                     {"xargs -P8 -n8 vipsthumbnail:", *eight},
                                                     {"xargs -P8 -n1 vipsthumbnail:", *each}};
    for (const auto& [label, t] : theirs) {
        print(label, t, count);
        std::printf("  %s / ours: %.2f in time (> 1: ours is faster%s), %.2f in CPU\n", label,
                    double(t.ms) / double(std::max<qint64>(ours.ms, 1)),
                    std::strcmp(label, "xargs -P8 -n8 vipsthumbnail:") == 0 ? "; aim 1.8 on an idle machine" : "", t.cpu / std::max(ours.cpu, 1e-3));
    }
    return 0;
}
