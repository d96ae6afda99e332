#pragma once
#include <QByteArray>
#include <QFile>
#include <QFileDevice>
#include <QString>

#include <cerrno>
#include <functional>

#include <memory>
#include <optional>

namespace tf {

// Every file the user owns is replaced here and nowhere else, and only whole: new content goes
// to a hidden file in the target's folder, is flushed to the disk, and only then renamed over the
// target. A failure anywhere (a full disk included) leaves the old file byte for byte and no
// hidden file behind.
//
// The target is the file a symbolic link points to, not the link; an existing target keeps its
// permissions; a new one gets those of any new file the user makes (0666 less the umask).
//
// Every byte goes through the hidden file's own descriptor, and every write is checked: the
// first that fails (a full disk, a quota, an I/O error) is kept, and commit() then refuses, so a
// library that ignores a write's result cannot have a short file renamed over the user's. Before
// the rename the file is synced, its length compared with what was written, and it is closed,
// each checked. Libraries write through device(), writeAt() or a stream of theirs over these.

enum class Placement {
    Replace,   // the finished file takes the target's place
    NoReplace, // the finished file takes a name that must still be free ("New File" names)
};

class SafeFile {
public:
    explicit SafeFile(const QString& target, Placement placement = Placement::Replace);
    // A file not committed is removed.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Creates the hidden file beside the target. False (and *error) when the target is a folder,
    // a file the user may not write, or the folder takes no new file.
    bool open(QString* error = nullptr);
    // The hidden file as a random-access device (reads included), unbuffered, so that a write
    // the disk cannot take fails in that write; its errorString() names the system's reason.
    QIODevice& device();
    // The hidden file's name, to read it back; nothing may write it but this object.
    QString fileName() const { return m_temp; }
    // The file that will be replaced (a link resolved).
    QString target() const { return m_target; }
    // The finished file gets these permissions instead of the target's (or a new file's).
    void setPermissions(QFileDevice::Permissions permissions) { m_permissions = permissions; }

    // Appends at the end of what was written.
    bool write(const QByteArray& bytes, QString* error = nullptr);
    // Writes at any offset (a gap reads as zeros), for writers that seek.
    bool writeAt(const char* data, qint64 n, qint64 at, QString* error = nullptr);
    // Reads back what was written; false past the end.
    bool readAt(char* out, qint64 n, qint64 at) const;
    // The file's length as written so far.
    qint64 size() const { return m_end; }
    // Appends the content of `source`.
    bool copyFrom(const QString& source, QString* error = nullptr);
    // The first write that failed, as "Cannot write <target> (<the system's reason>)"; empty
    // while none did.
    QString failure() const { return m_failure; }
    // Has the disk start on the bytes written since the last call, without waiting for it: a
    // writer of a long document calls it after each page, so that the document does not pile up
    // in memory unwritten and commit's sync has only the last page left to wait for.
    void startWriteback();
    // Syncs the file, checks its length and closes it, then puts it in the target's place.
    bool commit(QString* error = nullptr);
    void discard();

private:
    class Device;
    bool failWith(int err, QString* error);

    QString m_target;
    Placement m_placement;
    QString m_temp;
    int m_fd = -1;
    qint64 m_end = 0;
    qint64 m_writebackFrom = 0;
    QString m_failure;
    std::unique_ptr<Device> m_device;
    std::optional<QFileDevice::Permissions> m_permissions;
};

// Writes all `n` bytes to `fd` at `at` (or at its position when `at` is negative), again after
// an interruption and on after a short write. False with errno set when the disk does not take
// them. Every write to a file of the user's goes through here.
bool writeFully(int fd, const char* data, qint64 n, qint64 at = -1);

// For tests: once `bytes` more bytes were written through writeFully, every write fails as on a
// full disk (ENOSPC), the last one short; a negative number lifts the limit. `error` makes them
// fail as a disk that reports another fault does (EIO).
void setWriteBudgetForTests(qint64 bytes, int error = ENOSPC);
// For tests: whether such a budget is set. A writer that would have another process (a decoder)
// write a file writes it through this process's descriptors meanwhile, so that the budget counts it.
bool writeBudgetSetForTests();
// For tests: runs right after each rename that replaced a file, before the replaced file is let go.
void setAfterReplaceForTests(std::function<void()> check);

// What the user is told first when a write failed for a reason outside the documents ("The disk
// is full."), from the writer's description of the failure; empty when it names none.
QString writeFailureCause(const QString& detail);

// Writes `bytes` as the new content of `target`.
bool writeFileSafely(const QString& target, const QByteArray& bytes, QString* error = nullptr);

// Flushes a file written elsewhere (by another process, say) to the disk before it is put in its
// place; false with errno set when the disk could not take it.
bool syncFile(const QString& path);

// Puts a finished file from anywhere (a private work folder, say) in the target's place and
// removes it from where it was. On one file system this is one rename; across file systems the
// file is first copied beside the target.
bool moveFileSafely(const QString& finished, const QString& target, Placement placement = Placement::Replace,
                    QString* error = nullptr);

} // namespace tf
