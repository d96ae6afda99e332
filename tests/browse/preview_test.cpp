// The preview: the selected row in ibMain, fit, panels, metadata pane, menus, previous/next, list events.
#include "browse_fixture.h"

#include "browse/modPreview.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "platform/sys/blockingcalls.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace browse_test;

TEST(PreviewRules, FitCentringBarsAndRowSteps)
{
    const PreviewFit small = fncComputePreviewFit({400, 300}, {200, 100});
    EXPECT_EQ(small.position, QPoint(100, 100));
    EXPECT_FALSE(small.hsbVisible || small.vsbVisible);
    EXPECT_EQ(fncComputePreviewFit({401, 301}, {200, 100}).position, QPoint(100, 100)); // 100.5
    EXPECT_EQ(fncComputePreviewFit({403, 303}, {200, 100}).position, QPoint(102, 102)); // 101.5
    const PreviewFit wide = fncComputePreviewFit({400, 300}, {401, 100});
    EXPECT_TRUE(wide.position == QPoint(0, 100) && wide.hsbVisible && !wide.vsbVisible && wide.hsbMax == 1);
    // Beyond the old 16-bit range the bar still reaches the end.
    EXPECT_EQ(fncComputePreviewFit({400, 300}, {40400, 300}).hsbMax, 40000);
    EXPECT_EQ(fncCentredPosition({100, 80}, {50, 40}, {48, 38}), QPoint(25, 20));
    EXPECT_EQ(fncCentredPosition({100, 80}, {150, 40}, {148, 38}), QPoint(0, 20));

    EXPECT_EQ(fncNextRowIndex(3, 1), 2);
    EXPECT_EQ(fncNextRowIndex(3, 3), 0);
    EXPECT_EQ(fncNextRowIndex(1, 1), 0);
    EXPECT_EQ(fncNextRowIndex(3, 0), 0);
    EXPECT_EQ(fncPreviousRowIndex(3, 3), 2);
    EXPECT_EQ(fncPreviousRowIndex(3, 1), 0);
}

TEST(PreviewRules, ToolbarItemsWrapRatherThanPassTheEdge)
{
    // Margin 4, spacing 3, rows of 32 with items 24 high.
    const std::vector<ToolbarItem> items = {{50, 0}, {28, 3}, {28, 0}, {90, 6}};
    const ToolbarRows wide = fncToolbarRows(items, 300, 4, 3, 32, 24);
    EXPECT_EQ(wide.items, (std::vector<QRect>{{4, 4, 50, 24}, {60, 4, 28, 24}, {91, 4, 28, 24}, {128, 4, 90, 24}}));
    EXPECT_EQ(wide.height, 32);
    // 218 + the margin is the whole row: one pixel less and the last item opens a row, its gap dropped.
    EXPECT_EQ(fncToolbarRows(items, 222, 4, 3, 32, 24).height, 32);
    const ToolbarRows narrow = fncToolbarRows(items, 221, 4, 3, 32, 24);
    EXPECT_EQ(narrow.items.back(), QRect(4, 36, 90, 24));
    EXPECT_EQ(narrow.height, 64);
    // An item wider than the bar still keeps a row of its own; the next opens another.
    const ToolbarRows tiny = fncToolbarRows(items, 40, 4, 3, 32, 24);
    EXPECT_EQ(tiny.items.front(), QRect(4, 4, 50, 24));
    EXPECT_EQ(tiny.height, 4 * 32);
    EXPECT_EQ(fncToolbarRows({}, 100, 4, 3, 32, 24).height, 32);
}

class PreviewTest : public ::testing::Test {
protected:
    tf::test::TempFolder dir;
    BrowseFixture f;

    // Lists the folder (once) and shows the named row.
    QModelIndex show(const QString& name)
    {
        if (f.count() == 0) f.list(dir.path());
        const QModelIndex row = f.row(name);
        EXPECT_TRUE(row.isValid()) << name.toStdString();
        f.browse->subShowSelectedFile(row);
        EXPECT_TRUE(f.settle());
        return row;
    }
    QTreeWidgetItem* addBasketPage(const QString& name)
    {
        QTreeWidgetItem* row = f.lvPages->AddItem(name);
        tf::ListView::setTag(row, dir.file(name));
        tf::ListView::setSubItem(row, 1, "30 X 30");
        tf::ListView::setSubItem(row, 2, "2 KB");
        return row;
    }
};

