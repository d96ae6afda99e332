// One copy per user: a second start is refused while the first holds the lock; a lock left by a
// crashed copy is taken over.
#include "frame/modGlobalErrorHandling.h"
#include "frame/modSingleInstance.h"
#include "platform/ui/msgbox.h"
#include "support/testenv.h"

#include <QCoreApplication>
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
