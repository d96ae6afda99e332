#include "editing/TaskOptionPanels.h"
#include "editing/modProcessTasks.h"
#include "editing_testutil.h"
#include "frame/modSettings.h"
#include "platform/ui/dialogs.h"
#include "support/testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace tf;

namespace {

class OptionPanels : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = gudtSettings;
        gudtSettings = fncDefaultSettings();
        std::array<QWidget*, 17> panels{};
        for (int code = 0; code <= taskRedEye; ++code) {
            auto* p = new QWidget(&m_dialog);
            p->setObjectName(QString::fromLatin1(taskInfo(code)->panel));
            // Invert shares picNothing; its slot gets the same panel.
            panels[size_t(code)] = code == taskInvert ? panels[0] : p;
        }
        m_panels = std::make_unique<TaskOptionPanels>(panels);
        m_panels->setImageSize({400, 300});
    }
    void TearDown() override
    {
        m_panels.reset();
        gudtSettings = m_saved;
    }

    template <class T = QWidget>
    T* find(const char* name) const
    {
        T* w = m_dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(w) << name;
        return w;
    }
    NumericBox* box(const char* name) const { return find<NumericBox>(name); }
    // The row the panel's task is recorded as (empty when the panel refuses it).
    EditTask recorded(int32_t code) const
    {
        const auto record = m_panels->taskFromPanel(code, nullptr);
        EXPECT_TRUE(record) << code;
        return record ? task::toTask(*record) : EditTask{};
    }
    // The merge picture comes from a decoder as an event.
    bool mergePictureShown() const
    {
        return QTest::qWaitFor([this] { return !m_panels->mergePicturePending(); });
    }

    static void leave(QWidget* w)
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(w, &out);
    }
    static void retype(QLineEdit* edit, const QString& keys)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        edit->selectAll();
        QTest::keyClicks(edit, keys);
    }

    QWidget m_dialog;
    std::unique_ptr<TaskOptionPanels> m_panels;
    typSettings m_saved;
};

QString writePicture(const test::TempFolder& dir, const QString& name, QColor colour, QSize size = {10, 8})
{
    const QString path = dir.file(name);
    test::solid(size.width(), size.height(), colour).save(path, "PNG");
    return path;
}

} // namespace

// Every field a panel holds goes onto its controls and comes back from them.
TEST_F(OptionPanels, EveryTaskRoundTripsThroughItsControls)
{
    test::TempFolder dir;
    auto* fonts = find<QComboBox>("ComboFontFamily");
    typTaskOptions t;
    t.ResizeMode = 1, t.ResizeKeepRatio = 0, t.ResizeResample = 1, t.ResizeScale = 75;
    t.CanvasColor = 0x00123456, t.CanvasMargin = {1, 2, 3, 4};
    t.RotateDegrees = -30, t.RotateResample = 1, t.RotateBackColor = int32_t(0x80000005u);
    t.ContrastLevel = 70, t.ContrastRed = 0, t.ContrastGreen = 1, t.ContrastBlue = 0;
    t.BrightnessLevel = 30, t.BrightnessRed = 0, t.BrightnessGreen = 0, t.BrightnessBlue = 1;
    t.BlurLevel = 7, t.SharpenLevel = 3, t.CropMode = 0, t.CropChoice = 1;
    t.Text = QStringLiteral("Zwei\nZeilen, \"é\""), t.TextTransparent = 0, t.TextBackColor = 0x0000FF;
    t.ResizeFilter = 4, t.TextPosition = 9, t.TextFontSize = 36, t.TextColor = 0x00FF00, t.TextBold = 1;
    t.TextAngle = 45, t.TextAlignment = 2, t.TextOrientation = 1, t.FlipMode = 1;
    t.TextFontIndex = int16_t(fonts->count() > 1 ? 1 : fonts->count() - 1);
    t.TextFontName = fonts->itemText(t.TextFontIndex);
    t.WatermarkTransparent = 0, t.WatermarkMergeStyle = 2, t.WatermarkTransparentColor = 0x112233;
    t.WatermarkTransparency = 80, t.WatermarkImage = writePicture(dir, "logo ü.png", Qt::blue);
    t.FrameStyle = 1, t.FrameSize = 500, t.FrameColor = 0x445566, t.FramePictureIndex = 5, t.FrameResizeCanvas = 0;
    t.MaskIndex = 6, t.MaskTransparent = 0, t.MaskLevel = 20, t.ShadowIndex = 2;
    t.TextReserved1 = 3, t.TextReserved2 = 4; // no control: the store leaves them alone

    gudtSettings.Tasks = t;
    m_panels->fillFromSettings();
    gudtSettings.Tasks = typTaskOptions{};
    gudtSettings.Tasks.TextReserved1 = 3, gudtSettings.Tasks.TextReserved2 = 4;
    m_panels->storeToSettings();
    EXPECT_EQ(gudtSettings.Tasks, t);
}

