// Adding to the basket while the window goes on: files that hang or break their decoders cost the
// event loop nothing, pages still land in file order, and an add that is stopped leaves nothing.
#include "basket/modBasket.h"
#include "basket_fixture.h"
#include "frame/LongCommand.h"
#include "platform/decode/decoder_client.h"
#include "platform/ui/msgbox.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace tf::test;
using tf::ListView;
using namespace std::chrono_literals;

namespace {

// Short limits for this program's decoders: a file that hangs one costs a second, not ten.
const bool g_shortLimits = [] {
    tf::decode::DecoderSettings settings;
    settings.timeLimit = 1000ms;
    settings.memoryLimit = int64_t(1) << 30;
    return tf::decode::DecoderPool::configureShared(settings);
}();

const QString kRegression = QStringLiteral(TF_LOADER_REGRESSION_DIR);
// Every damaged picture of the loader's regressions that has a picture's extension.
const QStringList kDamaged = {"devil-lif-huge-alloc.lif", "devil-pnm-hang.pbm",        "devil-ppm-double-free.pgm",
                              "freeimage-xbm-slow.xbm",   "libpng-text-chunk-1.6GB.png", "libtiff-append-hang.tif"};

class BasketJobs : public BasketFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_shortLimits) << "the limits are set before any decoder starts";
        BasketFixture::SetUp();
    }
    QString damaged(const QString& name)
    {
        const QString path = folder.file(name);
        EXPECT_TRUE(QFile::copy(kRegression + '/' + name, path)) << name.toStdString();
        return path;
    }
    // Waits for the add and gives the longest the event loop stood still meanwhile, from before `command`.
    template <typename Command> qint64 runMeasured(Command command)
    {
        EventLoopGaps gaps;
        command();
        waitForAdding();
        return gaps.longestMs();
    }
    QStringList pageWidths() const
    {
        QStringList out;
        for (const QString& tag : basketColumn(0)) out << QString::number(loadPage(tag).width());
        return out;
    }
};

TEST_F(BasketJobs, AFileThatHangsItsDecoderCostsTheWindowNothingAndThePagesKeepTheirOrder)
{
    pagePicture(20, 10, Qt::red).save(folder.file("a.png"), "PNG");
    const QString hang = damaged("devil-pnm-hang.pbm");
    pagePicture(21, 10, Qt::green).save(folder.file("b.jpg"), "JPG");
    ASSERT_TRUE(writeRgbTiff(folder.file("scan.tif"), {pagePicture(40, 30, Qt::red), pagePicture(50, 30, Qt::green),
                                                        pagePicture(60, 30, Qt::blue)}));
    // Rows as the details view lists them, without pictures: every file is read for its thumbnail.
    addFolderRow(folder.file("a.png"), "", "1", false);
    addFolderRow(hang, "", "1", false);
    addFolderRow(folder.file("b.jpg"), "", "1", false);
    addFolderRow(folder.file("scan.tif"), "", "3", false);
    selectFolderRows({1, 2, 3, 4});

    tf::ScriptedMessageBoxes boxes;
    const qint64 gap = runMeasured([&] {
        basket->cmdAddToQueue_Click();
        ASSERT_TRUE(basket->isAdding()) << "the hanging file is still being read";
        // A second add, a drop or a basket file while it runs is refused.
        basket->cmdAddToQueue_Click();
        dragSource = "lvFolder";
        basket->lvPages_OLEDragDrop(lvFolder, QPoint(5, 5));
        EXPECT_TRUE(basket->openBasketFile(folder.write("other.ibf", "\"" + folder.file("a.png").toUtf8() + "\"")));
    });
    EXPECT_LT(gap, 500) << "the event loop went on while the decoder hung";

    EXPECT_EQ(basketTexts(), QStringList({"a", "b", "scan1", "scan2", "scan3"}));
    EXPECT_EQ(basketColumn(1), QStringList({"20 X 10", "21 X 10", "40 X 30", "50 X 30", "60 X 30"}));
    EXPECT_EQ(pageWidths().mid(2), QStringList({"40", "50", "60"})) << "each page file holds its own page";
    EXPECT_EQ(ListView::SubItem(lvFolder->Item(1), 1), "20 X 10") << "the folder row learns the size read";
    ASSERT_EQ(boxes.shown().size(), 1u) << boxes.prompts().join("\n").toStdString();
    EXPECT_EQ(boxes.shown()[0].prompt, "The following files could not be added to the basket:\n\t'" + hang + "'");
    EXPECT_FALSE(pbQueue->isVisible());
    EXPECT_EQ(sbMain->panelText("folder"), folder.path());
    EXPECT_EQ(sbMain->panelText("queue"), "5 file(s) in basket");
    EXPECT_FALSE(tf::isLongCommandRunning());
}

