// Times the batch conversion of a basket of A4 300-dpi photo JPEGs into one file per page, as
// whole processes on both sides: our conversion (the page pipeline with the single-page sink, run
// in a child process of this program, so its start and its decoders count) against the tools a
// user would run on all cores: `xargs -P8 vips copy` into PackBits TIFF (and ImageMagick's mogrify,
// when there), and eight `img2pdf` at once into one PDF per page. Our files are synced to the disk
// before they are put in place; vips's are not, so vips is timed once more with `sync` of its
// files after it, the same lasting work as ours. Every TIFF is decoded again and
// compared pixel for pixel with vips's; every PDF's image is taken out with pdfimages and compared
// byte for byte with its JPEG. A peer that is not installed is left out.
#include "benchutil.h"

#include "pages/PagePipeline.h"
#include "basket/SinglePageSink.h"
#include "frame/modSettings.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/ui/msgbox.h"
#include "platform/sys/blockingcalls.h"

#include <FreeImage.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <spawn.h>
#include <tiffio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

namespace {

constexpr int kWidth = 2480; // A4 at 300 dpi
constexpr int kHeight = 3508;

void usage()
{
    std::printf("usage: batch_bench [PAGES] [--cache FOLDER]\n"
                "  Makes PAGES (default 64) A4 300-dpi photo JPEG pages once in FOLDER (default\n"
                "  /tmp/tf-batch-bench/pages), then converts them into one file per page, each side a whole\n"
                "  process: PackBits TIFF by us, by `xargs -P8 vips copy` (once more followed by a sync of its\n"
                "  files, as ours are synced) and by mogrify; PDF by us and by eight img2pdf at once. A tool not\n"
                "  installed is left out.\n"
                "  Prints seconds, pages per second, the peers' time over ours, each run's peak memory (the\n"
                "  largest process of the run, the page decoders included) and how far the outputs differ.\n");
}

struct Result {
    bool ok = false;
    qint64 ms = 0;
    long peakKb = 0;
    qint64 bytes = 0;
    int files = 0;
};

long g_baselineKb = 0;

Result runMeasured(const QString& program, const QStringList& args, const QString& outDir)
{
    Result r;
    QDir(outDir).removeRecursively();
    QDir().mkpath(outDir);
    const QString results = outDir + QStringLiteral(".measure");
    QStringList all{QStringLiteral("--measure"), results, program};
    all += args;
    QProcess p;
    // The tools' own warnings (ImageMagick names every EXIF tag its libtiff does not know) would
    // bury the table.
    p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QCoreApplication::applicationFilePath(), all);
    p.waitForFinished(-1);
    QFile f(results);
    if (p.exitCode() != 0 || !f.open(QIODevice::ReadOnly)) return r;
    const QList<QByteArray> fields = f.readAll().simplified().split(' ');
    f.close();
    QFile::remove(results);
    if (fields.size() < 3) return r;
    r.ok = fields[0].toInt() == 0;
    r.ms = fields[1].toLongLong();
    r.peakKb = fields[2].toLong();
    for (const QFileInfo& info : QDir(outDir).entryInfoList(QDir::Files)) {
        r.bytes += info.size();
        ++r.files;
    }
    return r;
}

// ---- our side, in a process of its own

class Pages final : public tf::PageSource {
public:
    explicit Pages(QStringList files) : m_files(std::move(files)) {}
    int count() const override { return int(m_files.size()); }
    Page page(int i) const override { return {m_files[i], QFileInfo(m_files[i]).completeBaseName()}; }

private:
    QStringList m_files;
};

// Counts the pages that reached the sink decoded: a JPEG that goes into a PDF as it is must not.
class Counting final : public tf::PageSink {
public:
    explicit Counting(std::unique_ptr<tf::PageSink> sink) : m_sink(std::move(sink)) {}
    void open(const tf::PageSource& pages, const tf::PageFormat& format) override { m_sink->open(pages, format); }
    void pageStarting(int i, const tf::PageSource::Page& page) override { m_sink->pageStarting(i, page); }
    bool takesAsItIs(const QString& path) const override { return m_sink->takesAsItIs(path); }
    bool addFile(const QString& path) override { return m_sink->addFile(path); }
    void addPage(tf::PreparedPage page) override
    {
        ++decoded;
        m_sink->addPage(std::move(page));
    }
    bool writesAhead() const override { return m_sink->writesAhead(); }
    void cancelled() override { m_sink->cancelled(); }
    void commit() override { m_sink->commit(); }
    void rollback() noexcept override { m_sink->rollback(); }
    bool keepsPagesOnCancel() const override { return m_sink->keepsPagesOnCancel(); }
    int decoded = 0;

private:
    std::unique_ptr<tf::PageSink> m_sink;
};