TEST_F(OptionPanels, IndexesFromTheRecordAreCheckedBeforeUse)
{
    auto& t = gudtSettings.Tasks;
    t.FlipMode = 7, t.ResizeMode = 9, t.CropChoice = 5, t.WatermarkMergeStyle = 12, t.TextPosition = 42;
    t.TextFontIndex = 30000, t.TextAlignment = 9, t.TextOrientation = 3, t.ResizeFilter = -1;
    t.FrameStyle = 4, t.FramePictureIndex = -3, t.MaskIndex = 99, t.ShadowIndex = 8;
    t.RotateDegrees = 999, t.FrameSize = 9000, t.TextAngle = -500, t.CanvasMargin = {-1, 801, 5, 0}, t.TextFontSize = 900;
    m_panels->fillFromSettings();
    m_panels->storeToSettings();

    // An index out of its list falls back to the first entry; a number out of its range to the nearest end.
    const int indexes[] = {t.FlipMode, t.ResizeMode, t.CropChoice, t.WatermarkMergeStyle, t.TextPosition, t.TextAlignment,
                           t.TextOrientation, t.ResizeFilter, t.FrameStyle, t.FramePictureIndex, t.MaskIndex, t.ShadowIndex};
    for (size_t i = 0; i < std::size(indexes); ++i) EXPECT_EQ(indexes[i], 0) << "index " << i;
    const std::pair<int, int> numbers[] = {{t.RotateDegrees, 180}, {t.FrameSize, 800},        {t.TextAngle, -180},
                                           {t.CanvasMargin[0], 0},  {t.CanvasMargin[1], 800}, {t.TextFontSize, 200}};
    for (const auto& [value, expected] : numbers) EXPECT_EQ(value, expected);
    auto* fonts = find<QComboBox>("ComboFontFamily");
    EXPECT_EQ(t.TextFontIndex, fonts->count() ? 0 : -1);
}

TEST_F(OptionPanels, FontNameIsPreferredOverItsIndex)
{
    auto* fonts = find<QComboBox>("ComboFontFamily");
    if (fonts->count() < 3) GTEST_SKIP() << "needs three installed font families";
    gudtSettings.Tasks.TextFontIndex = 0;
    gudtSettings.Tasks.TextFontName = fonts->itemText(2);
    m_panels->fillTask(taskText);
    EXPECT_EQ(fonts->currentIndex(), 2);
    gudtSettings.Tasks.TextFontIndex = 1;
    gudtSettings.Tasks.TextFontName = QStringLiteral("No Such Font Family");
    m_panels->fillTask(taskText);
    EXPECT_EQ(fonts->currentIndex(), 1);
}

