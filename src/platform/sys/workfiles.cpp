#include "platform/sys/workfiles.h"

#include "platform/sys/userdirs.h"
#include "version_info.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <zlib.h>

namespace tf {

namespace {

// A journal is lines of words; every name is percent-encoded, so any byte of a name (a newline
// included) survives and no name can end a line or be taken for another field.
//   file <path>                                          (inside the program's temporary folder)
//   work <folder> <name> <device> <inode> <birth>       (a work file in a user's folder)
//   append <id> <path> <device> <inode> <birth> <length> <link offset> <link bytes, hex>
//          <format> <old ends checksum> <kept offset> <kept bytes, hex>
//                                    (the last four missing in a record of an earlier version)
//   proof <id> <format> <tail length> <tail checksum> <link bytes after, hex>   (the last counts)
//   forget <id>
QString journalFolder() { return userDataDir() + QStringLiteral("/WorkFiles"); }

constexpr int kRandomLetters = 26; // about 134 bits: no name a user or another run could have chosen

QByteArray workNameMarker() { return QByteArray(".") + version::kProgramName + '-'; }

struct Journal {
    QMutex lock;
    QString folder; // the journal follows the data folder (tests move it)
    pid_t pid = 0;  // a forked child is a run of its own
    int fd = -1;
    quint64 lastId = 0;
    // A journal left for another data folder stays open and locked: an append recorded in it
    // may still be running, and its end is written down where it began.
    QHash<quint64, int> appendsIn;
};

Journal& journal()
{
    static Journal j;
    return j;
}

// Opens this run's journal in the current data folder and locks it for the run's life.
int openJournal(Journal& j)
{
    const QString folder = journalFolder();
    if (j.fd >= 0 && j.folder == folder && j.pid == ::getpid()) return j.fd;
    if (j.pid != ::getpid()) j.appendsIn.clear(); // the parent's appends are not this run's
    else if (j.fd >= 0 && !j.appendsIn.values().contains(j.fd)) ::close(j.fd);
    j.fd = -1;
    if (!QDir().mkpath(folder)) return -1;
    const QString name = folder + QStringLiteral("/%1-%2.journal")
                                      .arg(::getpid())
                                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    j.fd = fd;
    j.folder = folder;
    j.pid = ::getpid();
    return fd;
}

// One write per line, appended: lines of two threads never mix.
bool writeLine(int fd, const QByteArray& line)
{
    return ::write(fd, line.constData(), static_cast<size_t>(line.size())) == line.size();
}

void writeLocked(const QByteArray& line)
{
    Journal& j = journal();
    QMutexLocker locker(&j.lock);
    const int fd = openJournal(j);
    // Without a journal the file is still removed by the code that made it.
    if (fd >= 0) writeLine(fd, line);
}

QByteArray encoded(const QByteArray& bytes) { return bytes.toPercentEncoding(); }

QByteArray canonical(const QByteArray& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

bool isWorkName(const QByteArray& name)
{
    const QByteArray marker = workNameMarker();
    if (!name.startsWith(marker) || name.size() < marker.size() + kRandomLetters) return false;
    for (qsizetype i = marker.size(); i < marker.size() + kRandomLetters; ++i)
        if (!std::isalnum(uchar(name[i]))) return false;
    const QByteArray rest = name.mid(marker.size() + kRandomLetters);
    if (rest.isEmpty()) return true;
    if (rest[0] != '.' || rest.size() < 2 || rest.size() > 5) return false;
    for (qsizetype i = 1; i < rest.size(); ++i)
        if (!std::isalpha(uchar(rest[i]))) return false;
    return true;
}

// The identity of the file `name` in the folder `dir`, the name itself not followed.
struct Identity {
    mode_t mode = 0;
    uid_t owner = 0;
    quint64 device = 0, inode = 0;
    qint64 birth = 0;
};
bool identityOf(int dir, const char* name, int flags, Identity* id)
{
    struct statx stx;
    if (::statx(dir, name, flags | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &stx) != 0) return false;
    id->mode = stx.stx_mode;
    id->owner = stx.stx_uid;
    id->device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    id->inode = stx.stx_ino;
    id->birth = (stx.stx_mask & STATX_BTIME) ? qint64(stx.stx_btime.tv_sec) * 1000000000 + stx.stx_btime.tv_nsec : 0;
    return true;
}

QByteArray workLine(const QByteArray& folder, const QByteArray& name, const Identity& id)
{
    return "work " + encoded(folder) + ' ' + encoded(name) + ' ' + QByteArray::number(id.device) + ' ' +
           QByteArray::number(id.inode) + ' ' + QByteArray::number(id.birth) + '\n';
}

// ---- the clean-up

// What the clean-up leaves alone goes to standard error, one line each, control bytes shown.
void report(const QByteArray& what, const QByteArray& path)
{
    QByteArray shown;
    for (const char c : path) {
        if (uchar(c) < 0x20 || c == 0x7f) shown += '%' + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        else shown += c;
    }
    std::fprintf(stderr, "%s: left as it is: %s (%s)\n", version::kProgramName, shown.constData(), what.constData());
}

// The folder at the absolute `path`, opened one name at a time from `from` (or the root) without
// following a link: -1 when a part of it is a link, missing, no folder, or "." or "..".
int openFolderNoLinks(const QByteArray& path, int from = -1)
{
    int fd = from >= 0 ? ::dup(from) : ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (const QByteArray& part : path.split('/')) {
        if (fd < 0) return -1;
        if (part.isEmpty()) continue;
        const int next = part == "." || part == ".."
                             ? -1
                             : ::openat(fd, part.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    return fd;
}

// Removes `name` in `dir` and, for a folder, all it holds; links inside are removed, not followed.
bool removeTree(int dir, const char* name)
{
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return ::unlinkat(dir, name, 0) == 0;
    const int fd = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    if (DIR* d = ::fdopendir(fd)) {
        while (const dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) removeTree(::dirfd(d), e->d_name);
        ::closedir(d);
    } else {
        ::close(fd);
    }
    return ::unlinkat(dir, name, AT_REMOVEDIR) == 0;
}

// A "file" line: an entry inside the program's temporary folder, which is the program's own.
bool removeTempEntry(const QByteArray& path)
{
    const QByteArray temp = canonical(QFile::encodeName(userTempDir()));
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray name = path.mid(slash + 1);
    if (path.contains('\0')) {
        report("a name no file can have", path);
        return false;
    }
    if (temp.isEmpty() || !path.startsWith(temp + '/') || name.isEmpty() || name == "." || name == "..") {
        report("not in the program's temporary folder", path);
        return false;
    }
    const int top = openFolderNoLinks(temp);
    const QByteArray between = slash > temp.size() ? path.mid(temp.size() + 1, slash - temp.size() - 1) : QByteArray();
    const int dir = top < 0 ? -1 : openFolderNoLinks(between, top);
    if (top >= 0) ::close(top);
    bool removed = false;
    struct stat st;
    if (dir >= 0 && ::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        // A link is never made there by the program.
        if (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)) removed = removeTree(dir, name.constData());
        else report("not a file or folder the program made", path);
    } else if (dir < 0) {
        report("reached through a link or no folder", path);
    }
    if (dir >= 0) ::close(dir);
    return removed;
}

// The "work" lines of one name: a work file in a user's folder, removed only if it is still a
// file the program made there (a writer may have put a finished copy in its place, which was
// written down too).
struct WorkEntry {
    QByteArray folder, name;
    QList<Identity> made;
    bool readable = true;
};

bool removeWorkFile(const WorkEntry& w)
{
    const QByteArray shown = w.folder + '/' + w.name;
    if (!w.readable || !w.folder.startsWith('/') || w.folder.contains('\0') || !isWorkName(w.name)) {
        report("not named as the program names its work files", shown);
        return false;
    }
    const int dir = openFolderNoLinks(w.folder);
    if (dir < 0) {
        if (QFileInfo::exists(QFile::decodeName(w.folder))) report("its folder is reached through a link", shown);
        return false;
    }
    Identity now;
    bool removed = false;
    if (identityOf(dir, w.name.constData(), 0, &now)) {
        const bool ours = S_ISREG(now.mode) && now.owner == ::getuid() &&
                          std::any_of(w.made.begin(), w.made.end(), [&](const Identity& m) {
                              return now.device == m.device && now.inode == m.inode && now.birth == m.birth;
                          });
        if (ours) removed = ::unlinkat(dir, w.name.constData(), 0) == 0;
        else report("not the file the program made", shown);
    }
    ::close(dir);
    return removed;
}

void addWorkLine(QHash<QByteArray, WorkEntry>& entries, QList<QByteArray>& order, const QList<QByteArray>& f)
{
    WorkEntry& w = entries[f[1] + ' ' + f[2]];
    if (w.name.isEmpty()) {
        order << f[1] + ' ' + f[2];
        w.folder = QByteArray::fromPercentEncoding(f[1]);
        w.name = QByteArray::fromPercentEncoding(f[2]);
    }
    bool ok[3] = {};
    Identity id;
    id.device = f[3].toULongLong(&ok[0]);
    id.inode = f[4].toULongLong(&ok[1]);
    id.birth = f[5].toLongLong(&ok[2]);
    if (ok[0] && ok[1] && ok[2]) w.made << id;
    else w.readable = false;
}

struct Append {
    QList<QByteArray> begin;
    QList<QByteArray> proof;
};

// What a file of `format` begins with.
bool beginsAs(int fd, const QByteArray& format)
{
    char head[5] = {};
    if (::pread(fd, head, sizeof head, 0) != qint64(sizeof head)) return false;
    const QByteArray h(head, sizeof head);
    if (format == "tiff")
        return h.startsWith(QByteArray("II*\0", 4)) || h.startsWith(QByteArray("MM\0*", 4)) ||
               h.startsWith(QByteArray("II+\0", 4)) || h.startsWith(QByteArray("MM\0+", 4));
    if (format == "pdf") return h == "%PDF-";
    return false;
}

constexpr qsizetype kAppendFields = 13;
constexpr qint64 kOldHead = 4096, kOldTail = 64 * 1024;

// The checksum of what an append must find unchanged besides its pointers: the file's header and
// its last old bytes (a TIFF's last directory, a PDF's trailer and last cross-reference), cheap
// to read however long the file.
QByteArray oldEndsChecksum(int fd, qint64 length)
{
    const qint64 head = qMin(length, kOldHead);
    const qint64 tailAt = qMax(head, length - kOldTail);
    const QByteArray first = appendTailChecksum(fd, 0, head), last = appendTailChecksum(fd, tailAt, length - tailAt);
    return first.isEmpty() || last.isEmpty() ? QByteArray() : first + '+' + last;
}

bool readsAs(int fd, qint64 at, const QByteArray& expected)
{
    QByteArray got(expected.size(), '\0');
    return ::pread(fd, got.data(), size_t(got.size()), at) == got.size() && got == expected;
}

// Whether the bytes past `length` of a PDF make a finished document: the update proved wrote its
// last line, or another program finished the document since with an end-of-file marker of its own
// (an update that rests on the pages written, which cutting would take away).
bool pdfFinishedPast(int fd, qint64 size, qint64 length, const QList<QByteArray>& proof, const QByteArray& path)
{
    if (!proof.isEmpty()) {
        bool ok = false;
        const qint64 tail = proof[3].toLongLong(&ok);
        const QByteArray last = QByteArray::fromHex(proof[5]);
        const qint64 end = length + tail;
        if (ok && tail >= 0 && !last.isEmpty() && size >= end) {
            const qint64 there = qMin<qint64>(size - end, last.size());
            QByteArray got(there, '\0');
            if (::pread(fd, got.data(), size_t(there), end) == there) {
                if (got == last) return true;
                // Killed as it wrote its last line: not taken yet.
                if (size - end < last.size() && last.startsWith(got)) return false;
            }
        }
    }
    const qint64 from = qMax(length, size - 1024);
    QByteArray ending(size - from, '\0');
    if (::pread(fd, ending.data(), size_t(ending.size()), from) != ending.size()) return true; // unsure: left alone
    if (!ending.trimmed().endsWith("%%EOF")) return false;
    report("finished by another program since an append was cut short", path);
    return true;
}

// A record of this version: the append is cut back off a file that is still the one appended to
// and where it never took effect, whatever instant the run was killed at.
bool cutUnfinished(int fd, qint64 size, const Append& a, qint64 length, qint64 linkAt, const QByteArray& link,
                   const QByteArray& now, const QByteArray& path)
{
    const QList<QByteArray>& f = a.begin;
    const QByteArray format = QByteArray::fromPercentEncoding(f[9]);
    const QByteArray oldEnds = QByteArray::fromPercentEncoding(f[10]);
    bool keptOk = false;
    const qint64 keptAt = f[11].toLongLong(&keptOk);
    const QByteArray kept = QByteArray::fromHex(f[12]);
    if (!keptOk || kept.size() > 8 || keptAt < 0 || keptAt > length - kept.size() || oldEnds.isEmpty() ||
        (format != "tiff" && format != "pdf") || (format == "pdf") != link.isEmpty())
        return report("an append record that cannot be read", path), false;
    // The pointer moved on as the proof said: the append took effect and the pages are the
    // user's. A run killed inside that write (the pointer across two pages of the system's cache,
    // or two sectors, written in part) leaves each byte at its old value or its new one: the old
    // pointer goes back before the pages go.
    const QByteArray after = a.proof.isEmpty() ? QByteArray() : QByteArray::fromHex(a.proof[5]);
    bool torn = now != link && after.size() == link.size() && now != after;
    for (qsizetype i = 0; torn && i < now.size(); ++i) torn = now[i] == link[i] || now[i] == after[i];
    const QByteArray changed = "changed since an append was cut short";
    if (now != link && now == after) return false;
    if (now != link && !torn) return report(changed, path), false;
    if (!beginsAs(fd, format) || !readsAs(fd, keptAt, kept)) return report(changed, path), false;
    // The old ends may hold the pointer.
    if (torn && ::pwrite(fd, link.constData(), size_t(link.size()), linkAt) != link.size())
        return report("cannot be written", path), false;
    if (oldEndsChecksum(fd, length) != oldEnds) {
        if (torn && ::pwrite(fd, now.constData(), size_t(now.size()), linkAt) != now.size())
            report("cannot be written", path);
        return report(changed, path), false;
    }
    if (format == "pdf" && pdfFinishedPast(fd, size, length, a.proof, path)) return false;
    return ::ftruncate(fd, length) == 0 && ::fsync(fd) == 0;
}

// Cuts an append that never took effect back off the file, when the file can be shown to hold
// that append and nothing else changed; true when it did.
bool undoAppend(const Append& a)
{
    const QList<QByteArray>& f = a.begin;
    const QByteArray path = QByteArray::fromPercentEncoding(f[2]);
    bool ok[6] = {};
    const quint64 device = f[3].toULongLong(&ok[0]);
    const quint64 inode = f[4].toULongLong(&ok[1]);
    const qint64 birth = f[5].toLongLong(&ok[5]);
    const qint64 length = f[6].toLongLong(&ok[2]);
    const qint64 linkAt = f[7].toLongLong(&ok[3]);
    const QByteArray link = QByteArray::fromHex(f[8]);
    ok[4] = link.size() <= 8; // a format that takes an append without rewriting a pointer records none
    for (const bool b : ok)
        if (!b) return report("an append record that cannot be read", path), false;
    if (length <= 0 || linkAt < 0 || linkAt > length - link.size() || path.contains('\0'))
        return report("an append record that cannot be read", path), false;

    const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false; // gone since: nothing to undo
    struct stat st;
    QByteArray now(link.size(), '\0');
    const auto finish = [fd](bool done) {
        ::close(fd);
        return done;
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || quint64(st.st_dev) != device ||
        quint64(st.st_ino) != inode || fileBirthTime(fd) != birth)
        return report("another file than the one appended to", path), finish(false);
    if (st.st_size <= length) return finish(false); // already back to its length
    if (::pread(fd, now.data(), static_cast<size_t>(now.size()), linkAt) != now.size())
        return report("cannot be read", path), finish(false);
    if (f.size() == kAppendFields) return finish(cutUnfinished(fd, st.st_size, a, length, linkAt, link, now, path));

    // A record of an earlier version was only ever cut back with a proof of its whole tail.
    if (a.proof.isEmpty()) {
        report("an append was cut short; the bytes past its old length " + QByteArray::number(length) +
                   " are linked to nothing, but nothing proves they are the program's own",
               path);
        return finish(false);
    }
    const QByteArray format = QByteArray::fromPercentEncoding(a.proof[2]);
    bool tailOk = false;
    const qint64 tail = a.proof[3].toLongLong(&tailOk);
    const QByteArray linkAfter = QByteArray::fromHex(a.proof[5]);
    // The pointer moved on: the append took effect and the pages are the user's.
    if (now == linkAfter && now != link) return finish(false);
    // An append with no pointer takes effect with its last bytes (a PDF's startxref line), which
    // the proof names: written after the tail proved, they make the pages the user's too.
    if (link.isEmpty() && !linkAfter.isEmpty() && tailOk && st.st_size == length + tail + linkAfter.size()) {
        QByteArray last(linkAfter.size(), '\0');
        if (::pread(fd, last.data(), size_t(last.size()), length + tail) == last.size() && last == linkAfter)
            return finish(false);
    }
    if (!tailOk || now != link || (!link.isEmpty() && linkAfter.size() != link.size()) || tail != st.st_size - length ||
        !beginsAs(fd, format) ||
        appendTailChecksum(fd, length, tail) != QByteArray::fromPercentEncoding(a.proof[4]))
        return report("changed since an append was cut short", path), finish(false);
    return finish(::ftruncate(fd, length) == 0 && ::fsync(fd) == 0);
}

} // namespace

bool isWorkFileName(const QString& fileName) { return isWorkName(QFile::encodeName(fileName)); }

int createWorkFile(const QString& folder, const QString& extension, mode_t mode, QString* created)
{
    const QByteArray dir = canonical(QFile::encodeName(folder));
    if (dir.isEmpty()) return -1;
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray name = workNameMarker();
        for (int i = 0; i < kRandomLetters; ++i)
            name += letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))];
        if (!extension.isEmpty()) name += '.' + extension.toLatin1();
        const QByteArray path = (dir == "/" ? QByteArray() : dir) + '/' + name;
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        Identity id;
        if (identityOf(fd, "", AT_EMPTY_PATH, &id)) writeLocked(workLine(dir, name, id));
        *created = QFile::decodeName(path);
        return fd;
    }
    errno = EEXIST;
    return -1;
}

