#include "frame/modSingleInstance.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/msgbox.h"

namespace tf {

QString singleInstanceLockPath() { return userDataDir() + QStringLiteral("/tavrel-folio.lock"); }

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
