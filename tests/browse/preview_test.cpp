// The preview: loading the selected row, fit and actual size, the status panels, the metadata
// pane's state, the menus, previous/next, and files that cannot be shown.
#include "browse_fixture.h"

#include "browse/modPreview.h"
#include "browse/previewSnapshots.h"
#include "frame/modSettings.h"
#include "services/clsFileInfo.h"
#include "support/testenv.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>
#include <cmath>

using namespace browse_test;

namespace {

QTreeWidgetItem* rowNamed(tf::ListView* list, const QString& name)
{
    for (int i = 1; i <= list->Count(); ++i)
        if (list->Item(i)->text(0) == name) return list->Item(i);
    return nullptr;
}

QTreeWidgetItem* addBasketPage(tf::ListView* lvPages, const QString& path)
{
    QTreeWidgetItem* row = lvPages->AddItem(QFileInfo(path).completeBaseName());
    tf::ListView::setTag(row, path);
    tf::ListView::setSubItem(row, 1, "basket size");
    tf::ListView::setSubItem(row, 2, "basket bytes");
    return row;
}

} // namespace

TEST(PreviewGeometry, SmallerImagesAreCentredWithHalvesToEven)
{
    PreviewFit fit = fncComputePreviewFit({400, 300}, {200, 100});
    EXPECT_EQ(fit.position, QPoint(100, 100));
    EXPECT_EQ(fit.size, QSize(200, 100));
    EXPECT_FALSE(fit.hsbVisible);
    EXPECT_FALSE(fit.vsbVisible);
    EXPECT_EQ(fncComputePreviewFit({401, 301}, {200, 100}).position, QPoint(100, 100)); // 100.5 -> 100
    EXPECT_EQ(fncComputePreviewFit({403, 303}, {200, 100}).position, QPoint(102, 102)); // 101.5 -> 102
    EXPECT_EQ(fncComputePreviewFit({400, 300}, {400, 300}).position, QPoint(0, 0));
    EXPECT_EQ(fncComputePreviewFit({400, 300}, {0, 0}).position, QPoint(200, 150));
}

TEST(PreviewGeometry, LargerImagesSitAtTheOriginWithBarsForTheOverflow)
{
    PreviewFit both = fncComputePreviewFit({400, 300}, {800, 600});
    EXPECT_EQ(both.position, QPoint(0, 0));
    EXPECT_TRUE(both.hsbVisible);
    EXPECT_TRUE(both.vsbVisible);
    EXPECT_EQ(both.hsbMax, 400);
    EXPECT_EQ(both.vsbMax, 300);

    PreviewFit wide = fncComputePreviewFit({400, 300}, {401, 100});
    EXPECT_EQ(wide.position, QPoint(0, 100));
    EXPECT_TRUE(wide.hsbVisible);
    EXPECT_FALSE(wide.vsbVisible);
    EXPECT_EQ(wide.hsbMax, 1);
    EXPECT_EQ(wide.vsbMax, 0);

    // Beyond the old 16-bit range the bars still reach the end.
    EXPECT_EQ(fncComputePreviewFit({400, 300}, {40400, 300}).hsbMax, 40000);

    EXPECT_EQ(fncCentredPosition({100, 80}, {50, 40}, {48, 38}), QPoint(25, 20));
    EXPECT_EQ(fncCentredPosition({100, 80}, {150, 40}, {148, 38}), QPoint(0, 20));
}

TEST(PreviewGeometry, PreviousAndNextNeverWrap)
{
    EXPECT_EQ(fncNextRowIndex(3, 1), 2);
    EXPECT_EQ(fncNextRowIndex(3, 3), 0);
    EXPECT_EQ(fncNextRowIndex(1, 1), 0);
    EXPECT_EQ(fncNextRowIndex(3, 0), 0);
    EXPECT_EQ(fncPreviousRowIndex(3, 3), 2);
    EXPECT_EQ(fncPreviousRowIndex(3, 1), 0);
    EXPECT_EQ(fncPreviousRowIndex(1, 1), 0);
    EXPECT_EQ(fncPreviousRowIndex(3, 0), 0);
}

