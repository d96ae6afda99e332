#include "basket/BasketController.h"

#include "controls/panewidgets.h"
#include "basket/basketAdding.h"
#include "basket/modBasket.h"
#include "basket/modMultiPage.h"
#include "basket/modSaveOpenImageList.h"
#include "frame/LongCommand.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/reportview.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/statusbar.h"
#include "services/clsImageHeaderInfo.h"
#include "services/modCommonDialog.h"
#include "services/modFileSystem.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"

#include <QApplication>
#include <utility>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <exception>

using namespace tf::basket;

namespace {

const QString kFolderList = QStringLiteral("lvFolder");
const QString kPagesList = QStringLiteral("lvPages");
const QString kBasketFilter = QStringLiteral("Image basket file (*.ibf)|*.ibf");

// Design sizes of the pane's fixed parts, in pixels (the caption strip is the same in every pane).
constexpr int kSmallButton = 22;
constexpr int kLiveBarWidth = 108;

} // namespace

BasketController::BasketController(const BasketSetup& setup, FolderFiles& folder, tf::ImageDocument& ibTemp,
                                   tf::TaskReplayer& replayer, QObject* parent)
    : QObject(parent), w(setup), m_folder(folder)
{
    m_ilPages = new tf::ImageList(QSize(), this);
    m_ilPages->setObjectName(QStringLiteral("ilPages"));
    buildPane(w.pane);
    m_model.setIcons(m_ilPages);
    m_lvPages->setModel(&m_model);

    // Drags start in either list and end on the basket; what a drop does is decided here, so the
    // list's own drop (which would move rows itself) never runs.
    m_lvPages->setDragEnabled(true);
    m_lvPages->setAcceptDrops(true);
    m_lvPages->viewport()->setAcceptDrops(true);
    m_lvPages->setDropIndicatorShown(false);
    m_lvPages->setDefaultDropAction(Qt::CopyAction);
    m_pagesViewport = m_lvPages->viewport();
    m_pagesViewport->installEventFilter(this);
    // A window that closes takes the running add with it.
    if (w.owner) w.owner->installEventFilter(this);
    // The list never sorts itself: a caption click sorts the pages, once, and the list follows.
    connect(m_lvPages->header(), &QHeaderView::sectionClicked, this,
            [this](int logicalIndex) { subSortListView(logicalIndex + 1); });

    // Keys reach the list itself, not its viewport.
    m_lvPages->installEventFilter(this);
    // A title is edited only through the menu's "Rename title", never by a stray double click.
    m_lvPages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_mnuContextBasket = new QMenu(QStringLiteral("Context Basket"), w.pane);
    m_mnuContextBasket->setObjectName(QStringLiteral("mnuContextBasket"));
    const char* const captions[] = {"Save As", "Rename title", "Remove from basket"};
    for (int i = 0; i < 3; ++i) {
        m_mnuContext[size_t(i)] = m_mnuContextBasket->addAction(QString::fromLatin1(captions[i]));
        m_mnuContext[size_t(i)]->setObjectName(QStringLiteral("mnuContext_%1").arg(i));
        connect(m_mnuContext[size_t(i)], &QAction::triggered, this, [this, i] { mnuContext_Click(i); });
    }

    connect(m_cmdAddToQueue, &QPushButton::clicked, this, &BasketController::cmdAddToQueue_Click);
    connect(m_cmdPagesDelete, &QPushButton::clicked, this, &BasketController::cmdPagesDelete_Click);
    connect(m_cmdPagesNew, &QPushButton::clicked, this, &BasketController::cmdPagesNew_Click);
    connect(m_cmdPagesSave, &QPushButton::clicked, this, &BasketController::cmdPagesSave_Click);
    connect(m_cmdPagesOpen, &QPushButton::clicked, this, &BasketController::cmdPagesOpen_Click);

    // Saving and appending write the pages through the working document, page by page.
    m_multiPage = new tf::MultiPageCommands(m_model, ibTemp, replayer, w.owner, this);
    m_multiPage->setSaveAsButton(m_cmdSaveAs);
    connect(m_cmdSaveAs, &QPushButton::clicked, m_multiPage, &tf::MultiPageCommands::cmdSaveAs_Click);
    connect(m_cmdsaveAppend, &QPushButton::clicked, m_multiPage, &tf::MultiPageCommands::cmdsaveAppend_Click);
}

