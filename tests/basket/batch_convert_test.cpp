// The single-page conversion: the names the rule gives, what it refuses to write over, and the
// files it writes as tiffinfo, pdfinfo and exiv2 read them.
#include "basket/BasketPageSource.h"
#include "basket/SinglePageSink.h"
#include "basket/modSaveBatch.h"
#include "pages/WindowJob.h"
#include "metadata/ExifIptc.h"
#include "metadata/metadataTemplates.h"

#include "support/fulldisk.h"
#include "multipage_fixture.h"
#include "platform/sys/blockingcalls.h"

#include "platform/sys/safefile.h"
#include "platform/sys/workfiles.h"

#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tf::test::multipage {
namespace {

const QDateTime kNow(QDate(2007, 3, 5), QTime(14, 7, 9));

// Halves every page, as a resize task would.
class HalveTask final : public TaskReplayer {
public:
    bool hasTasks() const override { return true; }
    ReplayResult replayOnPreview(ImageDocument&) override { return {}; }
    ReplayResult replayAll(ImageDocument& doc) override
    {
        doc.setPicture(doc.image().scaled(doc.ImageWidth() / 2, doc.ImageHeight() / 2));
        return {};
    }
};

class BatchConvert : public ::testing::Test {
    // Decodes on the test's own thread on purpose: the job runs here.
    tf::BlockingCallsAllowed m_blockingHere;
protected:
    void SetUp() override
    {
        o = typBatchSaveOptions{};
        o.Separator1 = o.Separator2 = "_";
        o.GenericName = "Sample";
        o.CounterText = kCounterStart1;
        o.Overwrite = 1;
        o.DestinationMode = 1;
        o.DestinationFolder = out.path();
    }
    // A page of the basket: its text is the name without extension, its tag and source the file.
    void add(const QString& file, const QString& source = {})
    {
        basket::PageRecord r;
        r.tag = file;
        r.source = source.isEmpty() ? file : source;
        r.text = QFileInfo(file).completeBaseName();
        records.push_back(r);
    }
    PipelineResult run(std::shared_ptr<TaskReplayer> tasks = nullptr)
    {
        auto owned = std::make_unique<SinglePageSink>(o, kNow);
        sink = owned.get();
        PipelineSettings settings;
        settings.colorFormat = o.ColorFormat;
        settings.tiffCompression = o.TiffCompression;
        settings.tasks = std::move(tasks);
        pipeline = std::make_unique<PagePipeline>(std::make_unique<BasketPageSource>(records), std::move(owned), settings);
        return pipeline->runHere();
    }
    QStringList written() const { return folderEntries(out.path()); }

