#pragma once
// The editing mode of the main window: the explorer bar with the task chart, the option panels of
// the sixteen tasks with Preview, Confirm, Reset and Original, the two visible edit lists over the
// edit list model and their bars, the mouse tools on the preview, and the replay handed to the
// preview and the page writers. The controller builds and owns these widgets (each named as
// before); the window places them and switches the panes.
#include "browse/BrowseServices.h"
#include "browse/EditedPreview.h"
#include "controls/explorerbar/ExplorerBar.h"
#include "editing/EditListModel.h"
#include "editing/EditListReplayer.h"
#include "editing/EditTask.h"
#include "frame/LatestWork.h"
#include "editing/SelectionTool.h"
#include "platform/imagebox/imagebox.h"

#include <QLabel>
#include <QListView>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace tf {

class ImageList;
class TaskOptionPanels;

struct EditingPanes {
    QWidget* picView = nullptr;   // the explorer bar eb stands here while editing
    QWidget* picBrowse = nullptr; // lvEdit and picEditBar, behind the browse pane's second tab
    QWidget* host = nullptr;      // picDialog and picEditPreview wait here until the bar hosts them
    ImageList* ilEdit = nullptr;  // the task icons, by task key
    PaneLayout* layout = nullptr; // subResize
    EditModeSwitch* editMode = nullptr;
};

class EditingController : public QObject, public PreviewSelection {
    Q_OBJECT
public:
    static constexpr int kEditBarCount = 4;

    EditingController(const EditingPanes& panes, QObject* parent = nullptr);
    ~EditingController() override;

    // The preview the tasks work on, made by the browse area after this controller. Connects the
    // preview's mouse to the tools.
    void attachPreview(EditedPreview& preview);
    // Lets go of the preview, before it goes away.
    void detachPreview();

    // A Preview, a replay or a Confirm asked for whose result has not reached the preview yet.
    // The operations and replays run on worker threads; previewReady() tells when they are done.
    bool busy() const;

    // What the preview and the page writers replay.
    TaskReplayer& replayer() { return *m_replayer; }
    EditListModel& editList() { return m_list; }
    SelectionTool& selectionTool() { return m_selection; }
    TaskOptionPanels& optionPanels() { return *m_panels; }

    // ---- its widgets, by their old names
    ExplorerBar* eb() const { return m_eb; }
    QListView* lvEdit() const { return m_lvEdit; }
    QWidget* picEditBar() const { return m_picEditBar; }
    QWidget* picDialog() const { return m_picDialog; }
    QWidget* picEditPreview() const { return m_picEditPreview; }
    QListView* lvEditPreview() const { return m_lvEditPreview; }
    QPushButton* cmdApply() const { return m_cmdApply; }
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdReset() const { return m_cmdReset; }
    QPushButton* cmdOriginalImage() const { return m_cmdOriginalImage; }
    QPushButton* cmdEditBar(int index) const;
    QPushButton* cmdEditPreview(int index) const;
    // Panel of task code 0..16 (0: picNothing); nullptr outside.
    QWidget* optionPanel(int code) const;
    QLabel* lblNothing() const { return m_lblNothing; }

    // ---- editing state, by its old names
    // 0 in the explorer view, 1 in the editing mode (the old glngEditMode): EditModeEntering and
    // EditModeLeaving switch it.
    int32_t lngEditMode() const { return m_editMode; }
    // The shown picture before the task being worked on (the old gvarWorkingImage); empty outside
    // the editing mode.
    const ImageSnapshot& workingImage() const { return m_workingImage; }
    void releaseWorkingImage() { m_workingImage = ImageSnapshot{}; }
    const EditTask& gudtEditTask() const { return m_task; }
    bool blnFreshTask = true;
    bool blnOptionsChanged = false;
    bool blnImageModified = false;

    // PreviewSelection: the program's selection and its overlay go.
    void subClearSelection() override;

signals:
    // The work asked for last has reached the preview (or given its message, or was dropped
    // because another picture is shown now), and nothing more is waiting.
    void previewReady();

public slots:
    // The window's mode switch, answered.
    void EditModeEntering();
    void EditModeLeaving();
    void eb_ItemClick(const QString& group, const QString& itemKey);
    // Preview: false when the options cannot make a task (the user was told; the image is as it
    // was). Otherwise the task runs on a worker and its result replaces the preview when ready;
    // an operation that fails there is reported then, and leaves the image as it was.
    bool cmdApply_Click();
    void cmdOK_Click();
    void cmdReset_Click();
    void subRestoreWorkingImage();
    void cmdOriginalImage_Click();
    // 0 clear, 1 open, 2 save, 3 delete; the same for both bars.
    void cmdEditBar_Click(int index);
    void lvEdit_ItemClick();
    void lvEditPreview_ItemClick();
    void subEnableApply(bool enabled);

    // The preview's mouse (ImageBox events: button 1 left, 2 right, 4 middle).
    void ibMain_MouseDown(int16_t button, int16_t shift, int32_t x, int32_t y);
    void ibMain_MouseMove(int16_t button, int16_t shift, int32_t x, int32_t y);
    void ibMain_MouseUp(int16_t button, int16_t shift, int32_t x, int32_t y);