TEST_F(BasketJobs, ABasketFileOfDamagedPicturesOpensWhileTheWindowGoesOn)
{
    pagePicture(30, 20, Qt::red).save(folder.file("first.png"), "PNG");
    pagePicture(31, 20, Qt::blue).save(folder.file("last.jpg"), "JPG");
    QStringList paths = {folder.file("first.png")};
    for (const QString& name : kDamaged) paths << damaged(name);
    paths << folder.file("last.jpg");
    QByteArray lines;
    for (const QString& path : paths) lines += '"' + path.toUtf8() + "\"\r\n";
    const QString ibf = folder.write("damaged.ibf", lines);
    addPage("old", "/old.jpg");

    tf::ScriptedMessageBoxes boxes;
    const qint64 gap = runMeasured([&] { ASSERT_TRUE(basket->openBasketFile(ibf)); });
    EXPECT_LT(gap, 500);

    EXPECT_EQ(basketTexts(), QStringList({"first.png", "last.jpg"})) << "the old basket is replaced";
    EXPECT_EQ(basketColumn(1), QStringList({"30 X 20", "31 X 20"}));
    ASSERT_EQ(boxes.shown().size(), 1u);
    const QString message = boxes.shown()[0].prompt;
    for (const QString& name : kDamaged) EXPECT_EQ(message.count(name), 1) << name.toStdString() << " in " << message.toStdString();
    EXPECT_EQ(sbMain->panelText("queue"), "2 file(s) in basket");
}

// Stopped by New basket (false) or by the window closing (true).
class BasketJobStop : public BasketJobs, public ::testing::WithParamInterface<bool> {};

TEST_P(BasketJobStop, NothingLandsAfterwardsAndNoPageFileStaysBehind)
{
    const bool byClose = GetParam();
    // Many pages to split ahead of a file that hangs its decoder: the stop comes while pages are
    // being written.
    QList<QImage> pages;
    for (int p = 0; p < 30; ++p) pages << pagePicture(800 + p, 600, QColor::fromHsv(p * 9, 200, 200));
    ASSERT_TRUE(writeRgbTiff(folder.file("long.tif"), pages));
    addFolderRow(folder.file("long.tif"), "800 X 600", "30");
    addFolderRow(damaged("devil-pnm-hang.pbm"), "", "1", false);
    selectFolderRows({1, 2});
    tf::ScriptedMessageBoxes boxes;
    QSignalSpy finished(basket.get(), &BasketController::addingFinished);
    QSignalSpy landed(model, &tf::basket::BasketModel::appended);

    basket->cmdAddToQueue_Click();
    ASSERT_TRUE(landed.wait(10000)) << "the first page lands";
    if (byClose) {
        window->show();
        window->close();
    } else {
        basket->cmdPagesNew_Click();
        EXPECT_EQ(pageCount(), 0);
    }
    EXPECT_FALSE(basket->isAdding());
    EXPECT_FALSE(tf::isLongCommandRunning()) << "the next command may start";
    EXPECT_FALSE(pbQueue->isVisible());

    // The decoders are freed at once, long before the hanging one's time limit.
    const int before = landed.count();
    ASSERT_TRUE(QTest::qWaitFor([] { return tf::decode::DecoderPool::shared().busy() == 0; }, 1000));
    QTest::qWait(200);
    EXPECT_EQ(landed.count(), before) << "nothing lands after the stop";
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(boxes.shown().empty()) << "a stopped add names no file";

    // Taken down with the basket, the splitting thread included: only the page files of pages
    // in the basket are left (the window deletes those as it ends).
    QStringList kept;
    for (const QString& tag : basketColumn(0)) kept << QFileInfo(tag).fileName();
    kept.sort();
    EXPECT_EQ(kept.size(), byClose ? before : 0);
    basket.reset();
    EXPECT_EQ(tempFolderFiles(), kept);
}

INSTANTIATE_TEST_SUITE_P(NewBasketOrClose, BasketJobStop, ::testing::Bool());

} // namespace
