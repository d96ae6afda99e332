// The builder commands and their dialogs, driven as a user would, with scripted file dialogs and
// message boxes.
#include "players/PlayerBuild.h"
#include "players/PlayerCommands.h"
#include "players/frmExecutable.h"
#include "players/frmScreenSaverOptions.h"

#include "frame/TaskReplay.h"
#include "frame/frmStatus.h"
#include "frame/globals.h"
#include "frame/modSettings.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "support/fulldisk.h"
#include "support/testenv.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>

#include <atomic>
#include <gtest/gtest.h>

using namespace tf;
using tf::test::TempFolder;
using tf::test::readAll;

namespace {

class Builders : public ::testing::Test {
protected:
    void SetUp() override { setPlayerProgramFolder(QStringLiteral(TF_PLAYER_DIR)); }

    QString page(const QString& name)
    {
        QImage picture(32, 24, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        const QString path = dir.file(name);
        picture.save(path);
        return path;
    }

    // Builds and waits for the end of the build the command started.
    bool finished()
    {
        QSignalSpy spy(&commands, &PlayerCommands::buildFinished);
        return spy.wait(60000) && spy.first().first().toBool();
    }

    std::optional<players::Package> package(const QString& path, players::OptionsKind kind = players::OptionsKind::Saver)
    {
        const QByteArray bytes = readAll(path);
        QBuffer file;
        file.setData(bytes);
        file.open(QIODevice::ReadOnly);
        return players::readPackage(file, bytes.size(), kind);
    }

    TempFolder dir;
    std::vector<basket::PageRecord> basket;
    QString previewed;
    NoTasks tasks;
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;
    PlayerCommands commands{[this] { return basket; }, tasks, [this] { return previewed; }, nullptr};
};

} // namespace

TEST(BuilderNames, ExtensionIsAddedUnlessThere)
{
    const struct {
        const char *name, *extension, *expected;
    } cases[] = {
        {"a.EXE", ".exe", "a.EXE"},           {"a.exe.bak", ".exe", "a.exe.bak.exe"},
        {"x.scr", ".exe", "x.scr.exe"},       {"x.SCR", ".scr", "x.SCR"},
        {"/tmp/show", ".scr", "/tmp/show.scr"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fncWithExtension(QString::fromLatin1(c.name), QString::fromLatin1(c.extension)),
                  QString::fromLatin1(c.expected));
}

TEST_F(Builders, SlideShowOfTheBasketInBasketOrderWithAMissingPageLeftOut)
{
    for (const char* name : {"b.png", "gone.png", "a.png"}) {
        basket::PageRecord record;
        record.tag = record.source = QString::fromLatin1(name) == QLatin1String("gone.png") ? dir.file("gone.png")
                                                                                            : page(QString::fromLatin1(name));
        record.text = QString::fromLatin1(name);
        basket.push_back(record);
    }
    commands.saverOptions() = {0x123456, 7};
    dialogs.answerFile(dir.file(QStringLiteral("show")));
    ASSERT_TRUE(commands.MkSaver(1));
    ASSERT_TRUE(finished());
    EXPECT_EQ(dialogs.fileRequests().at(0).title, QStringLiteral("Save Slide As..."));
    const auto p = package(dir.file(QStringLiteral("show.exe")));
    ASSERT_TRUE(p);
    ASSERT_EQ(p->items.size(), 2);
    EXPECT_EQ(p->items[0].name, QStringLiteral("b.png"));
    EXPECT_EQ(p->items[1].name, QStringLiteral("a.png"));
    EXPECT_EQ(players::unpackSaverOptions(p->options), (players::SaverOptions{0x123456, 7}));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(Builders, TheProcessFlagDecidesWhetherTheTasksEditThePagesAsPreviewed)
{
    // Counts the pages it is asked to edit, from whichever thread asks, and which copy of the
    // rows the builds take.
    struct CountingTasks : TaskReplayer {
        bool hasTasks() const override { return true; }
        ReplayResult replayOnPreview(ImageDocument&) override { return {}; }
        ReplayResult replayAll(ImageDocument&) override
        {
            ++edited;
            return {};
        }
        std::shared_ptr<TaskReplayer> frozenAsPreviewed() override
        {
            ++asPreviewed;
            return TaskReplayer::frozen();
        }
        std::atomic<int> edited{0};
        int asPreviewed = 0;
    } counting;
    PlayerCommands edited{[this] { return basket; }, counting, [] { return QString(); }, nullptr};
    basket::PageRecord record;
    record.tag = record.source = page(QStringLiteral("p.png"));
    basket = {record, record};
    for (const uint8_t flag : {uint8_t(0), uint8_t(1)}) {
        gudtSettings.Saver.ProcessTaskList = flag;
        counting.edited = 0;
        counting.asPreviewed = 0;
        dialogs.answerFile(dir.file(QStringLiteral("s%1").arg(flag)));
        QSignalSpy spy(&edited, &PlayerCommands::buildFinished);
        ASSERT_TRUE(edited.MkSaver(0));
        ASSERT_TRUE(spy.wait(60000));
        EXPECT_EQ(counting.edited, flag == 1 ? 2 : 0);
        EXPECT_EQ(counting.asPreviewed, flag);
    }
    counting.edited = 0;
    counting.asPreviewed = 0;
    QSignalSpy spy(&edited, &PlayerCommands::buildFinished);
    ASSERT_TRUE(edited.subMakeEffectExe(0, dir.file(QStringLiteral("e.exe")), record.tag, false));
    ASSERT_TRUE(spy.wait(60000));
    EXPECT_EQ(counting.edited, 1);
    EXPECT_EQ(counting.asPreviewed, 1);
}

TEST_F(Builders, TheProgressWindowNamesTheFileAndTheLastStep)
{
    for (const char* name : {"one.png", "two.png"}) {
        basket::PageRecord record;
        record.tag = record.source = page(QString::fromLatin1(name));
        record.text = QStringLiteral("page ") + QString::fromLatin1(name);
        basket.push_back(record);
    }
    dialogs.answerFile(dir.file(QStringLiteral("shown")));
    ASSERT_TRUE(commands.MkSaver(1));
    frmStatus* status = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* s = qobject_cast<frmStatus*>(w); s && s->isVisible()) status = s;
    ASSERT_NE(status, nullptr);
    // What the window says when the build is over and it goes away.
    struct AtHide : QObject {
        frmStatus* status;
        QString text, message, operation;
        bool barShown = true;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Hide && text.isNull()) {
                text = status->findChild<QLabel*>("lblStatus")->text();
                message = status->findChild<QLabel*>("lblMessage")->text();
                barShown = status->findChild<QProgressBar*>("pbQueue")->isVisibleTo(status);
                operation = gstrCurrentOperation;
            }
            return false;
        }
    } atHide;
    atHide.status = status;
    status->installEventFilter(&atHide);
    ASSERT_TRUE(finished());
    EXPECT_EQ(atHide.text, QStringLiteral("Saving Options..."));
    EXPECT_FALSE(atHide.barShown);
    EXPECT_EQ(atHide.message, QStringLiteral("page two.png"));
    EXPECT_EQ(atHide.operation, QStringLiteral("Current file - '") + basket[1].tag + QLatin1Char('\''));
}

