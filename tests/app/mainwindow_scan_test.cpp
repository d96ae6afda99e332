// Scanning through the window: the device's own dialog sets the scan, each scanned page becomes a
// basket page and the shown file, and a scanner that stops answering lets the window go on.
#include "mainwindow_gui.h"

#include "acquire/AcquireController.h"
#include "acquire/frmScanDevice.h"
#include "acquire/frmTwain.h"
#include "acquire/ScannerProgram.h"
#include "frame/LongCommand.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/statusbar.h"
#include "support/doctools.h"
#include "support/processes.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>

#include <unistd.h>

using namespace tf;
using namespace tf::test;

namespace {

class MainWindowScan : public MainWindowGui {
protected:
    void SetUp() override
    {
        MainWindowGui::SetUp();
        setScannerProgram(QStringLiteral(TF_SCANNER_PROGRAM));
        frmScanDevice::forgetChoices();
        writeQt(pics.file("a.png"), solid(64, 48, Qt::red), "png");
        savedConfig = qgetenv("SANE_CONFIG_DIR");
        savedPath = qgetenv("LD_LIBRARY_PATH");
        qputenv("LD_LIBRARY_PATH", QByteArray(TF_STUCK_BACKEND_DIR) + (savedPath.isEmpty() ? "" : ":" + savedPath));
    }
    void TearDown() override
    {
        // Scanner programs still being ended are ended now: the next test finds their devices free.
        for (const pid_t pid : childrenRunning(::getpid(), QStringLiteral(TF_SCANNER_PROGRAM))) WatchedProcess(pid).kill();
        EXPECT_TRUE(QTest::qWaitFor([] { return !scannerBusy("stuck:read") && !scannerBusy("stuck:cancel"); }, 10000));
        setScannerTimeLimit(kDefaultScannerTimeLimit);
        frmScanDevice::forgetChoices();
        qputenv("SANE_CONFIG_DIR", savedConfig);
        if (savedPath.isEmpty())
            qunsetenv("LD_LIBRARY_PATH");
        else
            qputenv("LD_LIBRARY_PATH", savedPath);
        MainWindowGui::TearDown();
    }
    // SANE set up with these backends alone, without their own configuration files.
    void backends(const QByteArray& names)
    {
        QFile conf(config.filePath("dll.conf"));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(names);
        conf.close();
        qputenv("SANE_CONFIG_DIR", config.path().toLocal8Bit());
    }
    frmTwain* openAcquire()
    {
        click(window().browse()->cmdTwainAcquire());
        auto* dialog = window().findChild<frmTwain*>("frmTwain");
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }
    // Acquire, the device's dialog set by `setUp` and Scan, then the end of the acquisition.
    void scan(frmTwain& dialog, const std::function<void(frmScanDevice&)>& setUp)
    {
        QSignalSpy ended(&dialog, &frmTwain::acquisitionEnded);
        QTest::mouseClick(dialog.findChild<QPushButton*>("cmdAcquire"), Qt::LeftButton);
        frmScanDevice* device = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            device = dialog.findChild<frmScanDevice*>();
            return device && device->findChild<QPushButton*>("cmdScan")->isEnabled();
        }, 30000));
        setUp(*device);
        QTest::mouseClick(device->findChild<QPushButton*>("cmdScan"), Qt::LeftButton);
        ASSERT_TRUE(ended.wait(60000));
        // The page reaches the basket and the preview on the next turn of the window's loop.
        QTest::qWait(0);
        settleBrowse();
    }
    // Acquire, the stuck `device` chosen in the device's dialog, and Scan; the scan runs on.
    void startStuckScan(frmTwain& dialog, const char* device)
    {
        QTest::mouseClick(dialog.findChild<QPushButton*>("cmdAcquire"), Qt::LeftButton);
        // Listed: the device chosen last may be one still busy, whose settings never come.
        // Not the one of the scan before, closed and not deleted yet.
        QPointer<frmScanDevice> chooser;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            chooser = nullptr;
            for (frmScanDevice* shown : dialog.findChildren<frmScanDevice*>())
                if (shown->isVisible()) chooser = shown;
            return chooser && chooser->findChild<QComboBox*>("cboDevice")->count() > 0;
        }, 30000));
        auto* cmdScan = chooser->findChild<QPushButton*>("cmdScan");
        auto* devices = chooser->findChild<QComboBox*>("cboDevice");
        // The dialog's own question to the device listed first may still be going away.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !scannerBusy(QString::fromLatin1(device)); }, 30000));
        ASSERT_NE(devices->currentData().toString(), QString::fromLatin1(device));
        devices->setCurrentIndex(devices->findData(QString::fromLatin1(device)));
        ASSERT_TRUE(QTest::qWaitFor([&] { return cmdScan->isEnabled(); }, 30000))
            << chooser->findChild<QLabel*>("lblState")->text().toStdString();
        QTest::mouseClick(cmdScan, Qt::LeftButton);
    }
    static void choose(frmScanDevice& device, const char* combo, const char* text)
    {
        auto* box = device.findChild<QComboBox*>(combo);
        const int index = box->findText(QString::fromLatin1(text));
        ASSERT_GE(index, 0) << combo << " " << text;
        box->setCurrentIndex(index);
    }
    QString panel(const char* key) { return window().findChild<StatusBar*>("sbMain")->panelText(QString::fromLatin1(key)); }

    TempFolder pics;
    TempFolder out;
    QTemporaryDir config;
    QByteArray savedConfig, savedPath;
    ScriptedMessageBoxes boxes;
    ScriptedDialogs dialogs;
};

} // namespace