    TempFolder src, out;
    typBatchSaveOptions o;
    std::vector<basket::PageRecord> records;
    SinglePageSink* sink = nullptr;
    std::unique_ptr<PagePipeline> pipeline;
};

TEST_F(BatchConvert, NamesFollowTheRule)
{
    struct Case {
        const char* what;
        std::function<void(typBatchSaveOptions&)> set;
        QStringList names;
    } cases[] = {
        {"own name", [](auto& o) { o.RenameMode = 0; }, {"sample.tif", "second.tif", "third.tif"}},
        {"date suffix, no first separator",
         [](auto& o) { o.RenameMode = 1, o.RenamePrefix = "[No Prefix]", o.RenameSuffix = "[Date Today]",
                       o.Separator1 = "[No Separator]", o.Separator2 = "-"; },
         {"sample-3.5.2007.tif", "second-3.5.2007.tif", "third-3.5.2007.tif"}},
        {"literal prefix, empty suffix", [](auto& o) { o.RenameMode = 1, o.RenamePrefix = "Scan"; },
         {"Scan_sample_.tif", "Scan_second_.tif", "Scan_third_.tif"}},
        {"both separators always", [](auto& o) { o.RenameMode = 1; }, {"_sample_.tif", "_second_.tif", "_third_.tif"}},
        {"blank and word separators",
         [](auto& o) { o.RenameMode = 1, o.Separator1 = "[WhiteSpace]", o.Separator2 = "AND", o.RenameSuffix = "x"; },
         {" sampleANDx.tif", " secondANDx.tif", " thirdANDx.tif"}},
        {"unsafe literal text, never hidden",
         [](auto& o) { o.RenameMode = 1, o.RenamePrefix = "../a:b", o.RenameSuffix = QString("c") + QChar(1) + "d"; },
         {"_._a_b_sample_c_d.tif", "_._a_b_second_c_d.tif", "_._a_b_third_c_d.tif"}},
        {"blanks and a long separator as they stand",
         [](auto& o) { o.RenameMode = 1, o.RenamePrefix = "  Scan ", o.RenameSuffix = " x",
                       o.Separator1 = QString(30, '~'), o.Separator2 = "[WhiteSpace]"; },
         {"  Scan " + QString(30, '~') + "sample  x.tif", "  Scan " + QString(30, '~') + "second  x.tif",
          "  Scan " + QString(30, '~') + "third  x.tif"}},
        {"a prefix of one point", [](auto& o) { o.RenameMode = 1, o.RenamePrefix = ".", o.Separator1 = "[No Separator]"; },
         {"_sample_.tif", "_second_.tif", "_third_.tif"}},
        {"a generic name of two points", [](auto& o) { o.RenameMode = 2, o.GenericName = ".."; },
         {"_.1.tif", "_.2.tif", "_.3.tif"}},
        {"a generic name with blanks", [](auto& o) { o.RenameMode = 2, o.GenericName = " Sample "; },
         {" Sample 1.tif", " Sample 2.tif", " Sample 3.tif"}},
        {"counter from 1001, PDF", [](auto& o) { o.RenameMode = 2, o.CounterText = kCounterStart1001, o.OutputFormat = 1; },
         {"Sample1001.pdf", "Sample1002.pdf", "Sample1003.pdf"}},
        {"typed counter", [](auto& o) { o.RenameMode = 2, o.CounterText = " 25 "; },
         {"Sample25.tif", "Sample26.tif", "Sample27.tif"}},
    };
    for (const char* name : {"sample.png", "second.jpg", "third.png"})
        add(writePage(src.file(name), pagePicture(40, 30, Qt::red)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(out.path()).removeRecursively();
        QDir().mkpath(out.path());
        SetUp();
        c.set(o);
        const PipelineResult r = run();
        EXPECT_TRUE(r.failure.isEmpty()) << r.failure.toStdString();
        QStringList expected = c.names;
        expected.sort();
        EXPECT_EQ(written(), expected);
        EXPECT_EQ(sink->tally().written, 3);
    }
}

TEST_F(BatchConvert, UnreadablePagesUseUpTheirNumberAndAreCounted)
{
    add(writePage(src.file("a.png"), pagePicture(40, 30, Qt::red)));
    add(src.write("broken.png", "not a picture"));
    add(writePage(src.file("c.png"), pagePicture(40, 30, Qt::blue)));
    o.RenameMode = 2;
    o.CounterText = "5";
    const PipelineResult r = run();
    EXPECT_EQ(written(), QStringList({"Sample5.tif", "Sample7.tif"}));
    EXPECT_EQ(r.leftOut, QStringList{"broken"});
    EXPECT_TRUE(batchOutcomeText(r, sink->tally()).contains("Files written: 2\nPages skipped: 0\nPages failed: 1"));
}

// Pictures that crash, hang or exhaust a decoder cost only themselves when the decoders write the
// pages: each is left out as unreadable, the pages around them are written, and no work file stays.
TEST_F(BatchConvert, DamagedPicturesAreLeftOutAndThePagesAroundThemWritten)
{
    add(writePage(src.file("first.png"), pagePicture(40, 30, Qt::red)));
    QStringList damaged;
    for (const char* name : {"devil-ppm-double-free.pgm", "devil-lif-huge-alloc.lif", "devil-pnm-hang.pbm"}) {
        const QString path = src.file(name);
        ASSERT_TRUE(QFile::copy(QStringLiteral(TF_LOADER_REGRESSION_DIR "/") + name, path)) << name;
        add(path);
        damaged << QFileInfo(path).completeBaseName();
    }
    add(writePage(src.file("last.png"), pagePicture(41, 30, Qt::blue)));
    const PipelineResult r = run();
    EXPECT_EQ(written(), QStringList({"first.tif", "last.tif"})) << "no work file left";
    EXPECT_EQ(r.leftOut, damaged);
    EXPECT_TRUE(batchOutcomeText(r, sink->tally()).contains("Files written: 2\nPages skipped: 0\nPages failed: 3"));
}

TEST_F(BatchConvert, RepeatedNamesAreMadeDistinct)
{
    QDir(src.path()).mkpath("x");
    add(writePage(src.file("sample.png"), pagePicture(40, 30, Qt::red)));
    add(writePage(src.file("x/sample.jpg"), pagePicture(41, 30, Qt::red)));
    add(writePage(src.file("x/sample.png"), pagePicture(42, 30, Qt::red)));
    run();
    EXPECT_EQ(written(), QStringList({"sample.tif", "sample_2.tif", "sample_3.tif"}));
    EXPECT_EQ(tiffinfoValues(out.file("sample_3.tif"), "Image Width").value(0).section(' ', 0, 0), "42");
}

TEST_F(BatchConvert, SourceAndResultingResolutionDifferAfterTheTasks)
{
    add(writePage(src.file("p.png"), pagePicture(40, 30, Qt::red)));
    o.RenameMode = 1;
    o.RenamePrefix = "[Source resolution]";
    o.RenameSuffix = "[Resulting resolution]";
    run(std::make_shared<HalveTask>());
    EXPECT_EQ(written(), QStringList{"40x30_p_20x15.tif"});
}

TEST_F(BatchConvert, DefaultRunNeverWritesOverTheBasketsFiles)
{
    // The default options: own name, source folder, overwrite, TIFF.
    o.DestinationMode = 0;
    // First a PNG whose output would take the place of a later page's source.
    QStringList files{writePage(src.file("b.png"), pagePicture(40, 30, Qt::green))};
    for (const char* name : {"a.tif", "b.tif", "c.tif"})
        files << writePage(src.file(name), pagePicture(40, 30, Qt::green));
    QList<QByteArray> before;
    for (const QString& f : files) {
        add(f);
        before << readAll(f);
    }
    const PipelineResult r = run();
    for (int i = 0; i < files.size(); ++i) EXPECT_EQ(readAll(files[i]), before[i]) << files[i].toStdString();
    // b.tif's own output then needs another name, which is free.
    EXPECT_EQ(sink->tally().skippedSource.size(), 3);
    EXPECT_TRUE(batchOutcomeText(r, sink->tally()).contains("Files written: 1\nPages skipped: 3"));
    EXPECT_EQ(folderEntries(src.path()), QStringList({"a.tif", "b.png", "b.tif", "b_2.tif", "c.tif"}));
}

TEST_F(BatchConvert, SplitPagesGoBesideTheirDocumentNotIntoTheWorkFolder)
{
    o.DestinationMode = 0;
    const QString document = writePage(src.file("scan.tif"), pagePicture(40, 30, Qt::green));
    const QString page = writePage(userTempDir() + "/scan1_1234.png", pagePicture(40, 30, Qt::green));
    add(page, document);
    run();
    EXPECT_TRUE(QFileInfo::exists(src.file("scan1_1234.tif")));
    EXPECT_FALSE(QFileInfo::exists(userTempDir() + "/scan1_1234.tif"));
    QFile::remove(page);

    o.DestinationMode = 1;
    o.DestinationFolder = userTempDir();
    EXPECT_TRUE(run().failure.contains("work folder"));
}

TEST_F(BatchConvert, OverwriteDecidesAboutExistingFiles)
{
    add(writePage(src.file("p.png"), pagePicture(40, 30, Qt::red)));
    const QByteArray old = "old bytes";
    for (const uint8_t overwrite : {uint8_t(0), uint8_t(1)}) {
        SCOPED_TRACE(int(overwrite));
        out.write("p.tif", old);
        o.Overwrite = overwrite;
        run();
        EXPECT_EQ(readAll(out.file("p.tif")) == old, overwrite == 0);
        EXPECT_EQ(sink->tally().skippedExisting.size(), overwrite == 0 ? 1 : 0);
    }
}

TEST_F(BatchConvert, AFullDiskEndsTheRunWithOneMessageAndKeepsTheWholeFiles)
{
    const QString disk = out.file("disk");
    QDir().mkpath(disk);
    tf::test::SmallDisk small(disk, "64k");
    if (!small.mounted()) GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
    // Random pixels: each page is about 11 KB in any TIFF, so the disk fills after a few.
    QImage noise(60, 60, QImage::Format_RGB32);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 251, (x * y * 31) % 253, (x ^ y) * 13 % 255));
    for (int i = 0; i < 10; ++i) add(writePage(src.file(QStringLiteral("p%1.png").arg(i)), noise));
    o.DestinationFolder = disk;
    const OnePageAtATime inOrder;

