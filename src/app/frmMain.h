#pragma once
#include "app/modMainLayout.h"
#include "browse/BrowseServices.h"
#include "frame/TaskReplay.h"

#include <QListView>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class BasketController;
class BrowseFolderFiles;
namespace tf {
class MultiPageCommands;
}
class BrowseController;
class MetadataController;
class ImageBox;
class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollBar;

namespace tf {
class EditingController;
class ExplorerBar;
class FolderTreeView;
class ImageDocument;
class ImageList;
class ListView;
class Splitter;
class StatusBar;
class TabStrip;
} // namespace tf

// The main window: it builds the panes and the widgets no area controller owns yet (each with its
// old name as objectName), has the controllers build theirs into the panes, brings the program up
// (set-up, settings, explorer bar, picture buttons, fixed lists), lays the panes out, and takes
// them down again at shutdown. The work of each area lives with that area's controller; the
// browse area's widgets are reached through browse(), the editing mode's through editing(). The
// window is also the browse and editing areas' pane layout and edit-mode switch: it moves the panes,
// and the editing controller answers EditModeEntering and EditModeLeaving.
//
// Control arrays: element i of cmdEditBar, cmdEditPreview, cmdEXIFBar and cmdIPTCBar has the
// objectName "<array>_<i>" ("cmdEditBar_0" ... "cmdEditBar_3") and is reached by index through the
// accessor of the array's name. Menu entries follow the same scheme ("mnuPreviewFit_1"); the preview
// menus belong to the browse controller and are reached through the accessors below.
class frmMain : public QMainWindow, public tf::PaneLayout, public tf::EditModeSwitch {
    Q_OBJECT
public:
    // Loads the window: the set-up runs here; the single-instance check has run before.
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // ---- public members other windows call
    // Puts the settings record's list, thumbnail and tool-tip settings on the window.
    void subUpdateForm();
    // Lays out every pane for the window's size and the splitters' current children.
    void subResize() override;
    // The shutdown work (settings stored and written, pictures released, other windows closed,
    // page files removed); runs once, from the close of the window.
    void subEnd();

    // ---- handlers of this window's own controls
    void tbsBrowse_Click();
    void tbsMetadata_Click();
    void splMain_SplitComplete();
    void splRight_SplitComplete();
    void splLeft_SplitComplete();
    void splView_SplitComplete();
    // Switches between the explorer view and the editing mode (only while ibMain holds an image).
    // The window moves its panes and buttons; the editing tasks do the rest in answer to
    // EditModeEntering and EditModeLeaving.
    void CmdPreviewEdit_Click() override;

    // Which panes are on show, as the splitters' children say.
    tf::PaneArrangement arrangement() const;

    // ---- control arrays by index (nullptr outside the array)
    static constexpr int kEditBarCount = 4;
    static constexpr int kEXIFBarCount = 6;
    static constexpr int kIPTCBarCount = 5;
    QPushButton* cmdEditBar(int index) const;
    QPushButton* cmdEditPreview(int index) const;
    QPushButton* cmdEXIFBar(int index) const;
    QPushButton* cmdIPTCBar(int index) const;
    QAction* mnuPreviewFit(int index) const;
    QAction* mnuPreviewType(int index) const;
    // The objectName of element index of a control array.
    static QString arrayName(const QString& array, int index);

    // The buttons that show a picture, in the order they were given it (42 of them), those still there.
    QList<QPushButton*> pictureButtons() const;
    // The sixteen option panels of the editing tasks, in the layout's order.
    QList<QWidget*> optionPanels() const;

    // The areas' controllers, made with the window and living as long as it.
    BasketController* basket() const { return m_basket; }
    BrowseController* browse() const { return m_browse; }
    tf::EditingController* editing() const { return m_editing; }
    tf::MultiPageCommands* multiPage() const;

    // Ask for a multipage file and write or append the basket to it (Filter: 0 TIFF, 1 PDF, 2 both).
    bool fncSaveToFileDialog(int32_t& Filter);
    bool fncAppendToFileDialog(int32_t& Filter);

    // The help file's path (the program's folder and "Help.chm").
    QString HelpFile() const { return m_strHelpFile; }

