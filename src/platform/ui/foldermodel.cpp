#include "platform/ui/foldermodel.h"

#include "platform/ui/folderwatch.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace tf {

namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// The order of the rows, the same on the reading thread and the GUI thread: runs of digits by
// their value ("2" before "10"), the text between them by the locale's collation with case
// ignored. Names equal but for case still get a fixed order, so that merging a new read with the
// rows is well defined.
bool nameLess(const QString& a, const QString& b)
{
    thread_local const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const qsizetype startA = i, startB = j;
        if (isDigit(a[i]) && isDigit(b[j])) {
            while (i < a.size() && isDigit(a[i])) ++i;
            while (j < b.size() && isDigit(b[j])) ++j;
            QStringView numberA = QStringView(a).sliced(startA, i - startA);
            QStringView numberB = QStringView(b).sliced(startB, j - startB);
            while (numberA.size() > 1 && numberA.front() == QLatin1Char('0')) numberA = numberA.sliced(1);
            while (numberB.size() > 1 && numberB.front() == QLatin1Char('0')) numberB = numberB.sliced(1);
            if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
            const int order = numberA.compare(numberB);
            if (order != 0) return order < 0;
        } else {
            while (i < a.size() && !isDigit(a[i])) ++i;
            while (j < b.size() && !isDigit(b[j])) ++j;
            const QStringView textA = QStringView(a).sliced(startA, i - startA);
            const QStringView textB = QStringView(b).sliced(startB, j - startB);
            int order = collator.compare(textA, textB);
            if (order == 0) order = textA.compare(textB, Qt::CaseInsensitive);
            if (order != 0) return order < 0;
        }
    }
    if (i < a.size() || j < b.size()) return j < b.size();
    return a < b;
}

// The subfolders only, hidden ones left out. A file is passed over by the type its directory
// entry carries, without a look at it: a folder of thousands of files costs one pass over the
// names. Only links and entries of a file system that does not tell the type are looked at.
QStringList readSubfolders(const QString& path)
{
    QStringList names;
    const QByteArray encoded = QFile::encodeName(path);
    DIR* dir = opendir(encoded.constData());
    if (!dir) return names;
    const int dirFd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat target {};
            folder = fstatat(dirFd, entry->d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
        }
        if (folder) names << QFile::decodeName(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), nameLess);
    return names;
}

QString childPath(const QString& parent, const QString& name)
{
    return parent.endsWith(QLatin1Char('/')) ? parent + name : parent + QLatin1Char('/') + name;
}

} // namespace

FolderModel::FolderModel(QObject* parent) : QAbstractItemModel(parent), m_watch(new FolderWatch(this))
{
    m_readers.setMaxThreadCount(1);
    m_root.read = true;
    QStringList drives;
    for (const QFileInfo& drive : QDir::drives()) drives << drive.absoluteFilePath();
    std::sort(drives.begin(), drives.end(), nameLess);
    insertRows(&m_root, 0, drives);
    // Files coming and going change no row: only folders, and links that lead to one (made now,
    // or gone and holding a row), are worth a read.
    m_watch->setEntryFilter([this](const QString& folder, const char* name, bool isFolder) {
        if (isFolder) return true;
        const QString child = childPath(folder, QFile::decodeName(name));
        struct stat st {};
        if (::lstat(QFile::encodeName(child).constData(), &st) == 0) return S_ISLNK(st.st_mode) && QFileInfo(child).isDir();
        const Node* node = find(folder);
        const QString leaf = QFile::decodeName(name);
        return node && std::any_of(node->children.begin(), node->children.end(), [&](const auto& n) { return n->name == leaf; });
    });
    connect(m_watch, &FolderWatch::changed, this, [this](const QString& path) {
        Node* node = find(path);
        if (node && node->watched) startRead(node);
    });
}

FolderModel::~FolderModel()
{
    // Reads still queued are of no use now; a running one posts its answer to this object, and
    // that answer goes with it.
    m_readers.clear();
    m_readers.waitForDone();
}

