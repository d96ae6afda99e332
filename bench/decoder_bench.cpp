// What the decoder pool costs a user, measured from outside against the tool a user would
// otherwise pick, in the same run, on realistic pages: each side a whole process, our process's
// start-up and its decoders counted as the peer's are.
//
//   thumbnails   64 A4 photos -> 40x40 thumbnails   vs  xargs -P<cores> -n8 vipsthumbnail
//   group 4      32 1-bit A4 scans -> Group 4 TIFF  vs  tiffcp -c g4
//   pdf          64 A4 photos -> PDF                vs  img2pdf
//
// Beside these, inside this process: the scaled decode of the photos on every core (the decode
// limit of a listing), by Qt's reader and by the decoders' own, against a listing through a warm
// pool.
#include "benchutil.h"

#include "benchpages.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/jpeg_eighth.h"
#include "platform/imagebox/picture_geometry.h"
#include "platform/ui/msgbox.h"
#include "services/modLoadPic.h"
#include "platform/sys/blockingcalls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr int kPageWidth = 2480; // A4 at 300 dpi
constexpr int kPageHeight = 3508;
constexpr int kDotsPerMeter = 11811;
constexpr int kRounds = 3;
const QString kCache = QStringLiteral("/tmp/tavrel-folio-bench");

int cores() { return std::max(1, QThread::idealThreadCount()); }

void usage()
{
    std::printf(
        "usage: decoder_bench [PHOTOS] [WIDTHxHEIGHT]\n"
        "  Whole processes on both sides, the best of %d runs each, taken in turn:\n"
        "  - thumbnails (default 40x40) of PHOTOS (default 64) A4 photos at 300 dpi (2480 x 3508, JPEG\n"
        "    quality 90): a process of ours lists them through the decoder pool and writes each\n"
        "    thumbnail as a JPEG; against `xargs -P<cores> -n8 vipsthumbnail --size WxH` (libvips-tools).\n"
        "  - 32 one-bit A4 scans, Group 4 TIFFs as scanners write them, and the same pages uncompressed,\n"
        "    saved as one Group 4 TIFF by the program's save; against `tiffcp -c g4` (libtiff-tools).\n"
        "  - the photos saved as one PDF by the program's save; against `img2pdf` (img2pdf).\n"
        "  A peer that is not installed is skipped. Every output of both sides is checked (counts and\n"
        "  sizes; tiffinfo and pdfinfo for the documents). Inside this process: the photos' scaled\n"
        "  decode by Qt's reader on %d threads (the decode limit), and by the decoders' own reader at an\n"
        "  eighth, against a listing through a warm pool.\n"
        "  Inputs are made once under %s.\n",
        kRounds, cores(), qPrintable(kCache));
}

void onEveryCore(int count, const std::function<void(int)>& work)
{
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < cores(); ++t)
        threads.emplace_back([&] {
            for (int i; (i = next++) < count;) work(i);
        });
    for (std::thread& t : threads) t.join();
}

// ---- inputs, made once

QStringList cachedPhotos(int count)
{
    const QString folder = kCache + QStringLiteral("/a4-photos");
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
    std::atomic<bool> ok{true};
    onEveryCore(int(missing.size()), [&](int k) {
        const int i = missing[size_t(k)];
        QImage photo = tf::bench::makePhoto(kPageWidth, kPageHeight, static_cast<quint32>(i + 1));
        photo.setDotsPerMeterX(kDotsPerMeter);
        photo.setDotsPerMeterY(kDotsPerMeter);
        QImageWriter writer(files[i] + ".part", "jpg");
        writer.setQuality(90);
        if (!writer.write(photo) || !QFile::rename(files[i] + ".part", files[i])) ok = false;
    });
    return ok ? files : QStringList();
}

