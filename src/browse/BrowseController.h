#pragma once
// The browse pane and the preview pane of the main window: the folder tree and the folder list
// with its thumbnails or details, the previewed file with fit, zoom and scrolling, its status
// panels, and previous/next through the folder list or the basket. The controller builds these
// widgets into the panes the window gives it and owns them; the window only places them.
#include "browse/BrowseServices.h"
#include "browse/EditedPreview.h"
#include "browse/FolderListing.h"
#include "browse/modFolderView.h"
#include "frame/LatestWork.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/reportview.h"
#include "platform/ui/tabstrip.h"

#include <QImage>
#include <QLabel>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tf::decode {
class DecodeFeed;
struct DecodeResult;
} // namespace tf::decode
template <typename T>
class QFutureWatcher;

class ImageBox;
class QAbstractButton;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QTabBar;
class QTreeView;

namespace tf {
class FolderTreeView;
class Splitter;
class StatusBar;
class TabStrip;
} // namespace tf

// Where the controller builds its widgets, and the window's parts it works on besides them.
struct BrowsePanes {
    QWidget* picBrowse = nullptr;      // required: lblBrowse, tbsBrowse, picFileSystem with ftvBrowse
    QWidget* picFolder = nullptr;      // required: lblFolder, PicToolbarFolder and its buttons, lvFolder
    QWidget* picView = nullptr;        // required: picToolbarPreview and its buttons, PicViewImage
                                       // with ibMain and PicTiff, vsbView, hsbView
    tf::StatusBar* sbMain = nullptr;   // required; panels "folder", "filename", "pages",
                                       // "resolution", "metadata", "status"
    QProgressBar* pbQueue = nullptr;   // required

    // The metadata pane, which the preview shows and hides (optional)
    tf::Splitter* splView = nullptr;   // with picView and PicMetadata
    QWidget* PicMetadata = nullptr;
    QTabBar* tbsMetadata = nullptr;    // tab 0 EXIF, tab 1 IPTC

    // The window's client area, whose coordinates place the menu of the preview's title
    // (optional: the window itself without it).
    QWidget* client = nullptr;

    // The file icon of details mode and of the "filename" panel; the desktop's file icon if null.
    QPixmap iDetailIcon;
};

// One selected row of the folder list, as plain data: its place (1-based) and its file.
struct SelectedFolderFile {
    int index = 0;
    tf::FolderFile file;
};

class BrowseController : public QObject, public tf::EditedPreview {
    Q_OBJECT
public:
    BrowseController(const BrowsePanes& panes, const tf::BrowseServices& services, QObject* parent = nullptr);
    ~BrowseController() override;

    // The basket list, whose pages are previewed and walked too; it belongs to the basket area,
    // which is made after this one. Null detaches it. Its model gives each page's file in
    // tf::kPathRole and its resolution and size texts in columns 1 and 2.
    void setBasketList(QTreeView* lvPages);

    // ---- its widgets, by their old names (each one's objectName too)
    // browse pane
    QLabel* lblBrowse() const { return m_lblBrowse; }
    tf::TabStrip* tbsBrowse() const { return m_tbsBrowse; }
    QWidget* picFileSystem() const { return m_picFileSystem; }
    tf::FolderTreeView* ftvBrowse() const { return m_ftvBrowse; }
    // folder list pane
    QLabel* lblFolder() const { return m_lblFolder; }
    QWidget* PicToolbarFolder() const { return m_PicToolbarFolder; }
    tf::ReportView* lvFolder() const { return m_lvFolder; }
    QPushButton* cmdThumbnailFolder() const { return m_cmdThumbnailFolder; }
    QPushButton* cmdDetailFolder() const { return m_cmdDetailFolder; }
    QPushButton* cmdTwainAcquire() const { return m_cmdTwainAcquire; }
    QPushButton* cmdCapture() const { return m_cmdCapture; }
    QPushButton* cmdBrowseSettings() const { return m_cmdBrowseSettings; }
    QPushButton* cmdBrowseAbout() const { return m_cmdBrowseAbout; }
    // preview pane
    QWidget* picToolbarPreview() const { return m_picToolbarPreview; }
    QLabel* Label4() const { return m_Label4; }
    QPushButton* cmdPreviewPrevious() const { return m_cmdPreviewPrevious; }
    QPushButton* cmdPreviewNext() const { return m_cmdPreviewNext; }
    QPushButton* cmdPreviewView() const { return m_cmdPreviewView; }
    QPushButton* cmdPreviewType() const { return m_cmdPreviewType; }
    QPushButton* CmdPreviewEdit() const { return m_CmdPreviewEdit; }
    QPushButton* cmdPreviewSave() const { return m_cmdPreviewSave; }
    QPushButton* cmdPreviewPrint() const { return m_cmdPreviewPrint; }
    QWidget* PicViewImage() const { return m_PicViewImage; }
    ImageBox* ibMain() const { return m_ibMain; }
    QLabel* PicTiff() const { return m_PicTiff; }
    QScrollBar* vsbView() const { return m_vsbView; }
    QScrollBar* hsbView() const { return m_hsbView; }

