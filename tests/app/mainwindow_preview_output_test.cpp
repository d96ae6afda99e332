// The preview's outputs reached from the main window: its Print (button and menu entry) through
// the print dialog the basket's print shows too, and Save Preview As, both written beside the
// window. What the printer and the writers do is tested with them.
#include "mainwindow_gui.h"

#include "basket/BasketPrinting.h"
#include "browse/ControlSaveAs.h"
#include "frame/LongCommand.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "support/doctools.h"

#include <QAction>

using namespace tf;
using namespace tf::test;

namespace {

class MainWindowPreviewOutput : public MainWindowGui {
protected:
    void TearDown() override
    {
        ImagePrinter::setDialogStep({});
        MainWindowGui::TearDown();
    }
    // The dialog answers with the PDF printer writing into `pdf`: printing, or cancelled.
    void printDialogAnswers(const QString& pdf, bool print)
    {
        ImagePrinter::setDialogStep([this, pdf, print](QPrinter& p, QWidget* owner) {
            ++dialogs;
            EXPECT_EQ(owner, &window());
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(pdf);
            return print;
        });
    }
    // Runs the command and waits for the print it starts to end.
    void untilPrinted(const std::function<void()>& command)
    {
        QSignalSpy ended(window().findChild<PreviewPrintCommand*>(), &PreviewPrintCommand::printFinished);
        command();
        if (ended.isEmpty()) {
            ASSERT_TRUE(ended.wait(60000)) << "the print never ended";
        }
    }

    TempFolder pics, out;
    ScriptedMessageBoxes boxes;
    int dialogs = 0;
};

} // namespace

TEST_F(MainWindowPreviewOutput, PrintPrintsTheShownPictureAsOnePageAndCancelPrintsNothing)
{
    writeQt(pics.file("a.png"), solid(101, 70, Qt::red), "png");
    writeQt(pics.file("b.png"), solid(67, 90, Qt::blue), "png");
    frmMain& w = startOn(pics.path(), /*details*/ true);
    clickRow(w.browse()->lvFolder(), "b.png");

    const QString none = out.file("none.pdf");
    printDialogAnswers(none, false);
    click(w.browse()->cmdPreviewPrint());
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(isLongCommandRunning()) << "a cancelled dialog starts no print";
    EXPECT_FALSE(QFileInfo::exists(none));

    const QString button = out.file("button.pdf");
    printDialogAnswers(button, true);
    untilPrinted([&] { click(w.browse()->cmdPreviewPrint()); });
    EXPECT_EQ(dialogs, 2) << "the dialog once per print";
    EXPECT_EQ(pdfPages(button), 1);
    EXPECT_EQ(widthsOf(pdfImages(button)), QList<int>({67}));

    // The preview menu's "Print" prints what the preview shows then.
    clickRow(w.browse()->lvFolder(), "a.png");
    const QString entry = out.file("entry.pdf");
    printDialogAnswers(entry, true);
    ASSERT_EQ(w.browse()->mnuPreview(4)->text(), "Print");
    untilPrinted([&] { w.browse()->mnuPreview(4)->trigger(); });
    EXPECT_EQ(pdfPages(entry), 1);
    EXPECT_EQ(widthsOf(pdfImages(entry)), QList<int>({101}));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MainWindowPreviewOutput, SavePreviewAsWritesTheShownPicture)
{
    writeQt(pics.file("a.png"), solid(101, 70, Qt::red), "png");
    frmMain& w = startOn(pics.path(), /*details*/ true);
    clickRow(w.browse()->lvFolder(), "a.png");
    ScriptedDialogs files;
    files.answerFile(out.file("copy.tif"), 2);
    QSignalSpy ended(w.findChild<ControlSaveAs*>(), &ControlSaveAs::saveFinished);
    click(w.browse()->cmdPreviewSave());
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr) << "the button pops its menu up";
    ASSERT_EQ(menu->objectName(), "mnuSavePreviewAsParent");
    const QList<QAction*> entries = menu->actions();
    ASSERT_EQ(entries.value(0)->text(), "Image document");
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entries[0]).center());
    if (ended.isEmpty()) {
        ASSERT_TRUE(ended.wait(60000)) << "the save never ended";
    }
    EXPECT_TRUE(ended.first().first().toBool());
    EXPECT_EQ(tiffinfoValues(out.file("copy.tif"), "Image Width"), QStringList({"101 Image Length: 70"}));
    EXPECT_TRUE(boxes.shown().empty());
}
