#include "frame/LongCommand.h"
#include "frame/frmStatus.h"
#include "frame/globals.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QProgressBar>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// Failures print the text, not the bytes.
static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

using namespace tf;

namespace {

QPushButton* cancelButton(LongCommand& cmd)
{
    return cmd.status() ? cmd.status()->findChild<QPushButton*>("cmdCancel") : nullptr;
}

// A page job as the program runs one: a long command held for the length of the job, the work on
// a worker thread, progress and the end queued to the GUI thread, where the end lets go of the
// command. The test lets the worker take each step (an item, then its end), so a Cancel lands
// exactly where the test puts it.
class PageJob {
public:
    explicit PageJob(int count, const QString& operation = QStringLiteral("Saving a MultiPage file"),
                     QWidget* owner = nullptr)
        : m_count(count)
    {
        command = std::make_unique<LongCommand>(operation);
        if (!*command) {
            command.reset();
            return;
        }
        command->showStatus(owner);
        command->setCancelHandler([this] {
            ++cancels;
            m_stop = true;
            m_steps.release(m_count + 1);
        });
        m_thread.reset(QThread::create([this] { work(); }));
        command->whenShown([this] { m_thread->start(); });
    }
    ~PageJob()
    {
        m_stop = true;
        m_steps.release(m_count + 1);
        if (m_thread) m_thread->wait();
    }

    bool refused() const { return !m_thread; }
    // Lets the worker do its next item, and waits until the item has reached the GUI thread.
    void step()
    {
        const qsizetype before = done.size();
        m_steps.release();
        EXPECT_TRUE(QTest::qWaitFor([&] { return done.size() > before; }, 10000));
    }
    // Lets the worker go to its end and waits until the end has reached the GUI thread.
    void finish()
    {
        m_steps.release(m_count + 1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ended; }, 10000));
    }

    std::unique_ptr<LongCommand> command;
    QStringList done;
    int cancels = 0;
    bool ended = false;
    std::function<void()> onEnd;

private:
    void work()
    {
        for (int i = 1; i <= m_count; ++i) {
            m_steps.acquire();
            if (m_stop) break;
            const QString item = QStringLiteral("page%1.tif").arg(i);
            QMetaObject::invokeMethod(&m_gui, [this, i, item] {
                done << item;
                command->showProgress(i, m_count, item);
            }, Qt::QueuedConnection);
        }
        if (!m_stop) m_steps.acquire(); // the last step is the end
        QMetaObject::invokeMethod(&m_gui, [this] {
            ended = true;
            command.reset();
            if (onEnd) onEnd();
        }, Qt::QueuedConnection);
    }

    const int m_count;
    QObject m_gui; // queued calls die with the job
    QSemaphore m_steps;
    std::atomic<bool> m_stop{false};
    std::unique_ptr<QThread> m_thread;
};

const QStringList kAllFive = {"page1.tif", "page2.tif", "page3.tif", "page4.tif", "page5.tif"};

QStringList runWhole(int count)
{
    PageJob job(count);
    if (job.refused()) return {};
    job.finish();
    return job.done;
}

class CountingWindow : public QWidget {
public:
    int closes = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (fncCloseWhenIdle(this)) {
            event->ignore();
            return;
        }
        ++closes;
        event->accept();
    }
};

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gstrCurrentOperation.clear();
    }
    void TearDown() override { QCoreApplication::processEvents(); }
};

} // namespace

// ---- the progress window ------------------------------------------------------------------------

