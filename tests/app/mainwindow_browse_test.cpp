// The folder view and the preview as the user meets them in the main window: the saved folder
// listed at start-up, details and thumbnails by the tool-bar buttons, a clicked row previewed
// with its status panels, previous and next, fit and actual size from the zoom menu, basket
// pages previewed, the folder and the preview fit back after a restart, and the window taken
// down in the middle of all this.
#include "mainwindow_gui.h"

#include "basket/BasketController.h"
#include "browse/BrowseController.h"
#include "browse/modPreview.h"
#include "controls/splitter.h"
#include "frame/globals.h"
#include "frame/modMainServices.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/listview.h"
#include "platform/ui/statusbar.h"
#include "platform/ui/tabstrip.h"
#include "services/clsFileInfo.h"

#include <QFileSystemModel>
#include <QImageWriter>
#include <QLabel>
#include <QMenu>
#include <QMimeDatabase>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace tf;
using namespace tf::test;
using tf::test::TempFolder;


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
        ImageDocument gif;
        gif.setPicture(solid(16, 16, Qt::cyan));
        gif.SaveToFile(shots.file("c.gif"));
        writeQt(shots.file("d.bmp"), solid(20, 10, Qt::yellow), "bmp");
        writeQt(shots.file("large.png"), solid(1200, 900, Qt::blue), "png");
        ASSERT_TRUE(writeRgbTiff(shots.file("three.tif"), {solid(40, 30, Qt::red), solid(40, 30, Qt::green), solid(40, 30, Qt::blue)}));
        writeQt(shots.file(".hidden.png"), solid(8, 8, Qt::black), "png");
        shots.write("notes.txt", "not a picture");
    }

    frmMain& startOnShots(bool details, QSize size = QSize(1000, 700)) { return startOn(shots.path(), details, size); }

    QString panel(const char* key) const { return m_window->sbMain->panelText(QString::fromLatin1(key)); }
    QString shownFile() const { return QFileInfo(m_window->ibMain->Tag()).fileName(); }
    int selectedRow(ListView* list) const { return list->Index(list->SelectedItem()); }
    QString sizeText(const QString& path) const
    {
        clsFileInfo info;
        info.FilePath(path);
        return info.fSizeFormated(gudtSettings.LongFileSize);
    }
    // The image as the preview placed it: where the fit routine puts an image of this size.
    QRect fittedAt(QSize shown) const
    {
        const QWidget* viewport = m_window->PicViewImage;
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

TEST_F(MainWindowBrowse, TheSavedFolderIsListedOnceAtStartUpWithTheDetailsTexts)
{
    savedSettings(shots.path(), /*details*/ true);
    frmMain& w = start(QSize());
    int rowsAdded = 0;
    QObject::connect(w.lvFolder->model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) { rowsAdded += last - first + 1; });
    QStringList folderEvents;
    QObject::connect(w.ftvBrowse, &FolderTreeView::FolderClick, [&](const QString& path) { folderEvents << path; });
    QSignalSpy treeLoaded(w.ftvBrowse->fileSystemModel(), &QFileSystemModel::directoryLoaded);

    w.resize(1000, 700);
    w.show();
    QApplication::processEvents();
    // Let the tree read the folders around the chosen one: that must not choose it again.
    (void)QTest::qWaitFor([&] { return treeLoaded.count() > 0; }, 2000);
    QApplication::processEvents();

    EXPECT_EQ(folderEvents, QStringList{shots.path()});
    ASSERT_EQ(rowTexts(w.lvFolder), kListed);
    EXPECT_EQ(rowsAdded, kListed.size()) << "the folder is listed once";
    EXPECT_EQ(w.browse()->SelectedFolder(), shots.path());

    const QStringList resolutions = {"64 X 48 X 24",   "80 X 60 X 24", "0 X 0 X 0",   "16 X 16 X 8",
                                     "20 X 10 X 24", "1200 X 900 X 24", "40 X 30 X 24"};
    for (int i = 0; i < kListed.size(); ++i) {
        SCOPED_TRACE(kListed[i].toStdString());
        QTreeWidgetItem* item = w.lvFolder->Item(i + 1);
        const QFileInfo info(shots.file(kListed[i]));
        EXPECT_EQ(ListView::Tag(item), shots.file(kListed[i]));
        EXPECT_EQ(ListView::SubItem(item, 1), resolutions[i]);
        EXPECT_EQ(ListView::SubItem(item, 2), sizeText(info.filePath()));
        EXPECT_EQ(ListView::SubItem(item, 3), kListed[i] == "three.tif" ? "3" : "1");
        EXPECT_EQ(ListView::SubItem(item, 4), QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment());
        EXPECT_EQ(ListView::SubItem(item, 6), fncFormatDateTime(info.lastModified()));
        EXPECT_EQ(ListView::SmallIcon(item), 1);
        EXPECT_FALSE(item->icon(0).isNull()) << "the file icon of details mode";
    }
    EXPECT_EQ(w.lvFolder->iconSize(), QSize(16, 16));
    QStringList captions;
    for (int i = 0; i < w.lvFolder->columnCount(); ++i) captions << w.lvFolder->headerItem()->text(i);
    EXPECT_EQ(captions, QStringList({"File Name", "Resolution", "Size", "Pages", "Type", "Date Created", "Date Modified",
                                     "Date Accessed"}));
    EXPECT_EQ(panel("folder"), "Current Folder - " + shots.path());
    EXPECT_FALSE(w.pbQueue->isVisible());
    EXPECT_FALSE(w.ibMain->isVisible()) << "nothing is previewed before a row is chosen";
}

