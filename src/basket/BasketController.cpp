#include "basket/BasketController.h"

#include "controls/panewidgets.h"
#include "basket/modBasket.h"
#include "basket/modMultiPage.h"
#include "basket/modSaveOpenImageList.h"
#include "frame/LongCommand.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/listview.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/statusbar.h"
#include "services/clsImageHeaderInfo.h"
#include "services/modCommonDialog.h"
#include "services/modFileSystem.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
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
    showModel();

    // Drags start in either list and end on the basket; what a drop does is decided here, so the
    // list's own drop (which would move rows itself) never runs.
    m_lvPages->setDragEnabled(true);
    m_lvPages->setAcceptDrops(true);
    m_lvPages->viewport()->setAcceptDrops(true);
    m_lvPages->setDropIndicatorShown(false);
    m_lvPages->setDefaultDropAction(Qt::CopyAction);
    m_pagesViewport = m_lvPages->viewport();
    m_pagesViewport->installEventFilter(this);
    // The list never sorts itself: a caption click sorts the pages, once, and the list follows.
    m_lvPages->header()->setSectionsClickable(true);
    connect(m_lvPages->header(), &QHeaderView::sectionClicked, this,
            [this](int logicalIndex) { subSortListView(logicalIndex + 1); });

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
BasketController::~BasketController() = default;

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

    m_lvPages = new tf::ListView(pane);
    m_lvPages->setObjectName(QStringLiteral("lvPages"));
    m_lvPages->setColumnHeaders({QStringLiteral("File Name"), QStringLiteral("Resolution"), QStringLiteral("Size"),
                                 QStringLiteral("Type"), QStringLiteral("Source File")});
}

// The list mirrors the model row for row. Rows are moved, not made again, so what the list keeps
// of a row (its selection, the focus) goes with it.
void BasketController::showModel()
{
    using tf::basket::PageRecord;
    connect(&m_model, &tf::basket::BasketModel::appended, this, [this](int row) {
        const PageRecord& page = m_model.at(row);
        // Attached once; the new row then picks its picture up by number without redrawing the others.
        if (m_lvPages->SmallIcons() != m_ilPages) m_lvPages->setSmallIcons(m_ilPages);
        QTreeWidgetItem* item = m_lvPages->AddItem(page.text, page.icon);
        tf::ListView::setTag(item, page.tag);
        tf::ListView::setSubItem(item, kSubResolution, page.resolution);
        tf::ListView::setSubItem(item, kSubSize, page.sizeText);
        tf::ListView::setSubItem(item, kSubType, page.typeText);
        tf::ListView::setSubItem(item, kSubSource, page.source);
    });
    connect(&m_model, &tf::basket::BasketModel::removed, this, [this](const std::vector<int>& rows) {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) m_lvPages->RemoveItem(*it + 1);
    });
    connect(&m_model, &tf::basket::BasketModel::reordered, this, [this](const std::vector<int>& order) {
        QTreeWidgetItem* current = m_lvPages->currentItem();
        const QList<QTreeWidgetItem*> selected = m_lvPages->selectedInOrder();
        QList<QTreeWidgetItem*> rows;
        for (int old : order) rows << m_lvPages->Item(old + 1);
        while (m_lvPages->topLevelItemCount() > 0) m_lvPages->takeTopLevelItem(0);
        m_lvPages->addTopLevelItems(rows);
        for (QTreeWidgetItem* item : selected) item->setSelected(true);
        if (current) m_lvPages->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    });
    connect(&m_model, &tf::basket::BasketModel::cleared, this, [this] {
        m_lvPages->setSmallIcons(nullptr);
        m_lvPages->Clear();
    });
}

bool BasketController::isDragSource(const QObject* source) const
{
    return source && (source == m_lvPages || m_folder.isFolderDrag(source));
}

bool BasketController::eventFilter(QObject* watched, QEvent* event)
{
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
        m_lvPages->setDropHighlight(nullptr);
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
        // Handled once the drag has ended: adding yields to the event loop, which must not happen
        // inside the drag's own loop.
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
        m_lvPages->setDropHighlight(m_lvPages->HitTest(pos));
}

void BasketController::lvPages_OLEDragDrop(QObject* source, const QPoint& pos)
{
    if (!isDragSource(source)) return;
    emit droppedOnBasket();
    const QString from = m_folder.dragSourceList();
    if (from == kFolderList) {
        subAddFilesToBasket();
        subUpdateQueuePanel();
    } else if (from == kPagesList) {
        subMoveListItems(pos.x(), pos.y());
    }
}

void BasketController::setPanel(const QString& key, const QString& text)
{
    if (w.sbMain) w.sbMain->setPanelText(key, text);
}

