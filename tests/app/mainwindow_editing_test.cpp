// The editing mode as a user works it in the main window: the Edit button, a task chosen in the
// task chart, Preview, Confirm, Reset and Original with their questions, the edit list's bars
// and rows, the mouse tools on the preview, and the confirmed tasks reaching the written pages.
// The option panels' own controls are tested with the panels; here the chosen task's options are
// scripted, so that each case says exactly what the panel handed over.
#include "mainwindow_gui.h"

#include "basket/BasketController.h"
#include "basket/frmDialogExtension.h"
#include "browse/previewSnapshots.h"
#include "controls/explorerbar/ExplorerBar.h"
#include "editing/EditingController.h"
#include "editing/TaskOptionPanels.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <map>

using namespace tf;
using namespace tf::test;

namespace {

// A picture whose every change shows: a diagonal colour ramp with a dark block in one corner.
QImage pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x + y) % 256));
    QPainter(&image).fillRect(2, 2, width / 4, height / 4, QColor(20, 30, 40));
    return image;
}

EditTask task(TaskCode code, const QStringList& params)
{
    EditTask t = makeEditTask(code);
    for (int i = 0; i < params.size(); ++i) t.setP(i + 1, params[i]);
    return t;
}

QImage rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

const QString kModified = QStringLiteral("The image has been modified!\r\nDo you want to confirm the changes made to the image?");
const QString kOriginal = QStringLiteral(
    "Resetting to original image will erase all editing functions from the batch list!\r\n Do you want to continue?");

class MainWindowEditing : public MainWindowGui {
protected:
    void TearDown() override
    {
        MainWindowGui::TearDown();
        gvarOriginalImage = ImageSnapshot{};
        gvarWorkingImage = ImageSnapshot{};
    }

    // Starts the window with the scripted panels and a picture in the preview, as a shown file is.
    frmMain& startEditing(const QImage& picture, QSize size = QSize(1000, 700))
    {
        frmMain& w = start(size);
        w.editing()->setTaskReader([this](int32_t code, QString* message) -> std::optional<EditTask> {
            const auto found = tasks.find(code);
            if (found == tasks.end()) return makeEditTask(static_cast<TaskCode>(code));
            if (!found->second && message) *message = refusal;
            return found->second;
        });
        show(picture);
        return w;
    }
    void show(const QImage& picture)
    {
        ibMain().setPicture(picture);
        gvarOriginalImage = ibMain().SaveToVariant(ImageDocument::kSnapshotFormat);
        window().subResize();
    }
    ImageBox& ibMain() { return *window().browse()->ibMain(); }
    EditingController& editing() { return *window().editing(); }
    void choose(const char* key) { emit window().editing()->eb()->ItemClick(QStringLiteral("Special Group"), QLatin1String(key)); }
    bool shownInDialog(QWidget* panel) { return panel->isVisibleTo(window().editing()->picDialog()); }
    QString dialogCaption() { return window().editing()->eb()->model().groupRecord(1)->sCaption; }
    const std::vector<EditTask>& rows() { return editing().editList().tasks(); }

    std::map<int32_t, std::optional<EditTask>> tasks;
    QString refusal;
    ScriptedMessageBoxes boxes;
};

} // namespace

