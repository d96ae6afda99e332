// The single-page conversion: the names the rule gives, what it refuses to write over, and the
// files it writes as tiffinfo, pdfinfo and exiv2 read them.
#include "basket/SinglePageSink.h"
#include "basket/modSaveBatch.h"
#include "metadata/ExifIptc.h"
#include "metadata/metadataTemplates.h"

#include "multipage_fixture.h"
#include "platform/sys/blockingcalls.h"

#include <QDir>

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
        gblnCancelOperation = 0;
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
        {"unsafe literal text",
         [](auto& o) { o.RenameMode = 1, o.RenamePrefix = "../a:b", o.RenameSuffix = QString("c") + QChar(1) + "d"; },
         {".._a_b_sample_c_d.tif", ".._a_b_second_c_d.tif", ".._a_b_third_c_d.tif"}},
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
        return fncRetrieveNamingString(doc, token, facts);
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
    EXPECT_EQ(safeNamePart(QString("  x") + QChar(0) + QChar(0x1f) + "y  "), "x__y");
    EXPECT_EQ(safeNamePart(longText).size(), 100);
    EXPECT_EQ(capUtf8Bytes(QString(200, QChar(u'é')), 255).toUtf8().size(), 254) << "never half a character";

    const std::pair<QString, std::optional<int64_t>> counters[] = {
        {"[Starting 1]", 1}, {"[Starting 1001]", 1001}, {" 25 ", 25}, {"abc", {}}, {"2.5", {}},
        {"1e3", {}},         {"&H10", {}},               {"", {}},     {"-3", {}},  {"9999999999", {}},
    };
    for (const auto& [text, start] : counters) EXPECT_EQ(batchCounterStart(text), start) << text.toStdString();
}

} // namespace
} // namespace tf::test::multipage