TEST_F(OptionPanels, ChoosingATaskShowsItsPanelStateAndWhetherItIsChangedAtOnce)
{
    QSignalSpy changed(m_panels.get(), &TaskOptionPanels::optionsChanged);
    m_panels->fillFromSettings();
    EXPECT_EQ(changed.count(), 0) << "filling is not a change by the user";

    m_panels->fillTask(taskText); // the defaults
    EXPECT_TRUE(find<QWidget>("cmdTextBackground")->isHidden());
    EXPECT_TRUE(m_panels->marksChangedAfterFill(taskText));

    m_panels->setImageSize({640, 480});
    m_panels->fillTask(taskResize);
    EXPECT_EQ(box("txtResizeWidth")->text(), "640");
    EXPECT_EQ(box("txtResizeHeight")->text(), "480");
    EXPECT_FALSE(m_panels->marksChangedAfterFill(taskResize));

    // What is set before the task is chosen, the task, whether choosing it marks the options changed.
    const std::tuple<const char*, std::function<void(typTaskOptions&)>, int32_t, bool> cases[] = {
        {"rotate 0", [](typTaskOptions& t) { t.RotateDegrees = 0; }, taskRotate, false},
        {"rotate 30", [](typTaskOptions& t) { t.RotateDegrees = 30; }, taskRotate, true},
        {"scale 100", [](typTaskOptions& t) { t.ResizeMode = 1, t.ResizeScale = 100; }, taskResize, false},
        {"scale 50", [](typTaskOptions& t) { t.ResizeMode = 1, t.ResizeScale = 50; }, taskResize, true},
        {"watermark file gone", [](typTaskOptions& t) { t.WatermarkImage = "/nonexistent/logo.png"; }, taskWatermark, false},
        {"text empty", [](typTaskOptions& t) { t.Text.clear(); }, taskText, false},
        {"nothing", [](typTaskOptions&) {}, taskNothing, false},
        {"red-eye", [](typTaskOptions&) {}, taskRedEye, false},
        {"invert", [](typTaskOptions&) {}, taskInvert, true},
        {"blur", [](typTaskOptions&) {}, taskBlur, true},
    };
    for (const auto& [name, set, code, marks] : cases) {
        gudtSettings.Tasks = fncDefaultSettings().Tasks;
        set(gudtSettings.Tasks);
        m_panels->fillTask(code);
        EXPECT_EQ(m_panels->marksChangedAfterFill(code), marks) << name;
    }
    EXPECT_TRUE(find<QLabel>("picWatermarkImage")->pixmap().isNull());

    gudtSettings.Tasks.ShadowIndex = 2;
    m_panels->fillTask(taskShadow);
    EXPECT_EQ(m_panels->pictureIndex(), 10);
    EXPECT_EQ(changed.count(), 0);
}

// The numeric boxes as a user types into them and leaves them.
TEST_F(OptionPanels, NumericBoxInputRules)
{
    m_panels->fillTask(taskRotate);
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = { // box, keys, shown, shown when left
        {"txtDegrees", "200", "200", "180"},
        {"txtDegrees", "-", "-", "180"},
        {"txtDegrees", "-180", "-180", "-180"},
        {"txtDegrees", "a1.b", "1", "1"},
        {"txtDegrees", "12345", "1234", "180"},
        {"txtTextAngle", "-45", "-45", "-45"},
        {"txtFrameSize", "-5", "5", "5"},
        {"txtFrameSize", "9000", "900", "800"},
        {"txtCanvasCustom_0", "-900", "900", "800"},
        {"txtCropTop", "500", "500", "300"},
        {"txtCropLeft", "500", "500", "500"},
        {"txtScale", "1x5", "15", "15"},
        {"txtResizeWidth", "7-", "7", "7"},
    };
    for (const auto& [name, keys, typed, left] : cases) {
        SCOPED_TRACE(std::string(name) + " <- " + keys);
        NumericBox* b = box(name);
        b->setText(QStringLiteral("1"));
        b->selectAll();
        QTest::keyClicks(b, QString::fromLatin1(keys));
        EXPECT_EQ(b->text(), typed);
        leave(b);
        EXPECT_EQ(b->text(), left);
    }
    // Spinners follow a box that was left, and write their own value whole.
    EXPECT_EQ(find<QScrollBar>("vsFrameSize")->value(), 800);
    EXPECT_EQ(find<QScrollBar>("vsbTextAngle")->value(), -45);
    find<QScrollBar>("sbDegrees")->setValue(-180);
    EXPECT_EQ(box("txtDegrees")->text(), "-180");

    // Emptied boxes show their default, selected so that typing replaces it.
    for (const auto& [name, expected] : {std::pair{"txtDegrees", "45"}, std::pair{"txtCanvasCustom_2", "0"}}) {
        NumericBox* b = box(name);
        b->selectAll();
        QTest::keyClick(b, Qt::Key_Backspace);
        EXPECT_EQ(b->text(), expected) << name;
        EXPECT_EQ(b->selectedText(), expected) << name;
    }
}

