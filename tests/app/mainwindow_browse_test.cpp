// The browse area's wiring in the main window: one click per button, menu and list, the window's
// own answers to a shown file, and the window taken down mid-way. The behaviour is in tests/browse.
#include "mainwindow_gui.h"

#include "platform/sys/blockingcalls.h"

#include "browse/modPreview.h"
#include "controls/splitter.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/foldermodel.h"
#include "platform/ui/msgbox.h"
#include "platform/sys/numbers.h"
#include "platform/ui/statusbar.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace tf;
using namespace tf::test;

namespace {

// The rows the folder view lists of the shots folder, in its order (by name, case ignored).
const QStringList kListed = {"a.png", "B.JPG", "broken.png", "c.gif", "d.bmp", "large.png", "three.tif"};

class MainWindowBrowse : public MainWindowGui {
protected:
    void SetUp() override
    {
        MainWindowGui::SetUp();
        writeQt(shots.file("a.png"), solid(64, 48, Qt::red), "png");
        writeQt(shots.file("B.JPG"), solid(80, 60, Qt::green), "jpg");
        shots.write("broken.png", QByteArray("\x89PNG\r\n\x1a\n not an image at all"));
        {
            BlockingCallsAllowed here; // our GIF writer makes the file to browse
            ImageDocument gif;
            gif.setPicture(solid(16, 16, Qt::cyan));
            gif.SaveToFile(shots.file("c.gif"));
        }
        writeQt(shots.file("d.bmp"), solid(20, 10, Qt::yellow), "bmp");
        writeQt(shots.file("large.png"), solid(1200, 900, Qt::blue), "png");
        ASSERT_TRUE(writeRgbTiff(shots.file("three.tif"), {solid(40, 30, Qt::red), solid(40, 30, Qt::green), solid(40, 30, Qt::blue)}));
        writeQt(shots.file(".hidden.png"), solid(8, 8, Qt::black), "png");
        shots.write("notes.txt", "not a picture");
    }

    frmMain& startOnShots(bool details, QSize size = QSize(1000, 700)) { return startOn(shots.path(), details, size); }

    QString panel(const char* key) const { return m_window->sbMain()->panelText(QString::fromLatin1(key)); }
    QString shownFile() const { return QFileInfo(m_window->browse()->ibMain()->Tag()).fileName(); }
    // The image as the preview placed it: where the fit routine puts an image of this size.
    QRect fittedAt(QSize shown) const
    {
        const QWidget* viewport = m_window->browse()->PicViewImage();
        const PreviewFit fit = fncComputePreviewFit(viewport->contentsRect().size(), shown);
        return QRect(viewport->contentsRect().topLeft() + fit.position, fit.size);
    }

    // The button names the entry chosen, and its caption, padded for the button's picture, runs
    // to the button's right margin and so never into the picture.
    static void expectCaption(QPushButton* button, const QString& caption)
    {
        EXPECT_TRUE(button->text().endsWith(caption)) << button->text().toStdString();
        EXPECT_GE(QFontMetrics(button->font()).horizontalAdvance(button->text()), button->width() - 11);
    }

    TempFolder shots;
};

} // namespace

TEST_F(MainWindowBrowse, TheSavedFolderIsListedOnceAtStartUp)
{
    savedSettings(shots.path(), /*details*/ true);
    frmMain& w = start(QSize());
    EXPECT_TRUE(w.browse()->SelectedFolder().isEmpty()) << "nothing is opened before the window shows";
    int rowsAdded = 0;
    QObject::connect(w.browse()->lvFolder()->model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) { rowsAdded += last - first + 1; });
    QStringList folderEvents;
    QObject::connect(w.browse()->ftvBrowse(), &FolderTreeView::FolderClick, [&](const QString& path) { folderEvents << path; });
    QSignalSpy treeLoaded(w.browse()->ftvBrowse()->folderModel(), &FolderModel::directoryLoaded);

    w.resize(1000, 700);
    w.show();
    QApplication::processEvents();
    // Let the tree read the folders around the chosen one: that must not choose it again.
    (void)QTest::qWaitFor([&] { return treeLoaded.count() > 0; }, 2000);
    QApplication::processEvents();
    settleBrowse();

    EXPECT_EQ(folderEvents, QStringList{shots.path()});
    ASSERT_EQ(rowTexts(w.browse()->lvFolder()), kListed);
    EXPECT_EQ(rowsAdded, kListed.size()) << "the folder is listed once";
    EXPECT_EQ(w.browse()->SelectedFolder(), shots.path());
    EXPECT_FALSE(pictureOf(rowAt(w.browse()->lvFolder(), 1)).isNull()) << "the window's file icon of details mode";
    EXPECT_EQ(panel("folder"), "Current Folder - " + shots.path());
    EXPECT_FALSE(w.pbQueue()->isVisible());
    EXPECT_FALSE(w.browse()->ibMain()->isVisible()) << "nothing is previewed before a row is chosen";
    EXPECT_TRUE(w.sbMain()->isVisible());

    w.resize(900, 650);
    QApplication::processEvents();
    EXPECT_EQ(rowsAdded, kListed.size()) << "later resizes only lay out the panes";
}

