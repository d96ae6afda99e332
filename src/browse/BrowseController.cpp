// The browse pane: the folder tree, the folder list in thumbnail or details mode, and the list
// events that show the selected file in the preview.
#include "browse/BrowseController.h"

#include "browse/modFolderView.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "platform/decode/decode_feed.h"
#include "platform/decode/decoder_client.h"
#include "platform/imagebox/imagebox.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/foldertree.h"
#include "platform/ui/reportview.h"
#include "platform/ui/statusbar.h"
#include "services/clsFileInfo.h"
#include "services/modGDIPlus.h"
#include "services/modGenericFunctions.h"
#include "services/modLoadPic.h"
#include "version_info.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QCursor>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QUrl>
#include <QUrlQuery>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPromise>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QThreadPool>
#include <QKeySequence>
#include <algorithm>
#include <utility>

namespace {

constexpr tf::OleColor kWhite = 0xFFFFFF;

// The listed files in one value that changes when any of them comes, goes or is written.
QByteArray filesState(const std::vector<tf::FolderFileEntry>& entries)
{
    QByteArray state;
    for (const tf::FolderFileEntry& entry : entries) {
        const qint64 numbers[] = {entry.name.size(), entry.size, entry.modified};
        state.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
        state.append(reinterpret_cast<const char*>(entry.name.utf16()), entry.name.size() * qsizetype(sizeof(char16_t)));
    }
    return state;
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
bool isPagingKey(int key)
{
    return key == Qt::Key_Home || key == Qt::Key_End || key == Qt::Key_PageUp || key == Qt::Key_PageDown;
}

// Focus that moves between the window's own controls; a window or a menu taking the focus for a
// moment is not the user going to another list.
bool isControlFocusChange(const QFocusEvent* event)
{
    return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}

// The facts of the listed files are read on threads of their own, one file after another on each,
// so a slow disk holds up no row but its own. Never destroyed: a job still running at exit holds
// nothing that goes away before it.
QThreadPool* factsPool()
{
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(2);
        return made;
    }();
    return pool;
}

// The pictures of rows that have none of their own yet: a thumbnail still being made, and one
// that could not be made. Drawn once per thumbnail size.
QPixmap folderPlaceholder(bool broken)
{
    const QSize size(std::max(glngFolderThumbWidth, 8), std::max(glngFolderThumbHeight, 8));
    static QPixmap cached[2];
    QPixmap& picture = cached[broken ? 1 : 0];
    if (picture.size() == size) return picture;
    picture = QPixmap(size);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    const QRect page = QRect(QPoint(0, 0), size).adjusted(size.width() / 6, size.height() / 8, -size.width() / 6 - 1,
                                                          -size.height() / 8 - 1);
    painter.setPen(QPen(QColor(160, 160, 160), 1));
    painter.setBrush(QColor(235, 235, 235));
    painter.drawRect(page);
    if (broken) {
        // A sheet torn across, in the colour of a warning.
        painter.setPen(QPen(QColor(200, 30, 30), std::max(1, size.width() / 16)));
        const int y = page.center().y();
        const int step = std::max(2, page.width() / 4);
        QPolygon tear;
        for (int x = page.left(), up = 0; x <= page.right() + step; x += step, up ^= 1)
            tear << QPoint(std::min(x, page.right()), y + (up ? -step / 2 : step / 2));
        painter.drawPolyline(tear);
    }
    return picture;
}

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
    w.client = panes.client ? panes.client : panes.picView->window();
    w.tbsMetadata = panes.tbsMetadata;

    QPixmap icon = panes.iDetailIcon;
    if (icon.isNull()) icon = QFileIconProvider().icon(QFileIconProvider::File).pixmap(16, 16);
    w.iDetailIcon = icon;
    m_folderSort.setSourceModel(&m_listing);
    m_listing.setPicture([this](const tf::FolderFile& file) { return folderPicture(file); });

