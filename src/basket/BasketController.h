#pragma once
// The basket pane of the main window and its commands: adding folder files (by the add button and
// by dropping folder rows), moving pages by drag, deleting, sorting by a column caption, New
// basket, basket files, and the multipage save and append. The pages are a BasketModel; lvPages
// shows it. The controller builds the pane's widgets itself; the window only places them.
#include "basket/basketModel.h"
#include "platform/imagebox/imagebox_document.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QWidget;

namespace tf {
class ImageList;
class ReportView;
class MultiPageCommands;
class StatusBar;
class TaskReplayer;
class LongCommand;
namespace basket {
class BasketAdding;
struct AddSource;
} // namespace basket
} // namespace tf

// One file chosen in the folder list, as the folder list shows it.
struct FolderFile {
    int index = 0;      // its row in the folder list (from 1)
    QString text;       // the name with its extension
    QString tag;        // the path
    QString resolution; // "W X H", blank when not known yet
    QString sizeText;
    QString pages;      // the page count as the list states it
    QString typeText;
    QImage thumbnail;   // the list's own picture of it; null when the list shows none
};

// What the basket needs of the folder list. The program implements it over the browse area.
class FolderFiles {
public:
    virtual ~FolderFiles() = default;
    // How many files the folder list shows.
    virtual int folderFileCount() const = 0;
    // The chosen (selected) files, in list order.
    virtual std::vector<FolderFile> chosenFolderFiles() const = 0;
    // The folder the list shows, put back in the "folder" panel after adding.
    virtual QString currentFolder() const = 0;
    // The folder list learns a file's size the basket read from the file.
    virtual void learnResolution(const QString& tag, const QString& resolution) = 0;
    // Whether a drag comes from the folder list.
    virtual bool isFolderDrag(const QObject* source) const = 0;
    // The list that last had the focus, "lvFolder" or "lvPages" (the window's mstrDragSourceList):
    // a drop on the basket adds folder files or moves pages by it.
    virtual QString dragSourceList() const = 0;
};

// What the window hands the basket when it is made.
struct BasketSetup {
    QWidget* owner = nullptr;          // owner of the dialogs
    QWidget* pane = nullptr;           // PicQueue: the pane the basket's widgets are built in
    tf::StatusBar* sbMain = nullptr;   // panels "folder" and "queue"
    QProgressBar* pbQueue = nullptr;
};

class BasketController : public QObject {
    Q_OBJECT
public:
    // ibTemp: the working document the pages are written through.
    BasketController(const BasketSetup& setup, FolderFiles& folder, tf::ImageDocument& ibTemp,
                     tf::TaskReplayer& replayer, QObject* parent = nullptr);
    ~BasketController() override;

    tf::basket::BasketModel& model() { return m_model; }
    tf::ImageList* ilPages() const { return m_ilPages; }
    tf::MultiPageCommands* multiPage() const { return m_multiPage; }

    // Files are being added (chosen, dropped or named by a basket file); addingFinished() follows.
    bool isAdding() const;
    // Replaces the basket with the files a basket file names, added as they are read. False, with
    // the basket as it was and the error reported, when the file cannot be read; refused (true,
    // nothing changed) while another long command runs.
    bool openBasketFile(const QString& fileName);

    // The pane's widgets, each with its old name as objectName.
    tf::ReportView* lvPages() const { return m_lvPages; }
    QLabel* lblQueue() const { return m_lblQueue; }
    QWidget* picLiveBar() const { return m_picLiveBar; }
    QPushButton* cmdAddToQueue() const { return m_cmdAddToQueue; }
    QPushButton* cmdSaveAs() const { return m_cmdSaveAs; }
    QPushButton* cmdsaveAppend() const { return m_cmdsaveAppend; }
    QPushButton* cmdBatchPrint() const { return m_cmdBatchPrint; }
    QPushButton* cmdPagesNew() const { return m_cmdPagesNew; }
    QPushButton* cmdPagesOpen() const { return m_cmdPagesOpen; }
    QPushButton* cmdPagesSave() const { return m_cmdPagesSave; }
    QPushButton* cmdPagesDelete() const { return m_cmdPagesDelete; }
    // The basket's own menu: 0 "Save As", 1 "Rename title", 2 "Remove from basket".
    QMenu* mnuContextBasket() const { return m_mnuContextBasket; }
    QAction* mnuContext(int index) const;

public slots:
    void cmdAddToQueue_Click();
    // Adds the chosen folder files (a drop of folder rows on the basket).
    void subAddFilesToBasket();
    void subMoveListItems(int x, int y);
    void subDeleteSelectedItems();
    // A click on the caption of column columnIndex (1 = the name): the same column again turns
    // the order round, another column sorts ascending.
    void subSortListView(int columnIndex);
    void cmdPagesDelete_Click();
    void cmdPagesNew_Click();
    void cmdPagesSave_Click();
    void cmdPagesOpen_Click();

