// The editing mode as a user works it in the main window: tasks, Preview, Confirm, Reset and
// Original, the edit list, the mouse tools, and the list reaching the written pages. The panels'
// input rules are tested with the panels; here only what reaches the image, list and record.
#include "mainwindow_gui.h"

#include "basket/frmDialogExtension.h"
#include "editing/OptionControls.h"
#include "editing/ImageOperations.h"
#include "editing/modProcessTasks.h"
#include "frame/modGlobalErrorHandling.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "platform/sys/blockingcalls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QSlider>

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

QStringList params(const EditTask& task)
{
    QStringList out;
    for (int i = 1; i <= kTaskParamCount; ++i) out << task.p(i);
    while (!out.isEmpty() && out.last().isEmpty()) out.removeLast();
    return out;
}

QImage rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

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
        QImage page(int(width), int(height), QImage::Format_RGBA8888); // libtiff's byte order
        auto* raster = reinterpret_cast<uint32_t*>(page.bits());
        if (!TIFFReadRGBAImageOriented(tif, width, height, raster, ORIENTATION_TOPLEFT, 0)) break;
        pages.push_back(rgb(page));
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return pages;
}

const QString kModified = QStringLiteral("The image has been modified!\r\nDo you want to confirm the changes made to the image?");
const QString kOriginal = QStringLiteral(
    "Resetting to original image will erase all editing functions from the batch list!\r\n Do you want to continue?");

class MainWindowEditing : public MainWindowGui {
protected:
    // Starts the window with a picture in the preview, as a shown file is, and clicks Edit.
    frmMain& enter(const QImage& picture, std::optional<bool> fit = std::nullopt)
    {
        frmMain& w = start();
        show(picture);
        if (fit) ibMain().setFitToWindow(*fit);
        click(w.browse()->CmdPreviewEdit());
        return w;
    }
    void show(const QImage& picture)
    {
        window().browse()->showCapturedPicture(picture, dataDir() + QStringLiteral("/shown.png"));
    }
    ImageBox& ibMain() { return *window().browse()->ibMain(); }
    EditingController& editing() { return *window().editing(); }
    // The operations and replays run on workers: a step is done when the controller says so.
    void settle()
    {
        QSignalSpy ready(&editing(), &EditingController::previewReady);
        while (editing().busy()) ASSERT_TRUE(ready.wait(20000));
    }
    void click(QPushButton* button)
    {
        MainWindowGui::click(button);
        settle();
    }
    void clickTask(QListView* list, int row)
    {
        list->setCurrentIndex(list->model()->index(row, 0));
        emit list->clicked(list->currentIndex());
        settle();
    }
    void choose(const char* key)
    {
        emit window().editing()->eb()->ItemClick(QStringLiteral("Special Group"), QLatin1String(key));
        settle();
    }
    bool shownInDialog(QWidget* panel) { return panel->isVisibleTo(window().editing()->picDialog()); }
    QString dialogCaption() { return window().editing()->eb()->model().groupRecord(1)->sCaption; }
    std::vector<EditTask> rows() { return editing().editList().rows(); }

    // The option controls, by their names.
    template <typename T = QAbstractButton>
    T* control(const char* name) { return find<T>(QLatin1String(name)); }
    void type(const char* name, const QString& text) { control<QLineEdit>(name)->setText(text); }
    void select(const char* name) { control(name)->click(); }
    // The canvas margins: top, left, right, bottom.
    void margins(const QStringList& texts)
    {
        for (int i = 0; i < 4; ++i) find<QLineEdit>(QStringLiteral("txtCanvasCustom_%1").arg(i))->setText(texts[i]);
    }
    // A tool switch pressed down, also when it was down already.
    void press(const char* name)
    {
        QAbstractButton* b = control(name);
        b->setChecked(false);
        b->click();
    }

    ScriptedMessageBoxes boxes;
    const QImage original = pattern(60, 40);
};

} // namespace

