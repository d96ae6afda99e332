// The start-up clean-up stays inside what the program made, whatever its data folder holds, and
// work that cannot be written down is not made.
#include "platform/sys/safefile.h"
#include "platform/sys/userdirs.h"
#include "platform/sys/workfiles.h"
#include "support/fulldisk.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tf;
using namespace tf::test;

namespace {

const QByteArray kHeader = "tavrel-folio work journal 1\n";

QByteArray pct(const QByteArray& bytes) { return bytes.toPercentEncoding(); }
QByteArray pct(const QString& path) { return pct(QFile::encodeName(path)); }

QString journalsFolder() { return userSubDir(QStringLiteral("WorkFiles")); }

// What WorkFiles holds but for this test program's own journal, which is alive.
QStringList journalsLeft()
{
    QStringList left = entriesOf(journalsFolder());
    left.removeIf([](const QString& name) { return name.startsWith(QString::number(::getpid()) + QLatin1Char('-')); });
    return left;
}

void plant(const QString& path, const QByteArray& bytes)
{
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << path.toStdString();
    out.write(bytes);
}

// A dead run's journal as the program writes them.
void plantJournal(const QByteArray& lines, const QString& name = QStringLiteral("7-0000beef.journal"))
{
    plant(journalsFolder() + QLatin1Char('/') + name, kHeader + lines);
}

// The clean-up's run, and what it said on standard error.
QString cleanUp(int* dealt = nullptr)
{
    testing::internal::CaptureStderr();
    const int n = removeWorkFilesOfDeadRuns();
    if (dealt) *dealt = n;
    return QString::fromStdString(testing::internal::GetCapturedStderr());
}

// A folder of the user's with files whose bytes must survive every start.
struct UsersFiles {
    TempFolder home;
    QString documents = home.path() + QStringLiteral("/Documents");
    QString notes, letter, diary;
    UsersFiles()
    {
        QDir().mkpath(documents);
        notes = home.write(QStringLiteral("notes.txt"), "the user's notes");
        letter = home.write(QStringLiteral("Documents/letter.odt"), "the user's letter");
        diary = home.write(QStringLiteral("diary.journal"), "work a b 1 2 3\n");
    }
    void expectUntouched() const
    {
        EXPECT_EQ(readAll(notes), "the user's notes");
        EXPECT_EQ(readAll(letter), "the user's letter");
        EXPECT_EQ(readAll(diary), "work a b 1 2 3\n");
    }
};

// Puts a link in place of one of the program's own folders for the test's life.
struct LinkedOwnFolder {
    QString path;
    LinkedOwnFolder(const QString& name, const QString& target) : path(userDataDir() + QLatin1Char('/') + name)
    {
        QDir(path).removeRecursively();
        EXPECT_TRUE(QFile::link(target, path));
    }
    ~LinkedOwnFolder()
    {
        QFile::remove(path);
        QDir().mkpath(path);
    }
};

// A bind mount, where the tests run as the superuser.
struct BindMount {
    QString at;
    bool mounted = false;
    BindMount(const QString& from, const QString& to) : at(to)
    {
        if (::geteuid() != 0) return;
        int code = -1;
        runTool(QStringLiteral("mount"), {QStringLiteral("--bind"), from, to}, &code);
        mounted = code == 0;
    }
    ~BindMount()
    {
        if (mounted) runTool(QStringLiteral("umount"), {at});
    }
};

} // namespace

TEST(WorkFilesCleanUp, ATempThatIsALinkLeadsNowhere)
{
    UsersFiles user;
    // As planted: Temp leads to the home folder and a dead run's journal names the user's things
    // as Temp's, by name and by path, among them a folder named as the program's page folders are.
    QDir().mkpath(user.home.path() + QStringLiteral("/multipage-abcdef"));
    const QString inPage = user.home.write(QStringLiteral("multipage-abcdef/page.tif"), "the user's page");
    const QString tempPath = QFileInfo(userDataDir()).canonicalFilePath() + QStringLiteral("/Temp");
    const LinkedOwnFolder temp(QStringLiteral("Temp"), user.home.path());
    plantJournal("temp Documents\ntemp notes.txt\ntemp multipage-abcdef\n"
                 "file " + pct(tempPath + QStringLiteral("/Documents")) + "\nfile " + pct(user.notes) + "\n");
    int dealt = -1;
    const QString said = cleanUp(&dealt);
    EXPECT_EQ(dealt, 0);
    user.expectUntouched();
    EXPECT_EQ(readAll(inPage), "the user's page");
    EXPECT_EQ(said.count(QStringLiteral("Temp (a link")), 1) << qPrintable(said);
}

