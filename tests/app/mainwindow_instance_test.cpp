// One copy per user and host: a second start is refused while the first holds the lock; a lock left by a
// crashed copy is taken over.
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSingleInstance.h"
#include "platform/ui/msgbox.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSysInfo>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tf;

namespace {

const QString kRefusal =
    QStringLiteral("There is already an instance of Tavrel Folio running!\nMultiple instance is unsupported.");

// The id of a process that has just ended, so that no process owns it.
qint64 endedProcessId()
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

} // namespace

TEST(SingleInstance, ASecondCopyIsRefusedWithTheMessageWhileTheFirstRuns)
{
    test::TempFolder folder;
    const QString path = folder.file("tavrel-folio.lock");
    SingleInstanceLock first(path);
    {
        ScriptedMessageBoxes boxes;
        ASSERT_TRUE(fncCheckSingleInstance(first));
        EXPECT_TRUE(boxes.shown().empty());
    }
    EXPECT_TRUE(first.isHeld());

    gstrApplicationName.clear(); // the title is made by the check itself, before the message
    SingleInstanceLock second(path);
    ScriptedMessageBoxes boxes;
    EXPECT_FALSE(fncCheckSingleInstance(second));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].prompt, kRefusal);
    EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);
    EXPECT_EQ(boxes.shown()[0].buttons(), vbOKOnly);
    EXPECT_FALSE(boxes.shown()[0].title.isEmpty());
    EXPECT_EQ(boxes.shown()[0].title, gstrApplicationName);
    EXPECT_FALSE(second.isHeld());
    EXPECT_TRUE(first.isHeld()) << "the first copy keeps running undisturbed";

    first.release();
    boxes.clear();
    EXPECT_TRUE(fncCheckSingleInstance(second)) << "once the first copy has ended, a new one may start";
    EXPECT_TRUE(boxes.shown().empty());
}

TEST(SingleInstance, ALockLeftByACrashedCopyOrOneThatCannotBeWrittenKeepsNoCopyFromStarting)
{
    test::TempFolder folder;
    const QString stale = folder.write("tavrel-folio.lock",
        QByteArray::number(endedProcessId()) + '\n' + QCoreApplication::applicationName().toUtf8() + '\n' +
        QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n');
    for (const QString& path : {stale, folder.file("missing/folder/tavrel-folio.lock")}) {
        SCOPED_TRACE(path.toStdString());
        SingleInstanceLock lock(path);
        ScriptedMessageBoxes boxes;
        EXPECT_TRUE(fncCheckSingleInstance(lock));
        EXPECT_TRUE(boxes.shown().empty());
        EXPECT_EQ(lock.isHeld(), path == stale);
    }
}

namespace {

// Sets an environment variable (or removes it, for a null value) until the returned guard goes.
auto scopedEnv(const char* name, const QByteArray& value)
{
    const bool had = qEnvironmentVariableIsSet(name);
    const QByteArray old = qgetenv(name);
    if (value.isNull()) qunsetenv(name);
    else qputenv(name, value);
    return qScopeGuard([=] { had ? qputenv(name, old) : qunsetenv(name); });
}

// A lock file as a copy of the program on another machine leaves it: a process id that may well
// be running here, under another host's name.
void writeForeignLock(const QString& path)
{
    QFile lock(path);
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(qint64(getpid())) + '\n' + QCoreApplication::applicationName().toUtf8() +
               "\nanother-host.example\n");
}

} // namespace

// With a usable runtime folder the lock lives there, and a lock in the data folder, where an
// older version or another machine put it, is not looked at; without one, the lock is kept per
// host in the data folder.
TEST(SingleInstance, TheLockLivesInTheRuntimeFolderOrPerHostInTheDataFolder)
{
    test::TempFolder data, runtime, notAFolder;
    const auto dataHome = scopedEnv("XDG_DATA_HOME", data.path().toUtf8());
    const QString dataDir = data.file("tavrel-folio");
    QDir().mkpath(dataDir);
    const struct {
        const char* what;
        QByteArray runtime;
        QString lockFolder;
    } cases[] = {
        {"a runtime folder", runtime.path().toUtf8(), runtime.path()},
        {"unset", QByteArray(), dataDir},
        {"relative", QByteArray("run/user"), dataDir},
        {"not a folder", notAFolder.write("file", "x").toUtf8(), dataDir},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto runtimeDir = scopedEnv("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(QFileInfo(singleInstanceLockPath()).absolutePath(), c.lockFolder);
        writeForeignLock(dataDir + "/tavrel-folio.lock");
        writeForeignLock(dataDir + "/tavrel-folio.another-host.example.lock");
        SingleInstanceLock first;
        ScriptedMessageBoxes boxes;
        ASSERT_TRUE(fncCheckSingleInstance(first));
        EXPECT_EQ(first.error(), QLockFile::NoError);
        SingleInstanceLock second;
        EXPECT_FALSE(fncCheckSingleInstance(second)) << "a second copy on this host is still refused";
        EXPECT_EQ(boxes.shown().size(), 1u);
    }
}
