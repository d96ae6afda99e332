#include "acquire/AcquireController.h"
#include "acquire/frmScanDevice.h"
#include "acquire/ScannerProgram.h"
#include "acquire/frmTwain.h"
#include "basket/basketModel.h"
#include "controls/modButtonPicture.h"
#include "frame/modSettings.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/msgbox.h"
#include "support/testenv.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace tf {
namespace {

// The device's own dialog over `owner`, once it has the device's settings; null when it did not
// come.
frmScanDevice* deviceDialog(QWidget* owner)
{
    frmScanDevice* dialog = nullptr;
    (void)QTest::qWaitFor([&] {
        // Not one closed before and not deleted yet.
        dialog = nullptr;
        for (frmScanDevice* shown : owner->findChildren<frmScanDevice*>())
            if (shown->isVisible()) dialog = shown;
        return dialog && dialog->findChild<QPushButton*>("cmdScan")->isEnabled();
    }, 30000);
    return dialog && dialog->findChild<QPushButton*>("cmdScan")->isEnabled() ? dialog : nullptr;
}

void choose(frmScanDevice& dialog, const char* combo, const QString& text)
{
    auto* box = dialog.findChild<QComboBox*>(combo);
    const int index = box->findText(text);
    ASSERT_GE(index, 0) << combo << " " << text.toStdString();
    box->setCurrentIndex(index);
}

class AcquireDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        frmScanDevice::forgetChoices();
        // The test backend now and then never comes back from the cancel of a page it is reading
        // (its reading thread is stopped inside the allocator): its program is then ended after
        // this limit.
        setScannerTimeLimit(std::chrono::seconds(10));
    }
    void TearDown() override
    {
        frmScanDevice::forgetChoices();
        // A scan that was left closes its device in the background: free before the next test.
        EXPECT_TRUE(QTest::qWaitFor([] { return !scannerBusy("test:0") && !scannerBusy("test:1"); }, 30000));
        setScannerTimeLimit(kDefaultScannerTimeLimit);
    }
    // Acquire, Scan in the device's dialog (after `setUp`), and the end of the acquisition.
    ScanResult acquire(frmTwain& dialog, const std::function<void(frmScanDevice&)>& setUp = {})
    {
        QSignalSpy ended(&dialog, &frmTwain::acquisitionEnded);
        dialog.findChild<QPushButton*>("cmdAcquire")->click();
        frmScanDevice* device = deviceDialog(&dialog);
        EXPECT_NE(device, nullptr);
        if (!device) return {};
        if (setUp) setUp(*device);
        device->findChild<QPushButton*>("cmdScan")->click();
        EXPECT_TRUE(ended.wait(60000));
        return ended.isEmpty() ? ScanResult{} : ended.first().first().value<ScanResult>();
    }
};

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
    int added = 0;
    addAcquiredPage(basket, images, path, picture, &owner, [&] { ++added; });
    addAcquiredPage(basket, images, folder.file("2_17.tif"), QImage(), &owner, [&] { ++added; }); // no page
    ASSERT_EQ(basket.count(), 1);
    EXPECT_EQ(added, 1);
    EXPECT_EQ(basket.at(0).text, "1_4821");
    EXPECT_EQ(basket.at(0).tag, path);
    EXPECT_EQ(basket.at(0).resolution, "157 X 196");
}

TEST_F(AcquireDialog, StoredChoicesAreHeldToTheListsAndScansReachTheBasket)
{
    gudtSettings.Twain.SinglePageFormat = 40; // from a damaged settings file
    gudtSettings.Twain.MultiPageFormat = -3;
    gudtSettings.Twain.AcquireOption = 0;
    frmTwain dialog(nullptr);
    EXPECT_EQ(dialog.findChild<QComboBox*>("cboSinglepage")->currentText(), "GIF");
    EXPECT_EQ(dialog.findChild<QComboBox*>("cboMultipage")->currentText(), "TIF");
    EXPECT_TRUE(hasButtonPicture(dialog.findChild<QPushButton*>("cmdfit")));

    QSignalSpy pages(&dialog, &frmTwain::pageForBasket);
    const ScanResult result = acquire(dialog);
    EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    EXPECT_GE(pages.size(), 1);
    EXPECT_EQ(pages.size(), result.images);
    EXPECT_EQ(dialog.acquisition().AcquireImageNumber(), result.images);
    EXPECT_EQ(gudtSettings.Twain.SinglePageFormat, 5); // stored as shown
}