void BasketController::subUpdateQueuePanel() { setPanel(QStringLiteral("queue"), fncQueueText(m_model.count())); }

bool BasketController::refuseWhileBusy() const
{
    // A long command (an add, a save) is yielding: the pages it works through must stay put.
    return tf::isLongCommandRunning();
}

int BasketController::addFolderFile(const FolderFile& file, AddWay way, QStringList& failed)
{
    const bool byButton = way == AddWay::Button;
    const QString failName = byButton ? file.tag : file.text;
    if (byButton) setPanel(QStringLiteral("folder"), QStringLiteral("Adding file to basket - '") + file.text + QLatin1Char('\''));
    const int pageCount = fncPageCountOf(file.pages);

    if (pageCount < 2) {
        QImage thumbnail;
        QString resolution = file.resolution;
        if (!file.thumbnail.isNull()) {
            thumbnail = fncBasketThumbnail(file.thumbnail);
            if (resolution.trimmed().isEmpty()) {
                // The folder's picture says nothing of the file's size: ask the file's header, with
                // our own bounded reader (an image library's header read may allocate whatever a
                // damaged chunk claims), else a decoder.
                clsImageHeaderInfo header;
                int32_t width = 0, height = 0;
                if (header.ReadJPEG_TIFF_PNG_Header(file.tag) || header.ReadGIF_BMP_Header(file.tag)) {
                    width = header.Width();
                    height = header.Height();
                } else {
                    tf::LoadPicOptions quiet;
                    quiet.quiet = true;
                    LoadPic(file.tag, kSizeModeBox, glngPagesThumbWidth, glngPagesThumbHeight, kThumbBackColor, width,
                            height, quiet);
                }
                if (width > 0 && height > 0) resolution = fncResolutionText(width, height);
            }
        } else {
            int32_t width = 0, height = 0;
            tf::LoadPicOptions quiet;
            quiet.quiet = true;
            thumbnail = LoadPic(file.tag, kSizeModeBox, glngPagesThumbWidth, glngPagesThumbHeight, kThumbBackColor,
                                width, height, quiet);
            if (resolution.trimmed().isEmpty() && !thumbnail.isNull()) resolution = fncResolutionText(width, height);
        }
        if (thumbnail.isNull()) {
            failed << fncFailedEntry(failName);
            return -1;
        }
        // The folder row learns the size as well, when it is still there.
        if (file.resolution.trimmed().isEmpty() && !resolution.trimmed().isEmpty())
            m_folder.learnResolution(file.tag, resolution);
        tf::basket::PageRecord page;
        page.text = fncRemoveExtension(file.text);
        page.tag = file.tag;
        page.resolution = resolution;
        page.sizeText = file.sizeText;
        page.typeText = file.typeText;
        page.source = file.tag;
        return fncAddBasketPage(m_model, *m_ilPages, std::move(page), thumbnail);
    }

    if (w.pbQueue) {
        w.pbQueue->setMaximum(pageCount);
        w.pbQueue->setValue(0);
    }
    SplitNaming naming;
    naming.pageName = fncRemoveExtension(file.text);
    naming.parenthesised = !byButton;
    naming.tempBase = byButton ? file.text : fncRemoveExtension(file.text);
    naming.failName = failName;
    const QString extracting = byButton ? QStringLiteral("Please wait... extracting multipage file - '")
                                        : QStringLiteral("Please wait... extracting multipage document - '");
    return fncAddSplitPages(m_model, *m_ilPages, m_ibWork, file.tag, pageCount, naming, failed,
                            [&](int p, int n, bool done) {
                                if (done) {
                                    if (w.pbQueue) w.pbQueue->setValue(p);
                                    return;
                                }
                                tf::DoEvents();
                                setPanel(QStringLiteral("folder"), extracting + file.text + QStringLiteral("' Pages ") +
                                                                       QString::number(p) + QStringLiteral(" of ") +
                                                                       QString::number(n));
                            });
}

void BasketController::cmdAddToQueue_Click()
{
    tf::LongCommand command(QStringLiteral("Adding selected files to basket!"));
    if (!command) return;
    m_cmdAddToQueue->repaint();
    QStringList failed;
    try {
        const int count = m_folder.folderFileCount();
        if (count > 0) {
            if (w.pbQueue) {
                w.pbQueue->setMaximum(count);
                w.pbQueue->setValue(0);
                w.pbQueue->setVisible(true);
            }
            // Taken before the first yield: the folder list may be refilled while pages are split.
            const std::vector<FolderFile> files = m_folder.chosenFolderFiles();
            for (const FolderFile& file : files) {
                command.yield();
                if (!m_model.hasSource(file.tag)) addFolderFile(file, AddWay::Button, failed);
                if (w.pbQueue) {
                    w.pbQueue->setMaximum(count);
                    w.pbQueue->setValue(file.index);
                }
            }
            setPanel(QStringLiteral("folder"), m_folder.currentFolder());
            if (w.pbQueue) w.pbQueue->setVisible(false);
            subUpdateQueuePanel();
        }
        m_lvPages->deselectAll();
    } catch (const std::exception& e) {
        if (w.pbQueue) w.pbQueue->setVisible(false);
        subReportException(e, QStringLiteral("BasketController.cmdAddToQueue_Click"));
        subUpdateQueuePanel();
    }
    subShowFailedFiles(failed);
}