TEST_F(MainWindowScan, ScannedAndCapturedPagesBecomeTheShownFileAndTheStatusBarFollows)
{
    backends("test\n"); // no test.conf: the device's own resolution default is not one it lists
    gudtSettings.Twain.AcquireOption = 0;
    frmMain& w = startOn(pics.path(), /*details*/ true);
    clickRow(w.browse()->lvFolder(), "a.png");
    ASSERT_EQ(panel("filename"), "a.png");
    frmTwain* dialog = openAcquire();
    ASSERT_NE(dialog, nullptr);

    scan(*dialog, [](frmScanDevice& device) {
        // The device's default resolution is not one it lists: the closest listed one stands for it.
        EXPECT_EQ(device.findChild<QComboBox*>("cboResolution")->currentText(), "50");
        choose(device, "cboMode", "Color");
        choose(device, "cboResolution", "100");
    });
    ReportView* pages = w.basket()->lvPages();
    ASSERT_EQ(rowCount(pages), 1);
    const QString first = tagOf(rowAt(pages, 1));
    EXPECT_EQ(w.browse()->ibMain()->Tag(), first);
    EXPECT_EQ(w.browse()->PicTiffTag(), first);
    EXPECT_EQ(w.browse()->ibMain()->ImageWidth(), 314); // 80 mm at 100 dpi
    EXPECT_EQ(w.browse()->ibMain()->ImageHeight(), 393);
    EXPECT_TRUE(w.browse()->ibMain()->isVisible());
    EXPECT_EQ(tiffTagValues(first, 277), QStringList{"3"}); // samples per pixel: colour
    EXPECT_EQ(panel("queue"), "1 file(s) in basket");
    EXPECT_EQ(panel("filename"), QFileInfo(first).fileName());

    scan(*dialog, [](frmScanDevice& device) {
        EXPECT_EQ(device.findChild<QComboBox*>("cboMode")->currentText(), "Color"); // kept from the last scan
        choose(device, "cboMode", "Gray");
        choose(device, "cboResolution", "50");
    });
    ASSERT_EQ(rowCount(pages), 2);
    const QString second = tagOf(rowAt(pages, 2));
    EXPECT_EQ(w.browse()->ibMain()->Tag(), second);
    EXPECT_EQ(w.browse()->ibMain()->ImageWidth(), 157);
    EXPECT_EQ(tiffTagValues(second, 277), QStringList{"1"}); // grey
    EXPECT_EQ(panel("queue"), "2 file(s) in basket");
    EXPECT_EQ(panel("filename"), QFileInfo(second).fileName());
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdExit"), Qt::LeftButton);

    // A capture is added the same way.
    const QString captured = out.file("Captured1234.tif");
    ASSERT_TRUE(writeRgbTiff(captured, {solid(30, 20, Qt::blue)}));
    auto* acquire = w.findChild<AcquireController*>();
    ASSERT_NE(acquire, nullptr);
    static_cast<CaptureHost&>(*acquire).pictureCaptured(solid(30, 20, Qt::blue), captured);
    EXPECT_EQ(panel("queue"), "3 file(s) in basket");
    EXPECT_EQ(panel("filename"), "Captured1234.tif");
    EXPECT_EQ(w.browse()->ibMain()->Tag(), captured);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MainWindowScan, AScannerThatStopsAnsweringEndsTheScanAndASaveStartsRightAfter)
{
    backends("stuck\n");
    setScannerTimeLimit(std::chrono::milliseconds(1500));
    gudtSettings.Twain.AcquireOption = 0;
    frmMain& w = startOn(pics.path(), /*details*/ true);
    clickRow(w.browse()->lvFolder(), "a.png");
    click(w.basket()->cmdAddToQueue());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
    frmTwain* dialog = openAcquire();
    ASSERT_NE(dialog, nullptr);

    scan(*dialog, [](frmScanDevice& device) {
        // Another device is asked for its own choices before Scan can start it.
        auto* devices = device.findChild<QComboBox*>("cboDevice");
        auto* cmdScan = device.findChild<QPushButton*>("cmdScan");
        devices->setCurrentIndex(devices->findData(QStringLiteral("stuck:cancel")));
        EXPECT_FALSE(cmdScan->isEnabled());
        EXPECT_TRUE(QTest::qWaitFor([&] { return cmdScan->isEnabled(); }, 30000));
        devices->setCurrentIndex(devices->findData(QStringLiteral("stuck:read")));
        EXPECT_TRUE(QTest::qWaitFor([&] { return cmdScan->isEnabled(); }, 30000));
    });
    ASSERT_EQ(boxes.prompts().size(), 1);
    EXPECT_TRUE(boxes.prompts()[0].contains("stuck:read")) << boxes.prompts()[0].toStdString();
    EXPECT_TRUE(boxes.prompts()[0].contains("did not answer")) << boxes.prompts()[0].toStdString();
    EXPECT_TRUE(dialog->findChild<QPushButton*>("cmdAcquire")->isEnabled());
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdExit"), Qt::LeftButton);

    const QString tiff = out.file("pages.tif");
    dialogs.answerFile(tiff);
    untilOutputEnds(w, [&] { chooseFromMenu(w.basket()->cmdSaveAs(), "mnuSaveAsParent", "Multi-page file "); });
    EXPECT_EQ(tiffDirectories(tiff).size(), 1u);
    EXPECT_EQ(rowCount(w.basket()->lvPages()), 1);
}

