#pragma once
#include "app/modMainLayout.h"
#include "browse/BrowseServices.h"
#include "frame/TaskReplay.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class BasketController;
class BrowseFolderFiles;
class BrowseController;
class MetadataController;
class QAction;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tf {
class EditingController;
class ImageDocument;
class BatchPrintCommands;
class ControlSaveAs;
class ImagePrinter;
class PreviewPrintCommand;
class MultiPageCommands;
class PlayerCommands;
class ImageList;
class Splitter;
class StatusBar;
class TabStrip;
} // namespace tf

// The main window, the program's composition root: it builds the splitters, the panes and the
// status bar (each with its old name as objectName), has the areas' controllers build their widgets
// into the panes, brings the program up (set-up, settings, explorer bar, picture buttons, fixed
// lists), lays the panes out, and takes them down again at shutdown. Its widgets are private; each
// area's widgets are reached through that area's controller (browse(), basket(), editing(),
// metadata()). The window is also the browse and editing areas' pane layout and edit-mode switch:
// it moves the panes, and the editing controller answers EditModeEntering and EditModeLeaving.
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
    MetadataController* metadata() const { return m_metadata; }
    tf::MultiPageCommands* multiPage() const;

    // Ask for a multipage file and write or append the basket to it (Filter: 0 TIFF, 1 PDF, 2 both).
    bool fncSaveToFileDialog(int32_t& Filter);
    bool fncAppendToFileDialog(int32_t& Filter);

    // The help file's path (the program's folder and "Help.chm").
    QString HelpFile() const { return m_strHelpFile; }

    // ---- the window's own widgets, by their old names (the areas' widgets are reached through the
    // areas' controllers above): the splitters, the five panes they place, the metadata pane's
    // caption and tab strip, and the status bar with its progress bar.
    tf::Splitter* splMain() const { return m_splMain; }
    tf::Splitter* splRight() const { return m_splRight; }
    tf::Splitter* splView() const { return m_splView; }
    tf::Splitter* splLeft() const { return m_splLeft; }
    QWidget* picBrowse() const { return m_picBrowse; }
    QWidget* PicMetadata() const { return m_PicMetadata; }
    QWidget* picFolder() const { return m_picFolder; }
    QWidget* picView() const { return m_picView; }
    QWidget* PicQueue() const { return m_PicQueue; }
    // Whether the removal of what killed runs left (started by the set-up, beside the window) has
    // ended; WorkFilesOfDeadRunsRemoved says when.
    bool workFilesOfDeadRunsRemoved() const { return m_deadRunsCleanedUp; }

    QLabel* lblMetadata() const { return m_lblMetadata; }
    tf::TabStrip* tbsMetadata() const { return m_tbsMetadata; }
    tf::StatusBar* sbMain() const { return m_sbMain; }
    QProgressBar* pbQueue() const { return m_pbQueue; }

signals:
    // Raised by CmdPreviewEdit_Click after the panes were detached, before the layout.
    void EditModeEntering();
    // Raised by CmdPreviewEdit_Click after the panes were attached again, before the layout.
    void EditModeLeaving();
    // The start's removal of what killed runs left has ended.
    void WorkFilesOfDeadRunsRemoved();

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
    void buildMenuBar();
    // The menu bar shows while one of its menus is on show.
    void subShowMenuBar();

    void subSetup();
    void startDeadRunCleanup();
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
    // Made once in the constructor and owned by the window (objectName: the name without "m_").
    tf::Splitter* m_splMain = nullptr;
    tf::Splitter* m_splRight = nullptr;
    tf::Splitter* m_splView = nullptr;
    tf::Splitter* m_splLeft = nullptr;
    QWidget* m_picBrowse = nullptr;
    QWidget* m_PicMetadata = nullptr;
    QWidget* m_picFolder = nullptr;
    QWidget* m_picView = nullptr;
    QWidget* m_PicQueue = nullptr;
    QLabel* m_lblMetadata = nullptr;
    tf::TabStrip* m_tbsMetadata = nullptr;
    tf::StatusBar* m_sbMain = nullptr;
    QProgressBar* m_pbQueue = nullptr;
    // The edit list's and the metadata lists' pictures, handed to those areas.
    tf::ImageList* m_ilEdit = nullptr;
    tf::ImageList* m_ilMetadata = nullptr;
    // The hidden document the basket writes its pages through.
    tf::ImageDocument* m_ibTemp = nullptr;

    // Form-level state named by the start-up (the browsing state, mstrDragSourceList,
    // mblnSuppressItemShow and mblnOptimizedPreview, is the browse controller's).
    bool mblnFirstResize = true;
    bool mblnFolderChosen = false;
    bool blnPreviewPending = false;
    int16_t mintToolMode = 0;

    BasketController* m_basket = nullptr;
    BrowseController* m_browse = nullptr;
    tf::EditingController* m_editing = nullptr;
    MetadataController* m_metadata = nullptr;
    // ibMain's printer, which the preview's Print and the basket's share, and the preview's Print.
    std::unique_ptr<tf::ImagePrinter> m_ibMainPrinter;
    tf::PreviewPrintCommand* m_previewPrint = nullptr;
    tf::BatchPrintCommands* m_batchPrint = nullptr;
    tf::ControlSaveAs* m_controlSaveAs = nullptr;
    // The show builders: the preview's effect show and the basket's slide show or screen saver.
    tf::PlayerCommands* m_players = nullptr;
    std::unique_ptr<BrowseFolderFiles> m_folderFiles;
    // Watched: a button another part of the program took down before the shutdown is skipped there.
    QList<QPointer<QPushButton>> m_pictureButtons;
    QString m_strHelpFile;
    bool m_ended = false;
    std::thread m_deadRunCleanup;
    std::atomic<bool> m_stopDeadRunCleanup{false};
    bool m_deadRunsCleanedUp = false;
    bool m_resizing = false;
};
