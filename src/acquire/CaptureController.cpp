#include "acquire/CaptureController.h"

#include "acquire/AcquiredPages.h"

#include "acquire/ScreenGrabber.h"
#include "acquire/WindowsAway.h"
#include "acquire/fCaptureRectangle.h"
#include "frame/modGlobalErrorHandling.h"
#include "frame/globals.h"
#include "frame/modSettings.h"
#include "pages/WindowJob.h"
#include "platform/imagebox/imagebox_error.h"
#include "platform/ui/msgbox.h"

#include <memory>

namespace tf {

CaptureController::CaptureController(CaptureHost& host, ScreenGrabber& grabber, QObject* parent)
    : QObject(parent), m_host(host), m_grabber(grabber)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CaptureController::timerCapture_Timer);
}

CaptureController::~CaptureController()
{
    m_job.reset();
    delete m_picker;
}

fCaptureRectangle* CaptureController::picker()
{
    if (!m_picker) {
        m_picker = new fCaptureRectangle();
        connect(m_picker, &fCaptureRectangle::accepted, this, [this](const QImage& part) {
            capturePicture(kindPicked, part);
        });
        connect(m_picker, &fCaptureRectangle::cancelled, this, [this] { m_host.showMainMaximized(); });
    }
    return m_picker;
}

void CaptureController::start(int16_t mode, bool region, QWidget* leaving)
{
    delete m_away;
    // Noted while still shown: which of them the mode takes away is seen once it has. Those hidden
    // already count too (a picker left a moment ago may still be on the screen).
    m_away = new WindowsAway(WindowsAway::ourWindows(), this);
    if (leaving) leaving->hide();
    if (mode == 0) m_host.clearDesktop();
    if (mode == 2) m_host.hideMain();
    m_regionPending = region;
    m_kind = mode == 1 ? kindScreen : kindDesktop;
    if (mode == 1)
        grabWhenAway();
    else
        m_timer.start(kDelayMs);
}

void CaptureController::subCapture(int16_t mode, QWidget* leaving)
{
    start(mode == 1 || mode == 2 ? mode : 0, false, leaving);
}

void CaptureController::selectRegion(int16_t mode, QWidget* leaving)
{
    start(mode == 1 || mode == 2 ? mode : 0, true, leaving);
}

void CaptureController::timerCapture_Timer() { grabWhenAway(); }

void CaptureController::grabWhenAway()
{
    WindowsAway* away = m_away;
    m_away = nullptr;
    if (!away) away = new WindowsAway({}, this);
    // Hiding only asks for a window to go; the screen is read once the display says it has gone.
    away->whenAway([this, region = m_regionPending, kind = m_kind] {
        if (region)
            showRegion(m_grabber.grabScreen());
        else
            capturePicture(kind);
    });
}

void CaptureController::showRegion(const QImage& screen)
{
    if (screen.isNull()) {
        finish({}, {}, {});
        return;
    }
    picker()->ShowPicture(screen);
}

void CaptureController::capturePicture(int16_t kind, const QImage& picked)
{
    QImage picture;
    if (kind == kindDesktop || kind == kindScreen) picture = m_grabber.grabScreen();
    if (kind == kindPicked) picture = picked;
    // A failed grab is no capture: nothing is written, and the previous picture stays where it is.
    if (picture.isNull()) {
        finish({}, {}, {});
        return;
    }
    const QString folder = gudtSettings.Capture.Folder;
    const QString name = gudtSettings.Capture.GenericName;
    // The grab is a one-page source, written off the window's thread; the page joins the basket
    // once it is there.
    auto path = std::make_shared<QString>();
    AcquiredPageSink::Hooks hooks;
    hooks.written = [path](int, const QImage&, const QString& written) { *path = written; };
    auto sink = std::make_unique<FreshFileSink>(folder, [name](int) { return name; }, std::move(hooks));
    auto job = std::make_unique<WindowJob>(gstrCurrentOperation);
    if (!*job) {
        // Another long command runs (it was told with a beep): nothing is written.
        m_host.showMainMaximized();
        emit captureFinished({});
        return;
    }
    m_job = std::move(job);
    m_job->start(std::make_unique<PicturePageSource>(picture, name), std::move(sink), {},
                 [this, picture, path](const PipelineResult& result) {
                     const QString written = result.failure.isEmpty() ? *path : QString();
                     tell(picture, written, result.failure);
                     m_job.reset();
                     emit captureFinished(written);
                 });
}

void CaptureController::finish(const QImage& picture, const QString& path, const QString& error)
{
    tell(picture, path, error);
    emit captureFinished(path);
}

void CaptureController::tell(const QImage& picture, const QString& path, const QString& error)
{
    m_host.showMainMaximized();
    if (picture.isNull()) {
        MsgBox(screenCaptureUnavailableText(), vbInformation);
    } else if (!error.isEmpty()) {
        subGlobalErrorHandler(error, imagebox_error::kFileAccess, 0, QStringLiteral("FrmMain.subAddItem"));
    } else {
        m_host.pictureCaptured(picture, path);
    }
}

} // namespace tf
