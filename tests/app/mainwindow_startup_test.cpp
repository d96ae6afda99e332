// Starting the main window: its widgets, fixed lists, explorer bar, pictures and the applied settings.
#include "mainwindow_fixture.h"

#include "controls/modFontsCombo.h"
#include "controls/splitter.h"
#include "platform/sys/workfiles.h"
#include "platform/ui/statusbar.h"

#include <QComboBox>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>

#include <sys/wait.h>
#include <unistd.h>

using namespace tf;
using tf::test::MainWindowTest;

namespace {

// The start's clean-up runs beside the window; this waits for its end in the test's event loop.
void untilDeadRunsCleanedUp(frmMain& w)
{
    QSignalSpy ended(&w, &frmMain::WorkFilesOfDeadRunsRemoved);
    if (!w.workFilesOfDeadRunsRemoved()) {
        ASSERT_TRUE(ended.wait(60000)) << "the clean-up never ended";
    }
}

} // namespace

TEST_F(MainWindowTest, TheSplittersHoldTheirPanesAndTheHiddenControlsStayHidden)
{
    frmMain& w = start();
    EXPECT_EQ(w.windowTitle(), "Tavrel Folio");
    EXPECT_EQ(w.splMain()->Orientation(), 1);
    EXPECT_NE(w.splRight()->Orientation(), 1);
    const std::pair<Splitter*, std::pair<QWidget*, QWidget*>> nesting[] = {
        {w.splMain(), {w.splRight(), w.splLeft()}},
        {w.splRight(), {w.picBrowse(), w.splView()}},
        {w.splLeft(), {w.picFolder(), w.PicQueue()}},
        {w.splView(), {w.picView(), w.PicMetadata()}},
    };
    for (const auto& [splitter, panes] : nesting) {
        EXPECT_EQ(splitter->LeftOrTopControl(), panes.first) << splitter->objectName().toStdString();
        EXPECT_EQ(splitter->RightOrBottomControl(), panes.second) << splitter->objectName().toStdString();
        EXPECT_EQ(panes.first->parentWidget(), splitter);
        EXPECT_EQ(panes.second->parentWidget(), splitter);
    }
    EXPECT_EQ(w.browse()->ibMain()->parentWidget(), w.browse()->PicViewImage());
    EXPECT_EQ(w.editing()->eb()->parentWidget(), w.picView());
    EXPECT_EQ(w.basket()->lvPages()->model()->columnCount(), 5);
    EXPECT_TRUE(w.basket()->lvPages()->acceptDrops()) << "folder rows can be dropped on the basket";
    EXPECT_EQ(w.browse()->tbsBrowse()->TabCaption(2), "  Task Basket  ");
    EXPECT_EQ(w.tbsMetadata()->TabCaption(2), "IPTC File Info");
    for (const char* key : {"folder", "filename", "pages", "resolution", "metadata", "status", "queue"})
        EXPECT_TRUE(w.sbMain()->hasPanel(key)) << key;
    EXPECT_EQ(w.sbMain()->panelText("queue"), "No files in basket");
    for (QWidget* panel : w.optionPanels()) EXPECT_EQ(panel->pos(), QPoint(0, 0)) << panel->objectName().toStdString();
}

TEST_F(MainWindowTest, ControlArraysAreNamedAndReachedByIndex)
{
    frmMain& w = start(QSize());
    const std::tuple<const char*, int, QPushButton* (frmMain::*)(int) const> arrays[] = {
        {"cmdEditBar", frmMain::kEditBarCount, &frmMain::cmdEditBar},
        {"cmdEditPreview", frmMain::kEditBarCount, &frmMain::cmdEditPreview},
        {"cmdEXIFBar", frmMain::kEXIFBarCount, &frmMain::cmdEXIFBar},
        {"cmdIPTCBar", frmMain::kIPTCBarCount, &frmMain::cmdIPTCBar},
    };
    for (const auto& [name, count, accessor] : arrays) {
        for (int i = 0; i < count; ++i) {
            QPushButton* button = (w.*accessor)(i);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->objectName(), QStringLiteral("%1_%2").arg(QString::fromLatin1(name)).arg(i));
        }
        EXPECT_EQ((w.*accessor)(count), nullptr);
        EXPECT_EQ((w.*accessor)(-1), nullptr);
    }
    EXPECT_EQ(w.mnuPreviewFit(2), nullptr);
}