TEST(WorkFilesCleanUp, AWorkFilesFolderThatIsALinkIsNotRead)
{
    UsersFiles user;
    // The user's diary, and a file of theirs named and begun as a journal is.
    const QString named = user.home.write(QStringLiteral("1-0000abcd.journal"),
                                          kHeader + "temp multipage-abcdef\nwork " + pct(user.home.path()) +
                                              " notes.txt 1 2 3\n");
    const LinkedOwnFolder workFiles(QStringLiteral("WorkFiles"), user.home.path());
    const QString said = cleanUp();
    user.expectUntouched();
    EXPECT_TRUE(QFileInfo::exists(named));
    EXPECT_EQ(said.count(QStringLiteral("left as it is")), 1) << qPrintable(said);
    EXPECT_TRUE(said.contains(QStringLiteral("WorkFiles (a link"))) << qPrintable(said);
}

TEST(WorkFilesCleanUp, OnlyJournalsTheProgramWroteAreReadOrRemoved)
{
    UsersFiles user;
    const QString folder = journalsFolder();
    // The file once planted: a bare path with no first line of ours; a journal's name and first
    // line on a second name of the user's file; a pipe, which must not hold the start.
    const QByteArray victim = QFile::encodeName(user.notes) + '\n';
    plant(folder + QStringLiteral("/1-0000abcd.journal"), victim);
    const QString linked = user.home.write(QStringLiteral("kept.journal"), kHeader + "temp multipage-abcdef\n");
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(),
                     QFile::encodeName(folder + QStringLiteral("/2-0000abcd.journal")).constData()),
              0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/3-0000abcd.journal")).constData(), 0600), 0);
    // A run killed as it made its journal leaves it empty, under the name it has until locked.
    plant(folder + QStringLiteral("/5-0000abcd.journal.new"), "");
    // Names a run does not give its journal are not looked at.
    plant(folder + QStringLiteral("/notes.journal"), kHeader);
    plant(folder + QStringLiteral("/4-0000abcd.journal.set-aside"), kHeader);

    const QString said = cleanUp();
    user.expectUntouched();
    EXPECT_EQ(readAll(folder + QStringLiteral("/1-0000abcd.journal")), victim);
    EXPECT_EQ(readAll(linked), kHeader + "temp multipage-abcdef\n");
    EXPECT_EQ(journalsLeft(), QStringList({"1-0000abcd.journal", "2-0000abcd.journal", "3-0000abcd.journal",
                                              "4-0000abcd.journal.set-aside", "notes.journal"}));
    // Three left, said on one line.
    EXPECT_EQ(said.count('\n'), 1) << qPrintable(said);
    EXPECT_TRUE(said.contains(QStringLiteral("and 2 more like it"))) << qPrintable(said);
    for (const char* name : {"1-0000abcd.journal", "2-0000abcd.journal", "3-0000abcd.journal", "notes.journal",
                             "4-0000abcd.journal.set-aside"})
        QFile::remove(folder + QLatin1Char('/') + QLatin1String(name));
}

TEST(WorkFilesCleanUp, APageFolderGoesOnlyWhenItHoldsNothingButFiles)
{
    UsersFiles user;
    const QString temp = userTempDir();
    const auto pageFolder = [&](const char* name) {
        const QString path = temp + QLatin1Char('/') + QLatin1String(name);
        EXPECT_TRUE(QDir().mkpath(path));
        plant(path + QStringLiteral("/page.tif"), "page");
        return path;
    };
    const QString plain = pageFolder("multipage-plain1");
    const QString size = pageFolder("size-plain2");
    const QString withLink = pageFolder("multipage-link01");
    ASSERT_TRUE(QFile::link(user.documents, withLink + QStringLiteral("/linked")));
    const QString withFolder = pageFolder("multipage-fold01");
    ASSERT_TRUE(QDir().mkpath(withFolder + QStringLiteral("/inner")));
    const QString linkToFolder = temp + QStringLiteral("/multipage-tohome");
    ASSERT_TRUE(QFile::link(user.home.path(), linkToFolder));
    // Names that are no page folder's, or not a name in Temp at all.
    const QString other = user.home.write(QStringLiteral("Temp-sibling"), "kept");
    plantJournal("temp multipage-plain1\ntemp size-plain2\ntemp multipage-link01\ntemp multipage-fold01\n"
                 "temp multipage-tohome\ntemp ..\ntemp multipage-ab%2F..%2F..\ntemp " +
                 pct(QByteArray("../../") + QFile::encodeName(user.notes)) +
                 "\ntemp multipage-never1\n"
                 "temp %00\n");
    int dealt = -1;
    const QString said = cleanUp(&dealt);
    EXPECT_EQ(dealt, 2);
    EXPECT_FALSE(QFileInfo::exists(plain));
    EXPECT_FALSE(QFileInfo::exists(size));
    EXPECT_EQ(entriesOf(withLink), QStringList({"linked", "page.tif"}));
    EXPECT_EQ(entriesOf(withFolder), QStringList({"inner", "page.tif"}));
    EXPECT_TRUE(QFileInfo(linkToFolder).isSymLink());
    user.expectUntouched();
    EXPECT_EQ(readAll(other), "kept");
    EXPECT_EQ(journalsLeft(), QStringList()) << "a journal dealt with goes";
    // One line per reason (no page folder's name, not a real folder, holding more), however many
    // records gave it.
    EXPECT_EQ(said.count('\n'), 3) << qPrintable(said);
    QFile::remove(linkToFolder);
    QDir(withLink).removeRecursively();
    QDir(withFolder).removeRecursively();
}

