// The start-up clean-up: what a killed run made goes, and nothing a journal names that the
// program did not make (whatever it looks like) is touched.
#include "platform/sys/safefile.h"
#include "platform/sys/userdirs.h"
#include "platform/sys/workfiles.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tf;
using namespace tf::test;

namespace {

// Runs `work` in a child run that dies without cleaning up, leaving its journal behind.
template <class Work>
void inADeadRun(Work work)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        work();
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
}

void plantJournal(const QByteArray& lines)
{
    QFile planted(userDataDir() + QStringLiteral("/WorkFiles/1-0000abcd.journal"));
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
    planted.write("tavrel-folio work journal 1\n" + lines);
}

QByteArray pct(const QString& path) { return QFile::encodeName(path).toPercentEncoding(); }

// A "work" line naming `path` with the identity it has now.
QByteArray workLineFor(const QString& folder, const QString& name)
{
    struct stat st;
    const QString path = folder + QLatin1Char('/') + name;
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const qint64 birth = fd >= 0 ? fileBirthTime(fd) : 0;
    if (fd >= 0) ::close(fd);
    return "work " + pct(folder) + ' ' + pct(name) + ' ' + QByteArray::number(quint64(st.st_dev)) + ' ' +
           QByteArray::number(quint64(st.st_ino)) + ' ' + QByteArray::number(birth) + '\n';
}

} // namespace

TEST(WorkFiles, WhatAKilledRunMadeGoesWithoutFollowingALink)
{
    TempFolder dir;
    const QString document = dir.write("doc.tif", "the user's document");
    const QString outside = dir.path() + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    const QString kept = dir.write("outside/kept.txt", "the user's");
    // A work folder holding its pages, a batch page, and a copy written by name over a work file.
    const QString work = userTempDir() + QStringLiteral("/multipage-Xy12Zw");
    ASSERT_TRUE(QDir().mkpath(work));
    ASSERT_TRUE(QFile(work + QStringLiteral("/pages-1")).open(QIODevice::WriteOnly));
    QString page, replaced;
    const QString newline = dir.path() + QStringLiteral("/new\nline");
    ASSERT_TRUE(QDir().mkpath(newline));
    inADeadRun([&] {
        recordWorkFile(work);
        QString made;
        ::close(createWorkFile(newline, QStringLiteral("tif"), 0666, &made));
        ::close(createWorkFile(dir.path(), QStringLiteral("pdf"), 0666, &replaced));
        SafeFile over(replaced);
        if (over.open() && over.write("the page") && over.commit()) QFile(newline + "/done").open(QIODevice::WriteOnly);
        page = made;
    });
    ASSERT_TRUE(QFile::exists(newline + "/done"));
    const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(before.size(), 2) << before.join(' ').toStdString(); // the document and the replaced page

    testing::internal::CaptureStderr();
    EXPECT_EQ(removeWorkFilesOfDeadRuns(), 3);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(QFileInfo::exists(work));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"doc.tif"}));
    EXPECT_EQ(QDir(newline).entryList(QDir::Files | QDir::Hidden), QStringList({"done"}));
    EXPECT_EQ(readAll(kept), "the user's");
    EXPECT_EQ(readAll(document), "the user's document");
    EXPECT_EQ(removeWorkFilesOfDeadRuns(), 0) << "dealt with, a journal goes";
}