TEST_F(MainWindowBrowse, TheFolderButtonsSwitchModesAndPreviousAndNextStepOneRowPerClick)
{
    frmMain& w = startOnShots(/*details*/ true);
    click(w.browse()->cmdThumbnailFolder());
    EXPECT_EQ(gudtSettings.FolderView, 0);
    EXPECT_EQ(w.browse()->lvFolder()->iconSize(), QSize(glngFolderThumbWidth, glngFolderThumbHeight));
    click(w.browse()->cmdDetailFolder());
    EXPECT_EQ(gudtSettings.FolderView, 3);
    EXPECT_EQ(w.browse()->lvFolder()->iconSize(), QSize(16, 16));

    clickRow(w.browse()->lvFolder(), "B.JPG");
    // One click, one row: a second handler on the button would skip one.
    click(w.browse()->cmdPreviewNext());
    EXPECT_EQ(selectedRow(w.browse()->lvFolder()), 3);
    click(w.browse()->cmdPreviewPrevious());
    click(w.browse()->cmdPreviewPrevious());
    EXPECT_EQ(shownFile(), "a.png");
    EXPECT_EQ(selectedRow(w.browse()->lvFolder()), 1);
}

TEST_F(MainWindowBrowse, AClickedRowIsPreviewedAndTheWindowFollows)
{
    frmMain& w = startOnShots(/*details*/ true);
    clickRow(w.browse()->lvFolder(), "a.png");
    EXPECT_TRUE(w.browse()->lvFolder()->hasFocus());
    EXPECT_EQ(shownFile(), "a.png");
    EXPECT_TRUE(w.browse()->ibMain()->isVisible());
    EXPECT_EQ(w.browse()->ibMain()->geometry(), fittedAt(QSize(64, 48))) << "in the window's viewport";
    EXPECT_TRUE(w.browse()->cmdPreviewSave()->isEnabled() && w.browse()->cmdPreviewPrint()->isEnabled() &&
                w.browse()->CmdPreviewEdit()->isEnabled());
    // A PNG has no metadata: the preview takes the metadata pane's room.
    EXPECT_EQ(w.arrangement(), PaneArrangement::PreviewWithoutMetadata);

    // A TIFF has: the metadata pane comes back on its EXIF tab, and the window's tab handler ran.
    clickRow(w.browse()->lvFolder(), "three.tif");
    EXPECT_EQ(w.splView()->RightOrBottomControl(), w.PicMetadata());
    EXPECT_EQ(w.tbsMetadata()->SelectedIndex(), 1);
    EXPECT_TRUE(w.metadata()->lvExif()->isVisibleTo(w.PicMetadata()));
    EXPECT_EQ(w.metadata()->bytMetadataKind(), 0);

    // In a window as wide as the screenshot's, the panels' texts are shown whole; only the
    // folder's path gives way.
    clickRow(w.browse()->lvFolder(), "B.JPG");
    w.resize(1280, 1000);
    QApplication::processEvents();
    for (const char* key : {"filename", "pages", "resolution", "queue", "metadata"}) {
        const QLabel* label = w.sbMain()->panel(QString::fromLatin1(key));
        EXPECT_GE(label->width(), label->sizeHint().width()) << key;
    }

    // Nothing shown: nothing to save, print or edit.
    clickRow(w.browse()->lvFolder(), "broken.png");
    EXPECT_FALSE(w.browse()->ibMain()->isVisible());
    EXPECT_FALSE(w.browse()->cmdPreviewSave()->isEnabled() || w.browse()->cmdPreviewPrint()->isEnabled() ||
                 w.browse()->CmdPreviewEdit()->isEnabled());
}

