// Whether the main window keeps answering while the work it started waits on something slow: the
// real window on an X server, pinged by a second X connection every 20 ms (_NET_WM_PING, which Qt
// answers on the window's thread), works through three cases as a user meets them:
//   metadata   two files browsed whose metadata takes seconds each to read (the metadata area's
//              reader, which runs on a worker, is given one that waits 3 s before the real read);
//   optimized  a task list whose watermark is a picture that takes any JPEG reader seconds (a
//              4096 x 4096 progressive JPEG of 700 scans, from the tests' data), browsed with the
//              Optimized preview: four files chosen a second apart, then the last one's replay to
//              its end;
//   watermark  a picture that hangs its decoder (a damaged file kept among the loader's
//              regression inputs, on which the image library's reader never ends) chosen as the
//              watermark in the edit mode's option panel, left for the decoder's time limit, and
//              a sound picture chosen in its place.
//   metadata-edit  the Make of a 70 MB JPEG changed through the EXIF bar's edit (the dialog
//              answered as the user would): the file written and read back beside the window.
//   save-preview  a 24-megapixel photo (6000 x 4000) shown in the preview and saved with Save
//              Preview As as a PNG, as a user does (seconds of encoding); the PNG is read back by
//              Qt's reader, not the writer's library.
// The aim: every answer within 200 ms throughout each case.
//   stall_ping_bench [--time-limit MS] [--dir FOLDER] [--metadata-edit-only | --save-preview-only]
// --metadata-edit-only and --save-preview-only run that case alone.
// MS is the decoders' time limit per file (default: the program's own, 10 s); at 1000, as the
// tests set it (or on a busy machine at 10 s too), the watermark of the task list outlasts its
// decoder and the shown file's replay fails with a report. FOLDER (default: a new temporary folder under TMPDIR or /tmp, removed at the end) keeps
// the pictures and the window's settings. Without a DISPLAY the benchmark runs itself under
// xvfb-run.
#include "benchutil.h"
#include "pingutil.h"

#include "app/frmMain.h"
#include "browse/BrowseController.h"
#include "browse/ControlSaveAs.h"
#include "controls/explorerbar/ExplorerBar.h"
#include "editing/EditTask.h"
#include "editing/EditingController.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "metadata/ExifIptc.h"
#include "metadata/MetadataController.h"
#include "platform/decode/decoder_client.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/reportview.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QDateTime>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

namespace {

using tf::bench::Pinger;
using tf::bench::PrintedMessages;
using tf::bench::runFor;
using tf::bench::runUntil;
using tf::bench::Span;

constexpr double kAimMs = 200.0;
constexpr int kSlowMetadataMs = 3000;
const QString kHangingPicture = QStringLiteral("devil-pnm-hang.pbm");
const QString kSlowPicture = QStringLiteral("jpeg-progressive-700-scans.jpg");

// A click on the row's name, as the user makes it; false when the list has no such row.
bool clickRow(QAbstractItemView* list, const QString& text)
{
    const QAbstractItemModel* model = list->model();
    for (int i = 0; i < model->rowCount(); ++i) {
        const QModelIndex item = model->index(i, 0);
        if (item.data().toString() != text) continue;
        list->scrollTo(item);
        const QRect rect = list->visualRect(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(rect.left() + 12, rect.center().y()));
        return true;
    }
    std::printf("  no row %s in the folder list\n", qPrintable(text));
    return false;
}

bool report(const char* name, const Span& span, bool finished, const QString& outcome)
{
    const bool ok = finished && span.pings > 0 && span.late == 0;
    std::printf("%-10s %4d pings, slowest answer %6.1f ms (at %5.0f ms), %d over %.0f ms: %s; %s\n", name, span.pings,
                span.longestMs, span.longestAtMs, span.late, kAimMs, ok ? "all within the aim" : "MISSES THE AIM",
                qPrintable(outcome));
    tf::bench::printStalls(span);
    std::fflush(stdout);
    return ok;
}

// A JPEG of about 70 MB, as a camera's largest or a scan's: noise at full quality, which no
// encoder can make small. Made once into `folder` and kept there.
QString bigJpeg(const QDir& folder)
{
    const QString path = folder.filePath(QStringLiteral("big-meta/big.jpg"));
    folder.mkpath(QStringLiteral("big-meta"));
    if (QFileInfo(path).size() > (qint64(60) << 20)) return path;
    QImage img(7000, 5100, QImage::Format_RGB32);
    QRandomGenerator rng(70);
    for (int y = 0; y < img.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) line[x] = rng.generate() | 0xFF000000u;
    }
    QImageWriter writer(path, "jpg");
    writer.setQuality(100);
    if (!writer.write(img)) return {};
    const QString exiv2 = QStandardPaths::findExecutable(QStringLiteral("exiv2"));
    if (!exiv2.isEmpty())
        QProcess::execute(exiv2, {QStringLiteral("-Mset Exif.Image.Make Bench"), QStringLiteral("mo"), path});
    return path;
}

