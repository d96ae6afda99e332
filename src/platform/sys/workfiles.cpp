#include "platform/sys/workfiles.h"

#include "platform/sys/userdirs.h"
#include "version_info.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
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

// A journal is lines of words after a first line of its own (journalHeader); every name is
// percent-encoded, so any byte of a name (a newline included) survives and no name can end a line
// or be taken for another field.
//   temp <name>                                          (a page folder in the program's Temp)
//   file <path>                                          (the same, as older runs wrote it)
//   new <folder> <name>         (a work file about to be made under its name: the "work" line follows)
//   work <folder> <name> <device> <inode> <birth>       (a work file in a user's folder)
//   append <id> <path> <device> <inode> <birth> <length> <link offset> <link bytes, hex>
//          <format> <old ends checksum> <kept offset> <kept bytes, hex>
//                                    (the last four missing in a record of an earlier version)
//   proof <id> <format> <tail length> <tail checksum> <link bytes after, hex>   (the last counts)
//   forget <id>
QString journalFolder() { return userDataDir() + QStringLiteral("/WorkFiles"); }

constexpr int kRandomLetters = 26; // about 134 bits: no name a user or another run could have chosen

QByteArray workNameMarker() { return QByteArray(".") + version::kProgramName + '-'; }

QByteArray journalHeader() { return QByteArray(version::kProgramName) + " work journal 1\n"; }

// No run writes a journal near this: a line of up to 150 bytes per work file or page.
constexpr qint64 kLargestJournal = 64LL << 20;
// No line a run writes is near this either (two percent-encoded paths at most).
constexpr qsizetype kLongestLine = 64 * 1024;

std::atomic<bool> g_unnamedWorkFiles{true};
std::function<void()> g_beforeJournal;

QString journalError(int err);

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
    const QByteArray name = QFile::encodeName(folder + QStringLiteral("/%1-%2.journal")
                                                           .arg(::getpid())
                                                           .arg(QRandomGenerator::global()->generate(), 8, 16,
                                                                QLatin1Char('0')));
    // A new file of its own, never one planted under that name nor a link's target, locked before
    // it has its name: the clean-up of a start running beside it never finds it unlocked.
    const QByteArray making = name + ".new";
    const int fd = ::open(making.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::renameat2(AT_FDCWD, making.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE) != 0) {
        const int err = errno;
        ::unlink(making.constData());
        ::close(fd);
        errno = err;
        return -1;
    }
    j.fd = fd;
    j.folder = folder;
    j.pid = ::getpid();
    return fd;
}

// One write per line, appended: lines of two threads never mix. The journal's first line goes
// with its first record, so that a journal that could not take it is as if never begun. A line
// only partly written (a full disk) is taken back, so that the next line does not run on from it.
// errno tells why not.
bool writeLine(int fd, const QByteArray& record)
{
    struct stat st;
    const QByteArray line = ::fstat(fd, &st) == 0 && st.st_size == 0 ? journalHeader() + record : record;
    errno = 0;
    const ssize_t put = ::write(fd, line.constData(), static_cast<size_t>(line.size()));
    if (put == line.size()) return true;
    const int err = put < 0 && errno ? errno : ENOSPC;
    if (put > 0 && ::fstat(fd, &st) == 0) (void)::ftruncate(fd, st.st_size - put);
    errno = err;
    return false;
}

