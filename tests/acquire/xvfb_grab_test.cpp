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
    ASSERT_TRUE(child.waitForFinished(300000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
}

#ifdef TF_CAPTURE_SCENE_PROGRAM
// The capture scene in an X server of its own, started on a display number it picks itself (so
// that runs side by side never share one), bare or under openbox.
class CaptureScene : public ::testing::TestWithParam<std::tuple<bool, const char*>> {};

TEST_P(CaptureScene, HoldsNoWindowOfOursAndThePickerCannotTrap)
{
    const auto [windowManager, mode] = GetParam();
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) GTEST_SKIP() << "no Xvfb here";
    if (windowManager && QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty())
        GTEST_SKIP() << "no openbox here";
    QProcess server;
    server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                          QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                          QStringLiteral("tcp")});
    // The server writes its display number once it takes connections.
    QByteArray number;
    while (!number.endsWith('\n') && server.waitForReadyRead(60000)) number += server.readAllStandardOutput();
    ASSERT_TRUE(number.endsWith('\n')) << "Xvfb did not start";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(number.trimmed()));
    env.remove(QStringLiteral("XAUTHORITY"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args;
    if (windowManager) args << QStringLiteral("--wm");
    args << QString::fromLatin1(mode);
    child.start(QStringLiteral(TF_CAPTURE_SCENE_PROGRAM), args);
    const bool ended = child.waitForFinished(300000);
    const QByteArray said = child.readAll();
    server.terminate();
    server.waitForFinished(30000);
    ASSERT_TRUE(ended) << said.toStdString();
    if (windowManager && child.exitCode() == 5) GTEST_SKIP() << "openbox did not start: " << said.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << said.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modes, CaptureScene,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values("foreground", "desktop", "background", "region")),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Openbox_" : "Bare_") +
                                    std::get<1>(info.param);
                         });
#endif

} // namespace
} // namespace tf
