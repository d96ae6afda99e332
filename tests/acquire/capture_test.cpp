#include "acquire/CaptureController.h"
#include "acquire/ScreenGrabber.h"
#include "acquire/acquireNames.h"
#include "acquire/fCaptureRectangle.h"
#include "acquire/frmCapture.h"
#include "frame/LongCommand.h"
#include "frame/modSettings.h"
#include "platform/ui/msgbox.h"
#include "support/testenv.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QFile>
#include <QRegularExpression>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace tf {
namespace {

class FakeGrabber : public ScreenGrabber {
public:
    QImage picture;
    int grabs = 0;
    // Windows of ours shown when the screen was read.
    QStringList shown;
    QImage grabScreen() override
    {
        ++grabs;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) shown << w->objectName();
        return picture;
    }
};

class FakeHost : public CaptureHost {
public:
    QStringList calls;
    QImage captured;
    QString path;
    void clearDesktop() override { calls << "clearDesktop"; }
    void hideMain() override { calls << "hideMain"; }
    void showMainMaximized() override { calls << "showMainMaximized"; }
    void pictureCaptured(const QImage& picture, const QString& p) override
    {
        calls << "pictureCaptured";
        captured = picture;
        path = p;
    }
};

class Capture : public ::testing::Test {
protected:
    void SetUp() override
    {
        grabber.picture = QImage(64, 48, QImage::Format_RGB32);
        grabber.picture.fill(QColor(200, 30, 60));
        // A folder that is not there yet: the first capture makes it.
        gudtSettings.Capture.Folder = folder.file(QStringLiteral("shots/Captured"));
        gudtSettings.Capture.GenericName = QStringLiteral("Captured");
    }
    QString finish()
    {
        if (done.size() <= m_taken) {
            EXPECT_TRUE(done.wait(10000));
        }
        return done.size() > m_taken ? done.at(m_taken++).first().toString() : QString();
    }
    QStringList files() const { return QDir(gudtSettings.Capture.Folder).entryList(QDir::Files); }

    test::TempFolder folder;
    FakeGrabber grabber;
    FakeHost host;
    CaptureController capture{host, grabber};
    QSignalSpy done{&capture, &CaptureController::captureFinished};
    qsizetype m_taken = 0;
};

TEST_F(Capture, ForegroundGrabsAtOnceAndAddsTheWrittenFile)
{
    capture.subCapture(1);
    EXPECT_FALSE(capture.waiting()); // no delay: only the display's word that our windows are gone
    const QString path = finish();
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(grabber.grabs, 1);
    EXPECT_EQ(host.calls, QStringList({"showMainMaximized", "pictureCaptured"}));
    EXPECT_EQ(host.path, path);
    EXPECT_TRUE(QFileInfo(path).fileName().contains(QRegularExpression("^Captured\\d{1,4}\\.tif$"))) << path.toStdString();
    EXPECT_EQ(test::loadPage(path).convertToFormat(QImage::Format_RGB32), grabber.picture);
}

TEST_F(Capture, WritingThePictureIsALongCommandOfItsOwn)
{
    ScriptedMessageBoxes boxes;
    {
        // Another command is running: the capture writes nothing, and says nothing beyond its beep.
        LongCommand running(QStringLiteral("Saving a MultiPage file"));
        capture.subCapture(1);
        EXPECT_TRUE(finish().isEmpty());
        EXPECT_EQ(host.calls, QStringList({"showMainMaximized"}));
        EXPECT_TRUE(files().isEmpty());
    }
    EXPECT_TRUE(boxes.shown().empty());
    // While the picture is written, the window's other commands wait; once it is added they may run.
    bool freeAtTheEnd = false;
    QObject::connect(&capture, &CaptureController::captureFinished, &capture,
                     [&] { freeAtTheEnd = !isLongCommandRunning(); });
    capture.subCapture(1);
    EXPECT_FALSE(finish().isEmpty());
    EXPECT_TRUE(freeAtTheEnd);
}

