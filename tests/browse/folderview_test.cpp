// The folder list: which files it lists, each row in both modes, switching, interrupted listings.
#include "browse_fixture.h"

#include "browse/modFolderView.h"
#include "frame/modSettings.h"
#include "platform/ui/foldermodel.h"
#include "services/clsFileInfo.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"
#include "platform/sys/blockingcalls.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeDatabase>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace browse_test;

namespace {

const QStringList kImages = {"a.png", "B.JPG", "broken.png", "c.jpeg", "d.bmp", "e.gif", "f.tif", "g.ppm"};

// Every kind of file the view has to tell apart.
void makeMixedFolder(const tf::test::TempFolder& dir)
{
    writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
    writeQt(dir.file("B.JPG"), solid(80, 60, Qt::green), "jpg");
    dir.write("broken.png", QByteArray("\x89PNG\r\n\x1a\n this is not an image at all"));
    writeQt(dir.file("c.jpeg"), solid(30, 20, Qt::blue), "jpg", /*progressive*/ true);
    writeQt(dir.file("d.bmp"), solid(20, 10, Qt::yellow), "bmp");
    writeWithControl(dir.file("e.gif"), solid(16, 16, Qt::cyan));
    ASSERT_TRUE(tf::test::writeRgbTiff(dir.file("f.tif"), {solid(40, 30, Qt::red), solid(40, 30, Qt::green), solid(40, 30, Qt::blue)}));
    writeQt(dir.file("g.ppm"), solid(12, 8, Qt::magenta), "ppm");
    writeQt(dir.file(".hidden.png"), solid(10, 10, Qt::black), "png");
    dir.write("notes.txt", "not a picture");
    dir.write("png", "a name without an extension");
    QDir(dir.path()).mkdir("sub.png");
}

void makeSeries(const tf::test::TempFolder& dir, const QString& prefix, int count)
{
    for (int i = 0; i < count; ++i)
        writeQt(dir.file(QString("%1%2.png").arg(prefix).arg(i)), solid(20 + i, 10 + i, QColor::fromHsv(i * 40, 200, 200)), "png");
}

// Does the row show the picture LoadPic makes of its own file?
bool showsOwnThumbnail(const BrowseController& browse, const QModelIndex& row)
{
    int32_t w = 0, h = 0;
    tf::BlockingCallsAllowed loadsHere; // the test's own reference, made on its thread
    const QImage expected = LoadPic(tag(row), kSizeModeBox, glngFolderThumbWidth, glngFolderThumbHeight, 0xFFFFFF, w, h);
    const QImage shown = picture(row).toImage();
    return !expected.isNull() && shown.convertToFormat(QImage::Format_RGB32) == expected.convertToFormat(QImage::Format_RGB32) &&
           browse.fncFolderThumbnail(row).cacheKey() != 0;
}

class FolderView : public ::testing::Test {
protected:
    tf::test::TempFolder dir;
    BrowseFixture f;
};

} // namespace

TEST(FolderViewRules, ExtensionsPathsAndZoomText)
{
    EXPECT_EQ(fncFolderImageExtensions().size(), 64);
    EXPECT_EQ(fncFolderExtension("/x/photo.JPEG"), "jpeg");
    EXPECT_EQ(fncFolderExtension("/x.y/name"), "");
    for (const char* ext : {"jpeg", "JPG", "tiff", "targa", "wbmp", "jpg2", "rgba", "xpm"}) EXPECT_TRUE(fncIsFolderImage(ext)) << ext;
    for (const char* ext : {"txt", "", "tar", "wbm", "pdf"}) EXPECT_FALSE(fncIsFolderImage(ext)) << ext;

    EXPECT_EQ(fncFolderFilePath("/", "a.png"), "/a.png");
    EXPECT_EQ(fncFolderFilePath("/ab", "a.png"), "/ab/a.png");
    EXPECT_EQ(fncFolderFilePath("/ab/", "a.png"), "/ab/a.png");

    EXPECT_TRUE(fncFolderFileNames("").isEmpty()); // no folder, not the working folder
    // The zoom panel rounds halves to the even number.
    const std::pair<double, const char*> zooms[] = {{50.5, "50%"}, {51.5, "52%"}, {100.0, "100%"},
                                                    {33.3333, "33%"}, {66.7, "67%"}, {0.5, "0%"}};
    for (const auto& [zoom, text] : zooms) EXPECT_EQ(fncZoomPanelText(zoom), text) << zoom;
}

