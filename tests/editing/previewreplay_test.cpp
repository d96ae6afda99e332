// The Preview button draws a task on the working image exactly as the replay of the task list
// draws its row on a page: the settings rows leave behind (colours, merge and text settings) are
// carried into the preview as the replay carries them.
#include "editing/EditingController.h"
#include "editing/modProcessTasks.h"
#include "editing_testutil.h"
#include "preview_standin.h"
#include "frame/modSettings.h"
#include "platform/ui/msgbox.h"
#include "platform/sys/blockingcalls.h"

#include <QComboBox>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tf;

namespace {

// Last-used options that make every task change the picture and leave settings behind that a
// later row may use: a blue canvas, a red frame colour, a transparent watermark and mask.
void distinctiveOptions(const QString& logo)
{
    typTaskOptions& t = gudtSettings.Tasks;
    t = typTaskOptions{};
    t.FlipMode = 1;
    t.RotateDegrees = 30, t.RotateBackColor = rgb(0, 200, 0);
    t.ResizeMode = 1, t.ResizeScale = 75;
    t.BlurLevel = 2, t.SharpenLevel = 20;
    t.ContrastLevel = 80, t.ContrastRed = t.ContrastGreen = t.ContrastBlue = 1;
    t.BrightnessLevel = 30, t.BrightnessRed = 1;
    t.CropMode = 1, t.CropChoice = 1; // an ellipse by values
    t.WatermarkImage = logo, t.WatermarkMergeStyle = 1, t.WatermarkTransparency = 40;
    t.WatermarkTransparent = 1, t.WatermarkTransparentColor = rgb(255, 255, 0);
    t.Text = QStringLiteral("Folio"), t.TextPosition = 4, t.TextFontSize = 12, t.TextColor = rgb(255, 0, 255);
    t.CanvasColor = rgb(0, 0, 255), t.CanvasMargin = {3, 4, 5, 6};
    t.FrameStyle = 0, t.FramePictureIndex = 1, t.FrameResizeCanvas = 1, t.FrameColor = rgb(255, 0, 0);
    t.MaskIndex = 1, t.MaskTransparent = 1, t.MaskLevel = 30;
    t.ShadowIndex = 1;
}

class PreviewIsTheReplay : public ::testing::Test {
    // Decodes on the test's own thread on purpose: the replay is compared with the preview.
    tf::BlockingCallsAllowed m_blockingHere;
protected:
    void SetUp() override
    {
        QImage logo(16, 12, QImage::Format_RGB32);
        logo.fill(Qt::yellow);
        logo.setPixel(3, 3, qRgb(10, 20, 30));
        ASSERT_TRUE(logo.save(dir.filePath("logo.png")));
        distinctiveOptions(dir.filePath("logo.png"));
        editing.attachPreview(preview);
        // The lists the main window fills at start-up.
        auto fill = [this](const char* name, const QStringList& entries) {
            auto* combo = editing.picDialog()->findChild<QComboBox*>(QLatin1String(name));
            ASSERT_NE(combo, nullptr) << name;
            combo->addItems(entries);
        };
        fill("cboMergeStyle", {"Custom position", "Centre", "Tile", "Wrap"});
        fill("cboPosition", {"Top-Left", "Top-Centre", "Top-Right", "Centre-Left", "Centre", "Centre-Right", "Bottom-Left",
                             "Bottom-Centre", "Bottom-Right", "Mouse-Click Position"});
        fill("ComboFontFamily", {"DejaVu Sans"});
        fill("comboFontSize", {"12"});
    }
    void TearDown() override
    {
        QThreadPool::globalInstance()->waitForDone();
        gudtSettings.Tasks = typTaskOptions{};
    }
    void settle()
    {
        QSignalSpy ready(&editing, &EditingController::previewReady);
        while (editing.busy()) ASSERT_TRUE(ready.wait(20000));
    }
    void choose(const QString& key)
    {
        editing.eb_ItemClick(QStringLiteral("Special Group"), key);
        settle();
    }
    void load(const QImage& picture)
    {
        preview.load(picture);
    }
    std::vector<EditTask> rows() { return editing.editList().rows(); }

    QTemporaryDir dir;
    const QImage original = test::gradient(70, 50);
    QWidget picView, picBrowse, host;
    test::PreviewStandIn preview;
    ImageBox& box = preview.box;
    EditingController editing{EditingPanes{&picView, &picBrowse, &host}};
    ScriptedMessageBoxes boxes;
};

} // namespace

TEST_F(PreviewIsTheReplay, EveryTaskPreviewedAfterEveryOtherGivesTheReplaysPixels)
{
    for (int first = taskFlip; first <= taskShadow; ++first) {
        for (int second = taskFlip; second <= taskShadow; ++second) {
            if (first == second) continue;
            const QString a = QLatin1String(taskInfo(first)->itemKey), b = QLatin1String(taskInfo(second)->itemKey);
            SCOPED_TRACE((a + " then " + b).toStdString());
            editing.editList().clear();
            load(original);
            editing.EditModeEntering();
            settle();
            choose(a);
            editing.cmdOK_Click();
            settle();
            choose(b);
            ASSERT_TRUE(editing.cmdApply_Click()) << boxes.prompts().join("|").toStdString();
            settle();
            const QImage previewed = box.Picture();
            editing.cmdOK_Click();
            settle();
            ASSERT_TRUE(boxes.shown().empty()) << boxes.prompts().join("|").toStdString();
            ASSERT_EQ(rows().size(), 2u);

            QImage page = original;
            ASSERT_TRUE(subProcessPages(page, editing.editList().tasks()).ok);
            ASSERT_EQ(previewed, page);
        }
    }
}

TEST_F(PreviewIsTheReplay, ANewTaskIsDrawnOnTheWholeListsPictureWhateverRowTheListShows)
{
    editing.editList().setRows({test::row(taskFlip, {"0"}), test::row(taskInvert)});
    QImage all = original;
    ASSERT_TRUE(subProcessPages(all, editing.editList().tasks()).ok);
    load(original);
    editing.EditModeEntering();
    settle();
    ASSERT_EQ(editing.workingImage().image, all);

    // A row chosen in the list shows less; the next task is set up and drawn where the pages get it.
    QListView* preview = editing.lvEditPreview();
    preview->setCurrentIndex(preview->model()->index(0, 0));
    editing.lvEditPreview_ItemClick();
    settle();
    ASSERT_NE(box.Picture(), all);
    choose(QStringLiteral("Blur"));
    EXPECT_EQ(box.Picture(), all) << "the task is set up on the picture it is drawn on";
    editing.cmdApply_Click();
    settle();
    EXPECT_EQ(box.Picture(), editops::Blur(all, gudtSettings.Tasks.BlurLevel));
}