TEST_F(PreviewTest, ActualSizeCentresOrScrollsAndBestFitShrinks)
{
    writeQt(dir.file("small.png"), solid(200, 100, Qt::red), "png");
    writeQt(dir.file("large.png"), solid(800, 600, Qt::green), "png");
    writeQt(dir.file("other.png"), solid(900, 700, Qt::blue), "png");
    show("large.png");
    EXPECT_EQ(f.ibMain->geometry(), QRect(0, 0, 400, 300)); // best fit
    EXPECT_TRUE(f.browse->hsbView()->isHidden() && f.browse->vsbView()->isHidden());

    f.browse->mnuPreviewFit_Click(1);
    EXPECT_EQ(f.browse->cmdPreviewView()->text(), "    Actual Size");
    f.browse->mnuPreviewFit(1)->trigger(); // the checked entry again: it stays checked
    EXPECT_TRUE(f.browse->mnuPreviewFit(1)->isChecked() && !f.browse->mnuPreviewFit(0)->isChecked());
    EXPECT_EQ(f.panel("status"), "100%");
    EXPECT_EQ(f.ibMain->geometry(), QRect(0, 0, 800, 600));
    EXPECT_FALSE(f.browse->hsbView()->isHidden() || f.browse->vsbView()->isHidden());
    EXPECT_EQ(f.browse->hsbView()->maximum(), 400);
    EXPECT_EQ(f.browse->vsbView()->maximum(), 300);
    f.browse->vsbView()->setValue(50);
    f.browse->hsbView()->setValue(70);
    EXPECT_EQ(f.ibMain->pos(), QPoint(-70, -50));
    f.browse->subFitPreview(); // a new layout keeps the place scrolled to
    EXPECT_EQ(f.ibMain->pos(), QPoint(-70, -50));
    // Another large file starts at its top-left corner, not where the last one was scrolled.
    show("other.png");
    EXPECT_EQ(f.ibMain->geometry(), QRect(0, 0, 900, 700));
    EXPECT_EQ(f.browse->hsbView()->value(), 0);
    EXPECT_EQ(f.browse->vsbView()->value(), 0);

    show("small.png");
    EXPECT_EQ(f.ibMain->geometry(), QRect(100, 100, 200, 100));
    EXPECT_TRUE(f.browse->hsbView()->isHidden() && f.browse->vsbView()->isHidden());

    // Best fit never enlarges.
    f.browse->mnuPreviewFit_Click(0);
    EXPECT_EQ(f.ibMain->geometry(), QRect(100, 100, 200, 100));
    show("large.png");
    EXPECT_EQ(f.ibMain->geometry(), QRect(0, 0, 400, 300));
    EXPECT_EQ(f.ibMain->Zoom(), 50.0);
    EXPECT_EQ(f.browse->hsbView()->value(), 0);
}

TEST_F(PreviewTest, PanelsDescribeTheShownRow)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    writeQt(dir.file("g.ppm"), solid(12, 8, Qt::magenta), "ppm");
    ASSERT_TRUE(tf::test::writeRgbTiff(dir.file("three.tif"), {solid(40, 30, Qt::red), solid(40, 30, Qt::green), solid(40, 30, Qt::blue)}));
    gudtSettings.FolderView = 3;
    QModelIndex row = show("a.png");
    EXPECT_EQ(f.panel("filename"), "a.png");
    EXPECT_EQ(f.panel("pages"), "1 page(s)");
    EXPECT_EQ(f.panel("resolution"), "64 X 48 X 24     " + cell(row, 2));
    EXPECT_EQ(f.panel("metadata"), "No metadata");
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("a.png"));
    EXPECT_EQ(f.ibMain->Tag(), dir.file("a.png"));

    show("three.tif");
    EXPECT_EQ(f.panel("pages"), "3 page(s)");
    EXPECT_EQ(f.ibMain->image().pixelColor(20, 15), QColor(Qt::red)); // page 1
    EXPECT_EQ(f.browse->originalImage().image.size(), QSize(40, 30));

    // A type whose header is not read gets its resolution from the shown image (the panel: the row as it was).
    row = show("g.ppm");
    EXPECT_EQ(cell(row, 1), "12 X 8 X 24");
    // The listing, which the basket reads, says so: the row shows it.
    EXPECT_EQ(f.browse->folderListing().file(f.browse->folderListing().indexOf(dir.file("g.ppm")))->texts[tf::kFolderResolution],
              "12 X 8 X 24");
    EXPECT_EQ(f.panel("resolution"), "     " + cell(row, 2));
}

