#include "platform/imagebox/tiff_append.h"

#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/safefile.h"
#include "platform/sys/workfiles.h"

#include <QFile>
#include <QFileInfo>
#include <tiffio.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tf {

namespace {

void (*g_stepHook)(TiffAppendSession::Step) = nullptr;

QString withReason(const QString& text, int err)
{
    return err ? text + QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char(')') : text;
}

bool preadAll(int fd, char* out, qint64 n, qint64 at)
{
    while (n > 0) {
        const ssize_t got = ::pread(fd, out, static_cast<size_t>(n), at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        at += got;
        n -= got;
    }
    return true;
}

bool pwriteAll(int fd, const char* from, qint64 n, qint64 at)
{
    while (n > 0) {
        const ssize_t put = ::pwrite(fd, from, static_cast<size_t>(n), at);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        from += put;
        at += put;
        n -= put;
    }
    return true;
}

// The file as libtiff sees it while it appends. Writes at or past the old end go to the disk;
// a write below it (libtiff linking its first new directory to the old last one) is held here,
// and reads see it, so the old bytes on the disk stay untouched until the session relinks.
struct AppendFile {
    int fd = -1;
    SafeFile* copy = nullptr; // writing a new file: its bytes go through it
    qint64 oldEnd = 0;
    qint64 end = 0;
    qint64 pos = 0;
    struct Held {
        qint64 at;
        QByteArray bytes;
    };
    std::vector<Held> held;
    int writeErrno = 0;
    bool dropWrites = false; // rolling back: whatever libtiff still flushes is thrown away

    bool readAt(qint64 at, char* out, qint64 n) const
    {
        if (at < 0 || at + n > end) return false;
        // Bytes past the disk's end were skipped by a seek and never written: zeros.
        std::memset(out, 0, static_cast<size_t>(n));
        if (!preadAll(fd, out, n, at)) {
            struct stat st;
            if (::fstat(fd, &st) != 0 || at + n <= st.st_size) return false;
            if (at < st.st_size && !preadAll(fd, out, st.st_size - at, at)) return false;
        }
        for (const Held& h : held) {
            const qint64 from = qMax(at, h.at), to = qMin(at + n, h.at + h.bytes.size());
            if (from < to) std::memcpy(out + (from - at), h.bytes.constData() + (from - h.at), static_cast<size_t>(to - from));
        }
        return true;
    }

    // Every byte of the append goes to the disk through the checked writes.
    bool put(const char* p, qint64 n, qint64 at)
    {
        if (copy) return copy->writeAt(p, n, at);
        return writeFully(fd, p, n, at);
    }

    static tmsize_t read(thandle_t h, void* buf, tmsize_t n)
    {
        auto* f = static_cast<AppendFile*>(h);
        const qint64 take = qBound<qint64>(0, f->end - f->pos, qint64(n));
        if (take > 0 && !f->readAt(f->pos, static_cast<char*>(buf), take)) return -1;
        f->pos += take;
        return static_cast<tmsize_t>(take);
    }
    static tmsize_t write(thandle_t h, void* buf, tmsize_t n)
    {
        auto* f = static_cast<AppendFile*>(h);
        if (f->dropWrites || f->writeErrno) return f->dropWrites ? n : -1;
        const char* p = static_cast<const char*>(buf);
        qint64 at = f->pos, left = n;
        if (at < f->oldEnd && left > 0) {
            const qint64 below = qMin(left, f->oldEnd - at);
            f->held.push_back({at, QByteArray(p, below)});
            p += below;
            at += below;
            left -= below;
        }
        if (left > 0 && !f->put(p, left, at)) {
            f->writeErrno = errno ? errno : EIO;
            return -1;
        }
        f->pos = at + left;
        f->end = qMax(f->end, f->pos);
        return n;
    }
    static toff_t seek(thandle_t h, toff_t off, int whence)
    {
        auto* f = static_cast<AppendFile*>(h);
        const qint64 base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->end : 0;
        f->pos = base + static_cast<qint64>(off);
        return static_cast<toff_t>(f->pos);
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return static_cast<toff_t>(static_cast<AppendFile*>(h)->end); }
    static int map(thandle_t, void**, toff_t*) { return 0; }
    static void unmap(thandle_t, void*, toff_t) {}
};

quint64 number(const QByteArray& b, bool little)
{
    quint64 v = 0;
    for (qsizetype i = 0; i < b.size(); ++i)
        v |= quint64(uchar(b[little ? i : b.size() - 1 - i])) << (8 * i);
    return v;
}

bool sameFile(const QString& a, const QString& b)
{
    const QFileInfo x(a), y(b);
    if (x.exists() && y.exists()) return x.canonicalFilePath() == y.canonicalFilePath();
    return x.absoluteFilePath() == y.absoluteFilePath();
}

} // namespace

struct TiffAppendSession::Impl {
    QString document;
    Where where = Where::End;
    std::unique_ptr<SafeFile> copy; // the new file, when the document itself stays as it is
    AppendFile io;
    TiffChain chain;
    int linkWidth = 4;
    qint64 linkAt = 0;      // the one pointer the append rewrites
    QByteArray linkBefore;  // and what it holds until then
    quint64 recordId = 0;
    TIFFOpenOptions* options = nullptr;
    TIFF* tif = nullptr;
    QString libraryMessage;
    // Group 4 pages code on other threads while the session takes the next ones.
    Group4PageQueue coding;
    qint64 codingAtMost = 0; // what the pages queued since the queue was last empty may take
    qint64 syncedTo = 0;
    int pages = 0;
    bool relinked = false;
    bool finished = false;

