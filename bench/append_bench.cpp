// Times appending basket pages to a long PDF, through the same command the Append button runs,
// against the command-line way: img2pdf makes a PDF of the pages and one qpdf run merges it
// after the document. Both start from the same files; the document is copied afresh each run.
#include "basket/modMultiPage.h"
#include "frame/TaskReplay.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/ui/msgbox.h"

#include "benchutil.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void usage()
{
    std::printf("usage: append_bench [PAGES] [DOCUMENT_PAGES] [--runs N]\n"
                "  Makes a PDF of DOCUMENT_PAGES (default 1024) A4 JPEG pages at 150 dpi and PAGES (default 64)\n"
                "  more JPEG pages, then appends the pages to the document: by our append command (in place,\n"
                "  at the end) and by img2pdf + qpdf --empty --pages. Prints each run's time and the ratio of\n"
                "  the best times.\n");
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

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int pages = 64, documentPages = 1024, runs = 3;
    const QStringList args = app.arguments().mid(1);
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