// A page of a manual as a scanner gives it: lines of words in black on white, one bit a pixel.
QImage scannedPage(int seed)
{
    QImage page(kPageWidth, kPageHeight, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    quint32 state = static_cast<quint32>(seed * 2654435761u + 1);
    const auto rnd = [&](int n) {
        state = state * 1664525u + 1013904223u;
        return int((state >> 8) % quint32(n));
    };
    for (int y = 300; y < kPageHeight - 300; y += 62) {
        if (rnd(9) == 0) continue; // a paragraph's end
        for (int x = 240; x < kPageWidth - 300;) {
            const int word = 40 + rnd(180);
            // Letters: strokes of a few widths and heights, as glyphs give.
            for (int at = x; at < x + word; at += 14 + rnd(6)) p.fillRect(at, y - 30 + rnd(8), 4 + rnd(6), 30 + rnd(12), Qt::black);
            x += word + 24;
        }
    }
    p.end();
    QImage mono = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setDotsPerMeterX(kDotsPerMeter);
    mono.setDotsPerMeterY(kDotsPerMeter);
    return mono;
}

// The scans twice: Group 4 TIFFs, and the same pages uncompressed.
bool cachedScans(int count, QStringList& group4, QStringList& plain)
{
    const QString folder = kCache + QStringLiteral("/a4-scans");
    QDir().mkpath(folder);
    std::vector<int> missing;
    for (int i = 0; i < count; ++i) {
        group4 << QDir(folder).filePath(QString("g4_%1.tif").arg(i, 4, 10, QChar('0')));
        plain << QDir(folder).filePath(QString("plain_%1.tif").arg(i, 4, 10, QChar('0')));
        if (!QFileInfo::exists(group4.back()) || !QFileInfo::exists(plain.back())) missing.push_back(i);
    }
    if (missing.empty()) return true;
    std::printf("making %zu A4 scans in %s (once)\n", missing.size(), qPrintable(folder));
    std::atomic<bool> ok{true};
    onEveryCore(int(missing.size()), [&](int k) {
        const int i = missing[size_t(k)];
        const QImage page = scannedPage(i);
        for (int compression : {int(tf::kTiffGroup4), 0}) {
            const QString path = compression ? group4[i] : plain[i];
            try {
                tf::ImageDocument doc;
                doc.setBitmapHandle(page);
                doc.setTiffCompression(static_cast<int16_t>(compression));
                doc.AddTiffPage(1);
                doc.SaveTiff(path + ".part");
                if (!QFile::rename(path + ".part", path)) ok = false;
            } catch (const std::exception&) {
                ok = false;
            }
        }
    });
    return ok;
}

// ---- our side, in a child process

// Thumbnails of the files named on standard input, as the folder view asks for them, each
// written as a JPEG into `outDir`.
int childThumbnails(const QString& outDir, int width, int height)
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) return 2;
    const QStringList files = QString::fromLocal8Bit(in.readAll()).split('\n', Qt::SkipEmptyParts);
    tf::decode::DecodeBatch batch;
    for (const QString& file : files) batch.submit(tf::loadPicRequest(file, kSizeModeBox, width, height, 0x00FFFFFF));
    int written = 0;
    while (auto finished = batch.next(std::chrono::minutes(1))) {
        const QImage& image = finished->result.image;
        if (image.size() != QSize(width, height)) {
            std::fprintf(stderr, "%s: %d x %d (%s)\n", qPrintable(files[finished->index]), image.width(), image.height(),
                         qPrintable(finished->result.message));
            return 1;
        }
        const QString name = QDir(outDir).filePath("tn_" + QFileInfo(files[finished->index]).fileName());
        if (!QImageWriter(name, "jpg").write(image)) return 1;
        ++written;
    }
    return written == files.size() ? 0 : 1;
}

class PrintedMessages : public tf::MessageBoxHandler {
public:
    int show(const QString& prompt, int style, const QString&) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(prompt));
        return tf::msgBoxDefaultAnswer(style);
    }
};