TEST_F(OptionPanels, RetainRatioCouplesWidthAndHeight)
{
    gudtSettings.Tasks.ResizeKeepRatio = 1;
    m_panels->fillTask(taskResize); // the image is 400 x 300
    auto* w = box("txtResizeWidth");
    auto* h = box("txtResizeHeight");
    retype(w, "200");
    EXPECT_EQ(h->text(), "150");
    retype(w, "301");
    EXPECT_EQ(h->text(), "226"); // 225.75
    retype(h, "3");
    EXPECT_EQ(w->text(), "4");
    find<QCheckBox>("chkResizeRatio")->setChecked(false);
    retype(w, "50");
    EXPECT_EQ(h->text(), "3");

    // A picture of no height gives no ratio: the other box stays.
    m_panels->setImageSize({400, 0});
    find<QCheckBox>("chkResizeRatio")->setChecked(true);
    m_panels->fillTask(taskResize);
    retype(box("txtResizeWidth"), "80");
    EXPECT_EQ(box("txtResizeHeight")->text(), "0");
}

TEST_F(OptionPanels, WhichChangesMarkTheOptionsChanged)
{
    test::TempFolder dir;
    gudtSettings.Tasks.WatermarkImage = writePicture(dir, "logo.png", Qt::green);
    m_panels->fillFromSettings();
    ScriptedDialogs dialogs;
    QSignalSpy changed(m_panels.get(), &TaskOptionPanels::optionsChanged);
    QSignalSpy enabled(m_panels.get(), &TaskOptionPanels::applyEnabled);
    QSignalSpy flagged(m_panels.get(), &TaskOptionPanels::optionsFlagged);
    auto counts = [&] { return std::tuple{int(changed.count()), int(enabled.count()), int(flagged.count())}; };
    auto reset = [&] { changed.clear(), enabled.clear(), flagged.clear(); };

    // What the user does; how often the options are then marked changed, only Apply enabled, only flagged.
    const std::tuple<const char*, std::function<void()>, std::tuple<int, int, int>> cases[] = {
        {"Scale chosen", [&] { find<QRadioButton>("optResize_1")->click(); }, {0, 1, 0}},
        {"Key-in chosen", [&] { find<QRadioButton>("optCropSelect_0")->click(); find<QRadioButton>("optCropSelect_1")->click(); }, {1, 2, 0}},
        {"Ellipse chosen", [&] { find<QComboBox>("cmbCrop")->setCurrentIndex(1); }, {0, 1, 0}},
        {"anti-alias", [&] { find<QCheckBox>("chkAntiAlias")->click(); }, {0, 0, 1}},
        {"a slider", [&] { find<QSlider>("sldBlur")->setValue(5); }, {1, 0, 0}},
        {"colour cancelled", [&] { dialogs.cancelColor(); find<QAbstractButton>("cmdTextColor")->click(); }, {0, 0, 0}},
        {"colour chosen", [&] { dialogs.answerColor(QColor(1, 2, 3)); find<QAbstractButton>("picCropBackColor")->click(); }, {1, 0, 0}},
        {"merge dialog cancelled", [&] { dialogs.cancelFile(); find<QPushButton>("cmdSelectMerge")->click(); }, {1, 0, 0}},
        {"-45 pressed", [&] { find<QPushButton>("cmdAngle_3")->click(); }, {1, 1, 0}},
        {"-45 pressed again", [&] { find<QPushButton>("cmdAngle_3")->click(); }, {0, 0, 0}},
        {"shadow 3", [&] { find<QAbstractButton>("OptShadow_2")->click(); }, {1, 0, 0}},
    };
    for (const auto& [what, act, expected] : cases) {
        reset();
        act();
        EXPECT_EQ(counts(), expected) << what;
    }
    EXPECT_EQ(box("txtCropRight")->text(), "400");
    EXPECT_EQ(box("txtCropBot")->text(), "300");
    EXPECT_EQ(gudtSettings.Tasks.CropMode, 1) << "the crop choice is kept at once";
    EXPECT_FALSE(find<QWidget>("FrameScale")->isHidden());
    EXPECT_TRUE(find<QWidget>("frameResize")->isHidden());
    EXPECT_EQ(m_panels->frameBackColor()->isHidden(), false);
    EXPECT_EQ(find<ColorButton>("picCropBackColor")->color(), rgb(1, 2, 3));
    ASSERT_TRUE(mergePictureShown());
    EXPECT_EQ(find<QLabel>("lblWatermarkResolution")->text(), "10 x 8");
    EXPECT_EQ(m_panels->pictureIndex(), 10);
}