TEST(PreviewGeometry, MetadataPaneByType)
{
    for (const char* ext : {"jpg", "JPEG", "jpe", "tif", "tiff"}) {
        const MetadataPaneRule r = fncMetadataPaneRule(ext);
        EXPECT_TRUE(r.readExif && r.readIptc && r.tabsEnabled) << ext;
        EXPECT_EQ(r.tabIndex, 0) << ext;
    }
    const MetadataPaneRule psd = fncMetadataPaneRule("psd");
    EXPECT_TRUE(psd.showExif);
    EXPECT_FALSE(psd.showIptc);
    EXPECT_FALSE(psd.readExif);
    EXPECT_TRUE(psd.readIptc);
    EXPECT_EQ(psd.tabIndex, 1);
    EXPECT_FALSE(psd.tabsEnabled);
    const MetadataPaneRule png = fncMetadataPaneRule("png");
    EXPECT_FALSE(png.showExif || png.showIptc || png.readExif || png.readIptc);
    EXPECT_TRUE(png.tabsEnabled);
    EXPECT_TRUE(fncPreviewLoadsThroughControl("JPG"));
    EXPECT_FALSE(fncPreviewLoadsThroughControl("jpe"));
}

class PreviewTest : public ::testing::Test {
protected:
    tf::test::TempFolder dir;
    BrowseFixture f;

    // Lists the folder in thumbnail mode and shows the named row.
    QTreeWidgetItem* show(const QString& name)
    {
        if (f.lvFolder->Count() == 0) f.browse->ftvBrowse_FolderSelected(dir.path());
        QTreeWidgetItem* row = rowNamed(f.lvFolder, name);
        EXPECT_NE(row, nullptr) << name.toStdString();
        f.browse->subShowSelectedFile(row);
        return row;
    }
    void actualSize() { f.browse->mnuPreviewFit_Click(1); }
};

TEST_F(PreviewTest, ActualSizeCentresASmallImageAndHidesTheBars)
{
    writeQt(dir.file("small.png"), solid(200, 100, Qt::red), "png");
    actualSize();
    show("small.png");
    EXPECT_EQ(f.ibMain->geometry(), QRect(100, 100, 200, 100));
    EXPECT_TRUE(f.hsbView->isHidden());
    EXPECT_TRUE(f.vsbView->isHidden());
    EXPECT_FALSE(f.ibMain->isHidden());
    EXPECT_EQ(f.sbMain->panelText("status"), "100%");
    EXPECT_EQ(f.cmdPreviewView->text(), "    Actual Size");
}

TEST_F(PreviewTest, ActualSizeOfALargeImageScrollsWithTheBars)
{
    writeQt(dir.file("large.png"), solid(800, 600, Qt::green), "png");
    actualSize();
    show("large.png");
    EXPECT_EQ(f.ibMain->geometry(), QRect(0, 0, 800, 600));
    EXPECT_FALSE(f.hsbView->isHidden());
    EXPECT_FALSE(f.vsbView->isHidden());
    EXPECT_EQ(f.hsbView->maximum(), 400);
    EXPECT_EQ(f.vsbView->maximum(), 300);

    f.vsbView->setValue(50);
    f.hsbView->setValue(70);
    EXPECT_EQ(f.ibMain->pos(), QPoint(-70, -50));
    // Laying the pane out again keeps the place scrolled to.
    f.browse->subFitPreview();
    EXPECT_EQ(f.ibMain->pos(), QPoint(-70, -50));
    // A smaller viewport: more to scroll.
    f.setViewportSize({300, 200});
    f.browse->subFitPreview();
    EXPECT_EQ(f.hsbView->maximum(), 500);
    EXPECT_EQ(f.vsbView->maximum(), 400);
    // Back to best fit: no bars, the image fitted and centred.
    f.browse->mnuPreviewFit_Click(0);
    const int shownWidth = f.ibMain->DisplayWidth();
    EXPECT_TRUE(shownWidth == 266 || shownWidth == 267) << shownWidth;
    EXPECT_EQ(f.ibMain->geometry(), QRect(static_cast<int>(std::nearbyint((300 - shownWidth) / 2.0)), 0, shownWidth, 200));
    EXPECT_TRUE(f.hsbView->isHidden());
    EXPECT_TRUE(f.vsbView->isHidden());
    EXPECT_EQ(f.hsbView->value(), 0);
    EXPECT_EQ(f.sbMain->panelText("status"), "33%");
}