TEST_F(MainWindowEditing, EnteringChoosingPreviewingAndResettingFollowTheButtons)
{
    const QImage original = pattern(60, 40);
    frmMain& w = startEditing(original);
    tasks[taskBlur] = task(taskBlur, {"3"});

    click(w.browse()->CmdPreviewEdit());
    ASSERT_EQ(glngEditMode, 1);
    EXPECT_EQ(w.editing()->cmdOK()->text(), "Finish");
    EXPECT_TRUE(w.editing()->cmdOK()->isEnabled());
    EXPECT_FALSE(w.editing()->cmdApply()->isEnabled());
    EXPECT_TRUE(w.editing()->cmdOriginalImage()->isEnabled());
    EXPECT_EQ(w.browse()->mnuPreview(0)->text(), "Back to Explorer view");
    EXPECT_EQ(dialogCaption(), "Options");
    EXPECT_TRUE(shownInDialog(w.editing()->optionPanel(0)));
    EXPECT_EQ(editing().lblNothing()->text(), "Select a task from above, or click finish button to exit edit mode.");
    EXPECT_EQ(gvarWorkingImage.image, original);

    choose("Blur");
    EXPECT_EQ(w.editing()->cmdOK()->text(), "Confirm");
    EXPECT_TRUE(w.editing()->cmdApply()->isEnabled());
    EXPECT_EQ(dialogCaption(), "Task Option - Blur");
    EXPECT_TRUE(shownInDialog(w.editing()->optionPanel(4)));
    EXPECT_FALSE(shownInDialog(w.editing()->optionPanel(0)));
    editing().cmdReset_Click();
    EXPECT_EQ(ibMain().Picture(), original) << "Reset right after choosing changes nothing";

    click(w.editing()->cmdApply());
    const QImage blurred = ibMain().Picture();
    EXPECT_NE(blurred, original);
    EXPECT_FALSE(w.editing()->cmdApply()->isEnabled());
    EXPECT_TRUE(w.editing()->cmdReset()->isEnabled());
    EXPECT_TRUE(editing().blnImageModified);
    EXPECT_EQ(gvarWorkingImage.image, original) << "Preview leaves the working image alone";

    // A changed option enables Preview again, which starts from the working image: one blur, not two.
    emit editing().optionPanels().optionsChanged(taskBlur);
    EXPECT_TRUE(w.editing()->cmdApply()->isEnabled());
    click(w.editing()->cmdApply());
    EXPECT_EQ(ibMain().Picture(), blurred);

    click(w.editing()->cmdReset());
    EXPECT_EQ(ibMain().Picture(), original);
    EXPECT_FALSE(w.editing()->cmdReset()->isEnabled());
    EXPECT_FALSE(editing().blnImageModified);

    // Another task after a preview: Cancel keeps everything, No takes the preview back.
    click(w.editing()->cmdApply());
    boxes.answerNext(vbCancel);
    choose("Flip");
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, kModified);
    EXPECT_EQ(boxes.shown()[0].style, vbYesNoCancel + vbInformation);
    EXPECT_EQ(ibMain().Picture(), blurred);
    EXPECT_TRUE(shownInDialog(w.editing()->optionPanel(4)));
    boxes.answerNext(vbNo);
    choose("Flip");
    EXPECT_EQ(ibMain().Picture(), original);
    EXPECT_TRUE(shownInDialog(w.editing()->optionPanel(1)));
    EXPECT_TRUE(rows().empty());

    // Finish is the way out once no task is chosen.
    click(w.editing()->cmdOK());
    ASSERT_EQ(w.editing()->cmdOK()->text(), "Finish");
    click(w.editing()->cmdOK());
    EXPECT_EQ(glngEditMode, 0);
    EXPECT_EQ(w.browse()->mnuPreview(0)->text(), "Edit/Enhance image");
    EXPECT_FALSE(w.editing()->cmdOriginalImage()->isEnabled());
}