TEST_F(PreviewTest, TheSameRowLoadsOnceAndOptimizedReplaysOnEveryNewLoad)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    writeQt(dir.file("b.png"), solid(64, 48, Qt::blue), "png");
    int replays = 0;
    f.services.replay = [&](tf::ImageDocument& target) {
        ++replays;
        target.setPicture(solid(10, 10, Qt::black));
    };
    EXPECT_EQ(f.browse->mnuPreviewType(0)->text() + "/" + f.browse->mnuPreviewType(1)->text(), "Original/Optimized");
    f.browse->mnuPreviewType_Click(1);
    EXPECT_EQ(replays, 0);
    EXPECT_EQ(f.browse->cmdPreviewType()->text(), "     Optimized");
    show("a.png");
    show("a.png");
    EXPECT_EQ(replays, 1);
    show("b.png");
    EXPECT_EQ(replays, 2);

    f.browse->mnuPreviewType_Click(0); // Original: the image as loaded
    EXPECT_EQ(f.ibMain->image().pixelColor(30, 20), QColor(Qt::blue));
    f.ibMain->setPicture(solid(5, 5, Qt::white));
    f.browse->mnuPreviewType(0)->trigger(); // the checked entry again: nothing
    EXPECT_EQ(f.ibMain->ImageWidth(), 5);
    EXPECT_TRUE(f.browse->mnuPreviewType(0)->isChecked());
    EXPECT_FALSE(f.browse->mnuPreviewType(1)->isChecked());

    // After another image was put into the control, the row is loaded again.
    f.browse->subForgetShownFile();
    show("b.png");
    EXPECT_EQ(f.ibMain->image().pixelColor(30, 20), QColor(Qt::blue));
}

TEST_F(PreviewTest, TheOptimizedReplayRunsBesideTheWindowAndOnlyTheNewestLands)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    writeQt(dir.file("b.png"), solid(64, 48, Qt::blue), "png");
    QSemaphore gate;
    std::atomic<int> started = 0;
    f.services.replay = [&](tf::ImageDocument& target) {
        const int mine = ++started;
        gate.acquire(); // the test decides when a replay ends
        target.setPicture(solid(10, 10, QColor(mine * 10, 0, 0)));
    };
    f.browse->mnuPreviewType_Click(1);
    f.list(dir.path());
    f.browse->subShowSelectedFile(f.row("a.png"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return started == 1; }));
    EXPECT_TRUE(f.browse->previewPending()) << "the pane waits for its replay, the window does not";
    f.browse->subShowSelectedFile(f.row("b.png"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return started == 2; }));
    gate.release(2);
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("b.png"));
    EXPECT_EQ(f.ibMain->image().pixelColor(5, 5), QColor(20, 0, 0)) << "b's replay, not a's";

    // "Original" chosen while a replay of the shown picture runs: that replay never lands.
    f.browse->mnuPreviewType_Click(0);
    f.browse->mnuPreviewType_Click(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return started == 3; }));
    f.browse->mnuPreviewType_Click(0);
    gate.release();
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(50); // its answer, had it been kept, would land now
    EXPECT_EQ(f.ibMain->image().pixelColor(30, 20), QColor(Qt::blue));
}

TEST_F(PreviewTest, AFailedReplayIsReportedAndTheFileStillShown)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    f.services.replay = [&](tf::ImageDocument& target) { target.setPicture(solid(10, 10, Qt::black)); };
    f.services.replayResult = {false, "Resize: the width must be at least 1 pixel"};
    f.browse->mnuPreviewType_Click(1);
    tf::ScriptedErrorReports reports;
    show("a.png");
    ASSERT_EQ(reports.reports().size(), 1u);
    EXPECT_TRUE(reports.reports()[0].text.endsWith("Resize: the width must be at least 1 pixel"));
    // What the tasks before the failed one made is shown, as the file it came from.
    EXPECT_EQ(f.ibMain->ImageWidth(), 10);
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("a.png"));
}

