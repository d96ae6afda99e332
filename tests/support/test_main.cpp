// The one main() of every test program: a QApplication on the offscreen platform, a private data
// folder so that no test touches a real user's settings or temp files, and the program-wide
// globals reset before every test.
#include "platform/decode/decoder_client.h"
#include "platform/sys/blockingcalls.h"
#include "support/programstate.h"
#include "support/testenv.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Before the test's own SetUp, which may then set what it needs.
class ProgramStateReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { tf::test::resetProgramState(); }
};

// A decode, a metadata read or another wait on the main thread, which is the window's, fails the
// test that made it (a test that does so on purpose holds a tf::BlockingCallsAllowed).
void failBlockingCall(const char* what)
{
    ADD_FAILURE() << what << " ran on the application's thread";
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    QTemporaryDir runtimeDir; // created 0700, as Qt expects of a runtime folder
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toUtf8());
    QApplication app(argc, argv);
    tf::decode::setDecoderProgram(QStringLiteral(TF_DECODER_PROGRAM));
    ::testing::InitGoogleTest(&argc, argv);
    tf::test::installUnexpectedModalGuards();
    tf::setBlockingCallsChecked(true);
    tf::setBlockingCallHandler(failBlockingCall);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ProgramStateReset);
    return RUN_ALL_TESTS();
}
