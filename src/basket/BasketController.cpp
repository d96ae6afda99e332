#include "basket/BasketController.h"

#include "basket/modBasket.h"
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
#include "services/modCommonDialog.h"
#include "services/modFileSystem.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"

#include <QAbstractButton>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QImageReader>
#include <QProgressBar>
#include <QTimer>
#include <exception>

using namespace tf::basket;

namespace {

const QString kFolderList = QStringLiteral("lvFolder");
const QString kPagesList = QStringLiteral("lvPages");
const QString kBasketFilter = QStringLiteral("Image basket file (*.ibf)|*.ibf");

} // namespace

BasketController::BasketController(const BasketWidgets& widgets, QObject* parent) : QObject(parent), w(widgets)
{
    m_ilPages = w.ilPages ? w.ilPages : new tf::ImageList(QSize(), this);

    // Drags start in either list and end on the basket; what a drop does is decided here, so the
    // list's own drop (which would move rows itself) never runs.
    if (w.lvFolder) w.lvFolder->setDragEnabled(true);
    if (w.lvPages) {
        w.lvPages->setDragEnabled(true);
        w.lvPages->setAcceptDrops(true);
        w.lvPages->viewport()->setAcceptDrops(true);
        w.lvPages->setDropIndicatorShown(false);
        w.lvPages->setDefaultDropAction(Qt::CopyAction);
        m_pagesViewport = w.lvPages->viewport();
        m_pagesViewport->installEventFilter(this);
    }

    auto wire = [this](QAbstractButton* button, void (BasketController::*slot)()) {
        if (button) connect(button, &QAbstractButton::clicked, this, slot);
    };
    wire(w.cmdAddToQueue, &BasketController::cmdAddToQueue_Click);
    wire(w.cmdPagesDelete, &BasketController::cmdPagesDelete_Click);
    wire(w.cmdPagesNew, &BasketController::cmdPagesNew_Click);
    wire(w.cmdPagesSave, &BasketController::cmdPagesSave_Click);
    wire(w.cmdPagesOpen, &BasketController::cmdPagesOpen_Click);
}

// The list holds its image list weakly, so whichever of the two goes first, nothing dangles.
BasketController::~BasketController() = default;

