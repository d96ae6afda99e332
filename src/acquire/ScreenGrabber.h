#pragma once
// Copies of the screen. The capture flow asks an interface, so that tests hand it a picture of
// their own; the program's grabber reads the screen through Qt, which can do so under X11 only.
#include <QImage>
#include <QString>

class QWidget;

namespace tf {

class ScreenGrabber {
public:
    virtual ~ScreenGrabber() = default;
    // The whole screen in device pixels; a null image when the display cannot be read.
    virtual QImage grabScreen() = 0;
};

class QtScreenGrabber final : public ScreenGrabber {
public:
    QImage grabScreen() override;
};

// Why a capture added nothing.
QString screenCaptureUnavailableText();

// Gets our windows out of the way of a desktop capture: the window manager is asked to show the
// desktop where it offers that, and our own top-level windows are minimised in any case. No key
// is sent to the desktop.
void showDesktop(QWidget* mainWindow);

} // namespace tf
