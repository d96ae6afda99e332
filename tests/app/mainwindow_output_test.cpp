// The program's main road through the main window: files into the basket, a page moved, the
// basket saved as a TIFF and a PDF and appended to the TIFF, each checked with independent tools.
// What the writers make of each page is tested with the writers; here, that the choices reach them.
#include "mainwindow_gui.h"

#include "basket/frmDialogExtension.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/statusbar.h"
#include "support/doctools.h"

#include <QComboBox>
#include <QHeaderView>
#include <QRegularExpression>

using namespace tf;
using namespace tf::test;

namespace {

// Every source has its own width, so a written page tells which basket page it came from.
const QStringList kSources = {"a.jpg", "b.jpg", "c.jpg", "d.png", "scan.tif"};

class MainWindowOutput : public MainWindowGui {
protected:
    void SetUp() override
    {
        MainWindowGui::SetUp();
        writeQt(pics.file("a.jpg"), solid(101, 70, Qt::red), "jpg");
        writeQt(pics.file("b.jpg"), solid(102, 70, Qt::green), "jpg");
        writeQt(pics.file("c.jpg"), solid(103, 70, Qt::blue), "jpg");
        writeQt(pics.file("d.png"), solid(104, 70, Qt::magenta), "png");
        ASSERT_TRUE(writeRgbTiff(pics.file("scan.tif"), {solid(105, 70, Qt::black), solid(106, 70, Qt::gray), solid(107, 70, Qt::yellow)}));
    }

    // Chooses every file of the folder list and adds them with the basket's Add button.
    void addEverythingToTheBasket()
    {
        frmMain& w = window();
        clickRow(w.browse()->lvFolder(), kSources.first());
        clickRow(w.browse()->lvFolder(), kSources.last(), Qt::ShiftModifier);
        ASSERT_EQ(chosenRowCount(w.browse()->lvFolder()), kSources.size());
        previewWidth = w.browse()->ibMain()->ImageWidth();
        previewPage = w.browse()->ibMain()->PageIndex();
        previewTag = w.browse()->ibMain()->Tag();
        click(w.basket()->cmdAddToQueue());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
    }

    // Save As, then "Multi-page file ", answering the dialog as a user: the panel's choices, then the name.
    void saveAs(const QString& path, int compression, int colorFormat)
    {
        dialogs.answerFile(path, 1, [=](const FileDialogRequest& request) {
            auto* panel = qobject_cast<frmDialogExtension*>(request.panel);
            ASSERT_NE(panel, nullptr) << "the options panel is embedded in the dialog";
            EXPECT_EQ(request.title, "Save to a multipage format");
            panel->cboTIFFCompression->setCurrentIndex(compression);
            panel->cboColorFormat->setCurrentIndex(colorFormat);
        });
        untilOutputEnds(window(), [&] { chooseFromMenu(window().basket()->cmdSaveAs(), "mnuSaveAsParent", "Multi-page file "); });
    }

    // What the preview showed before the basket split the multipage file.
    int previewWidth = 0;
    int previewPage = 0;
    QString previewTag;
    TempFolder pics;
    TempFolder out;
    ScriptedDialogs dialogs;
    ScriptedMessageBoxes boxes;
};

} // namespace

