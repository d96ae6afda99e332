#include "platform/theme/visualstyle.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QMargins>
#include <QPainter>
#include <array>
#include <cstdlib>

namespace tf {

namespace {

using Scheme = VisualStyle::Scheme;

enum class Look { Background, Body, Head, Chevron };

// One themed part of the "Explorerbar" class in one scheme. Heads and chevrons change their text
// or figure colour when hot or pressed; the rest look the same in every state.
struct PartLook {
    Scheme scheme;
    int part;
    Look look;
    QRgb from, to;   // gradient ends, or the fill (from) of bodies and chevron circles
    QRgb outline;
    QRgb text, hotText;
    QMargins content;
};

constexpr QRgb kWhite = 0xFFFFFF;

// An XP-like look drawn with plain fills and gradients. The schemes that the explorer bar draws
// with its own colours only need their backgrounds here, and HomeStead its special group.
const std::array<PartLook, 14> kParts = {{
    {Scheme::NormalColor, 1, Look::Background, 0x7BA2E7, 0x6375D6, 0, 0, 0, {}},
    {Scheme::NormalColor, 5, Look::Body, 0xD6DFF7, 0, kWhite, 0, 0, {}},
    {Scheme::NormalColor, 9, Look::Body, 0xEFF3FF, 0, kWhite, 0, 0, {}},
    {Scheme::NormalColor, 8, Look::Head, kWhite, 0xC7D3F7, 0, 0x215DC6, 0x428EFF, {12, 1, 1, 1}},
    {Scheme::NormalColor, 6, Look::Chevron, kWhite, 0, 0xB2C3EA, 0x215DC6, 0x428EFF, {}},
    {Scheme::NormalColor, 7, Look::Chevron, kWhite, 0, 0xB2C3EA, 0x215DC6, 0x428EFF, {}},
    {Scheme::NormalColor, 12, Look::Head, 0x0049B5, 0x285BC5, 0, kWhite, 0xC6D3F7, {0, 1, 1, 1}},
    {Scheme::NormalColor, 10, Look::Chevron, 0x2D64D2, 0, kWhite, kWhite, 0xC6D3F7, {}},
    {Scheme::NormalColor, 11, Look::Chevron, 0x2D64D2, 0, kWhite, kWhite, 0xC6D3F7, {}},
    {Scheme::Metallic, 1, Look::Background, 0xC4C8D4, 0xB1B3C8, 0, 0, 0, {}},
    {Scheme::HomeStead, 1, Look::Background, 0xCCD9AD, 0xA5BD84, 0, 0, 0, {}},
    {Scheme::HomeStead, 12, Look::Head, 0x778C40, 0x96A867, 0, kWhite, 0xE0E7B8, {0, 1, 1, 1}},
    {Scheme::HomeStead, 10, Look::Chevron, 0x778C40, 0, kWhite, kWhite, 0xE0E7B8, {}},
    {Scheme::HomeStead, 11, Look::Chevron, 0x778C40, 0, kWhite, kWhite, 0xE0E7B8, {}},
}};

const PartLook* findPart(Scheme scheme, QStringView cls, int part)
{
    if (scheme == Scheme::Classic || cls.compare(u"Explorerbar", Qt::CaseInsensitive) != 0) return nullptr;
    for (const PartLook& look : kParts)
        if (look.scheme == scheme && look.part == part) return &look;
    return nullptr;
}

QColor color(QRgb rgb) { return QColor::fromRgb(rgb); }

void gradient(QPainter& p, const QRect& r, QRgb from, QRgb to, bool vertical)
{
    if (r.isEmpty()) return;
    QLinearGradient g(r.topLeft(), vertical ? QPointF(r.left(), r.top() + r.height()) : QPointF(r.left() + r.width(), r.top()));
    g.setColorAt(0, color(from));
    g.setColorAt(1, color(to));
    p.fillRect(r, g);
}

// A GDI line: every pixel from the start up to, but not including, the end point.
void gdiLine(QPainter& p, int x1, int y1, int x2, int y2)
{
    const int dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    while (x1 != x2 || y1 != y2) {
        p.drawPoint(x1, y1);
        const int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x1 += sx; }
        if (e2 <= dx) { err += dx; y1 += sy; }
    }
}

} // namespace

