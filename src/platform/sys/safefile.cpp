#include "platform/sys/safefile.h"

#include "platform/sys/workfiles.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tf {

namespace {

constexpr qint64 kChunk = 1 << 20;

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
int createBeside(const QString& target, QString* created)
{
    const QFileInfo info(target);
    return createWorkFile(info.absolutePath(), QString(), info.exists() ? 0600 : 0666, created);
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
    if (placement == Placement::Replace) return std::rename(f.constData(), t.constData()) == 0;
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

SafeFile::SafeFile(const QString& target, Placement placement)
    : m_target(resolvedTarget(target, placement)), m_placement(placement)
{
}

SafeFile::~SafeFile() { discard(); }

bool SafeFile::open(QString* error)
{
    discard();
    if (!targetUsable(m_target, error)) return false;
    const int fd = createBeside(m_target, &m_temp);
    if (fd < 0) {
        fail(error, QStringLiteral("Cannot write in the folder of ") + m_target, errno);
        return false;
    }
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        discard();
        fail(error, QStringLiteral("Cannot write in the folder of ") + m_target);
        return false;
    }
    return true;
}

bool SafeFile::write(const QByteArray& bytes, QString* error)
{
    errno = 0;
    if (!m_file.isOpen() || m_file.write(bytes) != bytes.size()) {
        // The system's reason (a full disk above all), which QFile does not keep for unbuffered writes.
        const int err = errno;
        if (err) fail(error, QStringLiteral("Cannot write ") + m_target, err);
        else fail(error, QStringLiteral("Cannot write ") + m_target + QStringLiteral(" (") + m_file.errorString() + QLatin1Char(')'));
        return false;
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

bool SafeFile::commit(QString* error)
{
    if (m_temp.isEmpty()) {
        fail(error, QStringLiteral("Cannot write ") + m_target);
        return false;
    }
    m_file.close();
    // By name: a writer that works by name may have put a new file there.
    if (!syncByName(m_temp)) {
        const int err = errno;
        discard();
        fail(error, QStringLiteral("Cannot write ") + m_target, err);
        return false;
    }
    if (const auto permissions = m_permissions ? m_permissions : permissionsFor(m_target))
        QFile::setPermissions(m_temp, *permissions);
    if (!targetUsable(m_target, error)) {
        discard();
        return false;
    }
    // A work file replaced by this one (a batch page written by name) is still the clean-up's to remove.
    recordWorkFileReplacement(m_temp, m_target);
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
    m_file.close();
    if (!m_temp.isEmpty()) ::unlink(QFile::encodeName(m_temp).constData());
    m_temp.clear();
}

bool writeFileSafely(const QString& target, const QByteArray& bytes, QString* error)
{
    SafeFile out(target);
    return out.open(error) && out.write(bytes, error) && out.commit(error);
}

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
