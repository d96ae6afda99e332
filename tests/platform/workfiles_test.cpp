// The start-up clean-up against journals that name what the program never made.
#include "platform/sys/userdirs.h"
#include "platform/sys/workfiles.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace tf;
using namespace tf::test;

TEST(WorkFiles, WhateverAJournalSaysOnlyTheProgramsOwnFilesGo)
{
    TempFolder dir;
    const QString temp = userTempDir();
    const QString document = dir.write("doc.tif", "the user's document");
    const QString hidden = dir.write(".profile", "the user's settings");
    const QString split = dir.write(".doc", "what a name cut at its newline names");
    const QString copyOnDisk = dir.write(".doc.tif.Zz99Zz", "a copy named in an unfinished line");
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder/inner") && QDir(dir.path()).mkpath(".cache.abcdef"));
    const QString folder = dir.file("folder");
    const QString copyLink = dir.file(".doc.tif.Ab12Cd");
    ASSERT_TRUE(QFile::link(document, copyLink));
    const QString linkInTemp = temp + QStringLiteral("/out");
    ASSERT_TRUE(QFile::link(folder, linkInTemp));
    // What the program made: a work folder (holding a link out) and a copy beside a document.
    const QString work = temp + QStringLiteral("/multipage-Xy12Zw");
    ASSERT_TRUE(QDir().mkpath(work));
    ASSERT_TRUE(QFile::link(document, work + QStringLiteral("/linked.tif")));
    const QString copy = dir.write(QStringLiteral(".doc\n.tif.Q1w2E3"), "a hidden copy");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (const QString& path : {work, copy, document, hidden, copyLink, folder, dir.file(".cache.abcdef"), linkInTemp,
                                    linkInTemp + QStringLiteral("/inner"), temp, temp + QStringLiteral("/.."),
                                    userDataDir(), QStringLiteral("/")})
            recordWorkFile(path);
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    // A journal of an older make, and one whose last line the run died writing.
    QFile planted(userDataDir() + QStringLiteral("/WorkFiles/1-0000abcd.journal"));
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
    planted.write(QFile::encodeName(hidden) + '\n' + QFile::encodeName(copyOnDisk) + '\n' +
                  "append 1 " + QFile::encodeName(document).toPercentEncoding() + " 1 2 0 4 0 00000000\n" +
                  "file " + QFile::encodeName(copyOnDisk).toPercentEncoding());
    planted.close();

    EXPECT_EQ(removeWorkFilesOfDeadRuns(), 2);
    EXPECT_FALSE(QFileInfo::exists(work));
    EXPECT_FALSE(QFileInfo::exists(copy));
    for (const QString& kept : {document, hidden, split, copyOnDisk, folder + QStringLiteral("/inner"),
                                dir.file(".cache.abcdef"), temp, userDataDir()})
        EXPECT_TRUE(QFileInfo::exists(kept)) << qPrintable(kept);
    EXPECT_TRUE(QFileInfo(copyLink).isSymLink());
    EXPECT_TRUE(QFileInfo(linkInTemp).isSymLink());
    EXPECT_EQ(readAll(document), "the user's document");
    EXPECT_FALSE(planted.exists()) << "dealt with, a journal goes";
    QFile::remove(linkInTemp);
}