    buildBrowsePane(panes.picBrowse);
    buildFolderPane(panes.picFolder);
    buildPreviewPane(panes.picView);

    // A click on a column caption sorts the rows by it; the order stays for later listings.
    m_lvFolder->setModel(&m_folderSort);
    connect(m_lvFolder->header(), &QHeaderView::sectionClicked, this, [this](int section) { lvFolder_ColumnClick(section + 1); });
    m_folderList = m_lvFolder;
    m_folderViewport = m_lvFolder->viewport();
    m_folderList->installEventFilter(this);
    m_folderViewport->installEventFilter(this);
    // Folder rows are dragged to the basket; a drop here (of either list's rows) adds nothing.
    m_lvFolder->setDragEnabled(true);
    m_lvFolder->setAcceptDrops(true);
    m_lvFolder->viewport()->setAcceptDrops(true);
    m_lvFolder->setDropIndicatorShown(false);
    m_lvFolder->setDefaultDropAction(Qt::CopyAction);

    // The tree keeps its own folder model; choosing a folder in it, by hand or by subOpenFolder,
    // lists that folder once.
    connect(m_ftvBrowse, &tf::FolderTreeView::FolderClick, this, &BrowseController::ftvBrowse_FolderSelected);
    // Another program writing into the shown folder: the tree gathers the changes into one notice
    // a second at most, and only the rows that changed are read again.
    // Only the files it lists are worth a look: another program's other files change nothing here.
    m_ftvBrowse->setShownEntryFilter([](const QString&, const char* name, bool isFolder) {
        return !isFolder && fncIsFolderImageName(name);
    });
    connect(m_ftvBrowse, &tf::FolderTreeView::shownFolderChanged, this, [this](const QString& path) {
        if (QDir(path) == QDir(m_fileMainPath)) relistShownFolder();
    });
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

    m_mnuContextFolderParent = makeMenu("mnuContextFolderParent", "Context Folder");
    addEntry(m_mnuContextFolderParent.get(), "mnuContextFolder", 0, "Add to basket", false, &BrowseController::mnuContextFolder_Click);
    m_mnuAboutParent = makeMenu("mnuAboutParent", "About");
    m_mnuAbout[0] = addEntry(m_mnuAboutParent.get(), "mnuAbout", 0, "Online tutorials", false, &BrowseController::mnuAbout_Click);
    m_mnuAbout[1] = addEntry(m_mnuAboutParent.get(), "mnuAbout", 1, "Visit homepage", false, &BrowseController::mnuAbout_Click);
    m_mnuAbout[2] = m_mnuAboutParent->addSeparator();
    m_mnuAbout[2]->setObjectName("mnuAbout_2");
    m_mnuAbout[2]->setData(2);
    m_mnuAbout[3] = addEntry(m_mnuAboutParent.get(), "mnuAbout", 3, "Help Manual", false, &BrowseController::mnuAbout_Click);
    m_mnuAbout[4] = addEntry(m_mnuAboutParent.get(), "mnuAbout", 4, "About Tavrel Folio", false, &BrowseController::mnuAbout_Click);
    connect(m_cmdBrowseAbout, &QAbstractButton::clicked, this, &BrowseController::cmdBrowseAbout_Click);
    connect(m_cmdBrowseSettings, &QAbstractButton::clicked, this, [this] { m_cmdBrowseSettings->update(); });

    // The basket menu's "Save As" of a page not shown yet saves once the page is shown.
    connect(this, &BrowseController::previewSettled, this, [this] {
        if (m_saveWhenShown.isEmpty()) return;
        const QString wanted = std::exchange(m_saveWhenShown, QString());
        if (m_ibMain->Tag() == wanted) mnuSavePreviewAs_Click(0);
    });
}

BrowseController::~BrowseController()
{
    // The facts thread ends with its current file; it holds nothing of ours, so it is not waited for.
    if (m_facts) m_facts->cancel();
}

