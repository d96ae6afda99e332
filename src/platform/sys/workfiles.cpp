#include "platform/sys/workfiles.h"

#include "platform/sys/userdirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tf {

namespace {

// A journal is lines of words; every name is percent-encoded, so any byte of a name (a newline
// included) survives and no name can end a line or be taken for another field.
//   file <path>
//   append <id> <path> <device> <inode> <birth> <length> <link offset> <link bytes, hex>
//   tail <id> <end> <new link bytes, hex> <checksum of the bytes past the length>
//   forget <id>
QString journalFolder() { return userDataDir() + QStringLiteral("/WorkFiles"); }

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

QByteArray encodedName(const QString& path) { return QFile::encodeName(path).toPercentEncoding(); }

QByteArray canonical(const QByteArray& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

// ".<name>.<6 letters or digits>", as the safe-write routine names the copy beside a document.
bool isHiddenCopyName(const QByteArray& name)
{
    if (name.size() < 9 || name[0] != '.' || name[name.size() - 7] != '.') return false;
    for (qsizetype i = name.size() - 6; i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

// Removes `path` if it is something this program makes; true when it removed it.
bool removeIfOurs(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (!path.startsWith('/') || slash < 0) return false;
    const QByteArray name = path.mid(slash + 1);
    if (name.isEmpty() || name == "." || name == "..") return false;
    const QByteArray folder = canonical(slash == 0 ? QByteArray("/") : path.left(slash));
    if (folder.isEmpty()) return false;
    const QByteArray entry = (folder == "/" ? QByteArray() : folder) + '/' + name;
    struct stat st;
    if (::lstat(entry.constData(), &st) != 0) return false;

    const QByteArray temp = canonical(QFile::encodeName(userTempDir()));
    const bool inTemp = !temp.isEmpty() && (folder == temp || folder.startsWith(temp + '/'));
    if (inTemp) {
        // Links are never ours; a folder's links are removed, not followed.
        if (S_ISDIR(st.st_mode)) return QDir(QFile::decodeName(entry)).removeRecursively();
        return S_ISREG(st.st_mode) && ::unlink(entry.constData()) == 0;
    }
    return S_ISREG(st.st_mode) && st.st_uid == ::getuid() && isHiddenCopyName(name) &&
           ::unlink(entry.constData()) == 0;
}

// Says why a file named by an unfinished append was left as it is.
void leftAsItIs(const QByteArray& path, const char* why)
{
    std::fprintf(stderr, "tavrel-folio: %s was left as it is: %s\n", path.constData(), why);
}

bool isTiffHeader(const QByteArray& head)
{
    return head == QByteArray("II*\0", 4) || head == QByteArray("MM\0*", 4) || head == QByteArray("II+\0", 4) ||
           head == QByteArray("MM\0+", 4);
}

// Cuts an append that never took effect back off the file, when the file proves to hold it;
// true when it did.
bool undoAppend(const QList<QByteArray>& f, const QList<QByteArray>& tail)
{
    bool ok[6] = {};
    const quint64 device = f[3].toULongLong(&ok[0]);
    const quint64 inode = f[4].toULongLong(&ok[1]);
    const qint64 birth = f[5].toLongLong(&ok[5]);
    const qint64 length = f[6].toLongLong(&ok[2]);
    const qint64 linkAt = f[7].toLongLong(&ok[3]);
    const QByteArray link = QByteArray::fromHex(f[8]);
    ok[4] = link.size() == 4 || link.size() == 8;
    for (const bool b : ok)
        if (!b) return false;
    if (length <= 0 || linkAt < 0 || linkAt + link.size() > length) return false;

    const QByteArray path = QByteArray::fromPercentEncoding(f[2]);
    // Written before the pages were all on the disk, the record cannot tell them from others.
    if (tail.size() != 5) {
        leftAsItIs(path, "its unfinished append was recorded without a checksum");
        return false;
    }
    bool endOk = false;
    const qint64 end = tail[2].toLongLong(&endOk);
    const QByteArray newLink = QByteArray::fromHex(tail[3]);
    bool sumOk = false;
    const quint64 checksum = tail[4].toULongLong(&sumOk);
    if (!endOk || !sumOk || end <= length || newLink.size() != link.size()) return false;

    const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool done = false;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && quint64(st.st_dev) == device && quint64(st.st_ino) == inode &&
        fileBirthTime(fd) == birth) {
        auto readAt = [fd](qint64 at, qint64 n) {
            QByteArray bytes(n, '\0');
            return ::pread(fd, bytes.data(), static_cast<size_t>(n), at) == n ? bytes : QByteArray();
        };
        const QByteArray now = readAt(linkAt, link.size());
        if (now == newLink) {
            // The append took effect: the pages are the user's now.
        } else if (st.st_size != end || now != link || !isTiffHeader(readAt(0, 4))) {
            leftAsItIs(path, "it changed after its append was cut short");
        } else {
            quint64 sum = 0;
            if (appendChecksum(fd, length, end, &sum) && sum == checksum)
                done = ::ftruncate(fd, length) == 0 && ::fsync(fd) == 0;
            else
                leftAsItIs(path, "the bytes after its old end are not those its cut-short append wrote");
        }
    }
    ::close(fd);
    return done;
}

} // namespace

void recordWorkFile(const QString& path)
{
    Journal& j = journal();
    QMutexLocker locker(&j.lock);
    const int fd = openJournal(j);
    if (fd < 0) return; // without a journal the file is still removed by the code that made it
    writeLine(fd, "file " + encodedName(QFileInfo(path).absoluteFilePath()) + '\n');
}

qint64 fileBirthTime(int fd)
{
    struct statx stx;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &stx) != 0 || !(stx.stx_mask & STATX_BTIME)) return 0;
    return qint64(stx.stx_btime.tv_sec) * 1000000000 + stx.stx_btime.tv_nsec;
}

