#include "support/fulldisk.h"

#include "platform/sys/safefile.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>

#include <sys/statvfs.h>
#include <unistd.h>

namespace tf::test {

SmallDisk::SmallDisk(const QString& folder, const char* size) : m_folder(folder)
{
    if (::geteuid() != 0) return;
    QDir().mkpath(folder);
    int code = -1;
    runTool("mount", {"-t", "tmpfs", "-o", QStringLiteral("size=") + QLatin1String(size), "tmpfs", folder}, &code);
    m_mounted = code == 0;
    m_filler = folder + QStringLiteral("/filler");
}

SmallDisk::~SmallDisk()
{
    if (m_mounted) runTool("umount", {"-l", m_folder});
}

bool SmallDisk::leaveFree(qint64 bytes)
{
    empty();
    struct statvfs fs {};
    if (!m_mounted || ::statvfs(QFile::encodeName(m_folder).constData(), &fs) != 0) return false;
    const qint64 free = qint64(fs.f_bavail) * qint64(fs.f_frsize);
    QFile filler(m_filler);
    if (!filler.open(QIODevice::WriteOnly)) return false;
    const qint64 take = free - bytes;
    // Zeros written, not a hole: tmpfs counts only what holds data.
    const QByteArray chunk(64 * 1024, '\0');
    for (qint64 done = 0; done < take;) {
        const qint64 n = qMin<qint64>(chunk.size(), take - done);
        if (filler.write(chunk.constData(), n) != n) break;
        done += n;
    }
    return filler.flush();
}

void SmallDisk::empty() { QFile::remove(m_filler); }

WriteBudget::WriteBudget(qint64 bytes, int error) { setWriteBudgetForTests(bytes, error); }
WriteBudget::~WriteBudget() { setWriteBudgetForTests(-1); }

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace tf::test