TEST_F(PreviewTest, BestFitShrinksButNeverEnlarges)
{
    writeQt(dir.file("large.png"), solid(800, 600, Qt::green), "png");
    writeQt(dir.file("small.png"), solid(200, 100, Qt::red), "png");
    show("large.png");
    EXPECT_EQ(f.ibMain->geometry(), QRect(0, 0, 400, 300));
    EXPECT_EQ(f.ibMain->DisplayWidth(), 400);
    EXPECT_TRUE(f.hsbView->isHidden());
    f.browse->mnuPreviewFit_Click(1);
    f.browse->mnuPreviewFit_Click(0);
    EXPECT_EQ(f.sbMain->panelText("status"), "50%");
    show("small.png");
    EXPECT_EQ(f.ibMain->geometry(), QRect(100, 100, 200, 100));
}

TEST_F(PreviewTest, PanelsDescribeTheShownRow)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    writeTiffPages(dir.file("three.tif"), {solid(40, 30, Qt::red), solid(40, 30, Qt::green), solid(40, 30, Qt::blue)});
    QTreeWidgetItem* row = show("a.png");
    EXPECT_EQ(f.sbMain->panelText("filename"), "a.png");
    EXPECT_EQ(f.sbMain->panelText("pages"), "1 page(s)");
    EXPECT_EQ(f.sbMain->panelText("resolution"), "64 x 48     " + tf::ListView::SubItem(row, 2));
    EXPECT_EQ(f.sbMain->panelText("metadata"), "No metadata");
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("a.png"));
    EXPECT_EQ(f.ibMain->Tag(), dir.file("a.png"));
    EXPECT_FALSE(f.browse->PicTiffPicture().isNull()); // through the shared loader

    show("three.tif");
    EXPECT_EQ(f.sbMain->panelText("pages"), "3 page(s)");
    EXPECT_EQ(f.ibMain->PageIndex(), 1);
    EXPECT_EQ(f.ibMain->image().pixelColor(20, 15), QColor(Qt::red)); // page 1
    EXPECT_EQ(gvarOriginalImage.image.size(), QSize(40, 30));
}

TEST_F(PreviewTest, EmptyResolutionIsFilledFromTheShownImage)
{
    writeQt(dir.file("g.ppm"), solid(12, 8, Qt::magenta), "ppm");
    gudtSettings.FolderView = 3;
    QTreeWidgetItem* row = show("g.ppm");
    EXPECT_EQ(tf::ListView::SubItem(row, 1), "12 X 8 X 24");
    // The panel was filled from the row as it was before.
    EXPECT_EQ(f.sbMain->panelText("resolution"), "     " + tf::ListView::SubItem(row, 2));
}

