#pragma once
#include <QLockFile>
#include <QString>
#include <memory>

// Only one copy of the program runs per user and host. The copy that starts first holds a lock file
// for as long as it runs; a lock left behind by a copy that crashed is taken over.

namespace tf {

// $XDG_RUNTIME_DIR/tavrel-folio.lock: that folder belongs to one user on one host and is emptied at
// logout, so no other machine's lock (a shared or restored home folder) can ever be found there.
// Without it (unset, relative, or not a folder) the lock goes into the per-user data folder, named
// after the host ("tavrel-folio.<host>.lock") so that a home folder shared between machines still
// holds one lock per machine.
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
