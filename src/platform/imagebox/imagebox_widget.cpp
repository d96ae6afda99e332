#include "platform/imagebox/imagebox.h"
#include "platform/imagebox/imagebox_geometry.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

namespace {

int16_t vbButtons(Qt::MouseButtons buttons)
{
    return static_cast<int16_t>(((buttons & Qt::LeftButton) ? 1 : 0) | ((buttons & Qt::RightButton) ? 2 : 0) |
                                ((buttons & Qt::MiddleButton) ? 4 : 0));
}

int16_t vbShift(Qt::KeyboardModifiers modifiers)
{
    return static_cast<int16_t>(((modifiers & Qt::ShiftModifier) ? 1 : 0) | ((modifiers & Qt::ControlModifier) ? 2 : 0) |
                                ((modifiers & Qt::AltModifier) ? 4 : 0));
}

// Scaled copies beyond this many pixels are not cached; such zooms draw straight from the image.
constexpr qint64 kMaxCachedPixels = qint64(16) << 20;

} // namespace

ImageBox::ImageBox(QWidget* parent) : ImageBox(nullptr, parent) {}

ImageBox::ImageBox(std::shared_ptr<tf::ImageDocument> document, QWidget* parent) : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    viewport()->setMouseTracking(true);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
    setDocument(std::move(document));
}

ImageBox::~ImageBox() { disconnect(m_documentConnection); }

void ImageBox::setDocument(std::shared_ptr<tf::ImageDocument> document)
{
    disconnect(m_documentConnection);
    m_document = document ? std::move(document) : std::make_shared<tf::ImageDocument>();
    m_documentConnection =
        connect(m_document.get(), &tf::ImageDocument::imageChanged, this, &ImageBox::imageReplaced);
    imageReplaced();
}

void ImageBox::imageReplaced()
{
    // The outlines were drawn over the old picture; like the marks on a repainted window they go.
    m_overlays.clear();
    displayChanged();
}

void ImageBox::displayChanged()
{
    m_scaled = QImage();
    updateScrollBars();
    viewport()->update();
}

QSize ImageBox::boxSize() const { return maximumViewportSize(); }

QPoint ImageBox::imageOrigin() const
{
    return tf::displayOrigin(displaySize(), viewport()->size(),
                             QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()));
}

QPoint ImageBox::displayPointAt(QPointF viewportPosition) const
{
    const QPoint origin = imageOrigin();
    return QPoint(static_cast<int>(std::floor(viewportPosition.x())) - origin.x(),
                  static_cast<int>(std::floor(viewportPosition.y())) - origin.y());
}

void ImageBox::updateScrollBars()
{
    const QSize display = displaySize();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, display.width() - view.width()));
    horizontalScrollBar()->setPageStep(std::max(1, view.width()));
    verticalScrollBar()->setRange(0, std::max(0, display.height() - view.height()));
    verticalScrollBar()->setPageStep(std::max(1, view.height()));
}

void ImageBox::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    // Fitting uses the whole control: a fitted image never needs the scroll bars.
    displayChanged();
}

void ImageBox::scrollContentsBy(int, int) { viewport()->update(); }

const QImage& ImageBox::shownImage(QSize display)
{
    if (display == image().size()) return image();
    if (qint64(display.width()) * display.height() > kMaxCachedPixels) return image();
    if (m_scaled.size() != display || m_scaledKey != image().cacheKey()) {
        m_scaled = image().scaled(display, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_scaledKey = image().cacheKey();
    }
    return m_scaled;
}

void ImageBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().color(backgroundRole()));
    if (!HasImage()) return;

    const QSize display = displaySize();
    const QPoint origin = imageOrigin();
    const QImage& shown = shownImage(display);
    if (shown.size() == display) {
        painter.drawImage(origin, shown);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, display.width() < image().width());
        painter.drawImage(QRect(origin, display), shown);
    }

    // Outlines invert what is under them, so they show on any picture. Each pixel of an outline
    // is covered once; a second pass over a corner would turn it back.
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    for (const tf::OverlayRectangle& overlay : overlayRectangles()) {
        const QRect r = overlay.normalized().translated(origin);
        painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), Qt::black);
        if (r.height() > 1) painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), Qt::black);
        if (r.height() > 2) {
            painter.fillRect(QRect(r.left(), r.top() + 1, 1, r.height() - 2), Qt::black);
            if (r.width() > 1) painter.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 2), Qt::black);
        }
    }
}

void ImageBox::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = displayPointAt(event->position());
    emit MouseDown(vbButtons(event->button()), vbShift(event->modifiers()), p.x(), p.y());
}

void ImageBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = displayPointAt(event->position());
    emit MouseMove(vbButtons(event->buttons()), vbShift(event->modifiers()), p.x(), p.y());
}

void ImageBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = displayPointAt(event->position());
    emit MouseUp(vbButtons(event->button()), vbShift(event->modifiers()), p.x(), p.y());
}

void ImageBox::mouseDoubleClickEvent(QMouseEvent*) { emit DblClick(); }
