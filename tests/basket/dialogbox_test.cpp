// The multipage dialogs: their rules, the option panel, and the hook on a real (non-native) file dialog.
#include "basket/modDialogBox.h"
#include "multipage_fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest/QTest>

using namespace tf;

TEST(DialogRules, PatternsIndexesAndNames)
{
    const QString all = fncMultiPageFilter(2);
    const char* perIndex[] = {"*.tif", "*.tif", "*.pdf", ""};
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(fncSelectedFilterExtension(all, i), perIndex[i - 1]) << i;
    EXPECT_EQ(fncSelectedFilterExtension(fncMultiPageFilter(1), 1), "*.pdf");

    EXPECT_EQ(fncFilterIndexOfName(all, "x.pdf"), 3);
    EXPECT_EQ(fncFilterIndexOfName(all, "x.TIF"), 1);
    EXPECT_EQ(fncFilterIndexOfName(fncMultiPageFilter(0), "x.tiff"), 1);

    // The typed name on a change of type.
    const std::pair<const char*, const char*> cuts[] = {{"report.tif", "report"}, {"scan.jpeg", "scan"},
        {"ab.c", "ab.c"}, {"my.report", "my.report"}, {"a.b.c", "a"}, {"", ""}};
    for (const auto& [typed, cut] : cuts) EXPECT_EQ(fncCutNameOnTypeChange(typed), cut) << typed;

    // The chosen name made whole; a point in a folder counts for nothing.
    const struct {
        const char *name, *pattern, *whole;
    } names[] = {{"/d/report", "*.pdf", "/d/report.pdf"},      {"/d/report...", "*.tif", "/d/report.tif"},
                 {"/d/scan.TIFF", "*.pdf", "/d/scan.TIFF"},     {"/d/scan.pdf", "*.tif", "/d/scan.pdf"},
                 {"/d/photo.jpg", "*.tif", "/d/photo.jpg.tif"}, {"/d.pdf/report", "*.tif", "/d.pdf/report.tif"},
                 {"/d/report", "", "/d/report"}};
    for (const auto& n : names) EXPECT_EQ(fncCompleteSaveName(n.name, n.pattern), n.whole) << n.name;
    EXPECT_EQ(fncTrimAtNull(QStringLiteral("a.tif") + QChar(0) + "junk"), "a.tif");
}

TEST(DialogPanel, OpensOnTheStoredChoicesStoresEachAtOnceAndShowsTheBoxesForTheVariant)
{
    typSaveDialogOptions options{.TiffCompression = 1, .ColorFormat = 4, .AppendMode = 1, .OutputMode = 1};
    frmDialogExtension panel(options);
    EXPECT_EQ(panel.cboTIFFCompression->currentText(), "PackBits (RLE)");
    EXPECT_EQ(panel.cboColorFormat->currentText(), "16 Grayscale");
    EXPECT_EQ(panel.cboAppendMode->currentText(), "End of file");
    EXPECT_EQ(panel.cboOutputMode->currentText(), "New File");
    EXPECT_FALSE(panel.chkProcessEditingList->isChecked());
    EXPECT_EQ(panel.lblMessage->text(), "Move mouse to the label or focus the drop down box to know more about it.");

    // Choosing "CCITT Group 4" stores 2 before the dialog closes, even if it is then cancelled. The save
    // variant has no append box; the TIFF box goes with the TIFF type and comes back with it.
    ScriptedDialogs dialogs;
    bool appendShown = true, tiffShown = false;
    dialogs.cancelFile([&](const FileDialogRequest& r) {
        auto* p = qobject_cast<frmDialogExtension*>(r.panel);
        p->cboTIFFCompression->setCurrentIndex(2);
        p->chkProcessEditingList->click();
        appendShown = p->picAppendMode->isVisibleTo(p);
        tiffShown = p->PicTiff->isVisibleTo(p);
        r.onTypeChanged(3);
        r.onTypeChanged(2);
    });
    QString filter = fncMultiPageFilter(2);
    int32_t index = 0;
    EXPECT_EQ(fncShowFileDialog(QString(), filter, index, "t", 0, &panel, false), "");
    EXPECT_EQ(options.TiffCompression, 2);
    EXPECT_EQ(options.ProcessTaskList, 1);
    EXPECT_EQ(options.ColorFormat, 4);
    EXPECT_FALSE(appendShown);
    EXPECT_TRUE(tiffShown);
    EXPECT_TRUE(panel.PicTiff->isVisibleTo(&panel)) << "switching back shows it again";
    dialogs.cancelFile([&](const FileDialogRequest&) { appendShown = panel.picAppendMode->isVisibleTo(&panel); });
    fncShowFileDialog(QString(), filter, index, "Open", -1, &panel, true);
    EXPECT_TRUE(appendShown) << "the append variant has its box";

    // A record never set (nothing selected) shows nothing selected and is left so.
    typSaveDialogOptions unset{.ColorFormat = -1};
    frmDialogExtension blank(unset);
    EXPECT_EQ(blank.cboColorFormat->currentIndex(), -1);
    EXPECT_EQ(unset.ColorFormat, -1);

    // Hints: focus on a combo, the mouse over a label.
    QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(panel.cboColorFormat, &focus);
    EXPECT_TRUE(panel.lblMessage->text().startsWith("Choose a color format"));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(panel.Label3, &enter);
    EXPECT_EQ(panel.lblMessage->text(), "Specify either to output the file to a new file or replace the existing one");
}

TEST(DialogHook, TheNameFollowsTheTypeOnARealDialog)
{
    test::TempFolder dir;
    QDir().mkpath(dir.file("sub"));
    setDialogProvider(nullptr); // Qt's own dialog, not the scripted one
    typSaveDialogOptions options;
    frmDialogExtension panel(options);
    QString afterPdf, afterFolder, suffix;
    bool tiffShown = true, embedded = false;
    test::multipage::onceShown<QFileDialog>(&panel, [&](QFileDialog* dialog) {
        embedded = panel.window() == dialog;
        dialog->setDirectory(dir.file("sub"));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_TRUE(name && types);
        name->setText(QStringLiteral("report.tif"));
        QTest::keyClick(types, Qt::Key_Down); // "Tag Image format"
        QTest::keyClick(types, Qt::Key_Down); // "Portable document"
        afterPdf = name->text();
        suffix = dialog->defaultSuffix();
        tiffShown = panel.PicTiff->isVisibleTo(&panel);
        // Into another folder: the name box empties.
        dialog->findChild<QToolButton*>(QStringLiteral("toParentButton"))->click();
        afterFolder = name->text();
        name->setText(QStringLiteral("final"));
        QTest::keyClick(name, Qt::Key_Return);
    });
    QString filter = fncMultiPageFilter(2);
    int32_t index = 0;
    const QString chosen = fncShowFileDialog(QString(), filter, index, "Save to a multipage format", 0, &panel, false);
    test::installUnexpectedModalGuards();
    EXPECT_TRUE(embedded) << "the panel sits in the dialog";
    EXPECT_EQ(afterPdf, "report");
    EXPECT_EQ(suffix, "pdf");
    EXPECT_FALSE(tiffShown);
    EXPECT_EQ(afterFolder, "");
    EXPECT_EQ(index, 3);
    EXPECT_EQ(chosen, dir.file("final.pdf"));
    EXPECT_EQ(panel.parentWidget(), nullptr) << "the panel is handed back";
}