TEST_F(MainWindowEditing, EnteringChoosingPreviewingAndResettingFollowTheButtons)
{
    frmMain& w = enter(original);
    gudtSettings.Tasks.BlurLevel = 3; // the level last confirmed
    ASSERT_EQ(editing().lngEditMode(), 1);
    EXPECT_EQ(w.editing()->cmdOK()->text(), "Finish");
    EXPECT_TRUE(w.editing()->cmdOK()->isEnabled());
    EXPECT_FALSE(w.editing()->cmdApply()->isEnabled());
    EXPECT_FALSE(w.editing()->cmdOriginalImage()->isEnabled()) << "no task recorded to take back";
    EXPECT_EQ(w.browse()->mnuPreview(0)->text(), "Back to Explorer view");
    EXPECT_EQ(dialogCaption(), "Options");
    EXPECT_TRUE(shownInDialog(w.editing()->optionPanel(0)));
    EXPECT_EQ(editing().lblNothing()->text(), "Select a task from above, or click finish button to exit edit mode.");
    EXPECT_EQ(editing().workingImage().image, original);

    choose("Blur");
    EXPECT_EQ(w.editing()->cmdOK()->text(), "Confirm");
    EXPECT_TRUE(w.editing()->cmdApply()->isEnabled());
    EXPECT_EQ(dialogCaption(), "Task Option - Blur");
    EXPECT_TRUE(shownInDialog(w.editing()->optionPanel(4)));
    EXPECT_FALSE(shownInDialog(w.editing()->optionPanel(0)));
    EXPECT_EQ(control<QSlider>("sldBlur")->value(), 3) << "the panel shows the last-used options";
    editing().cmdReset_Click();
    EXPECT_EQ(ibMain().Picture(), original) << "Reset right after choosing changes nothing";

    click(w.editing()->cmdApply());
    const QImage blurred = ibMain().Picture();
    EXPECT_NE(blurred, original);
    EXPECT_FALSE(w.editing()->cmdApply()->isEnabled());
    EXPECT_TRUE(w.editing()->cmdReset()->isEnabled());
    EXPECT_TRUE(editing().blnImageModified);
    EXPECT_EQ(editing().workingImage().image, original) << "Preview leaves the working image alone";

    // A changed option enables Preview again, which starts from the working image: one blur, not two.
    control<QSlider>("sldBlur")->setValue(5);
    EXPECT_TRUE(w.editing()->cmdApply()->isEnabled());
    click(w.editing()->cmdApply());
    EXPECT_NE(ibMain().Picture(), blurred);
    control<QSlider>("sldBlur")->setValue(3);
    click(w.editing()->cmdApply());
    EXPECT_EQ(ibMain().Picture(), blurred);

    control<QSlider>("sldBlur")->setValue(6);
    click(w.editing()->cmdReset());
    EXPECT_EQ(ibMain().Picture(), original);
    EXPECT_EQ(control<QSlider>("sldBlur")->value(), 3) << "Reset shows the last-used options again";
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
    EXPECT_EQ(gudtSettings.Tasks.BlurLevel, 3) << "a task left without Confirm keeps the record as it was";

    // Finish is the way out once no task is chosen.
    click(w.editing()->cmdOK());
    ASSERT_EQ(w.editing()->cmdOK()->text(), "Finish");
    click(w.editing()->cmdOK());
    EXPECT_EQ(editing().lngEditMode(), 0);
    EXPECT_EQ(w.browse()->mnuPreview(0)->text(), "Edit/Enhance image");
    EXPECT_FALSE(w.editing()->cmdOriginalImage()->isEnabled());
}