TEST_F(MainWindowBrowse, TheZoomMenuFitsThePreviewToTheWindowsViewportAndTheTypeMenuSwitches)
{
    frmMain& w = startOnShots(/*details*/ true);
    clickRow(w.browse()->lvFolder(), "large.png");
    const QSize inner = w.browse()->PicViewImage()->contentsRect().size();
    ASSERT_TRUE(inner.width() < 1200 && inner.height() < 900) << "the window is smaller than the picture";
    EXPECT_EQ(w.browse()->ibMain()->geometry(), fittedAt(w.browse()->ibMain()->size()));
    EXPECT_TRUE(w.mnuPreviewFit(0)->isChecked());

    chooseFromMenu(w.browse()->cmdPreviewView(), "mnuPreviewFitParent", "Actual Size");
    EXPECT_TRUE(w.mnuPreviewFit(1)->isChecked());
    expectCaption(w.browse()->cmdPreviewView(), "    Actual Size");
    EXPECT_EQ(w.browse()->ibMain()->size(), QSize(1200, 900));
    ASSERT_TRUE(w.browse()->hsbView()->isVisible() && w.browse()->vsbView()->isVisible());
    EXPECT_EQ(w.browse()->hsbView()->maximum(), 1200 - inner.width());

    // The window's layout fits the preview again: the bars follow the new viewport.
    w.resize(1100, 760);
    QApplication::processEvents();
    EXPECT_EQ(w.browse()->hsbView()->maximum(), 1200 - w.browse()->PicViewImage()->contentsRect().width());

    chooseFromMenu(w.browse()->cmdPreviewView(), "mnuPreviewFitParent", "Best Fit");
    expectCaption(w.browse()->cmdPreviewView(), "    Best Fit");
    EXPECT_FALSE(w.browse()->hsbView()->isVisible() || w.browse()->vsbView()->isVisible());

    chooseFromMenu(w.browse()->cmdPreviewType(), "mnuPreviewTypeParent", "Optimized");
    EXPECT_TRUE(w.browse()->mblnOptimizedPreview);
    expectCaption(w.browse()->cmdPreviewType(), "    Optimized");
}

TEST_F(MainWindowBrowse, ThePreviewTitlePutsItsMenusInTheMenuBarAndPopsThePreviewMenuUpUnderIt)
{
    frmMain& w = startOnShots(/*details*/ true);
    QMenuBar* bar = w.menuBar();
    QWidget* client = w.centralWidget();
    EXPECT_FALSE(bar->isVisible()) << "no menu on show, no bar";
    EXPECT_EQ(client->y(), 0);
    const QSize size = w.size();
    const QRect status = inWindow(w.sbMain());

    QLabel* title = find<QLabel>("Label4");
    ASSERT_TRUE(inWindow(w.browse()->picToolbarPreview()).contains(inWindow(title)));
    QTest::mouseClick(title, Qt::LeftButton);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu, w.browse()->mnuPreviewParent());
    // Placed in the client area as it lies below the bar that just came up.
    EXPECT_EQ(menu->pos(), client->mapToGlobal(QPoint(w.splView()->x() + title->x(), title->height())));
    menu->close();

    ASSERT_TRUE(bar->isVisible());
    QList<QMenu*> shown;
    for (QAction* action : bar->actions())
        if (action->isVisible()) shown << action->menu();
    EXPECT_EQ(shown, QList<QMenu*>({w.browse()->mnuPreviewFitParent(), w.browse()->mnuPreviewTypeParent(),
                                    w.browse()->mnuSavePreviewAsParent()}));
    // The window keeps its size: the panes give the bar its room, the status bar stays at the bottom.
    ASSERT_GT(bar->height(), 0);
    EXPECT_EQ(w.size(), size);
    EXPECT_EQ(client->y(), bar->height());
    EXPECT_EQ(inWindow(w.picView()).top(), bar->height());
    EXPECT_EQ(inWindow(w.sbMain()), status);
    EXPECT_EQ(inWindow(w.splMain()).bottom() + 1, status.top());

    ASSERT_TRUE(closeWindow());
    const typSettings stored = readSettingsBack();
    EXPECT_EQ(QSize(stored.WindowWidth, stored.WindowHeight), QSize(pixelsToTwips(size.width()), pixelsToTwips(size.height())))
        << "the window's size, bar included";
}

