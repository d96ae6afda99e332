// The preview pane: the selected file in ibMain, fitted or at actual size, its status panels, the
// metadata pane's state, the preview menus and previous/next.
#include "browse/BrowseController.h"

#include "browse/modFolderView.h"
#include "browse/modPreview.h"
#include "controls/modButtonPicture.h"
#include "controls/splitter.h"
#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "platform/decode/decode_feed.h"
#include "platform/imagebox/imagebox.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/ui/reportview.h"
#include "platform/ui/statusbar.h"
#include "services/clsFileInfo.h"
#include "services/modFileSystem.h"
#include "services/modGDIPlus.h"
#include "services/modLoadPic.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTreeView>

namespace {
constexpr tf::OleColor kWhite = 0xFFFFFF;
const QString kPanelFileName = QStringLiteral("filename");
const QString kPanelPages = QStringLiteral("pages");
const QString kPanelResolution = QStringLiteral("resolution");
const QString kPanelMetadata = QStringLiteral("metadata");
const QString kPanelStatus = QStringLiteral("status");

// A button that shows a picture keeps room for it whatever its new caption.
void setCaption(QAbstractButton* button, const QString& caption)
{
    if (auto* push = qobject_cast<QPushButton*>(button))
        subSetButtonCaption(push, caption);
    else
        button->setText(caption);
}
} // namespace

QAction* BrowseController::mnuPreview(int index) const
{
    return index >= 0 && index < static_cast<int>(m_mnuPreview.size()) ? m_mnuPreview[index] : nullptr;
}
QAction* BrowseController::mnuPreviewFit(int index) const
{
    return index >= 0 && index < static_cast<int>(m_mnuPreviewFit.size()) ? m_mnuPreviewFit[index] : nullptr;
}
QAction* BrowseController::mnuPreviewType(int index) const
{
    return index >= 0 && index < static_cast<int>(m_mnuPreviewType.size()) ? m_mnuPreviewType[index] : nullptr;
}
QAction* BrowseController::mnuSavePreviewAs(int index) const
{
    return index >= 0 && index < static_cast<int>(m_mnuSavePreviewAs.size()) ? m_mnuSavePreviewAs[index] : nullptr;
}

void BrowseController::showEditMode(bool editing)
{
    if (QAction* entry = mnuPreview(0))
        entry->setText(editing ? QStringLiteral("Back to Explorer view") : QStringLiteral("Edit/Enhance image"));
}

void BrowseController::popupPreviewMenu(const QPoint& globalPos)
{
    if (m_mnuPreviewParent) m_mnuPreviewParent->popup(globalPos);
}

void BrowseController::syncMenuChecks()
{
    for (int i = 0; i < 2; ++i) {
        m_mnuPreviewFit[i]->setChecked(i == m_previewFitChecked);
        m_mnuPreviewType[i]->setChecked(i == m_previewTypeChecked);
    }
}

void BrowseController::subForgetShownFile()
{
    // A load still on its way would put its picture over whatever replaces the shown file.
    if (m_previewFeed && m_preview.request >= 0) m_previewFeed->cancel();
    m_preview.request = -1;
    dropPreviewWork();
    m_picTiffTag.clear();
    m_picTiffPicture = QImage();
    m_ibMain->setTag(QString());
}

void BrowseController::showCapturedPicture(const QImage& picture, const QString& path)
{
    // A load still on its way must not put its picture over the capture.
    subForgetShownFile();
    m_ibMain->document().setBitmapHandle(picture);
    m_ibMain->setTag(path);
    m_picTiffTag = path;
    m_picTiffPicture = picture;
    m_originalImage = m_ibMain->document().SaveToVariant(tf::ImageDocument::kSnapshotFormat);
    m_services.metadata.ClearLists();
    readShownMetadata(path, false, true, true);
    // Shown as a file chosen in a list is: from its top-left corner, fitted as the menu says, and
    // named by the panels (which still described the file shown before).
    m_ibMain->setFitToWindow(m_previewFitChecked == 0);
    m_hsbView->setValue(0);
    m_vsbView->setValue(0);
    m_ibMain->show();
    clsFileInfo info;
    info.FilePath(path);
    w.sbMain->setPanelPicture(kPanelFileName, w.iDetailIcon);
    w.sbMain->setPanelText(kPanelFileName, info.fName32bit());
    w.sbMain->setPanelText(kPanelPages, fncPagesPanelText(QStringLiteral("1")));
    w.sbMain->setPanelText(kPanelResolution,
                           fncResolutionPanelText(QStringLiteral("%1 X %2").arg(picture.width()).arg(picture.height()),
                                                  info.fSizeFormated()));
    callResize();
}

