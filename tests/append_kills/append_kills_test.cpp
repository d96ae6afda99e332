// Runs that append pages to a TIFF or PDF in place, killed at every sync, truncation and rename
// and at a spread of writes (some of them half done), then the next start: every document holds
// exactly its old pages or all its new ones, byte for byte, and the tools read it.
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/pdf_pages.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/workfiles.h"
#include "support/doctools.h"
#include "support/testenv.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <csignal>

using namespace tf;
using namespace tf::test;

namespace {

enum class Kind { Tiff, BigTiff, PdfTable, PdfStream, PdfNoLastNewline };

bool isPdf(Kind k) { return k == Kind::PdfTable || k == Kind::PdfStream || k == Kind::PdfNoLastNewline; }

QImage picture(int width)
{
    QImage img(width, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.fillRect(2, 5, width / 2, 20, QColor(200, 30, 30));
    p.end();
    return img;
}

// A document of pages 10, 20 and 30 wide.
void makeDocument(Kind kind, const QString& path)
{
    if (!isPdf(kind)) {
        TiffDocumentWriter writer(path);
        writer.setBigTiff(kind == Kind::BigTiff);
        for (int w : {10, 20, 30})
            ASSERT_TRUE(writer.addPage(rasterForColorFormat(picture(w), kColor24Bit), kTiffPackBits, {}, nullptr));
        ASSERT_TRUE(writer.commit(nullptr));
        return;
    }
    const QString plain = path + QStringLiteral(".plain");
    PdfDocumentWriter writer(plain);
    for (int w : {10, 20, 30})
        ASSERT_TRUE(writer.addPage(pdfImageFromRaster(rasterForColorFormat(picture(w), kColor24Bit)), nullptr));
    ASSERT_TRUE(writer.commit(QStringLiteral("tests"), nullptr));
    QByteArray bytes = readAll(plain);
    if (kind == Kind::PdfStream) {
        // Rewritten by qpdf with object streams: a cross-reference stream.
        const QString streamed = path + QStringLiteral(".stream");
        int code = -1;
        runTool(QStringLiteral("qpdf"), {QStringLiteral("--object-streams=generate"), plain, streamed}, &code);
        ASSERT_EQ(code, 0);
        bytes = readAll(streamed);
        QFile::remove(streamed);
    }
    QFile::remove(plain);
    // A document whose last line has no line end: the update begins with one.
    if (kind == Kind::PdfNoLastNewline) bytes.chop(1);
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
}

// Puts `bytes` back into the same file, as it was before a run.
void restore(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.resize(0) && f.write(bytes) == bytes.size());
}

struct Run {
    bool killed = false;
    int exitCode = -1;
    QString said;
};

// One run of the append program, killed (or not) as `env` asks.
Run appendOnce(const QString& doc, const QString& where, const QStringList& widths, const QProcessEnvironment& env)
{
    QProcess p;
    QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys()) all.insert(key, env.value(key));
    all.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TF_KILL_AT_CALL_LIBRARY));
    // Under the sanitizers their runtime is not the first library any more.
    all.insert(QStringLiteral("ASAN_OPTIONS"),
               all.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
    p.setProcessEnvironment(all);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(TF_APPEND_ONCE_PROGRAM), QStringList{doc, where} + widths);
    Run run;
    if (!p.waitForFinished(-1)) return run;
    // Ended by the kill, not by a crash of its own (a sanitizer's abort, say).
    run.killed = p.exitStatus() == QProcess::CrashExit && p.exitCode() == SIGKILL;
    run.exitCode = p.exitCode();
    run.said = QString::fromLocal8Bit(p.readAll());
    return run;
}

bool tiffinfoPasses(const QString& path)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("tiffinfo"), {QStringLiteral("-D"), path});
    if (!p.waitForFinished(-1)) return false;
    const QString said = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 && !said.contains(QStringLiteral("rror"));
}

QList<int> pageWidths(Kind kind, const QString& path)
{
    return isPdf(kind) ? widthsOf(pdfImages(path)) : widthsOf(tiffDirectories(path));
}

bool toolsPass(Kind kind, const QString& path) { return isPdf(kind) ? qpdfCheckPasses(path) : tiffinfoPasses(path); }

struct KillPoint {
    int call = 0;
    bool half = false;
};

// Every call but the writes, and a spread of writes, whole and half done; then a few at random.
QList<KillPoint> killPoints(const QByteArray& calls, QRandomGenerator& random)
{
    QList<KillPoint> points;
    const qsizetype writes = calls.count('w');
    const qsizetype step = qMax<qsizetype>(1, writes / 16);
    qsizetype write = 0;
    for (qsizetype i = 0; i < calls.size(); ++i) {
        const int call = int(i + 1);
        if (calls[i] != 'w') {
            points.append({call, false});
        } else if (write++ % step == 0) {
            points.append({call, false});
            points.append({call, true});
        }
    }
    for (int i = 0; i < 4; ++i) points.append({int(random.bounded(int(calls.size()))) + 1, random.bounded(2) == 1});
    return points;
}

struct Case {
    const char* what;
    const char* name;
    Kind kind;
    const char* where;
};

