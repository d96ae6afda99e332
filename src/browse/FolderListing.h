#pragma once
// The folder list's data: the listed folder's files in the order they were listed, each with the
// texts of its columns and the number of its own thumbnail. The folder list is a view of it,
// sorted by a proxy; whatever needs the folder's files (the basket, the preview, previous and
// next) reads them here, and asks the view only which rows the user chose.
#include <QAbstractTableModel>
#include <QString>
#include <QtGlobal>
#include <array>
#include <functional>
#include <vector>

namespace tf {

// The folder list's columns; the number is the column's index (0 is the row text).
enum FolderColumn : int {
    kFolderFileName = 0,
    kFolderResolution,
    kFolderSize,
    kFolderPages,
    kFolderType,
    kFolderDateCreated,
    kFolderDateModified,
    kFolderDateAccessed,
    kFolderColumnCount
};

struct FolderFile {
    QString path;
    std::array<QString, kFolderColumnCount> texts; // by FolderColumn
    qint64 bytes = -1;                             // the file's size; -1 until it is known
    int thumbnail = 0;                             // its picture's number in ilFolder, 0 for none
    int id = 0;                                    // the listing's own number for the file, kept through sorts
    QString failure;                               // why it has no thumbnail; empty while none was asked or it has one
};

class FolderListing : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FolderListing(QObject* parent = nullptr);

    int count() const { return static_cast<int>(m_files.size()); }
    // 0-based; nullptr outside the listing.
    const FolderFile* file(int index) const;
    const std::vector<FolderFile>& files() const { return m_files; }
    // The index of the file with this path (or id), -1 when it is not listed.
    int indexOf(const QString& path) const;
    int indexOfId(int id) const;

    void clear();
    // Adds a file at the end and returns its index; the list shows it where its sort puts it.
    int add(FolderFile file);
    void remove(int index);
    void setText(int index, FolderColumn column, const QString& text);
    // The file's size and the Size column's text for it.
    void setSize(int index, qint64 bytes, const QString& text);
    void setThumbnail(int index, int number);
    void setFailure(int index, const QString& why);

    // The picture a row shows for its file (a thumbnail, a placeholder, the file icon): the
    // browse area decides, as it knows the list's mode. Each row asks again after refreshPictures.
    void setPicture(std::function<QVariant(const FolderFile&)> picture);
    void refreshPictures();

    // QAbstractItemModel: one column per FolderColumn. The Size column sorts by the file's bytes
    // (unknown ones first); the name's tool tip tells why a file has no thumbnail.
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void rowChanged(int index, int first, int last);

    std::vector<FolderFile> m_files;
    std::function<QVariant(const FolderFile&)> m_picture;
};

} // namespace tf