    // ---- the folder's files as plain data
    const tf::FolderListing& folderListing() const { return m_listing; }
    // The selected rows of the folder list, in the order the list shows them.
    std::vector<SelectedFolderFile> selectedFolderFiles() const;
    // A file's resolution learnt elsewhere (the basket read it) goes into its row's texts.
    void learnResolution(const QString& path, const QString& resolution);

    // A listing is under way: rows whose facts or picture have not come yet.
    bool listingBusy() const { return !m_waiting.empty(); }
    // The shown file is still on its way: its load waits for a decoder, the editing tasks are
    // replayed on it ("Optimized"), or its metadata is being read.
    bool previewPending() const { return m_preview.request >= 0 || m_previewReplay.pending() || m_metadataPending; }

    // ---- form state, by its old names
    // The list that last had the focus: "lvFolder" or "lvPages" (the old mstrDragSourceList).
    QString dragSourceList() const { return m_dragSourceList; }
    // While true, mouse-up and arrow keys on the two lists do not show the selected file.
    bool mblnSuppressItemShow = true;
    // Selected rows of the list whose item was last clicked, counted at that click.
    int mintSelectedCount = 0;
    // "Optimized" is the preview type: every newly shown file gets the edit list replayed.
    bool mblnOptimizedPreview = false;

    // The thumbnails of the current listing. Each file keeps the number of its own picture, so
    // sorting the rows or a listing that changed mode half-way never pairs a row with another
    // file's picture.
    tf::ImageList& ilFolder() { return m_ilFolder; }
    // The own thumbnail of the file behind a row of lvFolder, null when it was listed without one
    // (or its picture could not be made, or is still being made).
    QPixmap fncFolderThumbnail(const QModelIndex& row) const;
    QPixmap fncFolderThumbnail(int number) const { return m_ilFolder.image(number); }
    // The folder the list shows (the path of the old hidden file list).
    QString fileMainPath() const { return m_fileMainPath; }

    // The shown file: its path, empty while none is shown (also after a failed load).
    QString PicTiffTag() const { return m_picTiffTag; }
    // The picture the shared loader made for the shown file (types the control does not read).
    QImage PicTiffPicture() const { return m_picTiffPicture; }
    // For code that puts another image into ibMain: the shown file is no longer shown, so
    // choosing its row again loads it again.
    void subForgetShownFile();
    // EditedPreview: what the editing mode works on.
    ImageBox& previewBox() override { return *m_ibMain; }
    const tf::ImageSnapshot& originalImage() const override { return m_originalImage; }
    bool optimizedPreview() const override { return mblnOptimizedPreview; }
    void showEditMode(bool editing) override;
    void popupPreviewMenu(const QPoint& globalPos) override;
    // The image as loaded is let go (shutdown).
    void releaseOriginalImage() { m_originalImage = tf::ImageSnapshot{}; }

    // A captured or scanned picture, saved as `path`, becomes the shown file: in the preview, as
    // the image as loaded, with the metadata lists emptied and the IPTC list read from that file,
    // the status panels naming it, and the window laid out again (subResize).
    void showCapturedPicture(const QImage& picture, const QString& path);

    // The preview menus, by their old names; entries by index, each named "<array>_<index>"
    // ("mnuPreviewFit_1") as the window names its control arrays.
    QMenu* mnuPreviewParent() const { return m_mnuPreviewParent.get(); }
    QMenu* mnuPreviewFitParent() const { return m_mnuPreviewFitParent.get(); }
    QMenu* mnuPreviewTypeParent() const { return m_mnuPreviewTypeParent.get(); }
    QMenu* mnuSavePreviewAsParent() const { return m_mnuSavePreviewAsParent.get(); }
    QAction* mnuPreview(int index) const;
    QAction* mnuPreviewFit(int index) const;
    QAction* mnuPreviewType(int index) const;
    QAction* mnuSavePreviewAs(int index) const;
    // The folder list's menu ("Add to basket") and the browse bar's About menu (its separator is
    // entry 2, as in the window's menu arrays).
    QMenu* mnuContextFolderParent() const { return m_mnuContextFolderParent.get(); }
    QMenu* mnuAboutParent() const { return m_mnuAboutParent.get(); }
    QAction* mnuAbout(int index) const;
    // The maker's pages the About menu opens.
    static QString homePageAddress();
    static QString tutorialAddress();