TEST_F(PreviewTest, AReplayThatThrowsIsReportedWhateverItThrowsAndThePictureAsLoadedStays)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    writeQt(dir.file("b.png"), solid(32, 24, Qt::blue), "png");
    f.browse->mnuPreviewType_Click(1);
    tf::ScriptedErrorReports reports;
    f.services.replay = [](tf::ImageDocument&) { throw std::runtime_error("the mask picture is gone"); };
    show("a.png");
    f.services.replay = [](tf::ImageDocument&) { throw 7; }; // not a std::exception
    show("b.png");
    ASSERT_EQ(reports.reports().size(), 2u);
    EXPECT_TRUE(reports.reports()[0].text.endsWith("the mask picture is gone"));
    EXPECT_TRUE(reports.reports()[1].text.endsWith("Unknown error"));
    for (const auto& report : reports.reports()) EXPECT_EQ(report.routine, "BrowseController.replayOnPreview");
    EXPECT_EQ(f.ibMain->ImageWidth(), 32);
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("b.png"));
}

// Chooses "Image document" as the user does and waits for the save's end, written on a worker (a
// save on the test's thread fails the test through the blocking-call check); whether it was written.
static bool saveAsFromMenu(BrowseFixture& f)
{
    QSignalSpy ended(&f.services.controlSaveAs, &tf::ControlSaveAs::saveFinished);
    f.browse->mnuSavePreviewAs(0)->trigger();
    if (ended.isEmpty() && f.services.controlSaveAs.saving()) {
        EXPECT_TRUE(ended.wait(60000)) << "the save never ended";
    }
    return !ended.isEmpty() && ended.first().first().toBool();
}

TEST_F(PreviewTest, SaveAsWritesTheShownImageInTheTypeChosen)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    f.browse->mnuSavePreviewAs_Click(0); // nothing shown: no dialog (an unexpected one fails)
    show("a.png");

    tf::ScriptedDialogs dialogs;
    dialogs.answerFile(dir.file("copy"), 2); // a bare name, with the TIFF type chosen
    EXPECT_TRUE(saveAsFromMenu(f));
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    EXPECT_TRUE(dialogs.fileRequests()[0].save);
    EXPECT_EQ(dialogs.fileRequests()[0].defaultSuffix, "") << "the dialog would add .jpg to a TIFF";
    tf::ImageDocument copy;
    tf::BlockingCallsAllowed readBack; // the test reads the written file back
    copy.LoadFromFile(dir.file("copy.tif"));
    ASSERT_FALSE(copy.LoadFailed());
    EXPECT_EQ(copy.image().size(), QSize(64, 48));
    EXPECT_EQ(copy.image().pixelColor(30, 20), QColor(Qt::red));

    // The name's own extension decides when it is one of the type's.
    dialogs.answerFile(dir.file("copy.JPEG"), 1);
    EXPECT_TRUE(saveAsFromMenu(f));
    EXPECT_TRUE(QFileInfo::exists(dir.file("copy.JPEG")));
    EXPECT_FALSE(QFileInfo::exists(dir.file("copy.JPEG.jpg")));

    // A place that cannot be written: said, not a crash.
    tf::ScriptedMessageBoxes boxes;
    dialogs.answerFile(dir.file("no such folder/x.png"), 4);
    EXPECT_FALSE(saveAsFromMenu(f));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith("The picture could not be saved as \"x.png\"."));

    dialogs.cancelFile();
    EXPECT_FALSE(saveAsFromMenu(f));
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

