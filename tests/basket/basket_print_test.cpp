// Printing the basket into a PDF printer: which pages, in which order, what the dialog's choices
// do to the stored settings, and Cancel.
#include "basket/BasketPrinting.h"

#include "multipage_fixture.h"

#include "frame/LongCommand.h"
#include "platform/imagebox/imagebox.h"

#include <QLabel>
#include <QPageLayout>

namespace tf::test::multipage {
namespace {

class BasketPrint : public ::testing::Test {
protected:
    void SetUp() override
    {
        gudtSettings.Print = fncDefaultSettings().Print;
    }
    void TearDown() override { ImagePrinter::setDialogStep({}); }

    // The dialog answers by printing into `pdf`, after `alsoDo` changed what a user may change.
    void printInto(const QString& pdf, bool accept = true, std::function<void(QPrinter&)> alsoDo = {})
    {
        ImagePrinter::setDialogStep([=, this](QPrinter& p, QWidget*) {
            ++dialogs;
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(pdf);
            if (alsoDo) alsoDo(p);
            return accept;
        });
    }
    // True once the job ended; a cancelled dialog starts none.
    bool print(const QStringList& files, bool job = true)
    {
        basket = basketOf(files);
        commands = std::make_unique<BatchPrintCommands>(*basket, &owner);
        QSignalSpy ended(commands.get(), &BatchPrintCommands::printFinished);
        commands->cmdBatchPrint_Click();
        return job ? !ended.isEmpty() || ended.wait(60000) : ended.isEmpty();
    }

    // Keeps in m_said what the progress window said last, as it went away (null when none showed).
    void watchProgressWindow()
    {
        struct AtHide : QObject {
            QString* said;
            bool eventFilter(QObject* watched, QEvent* e) override
            {
                if (e->type() == QEvent::Hide && said->isNull())
                    *said = static_cast<QWidget*>(watched)->findChild<QLabel*>("lblMessage")->text();
                return false;
            }
        };
        auto* atHide = new AtHide;
        atHide->setParent(&owner);
        atHide->said = &m_said;
        onceShown<frmStatus>(&owner, [atHide](frmStatus* status) { status->installEventFilter(atHide); });
    }