TEST_F(MainWindowEditing, ConfirmRecordsATaskOnlyWhenItWasApplied)
{
    frmMain& w = enter(original);

    // A freshly chosen task is applied by Confirm itself, and recorded.
    choose("Flip");
    click(w.editing()->cmdOK());
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].TaskName, "flip");
    EXPECT_EQ(params(rows()[0]), QStringList{"0"});
    const QImage flipped = ibMain().Picture();
    EXPECT_EQ(flipped.pixel(59, 0), original.pixel(0, 0));
    EXPECT_EQ(w.editing()->cmdOK()->text(), "Finish");
    EXPECT_EQ(editing().workingImage().image, flipped) << "the confirmed result is the next task's base";
    EXPECT_EQ(w.editing()->lvEditPreview()->model()->rowCount(), 1);
    EXPECT_EQ(w.editing()->lvEditPreview()->model()->index(0, 0).data().toString(), "Orientation");
    EXPECT_EQ(w.editing()->lvEdit()->model()->rowCount(), 1) << "both lists show the one edit list";

    // A turn by 0 degrees counts as unchanged: confirming it applies and records nothing.
    choose("Rotate");
    EXPECT_FALSE(editing().blnOptionsChanged);
    click(w.editing()->cmdOK());
    EXPECT_EQ(rows().size(), 1u);
    EXPECT_EQ(ibMain().Picture(), flipped);

    // Switching Resize to the percentage last used (50) is a change Preview carries out.
    choose("Resize");
    EXPECT_FALSE(editing().blnOptionsChanged);
    select("optResize_1");
    click(w.editing()->cmdApply());
    EXPECT_EQ(ibMain().ImageWidth(), 30);
    click(w.editing()->cmdReset());
    EXPECT_EQ(ibMain().Picture(), flipped);

    // Options the task cannot take (pasted into a box): the message, the image as it was, nothing
    // recorded, the task still chosen.
    choose("Canvas");
    type("txtCanvasCustom_1", "5x");
    click(w.editing()->cmdApply());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(boxes.shown()[0].prompt.contains("left margin")) << boxes.shown()[0].prompt.toStdString();
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
    EXPECT_EQ(editing().workingImage().image, blurred);
    EXPECT_TRUE(shownInDialog(w.editing()->optionPanel(0)));
    EXPECT_EQ(editing().lblNothing()->text(), "No Options Available. Click 'Preview' or 'Confirm' below to continue.");
    click(w.editing()->cmdOK());
    ASSERT_EQ(rows().size(), 3u);
    EXPECT_EQ(rows()[2].TaskCode, taskInvert) << "Invert has no options and is recorded all the same";
}

TEST_F(MainWindowEditing, OriginalAsksAndLeavingTakesBackAnUnconfirmedPreview)
{
    frmMain& w = enter(original);

    choose("Flip");
    select("optFlip_1");
    click(w.editing()->cmdOK());
    EXPECT_TRUE(w.editing()->cmdOriginalImage()->isEnabled());
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
    EXPECT_EQ(editing().workingImage().image, original);
    EXPECT_FALSE(w.editing()->cmdOriginalImage()->isEnabled());

    // "Optimized": leaving keeps the edited image, without the unconfirmed preview.
    w.browse()->mnuPreviewType_Click(1);
    choose("Flip");
    EXPECT_TRUE(control("optFlip_1")->isChecked()) << "the flip confirmed last";
    click(w.editing()->cmdOK());
    choose("Blur");
    click(w.editing()->cmdApply());
    w.browse()->mnuPreview(0)->trigger(); // "Back to Explorer view"
    EXPECT_EQ(editing().lngEditMode(), 0);
    EXPECT_EQ(ibMain().Picture(), flipped);
    EXPECT_TRUE(editing().workingImage().isEmpty());

    // Coming back replays nothing on an optimized preview; with "Original" the list is replayed
    // on entering and taken off again on leaving.
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(ibMain().Picture(), flipped);
    click(w.browse()->CmdPreviewEdit());
    w.browse()->mnuPreviewType_Click(0);
    EXPECT_EQ(ibMain().Picture(), original);
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(ibMain().Picture(), flipped);
    EXPECT_EQ(editing().workingImage().image, flipped);
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(ibMain().Picture(), original);

    // A row clicked in the explorer view shows the list up to it; entering then starts from the
    // picture as loaded, so no task is applied twice (two flips would give the original back).
    clickTask(w.editing()->lvEdit(), 0);
    EXPECT_EQ(ibMain().Picture(), flipped);
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(ibMain().Picture(), flipped);
}