    for (const uint8_t format : {uint8_t(0), uint8_t(1)}) {
        SCOPED_TRACE(format ? "PDF" : "TIFF");
        for (const QString& f : folderEntries(disk)) QFile::remove(QDir(disk).filePath(f));
        o.OutputFormat = format;
        const PipelineResult r = run();
        const QString text = batchOutcomeText(r, sink->tally());
        EXPECT_TRUE(text.startsWith("The disk is full.\nThe conversion stopped at \"p")) << text.toStdString();
        EXPECT_FALSE(text.contains(format ? "qpdf" : "TIFF")) << text.toStdString();
        EXPECT_TRUE(sink->tally().failed.isEmpty());
        const QStringList files = folderEntries(disk);
        EXPECT_GT(sink->tally().written, 0);
        EXPECT_LT(sink->tally().written, 10);
        ASSERT_EQ(files.size(), sink->tally().written) << files.join(' ').toStdString() << " (no hidden page left)";
        for (const QString& f : files) {
            const QString file = QDir(disk).filePath(f);
            int exit = -1;
            if (format == 0) runTool("tiffinfo", {file}, &exit);
            EXPECT_TRUE(format == 0 ? exit == 0 : qpdfCheckPasses(file)) << f.toStdString();
        }
    }
}

TEST_F(BatchConvert, OutputsAndTemplatesAsTheToolsReadThem)
{
    add(writePage(src.file("p.jpg"), pagePicture(40, 30, Qt::red)));
    const QString xiff = src.file("t.xiff");
    QString error;
    ASSERT_TRUE(writeExifTemplate(xiff, {{"Artist", "Ann Example"}}, &error)) << error.toStdString();
    ExifIptc iptc;
    iptc.setIptcHeadline("Harbour at dawn");
    ASSERT_TRUE(iptc.SaveIptcToFile(src.file("t.ffo")));
    o.ImportEXIF = o.ImportIPTC = 1;
    o.ExifTemplateFile = xiff;
    o.IptcTemplateFile = src.file("t.ffo");
    o.TiffCompression = 1;

    run();
    const QString tif = out.file("p.tif");
    EXPECT_EQ(tiffinfoValues(tif, "Compression Scheme"), QStringList{"PackBits"});
    EXPECT_EQ(runTool("exiv2", {"-q", "-Pv", "-K", "Exif.Image.Artist", tif}).trimmed(), "Ann Example");
    EXPECT_EQ(runTool("exiv2", {"-q", "-Pv", "-K", "Iptc.Application2.Headline", tif}).trimmed(), "Harbour at dawn");

    o.OutputFormat = 1;
    run();
    EXPECT_EQ(pdfPages(out.file("p.pdf")), 1);
    EXPECT_TRUE(qpdfCheckPasses(out.file("p.pdf")));
    EXPECT_FALSE(readAll(out.file("p.pdf")).contains("Ann Example"));
}

