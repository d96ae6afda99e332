// Times saving a basket of A4 pages as one multipage PDF or TIFF: our writers, through the same
// command the Save As menu runs, and on the same files, the common command-line tools where they
// are installed. Each run is its own process, so its peak memory can be told apart.
#include "benchutil.h"

#include "benchpages.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/freeimage_qt.h"
#include "services/modLoadPic.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/ui/msgbox.h"
#include "platform/sys/blockingcalls.h"

#include <FreeImage.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <ctime>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <vector>

namespace {

constexpr int kDotsPerMeter = tf::bench::kA4DotsPerMeter;

void usage()
{
    std::printf("usage: multipage_bench --ratios [--cache FOLDER]\n"
                "  Against the peers in the same run, whole processes on both sides (ours: this program with\n"
                "  --run, its start-up and decoder pool included): 64 and 1,024 A4 300-dpi photo JPEG pages\n"
                "  (about 1.2 MB each) to one PDF (ours vs img2pdf), and 32 1-bit A4 pages of text to a\n"
                "  Group 4 TIFF (ours vs tiffcp -c g4 on the same pages as uncompressed 1-bit TIFFs). Best of\n"
                "  three each. The pages are made once and kept in FOLDER (default /tmp/tf-multipage-bench);\n"
                "  the outputs are checked with pdfinfo and pdfimages (every page an A4 JPEG image) and\n"
                "  tiffinfo (every page A4 and Group 4). The load average is printed with the ratios.\n"
                "usage: multipage_bench [PAGES] [--dir FOLDER]\n"
                "  Makes PAGES (default 100) A4 pages at 300 dpi (2480 x 3508) twice: as colour JPEG files\n"
                "  and as black-and-white (1-bit) TIFF files, in FOLDER (default: a new temporary folder,\n"
                "  removed afterwards). Then saves each set as one document: by our writers (PDF, TIFF\n"
                "  PackBits, TIFF Group 4), and, when they are on the PATH, by img2pdf (PDF from the\n"
                "  JPEGs), ImageMagick's convert (PDF and TIFF) and tiffcp (TIFF from the TIFF pages).\n"
                "  Prints pages per second, the output size and each run's peak memory. Our writers also\n"
                "  run on a quarter of the pages, to show whether their peak memory grows with the count.\n");
}

bool writeMonoTiff(const QImage& page, const QString& path)
{
    QImage mono = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    mono.setDotsPerMeterX(kDotsPerMeter);
    mono.setDotsPerMeterY(kDotsPerMeter);
    FIBITMAP* bitmap = tf::freeImageFromQImage(mono);
    const bool ok = bitmap && FreeImage_Save(FIF_TIFF, bitmap, QFile::encodeName(path).constData(), TIFF_CCITTFAX4);
    if (bitmap) FreeImage_Unload(bitmap);
    return ok;
}

// ---- one run, in a child process

class PrintedMessages : public tf::MessageBoxHandler {
public:
    int show(const QString& prompt, int style, const QString&) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(prompt));
        return tf::msgBoxDefaultAnswer(style);
    }
};