TEST_F(MainWindowEditing, RedEyeAndTheColourPickWorkOnThePreviewAndRedEyeRecordsNothing)
{
    QImage picture = solid(40, 30, QColor(200, 20, 20));
    picture.setPixel(5, 5, qRgb(1, 2, 3));
    frmMain& w = enter(picture, false);

    choose("Canvas");
    press("chkCropBackColor");
    emit ibMain().MouseDown(1, 0, 5, 5);
    emit ibMain().MouseUp(1, 0, 5, 5);
    EXPECT_EQ(ibMain().document().BackgroundColor(), tf::rgb(1, 2, 3)) << "a click picks the pixel under it";
    EXPECT_EQ(control<ColorButton>("picCropBackColor")->color(), tf::rgb(1, 2, 3));
    click(w.editing()->cmdOK());
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].p(1), QString::number(tf::rgb(1, 2, 3))) << "the canvas is filled with the picked colour";
    const QImage canvas = ibMain().Picture();

    choose("RedEye");
    EXPECT_FALSE(w.editing()->cmdApply()->isEnabled());
    EXPECT_FALSE(w.editing()->cmdOK()->isEnabled()) << "nothing to do before the eye is drawn round";
    press("chkRedEye");
    EXPECT_TRUE(w.editing()->cmdApply()->isEnabled());
    emit ibMain().MouseDown(1, 0, 10, 10);
    emit ibMain().MouseMove(1, 0, 20, 20);
    EXPECT_EQ(ibMain().overlayRectangles(), (std::vector<OverlayRectangle>{{10, 10, 21, 21}}));
    emit ibMain().MouseUp(1, 0, 20, 20);
    click(w.editing()->cmdApply());
    EXPECT_NE(ibMain().Picture().pixel(18, 18), canvas.pixel(18, 18));
    EXPECT_EQ(ibMain().Picture().pixel(2, 2), canvas.pixel(2, 2)) << "only inside the ellipse";
    const QImage corrected = ibMain().Picture();
    click(w.editing()->cmdOK());
    EXPECT_EQ(rows().size(), 1u) << "a red-eye correction belongs to this picture alone";
    EXPECT_EQ(editing().workingImage().image, corrected);
    EXPECT_TRUE(ibMain().overlayRectangles().empty());
}

TEST_F(MainWindowEditing, TheEditListBarsAndRowsReplayTheList)
{
    frmMain& w = enter(original);
    for (const char* key : {"Flip", "Canvas", "Flip"}) {
        choose(key);
        if (QLatin1String(key) == QLatin1String("Canvas")) margins({"0", "5", "0", "0"});
        click(w.editing()->cmdOK());
    }
    ASSERT_EQ(rows().size(), 3u);
    EXPECT_EQ(ibMain().ImageWidth(), 65);
    const QImage all = ibMain().Picture();

    // A row chosen in the visible list shows the image as edited up to that row.
    clickTask(w.editing()->lvEditPreview(), 0);
    EXPECT_EQ(ibMain().ImageWidth(), 60);
    EXPECT_EQ(ibMain().Picture().pixel(59, 0), original.pixel(0, 0));
    EXPECT_EQ(editing().workingImage().image, all) << "a row click leaves the working image alone";

    // Delete takes the chosen row out and replays the rest whole.
    click(w.cmdEditPreview(3));
    ASSERT_EQ(rows().size(), 2u);
    EXPECT_EQ(rows()[0].TaskCode, taskCanvas);
    EXPECT_EQ(ibMain().ImageWidth(), 65);
    EXPECT_EQ(ibMain().Picture().pixel(59, 0), original.pixel(0, 0)) << "the canvas grown on the left, then flipped";
    EXPECT_EQ(editing().workingImage().image, ibMain().Picture());
    click(w.cmdEditPreview(3));
    EXPECT_EQ(rows().size(), 2u) << "nothing chosen, nothing deleted";
    const QImage two = ibMain().Picture();

    // Saved to a task basket, cleared, and opened again: the whole list is back on the picture,
    // as the next task's base, whatever row was chosen before.
    TempFolder files;
    ScriptedDialogs dialogs;
    dialogs.answerFile(files.file("recipe.tbf"));
    click(w.cmdEditPreview(2));
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    click(w.cmdEditBar(0));
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(ibMain().Picture(), original);
    EXPECT_EQ(editing().workingImage().image, original);

    choose("Flip");
    click(w.editing()->cmdOK());
    w.editing()->lvEditPreview()->setCurrentIndex(w.editing()->lvEditPreview()->model()->index(0, 0));
    dialogs.answerFile(files.file("recipe.tbf"));
    click(w.cmdEditPreview(1));
    ASSERT_EQ(rows().size(), 2u);
    EXPECT_EQ(rows()[0].TaskCode, taskCanvas);
    EXPECT_EQ(ibMain().Picture(), two);
    EXPECT_EQ(editing().workingImage().image, two);
    EXPECT_FALSE(w.editing()->lvEditPreview()->selectionModel()->hasSelection());

    // A file that is no task basket: the message, and the list as it was.
    dialogs.answerFile(files.write("junk.tbf", "\"4\",\"blur\"\r\n"));
    click(w.cmdEditBar(1));
    EXPECT_EQ(boxes.prompts(), QStringList{"Error opening task basket!\r\nPlease select a valid task basket file."});
    EXPECT_EQ(rows().size(), 2u);
    EXPECT_EQ(ibMain().Picture(), two);
}