    static int onError(TIFF*, void* user, const char* module, const char* fmt, va_list ap)
    {
        auto* self = static_cast<Impl*>(user);
        if (self->libraryMessage.isEmpty()) {
            char buf[512];
            std::vsnprintf(buf, sizeof buf, fmt, ap);
            self->libraryMessage = QString::fromLocal8Bit(module ? module : "") + QStringLiteral(": ") +
                                   QString::fromLocal8Bit(buf);
        }
        return 1;
    }
    static int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

    [[noreturn]] void raise(int32_t number, const QString& text)
    {
        close();
        throw ImageBoxError(number, text);
    }

    void close() noexcept
    {
        if (tif) {
            io.dropWrites = true;
            TIFFClose(tif);
            tif = nullptr;
        }
        if (options) TIFFOpenOptionsFree(options);
        options = nullptr;
        if (io.fd >= 0) ::close(io.fd);
        io.fd = -1;
    }

    // A full disk is named before anything libtiff says about it.
    QString failure(const QString& fallback) const
    {
        if (io.writeErrno) return withReason(QStringLiteral("Cannot add pages to ") + document, io.writeErrno);
        return libraryMessage.isEmpty() ? fallback : libraryMessage;
    }

    bool fail(QString* error, const QString& text)
    {
        if (error) *error = text;
        return false;
    }

    // Writes the coded pages until at most `keep` still code; a page that failed fails every
    // later call, so the session can only be rolled back.
    bool writeCoded(size_t keep, QString* error)
    {
        QString own;
        if (!coding.write(tif, keep, &own)) return fail(error, failure(own));
        if (coding.size() == 0) codingAtMost = 0;
        // The disk starts on the pages now, so that the sync before the relink has little left to wait for.
        if (io.end > syncedTo) ::sync_file_range(io.fd, syncedTo, io.end - syncedTo, SYNC_FILE_RANGE_WRITE);
        syncedTo = io.end;
        return true;
    }

    // Where the directories libtiff wrote lie. The first is what it linked to the old last
    // directory, below the old end: that pointer must be all it wrote there.
    bool newChain(quint64* first, qint64* lastLinkAt)
    {
        for (const AppendFile::Held& h : io.held)
            if (h.at != chain.lastLinkAt || h.bytes.size() != linkWidth) return false;
        QByteArray value(linkWidth, '\0');
        if (io.held.empty() || !io.readAt(chain.lastLinkAt, value.data(), linkWidth)) return false;
        *first = number(value, chain.littleEndian);
        const int countWidth = chain.big ? 8 : 2, entryWidth = chain.big ? 20 : 12;
        quint64 at = *first;
        for (int i = 0; i < pages; ++i) {
            QByteArray count(countWidth, '\0'), next(linkWidth, '\0');
            if (at < quint64(io.oldEnd) || !io.readAt(qint64(at), count.data(), countWidth)) return false;
            const qint64 nextAt = qint64(at) + countWidth + entryWidth * qint64(number(count, chain.littleEndian));
            if (!io.readAt(nextAt, next.data(), linkWidth)) return false;
            *lastLinkAt = nextAt;
            at = number(next, chain.littleEndian);
        }
        return at == 0;
    }

