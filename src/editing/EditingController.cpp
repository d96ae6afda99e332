#include "editing/EditingController.h"

#include "controls/panewidgets.h"
#include "controls/explorerbar/ExplorerBar.h"
#include "controls/modButtonPicture.h"
#include "editing/TaskOptionPanels.h"
#include "editing/modTaskBasket.h"
#include "frame/modGlobalErrorHandling.h"
#include "platform/imagebox/imagebox.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/sys/colors.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/msgbox.h"

#include <QAbstractButton>
#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QMenu>
#include <QPalette>
#include <QPushButton>

namespace tf {

namespace {

// The explorer bar paints the body behind the hosted panels in its theme's fixed colours, whatever
// the desktop's palette. The panels' own texts, boxes and buttons take their colours from the same
// fixed system colours, so that a dark desktop palette does not put light text on that body.
QPalette hostedPanelPalette()
{
    QPalette p;
    const auto set = [&p](QPalette::ColorRole role, int systemIndex, int disabledIndex = -1) {
        p.setColor(QPalette::Active, role, systemColor(systemIndex));
        p.setColor(QPalette::Inactive, role, systemColor(systemIndex));
        p.setColor(QPalette::Disabled, role, systemColor(disabledIndex < 0 ? systemIndex : disabledIndex));
    };
    enum { kWindowColor = 5, kWindowText = 8, kHighlight = 13, kHighlightText = 14, kButtonFace = 15, kButtonShadow = 16,
           kGrayText = 17, kButtonText = 18, kButtonHighlight = 20, kDarkShadow = 21, kLight = 22, kInfoText = 23, kInfoBack = 24 };
    set(QPalette::Window, kButtonFace);
    set(QPalette::WindowText, kWindowText, kGrayText);
    set(QPalette::Base, kWindowColor, kButtonFace);
    set(QPalette::AlternateBase, kWindowColor);
    set(QPalette::Text, kWindowText, kGrayText);
    set(QPalette::PlaceholderText, kGrayText);
    set(QPalette::Button, kButtonFace);
    set(QPalette::ButtonText, kButtonText, kGrayText);
    set(QPalette::BrightText, kButtonHighlight);
    set(QPalette::Light, kButtonHighlight);
    set(QPalette::Midlight, kLight);
    set(QPalette::Mid, kButtonShadow);
    set(QPalette::Dark, kButtonShadow);
    set(QPalette::Shadow, kDarkShadow);
    set(QPalette::Highlight, kHighlight, kButtonShadow);
    set(QPalette::HighlightedText, kHighlightText);
    set(QPalette::ToolTipBase, kInfoBack);
    set(QPalette::ToolTipText, kInfoText);
    return p;
}

constexpr int kExplorerBarWidth = 220;
constexpr int kSmallButton = 22;
constexpr int kOptionPanelWidth = 196;
constexpr int kOptionPanelHeight = 150;

const QString kSpecialGroup = QStringLiteral("Special Group");
const QString kNothing = QStringLiteral("Nothing");

QListView* makeListView(QWidget* parent, const QString& name, QAbstractItemModel* model)
{
    auto* view = new QListView(parent);
    view->setObjectName(name);
    view->setModel(model);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setUniformItemSizes(true);
    return view;
}

QString arrayName(const char* array, int index) { return QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(index); }

SelectionTool::Button toolButton(int16_t button)
{
    return button == 2 ? SelectionTool::Button::Right : button == 4 ? SelectionTool::Button::Middle : SelectionTool::Button::Left;
}

Qt::CursorShape cursorShape(PointerShape shape)
{
    switch (shape) {
    case PointerShape::Cross: return Qt::CrossCursor;
    case PointerShape::IBeam: return Qt::IBeamCursor;
    case PointerShape::SizeAll: return Qt::SizeAllCursor;
    case PointerShape::SizeNESW: return Qt::SizeBDiagCursor;
    case PointerShape::SizeNS: return Qt::SizeVerCursor;
    case PointerShape::SizeNWSE: return Qt::SizeFDiagCursor;
    case PointerShape::SizeWE: return Qt::SizeHorCursor;
    default: return Qt::ArrowCursor;
    }
}

// The outline of a rubber band from its press point to the pointer (either order), drawn like the
// program's rectangle: right and bottom one past the corner.
OverlayRectangle bandBetween(QPoint a, QPoint b)
{
    return {std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.x(), b.x()) + 1, std::max(a.y(), b.y()) + 1};
}

} // namespace

// ---- construction -------------------------------------------------------------------------------

EditingController::EditingController(const EditingPanes& panes, QObject* parent) : QObject(parent), m_panes(panes)
{
    m_replayer = std::make_unique<EditListReplayer>(m_list);
    m_replayer->setStopRowSource([this] { return visibleSelectedRow(); });
    if (ImageList* icons = panes.ilEdit) {
        m_list.setIconProvider([icons](const QString& key) {
            for (int i = 1; i <= icons->count(); ++i)
                if (icons->key(i).compare(key, Qt::CaseInsensitive) == 0) return QIcon(icons->image(i));
            return QIcon();
        });
    }
    m_task = makeEditTask(taskNothing);

    // The explorer bar of the editing mode stands at the preview's right while editing.
    m_eb = new ExplorerBar(panes.picView);
    m_eb->setObjectName(QStringLiteral("eb"));
    m_eb->resize(kExplorerBarWidth, 400);
    m_eb->hide();
    connect(m_eb, &ExplorerBar::ItemClick, this, &EditingController::eb_ItemClick);

    buildPanels(panes.host);
    buildEditLists(panes.picBrowse, panes.host);
    applyHostedColours();
    // The panels report for the task they were last filled for; a report for another task (a
    // control of a hidden panel) changes nothing here.
    connect(m_panels.get(), &TaskOptionPanels::optionsChanged, this, [this](int32_t code) {
        if (code != m_task.TaskCode || code == taskNothing) return;
        blnOptionsChanged = true;
        subEnableApply(true);
    });
    connect(m_panels.get(), &TaskOptionPanels::applyEnabled, this, [this](int32_t code) {
        if (code != m_task.TaskCode || code == taskNothing) return;
        subEnableApply(true);
        // Switching between resizing by size and by percentage enables Preview; it must then do
        // something when the other way changes the picture, not wait for a box to be edited.
        if (!blnOptionsChanged && m_ibMain && doc().HasImage() &&
            m_panels->switchChangesPicture(code, QSize(doc().ImageWidth(), doc().ImageHeight())))
            blnOptionsChanged = true;
    });
    connect(m_panels.get(), &TaskOptionPanels::optionsFlagged, this, [this](int32_t code) {
        if (code == m_task.TaskCode && code != taskNothing) blnOptionsChanged = true;
    });
    connectToolSwitches();
}