TEST_F(Builders, CancelBeforeAnyPageWritesNothingAndSaysNothing)
{
    for (const char* name : {"one.png", "two.png", "three.png"}) {
        basket::PageRecord record;
        record.tag = record.source = page(QString::fromLatin1(name));
        basket.push_back(record);
    }
    dialogs.answerFile(dir.file(QStringLiteral("cancelled")));
    ASSERT_TRUE(commands.MkSaver(1));
    frmStatus* status = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* s = qobject_cast<frmStatus*>(w); s && s->isVisible()) status = s;
    ASSERT_NE(status, nullptr);
    // Pressed before the work begins, which waits for the window to be painted.
    status->findChild<QPushButton*>("cmdCancel")->click();
    EXPECT_FALSE(finished());
    EXPECT_TRUE(boxes.shown().empty()) << boxes.prompts().join(' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("cancelled.exe"))));
}

TEST_F(Builders, NoToOverwriteAsksAgainAndCancelWritesNothing)
{
    basket::PageRecord record;
    record.tag = record.source = page(QStringLiteral("p.png"));
    basket.push_back(record);
    const QString old = dir.write(QStringLiteral("old.scr"), "the user's file");
    dialogs.answerFile(old);
    boxes.answerNext(vbNo);
    dialogs.cancelFile();
    EXPECT_FALSE(commands.MkSaver(0));
    EXPECT_EQ(dialogs.fileRequests().size(), 2u);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt,
              QStringLiteral("This File ('") + old + QStringLiteral("') Already Exists!\r\nWould You Like To Overwrite It?"));
    EXPECT_EQ(readAll(old), QByteArray("the user's file"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(Builders, EffectOptionsCarryOverWithinARun)
{
    previewed = page(QStringLiteral("greeting.png"));
    // A fresh run: the record is empty whatever the style.
    ASSERT_TRUE(commands.subMakeEffectExe(0, dir.file(QStringLiteral("plain.exe")), previewed, true));
    ASSERT_TRUE(finished());
    auto p = package(dir.file(QStringLiteral("plain.exe")), players::OptionsKind::Effect);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->items.size(), 1);
    EXPECT_EQ(p->items[0].name, QStringLiteral("Single"));
    EXPECT_EQ(p->options, QByteArray(28, '\0'));

    // A Raining Text show through the dialog, then Simple again: it carries that text.
    {
        frmExecutable dialog(commands);
        dialog.findChild<QListWidget*>(QStringLiteral("lstStyles"))->setCurrentRow(2);
        dialog.findChild<QLineEdit*>(QStringLiteral("txtRaining"))->setText(QStringLiteral("Hello"));
        dialogs.answerFile(dir.file(QStringLiteral("rain")));
        dialog.cmdCreate_Click();
        ASSERT_TRUE(finished());
    }
    EXPECT_EQ(gudtSettings.EffectExe.Style, 2);
    ASSERT_TRUE(commands.subMakeEffectExe(0, dir.file(QStringLiteral("plain.exe")), previewed, false));
    ASSERT_TRUE(finished());
    p = package(dir.file(QStringLiteral("plain.exe")), players::OptionsKind::Effect);
    ASSERT_TRUE(p);
    EXPECT_EQ(players::unpackEffectOptions(p->options)->RollingText, QByteArray("Hello"));
    EXPECT_TRUE(package(dir.file(QStringLiteral("rain.exe")), players::OptionsKind::Effect));
}

TEST_F(Builders, EffectShowAsksBeforeReplacingAndNeedsAPicture)
{
    const QString old = dir.write(QStringLiteral("old.exe"), "the user's file");
    boxes.answerNext(vbNo);
    EXPECT_FALSE(commands.subMakeEffectExe(1, old, page(QStringLiteral("p.png")), true));
    EXPECT_EQ(boxes.prompts().value(0),
              QStringLiteral("This File ('") + old + QStringLiteral("') Already Exists!\r\nWould You Like To Replace It?"));
    // A picture that cannot be loaded: a message, and the old file as it was.
    boxes.answerNext(vbYes);
    ASSERT_TRUE(commands.subMakeEffectExe(1, old, dir.write(QStringLiteral("bad.png"), "not a picture"), true));
    EXPECT_FALSE(finished());
    EXPECT_EQ(boxes.prompts().value(2), QStringLiteral("The image could not be loaded"));
    EXPECT_EQ(readAll(old), QByteArray("the user's file"));
}

TEST_F(Builders, EffectDialogShowsTheChosenStylesOptions)
{
    gudtSettings.EffectExe.Style = 3;
    gudtSettings.EffectExe.ClockKind = 0;
    frmExecutable dialog(commands);
    auto* styles = dialog.findChild<QListWidget*>(QStringLiteral("lstStyles"));
    const auto shown = [&](const char* name) {
        return dialog.findChild<QWidget*>(QString::fromLatin1(name))->isVisibleTo(&dialog);
    };
    // Opened on the analog clock: its options, but not its picture until a choice is made.
    EXPECT_TRUE(shown("frameClock"));
    EXPECT_FALSE(shown("picClock"));
    styles->setCurrentRow(0);
    styles->setCurrentRow(3);
    EXPECT_TRUE(shown("picClock"));
    dialog.findChild<QRadioButton*>(QStringLiteral("optClock_1"))->click();
    EXPECT_TRUE(shown("cmdDigitalClockColor"));
    EXPECT_TRUE(shown("lblDigitalClockColor"));
    EXPECT_FALSE(shown("picClock"));
    dialog.findChild<QRadioButton*>(QStringLiteral("optClock_0"))->click();
    EXPECT_FALSE(shown("cmdDigitalClockColor"));
    EXPECT_TRUE(shown("picClock"));
    auto* date = dialog.findChild<QCheckBox*>(QStringLiteral("chkDate"));
    date->click();
    EXPECT_EQ(shown("cmdDateColor"), date->isChecked());
    styles->setCurrentRow(2);
    EXPECT_TRUE(shown("frameRollingText"));
    EXPECT_FALSE(shown("frameClock"));
    EXPECT_FALSE(shown("picClock"));
}

TEST_F(Builders, SaverDialogIntervalAndCreate)
{
    frmScreenSaverOptions dialog(commands);
    auto* interval = dialog.findChild<QLineEdit*>(QStringLiteral("txtInterval"));
    const struct {
        const char *typed, *kept;
    } cases[] = {{"", "3"}, {"0", "1"}, {"12", "9"}, {"5", "5"}};
    for (const auto& c : cases) {
        interval->setText(QString::fromLatin1(c.typed));
        emit interval->editingFinished();
        EXPECT_EQ(interval->text(), QString::fromLatin1(c.kept)) << c.typed;
    }
    dialog.findChild<QRadioButton*>(QStringLiteral("OptType_1"))->setChecked(true);
    dialog.findChild<QCheckBox*>(QStringLiteral("chkProcessEditingList"))->setChecked(false);
    dialogs.cancelFile();
    dialog.cmdCreate_Click();
    EXPECT_EQ(gudtSettings.Saver.Interval, 5);
    EXPECT_EQ(gudtSettings.Saver.PlayerType, 1);
    EXPECT_EQ(gudtSettings.Saver.ProcessTaskList, 0);
    EXPECT_EQ(commands.saverOptions().Interval, 5);
    EXPECT_EQ(dialogs.fileRequests().at(0).title, QStringLiteral("Save Slide As..."));
}

TEST_F(Builders, AFullDiskKeepsTheOldShowAndIsNamedFirst)
{
    basket::PageRecord record;
    record.tag = record.source = page(QStringLiteral("p.png"));
    basket.push_back(record);
    const qint64 player = QFileInfo(fncPlayerProgram(QStringLiteral("SAVER"))).size();
    ASSERT_GT(player, 0);
    auto expectFailsCleanly = [&](const QString& folder) {
        const QString old = QDir(folder).filePath(QStringLiteral("old.scr"));
        const QStringList before = test::entriesOf(folder);
        boxes.clear();
        dialogs.answerFile(old);
        boxes.answerNext(vbYes);
        ASSERT_TRUE(commands.MkSaver(0));
        EXPECT_FALSE(finished());
        EXPECT_EQ(readAll(old), QByteArray("the user's show"));
        EXPECT_EQ(test::entriesOf(folder), before) << "nothing half-written is left";
        ASSERT_EQ(boxes.shown().size(), 2u);
        EXPECT_EQ(boxes.shown()[1].prompt, QStringLiteral("The disk is full.\nThe show could not be written."));
    };

    // Through the write seam: before the player program, inside it, and at the first page.
    dir.write(QStringLiteral("old.scr"), "the user's show");
    for (qint64 bytes : {qint64(0), qint64(1), player / 2, player + 10}) {
        SCOPED_TRACE(bytes);
        test::WriteBudget budget(bytes);
        expectFailsCleanly(dir.path());
    }

    // On a small file system with little room left.
    const QString folder = dir.file(QStringLiteral("disk"));
    test::SmallDisk disk(folder, "8m");
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small file system here (needs the superuser)";
    dir.write(QStringLiteral("disk/old.scr"), "the user's show");
    for (qint64 free : {qint64(0), qint64(65536), player - 65536}) {
        SCOPED_TRACE(free);
        ASSERT_TRUE(disk.leaveFree(free));
        expectFailsCleanly(folder);
    }
}
