// The browse pane: the folder tree, the folder list in thumbnail or details mode, and the list
// events that show the selected file in the preview.
#include "browse/BrowseController.h"

#include "browse/modFolderView.h"
#include "frame/LongCommand.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/listview.h"
#include "platform/ui/statusbar.h"
#include "services/clsFileInfo.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <chrono>
#include <optional>

namespace {

constexpr tf::OleColor kWhite = 0xFFFFFF;

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

// Painting the list after every row costs far more than a row's facts (a header read): while a
// listing yields after each file, the list paints at most every kPaintEveryMs, and once more at
// the end.
class ListingPaints {
public:
    static constexpr qint64 kPaintEveryMs = 40;
    explicit ListingPaints(QWidget* list) : m_list(list)
    {
        m_list->setUpdatesEnabled(false);
        m_since.start();
    }
    ~ListingPaints()
    {
        if (m_list) m_list->setUpdatesEnabled(true);
    }
    ListingPaints(const ListingPaints&) = delete;
    ListingPaints& operator=(const ListingPaints&) = delete;

    // Handles the events waiting, painting the list when its last paint is old enough.
    void yield()
    {
        const bool paint = m_list && m_since.hasExpired(kPaintEveryMs);
        if (paint) {
            m_list->setUpdatesEnabled(true);
            m_since.restart();
        }
        tf::DoEvents();
        if (paint && m_list) m_list->setUpdatesEnabled(false);
    }

private:
    QPointer<QWidget> m_list;
    QElapsedTimer m_since;
};

} // namespace