TEST_F(MainWindowBrowse, TheFolderButtonsSwitchBetweenThumbnailsAndDetails)
{
    frmMain& w = startOnShots(/*details*/ true);
    ASSERT_EQ(w.lvFolder->Count(), kListed.size());
    int rowsAdded = 0;
    QObject::connect(w.lvFolder->model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) { rowsAdded += last - first + 1; });

    // Rows listed in details mode have no thumbnails: the folder is listed again, without the
    // file no picture can be made of.
    click(w.cmdThumbnailFolder);
    QStringList readable = kListed;
    readable.removeOne("broken.png");
    EXPECT_EQ(gudtSettings.FolderView, 0);
    ASSERT_EQ(rowTexts(w.lvFolder), readable);
    EXPECT_EQ(rowsAdded, readable.size());
    EXPECT_EQ(w.lvFolder->iconSize(), QSize(glngFolderThumbWidth, glngFolderThumbHeight));
    EXPECT_EQ(ListView::SubItem(row(w.lvFolder, "a.png"), 1), "64 x 48");
    EXPECT_EQ(ListView::SubItem(row(w.lvFolder, "B.JPG"), 1), "80 x 60");
    EXPECT_EQ(ListView::SubItem(row(w.lvFolder, "three.tif"), 3), "3");
    for (int i = 1; i <= w.lvFolder->Count(); ++i) {
        QTreeWidgetItem* item = w.lvFolder->Item(i);
        EXPECT_FALSE(w.browse()->fncFolderThumbnail(item).isNull()) << i;
        EXPECT_EQ(item->icon(0).pixmap(w.lvFolder->iconSize()).toImage(),
                  w.browse()->fncFolderThumbnail(item).toImage()) << i;
    }
    const QRgb aThumbnail = row(w.lvFolder, "a.png")->icon(0).pixmap(w.lvFolder->iconSize()).toImage().pixel(20, 20);
    EXPECT_EQ(aThumbnail, QColor(Qt::red).rgb());

    // Back to details: the same rows, nothing read again.
    rowsAdded = 0;
    click(w.cmdDetailFolder);
    EXPECT_EQ(gudtSettings.FolderView, 3);
    EXPECT_EQ(rowTexts(w.lvFolder), readable);
    EXPECT_EQ(rowsAdded, 0);
    EXPECT_EQ(w.lvFolder->iconSize(), QSize(16, 16));
    for (int i = 1; i <= w.lvFolder->Count(); ++i) EXPECT_EQ(ListView::SmallIcon(w.lvFolder->Item(i)), 1) << i;

    // And thumbnails once more: the rows have theirs, so they are reused.
    click(w.cmdThumbnailFolder);
    EXPECT_EQ(rowsAdded, 0);
    EXPECT_EQ(row(w.lvFolder, "a.png")->icon(0).pixmap(w.lvFolder->iconSize()).toImage().pixel(20, 20), aThumbnail);
    EXPECT_EQ(w.lvFolder->SmallIcons(), &w.browse()->ilFolder());
}