TEST_F(OptionPanels, TransparentColourIsPickedFromTheMergePicture)
{
    test::TempFolder dir;
    gudtSettings.Tasks.WatermarkImage = writePicture(dir, "red.png", Qt::red, {120, 90});
    m_panels->fillTask(taskWatermark);
    ASSERT_TRUE(mergePictureShown());
    auto* picture = find<QLabel>("picWatermarkImage");
    auto* colour = find<ColorButton>("picWatermarkTransparentColor");
    auto* pick = find<QAbstractButton>("chkWatermarkTransparentColor");
    QSignalSpy changed(m_panels.get(), &TaskOptionPanels::optionsChanged);
    const int32_t before = colour->color();

    QTest::mouseMove(picture, {5, 5}); // not picking yet
    EXPECT_EQ(colour->color(), before);
    pick->click();
    QMouseEvent outside(QEvent::MouseMove, QPointF(500, 500), QPointF(500, 500), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(picture, &outside);
    EXPECT_EQ(colour->color(), before);
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(picture, &move);
    EXPECT_EQ(colour->color(), rgb(255, 0, 0));
    QTest::mouseRelease(picture, Qt::LeftButton, {}, {5, 5});
    EXPECT_FALSE(pick->isChecked());
    colour->setColor(0);
    QApplication::sendEvent(picture, &move);
    EXPECT_EQ(colour->color(), 0) << "the pick ended with the release";
    EXPECT_EQ(changed.count(), 0);
}

// What Apply records is what the replay reads: every task from its default panel replays cleanly.
TEST_F(OptionPanels, PanelsRecordTheReplaysEncodings)
{
    // That every panel's task replays is shown where the Preview button is checked against the replay.
    m_panels->fillFromSettings();
    // A few recorded values, in the replay's encodings.
    m_panels->fillTask(taskCrop); // key-in, the whole picture
    EXPECT_EQ(recorded(taskCrop).Params,
              (std::array<QString, 17>{"True", "0", "0", "0", "400", "300"}));
    find<QRadioButton>("optCropSelect_0")->click();
    m_panels->setCropRegion(QRect(10, 20, 100, 50));
    EXPECT_EQ(recorded(taskCrop).Params,
              (std::array<QString, 17>{"False", "10", "20", "110", "70"}));
    m_panels->fillTask(taskCanvas);
    box("txtCanvasCustom_1")->setText("7"); // left
    EXPECT_EQ(recorded(taskCanvas).Params,
              (std::array<QString, 17>{"-2147483634", "7", "10", "10", "10"}));
    gudtSettings.Tasks.TextOrientation = 1;
    m_panels->fillTask(taskText);
    const EditTask text = recorded(taskText);
    EXPECT_EQ(text.p(4), "-90");
    EXPECT_EQ(text.p(13), "1");
    EXPECT_EQ(text.p(15), "Sample");
}

TEST_F(OptionPanels, InvalidInputIsRefusedWithAMessage)
{
    m_panels->fillFromSettings();
    const std::tuple<const char*, int32_t, std::function<void()>> cases[] = {
        {"angle pasted as text", taskRotate, [&] { box("txtDegrees")->setText("abc"); }},
        {"angle typed but not left", taskRotate, [&] { box("txtDegrees")->setText("200"); }},
        {"zero width", taskResize, [&] { find<QRadioButton>("optResize_0")->click(); box("txtResizeWidth")->setText("0"); }},
        {"empty scale", taskResize, [&] { find<QRadioButton>("optResize_1")->click(); box("txtScale")->setText(""); }},
        {"right left of left", taskCrop, [&] { find<QRadioButton>("optCropSelect_1")->click(); box("txtCropLeft")->setText("400"); }},
        {"crop by mouse with no selection", taskCrop, [&] { find<QRadioButton>("optCropSelect_0")->click(); }},
        {"font size 0", taskText, [&] { find<QComboBox>("comboFontSize")->setEditText("0"); }},
        {"canvas margin not left", taskCanvas, [&] { box("txtCanvasCustom_3")->setText("900"); }},
        {"frame width pasted", taskFrame, [&] { find<QRadioButton>("OptFrameStyle_1")->click(); box("txtFrameSize")->setText("x"); }},
        {"no merge picture", taskWatermark, [&] { m_panels->subLoadMergeImage(QString()); }},
    };
    for (const auto& [what, code, set] : cases) {
        m_panels->fillTask(code);
        set();
        QString why;
        EXPECT_FALSE(m_panels->taskFromPanel(code, &why)) << what;
        EXPECT_FALSE(why.isEmpty()) << what;
    }
}

TEST_F(OptionPanels, AMergePictureThatHangsItsDecoderHoldsNothingAndTheNewerChoiceIsShown)
{
    test::TempFolder dir;
    const QString hang = dir.file("devil-pnm-hang.pbm");
    ASSERT_TRUE(QFile::copy(QStringLiteral(TF_LOADER_REGRESSION_DIR "/devil-pnm-hang.pbm"), hang));
    const QString logo = writePicture(dir, "logo.png", Qt::yellow, {30, 20});
    m_panels->fillTask(taskWatermark);
    ScriptedDialogs dialogs;
    test::EventLoopGaps gaps;
    dialogs.answerFile(hang);
    find<QPushButton>("cmdSelectMerge")->click();
    EXPECT_TRUE(m_panels->mergePicturePending());
    EXPECT_EQ(recorded(taskWatermark).p(4), hang) << "chosen at once, shown when decoded";
    QTest::qWait(500); // the decoder hangs on it meanwhile
    EXPECT_TRUE(m_panels->mergePicturePending());

    dialogs.answerFile(logo);
    find<QPushButton>("cmdSelectMerge")->click();
    ASSERT_TRUE(mergePictureShown());
    // Waiting for the hung decoder would cost its whole limit of ten seconds.
    EXPECT_LT(gaps.longestMs(), 5000);
    EXPECT_EQ(find<QLabel>("lblWatermarkResolution")->text(), "30 x 20");
    const QImage shown = find<QLabel>("picWatermarkImage")->pixmap().toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::yellow));
    EXPECT_EQ(recorded(taskWatermark).p(4), logo);
}

