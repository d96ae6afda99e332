#pragma once
// The controls of the sixteen task option panels, built into the panels the editing controller
// made. What a panel's controls mean (filled from and stored to the settings record's last-used
// task options, read back as the task the user set up) is its task kind's, under tasks/.
#include "editing/EditTask.h"
#include "editing/OptionControls.h"
#include "editing/TaskRecords.h"

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
    // Who fills the panels' fixed lists (cboMergeStyle, ComboFilter, ComboFontFamily, comboFontSize,
    // cboPosition): the panels themselves, or the main window at start-up (they are made empty).
    enum class Lists { Own, FilledByWindow };
    // panels[code] is the option panel of task code 1..16 (picFlip, picRotate, ...); panels[0]
    // is picNothing (Invert shows it too). A fixed list that already stands in a panel is used as it is.
    explicit TaskOptionPanels(const std::array<QWidget*, 17>& panels, Lists lists = Lists::Own, QObject* parent = nullptr);
    ~TaskOptionPanels() override;

    // The last-used options of every task (gudtSettings.Tasks) onto the controls.
    void fillFromSettings();
    // The controls' values into gudtSettings.Tasks.
    void storeToSettings() const;
    // The task as its panel describes it now. Empty, with a message for the user, when a box
    // holds input the task cannot take (or the code is no task that is recorded).
    std::optional<task::Record> taskFromPanel(int32_t taskCode, QString* message) const;

    // ---- additions for the editing controller
    // subShowTaskOptions for one task: its panel filled from the record (every index checked),
    // and it becomes the task whose changes are reported. Fills raise no signals.
    void fillTask(int32_t taskCode);
    // Whether choosing the task marks its options changed at once (after fillTask).
    bool marksChangedAfterFill(int32_t taskCode) const;
    // subStoreTaskOptions for one confirmed task.
    void storeTask(int32_t taskCode) const;
    // Whether the switch of the task's way of working just reported (applyEnabled) makes Preview
    // change a picture of `picture`: resizing by size or by percentage does when the other way
    // gives another size. Other tasks say no.
    bool switchChangesPicture(int32_t taskCode, QSize picture) const;

    // The preview's image size: fills the Resize and Crop boxes, limits txtCropTop, and places
    // text on the 3 x 3 grid. The Resize ratio works from the size the image had when the task
    // was filled, so a crop confirmed earlier does not distort it.
    void setImageSize(QSize size);
    QSize imageSize() const { return m_shared.imageSize; }
    // Whether the preview is fitted to the window (recorded with Watermark and Text).
    void setFitToWindow(bool fit) { m_shared.fitToWindow = fit; }
    // The crop by mouse, in image pixels (recorded as left, top, x + width, y + height); an empty
    // rectangle is no selection. Cleared when a task is filled.
    void setCropRegion(const QRect& imagePixels) { m_shared.cropRegion = imagePixels; }
    // A crop region drawn on a fitted preview is in display pixels of this box (recorded with it);
    // nullopt for image pixels.
    void setCropBox(std::optional<QSize> box) { m_shared.cropBox = box; }
    // The watermark's custom position, in image pixels.
    void setMergePoint(QPoint imagePixels) { m_shared.mergePoint = imagePixels; }
    // The text's mouse-click position as clicked on the preview; the origin is worked out with the
    // font size in force at Apply.
    void setTextClick(QPoint display, QSize imageSize, QSize displaySize);

    // A back colour picked from the preview: the chosen task's own (Rotate, Crop, Canvas, Frame).
    void pickBackColor(OleColor color) { m_shared.setBackColor(m_task, color); }

    // subLoadMergeImage: the picture shown on the Watermark panel with its size; marks changed.
    // The picture is decoded by a decoder and shown when it arrives; a newer choice drops it.
    void subLoadMergeImage(const QString& path);
    // The merge picture chosen is still being decoded.
    bool mergePicturePending() const { return m_mergeRequest >= 0; }
    QString mergeFile() const { return m_shared.mergeFile; }
    // The frame, mask or shadow picture chosen (shadows 8..15).
    int16_t pictureIndex() const { return m_shared.pictureIndex; }
    int32_t currentTask() const { return m_task; }

    // The two groups several panels share; the controller places them in the option group.
    QWidget* frameBackColor() const { return m_shared.frameBackColor; }
    QWidget* picLocation() const { return m_shared.picLocation; }

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
    void build(Lists lists);
    void buildFlip();
    void buildRotate();
    void buildResize();
    QSlider* buildSliderPanel(int32_t code, const char* slider, const char* label, int lo, int hi, int start,
                              const char* const* checks, std::array<QCheckBox*, 3>* boxes);
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
    void onSelectMerge();
    void onFrameStyle(int index);
    void onResizeMode(int index);

    template <class K>
    typename K::Controls& controls() { return std::get<typename K::Controls>(m_controls); }
    template <class K>
    const typename K::Controls& controls() const { return std::get<typename K::Controls>(m_controls); }

    std::array<QWidget*, 17> m_panels;
    bool m_filling = false;
    int32_t m_task = taskNothing;
    bool m_heightFromWidth = false, m_widthFromHeight = false;
    bool m_pickMergeColor = false;
    void takeMergePicture(int request, const decode::DecodeResult& answer);
    void showMergePicture(const QImage& picture, int32_t width, int32_t height);
    decode::DecodeFeed* m_mergeFeed = nullptr;
    int m_mergeRequest = -1; // the feed's request for the picture shown next, -1 when none

    bool m_ownsShared = false;
    std::vector<QWidget*> m_ownedPanels;
    // Every kind's controls, and what the panels share.
    task::PanelControls m_controls;
    task::PanelShared m_shared;
};

} // namespace tf
