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

TEST(SingleInstance, ALockLeftByACrashedCopyIsTakenOver)
{
    test::TempFolder folder;
    const QString path = folder.file("tavrel-folio.lock");
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray::number(endedProcessId()) + '\n' + QCoreApplication::applicationName().toUtf8() + '\n' +
                QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n' +
                QSysInfo::bootUniqueId() + '\n');
    stale.close();

    SingleInstanceLock lock(path);
    ScriptedMessageBoxes boxes;
    EXPECT_TRUE(fncCheckSingleInstance(lock));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(lock.isHeld());
}

TEST(SingleInstance, ALockThatCannotBeWrittenDoesNotKeepTheProgramFromStarting)
{
    test::TempFolder folder;
    SingleInstanceLock lock(folder.file("missing/folder/tavrel-folio.lock"));
    ScriptedMessageBoxes boxes;
    EXPECT_TRUE(fncCheckSingleInstance(lock));
    EXPECT_TRUE(boxes.shown().empty());
}

namespace {

// Sets an environment variable (or removes it, for a null value) for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
    {
        if (value.isNull()) qunsetenv(name);
        else qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had) qputenv(m_name, m_old);
        else qunsetenv(m_name);
    }

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

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

TEST(SingleInstance, TheLockLivesInTheRuntimeFolderWhereThereIsOne)
{
    test::TempFolder data, runtime;
    ScopedEnv dataHome("XDG_DATA_HOME", data.path().toUtf8());
    ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    ASSERT_EQ(QFileInfo(singleInstanceLockPath()).absolutePath(), runtime.path());

    // A lock in the data folder, where an older version or another machine put it, is not looked at.
    QDir().mkpath(data.file("tavrel-folio"));
    writeForeignLock(data.file("tavrel-folio/tavrel-folio.lock"));
    SingleInstanceLock first;
    ScriptedMessageBoxes boxes;
    ASSERT_TRUE(fncCheckSingleInstance(first));
    EXPECT_TRUE(QFileInfo::exists(singleInstanceLockPath()));

    SingleInstanceLock second;
    EXPECT_FALSE(fncCheckSingleInstance(second)) << "a second copy on this host is still refused";
    EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST(SingleInstance, WithoutARuntimeFolderTheLockIsKeptPerHostInTheDataFolder)
{
    test::TempFolder data, notAFolder;
    ScopedEnv dataHome("XDG_DATA_HOME", data.path().toUtf8());
    const QString dataDir = data.file("tavrel-folio");
    const struct {
        const char* what;
        QByteArray runtime;
    } cases[] = {
        {"unset", QByteArray()},
        {"relative", QByteArray("run/user")},
        {"not a folder", notAFolder.write("file", "x").toUtf8()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv runtimeDir("XDG_RUNTIME_DIR", c.runtime);
        const QString path = singleInstanceLockPath();
        EXPECT_EQ(QFileInfo(path).absolutePath(), dataDir);

        // The lock another machine left in a shared home folder keeps no copy here from starting.
        writeForeignLock(dataDir + "/tavrel-folio.lock");
        writeForeignLock(dataDir + "/tavrel-folio.another-host.example.lock");
        SingleInstanceLock first;
        ScriptedMessageBoxes boxes;
        ASSERT_TRUE(fncCheckSingleInstance(first));
        EXPECT_EQ(first.error(), QLockFile::NoError);
        SingleInstanceLock second;
        EXPECT_FALSE(fncCheckSingleInstance(second));
        EXPECT_EQ(boxes.shown().size(), 1u);
    }
}