// What is not written down is not made: false, errno telling why, when the journal cannot take it.
bool writeLocked(const QByteArray& line)
{
    Journal& j = journal();
    QMutexLocker locker(&j.lock);
    errno = 0;
    const int fd = openJournal(j);
    if (fd < 0) {
        if (!errno) errno = EIO;
        return false;
    }
    return writeLine(fd, line);
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
    quint64 mount = 0; // the mount it is on (0: the system does not say)
    bool mountRoot = false;
    quint64 links = 0;
    qint64 size = 0;
};
bool identityOf(int dir, const char* name, int flags, Identity* id)
{
    struct statx stx;
    if (::statx(dir, name, flags | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME | STATX_MNT_ID, &stx) != 0)
        return false;
    id->mode = stx.stx_mode;
    id->owner = stx.stx_uid;
    id->device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
    id->inode = stx.stx_ino;
    id->birth = (stx.stx_mask & STATX_BTIME) ? qint64(stx.stx_btime.tv_sec) * 1000000000 + stx.stx_btime.tv_nsec : 0;
    id->mount = (stx.stx_mask & STATX_MNT_ID) ? stx.stx_mnt_id : 0;
    id->mountRoot = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    id->links = stx.stx_nlink;
    id->size = qint64(stx.stx_size);
    return true;
}

// Whether `inner`, found in the folder `outer`, lies on another mount: another device, another
// mount of the same device (a bind mount), or a mount's root itself.
bool onAnotherMount(const Identity& outer, const Identity& inner)
{
    return inner.device != outer.device || inner.mountRoot || (inner.mount && outer.mount && inner.mount != outer.mount);
}

QByteArray workLine(const QByteArray& folder, const QByteArray& name, const Identity& id)
{
    return "work " + encoded(folder) + ' ' + encoded(name) + ' ' + QByteArray::number(id.device) + ' ' +
           QByteArray::number(id.inode) + ' ' + QByteArray::number(id.birth) + '\n';
}

// ---- the clean-up

// What the clean-up leaves alone goes to standard error once it is done, summed up by reason: a
// damaged or planted journal of a million lines must not print a million lines.
struct Reports {
    QList<QByteArray> order;
    QHash<QByteArray, QPair<QByteArray, int>> byWhat; // the first path shown, and how many
};
thread_local Reports* t_reports = nullptr;

QByteArray shownPath(const QByteArray& path)
{
    QByteArray shown;
    for (const char c : path.left(1000)) {
        if (uchar(c) < 0x20 || c == 0x7f) shown += '%' + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        else shown += c;
    }
    return shown;
}

void report(const QByteArray& what, const QByteArray& path)
{
    if (!t_reports) {
        std::fprintf(stderr, "%s: left as it is: %s (%s)\n", version::kProgramName, shownPath(path).constData(),
                     what.constData());
        return;
    }
    auto it = t_reports->byWhat.find(what);
    if (it == t_reports->byWhat.end()) {
        t_reports->order << what;
        t_reports->byWhat.insert(what, {path, 1});
    } else {
        ++it->second;
    }
}