TEST_F(MainWindowScan, ClosingTheMainWindowMidScanStopsTheScanAndClosesOnceItHasEnded)
{
    backends("stuck\n");
    setScannerTimeLimit(std::chrono::milliseconds(1500));
    gudtSettings.Twain.AcquireOption = 0;
    frmMain& w = startOn(pics.path(), /*details*/ false);
    frmTwain* dialog = openAcquire();
    ASSERT_NE(dialog, nullptr);
    QSignalSpy ended(dialog, &frmTwain::acquisitionEnded);
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdAcquire"), Qt::LeftButton);
    frmScanDevice* device = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        device = dialog->findChild<frmScanDevice*>();
        return device && device->findChild<QPushButton*>("cmdScan")->isEnabled();
    }, 30000));
    auto* cmdScan = device->findChild<QPushButton*>("cmdScan");
    auto* devices = device->findChild<QComboBox*>("cboDevice");
    devices->setCurrentIndex(devices->findData(QStringLiteral("stuck:read")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return cmdScan->isEnabled(); }, 30000));
    QTest::mouseClick(cmdScan, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([] { return scannerBusy("stuck:read"); }, 10000));

    EXPECT_FALSE(w.close()) << "the window stays while the scan runs";
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(!ended.isEmpty() || ended.wait(30000)) << "the scan is stopped";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 10000)) << "the close goes on after the scan's end";
}

TEST_F(MainWindowScan, AFailedScanSaysSoAtOnceAndLeavingAStuckScanFreesTheWindow)
{
    backends("stuck\n");
    // Far longer than any wait here: nothing the user sees may wait for it.
    setScannerTimeLimit(std::chrono::minutes(10));
    gudtSettings.Twain.AcquireOption = 0;
    frmMain& w = startOn(pics.path(), /*details*/ true);
    frmTwain* dialog = openAcquire();
    ASSERT_NE(dialog, nullptr);

    // The device fails its read and never comes back from its cancel: its error comes at once.
    QSignalSpy ended(dialog, &frmTwain::acquisitionEnded);
    startStuckScan(*dialog, "stuck:cancel");
    ASSERT_TRUE(!ended.isEmpty() || ended.wait(60000));
    EXPECT_EQ(boxes.prompts(), QStringList{"Scanning stopped: Error during device I/O"});
    EXPECT_TRUE(dialog->findChild<QPushButton*>("cmdAcquire")->isEnabled());

    // A read that never comes back, and the user leaves the dialog.
    startStuckScan(*dialog, "stuck:read");
    ASSERT_TRUE(QTest::qWaitFor([] { return scannerBusy("stuck:read"); }, 10000));
    ASSERT_TRUE(isLongCommandRunning());
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdExit"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([] { return !isLongCommandRunning(); }, 30000)) << "the scan still holds the window";
    clickRow(w.browse()->lvFolder(), "a.png");
    click(w.basket()->cmdAddToQueue());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
    EXPECT_EQ(rowCount(w.basket()->lvPages()), 1);
    // Its scanner program is ended in the background, without a word.
    EXPECT_EQ(boxes.prompts().size(), 1);
}