// A run that dies while it writes a page (the file size limit kills it the way the system does,
// with no clean-up of its own) leaves work files that the next start removes; a page that fails
// leaves none even before that.
TEST_F(BatchConvert, AKilledRunLeavesNothingOfOursAfterTheNextStart)
{
    // Noise, so that every page file is far larger than the few lines the run's journal takes
    // (the limit holds for the journal too).
    QImage picture(300, 200, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, noise.generate() | 0xff000000u);
    const QString xiff = src.file("t.xiff");
    QString error;
    ASSERT_TRUE(writeExifTemplate(xiff, {{"Artist", "Ann Example"}}, &error)) << error.toStdString();
    o.ImportEXIF = 1;
    o.ExifTemplateFile = xiff;
    // Writes pages "a" and "b" as the pipeline hands them over, one after the other: the run is
    // killed on its first page.
    const auto writePages = [&] {
        OnePageAtATime inOrder;
        SinglePageSink sink(o, kNow);
        ImageDocument doc;
        std::vector<PageSource::Page> pages = {{{}, "a", {}, picture}, {{}, "b", {}, picture}};
        struct Pages final : PageSource {
            std::vector<Page> list;
            int count() const override { return int(list.size()); }
            Page page(int i) const override { return list[size_t(i)]; }
        } source;
        source.list = pages;
        sink.open(source, PageFormat{doc.ColorFormat(), doc.TiffCompression()});
        for (int i = 0; i < 2; ++i) {
            sink.pageStarting(i, pages[size_t(i)]);
            doc.setBitmapHandle(picture);
            PreparedPage page;
            page.image = doc.pageImage();
            page.sizeRead = picture.size();
            page.name = pages[size_t(i)].name;
            page.index = i;
            sink.addPage(std::move(page));
        }
        sink.commit();
        return sink.tally();
    };
    const auto emptyOut = [&] {
        for (const QString& name : folderEntries(out.path())) QFile::remove(out.file(name));
    };
    for (const uint8_t format : {uint8_t(0), uint8_t(1)}) {
        o.OutputFormat = format;
        const QString ext = format == 1 ? QStringLiteral("pdf") : QStringLiteral("tif");
        o.ImportEXIF = 0;
        EXPECT_EQ(writePages().written, 2);
        const qint64 size = QFileInfo(out.file("a." + ext)).size();
        emptyOut();
        o.ImportEXIF = 1;
        // Killed writing the page and, for a TIFF, writing the metadata into it.
        for (const qint64 limit : {qint64(16384), size / 2, size + 1}) {
            SCOPED_TRACE(ext.toStdString() + " limited to " + std::to_string(limit));
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                const rlimit small{rlim_t(limit), RLIM_INFINITY};
                ::setrlimit(RLIMIT_FSIZE, &small);
                writePages();
                ::_exit(0);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            if (!WIFSIGNALED(status)) {
                EXPECT_TRUE(format == 1 && limit > size) << "a PDF takes no metadata";
                emptyOut();
                continue;
            }
            EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
            EXPECT_FALSE(folderEntries(out.path()).filter(QRegularExpression("^\\.")).isEmpty());
            removeWorkFilesOfDeadRuns();
            EXPECT_EQ(folderEntries(out.path()), QStringList()) << "the run died on its first page";
        }
        {
            FileSizeLimit full(size / 2);
            EXPECT_EQ(writePages().failed.size(), 2);
        }
        EXPECT_EQ(folderEntries(out.path()), QStringList());
    }
}