void BrowseController::dropPreviewWork()
{
    m_previewReplay.cancel();
    if (m_metadataPending) m_services.metadata.cancelRead();
    m_metadataPending = false;
}

void BrowseController::readShownMetadata(const QString& path, bool exif, bool iptc, bool describe)
{
    m_metadataPending = true;
    const QPointer<BrowseController> alive(this);
    m_services.metadata.readShownFile(path, exif, iptc, [this, alive, describe](bool hasIptc) {
        if (!alive) return;
        m_metadataPending = false;
        if (describe)
            w.sbMain->setPanelText(kPanelMetadata, fncMetadataPanelText(m_services.metadata.ExifRowCount() > 0, hasIptc));
        if (!previewPending()) emit previewSettled();
    });
}

// ---------------------------------------------------------------- loading

namespace {

// What a replay on a worker hands back.
struct PreviewReplay {
    QImage image;
    bool changed = false;
    tf::ReplayResult result;
    std::exception_ptr failure;
};

} // namespace

void BrowseController::replayOnPreview(ImageBox& control, std::function<void()> then)
{
    // The rows as the preview applies them now, owned by the replay: the list may change meanwhile.
    const std::shared_ptr<tf::TaskReplayer> replayer = m_services.replayer.frozenAsPreviewed();
    const QImage base = control.document().Picture();
    const qint64 shown = control.document().image().cacheKey();
    const QPointer<ImageBox> target(&control);
    m_previewReplay.start(
        [replayer, base](const tf::LatestWork::Flag&) {
            PreviewReplay out;
            try {
                tf::ImageDocument doc;
                doc.setPicture(base);
                const qint64 before = doc.image().cacheKey();
                out.result = replayer->replayAll(doc);
                out.changed = doc.image().cacheKey() != before;
                out.image = doc.Picture();
            } catch (...) {
                out.failure = std::current_exception();
            }
            return out;
        },
        [this, target, shown, then = std::move(then)](PreviewReplay out) {
            if (out.failure) {
                // Whatever the tasks threw is told, the picture as loaded stays: nothing a task
                // throws may escape into the event loop.
                try {
                    std::rethrow_exception(out.failure);
                } catch (const std::exception& e) {
                    subReportException(e, QStringLiteral("BrowseController.replayOnPreview"));
                } catch (...) {
                    subReportUnknownException(QStringLiteral("BrowseController.replayOnPreview"));
                }
            } else {
                // A picture put into the control meanwhile (the editing mode's) is not replaced.
                const bool stillShown = target && target->document().image().cacheKey() == shown;
                if (stillShown && out.changed) target->document().setPicture(out.image);
                // The image keeps what the tasks before the failed one made; the user is told which failed.
                if (!out.result.ok)
                    subGlobalErrorHandler(out.result.message, 0, 0, QStringLiteral("BrowseController.replayOnPreview"));
            }
            if (then) then();
        });
}

void BrowseController::showLoadFailure(const QString& path, bool missing)
{
    // Nothing of the previous file may stay: not its picture, not its path (a metadata command
    // would write to it), not its panels.
    subForgetShownFile();
    m_ibMain->Clear();
    w.sbMain->setPanelPicture(kPanelFileName, QPixmap());
    w.sbMain->setPanelText(kPanelFileName,
                           (missing ? QStringLiteral("File not found - ") : QStringLiteral("Unable to read - ")) +
                               fncGetFileName(path));
    w.sbMain->setPanelText(kPanelPages, QString());
    w.sbMain->setPanelText(kPanelResolution, QString());
    w.sbMain->setPanelText(kPanelMetadata, QString());
    subFitPreview(m_PicViewImage, m_ibMain, m_hsbView, m_vsbView);
    m_ibMain->hide();
}