// The list holds its image list weakly, so whichever of the two goes first, nothing dangles.
BasketController::~BasketController()
{
    // Before the model goes: the add works on it. The window's widgets may be gone already.
    cancelAdding(/*display*/ false);
}

void BasketController::buildPane(QWidget* pane)
{
    m_lblQueue = tf::makePaneCaption(pane, QStringLiteral("lblQueue"), QStringLiteral("Basket"));
    m_picLiveBar = new QWidget(pane);
    m_picLiveBar->setObjectName(QStringLiteral("picLiveBar"));
    m_picLiveBar->setAttribute(Qt::WA_StyledBackground);
    // Tall enough for any pane: it runs down the basket's left edge.
    m_picLiveBar->setGeometry(0, tf::kPaneCaptionHeight, kLiveBarWidth, 4000);

    const int inner = kLiveBarWidth - 8;
    const int step = (inner - 4 * kSmallButton) / 3 + kSmallButton;
    auto small = [&](int i) { return QRect(4 + i * step, 6, kSmallButton, kSmallButton); };
    m_cmdPagesNew = tf::makePaneButton(m_picLiveBar, QStringLiteral("cmdPagesNew"), QString(), small(0),
                               QStringLiteral("New basket"));
    m_cmdPagesOpen = tf::makePaneButton(m_picLiveBar, QStringLiteral("cmdPagesOpen"), QString(), small(1),
                                QStringLiteral("Open an image basket"));
    m_cmdPagesSave = tf::makePaneButton(m_picLiveBar, QStringLiteral("cmdPagesSave"), QString(), small(2),
                                QStringLiteral("Save the image basket"));
    m_cmdPagesDelete = tf::makePaneButton(m_picLiveBar, QStringLiteral("cmdPagesDelete"), QString(), small(3),
                                  QStringLiteral("Remove the selected pages"));
    int y = 6 + kSmallButton + 10;
    auto next = [&]() {
        const QRect r(4, y, inner, 26);
        y += 26 + 4;
        return r;
    };
    m_cmdAddToQueue = tf::makePaneButton(m_picLiveBar, QStringLiteral("cmdAddToQueue"), QStringLiteral("Add"), next(),
                                 QStringLiteral("Add the selected files to the basket"));
    m_cmdSaveAs = tf::makePaneButton(m_picLiveBar, QStringLiteral("cmdSaveAs"), QStringLiteral("Save As"), next(),
                             QStringLiteral("Save the basket"));
    m_cmdsaveAppend = tf::makePaneButton(m_picLiveBar, QStringLiteral("cmdsaveAppend"), QStringLiteral("Append"), next(),
                                 QStringLiteral("Append the basket to a multipage file"));
    m_cmdBatchPrint = tf::makePaneButton(m_picLiveBar, QStringLiteral("cmdBatchPrint"), QStringLiteral("Print"), next(),
                                 QStringLiteral("Print the basket"));

    // The captions come from the model the list shows.
    m_lvPages = new tf::ReportView(pane);
    m_lvPages->setObjectName(QStringLiteral("lvPages"));
}

bool BasketController::isDragSource(const QObject* source) const
{
    return source && (source == m_lvPages || m_folder.isFolderDrag(source));
}

bool BasketController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == w.owner && event->type() == QEvent::Close) {
        // Before the window's own handler, which would otherwise wait for the add to end.
        cancelAdding();
        return false;
    }
    if (watched == m_lvPages && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (event->type() == QEvent::KeyRelease) {
            if (!key->isAutoRepeat()) lvPages_KeyUp(key->key());
            return false;
        }
        if (!key->matches(QKeySequence::SelectAll)) return false;
        lvPages_KeyPress(Qt::Key_A, Qt::ControlModifier);
        return true;
    }
    // Compared through a guarded pointer: the basket's viewport may already be gone while the
    // window takes its widgets down.
    if (!m_pagesViewport || watched != m_pagesViewport) return false;

    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        QObject* source = drag->source();
        if (!isDragSource(source)) {
            drag->ignore();
            return true;
        }
        // A copy as far as the dragging list knows, so it never removes the rows it dragged.
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        lvPages_OLEDragOver(source, drag->position().toPoint());
        return true;
    }
    case QEvent::DragLeave:
        m_lvPages->setDropHighlight(-1);
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        QObject* source = drop->source();
        if (!isDragSource(source)) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // Handled once the drag has ended, so the drag's own loop is not kept waiting for the
        // rows to be read and the add starts from the event loop every other command starts from.
        const QPoint pos = drop->position().toPoint();
        QPointer<QObject> from(source);
        QTimer::singleShot(0, this, [this, from, pos] {
            if (from) lvPages_OLEDragDrop(from, pos);
        });
        return true;
    }
    default:
        return false;
    }
}