void BrowseController::setBasketList(QTreeView* lvPages)
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

int BrowseController::listingIndex(const QModelIndex& row) const
{
    if (row.model() == &m_folderSort) return m_folderSort.mapToSource(row).row();
    if (row.model() == &m_listing) return row.row();
    return -1;
}

QPixmap BrowseController::fncFolderThumbnail(const QModelIndex& row) const
{
    const tf::FolderFile* file = m_listing.file(listingIndex(row));
    return file ? m_ilFolder.image(file->thumbnail) : QPixmap();
}

std::vector<SelectedFolderFile> BrowseController::selectedFolderFiles() const
{
    std::vector<SelectedFolderFile> out;
    for (int index : m_lvFolder->selectedRows())
        if (const tf::FolderFile* file = m_listing.file(index))
            out.push_back({m_lvFolder->viewIndex(index).row() + 1, *file});
    return out;
}

void BrowseController::learnResolution(const QString& path, const QString& resolution)
{
    m_listing.setText(m_listing.indexOf(path), tf::kFolderResolution, resolution);
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
    m_fileMainPath = folder;
    subShowFilesInFolder(folder);
}

void BrowseController::attachFolderIcons(bool thumbnails)
{
    const QSize iconSize = thumbnails ? QSize(glngFolderThumbWidth, glngFolderThumbHeight) : QSize(16, 16);
    if (m_lvFolder->iconSize() != iconSize) m_lvFolder->setIconSize(iconSize);
    // Every row's picture is asked again; once per change of mode is enough.
    if (m_showsThumbnails == thumbnails) return;
    m_showsThumbnails = thumbnails;
    m_listing.refreshPictures();
}

bool BrowseController::showsThumbnails() const { return m_showsThumbnails; }

QVariant BrowseController::folderPicture(const tf::FolderFile& file) const
{
    if (!m_showsThumbnails) return w.iDetailIcon;
    if (file.thumbnail > 0) {
        const QPixmap own = m_ilFolder.image(file.thumbnail);
        if (!own.isNull()) return own;
    }
    return folderPlaceholder(!file.failure.isEmpty());
}

void BrowseController::cancelListing()
{
    if (m_listingFeed) {
        m_listingFeed->cancel();
        m_listingFeed->disconnect(this);
        m_listingFeed->deleteLater();
    }
    m_listingFeed.clear();
    if (m_facts) {
        m_facts->disconnect(this);
        m_facts->cancel();
        m_facts->deleteLater();
        m_facts = nullptr;
    }
    m_requestFile.clear();
    m_waiting.clear();
    m_listingTotal = m_listingDone = 0;
    m_relistWanted = false;
    m_shownFiles.clear();
    if (m_listingShowsProgress) w.pbQueue->hide();
    m_listingShowsProgress = false;
}

void BrowseController::stopListing()
{
    if (!listingBusy()) return;
    cancelListing();
    emit folderListed();
}