TEST_F(Capture, DelayedModesGrabOnceWhenTheTimerFires)
{
    struct Case {
        int16_t mode;
        const char* before;
    } cases[] = {{0, "clearDesktop"}, {2, "hideMain"}, {9, "clearDesktop"}};
    for (const Case& c : cases) {
        host.calls.clear();
        grabber.grabs = 0;
        capture.subCapture(c.mode);
        EXPECT_EQ(host.calls, QStringList{c.before});
        EXPECT_EQ(grabber.grabs, 0);
        EXPECT_TRUE(capture.waiting());
        EXPECT_FALSE(finish().isEmpty());
        EXPECT_EQ(grabber.grabs, 1) << c.mode;
    }
    EXPECT_EQ(files().size(), 3); // three captures, three files
}

TEST_F(Capture, AFailedGrabAddsNothingAndSaysWhy)
{
    ScriptedMessageBoxes boxes;
    grabber.picture = QImage();
    capture.subCapture(1);
    EXPECT_TRUE(finish().isEmpty());
    EXPECT_EQ(boxes.prompts(), QStringList{screenCaptureUnavailableText()});
    EXPECT_FALSE(host.calls.contains("pictureCaptured"));
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(Capture, TheRegionPickedIsWhatIsAdded)
{
    capture.selectRegion(1);
    fCaptureRectangle* picker = capture.picker();
    ASSERT_TRUE(QTest::qWaitFor([&] { return picker->isVisible(); }));
    EXPECT_TRUE(host.calls.isEmpty()); // the screen as it is: no window moved away
    picker->cmdBar_Click(1); // accept with no rectangle yet: ignored
    EXPECT_TRUE(picker->isVisible());
    QTest::mousePress(picker, Qt::LeftButton, {}, QPoint(40, 30));
    QTest::mouseMove(picker, QPoint(10, 20));
    QTest::mouseRelease(picker, Qt::LeftButton, {}, QPoint(10, 20));
    picker->cmdBar_Click(1);
    EXPECT_FALSE(picker->isVisible());
    ASSERT_FALSE(finish().isEmpty());
    EXPECT_EQ(host.captured.size(), QSize(31, 11));
}

TEST_F(Capture, TheDialogLeavesTheScreenBeforeItIsRead)
{
    for (const char* button : {"cmdCapture", "CmdCustom"}) {
        grabber.shown.clear();
        gudtSettings.Capture.CaptureMode = 1;
        auto* dialog = new frmCapture(capture, nullptr);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        dialog->findChild<QPushButton*>(QString::fromLatin1(button))->click();
        EXPECT_FALSE(dialog->isVisible());
        ASSERT_TRUE(QTest::qWaitFor([&] { return grabber.grabs > 0; })) << button;
        EXPECT_FALSE(grabber.shown.contains("frmCapture")) << button;
        grabber.grabs = 0;
    }
    capture.picker()->cmdBar_Click(3);
    EXPECT_FALSE(finish().isEmpty()); // the whole screen's capture
}

TEST_F(Capture, AModeChosenInTheDialogIsNotStored)
{
    gudtSettings.Capture.CaptureMode = 2;
    frmCapture dialog(capture, nullptr);
    EXPECT_EQ(dialog.mode(), 2);
    dialog.findChild<QRadioButton*>(QStringLiteral("optCapture1"))->click();
    EXPECT_EQ(dialog.mode(), 1);
    EXPECT_EQ(gudtSettings.Capture.CaptureMode, 2);
}

TEST(AcquireNames, RandomNamesNeverReplaceAFileAndIgnoreTheFinalSeparator)
{
    test::TempFolder folder;
    EXPECT_EQ(freeRandomName(folder.path(), "Cap", ".tif", [] { return 7; }),
              freeRandomName(folder.path() + "/", "Cap", ".tif", [] { return 7; }));
    folder.write("Cap7.tif", "x");
    int draws[] = {7, 7, 42};
    int i = 0;
    EXPECT_EQ(freeRandomName(folder.path(), "Cap", ".tif", [&] { return draws[i++]; }), folder.file("Cap42.tif"));

    folder.write("Twain.tif", "x");
    folder.write("Twain_2.tif", "x");
    EXPECT_EQ(freeNumberedName(folder.file("Twain.tif")), folder.file("Twain_3.tif"));
    EXPECT_EQ(freeNumberedName(folder.file("Twain.pdf")), folder.file("Twain.pdf"));
}

} // namespace
} // namespace tf
