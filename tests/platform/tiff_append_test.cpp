// Pages appended to a TIFF after its old end: what the document looks like to other readers during
// and after the append, undoing it, refusals, and what a run killed mid-append leaves.
#include "platform/imagebox/imagebox_error.h"
#include "platform/imagebox/page_raster.h"
#include "platform/imagebox/tiff_append.h"
#include "platform/imagebox/tiff_pages.h"
#include "platform/sys/userdirs.h"
#include "platform/sys/workfiles.h"
#include "support/doctools.h"
#include "support/filesizelimit.h"
#include "support/imagebox_testutil.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <functional>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tf;
using namespace tf::test;
using Where = TiffAppendSession::Where;

namespace {

// A page `width` pixels wide: its width tells the pages apart in the written file.
PageRaster page(int width, int colorFormat = kMonoThreshold)
{
    QImage img(width, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.fillRect(2, 5, width / 2, 20, QColor(200, 30, 30));
    p.end();
    return rasterForColorFormat(img, colorFormat);
}

// A document of pages 10, 20 and 30 wide.
QString document(const QString& path, bool big)
{
    TiffDocumentWriter writer(path);
    writer.setBigTiff(big);
    for (int w : {10, 20, 30}) EXPECT_TRUE(writer.addPage(page(w, kColor24Bit), kTiffPackBits, {}, nullptr));
    EXPECT_TRUE(writer.commit(nullptr));
    return path;
}

// The one run of bytes where two files' common part differs, as [first, last]; {-1, -1} if none.
std::pair<qsizetype, qsizetype> changedSpan(const QByteArray& before, const QByteArray& after)
{
    qsizetype first = -1, last = -1;
    for (qsizetype i = 0; i < before.size() && i < after.size(); ++i)
        if (before[i] != after[i]) {
            if (first < 0) first = i;
            last = i;
        }
    return {first, last};
}

void append(const QString& doc, const QString& target, Where where)
{
    TiffAppendSession session(doc, target, where);
    QString error;
    ASSERT_TRUE(session.addPage(page(41), kTiffGroup4, QStringLiteral("tests"), &error)) << qPrintable(error);
    // Another reader meanwhile finds the old document, every byte of it.
    EXPECT_EQ(widthsOf(tiffDirectories(doc)), QList<int>({10, 20, 30}));
    ASSERT_TRUE(session.addPage(page(42, kColor256), kTiffNone, {}, &error)) << qPrintable(error);
    EXPECT_EQ(session.pageCount(), 2);
    ASSERT_TRUE(session.commit(&error)) << qPrintable(error);
}

} // namespace

TEST(TiffAppend, PagesGoAfterTheOldEndAndOnePointerTakesThemIn)
{
    const struct {
        const char* what;
        bool big;
        Where where;
        bool newFile;
        QList<int> pages;
    } cases[] = {
        {"classic, end", false, Where::End, false, {10, 20, 30, 41, 42}},
        {"BigTIFF, end", true, Where::End, false, {10, 20, 30, 41, 42}},
        {"classic, beginning", false, Where::Beginning, false, {41, 42, 10, 20, 30}},
        {"BigTIFF, beginning", true, Where::Beginning, false, {41, 42, 10, 20, 30}},
        {"BigTIFF, beginning, new file", true, Where::Beginning, true, {41, 42, 10, 20, 30}},
        {"classic, end, new file", false, Where::End, true, {10, 20, 30, 41, 42}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder dir;
        const QString doc = document(dir.file("doc.tif"), c.big);
        const QString out = c.newFile ? dir.file("out.tif") : doc;
        const QByteArray before = readAll(doc);
        append(doc, out, c.where);

        EXPECT_EQ(widthsOf(tiffDirectories(out)), c.pages);
        if (c.newFile) {
            EXPECT_EQ(readAll(doc), before);
        }
        const QByteArray after = readAll(out);
        const auto [first, last] = changedSpan(before, after);
        ASSERT_GE(first, 0);
        EXPECT_LT(last - first, c.big ? 8 : 4) << "one pointer of the old bytes changed, no more";
        if (c.where == Where::Beginning) {
            EXPECT_EQ(first, c.big ? 8 : 4) << "the header's";
        }
        EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral(".*")}, QDir::Hidden | QDir::Files), QStringList())
            << "no work file stays";
    }
}

