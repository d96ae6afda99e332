#include "acquire/ScreenGrabber.h"

#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace tf {
namespace {

TEST(ScreenGrab, NoPictureWhereTheDisplayCannotBeRead)
{
    // These tests run on the offscreen platform, which has no screen of its own to read.
    EXPECT_TRUE(QtScreenGrabber().grabScreen().isNull());
}

TEST(ScreenGrab, AWindowOfKnownColourUnderAnXServer)
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "no Xvfb here";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(xvfbRun, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 640x480x24"),
                          QStringLiteral(TF_GRAB_WINDOW_PROGRAM)});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
}

} // namespace
} // namespace tf