void BasketController::lvPages_OLEDragOver(QObject* source, const QPoint& pos)
{
    if (!isDragSource(source)) return;
    if (m_ilPages->count() >= 1 && m_folder.dragSourceList() == kPagesList)
        m_lvPages->setDropHighlight(m_lvPages->rowAt(pos));
}

void BasketController::lvPages_OLEDragDrop(QObject* source, const QPoint& pos)
{
    if (!isDragSource(source)) return;
    emit droppedOnBasket();
    const QString from = m_folder.dragSourceList();
    if (from == kFolderList) {
        subAddFilesToBasket();
    } else if (from == kPagesList) {
        subMoveListItems(pos.x(), pos.y());
    }
}

QAction* BasketController::mnuContext(int index) const
{
    return index >= 0 && index < int(m_mnuContext.size()) ? m_mnuContext[size_t(index)] : nullptr;
}

void BasketController::lvPages_ContextMenu(const QPoint& globalPos, int selectedCount)
{
    if (m_model.isEmpty()) return;
    m_mnuContext[0]->setEnabled(selectedCount < 2);
    m_mnuContext[1]->setEnabled(selectedCount < 2);
    m_mnuContextBasket->popup(globalPos);
}

void BasketController::mnuContext_Click(int index)
{
    const bool chosen = m_lvPages->selectedRow() >= 0;
    switch (index) {
    case 0:
        if (chosen) emit savePageRequested();
        break;
    case 1:
        // Once the menu has gone: the focus it hands back would close an editor opened under it.
        if (chosen)
            QTimer::singleShot(0, this, [this] {
                const int row = m_lvPages->selectedRow();
                // Not while a long command works through the pages: the row may move under the editor.
                if (row < 0 || refuseWhileBusy()) return;
                const QModelIndex title = m_model.index(row, 0);
                m_lvPages->selectionModel()->setCurrentIndex(title, QItemSelectionModel::NoUpdate);
                m_lvPages->edit(title);
            });
        break;
    case 2: cmdPagesDelete_Click(); break;
    default: break;
    }
}

void BasketController::lvPages_KeyPress(int key, Qt::KeyboardModifiers modifiers)
{
    if (m_model.isEmpty()) return;
    if (key == Qt::Key_A && (modifiers & Qt::ControlModifier)) m_lvPages->selectAll();
}

void BasketController::lvPages_KeyUp(int key)
{
    if (m_model.isEmpty()) return;
    if (key == Qt::Key_Delete) cmdPagesDelete_Click();
}

void BasketController::setPanel(const QString& key, const QString& text)
{
    if (w.sbMain) w.sbMain->setPanelText(key, text);
}

void BasketController::subUpdateQueuePanel() { setPanel(QStringLiteral("queue"), fncQueueText(m_model.count())); }

void BasketController::setProgress(int maximum, int value)
{
    if (!w.pbQueue) return;
    w.pbQueue->setMaximum(maximum);
    w.pbQueue->setValue(value);
}

bool BasketController::refuseWhileBusy() const
{
    // A long command (an add, a save) works through the pages: they must stay put.
    return tf::isLongCommandRunning();
}

bool BasketController::refuseSecondCommand() const
{
    if (!tf::isLongCommandRunning()) return false;
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
    return true;
}

bool BasketController::isAdding() const { return m_adding && m_adding->isRunning(); }