TEST_F(ProgressTest, StatusWindowIsModelessAndItsCancelOnlyAsksTheCommandToStop)
{
    const struct {
        const char* what;
        void (*act)(frmStatus&);
        int cancels;
    } cases[] = {
        {"Cancel", [](frmStatus& s) { s.findChild<QPushButton*>("cmdCancel")->click(); }, 1},
        {"Escape", [](frmStatus& s) { s.reject(); }, 1},
        {"the program's own close is no Cancel", [](frmStatus& s) { s.close(); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LongCommand command(QStringLiteral("Saving a MultiPage file"));
        int cancels = 0;
        command.setCancelHandler([&] { ++cancels; });
        frmStatus& status = *command.showStatus();
        EXPECT_EQ(status.windowTitle(), "Processing...");
        EXPECT_FALSE(status.isModal());
        EXPECT_EQ(status.findChild<QLabel*>("lblStatus")->text(), "Please wait..... your request is being processed");
        c.act(status);
        EXPECT_EQ(cancels, c.cancels);
        if (c.cancels == 0) continue;
        EXPECT_EQ(status.findChild<QLabel*>("lblStatus")->text(), "Please wait...... cancelling operaration");
        EXPECT_TRUE(status.isVisible()); // the command closes it, not the button
    }
}

// ---- the cancel protocol ------------------------------------------------------------------------

TEST_F(ProgressTest, CancelStopsTheJobKeepsItsWorkAndDoesNotReachTheNextCommand)
{
    const struct {
        const char* what;
        int at, presses;
    } cases[] = {
        {"after the third of five items", 3, 1},
        {"twice: acts as once", 2, 2},
        {"after the last item, before the job's end", 5, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PageJob job(5);
        ASSERT_FALSE(job.refused());
        QPointer<frmStatus> window = job.command->status();
        for (int i = 1; i <= c.at; ++i) job.step();
        EXPECT_EQ(gstrCurrentOperation, kAllFive[c.at - 1]) << "the job names its item";
        EXPECT_EQ(window->findChild<QProgressBar*>("pbQueue")->value(), c.at);
        for (int press = 0; press < c.presses; ++press) cancelButton(*job.command)->click();
        EXPECT_EQ(job.cancels, 1);
        EXPECT_TRUE(isLongCommandRunning()) << "the command lasts until the job's end";
        job.finish();
        EXPECT_EQ(job.done, kAllFive.first(c.at));
        EXPECT_TRUE(window.isNull()); // the command closed its progress window
        EXPECT_FALSE(isLongCommandRunning());
        EXPECT_EQ(runWhole(5), kAllFive);
    }
}

// ---- the busy guard -----------------------------------------------------------------------------

TEST_F(ProgressTest, AnyCommandStartedWhileAJobRunsIsRefused)
{
    PageJob job(2);
    ASSERT_FALSE(job.refused());
    // A click on another command's button, or a helper's own command, while the job works.
    PageJob second(3, QStringLiteral("Converting files"));
    EXPECT_TRUE(second.refused());
    EXPECT_FALSE(LongCommand("replaying the task list"));
    EXPECT_EQ(gstrCurrentOperation, "Saving a MultiPage file") << "the running command's text stays";
    job.step();
    EXPECT_EQ(job.cancels, 0) << "a refused command stops nothing";
    job.finish();
    EXPECT_EQ(job.done, kAllFive.first(2));
    EXPECT_FALSE(isLongCommandRunning());
    EXPECT_EQ(runWhole(3), kAllFive.first(3));
}

// ---- commands whose work runs on a worker thread ---------------------------------------------

TEST_F(ProgressTest, AJobStartsOnceItsWindowIsPaintedAndHearsEveryWayOfCancelling)
{
    CountingWindow owner;
    owner.show();
    const struct {
        const char* what;
        std::function<void(LongCommand&)> cancel;
    } ways[] = {
        {"the Cancel button", [](LongCommand& c) { c.status()->findChild<QPushButton*>("cmdCancel")->click(); }},
        {"Escape", [](LongCommand& c) { c.status()->reject(); }},
        {"closing the main window", [&](LongCommand&) { owner.close(); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        auto job = std::make_unique<LongCommand>("Saving a MultiPage file");
        ASSERT_TRUE(*job);
        job->showStatus(&owner, true);
        EXPECT_EQ(job->status()->windowModality(), Qt::WindowModal);
        bool started = false;
        int cancels = 0;
        job->setCancelHandler([&] { ++cancels; });
        job->whenShown([&] { started = true; });
        EXPECT_FALSE(started) << "not before the window has painted";
        EXPECT_TRUE(QTest::qWaitFor([&] { return started; }, 5000));

        job->showProgress(2, 7, "File - 'p3.tif'");
        EXPECT_EQ(job->status()->findChild<QProgressBar*>("pbQueue")->maximum(), 7);
        EXPECT_EQ(job->status()->findChild<QProgressBar*>("pbQueue")->value(), 2);
        EXPECT_EQ(gstrCurrentOperation, "File - 'p3.tif'");

        way.cancel(*job);
        way.cancel(*job); // a second press asks nothing more of the job
        EXPECT_EQ(cancels, 1);
        EXPECT_TRUE(owner.isVisible());
        job.reset(); // the job has ended
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(owner.closes, 1) << "the main window closed once the job had ended";

    // Without a window the work starts at once.
    LongCommand quiet("Saving a MultiPage file");
    bool started = false;
    quiet.whenShown([&] { started = true; });
    EXPECT_TRUE(started);
}

TEST_F(ProgressTest, ClosingTheMainWindowCancelsTheJobAndClosesOnceItHasEnded)
{
    CountingWindow window;
    window.show();
    PageJob job(5, QStringLiteral("Saving a MultiPage file"), &window);
    ASSERT_FALSE(job.refused());
    bool visibleAtTheEnd = false;
    job.onEnd = [&] { visibleAtTheEnd = window.isVisible(); };
    job.step();
    job.step();
    window.close(); // the user closes the main window, then once more
    window.close();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(job.cancels, 1);
    job.finish();
    EXPECT_EQ(job.done, kAllFive.first(2));
    EXPECT_TRUE(visibleAtTheEnd) << "the window waited for the job's end";
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.closes > 0; }, 10000));
    EXPECT_EQ(window.closes, 1);
    EXPECT_FALSE(window.isVisible());

    EXPECT_FALSE(fncCloseWhenIdle(&window)); // idle: the window closes at once
    int ran = 0;
    cancelLongCommandThen([&] { ++ran; });
    EXPECT_EQ(ran, 1);
}