// The program's save of the basket as a new document: FORMAT (tif|pdf) OUTPUT COMPRESSION FILES...
int childSave(const QStringList& args)
{
    if (args.size() < 4) return 2;
    PrintedMessages messages;
    tf::setMessageBoxHandler(&messages);
    std::vector<tf::basket::PageRecord> records;
    for (const QString& f : args.mid(3)) {
        tf::basket::PageRecord r;
        r.source = r.tag = f;
        r.text = QFileInfo(f).fileName();
        records.push_back(r);
    }
    std::unique_ptr<tf::PageSink> sink;
    if (args[0] == QLatin1String("pdf"))
        sink = std::make_unique<tf::NewPdfSink>(args[1]);
    else
        sink = std::make_unique<tf::NewTiffSink>(args[1]);
    // Each page at its own depth.
    const bool ok = tf::bench::writePagesHere(records, std::move(sink), -1, static_cast<int16_t>(args[2].toInt()));
    tf::setMessageBoxHandler(nullptr);
    return ok ? 0 : 1;
}

// ---- running and checking

struct Run {
    qint64 ms = -1;
    QString fault; // empty when the run and its output were right
};

// A whole process from its start to its end, `input` on its standard input.
Run timed(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    Run run;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    if (!process.waitForStarted(10000)) {
        run.fault = program + ": did not start";
        return run;
    }
    if (!input.isEmpty()) process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    run.ms = timer.elapsed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        run.fault = QStringLiteral("%1 failed (exit %2)").arg(QFileInfo(program).fileName()).arg(process.exitCode());
    return run;
}

