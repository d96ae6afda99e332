#include "platform/sys/safefile.h"

#include "platform/sys/workfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tf {

namespace {

constexpr qint64 kChunk = 1 << 20;

// Bytes left before the test seam fails every write; negative: no limit.
std::atomic<qint64> g_writeBudget{-1};
// What the seam's failing writes say.
std::atomic<int> g_writeBudgetError{ENOSPC};

// The test seam run between a replacing rename and the letting go of the file replaced.
std::function<void()> g_afterReplace;

// How much of `n` the seam lets through (0: the disk is "full").
qint64 budgeted(qint64 n)
{
    qint64 left = g_writeBudget.load();
    while (left >= 0) {
        const qint64 take = qMin(left, n);
        if (g_writeBudget.compare_exchange_weak(left, left - take)) return take;
    }
    return n;
}

QString withReason(const QString& text, int err)
{
    return err ? text + QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char(')') : text;
}

void fail(QString* error, const QString& text, int err = 0)
{
    if (error) *error = withReason(text, err);
}

// The file a write to `target` means: for a link, the file it points to (even one not there
// yet), so that the link stays a link. A name that must be free is taken as it is.
QString resolvedTarget(const QString& target, Placement placement)
{
    const QFileInfo info(target);
    if (placement == Placement::Replace && info.isSymLink()) {
        const QString canonical = info.canonicalFilePath();
        return canonical.isEmpty() ? info.symLinkTarget() : canonical;
    }
    return info.absoluteFilePath();
}

// What may stand in the way of replacing `target` at all: a folder of that name, or a file the
// user has made read-only.
bool targetUsable(const QString& target, QString* error)
{
    const QFileInfo info(target);
    if (info.isDir()) {
        fail(error, QStringLiteral("A folder has that name: ") + target);
        return false;
    }
    if (info.exists() && ::access(QFile::encodeName(target).constData(), W_OK) != 0) {
        fail(error, QStringLiteral("Cannot write ") + target, errno);
        return false;
    }
    // The superuser may write anything: a file that nobody may write was still made read-only
    // on purpose.
    if (info.exists() && !(info.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther))) {
        fail(error, QStringLiteral("Cannot write ") + target, EACCES);
        return false;
    }
    return true;
}

// The permissions the finished file takes: an existing target's own. A new file keeps those it
// was created with.
std::optional<QFileDevice::Permissions> permissionsFor(const QString& target)
{
    if (!QFileInfo::exists(target)) return std::nullopt;
    return QFile::permissions(target);
}

// A new work file beside the target, written down before its first byte. Replacing a file, it is
// private until it takes the target's permissions; a new file is created as any new file of the
// user's is.
int createBeside(const QString& target, QString* created, QString* unrecorded)
{
    const QFileInfo info(target);
    return createWorkFile(info.absolutePath(), QString(), info.exists() ? 0600 : 0666, created, unrecorded);
}