void printReports(const Reports& reports)
{
    for (const QByteArray& what : reports.order) {
        const auto& [path, count] = reports.byWhat[what];
        if (count == 1)
            std::fprintf(stderr, "%s: left as it is: %s (%s)\n", version::kProgramName, shownPath(path).constData(),
                         what.constData());
        else
            std::fprintf(stderr, "%s: left as it is: %s (%s), and %d more like it\n", version::kProgramName,
                         shownPath(path).constData(), what.constData(), count - 1);
    }
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

// The program's own folders as the clean-up found them, once, at its start.
struct OwnFolders {
    QByteArray data;    // the data folder's path, as the settings name it
    QByteArray tempPath; // Temp's path as older runs wrote it down
    int temp = -1;      // Temp, or -1 when it is missing or cannot be trusted
    Identity tempId;
    int workFiles = -1; // WorkFiles, likewise
    Identity workFilesId;
    // The folder of the last "work" line, kept open: a run writes many lines for one folder.
    QByteArray lastFolder;
    int lastFolderFd = -1;
    bool lastFolderTried = false;

    OwnFolders() = default;
    OwnFolders(const OwnFolders&) = delete;
    OwnFolders& operator=(const OwnFolders&) = delete;
    ~OwnFolders()
    {
        for (const int fd : {temp, workFiles, lastFolderFd})
            if (fd >= 0) ::close(fd);
    }
};

// `name` in the data folder `data`, a real folder of the user's on the data folder's own mount;
// -1 when it is missing or is anything else (said once).
int openOwnFolder(const OwnFolders& own, int data, const Identity& dataId, const char* name, Identity* id)
{
    const int fd = ::openat(data, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) report("a link or no folder; nothing in it is cleaned up", own.data + '/' + name);
        return -1;
    }
    if (!identityOf(fd, "", AT_EMPTY_PATH, id) || id->owner != ::getuid() || onAnotherMount(dataId, *id)) {
        report("another mount or not the user's; nothing in it is cleaned up", own.data + '/' + name);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isPageFolderName(const QByteArray& name)
{
    for (const char* prefix : {"multipage-", "size-"}) {
        if (!name.startsWith(prefix)) continue;
        const QByteArray rest = name.mid(qsizetype(std::strlen(prefix)));
        return rest.size() >= 6 && rest.size() <= 32 &&
               std::all_of(rest.begin(), rest.end(), [](char c) { return std::isalnum(uchar(c)); });
    }
    return false;
}

// A page folder named in a "temp" line: removed only when it is a real folder of the user's
// directly in Temp, on Temp's own mount, holding regular files and nothing else. Its files are
// removed by name, so that nothing put there since is followed.
bool removeTempEntry(OwnFolders& own, const QByteArray& name)
{
    if (own.temp < 0) return false; // Temp itself was said to be left
    const QByteArray shown = own.data + "/Temp/" + name;
    if (!isPageFolderName(name)) {
        report("not a page folder the program makes", shown);
        return false;
    }
    Identity id;
    if (!identityOf(own.temp, name.constData(), 0, &id)) return false; // gone, or never made
    if (!S_ISDIR(id.mode) || id.owner != ::getuid() || onAnotherMount(own.tempId, id)) {
        report("not a folder the program made, or another mount", shown);
        return false;
    }
    const int fd = ::openat(own.temp, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    Identity opened;
    if (fd < 0 || !identityOf(fd, "", AT_EMPTY_PATH, &opened) || opened.inode != id.inode ||
        opened.device != id.device) {
        if (fd >= 0) ::close(fd);
        report("changed while it was looked at", shown);
        return false;
    }
    QList<QByteArray> files;
    bool onlyFiles = true;
    if (DIR* d = ::fdopendir(::dup(fd))) {
        while (const dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            Identity file;
            if (!identityOf(fd, e->d_name, 0, &file)) continue;
            if (!S_ISREG(file.mode) || onAnotherMount(opened, file)) {
                onlyFiles = false;
                break;
            }
            files << QByteArray(e->d_name);
        }
        ::closedir(d);
    } else {
        onlyFiles = false;
    }
    if (!onlyFiles) {
        ::close(fd);
        report("holds what the program does not put in its page folders", shown);
        return false;
    }
    for (const QByteArray& file : files) ::unlinkat(fd, file.constData(), 0);
    ::close(fd);
    // Fails, leaving it, when anything came in since.
    return ::unlinkat(own.temp, name.constData(), AT_REMOVEDIR) == 0;
}

// Where a "work" line's folder is, reached from the root without following a link.
int workFolderOf(OwnFolders& own, const QByteArray& folder)
{
    if (own.lastFolderTried && own.lastFolder == folder) return own.lastFolderFd;
    if (own.lastFolderFd >= 0) ::close(own.lastFolderFd);
    own.lastFolderTried = true;
    own.lastFolder = folder;
    own.lastFolderFd = openFolderNoLinks(folder);
    return own.lastFolderFd;
}

// A "work" line: a work file in a user's folder, removed only if it is still the file the program
// made there. A writer may have put a finished copy in its place, written down by a later line of
// the same name: a file that is not the one a line names is only left until the journal's end, and
// said then if no line claimed it.
struct WorkLines {
    QSet<QByteArray> notMatched; // "<folder> <name>", percent-encoded, as the lines have them
    QSet<QByteArray> foldersLeft; // said once each
};

bool removeWorkFile(OwnFolders& own, WorkLines& lines, const QList<QByteArray>& f)
{
    const QByteArray folder = QByteArray::fromPercentEncoding(f[1]);
    const QByteArray name = QByteArray::fromPercentEncoding(f[2]);
    const QByteArray shown = folder + '/' + name;
    bool ok[3] = {};
    Identity made;
    made.device = f[3].toULongLong(&ok[0]);
    made.inode = f[4].toULongLong(&ok[1]);
    made.birth = f[5].toLongLong(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2] || !folder.startsWith('/') || folder.contains('\0') || !isWorkName(name)) {
        report("not named as the program names its work files", shown);
        return false;
    }
    const int dir = workFolderOf(own, folder);
    if (dir < 0) {
        if (!lines.foldersLeft.contains(folder)) {
            lines.foldersLeft.insert(folder);
            if (QFileInfo::exists(QFile::decodeName(folder))) report("its folder is reached through a link", shown);
        }
        return false;
    }
    Identity now;
    if (!identityOf(dir, name.constData(), 0, &now)) return false;
    const QByteArray key = f[1] + ' ' + f[2];
    if (S_ISREG(now.mode) && now.owner == ::getuid() && now.device == made.device && now.inode == made.inode &&
        now.birth == made.birth && ::unlinkat(dir, name.constData(), 0) == 0) {
        lines.notMatched.remove(key);
        return true;
    }
    lines.notMatched.insert(key);
    return false;
}

// A "new" line alone: the run was killed between naming a work file and writing down what it
// made, so the file, if it is there, is still empty. Removed when it is an empty regular file of
// the user's with no other name, made after the journal was.
bool removeUnrecordedWorkFile(OwnFolders& own, const QList<QByteArray>& f, qint64 journalBirth)
{
    const QByteArray folder = QByteArray::fromPercentEncoding(f[1]);
    const QByteArray name = QByteArray::fromPercentEncoding(f[2]);
    if (!folder.startsWith('/') || folder.contains('\0') || !isWorkName(name)) {
        report("not named as the program names its work files", folder + '/' + name);
        return false;
    }
    const int dir = workFolderOf(own, folder);
    Identity now;
    if (dir < 0 || !identityOf(dir, name.constData(), 0, &now)) return false;
    if (!S_ISREG(now.mode) || now.owner != ::getuid() || now.size != 0 || now.links != 1 ||
        (journalBirth && now.birth && now.birth < journalBirth)) {
        report("not the file the program made", folder + '/' + name);
        return false;
    }
    return ::unlinkat(dir, name.constData(), 0) == 0;
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

namespace {

QByteArray randomLetters(int count)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray out;
    for (int i = 0; i < count; ++i) out += letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))];
    return out;
}

