// The documents' writers when the disk fills: on a small real file system, and through the write
// seam after any number of bytes. The user's file stays byte for byte, nothing half-written is
// left, and the one message names the full disk first.
#include "basket/BasketPageSource.h"
#include "basket/SinglePageSink.h"
#include "platform/sys/safefile.h"
#include "platform/sys/userdirs.h"
#include "support/fulldisk.h"

#include "multipage_fixture.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <functional>
#include <optional>

using namespace tf;
using namespace tf::test;
using namespace tf::test::multipage;

namespace {

const QString kSaveFailed = QStringLiteral("The disk is full.\nError while saving to the selected file format!");
const QString kAppendFailed = QStringLiteral("The disk is full.\nError while appending to the selected file!");

class FullDisk : public MultiPageFixture {
protected:
    void SetUp() override
    {
        MultiPageFixture::SetUp();
        // The user's documents, one small page each; the basket's page of noise is larger than
        // any room left.
        setBasket({pages[0]});
        ASSERT_TRUE(save(src.file("doc.tif"), 0, 0));
        ASSERT_TRUE(save(src.file("doc.pdf"), 0, 0, 3));
        setBasket({noisyPage("noise.png", 200, 200)});
        boxes.clear();
    }

    struct Writer {
        const char* what;
        const char* file; // the document written or appended to
        std::function<bool(FullDisk&, const QString&)> run;
        QString message;
    };
    static std::vector<Writer> writers()
    {
        return {
            {"new TIFF over a file", "doc.tif", [](FullDisk& t, const QString& f) { return t.save(f, 0, 0); }, kSaveFailed},
            {"new PDF over a file", "doc.pdf", [](FullDisk& t, const QString& f) { return t.save(f, 0, 0, 3); }, kSaveFailed},
            {"TIFF append in place, at the end", "doc.tif", [](FullDisk& t, const QString& f) { return t.append(f, 1, 0); },
             kAppendFailed},
            {"TIFF append in place, at the beginning", "doc.tif",
             [](FullDisk& t, const QString& f) { return t.append(f, 0, 0); }, kAppendFailed},
            {"TIFF append as a new file", "doc.tif", [](FullDisk& t, const QString& f) { return t.append(f, 1, 1); },
             kAppendFailed},
            {"PDF append in place", "doc.pdf", [](FullDisk& t, const QString& f) { return t.append(f, 1, 0); }, kAppendFailed},
            {"PDF append as a new file", "doc.pdf", [](FullDisk& t, const QString& f) { return t.append(f, 0, 1); },
             kAppendFailed},
        };
    }