TEST_F(MainWindowBrowse, BasketPagesArePreviewedAndWalkedWhenTheBasketHadTheFocus)
{
    frmMain& w = startOnShots(/*details*/ true);
    clickRow(w.browse()->lvFolder(), "three.tif");
    click(w.basket()->cmdAddToQueue());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
    ASSERT_EQ(rowTexts(w.basket()->lvPages()), QStringList({"three1", "three2", "three3"}));
    EXPECT_EQ(panel("folder"), shots.path()) << "the basket asks the browse area for its folder";

    // The basket list the window handed over: its clicks show a page, and previous and next walk it.
    clickRow(w.basket()->lvPages(), "three2");
    EXPECT_EQ(w.browse()->dragSourceList(), "lvPages");
    EXPECT_EQ(w.browse()->ibMain()->Tag(), tagOf(row(w.basket()->lvPages(), "three2")));
    click(w.browse()->cmdPreviewNext());
    EXPECT_EQ(selectedRow(w.basket()->lvPages()), 3);
    EXPECT_EQ(w.browse()->ibMain()->image().pixelColor(20, 15), QColor(Qt::blue));

    // A drop on the basket: the arrow keys show nothing until a row is clicked.
    const QRect target = w.basket()->lvPages()->visualRect(rowAt(w.basket()->lvPages(), 1));
    w.basket()->lvPages_OLEDragDrop(w.basket()->lvPages(), target.center());
    EXPECT_TRUE(w.browse()->mblnSuppressItemShow);
}

TEST_F(MainWindowBrowse, TheFolderAndTheZoomAreStoredAtClose)
{
    TempFolder other;
    writeQt(other.file("z.png"), solid(30, 20, Qt::magenta), "png");
    frmMain& w = startOnShots(/*details*/ false);
    ASSERT_EQ(rowCount(w.browse()->lvFolder()), kListed.size());
    EXPECT_EQ(w.browse()->ilFolder().count(), kListed.size() - 1) << "thumbnails, as the settings say";

    ASSERT_TRUE(w.browse()->ftvBrowse()->setSelectedFolder(other.path()));
    EXPECT_EQ(rowTexts(w.browse()->lvFolder()), QStringList{"z.png"});
    EXPECT_EQ(panel("folder"), "Current Folder - " + other.path());
    chooseFromMenu(w.browse()->cmdPreviewView(), "mnuPreviewFitParent", "Actual Size");
    // The settings dialog's OK applies the record again: the zoom chosen since stays.
    w.subUpdateForm();
    EXPECT_TRUE(w.mnuPreviewFit(1)->isChecked());
    expectCaption(w.browse()->cmdPreviewView(), "    Actual Size");
    ASSERT_TRUE(closeWindow());

    const typSettings stored = readSettingsBack();
    EXPECT_EQ(stored.TreeFolder, other.path());
    EXPECT_EQ(stored.PreviewFit, 1);
    EXPECT_EQ(stored.FolderView, 0);
}

