// The browse pane: the folder tree, the folder list in thumbnail or details mode, and the list
// events that show the selected file in the preview.
#include "browse/BrowseController.h"

#include "browse/modFolderView.h"
#include "frame/LongCommand.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/listview.h"
#include "platform/ui/statusbar.h"
#include "services/clsFileInfo.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScrollBar>

namespace {

// Where a folder row keeps the number of its own picture in ilFolder (0: listed without one).
constexpr int kThumbnailRole = Qt::UserRole + 16;

constexpr tf::OleColor kWhite = 0xFFFFFF;

const QStringList& folderColumnCaptions()
{
    static const QStringList captions = {"File Name",    "Resolution",    "Size",         "Pages",
                                         "Type",         "Date Created",  "Date Modified", "Date Accessed"};
    return captions;
}

int vbButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

bool isArrowKey(int key) { return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right; }

// Focus that moves between the window's own controls; a window or a menu taking the focus for a
// moment is not the user going to another list.
bool isControlFocusChange(const QFocusEvent* event)
{
    return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}

} // namespace

BrowseController::BrowseController(const BrowseWidgets& widgets, QObject* parent) : QObject(parent), w(widgets)
{
    Q_ASSERT(w.lvFolder && w.sbMain && w.pbQueue && w.ibMain && w.PicViewImage && w.hsbView && w.vsbView);

    QPixmap icon = w.iDetailIcon;
    if (icon.isNull()) icon = QFileIconProvider().icon(QFileIconProvider::File).pixmap(16, 16);
    w.iDetailIcon = icon;
    m_illvFolder.Add(QString(), icon);

    if (w.lvFolder->ColumnCount() < folderColumnCaptions().size()) w.lvFolder->setColumnHeaders(folderColumnCaptions());
    // A click on a column caption sorts the rows by it, once; rows added later go to the end.
    w.lvFolder->header()->setSectionsClickable(true);
    connect(w.lvFolder->header(), &QHeaderView::sectionClicked, this, [this](int section) { lvFolder_ColumnClick(section + 1); });
    m_folderList = w.lvFolder;
    m_folderViewport = w.lvFolder->viewport();
    m_folderList->installEventFilter(this);
    m_folderViewport->installEventFilter(this);
    if (w.lvPages) {
        m_pagesList = w.lvPages;
        m_pagesViewport = w.lvPages->viewport();
        m_pagesList->installEventFilter(this);
        m_pagesViewport->installEventFilter(this);
    }

    // The tree keeps its own folder model; choosing a folder in it, by hand or by subOpenFolder,
    // lists that folder once.
    if (w.ftvBrowse) connect(w.ftvBrowse, &tf::FolderTreeView::FolderClick, this, &BrowseController::ftvBrowse_FolderSelected);
    if (w.cmdDetailFolder) connect(w.cmdDetailFolder, &QAbstractButton::clicked, this, &BrowseController::cmdDetailFolder_Click);
    if (w.cmdThumbnailFolder)
        connect(w.cmdThumbnailFolder, &QAbstractButton::clicked, this, &BrowseController::cmdThumbnailFolder_Click);

    // The preview scrolls with the pane's own bars: the control is sized to the image it shows.
    w.ibMain->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    w.ibMain->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(w.hsbView, &QScrollBar::valueChanged, this, [this] { subScrollPreviewHorizontal(w.ibMain, w.hsbView); });
    connect(w.vsbView, &QScrollBar::valueChanged, this, [this] { subScrollPreviewVertical(w.ibMain, w.vsbView); });

    const auto connectButton = [this](QAbstractButton* button, void (BrowseController::*slot)()) {
        if (button) connect(button, &QAbstractButton::clicked, this, slot);
    };
    connectButton(w.cmdPreviewView, &BrowseController::cmdPreviewView_Click);
    connectButton(w.cmdPreviewType, &BrowseController::cmdPreviewType_Click);
    connectButton(w.cmdPreviewSave, &BrowseController::cmdPreviewSave_Click);
    connectButton(w.cmdPreviewPrint, &BrowseController::cmdPreviewPrint_Click);
    connectButton(w.cmdPreviewPrevious, &BrowseController::cmdPreviewPrevious_Click);
    connectButton(w.cmdPreviewNext, &BrowseController::cmdPreviewNext_Click);

    // The menus: each entry calls its array's handler with its index.
    const auto makeMenu = [](const char* name, const QString& title) {
        auto menu = std::make_unique<QMenu>(title);
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    const auto addEntry = [this](QMenu* menu, const char* name, int index, const QString& caption, bool checkable,
                                 void (BrowseController::*handler)(int)) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QStringLiteral("%1_%2").arg(QString::fromLatin1(name)).arg(index));
        action->setData(index);
        action->setCheckable(checkable);
        connect(action, &QAction::triggered, this, [this, handler, index] { (this->*handler)(index); });
        return action;
    };
    m_mnuPreviewParent = makeMenu("mnuPreviewParent", "Preview");
    m_mnuPreview[0] = addEntry(m_mnuPreviewParent.get(), "mnuPreview", 0, "Edit/Enhance image", false, &BrowseController::mnuPreview_Click);
    m_mnuPreview[1] = m_mnuPreviewParent->addSeparator();
    m_mnuPreview[1]->setObjectName("mnuPreview_1");
    m_mnuPreview[1]->setData(1);
    m_mnuPreview[2] = addEntry(m_mnuPreviewParent.get(), "mnuPreview", 2, "Previous file", false, &BrowseController::mnuPreview_Click);
    m_mnuPreview[3] = addEntry(m_mnuPreviewParent.get(), "mnuPreview", 3, "Next file", false, &BrowseController::mnuPreview_Click);
    m_mnuPreview[4] = addEntry(m_mnuPreviewParent.get(), "mnuPreview", 4, "Print", false, &BrowseController::mnuPreview_Click);

    m_mnuPreviewFitParent = makeMenu("mnuPreviewFitParent", "Preview zoom");
    m_mnuPreviewFit[0] = addEntry(m_mnuPreviewFitParent.get(), "mnuPreviewFit", 0, "Best Fit", true, &BrowseController::mnuPreviewFit_Click);
    m_mnuPreviewFit[1] = addEntry(m_mnuPreviewFitParent.get(), "mnuPreviewFit", 1, "Actual Size", true, &BrowseController::mnuPreviewFit_Click);

    m_mnuPreviewTypeParent = makeMenu("mnuPreviewTypeParent", "Preview selection");
    m_mnuPreviewType[0] = addEntry(m_mnuPreviewTypeParent.get(), "mnuPreviewType", 0, "Original", true, &BrowseController::mnuPreviewType_Click);
    m_mnuPreviewType[1] = addEntry(m_mnuPreviewTypeParent.get(), "mnuPreviewType", 1, "Optimized", true, &BrowseController::mnuPreviewType_Click);

    m_mnuSavePreviewAsParent = makeMenu("mnuSavePreviewAsParent", "Save Preview As");
    m_mnuSavePreviewAs[0] = addEntry(m_mnuSavePreviewAsParent.get(), "mnuSavePreviewAs", 0, "Image document", false,
                                     &BrowseController::mnuSavePreviewAs_Click);
    m_mnuSavePreviewAs[1] = addEntry(m_mnuSavePreviewAsParent.get(), "mnuSavePreviewAs", 1, "Save As greeting image", false,
                                     &BrowseController::mnuSavePreviewAs_Click);
    syncMenuChecks();
}

