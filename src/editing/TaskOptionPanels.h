#pragma once
// The controls of the sixteen task option panels: built into the panels the editing controller
// made, filled from and stored to the settings record's last-used task options, and read back
// as the task the user set up.
#include "editing/EditTask.h"
#include "editing/OptionControls.h"

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <array>
#include <optional>
#include <vector>

class QWidget;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QScrollBar;
class QSlider;
class QImage;

namespace tf {

namespace decode {
class DecodeFeed;
struct DecodeResult;
} // namespace decode

class TaskOptionPanels : public QObject {
    Q_OBJECT
public:
    // panels[code] is the option panel of task code 1..16 (picFlip, picRotate, ...); panels[0]
    // is picNothing. The panels' fixed combo boxes (cboMergeStyle, ComboFilter, ComboFontFamily,
    // comboFontSize, cboPosition) may already stand in them and are then used as they are.
    explicit TaskOptionPanels(const std::array<QWidget*, 17>& panels, QObject* parent = nullptr);
    ~TaskOptionPanels() override;

    // The last-used options of every task (gudtSettings.Tasks) onto the controls.
    void fillFromSettings();
    // The controls' values into gudtSettings.Tasks.
    void storeToSettings() const;
    // The task as its panel describes it now. Empty, with a message for the user, when a box
    // holds input the task cannot take.
    std::optional<EditTask> taskFromPanel(int32_t taskCode, QString* message) const;

    // ---- additions for the editing controller
    // subShowTaskOptions for one task: its panel filled from the record (every index checked),
    // and it becomes the task whose changes are reported. Fills raise no signals.
    void fillTask(int32_t taskCode);
    // Whether choosing the task marks its options changed at once (after fillTask).
    bool marksChangedAfterFill(int32_t taskCode) const;
    // subStoreTaskOptions for one confirmed task.
    void storeTask(int32_t taskCode) const;

    // The preview's image size: fills the Resize and Crop boxes, limits txtCropTop, and places
    // text on the 3 x 3 grid. The Resize ratio works from the size the image had when the task
    // was filled, so a crop confirmed earlier does not distort it.
    void setImageSize(QSize size);
    QSize imageSize() const { return m_imageSize; }
    // Whether the preview is fitted to the window (recorded with Watermark and Text).
    void setFitToWindow(bool fit) { m_fitToWindow = fit; }
    // The crop by mouse, in image pixels (recorded as left, top, x + width, y + height); an empty
    // rectangle is no selection. Cleared when a task is filled.
    void setCropRegion(const QRect& imagePixels) { m_cropRegion = imagePixels; }
    // A crop region drawn on a fitted preview is in display pixels of this box (recorded with it);
    // nullopt for image pixels.
    void setCropBox(std::optional<QSize> box) { m_cropBox = box; }
    // The watermark's custom position, in image pixels.
    void setMergePoint(QPoint imagePixels) { m_mergePoint = imagePixels; }
    // The text's mouse-click position as clicked on the preview; the origin is worked out with the
    // font size in force at Apply.
    void setTextClick(QPoint display, QSize imageSize, QSize displaySize);

    // A back colour picked from the preview: the chosen task's own (Rotate, Crop, Canvas, Frame).
    void pickBackColor(OleColor color) { setBackColor(m_task, color); }

    // subLoadMergeImage: the picture shown on the Watermark panel with its size; marks changed.
    // The picture is decoded by a decoder and shown when it arrives; a newer choice drops it.
    void subLoadMergeImage(const QString& path);
    // The merge picture chosen is still being decoded.
    bool mergePicturePending() const { return m_mergeRequest >= 0; }
    QString mergeFile() const { return m_mergeFile; }
    // The frame, mask or shadow picture chosen (shadows 8..15).
    int16_t pictureIndex() const { return m_pictureIndex; }
    int32_t currentTask() const { return m_task; }

    // The two groups several panels share; the controller places them in the option group.
    QWidget* frameBackColor() const { return m_frameBackColor; }
    QWidget* picLocation() const { return m_picLocation; }

signals:
    // The user changed an option of the task.
    void optionsChanged(int32_t taskCode);
    // subEnableApply(True) without marking the options changed (Resize/Crop choices, spinners).
    void applyEnabled(int32_t taskCode);
    // blnOptionsChanged only (chkAntiAlias).
    void optionsFlagged(int32_t taskCode);

protected:
    // The transparent-colour pick on the merge picture.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void buildFlip();
    void buildRotate();
    void buildResize();
    void buildSliderPanel(int32_t code, const char* slider, const char* label, int lo, int hi, int start,
                          const char* const* checks);
    void buildCrop();
    void buildWatermark();
    void buildText();
    void buildCanvas();
    void buildFrame();
    void buildMask();
    void buildShadow();
    void buildRedEye();
    void buildNothing();

    QWidget* panel(int32_t code) const { return m_panels[static_cast<size_t>(code)]; }
    QComboBox* fixedCombo(const char* name, int32_t ownerCode, const QStringList& entries);
    NumericBox* numericBox(QWidget* parent, const char* name, const NumericBox::Rule& rule, int32_t code);
    QScrollBar* spinner(QWidget* parent, const char* name, int lo, int hi, int start, NumericBox* box);
    QSlider* slider(QWidget* parent, const char* name, int lo, int hi, int start, const char* labelName, int32_t code);
    QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, bool ticked, int32_t code);
    QButtonGroup* options(QWidget* parent, const char* name, const QStringList& captions, bool graphical);
    ColorButton* colorButton(QWidget* parent, const char* name);

