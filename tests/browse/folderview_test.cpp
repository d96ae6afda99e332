// The folder list: which files it lists, what each row says in details and thumbnail mode,
// switching between the modes, and a listing interrupted by another folder.
#include "browse_fixture.h"

#include "browse/modFolderView.h"
#include "frame/modSettings.h"
#include "services/clsFileInfo.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMimeDatabase>
#include <QTimer>
#include <gtest/gtest.h>

using namespace browse_test;

namespace {

// A folder of every kind of file the view has to tell apart.
struct MixedFolder {
    tf::test::TempFolder dir;
    MixedFolder()
    {
        writeQt(dir.file("a.png"), solid(64, 48, Qt::red), "png");
        writeQt(dir.file("B.JPG"), solid(80, 60, Qt::green), "jpg");
        writeBytes(dir.file("broken.png"), QByteArray("\x89PNG\r\n\x1a\n this is not an image at all", 40));
        writeQt(dir.file("c.jpeg"), solid(30, 20, Qt::blue), "jpg", /*progressive*/ true);
        writeQt(dir.file("d.bmp"), solid(20, 10, Qt::yellow), "bmp");
        writeWithControl(dir.file("e.gif"), solid(16, 16, Qt::cyan));
        writeTiffPages(dir.file("f.tif"), {solid(40, 30, Qt::red), solid(40, 30, Qt::green), solid(40, 30, Qt::blue)});
        writeQt(dir.file("g.ppm"), solid(12, 8, Qt::magenta), "ppm");
        writeQt(dir.file(".hidden.png"), solid(10, 10, Qt::black), "png");
        writeBytes(dir.file("notes.txt"), "not a picture");
        writeBytes(dir.file("png"), "a name without an extension");
        QDir(dir.path()).mkdir("sub.png");
    }
    QString path() const { return dir.path(); }
    QString file(const QString& name) const { return dir.file(name); }
};

QTreeWidgetItem* rowNamed(tf::ListView* list, const QString& name)
{
    for (int i = 1; i <= list->Count(); ++i)
        if (list->Item(i)->text(0) == name) return list->Item(i);
    return nullptr;
}

// The thumbnail LoadPic makes of the file, to check a row shows its own file's picture.
QImage thumbnailOf(const QString& path)
{
    int32_t w = 0, h = 0;
    return LoadPic(path, kSizeModeBox, glngFolderThumbWidth, glngFolderThumbHeight, 0xFFFFFF, w, h);
}

void makeSeries(const tf::test::TempFolder& dir, const QString& prefix, int count)
{
    for (int i = 0; i < count; ++i)
        writeQt(dir.file(QString("%1%2.png").arg(prefix).arg(i)), solid(20 + i, 10 + i, QColor::fromHsv(i * 30 % 360, 200, 200)), "png");
}

} // namespace

TEST(FolderViewRules, ExtensionsAreTheRealOnesInAnyCase)
{
    EXPECT_EQ(fncFolderImageExtensions().size(), 64);
    EXPECT_EQ(fncFolderImageExtensions().first(), "act");
    EXPECT_EQ(fncFolderImageExtensions().last(), "xpm");
    EXPECT_EQ(fncFolderExtension("/x/photo.JPEG"), "jpeg");
    EXPECT_EQ(fncFolderExtension("/x.y/name"), "");
    EXPECT_EQ(fncFolderExtension("/x/.hidden"), "");
    for (const char* ext : {"jpeg", "JPG", "tiff", "targa", "wbmp", "Png", "jpg2", "rgba"}) EXPECT_TRUE(fncIsFolderImage(ext)) << ext;
    for (const char* ext : {"txt", "", "jp", "tar", "wbm", "pdf"}) EXPECT_FALSE(fncIsFolderImage(ext)) << ext;
}

TEST(FolderViewRules, PathsAreJoinedWithOneSlash)
{
    EXPECT_EQ(fncFolderFilePath("/", "a.png"), "/a.png");
    EXPECT_EQ(fncFolderFilePath("/ab", "a.png"), "/ab/a.png");
    EXPECT_EQ(fncFolderFilePath("/ab/", "a.png"), "/ab/a.png");
}