EditingController::~EditingController() = default;

void EditingController::buildPanels(QWidget* host)
{
    // Hosted by the explorer bar once it is set up; until then (and after it lets them go) they
    // live hidden on the window.
    m_picDialog = new QWidget(host);
    m_picDialog->setObjectName(QStringLiteral("picDialog"));
    m_picDialog->resize(kOptionPanelWidth, kOptionPanelHeight + 72);
    m_picDialog->hide();
    auto panel = [this](const char* name) {
        auto* w = new QWidget(m_picDialog);
        w->setObjectName(QLatin1String(name));
        w->setGeometry(0, 0, kOptionPanelWidth, kOptionPanelHeight);
        w->hide();
        return w;
    };
    // Made in the layout's order, so that they stack as before.
    for (const char* name : {"picContrast", "picBrightness", "picSharpen", "picBlur", "picFlip", "picResize", "picRotate",
                             "picCrop", "picWatermark", "picText", "picNothing", "picCanvas", "picFrame", "picMask",
                             "picShadow", "picRedEye"}) {
        QWidget* w = panel(name);
        for (int code = taskNothing; code <= taskRedEye; ++code)
            if (QLatin1String(taskInfo(code)->panel) == QLatin1String(name)) m_optionPanels[size_t(code)] = w;
    }
    m_optionPanels[taskNothing]->show();

    m_panels = std::make_unique<TaskOptionPanels>(m_optionPanels, TaskOptionPanels::Lists::FilledByWindow);

    // The text of the panel of the tasks without options.
    QWidget* nothing = optionPanel(taskNothing);
    m_lblNothing = nothing->findChild<QLabel*>(QStringLiteral("lblNothing"));
    if (!m_lblNothing) {
        m_lblNothing = new QLabel(nothing);
        m_lblNothing->setObjectName(QStringLiteral("lblNothing"));
        m_lblNothing->setWordWrap(true);
        m_lblNothing->setGeometry(8, 8, kOptionPanelWidth - 16, kOptionPanelHeight - 16);
        m_lblNothing->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    // Every panel gets the height the tallest one needs, so that the option group keeps one size
    // whichever task is chosen.
    int panelHeight = kOptionPanelHeight;
    for (QWidget* panel : m_optionPanels)
        if (QLayout* column = panel->layout()) {
            // Wrapped texts need more lines when the group comes narrower than the panels are made.
            const int wrapped = column->hasHeightForWidth() ? column->totalHeightForWidth(kOptionPanelWidth - 12) : 0;
            panelHeight = std::max({panelHeight, column->minimumSize().height(), wrapped});
        }
    // The back colour (Rotate, Crop, Canvas, Frame) and the location pick (Watermark, Text) are
    // never wanted together: they share one row below the panels.
    const QList<QWidget*> shared{m_panels->frameBackColor(), m_panels->picLocation()};
    int sharedHeight = 0;
    for (QWidget* row : shared) sharedHeight = std::max(sharedHeight, row->sizeHint().height());
    for (QWidget* row : shared) row->setParent(m_picDialog);
    m_panelHeight = panelHeight;
    m_sharedHeight = sharedHeight;

    m_cmdApply = tf::makePaneButton(m_picDialog, QStringLiteral("cmdApply"), QStringLiteral("Preview"), QRect());
    m_cmdOK = tf::makePaneButton(m_picDialog, QStringLiteral("cmdOK"), QStringLiteral("Finish"), QRect());
    m_cmdReset = tf::makePaneButton(m_picDialog, QStringLiteral("cmdReset"), QStringLiteral("Reset"), QRect());
    m_cmdOriginalImage = tf::makePaneButton(m_picDialog, QStringLiteral("cmdOriginalImage"), QStringLiteral("Original"), QRect(),
                                    QStringLiteral("Back to the image as loaded"));
    m_picDialog->resize(kOptionPanelWidth, panelHeight + sharedHeight + 8 + 64);
    fitDialogWidth();
    // The explorer bar gives the group the width it has room for, which may be less than the
    // panels were made for; the panels and buttons then follow it.
    m_picDialog->installEventFilter(this);
    m_cmdApply->setEnabled(false);
    m_cmdReset->setEnabled(false);
    m_cmdOriginalImage->setEnabled(false);
    connect(m_cmdApply, &QPushButton::clicked, this, [this] { cmdApply_Click(); });
    connect(m_cmdOK, &QPushButton::clicked, this, &EditingController::cmdOK_Click);
    connect(m_cmdReset, &QPushButton::clicked, this, &EditingController::cmdReset_Click);
    connect(m_cmdOriginalImage, &QPushButton::clicked, this, &EditingController::cmdOriginalImage_Click);
}

void EditingController::buildEditLists(QWidget* picBrowse, QWidget* host)
{
    // The edit list and its bar share the browse pane with the folder tree, behind its second tab.
    m_lvEdit = makeListView(picBrowse, QStringLiteral("lvEdit"), &m_list);
    m_lvEdit->hide();
    m_picEditBar = new QWidget(picBrowse);
    m_picEditBar->setObjectName(QStringLiteral("picEditBar"));
    m_picEditBar->resize(kEditBarCount * (kSmallButton + 2), kSmallButton);
    const QStringList tips{QStringLiteral("Clear the task list"), QStringLiteral("Open a task basket"),
                           QStringLiteral("Save the task basket"), QStringLiteral("Delete the selected task")};
    for (int i = 0; i < kEditBarCount; ++i)
        m_cmdEditBar[size_t(i)] = tf::makePaneButton(m_picEditBar, arrayName("cmdEditBar", i), QString(),
                                             QRect(i * (kSmallButton + 2), 0, kSmallButton, kSmallButton), tips[i]);
    m_picEditBar->hide();

    m_picEditPreview = new QWidget(host);
    m_picEditPreview->setObjectName(QStringLiteral("picEditPreview"));
    m_picEditPreview->setGeometry(0, 0, kOptionPanelWidth, 170);
    m_picEditPreview->hide();
    m_lvEditPreview = makeListView(m_picEditPreview, QStringLiteral("lvEditPreview"), &m_list);
    m_lvEditPreview->setGeometry(0, 0, kOptionPanelWidth, 136);
    for (int i = 0; i < kEditBarCount; ++i)
        m_cmdEditPreview[size_t(i)] = tf::makePaneButton(m_picEditPreview, arrayName("cmdEditPreview", i), QString(),
                                                 QRect(i * (kSmallButton + 4), 142, kSmallButton, kSmallButton), tips[i]);

    for (int i = 0; i < kEditBarCount; ++i) {
        connect(m_cmdEditBar[size_t(i)], &QPushButton::clicked, this, [this, i] { cmdEditBar_Click(i); });
        connect(m_cmdEditPreview[size_t(i)], &QPushButton::clicked, this, [this, i] { cmdEditBar_Click(i); });
    }
    connect(m_lvEdit, &QListView::clicked, this, &EditingController::lvEdit_ItemClick);
    connect(m_lvEditPreview, &QListView::clicked, this, &EditingController::lvEditPreview_ItemClick);
}

void EditingController::connectToolSwitches()
{
    // The check buttons belong to the option panels; each one found is heard here.
    const std::pair<const char*, void (EditingController::*)(bool)> switches[] = {
        {"chkCropMouse", &EditingController::chkCropMouse_Click},
        {"chkCropBackColor", &EditingController::chkCropBackColor_Click},
        {"chkRedEye", &EditingController::chkRedEye_Click},
        {"chkSelectLocation", &EditingController::chkSelectLocation_Click},
    };
    for (const auto& [name, handler] : switches)
        if (auto* box = m_picDialog->findChild<QAbstractButton*>(QLatin1String(name)))
            connect(box, &QAbstractButton::toggled, this, handler);
}

void EditingController::attachPreview(EditedPreview& preview)
{
    detachPreview();
    m_preview = &preview;
    m_ibMain = &preview.previewBox();
    connect(m_ibMain, &ImageBox::MouseDown, this, &EditingController::ibMain_MouseDown);
    connect(m_ibMain, &ImageBox::MouseMove, this, &EditingController::ibMain_MouseMove);
    connect(m_ibMain, &ImageBox::MouseUp, this, &EditingController::ibMain_MouseUp);
    m_ibMain->installEventFilter(this);
}

void EditingController::detachPreview()
{
    if (!m_preview) return;
    // Nothing still computing may land on a preview that is going away.
    dropAllWork();
    if (m_ibMain) {
        disconnect(m_ibMain, nullptr, this, nullptr);
        m_ibMain->removeEventFilter(this);
    }
    m_ibMain = nullptr;
    m_preview = nullptr;
}

QPushButton* EditingController::cmdEditBar(int index) const
{
    return index >= 0 && index < kEditBarCount ? m_cmdEditBar[size_t(index)] : nullptr;
}

QPushButton* EditingController::cmdEditPreview(int index) const
{
    return index >= 0 && index < kEditBarCount ? m_cmdEditPreview[size_t(index)] : nullptr;
}

QWidget* EditingController::optionPanel(int code) const
{
    return code >= taskNothing && code <= taskRedEye ? m_optionPanels[size_t(code)] : nullptr;
}

// ---- helpers --------------------------------------------------------------------------------------

// The picture the preview shows, as the tasks see it: every use of the shown image goes through here.
ImageDocument& EditingController::doc() const { return m_ibMain->document(); }

const ImageSnapshot& EditingController::originalImage() const
{
    static const ImageSnapshot none;
    return m_preview ? m_preview->originalImage() : none;
}

void EditingController::applyHostedColours()
{
    // Given to every control, not only inherited, and again once the bar has taken the panels in:
    // under the window's style sheet a control polished anew takes the desktop's palette back
    // rather than its panel's.
    const QPalette fixed = hostedPanelPalette();
    for (QWidget* hosted : {m_picDialog.data(), m_picEditPreview.data()}) {
        if (!hosted) continue;
        hosted->ensurePolished();
        hosted->setPalette(fixed);
        for (QWidget* child : hosted->findChildren<QWidget*>()) {
            child->ensurePolished();
            child->setPalette(fixed);
        }
    }
}

void EditingController::resize()
{
    if (m_panes.layout) m_panes.layout->subResize();
}

void EditingController::subEnableApply(bool enabled)
{
    m_cmdApply->setEnabled(enabled);
    m_cmdOK->setEnabled(enabled);
}

int EditingController::visibleSelectedRow() const
{
    const QListView* list = m_editMode == 1 ? m_lvEditPreview.data() : m_lvEdit.data();
    if (!list || !list->selectionModel()) return -1;
    const QModelIndexList rows = list->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void EditingController::clearVisibleSelections()
{
    for (QListView* list : {m_lvEdit.data(), m_lvEditPreview.data()})
        if (list && list->selectionModel()) list->selectionModel()->clear();
}

void EditingController::replayFromOriginal(bool upToSelection, std::function<void()> then)
{
    if (!m_ibMain || !doc().HasImage()) return;
    // A replay starts over from the picture as loaded: whatever was pending is superseded.
    dropAllWork();
    const QImage base = originalImage().isEmpty() ? doc().Picture() : originalImage().image;
    const std::vector<task::Entry> rows = m_list.tasks();
    if (rows.empty()) {
        if (!originalImage().isEmpty()) doc().LoadFromVariant(ImageDocument::kSnapshotFormat, originalImage());
        m_replaySettings = EditSettings{};
        if (then) then();
        return;
    }
    const int stopRow = upToSelection ? visibleSelectedRow() : -1;
    m_workKind = Work::Replay;
    m_workPicture = doc().image().cacheKey();
    m_afterReplay = std::move(then);
    m_work.start(
        [base, rows, stopRow](const LatestWork::Flag& cancelled) {
            ReplayOutcome out{base, {}, {}};
            try {
                out.result = subProcessPages(out.image, rows, {stopRow, loadMergePicture, &cancelled, &out.settings});
            } catch (const std::bad_alloc&) {
                out = {base, {false, QStringLiteral("The task list could not be applied: not enough memory for the image.")}, {}};
            }
            return out;
        },
        [this](ReplayOutcome out) { replayLanded(std::move(out)); });
}

void EditingController::replayLanded(ReplayOutcome outcome)
{
    m_workKind = Work::None;
    std::function<void()> then = std::move(m_afterReplay);
    m_afterReplay = {};
    if (!stillShown()) {
        dropAllWork();
        emit previewReady();
        return;
    }
    doc().setPicture(outcome.image);
    m_replaySettings = outcome.settings;
    // The image keeps what the rows before the failed one made; the user is told which failed.
    if (!outcome.result.ok) subGlobalErrorHandler(outcome.result.message, 0, 0, QStringLiteral("subProcessPages"));
    if (then) then();
    continueAfterWork();
}

bool EditingController::busy() const { return m_work.pending() || m_deferredPreview || m_confirmQueued; }

bool EditingController::stillShown() const { return m_ibMain && doc().HasImage() && doc().image().cacheKey() == m_workPicture; }

void EditingController::continueAfterWork()
{
    if (m_deferredPreview) {
        const PreviewRequest request = std::move(*m_deferredPreview);
        m_deferredPreview.reset();
        startPreview(request);
        return;
    }
    if (m_confirmQueued) {
        m_confirmQueued = false;
        const std::function<void()> then = std::move(m_afterConfirm);
        m_afterConfirm = {};
        finishConfirm();
        if (then) then();
    }
    if (!busy()) emit previewReady();
}

void EditingController::dropPreviewWork()
{
    const bool preview = (m_workKind == Work::Preview && m_work.pending()) || m_deferredPreview;
    const bool dropped = preview || m_confirmQueued;
    if (m_workKind == Work::Preview) {
        m_work.cancel();
        m_workKind = Work::None;
    }
    m_deferredPreview.reset();
    m_confirmQueued = false;
    m_afterConfirm = {};
    // The options of a preview that never landed still wait to be applied.
    if (preview) blnOptionsChanged = true;
    if (dropped) subEnableApply(m_task.TaskCode != taskNothing);
}

void EditingController::dropAllWork()
{
    dropPreviewWork();
    m_work.cancel();
    m_workKind = Work::None;
    m_afterReplay = {};
}

bool EditingController::previewScaled() const
{
    return m_ibMain && m_ibMain->FitToWindow() && m_ibMain->displaySize() != doc().image().size();
}

void EditingController::showOverlay()
{
    if (!m_ibMain) return;
    std::vector<OverlayRectangle> wanted = m_selection.overlay();
    if (m_band) wanted.push_back(*m_band);
    // Outlines toggle: each one shown that is no longer wanted is drawn again to take it away.
    const std::vector<OverlayRectangle> shown = m_ibMain->overlayRectangles();
    for (const OverlayRectangle& r : shown)
        if (std::find(wanted.begin(), wanted.end(), r) == wanted.end()) m_ibMain->DrawRectangle(r.left, r.top, r.right, r.bottom);
    for (const OverlayRectangle& r : wanted) {
        const auto& now = m_ibMain->overlayRectangles();
        if (std::find(now.begin(), now.end(), r) == now.end()) m_ibMain->DrawRectangle(r.left, r.top, r.right, r.bottom);
    }
}

void EditingController::subClearSelection()
{
    m_selection.clearSelection();
    m_band.reset();
    showOverlay();
}

void EditingController::setSelectionLabel(const char* name, const QString& text)
{
    if (auto* label = m_picDialog->findChild<QLabel*>(QLatin1String(name))) label->setText(text);
}

void EditingController::untick(const char* name)
{
    if (auto* box = m_picDialog->findChild<QAbstractButton*>(QLatin1String(name))) box->setChecked(false);
}

// ---- the edit mode ----------------------------------------------------------------------------------

void EditingController::EditModeEntering()
{
    m_editMode = 1;
    if (!m_ibMain || !doc().HasImage()) return;
    m_preview->showEditMode(true);
    m_task.TaskCode = taskNothing;
    blnImageModified = false;
    applyHostedColours();
    eb_ItemClick(kSpecialGroup, kNothing);
    // Editing starts from the image with every recorded task, in either preview type: a row
    // chosen in a list earlier would otherwise leave later rows off the preview while they stay
    // in the saved pages, and the tasks previewed next would be drawn on another picture than
    // the one they are saved on. The replay starts from the image as loaded, so a preview that
    // shows the list already is not edited twice.
    clearVisibleSelections();
    replayFromOriginal(false, [this] {
        resize();
        if (m_ibMain && doc().HasImage()) m_workingImage = doc().SaveToVariant(ImageDocument::kSnapshotFormat);
        m_workingSettings = m_replaySettings;
    });
}

void EditingController::EditModeLeaving()
{
    m_editMode = 0;
    if (m_preview) m_preview->showEditMode(false);
    // Nothing still computing may land on the picture the explorer view shows.
    dropAllWork();
    // An unconfirmed preview is taken back; leaving never confirms it.
    cmdReset_Click();
    m_task = makeEditTask(taskNothing);
    blnImageModified = false;
    m_selection.chooseTask(taskNothing);
    m_redEyeArmed = m_redEyeDrawing = false;
    m_redEyeEllipse.reset();
    m_band.reset();
    showOverlay();
    m_workingImage = ImageSnapshot{};
    m_cmdOriginalImage->setEnabled(false);
    if (!(m_preview && m_preview->optimizedPreview()) && m_ibMain && doc().HasImage() && !originalImage().isEmpty())
        doc().LoadFromVariant(ImageDocument::kSnapshotFormat, originalImage());
}

void EditingController::eb_ItemClick(const QString& group, const QString& itemKey)
{
    // A task chosen while a Confirm waits for its preview is shown once the Confirm is done.
    const auto afterConfirm = [this, group, itemKey] { eb_ItemClick(group, itemKey); };
    if (m_confirmQueued) {
        m_afterConfirm = afterConfirm;
        return;
    }
    if (blnImageModified) {
        const int answer = MsgBox(QStringLiteral("The image has been modified!\r\nDo you want to confirm the changes made to the image?"),
                                  vbYesNoCancel + vbInformation);
        if (answer == vbYes) {
            cmdOK_Click();
            if (m_confirmQueued) {
                m_afterConfirm = afterConfirm;
                return;
            }
            // A task that could not be confirmed stays chosen, with its preview.
            if (blnImageModified) return;
        } else if (answer == vbNo) {
            cmdReset_Click();
        } else {
            return;
        }
    }
    // A preview still computing belongs to the task being left.
    dropPreviewWork();
    const bool nothing = itemKey == kNothing;
    // A row chosen in the list shows the tasks up to it; a task is set up and drawn on the
    // picture the pages get it on, so the list's whole picture comes back first.
    if (!nothing && m_editMode == 1 && visibleSelectedRow() >= 0 && !m_workingImage.isEmpty() && m_ibMain && doc().HasImage()) {
        if (m_workKind == Work::Replay) {
            m_work.cancel();
            m_workKind = Work::None;
            m_afterReplay = {};
        }
        clearVisibleSelections();
        doc().LoadFromVariant(ImageDocument::kSnapshotFormat, m_workingImage);
        resize();
    }
    m_cmdOK->setText(nothing ? QStringLiteral("Finish") : QStringLiteral("Confirm"));
    subEnableApply(!nothing);
    for (QWidget* panel : m_optionPanels)
        if (panel) panel->hide();

    const int32_t code = m_task.TaskCode;
    m_task = EditTask{};
    m_task.TaskCode = code;
    m_task.TaskName = itemKey.toLower();
    if (group.toLower() == kSpecialGroup.toLower()) {
        if (nothing) {
            m_eb->SetGroupCaption(EbRef("Dialog"), QStringLiteral("Options"));
            m_lblNothing->setText(QStringLiteral("Select a task from above, or click finish button to exit edit mode."));
            optionPanel(taskNothing)->show();
        } else if (const std::optional<TaskCode> chosen = taskCodeFromKey(itemKey)) {
            m_task.TaskCode = *chosen;
            const TaskInfo* info = taskInfo(*chosen);
            m_eb->SetGroupCaption(EbRef("Dialog"), QString::fromLatin1(info->groupCaption));
            if (const char* noOptions = task::noOptionsText(*chosen)) m_lblNothing->setText(QString::fromUtf8(noOptions));
            optionPanel(*chosen)->show();
        }
    }
    // Every tool ends with the choice of a task.
    untick("chkSelectLocation");
    untick("chkCropMouse");
    m_selection.chooseTask(m_task.TaskCode);
    m_redEyeArmed = m_redEyeDrawing = false;
    m_redEyeEllipse.reset();
    m_band.reset();
    showOverlay();
    subShowTaskOptions();
}

void EditingController::subShowTaskOptions()
{
    // The panel shows the last-used options with the picture's present size (Resize, Crop, the
    // text grid); a panel filled earlier may be out of date, so the chosen one is filled again.
    if (m_ibMain && doc().HasImage()) m_panels->setImageSize(doc().image().size());
    m_panels->fillTask(m_task.TaskCode);
    blnFreshTask = true;
    blnImageModified = false;
    m_applied.reset();
    m_cmdReset->setEnabled(false);
    // Original has something to take back only when tasks were recorded.
    m_cmdOriginalImage->setEnabled(m_editMode == 1 && m_list.rowCount() > 0);
    const int32_t code = m_task.TaskCode;
    if (code == taskNothing) {
        blnOptionsChanged = false;
        m_cmdApply->setEnabled(false);
        m_cmdOK->setEnabled(true);
        return;
    }
    // Most tasks count as changed at once, so that Preview and Confirm run them; a turn by 0 degrees,
    // a resize to the same size or a watermark without its picture wait for a change.
    blnOptionsChanged = m_panels->marksChangedAfterFill(code);
    subEnableApply(!redEyeChosen()); // red-eye waits for its ellipse
}

// ---- Preview, Confirm, Reset, Original ----------------------------------------------------------------

std::optional<task::Record> EditingController::taskToApply()
{
    const QSize image = doc().image().size(), display = m_ibMain->displaySize();
    // What the mouse set on the preview, handed to the panels in the pixels they record; the task's
    // kind takes what it uses.
    m_panels->setFitToWindow(m_ibMain->FitToWindow());
    const bool scaled = previewScaled();
    editops::Bounds b{};
    if (scaled) {
        // The points as shown, with the box they were shown in (p6, p7 of a crop): the replay fits
        // the image into the same box and scales them exactly as this preview does.
        b = editops::Bounds{m_selection.regionStart().x(), m_selection.regionStart().y(), m_selection.regionEnd().x(),
                            m_selection.regionEnd().y()}
                .normalized();
    } else if (m_selection.mode() == SelDragMode::Shown) {
        b = m_selection.cropRectangle();
    }
    m_panels->setCropRegion(QRect(QPoint(b.left, b.top), QPoint(b.right - 1, b.bottom - 1)));
    m_panels->setCropBox(scaled ? std::optional<QSize>(m_regionBox) : std::nullopt);
    // Recorded in image pixels: the replay places the picture there on any page.
    m_panels->setMergePoint(displayToImage(m_selection.mergePoint(), image, display));
    m_panels->setTextClick(m_selection.textPoint(), image, display);
    QString message;
    std::optional<task::Record> task = m_panels->taskFromPanel(m_task.TaskCode, &message);
    if (!task) MsgBox(message.isEmpty() ? QStringLiteral("The options of this task are not valid.") : message, vbInformation);
    return task;
}

bool EditingController::cmdApply_Click()
{
    // The Confirm waiting for a preview decides what is applied.
    if (m_confirmQueued) return true;
    if (!blnOptionsChanged || !m_ibMain || !doc().HasImage() || m_task.TaskCode == taskNothing) return true;
    // Red-eye works inside the ellipse drawn on the preview; before one is drawn there is nothing to do.
    if (redEyeChosen() && !m_redEyeEllipse) return true;
    PreviewRequest request;
    if (redEyeChosen()) {
        request.redEye = m_redEyeEllipse;
    } else {
        request.task = taskToApply();
        if (!request.task) return false;
    }
    // Options changed while the preview computes enable Preview again; the result still lands.
    blnOptionsChanged = false;
    m_cmdApply->setEnabled(false);
    if (m_workKind == Work::Replay && m_work.pending()) m_deferredPreview = request;
    else startPreview(request);
    return true;
}

void EditingController::startPreview(const PreviewRequest& request)
{
    // The task is drawn on the picture the saved pages get before it: the working image, also
    // when a row chosen in the list shows less of it (a repeated Preview replaces the task's
    // earlier preview rather than adding to it).
    const QImage base = !m_workingImage.isEmpty() ? m_workingImage.image : doc().Picture();
    m_workKind = Work::Preview;
    m_workPicture = doc().image().cacheKey();
    m_work.start(
        [base, request, settings = m_workingSettings](const LatestWork::Flag&) {
            PreviewOutcome out;
            try {
                if (request.redEye) {
                    out.image = editops::RedEyeCorrection(base, *request.redEye);
                    out.settings = settings;
                } else {
                    // The replay's own step, from the state the replay reaches at this row, so a
                    // written page shows exactly what this preview shows.
                    out.image = base;
                    out.settings = settings;
                    applyTaskRow(out.image, *request.task, out.settings);
                }
                out.ok = true;
            } catch (const ImageBoxError& e) {
                out.message = e.description();
            } catch (const std::bad_alloc&) {
                out.message = QStringLiteral("Not enough memory for the image.");
            }
            return out;
        },
        [this, task = request.task](PreviewOutcome out) { previewLanded(std::move(out), task); });
}

void EditingController::previewLanded(PreviewOutcome outcome, const std::optional<task::Record>& task)
{
    m_workKind = Work::None;
    if (!stillShown()) {
        // Another picture is shown now: the result belongs to none.
        dropPreviewWork();
        blnOptionsChanged = true;
        subEnableApply(m_task.TaskCode != taskNothing);
        emit previewReady();
        return;
    }
    if (!outcome.ok) {
        // As before the Preview: the task stays chosen with its options waiting, nothing is confirmed.
        m_confirmQueued = false;
        m_afterConfirm = {};
        blnOptionsChanged = true;
        subEnableApply(true);
        MsgBox(outcome.message, vbInformation);
        emit previewReady();
        return;
    }
    doc().setPicture(outcome.image);
    m_applied = task;
    m_appliedSettings = outcome.settings;
    if (task::previewEndsMouseTools(m_task.TaskCode)) {
        m_selection.stopTools();
        m_band.reset();
        showOverlay();
    }
    m_cmdReset->setEnabled(true);
    m_cmdReset->update();
    resize();
    blnFreshTask = false;
    blnImageModified = true;
    continueAfterWork();
}

void EditingController::cmdOK_Click()
{
    if (m_confirmQueued) return;
    if (m_task.TaskCode == taskNothing) {
        if (m_panes.editMode) m_panes.editMode->CmdPreviewEdit_Click();
        return;
    }
    // A task that cannot be applied is not confirmed: it stays chosen, and nothing is recorded.
    if (blnOptionsChanged && !cmdApply_Click()) return;
    if (busy()) {
        // What is recorded is the preview still computing; the buttons wait with the user.
        m_confirmQueued = true;
        subEnableApply(false);
        return;
    }
    finishConfirm();
}

void EditingController::finishConfirm()
{
    blnImageModified = false;
    if (!redEyeChosen()) {
        // Only a task that was applied is recorded: anything else would be a task the preview never showed.
        if (!blnFreshTask && m_applied) {
            m_list.appendTask(*m_applied);
            m_workingSettings = m_appliedSettings;
        }
        m_panels->storeTask(m_task.TaskCode);
    }
    m_task.TaskCode = taskNothing;
    eb_ItemClick(kSpecialGroup, kNothing);
    m_cmdOK->setText(QStringLiteral("Finish"));
    m_cmdOK->setEnabled(true);
    if (m_ibMain && doc().HasImage()) m_workingImage = doc().SaveToVariant(ImageDocument::kSnapshotFormat);
    resize();
}

void EditingController::cmdReset_Click()
{
    m_cmdReset->update();
    subRestoreWorkingImage();
    // Reset takes back what the tools drew for the task too: a crop rectangle left standing
    // would be cropped by the next Preview.
    if (m_selection.mode() != SelDragMode::Idle || m_band) {
        m_selection.stopTools();
        m_selection.clearSelection();
        m_band.reset();
        untick("chkCropMouse");
        showOverlay();
    }
}

void EditingController::subRestoreWorkingImage()
{
    dropPreviewWork();
    if (blnFreshTask) return;
    if (m_ibMain && doc().HasImage() && !m_workingImage.isEmpty())
        doc().LoadFromVariant(ImageDocument::kSnapshotFormat, m_workingImage);
    subShowTaskOptions();
    resize();
}

void EditingController::cmdOriginalImage_Click()
{
    m_cmdOriginalImage->update();
    if (m_list.rowCount() < 1) return;
    const int answer = MsgBox(QStringLiteral("Resetting to original image will erase all editing functions from the batch list!\r\n"
                                             " Do you want to continue?"),
                              vbYesNo + vbInformation);
    if (answer != vbYes) return;
    // The panel shows the size of the picture as loaded, once it is back.
    changeList(0, [this] { subShowTaskOptions(); });
}

// ---- the edit lists ------------------------------------------------------------------------------------

void EditingController::replayChangedList(std::function<void()> then)
{
    if (!m_ibMain || !doc().HasImage()) {
        if (then) then();
        return;
    }
    // The whole list, whatever row a list shows selected: the working image must hold every task
    // that the saved pages will get. The replay takes the place of an unconfirmed preview at once.
    clearVisibleSelections();
    blnImageModified = false;
    replayFromOriginal(false, [this, then = std::move(then)] {
        resize();
        if (m_editMode == 1) {
            m_workingImage = doc().SaveToVariant(ImageDocument::kSnapshotFormat);
            m_workingSettings = m_replaySettings;
            m_cmdOriginalImage->setEnabled(m_list.rowCount() > 0);
        }
        if (then) then();
    });
}

void EditingController::cmdEditBar_Click(int index) { changeList(index, {}); }

void EditingController::changeList(int index, std::function<void()> then)
{
    switch (index) {
    case 0:
        if (subClearEditList(m_list)) replayChangedList(std::move(then));
        break;
    case 1:
        if (subOpenTaskBasket(m_list, m_picDialog->window())) replayChangedList(std::move(then));
        break;
    case 2: subSaveTaskBasket(m_list, m_picDialog->window()); break;
    case 3:
        if (subDeleteEditTask(m_list, visibleSelectedRow())) replayChangedList(std::move(then));
        break;
    default: break;
    }
}

void EditingController::lvEdit_ItemClick()
{
    if (m_list.rowCount() == 0) return;
    replayFromOriginal(true, [this] { resize(); });
}

void EditingController::lvEditPreview_ItemClick()
{
    if (m_list.rowCount() == 0) return;
    replayFromOriginal(true, [this] { resize(); });
    blnOptionsChanged = true;
}

// ---- the mouse tools -------------------------------------------------------------------------------------

void EditingController::applyOutcome(const MouseOutcome& out)
{
    if (out.showContextMenu) {
        if (m_ibMain) m_ibMain->viewport()->unsetCursor();
        if (m_preview) m_preview->popupPreviewMenu(QCursor::pos());
        return;
    }
    if (out.pickPixel && m_ibMain) {
        const OleColor colour = doc().PixelColor(out.pickPixel->x(), out.pickPixel->y());
        doc().setBackgroundColor(colour);
        // The shared back-colour button shows it, as the chosen task's own colour.
        m_panels->pickBackColor(colour);
    }
    if (out.markChanged) {
        blnOptionsChanged = true;
        subEnableApply(true);
    }
    if (out.optionsChanged) blnOptionsChanged = true;
    if (out.regionStartChanged) setSelectionLabel("lblSelectRegionStart", SelectionTool::regionLabel(m_selection.regionStart()));
    if (out.regionEndChanged) setSelectionLabel("lblSelectRegionEnd", SelectionTool::regionLabel(m_selection.regionEnd()));
    if (out.locationChanged)
        setSelectionLabel("lblSelectLocation", SelectionTool::locationLabel(m_selection.pickedLocation()));
    if (out.pointerChanged && m_ibMain) m_ibMain->viewport()->setCursor(cursorShape(out.pointer));
    if (out.untickCropMouse) untick("chkCropMouse");
    if (out.untickSelectLocation) untick("chkSelectLocation");
    if (out.untickCropBackColorAndRedEye) {
        untick("chkCropBackColor");
        untick("chkRedEye");
    }
    if (out.overlayChanged || m_band) showOverlay();
}

void EditingController::ibMain_MouseDown(int16_t button, int16_t, int32_t x, int32_t y)
{
    if (!m_ibMain || !doc().HasImage()) return;
    const QPoint p(x, y);
    if (button == 1 && m_redEyeArmed) {
        m_redEyeDrawing = true;
        m_redEyeStart = m_redEyeEnd = p;
        m_band = bandBetween(p, p);
    }
    if (button == 1 && m_selection.cropByMouse() && m_selection.tool() == toolNone) m_band = bandBetween(p, p);
    m_selectionDisplay = m_ibMain->displaySize();
    applyOutcome(m_selection.press(toolButton(button), p, doc().image().size(), m_ibMain->displaySize()));
}

void EditingController::ibMain_MouseMove(int16_t button, int16_t, int32_t x, int32_t y)
{
    if (!m_ibMain || !doc().HasImage()) return;
    const QPoint p(x, y);
    if (m_redEyeDrawing) {
        m_redEyeEnd = p;
        m_band = bandBetween(m_redEyeStart, p);
    }
    const bool band = (button & 1) && m_selection.cropByMouse() && m_selection.tool() == toolNone;
    const MouseOutcome out = m_selection.move(p, doc().image().size(), m_ibMain->displaySize());
    if (band) m_band = bandBetween(m_selection.regionStart(), m_selection.regionEnd());
    applyOutcome(out);
}

void EditingController::ibMain_MouseUp(int16_t button, int16_t, int32_t x, int32_t y)
{
    if (!m_ibMain || !doc().HasImage()) return;
    const QPoint p(x, y);
    if (m_redEyeDrawing && button == 1) {
        m_redEyeDrawing = false;
        m_redEyeArmed = false;
        m_redEyeEnd = p;
        m_band = bandBetween(m_redEyeStart, p);
        const QSize image = doc().image().size(), display = m_ibMain->displaySize();
        const editops::Bounds d = editops::Bounds{m_redEyeStart.x(), m_redEyeStart.y(), p.x(), p.y()}.normalized();
        const QPoint a = displayToImage(QPoint(d.left, d.top), image, display);
        const QPoint b = displayToImage(QPoint(d.right, d.bottom), image, display);
        if (b.x() > a.x() && b.y() > a.y()) {
            m_redEyeEllipse = editops::Bounds{a.x(), a.y(), b.x(), b.y()};
            blnOptionsChanged = true;
            subEnableApply(true);
        }
    }
    const bool band = m_selection.cropByMouse() && m_selection.tool() == toolNone;
    const MouseOutcome out = m_selection.release(toolButton(button), p);
    if (band) {
        m_band = bandBetween(m_selection.regionStart(), m_selection.regionEnd());
        m_regionBox = m_ibMain->boxSize();
    }
    applyOutcome(out);
}

void EditingController::fitDialogWidth()
{
    const int width = m_picDialog->width();
    for (QWidget* panel : m_optionPanels) panel->setGeometry(0, 0, width, m_panelHeight);
    for (QWidget* row : {m_panels->frameBackColor(), m_panels->picLocation()})
        row->setGeometry(0, m_panelHeight, width, m_sharedHeight);
    // Narrow gaps: at the explorer bar's width the buttons with icons need every pixel.
    const int gap = 2;
    const int half = (width - 3 * gap) / 2;
    const int top = m_panelHeight + m_sharedHeight + 8;
    m_cmdApply->setGeometry(gap, top, half, 26);
    m_cmdOK->setGeometry(2 * gap + half, top, half, 26);
    m_cmdReset->setGeometry(gap, top + 32, half, 26);
    m_cmdOriginalImage->setGeometry(2 * gap + half, top + 32, half, 26);
    // A caption padded to sit beside a button's picture was padded for the width it had then.
    for (QPushButton* b : {m_cmdApply, m_cmdOK, m_cmdReset, m_cmdOriginalImage}) subSetButtonCaption(b, b->text().trimmed());
}

bool EditingController::eventFilter(QObject* watched, QEvent* event)
{
    // Only a resize is looked at: the watched widgets are compared after that test, since a widget
    // being destroyed still sends events and is no longer of its own type then.
    if (event->type() != QEvent::Resize) return QObject::eventFilter(watched, event);
    if (watched == m_picDialog) fitDialogWidth();
    // The program's rectangle is held in display pixels: once the picture is shown at another
    // size it would mark (and crop) another part of it.
    if (watched == m_ibMain && m_selection.mode() != SelDragMode::Idle &&
        m_selection.mode() != SelDragMode::Armed && m_ibMain->displaySize() != m_selectionDisplay)
        subClearSelection();
    return QObject::eventFilter(watched, event);
}

void EditingController::chkCropMouse_Click(bool ticked)
{
    if (!ticked) {
        // A drawn rectangle stays, and so does a change waiting for Preview; a tool still waiting
        // for its first press is put away, or the next click on the preview would start one.
        const bool waiting = m_selection.mode() == SelDragMode::Armed || (m_selection.cropByMouse() && m_selection.tool() == toolNone);
        m_selection.stopCropByMouse();
        if (waiting) {
            m_selection.stopTools();
            m_band.reset();
            showOverlay();
        }
        return;
    }
    subRestoreWorkingImage();
    m_band.reset();
    if (previewScaled()) m_selection.startControlSelection();
    else m_selection.armCropRectangle();
    blnOptionsChanged = true;
    showOverlay();
}

void EditingController::chkCropBackColor_Click(bool ticked)
{
    // Picking a colour ends a drawn rectangle; its outline goes with it rather than staying behind.
    m_selection.setPickColor(ticked);
    showOverlay();
}

void EditingController::chkRedEye_Click(bool ticked)
{
    m_selection.stopTools();
    if (ticked) {
        subRestoreWorkingImage();
        m_redEyeEllipse.reset();
        m_band.reset();
        m_redEyeArmed = true;
        subEnableApply(true);
    } else {
        m_redEyeArmed = false;
    }
    showOverlay();
}

void EditingController::chkSelectLocation_Click(bool ticked) { m_selection.setSelectLocation(ticked); }

} // namespace tf