    void markChanged(int32_t code);
    void enableApply(int32_t code);
    void onResizeBox(bool width);
    void onCropSelect(int index);
    void onPosition(int index);
    void updateTextFont();
    void onSelectMerge();
    void onFrameStyle(int index);
    void onResizeMode(int index);

    std::array<QWidget*, 17> m_panels;
    bool m_filling = false;
    int32_t m_task = taskNothing;
    QSize m_imageSize;
    QSize m_ratioBase;
    bool m_fitToWindow = false;
    QRect m_cropRegion;
    std::optional<QSize> m_cropBox;
    QPoint m_mergePoint;
    QPoint m_textClick;
    QSize m_textClickImage, m_textClickDisplay;
    bool m_heightFromWidth = false, m_widthFromHeight = false;
    bool m_pickMergeColor = false;
    int16_t m_pictureIndex = 0;
    // picCropBackColor serves Rotate, Crop, Canvas and Frame, and each keeps its own colour.
    std::array<OleColor, 17> m_backColors{};
    void setBackColor(int32_t code, OleColor color);
    QString m_mergeFile;
    void takeMergePicture(int request, const decode::DecodeResult& answer);
    void showMergePicture(const QImage& picture, int32_t width, int32_t height);
    decode::DecodeFeed* m_mergeFeed = nullptr;
    int m_mergeRequest = -1; // the feed's request for the picture shown next, -1 when none

    // Controls that the fill, the store and Apply read.
    QWidget* m_frameBackColor = nullptr;
    QWidget* m_picLocation = nullptr;
    bool m_ownsShared = false;
    std::vector<QWidget*> m_ownedPanels;
    ColorButton* picCropBackColor = nullptr;
    QButtonGroup* optFlip = nullptr;
    NumericBox* txtDegrees = nullptr;
    QScrollBar* sbDegrees = nullptr;
    QCheckBox* chkRotateResample = nullptr;
    QButtonGroup* optResize = nullptr;
    QWidget* frameResize = nullptr;
    QWidget* FrameScale = nullptr;
    NumericBox* txtResizeWidth = nullptr;
    NumericBox* txtResizeHeight = nullptr;
    NumericBox* txtScale = nullptr;
    QCheckBox* chkResizeRatio = nullptr;
    QCheckBox* chkResizeResample = nullptr;
    QSlider* sldBlur = nullptr;
    QSlider* sldSharpen = nullptr;
    QSlider* sldContrast = nullptr;
    QSlider* sldBrightness = nullptr;
    std::array<QCheckBox*, 3> chkCon{};
    std::array<QCheckBox*, 3> chkBr{};
    QButtonGroup* optCropSelect = nullptr;
    QWidget* frameCropMouse = nullptr;
    QWidget* frameCropFixed = nullptr;
    QComboBox* cmbCrop = nullptr;
    NumericBox* txtCropLeft = nullptr;
    NumericBox* txtCropTop = nullptr;
    NumericBox* txtCropRight = nullptr;
    NumericBox* txtCropBot = nullptr;
    QLabel* picWatermarkImage = nullptr;
    QWidget* picWatermarkImageContainer = nullptr;
    QLabel* lblWatermarkResolution = nullptr;
    QCheckBox* chkWatermarkTransparent = nullptr;
    QWidget* picTransparentOptions = nullptr;
    ColorButton* picWatermarkTransparentColor = nullptr;
    QAbstractButton* chkWatermarkTransparentColor = nullptr;
    QComboBox* cboMergeStyle = nullptr;
    QSlider* sldWatermarkTransparency = nullptr;
    QPlainTextEdit* txtDraw = nullptr;
    QComboBox* cboPosition = nullptr;
    QWidget* picTextAlignment = nullptr;
    QWidget* picTextOrientation = nullptr;
    QWidget* picTextOrientationCustom = nullptr;
    QButtonGroup* OptTextAlignment = nullptr;
    QButtonGroup* OptTextOrientation = nullptr;
    NumericBox* txtTextAngle = nullptr;
    QScrollBar* vsbTextAngle = nullptr;
    QComboBox* ComboFontFamily = nullptr;
    QComboBox* comboFontSize = nullptr;
    QCheckBox* chkTextBold = nullptr;
    QCheckBox* chkTextItalic = nullptr;
    QCheckBox* chkTextUnderline = nullptr;
    ColorButton* cmdTextColor = nullptr;
    QCheckBox* chkTransparent = nullptr;
    ColorButton* cmdTextBackground = nullptr;
    QCheckBox* chkAntiAlias = nullptr;
    QComboBox* ComboFilter = nullptr;
    std::array<NumericBox*, 4> txtCanvasCustom{};
    QButtonGroup* OptFrameStyle = nullptr;
    QWidget* picFrameImage = nullptr;
    QWidget* picFrameColor = nullptr;
    QButtonGroup* OptFrameImage = nullptr;
    QCheckBox* chkFrameImageResizeCanvas = nullptr;
    NumericBox* txtFrameSize = nullptr;
    QScrollBar* vsFrameSize = nullptr;
    QButtonGroup* OptMask = nullptr;
    QCheckBox* chkMaskTransparent = nullptr;
    QSlider* sldMask = nullptr;
    QButtonGroup* OptShadow = nullptr;
};

} // namespace tf
