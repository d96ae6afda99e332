// The one main() of every test program: a QApplication on the offscreen platform, and a private
// data folder so that no test touches a real user's settings or temp files.
#include "platform/decode/decoder_client.h"
#include "support/testenv.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    return RUN_ALL_TESTS();
}