bool syncByName(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// The one rename in the program that puts a file in a user's file's place. errno tells why not.
bool place(const QString& from, const QString& to, Placement placement)
{
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (placement == Placement::Replace) {
        // The file replaced is held across the rename, so that its blocks are freed when it is let
        // go here, after the rename, and not inside it: there the folder stays locked, and every
        // reader of the folder (the window's listing of it among them) would wait for the whole
        // of a big document's freeing.
        const int old = ::open(t.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        const bool placed = std::rename(f.constData(), t.constData()) == 0;
        const int err = errno;
        if (g_afterReplace) g_afterReplace();
        if (old >= 0) ::close(old);
        errno = err;
        return placed;
    }
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: a hard link fails on a taken name just the same.
    if (::link(f.constData(), t.constData()) != 0) return false;
    ::unlink(f.constData());
    return true;
}

// The folder's entry for the new name is on the disk too (best effort: not every file system
// lets a folder be synced).
void syncFolderOf(const QString& path) { syncByName(QFileInfo(path).absolutePath()); }

} // namespace

// The hidden file as Qt's writers see it: every read and write goes to the descriptor at the
// device's position.
class SafeFile::Device final : public QIODevice {
public:
    explicit Device(SafeFile& file) : m_file(file) { open(QIODevice::ReadWrite | QIODevice::Unbuffered); }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_file.size(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qBound<qint64>(0, m_file.size() - pos(), maxSize);
        return n == 0 || m_file.readAt(data, n, pos()) ? n : -1;
    }
    qint64 writeData(const char* data, qint64 n) override
    {
        QString why;
        if (m_file.writeAt(data, n, pos(), &why)) return n;
        setErrorString(why);
        return -1;
    }

private:
    SafeFile& m_file;
};

SafeFile::SafeFile(const QString& target, Placement placement)
    : m_target(resolvedTarget(target, placement)), m_placement(placement)
{
}

SafeFile::~SafeFile() { discard(); }

bool SafeFile::open(QString* error)
{
    discard();
    m_failure.clear();
    if (!targetUsable(m_target, error)) return false;
    QString unrecorded;
    m_fd = createBeside(m_target, &m_temp, &unrecorded);
    if (m_fd < 0) {
        // A work file that could not be written down is not made: the data folder is the cause.
        if (!unrecorded.isEmpty()) {
            if (error) *error = unrecorded;
            return false;
        }
        fail(error, QStringLiteral("Cannot write in the folder of ") + m_target, errno);
        return false;
    }
    return true;
}

QIODevice& SafeFile::device()
{
    if (!m_device) m_device = std::make_unique<Device>(*this);
    return *m_device;
}

bool SafeFile::failWith(int err, QString* error)
{
    // The first failure is the cause: what a library does after it does not change it.
    if (m_failure.isEmpty()) m_failure = withReason(QStringLiteral("Cannot write ") + m_target, err ? err : EIO);
    if (error) *error = m_failure;
    return false;
}

bool SafeFile::write(const QByteArray& bytes, QString* error)
{
    return writeAt(bytes.constData(), bytes.size(), m_end, error);
}

bool SafeFile::writeAt(const char* data, qint64 n, qint64 at, QString* error)
{
    if (!m_failure.isEmpty()) return failWith(0, error);
    if (m_fd < 0 || at < 0) return failWith(EBADF, error);
    if (!writeFully(m_fd, data, n, at)) return failWith(errno, error);
    m_end = qMax(m_end, at + n);
    return true;
}

bool SafeFile::readAt(char* out, qint64 n, qint64 at) const
{
    if (m_fd < 0 || at < 0 || at + n > m_end) return false;
    while (n > 0) {
        const ssize_t got = ::pread(m_fd, out, static_cast<size_t>(n), at);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        // Past what reached the disk (a gap left by a seek) the file reads as zeros.
        if (got == 0) {
            std::memset(out, 0, static_cast<size_t>(n));
            return true;
        }
        out += got;
        at += got;
        n -= got;
    }
    return true;
}

bool SafeFile::copyFrom(const QString& source, QString* error)
{
    QFile in(source);
    // Only plain files: a pipe or a device could be read forever.
    if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly)) {
        fail(error, QStringLiteral("Cannot read ") + source);
        return false;
    }
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(kChunk);
        if (chunk.isEmpty()) {
            fail(error, QStringLiteral("Cannot read ") + source);
            return false;
        }
        if (!write(chunk, error)) return false;
    }
    return true;
}

void SafeFile::startWriteback()
{
    if (m_fd < 0 || m_end <= m_writebackFrom) return;
    ::sync_file_range(m_fd, m_writebackFrom, m_end - m_writebackFrom, SYNC_FILE_RANGE_WRITE);
    m_writebackFrom = m_end;
}

