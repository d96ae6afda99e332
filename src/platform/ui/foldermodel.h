#pragma once
#include <QAbstractItemModel>
#include <QIcon>
#include <QStringList>
#include <QThreadPool>

#include <memory>
#include <vector>

namespace tf {

class FolderWatch;

// The folders of the file system as a tree, from the root, and nothing else: no file is ever
// read, typed or given an icon. A folder's subfolders are read when the view first opens it, on a
// thread of the model's own, and arrive as one batch; a folder stays up to date while it is watched
// (the tree watches the folders it shows open), with its changes gathered to at most one re-read a
// second. Hidden folders are left out unless asked for by path.
// Subfolders are in name order, case ignored and numbers by their value ("2" before "10").
class FolderModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit FolderModel(QObject* parent = nullptr);
    ~FolderModel() override;

    // The row of an existing folder, made at once with the rows on its way when they have not been
    // read yet; an invalid index for anything that is not a folder.
    QModelIndex index(const QString& path);
    QString filePath(const QModelIndex& index) const;
    // Keeps the folder's subfolders up to date from now on (reading them again at once when they
    // had been read before), or stops doing so.
    void setWatched(const QModelIndex& index, bool watched);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    // The subfolders of the folder have been read for the first time, or read again and found
    // changed, and are in the model.
    void directoryLoaded(const QString& path);

private:
    struct Node {
        QString name; // a drive's whole path ("/"), else the folder's own name
        Node* parent = nullptr;
        std::vector<std::unique_ptr<Node>> children;
        bool read = false;     // the subfolders were read at least once
        bool reading = false;  // a read is under way
        bool readAgain = false; // a change came during the read: one more when it ends
        bool watched = false;
        bool asked = false;    // made by path: kept while it exists although a read leaves it out
    };

    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const Node* node) const;
    QString pathOf(const Node* node) const;
    // The node of the path when it is in the model, else nullptr.
    Node* find(const QString& path) const;
    void startRead(Node* node);
    void takeRead(const QString& path, const QStringList& sortedNames);
    void insertRows(Node* node, int row, const QStringList& names);
    void removeRows(Node* node, int row, int count);
    void forgetWatches(Node* node);

    Node m_root; // its children are the drives
    FolderWatch* m_watch;
    // One thread: reads of one folder arrive in the order they were started.
    QThreadPool m_readers;
    mutable QIcon m_folderIcon;
    mutable QIcon m_driveIcon;
};

} // namespace tf