QString BasketController::dragSourceList() const { return w.dragSourceList ? w.dragSourceList() : QString(); }

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
        if (source != w.lvFolder && source != w.lvPages) {
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
        w.lvPages->setDropHighlight(nullptr);
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        QObject* source = drop->source();
        if (source != w.lvFolder && source != w.lvPages) {
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
    if (source != w.lvFolder && source != w.lvPages) return;
    if (m_ilPages->count() >= 1 && dragSourceList() == kPagesList)
        w.lvPages->setDropHighlight(w.lvPages->HitTest(pos));
}

void BasketController::lvPages_OLEDragDrop(QObject* source, const QPoint& pos)
{
    if (!source || (source != w.lvFolder && source != w.lvPages)) return;
    emit droppedOnBasket();
    const QString from = dragSourceList();
    if (from == kFolderList) {
        subAddFilesToBasket(w.lvFolder, w.ilFolder);
        subUpdateQueuePanel();
    } else if (from == kPagesList) {
        subMoveListItems(w.lvPages, pos.x(), pos.y());
    }
}

void BasketController::setPanel(const QString& key, const QString& text)
{
    if (w.sbMain) w.sbMain->setPanelText(key, text);
}

void BasketController::subUpdateQueuePanel() { setPanel(QStringLiteral("queue"), fncQueueText(w.lvPages->Count())); }

bool BasketController::refuseWhileBusy() const
{
    // A long command (an add, a save) is yielding: the rows it works through must stay put.
    return tf::isLongCommandRunning();
}

bool BasketController::folderThumbnailsShown(tf::ListView* source, tf::ImageList* sourceImages) const
{
    if (!sourceImages || sourceImages->count() < 1) return false;
    if (source == w.lvFolder && w.folderShowsThumbnails) return w.folderShowsThumbnails();
    return true;
}

QList<BasketController::FolderRow> BasketController::snapshotSelected(tf::ListView* source,
                                                                      tf::ImageList* sourceImages) const
{
    // Taken before the first yield: the folder list may be refilled while pages are split.
    QList<FolderRow> rows;
    const bool thumbnails = folderThumbnailsShown(source, sourceImages);
    for (int i = 1; i <= source->Count(); ++i) {
        QTreeWidgetItem* item = source->Item(i);
        if (!item->isSelected()) continue;
        FolderRow row;
        row.index = i;
        row.text = item->text(0);
        row.tag = tf::ListView::Tag(item);
        row.resolution = tf::ListView::SubItem(item, kFolderResolution);
        row.sizeText = tf::ListView::SubItem(item, kFolderSize);
        row.pages = tf::ListView::SubItem(item, kFolderPages);
        row.typeText = tf::ListView::SubItem(item, kFolderType);
        // The row's own picture; a row without one is loaded from its file instead.
        if (thumbnails) row.folderThumbnail = sourceImages->image(tf::ListView::SmallIcon(item)).toImage();
        rows << row;
    }
    return rows;
}

QTreeWidgetItem* BasketController::addFolderRow(tf::ListView* source, const FolderRow& row, AddWay way,
                                                QStringList& failed)
{
    const bool byButton = way == AddWay::Button;
    const QString failName = byButton ? row.tag : row.text;
    if (byButton) setPanel(QStringLiteral("folder"), QStringLiteral("Adding file to basket - '") + row.text + QLatin1Char('\''));
    const int pageCount = fncPageCountOf(row.pages);

    if (pageCount < 2) {
        QImage thumbnail;
        QString resolution = row.resolution;
        if (!row.folderThumbnail.isNull()) {
            thumbnail = fncBasketThumbnail(row.folderThumbnail);
            if (resolution.trimmed().isEmpty()) {
                // The folder's picture says nothing of the file's size: ask the file's header.
                const QSize size = QImageReader(row.tag).size();
                if (size.isValid()) resolution = fncResolutionText(size.width(), size.height());
            }
        } else {
            int32_t width = 0, height = 0;
            tf::LoadPicOptions quiet;
            quiet.quiet = true;
            thumbnail = LoadPic(row.tag, kSizeModeBox, glngPagesThumbWidth, glngPagesThumbHeight, kThumbBackColor,
                                width, height, quiet);
            if (resolution.trimmed().isEmpty() && !thumbnail.isNull()) resolution = fncResolutionText(width, height);
        }
        if (thumbnail.isNull()) {
            failed << fncFailedEntry(failName);
            return nullptr;
        }
        if (row.resolution.trimmed().isEmpty() && !resolution.trimmed().isEmpty()) {
            // The folder row learns the size as well, when it is still there.
            QTreeWidgetItem* folderItem = source->Item(row.index);
            if (!folderItem || tf::ListView::Tag(folderItem) != row.tag) {
                folderItem = nullptr;
                for (int i = 1; i <= source->Count() && !folderItem; ++i)
                    if (tf::ListView::Tag(source->Item(i)) == row.tag) folderItem = source->Item(i);
            }
            tf::ListView::setSubItem(folderItem, kFolderResolution, resolution);
        }
        BasketPage page;
        page.text = fncRemoveExtension(row.text);
        page.tag = row.tag;
        page.thumbnail = thumbnail;
        page.resolution = resolution;
        page.sizeText = row.sizeText;
        page.typeText = row.typeText;
        page.source = row.tag;
        return fncAddBasketPage(w.lvPages, m_ilPages, page);
    }

    if (w.pbQueue) {
        w.pbQueue->setMaximum(pageCount);
        w.pbQueue->setValue(0);
    }
    SplitNaming naming;
    naming.pageName = fncRemoveExtension(row.text);
    naming.parenthesised = !byButton;
    naming.tempBase = byButton ? row.text : fncRemoveExtension(row.text);
    naming.failName = failName;
    const QString extracting = byButton ? QStringLiteral("Please wait... extracting multipage file - '")
                                        : QStringLiteral("Please wait... extracting multipage document - '");
    return fncAddSplitPages(w.lvPages, m_ilPages, m_ibWork, row.tag, pageCount, naming, failed,
                            [&](int p, int n, bool done) {
                                if (done) {
                                    if (w.pbQueue) w.pbQueue->setValue(p);
                                    return;
                                }
                                tf::DoEvents();
                                setPanel(QStringLiteral("folder"), extracting + row.text + QStringLiteral("' Pages ") +
                                                                       QString::number(p) + QStringLiteral(" of ") +
                                                                       QString::number(n));
                            });
}

void BasketController::cmdAddToQueue_Click()
{
    tf::LongCommand command(QStringLiteral("Adding selected files to basket!"));
    if (!command) return;
    if (w.cmdAddToQueue) w.cmdAddToQueue->repaint();
    QStringList failed;
    try {
        const int count = w.lvFolder->Count();
        if (count > 0) {
            if (w.pbQueue) {
                w.pbQueue->setMaximum(count);
                w.pbQueue->setValue(0);
                w.pbQueue->setVisible(true);
            }
            const QList<FolderRow> rows = snapshotSelected(w.lvFolder, w.ilFolder);
            for (const FolderRow& row : rows) {
                command.yield();
                if (!fncBasketHasSource(w.lvPages, row.tag)) addFolderRow(w.lvFolder, row, AddWay::Button, failed);
                if (w.pbQueue) {
                    w.pbQueue->setMaximum(count);
                    w.pbQueue->setValue(row.index);
                }
            }
            setPanel(QStringLiteral("folder"), w.currentFolder ? w.currentFolder() : QString());
            if (w.pbQueue) w.pbQueue->setVisible(false);
            subUpdateQueuePanel();
        }
        w.lvPages->deselectAll();
    } catch (const std::exception& e) {
        if (w.pbQueue) w.pbQueue->setVisible(false);
        subReportException(e, QStringLiteral("FrmMain.cmdAddToQueue_Click"));
        subUpdateQueuePanel();
    }
    subShowFailedFiles(failed);
}

void BasketController::subAddFilesToBasket(tf::ListView* lvSource, tf::ImageList* ilSource)
{
    if (!lvSource) return;
    // The current-activity text stays what it was.
    tf::LongCommand command(gstrCurrentOperation);
    if (!command) return;
    lvSource->setDropHighlight(nullptr);
    if (!lvSource->SelectedItem()) return;

    const QList<FolderRow> rows = snapshotSelected(lvSource, ilSource);
    QStringList failed;
    if (w.pbQueue) {
        w.pbQueue->setMaximum(static_cast<int>(rows.size()));
        w.pbQueue->setValue(0);
        w.pbQueue->setVisible(true);
    }
    int position = 0;
    for (const FolderRow& row : rows) {
        ++position;
        command.yield();
        if (!fncBasketHasSource(w.lvPages, row.tag)) {
            try {
                if (QTreeWidgetItem* last = addFolderRow(lvSource, row, AddWay::Drop, failed)) last->setSelected(true);
            } catch (const std::exception&) {
                failed << fncFailedEntry(row.text);
            }
        }
        if (w.pbQueue) {
            w.pbQueue->setMaximum(static_cast<int>(rows.size()));
            w.pbQueue->setValue(position);
        }
    }
    setPanel(QStringLiteral("folder"), QString());
    if (w.pbQueue) w.pbQueue->setVisible(false);
    subShowFailedFiles(failed);
}

void BasketController::subMoveListItems(tf::ListView* lv, int x, int y)
{
    if (refuseWhileBusy()) return;
    tf::basket::subMoveListItems(lv, x, y);
}

void BasketController::subDeleteSelectedItems(tf::ListView* lv)
{
    if (refuseWhileBusy()) return;
    tf::basket::subDeleteSelectedItems(lv);
}

void BasketController::subSortListView(tf::ListView* lv, int columnIndex)
{
    if (lv == w.lvPages && refuseWhileBusy()) return;
    ::subSortListView(lv, columnIndex);
}

void BasketController::cmdPagesDelete_Click()
{
    if (refuseWhileBusy()) return;
    if (w.cmdPagesDelete) w.cmdPagesDelete->repaint();
    subDeleteSelectedItems(w.lvPages);
    subUpdateQueuePanel();
}

void BasketController::cmdPagesNew_Click()
{
    // Never while a command still reads or writes page files.
    if (refuseWhileBusy()) return;
    w.lvPages->Clear();
    w.lvPages->setSmallIcons(nullptr);
    m_ilPages->Clear();
    setPanel(QStringLiteral("queue"), QStringLiteral("New Basket"));
    subDeleteTempPages();
}

void BasketController::cmdPagesSave_Click()
{
    if (w.lvPages->Count() < 1 || refuseWhileBusy()) return;
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
    QString fileName = gudtCommonDialog.strFileName;
    if (fileName.isEmpty()) return;

    if (!fncSaveImageBasket(1, fileName, w.lvPages, m_lstUniqueFiles)) {
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
    if (w.lvPages->Count() > 0) {
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
    const bool opened = fncOpenImageBasket(fileName, w.lvPages, m_ilPages, m_ibWork, w.pbQueue, &failed);
    subUpdateQueuePanel();
    if (!opened) {
        MsgBox(QStringLiteral("Error opening image basket!\nPlease select a valid image basket file."), vbInformation);
        return;
    }
    subShowFailedFiles(failed);
}