void BrowseController::subShowFilesInFolder(const QString& folder)
{
    // The listing before is dropped whole: its answers still on their way never reach these rows.
    cancelListing();
    m_fileMainPath = folder;
    // File dialogs of a kind not used yet open where the user is browsing.
    tf::setBrowsedFolder(folder);

    try {
        gstrCurrentOperation = QStringLiteral("Showing files from selected folder");
        w.sbMain->setPanelText(QStringLiteral("folder"), fncFolderPanelText(folder));
        m_listing.clear();
        m_ilFolder.Clear();
        m_nextFileId = 0;
        m_listingThumbnails = gudtSettings.FolderView == 0;
        m_listingThumbSize = QSize(glngFolderThumbWidth, glngFolderThumbHeight);

        const std::vector<tf::FolderFileEntry> entries = fncFolderImageEntries(folder);
        m_shownFiles = filesState(entries);
        if (entries.empty()) {
            emit folderListed();
            return;
        }
        attachFolderIcons(m_listingThumbnails);

        // Every file gets its row now, from its name; what needs the disk or a decoder fills in
        // as it comes.
        gstrCurrentOperation = QStringLiteral("Looping through all available files");
        std::vector<int> ids;
        ids.reserve(entries.size());
        m_lvFolder->setUpdatesEnabled(false);
        for (const tf::FolderFileEntry& entry : entries) ids.push_back(addListedFile(fncFolderFilePath(folder, entry.name)));
        m_lvFolder->setUpdatesEnabled(true);

        m_listingShowsProgress = true;
        w.pbQueue->setMaximum(m_listingTotal);
        w.pbQueue->setValue(0);
        w.pbQueue->show();
        requestFacts(ids, /*refresh*/ false);
        for (const tf::FolderFile& file : m_listing.files()) requestPicture(file.id, file.path);
    } catch (const std::exception& e) {
        cancelListing();
        subReportException(e, QStringLiteral("BrowseController.subShowFilesInFolder"));
    }
}

int BrowseController::addListedFile(const QString& path)
{
    tf::FolderFile file;
    file.path = path;
    file.id = ++m_nextFileId;
    file.texts[tf::kFolderFileName] = QFileInfo(path).fileName();
    const QString extension = fncFolderExtension(path);
    const bool multipage = extension == QLatin1String("tif") || extension == QLatin1String("tiff");
    // Only a multipage type has its pages counted; everything else is one page.
    if (!multipage) file.texts[tf::kFolderPages] = QStringLiteral("1");
    // A sorted list shows the row at its place in the order the user chose.
    m_listing.add(file);
    m_waiting[file.id] = kFactsPart;
    ++m_listingTotal;
    return file.id;
}

void BrowseController::requestFacts(const std::vector<int>& ids, bool refresh)
{
    std::vector<int> asked;
    std::vector<QString> paths;
    for (int id : ids) {
        const int index = m_listing.indexOfId(id);
        if (index < 0) continue;
        asked.push_back(id);
        paths.push_back(m_listing.file(index)->path);
    }
    auto promise = std::make_shared<QPromise<FolderFileFacts>>();
    m_facts = new QFutureWatcher<FolderFileFacts>(this);
    QFutureWatcher<FolderFileFacts>* watcher = m_facts;
    connect(watcher, &QFutureWatcherBase::resultsReadyAt, this, [this, watcher, asked, refresh](int begin, int end) {
        for (int i = begin; i < end && watcher == m_facts; ++i)
            takeFacts(asked[static_cast<size_t>(i)], watcher->resultAt(i), refresh);
    });
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        if (watcher != m_facts) return;
        m_facts = nullptr;
        watcher->deleteLater();
    });
    watcher->setFuture(promise->future());
    const bool withResolution = !m_listingThumbnails;
    promise->start();
    factsPool()->start([promise, paths = std::move(paths), withResolution] {
        for (const QString& path : paths) {
            if (promise->isCanceled()) break;
            FolderFileFacts facts;
            try {
                facts = fncReadFolderFileFacts(path, withResolution);
            } catch (const std::exception&) {
                // Every file gets its answer, or the listing would wait for ever: this one keeps
                // its row without the texts.
                facts.found = true;
            }
            promise->addResult(std::move(facts));
        }
        promise->finish();
    });
}

void BrowseController::requestPicture(int id, const QString& path)
{
    const QString extension = fncFolderExtension(path);
    const bool multipage = extension == QLatin1String("tif") || extension == QLatin1String("tiff");
    tf::decode::DecodeRequest request;
    if (m_listingThumbnails) {
        request = tf::loadPicRequest(path, kSizeModeBox, glngFolderThumbWidth, glngFolderThumbHeight, kWhite, multipage);
    } else if (multipage) {
        request.kind = static_cast<uint32_t>(tf::decode::DecodeKind::PageCount);
        request.path = path;
    } else {
        return; // details of a one-page type need no decoder
    }
    if (!m_listingFeed) {
        m_listingFeed = new tf::decode::DecodeFeed(this);
        connect(m_listingFeed, &tf::decode::DecodeFeed::decoded, this, &BrowseController::takePicture);
    }
    m_requestFile[m_listingFeed->submit(request)] = id;
    m_waiting[id] |= kPicturePart;
}

