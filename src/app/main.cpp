#include "app/frmMain.h"
#include "frame/globals.h"
#include "frame/modSingleInstance.h"
#include "version_info.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(tf::version::kProgramName));
    gstrCurrentOperation = QStringLiteral("Loading all controls and settings");
    tf::SingleInstanceLock instance;
    if (!fncCheckSingleInstance(instance)) return 1;

    frmMain window;
    window.show();
    return app.exec();
}
