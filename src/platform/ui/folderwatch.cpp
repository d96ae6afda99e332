#include "platform/ui/folderwatch.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/inotify.h>
#include <unistd.h>

namespace tf {

namespace {

// What the folder list shows changes with these: entries made, removed or renamed, an entry's
// attributes (its time, its size through a rewrite that touches them), or the folder going away.
constexpr uint32_t kEvents = IN_ATTRIB | IN_MOVE | IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_ONLYDIR;

} // namespace

FolderWatch::FolderWatch(QObject* parent, std::chrono::milliseconds interval)
    : QObject(parent), m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), m_interval(interval)
{
    // Without a descriptor (the user's limit of them reached) no folder is watched; the views
    // still show what they read.
    if (m_fd < 0) return;
    m_notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatch::readEvents);
}

FolderWatch::~FolderWatch()
{
    delete m_notifier;
    if (m_fd >= 0) ::close(m_fd);
}

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
    const int wd = watch(folder);
    if (wd < 0) return;
    m_folders.insert(folder);
    m_watchOf.insert(folder, wd);
    m_foldersOf.insert(wd, folder);
}

void FolderWatch::removeFolder(const QString& folder)
{
    if (!m_folders.remove(folder)) return;
    delete m_waiting.take(folder);
    m_counted.remove(folder);
    unwatch(folder);
    if (m_notifier) m_notifier->setEnabled(m_waiting.isEmpty());
}

QStringList FolderWatch::folders() const { return QStringList(m_folders.begin(), m_folders.end()); }

int FolderWatch::watch(const QString& folder)
{
    return m_fd < 0 ? -1 : ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), kEvents);
}

void FolderWatch::unwatch(const QString& folder)
{
    const int wd = m_watchOf.take(folder);
    if (wd <= 0) return; // not watched, or its watch already gone
    m_foldersOf.remove(wd, folder);
    if (!m_foldersOf.contains(wd)) ::inotify_rm_watch(m_fd, wd);
}

void FolderWatch::readEvents()
{
    QSet<QString> touched; // any event: the folder waits, and nothing is read meanwhile
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0) break; // all read (EAGAIN), or nothing more to be had
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // The kernel dropped events: any folder may have changed.
                touched.unite(m_folders);
                m_counted.unite(m_folders);
                continue;
            }
            const QList<QString> folders = m_foldersOf.values(event->wd);
            if (event->mask & IN_IGNORED) {
                // The folder went away and its watch with it.
                for (const QString& folder : folders) m_watchOf.insert(folder, -1);
                m_foldersOf.remove(event->wd);
            }
            const bool entry = event->len > 0 && event->name[0] != '\0';
            for (const QString& folder : folders) {
                touched.insert(folder);
                if (!m_counted.contains(folder) &&
                    (!entry || !m_filter || m_filter(folder, event->name, event->mask & IN_ISDIR)))
                    m_counted.insert(folder);
            }
        }
    }
    for (const QString& folder : touched) startWait(folder);
}

void FolderWatch::startWait(const QString& folder)
{
    if (!m_folders.contains(folder) || m_waiting.contains(folder)) return;
    auto* wait = new QTimer(this);
    wait->setSingleShot(true);
    // A coarse timer may fire early, and two notices must never come closer than the interval.
    wait->setTimerType(Qt::PreciseTimer);
    connect(wait, &QTimer::timeout, this, [this, folder] { endWait(folder); });
    m_waiting.insert(folder, wait);
    wait->start(m_interval);
    m_notifier->setEnabled(false);
}

void FolderWatch::endWait(const QString& folder)
{
    // What came meanwhile, read while the folder still waits: its own changes are all in this
    // notice, the other folders' start their waits.
    readEvents();
    if (QTimer* wait = m_waiting.take(folder)) wait->deleteLater();
    // A folder that went away and is back is watched again; one that stays away leaves the set,
    // told of once.
    if (m_watchOf.value(folder, -1) < 0) {
        unwatch(folder);
        const int wd = watch(folder);
        if (wd < 0) {
            m_folders.remove(folder);
        } else {
            m_watchOf.insert(folder, wd);
            m_foldersOf.insert(wd, folder);
        }
    }
    // Read again before the notice: a change made while its receiver works is not lost.
    m_notifier->setEnabled(m_waiting.isEmpty());
    // A wait that saw only changes the filter passes over ends without a word.
    if (m_counted.remove(folder)) emit changed(folder);
}

} // namespace tf
