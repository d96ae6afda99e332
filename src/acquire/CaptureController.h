#pragma once
// Screen capture: the three screens (Desktop, Foreground, Background), the delayed grab, the region
// picker, and the captured picture written into the capture folder and handed to the window as a
// new page. The window is reached through CaptureHost, the screen through a ScreenGrabber, so the
// flow runs in tests without a display.
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

class QWidget;

namespace tf {

class ScreenGrabber;
class WindowJob;
class WindowsAway;
class fCaptureRectangle;

// What capture needs of the main window.
class CaptureHost {
public:
    virtual ~CaptureHost() = default;
    // Desktop: our windows out of the way (see showDesktop).
    virtual void clearDesktop() = 0;
    // Background: the main window hidden and minimised.
    virtual void hideMain() = 0;
    // After a capture, taken or not: the main window maximised and laid out again.
    virtual void showMainMaximized() = 0;
    // The picture was written to `path`: it becomes the shown image and the image as loaded, and
    // the last page of the basket.
    virtual void pictureCaptured(const QImage& picture, const QString& path) = 0;
};

class CaptureController : public QObject {
    Q_OBJECT
public:
    enum Kind : int16_t { kindDesktop = 0, kindScreen = 1, kindPicked = 2 };
    static constexpr int kDelayMs = 500;

    CaptureController(CaptureHost& host, ScreenGrabber& grabber, QObject* parent = nullptr);
    ~CaptureController() override;

    // "Whole Screen" in a mode: 1 at once, 0 and 2 after the delay. Modes outside 0..2 count as 0.
    // `leaving` (the capture dialog) is hidden here, and the grab waits until it is off the screen.
    void subCapture(int16_t mode, QWidget* leaving = nullptr);
    // "Select Region" in a mode: the screen, grabbed as for subCapture, goes to the picker.
    void selectRegion(int16_t mode, QWidget* leaving = nullptr);
    // Takes a picture (kind 0 or 1 from the screen, 2 the picker's result) and adds it as a page.
    // A screen that cannot be grabbed adds nothing and says so.
    void capturePicture(int16_t kind, const QImage& picked = {});

    // The picker, made on first use.
    fCaptureRectangle* picker();
    bool waiting() const { return m_timer.isActive(); }

signals:
    // A capture ended: `path` is the file written, empty when nothing was added.
    void captureFinished(const QString& path);

private:
    void timerCapture_Timer();
    void start(int16_t mode, bool region, QWidget* leaving);
    void grabWhenAway();
    void showRegion(const QImage& screen);
    // The end of a capture: the window back, and the page added or why not.
    void finish(const QImage& picture, const QString& path, const QString& error);
    void tell(const QImage& picture, const QString& path, const QString& error);

    CaptureHost& m_host;
    ScreenGrabber& m_grabber;
    QTimer m_timer;
    bool m_regionPending = false;
    int16_t m_kind = kindDesktop;
    // Our windows taken off the screen for the grab under way.
    QPointer<WindowsAway> m_away;
    QPointer<fCaptureRectangle> m_picker;
    std::unique_ptr<WindowJob> m_job; // the picture being written
};

} // namespace tf