    // The folder the tree shows, for storing TreeFolder; empty without a tree.
    QString SelectedFolder() const;

signals:
    // Every row of the folder listed last has its facts and its picture (or the reason it has none).
    void folderListed();
    // The file asked for last is shown, or its failure is.
    void previewSettled();
    // The folder list's chosen files go to the basket (Enter, a double click, its menu).
    void addToBasketRequested();
    // The basket was right-clicked: its menu, at the pointer, with the rows chosen at the click.
    void basketMenuRequested(const QPoint& globalPos, int selectedCount);
    // The About menu's "Help Manual" and "About Tavrel Folio".
    void helpManualRequested();
    void aboutBoxRequested();

public slots:
    // ---- folder view
    // Opens the tree at the folder, which lists it (start-up: the saved TreeFolder). Without a
    // tree the folder is listed directly.
    void subOpenFolder(const QString& folder);
    void ftvBrowse_FolderSelected(const QString& folder);
    void subShowFilesInFolder(const QString& folder);
    void cmdDetailFolder_Click();
    void cmdThumbnailFolder_Click();
    // Stops the running listing: the rows stay, pictures not made yet are not made.
    void stopListing();
    // The shown folder changed on disk: rows of files that went away go, new files get rows, and
    // files that changed get their facts and picture again. The selection and the scroll position
    // stay; the rest of the rows are not read again.
    void relistShownFolder();
    // The rows' Size texts in the style the settings now say (short or long).
    void subUpdateSizeTexts();

    // ---- preview
    void fncReadFile(const QString& path, ImageBox* control);
    // Shows the file behind a row of either list (an index of the list's view).
    void subShowSelectedFile(const QModelIndex& row);
    void subShowMetadataPane(bool showExif, bool showIptc);
    void subFixedSizeTiff();
    void subFitPreview();
    // Places the preview bar's items for a pane of this width, in as many rows as they need so
    // that none is cut at the pane's edge; gives the bar's height.
    int subArrangePreviewToolbar(int width);
    void subFitPreview(QWidget* viewport, ImageBox* control, QScrollBar* hsb, QScrollBar* vsb);
    void subScrollPreviewVertical(ImageBox* control, QScrollBar* vsb);
    void subScrollPreviewHorizontal(ImageBox* control, QScrollBar* hsb);
    static void subCentrePicture(QWidget* container, QWidget* picture);
    void subShowPreviousFile(QTreeView* list);
    void subShowNextFile(QTreeView* list);

    void cmdPreviewNext_Click();
    void cmdPreviewPrevious_Click();
    void cmdPreviewView_Click();
    void cmdPreviewType_Click();
    void cmdPreviewSave_Click();
    void cmdPreviewPrint_Click();
    void mnuPreview_Click(int index);
    void mnuPreviewFit_Click(int index);
    void mnuPreviewType_Click(int index);
    void mnuSavePreviewAs_Click(int index);
    // The pane's title: the zoom, type and save menus join the window's menu bar, and the preview
    // menu pops up under the title.
    void Label4_Click();

    // The record's PreviewFit and PreviewType onto the menus and buttons (settings applied), and
    // back into the record (shutdown).
    void subUpdatePreviewSettings();
    void subStorePreviewSettings();