TEST(TiffAppend, AnAppendNotCommittedLeavesTheFileAsItWas)
{
    TempFolder dir;
    const QString doc = document(dir.file("doc.tif"), false);
    const QByteArray before = readAll(doc);
    QString error;
    for (Where where : {Where::End, Where::Beginning}) {
        TiffAppendSession session(doc, doc, where);
        ASSERT_TRUE(session.addPage(page(41), kTiffGroup4, {}, &error));
        EXPECT_FALSE(session.addPage(PageRaster(), kTiffGroup4, {}, &error));
        session.rollback();
        EXPECT_EQ(readAll(doc), before);
        EXPECT_FALSE(session.commit(&error)) << "rolled back for good";
    }
    {
        TiffAppendSession dropped(doc, doc, Where::End);
        ASSERT_TRUE(dropped.addPage(page(41), kTiffGroup4, {}, &error));
    }
    EXPECT_EQ(readAll(doc), before);
    TiffAppendSession empty(doc, doc, Where::End);
    EXPECT_FALSE(empty.commit(&error)) << "no page";
    EXPECT_EQ(readAll(doc), before);

    // A new file is never made over an existing one, nor left half made.
    const QString taken = dir.write("taken.tif", "mine");
    EXPECT_EQ(imageBoxErrorOf([&] { TiffAppendSession s(doc, taken, Where::End); }), imagebox_error::kFileAccess);
    {
        TiffAppendSession cancelled(doc, dir.file("new.tif"), Where::End);
        ASSERT_TRUE(cancelled.addPage(page(41), kTiffGroup4, {}, &error));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"doc.tif", "taken.tif"}));
    EXPECT_EQ(readAll(taken), "mine");
}

TEST(TiffAppend, ADiskThatFillsUpIsNamedAndTheFileCutBack)
{
    TempFolder dir;
    for (Where where : {Where::End, Where::Beginning}) {
        const QString doc = document(dir.file("doc.tif"), false);
        const QByteArray before = readAll(doc);
        QString error;
        {
            TiffAppendSession session(doc, doc, where);
            FileSizeLimit full(before.size() + 1000);
            ASSERT_TRUE(full.active());
            EXPECT_FALSE(session.addPage(page(400, kColor24Bit), kTiffNone, {}, &error) && session.commit(&error));
        }
        EXPECT_TRUE(error.contains(doc) && error.contains(QString::fromLocal8Bit(std::strerror(EFBIG)))) << qPrintable(error);
        EXPECT_EQ(readAll(doc), before);
    }
}

TEST(TiffAppend, AGroup4PageThatFailsWhileLaterOnesAreTakenStopsTheAppend)
{
    // Noise: Group 4 codes it to more bytes than it has pixels, so the first page fills the disk.
    auto noise = [](quint32 seed) {
        PageRaster p;
        p.kind = PageRaster::Bilevel;
        p.width = 800;
        p.height = 200;
        p.bitsPerSample = 1;
        p.rows.resize(qsizetype(p.bytesPerRow()) * p.height);
        QRandomGenerator rng(seed);
        for (char& c : p.rows) c = char(rng.generate());
        return p;
    };
    TempFolder dir;
    for (Where where : {Where::End, Where::Beginning}) {
        SCOPED_TRACE(where == Where::End ? "end" : "beginning");
        const QString doc = document(dir.file("doc.tif"), false);
        const QByteArray before = readAll(doc);
        QString error, again;
        {
            TiffAppendSession session(doc, doc, where);
            FileSizeLimit full(before.size() + 1000);
            ASSERT_TRUE(full.active());
            // The pages code while the next are taken; the first one's failure is told when the
            // queue is full and it has to be written.
            const int room = int(Group4PageQueue::room());
            for (int i = 0; i < room; ++i) ASSERT_TRUE(session.addPage(noise(i), kTiffGroup4, {}, &error)) << i;
            EXPECT_FALSE(session.addPage(noise(99), kTiffGroup4, {}, &error));
            EXPECT_FALSE(session.addPage(page(41), kTiffNone, {}, &again)) << "nothing more is taken";
            EXPECT_EQ(again, error);
            EXPECT_FALSE(session.commit(&again));
            EXPECT_EQ(again, error);
        }
        EXPECT_TRUE(error.contains(doc) && error.contains(QString::fromLocal8Bit(std::strerror(EFBIG)))) << qPrintable(error);
        EXPECT_EQ(readAll(doc), before);
    }
}