void BrowseController::takeFacts(int id, const FolderFileFacts& facts, bool refresh)
{
    const int index = m_listing.indexOfId(id);
    if (index < 0) return partArrived(id, kFactsPart);
    if (!facts.found) {
        // Gone since its name was read: nothing of it can be shown, and its picture is not waited for.
        m_listing.remove(index);
        return partArrived(id, kFactsPart | kPicturePart);
    }
    const tf::FolderFile& before = *m_listing.file(index);
    // A file written since its picture was made is read again.
    const bool changed = refresh && (before.bytes != facts.bytes ||
                                     before.texts[tf::kFolderDateModified] != facts.modified);
    const QString size =
        facts.bytes >= 0 ? fncFormatSize(facts.bytes, static_cast<uint8_t>(gudtSettings.LongFileSize)) : QString();
    m_listing.setSize(index, facts.bytes, size);
    const std::pair<tf::FolderColumn, const QString*> texts[] = {
        {tf::kFolderType, &facts.type},
        {tf::kFolderDateCreated, &facts.created}, {tf::kFolderDateModified, &facts.modified},
        {tf::kFolderDateAccessed, &facts.accessed}};
    for (const auto& [column, text] : texts) m_listing.setText(index, column, *text);
    if (!m_listingThumbnails && (!refresh || changed)) m_listing.setText(index, tf::kFolderResolution, facts.resolution);
    const auto waiting = m_waiting.find(id);
    if (changed && waiting != m_waiting.end() && !(waiting->second & kPicturePart))
        requestPicture(id, m_listing.file(index)->path);
    partArrived(id, kFactsPart);
}

void BrowseController::takePicture(int request, const tf::decode::DecodeResult& answer)
{
    const auto found = m_requestFile.find(request);
    if (found == m_requestFile.end()) return;
    const int id = found->second;
    m_requestFile.erase(found);
    const int index = m_listing.indexOfId(id);
    if (index < 0) return partArrived(id, kPicturePart);

    const QString extension = fncFolderExtension(m_listing.file(index)->path);
    const bool multipage = extension == QLatin1String("tif") || extension == QLatin1String("tiff");
    const auto setText = [&](tf::FolderColumn column, const QString& text) { m_listing.setText(index, column, text); };
    if (!m_listingThumbnails) {
        // A page count: a file no decoder gets through has no pages to count.
        setText(tf::kFolderPages, QString::number(answer.answered() ? std::max(answer.pageCount, 0) : 0));
        return partArrived(id, kPicturePart);
    }
    int32_t width = 0, height = 0;
    const QImage thumbnail = tf::loadPicAnswer(answer, width, height);
    if (multipage) setText(tf::kFolderPages, QString::number(std::max(answer.pageCount, 0)));
    if (thumbnail.isNull()) {
        m_listing.setFailure(index, fncThumbnailFailureText(answer));
        m_listing.setThumbnail(index, 0);
        setText(tf::kFolderResolution, QString());
    } else {
        m_listing.setFailure(index, QString());
        setText(tf::kFolderResolution, fncThumbnailResolution(width, height));
        const int number = m_ilFolder.Add(thumbnail);
        m_listing.setThumbnail(index, number);
    }
    partArrived(id, kPicturePart);
}

