// Writes a multipage TIFF larger than 4 GiB through the same command the Save As menu runs (165
// uncompressed colour A4 pages at 300 dpi, about 4.3 GB), then reads it back with tiffinfo: the
// document must be a BigTIFF of every page. Needs about 4.5 GB free in FOLDER. A check of the
// output, not a race: there is no peer, and the time printed is the save's own inside this
// process (no start-up), for the record only.
#include "benchpages.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/ui/msgbox.h"

#include "benchutil.h"
#include "platform/sys/blockingcalls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

class PrintedMessages : public tf::MessageBoxHandler {
public:
    int show(const QString& prompt, int style, const QString&) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(prompt));
        return tf::msgBoxDefaultAnswer(style);
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The pages are decoded by the decoder program built beside the main one, not by this one.
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
    tf::BlockingCallsAllowed measuredHere; // the benchmark times these calls on its own thread
    const QStringList args = app.arguments().mid(1);
    int pages = 165;
    QString folder;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--dir") && i + 1 < args.size()) {
            folder = args[++i];
        } else if (args[i].toInt() > 0) {
            pages = args[i].toInt();
        } else {
            std::printf("usage: bigtiff_bench [PAGES] [--dir FOLDER]\n"
                        "  Saves PAGES (default 165) uncompressed colour A4 pages at 300 dpi as one TIFF in FOLDER\n"
                        "  (default: a new temporary folder, removed afterwards) and reads it back with tiffinfo.\n");
            return 2;
        }
    }
    std::unique_ptr<QTemporaryDir> temp;
    if (folder.isEmpty()) {
        temp = std::make_unique<QTemporaryDir>(QDir::currentPath() + QStringLiteral("/bigtiff-XXXXXX"));
        folder = temp->path();
    }
    QDir root(folder);
    root.mkpath(QStringLiteral("data"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));

    constexpr int kDistinct = 4;
    std::vector<tf::basket::PageRecord> records;
    for (int i = 0; i < kDistinct; ++i) {
        QImage page = tf::bench::makeA4Photo(static_cast<quint32>(i + 1));
        page.setDotsPerMeterX(11811);
        page.setDotsPerMeterY(11811);
        if (!QImageWriter(root.filePath(QStringLiteral("page%1.jpg").arg(i)), "jpg").write(page)) return 1;
    }
    for (int i = 0; i < pages; ++i) {
        tf::basket::PageRecord r;
        r.source = r.tag = root.filePath(QStringLiteral("page%1.jpg").arg(i % kDistinct));
        r.text = QFileInfo(r.tag).fileName();
        records.push_back(r);
    }

    PrintedMessages messages;
    tf::setMessageBoxHandler(&messages);
    const QString out = root.filePath(QStringLiteral("big.tif"));
    QElapsedTimer timer;
    timer.start();
    const bool ok = tf::bench::writePagesHere(records, std::make_unique<tf::NewTiffSink>(out), 0 /*24 bit*/, 0);
    const qint64 ms = timer.elapsed();
    tf::setMessageBoxHandler(nullptr);
    if (!ok) {
        std::printf("the save failed after %lld ms\n", static_cast<long long>(ms));
        return 1;
    }
    QFile f(out);
    f.open(QIODevice::ReadOnly);
    const QByteArray head = f.read(4);
    const int version = static_cast<uchar>(head[2]) | (static_cast<uchar>(head[3]) << 8);
    std::printf("wrote %d pages, %.2f GiB (%s) in %.1f s, %.0f MB/s\n", pages,
                QFileInfo(out).size() / 1073741824.0, version == 43 ? "BigTIFF" : "classic TIFF", ms / 1000.0,
                QFileInfo(out).size() / 1048576.0 / (ms / 1000.0));

    timer.restart();
    QProcess tiffinfo;
    tiffinfo.start(QStringLiteral("tiffinfo"), {out});
    tiffinfo.waitForFinished(-1);
    const QByteArray report = tiffinfo.readAllStandardOutput();
    const int read = static_cast<int>(report.count("Image Width: 2480 Image Length: 3508"));
    std::printf("tiffinfo: exit %d, %d of %d pages read as 2480 x 3508, in %.1f s\n", tiffinfo.exitCode(), read,
                pages, timer.elapsed() / 1000.0);
    return tiffinfo.exitCode() == 0 && read == pages && version == 43 ? 0 : 1;
}