    // ---- list events that show a file. The controller hears them itself (focus, key release,
    // mouse release on the two lists it was given); key is a Qt::Key, button 1 left, 2 right.
    void lvFolder_ColumnClick(int column);
    void lvFolder_GotFocus();
    void lvFolder_ItemClick();
    void lvFolder_KeyUp(int key);
    void lvFolder_MouseUp(int button);
    void lvPages_GotFocus();
    void lvPages_LostFocus();
    void lvPages_ItemClick();
    void lvPages_KeyUp(int key);
    void lvPages_MouseUp(int button);
    void lvFolder_KeyPress(int key, Qt::KeyboardModifiers modifiers);
    void lvFolder_DblClick();
    // A right button's mouse-up at a point of the screen (the menu opens there).
    void lvFolder_MouseUp(int button, const QPoint& globalPos);
    void lvPages_MouseUp(int button, const QPoint& globalPos);
    void lvFolder_OLEDragDrop();
    void mnuContextFolder_Click(int index);
    void cmdBrowseAbout_Click();
    void mnuAbout_Click(int index);
    // The basket menu's "Save As": the basket's chosen page is saved, shown first when another
    // file is (the save waits for it to be shown).
    void subSaveSelectedPage(QTreeView* list);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildBrowsePane(QWidget* picBrowse);
    void buildFolderPane(QWidget* picFolder);
    void buildPreviewPane(QWidget* picView);
    // The listing's file behind a row of lvFolder (0-based), -1 for none.
    int listingIndex(const QModelIndex& row) const;
    // Shows the row (as the list shows it, 0-based) and makes it the list's one selected row, as
    // previous and next do.
    void subShowRowAndSelectIt(QTreeView* list, int viewRow);
    void attachFolderIcons(bool thumbnails);
    bool showsThumbnails() const;

    // ---- the listing: rows from the names at once, facts from a worker, pictures from decoders
    enum ListingPart : unsigned { kFactsPart = 1, kPicturePart = 2 };
    void cancelListing();
    int addListedFile(const QString& path);
    void requestFacts(const std::vector<int>& ids, bool refresh);
    void requestPicture(int id, const QString& path);
    void takeFacts(int id, const FolderFileFacts& facts, bool refresh);
    void takePicture(int request, const tf::decode::DecodeResult& answer);
    void partArrived(int id, unsigned parts);
    void finishListing();
    // The picture a folder row shows: its thumbnail, or a sheet while it has none of its own
    // (still coming, or torn when it could not be made); the file icon in details mode.
    QVariant folderPicture(const tf::FolderFile& file) const;

    // ---- the preview
    void takePreview(int request, const tf::decode::DecodeResult& answer);
    // The loaded (and replayed) file into the pane, its panels and its row.
    void finishPreview();
    void describeShownRow();
    // The preview has nothing left on its way.
    void settlePreview();
    // The editing tasks on the shown image ("Optimized" preview), replayed on a worker; the image
    // is replaced when the replay lands and `then` runs after it. A newer replay or load drops it.
    void replayOnPreview(ImageBox& control, std::function<void()> then);
    // The shown file's metadata into the lists, read on a worker.
    void readShownMetadata(const QString& path, bool exif, bool iptc, bool describe);
    // Drops the replay and the metadata read still on their way.
    void dropPreviewWork();
    void showLoadFailure(const QString& path, bool missing);
    void showSelectedRowOf(QTreeView* list);
    void selectionCount(QTreeView* list);
    void callResize();
    void popupBelow(QMenu* menu, QAbstractButton* button);
    void syncMenuChecks();
    bool handleListEvent(QTreeView* list, QObject* watched, QEvent* event);

    struct WindowParts {
        tf::StatusBar* sbMain = nullptr;
        QProgressBar* pbQueue = nullptr;
        tf::Splitter* splView = nullptr;
        QWidget* picView = nullptr;
        QWidget* PicMetadata = nullptr;
        QWidget* client = nullptr;
        QTabBar* tbsMetadata = nullptr;
        QPixmap iDetailIcon;
    } w;
    tf::BrowseServices m_services;

    // Guarded: a widget the window takes down early is not touched through a stale pointer.
    QPointer<QLabel> m_lblBrowse;
    QPointer<tf::TabStrip> m_tbsBrowse;
    QPointer<QWidget> m_picFileSystem;
    QPointer<tf::FolderTreeView> m_ftvBrowse;
    QPointer<QLabel> m_lblFolder;
    QPointer<QWidget> m_PicToolbarFolder;
    QPointer<tf::ReportView> m_lvFolder;
    QPointer<QPushButton> m_cmdThumbnailFolder;
    QPointer<QPushButton> m_cmdDetailFolder;
    QPointer<QPushButton> m_cmdTwainAcquire;
    QPointer<QPushButton> m_cmdCapture;
    QPointer<QPushButton> m_cmdBrowseSettings;
    QPointer<QPushButton> m_cmdBrowseAbout;
    QPointer<QWidget> m_picToolbarPreview;
    QPointer<QLabel> m_Label4;
    // The preview bar's items in their order, each with its design width and the room before it.
    struct PreviewToolbarItem {
        QPointer<QWidget> widget;
        int width = 0;
        int gapBefore = 0;
    };
    std::vector<PreviewToolbarItem> m_previewToolbarItems;
    QPointer<QPushButton> m_cmdPreviewPrevious;
    QPointer<QPushButton> m_cmdPreviewNext;
    QPointer<QPushButton> m_cmdPreviewView;
    QPointer<QPushButton> m_cmdPreviewType;
    QPointer<QPushButton> m_CmdPreviewEdit;
    QPointer<QPushButton> m_cmdPreviewSave;
    QPointer<QPushButton> m_cmdPreviewPrint;
    QPointer<QWidget> m_PicViewImage;
    QPointer<ImageBox> m_ibMain;
    QPointer<QLabel> m_PicTiff;
    QPointer<QScrollBar> m_vsbView;
    QPointer<QScrollBar> m_hsbView;