TEST(FolderViewRules, PanelTexts)
{
    EXPECT_EQ(fncFolderPanelText("/home/u/Pictures"), "Current Folder - /home/u/Pictures");
    EXPECT_EQ(fncPagesPanelText("3"), "3 page(s)");
    EXPECT_EQ(fncResolutionPanelText("64 x 48", "1.00KB"), "64 x 48     1.00KB");
    EXPECT_EQ(fncMetadataPanelText(true, true), "Metadata - EXIF IPTC");
    EXPECT_EQ(fncMetadataPanelText(true, false), "Metadata - EXIF");
    EXPECT_EQ(fncMetadataPanelText(false, true), "Metadata -  IPTC");
    EXPECT_EQ(fncMetadataPanelText(false, false), "No metadata");
    EXPECT_EQ(fncZoomPanelText(100), "100%");
    EXPECT_EQ(fncZoomPanelText(50.5), "50%");
    EXPECT_EQ(fncZoomPanelText(51.5), "52%");
    EXPECT_EQ(fncThumbnailResolution(640, 480), "640 x 480");
}

TEST(FolderViewRules, NamesLeaveOutHiddenFilesAndFoldersAndSortWithoutCase)
{
    MixedFolder folder;
    EXPECT_EQ(fncFolderFileNames(folder.path()),
              QStringList({"a.png", "B.JPG", "broken.png", "c.jpeg", "d.bmp", "e.gif", "f.tif", "g.ppm", "notes.txt", "png"}));
    EXPECT_TRUE(fncFolderFileNames("").isEmpty());
    EXPECT_TRUE(fncFolderFileNames(folder.file("no such folder")).isEmpty());
}

TEST(FolderViewListing, DetailsModeListsEveryImageWithItsHeaderFacts)
{
    MixedFolder folder;
    BrowseFixture f;
    gudtSettings.FolderView = 3;
    f.browse->ftvBrowse_FolderSelected(folder.path());

    EXPECT_EQ(f.rowTexts(), QStringList({"a.png", "B.JPG", "broken.png", "c.jpeg", "d.bmp", "e.gif", "f.tif", "g.ppm"}));
    const std::map<QString, QString> resolution = {
        {"a.png", "64 X 48 X 24"}, {"B.JPG", "80 X 60 X 24"}, {"broken.png", "0 X 0 X 0"}, {"c.jpeg", "30 X 20 X 24"},
        {"d.bmp", "20 X 10 X 24"}, {"e.gif", "16 X 16 X 8"},  {"f.tif", "40 X 30 X 24"},   {"g.ppm", ""}};
    const QMimeDatabase mimes;
    for (const auto& [name, text] : resolution) {
        QTreeWidgetItem* row = rowNamed(f.lvFolder, name);
        ASSERT_NE(row, nullptr) << name.toStdString();
        const QString path = folder.file(name);
        const QFileInfo info(path);
        EXPECT_EQ(tf::ListView::Tag(row), path);
        EXPECT_EQ(tf::ListView::SubItem(row, 1), text) << name.toStdString();
        EXPECT_EQ(tf::ListView::SubItem(row, 2), fncFormatSize(info.size(), 0));
        EXPECT_EQ(tf::ListView::SubItem(row, 3), name == "f.tif" ? "3" : "1") << name.toStdString();
        EXPECT_EQ(tf::ListView::SubItem(row, 4), mimes.mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment());
        EXPECT_EQ(tf::ListView::SubItem(row, 6), fncFormatDateTime(info.lastModified()));
        EXPECT_FALSE(tf::ListView::SubItem(row, 5).isEmpty());
        EXPECT_FALSE(tf::ListView::SubItem(row, 7).isEmpty());
        EXPECT_EQ(tf::ListView::SmallIcon(row), 1);
        EXPECT_FALSE(row->icon(0).isNull());
    }
    EXPECT_EQ(f.browse->ilFolder().count(), 0);
    EXPECT_EQ(f.sbMain->panelText("folder"), "Current Folder - " + folder.path());
    EXPECT_TRUE(f.pbQueue->isHidden());
    EXPECT_EQ(f.pbQueue->value(), 10); // every name was walked
    EXPECT_FALSE(f.browse->mblnStopListing);
}

