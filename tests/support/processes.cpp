#include "support/processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tf::test {

namespace {

// The parent's number from /proc/<pid>/stat: the fourth field, after the name in parentheses
// (which may itself hold spaces and parentheses).
pid_t parentOf(const QString& pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0) return -1;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // fields: state, ppid, ...
    if (fields.size() < 2 || fields[0] == "Z") return -1;
    return pid_t(fields[1].toInt());
}

} // namespace

std::vector<pid_t> childrenRunning(pid_t parent, const QString& program)
{
    std::vector<pid_t> found;
    const QString wanted = QFileInfo(program).canonicalFilePath();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        if (!number || parentOf(entry) != parent) continue;
        if (QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(entry)) == wanted) found.push_back(pid);
    }
    return found;
}

WatchedProcess::WatchedProcess(pid_t pid) : m_fd(int(::syscall(SYS_pidfd_open, pid, 0))) {}

WatchedProcess::~WatchedProcess()
{
    if (m_fd >= 0) ::close(m_fd);
}

bool WatchedProcess::waitEnded(std::chrono::milliseconds bound)
{
    if (m_fd < 0) return false;
    pollfd fd{m_fd, POLLIN, 0};
    int ready = 0;
    while ((ready = ::poll(&fd, 1, int(bound.count()))) < 0 && errno == EINTR) {
    }
    return ready > 0;
}

void WatchedProcess::kill()
{
    if (m_fd >= 0) ::syscall(SYS_pidfd_send_signal, m_fd, SIGKILL, nullptr, 0);
}

} // namespace tf::test
