// The basket's single-page conversion and printing, reached from the main window: one click each.
// What they write is tested with them.
#include "mainwindow_gui.h"

#include "basket/BasketPrinting.h"
#include "basket/frmSaveSinglePage.h"
#include "platform/ui/msgbox.h"

using namespace tf;
using namespace tf::test;

namespace {

class MainWindowBatch : public MainWindowGui {
protected:
    void TearDown() override
    {
        frmSaveSinglePage::setScript({});
        ImagePrinter::setDialogStep({});
        MainWindowGui::TearDown();
    }
    TempFolder pics;
    ScriptedMessageBoxes boxes;
};

} // namespace

TEST_F(MainWindowBatch, SaveAsMenuOpensTheConversionAndPrintOpensThePrintDialog)
{
    writeQt(pics.file("a.png"), solid(101, 70, Qt::red), "png");
    frmMain& w = startOn(pics.path(), /*details*/ true);
    clickRow(w.browse()->lvFolder(), "a.png");
    click(w.basket()->cmdAddToQueue());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));

    int conversionDialogs = 0;
    frmSaveSinglePage::setScript([&](frmSaveSinglePage& d) {
        ++conversionDialogs;
        d.cmdCancel->click();
    });
    chooseFromMenu(w.basket()->cmdSaveAs(), "mnuSaveAsParent", "Single Page files (batch mode)");
    EXPECT_EQ(conversionDialogs, 1);

    int printDialogs = 0;
    ImagePrinter::setDialogStep([&](QPrinter&, QWidget* owner) {
        ++printDialogs;
        EXPECT_EQ(owner, &w);
        return false;
    });
    click(w.basket()->cmdBatchPrint());
    EXPECT_EQ(printDialogs, 1);
    EXPECT_TRUE(boxes.shown().empty());
}
