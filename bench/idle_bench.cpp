// The CPU an untouched main window uses while another program writes into the folder it shows:
// the window lists a folder of small JPEGs, settles, and is then left alone while a child process
// writes a new small file into that folder every 10 ms. The window process's own CPU time (all its
// threads) over that span is the figure; the aim is none at all.
//   idle_bench [SECONDS]      SECONDS of writing (default 30)
#include "benchutil.h"

#include "app/frmMain.h"
#include "browse/BrowseController.h"
#include "frame/modSettings.h"
#include "platform/decode/decoder_client.h"
#include "platform/ui/foldertree.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double selfCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of this process's running children other than the writer (the decoders), which
// getrusage does not count until they are waited for.
double decoderCpuSeconds(qint64 writerPid)
{
    double total = 0;
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid.toLongLong() == writerPid) continue;
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        // The fields after the command name, which is in parentheses and may hold blanks.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13 || fields[1] != self) continue;
        total += double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
    }
    return total;
}

// The other program: a new file of 100 bytes every 10 ms for the given time. Plain system calls,
// so that it starts at once and costs next to nothing itself.
int runWriter(const char* folder, const char* prefix, double seconds)
{
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    char name[4096];
    char data[100];
    for (size_t i = 0; i < sizeof data; ++i) data[i] = char('a' + i % 26);
    for (long i = 0;; ++i) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (double(now.tv_sec - start.tv_sec) + double(now.tv_nsec - start.tv_nsec) / 1e9 >= seconds) return 0;
        std::snprintf(name, sizeof name, "%s/%s%06ld.txt", folder, prefix, i);
        const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return 1;
        const bool ok = write(fd, data, sizeof data) == ssize_t(sizeof data);
        close(fd);
        if (!ok) return 1;
        const timespec pause{0, 10'000'000};
        nanosleep(&pause, nullptr);
    }
}

// Runs the window's event loop for the given time (the benchmark's own waiting, not the program's).
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && QByteArray(argv[1]) == "--writer") return runWriter(argv[2], argv[3], std::atof(argv[4]));
    double seconds = 30;
    if (argc == 2) seconds = std::atof(argv[1]);
    if (argc > 2 || seconds <= 0) {
        std::printf("usage: idle_bench [SECONDS]\n");
        return 2;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Everything under the current folder rather than the shared /tmp, whose other files would
    // land in the figure.
    QTemporaryDir home(QDir::currentPath() + "/idle_bench-home-XXXXXX");
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    qputenv("HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));

    QTemporaryDir dir(QDir::currentPath() + "/idle_bench-XXXXXX");
    const QString photos = dir.filePath("photos");
    QDir().mkpath(photos);
    for (int i = 0; i < 20; ++i) {
        QImageWriter writer(QDir(photos).filePath(QString("photo%1.jpg").arg(i, 2, 10, QChar('0'))), "jpg");
        if (!writer.write(tf::bench::makePhoto(120, 90, quint32(i + 1)))) {
            std::printf("cannot write the pictures\n");
            return 1;
        }
    }

    frmMain window;
    window.resize(1000, 700);
    window.show();
    gudtSettings.FolderView = 3;
    runFor(500);
    if (!window.browse()->ftvBrowse()->setSelectedFolder(photos)) {
        std::printf("the tree did not take %s\n", qPrintable(photos));
        return 1;
    }
    // Settled: the listing done and the tree's folders read.
    runFor(3000);

    const double quietStart = selfCpuSeconds();
    runFor(5000);
    const double quiet = selfCpuSeconds() - quietStart;
    std::printf("untouched window, nothing written, 5 s: %6.3f s CPU (%5.2f %% of a core)\n", quiet, quiet / 5 * 100);
    std::fflush(stdout);

    // Once with the folder only chosen in the tree, once also opened there (its subfolders shown).
    for (const bool expanded : {false, true}) {
        if (expanded) {
            tf::FolderTreeView* tree = window.browse()->ftvBrowse();
            tree->expand(tree->currentIndex());
            runFor(2000);
        }
        const QString state = expanded ? "chosen and opened in the tree" : "chosen in the tree";
        QProcess writer;
        writer.setProgram(QCoreApplication::applicationFilePath());
        const QString prefix = expanded ? "second" : "first";
        writer.setArguments({"--writer", photos, prefix, QString::number(seconds)});
        const double cpuStart = selfCpuSeconds();
        writer.start();
        if (!writer.waitForStarted()) {
            std::printf("cannot start the writer\n");
            return 1;
        }
        const double decodersStart = decoderCpuSeconds(writer.processId());
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QObject::connect(&writer, &QProcess::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = selfCpuSeconds() - cpuStart;
        const double decoders = decoderCpuSeconds(writer.processId()) - decodersStart;
        const double spent = double(wall.elapsed()) / 1000;
        if (writer.exitStatus() != QProcess::NormalExit || writer.exitCode() != 0) {
            std::printf("the writer failed\n");
            return 1;
        }
        const int written = int(QDir(photos).entryList({prefix + "*"}, QDir::Files).size());
        std::printf("folder %s, %d new files written into it in %.1f s:\n", qPrintable(state), written, spent);
        std::printf("  window %6.3f s CPU (%5.2f %% of a core; aim 0), decoders %6.3f s CPU\n", cpu, cpu / spent * 100,
                    decoders);
        std::fflush(stdout);
    }
    return 0;
}