TEST_F(MainWindowEditing, ConfirmRecordsATaskOnlyWhenItWasApplied)
{
    const QImage original = pattern(60, 40);
    frmMain& w = startEditing(original);
    tasks[taskFlip] = task(taskFlip, {"0"});
    tasks[taskRotate] = task(taskRotate, {"False", "0", "16777215"});
    tasks[taskBlur] = task(taskBlur, {"2"});
    tasks[taskSharpen] = std::nullopt;
    refusal = "Please type a number.";
    click(w.browse()->CmdPreviewEdit());

    // A freshly chosen task is applied by Confirm itself, and recorded.
    choose("Flip");
    click(w.editing()->cmdOK());
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0], *tasks[taskFlip]);
    const QImage flipped = ibMain().Picture();
    EXPECT_EQ(flipped.pixel(59, 0), original.pixel(0, 0));
    EXPECT_EQ(w.editing()->cmdOK()->text(), "Finish");
    EXPECT_EQ(gvarWorkingImage.image, flipped) << "the confirmed result is the next task's base";
    EXPECT_EQ(w.editing()->lvEditPreview()->model()->rowCount(), 1);
    EXPECT_EQ(w.editing()->lvEditPreview()->model()->index(0, 0).data().toString(), "Orientation");
    EXPECT_EQ(w.editing()->lvEdit()->model()->rowCount(), 1) << "both lists show the one edit list";

    // A turn by 0 degrees counts as unchanged: confirming it applies and records nothing.
    choose("Rotate");
    EXPECT_FALSE(editing().blnOptionsChanged);
    click(w.editing()->cmdOK());
    EXPECT_EQ(rows().size(), 1u);
    EXPECT_EQ(ibMain().Picture(), flipped);

    // Options the task cannot take: the message, the image as it was, nothing recorded, the task still chosen.
    choose("Sharpen");
    click(w.editing()->cmdApply());
    ASSERT_EQ(boxes.prompts(), QStringList{"Please type a number."});
    EXPECT_EQ(boxes.shown()[0].icon(), int(vbInformation));
    EXPECT_EQ(ibMain().Picture(), flipped);
    EXPECT_FALSE(editing().blnImageModified);
    EXPECT_TRUE(w.editing()->cmdApply()->isEnabled()) << "the user may correct the options and try again";
    click(w.editing()->cmdOK());
    EXPECT_EQ(rows().size(), 1u);
    EXPECT_EQ(w.editing()->cmdOK()->text(), "Confirm");

    // Yes to the question confirms the preview before the next task is shown.
    choose("Blur");
    click(w.editing()->cmdApply());
    const QImage blurred = ibMain().Picture();
    boxes.answerNext(vbYes);
    choose("Invert");
    ASSERT_EQ(rows().size(), 2u);
    EXPECT_EQ(rows()[1].TaskName, "blur");
    EXPECT_EQ(gvarWorkingImage.image, blurred);
    EXPECT_TRUE(shownInDialog(w.editing()->optionPanel(0)));
    EXPECT_EQ(editing().lblNothing()->text(), "No Options Available. Click 'Preview' or 'Confirm' below to continue.");
    click(w.editing()->cmdOK());
    ASSERT_EQ(rows().size(), 3u);
    EXPECT_EQ(rows()[2].TaskCode, taskInvert) << "Invert has no options and is recorded all the same";
}

TEST_F(MainWindowEditing, OriginalAsksAndLeavingTakesBackAnUnconfirmedPreview)
{
    const QImage original = pattern(60, 40);
    frmMain& w = startEditing(original);
    tasks[taskFlip] = task(taskFlip, {"1"});
    tasks[taskBlur] = task(taskBlur, {"2"});
    click(w.browse()->CmdPreviewEdit());

    click(w.editing()->cmdOriginalImage());
    EXPECT_TRUE(boxes.shown().empty()) << "with an empty edit list there is nothing to ask";

    choose("Flip");
    click(w.editing()->cmdOK());
    const QImage flipped = ibMain().Picture();
    boxes.answerNext(vbNo);
    click(w.editing()->cmdOriginalImage());
    ASSERT_EQ(boxes.prompts(), QStringList{kOriginal});
    EXPECT_EQ(boxes.shown()[0].style, vbYesNo + vbInformation);
    EXPECT_EQ(rows().size(), 1u);
    EXPECT_EQ(ibMain().Picture(), flipped);
    boxes.answerNext(vbYes);
    click(w.editing()->cmdOriginalImage());
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(ibMain().Picture(), original);
    EXPECT_EQ(gvarWorkingImage.image, original);

    // "Optimized": leaving keeps the edited image, without the unconfirmed preview.
    w.browse()->mnuPreviewType_Click(1);
    choose("Flip");
    click(w.editing()->cmdOK());
    choose("Blur");
    click(w.editing()->cmdApply());
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(glngEditMode, 0);
    EXPECT_EQ(ibMain().Picture(), flipped);
    EXPECT_TRUE(gvarWorkingImage.isEmpty());

    // Coming back replays nothing on an optimized preview; with "Original" the list is replayed
    // on entering and taken off again on leaving.
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(ibMain().Picture(), flipped);
    click(w.browse()->CmdPreviewEdit());
    w.browse()->mnuPreviewType_Click(0);
    EXPECT_EQ(ibMain().Picture(), original);
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(ibMain().Picture(), flipped);
    EXPECT_EQ(gvarWorkingImage.image, flipped);
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(ibMain().Picture(), original);

    // A row clicked in the explorer view shows the list up to it; entering then starts from the
    // picture as loaded, so no task is applied twice (two flips would give the original back).
    w.editing()->lvEdit()->setCurrentIndex(w.editing()->lvEdit()->model()->index(0, 0));
    emit w.editing()->lvEdit()->clicked(w.editing()->lvEdit()->currentIndex());
    EXPECT_EQ(ibMain().Picture(), flipped);
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(ibMain().Picture(), flipped);
}