quint64 recordAppend(const AppendRecord& r, QString* error)
{
    Journal& j = journal();
    QMutexLocker locker(&j.lock);
    const int fd = openJournal(j);
    const quint64 id = ++j.lastId;
    const QByteArray line = "append " + QByteArray::number(id) + ' ' + encodedName(r.path) + ' ' +
                            QByteArray::number(r.device) + ' ' + QByteArray::number(r.inode) + ' ' +
                            QByteArray::number(r.birth) + ' ' +
                            QByteArray::number(r.length) + ' ' + QByteArray::number(r.linkAt) + ' ' +
                            r.linkBytes.toHex() + '\n';
    errno = 0;
    if (fd < 0 || !writeLine(fd, line) || ::fdatasync(fd) != 0) {
        if (error) {
            const int err = errno;
            *error = QStringLiteral("Cannot write in the program's data folder ") + journalFolder();
            if (err) *error += QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char(')');
        }
        return 0;
    }
    j.appendsIn.insert(id, fd);
    return id;
}

bool appendChecksum(int fd, qint64 from, qint64 to, quint64* sum)
{
    // A multiply-xor hash over 8-byte words: it reads a tail of gigabytes back at the speed of
    // memory, and a copied file's bytes agree with it only by a 64-bit chance, on top of the same
    // identity, length and pointer.
    constexpr quint64 kPrime = 0x100000001b3ULL;
    constexpr qint64 kChunk = 1 << 20; // a multiple of the word: only the last piece has a rest
    quint64 h = 0xcbf29ce484222325ULL ^ quint64(to - from);
    QByteArray chunk(kChunk, Qt::Uninitialized);
    for (qint64 at = from; at < to;) {
        const qint64 n = qMin(kChunk, to - at);
        for (qint64 got = 0; got < n;) {
            const ssize_t r = ::pread(fd, chunk.data() + got, static_cast<size_t>(n - got), at + got);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            got += r;
        }
        const char* p = chunk.constData();
        qint64 i = 0;
        for (; i + 8 <= n; i += 8) {
            quint64 word;
            std::memcpy(&word, p + i, 8);
            h = (h ^ word) * kPrime;
        }
        for (; i < n; ++i) h = (h ^ uchar(p[i])) * kPrime;
        at += n;
    }
    *sum = h;
    return true;
}

bool recordAppendTail(quint64 id, qint64 end, const QByteArray& newLink, quint64 checksum, QString* error)
{
    Journal& j = journal();
    QMutexLocker locker(&j.lock);
    const int fd = j.appendsIn.value(id, -1);
    const QByteArray line = "tail " + QByteArray::number(id) + ' ' + QByteArray::number(end) + ' ' + newLink.toHex() +
                            ' ' + QByteArray::number(checksum) + '\n';
    errno = 0;
    if (fd < 0 || !writeLine(fd, line) || ::fdatasync(fd) != 0) {
        if (error) {
            const int err = errno;
            *error = QStringLiteral("Cannot write in the program's data folder ") + journalFolder();
            if (err) *error += QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char(')');
        }
        return false;
    }
    return true;
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
            QSet<QByteArray> forgotten;
            QHash<QByteArray, QList<QByteArray>> tails;
            for (const QByteArray& line : lines) {
                if (line.startsWith("forget ")) forgotten.insert(line.mid(7));
                if (line.startsWith("tail ")) {
                    const QList<QByteArray> t = line.split(' ');
                    if (t.size() == 5) tails.insert(t[1], t);
                }
            }
            for (const QByteArray& line : lines) {
                const QList<QByteArray> f = line.split(' ');
                if (f[0] == "file" && f.size() == 2) {
                    dealt += removeIfOurs(QByteArray::fromPercentEncoding(f[1]));
                } else if (f[0] == "append" && f.size() == 9 && !forgotten.contains(f[1])) {
                    dealt += undoAppend(f, tails.value(f[1]));
                }
            }
            in.close();
        }
        ::unlink(name.constData());
        ::close(fd);
    }
    return dealt;
}

} // namespace tf