TEST(FolderViewListing, LongSizeTextFollowsTheSetting)
{
    tf::test::TempFolder dir;
    writeQt(dir.file("big.bmp"), solid(100, 100, Qt::gray), "bmp");
    BrowseFixture f;
    gudtSettings.FolderView = 3;
    gudtSettings.LongFileSize = 1;
    f.browse->ftvBrowse_FolderSelected(dir.path());
    ASSERT_EQ(f.lvFolder->Count(), 1);
    EXPECT_EQ(tf::ListView::SubItem(f.lvFolder->Item(1), 2), fncFormatSize(QFileInfo(dir.file("big.bmp")).size(), 1));
    EXPECT_TRUE(tf::ListView::SubItem(f.lvFolder->Item(1), 2).contains("bytes)"));
}

TEST(FolderViewListing, ThumbnailModeLeavesOutWhatCannotBeReadWithoutAMessage)
{
    MixedFolder folder;
    BrowseFixture f;
    f.browse->ftvBrowse_FolderSelected(folder.path());

    EXPECT_EQ(f.rowTexts(), QStringList({"a.png", "B.JPG", "c.jpeg", "d.bmp", "e.gif", "f.tif", "g.ppm"}));
    EXPECT_EQ(tf::ListView::SubItem(rowNamed(f.lvFolder, "a.png"), 1), "64 x 48");
    EXPECT_EQ(tf::ListView::SubItem(rowNamed(f.lvFolder, "g.ppm"), 1), "12 x 8");
    EXPECT_EQ(tf::ListView::SubItem(rowNamed(f.lvFolder, "c.jpeg"), 1), "30 x 20");
    EXPECT_EQ(tf::ListView::SubItem(rowNamed(f.lvFolder, "f.tif"), 3), "3");
    ASSERT_EQ(f.browse->ilFolder().count(), 7);
    EXPECT_EQ(f.lvFolder->iconSize(), QSize(40, 40));
    for (int i = 1; i <= f.lvFolder->Count(); ++i) {
        QTreeWidgetItem* row = f.lvFolder->Item(i);
        EXPECT_EQ(tf::ListView::SmallIcon(row), i);
        const QImage own = f.browse->fncFolderThumbnail(row).toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(own, thumbnailOf(tf::ListView::Tag(row)).convertToFormat(QImage::Format_RGB32)) << i;
    }
}

TEST(FolderViewListing, EmptyFolderNamesTheFolderAndHidesTheProgress)
{
    tf::test::TempFolder dir;
    BrowseFixture f;
    f.pbQueue->show();
    f.browse->ftvBrowse_FolderSelected(dir.path());
    EXPECT_EQ(f.lvFolder->Count(), 0);
    EXPECT_EQ(f.sbMain->panelText("folder"), "Current Folder - " + dir.path());
    EXPECT_TRUE(f.pbQueue->isHidden());

    // An empty path is no folder: nothing happens.
    f.browse->ftvBrowse_FolderSelected(QString());
    EXPECT_EQ(f.sbMain->panelText("folder"), "Current Folder - " + dir.path());
}

