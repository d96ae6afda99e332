#pragma once
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>

class QFileSystemWatcher;
class QTimer;

namespace tf {

// Tells of changes in a few folders (entries made, removed, renamed, their attributes changed),
// gathered: the first change in a folder starts a wait of one interval, and its end brings one
// notice for everything that happened in between. Two notices of a folder are at least an interval
// apart. While a folder waits it is not watched at all, so a program writing hundreds of files into
// it wakes this one once per interval, not once per file; with no change nothing runs.
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

signals:
    // Something changed in the folder (or the folder itself went away) since the last notice.
    void changed(const QString& folder);

private:
    void onChange(const QString& folder);
    void endWait(const QString& folder);

    QFileSystemWatcher* m_watcher;
    std::chrono::milliseconds m_interval;
    QSet<QString> m_folders;
    // The folders in their wait, each with the one-shot timer that ends it.
    QHash<QString, QTimer*> m_waiting;
};

} // namespace tf