// A picture big enough to take seconds shows the progress window over the window while it is
// written; a Cancel there (or a close of the main window) leaves the file it would replace whole.
TEST_F(PreviewTest, SaveAsOfABigPictureShowsProgressAndItsCancelKeepsTheOldFile)
{
    const int side = 2000; // 4 megapixels
    static_assert(qint64(2000) * 2000 >= tf::ControlSaveAs::kLongSavePixels);
    writeQt(dir.file("big.png"), solid(side, side, Qt::blue), "png");
    show("big.png");
    const QString target = dir.file("old.bmp");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the user's old file");
    }
    tf::ScriptedDialogs dialogs;
    tf::ScriptedMessageBoxes boxes;
    // Cancel as the progress window shows, before the picture is written; what it said as it goes.
    struct AtStatus : QObject {
        QString said;
        bool modal = false;
        bool eventFilter(QObject* watched, QEvent* e) override
        {
            if (watched->objectName() != "frmStatus") return false;
            if (e->type() == QEvent::Show) {
                modal = static_cast<QWidget*>(watched)->windowModality() == Qt::WindowModal;
                watched->findChild<QPushButton*>("cmdCancel")->click();
            }
            if (e->type() == QEvent::Hide) said = watched->findChild<QLabel*>("lblMessage")->text();
            return false;
        }
    } atStatus;
    qApp->installEventFilter(&atStatus);
    dialogs.answerFile(target, 3);
    EXPECT_FALSE(saveAsFromMenu(f));
    qApp->removeEventFilter(&atStatus);
    EXPECT_TRUE(atStatus.modal);
    EXPECT_EQ(atStatus.said, "old.bmp");
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "the user's old file");
    EXPECT_TRUE(boxes.shown().empty()) << "the user asked for it";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "nothing left beside it";

    // Left alone it replaces the file, and the progress window goes.
    dialogs.answerFile(target, 3);
    EXPECT_TRUE(saveAsFromMenu(f));
    EXPECT_EQ(QImage(target).size(), QSize(side, side));
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(w->objectName() == "frmStatus" && w->isVisible());
}

TEST_F(PreviewTest, MetadataPaneAndPanelFollowTheFileType)
{
    writeQt(dir.file("photo.jpg"), solid(32, 32, Qt::red), "jpg");
    writeQt(dir.file("plain.png"), solid(32, 32, Qt::red), "png");
    writeWithControl(dir.file("layers.psd"), solid(32, 32, Qt::red));
    bool exif = false;
    bool& iptc = f.services.hasIptc;
    QStringList reads;
    f.services.readExif = [&](const QString& path) {
        reads << "exif " + QFileInfo(path).fileName();
        if (exif) ++f.services.exifRows;
    };
    f.services.readIptc = [&](const QString& path) {
        reads << "iptc " + QFileInfo(path).fileName();
    };

    show("plain.png");
    EXPECT_EQ(f.w.splView->LeftOrTopControl(), nullptr);
    EXPECT_EQ(f.w.splView->RightOrBottomControl(), nullptr);
    EXPECT_TRUE(reads.isEmpty());

    show("photo.jpg");
    EXPECT_EQ(f.w.splView->LeftOrTopControl(), f.w.picView);
    EXPECT_EQ(f.w.splView->RightOrBottomControl(), f.w.PicMetadata);
    EXPECT_EQ(f.w.tbsMetadata->currentIndex(), 0);
    EXPECT_EQ(reads, QStringList({"exif photo.jpg", "iptc photo.jpg"}));
    EXPECT_EQ(f.panel("metadata"), "No metadata");

    reads.clear();
    iptc = true;
    show("layers.psd");
    EXPECT_EQ(reads, QStringList({"iptc layers.psd"}));
    EXPECT_EQ(f.w.tbsMetadata->currentIndex(), 1);
    EXPECT_FALSE(f.w.tbsMetadata->isEnabled());
    EXPECT_EQ(f.panel("metadata"), "Metadata -  IPTC");

    exif = true;
    f.services.exifRows = 1; // left over
    show("photo.jpg");
    EXPECT_EQ(f.services.exifRows, 1); // emptied before reading
    EXPECT_TRUE(f.w.tbsMetadata->isEnabled());
    EXPECT_EQ(f.panel("metadata"), "Metadata - EXIF IPTC");
}

TEST_F(PreviewTest, AVanishedOrUnreadableFileGivesAClearStatusAndIsTriedAgain)
{
    for (const char* name : {"a.png", "gone.jpg", "gone.png", "bad.jpg"})
        writeQt(dir.file(name), solid(64, 48, Qt::blue), QFileInfo(name).suffix().toLatin1().constData());
    gudtSettings.FolderView = 3;
    show("a.png");
    ASSERT_TRUE(f.ibMain->HasImage());
    QFile::remove(dir.file("gone.jpg"));
    QFile::remove(dir.file("gone.png"));
    dir.write("bad.jpg", QByteArray("\xFF\xD8\xFF\xE0 broken", 12));

    for (const QString name : {"gone.jpg", "gone.png", "bad.jpg"}) {
        show(name);
        EXPECT_FALSE(f.ibMain->HasImage()) << name.toStdString();
        EXPECT_TRUE(f.ibMain->isHidden());
        EXPECT_EQ(f.panel("filename"), (name == "bad.jpg" ? "Unable to read - " : "File not found - ") + name);
        EXPECT_EQ(f.panel("pages") + f.panel("resolution") + f.panel("metadata"), "");
        EXPECT_EQ(f.browse->PicTiffTag(), ""); // no metadata command can reach the old file
        EXPECT_EQ(f.ibMain->Tag(), "");
    }
    writeQt(dir.file("gone.jpg"), solid(64, 48, Qt::blue), "jpg");
    show("gone.jpg");
    EXPECT_TRUE(f.ibMain->HasImage());
    EXPECT_EQ(f.panel("filename"), "gone.jpg");
}