void BrowseController::fncReadFile(const QString& path, ImageBox* control)
{
    if (!control) return;
    ++m_loadGeneration;
    // Whatever was asked before is superseded; its answer, should it still come, is dropped.
    if (m_previewFeed && m_preview.request >= 0) m_previewFeed->cancel();
    dropPreviewWork();
    m_preview = PendingPreview{};
    try {
        gstrCurrentOperation = QStringLiteral("Trying to read/view selected image file");
        gclsFileInfo.FilePath(path);
        const clsFileInfo info = gclsFileInfo;

        // Nothing of the previous file stays while the new one is read: a command now must not
        // reach the old file.
        subForgetShownFile();
        control->Clear();
        control->setFitToWindow(m_previewFitChecked == 0);
        if (!info.isValid()) {
            showLoadFailure(path, !QFileInfo::exists(path));
            settlePreview();
            return;
        }
        m_preview.path = path;
        m_preview.name = info.fName32bit();
        m_preview.control = control;
        m_preview.throughControl = fncPreviewLoadsThroughControl(fncFolderExtension(path));
        // Only the first page of a multipage file is previewed.
        const tf::decode::DecodeRequest request =
            m_preview.throughControl ? tf::routedRequest({path, 1, tf::DecodeCaller::Control})
                                     : tf::loadPicRequest(path, kSizeModeOwn, -1, -1, kWhite);
        if (!m_previewFeed) {
            m_previewFeed = new tf::decode::DecodeFeed(this);
            connect(m_previewFeed, &tf::decode::DecodeFeed::decoded, this, &BrowseController::takePreview);
        }
        m_preview.request = m_previewFeed->submit(request);
    } catch (const std::exception& e) {
        m_preview.request = -1;
        subReportException(e, QStringLiteral("BrowseController.fncReadFile"));
        settlePreview();
    }
}

void BrowseController::takePreview(int request, const tf::decode::DecodeResult& answer)
{
    if (request != m_preview.request) return;
    m_preview.request = -1;
    ImageBox* control = m_preview.control;
    const QString path = m_preview.path;
    if (!control) return settlePreview();
    try {
        if (m_preview.throughControl) {
            control->setPageIndex(1);
            control->document().LoadDecoded(path, tf::routedAnswer(answer));
            if (control->LoadFailed()) {
                showLoadFailure(path, !QFileInfo::exists(path));
                return settlePreview();
            }
        } else {
            int32_t imageWidth = 0, imageHeight = 0;
            const QImage picture = tf::loadPicAnswer(answer, imageWidth, imageHeight);
            if (picture.isNull()) {
                showLoadFailure(path, !QFileInfo::exists(path));
                return settlePreview();
            }
            m_picTiffPicture = picture;
            control->setBitmapHandle(picture);
        }

        m_originalImage = control->SaveToVariant(tf::ImageDocument::kSnapshotFormat);
        if (mblnOptimizedPreview && m_services.replayer.hasTasks()) {
            // The pane is finished when the replay lands; another file chosen meanwhile drops it.
            replayOnPreview(*control, [this] { finishPreview(); });
            return;
        }
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("BrowseController.fncReadFile"));
        return settlePreview();
    }
    finishPreview();
}

void BrowseController::finishPreview()
{
    ImageBox* control = m_preview.control;
    const QString path = m_preview.path;
    if (!control) return settlePreview();
    try {
        // A new image starts at its top-left corner, whatever the last one was scrolled to.
        m_hsbView->setValue(0);
        m_vsbView->setValue(0);
        subFitPreview(m_PicViewImage, control, m_hsbView, m_vsbView);
        m_picTiffTag = path;

        w.sbMain->setPanelPicture(kPanelFileName, w.iDetailIcon);
        w.sbMain->setPanelText(kPanelFileName, m_preview.name);
        w.sbMain->setPanelText(kPanelPages, fncPagesPanelText(m_rowPages));
        w.sbMain->setPanelText(kPanelResolution, fncResolutionPanelText(m_rowResolution, m_rowSize));

        control->show();
        control->setTag(path);
        gstrCurrentOperation = QStringLiteral("Resizing image to fit the container control");
        if (m_preview.rowModel) describeShownRow();
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("BrowseController.fncReadFile"));
    }
    settlePreview();
}

void BrowseController::settlePreview()
{
    m_preview.row = QPersistentModelIndex();
    m_preview.rowModel.clear();
    // The metadata may still be read; it says so when it lands.
    if (!previewPending()) emit previewSettled();
}