TEST(WorkFilesCleanUp, AMountInsideTempIsNeverEntered)
{
    if (::geteuid() != 0) GTEST_SKIP() << "bind mounts need the superuser";
    UsersFiles user;
    const QString temp = userTempDir();
    // A folder of the user's mounted as a page folder, and one of their files mounted over a page.
    const QString bound = temp + QStringLiteral("/multipage-bound1");
    const QString pages = temp + QStringLiteral("/multipage-bound2");
    QDir().mkpath(bound);
    QDir().mkpath(pages);
    plant(pages + QStringLiteral("/page.tif"), "page");
    {
        const BindMount folder(user.documents, bound);
        if (!folder.mounted) GTEST_SKIP() << "mount --bind failed here";
        const BindMount file(user.notes, pages + QStringLiteral("/page.tif"));
        ASSERT_TRUE(file.mounted);
        plantJournal("temp multipage-bound1\ntemp multipage-bound2\n");
        const QString said = cleanUp();
        user.expectUntouched();
        EXPECT_EQ(readAll(pages + QStringLiteral("/page.tif")), "the user's notes");
        EXPECT_TRUE(said.contains(QStringLiteral("multipage-bound1 (not a folder the program made, or another mount")))
            << qPrintable(said);
        EXPECT_TRUE(said.contains(QStringLiteral("multipage-bound2 (holds what"))) << qPrintable(said);
    }
    QDir(bound).removeRecursively();
    QDir(pages).removeRecursively();
}

TEST(WorkFilesCleanUp, AJournalLargerThanAnyRunWritesIsSetAsideUnread)
{
    UsersFiles user;
    const QString page = userTempDir() + QStringLiteral("/multipage-large1");
    QDir().mkpath(page);
    const QString journal = journalsFolder() + QStringLiteral("/8-0000beef.journal");
    plant(journal, kHeader + "temp multipage-large1\n");
    // Sparse: its size is what counts.
    ASSERT_TRUE(QFile::resize(journal, 100LL << 20));
    const QString said = cleanUp();
    EXPECT_TRUE(QFileInfo::exists(page));
    EXPECT_EQ(journalsLeft(), QStringList({"8-0000beef.journal.set-aside"}));
    EXPECT_TRUE(said.contains(QStringLiteral("set aside"))) << qPrintable(said);
    EXPECT_EQ(cleanUp(), QString()) << "said once: the next start does not read it";
    QFile::remove(journal + QStringLiteral(".set-aside"));
    QDir(page).removeRecursively();
}

TEST(WorkFilesCleanUp, ManyRecordsLeftAloneAreSummedUpAndOverlongOnesSkipped)
{
    UsersFiles user;
    QByteArray lines;
    for (int i = 0; i < 5000; ++i)
        lines += "work " + pct(user.home.path()) + " .tavrel-folio-" + QByteArray::number(i).rightJustified(26, 'a') +
                 " 1 2 3\nfile " + pct(user.notes) + "\n";
    lines += "temp " + QByteArray(200000, 'a') + "\ntemp multipage-after1\n";
    QDir().mkpath(userTempDir() + QStringLiteral("/multipage-after1"));
    plantJournal(lines);
    int dealt = -1;
    const QString said = cleanUp(&dealt);
    EXPECT_EQ(dealt, 1) << "the record after the overlong one is still read";
    user.expectUntouched();
    EXPECT_LE(said.count('\n'), 2) << qPrintable(said.left(2000));
    EXPECT_TRUE(said.contains(QStringLiteral("notes.txt (not in the program's temporary folder), and 4999 more")))
        << qPrintable(said.left(2000));
}

