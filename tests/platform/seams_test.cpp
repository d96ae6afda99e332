#include "platform/sys/colors.h"
#include "platform/sys/numbers.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"

#include <QDir>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tf;

TEST(Rounding, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(roundToLong(0.5), 0);
    EXPECT_EQ(roundToLong(1.5), 2);
    EXPECT_EQ(roundToLong(2.5), 2);
    EXPECT_EQ(roundToLong(-2.5), -2);
    EXPECT_EQ(roundToLong(2.500001), 3);
    EXPECT_EQ(roundToInteger(40000.0), INT16_MAX);
    EXPECT_EQ(roundToLong(1e12), INT32_MAX);
    EXPECT_EQ(twipsToPixels(pixelsToTwips(533)), 533);
}

TEST(Colors, BgrLongsAndTheFixedSystemTable)
{
    EXPECT_EQ(colorFromOle(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(colorFromOle(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(oleFromColor(QColor(1, 2, 3)), 0x030201);
    // Window text and highlight text resolve the same on every desktop.
    EXPECT_EQ(colorFromOle(static_cast<OleColor>(0x80000008u)), QColor(0, 0, 0));
    EXPECT_EQ(colorFromOle(static_cast<OleColor>(0x8000000Eu)), QColor(255, 255, 255));
    EXPECT_TRUE(isSystemColor(static_cast<OleColor>(0x8000000Fu)));
    EXPECT_FALSE(isSystemColor(0x00FFFFFF));
    EXPECT_EQ(colorFromOle(static_cast<OleColor>(0x800000FFu)), QColor(0, 0, 0)); // unknown index
}

TEST(MessageBoxes, ScriptedAnswersAreRecordedWithTheProgramTitle)
{
    ScriptedMessageBoxes boxes;
    boxes.answerNext(vbNo);
    EXPECT_EQ(MsgBox("Overwrite?", vbYesNo + vbQuestion), vbNo);
    EXPECT_EQ(MsgBox("Done", vbInformation, "Custom"), vbOK);
    EXPECT_EQ(MsgBox("Sure?", vbYesNoCancel + vbDefaultButton2), vbNo); // default button answers
    ASSERT_EQ(boxes.shown().size(), 3u);
    EXPECT_EQ(boxes.shown()[0].title, "Tavrel Folio");
    EXPECT_EQ(boxes.shown()[0].icon(), vbQuestion);
    EXPECT_EQ(boxes.shown()[1].title, "Custom");
}

TEST(MessageBoxes, TheRealBoxHasRoomForItsTitleBesideATitleBarsButtons)
{
    // A short text under the program's title: Qt alone makes the box about as wide as the text.
    const std::unique_ptr<QMessageBox> box = makeMessageBox("Files written: 2", vbInformation, "Tavrel Folio");
    box->show();
    QFont bold = QApplication::font("QMdiSubWindowTitleBar");
    bold.setBold(true);
    // An icon and three buttons of 24 pixels at least, besides the title.
    EXPECT_GE(box->width(), QFontMetrics(bold).horizontalAdvance("Tavrel Folio") + 4 * 24);
    QStringList answers;
    for (QAbstractButton* b : box->buttons()) answers << b->text() + "=" + b->property("answer").toString();
    EXPECT_EQ(answers, QStringList{"OK=1"});

    const std::unique_ptr<QMessageBox> question = makeMessageBox("Sure?", vbYesNo + vbDefaultButton2, "T");
    EXPECT_EQ(question->defaultButton()->property("answer").toInt(), vbNo);
    EXPECT_EQ(question->escapeButton()->property("answer").toInt(), vbNo);
}

TEST(MessageBoxes, EscapeAnswerFollowsTheButtons)
{
    EXPECT_EQ(msgBoxEscapeAnswer(vbYesNo), vbNo);
    EXPECT_EQ(msgBoxEscapeAnswer(vbYesNoCancel), vbCancel);
    EXPECT_EQ(msgBoxEscapeAnswer(vbOKOnly + vbCritical), vbOK);
    EXPECT_EQ(msgBoxDefaultAnswer(vbAbortRetryIgnore + vbDefaultButton3), vbIgnore);
}

TEST(Dialogs, ScriptedAnswersRunWhileTheDialogIsOpen)
{
    ScriptedDialogs dialogs;
    int typeSeen = 0;
    dialogs.answerFile("/tmp/out.pdf", 3, [&](const FileDialogRequest& r) { r.onTypeChanged(3); });
    FileDialogRequest req;
    req.save = true;
    req.title = "Save";
    req.filterIndex = 1;
    req.onTypeChanged = [&](int i) { typeSeen = i; };
    const FileDialogResult r = dialogProvider().fileDialog(req);
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.fileTitle, "out.pdf");
    EXPECT_EQ(typeSeen, 3);
    // Nothing queued: a cancel that keeps the caller's filter index.
    req.filterIndex = 2;
    const FileDialogResult c = dialogProvider().fileDialog(req);
    EXPECT_FALSE(c.accepted);
    EXPECT_EQ(c.filterIndex, 2);
    EXPECT_EQ(dialogs.fileRequests().size(), 2u);
}

TEST(Dialogs, FileDialogsWithoutAFolderOpenWhereTheirKindWasLastUsed)
{
    QTemporaryDir root;
    for (const char* folder : {"browsed", "baskets", "given", "gone"}) ASSERT_TRUE(QDir(root.path()).mkpath(folder));
    const auto at = [&](const char* name) { return root.path() + "/" + name; };
    forgetFileDialogFolders();
    ScriptedDialogs dialogs;
    const auto request = [](bool save, const char* title) {
        FileDialogRequest r;
        r.save = save;
        r.title = title;
        return r;
    };
    const auto startOf = [&](const FileDialogRequest& r) {
        dialogProvider().fileDialog(r);
        return dialogs.fileRequests().back().initialDir;
    };

    EXPECT_EQ(startOf(request(false, "Open Basket")), QString()) << "nothing browsed, nothing used: Qt's choice";
    setBrowsedFolder(at("browsed"));
    EXPECT_EQ(startOf(request(false, "Open Basket")), at("browsed"));

    // A file chosen: that kind opens there from now on; a cancel changes nothing.
    dialogs.answerFile(at("baskets/week.ibf"));
    dialogProvider().fileDialog(request(false, "Open Basket"));
    dialogs.answerFile(at("gone/old.ibf"));
    dialogProvider().fileDialog(request(true, "Save Basket"));
    EXPECT_EQ(startOf(request(false, "Open Basket")), at("baskets"));
    EXPECT_EQ(startOf(request(false, "Open Basket")), at("baskets")) << "after a cancel";

    const struct { const char* what; FileDialogRequest request; QString start; } cases[] = {
        {"another title", request(false, "Select a multipage image or document"), at("browsed")},
        {"saving under the same title", request(false, "Save Basket"), at("browsed")},
        {"the kind's folder", request(true, "Save Basket"), at("gone")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(startOf(c.request), c.start);
    }

    // A folder removed since is passed over for the browsed one.
    ASSERT_TRUE(QDir(at("gone")).removeRecursively());
    EXPECT_EQ(startOf(request(true, "Save Basket")), at("browsed"));
    ASSERT_TRUE(QDir(at("browsed")).removeRecursively());
    EXPECT_EQ(startOf(request(true, "Save Basket")), QString());

    // A caller's own folder, or a proposed name with its folder, is kept as given.
    FileDialogRequest given = request(false, "Open Basket");
    given.initialDir = at("given");
    EXPECT_EQ(startOf(given), at("given"));
    FileDialogRequest named = request(true, "Save As");
    named.fileName = at("given/x.png");
    EXPECT_EQ(startOf(named), QString());
    forgetFileDialogFolders();
}

TEST(Dialogs, FolderDialogOpensWithTheStartFolderSelectedAndShown)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("start/inner"));
    const QString start = root.path() + "/start";
    const auto statusOf = [](QFileDialog& d) { return d.findChild<QLabel*>("statusText")->text(); };

    // A trailing separator is the same folder.
    for (const QString& given : {start, start + "/"}) {
        const auto dialog = makeFolderDialog(nullptr, "Pick", given);
        EXPECT_EQ(dialog->windowTitle(), "Pick");
        EXPECT_EQ(dialog->directory().absolutePath(), root.path());
        EXPECT_EQ(dialog->selectedFiles(), QStringList{start});
        EXPECT_EQ(statusOf(*dialog), start);
        // Moving to another folder shows that one.
        emit dialog->currentChanged(start + "/inner");
        EXPECT_EQ(statusOf(*dialog), start + "/inner");
    }

    // No start folder, or one that is gone: nothing selected and an empty status line.
    for (const QString& given : {QString(), root.path() + "/missing"}) {
        const auto dialog = makeFolderDialog(nullptr, "Pick", given);
        EXPECT_EQ(statusOf(*dialog), QString());
        EXPECT_FALSE(dialog->selectedFiles().contains(given));
    }
}

TEST(UserFolders, FollowXdgDataHomeAndAreCreated)
{
    QTemporaryDir home;
    const QByteArray old = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    EXPECT_EQ(userDataDir(), home.path() + "/tavrel-folio");
    EXPECT_TRUE(QDir(userTempDir()).exists());
    EXPECT_TRUE(userTempDir().endsWith("/tavrel-folio/Temp"));
    // A relative value is ignored in favour of the home folder's default.
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", "relative/ignored");
    EXPECT_EQ(userDataDir(), home.path() + "/.local/share/tavrel-folio");
    qputenv("HOME", oldHome);
    qputenv("XDG_DATA_HOME", old);
}

TEST(Dialogs, ProgramFiltersBecomeCaseFreeQtFilters)
{
    const QStringList f = qtNameFilters(
        "All multipage formats (*.tif;*.tiff;*.pdf)|*.tif;*.tiff;*.pdf|Portable document (*.pdf)|*.pdf");
    ASSERT_EQ(f.size(), 2);
    EXPECT_EQ(f[1], "Portable document (*.pdf) (*.[pP][dD][fF])");
    EXPECT_TRUE(f[0].endsWith("(*.[tT][iI][fF] *.[tT][iI][fF][fF] *.[pP][dD][fF])"));
    EXPECT_EQ(qtNameFilters("EXIF file (*.xiff)|*.xiff").size(), 1);
    EXPECT_TRUE(qtNameFilters("").isEmpty());
    EXPECT_TRUE(qtNameFilters("Dangling description").isEmpty());
    // The filter matches names of any case, as the file list applies it.
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression("*.[tT][iI][fF]"));
    EXPECT_TRUE(re.match("SCAN.TIF").hasMatch());
    EXPECT_TRUE(re.match("scan.Tif").hasMatch());
    EXPECT_FALSE(re.match("scan.tiff").hasMatch());
}
