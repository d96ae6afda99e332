// The page pipeline on its own, with a sink that records what reaches it: order, the end a Cancel
// or a failure makes, the settings each page arrives with, and that the work runs off the calling
// thread with its signals arriving on it.
#include "pages/PagePipeline.h"
#include "frame/TaskReplay.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/page_raster.h"

#include "multipage_fixture.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <climits>

namespace tf::test::multipage {
namespace {

class FileList final : public PageSource {
public:
    explicit FileList(QStringList files) : m_files(std::move(files)) {}
    int count() const override { return static_cast<int>(m_files.size()); }
    Page page(int i) const override { return {m_files[i], QFileInfo(m_files[i]).fileName()}; }

private:
    QStringList m_files;
};

// Takes pages as widths, JPEG files by name; stops the job, or fails, after a given page.
struct Recorder final : PageSink {
    struct Log {
        QStringList pages; // "101" for a decoded page, "file p1.jpg" for a file taken as it is
        QList<QPair<int, int>> settings; // colour format and compression each page came with
        int commits = 0, rollbacks = 0;
        QThread* thread = nullptr;
        QImage lastPage; // the last page's pixels, shared with whatever still holds them
        // Each decoded page as the sink got it: name, place, file, size as read, and "jpeg" when it
        // brings its JPEG file's own coding along.
        QStringList read;
        int toldLast = INT_MIN; // the last page a Cancel keeps, as the sink was told
    };
    Recorder(Log& log, bool keeps) : log(log), keeps(keeps) {}
    Log& log;
    bool keeps;
    bool takeJpegs = false;
    bool finishes = false; // finishes the page under way on a Cancel
    int cancelAfter = -1, failAt = -1;
    PagePipeline* pipeline = nullptr;

