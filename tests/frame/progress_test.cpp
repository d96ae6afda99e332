#include "frame/LongCommand.h"
#include "frame/frmStatus.h"
#include "frame/globals.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QWidget>
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

// Presses Cancel the way the user does: the click arrives while the loop yields.
void clickCancelDuringNextYield(LongCommand& cmd)
{
    QPointer<QPushButton> button = cancelButton(cmd);
    ASSERT_TRUE(button);
    QTimer::singleShot(0, button, [button] { button->click(); });
}

// Runs a page loop over `count` items; `during(i)` runs as item i's work. Gives the items done.
QStringList runLoop(int count, const std::function<void(LongCommand&, int)>& during = {},
                    bool* wasRefused = nullptr)
{
    QStringList done;
    LongCommand cmd("Saving a MultiPage file");
    if (wasRefused) *wasRefused = !cmd;
    if (!cmd) return done;
    cmd.showStatus();
    for (int i = 1; i <= count; ++i) {
        if (!cmd.nextItem(QStringLiteral("page%1.tif").arg(i))) break;
        done << QStringLiteral("page%1.tif").arg(i);
        if (during) during(cmd, i);
    }
    return done;
}

const QStringList kAllFive = {"page1.tif", "page2.tif", "page3.tif", "page4.tif", "page5.tif"};

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
        gblnCancelOperation = 0;
        gstrCurrentOperation.clear();
    }
    void TearDown() override { QCoreApplication::processEvents(); }
};

} // namespace

// ---- the progress window ------------------------------------------------------------------------

TEST_F(ProgressTest, StatusWindowIsModelessAndItsCancelOnlyRaisesTheFlag)
{
    frmStatus status;
    status.show();
    EXPECT_EQ(status.windowTitle(), "Processing...");
    EXPECT_FALSE(status.isModal());
    EXPECT_EQ(status.lblStatus->text(), "Please wait..... your request is being processed");

    status.findChild<QPushButton*>("cmdCancel")->click();
    EXPECT_EQ(gblnCancelOperation, -1);
    EXPECT_EQ(status.lblStatus->text(), "Please wait...... cancelling operaration");
    EXPECT_TRUE(status.isVisible()); // the command closes it, not the button

    gblnCancelOperation = 0;
    status.reject(); // Escape
    EXPECT_EQ(gblnCancelOperation, -1);
    EXPECT_TRUE(status.isVisible());
    gblnCancelOperation = 0;
    status.close(); // the program's own close is no Cancel
    EXPECT_EQ(gblnCancelOperation, 0);
}

// ---- the cancel protocol ------------------------------------------------------------------------

TEST_F(ProgressTest, CancelStopsAfterTheItemKeepsTheWorkAndDoesNotReachTheNextCommand)
{
    enum Press { Now = 1, DuringTheYield = 2 };
    const struct {
        const char* what;
        int count, at, presses, done;
    } cases[] = {
        {"while the loop yields", 5, 3, DuringTheYield, 3},
        {"inside the item's own work: seen at the next item", 5, 2, Now, 2},
        {"twice: acts as once", 5, 2, Now | DuringTheYield, 2},
        {"after the last test of the command", 3, 3, Now, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QPointer<frmStatus> window;
        QStringList activity;
        const QStringList done = runLoop(c.count, [&](LongCommand& cmd, int i) {
            window = cmd.status();
            activity << gstrCurrentOperation;
            EXPECT_TRUE(isLongCommandRunning() && window->isVisible());
            if (i != c.at) return;
            if (c.presses & Now) cancelButton(cmd)->click();
            if (c.presses & DuringTheYield) clickCancelDuringNextYield(cmd);
        });
        EXPECT_EQ(done, kAllFive.first(c.done));
        EXPECT_EQ(activity, done);
        EXPECT_EQ(gblnCancelOperation, 0);
        EXPECT_TRUE(window.isNull()); // the command closed its progress window
        EXPECT_FALSE(isLongCommandRunning());
        EXPECT_EQ(runLoop(5), kAllFive);
    }
    // A flag left set by anything else before a command starts does not stop it.
    gblnCancelOperation = -1;
    EXPECT_EQ(runLoop(5), kAllFive);
    EXPECT_EQ(gblnCancelOperation, 0);
}

// ---- the busy guard -----------------------------------------------------------------------------

TEST_F(ProgressTest, SecondCommandStartedDuringTheYieldsIsRefused)
{
    bool refused = false;
    QStringList secondDone;
    QString activityAfterRefusal;
    const QStringList done = runLoop(4, [&](LongCommand&, int i) {
        if (i == 2)
            QTimer::singleShot(0, [&] {
                // What a click on another command's button does while the save yields.
                secondDone = runLoop(3, {}, &refused);
                activityAfterRefusal = gstrCurrentOperation;
            });
    });
    EXPECT_TRUE(refused);
    EXPECT_TRUE(secondDone.isEmpty());
    EXPECT_EQ(activityAfterRefusal, "page3.tif"); // the running command's text stays
    EXPECT_EQ(done, QStringList({"page1.tif", "page2.tif", "page3.tif", "page4.tif"}));
    EXPECT_EQ(runLoop(1, {}, &refused), QStringList({"page1.tif"}));
    EXPECT_FALSE(refused);
}

TEST_F(ProgressTest, AnyCommandStartedWhileOneRunsIsRefused)
{
    // A helper's own loop inside a command, or a click while a job runs on a worker: one at a time.
    bool innerStarted = true;
    runLoop(1, [&](LongCommand&, int) { innerStarted = bool(LongCommand("replaying the task list")); });
    EXPECT_FALSE(innerStarted);

    auto job = std::make_unique<LongCommand>("Saving a MultiPage file");
    ASSERT_TRUE(*job);
    bool refused = false;
    EXPECT_TRUE(runLoop(2, {}, &refused).isEmpty());
    EXPECT_TRUE(refused);
    EXPECT_EQ(gstrCurrentOperation, "Saving a MultiPage file") << "the running command's text stays";
    job.reset();
    EXPECT_FALSE(isLongCommandRunning());
    EXPECT_EQ(runLoop(2), kAllFive.first(2));
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
        {"the Cancel button", [](LongCommand& c) { c.status()->cmdCancel->click(); }},
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
        EXPECT_EQ(job->status()->pbQueue->maximum(), 7);
        EXPECT_EQ(job->status()->pbQueue->value(), 2);
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

TEST_F(ProgressTest, ClosingTheMainWindowCancelsAndClosesOnceTheLoopHasEnded)
{
    CountingWindow window;
    window.show();
    bool visibleWhenLoopEnded = false;
    const QStringList done = runLoop(5, [&](LongCommand&, int i) {
        if (i == 2) {
            window.close(); // the user closes the main window, then once more
            window.close();
        }
        visibleWhenLoopEnded = window.isVisible();
    });
    EXPECT_EQ(done, QStringList({"page1.tif", "page2.tif"}));
    EXPECT_TRUE(visibleWhenLoopEnded);
    EXPECT_EQ(window.closes, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.closes, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(gblnCancelOperation, 0);

    EXPECT_FALSE(fncCloseWhenIdle(&window)); // idle: the window closes at once
    int ran = 0;
    cancelLongCommandThen([&] { ++ran; });
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(gblnCancelOperation, 0);
}