// Our writer on a folder of pages: format pdf|tif, compression and colour format as the panel.
int runOurs(const QStringList& args)
{
    if (args.size() < 5) return 2;
    const QString format = args[0];
    const QString pages = args[1];
    const QString output = args[2];
    int16_t compression = static_cast<int16_t>(args[3].toInt());
    int16_t colorFormat = static_cast<int16_t>(args[4].toInt());
    const int limit = args.size() > 5 ? args[5].toInt() : 0;
    PrintedMessages messages;
    tf::setMessageBoxHandler(&messages);
    QStringList files = QDir(pages).entryList(QDir::Files, QDir::Name);
    if (limit > 0) files = files.mid(0, limit);
    std::vector<tf::basket::PageRecord> records;
    for (const QString& f : files) {
        tf::basket::PageRecord r;
        r.source = r.tag = QDir(pages).filePath(f);
        r.text = f;
        records.push_back(r);
    }
    std::unique_ptr<tf::PageSink> sink;
    if (format == QLatin1String("pdf"))
        sink = std::make_unique<tf::NewPdfSink>(output);
    else
        sink = std::make_unique<tf::NewTiffSink>(output);
    // In the window the decoders run from the start; asked to, the run starts them before the
    // save and tells the save's own time.
    const QString saveTime = qEnvironmentVariable("TF_BENCH_SAVE_TIME");
    if (!saveTime.isEmpty() && !records.empty()) {
        tf::decode::DecodeBatch warm;
        for (int i = 0; i < tf::decode::DecoderPool::shared().processCount(); ++i)
            warm.submit(tf::loadPicRequest(records.front().tag, 0, -1, -1, 16777215));
        while (warm.pending() > 0) warm.next(std::chrono::milliseconds(1000));
    }
    QElapsedTimer timer;
    timer.start();
    const bool ok = tf::bench::writePagesHere(records, std::move(sink), colorFormat, compression);
    if (!saveTime.isEmpty()) {
        QFile f(saveTime);
        if (f.open(QIODevice::WriteOnly)) f.write(QByteArray::number(timer.elapsed()));
    }
    tf::setMessageBoxHandler(nullptr);
    return ok ? 0 : 1;
}

struct Result {
    bool ran = false;
    bool ok = false;
    qint64 ms = 0;
    long peakKb = 0;
    qint64 bytes = 0;
};

Result runProcess(const QString& program, const QStringList& args, const QString& output)
{
    Result r;
    const QString results = output + QStringLiteral(".measure");
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(QCoreApplication::applicationFilePath()));
    storage.push_back("--measure");
    storage.push_back(QFile::encodeName(results));
    storage.push_back(QFile::encodeName(program));
    for (const QString& a : args) storage.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    QFile::remove(output);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return r;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return r;
    QFile f(results);
    if (!f.open(QIODevice::ReadOnly)) return r;
    const QList<QByteArray> fields = f.readAll().simplified().split(' ');
    f.close();
    QFile::remove(results);
    if (fields.size() < 3) return r;
    r.ran = true;
    r.ok = fields[0].toInt() == 0 && QFileInfo::exists(output);
    r.ms = fields[1].toLongLong();
    r.peakKb = fields[2].toLong();
    r.bytes = QFileInfo(output).size();
    return r;
}

long g_baselineKb = 0; // what every measured run starts with: the measuring process itself

void report(const char* what, int pages, const Result& r)
{
    if (!r.ran) {
        std::printf("  %-44s  could not run\n", what);
        return;
    }
    if (!r.ok) {
        std::printf("  %-44s  failed\n", what);
        return;
    }
    std::printf("  %-44s %7.1f pages/s %9.1f MB %7.1f MB peak\n", what, r.ms > 0 ? pages * 1000.0 / r.ms : 0.0,
                r.bytes / 1048576.0, qMax(0L, r.peakKb - g_baselineKb) / 1024.0);
}

QString onPath(const QString& name) { return QStandardPaths::findExecutable(name); }

// ---- against the peers, on pages like the users': photos, and scanned text

// An uncompressed 1-bit TIFF, one strip per page as a scanner's driver writes it.
bool writePlainMonoTiff(const QImage& mono, const QString& path)
{
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(mono.width()));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(mono.height()));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(mono.height()));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0f);
    // Qt's 0 is black, MINISWHITE's 0 is white.
    const bool zeroIsBlack = mono.color(0) == qRgb(0, 0, 0);
    QByteArray row(mono.bytesPerLine(), '\0');
    bool ok = true;
    for (int y = 0; ok && y < mono.height(); ++y) {
        const uchar* in = mono.constScanLine(y);
        for (int i = 0; i < row.size(); ++i) row[i] = static_cast<char>(zeroIsBlack ? ~in[i] : in[i]);
        ok = TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) >= 0;
    }
    TIFFClose(tif);
    return ok;
}

// Runs work(1..count) on every core.
void onEveryCore(int count, const std::function<void(int)>& work)
{
    std::atomic<int> next{1};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
        threads.emplace_back([&] {
            for (int i = next++; i <= count; i = next++) work(i);
        });
    for (std::thread& t : threads) t.join();
}