void BasketController::subAddFilesToBasket()
{
    // The current-activity text stays what it was.
    tf::LongCommand command(gstrCurrentOperation);
    if (!command) return;
    const std::vector<FolderFile> files = m_folder.chosenFolderFiles();
    if (files.empty()) return;

    QStringList failed;
    const int total = static_cast<int>(files.size());
    if (w.pbQueue) {
        w.pbQueue->setMaximum(total);
        w.pbQueue->setValue(0);
        w.pbQueue->setVisible(true);
    }
    int position = 0;
    for (const FolderFile& file : files) {
        ++position;
        command.yield();
        if (!m_model.hasSource(file.tag)) {
            try {
                const int last = addFolderFile(file, AddWay::Drop, failed);
                if (last >= 0) m_lvPages->Item(last + 1)->setSelected(true);
            } catch (const std::exception&) {
                failed << fncFailedEntry(file.text);
            }
        }
        if (w.pbQueue) {
            w.pbQueue->setMaximum(total);
            w.pbQueue->setValue(position);
        }
    }
    setPanel(QStringLiteral("folder"), QString());
    if (w.pbQueue) w.pbQueue->setVisible(false);
    subShowFailedFiles(failed);
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
    if (refuseWhileBusy() || columnIndex < 1 || columnIndex > m_lvPages->columnCount()) return;
    // The first click on any column sorts it ascending, even on the column the list starts with.
    tf::ListView& lv = *m_lvPages;
    if (lv.Sorted && lv.SortKey == columnIndex - 1) {
        lv.SortOrder = lv.SortOrder == 0 ? 1 : 0;
    } else {
        lv.SortOrder = 0;
        lv.SortKey = columnIndex - 1;
    }
    lv.Sorted = true;
    m_model.sort(lv.SortKey, lv.SortOrder == 1);
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
    // Never while a command still reads or writes page files.
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
    gudtCommonDialog.hwndOwner = w.owner;
    gudtCommonDialog.strDialogTitle = QStringLiteral("Save Basket");
    gudtCommonDialog.strFileName.clear();
    gudtCommonDialog.strFilter = kBasketFilter;
    gudtCommonDialog.lngFilterIndex = 1;
    gudtCommonDialog.lngFlags = 5;
    // The extension is added while the dialog is open, so its overwrite question names the real file.
    gudtCommonDialog.strDefaultExt = QStringLiteral("ibf");
    fncShowSave();
    gudtCommonDialog.strDefaultExt.clear();
    const QString chosen = gudtCommonDialog.strFileName;
    if (chosen.isEmpty()) return;
    // A name with another extension ("x.txt") is written as "x.txt.ibf", a name the dialog never
    // asked about.
    QString fileName = fncBasketFileName(chosen);
    if (fileName != chosen && QFileInfo::exists(fileName) &&
        MsgBox(QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(fileName).fileName()),
               vbYesNo + vbExclamation + vbDefaultButton2, gudtCommonDialog.strDialogTitle) != vbYes)
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
    gudtCommonDialog.hwndOwner = w.owner;
    gudtCommonDialog.strDialogTitle = QStringLiteral("Open Basket");
    gudtCommonDialog.strFileName.clear();
    gudtCommonDialog.strFilter = kBasketFilter;
    gudtCommonDialog.lngFilterIndex = 1;
    gudtCommonDialog.lngFlags = 5;
    fncShowOpen();
    const QString fileName = gudtCommonDialog.strFileName;
    if (fileName.isEmpty()) return;

    tf::LongCommand command(QStringLiteral("Opening image list from file!"));
    if (!command) return;
    QStringList failed;
    const bool opened = fncOpenImageBasket(fileName, m_model, *m_ilPages, m_ibWork, w.pbQueue, &failed);
    subUpdateQueuePanel();
    if (!opened) {
        MsgBox(QStringLiteral("Error opening image basket!\nPlease select a valid image basket file."), vbInformation);
        return;
    }
    subShowFailedFiles(failed);
}