TEST_F(MainWindowEditing, RedEyeAndTheColourPickWorkOnThePreviewAndRedEyeRecordsNothing)
{
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(qRgb(200, 20, 20));
    picture.setPixel(5, 5, qRgb(1, 2, 3));
    frmMain& w = startEditing(picture);
    ibMain().setFitToWindow(false);
    click(w.browse()->CmdPreviewEdit());

    choose("Canvas");
    editing().chkCropBackColor_Click(true);
    emit ibMain().MouseDown(1, 0, 5, 5);
    emit ibMain().MouseUp(1, 0, 5, 5);
    EXPECT_EQ(ibMain().document().BackgroundColor(), tf::rgb(1, 2, 3)) << "a click picks the pixel under it";

    choose("RedEye");
    EXPECT_FALSE(w.editing()->cmdApply()->isEnabled());
    EXPECT_FALSE(w.editing()->cmdOK()->isEnabled()) << "nothing to do before the eye is drawn round";
    editing().chkRedEye_Click(true);
    EXPECT_TRUE(w.editing()->cmdApply()->isEnabled());
    emit ibMain().MouseDown(1, 0, 10, 10);
    emit ibMain().MouseMove(1, 0, 20, 20);
    EXPECT_EQ(ibMain().overlayRectangles(), (std::vector<OverlayRectangle>{{10, 10, 21, 21}}));
    emit ibMain().MouseUp(1, 0, 20, 20);
    click(w.editing()->cmdApply());
    EXPECT_NE(ibMain().Picture().pixel(15, 15), picture.pixel(15, 15));
    EXPECT_EQ(ibMain().Picture().pixel(2, 2), picture.pixel(2, 2)) << "only inside the ellipse";
    const QImage corrected = ibMain().Picture();
    click(w.editing()->cmdOK());
    EXPECT_TRUE(rows().empty()) << "a red-eye correction belongs to this picture alone";
    EXPECT_EQ(gvarWorkingImage.image, corrected);
    EXPECT_TRUE(ibMain().overlayRectangles().empty());
}

TEST_F(MainWindowEditing, TheEditListBarsAndRowsReplayTheList)
{
    const QImage original = pattern(60, 40);
    frmMain& w = startEditing(original);
    tasks[taskFlip] = task(taskFlip, {"0"});
    tasks[taskCanvas] = task(taskCanvas, {"0", "5", "0", "0", "0"});
    click(w.browse()->CmdPreviewEdit());
    for (const char* key : {"Flip", "Canvas", "Flip"}) {
        choose(key);
        click(w.editing()->cmdOK());
    }
    ASSERT_EQ(rows().size(), 3u);
    EXPECT_EQ(ibMain().ImageWidth(), 65);
    const QImage all = ibMain().Picture();

    // A row chosen in the visible list shows the image as edited up to that row.
    w.editing()->lvEditPreview()->setCurrentIndex(w.editing()->lvEditPreview()->model()->index(0, 0));
    emit w.editing()->lvEditPreview()->clicked(w.editing()->lvEditPreview()->currentIndex());
    EXPECT_EQ(ibMain().ImageWidth(), 60);
    EXPECT_EQ(ibMain().Picture().pixel(59, 0), original.pixel(0, 0));
    EXPECT_EQ(gvarWorkingImage.image, all) << "a row click leaves the working image alone";

    // Delete takes the chosen row out and replays the rest whole.
    click(w.cmdEditPreview(3));
    ASSERT_EQ(rows().size(), 2u);
    EXPECT_EQ(rows()[0].TaskCode, taskCanvas);
    EXPECT_EQ(ibMain().ImageWidth(), 65);
    EXPECT_EQ(ibMain().Picture().pixel(59, 0), original.pixel(0, 0)) << "the canvas grown on the left, then flipped";
    EXPECT_EQ(gvarWorkingImage.image, ibMain().Picture());
    click(w.cmdEditPreview(3));
    EXPECT_EQ(rows().size(), 2u) << "nothing chosen, nothing deleted";

    click(w.cmdEditBar(0));
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(ibMain().Picture(), original);
    EXPECT_EQ(gvarWorkingImage.image, original);
}

