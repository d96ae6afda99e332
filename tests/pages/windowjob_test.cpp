// The window's page job: one long command from start to end, its progress window, Cancel, and
// the end on the GUI thread, over a pipeline whose pages are pictures and whose sink keeps them.
#include "pages/WindowJob.h"

#include "frame/LongCommand.h"
#include "frame/frmStatus.h"
#include "frame/globals.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace tf {
namespace {

class Pictures final : public PageSource {
public:
    explicit Pictures(int count) : m_count(count) {}
    int count() const override { return m_count; }
    Page page(int index) const override
    {
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::gray);
        return {{}, QStringLiteral("page %1").arg(index + 1), {}, picture};
    }

private:
    int m_count;
};

// Keeps the pages it takes; the page numbered `holdAt` (from 1) waits until the test lets it go.
struct Taken {
    std::atomic<int> pages{0};
    std::atomic<bool> held{false};
    std::atomic<bool> committed{false};
    QSemaphore go;
};

class KeepingSink final : public PageSink {
public:
    KeepingSink(Taken& taken, int holdAt = 0) : m_taken(taken), m_holdAt(holdAt) {}
    void open(const PageSource&, const PageFormat&) override {}
    void addPage(PreparedPage) override
    {
        if (++m_taken.pages == m_holdAt) {
            m_taken.held = true;
            m_taken.go.acquire();
        }
    }
    void commit() override { m_taken.committed = true; }
    void rollback() noexcept override {}
    bool keepsPagesOnCancel() const override { return true; }

private:
    Taken& m_taken;
    int m_holdAt;
};

frmStatus* statusOf(QWidget& owner) { return owner.findChild<frmStatus*>("frmStatus"); }

class WindowJobs : public ::testing::Test {
protected:
    void SetUp() override
    {
        owner.show();
    }
    // Starts `job` over `count` pictures; the end lands in `result`.
    bool start(WindowJob& job, int count, int holdAt = 0)
    {
        return job.start(std::make_unique<Pictures>(count), std::make_unique<KeepingSink>(taken, holdAt), {},
                         [this](const PipelineResult& r) {
                             result = r;
                             ended = true;
                             endedOnGuiThread = QThread::currentThread() == qApp->thread();
                             commandHeldAtEnd = isLongCommandRunning();
                         });
    }
    bool waitForEnd() { return QTest::qWaitFor([this] { return ended; }, 30000); }

    QWidget owner;
    Taken taken;
    PipelineResult result;
    bool ended = false;
    bool endedOnGuiThread = false;
    bool commandHeldAtEnd = false;
};

TEST_F(WindowJobs, RunsThePagesUnderItsProgressWindowAndEndsOnTheGuiThread)
{
    auto job = std::make_unique<WindowJob>(QStringLiteral("Saving a MultiPage file"));
    ASSERT_TRUE(*job);
    job->showStatus(&owner);
    frmStatus* status = statusOf(owner);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->windowModality(), Qt::WindowModal);
    job->setCaption(QStringLiteral("Loading Template..."));
    job->setActivity(QStringLiteral("first"));
    EXPECT_EQ(status->findChild<QLabel*>("lblStatus")->text(), "Loading Template...");
    EXPECT_EQ(status->findChild<QLabel*>("lblMessage")->text(), "first");

    QStringList items;
    int lastTotal = 0;
    QObject::connect(job.get(), &WindowJob::progress, job.get(), [&](int done, int total, const QString& item) {
        items << item;
        lastTotal = total;
        // The window shows the page before the caller hears of it.
        EXPECT_EQ(status->findChild<QProgressBar*>("pbQueue")->value(), done);
    });
    QPointer<frmStatus> window(status);
    ASSERT_TRUE(job->start(std::make_unique<Pictures>(3), std::make_unique<KeepingSink>(taken), {},
                           [&](const PipelineResult& r) {
                               result = r;
                               ended = true;
                               endedOnGuiThread = QThread::currentThread() == qApp->thread();
                               commandHeldAtEnd = isLongCommandRunning();
                               EXPECT_TRUE(window && window->isHidden()) << "hidden before the end is told";
                               job.reset(); // the caller lets go of its job while it is told
                           }));
    EXPECT_FALSE(job->start(std::make_unique<Pictures>(1), std::make_unique<KeepingSink>(taken), {}, {}))
        << "once only";
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(items, QStringList({"page 1", "page 2", "page 3"}));
    EXPECT_EQ(lastTotal, 3);
    EXPECT_EQ(result.written, 3);
    EXPECT_TRUE(result.committed);
    EXPECT_TRUE(endedOnGuiThread);
    EXPECT_TRUE(commandHeldAtEnd) << "the end is told before the command ends";
    EXPECT_FALSE(isLongCommandRunning());
    EXPECT_TRUE(window.isNull()) << "the progress window goes with the command";
}

TEST_F(WindowJobs, CancelStopsBeforeTheNextPageAndKeepsWhatWasTaken)
{
    const struct {
        const char* what;
        std::function<void(WindowJob&)> press;
    } ways[] = {
        {"its window's Cancel", [this](WindowJob&) { statusOf(owner)->findChild<QPushButton*>("cmdCancel")->click(); }},
        {"the window's own stop", [](WindowJob& job) { job.cancel(); }},
        {"a close of the main window", [](WindowJob&) { cancelRunningCommands(); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        taken.pages = 0;
        taken.held = false;
        ended = false;
        WindowJob job(QStringLiteral("Converting files"));
        job.showStatus(&owner);
        ASSERT_TRUE(start(job, 5, 2));
        EXPECT_TRUE(job.running());
        ASSERT_TRUE(QTest::qWaitFor([&] { return taken.held.load(); }, 30000));
        way.press(job);
        taken.go.release();
        ASSERT_TRUE(waitForEnd());
        EXPECT_FALSE(job.running());
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(result.written, 2);
        EXPECT_TRUE(result.committed) << "pages taken before the Cancel stay";
        EXPECT_FALSE(isLongCommandRunning());
    }

    // A stop before the work has begun: no page is taken.
    taken.pages = 0;
    ended = false;
    WindowJob early(QStringLiteral("Converting files"));
    early.cancel();
    ASSERT_TRUE(start(early, 3));
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(taken.pages.load(), 0);
}

TEST_F(WindowJobs, NoSecondCommandStartsWhileAJobRuns)
{
    auto first = std::make_unique<WindowJob>(QStringLiteral("Starting batch printing"));
    ASSERT_TRUE(start(*first, 3, 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return taken.held.load(); }, 30000));

    WindowJob second(QStringLiteral("Saving a MultiPage file"));
    EXPECT_FALSE(second);
    second.showStatus(&owner);
    EXPECT_EQ(statusOf(owner), nullptr) << "a refused job shows no window";
    EXPECT_FALSE(second.start(std::make_unique<Pictures>(1), std::make_unique<KeepingSink>(taken), {}, {}));
    EXPECT_FALSE(LongCommand(QStringLiteral("Adding selected files to basket!")));

    taken.go.release();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(result.written, 3);
    first.reset();
    ended = false;
    WindowJob next(QStringLiteral("Saving a MultiPage file"));
    EXPECT_TRUE(next);
    ASSERT_TRUE(start(next, 1));
    ASSERT_TRUE(waitForEnd());
}

} // namespace
} // namespace tf