TEST_F(MainWindowBrowse, AFolderClickedDuringALongListingIsTheOneTheTreeShows)
{
    TempFolder root;
    QDir().mkpath(root.file("long"));
    QDir().mkpath(root.file("short"));
    for (int i = 0; i < 12; ++i) writeQt(root.file(QString("long/m%1.png").arg(i, 2, 10, QChar('0'))), solid(40, 30, Qt::gray), "png");
    writeQt(root.file("short/s.png"), solid(30, 20, Qt::magenta), "png");
    frmMain& w = startOn(root.path(), /*details*/ false);
    FolderTreeView* tree = w.browse()->ftvBrowse();
    FolderModel* folders = tree->folderModel();
    tree->expand(folders->index(root.path()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return folders->index(root.file("short")).isValid() &&
                                             folders->index(root.file("long")).isValid(); }, 5000));
    QApplication::processEvents();
    // A click on the folder's name, as the user makes it.
    const auto clickFolder = [&](const QString& path) {
        const QModelIndex index = folders->index(path);
        tree->scrollTo(index);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(index).center());
    };

    // The second click comes while the first folder is still being listed, from inside its yields.
    bool clickedAgain = false;
    QObject::connect(w.browse()->lvFolder()->model(), &QAbstractItemModel::rowsInserted, &w, [&] {
        if (clickedAgain || rowCount(w.browse()->lvFolder()) != 2 || w.browse()->fileMainPath() != root.file("long")) return;
        clickedAgain = true;
        QTimer::singleShot(0, &w, [&] { clickFolder(root.file("short")); });
    });
    clickFolder(root.file("long"));
    QApplication::processEvents();

    ASSERT_TRUE(clickedAgain);
    EXPECT_EQ(rowTexts(w.browse()->lvFolder()), QStringList{"s.png"});
    EXPECT_EQ(panel("folder"), "Current Folder - " + root.file("short"));
    EXPECT_EQ(tree->SelectedFolder(), root.file("short"));
    const QModelIndexList highlighted = tree->selectionModel()->selectedRows();
    ASSERT_EQ(highlighted.size(), 1);
    EXPECT_EQ(folders->filePath(highlighted[0]), root.file("short")) << "the tree highlights the folder listed";
}

TEST_F(MainWindowBrowse, FileDialogsOpenInTheBrowsedFolderUntilTheirKindWasUsed)
{
    forgetFileDialogFolders();
    TempFolder other, baskets;
    const QString chosen = baskets.write("week.ibf", "not a basket");
    frmMain& w = startOnShots(/*details*/ true);
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;
    click(w.basket()->cmdPagesOpen());
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    EXPECT_EQ(dialogs.fileRequests().back().initialDir, shots.path());

    ASSERT_TRUE(w.browse()->ftvBrowse()->setSelectedFolder(other.path()));
    dialogs.answerFile(chosen);
    click(w.basket()->cmdPagesOpen());
    EXPECT_EQ(dialogs.fileRequests().back().initialDir, other.path()) << "the folder browsed now";
    click(w.basket()->cmdPagesOpen());
    EXPECT_EQ(dialogs.fileRequests().back().initialDir, baskets.path()) << "where a basket was opened last";
    forgetFileDialogFolders();
}

TEST_F(MainWindowBrowse, ClosingDuringAListingStopsItAndTheWindowGoesCleanly)
{
    TempFolder many;
    for (int i = 0; i < 12; ++i) writeQt(many.file(QString("m%1.png").arg(i, 2, 10, QChar('0'))), solid(40, 30, Qt::gray), "png");
    frmMain& w = startOnShots(/*details*/ false);
    ASSERT_TRUE(w.browse()->ftvBrowse()->setSelectedFolder(many.path()));
    ASSERT_TRUE(w.browse()->listingBusy());
    EXPECT_TRUE(w.pbQueue()->isVisible());
    ASSERT_TRUE(closeWindow());
    EXPECT_FALSE(w.browse()->listingBusy()) << "the listing stopped with the window";
    EXPECT_FALSE(w.pbQueue()->isVisible());
    EXPECT_EQ(readSettingsBack().TreeFolder, many.path());
}

TEST_F(MainWindowBrowse, ClosingDuringAnAddStopsItAndTheWindowGoesAtOnce)
{
    QList<QImage> pages;
    for (int p = 0; p < 30; ++p) pages << solid(800 + p, 600, QColor::fromHsv(p * 9, 200, 200));
    ASSERT_TRUE(writeRgbTiff(shots.file("thirty.tif"), pages));
    frmMain& w = startOnShots(/*details*/ true);
    clickRow(w.browse()->lvFolder(), "thirty.tif");
    QSignalSpy landed(&w.basket()->model(), &basket::BasketModel::appended);
    click(w.basket()->cmdAddToQueue());
    ASSERT_TRUE(landed.wait(10000)) << "the pages are being split";

    ASSERT_TRUE(closeWindow()) << "the add does not hold the window";
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.basket()->isAdding());
    EXPECT_TRUE(QFileInfo::exists(settingsPath())) << "the shutdown ran";
    m_window.reset();
    EXPECT_EQ(QDir(tempDir()).entryList({"*.tif"}, QDir::Files), QStringList()) << "no page file of the add is left";
}