TEST_F(MainWindowEditing, TheMouseDrawsTheCropRectangleAsAnOverlayAndPreviewCropsToIt)
{
    // Shown at its own size, the program's rectangle is used.
    frmMain& w = startEditing(pattern(60, 40));
    ibMain().setFitToWindow(false);
    tasks[taskCrop] = task(taskCrop, {"False"});
    click(w.browse()->CmdPreviewEdit());
    choose("Crop");
    editing().chkCropMouse_Click(true);

    emit ibMain().MouseDown(1, 0, 30, 20);
    emit ibMain().MouseMove(1, 0, 20, 25);
    emit ibMain().MouseMove(1, 0, 10, 5);
    emit ibMain().MouseUp(1, 0, 10, 5);
    EXPECT_EQ(editing().selectionTool().mode(), SelDragMode::Shown);
    const std::vector<OverlayRectangle> shown = ibMain().overlayRectangles();
    EXPECT_EQ(shown, editing().selectionTool().overlay()) << "the outline and the grips, drawn over the picture";
    EXPECT_NE(std::find(shown.begin(), shown.end(), OverlayRectangle{30, 20, 11, 6}), shown.end());
    EXPECT_EQ(ibMain().Picture(), pattern(60, 40)) << "never into its pixels";
    editing().chkCropBackColor_Click(true);
    EXPECT_TRUE(ibMain().overlayRectangles().empty()) << "picking a colour ends the rectangle, outline and all";
    editing().chkCropBackColor_Click(false);
    editing().chkCropMouse_Click(true);
    emit ibMain().MouseDown(1, 0, 30, 20);
    emit ibMain().MouseMove(1, 0, 10, 5);
    emit ibMain().MouseUp(1, 0, 10, 5);

    click(w.editing()->cmdApply());
    EXPECT_EQ(ibMain().Picture(), pattern(60, 40).copy(10, 5, 20, 15));
    EXPECT_TRUE(ibMain().overlayRectangles().empty());
    click(w.editing()->cmdOK());
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].Params, (task(taskCrop, {"False", "10", "5", "30", "20"}).Params));

    // A right click opens the preview's menu and leaves the tools as they were.
    choose("Crop");
    editing().chkCropMouse_Click(true);
    emit ibMain().MouseDown(2, 0, 5, 5);
    EXPECT_EQ(QApplication::activePopupWidget(), w.browse()->mnuPreviewParent());
    w.browse()->mnuPreviewParent()->close();
    EXPECT_EQ(editing().selectionTool().mode(), SelDragMode::Armed);
    editing().chkCropMouse_Click(false);
    emit ibMain().MouseDown(1, 0, 5, 5);
    emit ibMain().MouseUp(1, 0, 9, 9);
    EXPECT_EQ(editing().selectionTool().mode(), SelDragMode::Idle) << "unticked before drawing, the tool is put away";
    editing().chkCropMouse_Click(true);

    // Without a rectangle there is nothing to crop to: the user is told, the picture stays.
    const QImage before = ibMain().Picture();
    click(w.editing()->cmdApply());
    EXPECT_EQ(boxes.prompts(), QStringList{"Please select the crop region on the image."});
    EXPECT_EQ(ibMain().Picture(), before);
}