BrowseController::BrowseController(const BrowsePanes& panes, const tf::BrowseServices& services, QObject* parent)
    : QObject(parent), m_services(services)
{
    Q_ASSERT(panes.picBrowse && panes.picFolder && panes.picView && panes.sbMain && panes.pbQueue);
    w.sbMain = panes.sbMain;
    w.pbQueue = panes.pbQueue;
    w.splView = panes.splView;
    w.picView = panes.picView;
    w.PicMetadata = panes.PicMetadata;
    w.tbsMetadata = panes.tbsMetadata;
    w.lvExif = panes.lvExif;
    w.lvIPTC = panes.lvIPTC;

    QPixmap icon = panes.iDetailIcon;
    if (icon.isNull()) icon = QFileIconProvider().icon(QFileIconProvider::File).pixmap(16, 16);
    w.iDetailIcon = icon;
    m_illvFolder.Add(QString(), icon);

    buildBrowsePane(panes.picBrowse);
    buildFolderPane(panes.picFolder);
    buildPreviewPane(panes.picView);

    // A click on a column caption sorts the rows by it; the order stays for later listings.
    m_lvFolder->header()->setSectionsClickable(true);
    connect(m_lvFolder->header(), &QHeaderView::sectionClicked, this, [this](int section) { lvFolder_ColumnClick(section + 1); });
    m_folderList = m_lvFolder;
    m_folderViewport = m_lvFolder->viewport();
    m_folderList->installEventFilter(this);
    m_folderViewport->installEventFilter(this);

    // The tree keeps its own folder model; choosing a folder in it, by hand or by subOpenFolder,
    // lists that folder once.
    connect(m_ftvBrowse, &tf::FolderTreeView::FolderClick, this, &BrowseController::ftvBrowse_FolderSelected);
    connect(m_cmdDetailFolder, &QAbstractButton::clicked, this, &BrowseController::cmdDetailFolder_Click);
    connect(m_cmdThumbnailFolder, &QAbstractButton::clicked, this, &BrowseController::cmdThumbnailFolder_Click);

    // The preview scrolls with the pane's own bars: the control is sized to the image it shows.
    m_ibMain->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_ibMain->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(m_hsbView, &QScrollBar::valueChanged, this, [this] { subScrollPreviewHorizontal(m_ibMain, m_hsbView); });
    connect(m_vsbView, &QScrollBar::valueChanged, this, [this] { subScrollPreviewVertical(m_ibMain, m_vsbView); });

    connect(m_cmdPreviewView, &QAbstractButton::clicked, this, &BrowseController::cmdPreviewView_Click);
    connect(m_cmdPreviewType, &QAbstractButton::clicked, this, &BrowseController::cmdPreviewType_Click);
    connect(m_cmdPreviewSave, &QAbstractButton::clicked, this, &BrowseController::cmdPreviewSave_Click);
    connect(m_cmdPreviewPrint, &QAbstractButton::clicked, this, &BrowseController::cmdPreviewPrint_Click);
    connect(m_cmdPreviewPrevious, &QAbstractButton::clicked, this, &BrowseController::cmdPreviewPrevious_Click);
    connect(m_cmdPreviewNext, &QAbstractButton::clicked, this, &BrowseController::cmdPreviewNext_Click);
    connect(m_CmdPreviewEdit, &QAbstractButton::clicked, this, [this] { m_services.editMode.CmdPreviewEdit_Click(); });

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

void BrowseController::setBasketList(tf::ListView* lvPages)
{
    if (m_pagesList) {
        m_pagesList->removeEventFilter(this);
        if (m_pagesViewport) m_pagesViewport->removeEventFilter(this);
    }
    m_pagesList = lvPages;
    m_pagesViewport = lvPages ? lvPages->viewport() : nullptr;
    if (lvPages) {
        m_pagesList->installEventFilter(this);
        m_pagesViewport->installEventFilter(this);
    }
}

int BrowseController::listingIndex(const QTreeWidgetItem* row) const
{
    if (!row || row->treeWidget() != m_lvFolder) return -1;
    const int index = m_lvFolder->Index(row) - 1;
    return index < m_listing.count() ? index : -1;
}

QPixmap BrowseController::fncFolderThumbnail(const QTreeWidgetItem* row) const
{
    const tf::FolderFile* file = m_listing.file(listingIndex(row));
    return file ? m_ilFolder.image(file->thumbnail) : QPixmap();
}

std::vector<SelectedFolderFile> BrowseController::selectedFolderFiles() const
{
    std::vector<SelectedFolderFile> out;
    for (int i = 1; i <= m_lvFolder->Count(); ++i) {
        const tf::FolderFile* file = m_listing.file(i - 1);
        if (file && m_lvFolder->Item(i)->isSelected()) out.push_back({i, *file});
    }
    return out;
}

QString BrowseController::SelectedFolder() const { return m_ftvBrowse->SelectedFolder(); }

// ---------------------------------------------------------------- folder view

void BrowseController::subOpenFolder(const QString& folder)
{
    QString path = folder;
    // The stored folder is a fixed-length text padded with blanks.
    if (!QFileInfo(path).isDir()) {
        while (path.endsWith(QLatin1Char(' '))) path.chop(1);
    }
    if (path.isEmpty()) return;
    // The tree raises no folder event for the folder it already shows: that one is listed here.
    const QString current = m_ftvBrowse->SelectedFolder();
    if (!current.isEmpty() && QFileInfo(path).absoluteFilePath() == QFileInfo(current).absoluteFilePath()) {
        ftvBrowse_FolderSelected(current);
        return;
    }
    m_ftvBrowse->setSelectedFolder(path);
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
    if (m_lvFolder->iconSize() != iconSize) m_lvFolder->setIconSize(iconSize);
    // Attaching shows every row's picture again; once per listing is enough.
    if (m_lvFolder->SmallIcons() != images) m_lvFolder->setSmallIcons(images);
}

void BrowseController::subShowFilesInFolder(const QString& folder)
{
    // Each listing has its own number. A listing started from an event handled during one of
    // this listing's yields (another folder chosen, the view switched) makes this one stale: it
    // then leaves at once and touches nothing, so the list holds the newer listing's rows only.
    const uint64_t generation = ++m_listingGeneration;
    // The thumbnails a replaced listing still waits for are not made.
    if (m_thumbnailBatch) m_thumbnailBatch->cancel();
    m_thumbnailBatch.reset();
    const QPointer<BrowseController> alive(this);
    const auto superseded = [&] { return !alive || generation != m_listingGeneration; };
    m_fileMainPath = folder;
    // File dialogs of a kind not used yet open where the user is browsing.
    tf::setBrowsedFolder(folder);

    try {
        gstrCurrentOperation = QStringLiteral("Showing files from selected folder");
        w.sbMain->setPanelText(QStringLiteral("folder"), fncFolderPanelText(folder));
        m_lvFolder->Clear();
        m_listing.clear();
        m_lvFolder->setSmallIcons(nullptr);
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

        // Thumbnails are made by the decoder pool, on every core at once, and taken in list order;
        // the listing waits for each in short steps, so no file ever holds up the window.
        std::shared_ptr<tf::decode::DecodeBatch> thumbnails;
        if (gudtSettings.FolderView == 0) {
            thumbnails = std::make_shared<tf::decode::DecodeBatch>();
            m_thumbnailBatch = thumbnails;
            for (const QString& name : names) {
                const QString path = fncFolderFilePath(folder, name);
                const QString extension = fncFolderExtension(path);
                if (!fncIsFolderImage(extension)) continue;
                const bool multipage = extension == QLatin1String("tif") || extension == QLatin1String("tiff");
                thumbnails->submit(tf::loadPicRequest(path, kSizeModeBox, glngFolderThumbWidth, glngFolderThumbHeight,
                                                      kWhite, multipage));
            }
        }
        using namespace std::chrono_literals;
        ListingPaints paints(m_lvFolder);
        for (int i = 0; i < count; ++i) {
            gstrCurrentOperation = QStringLiteral("Looping through all available files");
            paints.yield();
            if (superseded()) return;
            if (mblnStopListing) break;

            w.pbQueue->setMaximum(count);
            const QString path = fncFolderFilePath(folder, names[i]);
            const QString extension = fncFolderExtension(path);
            // The thumbnail of every picture asked for is taken, in order, listed or not.
            std::optional<tf::decode::DecodeBatch::Finished> made;
            if (thumbnails && fncIsFolderImage(extension)) {
                if (gudtSettings.FolderView != 0) {
                    // Switched to details half-way: the rest is listed without thumbnails.
                    thumbnails->cancel();
                    thumbnails.reset();
                } else {
                    while (!(made = thumbnails->nextInOrder(25ms)) && thumbnails->pending() > 0) {
                        paints.yield();
                        if (superseded()) return;
                        if (mblnStopListing) break;
                    }
                    if (mblnStopListing) break;
                }
            }
            // A file of its own: the shared description may be re-aimed by a handler that runs
            // during the yield below.
            clsFileInfo info;
            info.FilePath(path);
            paints.yield();
            if (superseded()) return;

            // A file that went away since the folder was read has no facts to show: left out.
            if (fncIsFolderImage(extension) && info.isValid()) {
                const bool multipage = extension == QLatin1String("tif") || extension == QLatin1String("tiff");
                int32_t pages = 1;

                tf::FolderFile file;
                file.path = path;
                bool listed = true;
                if (gudtSettings.FolderView != 0) {
                    if (multipage) pages = m_ibMain->PageCount(path);
                    file.texts[tf::kFolderResolution] = fncDetailsResolution(path, extension);
                    attachFolderIcons(false);
                } else {
                    int32_t imageWidth = 0, imageHeight = 0;
                    const QImage thumbnail = made ? tf::loadPicAnswer(made->result, imageWidth, imageHeight) : QImage();
                    if (multipage && made) pages = made->result.pageCount;
                    listed = !thumbnail.isNull();
                    if (listed) {
                        file.texts[tf::kFolderResolution] = fncThumbnailResolution(imageWidth, imageHeight);
                        file.thumbnail = m_ilFolder.Add(thumbnail);
                        attachFolderIcons(true);
                    }
                }
                if (listed) {
                    file.texts[tf::kFolderFileName] = info.fName32bit();
                    file.texts[tf::kFolderSize] = info.fSizeFormated(gudtSettings.LongFileSize);
                    file.texts[tf::kFolderPages] = QString::number(pages);
                    file.texts[tf::kFolderType] = info.fType();
                    file.texts[tf::kFolderDateCreated] = info.fDateCreated();
                    file.texts[tf::kFolderDateModified] = info.fDateModified();
                    file.texts[tf::kFolderDateAccessed] = info.fDateAccessed();
                    // A sorted list takes the row at its place in the order the user chose.
                    const int icon = gudtSettings.FolderView != 0 ? 1 : file.thumbnail;
                    const int at = m_listing.add(file);
                    QTreeWidgetItem* row = m_lvFolder->InsertItem(at + 1, file.texts[tf::kFolderFileName], icon);
                    tf::ListView::setTag(row, path);
                    for (int column = 1; column < tf::kFolderColumnCount; ++column)
                        tf::ListView::setSubItem(row, column, file.texts[static_cast<size_t>(column)]);
                }
            }
            w.pbQueue->setValue(i + 1);
        }
        if (thumbnails) thumbnails->cancel();
        m_thumbnailBatch.reset();
        w.pbQueue->hide();
        mblnStopListing = false;
    } catch (const std::exception& e) {
        if (superseded()) return;
        mblnStopListing = false;
        w.pbQueue->hide();
        subReportException(e, QStringLiteral("BrowseController.subShowFilesInFolder"));
    }
}

void BrowseController::cmdDetailFolder_Click()
{
    m_cmdDetailFolder->update();
    gudtSettings.FolderView = 3;
    attachFolderIcons(false);
    for (int i = 1; i <= m_lvFolder->Count(); ++i) m_lvFolder->setSmallIcon(m_lvFolder->Item(i), 1);
}

void BrowseController::cmdThumbnailFolder_Click()
{
    m_cmdThumbnailFolder->update();
    gudtSettings.FolderView = 0;
    // The thumbnails are reused only when every row has its own; rows listed in details mode
    // (all of them, or the later ones of a listing switched half-way) have none.
    bool everyRowHasOne = m_ilFolder.count() > 0;
    for (int i = 1; everyRowHasOne && i <= m_lvFolder->Count(); ++i) {
        const tf::FolderFile* file = m_listing.file(i - 1);
        everyRowHasOne = file && file->thumbnail >= 1 && file->thumbnail <= m_ilFolder.count();
    }
    if (!everyRowHasOne) {
        subShowFilesInFolder(m_fileMainPath);
        return;
    }
    for (int i = 1; i <= m_lvFolder->Count(); ++i) m_lvFolder->setSmallIcon(m_lvFolder->Item(i), m_listing.file(i - 1)->thumbnail);
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

void BrowseController::lvFolder_ColumnClick(int column)
{
    // The listing sorts; the list's rows follow it, and the selected ones stay selected.
    if (column < 1 || column > m_lvFolder->columnCount() || m_listing.count() != m_lvFolder->Count()) return;
    const std::vector<int> order = m_listing.sortByColumn(column);
    QList<QTreeWidgetItem*> rows;
    for (int i = 1; i <= m_lvFolder->Count(); ++i) rows << m_lvFolder->Item(i);
    QList<QTreeWidgetItem*> selected = m_lvFolder->selectedInOrder();
    QTreeWidgetItem* current = m_lvFolder->currentItem();
    while (m_lvFolder->topLevelItemCount() > 0) m_lvFolder->takeTopLevelItem(0);
    QList<QTreeWidgetItem*> sorted;
    for (int old : order) sorted << rows[old];
    m_lvFolder->addTopLevelItems(sorted);
    if (current) m_lvFolder->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    for (QTreeWidgetItem* item : selected) item->setSelected(true);
    const tf::FolderSortState& state = m_listing.sortState();
    m_lvFolder->SortKey = state.SortKey;
    m_lvFolder->SortOrder = state.SortOrder;
    m_lvFolder->Sorted = state.Sorted;
}

void BrowseController::lvFolder_GotFocus() { mstrDragSourceList = QStringLiteral("lvFolder"); }

void BrowseController::lvFolder_ItemClick() { selectionCount(m_lvFolder); }

void BrowseController::lvFolder_KeyUp(int key)
{
    if (isArrowKey(key) && !mblnSuppressItemShow) showSelectedRowOf(m_lvFolder);
}

void BrowseController::lvFolder_MouseUp(int button)
{
    if (m_lvFolder->Count() == 0) return;
    // The right button's menu belongs to the basket commands.
    if (button == 2) return;
    if (!mblnSuppressItemShow) showSelectedRowOf(m_lvFolder);
    m_lvFolder->setFocus();
}

void BrowseController::lvPages_GotFocus() { mstrDragSourceList = QStringLiteral("lvPages"); }

void BrowseController::lvPages_LostFocus() { mblnSuppressItemShow = true; }

void BrowseController::lvPages_ItemClick()
{
    if (m_pagesList) selectionCount(m_pagesList);
}

void BrowseController::lvPages_KeyUp(int key)
{
    if (!m_pagesList || m_pagesList->Count() == 0) return;
    if (isArrowKey(key) && !mblnSuppressItemShow) showSelectedRowOf(m_pagesList);
}

void BrowseController::lvPages_MouseUp(int button)
{
    if (!m_pagesList || m_pagesList->Count() == 0) return;
    if (button == 2) return;
    if (!mblnSuppressItemShow) {
        // Several pages chosen for a command: none of them is previewed, and the focus stays.
        if (mintSelectedCount > 1) return;
        showSelectedRowOf(m_pagesList);
    }
    m_pagesList->setFocus();
}

bool BrowseController::handleListEvent(tf::ListView* list, QObject* watched, QEvent* event)
{
    const bool isFolder = list == m_lvFolder;
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

void BrowseController::callResize() { m_services.layout.subResize(); }