// The batch conversion as the window runs it, minus the window: every page of the folder into a
// file of its own (PackBits TIFF or PDF), named after the page, into `outDir`.
int ours(const QString& format, const QString& pagesDir, const QString& outDir)
{
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
    QStringList files;
    for (const QFileInfo& info : QDir(pagesDir).entryInfoList({"*.jpg"}, QDir::Files, QDir::Name))
        files << info.absoluteFilePath();
    typBatchSaveOptions o;
    o.OutputFormat = format == QLatin1String("pdf") ? 1 : 0;
    o.TiffCompression = 1;
    o.ColorFormat = 0;
    o.RenameMode = 0;
    o.DestinationMode = 1;
    o.DestinationFolder = outDir;
    o.Overwrite = 1;
    auto sink = std::make_unique<tf::SinglePageSink>(o);
    tf::SinglePageSink& single = *sink;
    auto counting = std::make_unique<Counting>(std::move(sink));
    Counting& counted = *counting;
    tf::PipelineSettings settings;
    settings.tiffCompression = o.TiffCompression;
    settings.colorFormat = o.ColorFormat;
    tf::PagePipeline pipeline(std::make_unique<Pages>(files), std::move(counting), settings);
    const tf::PipelineResult r = pipeline.runHere();
    if (!r.failure.isEmpty() || !r.leftOut.isEmpty() || single.tally().written != files.size()) {
        std::fprintf(stderr, "our run failed: %s\n", qPrintable(r.failure + r.leftOut.join(' ')));
        return 1;
    }
    // Read by the parent: how many pages were decoded.
    QFile note(outDir + QStringLiteral(".decoded"));
    if (note.open(QIODevice::WriteOnly)) note.write(QByteArray::number(counted.decoded));
    return 0;
}

// ---- the pages and the comparison

