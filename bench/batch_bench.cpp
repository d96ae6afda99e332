// Times converting a basket of A4 JPEG pages into single-page files: our conversion (the page
// pipeline with the single-page sink, PackBits TIFF; and PNG through the same pipeline with the
// control's own PNG writer) against ImageMagick's mogrify and vips on the same files, in the same
// run. Every output is decoded again and compared pixel for pixel with the peers' outputs. Each
// run is its own process, so its peak memory can be told apart.
#include "benchutil.h"

#include "basket/PagePipeline.h"
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
                "  /tmp/tf-batch-bench/pages), then converts them into one file per page: PackBits TIFF and\n"
                "  PNG, by us, by mogrify and by vips (one vips process per page, as a shell loop runs it).\n"
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

// The same pipeline with the control's single-file writer, for the PNG leg (the conversion itself
// writes TIFF and PDF).
class PngFiles final : public tf::PageSink {
public:
    explicit PngFiles(QString folder) : m_folder(std::move(folder)) {}
    void open(tf::ImageDocument&, const tf::PageSource&) override {}
    void pageStarting(int, const tf::PageSource::Page& page) override { m_name = page.name; }
    void addPage(tf::ImageDocument& doc) override { doc.SaveToFile(QDir(m_folder).filePath(m_name + ".png")); }
    void commit(tf::ImageDocument&) override {}
    void rollback(tf::ImageDocument&) noexcept override {}
    bool keepsPagesOnCancel() const override { return true; }

private:
    QString m_folder;
    QString m_name;
};

class Pages final : public tf::PageSource {
public:
    explicit Pages(QStringList files) : m_files(std::move(files)) {}
    int count() const override { return int(m_files.size()); }
    Page page(int i) const override { return {m_files[i], QFileInfo(m_files[i]).completeBaseName()}; }

private:
    QStringList m_files;
};

int ours(const QString& format, const QString& pagesDir, const QString& outDir)
{
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
    QStringList files;
    for (const QFileInfo& info : QDir(pagesDir).entryInfoList({"*.jpg"}, QDir::Files, QDir::Name))
        files << info.absoluteFilePath();
    std::unique_ptr<tf::PageSink> sink;
    tf::PipelineSettings settings;
    if (format == QLatin1String("tif")) {
        typBatchSaveOptions o;
        o.TiffCompression = 1;
        o.ColorFormat = 0;
        o.RenameMode = 0;
        o.DestinationMode = 1;
        o.DestinationFolder = outDir;
        o.Overwrite = 1;
        sink = std::make_unique<tf::SinglePageSink>(o);
        settings.tiffCompression = 1;
        settings.colorFormat = 0;
    } else {
        sink = std::make_unique<PngFiles>(outDir);
    }
    tf::PagePipeline pipeline(std::make_unique<Pages>(files), std::move(sink), settings);
    const tf::PipelineResult r = pipeline.runHere();
    if (!r.failure.isEmpty() || !r.leftOut.isEmpty()) {
        std::fprintf(stderr, "our run failed: %s\n", qPrintable(r.failure + r.leftOut.join(' ')));
        return 1;
    }
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
    if (mogrify.isEmpty() || vips.isEmpty()) {
        std::printf("mogrify and vips are needed (apt-get install imagemagick libvips-tools)\n");
        return 2;
    }
    tf::bench::allowImageMagickTheWholeDocument(cache + QStringLiteral("/magick"));
    const QString pagesDir = cache + QStringLiteral("/pages");
    std::printf("making %d A4 300-dpi JPEG pages in %s ...\n", pages, qPrintable(pagesDir));
    const QStringList files = makePages(pagesDir, pages);
    g_baselineKb = runMeasured(QStringLiteral("true"), {}, cache + QStringLiteral("/none")).peakKb;
    std::printf("peak memory below is above the %.1f MB a run of true(1) reports\n\n", g_baselineKb / 1024.0);

    // vips converts one file per process, as a shell loop over the pages runs it.
    const auto vipsLoop = [&](const QString& out, const QString& suffix) {
        QStringList a{QStringLiteral("-c"),
                      QStringLiteral("out=\"$1\"; shift; for f in \"$@\"; do b=$(basename \"$f\" .jpg); "
                                     "vips copy \"$f\" \"$out/$b.") +
                          suffix + QStringLiteral("\" || exit 1; done"),
                      QStringLiteral("sh"), out};
        return a + files;
    };

    struct Leg {
        const char* title;
        QString ext;
        QStringList mogrifyArgs;
        QString vipsSuffix;
    } legs[] = {
        {"single-page TIFF, PackBits", "tif", {"-format", "tif", "-compress", "RLE"}, "tif[compression=packbits]"},
        {"PNG", "png", {"-format", "png"}, "png"},
    };
    for (const Leg& leg : legs) {
        std::printf("%d pages to %s:\n", pages, leg.title);
        const QString outOurs = cache + "/ours-" + leg.ext, outMagick = cache + "/mogrify-" + leg.ext,
                      outVips = cache + "/vips-" + leg.ext;
        const Result r0 = runMeasured(QCoreApplication::applicationFilePath(), {"--ours", leg.ext, pagesDir, outOurs},
                                      outOurs);
        const Result r1 = runMeasured(mogrify, QStringList{"-path", outMagick} + leg.mogrifyArgs + files, outMagick);
        const Result r2 = runMeasured(QStringLiteral("/bin/sh"), vipsLoop(outVips, leg.vipsSuffix), outVips);
        std::printf("  %-30s %9s %14s  %6s  %15s %15s\n", "", "time", "speed", "/ours", "", "");
        report("ours", pages, r0, r0);
        report("mogrify", pages, r1, r0);
        report("vips (one process per page)", pages, r2, r0);
        if (leg.ext == QLatin1String("tif")) {
            std::printf("  compression (tiffinfo): ours %s, mogrify %s, vips %s\n",
                        qPrintable(tiffCompressionOf(outOurs + "/page001.tif")),
                        qPrintable(tiffCompressionOf(outMagick + "/page001.tif")),
                        qPrintable(tiffCompressionOf(outVips + "/page001.tif")));
        }
        reportDiff("ours vs mogrify", compare(outOurs, outMagick, leg.ext));
        reportDiff("ours vs vips", compare(outOurs, outVips, leg.ext));
        reportDiff("mogrify vs vips", compare(outMagick, outVips, leg.ext));
        std::printf("\n");
        for (const QString& d : {outOurs, outMagick, outVips}) QDir(d).removeRecursively();
    }
    return 0;
}