TEST(TiffAppend, ClassicTiffNearFourGibRefusesThePageUntouched)
{
    TempFolder dir;
    const QString doc = document(dir.file("doc.tif"), false);
    // Sparse: the old pages' directories stay sound, the length is what counts.
    ASSERT_TRUE(QFile::resize(doc, kClassicTiffMaxBytes - 1000));
    QFile f(doc);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray head = f.read(4096);
    TiffAppendSession session(doc, doc, Where::End);
    QString error;
    EXPECT_FALSE(session.addPage(page(41), kTiffGroup4, {}, &error));
    EXPECT_EQ(error, tiffTooLargeMessage());
    session.rollback();
    EXPECT_EQ(QFileInfo(doc).size(), kClassicTiffMaxBytes - 1000);
    ASSERT_TRUE(f.seek(0));
    EXPECT_EQ(f.read(4096), head);
}

TEST(TiffAppend, ADocumentThatIsNoSoundTiffIsRefusedUntouched)
{
    TempFolder dir;
    QByteArray loop = readAll(document(dir.file("loop.tif"), false));
    // The last directory's next pointer back to the first: a chain that never ends.
    const auto dirs = tiffDirectories(dir.file("loop.tif"));
    const qint64 nextAt = dirs.back().offset + 2 + 12 * dirs.back().tags.size();
    std::memcpy(loop.data() + nextAt, loop.constData() + 4, 4);
    const QString readOnly = document(dir.file("readonly.tif"), false);
    QFile::setPermissions(readOnly, QFile::ReadOwner);
    const struct {
        const char* what;
        QString path;
        int error;
    } cases[] = {
        {"no TIFF", dir.write("text.tif", "just some text, long enough to have a header"), imagebox_error::kInvalidFileFormat},
        {"a chain that loops", dir.write("looped.tif", loop), imagebox_error::kInvalidFileFormat},
        {"missing", dir.file("missing.tif"), imagebox_error::kFileNotFound},
        {"a folder", dir.path(), imagebox_error::kFileNotFound},
        {"read-only", readOnly, imagebox_error::kFileAccess},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray before = readAll(c.path);
        EXPECT_EQ(imageBoxErrorOf([&] { TiffAppendSession s(c.path, c.path, Where::End); }), c.error);
        EXPECT_EQ(readAll(c.path), before);
    }
}

// ---- a run killed while it appends