TEST_F(AcquireDialog, TheDevicesDialogSetsTheScanAndKeepsItsChoicesForTheNextOne)
{
    gudtSettings.Twain.AcquireOption = 0;
    frmTwain dialog(nullptr);
    QSignalSpy pages(&dialog, &frmTwain::pageForBasket);
    acquire(dialog, [](frmScanDevice& device) {
        auto* devices = device.findChild<QComboBox*>("cboDevice");
        EXPECT_EQ(devices->count(), 2); // test:0 and test:1
        EXPECT_EQ(devices->currentData().toString(), "test:0");
        // The device's own settings, as its configuration file gives them.
        EXPECT_EQ(device.findChild<QComboBox*>("cboMode")->currentText(), "Gray");
        EXPECT_EQ(device.findChild<QComboBox*>("cboResolution")->currentText(), "50");
        EXPECT_EQ(device.findChild<QComboBox*>("cboSource")->currentText(), "Flatbed");
        choose(device, "cboMode", "Color");
        choose(device, "cboResolution", "100");
    });
    ASSERT_EQ(pages.size(), 1);
    const QImage page = pages[0][1].value<QImage>();
    EXPECT_EQ(page.size(), QSize(314, 393)); // 80 by 100 mm at 100 dpi
    EXPECT_EQ(page.format(), QImage::Format_RGB888);

    // Kept for the next acquisition, as the device's own dialog keeps them.
    acquire(dialog, [](frmScanDevice& device) {
        EXPECT_EQ(device.findChild<QComboBox*>("cboMode")->currentText(), "Color");
        EXPECT_EQ(device.findChild<QComboBox*>("cboResolution")->currentText(), "100");
        choose(device, "cboMode", "Gray");
    });
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(pages[1][1].value<QImage>().format(), QImage::Format_Grayscale8);

    // Cancel in the device's dialog: nothing is scanned, Acquire is free again.
    QSignalSpy ended(&dialog, &frmTwain::acquisitionEnded);
    dialog.findChild<QPushButton*>("cmdAcquire")->click();
    frmScanDevice* device = deviceDialog(&dialog);
    ASSERT_NE(device, nullptr);
    device->findChild<QPushButton*>("cmdCancel")->click();
    ASSERT_EQ(ended.size(), 1);
    EXPECT_TRUE(ended[0][0].value<ScanResult>().cancelled);
    EXPECT_EQ(pages.size(), 2);
    EXPECT_TRUE(dialog.findChild<QPushButton*>("cmdAcquire")->isEnabled());
}

TEST_F(AcquireDialog, NoScannerIsSaid)
{
    QTemporaryDir empty; // a configuration naming no backend
    const QByteArray saved = qgetenv("SANE_CONFIG_DIR");
    qputenv("SANE_CONFIG_DIR", empty.path().toLocal8Bit());
    ScriptedMessageBoxes boxes;
    frmTwain dialog(nullptr);
    QSignalSpy ended(&dialog, &frmTwain::acquisitionEnded);
    dialog.findChild<QPushButton*>("cmdAcquire")->click();
    EXPECT_TRUE(ended.wait(30000));
    qputenv("SANE_CONFIG_DIR", saved);
    EXPECT_EQ(boxes.prompts(), QStringList{"No scanner found"});
    EXPECT_FALSE(dialog.acquisition().TwainAvailable());
    EXPECT_TRUE(dialog.findChild<QPushButton*>("cmdAcquire")->isEnabled());
}

TEST_F(AcquireDialog, AFailedAcquisitionIsReportedOnce)
{
    test::TempFolder folder;
    folder.write("file", "x");
    gudtSettings.Twain.AcquireOption = 1;
    gudtSettings.Twain.FileOption = 1;
    gudtSettings.Twain.Folder = folder.file("file/Acquired"); // cannot be made
    ScriptedMessageBoxes boxes;
    frmTwain dialog(nullptr);
    acquire(dialog);
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(dialog.findChild<QPushButton*>("cmdAcquire")->isEnabled());
}