TEST_F(MainWindowBrowse, AClickedRowIsPreviewedWithItsStatusPanels)
{
    frmMain& w = startOnShots(/*details*/ true);
    clickRow(w.lvFolder, "a.png");
    EXPECT_TRUE(w.lvFolder->hasFocus());
    ASSERT_TRUE(w.ibMain->HasImage());
    EXPECT_TRUE(w.ibMain->isVisible());
    EXPECT_EQ(w.ibMain->Tag(), shots.file("a.png"));
    EXPECT_EQ(w.browse()->PicTiffTag(), shots.file("a.png"));
    EXPECT_EQ(w.ibMain->image().pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(panel("filename"), "a.png");
    EXPECT_EQ(panel("pages"), "1 page(s)");
    EXPECT_EQ(panel("resolution"), "64 X 48 X 24     " + sizeText(shots.file("a.png")));
    EXPECT_EQ(panel("status"), "100%") << "best fit never enlarges";
    EXPECT_EQ(w.ibMain->geometry(), fittedAt(QSize(64, 48))) << "centred in the viewport";
    EXPECT_TRUE(w.cmdPreviewSave->isEnabled() && w.cmdPreviewPrint->isEnabled() && w.CmdPreviewEdit->isEnabled());
    // A PNG has no metadata: the preview takes the metadata pane's room.
    EXPECT_EQ(w.splView->RightOrBottomControl(), nullptr);
    EXPECT_EQ(w.arrangement(), PaneArrangement::PreviewWithoutMetadata);

    clickRow(w.lvFolder, "three.tif");
    EXPECT_EQ(panel("pages"), "3 page(s)");
    EXPECT_EQ(panel("resolution"), "40 X 30 X 24     " + sizeText(shots.file("three.tif")));
    EXPECT_EQ(w.ibMain->image().pixelColor(20, 15), QColor(Qt::red)) << "page 1";
    // A TIFF has: the metadata pane comes back on its EXIF tab, and the window's tab handler ran.
    EXPECT_EQ(w.splView->RightOrBottomControl(), w.PicMetadata);
    EXPECT_EQ(w.tbsMetadata->SelectedIndex(), 1);
    EXPECT_TRUE(w.lvExif->isVisibleTo(w.PicMetadata));
    EXPECT_EQ(gbytMetadataKind, 0);

    clickRow(w.lvFolder, "B.JPG");
    EXPECT_EQ(panel("filename"), "B.JPG");
    EXPECT_EQ(panel("resolution"), "80 X 60 X 24     " + sizeText(shots.file("B.JPG")));
    // In a window as wide as the screenshot's, the exact texts are shown whole; only the folder's
    // path gives way.
    w.resize(1280, 1000);
    QApplication::processEvents();
    for (const char* key : {"filename", "pages", "resolution", "queue", "metadata"}) {
        const QLabel* label = w.sbMain->panel(QString::fromLatin1(key));
        EXPECT_GE(label->width(), label->sizeHint().width()) << key;
    }

    // A file that cannot be read says so and leaves nothing of the file before.
    clickRow(w.lvFolder, "broken.png");
    EXPECT_FALSE(w.ibMain->HasImage());
    EXPECT_FALSE(w.ibMain->isVisible());
    EXPECT_EQ(panel("filename"), "Unable to read - broken.png");
    EXPECT_EQ(panel("pages") + panel("resolution"), "");
    EXPECT_EQ(w.browse()->PicTiffTag(), "");
    EXPECT_FALSE(w.cmdPreviewSave->isEnabled());

    // A file deleted after the listing: a clear status, not the old picture.
    clickRow(w.lvFolder, "d.bmp");
    ASSERT_TRUE(w.ibMain->HasImage());
    QFile::remove(shots.file("c.gif"));
    clickRow(w.lvFolder, "c.gif");
    EXPECT_EQ(panel("filename"), "File not found - c.gif");
    EXPECT_FALSE(w.ibMain->isVisible());
}

TEST_F(MainWindowBrowse, PreviousAndNextStepOneRowAndStopAtTheEnds)
{
    frmMain& w = startOnShots(/*details*/ true);
    clickRow(w.lvFolder, "a.png");
    ASSERT_EQ(shownFile(), "a.png");

    click(w.cmdPreviewPrevious); // the first row: nothing before it
    EXPECT_EQ(shownFile(), "a.png");
    EXPECT_EQ(selectedRow(w.lvFolder), 1);

    // One click, one row: a second handler on the button would skip one.
    click(w.cmdPreviewNext);
    EXPECT_EQ(shownFile(), "B.JPG");
    EXPECT_EQ(selectedRow(w.lvFolder), 2);
    EXPECT_EQ(w.lvFolder->selectedInOrder().size(), 1);
    click(w.cmdPreviewNext);
    EXPECT_EQ(selectedRow(w.lvFolder), 3);
    EXPECT_EQ(panel("filename"), "Unable to read - broken.png");
    click(w.cmdPreviewNext); // a file that cannot be read does not stop the walk
    EXPECT_EQ(shownFile(), "c.gif");
    EXPECT_EQ(panel("resolution"), "16 X 16 X 8     " + sizeText(shots.file("c.gif")));

    clickRow(w.lvFolder, "three.tif");
    click(w.cmdPreviewNext); // the last row: nothing after it
    EXPECT_EQ(shownFile(), "three.tif");
    EXPECT_EQ(selectedRow(w.lvFolder), kListed.size());
    click(w.cmdPreviewPrevious);
    EXPECT_EQ(shownFile(), "large.png");

    // The arrow keys on the list show the row they move to.
    QTest::keyClick(w.lvFolder, Qt::Key_Up);
    EXPECT_EQ(shownFile(), "d.bmp");
}

TEST_F(MainWindowBrowse, TheZoomMenuSwitchesBetweenBestFitAndActualSize)
{
    frmMain& w = startOnShots(/*details*/ true);
    clickRow(w.lvFolder, "large.png");
    const QSize inner = w.PicViewImage->contentsRect().size();
    ASSERT_TRUE(inner.width() < 1200 && inner.height() < 900) << "the window is smaller than the picture";

    // Best fit: the whole picture, as large as the viewport lets it be, no scroll bars.
    const QRect fitted = w.ibMain->geometry();
    EXPECT_TRUE(fitted.width() == inner.width() || fitted.height() == inner.height());
    EXPECT_TRUE(fitted.width() <= inner.width() && fitted.height() <= inner.height());
    EXPECT_EQ(fitted, fittedAt(fitted.size()));
    EXPECT_FALSE(w.hsbView->isVisible() || w.vsbView->isVisible());
    EXPECT_LT(w.ibMain->Zoom(), 100.0);
    EXPECT_EQ(panel("status"), fncZoomText(w.ibMain->Zoom()));
    EXPECT_TRUE(w.mnuPreviewFit(0)->isChecked());

    chooseFromMenu(w.cmdPreviewView, "mnuPreviewFitParent", "Actual Size");
    EXPECT_TRUE(w.mnuPreviewFit(1)->isChecked());
    EXPECT_FALSE(w.mnuPreviewFit(0)->isChecked());
    expectCaption(w.cmdPreviewView, "    Actual Size");
    EXPECT_EQ(w.ibMain->size(), QSize(1200, 900));
    EXPECT_EQ(panel("status"), "100%");
    ASSERT_TRUE(w.hsbView->isVisible() && w.vsbView->isVisible());
    EXPECT_EQ(w.hsbView->maximum(), 1200 - inner.width());
    EXPECT_EQ(w.vsbView->maximum(), 900 - inner.height());
    w.hsbView->setValue(100);
    w.vsbView->setValue(40);
    EXPECT_EQ(w.ibMain->pos(), w.PicViewImage->contentsRect().topLeft() - QPoint(100, 40));

    // A new layout keeps the size and the bars follow the new viewport.
    w.resize(1100, 760);
    QApplication::processEvents();
    const QSize wider = w.PicViewImage->contentsRect().size();
    EXPECT_EQ(w.ibMain->size(), QSize(1200, 900));
    EXPECT_EQ(w.hsbView->maximum(), 1200 - wider.width());

    // A small picture at actual size sits in the middle.
    clickRow(w.lvFolder, "a.png");
    EXPECT_EQ(w.ibMain->geometry(), fittedAt(QSize(64, 48)));
    EXPECT_FALSE(w.hsbView->isVisible());

    // The checked entry again changes nothing; best fit brings the whole picture back.
    chooseFromMenu(w.cmdPreviewView, "mnuPreviewFitParent", "Actual Size");
    EXPECT_TRUE(w.mnuPreviewFit(1)->isChecked());
    clickRow(w.lvFolder, "large.png");
    chooseFromMenu(w.cmdPreviewView, "mnuPreviewFitParent", "Best Fit");
    expectCaption(w.cmdPreviewView, "    Best Fit");
    EXPECT_TRUE(w.ibMain->width() <= wider.width() && w.ibMain->height() <= wider.height());
    EXPECT_FALSE(w.hsbView->isVisible() || w.vsbView->isVisible());

    // The type menu pops up from its own button, with its two entries.
    click(w.cmdPreviewType);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "mnuPreviewTypeParent");
    QStringList entries;
    for (QAction* action : menu->actions()) entries << action->text();
    EXPECT_EQ(entries, QStringList({"Original", "Optimized"}));
    menu->close();
}

