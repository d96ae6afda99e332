#pragma once
#include <QLockFile>
#include <QString>
#include <memory>

// Only one copy of the program runs per user. The copy that starts first holds a lock file in the
// per-user folder for as long as it runs; a lock left behind by a copy that crashed is taken over.

namespace tf {

// userDataDir()/tavrel-folio.lock
QString singleInstanceLockPath();

class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const QString& lockPath = singleInstanceLockPath());
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // False while another running copy holds the lock; true otherwise (this copy holds it now,
    // or the lock file cannot be made at all, which must not keep the program from starting).
    bool tryAcquire();
    bool isHeld() const { return m_lock.isLocked(); }
    QLockFile::LockError error() const { return m_lock.error(); }
    void release();

private:
    QLockFile m_lock;
};

} // namespace tf

// The start-up check: true when this is the only running copy. Otherwise shows the critical
// message "There is already an instance of Tavrel Folio running!" and "Multiple instance is
// unsupported." under gstrApplicationName (made ready first) and answers false; the caller then
// ends the program without touching any file.
bool fncCheckSingleInstance(tf::SingleInstanceLock& lock);
