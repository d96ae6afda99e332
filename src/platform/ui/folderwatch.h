#pragma once
#include <QHash>
#include <QMultiHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class QSocketNotifier;
class QTimer;

namespace tf {

// Tells of changes in a few folders (entries made, removed, renamed, their attributes changed),
// gathered: the first change in a folder starts a wait of one interval, and its end brings one
// notice for everything that happened in between. Two notices of a folder are at least an interval
// apart. While a folder waits nothing is read from the kernel at all: it keeps what happens
// meanwhile, and the end of the wait takes it in one read, so a program writing hundreds of files
// into a folder wakes this one once per interval, not once per file. The watches stay in place
// throughout (putting one on a folder of thousands of files costs the kernel a walk over them).
// A change in another folder during a wait is seen at the wait's end, so its notice may come up
// to two intervals late. With no change nothing runs.
class FolderWatch : public QObject {
    Q_OBJECT
public:
    explicit FolderWatch(QObject* parent = nullptr, std::chrono::milliseconds interval = std::chrono::seconds(1));
    ~FolderWatch() override;

    // Watches exactly these folders from now on; a folder that stays keeps its pending notice.
    // Folders that do not exist are left out.
    void setFolders(const QStringList& folders);
    void addFolder(const QString& folder);
    void removeFolder(const QString& folder);
    QStringList folders() const;
    // Which entries' changes count: asked with the folder, the entry's name as the folder holds
    // it, and whether the entry is a folder. The folder itself going away always counts. Changes
    // that do not count still start a wait (reading nothing meanwhile costs nothing), whose end
    // then brings no notice.
    using EntryFilter = std::function<bool(const QString& folder, const char* name, bool isFolder)>;
    void setEntryFilter(EntryFilter filter) { m_filter = std::move(filter); }

signals:
    // Something changed in the folder (or the folder itself went away) since the last notice.
    void changed(const QString& folder);

private:
    void readEvents();
    void startWait(const QString& folder);
    void endWait(const QString& folder);
    int watch(const QString& folder);
    void unwatch(const QString& folder);

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::chrono::milliseconds m_interval;
    QSet<QString> m_folders;
    // The kernel's watch of each folder (-1 once the folder went away), and the folders of each
    // watch (two names of one folder share it).
    QHash<QString, int> m_watchOf;
    QMultiHash<int, QString> m_foldersOf;
    // The folders in their wait, each with the one-shot timer that ends it.
    QHash<QString, QTimer*> m_waiting;
    // The folders with a change the filter counts since their last notice.
    QSet<QString> m_counted;
    EntryFilter m_filter;
};

} // namespace tf