void BrowseController::subShowSelectedFile(const QModelIndex& row)
{
    if (!row.isValid()) return;
    // A folder row's file and texts come from the listing; a basket page's from the basket's model.
    const bool fromFolder = row.model() == &m_folderSort;
    if (!fromFolder && (!m_pagesList || row.model() != m_pagesList->model())) return;
    const tf::FolderFile* file = fromFolder ? m_listing.file(listingIndex(row)) : nullptr;
    if (fromFolder && !file) return;
    const QModelIndex page = row.siblingAtColumn(0);
    const QString path = file ? file->path : page.data(tf::kPathRole).toString();
    // Already shown (the same path, and the control still holds it), or on its way.
    if (!path.isEmpty() && path == m_picTiffTag && m_ibMain->Tag() == path && m_ibMain->HasImage()) return;
    if (!path.isEmpty() && previewPending() && m_preview.path == path && m_preview.control == m_ibMain) return;

    // The panels describe the row being shown, whichever list it is in. Basket pages carry no
    // page count: each is one page.
    m_rowPages = file ? file->texts[tf::kFolderPages] : QStringLiteral("1");
    m_rowResolution = file ? file->texts[tf::kFolderResolution] : page.siblingAtColumn(1).data().toString();
    m_rowSize = file ? file->texts[tf::kFolderSize] : page.siblingAtColumn(2).data().toString();

    m_ibMain->Clear();
    m_services.metadata.ClearLists();
    fncReadFile(path, m_ibMain);
    if (!previewPending()) return; // failed at once: nothing more to describe
    // The model's own row: it follows sorts and moves, and goes when the row does.
    if (fromFolder) {
        m_preview.row = m_listing.index(listingIndex(row), 0);
        m_preview.rowModel = &m_listing;
    } else {
        m_preview.row = page;
        m_preview.rowModel = m_pagesList->model();
    }
    m_preview.fromFolder = fromFolder;
}

void BrowseController::describeShownRow()
{
    const QString path = m_preview.path;
    const QModelIndex row = m_preview.row;
    // The row is written to only while it still exists.
    const bool rowAlive = row.isValid() && m_preview.rowModel && row.model() == m_preview.rowModel;
    const QString resolution = rowAlive ? row.siblingAtColumn(1).data().toString() : QString();
    if (rowAlive && (resolution.isEmpty() || resolution == QLatin1String("0 X 0 X 0"))) {
        const QString shown = QStringLiteral("%1 X %2 X %3")
                                  .arg(m_ibMain->ImageWidth())
                                  .arg(m_ibMain->ImageHeight())
                                  .arg(m_ibMain->BitsPerPixel());
        if (m_preview.fromFolder)
            m_listing.setText(row.row(), tf::kFolderResolution, shown);
        else
            m_preview.rowModel->setData(row.siblingAtColumn(1), shown);
    }

    const MetadataPaneRule rule = fncMetadataPaneRule(fncFolderExtension(path));
    subShowMetadataPane(rule.showExif, rule.showIptc);
    if (w.tbsMetadata) {
        if (rule.tabIndex >= 0 && rule.tabIndex < w.tbsMetadata->count()) w.tbsMetadata->setCurrentIndex(rule.tabIndex);
        w.tbsMetadata->setEnabled(rule.tabsEnabled);
    }
    // The lists fill, and the panel says what the file holds, when the read lands.
    readShownMetadata(path, rule.readExif, rule.readIptc, true);
}

void BrowseController::subShowMetadataPane(bool showExif, bool showIptc)
{
    if (w.splView) {
        const bool hasLeft = w.splView->LeftOrTopControl() != nullptr;
        const bool hasRight = w.splView->RightOrBottomControl() != nullptr;
        if ((showExif || showIptc) && !hasLeft && !hasRight) {
            w.splView->setLeftOrTopControl(w.picView);
            w.splView->setRightOrBottomControl(w.PicMetadata);
        } else if (!showExif && !showIptc && hasLeft && hasRight) {
            w.splView->setLeftOrTopControl(nullptr);
            w.splView->setRightOrBottomControl(nullptr);
        }
    }
    callResize();
}

// ---------------------------------------------------------------- fit, zoom, scrolling

void BrowseController::subFixedSizeTiff()
{
    try {
        gstrCurrentOperation = QStringLiteral("Resizing Image according to preview setting");
        if (!m_picTiffTag.isEmpty()) {
            if (m_previewFitChecked == 0) {
                m_ibMain->setFitToWindow(true);
            } else {
                m_ibMain->setFitToWindow(false);
                m_ibMain->setZoom(100);
            }
        }
        m_hsbView->setValue(0);
        m_vsbView->setValue(0);
        subFitPreview(m_PicViewImage, m_ibMain, m_hsbView, m_vsbView);
    } catch (const std::exception& e) {
        subReportException(e, QStringLiteral("BrowseController.subFixedSizeTiff"));
    }
}