TEST_F(MainWindowEditing, TheRectangleGoesWhenThePreviewShowsThePictureAtAnotherSize)
{
    frmMain& w = startEditing(pattern(600, 400));
    ibMain().setFitToWindow(true);
    click(w.browse()->CmdPreviewEdit());
    ASSERT_EQ(ibMain().displaySize(), QSize(600, 400)) << "shown at its own size";
    tasks[taskCrop] = task(taskCrop, {"False"});
    choose("Crop");
    editing().chkCropMouse_Click(true);
    ASSERT_EQ(editing().selectionTool().tool(), toolCropRect);
    emit ibMain().MouseDown(1, 0, 100, 100);
    emit ibMain().MouseUp(1, 0, 300, 200);
    ASSERT_FALSE(ibMain().overlayRectangles().empty());

    w.resize(700, 500);
    QApplication::processEvents();
    ASSERT_NE(ibMain().displaySize(), QSize(600, 400));
    EXPECT_TRUE(ibMain().overlayRectangles().empty());
    EXPECT_EQ(editing().selectionTool().mode(), SelDragMode::Idle);

    // Every choice from the preview's menu clears the selection too.
    editing().chkCropMouse_Click(true);
    emit ibMain().MouseDown(1, 0, 10, 10);
    emit ibMain().MouseMove(1, 0, 50, 40);
    emit ibMain().MouseUp(1, 0, 50, 40);
    ASSERT_FALSE(ibMain().overlayRectangles().empty());
    w.browse()->mnuPreview_Click(1);
    EXPECT_TRUE(ibMain().overlayRectangles().empty());
}

TEST_F(MainWindowEditing, PreviewAndReplayGiveTheSamePixelsOnAFittedPreviewAndOnAPage)
{
    TempFolder files;
    const QString logo = files.file("logo.png");
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::yellow);
    ASSERT_TRUE(picture.save(logo));

    const QImage original = pattern(1600, 1200);
    frmMain& w = startEditing(original);
    ibMain().setFitToWindow(true); // "Best Fit", as a shown file gets it
    click(w.browse()->CmdPreviewEdit());
    ASSERT_LT(ibMain().DisplayWidth(), 1600) << "the preview shows the picture scaled down";
    tasks[taskCrop] = task(taskCrop, {"False"});
    tasks[taskWatermark] = task(taskWatermark, {"False", "30", "1", logo, "0", "", "", "True"});
    tasks[taskText] = task(taskText, {"True", "True", "False", "0", "0", "DejaVu Sans", "40", "True", "False", "False",
                                      "255", "16777215", "0", "9", "Folio", "", ""});

    // Crop with the control's rubber band on the scaled preview, dragged up and left.
    choose("Crop");
    editing().chkCropMouse_Click(true);
    const QSize box = ibMain().boxSize();
    emit ibMain().MouseDown(1, 0, 300, 200);
    emit ibMain().MouseMove(1, 0, 200, 150);
    emit ibMain().MouseUp(1, 0, 41, 33);
    click(w.editing()->cmdOK());
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].p(2), "41");
    EXPECT_EQ(rows()[0].p(6), QString::number(box.width())) << "with the box it was drawn in";
    EXPECT_EQ(rows()[0].p(7), QString::number(box.height()));

    // The watermark and the text where the user clicked.
    for (const char* key : {"Watermark", "Text"}) {
        choose(key);
        editing().chkSelectLocation_Click(true);
        emit ibMain().MouseMove(0, 0, 70, 60);
        emit ibMain().MouseUp(1, 0, 70, 60);
        click(w.editing()->cmdOK());
    }
    ASSERT_EQ(rows().size(), 3u);
    ASSERT_TRUE(boxes.shown().empty()) << boxes.prompts().join("|").toStdString();
    const QImage previewed = ibMain().Picture();
    EXPECT_NE(rgb(previewed), rgb(original.copy(previewed.rect())));

    // The replay on the fitted preview, and on a page that no window shows.
    w.editing()->lvEditPreview()->clearSelection();
    click(w.browse()->CmdPreviewEdit());
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(rgb(ibMain().Picture()), rgb(previewed));
    ImageDocument page;
    page.setPicture(original);
    ASSERT_TRUE(editing().replayer().replayAll(page).ok);
    EXPECT_EQ(rgb(page.Picture()), rgb(previewed));
}