namespace {

enum class KillAt { BetweenPages, BeforeRelink, AfterRelink };

[[noreturn]] void killSelf(TiffAppendSession::Step) { ::raise(SIGKILL); ::_exit(1); }
void killAfterRelink(TiffAppendSession::Step step)
{
    if (step == TiffAppendSession::Step::AfterRelink) killSelf(step);
}

// Appends two pages in a child run that is killed at `at`; true when it died that way.
bool appendAndDie(const QString& doc, Where where, KillAt at)
{
    const pid_t child = ::fork();
    if (child == 0) {
        TiffAppendSession::setStepHookForTests(at == KillAt::AfterRelink ? &killAfterRelink : &killSelf);
        TiffAppendSession session(doc, doc, where);
        session.addPage(page(41), kTiffGroup4, {}, nullptr);
        session.addPage(page(42), kTiffGroup4, {}, nullptr);
        if (at == KillAt::BetweenPages) ::raise(SIGKILL);
        session.commit(nullptr);
        ::_exit(0);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

} // namespace

TEST(TiffAppend, TheNextStartUndoesAKilledAppendWhereverItWasKilled)
{
    const struct {
        const char* what;
        const char* name;
        bool big;
        Where where;
        KillAt at;
    } cases[] = {
        {"classic, end, between pages", "doc.tif", false, Where::End, KillAt::BetweenPages},
        {"BigTIFF, end, before the relink", "doc.tif", true, Where::End, KillAt::BeforeRelink},
        {"classic, beginning, before the relink", "doc.tif", false, Where::Beginning, KillAt::BeforeRelink},
        {"BigTIFF, beginning, between pages", "doc.tif", true, Where::Beginning, KillAt::BetweenPages},
        {"a newline in the name", ".keep\nscan.tif", false, Where::End, KillAt::BeforeRelink},
        {"a byte that is no UTF-8 in the name", "scan\xff.tif", true, Where::Beginning, KillAt::BeforeRelink},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder dir;
        const QString keep = dir.write(QStringLiteral(".keep"), "the user's"); // what a split name would name
        const QString doc = document(dir.file(QFile::decodeName(c.name)), c.big);
        const QByteArray before = readAll(doc);
        ASSERT_TRUE(appendAndDie(doc, c.where, c.at));
        const QByteArray killed = readAll(doc);
        EXPECT_GT(killed.size(), before.size());
        testing::internal::CaptureStderr();
        const int dealt = removeWorkFilesOfDeadRuns();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(dealt, 1);
        EXPECT_EQ(readAll(doc), before);
        EXPECT_EQ(said, "");
        EXPECT_EQ(widthsOf(tiffDirectories(doc)), QList<int>({10, 20, 30}));
        EXPECT_EQ(readAll(keep), "the user's");
    }
}

TEST(TiffAppend, TheNextStartKeepsACommittedAppendAndAnyOtherFileOfThatName)
{
    TempFolder dir;
    const QString doc = document(dir.file("doc.tif"), false);
    ASSERT_TRUE(appendAndDie(doc, Where::Beginning, KillAt::AfterRelink));
    removeWorkFilesOfDeadRuns();
    EXPECT_EQ(widthsOf(tiffDirectories(doc)), QList<int>({41, 42, 10, 20, 30}));

    // After the run died the document was saved over, or deleted and made anew (which may well
    // reuse its inode number): another file, however alike, is not cut.
    for (const bool deleted : {false, true}) {
        SCOPED_TRACE(deleted ? "made anew" : "saved over");
        const QString other = document(dir.file("other.tif"), false);
        ASSERT_TRUE(appendAndDie(other, Where::End, KillAt::BeforeRelink));
        const QString copy = dir.file("copy.tif");
        ASSERT_TRUE(QFile::copy(doc, copy));
        if (deleted) {
            ASSERT_TRUE(QFile::remove(other));
            ASSERT_TRUE(QFile::copy(copy, other));
        } else {
            ASSERT_EQ(std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(other).constData()), 0);
        }
        removeWorkFilesOfDeadRuns();
        EXPECT_EQ(readAll(other), readAll(doc));
        QFile::remove(other);
        QFile::remove(copy);
    }

    // Written over in place ("cp" keeps the inode and its birth time): a longer TIFF, and the
    // killed file itself with one of its old bytes changed, near its start and near its old end.
    const QString longer = dir.file("longer.tif");
    ASSERT_TRUE(appendAndDie(document(longer, true), Where::End, KillAt::AfterRelink));
    for (const int changed : {-1, 12, -3}) {
        SCOPED_TRACE(changed == -1 ? "a longer TIFF copied over" : "an old byte changed");
        const QString other = document(dir.file("other.tif"), false);
        const qint64 oldLength = QFileInfo(other).size();
        ASSERT_TRUE(appendAndDie(other, Where::End, KillAt::BeforeRelink));
        QByteArray replacement = readAll(changed == -1 ? longer : other);
        const qint64 at = changed > 0 ? changed : oldLength + changed;
        if (changed != -1) replacement[at] = char(replacement[at] ^ 0x40);
        const QString source = dir.write("source.tif", replacement);
        int code = -1;
        runTool("cp", {source, other}, &code);
        ASSERT_EQ(code, 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(removeWorkFilesOfDeadRuns(), 0);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("changed since"), std::string::npos);
        EXPECT_EQ(readAll(other), replacement);
        QFile::remove(other);
    }
}

TEST(TiffAppend, TheNextStartLeavesADocumentWhoseOtherEndAnotherProgramRelinked)
{
    // Pages were being added at the beginning; since, another program added one at the end,
    // linking it from the old last page: the file is theirs now.
    TempFolder dir;
    const QString doc = document(dir.file("doc.tif"), false);
    const std::vector<TiffDirectory> dirs = tiffDirectories(doc);
    ASSERT_EQ(dirs.size(), 3u);
    const qint64 lastLinkAt = dirs.back().offset + 2 + 12 * dirs.back().tags.size();
    ASSERT_TRUE(appendAndDie(doc, Where::Beginning, KillAt::BetweenPages));
    QFile file(doc);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.seek(lastLinkAt));
    const quint32 theirs = quint32(dirs.front().offset); // little-endian, as the document is
    ASSERT_EQ(file.write(reinterpret_cast<const char*>(&theirs), 4), 4);
    file.close();
    const QByteArray changed = readAll(doc);
    testing::internal::CaptureStderr();
    EXPECT_EQ(removeWorkFilesOfDeadRuns(), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("changed since"), std::string::npos);
    EXPECT_EQ(readAll(doc), changed);
}

