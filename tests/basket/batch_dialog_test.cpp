// The single-page conversion's dialog (what it shows, stores and refuses) and the command that
// runs the conversion after it.
#include "basket/SinglePageSink.h"
#include "basket/frmSaveSinglePage.h"

#include "multipage_fixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

namespace tf::test::multipage {
namespace {

class BatchDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        gudtSettings.BatchSave = fncDefaultSettings().BatchSave;
        gudtSettings.BatchSave.CounterText = "abc"; // typed in an earlier run
    }
    void TearDown() override { frmSaveSinglePage::setScript({}); }
    ScriptedMessageBoxes boxes;
};

TEST_F(BatchDialog, ShowsAndStoresTheOptions)
{
    typBatchSaveOptions& o = gudtSettings.BatchSave;
    o.OutputFormat = 1;
    o.RenameMode = 2;
    o.ColorFormat = 5;
    frmSaveSinglePage dialog;
    EXPECT_EQ(dialog.cboFormat->currentText(), "PDF");
    EXPECT_FALSE(dialog.frameMetadata->isVisibleTo(&dialog));
    EXPECT_EQ(dialog.cboColorFormat->currentText(), "Mono");
    EXPECT_TRUE(dialog.OptName[2]->isChecked());
    EXPECT_TRUE(dialog.cboRenameGeneric->isEnabled());
    EXPECT_FALSE(dialog.cboRenamePrefix->isEnabled());
    EXPECT_EQ(dialog.cboRenameGeneric->currentText(), "abc");
    EXPECT_EQ(dialog.cboRenamePrefix->count(), 25);
    EXPECT_EQ(dialog.cboSeparator1->count(), 10);

    // The hidden metadata boxes are still stored; the destination as the folder it names.
    dialog.chkImportEXIF->setChecked(true);
    dialog.txtDestinationFolder->setText("  /tmp/out/  ");
    dialog.cboRenameGeneric->setEditText("25");
    dialog.cmdStarConversion->click();
    EXPECT_EQ(o.Accepted, -1);
    EXPECT_EQ(o.ImportEXIF, 1);
    EXPECT_EQ(o.CounterText, "25");
    EXPECT_EQ(o.DestinationFolder, "/tmp/out");
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(BatchDialog, CounterIsCheckedInEveryMode)
{
    struct Case {
        QString counter, message;
    } cases[] = {{"  ", "The count variable cannot be empty!"}, {"abc", "Count should be numeric!"}, {"25", ""}};
    for (const Case& c : cases) {
        boxes.clear();
        frmSaveSinglePage dialog;
        dialog.OptName[0]->click();
        dialog.cboRenameGeneric->setEditText(c.counter);
        dialog.cmdStarConversion->click();
        EXPECT_EQ(boxes.prompts(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.message.isEmpty());
    }
}

TEST_F(BatchDialog, AnyCloseButSaveIsCancelAndKeepsOnlyTheModes)
{
    typBatchSaveOptions& o = gudtSettings.BatchSave;
    for (const char* how : {"exit", "title bar"}) {
        SCOPED_TRACE(how);
        SetUp();
        frmSaveSinglePage::setScript([&](frmSaveSinglePage& d) {
            d.OptName[1]->click();
            d.optDestinationFolder[1]->click();
            d.cboRenameGeneric->setEditText(""); // a refused Save sets Accepted first
            d.cmdStarConversion->click();
            d.cboFormat->setCurrentIndex(1);
            d.chkOverwrite->setChecked(false);
            if (QByteArray(how) == "exit")
                d.cmdCancel->click();
            else
                d.show(), d.close();
        });
        EXPECT_FALSE(frmSaveSinglePage::ask(nullptr));
        EXPECT_EQ(o.Accepted, 0);
        EXPECT_EQ(o.RenameMode, 1);
        EXPECT_EQ(o.DestinationMode, 1);
        EXPECT_EQ(o.OutputFormat, 0);
    }
}

TEST_F(BatchDialog, NameCombosRefuseForbiddenCharactersEvenPasted)
{
    frmSaveSinglePage dialog;
    dialog.OptName[1]->click();
    QLineEdit* prefix = dialog.cboRenamePrefix->lineEdit();
    prefix->clear();
    QTest::keyClicks(prefix, "a/b:c");
    EXPECT_EQ(prefix->text(), "abc");
    prefix->clear();
    prefix->insert("x|y"); // as a paste arrives
    EXPECT_EQ(prefix->text(), "");
    dialog.OptName[2]->click();
    QLineEdit* counter = dialog.cboRenameGeneric->lineEdit();
    counter->clear();
    QTest::keyClicks(counter, "1a2.5");
    EXPECT_EQ(counter->text(), "125");
}

TEST_F(BatchDialog, CommandRunsAfterSaveAndTellsTheCounts)
{
    TempFolder src, out;
    auto basket = basketOf({writePage(src.file("p1.png"), pagePicture(30, 20, Qt::red)),
                            writePage(src.file("p2.png"), pagePicture(31, 20, Qt::red))});
    NoTasks noTasks;
    QWidget owner;
    SinglePageCommands commands(*basket, noTasks, &owner);
    QSignalSpy finished(&commands, &SinglePageCommands::conversionFinished);

    frmSaveSinglePage::setScript([](frmSaveSinglePage& d) { d.close(); });
    commands.subSaveAsSinglePage();
    EXPECT_TRUE(finished.isEmpty());

    frmSaveSinglePage::setScript([&](frmSaveSinglePage& d) {
        d.optDestinationFolder[1]->click();
        d.txtDestinationFolder->setText(out.path());
        d.cboRenameGeneric->setEditText("[Starting 1]");
        d.cmdStarConversion->click();
    });
    commands.subSaveAsSinglePage();
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(folderEntries(out.path()), QStringList({"p1.png.tif", "p2.png.tif"}));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.prompts()[0].startsWith("Files written: 2\nPages skipped: 0\nPages failed: 0"));
    EXPECT_EQ(gudtSettings.BatchSave.Accepted, 0);
}

} // namespace
} // namespace tf::test::multipage