// Pages are written several at once: their writes are made to end in an order of the test's
// choosing through the writers' hook, which holds a page until others finished.
class BatchInParallel : public BatchConvert {
protected:
    void SetUp() override
    {
        BatchConvert::SetUp();
        if (QThread::idealThreadCount() < 4) GTEST_SKIP() << "the cases hold up to four writes at once";
    }
    void TearDown() override
    {
        OrderedPageWrites::setWriteHookForTests({});
        setWriteBudgetForTests(-1);
    }
    // Before page i's write: `waits[i]` names the pages that must have finished first, and
    // `then` runs once they have.
    void holdPages(std::map<int, std::set<int>> waits, std::function<void(int)> then = {})
    {
        OrderedPageWrites::setWriteHookForTests([this, waits, then](int index, bool written) {
            std::unique_lock<std::mutex> l(lock);
            if (written) {
                finished.insert(index);
                changed.notify_all();
                return;
            }
            const auto it = waits.find(index);
            if (it == waits.end()) return;
            changed.wait(l, [&] { return std::includes(finished.begin(), finished.end(), it->second.begin(), it->second.end()); });
            if (then) then(index);
        });
    }
    QStringList visible() const { return written().filter(QRegularExpression("^[^.]")); }

    std::mutex lock;
    std::condition_variable changed;
    std::set<int> finished;
};

TEST_F(BatchInParallel, NamesAndSuffixesFollowThePageOrderWhateverOrderTheWritesEnd)
{
    QDir(src.path()).mkpath("x");
    add(writePage(src.file("sample.png"), pagePicture(40, 30, Qt::red)));
    add(writePage(src.file("x/sample.jpg"), pagePicture(41, 30, Qt::red)));
    add(writePage(src.file("x/sample.png"), pagePicture(42, 30, Qt::red)));
    QStringList seenBeforeTheFirst;
    // The writes end 3, 2, 1; the first page's starts only when the others are written.
    holdPages({{0, {1, 2}}, {1, {2}}}, [&](int index) {
        if (index == 0) seenBeforeTheFirst = visible();
    });
    run();
    EXPECT_TRUE(seenBeforeTheFirst.isEmpty()) << "no page is in place before the pages ahead of it";
    EXPECT_EQ(written(), QStringList({"sample.tif", "sample_2.tif", "sample_3.tif"}));
    for (const auto& [file, width] : {std::pair{"sample.tif", "40"}, {"sample_2.tif", "41"}, {"sample_3.tif", "42"}})
        EXPECT_EQ(tiffinfoValues(out.file(file), "Image Width").value(0).section(' ', 0, 0), width) << file;
    EXPECT_EQ(sink->tally().written, 3);
}