QStringList makePages(const QString& dir, int count)
{
    QDir().mkpath(dir);
    QStringList files;
    for (int i = 1; i <= count; ++i) {
        const QString path = QDir(dir).filePath(QStringLiteral("page%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
        files << path;
        if (QFileInfo(path).size() > 0) continue;
        QImage page = tf::bench::makePhoto(kWidth, kHeight, quint32(i));
        page.setDotsPerMeterX(11811);
        page.setDotsPerMeterY(11811);
        QImageWriter writer(path);
        writer.setQuality(85);
        if (!writer.write(page)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }
    return files;
}

struct Diff {
    int compared = 0;
    int sizeMismatches = 0;
    double meanAbs = 0; // over every channel of every pixel of every page
    int maxAbs = 0;
};

tf::FreeImageBitmap load24(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(name.constData(), 0);
    tf::FreeImageBitmap raw(fif == FIF_UNKNOWN ? nullptr : FreeImage_Load(fif, name.constData(), 0));
    if (!raw) return {};
    return tf::FreeImageBitmap(FreeImage_ConvertTo24Bits(raw.get()));
}

Diff compare(const QString& dirA, const QString& dirB, const QString& ext)
{
    // Reading the peers' TIFFs back, libtiff names every EXIF tag ImageMagick wrote into the first
    // directory; the comparison needs the pixels only.
    tf::ensureFreeImage();
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    Diff d;
    double sum = 0;
    double samples = 0;
    for (const QFileInfo& a : QDir(dirA).entryInfoList({"*." + ext}, QDir::Files, QDir::Name)) {
        const tf::FreeImageBitmap x = load24(a.absoluteFilePath());
        const tf::FreeImageBitmap y = load24(QDir(dirB).filePath(a.fileName()));
        if (!x || !y || FreeImage_GetWidth(x.get()) != FreeImage_GetWidth(y.get()) ||
            FreeImage_GetHeight(x.get()) != FreeImage_GetHeight(y.get())) {
            ++d.sizeMismatches;
            continue;
        }
        ++d.compared;
        const unsigned w = FreeImage_GetWidth(x.get()), h = FreeImage_GetHeight(x.get());
        for (unsigned row = 0; row < h; ++row) {
            const BYTE* p = FreeImage_GetScanLine(x.get(), int(row));
            const BYTE* q = FreeImage_GetScanLine(y.get(), int(row));
            for (unsigned i = 0; i < w * 3; ++i) {
                const int delta = std::abs(int(p[i]) - int(q[i]));
                sum += delta;
                d.maxAbs = std::max(d.maxAbs, delta);
            }
            samples += w * 3.0;
        }
    }
    d.meanAbs = samples > 0 ? sum / samples : 0;
    return d;
}

QString tiffCompressionOf(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("tiffinfo"), {path});
    p.waitForFinished(60000);
    for (const QString& line : QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n'))
        if (line.trimmed().startsWith(QLatin1String("Compression Scheme:"))) return line.section(':', 1).trimmed();
    return QStringLiteral("?");
}

void report(const char* what, int pages, const Result& r, const Result& base)
{
    if (!r.ok || r.files != pages) {
        std::printf("  %-30s failed (%d of %d files)\n", what, r.files, pages);
        return;
    }
    std::printf("  %-30s %7.2f s %6.1f pages/s  x%5.2f  %7.1f MB peak %8.1f MB out\n", what, r.ms / 1000.0,
                r.ms > 0 ? pages * 1000.0 / r.ms : 0.0, base.ms > 0 ? double(r.ms) / base.ms : 0.0,
                std::max(0L, r.peakKb - g_baselineKb) / 1024.0, r.bytes / 1048576.0);
}

void reportDiff(const char* what, const Diff& d)
{
    std::printf("  %-30s %d pages compared, %d of other size; mean |difference| %.3f, largest %d (of 255)\n", what,
                d.compared, d.sizeMismatches, d.meanAbs, d.maxAbs);
}

// Each PDF holds one image, and it is the JPEG's own bytes: (pages checked, pages that differ).
std::pair<int, int> pdfKeepsTheJpegs(const QString& pdfDir, const QString& pagesDir)
{
    int checked = 0, differ = 0;
    const QString work = pdfDir + QStringLiteral(".images");
    for (const QFileInfo& pdf : QDir(pdfDir).entryInfoList({"*.pdf"}, QDir::Files, QDir::Name)) {
        QDir(work).removeRecursively();
        QDir().mkpath(work);
        QProcess p;
        p.start(QStringLiteral("pdfimages"), {QStringLiteral("-j"), pdf.absoluteFilePath(), work + QStringLiteral("/i")});
        p.waitForFinished(60000);
        const QFileInfoList images = QDir(work).entryInfoList(QDir::Files);
        QFile a(QDir(pagesDir).filePath(pdf.completeBaseName() + QStringLiteral(".jpg")));
        QFile b(images.value(0).absoluteFilePath());
        ++checked;
        if (images.size() != 1 || !a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.readAll() != b.readAll())
            ++differ;
    }
    QDir(work).removeRecursively();
    return {checked, differ};
}

int decodedBy(const QString& outDir)
{
    QFile f(outDir + QStringLiteral(".decoded"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toInt() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--measure") == 0) return tf::bench::measure(argc, argv);
    QCoreApplication app(argc, argv);
    tf::BlockingCallsAllowed measuredHere; // the benchmark times these calls on its own thread
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--ours")) return ours(args.value(1), args.value(2), args.value(3));
    int pages = 64;
    QString cache = QStringLiteral("/tmp/tf-batch-bench");
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--help")) return usage(), 0;
        if (args[i] == QLatin1String("--cache") && i + 1 < args.size()) {
            cache = args[++i];
            continue;
        }
        bool ok = false;
        pages = args[i].toInt(&ok);
        if (!ok || pages <= 0) return usage(), 2;
    }
    const QString mogrify = QStandardPaths::findExecutable(QStringLiteral("mogrify"));
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    const QString img2pdf = QStandardPaths::findExecutable(QStringLiteral("img2pdf"));
    const bool pdfimages = !QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty();
    if (!mogrify.isEmpty()) tf::bench::allowImageMagickTheWholeDocument(cache + QStringLiteral("/magick"));
    const QString pagesDir = cache + QStringLiteral("/pages");
    std::printf("making %d A4 300-dpi JPEG pages in %s ...\n", pages, qPrintable(pagesDir));
    const QStringList files = makePages(pagesDir, pages);
    g_baselineKb = runMeasured(QStringLiteral("true"), {}, cache + QStringLiteral("/none")).peakKb;
    std::printf("peak memory below is above the %.1f MB a run of true(1) reports; it is the largest process of\n"
                "the run (our decoders and each peer process included)\n",
                g_baselineKb / 1024.0);
    // Other work on the machine slows both sides, though not alike: say how busy it was.
    const auto loadAverage = [] {
        QFile f(QStringLiteral("/proc/loadavg"));
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(' ', 0, 2) : QStringLiteral("?");
    };
    std::printf("load average at the start: %s\n\n", qPrintable(loadAverage()));

    // One peer process per page, eight at a time, as `xargs -P8` runs them, in the output folder;
    // the command is given the page as $0 and its name without .jpg as $b.
    // `then` runs in the output folder once every page is written.
    const auto eightAtOnce = [&](const QString& out, const QString& command, const QString& then = {}) {
        return QStringList{QStringLiteral("-c"),
                           QStringLiteral("cd \"$1\" && shift && printf '%s\\n' \"$@\" | "
                                          "xargs -d '\\n' -P8 -I{} sh -c 'b=$(basename \"$0\" .jpg); ") + command +
                               QStringLiteral("' {}") + (then.isEmpty() ? QString() : QStringLiteral(" && ") + then),
                           QStringLiteral("sh"), out} +
               files;
    };
    const auto row = [&](const char* what, const Result& r, const Result& base) { report(what, pages, r, base); };
    const auto head = [] { std::printf("  %-30s %9s %14s  %6s  %15s %15s\n", "", "time", "speed", "/ours", "", ""); };

    {
        std::printf("%d pages to single-page TIFF, PackBits:\n", pages);
        const QString outOurs = cache + "/ours-tif", outVips = cache + "/vips-tif", outMagick = cache + "/mogrify-tif";
        const Result r0 = runMeasured(QCoreApplication::applicationFilePath(), {"--ours", "tif", pagesDir, outOurs},
                                      outOurs);
        head();
        row("ours", r0, r0);
        if (!vips.isEmpty()) {
            const Result r1 = runMeasured(QStringLiteral("/bin/sh"),
                                          eightAtOnce(outVips, "vips copy \"$0\" \"$b.tif[compression=packbits]\""), outVips);
            row("xargs -P8 vips copy", r1, r0);
            // Ours syncs every file (and its folder) before it takes its name; vips leaves its
            // files to the system's write-back. The same lasting work on the peer's side: each of
            // its files and the folder synced once all are written.
            QDir(outVips).removeRecursively();
            const Result r1s = runMeasured(QStringLiteral("/bin/sh"),
                                           eightAtOnce(outVips, "vips copy \"$0\" \"$b.tif[compression=packbits]\"",
                                                       QStringLiteral("sync -- *.tif .")),
                                           outVips);
            row("the same, then sync its files", r1s, r0);
            std::printf("  compression (tiffinfo): ours %s, vips %s\n",
                        qPrintable(tiffCompressionOf(outOurs + "/page001.tif")),
                        qPrintable(tiffCompressionOf(outVips + "/page001.tif")));
            reportDiff("ours vs vips", compare(outOurs, outVips, "tif"));
        } else {
            std::printf("  vips not installed (apt-get install libvips-tools): no comparison\n");
        }
        if (!mogrify.isEmpty()) {
            const Result r2 = runMeasured(mogrify, QStringList{"-path", outMagick, "-format", "tif", "-compress", "RLE"} + files,
                                          outMagick);
            row("mogrify", r2, r0);
            reportDiff("ours vs mogrify", compare(outOurs, outMagick, "tif"));
        }
        std::printf("  load average after the TIFF runs: %s\n\n", qPrintable(loadAverage()));
        for (const QString& d : {outOurs, outMagick, outVips}) QDir(d).removeRecursively();
    }
    {
        std::printf("%d pages to single-page PDF:\n", pages);
        const QString outOurs = cache + "/ours-pdf", outPeer = cache + "/img2pdf-pdf";
        const Result r0 = runMeasured(QCoreApplication::applicationFilePath(), {"--ours", "pdf", pagesDir, outOurs},
                                      outOurs);
        head();
        row("ours", r0, r0);
        std::printf("  pages decoded by ours: %d (a JPEG goes in as it is)\n", decodedBy(outOurs));
        if (!img2pdf.isEmpty()) {
            const Result r1 = runMeasured(QStringLiteral("/bin/sh"), eightAtOnce(outPeer, "img2pdf -o \"$b.pdf\" \"$0\""),
                                          outPeer);
            row("eight img2pdf at once", r1, r0);
        } else {
            std::printf("  img2pdf not installed: no comparison\n");
        }
        if (pdfimages) {
            for (const auto& [who, dir] : {std::pair{"ours", outOurs}, std::pair{"img2pdf", outPeer}}) {
                if (!QFileInfo(dir).isDir()) continue;
                const auto [checked, differ] = pdfKeepsTheJpegs(dir, pagesDir);
                std::printf("  %-8s %d PDFs checked with pdfimages, %d whose image is not the JPEG's bytes\n", who,
                            checked, differ);
            }
        }
        std::printf("\n");
        for (const QString& d : {outOurs, outPeer}) QDir(d).removeRecursively();
    }
    return 0;
}