TEST_F(FolderView, DetailsModeListsEveryImageWithItsHeaderFacts)
{
    makeMixedFolder(dir);
    gudtSettings.FolderView = 3;
    f.list(dir.path());

    ASSERT_EQ(f.rowTexts(), kImages);
    const QStringList resolutions = {"64 X 48 X 24", "80 X 60 X 24", "0 X 0 X 0", "30 X 20 X 24",
                                     "20 X 10 X 24", "16 X 16 X 8",  "40 X 30 X 24", ""};
    for (int i = 0; i < kImages.size(); ++i) {
        QModelIndex row = f.item(i + 1);
        const QFileInfo info(dir.file(kImages[i]));
        EXPECT_EQ(tag(row), dir.file(kImages[i]));
        EXPECT_EQ(cell(row, 1), resolutions[i]);
        EXPECT_EQ(cell(row, 2), fncFormatSize(info.size(), 0));
        EXPECT_EQ(cell(row, 3), kImages[i] == "f.tif" ? "3" : "1");
        EXPECT_EQ(cell(row, 4), QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment());
        EXPECT_EQ(cell(row, 6), fncFormatDateTime(info.lastModified()));
        EXPECT_FALSE(cell(row, 5).isEmpty() || cell(row, 7).isEmpty());
        EXPECT_EQ(picture(row).cacheKey(), f.w.iDetailIcon.cacheKey());
    }
    EXPECT_EQ(f.browse->ilFolder().count(), 0);
    QStringList captions;
    for (int i = 0; i < f.lvFolder->model()->columnCount(); ++i) captions << f.lvFolder->model()->headerData(i, Qt::Horizontal).toString();
    EXPECT_EQ(captions, QStringList({"File Name", "Resolution", "Size", "Pages", "Type", "Date Created", "Date Modified",
                                     "Date Accessed"}));
    EXPECT_EQ(f.panel("folder"), "Current Folder - " + dir.path());
    EXPECT_TRUE(f.w.pbQueue->isHidden());
}