TEST_F(PreviewTest, TheSameRowIsLoadedOnceAndEveryNewLoadIsOptimized)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    writeQt(dir.file("b.png"), solid(64, 48, Qt::blue), "png");
    int replays = 0;
    f.browse->hooks.subProcessPages = [&] {
        ++replays;
        f.ibMain->setPicture(solid(10, 10, Qt::black)); // an edit
    };
    f.browse->mnuPreviewType_Click(1);
    EXPECT_EQ(replays, 0); // nothing shown yet
    EXPECT_EQ(f.cmdPreviewType->text(), "     Optimized");
    EXPECT_TRUE(f.browse->mblnOptimizedPreview);

    show("a.png");
    show("a.png");
    EXPECT_EQ(replays, 1);
    show("b.png");
    EXPECT_EQ(replays, 2);
    EXPECT_EQ(f.ibMain->ImageWidth(), 10);

    // Original brings back the image as loaded; choosing it again does nothing more.
    f.browse->mnuPreviewType_Click(0);
    EXPECT_EQ(f.ibMain->image().pixelColor(30, 20), QColor(Qt::blue));
    EXPECT_FALSE(f.browse->mblnOptimizedPreview);
    f.ibMain->setPicture(solid(5, 5, Qt::white));
    f.browse->mnuPreviewType_Click(0);
    EXPECT_EQ(f.ibMain->ImageWidth(), 5);
    EXPECT_TRUE(f.browse->mnuPreviewType(0)->isChecked());
    EXPECT_FALSE(f.browse->mnuPreviewType(1)->isChecked());

    // A row shown again after another Part replaced the control's image is loaded again.
    f.browse->subForgetShownFile();
    show("b.png");
    EXPECT_EQ(f.ibMain->image().pixelColor(30, 20), QColor(Qt::blue));
}

TEST_F(PreviewTest, ChoosingTheCheckedMenuEntryChangesNothing)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    show("a.png");
    EXPECT_EQ(f.cmdPreviewView->text(), "  Best Fit"); // as the settings put it at start-up
    f.browse->mnuPreviewFit(0)->trigger();             // the user clicks the checked entry
    EXPECT_TRUE(f.browse->mnuPreviewFit(0)->isChecked());
    EXPECT_FALSE(f.browse->mnuPreviewFit(1)->isChecked());
    EXPECT_EQ(f.cmdPreviewView->text(), "  Best Fit");
    f.browse->mnuPreviewFit(1)->trigger();
    EXPECT_TRUE(f.browse->mnuPreviewFit(1)->isChecked());
    EXPECT_FALSE(f.browse->mnuPreviewFit(0)->isChecked());
    EXPECT_FALSE(f.ibMain->FitToWindow());

    f.browse->subStorePreviewSettings();
    EXPECT_EQ(gudtSettings.PreviewFit, 1);
    EXPECT_EQ(gudtSettings.PreviewType, 0);
    gudtSettings.PreviewType = 1;
    f.browse->subUpdatePreviewSettings();
    EXPECT_EQ(f.cmdPreviewType->text(), "    Optimized");
    EXPECT_EQ(f.cmdPreviewView->text(), "  Actual Size");
    EXPECT_TRUE(f.browse->mblnOptimizedPreview);
}

TEST_F(PreviewTest, ButtonsOpenTheirMenusAndMenusReachTheCommands)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    f.window.show();
    f.cmdPreviewView->click();
    EXPECT_TRUE(f.browse->mnuPreviewFitParent()->isVisible());
    f.browse->mnuPreviewFitParent()->hide();
    f.cmdPreviewSave->click();
    EXPECT_TRUE(f.browse->mnuSavePreviewAsParent()->isVisible());
    f.browse->mnuSavePreviewAsParent()->hide();

    int saves = 0, greetings = 0, prints = 0, edits = 0, clears = 0;
    f.browse->hooks.SaveAs = [&] { ++saves; };
    f.browse->hooks.showExecutableOptions = [&] { ++greetings; };
    f.browse->hooks.PrintImage = [&] { ++prints; };
    f.browse->hooks.CmdPreviewEdit_Click = [&] { ++edits; };
    f.browse->hooks.subClearSelection = [&] { ++clears; };
    f.browse->mnuSavePreviewAs_Click(0); // nothing shown: nothing to save
    EXPECT_EQ(saves, 0);
    show("a.png");
    f.browse->mnuSavePreviewAs(0)->trigger();
    f.browse->mnuSavePreviewAs(1)->trigger();
    f.browse->mnuPreview(0)->trigger();
    f.browse->mnuPreview(4)->trigger();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(greetings, 1);
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(prints, 1);
    EXPECT_EQ(clears, 2);
    EXPECT_EQ(f.browse->mnuPreview(3)->text(), "Next file");
    EXPECT_TRUE(f.browse->mnuPreview(1)->isSeparator());
}