TEST_F(MainWindowBrowse, TheWindowGoesWithAMenuOpenAndTheBasketFocused)
{
    // Taken down in the state a user leaves it in: a page previewed, the basket focused, a
    // popup menu open. Nothing of the controllers may run on a widget already destroyed.
    for (int round = 0; round < 3; ++round) {
        frmMain& w = startOnShots(/*details*/ round != 1);
        clickRow(w.browse()->lvFolder(), "a.png");
        click(w.basket()->cmdAddToQueue());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
        clickRow(w.basket()->lvPages(), "a");
        EXPECT_TRUE(w.basket()->lvPages()->hasFocus());
        if (round == 2) {
            ASSERT_TRUE(closeWindow()); // closed first, destroyed afterwards
        } else {
            click(w.browse()->cmdPreviewView());
            EXPECT_NE(QApplication::activePopupWidget(), nullptr);
        }
        m_window.reset();
        QApplication::processEvents();
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    }
}

TEST_F(MainWindowBrowse, APictureThatHangsItsDecoderInTheStartFolderNeverHoldsTheWindow)
{
    TempFolder start;
    const QString hang = QStringLiteral("devil-pnm-hang.pbm");
    ASSERT_TRUE(QFile::copy(QStringLiteral(TF_LOADER_REGRESSION_DIR "/") + hang, start.file(hang)));
    writeQt(start.file("good.png"), solid(30, 20, Qt::darkGreen), "png");
    savedSettings(start.path(), /*details*/ false);

    QElapsedTimer shown;
    shown.start();
    frmMain& w = this->start();
    EXPECT_TRUE(w.isVisible());
    EXPECT_LT(shown.elapsed(), 8000) << "the hung decoder's ten seconds were waited for";
    EventLoopGaps gaps;
    ReportView* list = w.browse()->lvFolder();
    ASSERT_EQ(rowTexts(list), QStringList({hang, "good.png"})) << "every file has its row at once";
    ASSERT_TRUE(w.browse()->listingBusy());
    EXPECT_FALSE(pictureOf(row(list, hang)).isNull()) << "a picture still being made has a stand-in";

    // Chosen while its thumbnail is still being made: the preview waits for its own decoder.
    activate();
    clickRow(list, hang);
    EXPECT_EQ(panel("filename"), "Unable to read - " + hang);
    settleBrowse();
    EXPECT_LT(gaps.longestMs(), 5000);
    EXPECT_EQ(tipOf(row(list, hang)), "Unable to read: the picture took too long to decode");
    EXPECT_FALSE(pictureOf(row(list, hang)).isNull());
    EXPECT_FALSE(w.browse()->fncFolderThumbnail(row(list, "good.png")).isNull());
    clickRow(list, "good.png");
    EXPECT_EQ(panel("filename"), "good.png") << "the decoders serve the next file as before";
}

TEST_F(MainWindowBrowse, AFolderOfTwoThousandDamagedFilesListsEveryOneWithoutHoldingTheWindow)
{
    TempFolder damaged;
    const QByteArray pngStart("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    const QByteArray jpegStart("\xFF\xD8\xFF\xE0\0\x10JFIF", 10);
    const char* types[] = {"png", "jpg", "gif", "bmp", "tif"};
    for (int i = 0; i < 2000; ++i) {
        // Cut short after a sound start, or nothing of the type at all.
        const QString type = QString::fromLatin1(types[i % 5]);
        QByteArray bytes = type == "png" ? pngStart : type == "jpg" ? jpegStart : QByteArray("GIF89a\x10");
        if (i % 3 == 0) bytes = QByteArray(64 + i % 50, char(i));
        damaged.write(QString("d%1.%2").arg(i, 4, 10, QChar('0')).arg(type), bytes);
    }
    savedSettings(damaged.path(), /*details*/ false);
    frmMain& w = this->start();
    EventLoopGaps gaps;
    ReportView* list = w.browse()->lvFolder();
    ASSERT_EQ(rowCount(list), 2000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.browse()->listingBusy(); }, 120000));
    EXPECT_LT(gaps.longestMs(), 5000);
    ASSERT_EQ(rowCount(list), 2000);
    int withReason = 0;
    for (int i = 1; i <= rowCount(list); ++i) withReason += tipOf(rowAt(list, i)).startsWith("Unable to read") ? 1 : 0;
    EXPECT_EQ(withReason, 2000);
    EXPECT_FALSE(w.pbQueue()->isVisible());
}