void BrowseController::partArrived(int id, unsigned parts)
{
    // A file no longer waited for (dropped, or its row gone) changes nothing.
    const auto waiting = m_waiting.find(id);
    if (waiting == m_waiting.end()) return;
    waiting->second &= ~parts;
    if (waiting->second != 0) return;
    m_waiting.erase(waiting);
    ++m_listingDone;
    if (m_listingShowsProgress) w.pbQueue->setValue(std::min(m_listingDone, w.pbQueue->maximum()));
    if (m_waiting.empty()) finishListing();
}

void BrowseController::finishListing()
{
    if (m_listingShowsProgress) w.pbQueue->hide();
    m_listingShowsProgress = false;
    m_listingTotal = m_listingDone = 0;
    emit folderListed();
    if (m_relistWanted) {
        m_relistWanted = false;
        relistShownFolder();
    }
}

void BrowseController::relistShownFolder()
{
    if (m_fileMainPath.isEmpty()) return;
    // One pass at a time: a change seen while rows are still coming is looked at once they have.
    if (listingBusy()) {
        m_relistWanted = true;
        return;
    }
    try {
        const QString folder = m_fileMainPath;
        const std::vector<tf::FolderFileEntry> entries = fncFolderImageEntries(folder);
        // Only files of other types came or went: the rows stand as they are.
        QByteArray state = filesState(entries);
        if (state == m_shownFiles) return;
        QSet<QString> present;
        for (const tf::FolderFileEntry& entry : entries) present.insert(fncFolderFilePath(folder, entry.name));

        QScrollBar* bar = m_lvFolder->verticalScrollBar();
        const int scrolled = bar->value();
        QSet<QString> listed;
        for (int i = m_listing.count() - 1; i >= 0; --i) {
            const QString& path = m_listing.file(i)->path;
            if (present.contains(path)) {
                listed.insert(path);
                continue;
            }
            m_listing.remove(i);
        }
        std::vector<int> added;
        for (const tf::FolderFileEntry& entry : entries) {
            const QString path = fncFolderFilePath(folder, entry.name);
            if (!listed.contains(path)) added.push_back(addListedFile(path));
        }
        m_shownFiles = std::move(state);
        // Every file is looked at again: one written since gets its picture again.
        std::vector<int> ids;
        for (const tf::FolderFile& file : m_listing.files()) {
            ids.push_back(file.id);
            m_waiting[file.id] |= kFactsPart;
        }
        for (int id : added) {
            const int index = m_listing.indexOfId(id);
            if (index >= 0) requestPicture(id, m_listing.file(index)->path);
        }
        bar->setValue(scrolled);
        if (ids.empty()) {
            m_waiting.clear();
            emit folderListed();
            return;
        }
        requestFacts(ids, /*refresh*/ true);
    } catch (const std::exception& e) {
        cancelListing();
        subReportException(e, QStringLiteral("BrowseController.relistShownFolder"));
    }
}

void BrowseController::subUpdateSizeTexts()
{
    const auto style = static_cast<uint8_t>(gudtSettings.LongFileSize);
    for (int i = 0; i < m_listing.count(); ++i) {
        const tf::FolderFile& file = *m_listing.file(i);
        // A row whose facts are still coming gets its text in the new style when they come.
        if (file.bytes < 0) continue;
        const QString size = fncFormatSize(file.bytes, style);
        if (size == file.texts[tf::kFolderSize]) continue;
        m_listing.setSize(i, file.bytes, size);
    }
}

void BrowseController::cmdDetailFolder_Click()
{
    m_cmdDetailFolder->update();
    const bool wasThumbnails = gudtSettings.FolderView == 0;
    gudtSettings.FolderView = 3;
    // Rows still waiting for pictures would never get their details: listed again instead.
    if (wasThumbnails && listingBusy()) {
        subShowFilesInFolder(m_fileMainPath);
        return;
    }
    attachFolderIcons(false);
}

