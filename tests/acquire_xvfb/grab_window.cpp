// Run under an X server: shows a window of a known colour at the screen's corner, grabs the screen
// through the program's grabber and exits 0 when the grab holds that window.
#include "acquire/ScreenGrabber.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QColor colour(212, 37, 91);
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, colour);
    window.setPalette(palette);
    window.setGeometry(0, 0, 200, 150);
    window.show();
    int result = 2;
    int tries = 0;
    // The server has the window's pixels once the window has painted after being mapped; each
    // try that does not find them yet asks for another paint and tries again after it.
    struct AfterPaint : QObject {
        std::function<void()> grab;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint) QTimer::singleShot(0, this, grab);
            return false;
        }
    } afterPaint;
    afterPaint.grab = [&] {
        tf::QtScreenGrabber grabber;
        const QImage shot = grabber.grabScreen();
        if (shot.isNull()) {
            std::printf("no grab on %s\n", qPrintable(QGuiApplication::platformName()));
            result = 3;
            app.quit();
            return;
        }
        if (shot.pixelColor(100, 75) == colour && shot.pixelColor(shot.width() - 1, shot.height() - 1) != colour) {
            std::printf("grabbed %dx%d\n", shot.width(), shot.height());
            result = 0;
            app.quit();
        } else if (++tries > 1000) {
            std::printf("window not in the grab\n");
            app.quit();
        } else {
            window.update();
        }
    };
    window.installEventFilter(&afterPaint);
    app.exec();
    return result;
}