TEST_F(AcquireDialog, ClosingItMidScanCancelsAndLetsTheScanEndOnItsOwn)
{
    gudtSettings.Twain.AcquireOption = 0;
    auto* dialog = new frmTwain(nullptr);
    dialog->findChild<QPushButton*>("cmdAcquire")->click();
    frmScanDevice* device = deviceDialog(dialog);
    ASSERT_NE(device, nullptr);
    device->findChild<QPushButton*>("cmdScan")->click();
    auto* job = dialog->findChild<ScanJob*>();
    ASSERT_NE(job, nullptr);
    QSignalSpy gone(job, &QObject::destroyed);
    QSignalSpy pages(dialog, &frmTwain::pageForBasket);
    delete dialog;
    EXPECT_TRUE(!gone.isEmpty() || gone.wait(60000));
    EXPECT_TRUE(pages.isEmpty()); // nothing reaches a basket after the dialog is gone
}

// A key as a person types it in `window`: to the control with the focus there.
void type(QWidget* window, Qt::Key key)
{
    QWidget* focus = window->focusWidget();
    QTest::keyClick(focus ? focus : window, key);
}

TEST_F(AcquireDialog, InTheDevicesDialogEnterScansAndEscapeClosesAnOpenListFirst)
{
    gudtSettings.Twain.AcquireOption = 0;
    frmTwain dialog(nullptr);
    dialog.show();
    QSignalSpy ended(&dialog, &frmTwain::acquisitionEnded);
    QSignalSpy pages(&dialog, &frmTwain::pageForBasket);
    dialog.findChild<QPushButton*>("cmdAcquire")->click();
    frmScanDevice* device = deviceDialog(&dialog);
    ASSERT_NE(device, nullptr);
    QApplication::setActiveWindow(device);
    ASSERT_TRUE(QTest::qWaitForWindowActive(device));

    // Escape on an open list closes the list alone.
    auto* mode = device->findChild<QComboBox*>("cboMode");
    QTest::mouseClick(mode, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 10000));
    type(QApplication::activePopupWidget(), Qt::Key_Escape);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(device->isVisible());
    EXPECT_TRUE(ended.isEmpty());

    // Enter scans, even with the focus on Cancel (where it sits while the device is asked for its
    // settings, the only button that can be used then).
    device->findChild<QPushButton*>("cmdCancel")->setFocus(Qt::TabFocusReason);
    type(device, Qt::Key_Return);
    ASSERT_TRUE(!ended.isEmpty() || ended.wait(60000));
    const ScanResult scanned = ended[0][0].value<ScanResult>();
    EXPECT_FALSE(scanned.cancelled);
    EXPECT_EQ(scanned.images, 1);
    EXPECT_EQ(pages.size(), 1);

    // Escape with no list open still cancels the dialog: nothing is scanned.
    ASSERT_TRUE(QTest::qWaitFor([] { return !scannerBusy("test:0"); }, 30000));
    dialog.findChild<QPushButton*>("cmdAcquire")->click();
    device = deviceDialog(&dialog);
    ASSERT_NE(device, nullptr);
    type(device, Qt::Key_Escape);
    ASSERT_TRUE(ended.size() == 2 || ended.wait(10000));
    EXPECT_TRUE(ended[1][0].value<ScanResult>().cancelled);
    EXPECT_EQ(pages.size(), 1);
}

TEST(AcquireDialogLayout, TheFolderBoxHasRoomForAPath)
{
    gudtSettings.Twain.AcquireOption = 1;
    frmTwain dialog(nullptr);
    dialog.show();
    auto* folder = dialog.findChild<QLineEdit*>("txtFolder");
    ASSERT_TRUE(folder->isVisible());
    // Thirty characters of a path show whole.
    EXPECT_GE(folder->width(), folder->fontMetrics().horizontalAdvance(QString(30, QLatin1Char('x'))));
    // The scanned picture shows in a frame of its own.
    auto* frame = dialog.findChild<QGroupBox*>("FrameTwain");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->title(), "Options");
    EXPECT_NE(frame->findChild<QWidget*>("ImageBox1"), nullptr);
}

} // namespace
} // namespace tf
