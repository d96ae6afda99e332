#include "acquire/fCaptureRectangle.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolBar>

namespace tf {

namespace {

Qt::CursorShape cursorOf(PointerShape p)
{
    switch (p) {
    case PointerShape::Cross: return Qt::CrossCursor;
    case PointerShape::SizeAll: return Qt::SizeAllCursor;
    case PointerShape::SizeNESW: return Qt::SizeBDiagCursor;
    case PointerShape::SizeNS: return Qt::SizeVerCursor;
    case PointerShape::SizeNWSE: return Qt::SizeFDiagCursor;
    case PointerShape::SizeWE: return Qt::SizeHorCursor;
    default: return Qt::ArrowCursor;
    }
}

} // namespace

// Kept above every other window: a picker under the main window leaves the user with a window
// that seems dead and no visible way out.
fCaptureRectangle::fCaptureRectangle(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("fCaptureRectangle"));
    // Moves without a button held must arrive: they drive the hit test and the toolbar's return.
    setMouseTracking(true);
    Toolbar1 = new QToolBar(this);
    Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
    const QStringList tips = {QStringLiteral("New"), QStringLiteral("Accept"), QStringLiteral("Toolbar"),
                              QStringLiteral("Cancel")};
    for (int i = 0; i < tips.size(); ++i) {
        QAction* a = Toolbar1->addAction(tips[i], this, [this, i] { cmdBar_Click(i); });
        a->setObjectName(QStringLiteral("cmdBar%1").arg(i));
    }
    // Drawn on its own background: over the grabbed screen its captions would take the colour of
    // whatever lies beneath (black on a black desktop).
    Toolbar1->setAutoFillBackground(true);
    Toolbar1->move(5, 5);
    Toolbar1->adjustSize();
    setFocusPolicy(Qt::StrongFocus);
}

void fCaptureRectangle::ShowPicture(const QImage& screen)
{
    m_screen = screen;
    // The screen's place and size are set here: full screen is only a wish to a window manager,
    // and without one the window would keep its own small size.
    if (QScreen* where = QGuiApplication::primaryScreen()) setGeometry(where->geometry());
    showFullScreen();
    cmdBar_Click(0);
    raise();
    activateWindow();
    setFocus();
}

void fCaptureRectangle::syncToolbar()
{
    Toolbar1->setVisible(m_picker.toolbarVisible());
    if (m_picker.toolbarVisible()) Toolbar1->raise();
}

void fCaptureRectangle::cmdBar_Click(int index)
{
    switch (index) {
    case 0:
        m_picker.newRectangle();
        update();
        break;
    case 1: accept(); break;
    case 2: m_picker.toggleToolbar(); break;
    case 3:
        unsetCursor();
        hide();
        emit cancelled();
        break;
    default: break;
    }
    syncToolbar();
}

void fCaptureRectangle::accept()
{
    const QRect part = m_picker.cropRect(m_screen.size());
    if (part.isEmpty()) return;
    unsetCursor();
    hide();
    const QImage kept = m_screen.copy(part);
    m_picker.newRectangle();
    emit accepted(kept);
}

QPoint fCaptureRectangle::toPicture(const QPointF& logical) const
{
    // The picture is in device pixels, the pointer in logical ones.
    const qreal ratio = devicePixelRatioF();
    return QPoint(qFloor(logical.x() * ratio), qFloor(logical.y() * ratio));
}

void fCaptureRectangle::apply(const MouseOutcome& out)
{
    if (out.pointerChanged) setCursor(cursorOf(out.pointer));
    if (out.overlayChanged) update();
}

void fCaptureRectangle::mousePressEvent(QMouseEvent* event) { apply(m_picker.press(toPicture(event->position()))); }

void fCaptureRectangle::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = toPicture(event->position());
    m_picker.windowMove(p);
    syncToolbar();
    apply(m_picker.move(p));
}

void fCaptureRectangle::mouseReleaseEvent(QMouseEvent* event) { apply(m_picker.release(toPicture(event->position()))); }

void fCaptureRectangle::mouseDoubleClickEvent(QMouseEvent*)
{
    unsetCursor();
    if (m_picker.doubleClick() == CapturePicker::Action::Accept)
        accept();
    else
        syncToolbar();
}

void fCaptureRectangle::keyPressEvent(QKeyEvent* event)
{
    // The way out that needs no toolbar.
    if (event->key() == Qt::Key_Escape) {
        cmdBar_Click(3);
        return;
    }
    QWidget::keyPressEvent(event);
}

void fCaptureRectangle::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const qreal ratio = devicePixelRatioF();
    p.scale(1.0 / ratio, 1.0 / ratio);
    p.drawImage(0, 0, m_screen);
    // Inverted, so the outline shows over any screen.
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(QPen(Qt::white, 0));
    for (const OverlayRectangle& r : m_picker.tool().overlay()) p.drawRect(r.normalized());
}

} // namespace tf
