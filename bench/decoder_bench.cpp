// Times the folder view's thumbnails of A4 photos made by the pool of guarded decoders, one per
// core, against `xargs -P<cores> -n1 vipsthumbnail` on the same files in the same run.
#include "benchutil.h"

#include "platform/decode/decoder_client.h"
#include "platform/imagebox/picture_geometry.h"
#include "services/modLoadPic.h"
#include "platform/sys/blockingcalls.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kPageWidth = 2480; // A4 at 300 dpi
constexpr int kPageHeight = 3508;
constexpr int kRounds = 3;

void usage()
{
    std::printf(
        "usage: decoder_bench [COUNT] [WIDTHxHEIGHT]\n"
        "  Times thumbnails (default 40x40) of COUNT (default 64) different A4 photos at 300 dpi\n"
        "  (2480 x 3508, smooth shapes and grain, JPEG quality 90) as the folder view asks for them:\n"
        "  through the pool of decoder processes, one per core, started ahead of the first request\n"
        "  and, for reference, started by it. The photos are made once and kept in\n"
        "  /tmp/tavrel-folio-bench/a4-photos. In the same run `xargs -P<cores> -n1 vipsthumbnail -s N`\n"
        "  (Debian package libvips-tools) makes thumbnails of the same files; every output of both is\n"
        "  checked (count and size). Each side runs %d times in turn; the best time of each counts.\n",
        kRounds);
}

// Fresh photos only where the cache lacks a readable one of the right size; made on every core.
QStringList cachedPhotos(int count)
{
    const QString folder = QStringLiteral("/tmp/tavrel-folio-bench/a4-photos");
    QDir().mkpath(folder);
    QStringList files;
    std::vector<int> missing;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(folder).filePath(QString("photo%1.jpg").arg(i, 4, 10, QChar('0')));
        files << path;
        if (QImageReader(path).size() != QSize(kPageWidth, kPageHeight)) missing.push_back(i);
    }
    if (missing.empty()) return files;
    std::printf("making %zu A4 photos in %s (once)\n", missing.size(), qPrintable(folder));
    std::atomic<size_t> next{0};
    std::atomic<bool> ok{true};
    std::vector<std::thread> makers;
    for (int t = 0; t < std::max(1, QThread::idealThreadCount()); ++t)
        makers.emplace_back([&] {
            for (size_t k; (k = next++) < missing.size();) {
                const int i = missing[k];
                QImage photo = tf::bench::makePhoto(kPageWidth, kPageHeight, static_cast<quint32>(i + 1));
                photo.setDotsPerMeterX(11811);
                photo.setDotsPerMeterY(11811);
                QImageWriter writer(files[i] + ".part", "jpg");
                writer.setQuality(90);
                if (!writer.write(photo) || !QFile::rename(files[i] + ".part", files[i])) ok = false;
            }
        });
    for (std::thread& t : makers) t.join();
    if (!ok) return {};
    return files;
}

struct Run {
    qint64 ms = 0;
    QString fault; // empty when every output was checked and right
};

Run poolRun(tf::decode::DecoderPool& pool, const QStringList& files, int width, int height)
{
    Run run;
    QElapsedTimer timer;
    timer.start();
    tf::decode::DecodeBatch batch(pool);
    // What the folder view sends for each file.
    for (const QString& file : files) batch.submit(tf::loadPicRequest(file, kSizeModeBox, width, height, 0x00FFFFFF));
    int made = 0;
    while (auto finished = batch.next(std::chrono::minutes(1))) {
        const QImage& image = finished->result.image;
        if (image.size() != QSize(width, height)) {
            run.fault = QString("%1: %2 x %3 instead of %4 x %5 (%6)")
                            .arg(files[finished->index])
                            .arg(image.width())
                            .arg(image.height())
                            .arg(width)
                            .arg(height)
                            .arg(finished->result.message);
        } else if (finished->result.sourceWidth != kPageWidth || finished->result.sourceHeight != kPageHeight) {
            run.fault = QString("%1: the picture's own size came back wrong").arg(files[finished->index]);
        }
        ++made;
    }
    run.ms = timer.elapsed();
    if (made != files.size()) run.fault = QString("%1 of %2 thumbnails came back").arg(made).arg(files.size());
    return run;
}

