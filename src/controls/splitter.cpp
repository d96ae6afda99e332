#include "controls/splitter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

namespace tf {

namespace {
constexpr int kButtonFaceIndex = 15;
}

Splitter::Splitter(QWidget* parent)
    : QWidget(parent)
{
    // The shadow first and the bar above it, so the idle shadow never covers the bar.
    m_picMover = new QWidget(this);
    m_picMover->setObjectName(QStringLiteral("picMover"));
    m_picMover->setAutoFillBackground(true);
    QPalette grey = m_picMover->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    m_picMover->setPalette(grey);
    m_picMover->hide();

    m_picSplitter = new QWidget(this);
    m_picSplitter->setObjectName(QStringLiteral("picSplitter"));
    m_picSplitter->installEventFilter(this);

    setOrientation(0);
}

bool Splitter::acceptsPane(QWidget* pane) const
{
    // Laying out the splitter itself or its own bars as a pane would feed back into this layout.
    return pane != this && pane != m_picMover && pane != m_picSplitter;
}

void Splitter::setLeftOrTopControl(QWidget* pane)
{
    m_leftOrTop = acceptsPane(pane) ? pane : nullptr;
    Refresh();
}

void Splitter::setRightOrBottomControl(QWidget* pane)
{
    m_rightOrBottom = acceptsPane(pane) ? pane : nullptr;
    Refresh();
}

void Splitter::setOrientation(int value)
{
    syncSize();
    m_model.setOrientation(value);
    m_picSplitter->setCursor(m_model.isTopBottom() ? Qt::SizeVerCursor : Qt::SizeHorCursor);
    showBars();
}

void Splitter::setSplitterWidth(int pixels)
{
    syncSize();
    m_model.setSplitterWidth(pixels);
    Refresh();
}

void Splitter::setSplitterPosition(int percent)
{
    syncSize();
    m_model.setSplitterPosition(percent);
    Refresh();
}

void Splitter::setSplitterMax(int percent)
{
    syncSize();
    m_model.setSplitterMax(percent);
    Refresh();
}

void Splitter::setSplitterMin(int percent)
{
    syncSize();
    m_model.setSplitterMin(percent);
    Refresh();
}

void Splitter::setSplitterColor(OleColor color)
{
    m_color = color;
    m_picSplitter->update();
}

bool Splitter::Enabled() const
{
    return m_picSplitter->isEnabled();
}

void Splitter::setBarEnabled(bool enabled)
{
    m_picSplitter->setEnabled(enabled);
}

void Splitter::Refresh()
{
    syncSize();
    m_model.refresh();
    showBars();
    placePanes();
}

void Splitter::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit Resize();
    m_model.resize(width(), height());
    showBars();
    placePanes();
}

// A hidden widget receives its resize event only when shown, so setters before that work on the
// size it already has rather than the one last laid out.
void Splitter::syncSize()
{
    if (m_model.width() != width() || m_model.height() != height()) m_model.setSize(width(), height());
}

void Splitter::showBars()
{
    m_picSplitter->setGeometry(m_model.barRect());
    m_picMover->setGeometry(m_model.moverRect());
}

void Splitter::placePanes()
{
    if (m_leftOrTop) m_leftOrTop->setGeometry(m_model.leftOrTopRect());
    if (m_rightOrBottom) m_rightOrBottom->setGeometry(m_model.rightOrBottomRect());
}

QColor Splitter::barColor() const
{
    // The button face follows the desktop's palette, like the rest of the window's chrome.
    if (isSystemColor(m_color) && (static_cast<uint32_t>(m_color) & 0xFFu) == kButtonFaceIndex)
        return palette().color(QPalette::Button);
    return colorFromOle(m_color);
}

bool Splitter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_picSplitter) return QWidget::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::Paint: {
        QPainter painter(m_picSplitter);
        painter.fillRect(m_picSplitter->rect(), barColor());
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || m_model.isDragging()) return true;
        syncSize();
        m_model.beginDrag();
        showBars();
        m_picMover->show();
        m_picMover->raise();
        emit SplitBegin();
        return true;
    }
    case QEvent::MouseMove: {
        // Only a drag begun with the left button moves the shadow; hovering changes nothing.
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_model.isDragging() || !(mouse->buttons() & Qt::LeftButton)) return true;
        const QRect bar = m_model.barRect();
        const double edge = m_model.isTopBottom() ? bar.top() + mouse->position().y()
                                                  : bar.left() + mouse->position().x();
        if (m_model.dragTo(edge)) m_picMover->setGeometry(m_model.moverRect());
        emit SplitMove();
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !m_model.isDragging()) return true;
        m_model.endDrag();
        m_picMover->hide();
        Refresh();
        emit SplitComplete();
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

} // namespace tf