FolderModel::Node* FolderModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : const_cast<Node*>(&m_root);
}

QModelIndex FolderModel::indexOf(const Node* node) const
{
    if (!node || node == &m_root) return {};
    const auto& siblings = node->parent->children;
    const auto at = std::find_if(siblings.begin(), siblings.end(), [node](const auto& n) { return n.get() == node; });
    return createIndex(int(at - siblings.begin()), 0, const_cast<Node*>(node));
}

QString FolderModel::pathOf(const Node* node) const
{
    if (!node || node == &m_root) return {};
    if (node->parent == &m_root) return node->name;
    return childPath(pathOf(node->parent), node->name);
}

FolderModel::Node* FolderModel::find(const QString& path) const
{
    for (const auto& drive : m_root.children) {
        if (!path.startsWith(drive->name)) continue;
        Node* node = drive.get();
        for (const QString& part : path.mid(drive->name.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            const auto& children = node->children;
            const auto at = std::find_if(children.begin(), children.end(), [&](const auto& n) { return n->name == part; });
            if (at == children.end()) return nullptr;
            node = at->get();
        }
        return node;
    }
    return nullptr;
}

QModelIndex FolderModel::index(const QString& path)
{
    if (path.isEmpty()) return {};
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (Node* known = find(clean)) return indexOf(known);
    if (!QFileInfo(clean).isDir()) return {};
    for (const auto& drive : m_root.children) {
        if (!clean.startsWith(drive->name)) continue;
        Node* node = drive.get();
        for (const QString& part : clean.mid(drive->name.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            auto& children = node->children;
            auto at = std::find_if(children.begin(), children.end(), [&](const auto& n) { return n->name == part; });
            if (at == children.end()) {
                const auto place = std::partition_point(children.begin(), children.end(),
                                                        [&](const auto& n) { return nameLess(n->name, part); });
                const int row = int(place - children.begin());
                insertRows(node, row, {part});
                at = children.begin() + row;
                (*at)->asked = true;
            }
            node = at->get();
        }
        return indexOf(node);
    }
    return {};
}

QString FolderModel::filePath(const QModelIndex& index) const { return index.isValid() ? pathOf(nodeOf(index)) : QString(); }

void FolderModel::setWatched(const QModelIndex& index, bool watched)
{
    Node* node = nodeOf(index);
    if (node == &m_root || node->watched == watched) return;
    node->watched = watched;
    if (!watched) {
        m_watch->removeFolder(pathOf(node));
        return;
    }
    m_watch->addFolder(pathOf(node));
    // Read now: the first time, or again for what changed while it was not watched.
    startRead(node);
}

QModelIndex FolderModel::index(int row, int column, const QModelIndex& parent) const
{
    const Node* node = nodeOf(parent);
    if (column != 0 || row < 0 || row >= int(node->children.size())) return {};
    return createIndex(row, 0, node->children[size_t(row)].get());
}

QModelIndex FolderModel::parent(const QModelIndex& child) const
{
    return child.isValid() ? indexOf(nodeOf(child)->parent) : QModelIndex();
}

int FolderModel::rowCount(const QModelIndex& parent) const
{
    return parent.column() > 0 ? 0 : int(nodeOf(parent)->children.size());
}

int FolderModel::columnCount(const QModelIndex&) const { return 1; }

QVariant FolderModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) return {};
    const Node* node = nodeOf(index);
    if (role == Qt::DisplayRole) return node->name;
    if (role == Qt::DecorationRole) {
        // Looked up once for the whole tree: a folder's own icon would mean reading the folder.
        QIcon& icon = node->parent == &m_root ? m_driveIcon : m_folderIcon;
        if (icon.isNull())
            icon = QFileIconProvider().icon(node->parent == &m_root ? QFileIconProvider::Drive : QFileIconProvider::Folder);
        return icon;
    }
    return {};
}