TEST(FolderViewModes, SwitchingToDetailsAndBackKeepsRowsAndThumbnailsWithoutReading)
{
    tf::test::TempFolder dir;
    makeSeries(dir, "p", 3);
    BrowseFixture f;
    f.browse->ftvBrowse_FolderSelected(dir.path());
    ASSERT_EQ(f.lvFolder->Count(), 3);
    QList<qint64> keys;
    for (int i = 1; i <= 3; ++i) keys << f.browse->fncFolderThumbnail(f.lvFolder->Item(i)).cacheKey();

    // With the files gone, any re-reading would empty the list.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files)) QFile::remove(dir.file(name));

    f.cmdDetailFolder->click();
    EXPECT_EQ(gudtSettings.FolderView, 3);
    EXPECT_EQ(f.lvFolder->iconSize(), QSize(16, 16));
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(tf::ListView::SmallIcon(f.lvFolder->Item(i)), 1);
    EXPECT_EQ(tf::ListView::SubItem(f.lvFolder->Item(1), 1), "20 x 10"); // not read again

    f.cmdThumbnailFolder->click();
    EXPECT_EQ(gudtSettings.FolderView, 0);
    ASSERT_EQ(f.rowTexts(), QStringList({"p0.png", "p1.png", "p2.png"}));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(tf::ListView::SmallIcon(f.lvFolder->Item(i)), i);
        EXPECT_EQ(f.browse->fncFolderThumbnail(f.lvFolder->Item(i)).cacheKey(), keys[i - 1]);
    }
}

TEST(FolderViewModes, ThumbnailsAfterADetailsListingListTheFolderAgain)
{
    MixedFolder folder;
    BrowseFixture f;
    gudtSettings.FolderView = 3;
    f.browse->ftvBrowse_FolderSelected(folder.path());
    ASSERT_EQ(f.lvFolder->Count(), 8);

    f.cmdThumbnailFolder->click();
    EXPECT_EQ(f.rowTexts(), QStringList({"a.png", "B.JPG", "c.jpeg", "d.bmp", "e.gif", "f.tif", "g.ppm"}));
    EXPECT_EQ(f.browse->ilFolder().count(), 7);
    EXPECT_EQ(tf::ListView::SubItem(f.lvFolder->Item(1), 1), "64 x 48");
}

TEST(FolderViewModes, SortedRowsKeepTheirOwnThumbnails)
{
    tf::test::TempFolder dir;
    makeSeries(dir, "s", 4);
    BrowseFixture f;
    f.browse->ftvBrowse_FolderSelected(dir.path());
    f.lvFolder->SortOrder = 1;
    f.lvFolder->sortNow();
    ASSERT_EQ(f.rowTexts(), QStringList({"s3.png", "s2.png", "s1.png", "s0.png"}));
    f.cmdDetailFolder->click();
    f.cmdThumbnailFolder->click();
    for (int i = 1; i <= 4; ++i) {
        QTreeWidgetItem* row = f.lvFolder->Item(i);
        EXPECT_EQ(row->icon(0).pixmap(40, 40).toImage().convertToFormat(QImage::Format_RGB32),
                  thumbnailOf(tf::ListView::Tag(row)).convertToFormat(QImage::Format_RGB32))
            << row->text(0).toStdString();
    }
}

TEST(FolderViewModes, ModeSwitchedHalfWayThenBackRelistsSoEveryRowHasItsOwnPicture)
{
    tf::test::TempFolder dir;
    makeSeries(dir, "m", 5);
    BrowseFixture f;
    bool switched = false;
    QObject::connect(f.lvFolder->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (!switched && f.lvFolder->Count() == 2) {
            switched = true;
            QTimer::singleShot(0, f.cmdDetailFolder, &QPushButton::click);
        }
    });
    f.browse->ftvBrowse_FolderSelected(dir.path());
    ASSERT_TRUE(switched);
    ASSERT_EQ(f.lvFolder->Count(), 5);
    EXPECT_EQ(f.browse->ilFolder().count(), 2);
    EXPECT_EQ(tf::ListView::SubItem(f.lvFolder->Item(5), 1), "24 X 14 X 24"); // listed in details mode

    f.cmdThumbnailFolder->click();
    ASSERT_EQ(f.lvFolder->Count(), 5);
    EXPECT_EQ(f.browse->ilFolder().count(), 5);
    for (int i = 1; i <= 5; ++i) {
        QTreeWidgetItem* row = f.lvFolder->Item(i);
        EXPECT_EQ(f.browse->fncFolderThumbnail(row).toImage().convertToFormat(QImage::Format_RGB32),
                  thumbnailOf(tf::ListView::Tag(row)).convertToFormat(QImage::Format_RGB32));
    }
}

