#include "acquire/AcquireController.h"
#include "acquire/frmTwain.h"
#include "basket/basketModel.h"
#include "frame/modSettings.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/msgbox.h"
#include "support/testenv.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace tf {
namespace {

TEST(AcquiredPages, EnterTheBasketNamedAfterTheirFile)
{
    test::TempFolder folder;
    glngPagesThumbWidth = glngPagesThumbHeight = 64;
    basket::BasketModel basket;
    ImageList images(QSize(64, 64));
    QImage picture(157, 196, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QString path = folder.file("1_4821.tif");
    ASSERT_TRUE(test::writeRgbTiff(path, {picture}));
    QObject owner;
    addAcquiredPage(basket, images, path, picture, &owner);
    addAcquiredPage(basket, images, folder.file("2_17.tif"), QImage(), &owner); // nothing to show: no page
    ASSERT_EQ(basket.count(), 1);
    EXPECT_EQ(basket.at(0).text, "1_4821");
    EXPECT_EQ(basket.at(0).tag, path);
    EXPECT_EQ(basket.at(0).resolution, "157 X 196");
}

TEST(AcquireDialog, StoredChoicesAreHeldToTheListsAndScansReachTheBasket)
{
    gudtSettings.Twain.SinglePageFormat = 40; // from a damaged settings file
    gudtSettings.Twain.MultiPageFormat = -3;
    gudtSettings.Twain.AcquireOption = 0;
    frmTwain dialog(nullptr);
    EXPECT_EQ(dialog.findChild<QComboBox*>("cboSinglepage")->currentText(), "GIF");
    EXPECT_EQ(dialog.findChild<QComboBox*>("cboMultipage")->currentText(), "TIF");

    QSignalSpy pages(&dialog, &frmTwain::pageForBasket);
    QSignalSpy ended(&dialog, &frmTwain::acquisitionEnded);
    dialog.findChild<QPushButton*>("cmdAcquire")->click();
    ASSERT_TRUE(ended.wait(60000));
    const auto result = ended.first().first().value<ScanResult>();
    EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    EXPECT_GE(pages.size(), 1);
    EXPECT_EQ(pages.size(), result.images);
    EXPECT_EQ(dialog.acquisition().AcquireImageNumber(), result.images);
    EXPECT_EQ(gudtSettings.Twain.SinglePageFormat, 5); // stored as shown
}

TEST(AcquireDialog, AFailedAcquisitionIsReportedOnce)
{
    test::TempFolder folder;
    folder.write("file", "x");
    gudtSettings.Twain.AcquireOption = 1;
    gudtSettings.Twain.FileOption = 1;
    gudtSettings.Twain.Folder = folder.file("file/Acquired"); // cannot be made
    ScriptedMessageBoxes boxes;
    frmTwain dialog(nullptr);
    QSignalSpy ended(&dialog, &frmTwain::acquisitionEnded);
    dialog.findChild<QPushButton*>("cmdAcquire")->click();
    ASSERT_TRUE(ended.wait(60000));
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(dialog.findChild<QPushButton*>("cmdAcquire")->isEnabled());
}

TEST(AcquireDialog, ClosingItMidScanCancelsAndLetsTheScanEndOnItsOwn)
{
    gudtSettings.Twain.AcquireOption = 0;
    auto* dialog = new frmTwain(nullptr);
    dialog->findChild<QPushButton*>("cmdAcquire")->click();
    auto* job = dialog->findChild<ScanJob*>();
    ASSERT_NE(job, nullptr);
    QSignalSpy gone(job, &QObject::destroyed);
    QSignalSpy pages(dialog, &frmTwain::pageForBasket);
    delete dialog;
    EXPECT_TRUE(!gone.isEmpty() || gone.wait(60000));
    EXPECT_TRUE(pages.isEmpty()); // nothing reaches a basket after the dialog is gone
}

} // namespace
} // namespace tf