TEST_F(MainWindowEditing, TheMouseDrawsTheCropRectangleAsAnOverlayAndPreviewCropsToIt)
{
    // Shown at its own size, the program's rectangle is used.
    frmMain& w = enter(pattern(60, 40), false);
    choose("Crop");
    select("optCropSelect_0");
    press("chkCropMouse");

    emit ibMain().MouseDown(1, 0, 30, 20);
    emit ibMain().MouseMove(1, 0, 20, 25);
    emit ibMain().MouseMove(1, 0, 10, 5);
    emit ibMain().MouseUp(1, 0, 10, 5);
    EXPECT_EQ(editing().selectionTool().mode(), SelDragMode::Shown);
    EXPECT_FALSE(control<QLabel>("lblSelectRegionEnd")->text().isEmpty()) << "the panel shows the corners";
    const std::vector<OverlayRectangle> shown = ibMain().overlayRectangles();
    EXPECT_EQ(shown, editing().selectionTool().overlay()) << "the outline and the grips, drawn over the picture";
    EXPECT_NE(std::find(shown.begin(), shown.end(), OverlayRectangle{30, 20, 11, 6}), shown.end());
    EXPECT_EQ(ibMain().Picture(), pattern(60, 40)) << "never into its pixels";
    press("chkCropBackColor");
    EXPECT_TRUE(ibMain().overlayRectangles().empty()) << "picking a colour ends the rectangle, outline and all";
    control("chkCropBackColor")->click();
    press("chkCropMouse");
    emit ibMain().MouseDown(1, 0, 30, 20);
    emit ibMain().MouseMove(1, 0, 10, 5);
    emit ibMain().MouseUp(1, 0, 10, 5);

    click(w.editing()->cmdApply());
    EXPECT_EQ(ibMain().Picture(), pattern(60, 40).copy(10, 5, 20, 15));
    EXPECT_TRUE(ibMain().overlayRectangles().empty());
    click(w.editing()->cmdOK());
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(params(rows()[0]), (QStringList{"False", "10", "5", "30", "20"}));

    // A right click opens the preview's menu and leaves the tools as they were.
    choose("Crop");
    EXPECT_TRUE(control("optCropSelect_0")->isChecked()) << "crop by mouse, as confirmed last";
    press("chkCropMouse");
    emit ibMain().MouseDown(2, 0, 5, 5);
    EXPECT_EQ(QApplication::activePopupWidget(), w.browse()->mnuPreviewParent());
    w.browse()->mnuPreviewParent()->close();
    EXPECT_EQ(editing().selectionTool().mode(), SelDragMode::Armed);
    control("chkCropMouse")->click();
    emit ibMain().MouseDown(1, 0, 5, 5);
    emit ibMain().MouseUp(1, 0, 9, 9);
    EXPECT_EQ(editing().selectionTool().mode(), SelDragMode::Idle) << "unticked before drawing, the tool is put away";
    press("chkCropMouse");

    // Without a rectangle there is nothing to crop to: the user is told, the picture stays.
    const QImage before = ibMain().Picture();
    click(w.editing()->cmdApply());
    EXPECT_EQ(boxes.prompts(), QStringList{"Please select the area to crop on the preview first."});
    EXPECT_EQ(ibMain().Picture(), before);
}

