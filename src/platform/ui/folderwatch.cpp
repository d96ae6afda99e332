#include "platform/ui/folderwatch.h"

#include <QFileSystemWatcher>
#include <QTimer>

namespace tf {

FolderWatch::FolderWatch(QObject* parent, std::chrono::milliseconds interval)
    : QObject(parent), m_watcher(new QFileSystemWatcher(this)), m_interval(interval)
{
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &FolderWatch::onChange);
}

FolderWatch::~FolderWatch() = default;

void FolderWatch::setFolders(const QStringList& folders)
{
    const QSet<QString> wanted(folders.begin(), folders.end());
    const QSet<QString> dropped = QSet<QString>(m_folders).subtract(wanted);
    for (const QString& folder : dropped) removeFolder(folder);
    for (const QString& folder : wanted) addFolder(folder);
}

void FolderWatch::addFolder(const QString& folder)
{
    if (folder.isEmpty() || m_folders.contains(folder)) return;
    if (!m_watcher->addPath(folder)) return;
    m_folders.insert(folder);
}

void FolderWatch::removeFolder(const QString& folder)
{
    if (!m_folders.remove(folder)) return;
    if (QTimer* wait = m_waiting.take(folder))
        delete wait;
    else
        m_watcher->removePath(folder);
}

QStringList FolderWatch::folders() const { return QStringList(m_folders.begin(), m_folders.end()); }

void FolderWatch::onChange(const QString& folder)
{
    if (!m_folders.contains(folder) || m_waiting.contains(folder)) return;
    // Unwatched for the wait: what happens meanwhile is covered by the notice at its end, and a
    // burst of changes costs no wake-ups.
    m_watcher->removePath(folder);
    auto* wait = new QTimer(this);
    wait->setSingleShot(true);
    // A coarse timer may fire early, and two notices must never come closer than the interval.
    wait->setTimerType(Qt::PreciseTimer);
    connect(wait, &QTimer::timeout, this, [this, folder] { endWait(folder); });
    m_waiting.insert(folder, wait);
    wait->start(m_interval);
}

void FolderWatch::endWait(const QString& folder)
{
    if (QTimer* wait = m_waiting.take(folder)) wait->deleteLater();
    // Watched again before the notice: a change made while its receiver works is not lost. A
    // folder that went away leaves the set, told of once.
    if (!m_watcher->addPath(folder)) m_folders.remove(folder);
    emit changed(folder);
}

} // namespace tf
