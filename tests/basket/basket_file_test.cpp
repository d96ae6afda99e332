#include "basket/modSaveOpenImageList.h"
#include "basket_fixture.h"
#include "frame/modGlobalErrorHandling.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "services/modCommonDialog.h"
#include "support/fulldisk.h"

#include <QDir>
#include <QFileInfo>

using namespace tf::test;
using tf::ListView;

namespace {

QByteArray quotedLines(const QStringList& paths)
{
    QByteArray out;
    for (const QString& p : paths) out += '"' + p.toUtf8() + "\"\r\n";
    return out;
}

} // namespace

TEST(BasketFileLines, QuotesComeOffOnlyWhereTheyAreAndRecordsSplitOutsideQuotes)
{
    EXPECT_EQ(fncStripQuotes(R"("/a/b.jpg")"), "/a/b.jpg");
    EXPECT_EQ(fncStripQuotes("/a/b.jpg"), "/a/b.jpg");
    EXPECT_EQ(fncStripQuotes(R"("/a/say ""hi"".jpg")"), R"(/a/say "hi".jpg)");
    EXPECT_EQ(fncStripQuotes(R"(")"), R"(")");
    EXPECT_EQ(fncSplitBasketRecord(R"("/x/a, b.jpg","first, second")"), QStringList({"/x/a, b.jpg", "first, second"}));
    EXPECT_EQ(fncSplitBasketRecord(R"("/x/q""t.jpg" , plain text )"), QStringList({"/x/q\"t.jpg", "plain text"}));
    EXPECT_EQ(fncSplitBasketRecord(R"("/x/only.jpg")"), QStringList({"/x/only.jpg"}));
}

TEST_F(BasketFixture, SavingWritesEachSourceOnceAndOpeningRebuildsTheBasket)
{
    const QString odd = folder.file(QString::fromUtf8("say \"cheese\", Zoë & Ågot.jpg"));
    ASSERT_TRUE(pagePicture(30, 20, Qt::red).save(odd, "JPG"));
    ASSERT_TRUE(tf::test::writeRgbTiff(folder.file("scan.tif"), {pagePicture(40, 30, Qt::red), pagePicture(50, 30, Qt::green),
                                                    pagePicture(60, 30, Qt::blue)}));
    addFolderRow(folder.file("scan.tif"), "40 X 30", "3");
    addFolderRow(odd, "30 X 20", "1");
    selectFolderRows({1, 2});
    basket->cmdAddToQueue_Click();
    waitForAdding();
    addPage("no source", "/nowhere.jpg"); // names nothing, so writes nothing
    QStringList unique;

    QString name = folder.file("round");
    ASSERT_TRUE(fncSaveImageBasket(1, name, *model, unique));
    EXPECT_EQ(name, folder.file("round.ibf"));
    EXPECT_EQ(readAll(name), quotedLines({folder.file("scan.tif"), QString(odd).replace("\"", "\"\"")}))
        << "UTF-8, CR LF, the multipage source once, the quote doubled";
    QString upper = folder.file("Kept.IBF");
    ASSERT_TRUE(fncSaveImageBasket(2, upper, *model, unique));
    EXPECT_EQ(upper, folder.file("Kept.IBF"));

    basket->cmdPagesNew_Click();
    ASSERT_TRUE(open(name));
    EXPECT_EQ(basketTexts(), QStringList({"scan.tif1", "scan.tif2", "scan.tif3",
                                          QString::fromUtf8("say \"cheese\", Zoë & Ågot.jpg")}));
    EXPECT_EQ(basketColumn(4), QStringList({folder.file("scan.tif"), folder.file("scan.tif"), folder.file("scan.tif"), odd}));
    EXPECT_EQ(basketColumn(1), QStringList({"40 X 30", "50 X 30", "60 X 30", "30 X 20"}));
    expectTempPages(basketColumn(0).mid(0, 3), R"(scan\.tif%1_\d{1,4}\.tif)");
    EXPECT_EQ(basket->ilPages()->count(), 4) << "the old thumbnails went with the old basket";

    tf::basket::BasketModel empty;
    QString none = folder.file("none.ibf");
    EXPECT_FALSE(fncSaveImageBasket(1, none, empty, unique));
    EXPECT_FALSE(QFileInfo::exists(none));
}

TEST_F(BasketFixture, BasketFilesWrittenElsewhereAreReadLeniently)
{
    tf::ScriptedMessageBoxes boxes;
    const auto missing = [](const QString& path) {
        return "The following files could not be added to the basket:\n\t'" + path + "' (the file is not there)";
    };
    pagePicture(10, 10, Qt::red).save(folder.file(QString::fromUtf8("café.jpg")), "JPG");
    pagePicture(11, 10, Qt::red).save(folder.file("a, b.png"), "PNG");
    // Windows-1252, CR LF, blank lines, a repeated path, a line without quotes, a missing file.
    const QByteArray dir = QFile::encodeName(folder.path());
    const QString ibf = folder.write("elsewhere.IBF", "\r\n\"" + dir + "/caf\xE9.jpg\"\r\n   \r\n\"" + dir +
                                                          "/gone.jpg\"\r\n" + dir + "/a, b.png\n\"" + dir +
                                                          "/caf\xE9.jpg\"\r\n\r\n");
    EXPECT_EQ(fncReadImageBasket(ibf), (std::vector<typImageBasketEntry>{
                                           {folder.file(QString::fromUtf8("café.jpg")), ""},
                                           {folder.file("gone.jpg"), ""},
                                           {folder.file("a, b.png"), ""}}));
    ASSERT_TRUE(open(ibf));
    EXPECT_EQ(basketTexts(), QStringList({QString::fromUtf8("café.jpg"), "a, b.png"}));
    // Named once the files that are there were added: one message, however many are gone.
    EXPECT_EQ(boxes.prompts(), QStringList({missing(folder.file("gone.jpg"))}));
    EXPECT_EQ(boxes.shown()[0].icon(), vbExclamation);
    boxes.clear();

    const QString ibd = folder.write("list.ibd", "\"" + dir + "/a, b.png\",\"front page, colour\"\r\n\r\n\"" + dir +
                                                     "/gone.jpg\",\"\"\r\n");
    EXPECT_EQ(fncReadImageBasket(ibd), (std::vector<typImageBasketEntry>{{folder.file("a, b.png"), "front page, colour"},
                                                                        {folder.file("gone.jpg"), ""}}));
    ASSERT_TRUE(open(ibd));
    EXPECT_EQ(basketTexts(), QStringList({"a, b.png"}));
    EXPECT_EQ(boxes.prompts(), QStringList({missing(folder.file("gone.jpg"))}));
    boxes.clear();

    // Any other name reads nothing, without a word; every path missing gives an empty basket, and
    // says which.
    EXPECT_TRUE(open(folder.write("list.txt", "\"" + dir + "/a, b.png\"\r\n")));
    EXPECT_EQ(pageCount(), 0);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(open(folder.write("missing.ibf", "\"/nowhere/x.jpg\"\r\n\"/nowhere/y.tif\"\r\n")));
    EXPECT_EQ(pageCount(), 0);
    EXPECT_EQ(boxes.prompts(), QStringList({missing("/nowhere/x.jpg") + "\n\t'/nowhere/y.tif' (the file is not there)"}));
}

// A basket file cut short by the disk: the report names the cause the disk gave, the command its
// message, and the file it was to replace stays as it was.
TEST_F(BasketFixture, ASaveTheDiskCutsShortIsReportedWithItsCause)
{
    makeStandardFolder();
    selectFolderRows({1, 2, 3});
    basket->cmdAddToQueue_Click();
    waitForAdding();
    const QByteArray older = "an older basket";
    const QString file = folder.write("kept.ibf", older);
    for (const auto& [err, text] : {std::pair{EIO, "57 - Device I/O error ("}, std::pair{ENOSPC, "61 - Disk full ("}}) {
        SCOPED_TRACE(text);
        tf::ScriptedDialogs dialogs;
        tf::ScriptedMessageBoxes boxes;
        tf::ScriptedErrorReports reports;
        int boxesBeforeReport = -1;
        reports.whileShown([&](frmErrorReport&) { boxesBeforeReport = int(boxes.shown().size()); });
        dialogs.answerFile(file);
        {
            tf::test::WriteBudget disk(0, err);
            basket->cmdPagesSave_Click();
        }
        ASSERT_EQ(reports.reports().size(), 1u);
        EXPECT_EQ(reports.reports()[0].routine, "modSaveOpenImageList.fncSaveImageBasket");
        EXPECT_TRUE(reports.reports()[0].text.startsWith(QLatin1String(text))) << reports.reports()[0].text.toStdString();
        EXPECT_EQ(boxesBeforeReport, 0) << "the report comes first";
        EXPECT_EQ(boxes.prompts(), QStringList({"Error saving image basket!\nPlease try again!"}));
        EXPECT_EQ(readAll(file), older);
    }
}

TEST_F(BasketFixture, SaveAndOpenCommandsGoThroughTheDialogs)
{
    makeStandardFolder();
    tf::ScriptedDialogs dialogs;
    tf::ScriptedMessageBoxes boxes;
    tf::ScriptedErrorReports reports;
    const auto cmdSave = &BasketController::cmdPagesSave_Click, cmdOpen = &BasketController::cmdPagesOpen_Click;
    // The command as a user answers it: the message boxes (seen afresh), then the file dialog.
    const auto run = [&](void (BasketController::*command)(), const char* file, std::initializer_list<int> answers) {
        boxes.clear();
        for (int answer : answers) boxes.answerNext(answer);
        dialogs.answerFile(folder.file(file));
        (*basket.*command)();
        waitForAdding();
    };
    basket->cmdPagesSave_Click();
    EXPECT_TRUE(dialogs.fileRequests().empty()) << "an empty basket saves nothing";

    selectFolderRows({1, 2, 3});
    basket->cmdAddToQueue_Click();
    waitForAdding();
    // Another command's save dialog, whose command asks its own question about replacing, does not
    // keep the basket's from asking it.
    typCommonDialog other;
    other.blnConfirmOverwrite = false;
    fncShowSave(other);
    run(cmdSave, "mine", {});
    ASSERT_EQ(dialogs.fileRequests().size(), 2u);
    const tf::FileDialogRequest save = dialogs.fileRequests()[1];
    EXPECT_TRUE(save.save);
    EXPECT_TRUE(save.confirmOverwrite);
    EXPECT_EQ(save.title, "Save Basket");
    EXPECT_EQ(save.filter, "Image basket file (*.ibf)|*.ibf");
    EXPECT_EQ(save.defaultSuffix, "ibf");
    EXPECT_EQ(readAll(folder.file("mine.ibf")), quotedLines({folder.file("a.jpg"), folder.file("b.jpg"), folder.file("c.jpg")}));

    run(cmdSave, "no/such/folder/x.ibf", {});
    ASSERT_EQ(reports.reports().size(), 1u);
    EXPECT_EQ(reports.reports()[0].routine, "modSaveOpenImageList.fncSaveImageBasket");
    EXPECT_EQ(boxes.prompts(), QStringList({"Error saving image basket!\nPlease try again!"}));

    // "x.txt" is written as "x.txt.ibf", a name the dialog never asked about: asked here.
    const QByteArray older = "an older basket";
    folder.write("x.txt.ibf", older);
    run(cmdSave, "x.txt", {vbNo});
    EXPECT_EQ(boxes.prompts(), QStringList({"x.txt.ibf already exists.\nDo you want to replace it?"}));
    EXPECT_EQ(readAll(folder.file("x.txt.ibf")), older);
    run(cmdSave, "x.txt", {vbYes});
    EXPECT_EQ(readAll(folder.file("x.txt.ibf")), readAll(folder.file("mine.ibf")));
    EXPECT_FALSE(QFileInfo::exists(folder.file("x.txt")));

    // Opening over pages asks first; Cancel leaves everything.
    basket->cmdPagesNew_Click();
    selectFolderRows({4});
    basket->cmdAddToQueue_Click();
    waitForAdding();
    boxes.clear();
    boxes.answerNext(vbCancel);
    basket->cmdPagesOpen_Click();
    EXPECT_EQ(boxes.prompts(), QStringList({"There are currently files in the Basket!.\nDo you want to continue?"}));
    EXPECT_EQ(boxes.shown()[0].style, vbOKCancel + vbInformation);
    EXPECT_EQ(dialogs.fileRequests().size(), 5u);

    run(cmdOpen, "mine.ibf", {vbOK});
    EXPECT_EQ(dialogs.fileRequests().back().title, "Open Basket");
    EXPECT_FALSE(dialogs.fileRequests().back().save);
    EXPECT_EQ(basketTexts(), QStringList({"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_EQ(sbMain->panelText("queue"), "3 file(s) in basket");

    // A file that cannot be read: reported, the message shown, the basket as it was.
    run(cmdOpen, "absent.ibf", {vbOK});
    ASSERT_EQ(reports.reports().size(), 2u);
    EXPECT_EQ(reports.reports()[1].routine, "modSaveOpenImageList.fncOpenImageBasket");
    EXPECT_EQ(reports.reports()[1].text, "53 - File not found");
    EXPECT_EQ(boxes.prompts().value(1), "Error opening image basket!\nPlease select a valid image basket file.");
    EXPECT_EQ(basketTexts(), QStringList({"a.jpg", "b.jpg", "c.jpg"}));
    QDir(folder.path()).mkdir("folder.ibf");
    EXPECT_FALSE(open(folder.file("folder.ibf")));
    EXPECT_EQ(pageCount(), 3);
    EXPECT_FALSE(pbQueue->isVisible());

    // A file that no longer loads is named once, after the others were added.
    folder.write("b.jpg", "damaged");
    run(cmdOpen, "mine.ibf", {vbOK});
    EXPECT_EQ(basketTexts(), QStringList({"a.jpg", "c.jpg"}));
    EXPECT_EQ(boxes.prompts().value(1), "The following files could not be added to the basket:\n\t'" + folder.file("b.jpg") + "'");

    // Scanned pages kept only in our Temp folder will not come back: said when saving.
    const QString scanned = tf::userTempDir() + "/1_77.tif";
    ASSERT_TRUE(tf::test::writeRgbTiff(scanned, {pagePicture(10, 10, Qt::red)}));
    addPage("1", scanned, scanned);
    run(cmdSave, "scans.ibf", {});
    ASSERT_EQ(boxes.prompts().size(), 1);
    EXPECT_TRUE(boxes.prompts()[0].contains("Temp folder"));
}