TEST_F(MainWindowBrowse, OptimizedReplaysTheEditListOnTheShownAndEveryNewlyShownFile)
{
    frmMain& w = startOnShots(/*details*/ true);
    struct Call {
        ListView* first;
        ListView* batch;
        ImageDocument* target;
        ListView* preview;
        bool all;
    };
    QList<Call> calls;
    setProcessPagesHandler([&](ListView* first, ListView* batch, ImageDocument& target, ListView* preview, bool& all) {
        calls.append({first, batch, &target, preview, all});
        target.setPicture(solid(10, 10, Qt::black));
    });
    struct Uninstall {
        ~Uninstall() { setProcessPagesHandler({}); }
    } uninstall;

    clickRow(w.lvFolder, "a.png");
    EXPECT_TRUE(calls.isEmpty()) << "the original preview replays nothing";
    chooseFromMenu(w.cmdPreviewType, "mnuPreviewTypeParent", "Optimized");
    ASSERT_EQ(calls.size(), 1) << "the image already shown";
    clickRow(w.lvFolder, "d.bmp");
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[1].first, w.lvEdit);
    EXPECT_EQ(calls[1].batch, w.lvEditBatch);
    EXPECT_EQ(calls[1].target, &w.ibMain->document());
    EXPECT_EQ(calls[1].preview, w.lvEditPreview);
    EXPECT_FALSE(calls[1].all);
    EXPECT_EQ(w.ibMain->ImageWidth(), 10);

    chooseFromMenu(w.cmdPreviewType, "mnuPreviewTypeParent", "Original");
    EXPECT_EQ(w.ibMain->image().size(), QSize(20, 10)) << "the file as loaded";
    clickRow(w.lvFolder, "a.png");
    EXPECT_EQ(calls.size(), 2);
}

