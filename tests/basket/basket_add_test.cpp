#include "basket/modBasket.h"
#include "basket_fixture.h"
#include "frame/globals.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/msgbox.h"
#include "services/clsFileInfo.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QSignalSpy>

using namespace tf::test;
using tf::ListView;

TEST_F(BasketFixture, AddButtonAddsSelectedFilesOnceAndSplitsTheTiff)
{
    makeStandardFolder();
    selectFolderRows({1, 2, 3, 4, 5});
    addPage("old", "/old.jpg");
    choosePage(1);
    basket->cmdAddToQueue()->click();
    waitForAdding();

    EXPECT_EQ(basketTexts(), QStringList({"old", "a", "b", "c", "d", "scan1", "scan2", "scan3"}));
    EXPECT_EQ(gstrCurrentOperation, "Adding selected files to basket!");
    EXPECT_EQ(sbMain->panelText("queue"), "8 file(s) in basket");
    EXPECT_EQ(sbMain->panelText("folder"), folder.path());
    EXPECT_FALSE(pbQueue->isVisible());
    EXPECT_TRUE(chosenPages().isEmpty());

    // A single file is its own page; the folder row's texts are copied (type into sub-item 3).
    const QModelIndex a = page(2);
    EXPECT_EQ(pageTag(a), folder.file("a.jpg"));
    EXPECT_EQ(pageCell(a, 1), "20 X 10");
    EXPECT_EQ(pageCell(a, 2), ListView::SubItem(lvFolder->Item(1), 2));
    EXPECT_EQ(pageCell(a, 3), ListView::SubItem(lvFolder->Item(1), 4));
    EXPECT_EQ(pageCell(a, 4), folder.file("a.jpg"));

    // The TIFF: one temp page file per page in the per-user Temp folder, each holding its page.
    const QStringList tags = basketColumn(0).mid(5);
    expectTempPages(tags, R"(scan\.tif%1_\d{1,4}\.tif)");
    EXPECT_EQ(tempFolderFiles().size(), 3);
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(widthsOf(tiffDirectories(tags[p])), QList<int>{40 + 10 * p});
        const QModelIndex shown = page(6 + p);
        clsFileInfo info;
        info.FilePath(tags[p]);
        EXPECT_EQ(pageCell(shown, 1), QString("%1 X 30").arg(40 + 10 * p));
        EXPECT_EQ(pageCell(shown, 2), info.fSizeFormated());
        EXPECT_EQ(pageCell(shown, 3), info.fType());
        EXPECT_EQ(pageCell(shown, 4), folder.file("scan.tif"));
    }
    EXPECT_EQ(shownPicture(page(8)).cacheKey(), basket->ilPages()->image(8).cacheKey());
    EXPECT_EQ(basket->ilPages()->image(8).size(), QSize(48, 36));

    // Again, with one new file: the sources already there are refused, the TIFF's pages come once.
    model->remove({2}); // b
    basket->cmdAddToQueue_Click();
    waitForAdding();
    EXPECT_EQ(basketTexts(), QStringList({"old", "a", "c", "d", "scan1", "scan2", "scan3", "b"}));
    EXPECT_EQ(tempFolderFiles().size(), 3);

    // Nothing selected: only the panels and the basket's selection change.
    selectFolderRows({});
    choosePage(2);
    sbMain->setPanelText("folder", "x");
    basket->cmdAddToQueue_Click();
    waitForAdding();
    EXPECT_EQ(pageCount(), 8);
    EXPECT_EQ(sbMain->panelText("folder"), folder.path());
    EXPECT_TRUE(chosenPages().isEmpty());
}

TEST_F(BasketFixture, BlankSizesAndPageCountsAreFilledFromTheFile)
{
    pagePicture(31, 17, Qt::red).save(folder.file("x.jpg"), "JPG");
    pagePicture(64, 48, Qt::green).save(folder.file("y.png"), "PNG");
    addFolderRow(folder.file("x.jpg"), " ", "", /*thumbnail*/ true);
    addFolderRow(folder.file("y.png"), "", "many", /*thumbnail*/ false);
    selectFolderRows({2});
    basket->cmdAddToQueue_Click(); // loads y.png itself: 64 x 48
    waitForAdding();
    selectFolderRows({1});
    basket->cmdAddToQueue_Click(); // x.jpg from the folder's picture: its header, not y's size
    waitForAdding();
    EXPECT_EQ(basketTexts(), QStringList({"y", "x"})) << "a page count that is no number is one page";
    EXPECT_EQ(basketColumn(1), QStringList({"64 X 48", "31 X 17"}));
    EXPECT_EQ(ListView::SubItem(lvFolder->Item(1), 1), "31 X 17") << "the folder row learns it too";

    // A chunk before the pixels that claims 1.6 GB: the size comes from the header, nothing allocated.
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        pagePicture(40, 30, Qt::blue).save(&buffer, "PNG");
    }
    const QByteArray huge("\x60\x00\x00\x00zTXt", 8);
    folder.write("z.png", png);
    addFolderRow(folder.file("z.png"), "", "1", /*thumbnail*/ true); // listed while it was sound
    folder.write("z.png", png.left(33) + huge + png.mid(33, 64));
    selectFolderRows({3});
    basket->cmdAddToQueue_Click();
    waitForAdding();
    EXPECT_EQ(basketColumn(1).value(2), "40 X 30");
}

