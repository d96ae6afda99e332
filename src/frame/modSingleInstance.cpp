#include "frame/modSingleInstance.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/msgbox.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

namespace tf {

namespace {

// The host's name as a file name: anything but letters, digits, '-', '_' and '.' becomes '_'.
QString hostNameForFile()
{
    QString host = QSysInfo::machineHostName();
    for (QChar& c : host)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('_') &&
            c != QLatin1Char('.'))
            c = QLatin1Char('_');
    return host.isEmpty() ? QStringLiteral("localhost") : host;
}

} // namespace

QString singleInstanceLockPath()
{
    // Relative paths are to be ignored, as for every XDG variable.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return QDir::cleanPath(runtime) + QStringLiteral("/tavrel-folio.lock");
    return userDataDir() + QStringLiteral("/tavrel-folio.") + hostNameForFile() + QStringLiteral(".lock");
}

SingleInstanceLock::SingleInstanceLock(const QString& lockPath) : m_lock(lockPath)
{
    // A copy that runs for days is never "stale"; only a lock whose process is gone is.
    m_lock.setStaleLockTime(0);
}

bool SingleInstanceLock::tryAcquire()
{
    if (m_lock.isLocked()) return true;
    if (m_lock.tryLock(0)) return true;
    // Only a lock held by a running copy refuses the start. A folder the lock cannot be written
    // to says nothing about other copies, and refusing there would lock the user out for good.
    return m_lock.error() != QLockFile::LockFailedError;
}

void SingleInstanceLock::release() { m_lock.unlock(); }

} // namespace tf

bool fncCheckSingleInstance(tf::SingleInstanceLock& lock)
{
    if (lock.tryAcquire()) return true;
    // The title must exist before the refusal is shown, though the rest of the set-up never runs.
    subInitErrorHandling();
    MsgBox(QStringLiteral("There is already an instance of Tavrel Folio running!\nMultiple instance is unsupported."),
           vbCritical, gstrApplicationName);
    return false;
}