bool FolderModel::hasChildren(const QModelIndex& parent) const
{
    // A folder not read yet may have subfolders: it offers to open.
    const Node* node = nodeOf(parent);
    return parent.column() <= 0 && (!node->read || !node->children.empty());
}

bool FolderModel::canFetchMore(const QModelIndex& parent) const
{
    const Node* node = nodeOf(parent);
    return node != &m_root && !node->read && !node->reading;
}

void FolderModel::fetchMore(const QModelIndex& parent)
{
    if (canFetchMore(parent)) startRead(nodeOf(parent));
}

void FolderModel::startRead(Node* node)
{
    if (node->reading) {
        node->readAgain = true;
        return;
    }
    node->reading = true;
    const QString path = pathOf(node);
    m_readers.start([this, path] {
        const QStringList names = readSubfolders(path);
        QMetaObject::invokeMethod(this, [this, path, names] { takeRead(path, names); }, Qt::QueuedConnection);
    });
}

void FolderModel::takeRead(const QString& path, const QStringList& sortedNames)
{
    Node* node = find(path);
    if (!node) return;
    // Both sides are in the same order: one walk, the rows added and removed in runs.
    bool changed = !node->read;
    size_t row = 0;
    qsizetype next = 0;
    while (row < node->children.size() || next < sortedNames.size()) {
        if (row == node->children.size() ||
            (next < sortedNames.size() && nameLess(sortedNames[next], node->children[row]->name))) {
            QStringList added;
            while (next < sortedNames.size() &&
                   (row == node->children.size() || nameLess(sortedNames[next], node->children[row]->name)))
                added << sortedNames[next++];
            insertRows(node, int(row), added);
            row += size_t(added.size());
            changed = true;
        } else if (next == sortedNames.size() || nameLess(node->children[row]->name, sortedNames[next])) {
            size_t end = row;
            const auto gone = [&](const Node& n) { return !n.asked || !QFileInfo(childPath(path, n.name)).isDir(); };
            while (end < node->children.size() && gone(*node->children[end]) &&
                   (next == sortedNames.size() || nameLess(node->children[end]->name, sortedNames[next])))
                ++end;
            if (end == row) {
                ++row; // asked for by path and still there
            } else {
                removeRows(node, int(row), int(end - row));
                changed = true;
            }
        } else {
            // A watched folder that went away and came back between two reads lost its watch.
            if (node->children[row]->watched) m_watch->addFolder(childPath(path, node->children[row]->name));
            ++row;
            ++next;
        }
    }
    node->read = true;
    node->reading = false;
    // A read again that found the same subfolders (only files came and went) is no news.
    if (changed) emit directoryLoaded(path);
    if (node->readAgain) {
        node->readAgain = false;
        startRead(node);
    }
}

void FolderModel::insertRows(Node* node, int row, const QStringList& names)
{
    if (names.isEmpty()) return;
    beginInsertRows(indexOf(node), row, row + int(names.size()) - 1);
    std::vector<std::unique_ptr<Node>> added;
    for (const QString& name : names) {
        added.push_back(std::make_unique<Node>());
        added.back()->name = name;
        added.back()->parent = node;
    }
    node->children.insert(node->children.begin() + row, std::make_move_iterator(added.begin()),
                          std::make_move_iterator(added.end()));
    endInsertRows();
}

void FolderModel::removeRows(Node* node, int row, int count)
{
    for (int i = row; i < row + count; ++i) forgetWatches(node->children[size_t(i)].get());
    beginRemoveRows(indexOf(node), row, row + count - 1);
    node->children.erase(node->children.begin() + row, node->children.begin() + row + count);
    endRemoveRows();
}

void FolderModel::forgetWatches(Node* node)
{
    if (node->watched) m_watch->removeFolder(pathOf(node));
    for (const auto& child : node->children) forgetWatches(child.get());
}

} // namespace tf