TEST_F(OptionPanels, ChosenMergePictureIsKeptAtOnceAndShownWithItsSize)
{
    test::TempFolder dir;
    const QString logo = writePicture(dir, "Logo Ä.PNG", Qt::yellow, {30, 20});
    m_panels->fillTask(taskWatermark);
    ScriptedDialogs dialogs;
    dialogs.answerFile(logo);
    find<QPushButton>("cmdSelectMerge")->click();
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    EXPECT_EQ(dialogs.fileRequests()[0].title, "Load Image for Merging");
    EXPECT_TRUE(dialogs.fileRequests()[0].filter.startsWith("All Image Files|*.bmp;*.jpg;"));
    EXPECT_EQ(gudtSettings.Tasks.WatermarkImage, logo) << "kept before any Confirm";
    EXPECT_TRUE(m_panels->mergePicturePending()) << "the picture is decoded off the window's thread";
    ASSERT_TRUE(mergePictureShown());
    EXPECT_EQ(find<QLabel>("lblWatermarkResolution")->text(), "30 x 20");
    EXPECT_EQ(recorded(taskWatermark).p(4), logo);

    QFile::remove(logo);
    QString why;
    EXPECT_FALSE(m_panels->taskFromPanel(taskWatermark, &why));
    EXPECT_TRUE(why.startsWith("The last watermark image/logo file has either moved, renamed or deleted."));
}

