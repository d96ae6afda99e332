// The editing controller hands Preview, Confirm and the task-list replays to workers: results land
// later, only the newest counts, and a Confirm waits for the preview it confirms.
#include "editing/EditingController.h"
#include "editing/ImageOperations.h"
#include "editing_testutil.h"
#include "preview_standin.h"
#include "frame/modSettings.h"
#include "platform/ui/msgbox.h"

#include <QAbstractButton>
#include <QFile>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tf;
using namespace tf::editops;

namespace {

class EditingWork : public ::testing::Test {
protected:
    void SetUp() override
    {
        preview.load(original);
        editing.attachPreview(preview);
    }
    void TearDown() override
    {
        drain();
    }
    void choose(const char* key) { editing.eb_ItemClick(QStringLiteral("Special Group"), QLatin1String(key)); }
    void blurLevel(int level) { editing.picDialog()->findChild<QSlider*>(QStringLiteral("sldBlur"))->setValue(level); }
    void settle()
    {
        QSignalSpy ready(&editing, &EditingController::previewReady);
        while (editing.busy()) ASSERT_TRUE(ready.wait(20000));
    }
    // Every worker done and its answer handled, superseded ones included.
    static void drain()
    {
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
    }
    QImage shown() const { return box.Picture(); }
    std::vector<EditTask> rows() { return editing.editList().rows(); }

    const QImage original = test::gradient(300, 200);
    QWidget picView, picBrowse, host;
    test::PreviewStandIn preview;
    ImageBox& box = preview.box;
    EditingController editing{EditingPanes{&picView, &picBrowse, &host}};
    ScriptedMessageBoxes boxes;
};

} // namespace

TEST_F(EditingWork, APreviewLandsLaterAndOnlyTheNewestRequestCounts)
{
    editing.EditModeEntering();
    choose("Blur");
    QSignalSpy ready(&editing, &EditingController::previewReady);
    for (const int level : {2, 5}) {
        blurLevel(level);
        ASSERT_TRUE(editing.cmdApply_Click());
        EXPECT_EQ(shown(), original) << "nothing waits for the operation";
    }
    settle();
    drain();
    EXPECT_EQ(shown(), Blur(original, 5));
    EXPECT_EQ(ready.count(), 1) << "the first preview's result was dropped";

    // Reset takes back a preview still computing; a result for a picture no longer shown is dropped.
    blurLevel(3);
    editing.cmdApply_Click();
    editing.cmdReset_Click();
    drain();
    EXPECT_EQ(shown(), original);
    EXPECT_TRUE(editing.cmdApply()->isEnabled()) << "the options wait to be previewed again";
    editing.cmdApply_Click();
    box.setPicture(test::gradient(40, 30));
    settle();
    EXPECT_EQ(shown(), test::gradient(40, 30));
}

TEST_F(EditingWork, ConfirmRecordsThePreviewStillComputingAndATaskChosenMeanwhileFollows)
{
    const std::pair<int, int> cases[] = {{4, 4}, {2, 6}}; // previewed, then confirmed (options changed)
    for (const auto& [previewed, confirmed] : cases) {
        SCOPED_TRACE(confirmed);
        editing.editList().clear();
        box.setPicture(original);
        editing.EditModeEntering();
        choose("Blur");
        blurLevel(previewed);
        editing.cmdApply_Click();
        blurLevel(confirmed);
        editing.cmdOK_Click();
        EXPECT_TRUE(rows().empty()) << "recorded once the picture is there";
        choose("Flip");
        settle();
        ASSERT_EQ(rows().size(), 1u);
        EXPECT_EQ(rows()[0].p(1), QString::number(confirmed));
        EXPECT_EQ(shown(), Blur(original, confirmed));
        EXPECT_EQ(editing.workingImage().image, shown());
        EXPECT_EQ(editing.gudtEditTask().TaskCode, taskFlip);
    }
}

TEST_F(EditingWork, ATaskThatFailsOnTheWorkerGivesItsMessageAndChangesNothing)
{
    QTemporaryDir dir;
    QFile junk(dir.filePath("logo.png"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("not a picture") > 0);
    junk.close();
    gudtSettings.Tasks.WatermarkImage = junk.fileName();
    editing.EditModeEntering();
    for (const bool confirm : {false, true}) {
        SCOPED_TRACE(confirm ? "Confirm" : "Preview");
        boxes.clear();
        choose("Watermark");
        if (confirm) editing.cmdOK_Click();
        else EXPECT_TRUE(editing.cmdApply_Click()) << "the options make a task";
        settle();
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(boxes.shown()[0].prompt.contains("could not be read")) << boxes.shown()[0].prompt.toStdString();
        EXPECT_EQ(shown(), original);
        EXPECT_TRUE(rows().empty());
        EXPECT_FALSE(editing.blnImageModified);
        EXPECT_TRUE(editing.cmdApply()->isEnabled());
        EXPECT_EQ(editing.cmdOK()->text(), "Confirm");
    }
}

TEST_F(EditingWork, ReplaysLandLaterTheNewestWinsAndAPreviewWaitsForTheReplay)
{
    editing.editList().setRows({test::row(taskFlip, {"0"}), test::row(taskBlur, {"3"}), test::row(taskInvert)});
    const QImage all = Invert(Blur(Flip(original, 0), 3));

    // Entering replays the whole list; Invert previewed meanwhile starts from what it makes.
    editing.EditModeEntering();
    EXPECT_EQ(shown(), original);
    choose("Invert");
    editing.cmdApply_Click();
    settle();
    EXPECT_EQ(editing.workingImage().image, all);
    EXPECT_EQ(shown(), Invert(all));

    // A row clicked, then another before the first replay is shown: the later row's picture.
    boxes.answerNext(vbNo); // the Invert preview is not confirmed
    choose("Nothing");
    QListView* list = editing.lvEditPreview();
    for (const int r : {2, 0}) {
        list->setCurrentIndex(list->model()->index(r, 0));
        editing.lvEditPreview_ItemClick();
    }
    EXPECT_EQ(shown(), all);
    settle();
    drain();
    EXPECT_EQ(shown(), Flip(original, 0));
}

TEST_F(EditingWork, ResetTakesAwayADrawnCropRectangle)
{
    gudtSettings.Tasks.CropMode = 0; // by mouse
    box.setFitToWindow(false);
    editing.EditModeEntering();
    choose("Crop");
    auto* mouse = editing.picDialog()->findChild<QAbstractButton*>(QStringLiteral("chkCropMouse"));
    ASSERT_NE(mouse, nullptr);
    mouse->click();
    editing.ibMain_MouseDown(1, 0, 30, 20);
    editing.ibMain_MouseMove(1, 0, 10, 5);
    editing.ibMain_MouseUp(1, 0, 10, 5);
    ASSERT_EQ(editing.selectionTool().mode(), SelDragMode::Shown);
    ASSERT_FALSE(box.overlayRectangles().empty());

    editing.cmdReset_Click();
    EXPECT_EQ(editing.selectionTool().mode(), SelDragMode::Idle);
    EXPECT_TRUE(box.overlayRectangles().empty());
    editing.subEnableApply(true);
    editing.blnOptionsChanged = true;
    EXPECT_FALSE(editing.cmdApply_Click()) << "nothing left to crop to";
    EXPECT_EQ(boxes.prompts(), QStringList{"Please select the area to crop on the preview first."});
}