TEST(WorkFiles, RecordsNamingAnythingElseLeaveItByteForByteAndSaySo)
{
    TempFolder dir;
    const QString temp = userTempDir();
    const QString document = dir.write("doc.tif", "the user's document");
    // Hidden files of the user's named as the program's copies once were.
    const QString bashrc = dir.write(".bashrc.backup", "settings");
    const QString report = dir.write(".report.pdf.Ab12Cd", "%PDF-1.4 the user's");
    const QString linkInTemp = temp + QStringLiteral("/planted");
    ASSERT_TRUE(QFile::link(dir.path(), linkInTemp));
    // A file named as the program's work files, of the user's, and one reached through a link.
    const QString workName = QStringLiteral(".tavrel-folio-abcdefghijklmnopqrstuvwxyz");
    const QString lookalike = dir.write(workName, "the user's too");
    const QString linkedFolder = dir.file("linked");
    ASSERT_TRUE(QFile::link(dir.path(), linkedFolder));
    const QString linkedFile = dir.file(".tavrel-folio-ABCDEFGHIJKLMNOPQRSTUVWXYZ.tif");
    ASSERT_TRUE(QFile::link(document, linkedFile));
    // An ordinary text file with an append record: without a proof, and with one whose tail
    // length and checksum are right for it.
    QByteArray text;
    while (text.size() < 589 * 1024) text += "a line of the user's text\n";
    const QString notes = dir.write("notes.txt", text);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(notes).constData(), &st), 0);
    const int fd = ::open(QFile::encodeName(notes).constData(), O_RDONLY | O_CLOEXEC);
    const QByteArray identity = QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino)) +
                                ' ' + QByteArray::number(fileBirthTime(fd));
    const QByteArray checksum = appendTailChecksum(fd, 10, text.size() - 10);
    ::close(fd);
    const QByteArray linkNow = text.left(4).toHex();

    QByteArray lines;
    for (const QString& path : {bashrc, report, document, linkInTemp + QStringLiteral("/.report.pdf.Ab12Cd"),
                                temp + QStringLiteral("/../doc.tif"), temp, userDataDir()})
        lines += "file " + pct(path) + '\n';
    lines += QFile::encodeName(bashrc) + '\n'; // a line of an older make
    lines += workLineFor(dir.path(), QStringLiteral(".bashrc.backup"));
    lines += workLineFor(dir.path(), QStringLiteral(".report.pdf.Ab12Cd"));
    lines += "work " + pct(dir.path()) + ' ' + pct(workName) + " 1 2 0\n"; // not its identity
    lines += workLineFor(linkedFolder, workName);
    lines += workLineFor(dir.path(), linkedFile.mid(dir.path().size() + 1));
    lines += "append 1 " + pct(notes) + ' ' + identity + " 10 0 " + linkNow + '\n';
    lines += "append 2 " + pct(notes) + ' ' + identity + " 10 0 " + linkNow + '\n';
    lines += "proof 2 tiff " + QByteArray::number(text.size() - 10) + ' ' + pct(checksum) + " 00000000\n";
    lines += "file " + pct(temp + QStringLiteral("/multipage-unfinished")); // the run died writing it
    plantJournal(lines);
    ASSERT_TRUE(QDir().mkpath(temp + QStringLiteral("/multipage-unfinished")));

    testing::internal::CaptureStderr();
    EXPECT_EQ(removeWorkFilesOfDeadRuns(), 0);
    const QString said = QString::fromStdString(testing::internal::GetCapturedStderr());
    EXPECT_EQ(readAll(bashrc), "settings");
    EXPECT_EQ(readAll(report), "%PDF-1.4 the user's");
    EXPECT_EQ(readAll(document), "the user's document");
    EXPECT_EQ(readAll(lookalike), "the user's too");
    EXPECT_EQ(readAll(notes), text);
    EXPECT_TRUE(QFileInfo(linkedFile).isSymLink());
    EXPECT_TRUE(QFileInfo(linkInTemp).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(temp) && QFileInfo::exists(userDataDir()));
    EXPECT_TRUE(QFileInfo::exists(temp + QStringLiteral("/multipage-unfinished")));
    // Each reason for leaving a line alone is said once, but for the unfinished line, which is not.
    EXPECT_EQ(said.count(QStringLiteral("left as it is")), 7) << qPrintable(said);
    EXPECT_TRUE(said.contains(QStringLiteral("(not in the program's temporary folder), and 6 more like it")))
        << qPrintable(said);
    EXPECT_TRUE(said.contains(QStringLiteral("(not the file the program made), and 1 more like it"))) << qPrintable(said);
    EXPECT_FALSE(said.contains(QStringLiteral("multipage-unfinished"))) << qPrintable(said);
    EXPECT_TRUE(said.contains(QStringLiteral("notes.txt (changed since"))) << qPrintable(said);
    EXPECT_TRUE(said.contains(QStringLiteral("nothing proves"))) << qPrintable(said);
    QFile::remove(linkInTemp);
    QDir(temp + QStringLiteral("/multipage-unfinished")).removeRecursively();
}

TEST(WorkFiles, AWorkFileIsMadeExclusivelyWithANameNoUserFileHas)
{
    TempFolder dir;
    QString a, b;
    const int fa = createWorkFile(dir.path(), QStringLiteral("tif"), 0600, &a);
    const int fb = createWorkFile(dir.path(), QString(), 0600, &b);
    ASSERT_GE(fa, 0);
    ASSERT_GE(fb, 0);
    ::close(fa);
    ::close(fb);
    EXPECT_NE(a, b);
    EXPECT_TRUE(isWorkFileName(QFileInfo(a).fileName()));
    EXPECT_TRUE(isWorkFileName(QFileInfo(b).fileName()));
    EXPECT_TRUE(a.endsWith(QStringLiteral(".tif")));
    for (const char* name : {".bashrc.backup", ".report.pdf.Ab12Cd", ".tf-page-0123abcd.tif", ".tavrel-folio-short",
                             ".tavrel-folio-abcdefghijklmnopqrstuvwxyz.toolong", "tavrel-folio-abcdefghijklmnopqrstuvwxyz"})
        EXPECT_FALSE(isWorkFileName(QString::fromLatin1(name))) << name;
    EXPECT_EQ(createWorkFile(dir.file("missing"), QString(), 0600, &a), -1);
}