void recordWorkFileReplacement(const QString& finished, const QString& workFile)
{
    const QFileInfo info(workFile);
    if (!isWorkFileName(info.fileName())) return;
    Identity id;
    const QByteArray dir = canonical(QFile::encodeName(info.absolutePath()));
    if (!dir.isEmpty() && identityOf(AT_FDCWD, QFile::encodeName(finished).constData(), 0, &id))
        writeLocked(workLine(dir, QFile::encodeName(info.fileName()), id));
}

void recordWorkFile(const QString& path)
{
    // Written as the clean-up will look for it: in the folder's real place.
    const QFileInfo info(path);
    const QByteArray folder = canonical(QFile::encodeName(info.absolutePath()));
    if (folder.isEmpty()) return;
    writeLocked("file " + encoded(folder + '/' + QFile::encodeName(info.fileName())) + '\n');
}

qint64 fileBirthTime(int fd)
{
    struct statx stx;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &stx) != 0 || !(stx.stx_mask & STATX_BTIME)) return 0;
    return qint64(stx.stx_btime.tv_sec) * 1000000000 + stx.stx_btime.tv_nsec;
}

namespace {
QString journalError(int err)
{
    QString text = QStringLiteral("Cannot write in the program's data folder ") + journalFolder();
    if (err) text += QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char(')');
    return text;
}
} // namespace