TEST_F(BasketFixture, TwoColourFilesAndPagesKeepTheirColoursInTheirThumbnails)
{
    // A solid green 1-bit palette PNG, read by the basket itself, and a TIFF of two such pages, split.
    ASSERT_TRUE(tf::test::writeTwoColourPictures(folder.path()));
    addFolderRow(folder.file("green.png"), "", "1", /*thumbnail*/ false);
    addFolderRow(folder.file("scan.tif"), "120 X 90", "2", /*thumbnail*/ false);
    selectFolderRows({1, 2});
    basket->cmdAddToQueue_Click();
    waitForAdding();
    ASSERT_EQ(pageCount(), 3);
    for (int i = 1; i <= 3; ++i) {
        const QImage shown = shownPicture(page(i)).toImage();
        ASSERT_FALSE(shown.isNull()) << i;
        // The middle of the page, scaled down: the page's green, not black-and-white dots.
        const QColor middle = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        EXPECT_LT(middle.red(), 40) << i;
        EXPECT_NEAR(middle.green(), 128, 24) << i;
        EXPECT_LT(middle.blue(), 40) << i;
    }
}

TEST_F(BasketFixture, FilesAndPagesThatCannotBeReadAreNamedInOneMessage)
{
    folder.write("broken.jpg", "not a picture at all");
    pagePicture(10, 10, Qt::red).save(folder.file("good.jpg"), "JPG");
    ASSERT_TRUE(tf::test::writeRgbTiff(folder.file("two.tif"), {pagePicture(10, 10, Qt::red), pagePicture(11, 10, Qt::blue)}));
    addFolderRow(folder.file("broken.jpg"), "", "1", false);
    addFolderRow(folder.file("good.jpg"), "10 X 10", "1");
    addFolderRow(folder.file("two.tif"), "10 X 10", "3"); // one page more than the file has
    selectFolderRows({1, 2, 3});

    tf::ScriptedMessageBoxes boxes;
    basket->cmdAddToQueue_Click();
    waitForAdding();
    EXPECT_EQ(basketTexts(), QStringList({"good", "two1", "two2"}));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, "The following files could not be added to the basket:\n\t'" +
                                           folder.file("broken.jpg") + "'\n\t'" + folder.file("two.tif") +
                                           "' (page 3)");
    EXPECT_EQ(tempFolderFiles().size(), 2) << "no file is left for the page not added";
}

TEST_F(BasketFixture, DroppingFolderRowsAddsThemWithTheDropNames)
{
    makeStandardFolder();
    selectFolderRows({2, 5});
    QSignalSpy dropped(basket.get(), &BasketController::droppedOnBasket);
    dragSource = "lvFolder";
    gstrCurrentOperation = "before the drop";

    basket->lvPages_OLEDragDrop(lvFolder, QPoint(5, 5));
    waitForAdding();
    EXPECT_EQ(dropped.count(), 1);
    EXPECT_EQ(basketTexts(), QStringList({"b", "scan(1)", "scan(2)", "scan(3)"}));
    expectTempPages(basketColumn(0).mid(1), R"(scan%1_\d{1,4}\.tif)");
    EXPECT_EQ(gstrCurrentOperation, "before the drop");
    EXPECT_EQ(sbMain->panelText("folder"), "");
    EXPECT_EQ(sbMain->panelText("queue"), "4 file(s) in basket");
    EXPECT_EQ(chosenPages(), QList<int>({1, 4}))
        << "each file's last page is selected: b and scan(3)";

    selectFolderRows({});
    basket->lvPages_OLEDragDrop(lvFolder, QPoint(5, 5));
    waitForAdding();
    QWidget stranger;
    selectFolderRows({1});
    basket->lvPages_OLEDragDrop(&stranger, QPoint(5, 5));
    // A drop from another program has no source in this one: the basket refuses it.
    window->show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder.file("a.jpg"))});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(lvPages->viewport(), &drop);
    QCoreApplication::processEvents();
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_EQ(pageCount(), 4);
}

TEST(BasketTempNames, NeverReuseAnExistingName)
{
    clearTempFolder();
    const QString temp = tf::userTempDir() + "/";
    for (int n = 0; n < 9999; ++n)
        if (n != 4321) QFile(temp + QString("x1_%1.tif").arg(n)).open(QIODevice::WriteOnly);
    EXPECT_EQ(tf::basket::fncTempPageFileName("x", 1), temp + "x1_4321.tif");
    EXPECT_TRUE(QFileInfo::exists(temp + "x1_4321.tif")) << "the name is reserved at once";
    QString why;
    EXPECT_EQ(tf::basket::fncTempPageFileName("x", 1, &why), "") << "every number taken: no name";
    EXPECT_FALSE(why.isEmpty());
    clearTempFolder();
}