    bool relink(QString* error)
    {
        quint64 first = 0;
        qint64 lastLinkAt = 0;
        if (!newChain(&first, &lastLinkAt)) return fail(error, QStringLiteral("Could not link the new pages into ") + document);
        const QString cannot = QStringLiteral("Cannot add pages to ") + document;
        // At the beginning the new chain ends in the old first page, and the old last page keeps
        // ending the document.
        if (where == Where::Beginning && !io.put(linkBefore.constData(), linkWidth, lastLinkAt))
            return fail(error, withReason(cannot, errno));
        if (::fdatasync(io.fd) != 0) return fail(error, withReason(cannot, errno));
        QByteArray value(linkWidth, '\0');
        for (int i = 0; i < linkWidth; ++i)
            value[chain.littleEndian ? i : linkWidth - 1 - i] = char((first >> (8 * i)) & 0xFF);
        // On the disk before the pointer changes: the next start tells a pointer only partly
        // written by a run killed there from one written whole.
        if (recordId) {
            AppendProof proof;
            proof.format = "tiff";
            proof.tailLength = io.end - io.oldEnd;
            proof.linkAfter = value;
            if (!recordAppendProof(recordId, proof, error)) return false;
        }
        if (g_stepHook) g_stepHook(Step::BeforeRelink);
        relinked = true;
        if (!io.put(value.constData(), linkWidth, linkAt) || ::fdatasync(io.fd) != 0)
            return fail(error, withReason(cannot, errno));
        if (g_stepHook) g_stepHook(Step::AfterRelink);
        return true;
    }
};

TiffAppendSession::TiffAppendSession(const QString& document, const QString& target, Where where)
    : m(std::make_unique<Impl>())
{
    m->document = document;
    m->where = where;
    const bool inPlace = target.isEmpty() || sameFile(document, target);
    if (!QFileInfo(document).isFile()) m->raise(imagebox_error::kFileNotFound, QStringLiteral("Cannot read ") + document);
    QString error;
    auto checkChain = [&](int fd) {
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !readTiffChain(file, &m->chain, &error))
            m->raise(imagebox_error::kInvalidFileFormat,
                     QStringLiteral("Not a TIFF file that pages can be added to: ") + document +
                         (error.isEmpty() ? QString() : QStringLiteral(" (") + error + QLatin1Char(')')));
    };

    QString path = QFileInfo(document).canonicalFilePath();
    if (!inPlace) {
        // The document is checked before it is copied: a file that is no TIFF costs no copy.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) m->raise(imagebox_error::kFileAccess, withReason(QStringLiteral("Cannot read ") + document, errno));
        m->io.fd = fd;
        checkChain(fd);
        ::close(fd);
        m->io.fd = -1;
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
            m->raise(imagebox_error::kFileAccess, QStringLiteral("A file has that name already: ") + target);
        m->copy = std::make_unique<SafeFile>(target, Placement::NoReplace);
        if (!m->copy->open(&error) || !m->copy->copyFrom(document, &error)) {
            m->copy.reset();
            m->raise(imagebox_error::kFileAccess, error);
        }
        path = m->copy->fileName();
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) m->raise(imagebox_error::kFileAccess, withReason(QStringLiteral("Cannot write ") + document, errno));
    m->io.fd = fd;
    m->io.copy = m->copy.get();
    struct stat st;
    // A file that nobody may write was made read-only on purpose, even for the superuser.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
        m->raise(imagebox_error::kFileAccess, withReason(QStringLiteral("Cannot write ") + document, EACCES));
    checkChain(fd);
    m->io.oldEnd = m->io.end = m->syncedTo = st.st_size;
    m->linkWidth = m->chain.big ? 8 : 4;
    m->linkAt = where == Where::End ? m->chain.lastLinkAt : m->chain.firstLinkAt;
    m->linkBefore = QByteArray(m->linkWidth, '\0');
    if (!preadAll(fd, m->linkBefore.data(), m->linkWidth, m->linkAt))
        m->raise(imagebox_error::kFileAccess, withReason(QStringLiteral("Cannot read ") + document, errno));

    if (inPlace) {
        AppendRecord record = appendRecordOf(path, fd, st, "tiff");
        record.linkAt = m->linkAt;
        record.linkBytes = m->linkBefore;
        // The chain's other end: another program adding pages there since makes the file its.
        record.keptAt = where == Where::End ? m->chain.firstLinkAt : m->chain.lastLinkAt;
        record.keptBytes = QByteArray(m->linkWidth, '\0');
        if (!preadAll(fd, record.keptBytes.data(), m->linkWidth, record.keptAt))
            m->raise(imagebox_error::kFileAccess, withReason(QStringLiteral("Cannot read ") + document, errno));
        m->recordId = recordAppend(record, &error);
        if (m->recordId == 0) m->raise(imagebox_error::kFileAccess, error);
    }

    m->options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(m->options, &Impl::onError, m.get());
    TIFFOpenOptionsSetWarningHandlerExtR(m->options, &Impl::onWarning, m.get());
    TIFFOpenOptionsSetMaxSingleMemAlloc(m->options, 256 * 1024 * 1024);
    m->tif = TIFFClientOpenExt(QFile::encodeName(document).constData(), "a", &m->io, &AppendFile::read,
                               &AppendFile::write, &AppendFile::seek, &AppendFile::close, &AppendFile::size,
                               &AppendFile::map, &AppendFile::unmap, m->options);
    if (!m->tif) {
        rollback();
        throw ImageBoxError(imagebox_error::kInvalidFileFormat, m->failure(QStringLiteral("Cannot open ") + document));
    }
}