int refuseUnrecorded(QString* error)
{
    const int err = errno ? errno : EIO;
    if (error) *error = journalError(err);
    errno = err;
    return -1;
}

// Gives the unnamed file `fd` the name `name` in `dir`; false with errno EEXIST when it is taken,
// or another errno when names cannot be given that way here.
bool linkUnnamed(int fd, int dir, const char* name)
{
    // Open to those allowed to give names to open files; the /proc form to everyone.
    if (::linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, proc.constData(), dir, name, AT_SYMLINK_FOLLOW) == 0;
}

} // namespace

int createWorkFile(const QString& folder, const QString& extension, mode_t mode, QString* created, QString* error)
{
    if (error) error->clear();
    const QByteArray dir = canonical(QFile::encodeName(folder));
    if (dir.isEmpty()) return -1;
    const int dirFd = ::open(dir.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return -1;
    const auto finish = [dirFd](int fd) {
        const int err = errno;
        ::close(dirFd);
        errno = err;
        return fd;
    };
    const auto nameFor = [&] {
        QByteArray name = workNameMarker() + randomLetters(kRandomLetters);
        if (!extension.isEmpty()) name += '.' + extension.toLatin1();
        return name;
    };
    const auto madeAs = [&](const QByteArray& name) {
        *created = QFile::decodeName((dir == "/" ? QByteArray() : dir) + '/' + name);
    };

    // Made without a name, written down, then named: a run killed at any point leaves either
    // nothing or a file its journal names.
    const int unnamed = g_unnamedWorkFiles ? ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode) : -1;
    if (unnamed >= 0) {
        Identity id;
        if (!identityOf(unnamed, "", AT_EMPTY_PATH, &id)) {
            ::close(unnamed);
            return finish(-1);
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = nameFor();
            if (!writeLocked(workLine(dir, name, id))) {
                const int fd = refuseUnrecorded(error);
                ::close(unnamed);
                return finish(fd);
            }
            if (linkUnnamed(unnamed, dirFd, name.constData())) {
                madeAs(name);
                return finish(unnamed);
            }
            if (errno != EEXIST) break;
        }
        ::close(unnamed);
    }

    // Where a file cannot be made without a name: its name is written down first, and the file
    // stays empty until what it is has been written down too.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = nameFor();
        const QByteArray encodedFolderName = encoded(dir) + ' ' + encoded(name);
        if (!writeLocked("new " + encodedFolderName + '\n')) return finish(refuseUnrecorded(error));
        const int fd = ::openat(dirFd, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return finish(-1);
        }
        Identity id;
        errno = 0;
        if (!identityOf(fd, "", AT_EMPTY_PATH, &id) || !writeLocked(workLine(dir, name, id))) {
            const int err = errno;
            ::unlinkat(dirFd, name.constData(), 0);
            ::close(fd);
            errno = err;
            return finish(refuseUnrecorded(error));
        }
        madeAs(name);
        return finish(fd);
    }
    errno = EEXIST;
    return finish(-1);
}