tf::basket::AddSource BasketController::folderFileSource(const FolderFile& file, AddWay way) const
{
    tf::basket::AddSource source;
    source.path = file.tag;
    source.failName = way == AddWay::Button ? file.tag : file.text;
    source.displayName = file.text;
    source.pageCount = fncPageCountOf(file.pages);
    if (source.pageCount >= 2) {
        source.naming.pageName = fncRemoveExtension(file.text);
        source.naming.parenthesised = way != AddWay::Button;
        source.naming.tempBase = way == AddWay::Button ? file.text : fncRemoveExtension(file.text);
        source.naming.failName = source.failName;
        return source;
    }
    tf::basket::PageRecord& page = source.page;
    page.text = fncRemoveExtension(file.text);
    page.tag = file.tag;
    page.resolution = file.resolution;
    page.sizeText = file.sizeText;
    page.typeText = file.typeText;
    page.source = file.tag;
    if (!file.thumbnail.isNull()) {
        source.thumbnail = fncBasketThumbnail(file.thumbnail);
        if (page.resolution.trimmed().isEmpty()) {
            // The folder's picture says nothing of the file's size: ask the file's header, with our
            // own bounded reader (an image library's header read may allocate whatever a damaged
            // chunk claims), else a decoder.
            clsImageHeaderInfo header;
            if ((header.ReadJPEG_TIFF_PNG_Header(file.tag) || header.ReadGIF_BMP_Header(file.tag)) &&
                header.Width() > 0 && header.Height() > 0)
                page.resolution = fncResolutionText(header.Width(), header.Height());
            else
                source.askSize = true;
        }
    }
    return source;
}

void BasketController::startAdding(std::vector<tf::basket::AddSource> sources, AddWay way,
                                   std::unique_ptr<tf::LongCommand> command)
{
    m_addWay = way;
    m_addCommand = std::move(command);
    auto* adding = new tf::basket::BasketAdding(m_model, *m_ilPages, this);
    m_adding = adding;
    using tf::basket::BasketAdding;
    connect(adding, &BasketAdding::sourceStarted, this, &BasketController::onSourceStarted);
    connect(adding, &BasketAdding::pageStarting, this, &BasketController::onPageStarting);
    connect(adding, &BasketAdding::pageDone, this, [this](int, int page, int) {
        if (w.pbQueue) w.pbQueue->setValue(page);
    });
    connect(adding, &BasketAdding::sourceDone, this, &BasketController::onSourceDone);
    connect(adding, &BasketAdding::finished, this, &BasketController::onAddingFinished);
    adding->start(std::move(sources));
}

void BasketController::onSourceStarted(int index)
{
    const tf::basket::AddSource& source = m_adding->source(index);
    if (m_addWay == AddWay::Button)
        setPanel(QStringLiteral("folder"),
                 QStringLiteral("Adding file to basket - '") + source.displayName + QLatin1Char('\''));
    if (source.pageCount >= 2 && m_addWay != AddWay::BasketFile) setProgress(source.pageCount, 0);
}

void BasketController::onPageStarting(int index, int page, int pageCount)
{
    if (m_addWay == AddWay::BasketFile) return;
    const QString extracting = m_addWay == AddWay::Button ? QStringLiteral("Please wait... extracting multipage file - '")
                                                          : QStringLiteral("Please wait... extracting multipage document - '");
    setPanel(QStringLiteral("folder"), extracting + m_adding->source(index).displayName +
                                           QStringLiteral("' Pages ") + QString::number(page) + QStringLiteral(" of ") +
                                           QString::number(pageCount));
}