AppendRecord appendRecordOf(const QString& path, int fd, const struct stat& st, const QByteArray& format)
{
    AppendRecord record;
    record.path = path;
    record.device = st.st_dev;
    record.inode = st.st_ino;
    record.birth = fileBirthTime(fd);
    record.length = st.st_size;
    record.format = format;
    record.oldEnds = oldEndsChecksum(fd, st.st_size);
    return record;
}

quint64 recordAppend(const AppendRecord& r, QString* error)
{
    Journal& j = journal();
    QMutexLocker locker(&j.lock);
    const int fd = openJournal(j);
    const quint64 id = ++j.lastId;
    const QByteArray line = "append " + QByteArray::number(id) + ' ' + encoded(QFile::encodeName(r.path)) + ' ' +
                            QByteArray::number(r.device) + ' ' + QByteArray::number(r.inode) + ' ' +
                            QByteArray::number(r.birth) + ' ' +
                            QByteArray::number(r.length) + ' ' + QByteArray::number(r.linkAt) + ' ' +
                            r.linkBytes.toHex() + ' ' + encoded(r.format) + ' ' + encoded(r.oldEnds) + ' ' +
                            QByteArray::number(r.keptAt) + ' ' + r.keptBytes.toHex() + '\n';
    if (r.oldEnds.isEmpty() || r.format.isEmpty()) {
        // Without them the next start could not tell the file is still the one appended to.
        if (error) *error = QStringLiteral("Cannot read ") + r.path;
        return 0;
    }
    errno = 0;
    if (fd < 0 || !writeLine(fd, line) || ::fdatasync(fd) != 0) {
        if (error) *error = journalError(errno);
        return 0;
    }
    j.appendsIn.insert(id, fd);
    return id;
}