void drawTextDT(QPainter& p, const QRect& rect, unsigned dt, const QString& text)
{
    if (rect.width() <= 0 || rect.height() <= 0 || text.isEmpty()) return;
    p.save();
    p.setClipRect(rect, Qt::IntersectClip);
    int align = (dt & kDtCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
    if (dt & kDtSingleLine) {
        align |= ((dt & kDtVCenter) ? Qt::AlignVCenter : Qt::AlignTop) | Qt::TextSingleLine;
        QString shown = text;
        if (dt & (kDtWordEllipsis | kDtEndEllipsis))
            shown = QFontMetrics(p.font()).elidedText(text, Qt::ElideRight, rect.width());
        p.drawText(rect, align, shown);
    } else {
        align |= Qt::AlignTop;
        if (dt & kDtWordBreak) align |= Qt::TextWordWrap;
        p.drawText(rect, align, text);
    }
    p.restore();
}

void drawChevronLines(QPainter& p, int x, int y, bool up, const QColor& c)
{
    struct Line { int x1, y1, x2, y2; };
    static constexpr Line kUp[8] = {{9, 11, 13, 7},  {10, 11, 13, 8},  {15, 11, 11, 7},  {14, 11, 11, 8},
                                    {9, 15, 13, 11}, {10, 15, 13, 12}, {15, 15, 11, 11}, {14, 15, 11, 12}};
    static constexpr Line kDown[8] = {{9, 8, 13, 12},  {10, 8, 13, 11},  {15, 8, 11, 12},  {14, 8, 11, 11},
                                      {9, 12, 13, 16}, {10, 12, 13, 15}, {15, 12, 11, 16}, {14, 12, 11, 15}};
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(c, 1));
    for (const Line& l : up ? kUp : kDown) gdiLine(p, x + l.x1, y + l.y1, x + l.x2, y + l.y2);
    p.restore();
}

VisualStyle::VisualStyle(QObject* parent) : QObject(parent) {}

VisualStyle& VisualStyle::instance()
{
    static VisualStyle style;
    return style;
}

void VisualStyle::setScheme(Scheme scheme)
{
    if (scheme == m_scheme) return;
    m_scheme = scheme;
    emit changed();
}

QString VisualStyle::colorSchemeName() const
{
    switch (m_scheme) {
    case Scheme::NormalColor: return QStringLiteral("NormalColor");
    case Scheme::Metallic: return QStringLiteral("Metallic");
    case Scheme::HomeStead: return QStringLiteral("HomeStead");
    case Scheme::Classic: break;
    }
    return {};
}

bool VisualStyle::hasClass(QStringView cls) const
{
    return isThemed() && cls.compare(u"Explorerbar", Qt::CaseInsensitive) == 0;
}

bool VisualStyle::drawBackground(QPainter& p, QStringView cls, int part, int state, const QRect& r) const
{
    const PartLook* look = findPart(m_scheme, cls, part);
    if (!look || r.isEmpty()) return look != nullptr;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    switch (look->look) {
    case Look::Background:
        gradient(p, r, look->from, look->to, true);
        break;
    case Look::Body:
        p.fillRect(r, color(look->from));
        p.setPen(color(look->outline));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        break;
    case Look::Head:
        // Three stacked strips round the two top corners.
        gradient(p, QRect(r.left() + 2, r.top(), r.width() - 4, r.height()), look->from, look->to, false);
        gradient(p, QRect(r.left() + 1, r.top() + 1, r.width() - 2, r.height() - 1), look->from, look->to, false);
        gradient(p, QRect(r.left(), r.top() + 2, r.width(), r.height() - 2), look->from, look->to, false);
        break;
    case Look::Chevron: {
        const QRgb figure = state >= 2 ? look->hotText : look->text;
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(color(look->outline), 1));
        p.setBrush(color(look->from));
        const QPointF centre(r.left() + 12.0, r.top() + 12.0);
        p.drawEllipse(centre, 8.5, 8.5);
        drawChevronLines(p, r.left(), r.top(), part == 6 || part == 10, color(figure));
        break;
    }
    }
    p.restore();
    return true;
}

QRect VisualStyle::contentRect(QStringView cls, int part, int, const QRect& r) const
{
    const PartLook* look = findPart(m_scheme, cls, part);
    return look ? r.marginsRemoved(look->content) : r;
}

bool VisualStyle::drawText(QPainter& p, QStringView cls, int part, int state, const QString& text, unsigned dt,
                           const QRect& r) const
{
    const PartLook* look = findPart(m_scheme, cls, part);
    if (!look) return false;
    p.save();
    QFont f = p.font();
    if (look->look == Look::Head) {
        f.setBold(true);
        f.setUnderline(false);
    }
    p.setFont(f);
    p.setPen(color(state >= 2 ? look->hotText : look->text));
    drawTextDT(p, r, dt, text);
    p.restore();
    return true;
}

} // namespace tf