void BasketController::onSourceDone(int index, int lastRow)
{
    const tf::basket::AddSource& source = m_adding->source(index);
    // The folder row learns the size the basket read, when it is still there.
    if (m_addWay != AddWay::BasketFile && source.pageCount < 2 && lastRow >= 0) {
        const QString resolution = m_model.at(lastRow).resolution;
        if (!resolution.trimmed().isEmpty() && m_rowsWithoutSize.contains(source.path))
            m_folder.learnResolution(source.path, resolution);
    }
    if (m_addWay == AddWay::Drop && lastRow >= 0)
        m_lvPages->selectionModel()->select(m_model.index(lastRow, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    setProgress(m_addTotal, source.progress);
}

void BasketController::endAddingDisplay()
{
    if (m_addWay == AddWay::Button) setPanel(QStringLiteral("folder"), m_folder.currentFolder());
    if (m_addWay == AddWay::Drop) setPanel(QStringLiteral("folder"), QString());
    if (w.pbQueue) w.pbQueue->setVisible(false);
}

void BasketController::onAddingFinished(const QStringList& failed)
{
    if (m_adding) m_adding->deleteLater();
    m_adding = nullptr;
    // An add from an empty folder list leaves the panels as they were.
    if (m_addWay != AddWay::Button || m_addTotal > 0) {
        endAddingDisplay();
        subUpdateQueuePanel();
    }
    if (m_addWay == AddWay::Button) m_lvPages->clearSelection();
    // The command ends with the work: the message box does not hold other commands back.
    m_addCommand.reset();
    QStringList notAdded;
    if (m_addWay == AddWay::BasketFile) notAdded = std::exchange(m_missingFiles, {});
    subShowFailedFiles(notAdded + failed);
    emit addingFinished();
}

void BasketController::cancelAdding(bool display)
{
    if (!m_adding) return;
    m_adding->cancel();
    m_adding->deleteLater();
    m_adding = nullptr;
    if (display) endAddingDisplay();
    m_addCommand.reset();
}

void BasketController::cmdAddToQueue_Click()
{
    if (refuseSecondCommand()) return;
    auto command = std::make_unique<tf::LongCommand>(QStringLiteral("Adding selected files to basket!"));
    if (!*command) return;
    std::vector<tf::basket::AddSource> sources;
    m_rowsWithoutSize.clear();
    try {
        m_addTotal = m_folder.folderFileCount();
        if (m_addTotal > 0) {
            setProgress(m_addTotal, 0);
            if (w.pbQueue) w.pbQueue->setVisible(true);
            for (const FolderFile& file : m_folder.chosenFolderFiles()) {
                sources.push_back(folderFileSource(file, AddWay::Button));
                sources.back().progress = file.index;
                if (file.resolution.trimmed().isEmpty()) m_rowsWithoutSize.insert(file.tag);
            }
        }
    } catch (const std::exception& e) {
        if (w.pbQueue) w.pbQueue->setVisible(false);
        subReportException(e, QStringLiteral("BasketController.cmdAddToQueue_Click"));
        subUpdateQueuePanel();
        return;
    }
    startAdding(std::move(sources), AddWay::Button, std::move(command));
}

void BasketController::subAddFilesToBasket()
{
    if (refuseSecondCommand()) return;
    // The current-activity text stays what it was.
    auto command = std::make_unique<tf::LongCommand>(gstrCurrentOperation);
    if (!*command) return;
    const std::vector<FolderFile> files = m_folder.chosenFolderFiles();
    if (files.empty()) {
        subUpdateQueuePanel();
        return;
    }
    m_addTotal = static_cast<int>(files.size());
    m_rowsWithoutSize.clear();
    setProgress(m_addTotal, 0);
    if (w.pbQueue) w.pbQueue->setVisible(true);
    std::vector<tf::basket::AddSource> sources;
    int position = 0;
    for (const FolderFile& file : files) {
        sources.push_back(folderFileSource(file, AddWay::Drop));
        sources.back().progress = ++position;
        if (file.resolution.trimmed().isEmpty()) m_rowsWithoutSize.insert(file.tag);
    }
    startAdding(std::move(sources), AddWay::Drop, std::move(command));
}

void BasketController::subMoveListItems(int x, int y)
{
    if (refuseWhileBusy()) return;
    tf::basket::subMoveListItems(*m_lvPages, m_model, x, y);
}

void BasketController::subDeleteSelectedItems()
{
    if (refuseWhileBusy()) return;
    tf::basket::subDeleteSelectedItems(*m_lvPages, m_model);
}

void BasketController::subSortListView(int columnIndex)
{
    if (refuseWhileBusy() || columnIndex < 1 || columnIndex > m_model.columnCount()) return;
    // The first click on any column sorts it ascending, even on the column the list starts with.
    if (m_sorted && m_sortKey == columnIndex - 1) {
        m_sortOrder = m_sortOrder == 0 ? 1 : 0;
    } else {
        m_sortOrder = 0;
        m_sortKey = columnIndex - 1;
    }
    m_sorted = true;
    // The pages themselves are put in that order: it is the order they are written in.
    m_model.sort(m_sortKey, m_sortOrder == 1);
}

void BasketController::cmdPagesDelete_Click()
{
    if (refuseWhileBusy()) return;
    m_cmdPagesDelete->repaint();
    subDeleteSelectedItems();
    subUpdateQueuePanel();
}

void BasketController::cmdPagesNew_Click()
{
    // An add stops; any other command still reads or writes page files.
    cancelAdding();
    if (refuseWhileBusy()) return;
    m_model.clear();
    m_ilPages->Clear();
    setPanel(QStringLiteral("queue"), QStringLiteral("New Basket"));
    const QStringList deleted = subDeleteTempPages();
    if (!deleted.isEmpty()) emit pageFilesDeleted(deleted);
}

void BasketController::cmdPagesSave_Click()
{
    if (m_model.isEmpty() || refuseWhileBusy()) return;
    // Said before the user picks a name: the file could not bring these pages back.
    const QStringList unnamable = fncBasketFileUnnamable(m_model.distinctSources());
    if (!unnamable.isEmpty()) {
        MsgBox(QStringLiteral("This basket cannot be saved as a basket file: a basket file names one file a line, "
                              "and the name of\n\"%1\"\nholds a line break.\nRemove its pages from the basket, or "
                              "rename the file, and save the basket again.")
                   .arg(unnamable.first()),
               vbExclamation, QStringLiteral("Save Basket"));
        return;
    }
    typCommonDialog dialog;
    dialog.hwndOwner = w.owner;
    dialog.strDialogTitle = QStringLiteral("Save Basket");
    dialog.strFilter = kBasketFilter;
    dialog.lngFilterIndex = 1;
    dialog.lngFlags = 5;
    // The extension is added while the dialog is open, so its overwrite question names the real file.
    dialog.strDefaultExt = QStringLiteral("ibf");
    const QString chosen = fncShowSave(dialog).strFileName;
    if (chosen.isEmpty()) return;
    // A name with another extension ("x.txt") is written as "x.txt.ibf", a name the dialog never
    // asked about.
    QString fileName = fncBasketFileName(chosen);
    if (fileName != chosen && QFileInfo::exists(fileName) &&
        MsgBox(QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(fileName).fileName()),
               vbYesNo + vbExclamation + vbDefaultButton2, dialog.strDialogTitle) != vbYes)
        return;

    if (!fncSaveImageBasket(1, fileName, m_model, m_lstUniqueFiles)) {
        MsgBox(QStringLiteral("Error saving image basket!\nPlease try again!"), vbInformation);
        return;
    }
    // Pages kept only in our Temp folder (scanned pages) are deleted with the basket; say so now
    // rather than let them vanish from the reopened basket without a word.
    const QString temp = tf::userTempDir() + QLatin1Char('/');
    for (const QString& source : m_lstUniqueFiles) {
        if (source.startsWith(temp)) {
            MsgBox(QStringLiteral("Some pages of this basket are kept only in the program's Temp folder, which is "
                                  "emptied by New basket and when the program ends.\nThose pages will be missing "
                                  "when this basket file is opened again."),
                   vbInformation);
            break;
        }
    }
}

void BasketController::cmdPagesOpen_Click()
{
    if (refuseWhileBusy()) return;
    if (!m_model.isEmpty()) {
        const int answer =
            MsgBox(QStringLiteral("There are currently files in the Basket!.\nDo you want to continue?"),
                   vbOKCancel + vbInformation);
        if (answer != vbOK) return;
    }
    typCommonDialog dialog;
    dialog.hwndOwner = w.owner;
    dialog.strDialogTitle = QStringLiteral("Open Basket");
    dialog.strFilter = kBasketFilter;
    dialog.lngFilterIndex = 1;
    dialog.lngFlags = 5;
    const QString fileName = fncShowOpen(dialog).strFileName;
    if (fileName.isEmpty()) return;

    if (!openBasketFile(fileName))
        MsgBox(QStringLiteral("Error opening image basket!\nPlease select a valid image basket file."), vbInformation);
}

bool BasketController::openBasketFile(const QString& fileName)
{
    if (refuseSecondCommand()) return true;
    auto command = std::make_unique<tf::LongCommand>(QStringLiteral("Opening image list from file!"));
    if (!*command) return true;
    std::vector<tf::basket::AddSource> sources;
    int entries = 0;
    QStringList missing;
    if (!fncOpenImageBasket(fileName, sources, &entries, &missing)) {
        if (w.pbQueue) w.pbQueue->setVisible(false);
        subUpdateQueuePanel();
        return false;
    }
    // Read whole before anything is replaced: a file that fails halfway leaves the basket be.
    m_model.clear();
    m_ilPages->Clear();
    m_addTotal = entries;
    // A page that does not come back is a page lost: the user hears which, once the rest is in.
    m_missingFiles.clear();
    for (const QString& path : std::as_const(missing))
        m_missingFiles << fncFailedEntry(path) + QStringLiteral(" (the file is not there)");
    if (entries > 0) {
        setProgress(m_addTotal, 1);
        if (w.pbQueue) w.pbQueue->setVisible(true);
    }
    startAdding(std::move(sources), AddWay::BasketFile, std::move(command));
    return true;
}