bool recordWorkFileReplacement(const QString& finished, const QString& workFile, QString* error)
{
    const QFileInfo info(workFile);
    if (!isWorkFileName(info.fileName())) return true;
    Identity id;
    const QByteArray dir = canonical(QFile::encodeName(info.absolutePath()));
    errno = 0;
    if (dir.isEmpty() || !identityOf(AT_FDCWD, QFile::encodeName(finished).constData(), 0, &id)) {
        if (error) *error = QStringLiteral("Cannot write ") + workFile;
        return false;
    }
    if (writeLocked(workLine(dir, QFile::encodeName(info.fileName()), id))) return true;
    refuseUnrecorded(error);
    return false;
}

bool recordWorkFile(const QString& path)
{
    // A name in Temp: the clean-up looks for it there and nowhere else.
    const QFileInfo info(path);
    const QByteArray folder = canonical(QFile::encodeName(info.absolutePath()));
    const QByteArray temp = canonical(QFile::encodeName(userTempDir()));
    if (folder.isEmpty() || temp.isEmpty() || folder != temp) return true; // inside a page folder, gone with it
    return writeLocked("temp " + encoded(QFile::encodeName(info.fileName())) + '\n');
}

WorkFolder::WorkFolder(const QString& prefix)
{
    const QString temp = userTempDir();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = QFile::encodeName(prefix) + '-' + randomLetters(12);
        errno = 0;
        if (!writeLocked("temp " + encoded(name) + '\n')) {
            refuseUnrecorded(&m_error);
            return;
        }
        const QString path = temp + QLatin1Char('/') + QFile::decodeName(name);
        if (::mkdir(QFile::encodeName(path).constData(), 0700) == 0) {
            m_path = path;
            return;
        }
        if (errno != EEXIST) break;
    }
    m_error = QStringLiteral("Cannot create a work folder in ") + temp + QStringLiteral(" (") +
              QString::fromLocal8Bit(std::strerror(errno)) + QLatin1Char(')');
}

WorkFolder::~WorkFolder()
{
    if (!m_path.isEmpty()) QDir(m_path).removeRecursively();
}