TEST_F(PreviewTest, PreviousAndNextWalkTheListLastFocused)
{
    for (const char* name : {"1.png", "2.png", "3.png", "p1.png", "p2.png"}) writeQt(dir.file(name), solid(30, 30, Qt::red), "png");
    f.list(dir.path());
    const auto shown = [&] {
        EXPECT_TRUE(f.settle());
        return QFileInfo(f.browse->PicTiffTag()).fileName();
    };
    f.browse->cmdPreviewNext_Click(); // nothing selected: nothing moves
    EXPECT_EQ(shown(), "");

    // Where each walk stops is the row rules' test; here the buttons, the menu and the list they walk.
    f.selectRow(f.lvFolder, 4);
    f.browse->cmdPreviewNext()->click();
    EXPECT_EQ(shown(), "p2.png");
    EXPECT_EQ(f.selectedTexts(), QStringList({cell(f.item(5), 0)}));
    f.browse->mnuPreview_Click(2);
    EXPECT_EQ(shown(), "p1.png");
    f.selectRow(f.lvFolder, 2);
    f.browse->cmdPreviewPrevious()->click();
    EXPECT_EQ(shown(), "1.png");

    addBasketPage("p1.png");
    addBasketPage("3.png");
    f.selectRow(f.lvPages, 1);
    f.browse->lvPages_GotFocus();
    f.browse->cmdPreviewNext()->click();
    EXPECT_EQ(shown(), "3.png");
    EXPECT_EQ(f.panel("pages"), "1 page(s)");
    EXPECT_EQ(f.panel("resolution"), "30 X 30     2 KB");
    EXPECT_EQ(f.lvFolder->currentIndex(), f.item(1)); // the folder list stayed

    // A file that cannot be read does not stop the walk.
    dir.write("2.png", "not a picture");
    f.browse->lvFolder_GotFocus();
    f.browse->cmdPreviewNext()->click();
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.panel("filename"), "Unable to read - 2.png");
    EXPECT_EQ(shown(), "");
    f.browse->cmdPreviewNext()->click();
    EXPECT_EQ(shown(), "3.png");
}

TEST_F(PreviewTest, ClicksAndArrowKeysOnTheListsShowTheSelectedFile)
{
    for (const char* name : {"1.png", "2.png", "3.png"}) writeQt(dir.file(name), solid(20, 20, Qt::red), "png");
    f.window.show();
    QApplication::setActiveWindow(&f.window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window));
    f.list(dir.path());
    const auto at = [](QTreeView* list, int row) { return QPoint(20, list->visualRect(list->model()->index(row - 1, 0)).center().y()); };
    const auto shown = [&] {
        EXPECT_TRUE(f.settle());
        return QFileInfo(f.browse->PicTiffTag()).fileName();
    };

    EXPECT_TRUE(f.browse->mblnSuppressItemShow); // as at start-up, until a row is clicked
    QTest::mouseClick(f.lvFolder->viewport(), Qt::LeftButton, {}, at(f.lvFolder, 2));
    EXPECT_EQ(shown(), "2.png");
    EXPECT_TRUE(f.lvFolder->hasFocus());
    EXPECT_EQ(f.browse->dragSourceList(), "lvFolder");
    QTest::keyClick(f.lvFolder, Qt::Key_Down);
    EXPECT_EQ(shown(), "3.png");
    const int resizes = f.services.resizeCalls;
    QTest::keyClick(f.lvFolder, Qt::Key_A);
    QTest::mouseClick(f.lvFolder->viewport(), Qt::RightButton, {}, at(f.lvFolder, 1));
    EXPECT_EQ(shown(), "3.png");
    EXPECT_EQ(f.services.resizeCalls, resizes);
    // Several folder rows chosen: the one clicked last is shown.
    QTest::mouseClick(f.lvFolder->viewport(), Qt::LeftButton, Qt::ControlModifier, at(f.lvFolder, 2));
    EXPECT_EQ(f.selectedTexts().size(), 2);
    EXPECT_EQ(shown(), "2.png");

    addBasketPage("1.png");
    addBasketPage("2.png");
    QTest::mouseClick(f.lvPages->viewport(), Qt::LeftButton, {}, at(f.lvPages, 2));
    EXPECT_EQ(shown(), "2.png");
    EXPECT_EQ(f.browse->dragSourceList(), "lvPages");
    // Two pages selected: the click shows neither.
    QTest::mouseClick(f.lvPages->viewport(), Qt::LeftButton, Qt::ControlModifier, at(f.lvPages, 1));
    EXPECT_EQ(f.browse->mintSelectedCount, 2);
    EXPECT_EQ(shown(), "2.png");
    // Leaving the basket: arrow keys show nothing until a row is clicked again.
    f.lvFolder->setFocus();
    EXPECT_EQ(f.browse->dragSourceList(), "lvFolder");
    EXPECT_TRUE(f.browse->mblnSuppressItemShow);
    QTest::keyClick(f.lvFolder, Qt::Key_Up);
    EXPECT_EQ(shown(), "2.png");
}

