#include "platform/ui/foldertree.h"

#include "platform/ui/foldermodel.h"
#include "platform/ui/folderwatch.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QScrollBar>
#include <QTimer>

namespace tf {

FolderTreeView::FolderTreeView(QWidget* parent)
    : QTreeView(parent), m_model(new FolderModel(this)), m_shownWatch(new FolderWatch(this))
{
    setModel(m_model);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setAnimated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A mouse press makes the row current first and selects it afterwards. The folder event
    // waits until the row is both: a handler that yields (a long listing) then leaves the tree
    // showing the chosen folder, and nothing of the press is left to run after the handler.
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        m_chosen = QPersistentModelIndex(current);
        raiseFolderClick();
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { raiseFolderClick(); });
    // Rows arrive and are sorted in steps after a folder was read; one centring after each batch.
    const auto centreAgain = [this] {
        if (!m_centred.isValid() || m_centreQueued) return;
        m_centreQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_centreQueued = false;
            if (m_centred.isValid() && m_centred == currentIndex()) scrollTo(m_centred, QAbstractItemView::PositionAtCenter);
        });
    };
    connect(m_model, &FolderModel::directoryLoaded, this, centreAgain);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, centreAgain);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, centreAgain);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { m_centred = QPersistentModelIndex(); });
    connect(this, &QTreeView::expanded, m_model, [this](const QModelIndex& index) { m_model->setWatched(index, true); });
    connect(this, &QTreeView::collapsed, m_model, [this](const QModelIndex& index) { m_model->setWatched(index, false); });
    connect(m_shownWatch, &FolderWatch::changed, this, &FolderTreeView::shownFolderChanged);
}

FolderTreeView::~FolderTreeView()
{
    // The view's base classes still let go of their indexes into the model after this body; the
    // model must outlive them, so it leaves the view's children (deleted in creation order, it
    // went first and the closing tree crashed now and then) and goes once the view is gone.
    m_chosen = QPersistentModelIndex();
    m_centred = QPersistentModelIndex();
    m_model->setParent(nullptr);
    m_model->deleteLater();
}

void FolderTreeView::setShownEntryFilter(std::function<bool(const QString&, const char*, bool)> filter)
{
    m_shownWatch->setEntryFilter(std::move(filter));
}

void FolderTreeView::raiseFolderClick()
{
    if (!m_chosen.isValid() || m_chosen != currentIndex() || !selectionModel()->isSelected(m_chosen)) return;
    const QString path = m_model->filePath(m_chosen);
    m_chosen = QPersistentModelIndex();
    // Watched before it is listed: what changes during the listing is told of afterwards.
    m_shownWatch->setFolders({path});
    emit FolderClick(path);
}

bool FolderTreeView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel) m_centred = QPersistentModelIndex();
    return QTreeView::viewportEvent(event);
}

void FolderTreeView::keyPressEvent(QKeyEvent* event)
{
    m_centred = QPersistentModelIndex();
    QTreeView::keyPressEvent(event);
}

QString FolderTreeView::SelectedFolder() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? m_model->filePath(current) : QString();
}

bool FolderTreeView::setSelectedFolder(const QString& path)
{
    QString folder = path;
    while (folder.endsWith(QLatin1Char(' '))) folder.chop(1);
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir()) return false;
    const QModelIndex index = m_model->index(info.absoluteFilePath());
    if (!index.isValid()) return false;
    // Kept before choosing it: the folder event may yield to the events that read the folders.
    m_centred = index;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) expand(parent);
    setCurrentIndex(index);
    scrollTo(index, QAbstractItemView::PositionAtCenter);
    return true;
}

} // namespace tf
