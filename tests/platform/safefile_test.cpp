#include "platform/sys/safefile.h"
#include "support/filesizelimit.h"
#include "support/fulldisk.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using tf::Placement;
using tf::SafeFile;
using tf::test::readAll;
using tf::test::TempFolder;

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(SafeFile, ReplacesWholeAndKeepsTheTargetsPermissions)
{
    TempFolder tmp;
    const QString kept = tmp.write("private.txt", "old");
    ::chmod(QFile::encodeName(kept).constData(), 0600);
    ASSERT_TRUE(tf::writeFileSafely(kept, "new"));
    EXPECT_EQ(readAll(kept), "new");
    EXPECT_EQ(modeOf(kept), 0600u);

    // A new file is made as the user's other new files are: a private umask keeps it private.
    const QString fresh = tmp.file("fresh.txt");
    const mode_t oldMask = ::umask(027);
    const bool made = tf::writeFileSafely(fresh, "");
    ::umask(oldMask);
    ASSERT_TRUE(made);
    EXPECT_EQ(readAll(fresh), "");
    EXPECT_EQ(modeOf(fresh), 0640u);

    // Chosen permissions win over the target's.
    SafeFile out(kept);
    out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    ASSERT_TRUE(out.open() && out.write("third") && out.commit());
    EXPECT_EQ(modeOf(kept), 0604u);
    EXPECT_EQ(entries(tmp.path()), QStringList({"fresh.txt", "private.txt"}));
}