BrowseController::~BrowseController()
{
    // A listing still unwinding below us must not take up its loop again.
    ++m_listingGeneration;
}

QPixmap BrowseController::fncFolderThumbnail(const QTreeWidgetItem* row) const
{
    if (!row) return {};
    return m_ilFolder.image(row->data(0, kThumbnailRole).toInt());
}

QString BrowseController::SelectedFolder() const { return w.ftvBrowse ? w.ftvBrowse->SelectedFolder() : QString(); }

// ---------------------------------------------------------------- folder view

void BrowseController::subOpenFolder(const QString& folder)
{
    QString path = folder;
    // The stored folder is a fixed-length text padded with blanks.
    if (!QFileInfo(path).isDir()) {
        while (path.endsWith(QLatin1Char(' '))) path.chop(1);
    }
    if (path.isEmpty()) return;
    if (!w.ftvBrowse) {
        ftvBrowse_FolderSelected(path);
        return;
    }
    // The tree raises no folder event for the folder it already shows: that one is listed here.
    const QString current = w.ftvBrowse->SelectedFolder();
    if (!current.isEmpty() && QFileInfo(path).absoluteFilePath() == QFileInfo(current).absoluteFilePath()) {
        ftvBrowse_FolderSelected(current);
        return;
    }
    w.ftvBrowse->setSelectedFolder(path);
}