TEST_F(FolderView, ThumbnailModeGivesEveryFileARowAndSaysWhyOneHasNoPicture)
{
    makeMixedFolder(dir);
    f.browse->ftvBrowse_FolderSelected(dir.path());
    // The rows are there before any picture is.
    ASSERT_EQ(f.rowTexts(), kImages);
    ASSERT_TRUE(f.settle());

    ASSERT_EQ(f.rowTexts(), kImages);
    EXPECT_EQ(cell(f.row("a.png"), 1), "64 x 48");
    EXPECT_EQ(cell(f.row("c.jpeg"), 1), "30 x 20");
    EXPECT_EQ(cell(f.row("f.tif"), 3), "3");
    EXPECT_EQ(f.browse->ilFolder().count(), 7);
    EXPECT_EQ(f.lvFolder->iconSize(), QSize(40, 40));
    for (int i = 1; i <= f.count(); ++i) {
        QModelIndex row = f.item(i);
        if (cell(row, 0) == "broken.png") continue;
        EXPECT_TRUE(showsOwnThumbnail(*f.browse, row)) << i;
        EXPECT_TRUE(tip(row).isEmpty()) << i;
    }
    // The damaged file keeps its row: a picture of its own, no thumbnail to hand on, and the reason.
    QModelIndex broken = f.row("broken.png");
    EXPECT_FALSE(picture(broken).isNull());
    EXPECT_EQ(f.browse->fncFolderThumbnail(broken).cacheKey(), 0);
    EXPECT_EQ(tip(broken), "Unable to read: the picture is damaged");
    EXPECT_EQ(cell(broken, 2), fncFormatSize(QFileInfo(dir.file("broken.png")).size(), 0));
    EXPECT_EQ(f.browse->folderListing().file(2)->failure, tip(broken));

    // What the basket takes of the selected rows: each row's place, file, texts and own picture.
    f.lvFolder->selectionModel()->select(f.item(2), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    f.lvFolder->selectionModel()->select(f.item(6), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const std::vector<SelectedFolderFile> chosen = f.browse->selectedFolderFiles();
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[0].index, 2);
    EXPECT_EQ(chosen[0].file.path, dir.file("B.JPG"));
    EXPECT_EQ(chosen[1].index, 6);
    EXPECT_EQ(chosen[1].file.texts[tf::kFolderResolution], "16 x 16");
    EXPECT_EQ(f.browse->fncFolderThumbnail(chosen[1].file.thumbnail).cacheKey(),
              f.browse->fncFolderThumbnail(f.item(6)).cacheKey());
}

TEST_F(FolderView, TwoColourPicturesKeepTheirColoursInTheirThumbnails)
{
    // A solid green 1-bit palette PNG, and a TIFF of such pages, framed in yellow.
    ASSERT_TRUE(tf::test::writeTwoColourPictures(dir.path()));
    f.browse->ftvBrowse_FolderSelected(dir.path());
    ASSERT_TRUE(f.settle());
    for (const char* name : {"green.png", "scan.tif"}) {
        const QImage shown = picture(f.row(name)).toImage();
        ASSERT_FALSE(shown.isNull()) << name;
        // The middle of the page, scaled down: the page's green, not black-and-white dots.
        const QColor middle = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        EXPECT_LT(middle.red(), 40) << name;
        EXPECT_NEAR(middle.green(), 128, 24) << name;
        EXPECT_LT(middle.blue(), 40) << name;
    }
}

TEST_F(FolderView, DetailsAndBackKeepRowsAndThumbnailsEvenWhenSorted)
{
    makeSeries(dir, "p", 3);
    f.list(dir.path());
    ASSERT_EQ(f.count(), 3);
    f.browse->lvFolder_ColumnClick(1);
    f.browse->lvFolder_ColumnClick(1); // names descending
    // With the files gone, any reading would lose the rows.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files)) QFile::remove(dir.file(name));

    f.browse->cmdDetailFolder()->click();
    EXPECT_EQ(gudtSettings.FolderView, 3);
    EXPECT_EQ(f.lvFolder->iconSize(), QSize(16, 16));
    EXPECT_EQ(picture(f.item(3)).cacheKey(), f.w.iDetailIcon.cacheKey());
    EXPECT_EQ(cell(f.item(3), 1), "20 x 10"); // not read again

    f.browse->cmdThumbnailFolder()->click();
    EXPECT_EQ(gudtSettings.FolderView, 0);
    ASSERT_EQ(f.rowTexts(), QStringList({"p2.png", "p1.png", "p0.png"}));
    for (int i = 1; i <= 3; ++i) {
        const QImage shown = picture(f.item(i)).toImage();
        EXPECT_EQ(shown.pixel(20, 20), QColor::fromHsv((3 - i) * 40, 200, 200).rgb()) << i;
    }
}

TEST_F(FolderView, AClickOnAColumnCaptionSortsByItThenTheOtherWay)
{
    makeMixedFolder(dir);
    gudtSettings.FolderView = 3;
    f.window.show();
    f.list(dir.path());
    ASSERT_EQ(f.rowTexts(), kImages);
    QHeaderView* header = f.lvFolder->header();
    const auto clickCaption = [&](int column) {
        const int section = column - 1;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2));
    };

    // By the "Resolution" text, as text: the empty one first, "0 X 0 X 0" next.
    const QStringList byResolution = {"g.ppm", "broken.png", "e.gif", "d.bmp", "c.jpeg", "f.tif", "a.png", "B.JPG"};
    clickCaption(2);
    EXPECT_EQ(f.rowTexts(), byResolution);
    // Another column starts ascending; every row keeps its own file.
    BrowseFixture::selectRow(f.lvFolder, 7); // "a.png"
    clickCaption(1);
    EXPECT_EQ(f.rowTexts(), kImages);
    for (int i = 1; i <= f.count(); ++i)
        EXPECT_EQ(tag(f.item(i)), dir.file(cell(f.item(i), 0)));
    ASSERT_EQ(f.selectedTexts().size(), 1);
    EXPECT_EQ(f.selectedTexts()[0], "a.png") << "the selected file stays selected";

    // The sort outlives the listing: the folder listed again comes in the order chosen.
    clickCaption(1);
    const QStringList descending(kImages.rbegin(), kImages.rend());
    f.list(dir.path());
    EXPECT_EQ(f.rowTexts(), descending);
    for (int i = 1; i <= f.count(); ++i)
        EXPECT_EQ(cell(f.item(i), 0), QFileInfo(tag(f.item(i))).fileName());
}