TEST_F(MainWindowOutput, TheBasketIsSavedAsATiffAndAPdfAndAppendedToTheTiff)
{
    frmMain& w = startOn(pics.path(), /*details*/ true);
    addEverythingToTheBasket();
    ASSERT_EQ(rowTexts(w.basket()->lvPages()), QStringList({"a", "b", "c", "d", "scan1", "scan2", "scan3"}));
    // The split worked on a control of its own: the preview still shows the file clicked last.
    EXPECT_EQ(previewTag, pics.file("scan.tif"));
    EXPECT_EQ(w.browse()->ibMain()->Tag(), previewTag);
    EXPECT_EQ(w.browse()->ibMain()->ImageWidth(), previewWidth);
    EXPECT_EQ(w.browse()->ibMain()->PageIndex(), previewPage);

    // "d" goes to the front, as a drop of it on the first page puts it.
    clickRow(w.basket()->lvPages(), "d");
    const QRect first = w.basket()->lvPages()->visualRect(rowAt(w.basket()->lvPages(), 1));
    ASSERT_FALSE(first.isEmpty()) << "the basket list shows its first row";
    ASSERT_EQ(w.basket()->lvPages()->rowAt(QPoint(first.left() + 5, first.center().y())), 0);
    ASSERT_EQ(w.basket()->lvPages()->selectedRow(), 3);
    w.basket()->subMoveListItems(first.left() + 5, first.center().y());
    ASSERT_EQ(rowTexts(w.basket()->lvPages()), QStringList({"d", "a", "b", "c", "scan1", "scan2", "scan3"}));
    const QList<int> basketOrder = {104, 101, 102, 103, 105, 106, 107};

    // A TIFF of seven pages in basket order, PackBits, 256 grey levels.
    const QString tiff = out.file("pages.tif");
    saveAs(tiff, /*PackBits*/ 1, /*256 Grayscale*/ 2);
    // The writer's formats are checked with the writer; here, that the panel's choices reach it.
    const std::vector<TiffDirectory> pages = tiffDirectories(tiff);
    EXPECT_EQ(widthsOf(pages), basketOrder);
    for (const TiffDirectory& page : pages) {
        EXPECT_EQ(page.value(259), 32773) << "PackBits";
        EXPECT_EQ(page.value(262), 1) << "grey, min-is-black";
    }
    EXPECT_EQ(gudtSettings.SaveDialog.TiffCompression, 1) << "the panel's choice is kept for next time";
    EXPECT_TRUE(boxes.shown().empty()) << "a successful save ends without a message";

    // A PDF, chosen by its name.
    const QString pdf = out.file("pages.pdf");
    saveAs(pdf, 0, /*24 bit*/ 0);
    EXPECT_TRUE(qpdfCheckPasses(pdf));
    EXPECT_EQ(widthsOf(pdfImages(pdf)), basketOrder);

    // The basket appended to the front of the TIFF, in place: old pages follow.
    dialogs.answerFile(tiff, 1, [](const FileDialogRequest& request) {
        auto* panel = qobject_cast<frmDialogExtension*>(request.panel);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(request.title, "Select a multipage image or document");
        EXPECT_TRUE(panel->picAppendMode->isVisibleTo(panel)) << "appending offers the append choices";
        panel->cboAppendMode->setCurrentIndex(0); // "Beginning of file"
        panel->cboOutputMode->setCurrentIndex(0); // "Overwrite"
    });
    untilOutputEnds(w, [&] { click(w.basket()->cmdsaveAppend()); });
    EXPECT_EQ(widthsOf(tiffDirectories(tiff)), basketOrder + basketOrder);
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression("^\\.")).isEmpty())
        << "no temporary file is left beside the documents";
}

TEST_F(MainWindowOutput, ACaptionClickSortsTheBasketAndNewBasketLetsGoOfThePreviewedPage)
{
    frmMain& w = startOn(pics.path(), /*details*/ true);
    addEverythingToTheBasket();
    w.basket()->model().move({3}, 0);
    ASSERT_EQ(rowTexts(w.basket()->lvPages()), QStringList({"d", "a", "b", "c", "scan1", "scan2", "scan3"}));
    QHeaderView* captions = w.basket()->lvPages()->header();
    QTest::mouseClick(captions->viewport(), Qt::LeftButton, {},
                      QPoint(captions->sectionViewportPosition(0) + 5, captions->height() / 2));
    EXPECT_EQ(rowTexts(w.basket()->lvPages()), QStringList({"a", "b", "c", "d", "scan1", "scan2", "scan3"}));

    // The previewed page is deleted, then the basket with it: its file is gone, and so is its name.
    clickRow(w.basket()->lvPages(), "scan2");
    const QString page = w.browse()->ibMain()->Tag();
    auto fileNamePanel = [&] { return w.sbMain()->panelText("filename"); };
    ASSERT_EQ(fileNamePanel(), QFileInfo(page).fileName());
    click(w.basket()->cmdPagesDelete());
    click(w.basket()->cmdPagesNew());
    EXPECT_FALSE(QFileInfo::exists(page));
    EXPECT_EQ(fileNamePanel(), "");
    // A folder file shown keeps its name.
    clickRow(w.browse()->lvFolder(), "a.jpg");
    click(w.basket()->cmdPagesNew());
    EXPECT_EQ(fileNamePanel(), "a.jpg");
}
