// Where and how large the main window opens: the first start, a stored size, and stored sizes and
// splitter positions at the ends of what the window can take.
#include "mainwindow_fixture.h"

#include "app/modWindowPlacement.h"
#include "controls/splitter.h"
#include "platform/sys/numbers.h"
#include "platform/ui/statusbar.h"

#include <QLabel>
#include <QScreen>

using namespace tf;
using tf::test::MainWindowTest;

TEST(WindowPlacement, TheFirstStartIsCentredInTheFreeArea)
{
    const struct {
        const char* what;
        QRect available;
        QRect expected;
    } cases[] = {
        {"a large screen", QRect(0, 0, 1920, 1080), QRect(448, 156, 1024, 768)},
        {"a panel above the free area", QRect(0, 40, 1280, 984), QRect(128, 148, 1024, 768)},
        {"a low screen", QRect(0, 0, 1366, 700), QRect(171, 0, 1024, 700)},
        {"a small screen", QRect(0, 0, 800, 600), QRect(0, 0, 800, 600)},
        {"below the window's minimum", QRect(10, 20, 500, 300), QRect(10, 20, 533, 400)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fncFirstStartGeometry(c.available), c.expected);
    }
}

TEST(WindowPlacement, AStoredPlaceIsKeptOrBroughtBackOntoTheFreeArea)
{
    const QRect free(0, 40, 1280, 984);
    const struct {
        const char* what;
        QPoint stored;
        QSize size;
        QPoint expected;
    } cases[] = {
        {"inside", QPoint(100, 200), QSize(800, 600), QPoint(100, 200)},
        {"over the right and bottom edges", QPoint(900, 700), QSize(800, 600), QPoint(480, 424)},
        {"on a screen that has gone, left", QPoint(-1500, 100), QSize(800, 600), QPoint(0, 100)},
        {"under the panel", QPoint(10, 0), QSize(800, 600), QPoint(10, 40)},
        {"larger than the area", QPoint(50, 60), QSize(1400, 1100), QPoint(0, 40)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fncRestoredWindowPosition(c.stored, c.size, free), c.expected);
    }
    // The frame's place is stored, also for a maximised window: its normal rectangle is the client's.
    const QRect client(300, 225, 800, 600), frame(296, 200, 808, 629);
    EXPECT_EQ(fncFramePositionToStore(client, client, frame), QPoint(296, 200));
    EXPECT_EQ(fncFramePositionToStore(QRect(100, 125, 800, 600), QRect(0, 25, 1280, 999), QRect(0, 0, 1280, 1024)),
              QPoint(100, 100));
}

namespace {

class MainWindowPlacement : public MainWindowTest {
protected:
    QRect available() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

    // Every control the issue names lies whole inside the window's client area.
    void expectEveryControlShows()
    {
        const QRect client = window().rect();
        for (const char* name : {"cmdPagesNew", "cmdPagesOpen", "cmdPagesSave", "cmdPagesDelete", "cmdAddToQueue",
                                 "cmdSaveAs", "cmdsaveAppend", "cmdBatchPrint", "cmdPreviewPrevious", "cmdPreviewNext",
                                 "cmdPreviewView", "cmdPreviewType", "CmdPreviewEdit", "cmdPreviewSave",
                                 "cmdPreviewPrint"}) {
            const QWidget* control = find<QWidget>(QString::fromLatin1(name));
            if (!control) continue;
            EXPECT_TRUE(control->isVisible()) << name;
            EXPECT_TRUE(client.contains(inWindow(control))) << name;
        }
        // The preview's bar is no wider than its pane: each of its items shows whole there.
        const QRect pane = inWindow(window().picView());
        for (const QWidget* item : window().browse()->picToolbarPreview()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!item->isVisibleTo(window().browse()->picToolbarPreview())) continue;
            EXPECT_TRUE(pane.contains(inWindow(item))) << item->objectName().toStdString();
        }
    }
};

} // namespace

TEST_F(MainWindowPlacement, TheFirstStartOpensLargeEnoughAndCentred)
{
    frmMain& w = start(QSize());
    const QRect free = available();
    EXPECT_EQ(w.size(), QSize(1024, 768).boundedTo(free.size()));
    EXPECT_LE((w.geometry().center() - free.center()).manhattanLength(), 1);
    w.show();
    QApplication::processEvents();
    EXPECT_EQ(w.size(), QSize(1024, 768).boundedTo(free.size())) << "showing keeps it";
    expectEveryControlShows();
    // At the full first-start size on a larger screen, the tool bar texts and the basket's panel
    // show whole as well.
    w.resize(kFirstStartWindowSize);
    QApplication::processEvents();
    expectEveryControlShows();
    const QLabel* queue = w.sbMain()->panel("queue");
    EXPECT_GE(queue->width(), queue->sizeHint().width()) << queue->text().toStdString();
}

TEST_F(MainWindowPlacement, StoredValuesAtTheirEndsAreBroughtWithinWhatTheWindowCanShow)
{
    typSettings s = fncDefaultSettings();
    s.WindowWidth = s.WindowHeight = 1;
    s.SplitterPosition = {0, 100, 0, 100};
    writeSettings(s);
    frmMain& small = start(QSize());
    EXPECT_EQ(small.size(), kMainWindowMinimumSize);
    // The splitters hold their positions within their limits, and no band of panes is left
    // without height.
    EXPECT_EQ(small.splMain()->SplitterPosition(), 10);
    EXPECT_EQ(small.splRight()->SplitterPosition(), 90);
    small.show();
    QApplication::processEvents();
    for (const QWidget* pane : {small.picBrowse(), small.picView(), small.PicMetadata(), small.picFolder(), small.PicQueue()})
        EXPECT_GT(pane->height(), 0) << pane->objectName().toStdString();
    m_window.reset();

    s.WindowWidth = s.WindowHeight = 32767 * 15;
    writeSettings(s);
    EXPECT_EQ(start(QSize()).size(), available().size());
}

TEST_F(MainWindowPlacement, TheWindowComesBackWhereItWasClosed)
{
    typSettings s = fncDefaultSettings();
    s.WindowWidth = tf::pixelsToTwips(600);
    s.WindowHeight = tf::pixelsToTwips(450);
    s.WindowPlaced = true;
    s.WindowLeft = 37;
    s.WindowTop = 52;
    writeSettings(s);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        frmMain& w = start(QSize());
        w.show();
        QApplication::processEvents();
        EXPECT_EQ(w.frameGeometry().topLeft(), QPoint(37, 52));
        ASSERT_TRUE(closeWindow());
        const typSettings back = readSettingsBack();
        EXPECT_TRUE(back.WindowPlaced);
        EXPECT_EQ(QPoint(back.WindowLeft, back.WindowTop), QPoint(37, 52));
        m_window.reset();
    }
}