TEST_F(FolderView, ALaterTextMovesItsRowToItsPlaceInTheChosenOrder)
{
    // Sizes come after the rows: the order by size is the one the list ends in.
    dir.write("a.png", QByteArray(300, 'x'));
    dir.write("b.png", QByteArray(100, 'x'));
    dir.write("c.png", QByteArray(200, 'x'));
    gudtSettings.FolderView = 3;
    f.list(dir.path());
    f.browse->lvFolder_ColumnClick(3);
    ASSERT_EQ(f.rowTexts(), QStringList({"b.png", "c.png", "a.png"}));
    BrowseFixture::selectRow(f.lvFolder, 3);

    f.list(dir.path());
    EXPECT_EQ(f.rowTexts(), QStringList({"b.png", "c.png", "a.png"}));
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(cell(f.item(i), 0), QFileInfo(tag(f.item(i))).fileName());
    EXPECT_EQ(f.browse->folderListing().file(0)->path, dir.file("a.png")) << "the listing keeps the order it read";
}

TEST_F(FolderView, SwitchingModeWhileRowsStillWaitListsAgainInTheNewMode)
{
    makeSeries(dir, "m", 5);
    QSignalSpy listed(f.browse.get(), &BrowseController::folderListed);
    f.browse->ftvBrowse_FolderSelected(dir.path());
    ASSERT_TRUE(f.browse->listingBusy());
    f.browse->cmdDetailFolder()->click();
    ASSERT_TRUE(f.settle());
    ASSERT_EQ(f.count(), 5);
    EXPECT_EQ(listed.count(), 1) << "the first listing never finishes";
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(cell(f.item(i), 1), QString("%1 X %2 X 24").arg(19 + i).arg(9 + i)) << i;
        EXPECT_EQ(picture(f.item(i)).cacheKey(), f.w.iDetailIcon.cacheKey());
    }

    f.browse->cmdThumbnailFolder()->click(); // the details rows have no pictures: listed again
    ASSERT_TRUE(f.settle());
    ASSERT_EQ(f.count(), 5);
    EXPECT_EQ(f.browse->ilFolder().count(), 5);
    for (int i = 1; i <= 5; ++i) EXPECT_TRUE(showsOwnThumbnail(*f.browse, f.item(i))) << i;
}

TEST(FolderViewInterrupted, AnotherFolderChosenMidListingGetsNoneOfTheOldAnswers)
{
    for (const bool secondIsEmpty : {false, true}) {
        // The same names in both folders, other pictures: an old answer would land on a new row.
        tf::test::TempFolder a, b;
        makeSeries(a, "x", 6);
        if (!secondIsEmpty)
            for (int i = 0; i < 3; ++i) writeQt(b.file(QString("x%1.png").arg(i)), solid(50, 25, Qt::darkGreen), "png");
        BrowseFixture f;
        f.browse->ftvBrowse_FolderSelected(a.path());
        ASSERT_TRUE(f.browse->listingBusy());
        f.list(b.path());

        EXPECT_EQ(f.rowTexts(), secondIsEmpty ? QStringList() : QStringList({"x0.png", "x1.png", "x2.png"}));
        for (int i = 1; i <= f.count(); ++i) {
            EXPECT_EQ(tag(f.item(i)), b.file(cell(f.item(i), 0)));
            EXPECT_TRUE(showsOwnThumbnail(*f.browse, f.item(i)));
            EXPECT_EQ(cell(f.item(i), 1), "50 x 25");
        }
        EXPECT_EQ(f.browse->ilFolder().count(), f.count());
        EXPECT_EQ(f.panel("folder"), "Current Folder - " + b.path());
        EXPECT_EQ(f.browse->fileMainPath(), b.path());
        EXPECT_TRUE(f.w.pbQueue->isHidden());
        f.browse->ftvBrowse_FolderSelected(QString()); // no folder: nothing happens
        EXPECT_EQ(f.panel("folder"), "Current Folder - " + b.path());
    }
}