    void open(const PageSource&, const PageFormat&) override { log.thread = QThread::currentThread(); }
    bool takesAsItIs(const QString& path) const override { return takeJpegs && path.endsWith(".jpg"); }
    bool addFile(const QString& path) override
    {
        if (QFileInfo(path).size() < 100) return false; // not a JPEG after all
        taken("file " + QFileInfo(path).fileName());
        return true;
    }
    void addPage(PreparedPage page) override
    {
        if (int(log.pages.size()) + 1 == failAt)
            throw ImageBoxError(imagebox_error::kFileAccess, "Cannot write out.tif (No space left on device)");
        log.settings << qMakePair(int(page.image.format.colorFormat), int(page.image.format.tiffCompression));
        log.lastPage = page.image.pixels;
        log.read << QStringLiteral("%1 #%2 %3 %4x%5%6")
                        .arg(page.name)
                        .arg(page.index)
                        .arg(QFileInfo(page.path).fileName())
                        .arg(page.sizeRead.width())
                        .arg(page.sizeRead.height())
                        .arg(page.image.jpeg.isEmpty() ? "" : " jpeg");
        taken(QString::number(page.image.pixels.width()));
    }
    void taken(const QString& what)
    {
        log.pages << what;
        if (int(log.pages.size()) == cancelAfter) pipeline->cancel();
    }
    void commit() override { ++log.commits; }
    void rollback() noexcept override { ++log.rollbacks; }
    bool keepsPagesOnCancel() const override { return keeps; }
    bool finishesPageOnCancel() const override { return finishes; }
    void cancelRequestedAfter(int last) noexcept override { log.toldLast = last; }
};

class PagePipelineTest : public MultiPageFixture {
protected:
    PipelineResult run(const QStringList& files, Recorder::Log& log, std::function<void(Recorder&)> setUp = {},
                       PipelineSettings settings = {})
    {
        auto sink = std::make_unique<Recorder>(log, true);
        Recorder& recorder = *sink;
        if (setUp) setUp(recorder);
        PagePipeline pipeline(std::make_unique<FileList>(files), std::move(sink), std::move(settings));
        recorder.pipeline = &pipeline;
        return pipeline.runHere();
    }
};

TEST_F(PagePipelineTest, PagesArriveInOrderAndTheEndFollowsCancelFailureOrNothingRead)
{
    const QString bad = out.write("bad.png", "not a picture");
    const struct {
        const char* what;
        QStringList files;
        bool keeps;
        int cancelAfter, failAt;
        QStringList pages;
        int commits, rollbacks;
        bool cancelled, dropped;
        QStringList leftOut;
    } cases[] = {
        {"all read", pages, true, -1, -1, {"101", "102", "103", "104", "105", "106", "107"}, 1, 0, false, false, {}},
        {"one unreadable", {pages[0], bad, pages[2]}, true, -1, -1, {"101", "103"}, 1, 0, false, false, {"bad.png"}},
        {"none readable", {bad, bad}, true, -1, -1, {}, 0, 1, false, false, {"bad.png", "bad.png"}},
        {"Cancel, pages kept", pages, true, 2, -1, {"101", "102"}, 1, 0, true, false, {}},
        {"Cancel, pages dropped", pages, false, 2, -1, {"101", "102"}, 0, 1, true, true, {}},
        {"Cancel after the last page: done", pages.mid(0, 2), false, 2, -1, {"101", "102"}, 1, 0, false, false, {}},
        {"a page fails", pages, true, -1, 3, {"101", "102"}, 0, 1, false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Recorder::Log log;
        const PipelineResult r = run(c.files, log, [&](Recorder& s) {
            s.keeps = c.keeps;
            s.cancelAfter = c.cancelAfter;
            s.failAt = c.failAt;
        });
        EXPECT_EQ(log.pages, c.pages);
        EXPECT_EQ(log.commits, c.commits);
        EXPECT_EQ(log.rollbacks, c.rollbacks);
        EXPECT_EQ(r.committed, c.commits == 1);
        EXPECT_EQ(r.cancelled, c.cancelled);
        EXPECT_EQ(r.dropped, c.dropped);
        EXPECT_EQ(r.leftOut, c.leftOut);
        EXPECT_EQ(r.written, int(c.pages.size()));
        EXPECT_EQ(r.failure.isEmpty(), c.failAt < 0);
        if (c.failAt > 0) {
            EXPECT_TRUE(r.failure.contains("No space left on device")) << "the system's reason is kept";
        }
    }
}

// A Cancel names the page the window showed under way; the worker may be on it still, or past it.
TEST_F(PagePipelineTest, ACancelNamingAPageEndsTheJobAfterIt)
{
    const struct {
        const char* what;
        bool finishes;
        int shown, heardAt; // the page the Cancel names; the progress at which it reaches the worker
        QStringList pages;
    } cases[] = {
        {"the page shown is still read and taken", true, 2, 2, {"101", "102", "103"}},
        {"the worker is past it: no page after it is taken", true, 1, 3, {"101", "102", "103"}},
        {"a sink that stops before the page under way", false, 2, 2, {"101", "102"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Recorder::Log log;
        auto sink = std::make_unique<Recorder>(log, true);
        sink->finishes = c.finishes;
        PagePipeline pipeline(std::make_unique<FileList>(pages), std::move(sink), {});
        QObject::connect(&pipeline, &PagePipeline::progress, &owner, [&](int done) {
            if (done != c.heardAt) return;
            pipeline.cancelAfter(c.shown);
            pipeline.cancelAfter(c.shown + 3); // a later Cancel keeps no more
        });
        const PipelineResult r = pipeline.runHere();
        EXPECT_EQ(log.pages, c.pages);
        EXPECT_EQ(log.toldLast, c.shown) << "the sink drops what it took after that page";
        EXPECT_TRUE(r.cancelled);
        EXPECT_EQ(log.commits, 1);
    }
}

TEST_F(PagePipelineTest, EveryPageGetsTheSettingsAfterItsTasksAndFilesAsTheyAreSkipTheDecoders)
{
    // The tasks change the picture and the settings the document holds; the page still arrives
    // with the chosen settings. The second replay fails: told once, with the first words.
    struct Tasks final : TaskReplayer {
        int calls = 0;
        bool hasTasks() const override { return true; }
        ReplayResult replayOnPreview(ImageDocument&) override { return {}; }
        ReplayResult replayAll(ImageDocument& page) override
        {
            ++calls;
            page.setPicture(pagePicture(60 + calls, 40, Qt::red));
            page.setColorFormat(kColor16);
            page.setTiffCompression(kTiffNone);
            return calls == 2 ? ReplayResult{false, "Crop: outside"} : calls == 3 ? ReplayResult{false, "Blur"} : ReplayResult{};
        }
    };
    auto tasks = std::make_shared<Tasks>();
    PipelineSettings settings{kGray256, kTiffPackBits, tasks};
    Recorder::Log log;
    PipelineResult r = run(pages.mid(0, 3), log, [](Recorder& s) { s.takeJpegs = true; }, settings);
    EXPECT_EQ(log.pages, QStringList({"61", "62", "63"})) << "with tasks, JPEG files are decoded to be edited";
    // The page keeps its size as read; edited pixels are no longer the JPEG file's.
    EXPECT_EQ(log.read, QStringList({"p1.jpg #0 p1.jpg 101x80", "p2.jpg #1 p2.jpg 102x80", "p3.jpg #2 p3.jpg 103x80"}));
    using Settings = QList<QPair<int, int>>;
    EXPECT_EQ(log.settings, Settings(3, qMakePair(int(kGray256), int(kTiffPackBits))));
    EXPECT_TRUE(r.tasksFailed);
    EXPECT_EQ(r.taskFailure, "Crop: outside");

    // Without tasks a JPEG file goes to the sink as it is; one the sink turns down is decoded.
    const QString fake = out.write("fake.jpg", "tiny");
    log = {};
    r = run({pages[0], fake, pages[3]}, log, [](Recorder& s) { s.takeJpegs = true; }, {kGray256, kTiffPackBits, nullptr});
    EXPECT_EQ(log.pages, QStringList({"file p1.jpg", "104"}));
    EXPECT_EQ(log.read, QStringList{"p4.png #2 p4.png 104x80"}) << "the unreadable page keeps its place";
    // Decoded and unedited, a JPEG page still carries its file for a PDF to take as it is.
    log = {};
    run({pages[1]}, log, {}, {-1, kTiffNone, nullptr});
    EXPECT_EQ(log.read, QStringList{"p2.jpg #0 p2.jpg 102x80 jpeg"});
    EXPECT_EQ(r.leftOut, QStringList{"fake.jpg"});
    EXPECT_FALSE(r.tasksFailed);
}

TEST_F(PagePipelineTest, StartedJobsWorkOffTheCallingThreadAndReportToIt)
{
    Recorder::Log log;
    auto sink = std::make_unique<Recorder>(log, true);
    PagePipeline pipeline(std::make_unique<FileList>(pages), std::move(sink), {});
    QList<int> done;
    QList<QThread*> threads;
    QObject::connect(&pipeline, &PagePipeline::progress, &owner, [&](int d, int total, const QString& item) {
        done << d;
        threads << QThread::currentThread();
        EXPECT_EQ(total, 7);
        EXPECT_TRUE(item.startsWith("File - 'p")) << item.toStdString();
    });
    bool finished = false;
    QObject::connect(&pipeline, &PagePipeline::finished, &owner, [&] { finished = true; });
    // Heard where it is sent: by then the worker holds no page, so the window, which drops the
    // job when it hears of its end, never waits on the worker's clean-up of a big page.
    bool pagesHeld = true;
    QObject::connect(&pipeline, &PagePipeline::finished, &pipeline,
                     [&] { pagesHeld = log.lastPage.isNull() || !log.lastPage.isDetached(); }, Qt::DirectConnection);
    pipeline.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 60000));
    EXPECT_FALSE(pagesHeld);
    EXPECT_NE(log.thread, QThread::currentThread());
    EXPECT_EQ(done, QList<int>({0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(threads, QList<QThread*>(7, QThread::currentThread()));
    EXPECT_EQ(pipeline.result().written, 7);
    EXPECT_EQ(log.commits, 1);

    // A job cancelled before it starts ends at once, its sink rolled back.
    Recorder::Log early;
    PagePipeline cancelled(std::make_unique<FileList>(pages), std::make_unique<Recorder>(early, false), {});
    bool ended = false;
    QObject::connect(&cancelled, &PagePipeline::finished, &owner, [&] { ended = true; });
    cancelled.cancel();
    cancelled.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 60000));
    EXPECT_TRUE(early.pages.isEmpty());
    EXPECT_EQ(early.rollbacks, 1);
    EXPECT_TRUE(cancelled.result().cancelled);
}

TEST_F(PagePipelineTest, ACancelWakesAJobWaitingForAPageDecodedAhead)
{
    // Any JPEG reader takes seconds on it: the job waits for it in the read-ahead.
    const QString slow = out.write("slow.jpg", readAll(TF_TEST_DATA_DIR "/jpeg-progressive-700-scans.jpg"));
    Recorder::Log log;
    PagePipeline pipeline(std::make_unique<FileList>(QStringList{slow, pages[0]}), std::make_unique<Recorder>(log, true), {});
    QElapsedTimer sinceCancel;
    QObject::connect(&pipeline, &PagePipeline::progress, &owner, [&](int done) {
        if (done != 0) return;
        pipeline.cancel();
        sinceCancel.start();
    });
    bool finished = false;
    QObject::connect(&pipeline, &PagePipeline::finished, &owner, [&] { finished = true; });
    pipeline.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 60000));
    // Half the decoders' limit: a busy machine is slow, but not that slow.
    EXPECT_LT(sinceCancel.elapsed(), 5000) << "the decode would have gone on for the decoders' whole limit";
    EXPECT_TRUE(pipeline.result().cancelled);
    EXPECT_TRUE(log.pages.isEmpty());
}

TEST_F(PagePipelineTest, DroppingARunningJobStopsItsWorker)
{
    // Pages that hang their decoders: the job is dropped while it waits on the first.
    Recorder::Log log;
    {
        PagePipeline pipeline(std::make_unique<FileList>(QStringList{hangingPage(), hangingPage("b.pbm")}),
                              std::make_unique<Recorder>(log, true), {});
        bool waiting = false;
        QObject::connect(&pipeline, &PagePipeline::progress, &owner, [&] { waiting = true; });
        pipeline.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return waiting; }, 60000));
    }
    EXPECT_TRUE(log.pages.isEmpty());
    EXPECT_EQ(log.rollbacks, 1);
}

} // namespace
} // namespace tf::test::multipage
