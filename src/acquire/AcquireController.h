#pragma once
// The window's capture and scanner commands: the two dialogs, and the pages they make joining the
// basket like any other page.
#include "acquire/CaptureController.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QWidget;

namespace tf {

class ImageList;
class ScreenGrabber;
namespace basket {
class BasketModel;
}

// Adds a captured or scanned picture, already written to `path`, as the basket's last page;
// `added` runs once it is there (not when there is no thumbnail, and so no page).
void addAcquiredPage(basket::BasketModel& basket, ImageList& images, const QString& path, const QImage& picture,
                     QObject* owner, std::function<void()> added = {});

class AcquireController : public QObject, public CaptureHost {
    Q_OBJECT
public:
    // shown: a captured or scanned page, once in the basket, becomes the one the window shows
    // (may be empty).
    AcquireController(QWidget* mainWindow, basket::BasketModel& basket, ImageList& images,
                      std::function<void(const QImage&, const QString&)> shown = {}, QObject* parent = nullptr);
    ~AcquireController() override;

    CaptureController& capture() { return *m_capture; }
    void cmdCapture_Click();
    void cmdTwainAcquire_Click();

private:
    void clearDesktop() override;
    void hideMain() override;
    void showMainMaximized() override;
    void pictureCaptured(const QImage& picture, const QString& path) override;
    void pageAcquired(const QImage& picture, const QString& path);

    QPointer<QWidget> m_main;
    basket::BasketModel& m_basket;
    ImageList& m_images;
    std::function<void(const QImage&, const QString&)> m_shown;
    std::unique_ptr<ScreenGrabber> m_grabber;
    std::unique_ptr<CaptureController> m_capture;
};

} // namespace tf
