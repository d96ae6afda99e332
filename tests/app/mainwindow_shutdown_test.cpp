// Closing the main window: the layout goes into the settings file, page files leave the temp folder,
// and a close during a long command waits for it.
#include "mainwindow_gui.h"

#include "controls/modButtonPicture.h"
#include "controls/splitter.h"
#include "frame/LongCommand.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>

using namespace tf;
using tf::test::MainWindowTest;

namespace {

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("page");
}

// A window that notes each close it is asked for, and may refuse it.
class Noting : public QWidget {
public:
    Noting(const char* name, QStringList& closes, QWidget* owner = nullptr)
        : QWidget(owner, owner ? Qt::Dialog : Qt::Window), m_closes(closes)
    {
        setObjectName(QString::fromLatin1(name));
    }
    bool refuse = false;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        m_closes << objectName();
        if (refuse) event->ignore();
        else event->accept();
    }

private:
    QStringList& m_closes;
};

} // namespace

TEST_F(MainWindowTest, TheLayoutIsStoredAtCloseAndComesBackAtTheNextStart)
{
    QTemporaryDir tree;
    frmMain& w = start(QSize(760, 560));
    w.splMain()->setSplitterPosition(62);
    w.splRight()->setSplitterPosition(27);
    w.splLeft()->setSplitterPosition(44);
    w.splView()->setSplitterPosition(71);
    w.browse()->lvFolder()->setColumnWidth(2, 133);
    w.basket()->lvPages()->setColumnWidth(0, 177);
    w.metadata()->lvExif()->setColumnWidth(1, 250);
    w.mnuPreviewFit(1)->trigger(); // chosen from the menus, as the user does
    w.mnuPreviewType(0)->trigger();
    ASSERT_TRUE(w.browse()->ftvBrowse()->setSelectedFolder(tree.path()));
    glngPagesThumbWidth = 64;
    gstrCurrentFolder = tree.path();
    ASSERT_TRUE(closeWindow());

    const typSettings s = readSettingsBack();
    EXPECT_EQ(s.SplitterPosition, (std::array<int16_t, 4>{62, 27, 44, 71})) << "splMain, splRight, splLeft, splView";
    EXPECT_EQ(s.WindowWidth, 760 * 15);
    EXPECT_EQ(s.WindowHeight, 560 * 15);
    EXPECT_EQ(s.FolderColumnWidth[2], 133);
    EXPECT_EQ(s.PagesColumnWidth[0], 177);
    EXPECT_EQ(s.MetadataColumnWidth[1], 250);
    EXPECT_EQ(s.PreviewFit, 1);
    EXPECT_EQ(s.PreviewType, 0);
    EXPECT_EQ(s.TreeFolder, tree.path());
    EXPECT_EQ(s.CurrentFolder, tree.path());
    EXPECT_EQ(s.PagesThumbWidth, 64);
}

TEST_F(MainWindowTest, ShutdownRemovesOnlyThePageFilesOfTheTempFolder)
{
    frmMain& w = start();
    const QString temp = tempDir();
    QDir().mkpath(temp + "/kept.tif"); // a folder, however it is named
    for (const char* name : {"a.tif", "b.TIF", "c.Tif", ".hidden.tif", "d.tiff", "e.txt", "tif", "f.tif.bak"})
        touch(temp + "/" + name);
    QTemporaryDir elsewhere;
    touch(elsewhere.filePath("outside.tif"));

    // Every picture button shows its picture; one taken down before the shutdown is skipped there.
    const QList<QPushButton*> before = w.pictureButtons();
    ASSERT_EQ(QSet<QPushButton*>(before.begin(), before.end()).size(), 42);
    for (QPushButton* button : before) EXPECT_TRUE(hasButtonPicture(button)) << button->objectName().toStdString();
    delete w.browse()->cmdCapture();

    ASSERT_TRUE(closeWindow());
    EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{"d.tiff", "e.txt", "f.tif.bak", "kept.tif", "tif"}));
    EXPECT_TRUE(QFileInfo::exists(elsewhere.filePath("outside.tif")));
    EXPECT_EQ(w.pictureButtons().size(), 41);
    for (QPushButton* button : w.pictureButtons()) EXPECT_FALSE(hasButtonPicture(button));
}