    // The tool switches of the option panels.
    void chkCropMouse_Click(bool ticked);
    void chkCropBackColor_Click(bool ticked);
    void chkRedEye_Click(bool ticked);
    void chkSelectLocation_Click(bool ticked);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPanels(QWidget* host);
    // The panels, the shared rows and the buttons laid out across the option group's width.
    void fitDialogWidth();
    void buildEditLists(QWidget* picBrowse, QWidget* host);
    void connectToolSwitches();
    // subShowTaskOptions: the panel filled with the last-used values and the flags of a task just chosen.
    void subShowTaskOptions();
    // After the list was replaced or shortened: the whole list replayed on the image as loaded,
    // and the result becomes the working snapshot; then `then`.
    void replayChangedList(std::function<void()> then = {});
    void changeList(int index, std::function<void()> then);
    // The row of the visible edit list's selected task, -1 for none.
    int visibleSelectedRow() const;
    void clearVisibleSelections();
    // ibMain from the original snapshot with the edit list replayed on it (up to the visible
    // selection when upToSelection), on a worker; `then` runs once the result is shown.
    void replayFromOriginal(bool upToSelection, std::function<void()> then);
    // The task as the panel and the mouse tools describe it; empty (the user told) when it cannot be applied.
    std::optional<task::Record> taskToApply();
    bool previewScaled() const;

    // ---- the work on workers
    struct PreviewRequest {
        std::optional<task::Record> task;   // none for a red-eye correction
        std::optional<editops::Bounds> redEye; // the ellipse of a red-eye correction
    };
    struct PreviewOutcome {
        QImage image;
        bool ok = false;
        QString message;
        EditSettings settings; // the state after the task, which its row leaves for the next
    };
    struct ReplayOutcome {
        QImage image;
        ReplayResult result;
        EditSettings settings;
    };
    enum class Work { None, Preview, Replay };
    void startPreview(const PreviewRequest& request);
    void previewLanded(PreviewOutcome outcome, const std::optional<task::Record>& task);
    void replayLanded(ReplayOutcome outcome);
    // Whether the picture the pending work started from is still the one shown.
    bool stillShown() const;
    // What waits behind the work that just landed: a deferred Preview, then a Confirm.
    void continueAfterWork();
    // A pending Preview is taken back, with the Confirm that waited for it.
    void dropPreviewWork();
    // Everything pending is taken back, replays included.
    void dropAllWork();
    // The part of Confirm after its task was applied.
    void finishConfirm();

    LatestWork m_work;
    Work m_workKind = Work::None;
    qint64 m_workPicture = 0; // the shown picture's cache key when the pending work was asked for
    std::function<void()> m_afterReplay;
    // A Preview asked for while a replay was computing: its base is what the replay makes.
    std::optional<PreviewRequest> m_deferredPreview;
    // Confirm pressed while its Preview was computing: it finishes when the preview lands, then
    // m_afterConfirm (another task chosen meanwhile) runs.
    bool m_confirmQueued = false;
    std::function<void()> m_afterConfirm;
    ImageDocument& doc() const;
    // The preview's image as loaded; empty without a preview.
    const ImageSnapshot& originalImage() const;
    void showOverlay();
    void applyOutcome(const MouseOutcome& out);
    void setSelectionLabel(const char* name, const QString& text);
    void untick(const char* name);
    void resize();
    // The hosted panels' fixed colours onto every control on them.
    void applyHostedColours();

    EditingPanes m_panes;
    EditListModel m_list;
    std::unique_ptr<EditListReplayer> m_replayer;
    SelectionTool m_selection;
    std::unique_ptr<TaskOptionPanels> m_panels;
    // The rubber band of the control's own selections (crop on a scaled preview, red-eye), display pixels.
    std::optional<OverlayRectangle> m_band;
    // The box the preview fitted the picture into when the control's crop band was drawn: the
    // band's points are display pixels of that box, whatever the window does afterwards.
    QSize m_regionBox;
    // The display size the program's rectangle was drawn at; a preview shown at another size
    // takes it away.
    QSize m_selectionDisplay;
    EditedPreview* m_preview = nullptr;
    QPointer<ImageBox> m_ibMain;
    int32_t m_editMode = 0;
    ImageSnapshot m_workingImage;

    EditTask m_task;
    // The task the shown preview was made with, when the last Apply succeeded, and the state its
    // row leaves behind.
    std::optional<task::Record> m_applied;
    EditSettings m_appliedSettings;
    // The state the replay of the whole list reaches: the working image's companion. A Preview
    // starts from it, as the task's row will when the list is replayed on a page.
    EditSettings m_workingSettings;
    // What the last replay that landed reached.
    EditSettings m_replaySettings;
    // Red-eye correction is the one chart item that is no task kind: it corrects this picture
    // inside the ellipse drawn here and is never recorded, so its Preview and Confirm are its own.
    bool redEyeChosen() const { return m_task.TaskCode == taskRedEye; }
    // The red-eye tool: the ellipse drawn on the preview, in display pixels.
    bool m_redEyeArmed = false, m_redEyeDrawing = false;
    QPoint m_redEyeStart, m_redEyeEnd;
    std::optional<editops::Bounds> m_redEyeEllipse;

    QPointer<ExplorerBar> m_eb;
    QPointer<QListView> m_lvEdit;
    QPointer<QWidget> m_picEditBar;
    QPointer<QWidget> m_picDialog;
    int m_panelHeight = 0;
    int m_sharedHeight = 0;
    QPointer<QWidget> m_picEditPreview;
    QPointer<QListView> m_lvEditPreview;
    QPointer<QPushButton> m_cmdApply, m_cmdOK, m_cmdReset, m_cmdOriginalImage;
    QPointer<QLabel> m_lblNothing;
    std::array<QPushButton*, kEditBarCount> m_cmdEditBar{};
    std::array<QPushButton*, kEditBarCount> m_cmdEditPreview{};
    std::array<QWidget*, 17> m_optionPanels{};
};

} // namespace tf