TEST(FolderViewInterrupted, AnotherFolderChosenMidListingLeavesOnlyItsFilesOnce)
{
    tf::test::TempFolder a, b;
    makeSeries(a, "a", 6);
    makeSeries(b, "b", 3);
    BrowseFixture f;
    bool chosen = false;
    QObject::connect(f.lvFolder->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (!chosen && f.lvFolder->Count() == 2) {
            chosen = true;
            QTimer::singleShot(0, [&] { f.browse->ftvBrowse_FolderSelected(b.path()); });
        }
    });
    f.browse->ftvBrowse_FolderSelected(a.path());
    ASSERT_TRUE(chosen);
    EXPECT_EQ(f.rowTexts(), QStringList({"b0.png", "b1.png", "b2.png"}));
    for (int i = 1; i <= f.lvFolder->Count(); ++i) {
        EXPECT_TRUE(tf::ListView::Tag(f.lvFolder->Item(i)).startsWith(b.path() + "/"));
        EXPECT_EQ(tf::ListView::SmallIcon(f.lvFolder->Item(i)), i);
    }
    EXPECT_EQ(f.browse->ilFolder().count(), 3);
    EXPECT_EQ(f.sbMain->panelText("folder"), "Current Folder - " + b.path());
    EXPECT_EQ(f.browse->fileMainPath(), b.path());
    EXPECT_TRUE(f.pbQueue->isHidden());
    EXPECT_FALSE(f.browse->mblnStopListing);
}

TEST(FolderViewInterrupted, AnEmptyFolderChosenMidListingEmptiesTheListAndHidesTheProgress)
{
    tf::test::TempFolder a, empty;
    makeSeries(a, "a", 4);
    BrowseFixture f;
    bool chosen = false;
    QObject::connect(f.lvFolder->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (!chosen) {
            chosen = true;
            QTimer::singleShot(0, [&] { f.browse->ftvBrowse_FolderSelected(empty.path()); });
        }
    });
    f.browse->ftvBrowse_FolderSelected(a.path());
    ASSERT_TRUE(chosen);
    EXPECT_EQ(f.lvFolder->Count(), 0);
    EXPECT_EQ(f.browse->ilFolder().count(), 0);
    EXPECT_TRUE(f.pbQueue->isHidden());
}

TEST(FolderViewInterrupted, AFileRemovedDuringTheListingIsLeftOut)
{
    tf::test::TempFolder dir;
    makeSeries(dir, "v", 4);
    BrowseFixture f;
    gudtSettings.FolderView = 3;
    bool removed = false;
    QObject::connect(f.lvFolder->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (!removed) removed = QFile::remove(dir.file("v2.png"));
    });
    f.browse->ftvBrowse_FolderSelected(dir.path());
    ASSERT_TRUE(removed);
    EXPECT_EQ(f.rowTexts(), QStringList({"v0.png", "v1.png", "v3.png"}));
}

TEST(FolderTree, ChoosingAFolderInTheTreeListsIt)
{
    tf::test::TempFolder a, b;
    makeSeries(a, "a", 2);
    makeSeries(b, "b", 1);
    BrowseFixture f(/*withTree*/ true);
    f.browse->subOpenFolder(a.path() + "   "); // the stored folder comes padded with blanks
    EXPECT_EQ(f.rowTexts(), QStringList({"a0.png", "a1.png"}));
    EXPECT_EQ(f.browse->SelectedFolder(), a.path());

    auto* model = qobject_cast<QFileSystemModel*>(f.ftvBrowse->model());
    ASSERT_NE(model, nullptr);
    f.ftvBrowse->setCurrentIndex(model->index(b.path()));
    EXPECT_EQ(f.rowTexts(), QStringList({"b0.png"}));
    EXPECT_EQ(f.browse->fileMainPath(), b.path());

    // Opening the folder already chosen lists it again (the first resize does this).
    QFile::remove(b.file("b0.png"));
    f.browse->subOpenFolder(b.path());
    EXPECT_EQ(f.lvFolder->Count(), 0);
}