void BrowseController::cmdThumbnailFolder_Click()
{
    m_cmdThumbnailFolder->update();
    gudtSettings.FolderView = 0;
    // The thumbnails are reused only when every row has its own, or the reason it has none; rows
    // listed in details mode have neither.
    // Thumbnails made before the settings asked for another size are made again at that size.
    bool everyRowSettled = m_listingThumbnails && !listingBusy() &&
                           m_listingThumbSize == QSize(glngFolderThumbWidth, glngFolderThumbHeight);
    for (int i = 0; everyRowSettled && i < m_listing.count(); ++i) {
        const tf::FolderFile* file = m_listing.file(i);
        everyRowSettled = file && (!file->failure.isEmpty() || (file->thumbnail >= 1 && file->thumbnail <= m_ilFolder.count()));
    }
    if (!everyRowSettled || m_listing.count() == 0) {
        subShowFilesInFolder(m_fileMainPath);
        return;
    }
    attachFolderIcons(true);
}


// ---------------------------------------------------------------- list events

void BrowseController::showSelectedRowOf(QTreeView* list)
{
    subShowSelectedFile(list->model()->index(tf::chosenViewRow(list), 0));
    callResize();
}

void BrowseController::selectionCount(QTreeView* list)
{
    mintSelectedCount = tf::chosenRowCount(list);
    if (mintSelectedCount < 2) mblnSuppressItemShow = false;
}

void BrowseController::lvFolder_ColumnClick(int column) { m_folderSort.columnClicked(column - 1); }

void BrowseController::lvFolder_GotFocus() { m_dragSourceList = QStringLiteral("lvFolder"); }

void BrowseController::lvFolder_ItemClick() { selectionCount(m_lvFolder); }

void BrowseController::lvFolder_KeyUp(int key)
{
    // In the folder list the keys that move a page or to an end show the new row too.
    if ((isArrowKey(key) || isPagingKey(key)) && !mblnSuppressItemShow) showSelectedRowOf(m_lvFolder);
}

void BrowseController::lvFolder_KeyPress(int key, Qt::KeyboardModifiers modifiers)
{
    if (m_listing.count() == 0) return;
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        emit addToBasketRequested();
    else if (key == Qt::Key_A && (modifiers & Qt::ControlModifier))
        m_lvFolder->selectAll();
}

void BrowseController::lvFolder_DblClick() { emit addToBasketRequested(); }

void BrowseController::lvFolder_MouseUp(int button) { lvFolder_MouseUp(button, QCursor::pos()); }

void BrowseController::lvFolder_MouseUp(int button, const QPoint& globalPos)
{
    if (m_listing.count() == 0) return;
    if (button == 2) {
        m_mnuContextFolderParent->popup(globalPos);
        return;
    }
    if (!mblnSuppressItemShow) showSelectedRowOf(m_lvFolder);
    m_lvFolder->setFocus();
}

void BrowseController::lvFolder_OLEDragDrop() { mblnSuppressItemShow = true; }

void BrowseController::mnuContextFolder_Click(int) { emit addToBasketRequested(); }

void BrowseController::lvPages_GotFocus() { m_dragSourceList = QStringLiteral("lvPages"); }

void BrowseController::lvPages_LostFocus() { mblnSuppressItemShow = true; }

void BrowseController::lvPages_ItemClick()
{
    if (m_pagesList) selectionCount(m_pagesList);
}

void BrowseController::lvPages_KeyUp(int key)
{
    if (!m_pagesList || m_pagesList->model()->rowCount() == 0) return;
    if (isArrowKey(key) && !mblnSuppressItemShow) showSelectedRowOf(m_pagesList);
}

void BrowseController::lvPages_MouseUp(int button) { lvPages_MouseUp(button, QCursor::pos()); }

void BrowseController::lvPages_MouseUp(int button, const QPoint& globalPos)
{
    if (!m_pagesList || m_pagesList->model()->rowCount() == 0) return;
    if (button == 2) {
        emit basketMenuRequested(globalPos, mintSelectedCount);
        return;
    }
    if (!mblnSuppressItemShow) {
        // Several pages chosen for a command: none of them is previewed, and the focus stays.
        if (mintSelectedCount > 1) return;
        showSelectedRowOf(m_pagesList);
    }
    m_pagesList->setFocus();
}