TEST_F(BatchInParallel, AFullDiskAtOnePageKeepsThePagesBeforeItAndNothingAfter)
{
    for (int i = 0; i < 4; ++i) add(writePage(src.file(QStringLiteral("p%1.png").arg(i)), pagePicture(40, 30, Qt::red)));
    // Pages 1, 3 and 4 are written first; then the disk is full for the second.
    holdPages({{1, {0, 2, 3}}}, [](int) { setWriteBudgetForTests(0); });
    const PipelineResult r = run();
    EXPECT_TRUE(batchOutcomeText(r, sink->tally()).startsWith("The disk is full.\nThe conversion stopped at \"p1\""))
        << batchOutcomeText(r, sink->tally()).toStdString();
    EXPECT_EQ(written(), QStringList{"p0.tif"}) << "pages written after it are never placed, and no work file stays";
    EXPECT_EQ(sink->tally().written, 1);
}

TEST_F(BatchInParallel, AFailingDiskEndsTheRunAtItsPageAndSaysSoOnce)
{
    for (int i = 0; i < 5; ++i) add(writePage(src.file(QStringLiteral("p%1.png").arg(i)), pagePicture(40, 30, Qt::red)));
    // The first two pages are written; from the third on the disk reports an I/O error.
    holdPages({{2, {0, 1}}}, [](int) { setWriteBudgetForTests(0, EIO); });
    const PipelineResult r = run();
    const QString text = batchOutcomeText(r, sink->tally());
    EXPECT_TRUE(text.startsWith("The disk reported an error while writing.\nThe conversion stopped at \"p2\"")) << text.toStdString();
    EXPECT_EQ(text.count("The disk reported an error"), 1) << text.toStdString();
    EXPECT_TRUE(sink->tally().failed.isEmpty());
    EXPECT_EQ(written(), QStringList({"p0.tif", "p1.tif"})) << "no page after it, and no work file";
}

// A Cancel names the page the progress showed; the writers may be far past it by then.
TEST_F(BatchInParallel, ACancelKeepsThePagesUpToTheOneShownAndNoneWrittenAfterIt)
{
    QStringList all;
    for (int i = 0; i < 6; ++i) {
        add(writePage(src.file(QStringLiteral("p%1.png").arg(i)), pagePicture(40, 30, Qt::red)));
        all << QStringLiteral("p%1.tif").arg(i);
    }
    // The Cancel comes while the second page is still being written and the fourth is already.
    holdPages({{1, {3}}}, [this](int) { pipeline->cancelAfter(2); });
    const PipelineResult r = run();
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(sink->tally().written, 3);
    EXPECT_EQ(written(), all.mid(0, 3)) << "pages 1 to 3, no gap, no work file";
}

// The run as the window starts it, with its progress window: the Cancel is pressed as the
// progress names page k of 40.
TEST_F(BatchConvert, ACancelAsTheProgressNamesAPageKeepsItAndEveryPageBefore)
{
    QStringList all;
    for (int i = 1; i <= 40; ++i) {
        add(writePage(src.file(QStringLiteral("p%1.png").arg(i, 2, 10, QLatin1Char('0'))), pagePicture(40, 30, Qt::red)));
        all << QStringLiteral("p%1.tif").arg(i, 2, 10, QLatin1Char('0'));
    }
    QWidget owner;
    owner.show();
    for (const int k : {1, 6, 40}) {
        SCOPED_TRACE(k);
        for (const QString& f : written()) QFile::remove(out.file(f));
        WindowJob job(QStringLiteral("Saving a new Single file"));
        ASSERT_TRUE(job);
        job.showStatus(&owner);
        QObject::connect(&job, &WindowJob::progress, &owner, [&](int done, int total, const QString&) {
            EXPECT_EQ(total, 40);
            if (done + 1 != k) return;
            auto* status = owner.findChild<QWidget*>("frmStatus");
            ASSERT_NE(status, nullptr);
            status->findChild<QPushButton*>("cmdCancel")->click();
        });
        auto owned = std::make_unique<SinglePageSink>(o, kNow);
        const SinglePageSink* batch = owned.get();
        std::optional<PipelineResult> result;
        int writtenAtEnd = -1;
        ASSERT_TRUE(job.start(std::make_unique<BasketPageSource>(records), std::move(owned), {},
                              [&](const PipelineResult& r) {
                                  result = r;
                                  writtenAtEnd = batch->tally().written;
                              }));
        ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 120000));
        EXPECT_EQ(result->cancelled, k < 40);
        EXPECT_EQ(writtenAtEnd, k);
        EXPECT_EQ(written(), all.mid(0, k)) << "pages 1 to k in order, nothing after, no work file";
        for (const QString& f : written()) {
            int exit = -1;
            runTool("tiffinfo", {out.file(f)}, &exit);
            EXPECT_EQ(exit, 0) << f.toStdString();
        }
    }
}