bool SafeFile::commit(QString* error)
{
    if (m_temp.isEmpty() || m_fd < 0) {
        fail(error, QStringLiteral("Cannot write ") + m_target);
        return false;
    }
    auto refuse = [&](int err) {
        failWith(err, error);
        discard();
        return false;
    };
    // A write that failed earlier, even one the writer did not notice, ends it here.
    if (!m_failure.isEmpty()) return refuse(0);
    if (::fsync(m_fd) != 0) return refuse(errno);
    // What the file holds must be all that was written: nothing lost, nothing extra.
    struct stat st;
    if (::fstat(m_fd, &st) != 0) return refuse(errno);
    if (st.st_size != m_end) return refuse(EIO);
    // Network file systems may report a failed write only when the file is closed.
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) return refuse(errno);
    if (const auto permissions = m_permissions ? m_permissions : permissionsFor(m_target))
        QFile::setPermissions(m_temp, *permissions);
    if (!targetUsable(m_target, error)) {
        discard();
        return false;
    }
    // A work file replaced by this one (a batch page written by name) is still the clean-up's to remove.
    if (QString unrecorded; !recordWorkFileReplacement(m_temp, m_target, &unrecorded)) {
        discard();
        if (error) *error = unrecorded;
        return false;
    }
    if (!place(m_temp, m_target, m_placement)) {
        const int err = errno;
        discard();
        fail(error, QStringLiteral("Cannot write ") + m_target, err);
        return false;
    }
    m_temp.clear();
    syncFolderOf(m_target);
    return true;
}

void SafeFile::discard()
{
    // The device stays (writers hold it): it writes nothing until the next open.
    if (m_device) m_device->seek(0);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temp.isEmpty()) ::unlink(QFile::encodeName(m_temp).constData());
    m_temp.clear();
    m_end = 0;
    m_writebackFrom = 0;
}

bool writeFully(int fd, const char* data, qint64 n, qint64 at)
{
    while (n > 0) {
        const qint64 allowed = budgeted(n);
        if (allowed == 0) {
            errno = g_writeBudgetError.load();
            return false;
        }
        const ssize_t put = at < 0 ? ::write(fd, data, static_cast<size_t>(allowed))
                                   : ::pwrite(fd, data, static_cast<size_t>(allowed), at);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return false;
        if (put == 0) {
            errno = ENOSPC;
            return false;
        }
        data += put;
        n -= put;
        if (at >= 0) at += put;
    }
    return true;
}

void setWriteBudgetForTests(qint64 bytes, int error)
{
    g_writeBudgetError.store(error);
    g_writeBudget.store(bytes < 0 ? -1 : bytes);
}
bool writeBudgetSetForTests() { return g_writeBudget.load() >= 0; }
void setAfterReplaceForTests(std::function<void()> check) { g_afterReplace = std::move(check); }

QString writeFailureCause(const QString& detail)
{
    auto mentions = [&](int err) { return detail.contains(QString::fromLocal8Bit(std::strerror(err))); };
    if (mentions(ENOSPC) || mentions(EDQUOT)) return QStringLiteral("The disk is full.");
    if (mentions(EIO)) return QStringLiteral("The disk reported an error while writing.");
    return {};
}

bool writeFileSafely(const QString& target, const QByteArray& bytes, QString* error)
{
    SafeFile out(target);
    return out.open(error) && out.write(bytes, error) && out.commit(error);
}

bool syncFile(const QString& path) { return syncByName(path); }

bool moveFileSafely(const QString& finished, const QString& target, Placement placement, QString* error)
{
    const QString to = resolvedTarget(target, placement);
    if (!targetUsable(to, error)) return false;
    if (!syncByName(finished)) {
        fail(error, QStringLiteral("Cannot write ") + to, errno);
        return false;
    }
    // A new file keeps the permissions it was made with.
    if (const auto permissions = permissionsFor(to)) QFile::setPermissions(finished, *permissions);
    if (place(finished, to, placement)) {
        syncFolderOf(to);
        return true;
    }
    if (errno != EXDEV) {
        fail(error, QStringLiteral("Cannot write ") + to, errno);
        return false;
    }
    // Another file system: copied beside the target first, so it is still replaced only whole.
    SafeFile beside(to, placement);
    if (!beside.open(error) || !beside.copyFrom(finished, error) || !beside.commit(error)) return false;
    QFile::remove(finished);
    return true;
}

} // namespace tf
