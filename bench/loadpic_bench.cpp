// Times thumbnails of large JPEGs through the shared picture loader, and the same work by
// vipsthumbnail and by ImageMagick when they are installed, on the same files in the same run.
// Both sides are whole processes: ours is this program started again with --child, which makes
// the thumbnails one after another through LoadPic (its decoders started as they are needed) and
// ends; the loop's own time inside it is printed beside it, for reference only. LoadPic makes one
// thumbnail at a time, as its callers ask for them, while vipsthumbnail's one command spreads the
// files over its own threads: the ratio is that of a caller's loop to the tool, not of one decoder
// to another (browse_bench compares the window's thumbnails, made on every core).
#include "benchutil.h"

#include "platform/decode/decoder_client.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>

namespace {

void usage()
{
    std::printf(
        "usage: loadpic_bench [COUNT] [WIDTHxHEIGHT]\n"
        "  Makes COUNT photos of 4000 x 3000 pixels (12 megapixels, default 50) as JPEG files in a\n"
        "  private temporary folder, makes a thumbnail of WIDTHxHEIGHT (default 160x120) of each\n"
        "  through LoadPic in a process of its own, and prints thumbnails per second, process start-up\n"
        "  included as it is for the peers. For comparison it also times a full\n"
        "  decode of a few files, and, when they are on the PATH (optional, Debian packages\n"
        "  libvips-tools and imagemagick), vipsthumbnail and ImageMagick on the same files.\n");
}


double perSecond(int count, qint64 ms)
{
    return ms > 0 ? count * 1000.0 / static_cast<double>(ms) : 0.0;
}

// Our side: `--child WIDTH HEIGHT FILE...` makes each thumbnail through LoadPic and prints "MS
// REDUCED FAILED", the loop's own time first.
int runChild(int thumbWidth, int thumbHeight, const QStringList& files)
{
    tf::LoadPicOptions quiet;
    quiet.quiet = true;
    tf::PicRoute route = tf::PicRoute::None;
    quiet.route = &route;
    int reduced = 0;
    int failed = 0;
    QElapsedTimer timer;
    timer.start();
    for (const QString& path : files) {
        int32_t w = 0, h = 0;
        const QImage thumb = LoadPic(path, kSizeModeBox, thumbWidth, thumbHeight, 0xFFFFFF, w, h, quiet);
        if (thumb.isNull()) ++failed;
        if (route == tf::PicRoute::ReducedJpeg) ++reduced;
    }
    std::printf("%lld %d %d\n", static_cast<long long>(timer.elapsed()), reduced, failed);
    return failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // The loader decodes in the decoder program, built beside the main executable, not this one.
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
    if (argc > 4 && std::strcmp(argv[1], "--child") == 0)
        return runChild(std::atoi(argv[2]), std::atoi(argv[3]), app.arguments().mid(4));

    int count = 50;
    int thumbWidth = 160;
    int thumbHeight = 120;
    const QStringList args = app.arguments().mid(1);
    if (args.contains("-h") || args.contains("--help")) {
        usage();
        return 0;
    }
    if (!tf::bench::parseCountAndSize(args, count, thumbWidth, thumbHeight, 100000)) {
        usage();
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    std::printf("making %d JPEG files of 4000 x 3000 in %s\n", count, qPrintable(dir.path()));
    QStringList files;
    // Camera-like photos (smooth scenes, mild noise), not noise that no camera makes.
    const QImage base = tf::bench::makeA4Photo(1, 4000, 3000);
    qint64 bytes = 0;
    for (int i = 0; i < count; ++i) {
        // One distinct band per file keeps the files apart without making each from scratch.
        QImage photo = base;
        const QImage band = tf::bench::makeA4Photo(static_cast<quint32>(i + 2), 4000, 200);
        for (int y = 0; y < band.height(); ++y)
            std::memcpy(photo.scanLine((i * 211) % 2800 + y), band.constScanLine(y), static_cast<size_t>(band.bytesPerLine()));
        const QString path = dir.filePath(QString("photo%1.jpg").arg(i, 4, 10, QChar('0')));
        QImageWriter writer(path, "jpg");
        writer.setQuality(90);
        if (!writer.write(photo)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        bytes += QFileInfo(path).size();
        files << path;
    }
    std::printf("%d files, %.1f MB in all\n\n", count, bytes / 1048576.0);

    QElapsedTimer timer;
    timer.start();
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{"--child", QString::number(thumbWidth), QString::number(thumbHeight)} + files);
    child.waitForFinished(-1);
    const qint64 ours = timer.elapsed();
    const QStringList said = QString::fromLatin1(child.readAllStandardOutput()).simplified().split(' ');
    int failed = said.value(2).toInt();
    if (child.exitStatus() != QProcess::NormalExit || said.size() != 3) {
        std::fprintf(stderr, "our process failed: %s\n", child.readAllStandardError().constData());
        return 1;
    }
    const double oursRate = perSecond(count, ours);
    std::printf("LoadPic %dx%d, process: %6.2f thumbnails/s  (%lld ms; the loop alone %s ms; %s decoded reduced, %d "
                "failed)\n",
                thumbWidth, thumbHeight, oursRate, static_cast<long long>(ours), qPrintable(said.value(0)),
                qPrintable(said.value(1)), failed);

    const int fullCount = std::min(count, 10);
    timer.restart();
    for (int i = 0; i < fullCount; ++i) {
        QImageReader reader(files[i]);
        const QImage image = reader.read();
        const QImage thumb = fncResizePicture(image, kSizeModeBox, thumbWidth, thumbHeight, 0xFFFFFF);
        if (thumb.isNull()) ++failed;
    }
    const qint64 full = timer.elapsed();
    std::printf("full decode + scale:   %6.2f thumbnails/s  (%lld ms for %d files)\n", perSecond(fullCount, full),
                static_cast<long long>(full), fullCount);

    const QString size = QString("%1x%2").arg(thumbWidth).arg(thumbHeight);
    bool compared = false;
    // One process over all the files, so that start-up time does not count against the tool.
    auto compare = [&](const char* label, const QString& program, const QStringList& arguments) {
        QProcess process;
        timer.restart();
        process.start(program, arguments);
        process.waitForFinished(-1);
        const qint64 theirs = timer.elapsed();
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            std::printf("%s failed: %s\n", label, process.readAllStandardError().constData());
            return false;
        }
        const double theirRate = perSecond(count, theirs);
        std::printf("%-22s %6.2f thumbnails/s  (%lld ms)\n", (QString(label) + ":").toLatin1().constData(), theirRate,
                    static_cast<long long>(theirs));
        if (theirRate > 0) std::printf("LoadPic / %s: %.2f\n", label, oursRate / theirRate);
        compared = true;
        return true;
    };

    if (const QString vips = QStandardPaths::findExecutable("vipsthumbnail"); !vips.isEmpty()) {
        const QString outDir = dir.filePath("vips");
        QDir().mkpath(outDir);
        if (!compare("vipsthumbnail", vips, QStringList{"--size", size, "-o", outDir + "/%s.jpg"} + files)) return 1;
    }

    // ImageMagick 7 is "magick mogrify", 6 plain "mogrify". Told the box, libjpeg decodes at a
    // reduced size here too.
    QString magick = QStandardPaths::findExecutable("magick");
    QStringList magickArgs;
    if (!magick.isEmpty()) {
        magickArgs << "mogrify";
    } else {
        magick = QStandardPaths::findExecutable("mogrify");
    }
    if (!magick.isEmpty()) {
        QProcess probe;
        probe.start(magick, magickArgs + QStringList{"-version"});
        probe.waitForFinished(-1);
        if (!probe.readAllStandardOutput().contains("Version: ImageMagick")) magick.clear();
    }
    if (!magick.isEmpty()) {
        const QString outDir = dir.filePath("magick");
        QDir().mkpath(outDir);
        magickArgs << "-path" << outDir << "-define"
                   << QString("jpeg:size=%1x%2").arg(2 * thumbWidth).arg(2 * thumbHeight) << "-thumbnail" << size
                   << "-background" << "white" << "-gravity" << "center" << "-extent" << size;
        if (!compare("ImageMagick", magick, magickArgs + files)) return 1;
    }

    if (!compared)
        std::printf("no comparison: neither vipsthumbnail (libvips-tools) nor ImageMagick (imagemagick) is installed\n");
    return 0;
}