// Counts the pages that reached the sink decoded.
struct Counting final : PageSink {
    explicit Counting(std::unique_ptr<SinglePageSink> s) : inner(std::move(s)) {}
    void open(const PageSource& p, const PageFormat& f) override { inner->open(p, f); }
    void pageStarting(int i, const PageSource::Page& p) override { inner->pageStarting(i, p); }
    bool takesAsItIs(const QString& path) const override { return inner->takesAsItIs(path); }
    bool addFile(const QString& path) override { return inner->addFile(path); }
    QStringList unreadFiles() const override { return inner->unreadFiles(); }
    void addPage(PreparedPage p) override { ++decoded, inner->addPage(std::move(p)); }
    bool writesAhead() const override { return true; }
    void cancelled() override { inner->cancelled(); }
    void commit() override { inner->commit(); }
    void rollback() noexcept override { inner->rollback(); }
    bool keepsPagesOnCancel() const override { return true; }
    std::unique_ptr<SinglePageSink> inner;
    int decoded = 0;
};

TEST_F(BatchInParallel, AJpegGoesIntoItsPdfUndecodedUnlessItsNameNeedsThePixels)
{
    const QString jpeg = writePage(src.file("a.jpg"), pagePicture(40, 30, Qt::red));
    add(jpeg);
    add(writePage(src.file("b.png"), pagePicture(41, 30, Qt::red)));
    o.OutputFormat = 1;
    for (const QString& prefix : {QStringLiteral("Scan"), QStringLiteral("[Source resolution]")}) {
        SCOPED_TRACE(prefix.toStdString());
        o.RenameMode = 1;
        o.RenamePrefix = prefix;
        auto counting = std::make_unique<Counting>(std::make_unique<SinglePageSink>(o, kNow));
        Counting& c = *counting;
        PagePipeline p(std::make_unique<BasketPageSource>(records), std::move(counting), PipelineSettings{});
        const PipelineResult r = p.runHere();
        EXPECT_TRUE(r.failure.isEmpty()) << r.failure.toStdString();
        const bool asItIs = prefix == "Scan";
        EXPECT_EQ(c.decoded, asItIs ? 1 : 2);
        const QString pdf = out.file(asItIs ? "Scan_a_.pdf" : "40x30_a_.pdf");
        ASSERT_EQ(pdfImages(pdf).size(), size_t(1));
        EXPECT_EQ(pdfImages(pdf)[0].enc, "jpeg");
        EXPECT_TRUE(qpdfCheckPasses(pdf));
        runTool("pdfimages", {"-j", pdf, out.file("image")});
        EXPECT_EQ(readAll(out.file("image-000.jpg")), readAll(jpeg)) << "the JPEG's own bytes";
        for (const QString& f : folderEntries(out.path())) QFile::remove(out.file(f));
    }
}

