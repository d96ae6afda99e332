#pragma once
#include "controls/hyperlinkmodel.h"

#include <QPixmap>
#include <QRect>
#include <QWidget>

class QTimer;

namespace tf {

// Where the parts of the link go inside a control of the given size (pixels). The text box is
// as wide as the text unless centred; the outline is one blank wider; carets sit at the left,
// vertically centred, and push the text right by the hover caret's width.
struct HyperlinkLayout {
    QRect label;
    QRect outline;
    QRect idleCaret;
    QRect hoverCaret;
};
HyperlinkLayout hyperlinkLayout(const QSize& control, int alignment, bool showCarrot, int textWidth, int blankWidth,
                                const QSize& idleCaret, const QSize& hoverCaret);

// One line of text shown as a link. The text fades to the hover colour while the mouse is over
// the control and back when it leaves; an outline or a caret can mark the hover. With FadeChange a
// new caption fades the old one out to white and the new one in. Both fades run on timers of the
// control; Timer1_Timer and Timer2_Timer are their ticks. Font and enabled state are the widget's
// own (setFont, setEnabled); a disabled link shows grey text and takes no clicks.
class Hyperlink : public QWidget {
    Q_OBJECT
public:
    static constexpr int kAlignLeft = 0;
    static constexpr int kAlignRight = 1;
    static constexpr int kAlignCentre = 2;
    // The caption fade's tick: about half a second from black to white on any desktop.
    static constexpr int kCaptionFadeIntervalMs = 15;

    explicit Hyperlink(QWidget* parent = nullptr);

    void DoMouseActions(bool MouseIn);
    // Jumps to the hover colour and fades back to idle. The fade always runs on its timer: the
    // control never holds its caller until an animation ends, so ReturnImed changes nothing.
    void DoMouseOutFade(bool ReturnImed);

    bool ShowRectangle() const { return m_model.ShowRectangle(); }
    void setShowRectangle(bool show) { m_model.setShowRectangle(show); }
    OleColor ForeColorIdle() const { return m_model.ForeColorIdle(); }
    void setForeColorIdle(OleColor color);
    OleColor ForeColorMouse() const { return m_model.ForeColorMouse(); }
    void setForeColorMouse(OleColor color) { m_model.setForeColorMouse(color); }
    OleColor BackColor() const { return m_model.BackColor(); }
    void setBackColor(OleColor color);
    int Alignment() const { return m_alignment; }
    void setAlignment(int alignment);
    QString Caption() const { return m_model.Caption(); }
    void setCaption(const QString& text);
    // A refused value ("Invalid property value") keeps the old one; 0 shows colours without a fade.
    int Speed() const { return m_model.Speed(); }
    void setSpeed(int milliseconds);
    bool ShowCarrot() const { return m_model.ShowCarrot(); }
    void setShowCarrot(bool show);
    bool FadeChange() const { return m_model.FadeChange(); }
    void setFadeChange(bool fade);

    const HyperlinkModel& model() const { return m_model; }
    HyperlinkLayout layout() const;
    bool hoverTimerActive() const;
    bool captionTimerActive() const;
    int hoverInterval() const;

    QSize sizeHint() const override;

public slots:
    void Timer1_Timer();
    void Timer2_Timer();

signals:
    void clicked();
    void changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool inside(const QPointF& point) const;
    void syncTimers();

    HyperlinkModel m_model;
    int m_alignment = kAlignLeft;
    QTimer* m_timer1 = nullptr;
    QTimer* m_timer2 = nullptr;
    QPixmap m_idleCaret;
    QPixmap m_hoverCaret;
    bool m_pressed = false;
};

} // namespace tf