TEST_F(MainWindowTest, TheFontListComesFromTheFontSourceAndEachTaskShowsItsIcon)
{
    setFontNameSource([](bool) { return std::optional<QStringList>(QStringList{"Gamma Sans", "Alpha Serif"}); });
    frmMain& w = start(QSize());
    setFontNameSource({});
    const QComboBox* fonts = find<QComboBox>("ComboFontFamily");
    ASSERT_EQ(fonts->count(), 2);
    EXPECT_EQ(fonts->itemText(0), "Gamma Sans");
    EXPECT_EQ(fonts->itemText(1), "Alpha Serif");
    EXPECT_EQ(fonts->currentIndex(), 0);
    EXPECT_EQ(find<QComboBox>("comboFontSize")->count(), 93);
    const ExplorerBarModel& m = w.editing()->eb()->model();
    ASSERT_EQ(m.shownGroups(), (QVector<int>{ExplorerBarModel::kSpecialGroup, 1, 2}));
    const typExplorerBarGroup* tasks = m.groupRecord(ExplorerBarModel::kSpecialGroup);
    ASSERT_EQ(tasks->iItemCount(), 16);
    for (const typExplorerBarItem& item : tasks->aItems)
        EXPECT_FALSE(m.imageList()->image(item.iIcon).isNull()) << item.sKey.toStdString();
    EXPECT_EQ(m.groupRecord(1)->pChild, w.editing()->picDialog());
    EXPECT_EQ(m.groupRecord(2)->pChild, w.editing()->picEditPreview());
    EXPECT_EQ(w.editing()->picDialog()->parentWidget(), w.editing()->eb());
    EXPECT_FALSE(w.editing()->eb()->isPaintEnabled()) << "the bar paints once it is first shown";
}