int pagesOf(const QString& tool, const QStringList& args, const QString& marker)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(-1);
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    if (marker == QLatin1String("Pages:")) {
        for (const QString& line : text.split(QLatin1Char('\n')))
            if (line.startsWith(marker)) return line.mid(marker.size()).trimmed().toInt();
        return -1;
    }
    return static_cast<int>(text.count(marker));
}

// The machine's load over the last minute, as the ratios depend on it.
QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 0)
                                       : QStringLiteral("?");
}

// What pdfimages -list tells of a document's images: how many are JPEG (DCT) data of 2480 x 3508.
int a4JpegImagesOf(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    p.waitForFinished(-1);
    int n = 0;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        // page num type width height color comp bpc enc ...
        if (f.size() > 8 && f[2] == QLatin1String("image") && f[3] == QLatin1String("2480") &&
            f[4] == QLatin1String("3508") && f[8] == QLatin1String("jpeg"))
            ++n;
    }
    return n;
}

// tiffinfo's count of 2480 x 3508 pages coded CCITT Group 4.
int a4Group4PagesOf(const QString& tiff)
{
    QProcess p;
    p.start(QStringLiteral("tiffinfo"), {tiff});
    p.waitForFinished(-1);
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    const int sized = static_cast<int>(text.count(QStringLiteral("Image Width: 2480 Image Length: 3508")));
    const int coded = static_cast<int>(text.count(QStringLiteral("CCITT Group 4")));
    return sized == coded ? coded : -1;
}

