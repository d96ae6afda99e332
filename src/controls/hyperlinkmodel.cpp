#include "controls/hyperlinkmodel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tf {

namespace {

const OleColor kBlack = 0;
const OleColor kWhite = rgb(255, 255, 255);

} // namespace

HyperlinkModel::HyperlinkModel() : m_text(colorFromOle(kDefaultForeColorIdle)) {}

void HyperlinkModel::setForeColorIdle(OleColor color)
{
    m_foreColorIdle = m_fadeChange ? kBlack : color;
    m_text = colorFromOle(m_foreColorIdle);
}

void HyperlinkModel::setBackColor(OleColor color) { m_backColor = m_fadeChange ? kWhite : color; }

void HyperlinkModel::setShowCarrot(bool show)
{
    m_showCarrot = show;
    if (show) m_showRectangle = false;
}

void HyperlinkModel::setFadeChange(bool fade)
{
    if (fade) {
        setShowCarrot(false);
        m_fadeChange = false; // the two colours below are taken as given, then the flag forces them
        setForeColorIdle(kBlack);
        setBackColor(kWhite);
        m_outline = false;
        m_hoverFading = false;
    }
    m_fadeChange = fade;
}

bool HyperlinkModel::setSpeed(int milliseconds)
{
    if (milliseconds < 0 || milliseconds > kMaxSpeed) return false;
    m_speed = milliseconds;
    return true;
}

QString HyperlinkModel::Caption() const { return m_fadeChange ? m_labelText : m_labelText.mid(1); }

bool HyperlinkModel::setCaption(const QString& text)
{
    if (text == m_labelText) return false;
    if (m_fadeChange) {
        m_pending = text;
        m_captionOut = true;
        m_captionFading = true;
        return false;
    }
    m_labelText = QLatin1Char(' ') + text;
    return true;
}

QColor HyperlinkModel::hoverTarget() const { return colorFromOle(m_fadeBack ? m_foreColorIdle : m_foreColorMouse); }

void HyperlinkModel::mouseActions(bool mouseIn)
{
    if (m_fadeChange) return;
    m_mouseIn = mouseIn;
    m_outline = mouseIn && m_showRectangle;
    m_fadeBack = !mouseIn;
    m_hoverFading = true;
    if (m_speed == 0) {
        m_text = hoverTarget();
        m_hoverFading = false;
    }
}

void HyperlinkModel::mouseOutFade()
{
    m_text = colorFromOle(m_foreColorMouse);
    m_fadeBack = true;
    m_hoverFading = true;
    if (m_speed == 0) {
        m_text = hoverTarget();
        m_hoverFading = false;
        return;
    }
    tickHover();
}

bool HyperlinkModel::tickHover()
{
    if (!m_hoverFading) return false;
    const QColor target = hoverTarget();
    const int current[3] = {m_text.red(), m_text.green(), m_text.blue()};
    const int wanted[3] = {target.red(), target.green(), target.blue()};
    int step[3];
    for (int i = 0; i < 3; ++i) step[i] = int(std::lround(std::abs(current[i] - wanted[i]) / 7.0));
    if (step[0] == 0 && step[1] == 0 && step[2] == 0) {
        // The last few levels are skipped: the fade lands on the target itself.
        m_text = target;
        m_hoverFading = false;
        return false;
    }
    int next[3];
    for (int i = 0; i < 3; ++i)
        next[i] = current[i] > wanted[i] ? current[i] - step[i] : current[i] < wanted[i] ? current[i] + step[i] : current[i];
    m_text = QColor(next[0], next[1], next[2]);
    return true;
}

bool HyperlinkModel::tickCaption(bool* swapped)
{
    if (swapped) *swapped = false;
    if (!m_captionFading) return false;
    const int r = m_text.red(), g = m_text.green(), b = m_text.blue();
    if (m_captionOut) {
        m_text = QColor(std::min(r + 20, 255), std::min(g + 30, 255), std::min(b + 10, 255));
        if (oleFromColor(m_text) == kWhite) {
            m_labelText = m_pending;
            m_captionOut = false;
            if (swapped) *swapped = true;
        }
        return true;
    }
    // The new text darkens until a component would pass black; it then ends on black itself.
    if (r - 20 < 0 || g - 30 < 0 || b - 10 < 0 || (r == 20 && g == 30 && b == 10)) {
        m_text = QColor(0, 0, 0);
        m_captionFading = false;
        return false;
    }
    m_text = QColor(r - 20, g - 30, b - 10);
    return true;
}

} // namespace tf
