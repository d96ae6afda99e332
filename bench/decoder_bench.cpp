// Times the folder view's thumbnails made by the pool of guarded decoders, one per core, against
// vipsthumbnail with all cores on the same files in the same run (when it is installed).
#include "benchutil.h"

#include "platform/decode/decoder_client.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {

void usage()
{
    std::printf(
        "usage: decoder_bench [COUNT] [WIDTHxHEIGHT]\n"
        "  Makes COUNT JPEG pages of A4 at 300 dpi (2480 x 3508 pixels, default 64) in a private\n"
        "  temporary folder and times their thumbnails (default 40x40) as the folder view asks for\n"
        "  them: through the pool of decoder processes, one per core, first with the decoders still\n"
        "  to be started and then with them running; and in this process on one core, for reference.\n"
        "  When vipsthumbnail is on the PATH (optional, Debian package libvips-tools) it makes the\n"
        "  same thumbnails with all cores, and the ratio of the times is printed.\n");
}

qint64 poolRun(tf::decode::DecoderPool& pool, const QStringList& files, int width, int height, int& made)
{
    QElapsedTimer timer;
    timer.start();
    tf::decode::DecodeBatch batch(pool);
    for (const QString& file : files) {
        tf::decode::DecodeRequest request;
        request.kind = uint32_t(tf::decode::DecodeKind::Picture);
        request.path = file;
        request.sizeMode = kSizeModeBox;
        request.width = width;
        request.height = height;
        request.backColor = 0x00FFFFFF;
        batch.submit(request);
    }
    made = 0;
    while (auto finished = batch.next(std::chrono::minutes(1)))
        if (!finished->result.image.isNull()) ++made;
    return timer.elapsed();
}

void line(const char* what, qint64 ms, int count)
{
    std::printf("%-34s %8lld ms  %8.1f files/s\n", what, static_cast<long long>(ms),
                ms > 0 ? count * 1000.0 / static_cast<double>(ms) : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
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

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const QString pages = dir.filePath("pages");
    QDir().mkpath(pages);
    const int distinct = std::min(count, 8);
    std::printf("making %d JPEG pages of 2480 x 3508 (%d distinct) in %s\n", count, distinct, qPrintable(pages));
    QStringList files;
    qint64 bytes = 0;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(pages).filePath(QString("page%1.jpg").arg(i, 4, 10, QChar('0')));
        if (i < distinct) {
            QImage page = tf::bench::makePhoto(2480, 3508, static_cast<quint32>(i + 1));
            page.setDotsPerMeterX(11811);
            page.setDotsPerMeterY(11811);
            QImageWriter writer(path, "jpg");
            writer.setQuality(90);
            if (!writer.write(page)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
        } else if (!QFile::copy(files[i % distinct], path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        files << path;
        bytes += QFileInfo(path).size();
    }
    std::printf("%d files, %.1f MB in all; thumbnails of %dx%d\n\n", count, static_cast<double>(bytes) / 1048576.0,
                thumbWidth, thumbHeight);

    QElapsedTimer timer;
    timer.start();
    for (const QString& file : files) {
        int32_t w = 0, h = 0;
        tf::LoadPicOptions quiet;
        quiet.quiet = true;
        LoadPic(file, kSizeModeBox, thumbWidth, thumbHeight, tf::rgb(255, 255, 255), w, h, quiet);
    }
    const qint64 inProcess = timer.elapsed();
    line("in process, 1 core:", inProcess, count);

    tf::decode::DecoderPool pool;
    int made = 0;
    const qint64 cold = poolRun(pool, files, thumbWidth, thumbHeight, made);
    char label[64];
    std::snprintf(label, sizeof label, "decoder pool, %d cores, cold:", pool.processCount());
    line(label, cold, count);
    const qint64 warm = poolRun(pool, files, thumbWidth, thumbHeight, made);
    std::snprintf(label, sizeof label, "decoder pool, %d cores, running:", pool.processCount());
    line(label, warm, count);
    if (made != count) std::printf("warning: %d of %d thumbnails were not made\n", count - made, count);

    const QString vips = QStandardPaths::findExecutable("vipsthumbnail");
    if (vips.isEmpty()) {
        std::printf("vipsthumbnail:                     not on the PATH, no comparison (optional: libvips-tools)\n");
        return 0;
    }
    const QString outDir = dir.filePath("vips");
    QDir().mkpath(outDir);
    QStringList vipsArgs = {"--size", QString("%1x%2").arg(thumbWidth).arg(thumbHeight), "-o", outDir + "/%s.jpg"};
    vipsArgs << files;
    QProcess process;
    timer.restart();
    process.start(vips, vipsArgs);
    process.waitForFinished(-1);
    const qint64 theirs = timer.elapsed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::printf("vipsthumbnail failed: %s\n", process.readAllStandardError().constData());
        return 1;
    }
    std::snprintf(label, sizeof label, "vipsthumbnail, %d cores:", QThread::idealThreadCount());
    line(label, theirs, count);
    if (cold > 0 && warm > 0)
        std::printf("vipsthumbnail time / decoder pool time: %.2f cold, %.2f running (aim: 3.00 or more)\n",
                    static_cast<double>(theirs) / static_cast<double>(cold),
                    static_cast<double>(theirs) / static_cast<double>(warm));
    return 0;
}