Run vipsRun(const QString& vips, const QStringList& files, int width, int height, const QString& outDir)
{
    Run run;
    QDir(outDir).removeRecursively();
    QDir().mkpath(outDir);
    const int cores = std::max(1, QThread::idealThreadCount());
    QProcess process;
    process.setWorkingDirectory(QFileInfo(files.first()).absolutePath());
    QStringList names;
    for (const QString& f : files) names << QFileInfo(f).fileName();
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("xargs"), {"-P" + QString::number(cores), "-n1", vips, "-s",
                                            QString("%1x%2").arg(width).arg(height), "-o", outDir + "/tn_%s.jpg"});
    process.write(names.join('\n').toLocal8Bit() + '\n');
    process.closeWriteChannel();
    process.waitForFinished(-1);
    run.ms = timer.elapsed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        run.fault = "vipsthumbnail failed: " + QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }
    // vipsthumbnail fits the page into the box: the long side fills it.
    const QSize expected = QSize(kPageWidth, kPageHeight).scaled(width, height, Qt::KeepAspectRatio);
    for (const QString& name : names) {
        const QSize size = QImageReader(QDir(outDir).filePath("tn_" + name)).size();
        if (std::max(size.width(), size.height()) != std::max(expected.width(), expected.height()))
            run.fault = QString("vipsthumbnail made %1 x %2 for %3").arg(size.width()).arg(size.height()).arg(name);
    }
    return run;
}

void line(const char* what, qint64 ms, int count)
{
    std::printf("%-40s %8lld ms  %8.1f files/s\n", what, static_cast<long long>(ms),
                ms > 0 ? count * 1000.0 / static_cast<double>(ms) : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    tf::BlockingCallsAllowed measuredHere; // the benchmark times these calls on its own thread
    const QStringList args = app.arguments().mid(1);
    if (args.contains("-h") || args.contains("--help")) {
        usage();
        return 0;
    }
    int count = 64;
    int thumbWidth = 40;
    int thumbHeight = 40;
    if (!tf::bench::parseCountAndSize(args, count, thumbWidth, thumbHeight)) {
        usage();
        return 2;
    }
    // The benchmark lives apart from the program; its decoder is the one built beside the program.
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));

    const QStringList files = cachedPhotos(count);
    if (files.isEmpty()) {
        std::fprintf(stderr, "cannot write the photos\n");
        return 1;
    }
    qint64 bytes = 0;
    for (const QString& f : files) bytes += QFileInfo(f).size();
    std::printf("%d photos of %d x %d, %.1f MB in all; thumbnails of %dx%d\n\n", count, kPageWidth, kPageHeight,
                static_cast<double>(bytes) / 1048576.0, thumbWidth, thumbHeight);

    const QString vips = QStandardPaths::findExecutable("vipsthumbnail");
    QTemporaryDir scratch;
    const int cores = std::max(1, QThread::idealThreadCount());

    qint64 cold = 0;
    {
        // Decoders started by the first requests: what a program that makes its pool late pays.
        tf::decode::DecoderPool pool;
        const Run r = poolRun(pool, files, thumbWidth, thumbHeight);
        if (!r.fault.isEmpty()) {
            std::printf("decoder pool: %s\n", qPrintable(r.fault));
            return 1;
        }
        cold = r.ms;
    }

    tf::decode::DecoderPool pool;
    // The program makes its pool at start-up; by the first folder its decoders are long running.
    QThread::msleep(1500);
    qint64 ours = -1, theirs = -1;
    for (int round = 0; round < kRounds; ++round) {
        const Run r = poolRun(pool, files, thumbWidth, thumbHeight);
        if (!r.fault.isEmpty()) {
            std::printf("decoder pool: %s\n", qPrintable(r.fault));
            return 1;
        }
        ours = ours < 0 ? r.ms : std::min(ours, r.ms);
        if (vips.isEmpty()) continue;
        const Run v = vipsRun(vips, files, thumbWidth, thumbHeight, scratch.filePath("vips"));
        if (!v.fault.isEmpty()) {
            std::printf("%s\n", qPrintable(v.fault));
            return 1;
        }
        theirs = theirs < 0 ? v.ms : std::min(theirs, v.ms);
    }

    char label[80];
    std::snprintf(label, sizeof label, "decoder pool, %d decoders, started late:", pool.processCount());
    line(label, cold, count);
    std::snprintf(label, sizeof label, "decoder pool, %d decoders, started ahead:", pool.processCount());
    line(label, ours, count);
    if (theirs < 0) {
        std::printf("vipsthumbnail: not on the PATH, no comparison (Debian package libvips-tools)\n");
        return 0;
    }
    std::snprintf(label, sizeof label, "xargs -P%d -n1 vipsthumbnail:", cores);
    line(label, theirs, count);
    std::printf("\nvipsthumbnail time / decoder pool time: %.2f (aim: 1.50 or more); started late: %.2f\n",
                static_cast<double>(theirs) / static_cast<double>(std::max<qint64>(ours, 1)),
                static_cast<double>(theirs) / static_cast<double>(std::max<qint64>(cold, 1)));
    return 0;
}
