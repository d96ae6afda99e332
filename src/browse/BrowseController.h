#pragma once
// The browse pane and the preview pane of the main window: the folder tree and the folder list
// with its thumbnails or details, the previewed file with fit, zoom and scrolling, its status
// panels, and previous/next through the folder list or the basket. The main window builds the
// widgets and hands them over; this object owns the state and the handlers.
#include "platform/ui/imagelist.h"

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class ImageBox;
class QAbstractButton;
class QAction;
class QMenu;
class QProgressBar;
class QScrollBar;
class QTabBar;
class QTreeWidgetItem;

namespace tf {
class FolderTreeView;
class ListView;
class Splitter;
class StatusBar;
} // namespace tf

// The widgets of the main window the controller works on. The main window keeps them; those
// marked optional may be null (their part then does nothing).
struct BrowseWidgets {
    // ---- browse pane
    tf::FolderTreeView* ftvBrowse = nullptr; // optional; its FolderClick lists the folder
    tf::ListView* lvFolder = nullptr;      // required
    tf::StatusBar* sbMain = nullptr;       // required; panels "folder", "filename", "pages",
                                           // "resolution", "metadata", "status"
    QProgressBar* pbQueue = nullptr;       // required
    QAbstractButton* cmdDetailFolder = nullptr;    // optional
    QAbstractButton* cmdThumbnailFolder = nullptr; // optional

    // ---- preview pane
    ImageBox* ibMain = nullptr;            // required, a child of PicViewImage
    QWidget* PicViewImage = nullptr;       // required: the viewport
    QScrollBar* hsbView = nullptr;         // required
    QScrollBar* vsbView = nullptr;         // required
    tf::Splitter* splView = nullptr;       // optional, with picView and PicMetadata
    QWidget* picView = nullptr;
    QWidget* PicMetadata = nullptr;
    QTabBar* tbsMetadata = nullptr;        // optional; tab 0 EXIF, tab 1 IPTC
    tf::ListView* lvExif = nullptr;        // optional
    tf::ListView* lvIPTC = nullptr;        // optional
    QAbstractButton* cmdPreviewView = nullptr;     // the rest optional
    QAbstractButton* cmdPreviewType = nullptr;
    QAbstractButton* cmdPreviewSave = nullptr;
    QAbstractButton* cmdPreviewPrint = nullptr;
    QAbstractButton* cmdPreviewPrevious = nullptr;
    QAbstractButton* cmdPreviewNext = nullptr;

    // ---- the basket, whose pages are previewed too (optional)
    tf::ListView* lvPages = nullptr;

    // The file icon of details mode and of the "filename" panel; the desktop's file icon if null.
    QPixmap iDetailIcon;
};

// What the preview needs from the other areas of the main window. Each may stay empty; the
// step it stands for is then skipped.
struct BrowseHooks {
    // frmMain.subResize: lays out all panes (and calls subFitPreview).
    std::function<void()> subResize;
    // Fill lvExif / lvIPTC with the shown file's EXIF / IPTC data.
    std::function<void(ImageBox& control, tf::ListView& list, const QString& path)> ReadFileEXIFInfo;
    std::function<void(ImageBox& control, tf::ListView& list, const QString& path)> ReadFileIPTCInfo;
    // ImageBox.HasIptc of the shown image.
    std::function<bool(const ImageBox& control)> HasIptc;
    // subProcessPages(lvEdit, lvEditBatch, ibMain, lvEditPreview, false): the edit list replayed
    // on the previewed image.
    std::function<void()> subProcessPages;
    // The editing-mode toggle.
    std::function<void()> CmdPreviewEdit_Click;
    // The mouse tools' selection state back to none, and ImageBox.ClearSelection.
    std::function<void()> subClearSelection;
    // ImageBox.ShowPrintDialog = true, then ImageBox.PrintImage.
    std::function<void()> PrintImage;
    // In place of the control's own Save As (which asks for the file and the format).
    std::function<void()> SaveAs;
    // The effect slide show options window, modal, owned by the main window.
    std::function<void()> showExecutableOptions;
};

class BrowseController : public QObject {
    Q_OBJECT
public:
    explicit BrowseController(const BrowseWidgets& widgets, QObject* parent = nullptr);
    ~BrowseController() override;

