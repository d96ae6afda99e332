#include "app/frmMain.h"
#include "frame/globals.h"
#include "frame/modSingleInstance.h"
#include "platform/decode/decoder_client.h"
#include "version_info.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(tf::version::kProgramName));
    gstrCurrentOperation = QStringLiteral("Loading all controls and settings");
    tf::SingleInstanceLock instance;
    if (!fncCheckSingleInstance(instance)) return 1;
    // The decoders start while the window is built, so the first thumbnails find them running.
    tf::decode::DecoderPool::shared();

    frmMain window;
    window.show();
    return app.exec();
}