TEST_F(MainWindowTest, SettingsFromTheFileArePutOnTheWindow)
{
    typSettings s = fncDefaultSettings();
    s.SplitterPosition = {40, 60, 25, 80};
    s.PreviewType = 0;
    s.PreviewFit = 1;
    s.FolderColumnWidth[3] = 150;
    s.PagesColumnWidth[4] = 222;
    s.MetadataColumnWidth = {60, 70, 80, 90};
    s.FolderFullRowSelect = -1;
    s.ShowToolTips = 0;
    s.WindowWidth = 700 * 15;
    s.WindowHeight = 500 * 15;
    writeSettings(s);

    frmMain& w = start(QSize());
    EXPECT_EQ(w.splMain()->SplitterPosition(), 40);
    EXPECT_EQ(w.splRight()->SplitterPosition(), 60);
    EXPECT_EQ(w.splLeft()->SplitterPosition(), 25);
    EXPECT_EQ(w.splView()->SplitterPosition(), 80);
    EXPECT_TRUE(w.mnuPreviewType(0)->isChecked());
    EXPECT_FALSE(w.mnuPreviewType(1)->isChecked());
    EXPECT_TRUE(w.mnuPreviewFit(1)->isChecked());
    EXPECT_FALSE(w.browse()->mblnOptimizedPreview);
    EXPECT_TRUE(w.browse()->cmdPreviewType()->text().endsWith("    Original"));
    EXPECT_TRUE(w.browse()->cmdPreviewView()->text().endsWith("  Actual Size"));
    EXPECT_EQ(w.browse()->lvFolder()->columnWidth(3), 150);
    EXPECT_EQ(w.basket()->lvPages()->columnWidth(4), 222);
    EXPECT_EQ(w.metadata()->lvIPTC()->columnWidth(1), 90);
    EXPECT_EQ(w.browse()->lvFolder()->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(w.basket()->lvPages()->selectionBehavior(), QAbstractItemView::SelectItems);
    EXPECT_TRUE(w.basket()->lvPages()->toolTip().isEmpty());
    EXPECT_TRUE(w.metadata()->lvExif()->toolTip().isEmpty());
    EXPECT_EQ(w.size(), QSize(700, 500));

    gudtSettings.ShowToolTips = 1;
    w.subUpdateForm();
    EXPECT_EQ(w.basket()->lvPages()->toolTip(), "List all added files or pages for creating/editing multipage TIFF and PDF.");
    EXPECT_EQ(w.browse()->ftvBrowse()->toolTip(), "Browse for a particular folder where image files are placed.");
    EXPECT_EQ(w.browse()->PicViewImage()->toolTip(), "Container for the preview file.");
    EXPECT_EQ(w.metadata()->lvExif()->toolTip(), "List all available EXIF attributes from JPEG/TIFF files.");
}

TEST_F(MainWindowTest, TabStripsSwitchTheirListsAndTheMetadataKind)
{
    frmMain& w = start();
    const QRect tree = w.browse()->picFileSystem()->geometry();
    w.browse()->tbsBrowse()->setSelectedIndex(2);
    EXPECT_FALSE(w.browse()->picFileSystem()->isVisible());
    EXPECT_TRUE(w.editing()->lvEdit()->isVisible());
    EXPECT_TRUE(w.editing()->picEditBar()->isVisible());
    EXPECT_EQ(w.browse()->lblBrowse()->text(), "Task Basket");
    EXPECT_EQ(w.editing()->lvEdit()->geometry(), tree) << "the edit list takes exactly the folder tree's rectangle";
    w.browse()->tbsBrowse()->setSelectedIndex(1);
    EXPECT_TRUE(w.browse()->picFileSystem()->isVisible());
    EXPECT_FALSE(w.editing()->lvEdit()->isVisible());
    EXPECT_FALSE(w.editing()->picEditBar()->isVisible());
    EXPECT_EQ(w.browse()->lblBrowse()->text(), "Browse File System");

    w.tbsMetadata()->setSelectedIndex(2);
    EXPECT_EQ(w.metadata()->bytMetadataKind(), 1);
    EXPECT_TRUE(w.metadata()->lvIPTC()->isVisible());
    EXPECT_TRUE(w.metadata()->picIPTCBar()->isVisible());
    EXPECT_FALSE(w.metadata()->lvExif()->isVisible());
    EXPECT_FALSE(w.metadata()->picEXIFBar()->isVisible());
    EXPECT_EQ(w.metadata()->picIPTCBar()->pos(), w.metadata()->picEXIFBar()->pos());
    w.tbsMetadata()->setSelectedIndex(1);
    EXPECT_EQ(w.metadata()->bytMetadataKind(), 0);
    EXPECT_TRUE(w.metadata()->lvExif()->isVisible());
    EXPECT_FALSE(w.metadata()->lvIPTC()->isVisible());
}

TEST_F(MainWindowTest, TheStartRemovesTheWorkFilesOfAKilledRun)
{
    // A run killed in the middle of an append: its hidden copy beside the document and its work
    // folder stay behind, written down in its journal.
    // A file of the user's named as such copies once were stays.
    QDir().mkpath(tempDir() + QStringLiteral("/multipage-killed"));
    const QString users = m_home.path() + QStringLiteral("/.doc.pdf.Ab12Cd");
    QFile(users).open(QIODevice::WriteOnly);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QString copy;
        ::close(tf::createWorkFile(m_home.path(), QString(), 0600, &copy));
        tf::recordWorkFile(users);
        tf::recordWorkFile(tempDir() + QStringLiteral("/multipage-killed"));
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    ASSERT_EQ(QDir(m_home.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    frmMain& w = start(QSize());
    untilDeadRunsCleanedUp(w);
    EXPECT_EQ(QDir(m_home.path()).entryList(QDir::Files | QDir::Hidden), QStringList({".doc.pdf.Ab12Cd"}));
    EXPECT_FALSE(QFile::exists(tempDir() + QStringLiteral("/multipage-killed")));
}

TEST_F(MainWindowTest, TheWindowShowsWithoutWaitingForTheCleanUpOfAJournal)
{
    // A killed run's page folder, and a clean-up held at its journal until the window has shown.
    const QString folder = tempDir() + QStringLiteral("/multipage-killed");
    QDir().mkpath(folder);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        tf::recordWorkFile(folder);
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    struct Held {
        std::shared_ptr<QSemaphore> reached = std::make_shared<QSemaphore>();
        std::shared_ptr<QSemaphore> released = std::make_shared<QSemaphore>();
        // Let go whatever the test's end: the window waits for its clean-up as it goes.
        ~Held() { released->release(1000); }
    } held;
    tf::setBeforeJournalForTests([reached = held.reached, released = held.released] {
        reached->release();
        released->acquire();
    });
    frmMain& w = start();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.workFilesOfDeadRunsRemoved());
    held.reached->acquire(); // the clean-up is at the journal, held
    EXPECT_TRUE(QFile::exists(folder));
    EXPECT_TRUE(find<QComboBox>("comboFontSize")->count() > 0) << "the set-up went on past the clean-up";
    held.released->release(1000);
    untilDeadRunsCleanedUp(w);
    EXPECT_FALSE(QFile::exists(folder));
    m_window.reset();
    tf::setBeforeJournalForTests({});
}