// The switches that show and hide parts of the panels.
TEST_F(OptionPanels, SwitchesShowAndHideTheirParts)
{
    m_panels->fillFromSettings();
    // What is done on which panel; the widgets then shown (true) or hidden.
    const std::tuple<const char*, int32_t, std::function<void()>, std::vector<std::pair<const char*, bool>>> cases[] = {
        {"opaque text background", taskText, [&] { find<QCheckBox>("chkTransparent")->setChecked(false); },
         {{"cmdTextBackground", true}}},
        {"mouse-click position", taskText, [&] { find<QComboBox>("cboPosition")->setCurrentIndex(9); },
         {{"picTextOrientationCustom", true}, {"picLocation", true}, {"picTextOrientation", false}, {"picTextAlignment", false}}},
        {"grid position, vertical", taskText,
         [&] { find<QAbstractButton>("OptTextOrientation_1")->click(); find<QComboBox>("cboPosition")->setCurrentIndex(4); },
         {{"picTextOrientationCustom", false}, {"picLocation", false}, {"picTextOrientation", true}, {"picTextAlignment", false}}},
        {"watermark without transparency", taskWatermark, [&] { find<QCheckBox>("chkWatermarkTransparent")->setChecked(false); },
         {{"picTransparentOptions", false}}},
        {"watermark centred", taskWatermark, [&] { find<QComboBox>("cboMergeStyle")->setCurrentIndex(1); }, {{"picLocation", false}}},
        {"watermark custom position", taskWatermark, [&] { find<QComboBox>("cboMergeStyle")->setCurrentIndex(0); }, {{"picLocation", true}}},
        {"colour frame", taskFrame, [&] { find<QRadioButton>("OptFrameStyle_1")->click(); },
         {{"picFrameColor", true}, {"picFrameImage", false}, {"FrameBackColor", true}}},
        {"picture frame", taskFrame, [&] { find<QRadioButton>("OptFrameStyle_0")->click(); },
         {{"picFrameColor", false}, {"picFrameImage", true}, {"FrameBackColor", false}}},
        {"crop by mouse", taskCrop, [&] { find<QRadioButton>("optCropSelect_0")->click(); },
         {{"frameCropMouse", true}, {"frameCropFixed", false}}},
        {"rotate shows the back colour", taskRotate, [] {}, {{"FrameBackColor", true}}},
        {"blur hides it", taskBlur, [] {}, {{"FrameBackColor", false}, {"picLocation", false}}},
    };
    for (const auto& [what, task, act, shown] : cases) {
        m_panels->fillTask(task);
        act();
        for (const auto& [name, visible] : shown) EXPECT_EQ(find<QWidget>(name)->isHidden(), !visible) << what << ": " << name;
    }
}

TEST_F(OptionPanels, FocusPutsTheCaretAtTheEndAndTheFontSizeBoxKeepsItsRules)
{
    NumericBox* b = box("txtDegrees");
    b->setText("123");
    b->selectAll();
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(b, &in);
    EXPECT_TRUE(b->selectedText().isEmpty());
    EXPECT_EQ(b->cursorPosition(), 3);

    m_panels->fillTask(taskText);
    QLineEdit* size = find<QComboBox>("comboFontSize")->lineEdit();
    retype(size, "2x5");
    EXPECT_EQ(size->text(), "25");
    retype(size, "999");
    leave(size);
    EXPECT_EQ(size->text(), "200");
    size->selectAll();
    QTest::keyClick(size, Qt::Key_Backspace);
    EXPECT_EQ(size->text(), "0");
}
