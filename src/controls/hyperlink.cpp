#include "controls/hyperlink.h"

#include "platform/ui/msgbox.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace tf {

namespace {

constexpr int kGreyTextIndex = 17;

// A right-pointing caret in a pixmap of the given size.
QPixmap caret(const QSize& size, const QColor& color)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(0, 0);
    path.lineTo(size.width(), size.height() / 2.0);
    path.lineTo(0, size.height());
    path.closeSubpath();
    p.fillPath(path, color);
    return pixmap;
}

} // namespace

HyperlinkLayout hyperlinkLayout(const QSize& control, int alignment, bool showCarrot, int textWidth, int blankWidth,
                                const QSize& idleCaret, const QSize& hoverCaret)
{
    const int w = control.width();
    const int h = control.height();
    HyperlinkLayout out;
    const int textLeft = showCarrot ? hoverCaret.width() : 0;
    if (alignment == Hyperlink::kAlignCentre) {
        out.label = QRect(textLeft, 0, w - textLeft, h);
        out.outline = QRect(0, 0, w, h);
    } else {
        // The text keeps a blank's room inside the outline at its far end, as it has at its
        // leading end from the blank the caption starts with.
        const int outlineWidth = textWidth + blankWidth;
        const int labelLeft = alignment == Hyperlink::kAlignRight ? w - outlineWidth : textLeft;
        out.label = QRect(labelLeft, 0, textWidth, h);
        out.outline = QRect(alignment == Hyperlink::kAlignRight ? w - outlineWidth : 0, 0, outlineWidth, h);
    }
    out.hoverCaret = QRect(QPoint(0, h / 2 - hoverCaret.height() / 2), hoverCaret);
    out.idleCaret = QRect(QPoint(hoverCaret.width() / 2 - idleCaret.width() / 2, h / 2 - idleCaret.height() / 2), idleCaret);
    return out;
}

Hyperlink::Hyperlink(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    m_idleCaret = caret(QSize(5, 7), QColor(128, 128, 128));
    m_hoverCaret = caret(QSize(8, 10), colorFromOle(HyperlinkModel::kDefaultForeColorMouse));
    m_timer1 = new QTimer(this);
    m_timer1->setInterval(m_model.Speed());
    connect(m_timer1, &QTimer::timeout, this, &Hyperlink::Timer1_Timer);
    m_timer2 = new QTimer(this);
    m_timer2->setInterval(kCaptionFadeIntervalMs);
    connect(m_timer2, &QTimer::timeout, this, &Hyperlink::Timer2_Timer);
}

void Hyperlink::DoMouseActions(bool MouseIn)
{
    m_model.mouseActions(MouseIn);
    syncTimers();
    update();
}

void Hyperlink::DoMouseOutFade(bool /*ReturnImed*/)
{
    m_model.mouseOutFade();
    syncTimers();
    update();
}

void Hyperlink::setForeColorIdle(OleColor color)
{
    m_model.setForeColorIdle(color);
    update();
}

void Hyperlink::setBackColor(OleColor color)
{
    m_model.setBackColor(color);
    update();
}

void Hyperlink::setAlignment(int alignment)
{
    m_alignment = alignment;
    update();
}

void Hyperlink::setCaption(const QString& text)
{
    const QString before = m_model.labelText();
    m_model.setCaption(text);
    syncTimers();
    updateGeometry();
    update();
    if (m_model.labelText() != before) emit changed();
}

void Hyperlink::setSpeed(int milliseconds)
{
    if (!m_model.setSpeed(milliseconds)) {
        MsgBox(QStringLiteral("Invalid property value"), vbCritical);
        return;
    }
    if (milliseconds > 0) m_timer1->setInterval(milliseconds);
    syncTimers();
}

void Hyperlink::setShowCarrot(bool show)
{
    m_model.setShowCarrot(show);
    updateGeometry();
    update();
}

void Hyperlink::setFadeChange(bool fade)
{
    m_model.setFadeChange(fade);
    syncTimers();
    updateGeometry();
    update();
}

