// Times appending basket pages to a long PDF, through the same command the Append button runs,
// against the command-line way: img2pdf makes a PDF of the pages and one qpdf run merges it
// after the document. Both start from the same files; the document is copied afresh each run.
// With --tiff: pages appended to a long Group 4 TIFF in place against tiffcp -a.
#include "basket/modMultiPage.h"
#include "frame/TaskReplay.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/tiff_append.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/ui/msgbox.h"

#include "benchutil.h"
#include "platform/sys/blockingcalls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <tiffio.h>

#include <cstdio>
#include <cstring>

namespace {

void usage()
{
    std::printf("usage: append_bench [--tiff] [PAGES] [DOCUMENT_PAGES] [--runs N]\n"
                "  Makes a PDF of DOCUMENT_PAGES (default 1024) A4 JPEG pages at 150 dpi and PAGES (default 64)\n"
                "  more JPEG pages, then appends the pages to the document: by our append command (in place,\n"
                "  at the end) and by img2pdf + qpdf --empty --pages. Prints each run's time and the ratio of\n"
                "  the best times.\n"
                "  --tiff: a Group 4 TIFF of DOCUMENT_PAGES A4 300-dpi scans of text, and PAGES more such scans\n"
                "  (then PAGES / 8 A4 300-dpi colour pages) in a TIFF file, appended in place at the end: by\n"
                "  our append session (reading the pages from that file) and by tiffcp -a. Each result is\n"
                "  counted with tiffinfo.\n");
}

class PrintedMessages : public tf::MessageBoxHandler {
public:
    int show(const QString& prompt, int style, const QString&) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(prompt));
        return tf::msgBoxDefaultAnswer(style);
    }
};

qint64 runTool(const QString& program, const QStringList& args)
{
    QElapsedTimer timer;
    timer.start();
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return -1;
    }
    return timer.elapsed();
}

int pdfPages(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("qpdf"), {QStringLiteral("--show-npages"), path});
    p.waitForFinished(-1);
    return p.readAllStandardOutput().trimmed().toInt();
}

// ---- TIFF

// A scanned page of text: A4 at 300 dpi, paragraphs in a book face, a little paper noise, a
// slight skew, as a scanner's black-and-white mode gives it.
QImage textScan(int seed)
{
    QImage page(2480, 3508, QImage::Format_RGB32);
    page.fill(Qt::white);
    QRandomGenerator rng(static_cast<quint32>(seed));
    static const char* words[] = {"invoice", "the", "delivery", "of", "goods", "and", "services", "as", "agreed",
                                  "payment", "within", "thirty", "days", "account", "number", "reference", "total",
                                  "amount", "tax", "registered", "office", "signature", "date", "customer"};
    QPainter p(&page);
    p.setRenderHint(QPainter::Antialiasing);
    p.rotate(0.3 * (seed % 3 - 1));
    QFont title(QStringLiteral("DejaVu Serif"));
    title.setPixelSize(90);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::black);
    p.drawText(250, 400, QStringLiteral("Statement %1").arg(1000 + seed));
    QFont body(QStringLiteral("DejaVu Serif"));
    body.setPixelSize(42);
    p.setFont(body);
    for (int y = 600; y < 3200; y += 62) {
        if (rng.bounded(9) == 0) continue; // a paragraph break
        QString line;
        while (line.size() < 78) line += QLatin1String(words[rng.bounded(int(std::size(words)))]) + QLatin1Char(' ');
        p.drawText(250, y, line);
    }
    p.end();
    for (int i = 0; i < 4000; ++i) // dust
        page.setPixel(static_cast<int>(rng.bounded(2480)), static_cast<int>(rng.bounded(3508)), qRgb(0, 0, 0));
    page.setDotsPerMeterX(11811);
    page.setDotsPerMeterY(11811);
    return page;
}

// Every page of a TIFF that the program wrote (1-bit or 8-bit RGB, one sample plane), decoded.
std::vector<tf::PageRaster> readPages(const QString& path)
{
    std::vector<tf::PageRaster> pages;
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif) return pages;
    do {
        uint32_t w = 0, h = 0;
        uint16_t bits = 1, samples = 1;
        float dpiX = 300, dpiY = 300;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &dpiX);
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &dpiY);
        tf::PageRaster page;
        page.kind = samples == 3 ? tf::PageRaster::Rgb : tf::PageRaster::Bilevel;
        page.width = static_cast<int>(w);
        page.height = static_cast<int>(h);
        page.bitsPerSample = bits;
        page.dpiX = dpiX;
        page.dpiY = dpiY;
        page.rows.resize(qsizetype(page.bytesPerRow()) * page.height);
        for (uint32_t y = 0; y < h; ++y)
            if (TIFFReadScanline(tif, page.rows.data() + qsizetype(y) * page.bytesPerRow(), y, 0) < 0) page.rows.clear();
        pages.push_back(page);
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

bool writePages(const QString& path, const std::vector<tf::PageRaster>& pages, int compression)
{
    tf::TiffDocumentWriter writer(path);
    QString error;
    for (const tf::PageRaster& page : pages)
        if (!writer.addPage(page, compression, {}, &error)) return false;
    return writer.commit(&error);
}