TiffAppendSession::~TiffAppendSession() { rollback(); }

int TiffAppendSession::pageCount() const { return m->pages; }

void TiffAppendSession::setStepHookForTests(void (*hook)(Step)) { g_stepHook = hook; }

bool TiffAppendSession::addPage(const PageRaster& page, int compression, const QString& software, QString* error)
{
    if (m->finished || !m->tif) return m->fail(error, QStringLiteral("The pages were already written"));
    const qint64 atMost =
        tiffPageBytesAtMost(page.width, page.height, page.bitsPerSample * page.samplesPerPixel(), compression);
    // The pages still coding count at their most until they are written and their size is known.
    auto tooLarge = [&] { return !m->chain.big && m->io.end + m->codingAtMost + atMost > kClassicTiffMaxBytes; };
    if (tooLarge() && (!m->writeCoded(0, error) || tooLarge())) {
        if (!m->coding.failed()) m->fail(error, tiffTooLargeMessage());
        return false;
    }
    m->libraryMessage.clear();
    if (Group4PageQueue::codes(page, compression)) {
        m->coding.add(page, software);
        m->codingAtMost += atMost;
        ++m->pages;
        return m->writeCoded(Group4PageQueue::room(), error);
    }
    if (!m->writeCoded(0, error)) return false;
    QString own;
    if (!writeTiffPage(m->tif, page, compression, software, &own)) return m->fail(error, m->failure(own));
    ++m->pages;
    return m->writeCoded(0, error);
}

bool TiffAppendSession::addCodedPage(const Group4Strip& page, const QString& software, QString* error)
{
    if (m->finished || !m->tif) return m->fail(error, QStringLiteral("The pages were already written"));
    if (!page.isValid()) return m->fail(error, QStringLiteral("The page has no pixels"));
    // The strip's own size, with room for its directory.
    const qint64 atMost = page.strip.size() + 4096;
    auto tooLarge = [&] { return !m->chain.big && m->io.end + m->codingAtMost + atMost > kClassicTiffMaxBytes; };
    if (tooLarge() && (!m->writeCoded(0, error) || tooLarge())) {
        if (!m->coding.failed()) m->fail(error, tiffTooLargeMessage());
        return false;
    }
    m->libraryMessage.clear();
    // Behind the pages still coding, so that the pages keep their order.
    m->coding.addCoded(page, software);
    m->codingAtMost += atMost;
    ++m->pages;
    return m->writeCoded(Group4PageQueue::room(), error);
}

bool TiffAppendSession::commit(QString* error)
{
    if (m->finished) return m->fail(error, QStringLiteral("The pages were already written"));
    if (m->pages == 0) {
        rollback();
        return m->fail(error, QStringLiteral("No page was written"));
    }
    if (!m->writeCoded(0, error)) {
        rollback();
        return false;
    }
    TIFFClose(m->tif); // what libtiff still holds goes to the file
    m->tif = nullptr;
    if (m->io.writeErrno) {
        const QString why = m->failure(QString());
        rollback();
        return m->fail(error, why);
    }
    if (!m->relink(error)) {
        rollback();
        return false;
    }
    m->close();
    if (m->copy && !m->copy->commit(error)) {
        m->copy.reset();
        m->finished = true;
        forgetAppend(m->recordId);
        return false;
    }
    m->copy.reset();
    forgetAppend(m->recordId);
    m->finished = true;
    return true;
}

void TiffAppendSession::rollback() noexcept
{
    if (!m || m->finished) return;
    m->finished = true;
    m->coding.clear();
    if (m->tif) {
        m->io.dropWrites = true;
        TIFFClose(m->tif);
        m->tif = nullptr;
    }
    bool restored = true;
    if (!m->copy && m->io.fd >= 0) {
        // A relink that was cut short puts the old pointer back before the pages go.
        if (m->relinked) restored = pwriteAll(m->io.fd, m->linkBefore.constData(), m->linkWidth, m->linkAt);
        struct stat st;
        if (restored && ::fstat(m->io.fd, &st) == 0 && st.st_size > m->io.oldEnd)
            restored = ::ftruncate(m->io.fd, m->io.oldEnd) == 0;
        restored = restored && ::fsync(m->io.fd) == 0;
    }
    m->close();
    m->copy.reset();
    // Left in the journal, a record that could not be carried out is the next start's to finish.
    if (restored) forgetAppend(m->recordId);
}

} // namespace tf
