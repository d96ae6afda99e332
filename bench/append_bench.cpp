// Times appending basket pages to a long PDF, as whole processes on both sides: our side is this
// program run again as a child that does what the Append button does (in place, at the end),
// from its start to its exit; the other side is img2pdf making a PDF of the pages and one qpdf
// run merging it after the document. Both start from the same files, in the same run, onto a
// document of 1,024 and one of 4,096 pages; each result is counted with qpdf, and the last one
// of ours read with pdfinfo and pdfimages.
// With --tiff: pages appended to a long Group 4 TIFF in place against tiffcp -a (our side in this
// process, timing the append session alone).
#include "benchpages.h"
#include "version_info.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/pdf_pages.h"
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

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

void usage()
{
    std::printf("usage: append_bench [--tiff | --xref-stream] [PAGES] [DOCUMENT_PAGES...] [--runs N]\n"
                "  Makes PAGES (default 64) A4 300-dpi photo JPEGs (Qt, quality 85) and a PDF of\n"
                "  DOCUMENT_PAGES such pages for each size given (default 1024 and 4096), then appends the\n"
                "  pages to each document: by our append command in a child process (in place, at the\n"
                "  end; the document is cut back to its old length after each run) and by\n"
                "  img2pdf + qpdf --empty --pages; before each timed run the pages are read and that side's\n"
                "  programs started once, untimed. Prints each run's time, the ratio of the best times\n"
                "  per size, and how our time for the pages compares between the sizes.\n"
                "  --xref-stream: each document rewritten by qpdf --object-streams=generate first, so that\n"
                "  it ends in a cross-reference stream (and our update writes one too).\n"
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

// ---- PDF

// An A4 page photographed at 300 dpi, about 1 MB as a JPEG of quality 85: the shared photo's
// shapes, its pixel noise softened to the grain of a camera's picture.
QImage a4Photo(quint32 seed)
{
    const QImage half = tf::bench::makePhoto(1240, 1754, seed);
    QImage page = half.scaled(2480, 3508, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QRandomGenerator rng(seed * 7919u);
    for (int y = 0; y < page.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            const int n = static_cast<int>(rng.bounded(7)) - 3;
            const QRgb c = line[x];
            line[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255), std::clamp(qBlue(c) + n, 0, 255));
        }
    }
    page.setDotsPerMeterX(11811);
    page.setDotsPerMeterY(11811);
    return page;
}

// The child: the Append command's work on `document` with the pages listed, as the program does
// it; exit status 0 when the pages were added.
int appendChild(const QString& document, const QStringList& files)
{
    if (!QStringLiteral(TF_DECODER_PROGRAM).isEmpty()) tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
    std::vector<tf::basket::PageRecord> records;
    for (const QString& file : files) {
        tf::basket::PageRecord r;
        r.source = r.tag = file;
        r.text = QFileInfo(file).completeBaseName();
        records.push_back(r);
    }
    PrintedMessages messages;
    tf::setMessageBoxHandler(&messages);
    // After the last page, into the document itself.
    std::unique_ptr<tf::PageSink> sink;
    if (document.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        sink = std::make_unique<tf::PdfAppendSink>(document, document, tf::AppendAt::End);
    else
        sink = std::make_unique<tf::TiffAppendSink>(document, document, tf::AppendAt::End,
                                                    QString::fromUtf8(tf::version::kTitle));
    const bool ok = tf::bench::writePagesHere(records, std::move(sink), 0, 0);
    tf::setMessageBoxHandler(nullptr);
    return ok ? 0 : 1;
}

int runPdf(int pages, QList<int> documentSizes, int runs, const QDir& root, const QString& self, bool xrefStream)
{
    const QString img2pdf = QStandardPaths::findExecutable(QStringLiteral("img2pdf"));
    const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
    const QString pdfimages = QStandardPaths::findExecutable(QStringLiteral("pdfimages"));
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    constexpr int kDistinct = 8;
    QStringList distinct;
    qint64 jpegBytes = 0;
    for (int i = 0; i < kDistinct; ++i) {
        distinct << root.filePath(QStringLiteral("distinct%1.jpg").arg(i));
        QImageWriter writer(distinct.last(), "jpg");
        writer.setQuality(85);
        if (!writer.write(a4Photo(static_cast<quint32>(i + 1)))) return 1;
        jpegBytes += QFileInfo(distinct.last()).size();
    }
    std::printf("pages: %d A4 300-dpi photo JPEGs of %.2f MB on average\n", pages, jpegBytes / 1048576.0 / kDistinct);
    QStringList added;
    for (int i = 0; i < pages; ++i) {
        added << root.filePath(QStringLiteral("page%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        QFile::copy(distinct[i % kDistinct], added.last());
    }

        // Each side starts with the pages and its programs in the disk cache: the other side's run
    // onto the long document moves gigabytes through the cache, which would otherwise leave the
    // next run to load them from the disk.
    auto warm = [&](const QList<QPair<QString, QStringList>>& programs) {
        for (const QString& file : added) {
            QFile f(file);
            if (f.open(QIODevice::ReadOnly)) f.readAll();
        }
        for (const auto& [program, args] : programs) {
            QProcess p;
            p.start(program, args);
            p.waitForFinished(-1);
        }
    };

    // Best and median of each side: on a busy machine the median says more.
    auto median = [](QList<qint64> t) {
        std::sort(t.begin(), t.end());
        return t.isEmpty() ? qint64(-1) : t[t.size() / 2];
    };
    QList<qint64> ourBest, ourMedian;
    for (const int documentPages : documentSizes) {
        // The document as the program writes one, of the same kind of pages.
        const QString document = root.filePath(QStringLiteral("document%1.pdf").arg(documentPages));
        {
            tf::PdfDocumentWriter writer(document);
            QString error;
            QList<tf::PdfPageImage> images;
            for (const QString& file : distinct) {
                QFile f(file);
                f.open(QIODevice::ReadOnly);
                images << tf::pdfImageFromJpeg(f.readAll(), 300, 300);
            }
            for (int i = 0; i < documentPages; ++i)
                if (!writer.addPage(images[i % kDistinct], &error)) {
                    std::fprintf(stderr, "cannot make the document: %s\n", qPrintable(error));
                    return 1;
                }
            if (!writer.commit(QStringLiteral("append_bench"), &error)) return 1;
        }
        if (xrefStream) { // the same document with its objects in streams, as qpdf writes it
            const QString streams = root.filePath(QStringLiteral("streams.pdf"));
            if (runTool(qpdf, {QStringLiteral("--object-streams=generate"), document, streams}) < 0 ||
                !QFile::remove(document) || !QFile::rename(streams, document))
                return 1;
        }
        const qint64 length = QFileInfo(document).size();
        std::printf("\ndocument: %d pages, %.1f MB\n", documentPages, length / 1048576.0);
        const QString merged = root.filePath(QStringLiteral("merged.pdf"));
        const QString made = root.filePath(QStringLiteral("added.pdf"));
        QList<qint64> oursTimes, peerTimes;
        for (int run = 0; run < runs; ++run) {
            // Each side starts with nothing of the other's still going to the disk.
            warm({{self, {QStringLiteral("--help")}}});
            ::sync();
            const qint64 ours = runTool(self, QStringList{QStringLiteral("--child"), document} + added);
            if (ours < 0 || pdfPages(document) != documentPages + pages) {
                std::fprintf(stderr, "our append failed or qpdf counts other pages\n");
                return 1;
            }
            oursTimes << ours;
            std::printf("run %d: ours %lld ms (%.1f MB written)", run + 1, static_cast<long long>(ours),
                        (QFileInfo(document).size() - length) / 1048576.0);
            if (run == runs - 1) {
                // Poppler reads the result without a complaint and finds every page's image, in
                // order. (qpdf --check decodes every JPEG: an hour for the long document.)
                QProcess info;
                info.start(pdfinfo, {document});
                info.waitForFinished(-1);
                const bool clean = info.exitCode() == 0 && info.readAllStandardError().trimmed().isEmpty();
                QProcess list;
                list.start(pdfimages, {QStringLiteral("-list"), document});
                list.waitForFinished(-1);
                int inOrder = 0;
                for (const QByteArray& line : list.readAllStandardOutput().split('\n').mid(2)) {
                    const QList<QByteArray> f = line.simplified().split(' ');
                    if (f.size() > 8 && f[0].toInt() == inOrder + 1 && f[8] == "jpeg") ++inOrder;
                }
                std::printf(" [pdfinfo %s, pdfimages: %d JPEG pages in order]", clean ? "reads it cleanly" : "COMPLAINS", inOrder);
                if (!clean || inOrder != documentPages + pages) return 1;
            }
            // Back to the document as it was: the update only ever added bytes after its end.
            if (!QFile::resize(document, length)) return 1;
            if (!img2pdf.isEmpty() && !qpdf.isEmpty()) {
                warm({{img2pdf, {QStringLiteral("--version")}}, {qpdf, {QStringLiteral("--version")}}});
                ::sync();
                const qint64 a = runTool(img2pdf, QStringList(added) << QStringLiteral("-o") << made);
                const qint64 b = a < 0 ? -1
                                       : runTool(qpdf, {QStringLiteral("--empty"), QStringLiteral("--pages"), document,
                                                        made, QStringLiteral("--"), merged});
                if (b >= 0 && pdfPages(merged) == documentPages + pages) {
                    peerTimes << a + b;
                    std::printf(", img2pdf %lld ms + qpdf %lld ms = %lld ms (%.1f MB written)", static_cast<long long>(a),
                                static_cast<long long>(b), static_cast<long long>(a + b),
                                (QFileInfo(made).size() + QFileInfo(merged).size()) / 1048576.0);
                }
                QFile::remove(merged);
                QFile::remove(made);
            }
            std::printf("\n");
        }
        QFile::remove(document);
        const qint64 bestOurs = *std::min_element(oursTimes.begin(), oursTimes.end());
        ourBest << bestOurs;
        ourMedian << median(oursTimes);
        if (!peerTimes.isEmpty()) {
            const qint64 bestPeer = *std::min_element(peerTimes.begin(), peerTimes.end());
            std::printf("onto %d pages: best ours %lld ms, img2pdf + qpdf %lld ms: %.2fx; median ours %lld ms, theirs "
                        "%lld ms: %.2fx (their time / ours)\n",
                        documentPages, static_cast<long long>(bestOurs), static_cast<long long>(bestPeer),
                        double(bestPeer) / qMax<qint64>(1, bestOurs), static_cast<long long>(ourMedian.last()),
                        static_cast<long long>(median(peerTimes)),
                        double(median(peerTimes)) / qMax<qint64>(1, ourMedian.last()));
        } else {
            std::printf("onto %d pages: best ours %lld ms (img2pdf or qpdf not on the PATH)\n", documentPages,
                        static_cast<long long>(bestOurs));
        }
    }
    if (ourBest.size() > 1)
        std::printf("\nours onto %d pages takes %.2fx (best) and %.2fx (median) the time onto %d pages\n",
                    documentSizes.last(), double(ourBest.last()) / qMax<qint64>(1, ourBest.first()),
                    double(ourMedian.last()) / qMax<qint64>(1, ourMedian.first()), documentSizes.first());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tf::BlockingCallsAllowed measuredHere; // the benchmark times these calls on its own thread
    QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--child") && args.size() > 2) return appendChild(args[1], args.mid(2));

    int pages = 64, runs = 3;
    QList<int> documentSizes;
    const bool tiff = args.removeAll(QStringLiteral("--tiff")) > 0;
    const bool xrefStream = args.removeAll(QStringLiteral("--xref-stream")) > 0;
    bool first = true;
    for (int i = 0; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
            runs = args[++i].toInt(&ok);
        } else if (args[i].toInt(&ok) > 0) {
            (first ? pages : documentSizes.emplace_back()) = args[i].toInt();
            first = false;
        } else {
            ok = false;
        }
        if (!ok || runs < 1) {
            usage();
            return 2;
        }
    }
    if (documentSizes.isEmpty()) documentSizes = tiff ? QList<int>{1024} : QList<int>{1024, 4096};

    QTemporaryDir temp;
    QDir root(temp.path());
    root.mkpath(QStringLiteral("data"));
    // The child runs take this data folder too: their work records are this run's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    if (tiff) return runTiff(pages, documentSizes.first(), runs, root);
    return runPdf(pages, documentSizes, runs, root, QCoreApplication::applicationFilePath(), xrefStream);
}