    tf::FolderListing m_listing;
    tf::ColumnSortProxy m_folderSort; // the order the folder list shows; it outlives a listing
    bool m_showsThumbnails = false;
    QString m_dragSourceList = QStringLiteral("lvFolder");
    tf::ImageList m_ilFolder{QSize()};
    QString m_fileMainPath;
    bool m_listingThumbnails = false;
    QSize m_listingThumbSize; // the size the listing's thumbnails were asked at
    // The running listing's pictures (or page counts); a newer listing drops it with its answers.
    QPointer<tf::decode::DecodeFeed> m_listingFeed;
    std::unordered_map<int, int> m_requestFile; // the feed's request → the file's id
    std::unordered_map<int, unsigned> m_waiting; // file id → ListingParts still to come
    int m_nextFileId = 0;
    int m_listingTotal = 0;
    int m_listingDone = 0;
    bool m_listingShowsProgress = false;
    bool m_relistWanted = false;
    // The listed files (names, sizes, times) as the rows show them; empty when not known.
    QByteArray m_shownFiles;
    QFutureWatcher<FolderFileFacts>* m_facts = nullptr;

    QString m_picTiffTag;
    QImage m_picTiffPicture;
    // The shown image as loaded or captured, before any task (the old gvarOriginalImage).
    tf::ImageSnapshot m_originalImage;
    // What the row being shown says of its file, taken before the load (the row may go away
    // while the edit list is replayed).
    QString m_rowPages;
    QString m_rowResolution;
    QString m_rowSize;
    uint64_t m_loadGeneration = 0;
    // The load asked for last. A newer one supersedes it; its answer, if it still comes, is dropped.
    struct PendingPreview {
        int request = -1; // the preview feed's request, -1 when none is waited for
        QString path;
        QString name;
        QPointer<ImageBox> control;
        bool throughControl = false;
        // The row being shown, described once the file is (invalid for a bare fncReadFile, and
        // once the row is gone): the listing's or the basket's own row.
        QPersistentModelIndex row;
        QPointer<QAbstractItemModel> rowModel;
        bool fromFolder = false;
    } m_preview;
    QPointer<tf::decode::DecodeFeed> m_previewFeed;
    tf::LatestWork m_previewReplay;
    bool m_metadataPending = false;

    int m_previewFitChecked = 0;  // 0 "Best Fit", 1 "Actual Size"
    int m_previewTypeChecked = 0; // 0 "Original", 1 "Optimized"
    std::unique_ptr<QMenu> m_mnuPreviewParent;
    std::unique_ptr<QMenu> m_mnuPreviewFitParent;
    std::unique_ptr<QMenu> m_mnuPreviewTypeParent;
    std::unique_ptr<QMenu> m_mnuSavePreviewAsParent;
    std::array<QAction*, 5> m_mnuPreview{};
    std::array<QAction*, 2> m_mnuPreviewFit{};
    std::array<QAction*, 2> m_mnuPreviewType{};
    std::array<QAction*, 2> m_mnuSavePreviewAs{};

    QPointer<tf::ReportView> m_folderList;
    QPointer<QWidget> m_folderViewport;
    QPointer<QTreeView> m_pagesList;
    QPointer<QWidget> m_pagesViewport;
    bool m_redeliveringRelease = false;

    std::unique_ptr<QMenu> m_mnuContextFolderParent;
    std::unique_ptr<QMenu> m_mnuAboutParent;
    std::array<QAction*, 5> m_mnuAbout{};
    // The page the basket menu's "Save As" waits to see shown.
    QString m_saveWhenShown;
};