void BrowseController::ftvBrowse_FolderSelected(const QString& folder)
{
    if (folder.isEmpty()) return;
    mblnStopListing = true;
    m_fileMainPath = folder;
    subShowFilesInFolder(folder);
}

void BrowseController::attachFolderIcons(bool thumbnails)
{
    tf::ImageList* images = thumbnails ? &m_ilFolder : &m_illvFolder;
    const QSize iconSize = thumbnails ? QSize(glngFolderThumbWidth, glngFolderThumbHeight) : QSize(16, 16);
    if (w.lvFolder->iconSize() != iconSize) w.lvFolder->setIconSize(iconSize);
    // Attaching shows every row's picture again; once per listing is enough.
    if (w.lvFolder->SmallIcons() != images) w.lvFolder->setSmallIcons(images);
}

void BrowseController::subShowFilesInFolder(const QString& folder)
{
    // Each listing has its own number. A listing started from an event handled during one of
    // this listing's yields (another folder chosen, the view switched) makes this one stale: it
    // then leaves at once and touches nothing, so the list holds the newer listing's rows only.
    const uint64_t generation = ++m_listingGeneration;
    const QPointer<BrowseController> alive(this);
    const auto superseded = [&] { return !alive || generation != m_listingGeneration; };
    m_fileMainPath = folder;

    try {
        gstrCurrentOperation = QStringLiteral("Showing files from selected folder");
        w.sbMain->setPanelText(QStringLiteral("folder"), fncFolderPanelText(folder));
        w.lvFolder->Clear();
        w.lvFolder->setSmallIcons(nullptr);
        m_ilFolder.Clear();
        tf::DoEvents();
        if (superseded()) return;

        const QStringList names = fncFolderFileNames(folder);
        if (names.isEmpty()) {
            // A listing this one replaced may have left the bar showing.
            w.pbQueue->hide();
            return;
        }
        mblnStopListing = false;
        const int count = static_cast<int>(names.size());
        w.pbQueue->setMaximum(count);
        w.pbQueue->setValue(0);
        w.pbQueue->show();

        tf::LoadPicOptions quiet;
        quiet.quiet = true;
        for (int i = 0; i < count; ++i) {
            gstrCurrentOperation = QStringLiteral("Looping through all available files");
            tf::DoEvents();
            if (superseded()) return;
            if (mblnStopListing) break;

            w.pbQueue->setMaximum(count);
            const QString path = fncFolderFilePath(folder, names[i]);
            // A file of its own: the shared description may be re-aimed by a handler that runs
            // during the yield below.
            clsFileInfo info;
            info.FilePath(path);
            const QString extension = fncFolderExtension(path);
            tf::DoEvents();
            if (superseded()) return;

            // A file that went away since the folder was read has no facts to show: left out.
            if (fncIsFolderImage(extension) && info.isValid()) {
                int32_t pages = 1;
                if (extension == QLatin1String("tif") || extension == QLatin1String("tiff")) pages = w.ibMain->PageCount(path);

                QString resolution;
                QTreeWidgetItem* row = nullptr;
                if (gudtSettings.FolderView != 0) {
                    resolution = fncDetailsResolution(path, extension);
                    attachFolderIcons(false);
                    row = w.lvFolder->AddItem(info.fName32bit(), 1);
                } else {
                    int32_t imageWidth = 0, imageHeight = 0;
                    const QImage thumbnail = LoadPic(path, kSizeModeBox, glngFolderThumbWidth, glngFolderThumbHeight, kWhite,
                                                     imageWidth, imageHeight, quiet);
                    if (!thumbnail.isNull()) {
                        resolution = fncThumbnailResolution(imageWidth, imageHeight);
                        const int number = m_ilFolder.Add(thumbnail);
                        attachFolderIcons(true);
                        row = w.lvFolder->AddItem(info.fName32bit(), number);
                        row->setData(0, kThumbnailRole, number);
                    }
                }
                if (row) {
                    tf::ListView::setTag(row, path);
                    tf::ListView::setSubItem(row, 1, resolution);
                    tf::ListView::setSubItem(row, 2, info.fSizeFormated(gudtSettings.LongFileSize));
                    tf::ListView::setSubItem(row, 3, QString::number(pages));
                    tf::ListView::setSubItem(row, 4, info.fType());
                    tf::ListView::setSubItem(row, 5, info.fDateCreated());
                    tf::ListView::setSubItem(row, 6, info.fDateModified());
                    tf::ListView::setSubItem(row, 7, info.fDateAccessed());
                }
            }
            w.pbQueue->setValue(i + 1);
        }
        w.pbQueue->hide();
        mblnStopListing = false;
    } catch (const std::exception& e) {
        if (superseded()) return;
        mblnStopListing = false;
        w.pbQueue->hide();
        subReportException(e, QStringLiteral("FrmMain.subShowFilesInFolder"));
    }
}

