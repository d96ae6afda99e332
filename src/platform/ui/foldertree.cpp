#include "platform/ui/foldertree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>

namespace tf {

FolderTreeView::FolderTreeView(QWidget* parent) : QTreeView(parent), m_model(new QFileSystemModel(this))
{
    m_model->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    m_model->setReadOnly(true);
    m_model->setRootPath(QDir::rootPath());
    setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column) hideColumn(column);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setAnimated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid()) emit FolderClick(m_model->filePath(current));
    });
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
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) expand(parent);
    setCurrentIndex(index);
    scrollTo(index, QAbstractItemView::PositionAtCenter);
    return true;
}

} // namespace tf
