#include "version_info.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(tf::version::kProgramName));
    QMainWindow window;
    window.setObjectName("frmMain");
    window.setWindowTitle(QString::fromUtf8(tf::version::kTitle));
    window.resize(800, 600);
    window.show();
    return app.exec();
}