TEST_F(PreviewTest, MetadataPaneAndPanelFollowTheFileType)
{
    writeQt(dir.file("photo.jpg"), solid(32, 32, Qt::red), "jpg");
    writeQt(dir.file("plain.png"), solid(32, 32, Qt::red), "png");
    writeWithControl(dir.file("layers.psd"), solid(32, 32, Qt::red));
    bool exif = false, iptc = false;
    QStringList reads;
    f.browse->hooks.ReadFileEXIFInfo = [&](ImageBox&, tf::ListView& list, const QString& path) {
        reads << "exif " + QFileInfo(path).fileName();
        if (exif) list.AddItem("Make");
    };
    f.browse->hooks.ReadFileIPTCInfo = [&](ImageBox&, tf::ListView&, const QString& path) {
        reads << "iptc " + QFileInfo(path).fileName();
    };
    f.browse->hooks.HasIptc = [&](const ImageBox&) { return iptc; };

    show("plain.png");
    EXPECT_EQ(f.splView->LeftOrTopControl(), nullptr);
    EXPECT_EQ(f.splView->RightOrBottomControl(), nullptr);
    EXPECT_TRUE(reads.isEmpty());

    show("photo.jpg");
    EXPECT_EQ(f.splView->LeftOrTopControl(), f.picView);
    EXPECT_EQ(f.splView->RightOrBottomControl(), f.PicMetadata);
    EXPECT_EQ(f.tbsMetadata->currentIndex(), 0);
    EXPECT_TRUE(f.tbsMetadata->isEnabled());
    EXPECT_EQ(reads, QStringList({"exif photo.jpg", "iptc photo.jpg"}));
    EXPECT_EQ(f.sbMain->panelText("metadata"), "No metadata");

    reads.clear();
    iptc = true;
    show("layers.psd");
    EXPECT_EQ(reads, QStringList({"iptc layers.psd"}));
    EXPECT_EQ(f.tbsMetadata->currentIndex(), 1);
    EXPECT_FALSE(f.tbsMetadata->isEnabled());
    EXPECT_EQ(f.sbMain->panelText("metadata"), "Metadata -  IPTC");

    exif = true;
    f.lvExif->AddItem("left over from the psd");
    show("photo.jpg");
    EXPECT_EQ(f.lvExif->Count(), 1); // the lists are emptied before reading
    EXPECT_EQ(f.sbMain->panelText("metadata"), "Metadata - EXIF IPTC");
    EXPECT_GE(f.resizeCalls, 4);
}

TEST_F(PreviewTest, AVanishedFileGivesAClearStatusAndNoStaleImage)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    writeQt(dir.file("gone.jpg"), solid(64, 48, Qt::blue), "jpg");
    writeQt(dir.file("gone2.png"), solid(64, 48, Qt::blue), "png");
    show("a.png");
    ASSERT_TRUE(f.ibMain->HasImage());
    ASSERT_TRUE(QFile::remove(dir.file("gone.jpg")));
    ASSERT_TRUE(QFile::remove(dir.file("gone2.png")));

    for (const QString name : {"gone.jpg", "gone2.png"}) {
        show(name);
        EXPECT_FALSE(f.ibMain->HasImage()) << name.toStdString();
        EXPECT_TRUE(f.ibMain->isHidden());
        EXPECT_EQ(f.sbMain->panelText("filename"), "File not found - " + name);
        EXPECT_EQ(f.sbMain->panelText("pages"), "");
        EXPECT_EQ(f.sbMain->panelText("resolution"), "");
        EXPECT_EQ(f.browse->PicTiffTag(), "");
        EXPECT_EQ(f.ibMain->Tag(), "");
        EXPECT_TRUE(f.hsbView->isHidden());
    }

    // It comes back: the same row is tried again.
    writeQt(dir.file("gone.jpg"), solid(64, 48, Qt::blue), "jpg");
    show("gone.jpg");
    EXPECT_TRUE(f.ibMain->HasImage());
    EXPECT_EQ(f.sbMain->panelText("filename"), "gone.jpg");
}