    TempFolder src, out;
    QWidget owner;
    QString m_said;
    ScriptedMessageBoxes boxes;
    int dialogs = 0;
    std::unique_ptr<basket::BasketModel> basket;
    std::unique_ptr<BatchPrintCommands> commands;
};

TEST_F(BasketPrint, EveryPageFromTheFirstInBasketOrder)
{
    const QStringList files{writePage(src.file("c.png"), pagePicture(103, 80, Qt::red)),
                            writePage(src.file("a.jpg"), pagePicture(101, 80, Qt::blue)),
                            writePage(src.file("b.png"), pagePicture(102, 80, Qt::green))};
    const QString pdf = out.file("basket.pdf");
    // A paper the settings have no number for stays chosen.
    printInto(pdf, true, [](QPrinter& p) { p.setPageSize(QPageSize(QPageSize::A6)); });
    watchProgressWindow();
    ASSERT_TRUE(print(files));
    EXPECT_EQ(m_said, "Printing.. " + basket->at(2).text) << "the progress window names the page printed";
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(pdfPages(pdf), 3);
    EXPECT_EQ(pdfPageSizes(pdf).value(2), "297 x 420 pts") << "A6";
    EXPECT_EQ(widthsOf(pdfImages(pdf)), QList<int>({103, 101, 102}));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(BasketPrint, OnePageIsPrintedWithoutAProgressWindow)
{
    const QString pdf = out.file("one.pdf");
    printInto(pdf);
    watchProgressWindow();
    ASSERT_TRUE(print({writePage(src.file("a.png"), pagePicture(101, 80, Qt::blue))}));
    EXPECT_EQ(pdfPages(pdf), 1);
    EXPECT_TRUE(m_said.isNull());
}

TEST_F(BasketPrint, DialogChoicesAreStoredEvenWhenCancelled)
{
    const QString pdf = out.file("none.pdf");
    printInto(pdf, false, [](QPrinter& p) {
        p.setPageOrientation(QPageLayout::Landscape);
        p.setPageSize(QPageSize(QPageSize::Letter));
        p.setColorMode(QPrinter::GrayScale);
    });
    EXPECT_TRUE(print({writePage(src.file("a.png"), pagePicture(40, 30, Qt::red))}, false));
    EXPECT_FALSE(QFileInfo::exists(pdf));
    const typPrintOptions& s = gudtSettings.Print;
    EXPECT_EQ(s.PrintSetting2, 1);
    EXPECT_EQ(s.PrintSetting3, 1);
    EXPECT_EQ(s.PrintSetting8, 1);
    EXPECT_EQ(s.PrintSetting1, -1) << "what the dialog does not show stays";
}

TEST_F(BasketPrint, EmptyBasketShowsNothingAndChangesNothing)
{
    printInto(out.file("x.pdf"));
    gudtSettings.Print.PrintSetting3 = 7;
    basket = basketOf({});
    BatchPrintCommands commands(*basket, &owner);
    commands.cmdBatchPrint_Click();
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(gudtSettings.Print.PrintSetting3, 7);
}

// The preview's Print and the basket's go through one printer, as through one control: the
// printer chosen in one dialog is where the other prints next. Neither asks while another long
// command runs, which may be printing through that printer.
TEST_F(BasketPrint, PreviewAndBasketShareOnePrinterAndNeitherAsksWhileAnotherCommandRuns)
{
    ImagePrinter shared;
    PreviewPrintCommand preview(shared, &owner);
    ImageBox shown;
    shown.setPicture(pagePicture(77, 50, Qt::green));
    basket = basketOf({writePage(src.file("a.png"), pagePicture(101, 80, Qt::blue))});
    BatchPrintCommands batch(*basket, shared, &owner);
    const QString pdf = out.file("preview.pdf");
    printInto(pdf);
    {
        LongCommand other(QStringLiteral("Saving a MultiPage file"));
        preview.PrintImage(shown);
        batch.cmdBatchPrint_Click();
        EXPECT_EQ(dialogs, 0);
    }

    QSignalSpy previewPrinted(&preview, &PreviewPrintCommand::printFinished);
    preview.PrintImage(shown);
    ASSERT_TRUE(previewPrinted.wait(60000));
    EXPECT_EQ(widthsOf(pdfImages(pdf)), QList<int>({77}));

    // The basket's dialog opens on the printer the preview's left: accepted as it is, it prints there.
    QString offered;
    ImagePrinter::setDialogStep([&](QPrinter& p, QWidget*) {
        offered = p.outputFileName();
        return true;
    });
    QSignalSpy batchPrinted(&batch, &BatchPrintCommands::printFinished);
    batch.cmdBatchPrint_Click();
    ASSERT_TRUE(batchPrinted.wait(60000));
    EXPECT_EQ(offered, pdf);
    EXPECT_EQ(widthsOf(pdfImages(pdf)), QList<int>({101}));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(BasketPrint, SettingsPlaceThePicture)
{
    // Fitted on A4 portrait the picture is as wide as the paper less the left margin; at 100 %
    // without fitting a 300 dpi picture of 600 pixels is two inches wide.
    struct Case {
        int32_t fit;
        double left;
        double expectedWidthPt;
    } cases[] = {{-1, 0, 595.3}, {-1, 10, 595.3 - 28.35}, {0, 0, 144}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fit);
        ImagePrinter printer;
        printer.setPrintSetting1(c.fit);
        printer.setPrintSetting4(c.left);
        const QString pdf = out.file("one.pdf");
        QImage picture = pagePicture(600, 300, Qt::red, 300);
        QPrinter& p = printer.printer();
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(pdf);
        ImageDocument doc;
        doc.setPicture(picture);
        ASSERT_EQ(printer.PrintImage(doc), 1);
        // pdfimages reports the embedded picture's placement as its resolution, in whole dots.
        const QString list = runTool("pdfimages", {"-list", pdf}).split('\n').value(2);
        const double xppi = list.simplified().split(' ').value(12).toDouble();
        ASSERT_GT(xppi, 0) << list.toStdString();
        EXPECT_NEAR(600 / xppi * 72, c.expectedWidthPt, c.expectedWidthPt * 0.015);
    }
}

} // namespace
} // namespace tf::test::multipage
