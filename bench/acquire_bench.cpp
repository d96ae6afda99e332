// Ten pages from the SANE test backend's document feeder into one PDF: ours (scanned on a worker,
// written through the PDF page writer) against SANE's own `scanimage --batch` followed by
// `img2pdf`, in the same run. While ours scans, a timer on the window's thread measures how long
// the event loop is ever kept from answering.
//
//   acquire_bench [RESOLUTION] [RUNS]     (300 dpi and 3 runs by default)
#include "acquire/ScanJob.h"
#include "acquire/ScannerProgram.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Run {
    double seconds = 0;
    qint64 bytes = 0;
    double longestStallMs = 0; // ours only
    bool ok = false;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

Run ours(const QString& folder, int dpi)
{
    tf::ScanRequest q;
    q.device = QStringLiteral("test");
    q.route = tf::ScanRequest::Route::MultiPage;
    q.extension = QStringLiteral("pdf");
    q.genericName = QStringLiteral("Scan");
    q.folder = folder;
    q.overwrite = true;
    q.options = {{"mode", "Color"}, {"resolution", QString::number(dpi)}, {"test-picture", "Color pattern"},
                 {"source", "Automatic Document Feeder"}};
    tf::ScanJob job(q);
    QEventLoop loop;
    QObject::connect(&job, &tf::ScanJob::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock, tick;
    double stall = 0;
    QTimer probe;
    probe.setInterval(2);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        stall = std::max(stall, tick.nsecsElapsed() / 1e6);
        tick.restart();
    });
    clock.start();
    tick.start();
    probe.start();
    job.start();
    loop.exec();
    Run r;
    r.seconds = clock.nsecsElapsed() / 1e9;
    r.longestStallMs = stall;
    r.ok = job.result().error.isEmpty() && job.result().images == 10;
    r.bytes = QFileInfo(job.result().output).size();
    return r;
}

Run peer(const QString& folder, int dpi)
{
    Run r;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QElapsedTimer clock;
    clock.start();
    QProcess scan;
    scan.setWorkingDirectory(folder);
    scan.start(QStringLiteral("scanimage"),
               {"-d", "test", "--batch=p%02d.png", "--format=png", "--mode", "Color", "--resolution", QString::number(dpi),
                "--test-picture", "Color pattern", "--source", "Automatic Document Feeder"});
    if (!scan.waitForFinished(600000)) return r;
    QStringList pages = QDir(folder).entryList({"p*.png"}, QDir::Files, QDir::Name);
    QStringList args = pages;
    args << "-o" << "peer.pdf";
    QProcess pdf;
    pdf.setWorkingDirectory(folder);
    pdf.start(QStringLiteral("img2pdf"), args);
    if (!pdf.waitForFinished(600000)) return r;
    r.seconds = clock.nsecsElapsed() / 1e9;
    r.bytes = QFileInfo(QDir(folder).filePath("peer.pdf")).size();
    r.ok = pages.size() == 10 && pdf.exitCode() == 0;
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    // A private SANE configuration that names only the test backend.
    QTemporaryDir config;
    {
        QFile conf(config.filePath("dll.conf"));
        if (!conf.open(QIODevice::WriteOnly) || conf.write("test\n") < 0) return 1;
        QFile::copy("/etc/sane.d/test.conf", config.filePath("test.conf"));
    }
    setenv("SANE_CONFIG_DIR", config.path().toLocal8Bit().constData(), 1);
    tf::setScannerProgram(QStringLiteral(TF_SCANNER_PROGRAM));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.contains("--help")) {
        std::printf("usage: acquire_bench [RESOLUTION] [RUNS]\n");
        return 0;
    }
    const int dpi = args.size() > 0 ? std::clamp(args[0].toInt(), 25, 1200) : 300;
    const int runs = args.size() > 1 ? std::clamp(args[1].toInt(), 1, 20) : 3;
    const bool havePeer = !QStandardPaths::findExecutable("scanimage").isEmpty() &&
                          !QStandardPaths::findExecutable("img2pdf").isEmpty();
    QTemporaryDir work;
    std::vector<double> oursTimes, peerTimes, stalls;
    qint64 oursBytes = 0, peerBytes = 0;
    for (int i = 0; i < runs; ++i) {
        const Run a = ours(work.filePath("ours"), dpi);
        if (!a.ok) {
            std::printf("our scan failed\n");
            return 1;
        }
        oursTimes.push_back(a.seconds);
        stalls.push_back(a.longestStallMs);
        oursBytes = a.bytes;
        if (havePeer) {
            const Run b = peer(work.filePath("peer"), dpi);
            if (!b.ok) {
                std::printf("scanimage + img2pdf failed\n");
                return 1;
            }
            peerTimes.push_back(b.seconds);
            peerBytes = b.bytes;
        }
    }
    std::printf("10 feeder pages, colour, %d dpi, median of %d runs\n", dpi, runs);
    std::printf("  ours                  %7.3f s  %9lld bytes  window never stalled more than %.1f ms\n",
                median(oursTimes), static_cast<long long>(oursBytes), *std::max_element(stalls.begin(), stalls.end()));
    if (havePeer) {
        std::printf("  scanimage + img2pdf   %7.3f s  %9lld bytes\n", median(peerTimes), static_cast<long long>(peerBytes));
        std::printf("  time ratio ours/peer  %7.2f\n", median(oursTimes) / median(peerTimes));
    } else {
        std::printf("  scanimage or img2pdf not installed: no comparison\n");
    }
    return 0;
}