TEST_F(PreviewTest, AnUnreadableFileIsReportedInTheStatusAndRetried)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    writeQt(dir.file("z.jpg"), solid(64, 48, Qt::red), "jpg");
    gudtSettings.FolderView = 3;
    f.browse->ftvBrowse_FolderSelected(dir.path());
    writeBytes(dir.file("z.jpg"), QByteArray("\xFF\xD8\xFF\xE0 broken", 12));
    show("a.png");
    show("z.jpg");
    EXPECT_FALSE(f.ibMain->HasImage());
    EXPECT_EQ(f.sbMain->panelText("filename"), "Unable to read - z.jpg");
    EXPECT_EQ(f.browse->PicTiffTag(), "");

    writeQt(dir.file("z.jpg"), solid(64, 48, Qt::green), "jpg");
    show("z.jpg");
    EXPECT_TRUE(f.ibMain->HasImage());
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("z.jpg"));
}

TEST_F(PreviewTest, PreviousAndNextStopAtTheEndsOfTheFolderList)
{
    for (const char* name : {"1.png", "2.png", "3.png"}) writeQt(dir.file(name), solid(20, 20, Qt::red), "png");
    f.browse->ftvBrowse_FolderSelected(dir.path());
    f.selectRow(f.lvFolder, 2);
    f.cmdPreviewNext->click();
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("3.png"));
    EXPECT_EQ(f.lvFolder->selectedInOrder(), QList<QTreeWidgetItem*>({f.lvFolder->Item(3)}));
    f.cmdPreviewNext->click();
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("3.png"));
    EXPECT_EQ(f.lvFolder->SelectedItem(), f.lvFolder->Item(3));

    f.cmdPreviewPrevious->click();
    f.cmdPreviewPrevious->click();
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("1.png"));
    EXPECT_EQ(f.lvFolder->selectedInOrder(), QList<QTreeWidgetItem*>({f.lvFolder->Item(1)}));
    f.browse->mnuPreview_Click(2);
    EXPECT_EQ(f.lvFolder->SelectedItem(), f.lvFolder->Item(1));
    f.browse->mnuPreview_Click(3);
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("2.png"));

    // Nothing selected: nothing moves.
    f.lvFolder->deselectAll();
    f.cmdPreviewNext->click();
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("2.png"));
}

TEST_F(PreviewTest, OneRowNeverMoves)
{
    writeQt(dir.file("only.png"), solid(20, 20, Qt::red), "png");
    f.browse->ftvBrowse_FolderSelected(dir.path());
    f.selectRow(f.lvFolder, 1);
    f.cmdPreviewNext->click();
    f.cmdPreviewPrevious->click();
    EXPECT_EQ(f.browse->PicTiffTag(), "");
}