TEST(WorkFilesCleanUp, AWorkFileIsWrittenDownBeforeItHasItsNameWithOrWithoutUnnamedFiles)
{
    TempFolder dir;
    for (const bool unnamed : {true, false}) {
        setUnnamedWorkFilesForTests(unnamed);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            QString made;
            const int fd = createWorkFile(dir.path(), QStringLiteral("pdf"), 0644, &made);
            ::_exit(fd >= 0 && ::write(fd, "page", 4) == 4 ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(entriesOf(dir.path()).size(), 1) << unnamed;
        int dealt = -1;
        EXPECT_EQ(cleanUp(&dealt), QString());
        EXPECT_EQ(dealt, 1);
        EXPECT_EQ(entriesOf(dir.path()), QStringList()) << unnamed;
    }
    setUnnamedWorkFilesForTests(true);

    // Killed between naming a file and writing down what it made: the empty file goes; one with
    // bytes is not the run's.
    const QString journal = journalsFolder() + QStringLiteral("/9-0000beef.journal");
    QByteArray lines;
    for (const char* name : {".tavrel-folio-emptyaaaaaaaaaaaaaaaaaaaaa.tif", ".tavrel-folio-fullaaaaaaaaaaaaaaaaaaaaaa.tif"})
        lines += "new " + pct(dir.path()) + ' ' + name + '\n';
    plant(journal, kHeader + lines);
    const QString empty = dir.write(QStringLiteral(".tavrel-folio-emptyaaaaaaaaaaaaaaaaaaaaa.tif"), "");
    const QString full = dir.write(QStringLiteral(".tavrel-folio-fullaaaaaaaaaaaaaaaaaaaaaa.tif"), "the user's");
    int dealt = -1;
    const QString said = cleanUp(&dealt);
    EXPECT_EQ(dealt, 1);
    EXPECT_FALSE(QFileInfo::exists(empty));
    EXPECT_EQ(readAll(full), "the user's");
    EXPECT_TRUE(said.contains(QStringLiteral("fullaaaaaaaaaaaaaaaaaaaaaa.tif (not the file the program made)")))
        << qPrintable(said);
}

TEST(WorkFilesCleanUp, AFullDataFolderRefusesWorkItCannotWriteDown)
{
    if (::geteuid() != 0) GTEST_SKIP() << "a small tmpfs needs the superuser";
    TempFolder dir;
    const QString document = dir.write(QStringLiteral("doc.tif"), "the user's document");
    const QString report = dir.file(QStringLiteral("said.txt"));
    SmallDisk disk(userDataDir(), "256k");
    if (!disk.mounted()) GTEST_SKIP() << "mount -t tmpfs failed here";
    userTempDir();
    journalsFolder();
    ASSERT_TRUE(disk.leaveFree(0));
    // A new run (its journal is made at its first record) on the full data folder, killed after
    // each kind of write tried.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        QByteArray said;
        for (const bool unnamed : {true, false}) {
            setUnnamedWorkFilesForTests(unnamed);
            QString made, why;
            const int fd = createWorkFile(dir.path(), QStringLiteral("tif"), 0644, &made, &why);
            said += (fd < 0 ? "refused: " : "made: ") + why.toUtf8() + '\n';
        }
        for (const QString& target : {document, dir.file(QStringLiteral("new.pdf"))}) {
            QString why;
            SafeFile out(target);
            const bool opened = out.open(&why);
            said += (opened ? "opened: " : "refused: ") + why.toUtf8() + '\n';
        }
        const WorkFolder spool(QStringLiteral("multipage"));
        said += (spool.isValid() ? "made: " : "refused: ") + spool.errorString().toUtf8() + '\n';
        QFile out(report);
        if (out.open(QIODevice::WriteOnly)) out.write(said);
        out.close();
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const QString said = QString::fromUtf8(readAll(report));
    const QString cause = QStringLiteral("Cannot write in the program's data folder ") + journalsFolder() +
                          QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(ENOSPC)) + QLatin1Char(')');
    EXPECT_EQ(said.count(QStringLiteral("refused: ") + cause), 5) << qPrintable(said);
    EXPECT_EQ(writeFailureCause(cause), QStringLiteral("The disk is full."));
    EXPECT_EQ(readAll(document), "the user's document");
    EXPECT_EQ(entriesOf(dir.path()), QStringList({"doc.tif", "said.txt"}));
    disk.empty();
    EXPECT_EQ(cleanUp(), QString());
    EXPECT_EQ(entriesOf(userTempDir()), QStringList());
    EXPECT_EQ(journalsLeft(), QStringList());
}