TEST(SafeFile, ALinkStaysALinkAndItsFileIsReplaced)
{
    TempFolder tmp;
    QDir(tmp.path()).mkdir("real");
    const QString real = tmp.write("real/doc.txt", "old");
    const QString link = tmp.file("doc.txt");
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_TRUE(tf::writeFileSafely(link, "new"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(real), "new");
    EXPECT_EQ(entries(tmp.path() + "/real"), QStringList{"doc.txt"});

    // A dangling link: the file appears where it points.
    const QString dangling = tmp.file("later.txt");
    ASSERT_TRUE(QFile::link(tmp.file("real/later.txt"), dangling));
    ASSERT_TRUE(tf::writeFileSafely(dangling, "born"));
    EXPECT_TRUE(QFileInfo(dangling).isSymLink());
    EXPECT_EQ(readAll(tmp.file("real/later.txt")), "born");
}

// The file a replacement removes, as this process holds it: "<path> (deleted)" among its descriptors.
static bool holdsRemoved(const QString& path)
{
    const QByteArray wanted = QFile::encodeName(path) + " (deleted)";
    for (const QString& fd : QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t n = ::readlink(QFile::encodeName("/proc/self/fd/" + fd).constData(), target, sizeof target);
        if (n > 0 && QByteArray(target, int(n)) == wanted) return true;
    }
    return false;
}

TEST(SafeFile, TheReplacedFileIsLetGoAfterTheRenameNotInIt)
{
    // A big document's blocks are freed when the last hold on it goes; inside the rename the
    // folder stays locked meanwhile, and the window's listing of it would wait. The writer holds
    // the old file across the rename and lets it go after.
    TempFolder tmp;
    const QString doc = tmp.write("doc.txt", "old");
    bool heldAcrossRename = false;
    tf::setAfterReplaceForTests([&] { heldAcrossRename = holdsRemoved(doc) && readAll(doc) == "new"; });
    const bool written = tf::writeFileSafely(doc, "new");
    tf::setAfterReplaceForTests({});
    ASSERT_TRUE(written);
    EXPECT_TRUE(heldAcrossRename);
    EXPECT_FALSE(holdsRemoved(doc));
    EXPECT_EQ(readAll(doc), "new");
}

TEST(SafeFile, RefusalsLeaveEverythingAsItWas)
{
    TempFolder tmp;
    ASSERT_TRUE(QDir(tmp.path()).mkdir("sub"));
    const QString readOnly = tmp.write("ro.txt", "keep");
    ::chmod(QFile::encodeName(readOnly).constData(), 0444);
    const QString taken = tmp.write("taken.txt", "first");
    const bool root = ::geteuid() == 0;

    const struct { const char* what; QString target; Placement placement; bool expectRefused; } cases[] = {
        {"a folder of that name", tmp.file("sub"), Placement::Replace, true},
        {"a read-only file", readOnly, Placement::Replace, !root},
        {"a name taken for a new file", taken, Placement::NoReplace, true},
        {"a folder that is not there", tmp.file("gone/x.txt"), Placement::Replace, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        SafeFile out(c.target, c.placement);
        const bool ok = out.open(&error) && out.write("changed", &error) && out.commit(&error);
        if (!c.expectRefused) continue;
        EXPECT_FALSE(ok);
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(readAll(taken), "first");
    if (!root) {
        EXPECT_EQ(readAll(readOnly), "keep");
    }
    EXPECT_EQ(entries(tmp.path()), QStringList({"ro.txt", "sub", "taken.txt"}));

    // A free name is taken; a name taken between choosing and writing is not.
    SafeFile first(tmp.file("new.txt"), Placement::NoReplace);
    SafeFile second(tmp.file("new.txt"), Placement::NoReplace);
    ASSERT_TRUE(first.open() && second.open());
    ASSERT_TRUE(first.write("one") && second.write("two"));
    EXPECT_TRUE(first.commit());
    EXPECT_FALSE(second.commit());
    EXPECT_EQ(readAll(tmp.file("new.txt")), "one");
}

TEST(SafeFile, AFullDiskIsAnErrorAndLeavesTheOldFileByteForByte)
{
    TempFolder tmp;
    const QString target = tmp.write("doc.tif", "old");
    // Small, around a copy chunk and past several chunks.
    for (int size : {300, (1 << 20) + 1, 3 << 20}) {
        SCOPED_TRACE(size);
        const QString source = tmp.write("source.bin", QByteArray(size, 'n'));
        bool copied = true, written = true;
        QString copyError, writeError;
        {
            tf::test::FileSizeLimit limit(200);
            ASSERT_TRUE(limit.active());
            SafeFile copy(target);
            copied = copy.open(&copyError) && copy.copyFrom(source, &copyError) && copy.commit(&copyError);
            written = tf::writeFileSafely(target, QByteArray(size, 'w'), &writeError);
        }
        EXPECT_FALSE(copied);
        EXPECT_FALSE(written);
        EXPECT_FALSE(copyError.isEmpty());
        EXPECT_FALSE(writeError.isEmpty());
        EXPECT_EQ(readAll(target), "old");
        EXPECT_EQ(entries(tmp.path()), QStringList({"doc.tif", "source.bin"})) << "no hidden file is left";
    }
}

TEST(SafeFile, MovingAFinishedFileWorksAcrossFileSystems)
{
    TempFolder tmp;
    const QString target = tmp.write("doc.pdf", "old");
    ::chmod(QFile::encodeName(target).constData(), 0640);
    const QString near = tmp.write("finished", "same disk");
    ASSERT_TRUE(tf::moveFileSafely(near, target));
    EXPECT_EQ(readAll(target), "same disk");
    EXPECT_EQ(modeOf(target), 0640u);
    EXPECT_EQ(entries(tmp.path()), QStringList{"doc.pdf"});

    // Another file system, where one rename cannot do it.
    QTemporaryDir other(QStringLiteral("/dev/shm/tf-safefile-XXXXXX"));
    struct stat a {}, b {};
    if (!other.isValid() || ::stat(QFile::encodeName(other.path()).constData(), &a) != 0 ||
        ::stat(QFile::encodeName(tmp.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system here";
    const QString far = other.filePath("finished");
    const auto spill = [&](const char* bytes) {
        QFile f(far);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) > 0;
    };
    ASSERT_TRUE(spill("other disk"));
    ASSERT_TRUE(tf::moveFileSafely(far, target));
    EXPECT_EQ(readAll(target), "other disk");
    EXPECT_EQ(modeOf(target), 0640u);
    EXPECT_FALSE(QFileInfo::exists(far));
    EXPECT_EQ(entries(tmp.path()), QStringList{"doc.pdf"});

    // A new file there must not replace one that appeared meanwhile.
    ASSERT_TRUE(spill("late"));
    EXPECT_FALSE(tf::moveFileSafely(far, target, Placement::NoReplace));
    EXPECT_EQ(readAll(target), "other disk");
    EXPECT_EQ(entries(tmp.path()), QStringList{"doc.pdf"});
}

TEST(SafeFile, AWriteThatFailedOnceRefusesTheRename)
{
    TempFolder tmp;
    const QString target = tmp.write("doc.pdf", "old");
    const QString noSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));
    const struct {
        const char* what;
        std::function<void(SafeFile&)> write;
    } writers[] = {
        // A library that writes on after a failed write, or never looks at the result.
        {"writes on regardless", [](SafeFile& out) {
             out.write(QByteArray(100, 'a'));
             tf::setWriteBudgetForTests(-1);
             out.write(QByteArray(100, 'b'));
         }},
        {"through the device", [&](SafeFile& out) {
             EXPECT_EQ(out.device().write(QByteArray(100, 'a')), -1);
             EXPECT_TRUE(out.device().errorString().contains(noSpace));
         }},
        {"at an offset", [](SafeFile& out) { out.writeAt(QByteArray(100, 'c').constData(), 100, 50); }},
    };
    for (const auto& w : writers) {
        SCOPED_TRACE(w.what);
        for (qint64 budget : {0, 1, 60}) {
            SafeFile out(target);
            ASSERT_TRUE(out.open());
            {
                tf::test::WriteBudget limit(budget);
                w.write(out);
            }
            QString error;
            EXPECT_FALSE(out.commit(&error));
            EXPECT_EQ(tf::writeFailureCause(error), "The disk is full.") << error.toStdString();
            EXPECT_EQ(readAll(target), "old");
            EXPECT_EQ(entries(tmp.path()), QStringList{"doc.pdf"});
        }
    }

    // Bytes that reached the hidden file some other way than its writes are not what was meant.
    SafeFile out(target);
    ASSERT_TRUE(out.open() && out.write("new"));
    QFile behind(out.fileName());
    ASSERT_TRUE(behind.open(QIODevice::Append) && behind.write("more") == 4);
    behind.close();
    EXPECT_FALSE(out.commit());
    EXPECT_EQ(readAll(target), "old");
    EXPECT_EQ(entries(tmp.path()), QStringList{"doc.pdf"});
}