void setUnnamedWorkFilesForTests(bool on) { g_unnamedWorkFiles = on; }
void setBeforeJournalForTests(std::function<void()> beforeJournal) { g_beforeJournal = std::move(beforeJournal); }

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

namespace {

// The lines of a journal from `at` on, read a piece at a time: a journal may be far larger than
// any run writes, and is never held whole.
class JournalLines {
public:
    JournalLines(int fd, qint64 at) : m_fd(fd), m_at(at) {}

    // The next whole line, without its newline; false at the end (a last line without one is the
    // run's unfinished write). A line longer than any run writes comes as *tooLong, empty.
    bool next(QByteArray* line, bool* tooLong)
    {
        *tooLong = false;
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n', m_pos);
            if (end >= 0) {
                *line = m_skipping ? QByteArray() : m_buffer.mid(m_pos, end - m_pos);
                *tooLong = m_skipping;
                m_skipping = false;
                m_pos = end + 1;
                return true;
            }
            m_buffer.remove(0, m_pos);
            m_pos = 0;
            if (m_buffer.size() > kLongestLine) {
                m_skipping = true;
                m_buffer.clear();
            }
            char piece[64 * 1024];
            const ssize_t got = ::pread(m_fd, piece, sizeof piece, m_at);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            m_buffer.append(piece, got);
            m_at += got;
        }
    }

private:
    int m_fd;
    qint64 m_at;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_skipping = false;
};