int tiffinfoPages(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("tiffinfo"), {path});
    p.waitForFinished(-1);
    return static_cast<int>(p.readAllStandardOutput().count("TIFF Directory at offset"));
}

// Our session appending the pages of `added` (read and decoded as part of the time, as tiffcp
// does); with `decoded`, those pages as they are in memory, to time the append on its own.
qint64 oursTiff(const QString& added, const QString& target, int compression,
                const std::vector<tf::PageRaster>* decoded = nullptr)
{
    QElapsedTimer timer;
    timer.start();
    try {
        tf::TiffAppendSession session(target, target, tf::TiffAppendSession::Where::End);
        QString error;
        for (const tf::PageRaster& page : decoded ? *decoded : readPages(added))
            if (!session.addPage(page, compression, {}, &error)) {
                std::fprintf(stderr, "our append failed: %s\n", qPrintable(error));
                return -1;
            }
        if (!session.commit(&error)) {
            std::fprintf(stderr, "our append failed: %s\n", qPrintable(error));
            return -1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "our append failed: %s\n", e.what());
        return -1;
    }
    return timer.elapsed();
}

int runTiff(int pages, int documentPages, int runs, const QDir& root)
{
    const QString tiffcp = QStandardPaths::findExecutable(QStringLiteral("tiffcp"));
    constexpr int kDistinct = 8;
    std::vector<tf::PageRaster> scans;
    for (int i = 0; i < kDistinct; ++i) scans.push_back(tf::rasterForColorFormat(textScan(i + 1), tf::kMonoThreshold));
    std::vector<tf::PageRaster> docPages, addedPages, colourPages;
    for (int i = 0; i < documentPages; ++i) docPages.push_back(scans[size_t(i % kDistinct)]);
    for (int i = 0; i < pages; ++i) addedPages.push_back(scans[size_t((i + 3) % kDistinct)]);
    for (int i = 0; i < qMax(1, pages / 8); ++i) {
        QImage colour = textScan(100 + i);
        QPainter p(&colour);
        p.drawImage(1200, 1500, tf::bench::makePhoto(1000, 1300, static_cast<quint32>(i + 1)));
        p.end();
        colourPages.push_back(tf::rasterForColorFormat(colour, tf::kColor24Bit));
    }
    const QString document = root.filePath(QStringLiteral("document.tif"));
    const QString added = root.filePath(QStringLiteral("added.tif"));
    const QString colour = root.filePath(QStringLiteral("colour.tif"));
    if (!writePages(document, docPages, tf::kTiffGroup4) || !writePages(added, addedPages, tf::kTiffGroup4) ||
        !writePages(colour, colourPages, tf::kTiffNone))
        return 1;
    docPages.clear();
    std::printf("document: %d Group 4 pages, %.1f MB\n", documentPages, QFileInfo(document).size() / 1048576.0);

    const struct {
        const char* what;
        QString file;
        int count;
        int compression;
    } sets[] = {
        {"Group 4 text scans", added, pages, tf::kTiffGroup4},
        {"uncompressed colour pages", colour, int(colourPages.size()), tf::kTiffNone},
    };
    for (const auto& set : sets) {
        std::printf("\nappending %d %s (%.1f MB as a TIFF file)\n", set.count, set.what,
                    QFileInfo(set.file).size() / 1048576.0);
        const QString ours = root.filePath(QStringLiteral("ours.tif"));
        const QString theirs = root.filePath(QStringLiteral("theirs.tif"));
        qint64 bestOurs = -1, bestPeer = -1;
        for (int run = 0; run < runs; ++run) {
            QFile::remove(ours);
            QFile::copy(document, ours);
            const qint64 t = oursTiff(set.file, ours, set.compression);
            if (t < 0 || tiffinfoPages(ours) != documentPages + set.count) {
                std::fprintf(stderr, "our append failed or tiffinfo counts other pages\n");
                return 1;
            }
            if (bestOurs < 0 || t < bestOurs) bestOurs = t;
            std::printf("run %d: ours %lld ms", run + 1, static_cast<long long>(t));
            QFile::remove(ours);
            QFile::copy(document, ours);
            const std::vector<tf::PageRaster> decoded = readPages(set.file);
            const qint64 sinkOnly = oursTiff(set.file, ours, set.compression, &decoded);
            std::printf(" (%lld ms of it appending decoded pages)", static_cast<long long>(sinkOnly));
            if (!tiffcp.isEmpty()) {
                QFile::remove(theirs);
                QFile::copy(document, theirs);
                const qint64 peer = runTool(tiffcp, {QStringLiteral("-a"), set.file, theirs});
                if (peer >= 0 && tiffinfoPages(theirs) == documentPages + set.count) {
                    if (bestPeer < 0 || peer < bestPeer) bestPeer = peer;
                    std::printf(", tiffcp -a %lld ms", static_cast<long long>(peer));
                }
            }
            std::printf("\n");
        }
        if (bestPeer > 0)
            std::printf("best: ours %lld ms, tiffcp -a %lld ms: ours runs at %.2fx tiffcp's speed\n",
                        static_cast<long long>(bestOurs), static_cast<long long>(bestPeer),
                        double(bestPeer) / qMax<qint64>(1, bestOurs));
        else
            std::printf("best: ours %lld ms (tiffcp not on the PATH)\n", static_cast<long long>(bestOurs));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tf::BlockingCallsAllowed measuredHere; // the benchmark times these calls on its own thread
    int pages = 64, documentPages = 1024, runs = 3;
    QStringList args = app.arguments().mid(1);
    const bool tiff = args.removeAll(QStringLiteral("--tiff")) > 0;
    QList<int*> counts{&pages, &documentPages};
    for (int i = 0; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
            runs = args[++i].toInt(&ok);
        } else if (!counts.isEmpty() && args[i].toInt(&ok) > 0) {
            *counts.takeFirst() = args[i].toInt();
        }
        if (!ok || runs < 1) {
            usage();
            return 2;
        }
    }
    const QString img2pdf = QStandardPaths::findExecutable(QStringLiteral("img2pdf"));
    const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));

    QTemporaryDir temp;
    QDir root(temp.path());
    root.mkpath(QStringLiteral("data"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    if (tiff) return runTiff(pages, documentPages, runs, root);

    // A handful of distinct A4 pages at 150 dpi, repeated.
    constexpr int kDistinct = 8;
    QStringList distinct;
    for (int i = 0; i < kDistinct; ++i) {
        QImage page = tf::bench::makePhoto(1240, 1754, static_cast<quint32>(i + 1));
        page.setDotsPerMeterX(5906);
        page.setDotsPerMeterY(5906);
        distinct << root.filePath(QStringLiteral("distinct%1.jpg").arg(i));
        QImageWriter writer(distinct.last(), "jpg");
        writer.setQuality(80);
        if (!writer.write(page)) return 1;
    }
    QStringList added;
    std::vector<tf::basket::PageRecord> records;
    for (int i = 0; i < pages; ++i) {
        added << root.filePath(QStringLiteral("page%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        QFile::copy(distinct[i % kDistinct], added.last());
        tf::basket::PageRecord r;
        r.source = r.tag = added.last();
        r.text = QFileInfo(added.last()).fileName();
        records.push_back(r);
    }

    PrintedMessages messages;
    tf::setMessageBoxHandler(&messages);
    tf::ImageDocument ibTemp;
    const QString document = root.filePath(QStringLiteral("document.pdf"));
    for (int i = 0; i < documentPages; ++i)
        if (!ibTemp.AddPdfPageFromJpegFile(distinct[i % kDistinct])) return 1;
    ibTemp.SavePdf(document);
    std::printf("document: %d pages, %.1f MB; appending %d JPEG pages of %.1f MB\n", documentPages,
                QFileInfo(document).size() / 1048576.0, pages, QFileInfo(distinct[0]).size() * pages / 1048576.0);

    tf::NoTasks tasks;
    tf::PageWriteOptions options(tasks);
    options.appendMode = 1; // after the last page
    options.outputMode = 0; // into the document itself
    const QString target = root.filePath(QStringLiteral("ours.pdf"));
    const QString merged = root.filePath(QStringLiteral("merged.pdf"));
    const QString made = root.filePath(QStringLiteral("added.pdf"));
    qint64 bestOurs = -1, bestPeer = -1;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(target);
        QFile::copy(document, target);
        QElapsedTimer timer;
        timer.start();
        const bool ok = fncSavePagesToExistingFile(records, ibTemp, target, options);
        const qint64 ours = timer.elapsed();
        if (!ok || pdfPages(target) != documentPages + pages) {
            std::fprintf(stderr, "our append failed\n");
            return 1;
        }
        if (bestOurs < 0 || ours < bestOurs) bestOurs = ours;
        std::printf("run %d: ours %lld ms", run + 1, static_cast<long long>(ours));
        if (!img2pdf.isEmpty() && !qpdf.isEmpty()) {
            const qint64 a = runTool(img2pdf, QStringList(added) << QStringLiteral("-o") << made);
            const qint64 b = a < 0 ? -1
                                   : runTool(qpdf, {QStringLiteral("--empty"), QStringLiteral("--pages"), document,
                                                    made, QStringLiteral("--"), merged});
            if (b >= 0) {
                if (bestPeer < 0 || a + b < bestPeer) bestPeer = a + b;
                std::printf(", img2pdf %lld ms + qpdf %lld ms = %lld ms", static_cast<long long>(a),
                            static_cast<long long>(b), static_cast<long long>(a + b));
            }
        }
        std::printf("\n");
    }
    tf::setMessageBoxHandler(nullptr);
    if (bestPeer > 0)
        std::printf("best: ours %lld ms, img2pdf + qpdf %lld ms: ours takes %.2fx their time\n",
                    static_cast<long long>(bestOurs), static_cast<long long>(bestPeer), double(bestOurs) / bestPeer);
    else
        std::printf("best: ours %lld ms (img2pdf or qpdf not on the PATH)\n", static_cast<long long>(bestOurs));
    return 0;
}
