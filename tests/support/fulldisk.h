#pragma once
// Two ways a disk fills under a writer: a real small file system (tmpfs, mounted where the tests
// run as the superuser) nearly filled up, and the write seam of the program's own descriptors,
// which fails like a full disk after a given number of bytes.
#include <QString>
#include <QStringList>

#include <cerrno>

namespace tf::test {

// A tmpfs of `size` (mount's notation: "256k") on `folder`, unmounted with the object.
class SmallDisk {
public:
    SmallDisk(const QString& folder, const char* size);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool mounted() const { return m_mounted; }
    // Takes all the free space but about `bytes` with a file of its own; false when it cannot.
    bool leaveFree(qint64 bytes);
    // Gives the space back.
    void empty();

private:
    QString m_folder;
    QString m_filler;
    bool m_mounted = false;
};

// Every write through the program's descriptors fails as on a full disk after `bytes` more bytes,
// for the life of the object; with `error` EIO, as on a disk that reports a fault.
class WriteBudget {
public:
    explicit WriteBudget(qint64 bytes, int error = ENOSPC);
    ~WriteBudget();
    WriteBudget(const WriteBudget&) = delete;
    WriteBudget& operator=(const WriteBudget&) = delete;
};

// Every entry of a folder, hidden ones included, sorted.
QStringList entriesOf(const QString& folder);

} // namespace tf::test