TEST_F(MainWindowBrowse, BasketPagesArePreviewedAndWalkedWhenTheBasketHadTheFocus)
{
    frmMain& w = startOnShots(/*details*/ true);
    clickRow(w.lvFolder, "a.png");
    clickRow(w.lvFolder, "three.tif", Qt::ControlModifier);
    ASSERT_EQ(w.lvFolder->selectedInOrder().size(), 2);
    EXPECT_EQ(shownFile(), "three.tif") << "the folder list shows the row clicked last";

    click(w.cmdAddToQueue);
    ASSERT_EQ(rowTexts(w.lvPages), QStringList({"a", "three1", "three2", "three3"}));
    EXPECT_EQ(panel("queue"), "4 file(s) in basket");
    EXPECT_EQ(panel("folder"), shots.path()) << "the folder the list shows";
    // Rows listed in details mode have no thumbnail: each page's picture is made from its file.
    for (int i = 1; i <= w.lvPages->Count(); ++i) EXPECT_FALSE(w.lvPages->Item(i)->icon(0).isNull()) << i;

    clickRow(w.lvPages, "three2");
    EXPECT_TRUE(w.lvPages->hasFocus());
    EXPECT_EQ(w.browse()->mstrDragSourceList, "lvPages");
    EXPECT_EQ(w.ibMain->Tag(), ListView::Tag(row(w.lvPages, "three2")));
    EXPECT_EQ(w.ibMain->image().pixelColor(20, 15), QColor(Qt::green)) << "the second page";
    EXPECT_EQ(panel("pages"), "1 page(s)");
    EXPECT_EQ(panel("resolution"), "40 X 30     " + ListView::SubItem(row(w.lvPages, "three2"), 2));

    // Previous and next walk the basket, the list that had the focus last.
    click(w.cmdPreviewNext);
    EXPECT_EQ(w.ibMain->image().pixelColor(20, 15), QColor(Qt::blue));
    EXPECT_EQ(selectedRow(w.lvPages), 4);
    click(w.cmdPreviewNext);
    EXPECT_EQ(selectedRow(w.lvPages), 4);
    click(w.cmdPreviewPrevious);
    click(w.cmdPreviewPrevious);
    EXPECT_EQ(w.ibMain->image().pixelColor(20, 15), QColor(Qt::red)) << "the first page";
    EXPECT_EQ(rowTexts(w.lvFolder).size(), kListed.size());
    EXPECT_EQ(w.lvFolder->selectedInOrder().size(), 2) << "the folder list was left as it was";

    // A drop on the basket now moves pages: the basket asks the same owner which list it was.
    clickRow(w.lvPages, "a");
    const QRect target = w.lvPages->visualItemRect(w.lvPages->Item(3));
    w.basket()->lvPages_OLEDragDrop(w.lvPages, target.center());
    EXPECT_EQ(rowTexts(w.lvPages), QStringList({"three1", "three2", "a", "three3"}));
    // After a drop the arrow keys show nothing until a row is clicked.
    EXPECT_TRUE(w.browse()->mblnSuppressItemShow);
    const QString before = w.ibMain->Tag();
    QTest::keyClick(w.lvPages, Qt::Key_Down);
    EXPECT_EQ(w.ibMain->Tag(), before);

    // Back in the folder list, the buttons walk it again.
    clickRow(w.lvFolder, "c.gif");
    EXPECT_EQ(w.browse()->mstrDragSourceList, "lvFolder");
    click(w.cmdPreviewNext);
    EXPECT_EQ(shownFile(), "d.bmp");
}

