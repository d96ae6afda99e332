#include "acquire/AcquireController.h"

#include "acquire/ScreenGrabber.h"
#include "acquire/frmCapture.h"
#include "acquire/frmTwain.h"
#include "basket/basketAdding.h"
#include "basket/modBasket.h"
#include "services/clsFileInfo.h"
#include "services/modFileSystem.h"

#include <QWidget>

namespace tf {

void addAcquiredPage(basket::BasketModel& basket, ImageList& images, const QString& path, const QImage& picture,
                     QObject* owner, std::function<void()> added)
{
    const QImage thumbnail = basket::fncBasketThumbnail(picture);
    // No thumbnail, no page: the file stays where it was written.
    if (thumbnail.isNull()) return;
    basket::AddSource source;
    source.path = path;
    source.failName = source.displayName = fncGetFileName(path);
    clsFileInfo info;
    info.FilePath(path);
    source.page.text = fncRemoveExtension(fncGetFileName(path));
    source.page.tag = source.page.source = path;
    source.page.resolution = basket::fncResolutionText(picture.width(), picture.height());
    source.page.sizeText = info.fSizeFormated();
    source.page.typeText = info.fType();
    source.thumbnail = thumbnail;
    auto* adding = new basket::BasketAdding(basket, images, owner);
    QObject::connect(adding, &basket::BasketAdding::finished, adding, &QObject::deleteLater);
    if (added)
        QObject::connect(adding, &basket::BasketAdding::sourceDone, adding, [added = std::move(added)](int, int row) {
            if (row >= 0) added();
        });
    adding->start({source});
}

AcquireController::AcquireController(QWidget* mainWindow, basket::BasketModel& basket, ImageList& images,
                                     std::function<void(const QImage&, const QString&)> shown, QObject* parent)
    : QObject(parent), m_main(mainWindow), m_basket(basket), m_images(images), m_shown(std::move(shown)),
      m_grabber(std::make_unique<QtScreenGrabber>()),
      m_capture(std::make_unique<CaptureController>(*this, *m_grabber))
{
}

AcquireController::~AcquireController() = default;

void AcquireController::cmdCapture_Click()
{
    auto* dialog = new frmCapture(*m_capture, m_main);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void AcquireController::cmdTwainAcquire_Click()
{
    auto* dialog = new frmTwain(m_main);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &frmTwain::pageForBasket, this,
            [this](const QString& path, const QImage& image) { pageAcquired(image, path); });
    dialog->open();
}

void AcquireController::clearDesktop() { showDesktop(m_main); }

void AcquireController::hideMain()
{
    // Hidden, not minimised: without a window manager a minimised window stays on the screen.
    if (m_main) m_main->hide();
}

void AcquireController::showMainMaximized()
{
    if (m_main) m_main->showMaximized();
}

void AcquireController::pictureCaptured(const QImage& picture, const QString& path) { pageAcquired(picture, path); }

void AcquireController::pageAcquired(const QImage& picture, const QString& path)
{
    addAcquiredPage(m_basket, m_images, path, picture, this, [this, picture, path] {
        if (m_shown) m_shown(picture, path);
    });
}

} // namespace tf