TEST_F(PreviewTest, ANewerChoiceSupersedesTheLoadStillOnItsWay)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    writeQt(dir.file("b.jpg"), solid(60, 40, Qt::blue), "jpg");
    writeQt(dir.file("c.png"), solid(30, 20, Qt::green), "png");
    f.list(dir.path());
    QSignalSpy settled(f.browse.get(), &BrowseController::previewSettled);
    f.browse->subShowSelectedFile(f.row("a.png"));
    f.browse->subShowSelectedFile(f.row("b.jpg"));
    // Nothing is shown while the file is read, and no command reaches the file shown before.
    EXPECT_TRUE(f.browse->previewPending());
    EXPECT_FALSE(f.ibMain->HasImage());
    EXPECT_EQ(f.browse->PicTiffTag(), "");
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("b.jpg"));
    EXPECT_EQ(f.ibMain->image().size(), QSize(60, 40));
    EXPECT_EQ(settled.count(), 1) << "the superseded load never settles";
    EXPECT_EQ(f.panel("filename"), "b.jpg");

    // Another image put into the control drops a load still coming.
    f.browse->subShowSelectedFile(f.row("c.png"));
    f.browse->subForgetShownFile();
    f.ibMain->setPicture(solid(5, 5, Qt::white));
    EXPECT_FALSE(f.browse->previewPending());
    QTest::qWait(200); // an answer that still came would replace the picture
    EXPECT_EQ(f.ibMain->ImageWidth(), 5);
}

TEST_F(PreviewTest, ACaptureBecomesTheShownFileWithOnlyItsIptcRead)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    const QString capture = dir.file("capture.tif");
    writeQt(capture, solid(20, 10, Qt::blue), "png"); // the lists are read by the fakes below
    QStringList reads;
    f.services.readExif = [&](const QString& path) { reads << "exif " + path; };
    f.services.readIptc = [&](const QString& path) { reads << "iptc " + path; };
    f.list(dir.path());
    // A load still on its way when the capture arrives must not replace it.
    f.browse->subShowSelectedFile(f.row("a.png"));
    f.services.exifRows = f.services.iptcRows = 1; // left over
    f.browse->showCapturedPicture(solid(20, 10, Qt::blue), capture);
    EXPECT_EQ(f.browse->PicTiffTag(), capture);
    EXPECT_EQ(f.ibMain->Tag(), capture);
    EXPECT_EQ(f.services.exifRows, 0);
    EXPECT_EQ(f.services.iptcRows, 0);
    EXPECT_EQ(reads, QStringList({"iptc " + capture}));
    EXPECT_TRUE(f.settle()) << "only the capture's metadata was still on its way";
    EXPECT_EQ(f.browse->originalImage().image.size(), QSize(20, 10));
    QTest::qWait(200); // an answer that still came would replace the picture
    EXPECT_EQ(f.ibMain->ImageWidth(), 20);
}