TEST(BatchNaming, TokensReadTheImageAndItsMetadata)
{
    TempFolder dir;
    const QString plain = writePage(dir.file("plain.jpg"), pagePicture(40, 30, Qt::red));
    const QString dated = writePage(dir.file("dated.jpg"), pagePicture(40, 30, Qt::red));
    const QString undated = writePage(dir.file("undated.jpg"), pagePicture(40, 30, Qt::red));
    runTool("exiv2", {"-M", "set Exif.Photo.DateTimeOriginal 2001:02:03 04:05:06", "-M", "set Exif.Image.Make Acme",
                      "-M", "set Iptc.Application2.Headline Sea", "mo", dated});
    runTool("exiv2", {"-M", "set Exif.Image.Model X1", "mo", undated});
    ImageDocument doc;
    doc.setPicture(pagePicture(40, 30, Qt::red));
    const auto resolve = [&](const QString& file, const QString& token) {
        BlockingCallsAllowed readsHere; // the test reads the file's metadata as the job would
        ExifIptc meta;
        const bool read = meta.readFrom(file);
        NamingFacts facts{file, "40x30", "tif", kNow, [&]() -> const ExifIptc* { return read ? &meta : nullptr; }};
        return fncRetrieveNamingString(doc.pageImage(), token, facts);
    };
    struct Case {
        QString file, token, expected;
    } cases[] = {
        {plain, "[EXIF Make & Model]", ""},
        {plain, "[EXIF X-Y Dimension]", ""},
        {plain, "[EXIF Date]", ""},
        {plain, "[IPTC Headline]", ""},
        {undated, "[EXIF Date]", "3.5.2007"},
        {undated, "[EXIF Make & Model]", "-X1"},
        {dated, "[EXIF Date-Time]", "2.3.2001 4.05.06 AM"},
        {dated, "[EXIF Make & Model]", "Acme-"},
        {dated, "[IPTC Headline]", "Sea"},
        {plain, "[Date Today-Time]", "3.5.2007 2.07.09 PM"},
        {plain, "[Source resolution]", "40x30"},
        {plain, "Any text", "Any text"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolve(c.file, c.token), c.expected) << c.token.toStdString() << " of " << c.file.toStdString();
    doc.Clear();
    EXPECT_EQ(resolve(plain, "Any text"), "") << "no image, no text";
}

TEST(BatchNaming, UnsafeTextAndCounters)
{
    const QString longText(300, QChar(u'a'));
    EXPECT_EQ(safeNamePart("a/b\\c:d*e?f\"g<h>i|j"), "a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(safeNamePart(QString("  x") + QChar(0) + QChar(0x1f) + "y  "), "  x__y  ");
    EXPECT_EQ(safeNamePart(longText).size(), 100);
    for (const auto& [base, shown] : std::initializer_list<std::pair<QString, QString>>{
             {"", "_"}, {".", "_"}, {"..", "_."}, {" .x", " .x"}, {"a.", "a."}})
        EXPECT_EQ(visibleFileBase(base), shown) << base.toStdString();
    EXPECT_EQ(capUtf8Bytes(QString(200, QChar(u'é')), 255).toUtf8().size(), 254) << "never half a character";

    const std::pair<QString, std::optional<int64_t>> counters[] = {
        {"[Starting 1]", 1}, {"[Starting 1001]", 1001}, {" 25 ", 25}, {"abc", {}}, {"2.5", {}},
        {"1e3", {}},         {"&H10", {}},               {"", {}},     {"-3", {}},  {"9999999999", {}},
    };
    for (const auto& [text, start] : counters) EXPECT_EQ(batchCounterStart(text), start) << text.toStdString();
}


// A TIFF run has its pages read and written by the decoders, whose pixels never come into this
// process, unless the names or the task list need them here.
TEST_F(BatchInParallel, TiffPagesAreWrittenByTheDecodersUnlessTheNamesOrTasksNeedThePixels)
{
    add(writePage(src.file("a.jpg"), pagePicture(40, 30, Qt::red)));
    add(writePage(src.file("b.png"), pagePicture(41, 30, Qt::blue)));
    add(src.write("c.png", "not a picture"));
    const struct {
        const char* what;
        QString prefix;
        std::shared_ptr<TaskReplayer> tasks;
        int decodedHere;
        QStringList names;
    } cases[] = {
        {"plain", "Scan", nullptr, 0, {"Scan_a_.tif", "Scan_b_.tif"}},
        {"named by size", "[Source resolution]", nullptr, 2, {"40x30_a_.tif", "41x30_b_.tif"}},
        {"with a task list", "Scan", std::make_shared<HalveTask>(), 2, {"Scan_a_.tif", "Scan_b_.tif"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& f : folderEntries(out.path())) QFile::remove(out.file(f));
        o.RenameMode = 1;
        o.RenamePrefix = c.prefix;
        auto counting = std::make_unique<Counting>(std::make_unique<SinglePageSink>(o, kNow));
        Counting& counted = *counting;
        PipelineSettings settings;
        settings.tasks = c.tasks;
        PagePipeline p(std::make_unique<BasketPageSource>(records), std::move(counting), settings);
        const PipelineResult r = p.runHere();
        EXPECT_EQ(counted.decoded, c.decodedHere);
        EXPECT_EQ(written(), c.names) << "no work file left";
        EXPECT_EQ(r.leftOut, QStringList{"c"});
        EXPECT_EQ(r.written, 2);
        EXPECT_TRUE(batchOutcomeText(r, counted.inner->tally()).contains("Files written: 2\nPages skipped: 0\nPages failed: 1"));
        EXPECT_EQ(tiffinfoValues(out.file(c.names[1]), "Image Width").value(0).section(' ', 0, 0), c.tasks ? "20" : "41");
    }
}

} // namespace
} // namespace tf::test::multipage
