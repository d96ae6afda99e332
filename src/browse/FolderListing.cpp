#include "browse/FolderListing.h"

#include "platform/ui/reportview.h"

namespace tf {

FolderListing::FolderListing(QObject* parent) : QAbstractTableModel(parent) {}

const FolderFile* FolderListing::file(int index) const
{
    return index >= 0 && index < count() ? &m_files[static_cast<size_t>(index)] : nullptr;
}

int FolderListing::indexOf(const QString& path) const
{
    for (int i = 0; i < count(); ++i)
        if (m_files[static_cast<size_t>(i)].path == path) return i;
    return -1;
}

int FolderListing::indexOfId(int id) const
{
    for (int i = 0; i < count(); ++i)
        if (m_files[static_cast<size_t>(i)].id == id) return i;
    return -1;
}

void FolderListing::clear()
{
    beginResetModel();
    m_files.clear();
    endResetModel();
}

int FolderListing::add(FolderFile file)
{
    const int index = count();
    beginInsertRows({}, index, index);
    m_files.push_back(std::move(file));
    endInsertRows();
    return index;
}

void FolderListing::remove(int index)
{
    if (index < 0 || index >= count()) return;
    beginRemoveRows({}, index, index);
    m_files.erase(m_files.begin() + index);
    endRemoveRows();
}

void FolderListing::rowChanged(int index, int first, int last)
{
    emit dataChanged(this->index(index, first), this->index(index, last));
}

void FolderListing::setFailure(int index, const QString& why)
{
    if (index < 0 || index >= count() || m_files[static_cast<size_t>(index)].failure == why) return;
    m_files[static_cast<size_t>(index)].failure = why;
    rowChanged(index, kFolderFileName, kFolderFileName);
}

void FolderListing::setText(int index, FolderColumn column, const QString& text)
{
    if (index < 0 || index >= count() || column < 0 || column >= kFolderColumnCount) return;
    QString& held = m_files[static_cast<size_t>(index)].texts[static_cast<size_t>(column)];
    if (held == text) return;
    held = text;
    rowChanged(index, column, column);
}

void FolderListing::setSize(int index, qint64 bytes, const QString& text)
{
    if (index < 0 || index >= count()) return;
    FolderFile& f = m_files[static_cast<size_t>(index)];
    if (f.bytes == bytes && f.texts[kFolderSize] == text) return;
    f.bytes = bytes;
    f.texts[kFolderSize] = text;
    rowChanged(index, kFolderSize, kFolderSize);
}

void FolderListing::setThumbnail(int index, int number)
{
    if (index < 0 || index >= count()) return;
    m_files[static_cast<size_t>(index)].thumbnail = number;
    rowChanged(index, kFolderFileName, kFolderFileName);
}

void FolderListing::setPicture(std::function<QVariant(const FolderFile&)> picture)
{
    m_picture = std::move(picture);
    refreshPictures();
}

void FolderListing::refreshPictures()
{
    if (count() > 0) emit dataChanged(index(0, kFolderFileName), index(count() - 1, kFolderFileName), {Qt::DecorationRole});
}

int FolderListing::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }
int FolderListing::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kFolderColumnCount; }

QVariant FolderListing::data(const QModelIndex& index, int role) const
{
    const FolderFile* f = index.isValid() ? file(index.row()) : nullptr;
    if (!f || index.column() >= kFolderColumnCount) return {};
    switch (role) {
    case Qt::DisplayRole: return f->texts[static_cast<size_t>(index.column())];
    case Qt::DecorationRole:
        return index.column() == kFolderFileName && m_picture ? m_picture(*f) : QVariant();
    case kPathRole: return index.column() == kFolderFileName ? QVariant(f->path) : QVariant();
    case Qt::ToolTipRole:
        return index.column() == kFolderFileName && !f->failure.isEmpty() ? QVariant(f->failure) : QVariant();
    case kSortValueRole:
        // Sizes by their bytes: "89.6KB" is smaller than "4.69MB" whatever the texts' order.
        return index.column() == kFolderSize ? QVariant(f->bytes) : QVariant();
    default: return {};
    }
}

QVariant FolderListing::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const captions[kFolderColumnCount] = {"File Name", "Resolution", "Size", "Pages",
                                                             "Type", "Date Created", "Date Modified", "Date Accessed"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kFolderColumnCount)
        return {};
    return QString::fromLatin1(captions[section]);
}

Qt::ItemFlags FolderListing::flags(const QModelIndex& index) const
{
    // Rows are dragged to the basket.
    return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}

} // namespace tf