bool recordAppendProof(quint64 id, const AppendProof& p, QString* error, bool durable)
{
    Journal& j = journal();
    QMutexLocker locker(&j.lock);
    const int fd = j.appendsIn.value(id, -1);
    const QByteArray line = "proof " + QByteArray::number(id) + ' ' + encoded(p.format) + ' ' +
                            QByteArray::number(p.tailLength) + ' ' + encoded(p.tailChecksum) + ' ' +
                            p.linkAfter.toHex() + '\n';
    errno = 0;
    if (fd < 0 || !writeLine(fd, line) || (durable && ::fdatasync(fd) != 0)) {
        if (error) *error = journalError(errno);
        return false;
    }
    return true;
}

AppendTailChecksum::AppendTailChecksum() : m_crc(::crc32(0, nullptr, 0)) {}

void AppendTailChecksum::add(const char* data, qint64 n)
{
    while (n > 0) {
        const uInt part = uInt(qMin<qint64>(n, 1 << 30));
        m_crc = ::crc32(m_crc, reinterpret_cast<const Bytef*>(data), part);
        data += part;
        n -= part;
    }
}

QByteArray AppendTailChecksum::value() const { return "crc32:" + QByteArray::number(quint64(m_crc), 16).rightJustified(8, '0'); }

QByteArray appendTailChecksum(int fd, qint64 at, qint64 length)
{
    // CRC-32 reads at the speed of the disk's cache; with the tail's exact length, both pointer
    // values and the file's identity beside it, no other content passes by chance.
    AppendTailChecksum sum;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    while (length > 0) {
        const ssize_t got = ::pread(fd, buffer.data(), static_cast<size_t>(qMin<qint64>(length, buffer.size())), at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return {};
        sum.add(buffer.constData(), got);
        at += got;
        length -= got;
    }
    return sum.value();
}

void forgetAppend(quint64 id)
{
    Journal& j = journal();
    QMutexLocker locker(&j.lock);
    const int fd = j.appendsIn.take(id);
    // Lost, the line costs nothing: the file is either relinked or already back to its length.
    if (fd > 0) writeLine(fd, "forget " + QByteArray::number(id) + '\n');
}

int removeWorkFilesOfDeadRuns()
{
    const QDir folder(journalFolder());
    int dealt = 0;
    for (const QFileInfo& entry : folder.entryInfoList({QStringLiteral("*.journal")}, QDir::Files)) {
        const QByteArray name = QFile::encodeName(entry.filePath());
        const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) { // a live run's
            ::close(fd);
            continue;
        }
        QFile in;
        if (in.open(fd, QIODevice::ReadOnly)) {
            QList<QByteArray> lines = in.readAll().split('\n');
            lines.removeLast(); // unfinished: the run died writing it
            QHash<QByteArray, Append> appends;
            QList<QByteArray> order;
            QHash<QByteArray, WorkEntry> work;
            QList<QByteArray> workOrder;
            for (const QByteArray& line : lines) {
                const QList<QByteArray> f = line.split(' ');
                if (f[0] == "file" && f.size() == 2) {
                    dealt += removeTempEntry(QByteArray::fromPercentEncoding(f[1]));
                } else if (f[0] == "work" && f.size() == 6) {
                    addWorkLine(work, workOrder, f);
                } else if (f[0] == "append" && (f.size() == 9 || f.size() == kAppendFields) && !appends.contains(f[1])) {
                    appends[f[1]].begin = f;
                    order << f[1];
                } else if (f[0] == "proof" && f.size() == 6 && appends.contains(f[1])) {
                    appends[f[1]].proof = f;
                } else if (f[0] == "forget" && f.size() == 2) {
                    appends.remove(f[1]);
                } else {
                    report("a work record of an unknown kind", line.left(200));
                }
            }
            for (const QByteArray& key : workOrder) dealt += removeWorkFile(work[key]);
            for (const QByteArray& id : order)
                if (appends.contains(id)) dealt += undoAppend(appends[id]);
            in.close();
        }
        ::unlink(name.constData());
        ::close(fd);
    }
    return dealt;
}

} // namespace tf