TEST(TiffAppend, ARecordAnEarlierVersionLeftIsCutOnlyWithItsWholeTailProved)
{
    // Its record names no old ends: only a proof of exactly the tail there lets the start cut.
    for (const bool proved : {true, false}) {
        SCOPED_TRACE(proved ? "proved" : "not proved");
        TempFolder dir;
        const QString doc = document(dir.file("doc.tif"), false);
        const QByteArray before = readAll(doc);
        const QByteArray tail(5000, 'p');
        QFile file(doc);
        ASSERT_TRUE(file.open(QIODevice::Append) && file.write(tail) == tail.size());
        file.close();
        const int fd = ::open(QFile::encodeName(doc).constData(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        ASSERT_EQ(::fstat(fd, &st), 0);
        const QByteArray checksum = appendTailChecksum(fd, before.size(), tail.size());
        const qint64 birth = fileBirthTime(fd);
        ::close(fd);
        QByteArray lines = "tavrel-folio work journal 1\nappend 7 " + QFile::encodeName(doc).toPercentEncoding() + ' ' +
                           QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino)) +
                           ' ' + QByteArray::number(birth) + ' ' + QByteArray::number(before.size()) + " 4 " +
                           before.mid(4, 4).toHex() + '\n';
        if (proved)
            lines += "proof 7 tiff " + QByteArray::number(tail.size()) + ' ' + checksum.toPercentEncoding() +
                     " 01000000\n";
        QFile journal(userDataDir() + QStringLiteral("/WorkFiles/1-0000abcd.journal"));
        ASSERT_TRUE(QDir().mkpath(userDataDir() + QStringLiteral("/WorkFiles")));
        ASSERT_TRUE(journal.open(QIODevice::WriteOnly) && journal.write(lines) == lines.size());
        journal.close();
        testing::internal::CaptureStderr();
        EXPECT_EQ(removeWorkFilesOfDeadRuns(), proved ? 1 : 0);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(readAll(doc), proved ? before : before + tail);
        if (!proved) {
            EXPECT_NE(said.find("nothing proves"), std::string::npos) << said;
        }
    }
}

TEST(TiffAppend, TheNextStartPutsBackAPointerKilledHalfWrittenAndKeepsOneWrittenWhole)
{
    // Killed inside the write of the pointer (across two pages of the system's cache, say), each
    // byte holds its old value or its new one; a byte that is neither was not written by the run.
    for (const char* kind : {"torn", "whole", "someone else's"}) {
        SCOPED_TRACE(kind);
        TempFolder dir;
        const QString doc = document(dir.file("doc.tif"), true);
        const QByteArray before = readAll(doc);
        const std::vector<TiffDirectory> dirs = tiffDirectories(doc);
        const qint64 linkAt = dirs.back().offset + 8 + 20 * qint64(dirs.back().tags.size());
        ASSERT_TRUE(appendAndDie(doc, Where::End, KillAt::AfterRelink));
        const QByteArray whole = readAll(doc);
        ASSERT_EQ(before.mid(linkAt, 8), QByteArray(8, '\0'));
        ASSERT_NE(whole.mid(linkAt, 8), QByteArray(8, '\0'));
        QByteArray pointer = whole.mid(linkAt, 8);
        if (std::strcmp(kind, "torn") == 0) {
            pointer[0] = 0;
            ASSERT_NE(pointer, whole.mid(linkAt, 8));
        }
        if (std::strcmp(kind, "someone else's") == 0) pointer[7] = 1;
        QFile file(doc);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.seek(linkAt) && file.write(pointer) == 8);
        file.close();
        const QByteArray killed = readAll(doc);
        testing::internal::CaptureStderr();
        const int dealt = removeWorkFilesOfDeadRuns();
        const std::string said = testing::internal::GetCapturedStderr();
        if (std::strcmp(kind, "someone else's") == 0) {
            EXPECT_NE(said.find("changed since"), std::string::npos) << said;
        } else {
            EXPECT_EQ(said, "");
        }
        if (std::strcmp(kind, "torn") == 0) {
            EXPECT_EQ(dealt, 1);
            EXPECT_EQ(readAll(doc), before);
        } else {
            EXPECT_EQ(dealt, 0);
            EXPECT_EQ(readAll(doc), killed);
        }
    }
}