void BrowseController::cmdDetailFolder_Click()
{
    if (w.cmdDetailFolder) w.cmdDetailFolder->update();
    gudtSettings.FolderView = 3;
    attachFolderIcons(false);
    for (int i = 1; i <= w.lvFolder->Count(); ++i) w.lvFolder->setSmallIcon(w.lvFolder->Item(i), 1);
}

void BrowseController::cmdThumbnailFolder_Click()
{
    if (w.cmdThumbnailFolder) w.cmdThumbnailFolder->update();
    gudtSettings.FolderView = 0;
    // The thumbnails are reused only when every row has its own; rows listed in details mode
    // (all of them, or the later ones of a listing switched half-way) have none.
    bool everyRowHasOne = m_ilFolder.count() > 0;
    for (int i = 1; everyRowHasOne && i <= w.lvFolder->Count(); ++i) {
        const int number = w.lvFolder->Item(i)->data(0, kThumbnailRole).toInt();
        everyRowHasOne = number >= 1 && number <= m_ilFolder.count();
    }
    if (!everyRowHasOne) {
        subShowFilesInFolder(m_fileMainPath);
        return;
    }
    for (int i = 1; i <= w.lvFolder->Count(); ++i) {
        QTreeWidgetItem* row = w.lvFolder->Item(i);
        w.lvFolder->setSmallIcon(row, row->data(0, kThumbnailRole).toInt());
    }
    attachFolderIcons(true);
}

// ---------------------------------------------------------------- list events

void BrowseController::showSelectedRowOf(tf::ListView* list)
{
    subShowSelectedFile(list->SelectedItem());
    callResize();
}

void BrowseController::selectionCount(tf::ListView* list)
{
    mintSelectedCount = static_cast<int>(list->selectedItems().size());
    if (mintSelectedCount < 2) mblnSuppressItemShow = false;
}

void BrowseController::lvFolder_ColumnClick(int column) { subSortListView(w.lvFolder, column); }