TEST_F(MainWindowEditing, TheRectangleGoesWhenThePreviewShowsThePictureAtAnotherSize)
{
    frmMain& w = enter(pattern(600, 400), true);
    ASSERT_EQ(ibMain().displaySize(), QSize(600, 400)) << "shown at its own size";
    choose("Crop");
    select("optCropSelect_0");
    press("chkCropMouse");
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
    press("chkCropMouse");
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
    writeQt(logo, solid(40, 30, Qt::yellow), "png");

    const QImage large = pattern(1600, 1200);
    frmMain& w = enter(large, true);
    ASSERT_LT(ibMain().DisplayWidth(), 1600) << "the preview shows the picture scaled down";
    gudtSettings.Tasks.WatermarkImage = logo; // the logo used last
    gudtSettings.Tasks.CropMode = 0;          // by mouse

    // Crop with the control's rubber band on the scaled preview, dragged up and left.
    choose("Crop");
    press("chkCropMouse");
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
        if (QLatin1String(key) == QLatin1String("Text")) {
            control<QPlainTextEdit>("txtDraw")->setPlainText(QStringLiteral("Folio"));
            control<QComboBox>("cboPosition")->setCurrentIndex(9); // the mouse-click position
            control<QComboBox>("comboFontSize")->setEditText(QStringLiteral("40"));
            select("chkTextBold");
        }
        press("chkSelectLocation");
        emit ibMain().MouseMove(0, 0, 70, 60);
        emit ibMain().MouseUp(1, 0, 70, 60);
        click(w.editing()->cmdOK());
    }
    ASSERT_EQ(rows().size(), 3u);
    ASSERT_TRUE(boxes.shown().empty()) << boxes.prompts().join("|").toStdString();
    const QImage previewed = ibMain().Picture();
    EXPECT_NE(rgb(previewed), rgb(large.copy(previewed.rect())));

    // The replay on the fitted preview, and on a page that no window shows.
    w.editing()->lvEditPreview()->clearSelection();
    click(w.browse()->CmdPreviewEdit());
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(rgb(ibMain().Picture()), rgb(previewed));
    ImageDocument page;
    page.setPicture(large);
    BlockingCallsAllowed replaysHere; // the page's replay, on the test's thread on purpose
    ASSERT_TRUE(editing().replayer().replayAll(page).ok);
    EXPECT_EQ(rgb(page.Picture()), rgb(previewed));
}