    // Runs each writer on a fresh copy of its document in `folder` under `fill`, and checks what
    // is left.
    void expectEachFailsCleanly(const QString& folder, const std::function<void()>& fill,
                                const std::function<std::optional<WriteBudget>()>& budget)
    {
        for (const Writer& w : writers()) {
            SCOPED_TRACE(w.what);
            for (const char* doc : {"doc.tif", "doc.pdf"}) {
                QFile::remove(QDir(folder).filePath(doc));
                ASSERT_TRUE(QFile::copy(src.file(doc), QDir(folder).filePath(doc)));
            }
            fill();
            const QStringList before = entriesOf(folder);
            const QString document = QDir(folder).filePath(w.file);
            const QByteArray bytes = readAll(document);
            boxes.clear();
            bool ok = true;
            {
                const std::optional<WriteBudget> limit = budget();
                ok = w.run(*this, document);
            }
            EXPECT_FALSE(ok);
            EXPECT_EQ(readAll(document), bytes);
            EXPECT_EQ(entriesOf(folder), before) << "nothing half-written is left";
            EXPECT_TRUE(spoolLeft().isEmpty());
            ASSERT_EQ(boxes.shown().size(), 1u);
            EXPECT_EQ(boxes.shown()[0].prompt, w.message + messageTail);
        }
    }
    QString messageTail; // what follows the message's two lines
};

TEST_F(FullDisk, EveryDocumentWriterOnASmallFileSystem)
{
    SmallDisk disk(out.file("disk"), "512k");
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
    for (qint64 free : {0, 4096, 40000}) {
        SCOPED_TRACE(free);
        expectEachFailsCleanly(out.file("disk"), [&] { ASSERT_TRUE(disk.leaveFree(free)); }, [] { return std::nullopt; });
    }
}

// The program's data folder full, the documents' disk not: work the program cannot write down is
// not begun, and the message names the data folder.
TEST_F(FullDisk, EveryDocumentWriterWithAFullDataFolder)
{
    TempFolder home;
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    {
        SmallDisk disk(userDataDir(), "256k");
        if (disk.mounted()) {
            userTempDir();
            userSubDir(QStringLiteral("WorkFiles"));
            messageTail = QStringLiteral("\nCannot write in the program's data folder ") + userDataDir() +
                          QStringLiteral("/WorkFiles (") + QString::fromLocal8Bit(std::strerror(ENOSPC)) +
                          QLatin1Char(')');
            QDir().mkpath(out.file("plain"));
            expectEachFailsCleanly(out.file("plain"), [&] { ASSERT_TRUE(disk.leaveFree(0)); },
                                   [] { return std::nullopt; });
            disk.empty();
            EXPECT_EQ(entriesOf(userTempDir()), QStringList());
        }
    }
    qputenv("XDG_DATA_HOME", before);
    if (messageTail.isEmpty()) GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
}

TEST_F(FullDisk, EveryDocumentWriterThroughTheWriteSeam)
{
    QDir().mkpath(out.file("plain"));
    for (qint64 bytes : {0, 1, 5000, 60000}) {
        SCOPED_TRACE(bytes);
        expectEachFailsCleanly(out.file("plain"), [] {}, [bytes] { return std::optional<WriteBudget>(std::in_place, bytes); });
    }
}

// The batch conversion: the pages written whole before the disk filled stay, the page it filled
// on leaves nothing, and its failure carries the cause to the run's message.
class BatchFullDisk : public MultiPageFixture {
protected:
    PipelineResult convert(const QString& folder, int format)
    {
        typBatchSaveOptions o{};
        o.OutputFormat = static_cast<uint8_t>(format);
        o.Overwrite = 1;
        o.DestinationMode = 1;
        o.DestinationFolder = folder;
        auto owned = std::make_unique<SinglePageSink>(o);
        sink = owned.get();
        std::vector<basket::PageRecord> records;
        for (const QString& file : {pages[0], noisy, noisy2}) {
            basket::PageRecord r;
            r.tag = r.source = file;
            r.text = QFileInfo(file).completeBaseName();
            records.push_back(r);
        }
        pipeline = std::make_unique<PagePipeline>(std::make_unique<BasketPageSource>(records), std::move(owned),
                                                  PipelineSettings{});
        return pipeline->runHere();
    }
    void expectFirstPageOnly(const QString& folder, int format, const PipelineResult& run)
    {
        const QString ext = format == 1 ? ".pdf" : ".tif";
        EXPECT_EQ(entriesOf(folder), QStringList{QStringLiteral("p1") + ext});
        EXPECT_EQ(readAll(QDir(folder).filePath("p1" + ext)), firstPage[format]) << "a page written before stays whole";
        EXPECT_EQ(sink->tally().written, 1);
        // The page the disk filled on ends the run: one failure, the cause first, no page after it tried.
        EXPECT_TRUE(sink->tally().failed.isEmpty());
        EXPECT_TRUE(run.failure.startsWith("The disk is full.\n")) << run.failure.toStdString();
    }
    void SetUp() override
    {
        MultiPageFixture::SetUp();
        noisy = noisyPage("noise.png", 200, 200);
        noisy2 = noisyPage("noise2.png", 180, 180);
        // What the first page's file holds when there is room.
        for (int format : {0, 1}) {
            const QString folder = out.file(QStringLiteral("room%1").arg(format));
            QDir().mkpath(folder);
            convert(folder, format);
            firstPage[format] = readAll(QDir(folder).filePath(format == 1 ? "p1.pdf" : "p1.tif"));
            ASSERT_FALSE(firstPage[format].isEmpty());
        }
    }
    QString noisy, noisy2;
    QByteArray firstPage[2];
    SinglePageSink* sink = nullptr;
    std::unique_ptr<PagePipeline> pipeline;
};

TEST_F(BatchFullDisk, PagesBeforeTheFullDiskStayWholeAndTheRestLeaveNothing)
{
    for (int format : {0, 1}) {
        SCOPED_TRACE(format);
        // Room for the first page only (the real small disk is the batch tests' own case).
        const QString plain = out.file(QStringLiteral("plain%1").arg(format));
        QDir().mkpath(plain);
        PipelineResult run;
        {
            const OnePageAtATime inOrder;
            WriteBudget budget(firstPage[format].size() + 4000);
            run = convert(plain, format);
        }
        expectFirstPageOnly(plain, format, run);
    }
}

} // namespace

namespace {

// With the program's data folder full no page is begun, whatever room the destination has, and
// the run's message names the data folder.
TEST_F(BatchFullDisk, AFullDataFolderWritesNoPageAndNamesIt)
{
    TempFolder home;
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    bool mounted = false;
    {
        SmallDisk disk(userDataDir(), "256k");
        mounted = disk.mounted();
        if (mounted) {
            userTempDir();
            ASSERT_TRUE(disk.leaveFree(0));
            for (int format : {0, 1}) {
                SCOPED_TRACE(format);
                const QString plain = out.file(QStringLiteral("data%1").arg(format));
                QDir().mkpath(plain);
                const PipelineResult run = convert(plain, format);
                EXPECT_EQ(entriesOf(plain), QStringList());
                EXPECT_TRUE(run.failure.startsWith("The disk is full.\nThe conversion stopped at \"p1\""))
                    << run.failure.toStdString();
                EXPECT_TRUE(run.failure.contains(QStringLiteral("Cannot write in the program's data folder ") +
                                                 userDataDir()))
                    << run.failure.toStdString();
            }
        }
    }
    qputenv("XDG_DATA_HOME", before);
    if (!mounted) GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
}

} // namespace