// What one journal holds, dealt with as it is read; false in *finished when `stop` came first.
int cleanUpJournal(OwnFolders& own, int fd, qint64 at, qint64 journalBirth, const QByteArray& shown,
                   const std::atomic<bool>* stop, bool* finished)
{
    int dealt = 0;
    *finished = false;
    JournalLines in(fd, at);
    QHash<QByteArray, Append> appends;
    QList<QByteArray> order;
    WorkLines work;
    QSet<QByteArray> unrecorded;
    QByteArray line;
    bool tooLong = false;
    while (in.next(&line, &tooLong)) {
        if (stop && stop->load(std::memory_order_relaxed)) return dealt;
        if (tooLong) {
            report("a record longer than any the program writes", shown);
            continue;
        }
        const QList<QByteArray> f = line.split(' ');
        if (f[0] == "temp" && f.size() == 2) {
            dealt += removeTempEntry(own, QByteArray::fromPercentEncoding(f[1]));
        } else if (f[0] == "file" && f.size() == 2) {
            // Older runs wrote the whole path; only a name directly in Temp is taken from it.
            const QByteArray path = QByteArray::fromPercentEncoding(f[1]);
            const qsizetype slash = path.lastIndexOf('/');
            if (slash > 0 && path.left(slash) == own.tempPath) dealt += removeTempEntry(own, path.mid(slash + 1));
            else report("not in the program's temporary folder", path);
        } else if (f[0] == "new" && f.size() == 3) {
            unrecorded.insert(f[1] + ' ' + f[2]);
        } else if (f[0] == "work" && f.size() == 6) {
            unrecorded.remove(f[1] + ' ' + f[2]);
            dealt += removeWorkFile(own, work, f);
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
    for (const QByteArray& key : std::as_const(unrecorded)) {
        const QList<QByteArray> f = key.split(' ');
        dealt += removeUnrecordedWorkFile(own, {QByteArray("new"), f[0], f[1]}, journalBirth);
    }
    for (const QByteArray& key : std::as_const(work.notMatched)) {
        const QList<QByteArray> f = key.split(' ');
        report("not the file the program made",
               QByteArray::fromPercentEncoding(f[0]) + '/' + QByteArray::fromPercentEncoding(f[1]));
    }
    for (const QByteArray& id : order)
        if (appends.contains(id)) dealt += undoAppend(appends[id]);
    *finished = true;
    return dealt;
}

// Named as this program names its journals: "<process id>-<8 hex digits>.journal", or with ".new"
// after it while it is being made (empty, unless its run is alive and holds it).
bool isJournalName(QByteArray name)
{
    if (name.endsWith(".journal.new")) name.chop(4);
    const qsizetype dash = name.indexOf('-');
    if (dash < 1 || !name.endsWith(".journal") || name.size() != dash + 1 + 8 + 8) return false;
    for (qsizetype i = 0; i < name.size() - 8; ++i) {
        const char c = name[i];
        if (i < dash ? !std::isdigit(uchar(c)) : i > dash && !std::isxdigit(uchar(c))) return false;
    }
    return true;
}

int cleanUpJournals(OwnFolders& own, const std::atomic<bool>* stop)
{
    QList<QByteArray> names;
    if (DIR* d = ::fdopendir(::dup(own.workFiles))) {
        while (const dirent* e = ::readdir(d))
            if (isJournalName(e->d_name)) names << QByteArray(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    const QByteArray header = journalHeader();
    int dealt = 0;
    for (const QByteArray& name : names) {
        if (stop && stop->load()) break;
        // This run's own, which it may be making as the clean-up looks.
        if (name.startsWith(QByteArray::number(::getpid()) + '-')) continue;
        if (g_beforeJournal) g_beforeJournal();
        const QByteArray shown = own.data + "/WorkFiles/" + name;
        const int fd = ::openat(own.workFiles, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        Identity id;
        if (fd < 0 || !identityOf(fd, "", AT_EMPTY_PATH, &id) || !S_ISREG(id.mode) || id.owner != ::getuid() ||
            id.links != 1 || onAnotherMount(own.workFilesId, id)) {
            if (fd >= 0 || errno == ELOOP) report("not a journal the program wrote", shown);
            if (fd >= 0) ::close(fd);
            continue;
        }
        // A live run's is locked.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        const auto stillThere = [&] {
            Identity now;
            return identityOf(own.workFiles, name.constData(), 0, &now) && now.inode == id.inode &&
                   now.device == id.device;
        };
        if (id.size > kLargestJournal) {
            const QByteArray aside = name + ".set-aside";
            if (stillThere() && ::renameat2(own.workFiles, name.constData(), own.workFiles, aside.constData(),
                                            RENAME_NOREPLACE) == 0)
                report("larger than any run writes: set aside unread as " + aside, shown);
            else
                report("larger than any run writes", shown);
            ::close(fd);
            continue;
        }
        // A run that could not write its first line leaves its journal empty.
        if (id.size == 0) {
            if (stillThere()) ::unlinkat(own.workFiles, name.constData(), 0);
            ::close(fd);
            continue;
        }
        QByteArray head(header.size(), '\0');
        if (::pread(fd, head.data(), size_t(head.size()), 0) != head.size() || head != header) {
            report("not a journal the program wrote", shown);
            ::close(fd);
            continue;
        }
        bool finished = false;
        dealt += cleanUpJournal(own, fd, header.size(), id.birth, shown, stop, &finished);
        if (finished && stillThere()) ::unlinkat(own.workFiles, name.constData(), 0);
        ::close(fd);
    }
    return dealt;
}

} // namespace

int removeWorkFilesOfDeadRuns(const std::atomic<bool>* stop)
{
    Reports reports;
    t_reports = &reports;
    OwnFolders own;
    own.data = QFile::encodeName(userDataDir());
    // The data folder is found once, as the user's settings name it; below it nothing is followed.
    const int data = ::open(own.data.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    Identity dataId;
    if (data >= 0 && identityOf(data, "", AT_EMPTY_PATH, &dataId)) {
        own.workFiles = openOwnFolder(own, data, dataId, "WorkFiles", &own.workFilesId);
        if (own.workFiles >= 0) own.temp = openOwnFolder(own, data, dataId, "Temp", &own.tempId);
        own.tempPath = canonical(own.data) + "/Temp";
    }
    if (data >= 0) ::close(data);
    const int dealt = own.workFiles >= 0 ? cleanUpJournals(own, stop) : 0;
    t_reports = nullptr;
    printReports(reports);
    return dealt;
}

} // namespace tf