TEST_F(MainWindowEditing, ConfirmedTasksChangeEveryWrittenPageAsThePreviewShowedIt)
{
    TempFolder pics, out;
    writeQt(pics.file("a.png"), pattern(81, 60), "png");
    writeQt(pics.file("b.png"), pattern(67, 52).mirrored(true, true), "png");
    frmMain& w = startOn(pics.path(), /*details*/ true);

    clickRow(w.browse()->lvFolder(), "a.png");
    clickRow(w.browse()->lvFolder(), "b.png", Qt::ShiftModifier);
    click(w.basket()->cmdAddToQueue());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.basket()->isAdding(); }, 30000));
    ASSERT_EQ(rowCount(w.basket()->lvPages()), 2);
    clickRow(w.basket()->lvPages(), "a");
    ASSERT_EQ(ibMain().ImageWidth(), 81);

    // A shadow fills its grown border with the colour the canvas before it left: blue.
    gudtSettings.Tasks.CanvasColor = tf::rgb(0, 0, 255);
    gudtSettings.Tasks.CanvasMargin = {4, 4, 4, 4};
    click(w.browse()->CmdPreviewEdit());
    choose("Canvas");
    click(w.editing()->cmdOK());
    choose("Shadow");
    click(w.editing()->cmdOK());
    ASSERT_EQ(rows().size(), 2u);
    std::vector<QImage> previews{rgb(ibMain().Picture())};
    EXPECT_EQ(previews[0].pixel(previews[0].width() - 1, 0), qRgb(0, 0, 255));
    click(w.browse()->CmdPreviewEdit());
    // The optimized preview shows the other page with the list replayed.
    w.browse()->mnuPreviewType_Click(1);
    clickRow(w.basket()->lvPages(), "b");
    ASSERT_EQ(ibMain().Tag().section('/', -1), "b.png");
    previews.push_back(rgb(ibMain().Picture()));
    EXPECT_GT(previews[1].width(), 67 + 8);

    for (const char* name : {"pages.tif", "pages.pdf"}) {
        ScriptedDialogs dialogs;
        dialogs.answerFile(out.file(name), 1, [](const FileDialogRequest& request) {
            auto* panel = qobject_cast<frmDialogExtension*>(request.panel);
            ASSERT_NE(panel, nullptr);
            panel->cboTIFFCompression->setCurrentIndex(0);
            panel->cboColorFormat->setCurrentIndex(0); // 24 bit
            panel->chkProcessEditingList->setChecked(true);
        });
        untilOutputEnds(w, [&] { chooseFromMenu(w.basket()->cmdSaveAs(), "mnuSaveAsParent", "Multi-page file "); });
        EXPECT_TRUE(boxes.shown().empty()) << boxes.prompts().join("|").toStdString();
    }
    EXPECT_EQ(tiffPages(out.file("pages.tif")), previews);
    runTool("pdfimages", {"-png", out.file("pages.pdf"), out.file("p")});
    EXPECT_EQ((std::vector<QImage>{rgb(QImage(out.file("p-000.png"))), rgb(QImage(out.file("p-001.png")))}), previews);
}

TEST_F(MainWindowEditing, TheBrowsePanesTaskBasketTabShowsTheTasksOfTheEditingMode)
{
    frmMain& w = enter(original);
    choose("Invert");
    click(w.editing()->cmdOK());
    click(w.browse()->CmdPreviewEdit());
    ASSERT_EQ(rows().size(), 1u);

    w.browse()->tbsBrowse()->setSelectedIndex(2);
    QListView* lvEdit = w.editing()->lvEdit();
    EXPECT_EQ(lvEdit->model(), w.editing()->lvEditPreview()->model()) << "one model behind both lists";
    ASSERT_EQ(lvEdit->model()->rowCount(), 1);
    EXPECT_EQ(lvEdit->model()->index(0, 0).data().toString(), "Negative");
    // Shown in the tab, not behind another of the pane's widgets.
    ASSERT_TRUE(lvEdit->isVisibleTo(&w));
    const QRect row = lvEdit->visualRect(lvEdit->model()->index(0, 0));
    QWidget* top = lvEdit->window()->childAt(lvEdit->viewport()->mapTo(lvEdit->window(), row.center()));
    EXPECT_TRUE(top == lvEdit->viewport() || lvEdit->isAncestorOf(top)) << (top ? top->objectName().toStdString() : "nothing");
}