    // Drag over and drop on the basket (viewport pixels). Only drags that start in the folder
    // list or the basket itself count; anything else is ignored.
    void lvPages_OLEDragOver(QObject* source, const QPoint& pos);
    void lvPages_OLEDragDrop(QObject* source, const QPoint& pos);

    void subUpdateQueuePanel();

    // Right click on the basket: its menu at the pointer; with several pages chosen at the click
    // only "Remove from basket" applies.
    void lvPages_ContextMenu(const QPoint& globalPos, int selectedCount);
    void mnuContext_Click(int index);
    // Keys on the basket while it has pages: Ctrl+A chooses every page, Delete removes the chosen.
    void lvPages_KeyPress(int key, Qt::KeyboardModifiers modifiers);
    void lvPages_KeyUp(int key);

signals:
    // Something was dropped on the basket (the window stops showing rows on arrow keys).
    void droppedOnBasket();
    // New basket deleted these page files (full paths); whatever shows one should let it go.
    void pageFilesDeleted(const QStringList& paths);
    // An add ended, its pages in the basket and its message shown; not after a cancelled one.
    void addingFinished();
    // The basket menu's "Save As": the chosen page is to be saved as the preview saves.
    void savePageRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class AddWay { Button, Drop, BasketFile };
    void buildPane(QWidget* pane);
    bool isDragSource(const QObject* source) const;
    // What adding one folder file takes: its row as the basket shows it, and how it is split.
    tf::basket::AddSource folderFileSource(const FolderFile& file, AddWay way) const;
    // Adds the sources as one job that holds `command` until it ends.
    void startAdding(std::vector<tf::basket::AddSource> sources, AddWay way, std::unique_ptr<tf::LongCommand> command);
    void onSourceStarted(int index);
    void onPageStarting(int index, int page, int pageCount);
    void onSourceDone(int index, int lastRow);
    void onAddingFinished(const QStringList& failed);
    // Stops a running add: nothing more lands in the basket. display: the panels and the progress
    // bar are put back as an add leaves them.
    void cancelAdding(bool display = true);
    // The panels and the progress bar as they are after an add.
    void endAddingDisplay();
    void setPanel(const QString& key, const QString& text);
    void setProgress(int maximum, int value);
    bool refuseWhileBusy() const;
    // A second long command is refused while one runs (the user hears it).
    bool refuseSecondCommand() const;

    BasketSetup w;
    FolderFiles& m_folder;
    tf::basket::BasketModel m_model;
    tf::ImageList* m_ilPages = nullptr;
    tf::MultiPageCommands* m_multiPage = nullptr;
    QPointer<tf::basket::BasketAdding> m_adding;
    std::unique_ptr<tf::LongCommand> m_addCommand;
    AddWay m_addWay = AddWay::Button;
    int m_addTotal = 0;
    // Files a basket file named that were not there; told with the files the add could not read.
    QStringList m_missingFiles;
    QSet<QString> m_rowsWithoutSize; // folder rows that learn the size the add reads
    QStringList m_lstUniqueFiles;
    QPointer<QWidget> m_pagesViewport;

    tf::ReportView* m_lvPages = nullptr;
    // The caption the user clicked last and its order (0 ascending, 1 descending).
    int m_sortKey = 0;
    int m_sortOrder = 0;
    bool m_sorted = false;
    QLabel* m_lblQueue = nullptr;
    QWidget* m_picLiveBar = nullptr;
    QPushButton* m_cmdAddToQueue = nullptr;
    QPushButton* m_cmdSaveAs = nullptr;
    QPushButton* m_cmdsaveAppend = nullptr;
    QPushButton* m_cmdBatchPrint = nullptr;
    QPushButton* m_cmdPagesNew = nullptr;
    QPushButton* m_cmdPagesOpen = nullptr;
    QPushButton* m_cmdPagesSave = nullptr;
    QPushButton* m_cmdPagesDelete = nullptr;
    QMenu* m_mnuContextBasket = nullptr;
    std::array<QAction*, 3> m_mnuContext{};
};