QString toolOutput(const QString& tool, const QStringList& args)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(60000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// Keeps the best time of each side over the rounds, and the first fault.
struct Contest {
    explicit Contest(const char* name) : what(name) {}
    const char* what;
    qint64 ours = -1, theirs = -1;
    QString fault;
    bool peer = true;
    void take(qint64& best, const Run& r)
    {
        if (!r.fault.isEmpty() && fault.isEmpty()) fault = r.fault;
        if (r.fault.isEmpty() && r.ms >= 0) best = best < 0 ? r.ms : std::min(best, r.ms);
    }
    void print(const char* peerName, double aim) const
    {
        std::printf("%-34s ours %6lld ms", what, static_cast<long long>(ours));
        if (!fault.isEmpty()) {
            std::printf("   FAILED: %s\n", qPrintable(fault));
            return;
        }
        if (!peer) {
            std::printf("   %s not installed, no comparison\n", peerName);
            return;
        }
        const double ratio = static_cast<double>(theirs) / static_cast<double>(std::max<qint64>(ours, 1));
        std::printf("   %-28s %6lld ms   ratio %.2f (aim %.1f: %s)\n", peerName, static_cast<long long>(theirs), ratio, aim,
                    ratio >= aim ? "met" : "NOT MET");
    }
};

// Thumbnails in `dir`: one per photo, the long side filling the box.
QString checkThumbnails(const QString& dir, const QStringList& files, int width, int height)
{
    const QSize expected = QSize(kPageWidth, kPageHeight).scaled(width, height, Qt::KeepAspectRatio);
    for (const QString& f : files) {
        const QSize size = QImageReader(QDir(dir).filePath("tn_" + QFileInfo(f).fileName())).size();
        if (std::max(size.width(), size.height()) != std::max(expected.width(), expected.height()))
            return QStringLiteral("thumbnail of %1: %2 x %3").arg(QFileInfo(f).fileName()).arg(size.width()).arg(size.height());
    }
    return {};
}

QString checkTiff(const QString& path, int pages)
{
    const QString info = toolOutput(QStringLiteral("tiffinfo"), {path});
    const int group4 = int(info.count(QStringLiteral("CCITT Group 4")));
    return group4 == pages ? QString() : QStringLiteral("%1: %2 Group 4 pages of %3").arg(path).arg(group4).arg(pages);
}

QString checkPdf(const QString& path, int pages)
{
    const QString info = toolOutput(QStringLiteral("pdfinfo"), {path});
    for (const QString& line : info.split('\n'))
        if (line.startsWith(QLatin1String("Pages:")) && line.mid(6).trimmed().toInt() == pages) return {};
    return QStringLiteral("%1: pdfinfo does not count %2 pages").arg(path).arg(pages);
}

// ---- inside this process: the decode limit and a warm listing

qint64 scaledDecodeMs(const QStringList& files, int width, int height)
{
    const QSize drawn = QSize(kPageWidth, kPageHeight).scaled(width, height, Qt::KeepAspectRatio);
    QElapsedTimer timer;
    timer.start();
    onEveryCore(int(files.size()), [&](int i) {
        QImageReader reader(files[i], "jpeg");
        reader.setScaledSize(drawn);
        reader.read();
    });
    return timer.elapsed();
}

// The same with the reader the decoders use for these photos, our own at an eighth.
qint64 eighthDecodeMs(const QStringList& files, int width, int height)
{
    const QSize drawn = QSize(kPageWidth, kPageHeight).scaled(width, height, Qt::KeepAspectRatio);
    QElapsedTimer timer;
    timer.start();
    onEveryCore(int(files.size()), [&](int i) {
        QFile file(files[i]);
        if (!file.open(QIODevice::ReadOnly)) return;
        const QImage eighth = tf::decodeJpegEighth(file.readAll(), tf::EighthColour::BlockMeans);
        const QImage thumbnail = eighth.scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (thumbnail.size() != drawn) std::fprintf(stderr, "%s: not read at an eighth\n", qPrintable(files[i]));
    });
    return timer.elapsed();
}

qint64 warmListingMs(tf::decode::DecoderPool& pool, const QStringList& files, int width, int height)
{
    QElapsedTimer timer;
    timer.start();
    tf::decode::DecodeBatch batch(pool);
    for (const QString& file : files) batch.submit(tf::loadPicRequest(file, kSizeModeBox, width, height, 0x00FFFFFF));
    while (batch.next(std::chrono::minutes(1))) {
    }
    return timer.elapsed();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime; // created private, as Qt wants its runtime folder; the children share it
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QApplication app(argc, argv);
    tf::BlockingCallsAllowed measuredHere; // the benchmark times these calls on its own thread
    const QStringList args = app.arguments().mid(1);
    // The benchmark lives apart from the program; its decoder is the one built beside the program.
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
    if (args.value(0) == QLatin1String("--thumbnails") && args.size() == 4)
        return childThumbnails(args[1], args[2].toInt(), args[3].toInt());
    if (args.value(0) == QLatin1String("--save")) return childSave(args.mid(1));
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
    const QStringList photos = cachedPhotos(count);
    QStringList group4, plain;
    if (photos.isEmpty() || !cachedScans(32, group4, plain)) {
        std::fprintf(stderr, "cannot write the inputs under %s\n", qPrintable(kCache));
        return 1;
    }
    double load[1] = {0};
    if (getloadavg(load, 1) != 1) load[0] = -1;
    std::printf("%d A4 photos, 32 A4 scans; %d cores, load average %.2f when the run began\n\n", count, cores(), load[0]);

    const QString self = QCoreApplication::applicationFilePath();
    const QString vips = QStandardPaths::findExecutable("vipsthumbnail");
    const QString tiffcp = QStandardPaths::findExecutable("tiffcp");
    const QString img2pdf = QStandardPaths::findExecutable("img2pdf");
    QTemporaryDir scratch;
    const auto out = [&](const QString& name) { return scratch.filePath(name); };
    QByteArray photoList;
    for (const QString& f : photos) photoList += QFile::encodeName(f) + '\n';
    const QString box = QStringLiteral("%1x%2").arg(thumbWidth).arg(thumbHeight);

    Contest thumbs("thumbnails:"), scansG4("32 Group 4 scans -> Group 4 TIFF:"),
        scansPlain("32 plain scans -> Group 4 TIFF:"), pdf("photos -> PDF:");
    thumbs.peer = !vips.isEmpty();
    scansG4.peer = scansPlain.peer = !tiffcp.isEmpty();
    pdf.peer = !img2pdf.isEmpty();
    for (int round = 0; round < kRounds; ++round) {
        for (const QString& side : {QStringLiteral("ours"), QStringLiteral("vips")}) {
            const QString dir = out(side);
            QDir(dir).removeRecursively();
            QDir().mkpath(dir);
            if (side == QLatin1String("ours")) {
                Run r = timed(self, {"--thumbnails", dir, QString::number(thumbWidth), QString::number(thumbHeight)}, photoList);
                if (r.fault.isEmpty()) r.fault = checkThumbnails(dir, photos, thumbWidth, thumbHeight);
                thumbs.take(thumbs.ours, r);
            } else if (thumbs.peer) {
                // xargs hands each vipsthumbnail eight files, as many as a process can take in turn.
                Run r = timed("xargs", {"-P" + QString::number(cores()), "-n8", vips, "--size", box, "-o", dir + "/tn_%s.jpg"},
                              photoList);
                if (r.fault.isEmpty()) r.fault = checkThumbnails(dir, photos, thumbWidth, thumbHeight);
                thumbs.take(thumbs.theirs, r);
            }
        }
        for (Contest* c : {&scansG4, &scansPlain}) {
            const QStringList& pages = c == &scansG4 ? group4 : plain;
            QFile::remove(out("ours.tif"));
            Run r = timed(self, QStringList{"--save", "tif", out("ours.tif"), QString::number(tf::kTiffGroup4)} + pages);
            if (r.fault.isEmpty()) r.fault = checkTiff(out("ours.tif"), 32);
            c->take(c->ours, r);
            if (!c->peer) continue;
            QFile::remove(out("tiffcp.tif"));
            Run p = timed(tiffcp, QStringList{"-c", "g4"} + pages + QStringList{out("tiffcp.tif")});
            if (p.fault.isEmpty()) p.fault = checkTiff(out("tiffcp.tif"), 32);
            c->take(c->theirs, p);
        }
        QFile::remove(out("ours.pdf"));
        Run r = timed(self, QStringList{"--save", "pdf", out("ours.pdf"), "0"} + photos);
        if (r.fault.isEmpty()) r.fault = checkPdf(out("ours.pdf"), count);
        pdf.take(pdf.ours, r);
        if (pdf.peer) {
            QFile::remove(out("img2pdf.pdf"));
            Run p = timed(img2pdf, QStringList{"-o", out("img2pdf.pdf")} + photos);
            if (p.fault.isEmpty()) p.fault = checkPdf(out("img2pdf.pdf"), count);
            pdf.take(pdf.theirs, p);
        }
    }
    thumbs.print("xargs -n8 vipsthumbnail:", 1.8);
    scansG4.print("tiffcp -c g4:", 1.3);
    scansPlain.print("tiffcp -c g4:", 1.3);
    pdf.print("img2pdf:", 3.0);

    // The decode limit: how long the photos' scaled decode takes on every core in one process,
    // against a listing through decoders that are running already.
    tf::decode::DecoderPool pool;
    warmListingMs(pool, photos, thumbWidth, thumbHeight); // starts the decoders
    qint64 limit = -1, warm = -1, eighth = -1;
    for (int round = 0; round < kRounds; ++round) {
        const qint64 l = scaledDecodeMs(photos, thumbWidth, thumbHeight);
        const qint64 e = eighthDecodeMs(photos, thumbWidth, thumbHeight);
        const qint64 w = warmListingMs(pool, photos, thumbWidth, thumbHeight);
        limit = limit < 0 ? l : std::min(limit, l);
        eighth = eighth < 0 ? e : std::min(eighth, e);
        warm = warm < 0 ? w : std::min(warm, w);
    }
    const double over = static_cast<double>(warm) / static_cast<double>(std::max<qint64>(limit, 1));
    std::printf("\nscaled decode on %d threads %lld ms; listing through the warm pool %lld ms: %.2fx the decode (aim 1.5x or "
                "less: %s)\n",
                cores(), static_cast<long long>(limit), static_cast<long long>(warm), over, over <= 1.5 ? "met" : "NOT MET");
    std::printf("the decoders' own reader at an eighth on %d threads %lld ms; the warm listing is %.2fx that\n", cores(),
                static_cast<long long>(eighth), static_cast<double>(warm) / static_cast<double>(std::max<qint64>(eighth, 1)));
    const bool failed = !thumbs.fault.isEmpty() || !scansG4.fault.isEmpty() || !scansPlain.fault.isEmpty() || !pdf.fault.isEmpty();
    return failed ? 1 : 0;
}