TEST_F(PreviewTest, PreviousAndNextWalkTheBasketWhenItHadTheFocusLast)
{
    for (const char* name : {"1.png", "2.png"}) writeQt(dir.file(name), solid(20, 20, Qt::red), "png");
    writeQt(dir.file("page1.png"), solid(30, 30, Qt::red), "png");
    writeQt(dir.file("page2.png"), solid(30, 30, Qt::blue), "png");
    f.browse->ftvBrowse_FolderSelected(dir.path());
    f.selectRow(f.lvFolder, 1);
    addBasketPage(f.lvPages, dir.file("page1.png"));
    addBasketPage(f.lvPages, dir.file("page2.png"));
    f.selectRow(f.lvPages, 1);

    f.browse->lvPages_GotFocus();
    f.cmdPreviewNext->click();
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("page2.png"));
    EXPECT_EQ(f.sbMain->panelText("pages"), "1 page(s)");
    EXPECT_EQ(f.sbMain->panelText("resolution"), "basket size     basket bytes");
    EXPECT_EQ(f.lvFolder->SelectedItem(), f.lvFolder->Item(1)); // the folder list did not move

    f.browse->lvFolder_GotFocus();
    f.cmdPreviewNext->click();
    EXPECT_EQ(f.browse->PicTiffTag(), tf::ListView::Tag(f.lvFolder->Item(2)));
}

class ListEventsTest : public PreviewTest {
protected:
    void SetUp() override
    {
        for (const char* name : {"1.png", "2.png", "3.png"}) writeQt(dir.file(name), solid(20, 20, Qt::red), "png");
        f.window.show();
        QApplication::setActiveWindow(&f.window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window));
        f.browse->ftvBrowse_FolderSelected(dir.path());
    }
    // A point on the row's name.
    QPoint centreOf(tf::ListView* list, int row) { return QPoint(20, list->visualItemRect(list->Item(row)).center().y()); }
};

TEST_F(ListEventsTest, ClickingARowShowsItAndArrowKeysShowTheNext)
{
    EXPECT_TRUE(f.browse->mblnSuppressItemShow); // as at start-up
    QTest::mouseClick(f.lvFolder->viewport(), Qt::LeftButton, {}, centreOf(f.lvFolder, 2));
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("2.png"));
    EXPECT_FALSE(f.browse->mblnSuppressItemShow);
    EXPECT_EQ(f.browse->mintSelectedCount, 1);
    EXPECT_TRUE(f.lvFolder->hasFocus());
    EXPECT_EQ(f.browse->mstrDragSourceList, "lvFolder");
    int resizes = f.resizeCalls;

    QTest::keyClick(f.lvFolder, Qt::Key_Down);
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("3.png"));
    EXPECT_GT(f.resizeCalls, resizes); // the panes are laid out for the new image
    resizes = f.resizeCalls;
    QTest::keyClick(f.lvFolder, Qt::Key_A); // other keys show nothing
    EXPECT_EQ(f.resizeCalls, resizes);

    // A right click shows nothing.
    QTest::mouseClick(f.lvFolder->viewport(), Qt::RightButton, {}, centreOf(f.lvFolder, 1));
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("3.png"));
}

TEST_F(ListEventsTest, TheBasketShowsNothingWhileSeveralPagesAreSelected)
{
    addBasketPage(f.lvPages, dir.file("1.png"));
    addBasketPage(f.lvPages, dir.file("2.png"));
    QTest::mouseClick(f.lvPages->viewport(), Qt::LeftButton, {}, centreOf(f.lvPages, 1));
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("1.png"));
    EXPECT_EQ(f.browse->mstrDragSourceList, "lvPages");

    QTest::mouseClick(f.lvPages->viewport(), Qt::LeftButton, Qt::ControlModifier, centreOf(f.lvPages, 2));
    EXPECT_EQ(f.browse->mintSelectedCount, 2);
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("1.png"));

    // Leaving the basket suppresses showing until a row is clicked again.
    f.lvFolder->setFocus();
    EXPECT_TRUE(f.browse->mblnSuppressItemShow);
    EXPECT_EQ(f.browse->mstrDragSourceList, "lvFolder");
    f.selectRow(f.lvFolder, 3);
    QTest::keyClick(f.lvFolder, Qt::Key_Up);
    EXPECT_EQ(f.browse->PicTiffTag(), dir.file("1.png"));
}