TEST_F(FolderView, StoppingAListingLeavesTheRowsAndMakesNoMorePictures)
{
    makeSeries(dir, "s", 8);
    QSignalSpy listed(f.browse.get(), &BrowseController::folderListed);
    f.browse->ftvBrowse_FolderSelected(dir.path());
    EXPECT_FALSE(f.w.pbQueue->isHidden());
    f.browse->stopListing();
    EXPECT_FALSE(f.browse->listingBusy());
    EXPECT_TRUE(f.w.pbQueue->isHidden());
    EXPECT_EQ(listed.count(), 1);
    const int made = f.browse->ilFolder().count();
    QTest::qWait(200); // an answer that still came would add a picture
    EXPECT_EQ(f.browse->ilFolder().count(), made);
    EXPECT_EQ(f.count(), 8);
}

TEST_F(FolderView, RelistingTheShownFolderFollowsItsChangesAndKeepsTheSelection)
{
    makeSeries(dir, "r", 4);
    f.list(dir.path());
    BrowseFixture::selectRow(f.lvFolder, 3); // r2.png
    const QPersistentModelIndex kept(f.item(4));
    QFile::remove(dir.file("r0.png"));
    writeQt(dir.file("r1.png"), solid(70, 35, Qt::black), "png"); // rewritten: another size
    for (const char* name : {"new.png", "next.png", "nil.png"}) writeQt(dir.file(name), solid(10, 10, Qt::white), "png");

    f.browse->relistShownFolder();
    ASSERT_TRUE(f.settle());
    // New files come after the rows there were, in the order of their names.
    EXPECT_EQ(f.rowTexts(), QStringList({"r1.png", "r2.png", "r3.png", "new.png", "next.png", "nil.png"}));
    EXPECT_EQ(QModelIndex(kept), f.item(3)) << "an unchanged row is not made again";
    ASSERT_EQ(f.selectedTexts().size(), 1);
    EXPECT_EQ(f.selectedTexts()[0], "r2.png");
    EXPECT_EQ(cell(f.row("r1.png"), 1), "70 x 35");
    for (int i = 1; i <= f.count(); ++i) EXPECT_TRUE(showsOwnThumbnail(*f.browse, f.item(i))) << i;
    EXPECT_EQ(f.browse->folderListing().count(), 6);

    // A change seen while rows still come is looked at once they have.
    for (const char* name : {"r3.png", "next.png", "nil.png"}) QFile::remove(dir.file(name));
    f.browse->ftvBrowse_FolderSelected(dir.path());
    writeQt(dir.file("late.png"), solid(10, 10, Qt::white), "png");
    f.browse->relistShownFolder();
    ASSERT_TRUE(f.settle());
    EXPECT_EQ(f.rowTexts(), QStringList({"new.png", "r1.png", "r2.png", "late.png"}));
}

TEST(FolderTree, ChoosingAFolderInTheTreeListsIt)
{
    tf::test::TempFolder a, b;
    makeSeries(a, "a", 2);
    makeSeries(b, "b", 1);
    BrowseFixture f;
    f.browse->subOpenFolder(a.path() + "   "); // the stored folder comes padded with blanks
    EXPECT_EQ(f.rowTexts(), QStringList({"a0.png", "a1.png"}));
    EXPECT_EQ(f.browse->SelectedFolder(), a.path());

    tf::FolderModel* model = f.browse->ftvBrowse()->folderModel();
    f.browse->ftvBrowse()->setCurrentIndex(model->index(b.path()));
    EXPECT_EQ(f.rowTexts(), QStringList({"b0.png"}));
}