TEST_F(MainWindowTest, AFailedSettingsWriteIsReportedAndTheRestOfTheShutdownStillRuns)
{
    start();
    touch(tempDir() + "/page1_42.tif");
    // Something that is not a file stands where the settings file goes.
    QFile::remove(settingsPath());
    ASSERT_TRUE(QDir().mkpath(settingsPath() + "/blocked"));

    ScriptedErrorReports reports;
    ASSERT_TRUE(closeWindow());
    ASSERT_EQ(reports.reports().size(), 1u);
    EXPECT_EQ(reports.reports()[0].routine, "FrmMain.subEnd");
    EXPECT_EQ(reports.reports()[0].operation, "Saving Settings before termination");
    EXPECT_FALSE(QFileInfo::exists(tempDir() + "/page1_42.tif"));
    EXPECT_TRUE(QFileInfo(settingsPath()).isDir()) << "nothing was written over it";
}

TEST_F(MainWindowTest, ACloseDuringALongCommandCancelsItsJobAndClosesOnceTheJobHasEnded)
{
    frmMain& w = start();
    touch(tempDir() + "/split3_17.tif");
    // A job holding its command; it ends (lets go of the command) when the test says.
    auto command = std::make_unique<LongCommand>("Saving a MultiPage file");
    ASSERT_TRUE(*command);
    int cancels = 0;
    command->setCancelHandler([&] { ++cancels; });

    EXPECT_FALSE(w.close()) << "the window stays while the command runs";
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(cancels, 1) << "the job is asked to stop";
    EXPECT_FALSE(QFileInfo::exists(settingsPath())) << "no shutdown work under a running command";
    EXPECT_TRUE(QFileInfo::exists(tempDir() + "/split3_17.tif"));

    command.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 10000)) << "the close goes on after the job's end";
    EXPECT_TRUE(QFileInfo::exists(settingsPath()));
    EXPECT_FALSE(QFileInfo::exists(tempDir() + "/split3_17.tif"));
}

TEST_F(MainWindowTest, ShutdownRunsOnceAndLetsGoOfTheImageSnapshots)
{
    frmMain& w = start();
    w.browse()->showCapturedPicture(test::solid(4, 4, Qt::red), dataDir() + QStringLiteral("/shown.png"));
    w.CmdPreviewEdit_Click();
    ASSERT_FALSE(w.browse()->originalImage().isEmpty());
    ASSERT_FALSE(w.editing()->workingImage().isEmpty());
    ASSERT_TRUE(closeWindow());
    EXPECT_TRUE(w.browse()->originalImage().isEmpty());
    EXPECT_TRUE(w.editing()->workingImage().isEmpty());
    const QByteArray written = test::readAll(settingsPath());
    w.splMain()->setSplitterPosition(20);
    w.subEnd();
    EXPECT_EQ(test::readAll(settingsPath()), written) << "a second subEnd writes nothing";
}

TEST_F(MainWindowTest, ShutdownClosesEveryOtherWindowTheLatestFirstHiddenOnesToo)
{
    QStringList closes;
    frmMain& w = start();
    Noting neverShown("neverShown", closes);
    Noting first("first", closes);
    first.show();
    Noting hidden("hidden", closes);
    hidden.show();
    hidden.hide();
    Noting second("second", closes);
    second.show();
    auto* owned = new Noting("owned", closes, &w); // a dialog of the main window, made last
    owned->show();
    QApplication::processEvents();
    ASSERT_TRUE(closeWindow());
    EXPECT_EQ(closes, QStringList({"owned", "second", "hidden", "first", "neverShown"}));
    EXPECT_FALSE(first.isVisible() || second.isVisible() || owned->isVisible());
}

TEST_F(MainWindowTest, AWindowThatRefusesToCloseEndsTheRoundAtShutdown)
{
    QStringList closes;
    frmMain& w = start();
    Noting first("first", closes);
    first.show();
    Noting refusing("refusing", closes);
    refusing.refuse = true;
    refusing.show();
    Noting last("last", closes);
    last.show();
    QApplication::processEvents();
    ASSERT_TRUE(closeWindow());
    EXPECT_EQ(closes, QStringList({"last", "refusing"}));
    EXPECT_TRUE(first.isVisible());
    EXPECT_FALSE(w.isVisible()) << "the main window goes all the same";
}
