#include "platform/sys/workfiles.h"

#include "platform/sys/userdirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tf {

namespace {

QString journalFolder() { return userDataDir() + QStringLiteral("/WorkFiles"); }

struct Journal {
    QMutex lock;
    QString folder; // the journal follows the data folder (tests move it)
    pid_t pid = 0;  // a forked child is a run of its own
    int fd = -1;
};

Journal& journal()
{
    static Journal j;
    return j;
}

// Opens this run's journal in the current data folder and locks it for the run's life.
int openJournal(Journal& j)
{
    const QString folder = journalFolder();
    if (j.fd >= 0 && j.folder == folder && j.pid == ::getpid()) return j.fd;
    if (j.fd >= 0 && j.pid == ::getpid()) ::close(j.fd);
    j.fd = -1;
    if (!QDir().mkpath(folder)) return -1;
    const QString name = folder + QStringLiteral("/%1-%2.journal")
                                      .arg(::getpid())
                                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    j.fd = fd;
    j.folder = folder;
    j.pid = ::getpid();
    return fd;
}

// Only what this program makes is ever removed: hidden names beside documents and the work
// folders in its own temporary folder. A damaged journal cannot point the removal elsewhere.
bool looksLikeWorkFile(const QFileInfo& info)
{
    if (info.fileName().startsWith(QLatin1Char('.')) && !info.isDir()) return true;
    const QString temp = QDir::cleanPath(userTempDir()) + QLatin1Char('/');
    return info.isDir() && !info.isSymLink() && QDir::cleanPath(info.absoluteFilePath()).startsWith(temp);
}

} // namespace

void recordWorkFile(const QString& path)
{
    Journal& j = journal();
    QMutexLocker locker(&j.lock);
    const int fd = openJournal(j);
    if (fd < 0) return; // without a journal the file is still removed by the code that made it
    const QByteArray line = QFile::encodeName(QFileInfo(path).absoluteFilePath()) + '\n';
    // One write per line, appended: lines of two threads never mix.
    [[maybe_unused]] const ssize_t written = ::write(fd, line.constData(), static_cast<size_t>(line.size()));
}

int removeWorkFilesOfDeadRuns()
{
    const QDir folder(journalFolder());
    int removed = 0;
    for (const QFileInfo& entry : folder.entryInfoList({QStringLiteral("*.journal")}, QDir::Files)) {
        const QByteArray name = QFile::encodeName(entry.filePath());
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) { // a live run's
            ::close(fd);
            continue;
        }
        QFile in;
        if (in.open(fd, QIODevice::ReadOnly)) {
            for (const QByteArray& line : in.readAll().split('\n')) {
                if (line.isEmpty()) continue;
                const QFileInfo info(QFile::decodeName(line));
                if (!info.exists() && !info.isSymLink()) continue;
                if (!looksLikeWorkFile(info)) continue;
                const bool ok = info.isDir() ? QDir(info.filePath()).removeRecursively() : QFile::remove(info.filePath());
                if (ok) ++removed;
            }
            in.close();
        }
        ::unlink(name.constData());
        ::close(fd);
    }
    return removed;
}

} // namespace tf