// Both sides as whole processes started from a small measuring copy of this program: ours is this
// program run with --run, which makes a QApplication, starts the decoder pool as the window does
// and runs the Save As command's save on the pages; the peer is its own command. Start-up,
// decoders and the final sync of each are inside the time.
int runRatios(const QString& cache)
{
    QDir root(cache);
    root.mkpath(QStringLiteral("a4photos"));
    root.mkpath(QStringLiteral("a4text"));
    root.mkpath(QStringLiteral("out"));
    root.mkpath(QStringLiteral("data"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    constexpr int kPhotos = 1024, kFewPhotos = 64, kDistinctPhotos = 64, kTextPages = 32;
    auto photoName = [&](int i) { return root.filePath(QStringLiteral("a4photos/page%1.jpg").arg(i, 4, 10, QLatin1Char('0'))); };
    auto textName = [&](int i) { return root.filePath(QStringLiteral("a4text/page%1.tif").arg(i, 2, 10, QLatin1Char('0'))); };

    if (!QFileInfo::exists(photoName(kPhotos))) {
        std::printf("making %d distinct A4 photo pages (each used %d times) in %s\n", kDistinctPhotos,
                    kPhotos / kDistinctPhotos, qPrintable(root.filePath(QStringLiteral("a4photos"))));
        onEveryCore(kDistinctPhotos, [&](int i) {
            QImageWriter writer(photoName(i), "jpg");
            writer.setQuality(85);
            writer.write(tf::bench::makeA4Photo(static_cast<quint32>(i)));
        });
        for (int i = kDistinctPhotos + 1; i <= kPhotos; ++i)
            if (!QFileInfo::exists(photoName(i))) QFile::copy(photoName((i - 1) % kDistinctPhotos + 1), photoName(i));
    }
    if (!QFileInfo::exists(textName(kTextPages))) {
        std::printf("making %d 1-bit A4 pages of text\n", kTextPages);
        onEveryCore(kTextPages, [&](int i) { writePlainMonoTiff(tf::bench::makeA4TextPage(static_cast<quint32>(i)), textName(i)); });
    }
    QStringList photos, texts;
    qint64 photoBytes = 0, fewBytes = 0;
    for (int i = 1; i <= kPhotos; ++i) {
        photos << photoName(i);
        photoBytes += QFileInfo(photos.last()).size();
        if (i == kFewPhotos) fewBytes = photoBytes;
    }
    for (int i = 1; i <= kTextPages; ++i) texts << textName(i);
    std::printf("photo pages: %.2f MB each on average (A4 300-dpi photos at quality 85 are 1-1.5 MB)\n",
                photoBytes / 1048576.0 / kPhotos);
    std::printf("load average at the start: %s\n\n", qPrintable(loadAverage()));

    const QString self = QCoreApplication::applicationFilePath();
    auto out = [&](const char* name) { return root.filePath(QStringLiteral("out/") + QLatin1String(name)); };
    // The best of three runs each, taken in turns, so that neither gains from the other's caching.
    auto best = [](const std::function<Result()>& run) {
        Result b;
        for (int i = 0; i < 3; ++i) {
            const Result r = run();
            if (!r.ok) return r;
            if (!b.ok || r.ms < b.ms) b = r;
        }
        return b;
    };
    auto ours = [&](const char* format, const QString& pages, const QString& output, int compression, int colorFormat,
                    int limit) {
        return runProcess(self, {QStringLiteral("--run"), QLatin1String(format), pages, output,
                                 QString::number(compression), QString::number(colorFormat), QString::number(limit)},
                          output);
    };
    int failures = 0;
    auto compare = [&](const char* what, int pages, const Result& mine, const Result& peer, const char* peerName,
                       double aim) {
        report((std::string("ours: ") + what).c_str(), pages, mine);
        report((std::string(peerName) + ": " + what).c_str(), pages, peer);
        if (mine.ok && peer.ok && mine.ms > 0) {
            const double ratio = double(peer.ms) / double(mine.ms);
            std::printf("  => %.2fx the speed of %s (aim: at least %.1fx on an idle machine)%s\n", ratio, peerName,
                        aim, ratio >= aim ? "" : "  BELOW THE AIM");
        } else {
            ++failures;
        }
    };

    const QString img2pdfTool = onPath(QStringLiteral("img2pdf"));
    const QString tiffcpTool = onPath(QStringLiteral("tiffcp"));
    const QString jpegDir = root.filePath(QStringLiteral("a4photos"));
    const QString textDir = root.filePath(QStringLiteral("a4text"));

    for (const int count : {kFewPhotos, kPhotos}) {
        std::printf("%d A4 photo JPEG pages to one PDF:\n", count);
        const QString mineOut = out(count == kPhotos ? "photos_all.pdf" : "photos.pdf");
        const QString peerOut = out(count == kPhotos ? "img2pdf_all.pdf" : "img2pdf.pdf");
        const Result mine = best([&] { return ours("pdf", jpegDir, mineOut, 0, 0, count); });
        Result peer;
        if (!img2pdfTool.isEmpty())
            peer = best([&] {
                return runProcess(img2pdfTool, photos.mid(0, count) << QStringLiteral("-o") << peerOut, peerOut);
            });
        compare("PDF", count, mine, peer, "img2pdf", count == kFewPhotos ? 3.0 : 2.0);
        const int oursPages = pagesOf(QStringLiteral("pdfinfo"), {mineOut}, QStringLiteral("Pages:"));
        const int peerPages = pagesOf(QStringLiteral("pdfinfo"), {peerOut}, QStringLiteral("Pages:"));
        const int oursImages = a4JpegImagesOf(mineOut);
        const qint64 bytes = count == kPhotos ? photoBytes : fewBytes;
        std::printf("  pdfinfo: ours %d pages, img2pdf %d; pdfimages: ours %d A4 JPEG images; ours is %+.2f%% the "
                    "size of the JPEG files\n\n",
                    oursPages, peerPages, oursImages, 100.0 * (double(mine.bytes) - double(bytes)) / double(bytes));
        if (oursPages != count || oursImages != count) ++failures;
    }

    std::printf("%d 1-bit A4 pages of text to a Group 4 TIFF:\n", kTextPages);
    const Result mine = best([&] { return ours("tif", textDir, out("text_g4.tif"), 2, 6, 0); });
    Result peer;
    if (!tiffcpTool.isEmpty())
        peer = best([&] {
            return runProcess(tiffcpTool, QStringList{QStringLiteral("-c"), QStringLiteral("g4")} << texts << out("tiffcp_g4.tif"),
                              out("tiffcp_g4.tif"));
        });
    compare("TIFF Group 4", kTextPages, mine, peer, "tiffcp", 1.3);
    // Not the same work as the peer's, so no ratio is claimed from it: the save inside a running
    // program, whose decoders are already started.
    {
        const QString timeFile = out("save.ms");
        qputenv("TF_BENCH_SAVE_TIME", QFile::encodeName(timeFile));
        qint64 bestMs = -1;
        for (int i = 0; i < 3; ++i) {
            const Result r = ours("tif", textDir, out("text_g4_warm.tif"), 2, 6, 0);
            QFile f(timeFile);
            if (r.ok && f.open(QIODevice::ReadOnly)) {
                const qint64 ms = f.readAll().toLongLong();
                if (bestMs < 0 || ms < bestMs) bestMs = ms;
            }
        }
        qunsetenv("TF_BENCH_SAVE_TIME");
        if (bestMs > 0)
            std::printf("  (for reference, not a ratio: the save alone in a program whose decoders already run: %lld ms)\n",
                        static_cast<long long>(bestMs));
    }
    const int oursTiffPages = a4Group4PagesOf(out("text_g4.tif"));
    const int peerTiffPages = a4Group4PagesOf(out("tiffcp_g4.tif"));
    std::printf("  tiffinfo: ours %d A4 Group 4 pages, tiffcp %d; sizes %.2f MB and %.2f MB\n", oursTiffPages,
                peerTiffPages, mine.bytes / 1048576.0, peer.bytes / 1048576.0);
    if (oursTiffPages != kTextPages) ++failures;
    std::printf("\nload average at the end: %s\n", qPrintable(loadAverage()));
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--measure") == 0) return tf::bench::measure(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime; // created private, as Qt wants its runtime folder
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    if (argc > 1 && std::strcmp(argv[1], "--run") == 0) {
        QApplication app(argc, argv);
        tf::BlockingCallsAllowed measuredHere; // the benchmark times these calls on its own thread
        tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
        return runOurs(app.arguments().mid(2));
    }
    QApplication app(argc, argv);
    tf::BlockingCallsAllowed measuredHere; // the benchmark times these calls on its own thread
    if (argc > 1 && std::strcmp(argv[1], "--ratios") == 0) {
        const QStringList rest = app.arguments().mid(2);
        const int at = rest.indexOf(QStringLiteral("--cache"));
        return runRatios(at >= 0 && at + 1 < rest.size() ? rest[at + 1] : QStringLiteral("/tmp/tf-multipage-bench"));
    }

    int count = 100;
    QString folder;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == QLatin1String("-h") || args[i] == QLatin1String("--help")) {
            usage();
            return 0;
        } else if (args[i] == QLatin1String("--dir") && i + 1 < args.size()) {
            folder = args[++i];
        } else {
            count = args[i].toInt(&ok);
            ok = ok && count > 0;
        }
        if (!ok) {
            usage();
            return 2;
        }
    }

    std::unique_ptr<QTemporaryDir> temp;
    if (folder.isEmpty()) {
        temp = std::make_unique<QTemporaryDir>();
        if (!temp->isValid()) {
            std::fprintf(stderr, "cannot make a temporary folder\n");
            return 1;
        }
        folder = temp->path();
    }
    QDir root(folder);
    root.mkpath(QStringLiteral("jpeg"));
    root.mkpath(QStringLiteral("mono"));
    root.mkpath(QStringLiteral("out"));
    root.mkpath(QStringLiteral("data"));
    // Our writers spool into the program's own folder: keep it on the same disk as the output.
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));

    std::printf("making %d A4 pages (2480 x 3508, 300 dpi): photos as JPEG, text as 1-bit Group 4 TIFF, in %s\n",
                count, qPrintable(folder));
    // A handful of distinct pages, repeated: the writers read every file anyway.
    constexpr int kDistinct = 8;
    qint64 jpegBytes = 0;
    for (int i = 0; i < kDistinct && i < count; ++i) {
        QImageWriter writer(root.filePath(QStringLiteral("jpeg/page%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0'))),
                            "jpg");
        writer.setQuality(85);
        if (!writer.write(tf::bench::makeA4Photo(static_cast<quint32>(i + 1))) ||
            !writeMonoTiff(tf::bench::makeA4TextPage(static_cast<quint32>(i + 1)),
                           root.filePath(QStringLiteral("mono/page%1.tif").arg(i + 1, 4, 10, QLatin1Char('0'))))) {
            std::fprintf(stderr, "cannot write the pages\n");
            return 1;
        }
    }
    for (int i = kDistinct; i < count; ++i) {
        const int from = i % kDistinct + 1;
        QFile::copy(root.filePath(QStringLiteral("jpeg/page%1.jpg").arg(from, 4, 10, QLatin1Char('0'))),
                    root.filePath(QStringLiteral("jpeg/page%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0'))));
        QFile::copy(root.filePath(QStringLiteral("mono/page%1.tif").arg(from, 4, 10, QLatin1Char('0'))),
                    root.filePath(QStringLiteral("mono/page%1.tif").arg(i + 1, 4, 10, QLatin1Char('0'))));
    }
    QStringList jpegs, monos;
    for (const QString& f : QDir(root.filePath(QStringLiteral("jpeg"))).entryList(QDir::Files, QDir::Name)) {
        jpegs << root.filePath(QStringLiteral("jpeg/") + f);
        jpegBytes += QFileInfo(jpegs.last()).size();
    }
    for (const QString& f : QDir(root.filePath(QStringLiteral("mono"))).entryList(QDir::Files, QDir::Name))
        monos << root.filePath(QStringLiteral("mono/") + f);
    std::printf("JPEG pages: %.1f MB in all\n", jpegBytes / 1048576.0);
    {
        const QString nothing = root.filePath(QStringLiteral("out/nothing"));
        QFile(nothing).open(QIODevice::WriteOnly);
        g_baselineKb = runProcess(QStringLiteral("touch"), {nothing}, nothing).peakKb;
        std::printf("peak memory below is above the %.1f MB a run of touch(1) reports\n\n", g_baselineKb / 1024.0);
    }

    const QString self = QCoreApplication::applicationFilePath();
    auto ours = [&](const char* format, const QString& pages, const QString& out, int compression, int colorFormat,
                    int limit) {
        return runProcess(self,
                          {QStringLiteral("--run"), QLatin1String(format), pages, out, QString::number(compression),
                           QString::number(colorFormat), QString::number(limit)},
                          out);
    };
    const QString jpegDir = root.filePath(QStringLiteral("jpeg"));
    const QString monoDir = root.filePath(QStringLiteral("mono"));
    auto out = [&](const char* name) { return root.filePath(QStringLiteral("out/") + QLatin1String(name)); };
    const int quarter = qMax(1, count / 4);

    std::printf("%d colour JPEG pages:\n", count);
    const Result oursPdf = ours("pdf", jpegDir, out("ours.pdf"), 0, 0, 0);
    report("ours: PDF", count, oursPdf);
    report("ours: PDF, a quarter of the pages", quarter, ours("pdf", jpegDir, out("ours_q.pdf"), 0, 0, quarter));
    report("ours: TIFF PackBits, 24 bit", count, ours("tif", jpegDir, out("ours_pb.tif"), 1, 0, 0));
    report("ours: TIFF Group 4 (Mono BW)", count, ours("tif", jpegDir, out("ours_g4.tif"), 2, 6, 0));
    Result img2pdf;
    if (const QString tool = onPath(QStringLiteral("img2pdf")); !tool.isEmpty()) {
        img2pdf =
            runProcess(tool, QStringList(jpegs) << QStringLiteral("-o") << out("img2pdf.pdf"), out("img2pdf.pdf"));
        report("img2pdf: PDF", count, img2pdf);
    } else {
        std::printf("  img2pdf: not on the PATH\n");
    }
    const QString convert = onPath(QStringLiteral("convert"));
    const bool magick = tf::bench::isImageMagick(convert);
    if (magick) tf::bench::allowImageMagickTheWholeDocument(root.filePath(QStringLiteral("magick")));
    if (magick) {
        if (tf::bench::imageMagickRefusesPdf(convert))
            std::printf("  %-44s  refused by the system's ImageMagick policy\n", "ImageMagick convert: PDF");
        else
            report("ImageMagick convert: PDF", count,
                   runProcess(convert, QStringList(jpegs) << out("im.pdf"), out("im.pdf")));
        report(
            "ImageMagick convert: TIFF PackBits", count,
            runProcess(convert,
                       QStringList(jpegs) << QStringLiteral("-compress") << QStringLiteral("RLE") << out("im_pb.tif"),
                       out("im_pb.tif")));
    } else {
        std::printf("  ImageMagick convert: not on the PATH\n");
    }

    std::printf("\n%d black-and-white pages:\n", count);
    report("ours: PDF (CCITT Group 4)", count, ours("pdf", monoDir, out("mono.pdf"), 0, 6, 0));
    report("ours: TIFF PackBits", count, ours("tif", monoDir, out("mono_pb.tif"), 1, 6, 0));
    report("ours: TIFF Group 4", count, ours("tif", monoDir, out("mono_g4.tif"), 2, 6, 0));
    report("ours: TIFF Group 4, a quarter of the pages", quarter,
           ours("tif", monoDir, out("mono_g4_q.tif"), 2, 6, quarter));
    if (const QString tool = onPath(QStringLiteral("tiffcp")); !tool.isEmpty()) {
        report("tiffcp: TIFF PackBits", count,
               runProcess(
                   tool, QStringList{QStringLiteral("-c"), QStringLiteral("packbits")} << monos << out("tiffcp_pb.tif"),
                   out("tiffcp_pb.tif")));
        report("tiffcp: TIFF Group 4", count,
               runProcess(tool,
                          QStringList{QStringLiteral("-c"), QStringLiteral("g4")} << monos << out("tiffcp_g4.tif"),
                          out("tiffcp_g4.tif")));
    } else {
        std::printf("  tiffcp: not on the PATH\n");
    }
    if (magick)
        report("ImageMagick convert: TIFF Group 4", count,
               runProcess(convert,
                          QStringList(monos)
                              << QStringLiteral("-compress") << QStringLiteral("Group4") << out("im_g4.tif"),
                          out("im_g4.tif")));

    // Our documents as the independent tools read them: every page there, at A4 size.
    std::printf("\npages of our documents as pdfinfo and tiffinfo count them (of %d; a quarter: %d):\n", count, quarter);
    for (const char* name : {"ours.pdf", "ours_q.pdf", "mono.pdf"})
        std::printf("  %-14s %d pages\n", name, pagesOf(QStringLiteral("pdfinfo"), {out(name)}, QStringLiteral("Pages:")));
    for (const char* name : {"ours_pb.tif", "ours_g4.tif", "mono_pb.tif", "mono_g4.tif", "mono_g4_q.tif"})
        std::printf("  %-14s %d pages, %d of them 2480 x 3508\n", name,
                    pagesOf(QStringLiteral("tiffinfo"), {out(name)}, QStringLiteral("TIFF Directory")),
                    pagesOf(QStringLiteral("tiffinfo"), {out(name)}, QStringLiteral("Image Width: 2480 Image Length: 3508")));
    if (oursPdf.ok)
        std::printf("\nPDF from JPEG pages: ours is %+.2f%% the size of the JPEG files together\n",
                    100.0 * (double(oursPdf.bytes) - double(jpegBytes)) / double(jpegBytes));
    if (oursPdf.ok && img2pdf.ok && img2pdf.bytes > 0)
        std::printf("PDF from JPEG pages: ours is %+.2f%% the size of img2pdf's\n",
                    100.0 * (double(oursPdf.bytes) - double(img2pdf.bytes)) / double(img2pdf.bytes));
    return 0;
}