void BrowseController::subSaveSelectedPage(QTreeView* list)
{
    const QModelIndex row = list ? list->model()->index(tf::chosenViewRow(list), 0) : QModelIndex();
    if (!row.isValid()) return;
    const QString tag = row.data(tf::kPathRole).toString();
    if (m_ibMain->Tag() == tag && !previewPending()) {
        mnuSavePreviewAs_Click(0);
        return;
    }
    // The page is read by a decoder: the save runs once it is shown, not over the file before it.
    m_saveWhenShown = tag;
    subShowSelectedFile(row);
    callResize();
}

QAction* BrowseController::mnuAbout(int index) const
{
    return index >= 0 && index < static_cast<int>(m_mnuAbout.size()) ? m_mnuAbout[index] : nullptr;
}

QString BrowseController::homePageAddress() { return QString::fromUtf8(tf::version::kHomePage); }

QString BrowseController::tutorialAddress()
{
    QUrl url(homePageAddress());
    QUrlQuery query(url);
    query.removeAllQueryItems(QStringLiteral("action"));
    query.addQueryItem(QStringLiteral("action"), QStringLiteral("tutorial"));
    url.setQuery(query);
    return url.toString();
}

void BrowseController::cmdBrowseAbout_Click() { popupBelow(m_mnuAboutParent.get(), m_cmdBrowseAbout); }

void BrowseController::mnuAbout_Click(int index)
{
    switch (index) {
    case 0: subShellOpen(tutorialAddress()); break;
    case 1: subShellOpen(homePageAddress()); break;
    case 3: emit helpManualRequested(); break;
    case 4: emit aboutBoxRequested(); break;
    default: break;
    }
}

bool BrowseController::handleListEvent(QTreeView* list, QObject* watched, QEvent* event)
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
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched != list || !isFolder || m_listing.count() == 0) break;
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter && !key->matches(QKeySequence::SelectAll)) break;
        if (!key->isAutoRepeat()) lvFolder_KeyPress(enter ? Qt::Key_Return : Qt::Key_A, enter ? Qt::NoModifier : Qt::ControlModifier);
        return true;
    }
    case QEvent::MouseButtonDblClick:
        if (watched != list && isFolder && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) lvFolder_DblClick();
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        if (watched == list || !isFolder) break;
        auto* drag = static_cast<QDragMoveEvent*>(event);
        // Only rows of the two lists are taken, and as copies: the dragging list keeps its rows.
        if (drag->source() != m_folderList && drag->source() != m_pagesList) {
            drag->ignore();
            return true;
        }
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }
    case QEvent::Drop: {
        if (watched == list || !isFolder) break;
        auto* drop = static_cast<QDropEvent*>(event);
        if (drop->source() != m_folderList && drop->source() != m_pagesList) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        lvFolder_OLEDragDrop();
        return true;
    }
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
        const QPoint globalAt = mouse->globalPosition().toPoint();
        const QPointer<QTreeView> guard(list);
        m_redeliveringRelease = true;
        QCoreApplication::sendEvent(list->viewport(), event);
        m_redeliveringRelease = false;
        if (!guard) return true;
        if (list->indexAt(at).isValid()) {
            if (isFolder)
                lvFolder_ItemClick();
            else
                lvPages_ItemClick();
        }
        if (isFolder)
            lvFolder_MouseUp(button, globalAt);
        else
            lvPages_MouseUp(button, globalAt);
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
    if (m_Label4 && watched == m_Label4 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_Label4->rect().contains(mouse->position().toPoint())) Label4_Click();
    }
    return QObject::eventFilter(watched, event);
}

void BrowseController::callResize() { m_services.layout.subResize(); }