// Walks the kills of one case; the number of runs killed.
int killEverywhere(const Case& c, quint32 seed)
{
    SCOPED_TRACE(c.what);
    TempFolder dir;
    const QString keep = dir.write(QStringLiteral(".keep"), "the user's"); // what a split name would name
    const QString doc = dir.file(QFile::decodeName(c.name));
    makeDocument(c.kind, doc);
    const QByteArray before = readAll(doc);
    const QStringList widths = {QStringLiteral("41"), QStringLiteral("42"), QStringLiteral("43")};
    const QString where = QString::fromLatin1(c.where);
    const QList<int> oldPages = {10, 20, 30};
    const QList<int> allPages = where == QLatin1String("end") ? QList<int>{10, 20, 30, 41, 42, 43}
                                                              : QList<int>{41, 42, 43, 10, 20, 30};

    // The run left alone: the calls it makes and the finished document.
    QProcessEnvironment env;
    env.insert(QStringLiteral("TF_CALL_LOG"), dir.file(QStringLiteral("calls")));
    const Run whole = appendOnce(doc, where, widths, env);
    EXPECT_FALSE(whole.killed);
    EXPECT_EQ(whole.exitCode, 0) << qPrintable(whole.said);
    const QByteArray finished = readAll(doc);
    const QByteArray calls = readAll(dir.file(QStringLiteral("calls")));
    EXPECT_EQ(pageWidths(c.kind, doc), allPages);
    EXPECT_TRUE(toolsPass(c.kind, doc));
    removeWorkFilesOfDeadRuns();
    EXPECT_EQ(readAll(doc), finished) << "a finished append stays";
    if (calls.isEmpty() || finished.size() <= before.size()) {
        ADD_FAILURE() << "the run changed no file";
        return 0;
    }
    // It ends writing what makes the append take effect, syncing, and forgetting the record: from
    // that write on the append is the user's, before it nothing of it may stay.
    EXPECT_TRUE(calls.endsWith("wsw")) << calls.constData();
    const int takesEffect = int(calls.size()) - 2;

    QRandomGenerator random(seed);
    int killed = 0;
    for (const KillPoint& at : killPoints(calls, random)) {
        SCOPED_TRACE(QStringLiteral("killed at call %1 (%2)%3")
                         .arg(at.call)
                         .arg(QLatin1Char(calls[at.call - 1]))
                         .arg(at.half ? QStringLiteral(", half written") : QString())
                         .toStdString());
        restore(doc, before);
        QProcessEnvironment kill;
        kill.insert(QStringLiteral("TF_KILL_AT"), QString::number(at.call));
        if (at.half) kill.insert(QStringLiteral("TF_KILL_HALF"), QStringLiteral("1"));
        const Run run = appendOnce(doc, where, widths, kill);
        EXPECT_TRUE(run.killed) << qPrintable(run.said);
        killed += run.killed;

        testing::internal::CaptureStderr();
        removeWorkFilesOfDeadRuns();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said, "") << "the start left a file alone";
        const QByteArray now = readAll(doc);
        if (at.call > takesEffect) {
            EXPECT_EQ(now, finished) << "a finished append is never cut";
        } else if (at.call < takesEffect || !at.half) {
            EXPECT_EQ(now, before) << "an unfinished one goes";
        }
        EXPECT_TRUE(now == before || now == finished)
            << now.size() << " bytes, old " << before.size() << ", finished " << finished.size();
        EXPECT_LE(now.size(), finished.size());
        const QList<int> pages = pageWidths(c.kind, doc);
        EXPECT_TRUE(pages == oldPages || pages == allPages);
        EXPECT_TRUE(toolsPass(c.kind, doc));
        if (testing::Test::HasFailure()) break; // one case's first failure says it
    }
    EXPECT_EQ(readAll(keep), "the user's");
    return killed;
}

quint32 seedOfTheRun()
{
    const quint32 seed = QRandomGenerator::global()->generate();
    std::printf("kills at random drawn with seed %u\n", seed);
    return seed;
}

} // namespace

TEST(AppendKills, ATiffKilledAnywhereInAnAppendHoldsItsOldPagesOrAllItsNewOnes)
{
    const quint32 seed = seedOfTheRun();
    const Case cases[] = {
        {"classic, end", "doc.tif", Kind::Tiff, "end"},
        {"classic, beginning", "doc.tif", Kind::Tiff, "beginning"},
        {"BigTIFF, end, a newline in the name", ".keep\nscan.tif", Kind::BigTiff, "end"},
        {"BigTIFF, beginning", "doc.tiff", Kind::BigTiff, "beginning"},
    };
    int killed = 0;
    for (const Case& c : cases) killed += killEverywhere(c, seed);
    std::printf("%d runs killed\n", killed);
    EXPECT_GE(killed, 60);
}

TEST(AppendKills, APdfKilledAnywhereInAnUpdateHoldsItsOldPagesOrAllItsNewOnes)
{
    const quint32 seed = seedOfTheRun();
    const Case cases[] = {
        {"table, end", "doc.pdf", Kind::PdfTable, "end"},
        {"stream, beginning", "doc.pdf", Kind::PdfStream, "beginning"},
        {"no line end after %%EOF, a newline in the name", ".keep\nscan.pdf", Kind::PdfNoLastNewline, "end"},
        {"stream, end", "doc.pdf", Kind::PdfStream, "end"},
    };
    int killed = 0;
    for (const Case& c : cases) killed += killEverywhere(c, seed);
    std::printf("%d runs killed\n", killed);
    EXPECT_GE(killed, 60);
}