namespace {

// Every page of a TIFF as libtiff reads it.
std::vector<QImage> tiffPages(const QString& path)
{
    std::vector<QImage> pages;
    TIFF* tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!tif) return pages;
    do {
        uint32_t width = 0, height = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        std::vector<uint32_t> raster(size_t(width) * height);
        if (!TIFFReadRGBAImageOriented(tif, width, height, raster.data(), ORIENTATION_TOPLEFT, 0)) break;
        QImage page(int(width), int(height), QImage::Format_RGB32);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t p = raster[size_t(y) * width + x];
                page.setPixel(int(x), int(y), qRgb(int(TIFFGetR(p)), int(TIFFGetG(p)), int(TIFFGetB(p))));
            }
        pages.push_back(page);
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

// Every image of a PDF, extracted by pdfimages.
std::vector<QImage> pdfPictures(const QString& path, const QString& folder)
{
    QProcess tool;
    tool.start(QStringLiteral("pdfimages"), {QStringLiteral("-png"), path, folder + QStringLiteral("/page")});
    tool.waitForFinished(60000);
    std::vector<QImage> pages;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("page-*.png")}, QDir::Files, QDir::Name))
        pages.push_back(rgb(QImage(folder + QLatin1Char('/') + name)));
    return pages;
}

} // namespace

TEST_F(MainWindowEditing, ConfirmedTasksChangeEveryWrittenPageAsThePreviewShowedIt)
{
    TempFolder pics, out, extracted;
    writeQt(pics.file("a.png"), pattern(81, 60), "png");
    writeQt(pics.file("b.png"), pattern(67, 52).mirrored(true, true), "png");
    frmMain& w = startOn(pics.path(), /*details*/ true);
    w.editing()->setTaskReader([this](int32_t code, QString*) -> std::optional<EditTask> { return tasks.at(code); });
    tasks[taskFlip] = task(taskFlip, {"1"});
    tasks[taskInvert] = makeEditTask(taskInvert);
    tasks[taskCrop] = task(taskCrop, {"True", "0", "2", "3", "50", "40"});
    tasks[taskBlur] = task(taskBlur, {"2"});

    clickRow(w.browse()->lvFolder(), "a.png");
    clickRow(w.browse()->lvFolder(), "b.png", Qt::ShiftModifier);
    click(w.basket()->cmdAddToQueue());
    ASSERT_EQ(w.basket()->lvPages()->Count(), 2);
    clickRow(w.basket()->lvPages(), "a");
    ASSERT_EQ(ibMain().ImageWidth(), 81);

    click(w.browse()->CmdPreviewEdit());
    for (const char* key : {"Flip", "Invert", "Crop", "Blur"}) {
        choose(key);
        click(w.editing()->cmdOK());
    }
    ASSERT_EQ(rows().size(), 4u);
    std::vector<QImage> previews{rgb(ibMain().Picture())};
    click(w.browse()->CmdPreviewEdit());
    // The optimized preview shows the other page with the list replayed.
    w.browse()->mnuPreviewType_Click(1);
    clickRow(w.basket()->lvPages(), "b");
    ASSERT_EQ(ibMain().Tag().section('/', -1), "b.png");
    previews.push_back(rgb(ibMain().Picture()));
    EXPECT_EQ(previews[1].size(), QSize(48, 37));

    ScriptedDialogs dialogs;
    for (const char* name : {"pages.tif", "pages.pdf"}) {
        dialogs.answerFile(out.file(name), 1, [](const FileDialogRequest& request) {
            auto* panel = qobject_cast<frmDialogExtension*>(request.panel);
            ASSERT_NE(panel, nullptr);
            panel->cboTIFFCompression->setCurrentIndex(0);
            panel->cboColorFormat->setCurrentIndex(0); // 24 bit
            panel->chkProcessEditingList->setChecked(true);
        });
        chooseFromMenu(w.basket()->cmdSaveAs(), "mnuSaveAsParent", "Multi-page file ");
    }
    EXPECT_TRUE(boxes.shown().empty()) << boxes.prompts().join("|").toStdString();

    const std::vector<QImage> tiff = tiffPages(out.file("pages.tif"));
    const std::vector<QImage> pdf = pdfPictures(out.file("pages.pdf"), extracted.path());
    ASSERT_EQ(tiff.size(), 2u);
    ASSERT_EQ(pdf.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(tiff[i], previews[i]) << "TIFF page " << i + 1;
        EXPECT_EQ(pdf[i], previews[i]) << "PDF page " << i + 1;
    }
}
