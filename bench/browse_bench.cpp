// Times filling the folder list with thumbnails for a folder of large JPEG photos, the way the
// user sees it (rows, thumbnails, details texts, yields between files), and the same thumbnails
// made by vipsthumbnail on one core when it is installed, on the same files in the same run.
#include "benchutil.h"

#include "browse/BrowseController.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/listview.h"
#include "platform/ui/statusbar.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

void usage()
{
    std::printf(
        "usage: browse_bench [COUNT] [WIDTHxHEIGHT]\n"
        "  Puts COUNT JPEG photos of 4000 x 3000 pixels (12 megapixels, default 500) in a private\n"
        "  temporary folder and times listing it in thumbnail mode (thumbnails of WIDTHxHEIGHT,\n"
        "  default the settings' 40x40). A few distinct photos are encoded and copied to make up the\n"
        "  count; every file is still read and decoded on its own. When vipsthumbnail is on the PATH\n"
        "  (optional, Debian package libvips-tools) it makes the same thumbnails on one core\n"
        "  (VIPS_CONCURRENCY=1), and the ratio of the two times is printed.\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dataHome; // the settings defaults make folders; keep them out of the user's
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    QApplication app(argc, argv);

    const QStringList args = app.arguments().mid(1);
    if (args.contains("-h") || args.contains("--help")) {
        usage();
        return 0;
    }
    gudtSettings = fncDefaultSettings();
    gudtSettings.FolderView = 0;
    subUpdateThumbnailSizes();
    int count = 500;
    int thumbWidth = glngFolderThumbWidth;
    int thumbHeight = glngFolderThumbHeight;
    if (!tf::bench::parseCountAndSize(args, count, thumbWidth, thumbHeight)) {
        usage();
        return 2;
    }
    glngFolderThumbWidth = thumbWidth;
    glngFolderThumbHeight = thumbHeight;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const QString photos = dir.filePath("photos");
    QDir().mkpath(photos);
    const int distinct = std::min(count, 8);
    std::printf("making %d JPEG files of 4000 x 3000 (%d distinct) in %s\n", count, distinct, qPrintable(photos));
    qint64 bytes = 0;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(photos).filePath(QString("photo%1.jpg").arg(i, 4, 10, QChar('0')));
        if (i < distinct) {
            QImageWriter writer(path, "jpg");
            writer.setQuality(90);
            if (!writer.write(tf::bench::makePhoto(4000, 3000, static_cast<quint32>(i + 1)))) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
        } else if (!QFile::copy(QDir(photos).filePath(QString("photo%1.jpg").arg(i % distinct, 4, 10, QChar('0'))), path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        bytes += QFileInfo(path).size();
    }
    std::printf("%d files, %.1f MB in all\n\n", count, static_cast<double>(bytes) / 1048576.0);

    // The widgets the folder view works on, as the main window has them.
    QWidget window;
    window.resize(1000, 700);
    BrowseWidgets widgets;
    widgets.lvFolder = new tf::ListView(&window);
    widgets.lvFolder->setGeometry(0, 0, 400, 600);
    widgets.sbMain = new tf::StatusBar(&window);
    widgets.sbMain->addPanel("folder");
    widgets.pbQueue = new QProgressBar(&window);
    widgets.PicViewImage = new QWidget(&window);
    widgets.ibMain = new ImageBox(widgets.PicViewImage);
    widgets.hsbView = new QScrollBar(Qt::Horizontal, &window);
    widgets.vsbView = new QScrollBar(Qt::Vertical, &window);
    BrowseController browse(widgets);
    window.show();
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    browse.ftvBrowse_FolderSelected(photos);
    const qint64 ours = timer.elapsed();
    const int rows = widgets.lvFolder->Count();
    std::printf("folder view %dx%d:    %8lld ms  %7.2f files/s  (%d rows, %d thumbnails)\n", thumbWidth, thumbHeight,
                static_cast<long long>(ours), ours > 0 ? count * 1000.0 / static_cast<double>(ours) : 0.0, rows,
                browse.ilFolder().count());
    if (rows != count) std::printf("warning: %d of %d files were not listed\n", count - rows, count);

    const QString vips = QStandardPaths::findExecutable("vipsthumbnail");
    if (vips.isEmpty()) {
        std::printf("vipsthumbnail:         not on the PATH, no comparison (optional: libvips-tools)\n");
        return 0;
    }
    const QString outDir = dir.filePath("vips");
    QDir().mkpath(outDir);
    QStringList vipsArgs = {"--size", QString("%1x%2").arg(thumbWidth).arg(thumbHeight), "-o", outDir + "/%s.jpg"};
    for (const QString& name : QDir(photos).entryList(QDir::Files, QDir::Name)) vipsArgs << QDir(photos).filePath(name);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VIPS_CONCURRENCY", "1");
    process.setProcessEnvironment(environment);
    timer.restart();
    process.start(vips, vipsArgs);
    process.waitForFinished(-1);
    const qint64 theirs = timer.elapsed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::printf("vipsthumbnail failed: %s\n", process.readAllStandardError().constData());
        return 1;
    }
    std::printf("vipsthumbnail, 1 core: %8lld ms  %7.2f files/s\n", static_cast<long long>(theirs),
                theirs > 0 ? count * 1000.0 / static_cast<double>(theirs) : 0.0);
    if (theirs > 0)
        std::printf("folder view time / vipsthumbnail time: %.2f (aim: 2.00 or less)\n",
                    static_cast<double>(ours) / static_cast<double>(theirs));
    return 0;
}