    BrowseHooks hooks;

    // ---- form state, by its old names
    // A running listing is asked to stop at its next yield.
    bool mblnStopListing = false;
    // The list that last had the focus: "lvFolder" or "lvPages".
    QString mstrDragSourceList = QStringLiteral("lvFolder");
    // While true, mouse-up and arrow keys on the two lists do not show the selected file.
    bool mblnSuppressItemShow = true;
    // Selected rows of the list whose item was last clicked, counted at that click.
    int mintSelectedCount = 0;
    // "Optimized" is the preview type: every newly shown file gets the edit list replayed.
    bool mblnOptimizedPreview = false;

    // The thumbnails of the current listing. Each row keeps the number of its own picture, so
    // sorting the rows or a listing that changed mode half-way never pairs a row with another
    // file's picture.
    tf::ImageList& ilFolder() { return m_ilFolder; }
    // The row's own thumbnail, null when it was listed without one.
    QPixmap fncFolderThumbnail(const QTreeWidgetItem* row) const;
    // The folder the list shows (the path of the old hidden file list).
    QString fileMainPath() const { return m_fileMainPath; }

    // The shown file: its path, empty while none is shown (also after a failed load).
    QString PicTiffTag() const { return m_picTiffTag; }
    // The picture the shared loader made for the shown file (types the control does not read).
    QImage PicTiffPicture() const { return m_picTiffPicture; }
    // For code that puts another image into ibMain: the shown file is no longer shown, so
    // choosing its row again loads it again.
    void subForgetShownFile();

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

    // The folder the tree shows, for storing TreeFolder; empty without a tree.
    QString SelectedFolder() const;

public slots:
    // ---- folder view
    // Opens the tree at the folder, which lists it (start-up: the saved TreeFolder). Without a
    // tree the folder is listed directly.
    void subOpenFolder(const QString& folder);
    void ftvBrowse_FolderSelected(const QString& folder);
    void subShowFilesInFolder(const QString& folder);
    void cmdDetailFolder_Click();
    void cmdThumbnailFolder_Click();

    // ---- preview
    void fncReadFile(const QString& path, ImageBox* control);
    void subShowSelectedFile(QTreeWidgetItem* row);
    void subShowMetadataPane(bool showExif, bool showIptc);
    void subFixedSizeTiff();
    void subFitPreview();
    void subFitPreview(QWidget* viewport, ImageBox* control, QScrollBar* hsb, QScrollBar* vsb);
    void subScrollPreviewVertical(ImageBox* control, QScrollBar* vsb);
    void subScrollPreviewHorizontal(ImageBox* control, QScrollBar* hsb);
    static void subCentrePicture(QWidget* container, QWidget* picture);
    void subShowPreviousFile(tf::ListView* list);
    void subShowNextFile(tf::ListView* list);

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows the row and makes it the list's one selected row, as previous and next do.
    void subShowRowAndSelectIt(tf::ListView* list, QTreeWidgetItem* row);
    void attachFolderIcons(bool thumbnails);
    void showLoadFailure(const QString& path, bool missing);
    void showSelectedRowOf(tf::ListView* list);
    void selectionCount(tf::ListView* list);
    void callResize();
    void popupBelow(QMenu* menu, QAbstractButton* button);
    void syncMenuChecks();
    bool handleListEvent(tf::ListView* list, QObject* watched, QEvent* event);

    BrowseWidgets w;
    tf::ImageList m_ilFolder{QSize()};
    tf::ImageList m_illvFolder;
    QString m_fileMainPath;
    uint64_t m_listingGeneration = 0;

    QString m_picTiffTag;
    QImage m_picTiffPicture;
    // What the row being shown says of its file, taken before the load (the row may go away
    // while the edit list is replayed).
    QString m_rowPages;
    QString m_rowResolution;
    QString m_rowSize;
    uint64_t m_loadGeneration = 0;

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

    QPointer<tf::ListView> m_folderList;
    QPointer<QWidget> m_folderViewport;
    QPointer<tf::ListView> m_pagesList;
    QPointer<QWidget> m_pagesViewport;
    bool m_redeliveringRelease = false;
};