// The big JPEG shown, its Make row chosen and edited through the EXIF bar's first button; the
// pings are counted from the click to the end of the write.
bool metadataEditCase(frmMain& window, Pinger& pinger, const QDir& root)
{
    const QString path = bigJpeg(root);
    if (path.isEmpty()) {
        std::printf("cannot write the big JPEG\n");
        return false;
    }
    BrowseController* browse = window.browse();
    MetadataController* metadata = window.metadata();
    if (!browse->ftvBrowse()->setSelectedFolder(QFileInfo(path).absolutePath())
        || !runUntil([&] { return !browse->listingBusy() && browse->lvFolder()->model()->rowCount() == 1; }, 30000)) {
        std::printf("the big JPEG's folder did not list\n");
        return false;
    }
    clickRow(browse->lvFolder(), QFileInfo(path).fileName());
    if (!runUntil([&] { return !browse->previewPending() && metadata->shownFile() == path && metadata->exifRows().count() > 0; },
                  60000)) {
        std::printf("the big JPEG's metadata did not show\n");
        return false;
    }
    // The Make row chosen on the EXIF list (as a click does; after the other cases the edit mode
    // may hide the pane).
    metadata->setMetadataKind(0);
    const int makeRow = metadata->exifRows().findKey(QStringLiteral("Make"));
    if (makeRow < 0) {
        std::printf("the big JPEG has no Make row\n");
        return false;
    }
    metadata->lvExif()->selectOnly(makeRow);
    const QString make = QStringLiteral("Edited %1").arg(QDateTime::currentMSecsSinceEpoch());
    // The edit dialog answered as the user would: a new value and OK.
    metadata->execDialog = [&make](QDialog& dialog) {
        if (auto* value = dialog.findChild<QLineEdit*>(QStringLiteral("txtValue"))) value->setText(make);
        if (auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"))) ok->click();
        return dialog.result();
    };
    bool written = false;
    bool ended = false;
    const QMetaObject::Connection heard =
        QObject::connect(metadata, &MetadataController::metadataWritten, [&](const QString&, bool ok) {
            written = ok;
            ended = true;
        });
    pinger.nextSpan();
    const double start = tf::bench::nowMs();
    QTest::mouseClick(window.cmdEXIFBar(0), Qt::LeftButton);
    const bool finished = runUntil([&] { return ended; }, 60000);
    const double took = tf::bench::nowMs() - start;
    runFor(300);
    const tf::bench::Span span = pinger.nextSpan();
    QObject::disconnect(heard);
    const QString exiv2 = QStandardPaths::findExecutable(QStringLiteral("exiv2"));
    QString inFile;
    if (!exiv2.isEmpty()) {
        QProcess tool;
        tool.start(exiv2, {QStringLiteral("-q"), QStringLiteral("-Pv"), QStringLiteral("-K"), QStringLiteral("Exif.Image.Make"), path});
        tool.waitForFinished(30000);
        inFile = QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }
    return report("meta-edit", span, finished && written && (exiv2.isEmpty() || inFile == make),
                  QStringLiteral("%1 MB written in %2 ms; the file's Make %3")
                      .arg(QFileInfo(path).size() / 1e6, 0, 'f', 1)
                      .arg(took, 0, 'f', 0)
                      .arg(inFile == make ? QStringLiteral("is the new one") : QStringLiteral("IS NOT THE NEW ONE")));
// Save Preview As of a 24-megapixel photo as a PNG: the photo is browsed to in its own folder and
// shown, then saved through the preview's menu with the file dialog answered. True when the case
// met the aim.
bool savePreviewCase(frmMain& window, Pinger& pinger, tf::ScriptedDialogs& dialogs, const QDir& root)
{
    BrowseController* browse = window.browse();
    const auto settled = [&] { return !browse->listingBusy() && !browse->previewPending(); };
    const QString photo = root.filePath(QStringLiteral("big/photo24mp.jpg"));
    const QString png = root.filePath(QStringLiteral("big/saved.png"));
    QFile::remove(png); // left by an earlier run in the same folder
    if (!QFileInfo::exists(photo)) {
        QImageWriter writer(photo, "jpg");
        writer.setQuality(90);
        writer.write(tf::bench::makePhoto(6000, 4000, 24));
    }
    if (!browse->ftvBrowse()->setSelectedFolder(root.filePath(QStringLiteral("big"))) ||
        !runUntil([&] { return settled() && browse->lvFolder()->model()->rowCount() == 1; }, 30000)) {
        std::printf("the folder of the 24-megapixel photo did not list\n");
        return false;
    }
    clickRow(browse->lvFolder(), QFileInfo(photo).fileName());
    if (!runUntil([&] { return settled() && browse->ibMain()->Tag() == photo; }, 60000)) {
        std::printf("the 24-megapixel photo was not shown\n");
        return false;
    }
    auto* saver = window.findChild<tf::ControlSaveAs*>();
    bool ended = false, written = false;
    QObject::connect(saver, &tf::ControlSaveAs::saveFinished, saver, [&](bool ok) {
        ended = true;
        written = ok;
    }, Qt::SingleShotConnection);
    dialogs.answerFile(png, 4); // "Portable Network Graphics"
    pinger.nextSpan();
    const double start = tf::bench::nowMs();
    browse->mnuSavePreviewAs(0)->trigger();
    const bool finished = runUntil([&] { return ended; }, 120000);
    const double took = tf::bench::nowMs() - start;
    runFor(1000); // the window settles while the system writes the file out
    const Span span = pinger.nextSpan();
    const QSize size = QImageReader(png).size();
    return report("save-preview", span, finished && written && size == QSize(6000, 4000),
                  QStringLiteral("%1 saved in %2 ms, %3 MB, read back as %4 x %5")
                      .arg(QFileInfo(png).fileName())
                      .arg(took, 0, 'f', 0)
                      .arg(QFileInfo(png).size() / 1048576.0, 0, 'f', 1)
                      .arg(size.width())
                      .arg(size.height()));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return tf::bench::underXvfb(argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QString folder;
    bool metadataEditOnly = false;
    tf::decode::DecoderSettings decoders;
    bool savePreviewOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--save-preview-only") == 0) {
            savePreviewOnly = true;
        } else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            folder = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--metadata-edit-only") == 0) {
            metadataEditOnly = true;
        } else if (std::strcmp(argv[i], "--time-limit") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            decoders.timeLimit = std::chrono::milliseconds(std::atoi(argv[++i]));
        } else {
            std::printf("usage: stall_ping_bench [--time-limit MS] [--dir FOLDER] [--metadata-edit-only | --save-preview-only]\n");
            return 2;
        }
    }
    const int timeLimitMs = static_cast<int>(decoders.timeLimit.count());
    std::unique_ptr<QTemporaryDir> temp;
    if (folder.isEmpty()) {
        temp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/stall_ping_bench-XXXXXX"));
        if (!temp->isValid()) {
            std::printf("cannot make a temporary folder: %s\n", qPrintable(temp->errorString()));
            return 1;
        }
        folder = temp->path();
    }
    QDir root(folder);
    for (const char* sub : {"photos", "marks", "home", "big", "big-meta"}) root.mkpath(QLatin1String(sub));
    // The window's settings and work files stay in the benchmark's folder.
    qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("home/data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("home/config"))));

    QApplication app(argc, argv);
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
    if (!tf::decode::DecoderPool::configureShared(decoders)) {
        std::printf("the decoders were started before their time limit could be set\n");
        return 1;
    }

    // Six photos with a camera's EXIF, a sound logo, a slow picture and one that hangs its decoder.
    const QString exiv2 = QStandardPaths::findExecutable(QStringLiteral("exiv2"));
    QStringList photos;
    for (int i = 1; i <= 6; ++i) {
        const QString path = root.filePath(QStringLiteral("photos/photo%1.jpg").arg(i));
        photos << QFileInfo(path).fileName();
        if (QFileInfo::exists(path)) continue;
        QImageWriter(path, "jpg").write(tf::bench::makePhoto(1600, 1200, quint32(i)));
        if (!exiv2.isEmpty())
            QProcess::execute(exiv2, {QStringLiteral("-Mset Exif.Image.Make Bench"), QStringLiteral("mo"), path});
    }
    const QString logo = root.filePath(QStringLiteral("marks/logo.png"));
    QImage logoPicture(30, 20, QImage::Format_RGB32);
    logoPicture.fill(Qt::yellow);
    logoPicture.save(logo, "png");
    const QString hang = root.filePath(QStringLiteral("marks/") + kHangingPicture);
    const QString slow = root.filePath(QStringLiteral("marks/") + kSlowPicture);
    for (const auto& [from, to] : {std::pair{QStringLiteral(TF_LOADER_REGRESSION_DIR "/") + kHangingPicture, hang},
                                   {QStringLiteral(TF_TEST_DATA_DIR "/") + kSlowPicture, slow}}) {
        if (!QFileInfo::exists(to) && !QFile::copy(from, to)) {
            std::printf("cannot copy %s\n", qPrintable(from));
            return 1;
        }
    }

    PrintedMessages messages;
    tf::setMessageBoxHandler(&messages);
    tf::ScriptedDialogs dialogs;
    tf::ScriptedErrorReports reports;
    frmMain window;
    window.resize(1000, 700);
    window.show();
    runFor(1000);
    BrowseController* browse = window.browse();
    tf::EditingController* editing = window.editing();
    MetadataController* metadata = window.metadata();
    const auto settled = [&] { return !browse->listingBusy() && !browse->previewPending() && !editing->busy(); };
    gudtSettings.FolderView = 3; // details
    if (!browse->ftvBrowse()->setSelectedFolder(root.filePath(QStringLiteral("photos")))) {
        std::printf("the folder tree did not take %s\n", qPrintable(root.filePath(QStringLiteral("photos"))));
        return 1;
    }
    QApplication::setActiveWindow(&window);
    if (!runUntil([&] { return settled() && browse->lvFolder()->model()->rowCount() == photos.size(); }, 30000)) {
        std::printf("the folder's listing did not settle\n");
        return 1;
    }

    Pinger pinger(static_cast<xcb_window_t>(window.winId()), kAimMs);
    if (!pinger.start()) {
        std::printf("cannot open a second connection to the X server\n");
        return 1;
    }
    runFor(1000);
    const Span before = pinger.nextSpan();
    std::printf("decoders' time limit %d ms\n%-10s %4d pings, slowest answer %6.1f ms\n", timeLimitMs, "idle",
                before.pings, before.longestMs);
    if (before.pings == 0) {
        std::printf("the window does not answer pings\n");
        return 1;
    }
    int failures = 0;
    if (metadataEditOnly) {
        failures += !metadataEditCase(window, pinger, root);
        pinger.stop();
        tf::setMessageBoxHandler(nullptr);
        std::printf("%d of 1 cases missed the aim\n", failures);
        return failures == 0 ? 0 : 1;
    }
    const int cases = savePreviewOnly ? 1 : 5;
    tf::ReportView* list = browse->lvFolder();
    const QString photoPath = root.filePath(QStringLiteral("photos/"));

    // A second file chosen while the first one's metadata is still being read.
    if (!savePreviewOnly) {
        metadata->readFile = [](tf::ExifIptc& meta, const QString& file) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kSlowMetadataMs));
            return meta.readFrom(file);
        };
        pinger.nextSpan();
        clickRow(list, photos[0]);
        runFor(1000);
        clickRow(list, photos[1]);
        const bool finished =
            runUntil([&] { return settled() && metadata->shownFile() == photoPath + photos[1]; }, 20000);
        const Span span = pinger.nextSpan();
        failures += !report("metadata", span, finished,
                            QStringLiteral("%1 EXIF rows of %2").arg(metadata->exifRows().count()).arg(photos[1]));
        metadata->readFile = [](tf::ExifIptc& meta, const QString& file) { return meta.readFrom(file); };
    }

    // Files browsed with the Optimized preview while the task list's watermark takes seconds.
    if (!savePreviewOnly) {
        tf::EditTask mark = tf::makeEditTask(tf::taskWatermark);
        for (const auto& [index, value] : {std::pair{1, "False"}, {2, "50"}, {3, "0"}, {5, "0"}, {6, "0"}, {7, "0"}})
            mark.setP(index, QLatin1String(value));
        mark.setP(4, slow);
        editing->editList().setRows({mark});
        browse->mnuPreviewType_Click(1); // "Optimized"
        runUntil(settled, 30000);
        const size_t reportsBefore = reports.reports().size();
        pinger.nextSpan();
        for (int i = 2; i < 6; ++i) {
            clickRow(list, photos[i]);
            runFor(1000);
        }
        const bool finished = runUntil(settled, timeLimitMs + 30000);
        const Span span = pinger.nextSpan();
        failures += !report("optimized", span, finished,
                            QStringLiteral("%1 replay failures reported, %2 shown")
                                .arg(reports.reports().size() - reportsBefore)
                                .arg(browse->ibMain()->Tag().section(QLatin1Char('/'), -1)));
        editing->editList().setTasks({});
        browse->mnuPreviewType_Click(0); // "Normal"
        runUntil(settled, 30000);
    }

    // The hanging picture chosen as the watermark in the option panel, then a sound one.
    if (!savePreviewOnly) {
        clickRow(list, photos[0]);
        runUntil(settled, 30000);
        QTest::mouseClick(browse->CmdPreviewEdit(), Qt::LeftButton);
        runUntil(settled, 30000);
        emit editing->eb()->ItemClick(QStringLiteral("Special Group"), QStringLiteral("Watermark"));
        runUntil(settled, 30000);
        auto* select = window.findChild<QPushButton*>(QStringLiteral("cmdSelectMerge"));
        auto* resolution = window.findChild<QLabel*>(QStringLiteral("lblWatermarkResolution"));
        if (!select || !resolution || !select->isVisible()) {
            std::printf("the watermark's option panel did not show\n");
            return 1;
        }
        pinger.nextSpan();
        dialogs.answerFile(hang);
        QTest::mouseClick(select, Qt::LeftButton);
        const int look = std::min(1000, timeLimitMs / 2);
        runFor(look);
        const bool waited = resolution->text().isEmpty(); // no size while its decoder works on it
        runFor(timeLimitMs);
        const QString failed = resolution->text();        // the time limit ended it, and none shows
        dialogs.answerFile(logo);
        QTest::mouseClick(select, Qt::LeftButton);
        const bool finished = runUntil([&] { return resolution->text() == QLatin1String("30 x 20"); }, 20000);
        const Span span = pinger.nextSpan();
        failures += !report("watermark", span, finished,
                            QStringLiteral("the hanging picture %1 pending after %2 ms, then shown as \"%3\"; the logo as \"%4\"")
                                .arg(waited ? QStringLiteral("still") : QStringLiteral("NO LONGER"))
                                .arg(look)
                                .arg(failed, resolution->text()));
    }

    if (!savePreviewOnly) failures += !metadataEditCase(window, pinger, root);

    failures += !savePreviewCase(window, pinger, dialogs, root);

    pinger.stop();
    tf::setMessageBoxHandler(nullptr);
    std::printf("%d of %d cases missed the aim\n", failures, cases);
    return failures == 0 ? 0 : 1;
}