void BrowseController::lvFolder_GotFocus() { mstrDragSourceList = QStringLiteral("lvFolder"); }

void BrowseController::lvFolder_ItemClick() { selectionCount(w.lvFolder); }

void BrowseController::lvFolder_KeyUp(int key)
{
    if (isArrowKey(key) && !mblnSuppressItemShow) showSelectedRowOf(w.lvFolder);
}

void BrowseController::lvFolder_MouseUp(int button)
{
    if (w.lvFolder->Count() == 0) return;
    // The right button's menu belongs to the basket commands.
    if (button == 2) return;
    if (!mblnSuppressItemShow) showSelectedRowOf(w.lvFolder);
    w.lvFolder->setFocus();
}

void BrowseController::lvPages_GotFocus() { mstrDragSourceList = QStringLiteral("lvPages"); }

void BrowseController::lvPages_LostFocus() { mblnSuppressItemShow = true; }

void BrowseController::lvPages_ItemClick()
{
    if (w.lvPages) selectionCount(w.lvPages);
}

void BrowseController::lvPages_KeyUp(int key)
{
    if (!w.lvPages || w.lvPages->Count() == 0) return;
    if (isArrowKey(key) && !mblnSuppressItemShow) showSelectedRowOf(w.lvPages);
}

void BrowseController::lvPages_MouseUp(int button)
{
    if (!w.lvPages || w.lvPages->Count() == 0) return;
    if (button == 2) return;
    if (!mblnSuppressItemShow) {
        // Several pages chosen for a command: none of them is previewed, and the focus stays.
        if (mintSelectedCount > 1) return;
        showSelectedRowOf(w.lvPages);
    }
    w.lvPages->setFocus();
}

bool BrowseController::handleListEvent(tf::ListView* list, QObject* watched, QEvent* event)
{
    const bool isFolder = list == w.lvFolder;
    switch (event->type()) {
    case QEvent::FocusIn:
        if (watched == list && isControlFocusChange(static_cast<QFocusEvent*>(event))) {
            if (isFolder)
                lvFolder_GotFocus();
            else
                lvPages_GotFocus();
        }
        break;
    case QEvent::FocusOut:
        if (watched == list && !isFolder && isControlFocusChange(static_cast<QFocusEvent*>(event))) lvPages_LostFocus();
        break;
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        // One show when the key is let go, not one per repeat while it is held.
        if (watched == list && !key->isAutoRepeat()) {
            if (isFolder)
                lvFolder_KeyUp(key->key());
            else
                lvPages_KeyUp(key->key());
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        if (watched == list || m_redeliveringRelease) break;
        // The list settles its selection on the release; the item click and the mouse-up must
        // see the settled selection, so the list takes the event first.
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int button = vbButton(mouse->button());
        const QPoint at = mouse->position().toPoint();
        const QPointer<tf::ListView> guard(list);
        m_redeliveringRelease = true;
        QCoreApplication::sendEvent(list->viewport(), event);
        m_redeliveringRelease = false;
        if (!guard) return true;
        if (list->itemAt(at)) {
            if (isFolder)
                lvFolder_ItemClick();
            else
                lvPages_ItemClick();
        }
        if (isFolder)
            lvFolder_MouseUp(button);
        else
            lvPages_MouseUp(button);
        return true;
    }
    default: break;
    }
    return false;
}

bool BrowseController::eventFilter(QObject* watched, QEvent* event)
{
    // Compared through guarded pointers: a list the window already deleted is never touched.
    if (m_folderList && (watched == m_folderList || watched == m_folderViewport))
        return handleListEvent(m_folderList, watched, event);
    if (m_pagesList && (watched == m_pagesList || watched == m_pagesViewport))
        return handleListEvent(m_pagesList, watched, event);
    return QObject::eventFilter(watched, event);
}

void BrowseController::callResize()
{
    if (hooks.subResize) hooks.subResize();
}
