#pragma once
#include "platform/sys/colors.h"

#include <QColor>
#include <QString>

namespace tf {

// What the link control shows and how its two fades step, with no widget and no timer: the
// control's timers call the two ticks, and tests call them directly.
//
// The hover fade moves the text colour a seventh of the remaining distance per tick and lands
// exactly on its target. The caption fade (FadeChange) brightens the old text to white, swaps the
// caption at white, then darkens the new text back to black.
class HyperlinkModel {
public:
    static constexpr OleColor kDefaultForeColorIdle = 0;
    static constexpr OleColor kDefaultForeColorMouse = rgb(255, 128, 0);
    static constexpr OleColor kDefaultBackColor = static_cast<OleColor>(0x8000000Fu); // button face
    static constexpr int kDefaultSpeed = 50;
    static constexpr int kMaxSpeed = 32767;

    HyperlinkModel();

    // While FadeChange is set the idle colour is black and the background white whatever is set.
    OleColor ForeColorIdle() const { return m_foreColorIdle; }
    void setForeColorIdle(OleColor color);
    OleColor ForeColorMouse() const { return m_foreColorMouse; }
    void setForeColorMouse(OleColor color) { m_foreColorMouse = color; }
    OleColor BackColor() const { return m_backColor; }
    void setBackColor(OleColor color);

    bool ShowRectangle() const { return m_showRectangle; }
    void setShowRectangle(bool show) { m_showRectangle = show; }
    // Carets take the place of the outline: turning them on turns the outline off.
    bool ShowCarrot() const { return m_showCarrot; }
    void setShowCarrot(bool show);
    bool FadeChange() const { return m_fadeChange; }
    void setFadeChange(bool fade);

    // Milliseconds per hover-fade tick; 0 shows the target colour at once. Answers false and keeps
    // the old value for a value no timer interval can be (negative, or beyond an Integer).
    int Speed() const { return m_speed; }
    bool setSpeed(int milliseconds);

    // Without FadeChange the shown text carries one leading blank, which the getter drops.
    QString Caption() const;
    // Answers whether the shown text changed now (with FadeChange it changes only at the swap).
    // The same text as shown is ignored; without FadeChange the shown text has the blank, so the
    // same caption is taken again (and the layout with it).
    bool setCaption(const QString& text);
    QString labelText() const { return m_labelText; }

    // Mouse in or out: the outline and the caret follow at once, the colour through the fade.
    // Ignored while FadeChange is set.
    void mouseActions(bool mouseIn);
    // Starts from the hover colour and fades back to idle; the first tick runs at once.
    void mouseOutFade();

    // One hover-fade tick; answers whether the fade goes on.
    bool tickHover();
    bool hoverFading() const { return m_hoverFading; }

    // One caption-fade tick; answers whether the fade goes on. *swapped is set when this tick put
    // the pending caption on show.
    bool tickCaption(bool* swapped = nullptr);
    bool captionFading() const { return m_captionFading; }
    bool captionFadingOut() const { return m_captionOut; }

    QColor textColor() const { return m_text; }
    bool outlineShown() const { return m_outline; }
    bool mouseInside() const { return m_mouseIn; }

private:
    QColor hoverTarget() const;

    OleColor m_foreColorIdle = kDefaultForeColorIdle;
    OleColor m_foreColorMouse = kDefaultForeColorMouse;
    OleColor m_backColor = kDefaultBackColor;
    bool m_showRectangle = false;
    bool m_showCarrot = false;
    bool m_fadeChange = false;
    int m_speed = kDefaultSpeed;

    QString m_labelText = QStringLiteral(" ");
    QString m_pending;
    QColor m_text;
    bool m_outline = false;
    bool m_mouseIn = false;
    bool m_fadeBack = false;
    bool m_hoverFading = false;
    bool m_captionOut = false;
    bool m_captionFading = false;
};

} // namespace tf