void BrowseController::subFitPreview() { subFitPreview(m_PicViewImage, m_ibMain, m_hsbView, m_vsbView); }

void BrowseController::subFitPreview(QWidget* viewport, ImageBox* control, QScrollBar* hsb, QScrollBar* vsb)
{
    if (!viewport || !control) return;
    // The control first takes the viewport's whole size, which a fitted image is fitted into.
    // A hidden widget hears of its new size only when shown, so the control is told directly.
    control->hide();
    control->resize(viewport->size());

    // The image as shown: fitted, or at the zoom (its own size at actual size).
    const QRect inner = viewport->contentsRect();
    const PreviewFit fit = fncComputePreviewFit(inner.size(), control->displaySize());
    control->resize(fit.size);

    // The bars first: a bar whose range shrinks moves its value, and with it the control.
    if (hsb) {
        hsb->setRange(0, fit.hsbMax);
        hsb->setPageStep(std::max(1, inner.width()));
        hsb->setVisible(fit.hsbVisible);
    }
    if (vsb) {
        vsb->setRange(0, fit.vsbMax);
        vsb->setPageStep(std::max(1, inner.height()));
        vsb->setVisible(fit.vsbVisible);
    }
    // An overflowing image stays where its bar has scrolled it.
    const int x = fit.hsbVisible && hsb ? -hsb->value() : fit.position.x();
    const int y = fit.vsbVisible && vsb ? -vsb->value() : fit.position.y();
    control->move(inner.topLeft() + QPoint(x, y));
    control->show();
}

void BrowseController::subScrollPreviewVertical(ImageBox* control, QScrollBar* vsb)
{
    if (!control || !vsb || !control->parentWidget()) return;
    control->move(control->x(), control->parentWidget()->contentsRect().top() - vsb->value());
}

void BrowseController::subScrollPreviewHorizontal(ImageBox* control, QScrollBar* hsb)
{
    if (!control || !hsb || !control->parentWidget()) return;
    control->move(control->parentWidget()->contentsRect().left() - hsb->value(), control->y());
}

void BrowseController::subCentrePicture(QWidget* container, QWidget* picture)
{
    if (!container || !picture) return;
    const QRect inner = container->contentsRect();
    const QPoint at = fncCentredPosition(inner.size(), picture->size(), picture->contentsRect().size());
    picture->move(inner.topLeft() + at);
}

// ---------------------------------------------------------------- previous and next

// Rows counted from 1 as the list shows them, 0 for none.
void BrowseController::subShowNextFile(QTreeView* list)
{
    if (list)
        subShowRowAndSelectIt(list, fncNextRowIndex(list->model()->rowCount(), tf::chosenViewRow(list) + 1) - 1);
}

void BrowseController::subShowPreviousFile(QTreeView* list)
{
    if (list)
        subShowRowAndSelectIt(list, fncPreviousRowIndex(list->model()->rowCount(), tf::chosenViewRow(list) + 1) - 1);
}

void BrowseController::subShowRowAndSelectIt(QTreeView* list, int viewRow)
{
    const QModelIndex row = list->model()->index(viewRow, 0);
    if (!row.isValid()) return;
    subShowSelectedFile(row);
    list->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->scrollTo(row);
    list->setFocus();
}

void BrowseController::cmdPreviewNext_Click()
{
    if (m_cmdPreviewNext) m_cmdPreviewNext->update();
    if (m_dragSourceList == QLatin1String("lvPages") && m_pagesList)
        subShowNextFile(m_pagesList);
    else
        subShowNextFile(m_lvFolder);
}

void BrowseController::cmdPreviewPrevious_Click()
{
    if (m_cmdPreviewPrevious) m_cmdPreviewPrevious->update();
    if (m_dragSourceList == QLatin1String("lvPages") && m_pagesList)
        subShowPreviousFile(m_pagesList);
    else
        subShowPreviousFile(m_lvFolder);
}

// ---------------------------------------------------------------- menus and buttons

void BrowseController::popupBelow(QMenu* menu, QAbstractButton* button)
{
    if (!menu) return;
    if (button) {
        button->update();
        menu->popup(button->mapToGlobal(button->rect().bottomLeft()));
    } else {
        menu->popup(QCursor::pos());
    }
}

