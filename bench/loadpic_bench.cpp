// Times thumbnails of large JPEGs through the shared picture loader, and the same work by
// vipsthumbnail and by ImageMagick when they are installed, on the same files in the same run.
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
        "  through LoadPic, and prints thumbnails per second. For comparison it also times a full\n"
        "  decode of a few files, and, when they are on the PATH (optional, Debian packages\n"
        "  libvips-tools and imagemagick), vipsthumbnail and ImageMagick on the same files.\n");
}


double perSecond(int count, qint64 ms)
{
    return ms > 0 ? count * 1000.0 / static_cast<double>(ms) : 0.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // The loader decodes in the decoder program, built beside the main executable, not this one.
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));

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
    const QImage base = tf::bench::makePhoto(4000, 3000, 1);
    qint64 bytes = 0;
    for (int i = 0; i < count; ++i) {
        // One distinct band per file keeps the files apart without making each from scratch.
        QImage photo = base;
        const QImage band = tf::bench::makePhoto(4000, 200, static_cast<quint32>(i + 2));
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
    const qint64 ours = timer.elapsed();
    const double oursRate = perSecond(count, ours);
    std::printf("LoadPic %dx%d:        %6.2f thumbnails/s  (%lld ms, %d decoded reduced, %d failed)\n", thumbWidth,
                thumbHeight, oursRate, static_cast<long long>(ours), reduced, failed);

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