TEST_F(MainWindowBrowse, TheFolderAndTheZoomComeBackAfterARestart)
{
    TempFolder other;
    writeQt(other.file("z.png"), solid(30, 20, Qt::magenta), "png");
    frmMain& w = startOnShots(/*details*/ false);
    ASSERT_EQ(w.lvFolder->Count(), kListed.size() - 1) << "thumbnails, as the settings say";

    ASSERT_TRUE(w.ftvBrowse->setSelectedFolder(other.path()));
    EXPECT_EQ(rowTexts(w.lvFolder), QStringList{"z.png"});
    EXPECT_EQ(panel("folder"), "Current Folder - " + other.path());
    chooseFromMenu(w.cmdPreviewView, "mnuPreviewFitParent", "Actual Size");
    // The settings dialog's OK applies the record again: the zoom chosen since stays.
    w.subUpdateForm();
    EXPECT_TRUE(w.mnuPreviewFit(1)->isChecked());
    expectCaption(w.cmdPreviewView, "    Actual Size");
    ASSERT_TRUE(closeWindow());

    const typSettings stored = readSettingsBack();
    EXPECT_EQ(stored.TreeFolder, other.path());
    EXPECT_EQ(stored.PreviewFit, 1);
    EXPECT_EQ(stored.FolderView, 0);

    gudtSettings = typSettings();
    frmMain& again = start();
    activate();
    EXPECT_EQ(again.ftvBrowse->SelectedFolder(), other.path());
    EXPECT_EQ(rowTexts(again.lvFolder), QStringList{"z.png"});
    EXPECT_EQ(again.lvFolder->iconSize(), QSize(glngFolderThumbWidth, glngFolderThumbHeight));
    EXPECT_TRUE(again.mnuPreviewFit(1)->isChecked());
    expectCaption(again.cmdPreviewView, "  Actual Size");
    clickRow(again.lvFolder, "z.png");
    EXPECT_EQ(panel("status"), "100%");
    EXPECT_EQ(panel("resolution"), "30 x 20     " + sizeText(other.file("z.png")));
}