namespace {
int luminance(QRgb c) { return (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000; }
} // namespace

TEST_F(MainWindowEditing, WithADarkPaletteEveryOptionTextStandsOutFromWhatIsBehindIt)
{
    const QPalette before = QApplication::palette();
    QPalette dark(QColor(48, 48, 48), QColor(32, 32, 32)); // light text on dark buttons and windows
    QApplication::setPalette(dark);
    frmMain& w = enter(pattern(400, 300));
    w.resize(1100, 760);
    for (const char* task : {"Text", "Crop", "Watermark", "Frame"}) {
        SCOPED_TRACE(task);
        choose(task);
        const QImage shot = w.grab().toImage();
        if (!qEnvironmentVariableIsEmpty("TF_DARK_SCREENSHOT") && QLatin1String(task) == QLatin1String("Text"))
            shot.save(qEnvironmentVariable("TF_DARK_SCREENSHOT"));
        // Each text shown on a panel: some of its pixels differ clearly from the colour at its corner.
        for (QWidget* c : w.editing()->picDialog()->findChildren<QWidget*>()) {
            const auto* label = qobject_cast<QLabel*>(c);
            const auto* button = qobject_cast<QAbstractButton*>(c);
            const QString text = label ? label->text() : button ? button->text() : QString();
            if (text.trimmed().isEmpty() || !c->isVisibleTo(&w) || (label && !label->pixmap().isNull())) continue;
            const QWidget* bar = w.editing()->eb();
            const QRect area = QRect(c->mapTo(&w, QPoint(0, 0)), c->size()) & QRect(bar->mapTo(&w, QPoint(0, 0)), bar->size());
            if (area.height() < c->height()) continue; // scrolled out of the bar's view
            const QRgb corner = shot.pixel(area.topLeft() + QPoint(1, 1));
            int standsOut = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    standsOut += std::abs(luminance(shot.pixel(x, y)) - luminance(corner)) > 90;
            EXPECT_GT(standsOut, 3) << c->objectName().toStdString() << " \"" << text.toStdString() << "\"";
        }
    }
    QApplication::setPalette(before);
}

TEST_F(MainWindowEditing, EditingStartsFromEveryRecordedTaskAfterARowWasChosenInTheOptimizedPreview)
{
    frmMain& w = start();
    w.browse()->mnuPreviewType_Click(1); // "Optimized"
    EditTask flip = makeEditTask(taskFlip);
    flip.setP(1, QStringLiteral("0"));
    editing().editList().setRows({flip, makeEditTask(taskInvert)});
    show(original);
    QImage all = original;
    ASSERT_TRUE(subProcessPages(all, editing().editList().tasks()).ok);

    w.browse()->tbsBrowse()->setSelectedIndex(2);
    clickTask(w.editing()->lvEdit(), 0);
    ASSERT_EQ(rgb(ibMain().Picture()), rgb(editops::Flip(original, 0))) << "the list shown up to its first row";
    click(w.browse()->CmdPreviewEdit());
    EXPECT_EQ(rgb(ibMain().Picture()), rgb(all));
    EXPECT_EQ(rgb(editing().workingImage().image), rgb(all));
}

TEST_F(MainWindowEditing, AnOptimizedPreviewWhoseWatermarkOutlastsItsDecoderHoldsTheWindowNoLonger)
{
    TempFolder pics, marks;
    writeQt(pics.file("a.png"), pattern(81, 60), "png");
    writeQt(pics.file("b.png"), pattern(67, 52), "png");
    // Any JPEG reader takes seconds on it, more than this program's decoders are given.
    const QString slow = marks.file("progressive.jpg");
    ASSERT_TRUE(QFile::copy(QStringLiteral(TF_TEST_DATA_DIR "/jpeg-progressive-700-scans.jpg"), slow));
    frmMain& w = startOn(pics.path(), /*details*/ true);
    EditTask mark = makeEditTask(taskWatermark);
    for (const auto& [index, value] : {std::pair{1, "False"}, {2, "50"}, {3, "0"}, {5, "0"}, {6, "0"}, {7, "0"}}) mark.setP(index, value);
    mark.setP(4, slow);
    editing().editList().setRows({mark});
    w.browse()->mnuPreviewType_Click(1); // "Optimized"

    ScriptedErrorReports reports;
    EventLoopGaps gaps;
    // b chosen while a is still on its way: a's replay never lands.
    ReportView* list = w.browse()->lvFolder();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row(list, "a.png")).center());
    clickRow(list, "b.png");
    EXPECT_LT(gaps.longestMs(), 2000) << "the window waited for the slow picture";
    EXPECT_EQ(ibMain().Tag().section('/', -1), "b.png");
    ASSERT_EQ(reports.reports().size(), 1u) << "one replay failed: the one of the file shown";
    EXPECT_TRUE(reports.reports()[0].text.contains("could not be read")) << reports.reports()[0].text.toStdString();
    EXPECT_EQ(ibMain().ImageWidth(), 67) << "the file is shown as the tasks before the failed one left it";
}