    // ---- widgets, by their old names; made once in the constructor and owned by the window.
    // splitters and panes
    tf::Splitter* splMain = nullptr;
    tf::Splitter* splRight = nullptr;
    tf::Splitter* splView = nullptr;
    tf::Splitter* splLeft = nullptr;
    QWidget* picBrowse = nullptr;
    QWidget* PicMetadata = nullptr;
    QWidget* picFolder = nullptr;
    QWidget* picView = nullptr;
    QWidget* PicQueue = nullptr;
    // browse pane: the folder tree and its tab strip are the browse controller's (browse())
    // the edit list and its bar are the editing controller's (editing())
    QListView* lvEdit = nullptr;
    QWidget* picEditBar = nullptr;
    // metadata pane
    QLabel* lblMetadata = nullptr;
    tf::TabStrip* tbsMetadata = nullptr;
    tf::ListView* lvExif = nullptr;
    tf::ListView* lvIPTC = nullptr;
    QWidget* picEXIFBar = nullptr;
    QWidget* picIPTCBar = nullptr;
    // the folder list pane and the preview pane are the browse controller's (browse())
    tf::ExplorerBar* eb = nullptr;
    // basket pane
    QLabel* lblQueue = nullptr;
    QWidget* picLiveBar = nullptr;
    tf::ListView* lvPages = nullptr;
    QPushButton* cmdAddToQueue = nullptr;
    QPushButton* cmdSaveAs = nullptr;
    QPushButton* cmdsaveAppend = nullptr;
    QPushButton* cmdBatchPrint = nullptr;
    QPushButton* cmdPagesNew = nullptr;
    QPushButton* cmdPagesOpen = nullptr;
    QPushButton* cmdPagesSave = nullptr;
    QPushButton* cmdPagesDelete = nullptr;
    // status bar
    tf::StatusBar* sbMain = nullptr;
    QProgressBar* pbQueue = nullptr;
    // the editing mode's panels (hosted by the explorer bar), the editing controller's, and the
    // window's hidden scratch control
    QWidget* picDialog = nullptr;
    QWidget* picEditPreview = nullptr;
    QListView* lvEditPreview = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdReset = nullptr;
    QPushButton* cmdOriginalImage = nullptr;
    tf::ImageDocument* ibTemp = nullptr;
    QWidget* picContrast = nullptr;
    QWidget* picBrightness = nullptr;
    QWidget* picSharpen = nullptr;
    QWidget* picBlur = nullptr;
    QWidget* picFlip = nullptr;
    QWidget* picResize = nullptr;
    QWidget* picRotate = nullptr;
    QWidget* picCrop = nullptr;
    QWidget* picWatermark = nullptr;
    QWidget* picText = nullptr;
    QWidget* picNothing = nullptr;
    QWidget* picCanvas = nullptr;
    QWidget* picFrame = nullptr;
    QWidget* picMask = nullptr;
    QWidget* picShadow = nullptr;
    QWidget* picRedEye = nullptr;
    QComboBox* cboMergeStyle = nullptr;
    QComboBox* ComboFilter = nullptr;
    QComboBox* cboPosition = nullptr;
    QComboBox* comboFontSize = nullptr;
    QComboBox* ComboFontFamily = nullptr;
    // image lists (the folder list's two are the browse controller's, ilPages the basket's)
    tf::ImageList* ilEdit = nullptr;
    tf::ImageList* ilMetadata = nullptr;

    // ---- form-level state named by the start-up (the browsing state, mstrDragSourceList,
    // mblnSuppressItemShow and mblnOptimizedPreview, is the browse controller's)
    bool mblnFirstResize = true;
    bool mblnFolderChosen = false;
    bool blnPreviewPending = false;
    int16_t mintToolMode = 0;

signals:
    // Raised by CmdPreviewEdit_Click after the panes were detached, before the layout.
    void EditModeEntering();
    // Raised by CmdPreviewEdit_Click after the panes were attached again, before the layout.
    void EditModeLeaving();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWidgets();
    void buildMetadataPane();
    void buildEditingController();
    void buildStatusBar();
    void buildBrowseController();
    void buildControllers();

    void subSetup();
    void subLoadSettings();
    void subApplySettings();
    void subInitImageBox();
    void subSetupExplorerBar();
    void subSetHelpFile();
    void subSetButtonPictures();
    void subFillFixedLists();
    void subStoreSettings();
    void subDeletePageFiles();

    QWidget* m_client = nullptr;
    BasketController* m_basket = nullptr;
    BrowseController* m_browse = nullptr;
    tf::EditingController* m_editing = nullptr;
    MetadataController* m_metadata = nullptr;
    // The pieces the browse area needs that no area provides yet.
    tf::PrintingNotAvailable m_noPrinting;
    tf::ControlSaveAs m_controlSaveAs;
    tf::SlideShowNotAvailable m_noSlideShow;
    std::unique_ptr<BrowseFolderFiles> m_folderFiles;
    // Watched: a button another part of the program took down before the shutdown is skipped there.
    QList<QPointer<QPushButton>> m_pictureButtons;
    QString m_strHelpFile;
    bool m_ended = false;
    bool m_resizing = false;
};