TEST_F(MainWindowBrowse, ClosingDuringAListingStopsItAndTheWindowGoesCleanly)
{
    TempFolder many;
    for (int i = 0; i < 12; ++i) writeQt(many.file(QString("m%1.png").arg(i, 2, 10, QChar('0'))), solid(40, 30, Qt::gray), "png");
    frmMain& w = startOnShots(/*details*/ false);
    bool closed = false;
    QObject::connect(w.lvFolder->model(), &QAbstractItemModel::rowsInserted, &w, [&] {
        if (!closed && w.lvFolder->Count() == 2) {
            closed = true;
            QTimer::singleShot(0, &w, [&] { w.close(); });
        }
    });
    ASSERT_TRUE(w.ftvBrowse->setSelectedFolder(many.path()));
    EXPECT_TRUE(closed);
    EXPECT_FALSE(w.isVisible());
    EXPECT_LT(w.lvFolder->Count(), 12) << "the listing stopped with the window";
    EXPECT_FALSE(w.pbQueue->isVisible());
    EXPECT_EQ(readSettingsBack().TreeFolder, many.path());
}

TEST_F(MainWindowBrowse, TheWindowGoesWithAMenuOpenAndTheBasketFocused)
{
    // Taken down in the state a user leaves it in: a page previewed, the basket focused, a
    // popup menu open. Nothing of the controllers may run on a widget already destroyed.
    for (int round = 0; round < 3; ++round) {
        frmMain& w = startOnShots(/*details*/ round != 1);
        clickRow(w.lvFolder, "a.png");
        click(w.cmdAddToQueue);
        clickRow(w.lvPages, "a");
        EXPECT_TRUE(w.lvPages->hasFocus());
        if (round == 2) {
            ASSERT_TRUE(closeWindow()); // closed first, destroyed afterwards
        } else {
            click(w.cmdPreviewView);
            EXPECT_NE(QApplication::activePopupWidget(), nullptr);
        }
        m_window.reset();
        QApplication::processEvents();
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    }
}