HyperlinkLayout Hyperlink::layout() const
{
    const QFontMetrics fm(font());
    return hyperlinkLayout(size(), m_alignment, m_model.ShowCarrot(), fm.horizontalAdvance(m_model.labelText()),
                           fm.horizontalAdvance(QLatin1Char(' ')), m_idleCaret.size(), m_hoverCaret.size());
}

bool Hyperlink::hoverTimerActive() const { return m_timer1->isActive(); }
bool Hyperlink::captionTimerActive() const { return m_timer2->isActive(); }
int Hyperlink::hoverInterval() const { return m_timer1->interval(); }

QSize Hyperlink::sizeHint() const
{
    const QFontMetrics fm(font());
    const int caretRoom = m_model.ShowCarrot() ? m_hoverCaret.width() : 0;
    return QSize(caretRoom + fm.horizontalAdvance(m_model.labelText()) + fm.horizontalAdvance(QLatin1Char(' ')),
                 fm.height() + 4);
}

void Hyperlink::Timer1_Timer()
{
    m_model.tickHover();
    syncTimers();
    update();
}

void Hyperlink::Timer2_Timer()
{
    bool swapped = false;
    m_model.tickCaption(&swapped);
    syncTimers();
    if (swapped) updateGeometry();
    update();
    if (swapped) emit changed();
}

void Hyperlink::syncTimers()
{
    if (m_model.hoverFading() && m_model.Speed() > 0) {
        if (!m_timer1->isActive()) m_timer1->start();
    } else {
        m_timer1->stop();
    }
    if (m_model.captionFading()) {
        if (!m_timer2->isActive()) m_timer2->start();
    } else {
        m_timer2->stop();
    }
}

bool Hyperlink::inside(const QPointF& point) const
{
    // The right and bottom edges count as inside, as the left and top do.
    return point.x() >= 0 && point.y() >= 0 && point.x() <= width() && point.y() <= height();
}

void Hyperlink::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), colorFromOle(m_model.BackColor()));
    const HyperlinkLayout parts = layout();
    if (m_model.ShowCarrot()) {
        if (m_model.mouseInside())
            p.drawPixmap(parts.hoverCaret.topLeft(), m_hoverCaret);
        else
            p.drawPixmap(parts.idleCaret.topLeft(), m_idleCaret);
    }
    p.setPen(isEnabled() ? m_model.textColor() : systemColor(kGreyTextIndex));
    const Qt::Alignment horizontal = m_alignment == kAlignCentre ? Qt::AlignHCenter : Qt::AlignLeft;
    p.drawText(parts.label, int(horizontal | Qt::AlignVCenter | Qt::TextSingleLine), m_model.labelText());
    if (m_model.outlineShown()) {
        // The outline takes the hover colour, so that it reads as part of the link.
        p.setPen(colorFromOle(m_model.ForeColorMouse()));
        p.setBrush(Qt::NoBrush);
        p.drawRect(parts.outline.adjusted(0, 0, -1, -1));
    }
}

void Hyperlink::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    if (isEnabled() && !m_model.mouseInside()) DoMouseActions(true);
}

void Hyperlink::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (m_model.mouseInside()) DoMouseActions(false);
}

void Hyperlink::mouseMoveEvent(QMouseEvent* event)
{
    // With a button held the moves keep coming after the pointer has left.
    const bool in = inside(event->position());
    if (in != m_model.mouseInside()) DoMouseActions(in);
    QWidget::mouseMoveEvent(event);
}

void Hyperlink::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) m_pressed = true;
    event->accept();
}

void Hyperlink::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    const bool click = m_pressed && inside(event->position());
    m_pressed = false;
    event->accept();
    if (click) emit clicked();
}

void Hyperlink::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) updateGeometry();
    if (event->type() == QEvent::EnabledChange) {
        m_pressed = false;
        if (!isEnabled() && m_model.mouseInside()) DoMouseActions(false);
        update();
    }
}

} // namespace tf