void BrowseController::cmdPreviewView_Click() { popupBelow(m_mnuPreviewFitParent.get(), m_cmdPreviewView); }
void BrowseController::cmdPreviewType_Click() { popupBelow(m_mnuPreviewTypeParent.get(), m_cmdPreviewType); }
void BrowseController::cmdPreviewSave_Click() { popupBelow(m_mnuSavePreviewAsParent.get(), m_cmdPreviewSave); }

void BrowseController::Label4_Click()
{
    for (QMenu* menu : {m_mnuPreviewFitParent.get(), m_mnuPreviewTypeParent.get(), m_mnuSavePreviewAsParent.get()})
        menu->menuAction()->setVisible(true);
    // In the client area's pixels, which the menu bar that just came up has moved down.
    const int splViewLeft = w.splView ? w.splView->x() : 0;
    const QPoint at(splViewLeft + m_Label4->x(), m_Label4->height());
    m_mnuPreviewParent->popup(w.client->mapToGlobal(at));
}

void BrowseController::cmdPreviewPrint_Click() { m_services.printer.PrintImage(*m_ibMain); }

void BrowseController::mnuPreview_Click(int index)
{
    m_services.selection.subClearSelection();
    switch (index) {
    case 0: m_services.editMode.CmdPreviewEdit_Click(); break;
    case 2: cmdPreviewPrevious_Click(); break;
    case 3: cmdPreviewNext_Click(); break;
    case 4: cmdPreviewPrint_Click(); break;
    default: break;
    }
}

void BrowseController::mnuPreviewFit_Click(int index)
{
    if (index < 0 || index > 1 || index == m_previewFitChecked) {
        syncMenuChecks(); // a click on the checked entry must not uncheck it
        return;
    }
    m_previewFitChecked = index;
    syncMenuChecks();
    if (m_cmdPreviewView) {
        setCaption(m_cmdPreviewView, QStringLiteral("    ") + m_mnuPreviewFit[index]->text());
        m_cmdPreviewView->update();
    }
    subFixedSizeTiff();
    subFitPreview(m_PicViewImage, m_ibMain, m_hsbView, m_vsbView);
    w.sbMain->setPanelText(kPanelStatus, fncZoomPanelText(m_ibMain->Zoom()));
}

void BrowseController::mnuPreviewType_Click(int index)
{
    if (index < 0 || index > 1 || index == m_previewTypeChecked) {
        syncMenuChecks();
        return;
    }
    m_previewTypeChecked = index;
    syncMenuChecks();
    if (index == 1) {
        mblnOptimizedPreview = true;
        if (m_ibMain->HasImage() && m_services.replayer.hasTasks())
            replayOnPreview(*m_ibMain, [this] { callResize(); });
    } else {
        mblnOptimizedPreview = false;
        m_previewReplay.cancel();
        if (m_ibMain->HasImage()) m_ibMain->LoadFromVariant(tf::ImageDocument::kSnapshotFormat, m_originalImage);
    }
    if (m_cmdPreviewType) setCaption(m_cmdPreviewType, QStringLiteral("     ") + m_mnuPreviewType[index]->text());
    callResize();
}

void BrowseController::mnuSavePreviewAs_Click(int index)
{
    if (!m_ibMain->HasImage()) return;
    if (index == 0) m_services.saver.SaveAs(*m_ibMain);
    if (index == 1) m_services.slideShow.showExecutableOptions();
}

void BrowseController::subUpdatePreviewSettings()
{
    m_previewTypeChecked = gudtSettings.PreviewType != 0 ? 1 : 0;
    m_previewFitChecked = gudtSettings.PreviewFit != 0 ? 1 : 0;
    mblnOptimizedPreview = gudtSettings.PreviewType != 0;
    syncMenuChecks();
    if (m_cmdPreviewType) setCaption(m_cmdPreviewType, QStringLiteral("    ") + m_mnuPreviewType[m_previewTypeChecked]->text());
    if (m_cmdPreviewView) setCaption(m_cmdPreviewView, QStringLiteral("  ") + m_mnuPreviewFit[m_previewFitChecked]->text());
}

void BrowseController::subStorePreviewSettings()
{
    gudtSettings.PreviewFit = m_mnuPreviewFit[0]->isChecked() ? 0 : 1;
    gudtSettings.PreviewType = m_mnuPreviewType[0]->isChecked() ? 0 : 1;
}
