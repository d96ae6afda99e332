#include "controls/explorerbar/ExplorerBarPaint.h"

#include "platform/theme/visualstyle.h"

#include <QImage>
#include <QLinearGradient>

namespace tf {

namespace {

const QString kMetallic = QStringLiteral("Metallic");
const QString kHomeStead = QStringLiteral("HomeStead");
const QString kClassic = QStringLiteral("Classic");

// System colours by their old index, from the fixed table, so pictures do not follow the desktop.
QColor sys(int index) { return systemColor(index); }
enum : int {
    kWindow = 5, kHighlight = 13, kHighlightText = 14, kButtonFace = 15, kButtonShadow = 16, kGrayText = 17,
    kButtonText = 18, kButtonHighlight = 20, k3DDarkShadow = 21, kGradientActiveCaption = 27
};

QRect edges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }
int rightEdge(const QRect& r) { return r.x() + r.width(); }
int bottomEdge(const QRect& r) { return r.y() + r.height(); }

// A plain line of the old kind: its end pixel is not drawn. Only horizontal and vertical ones
// are drawn here.
void plainLine(QPainter& p, int x1, int y1, int x2, int y2, const QColor& color)
{
    if (x1 == x2 && y1 == y2) return;
    p.setPen(QPen(color, 1));
    if (y1 == y2) p.drawLine(x1, y1, x2 > x1 ? x2 - 1 : x2 + 1, y2);
    else p.drawLine(x1, y1, x2, y2 > y1 ? y2 - 1 : y2 + 1);
}

} // namespace

OleColor SoftColor(OleColor lColor)
{
    Q_ASSERT_X(!isSystemColor(lColor), "SoftColor", "system colours must be resolved first");
    auto soften = [](int c) { return c + 76 - 19 * ((c + 32) / 64); };
    const int r = lColor & 0xFF, g = (lColor >> 8) & 0xFF, b = (lColor >> 16) & 0xFF;
    return rgb(soften(r), soften(g), soften(b));
}

bool DoGradient(QPainter& p, const QColor& from, const QColor& to, int direction, const QRect& rect)
{
    if (rect.isEmpty()) return false;
    const QPointF end = direction == 0 ? QPointF(rect.x() + rect.width(), rect.y())
                                       : QPointF(rect.x(), rect.y() + rect.height());
    QLinearGradient g(rect.topLeft(), end);
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.fillRect(rect, g);
    return true;
}

void subDrawChevron(QPainter& p, int X, int Y, bool bExpanded, const QColor& color)
{
    drawChevronLines(p, X, Y, bExpanded, color);
}

QString fncCurrentThemeName(const VisualStyle* style)
{
    if (!style || !style->hasClass(u"ExplorerBar")) return kClassic;
    const QString name = style->colorSchemeName();
    return name.isEmpty() ? kClassic : name;
}

bool fncDrawThemePart(QPainter& p, const EbThemeRequest& r, const EbPaintContext& c)
{
    if (c.themeName == kClassic || !c.style) return false;
    auto sink = [&c](const QString& text) { if (c.sink) c.sink(text); };
    if (!c.style->hasClass(r.sClass)) {
        sink(QStringLiteral("No theme data for class '") + r.sClass + QStringLiteral("'.  - 0"));
        return false;
    }
    if (!c.style->drawBackground(p, r.sClass, r.part, r.state, r.rect)) {
        sink(QStringLiteral("Failed to draw background for class '%1', partId=%2, stateId=%3")
                 .arg(r.sClass).arg(r.part).arg(r.state));
        return false;
    }
    if (!r.text.isEmpty()) {
        const QRect content = c.style->contentRect(r.sClass, r.part, r.state, r.rect);
        const QRect t = edges(content.x() + r.textOffset, r.rect.y(), rightEdge(r.rect) - r.textRightMargin,
                              bottomEdge(r.rect));
        if (c.useUxThemeText) {
            c.style->drawText(p, r.sClass, r.part, r.state, r.text, r.textFlags, t);
        } else {
            const QColor highlight = sys(kHighlight);
            QColor color = highlight;
            if (r.part == 12) color = sys(kHighlightText);
            else if (r.state != 1) color = colorFromOle(SoftColor(oleFromColor(highlight)));
            p.save();
            QFont f = c.font;
            f.setBold(true);
            p.setFont(f);
            p.setPen(color);
            drawTextDT(p, t, r.textFlags, r.text);
            p.restore();
        }
    }
    return true;
}

// ---- the picture ----------------------------------------------------------------------------

EbPainter::EbPainter(QPainter& painter, const ExplorerBarModel& model, const EbPaintContext& context)
    : p(painter), m(model), c(context)
{
}

bool EbPainter::ownLook() const { return c.themeName == kMetallic || c.themeName == kHomeStead; }

void EbPainter::paint(std::optional<ItemState> highlight)
{
    m_placements.clear();
    p.setRenderHint(QPainter::Antialiasing, false);
    EbThemeRequest background;
    background.rect = QRect(0, 0, c.W, c.H);
    // A style that cannot draw the background leaves the classic one rather than none.
    if (!fncDrawThemePart(p, background, c)) p.fillRect(background.rect, sys(kWindow));

    auto stateOf = [&](int group, int item) {
        return highlight && highlight->group == group && highlight->item == item ? highlight->state : 1;
    };

    if (m.m_bSpecialGroup) {
        subDrawSpecialGroupHeader();
        const typExplorerBarGroup& special = m.m_SpecialGroup;
        if (special.bExpanded) {
            const QRect h = special.rcHeader;
            const QRect body(h.x(), bottomEdge(h), h.width(), special.lBodyHeight);
            drawBody(body, true);
            if (!m.m_SpecialBackground.isNull() && body.width() > 2 && body.height() > 2) {
                p.save();
                p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
                p.drawPixmap(body.adjusted(1, 1, -1, -1), m.m_SpecialBackground);
                p.restore();
            }
            for (int j = 1; j <= special.iItemCount(); ++j)
                subDrawItem(ExplorerBarModel::kSpecialGroup, j, stateOf(ExplorerBarModel::kSpecialGroup, j));
        }
    }

    for (int g = 1; g <= m.groupCount(); ++g) {
        subDrawGroupHeader(g);
        const typExplorerBarGroup& group = m.m_Groups[g - 1];
        if (!group.bExpanded) continue;
        const QRect h = group.rcHeader;
        if (group.pChild) {
            const QRect place(h.x(), bottomEdge(h), h.width(), ebChildHeight(group));
            m_placements.push_back({g, place, drawHostedBody(place)});
            continue;
        }
        drawBody(QRect(h.x(), bottomEdge(h), h.width(), group.lBodyHeight), false);
        for (int j = 1; j <= group.iItemCount(); ++j) subDrawItem(g, j, stateOf(g, j));
    }

    if (m.m_bDetailsGroup) {
        subDrawDetailsGroupHeader();
        const typExplorerBarGroup& details = m.m_DetailsGroup;
        if (details.bExpanded) {
            const QRect h = details.rcHeader;
            drawBody(QRect(h.x(), bottomEdge(h), h.width(), details.lBodyHeight), false);
            drawDetailsContent();
        }
    }
}

void EbPainter::drawBody(const QRect& body, bool special)
{
    const int L = body.x(), T = body.y(), W = body.width(), H = body.height();
    if (ownLook()) {
        // Filled and outlined between the same two corners, both included.
        p.fillRect(QRect(L, T, W, H + 1), c.themeName == kMetallic ? QColor(240, 241, 245) : QColor(246, 246, 236));
        p.setPen(Qt::white);
        p.setBrush(Qt::NoBrush);
        p.drawRect(L, T, W - 1, H);
        return;
    }
    EbThemeRequest request;
    request.part = special ? 9 : 5;
    request.rect = body;
    if (fncDrawThemePart(p, request, c)) return;
    p.setPen(sys(special ? kHighlight : kButtonFace));
    p.setBrush(Qt::NoBrush);
    p.drawRect(L, T, W, H);
}

void EbPainter::drawHeaderGradient(const QRect& r, const QColor& from, const QColor& to)
{
    const int L = r.x(), T = r.y(), W = r.width(), H = r.height();
    DoGradient(p, from, to, 0, QRect(L + 2, T, W - 4, H));
    DoGradient(p, from, to, 0, QRect(L + 1, T + 1, W - 2, H - 1));
    DoGradient(p, from, to, 0, QRect(L, T + 2, W, H - 2));
}

void EbPainter::drawCaption(const QRect& rect, const QString& text, const QColor& color)
{
    p.save();
    QFont f = c.font;
    f.setBold(true);
    f.setUnderline(false);
    p.setFont(f);
    p.setPen(color);
    drawTextDT(p, rect, 0x50024, text);
    p.restore();
}

// The chevron cell of the bar's own looks: a light disc with the chevrons, or on the dark
// Metallic special header a white ring.
void EbPainter::drawOwnChevronCell(const QRect& button, bool special, bool expanded)
{
    const bool metallic = c.themeName == kMetallic;
    QColor fill = Qt::white, ring, figure;
    if (special) {
        fill = QColor(119, 119, 146);
        ring = Qt::white;
        figure = Qt::white;
    } else if (metallic) {
        ring = QColor(158, 160, 183);
        figure = QColor(63, 64, 96);
    } else {
        ring = QColor(165, 189, 132);
        figure = QColor(86, 102, 45);
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(ring, 1));
    p.setBrush(fill);
    p.drawEllipse(QPointF(button.x() + 12.0, button.y() + 12.0), 8.5, 8.5);
    p.restore();
    subDrawChevron(p, button.x(), button.y(), expanded, figure);
}

// A header the style draws; where it cannot, a plain fill and the caption stand in.
void EbPainter::drawThemedHeader(int part, const typExplorerBarGroup& group, int textOffset, const QRect& caption,
                                 const QColor& fill, const QColor& text)
{
    EbThemeRequest request;
    request.part = part;
    request.state = group.iHeaderState;
    request.rect = group.rcHeader;
    request.text = group.sCaption;
    request.textOffset = textOffset;
    if (fncDrawThemePart(p, request, c)) return;
    p.fillRect(group.rcHeader, fill);
    drawCaption(caption, group.sCaption, text);
}

void EbPainter::drawHeader(const typExplorerBarGroup& group)
{
    const QRect r = group.rcHeader;
    const int L = r.x(), T = r.y(), R = rightEdge(r), B = bottomEdge(r);
    const QRect caption = edges(L + 12, T, R - 25, B);
    if (ownLook()) {
        const bool metallic = c.themeName == kMetallic;
        const QColor from = metallic ? QColor(Qt::white) : QColor(255, 252, 236);
        const QColor to = metallic ? QColor(214, 215, 224) : QColor(224, 231, 184);
        drawHeaderGradient(r, from, to);
        const QColor text = metallic ? sys(group.bHover ? k3DDarkShadow : kButtonText)
                                     : sys(group.bHover ? kHighlight : k3DDarkShadow);
        drawCaption(caption, group.sCaption, text);
    } else {
        drawThemedHeader(8, group, 0, caption, sys(kButtonFace), sys(kButtonText));
    }

    const QRect button(m.m_lClientWidth - 32, T, 24, 24);
    if (ownLook()) {
        drawOwnChevronCell(button, false, group.bExpanded);
        return;
    }
    EbThemeRequest chevron;
    chevron.part = group.bExpanded ? 6 : 7;
    chevron.state = group.iHeaderState;
    chevron.rect = button;
    if (fncDrawThemePart(p, chevron, c)) return;
    const int l = button.x(), t = button.y(), w = button.width(), h = button.height();
    QColor a = sys(kButtonFace), b = a;
    if (group.iHeaderState == 3) { a = sys(kButtonHighlight); b = sys(kButtonShadow); }
    else if (group.iHeaderState == 2) { a = sys(kButtonShadow); b = sys(kButtonHighlight); }
    plainLine(p, l + 4, t + h - 4, l + w - 4, t + h - 4, a);
    plainLine(p, l + w - 4, t + 4, l + w - 4, t + h - 4, a);
    plainLine(p, l + 4, t + 4, l + 4, t + h - 4, b);
    plainLine(p, l + 4, t + 4, l + w - 4, t + 4, b);
    subDrawChevron(p, l, t, group.bExpanded, sys(kButtonText));
}

void EbPainter::subDrawGroupHeader(int group)
{
    if (group >= 1 && group <= m.groupCount()) drawHeader(m.m_Groups[group - 1]);
}

void EbPainter::subDrawDetailsGroupHeader() { drawHeader(m.m_DetailsGroup); }

void EbPainter::subDrawSpecialGroupHeader()
{
    const typExplorerBarGroup& s = m.m_SpecialGroup;
    const QRect r = s.rcHeader;
    const int L = r.x(), T = r.y(), R = rightEdge(r), B = bottomEdge(r);
    const QRect caption = edges(L + 36, T, R - 25, B);
    const bool metallic = c.themeName == kMetallic;
    if (metallic) {
        const QColor from(119, 119, 146), to(180, 182, 199);
        drawHeaderGradient(r, from, to);
        drawCaption(caption, s.sCaption, sys(s.bHover ? kButtonFace : kButtonHighlight));
    } else {
        // HomeStead's special header comes from the style, like the default blue one's.
        drawThemedHeader(12, s, 36, caption, sys(kHighlight), sys(kHighlightText));
    }

    const QRect button(m.m_lClientWidth - 32, T, 24, 24);
    bool drawn = false;
    if (metallic) {
        drawOwnChevronCell(button, true, s.bExpanded);
        drawn = true;
    } else {
        EbThemeRequest chevron;
        chevron.part = s.bExpanded ? 10 : 11;
        chevron.state = s.iHeaderState;
        chevron.rect = button;
        drawn = fncDrawThemePart(p, chevron, c);
    }
    if (!drawn) {
        const int l = button.x(), t = button.y(), w = button.width(), h = button.height();
        QColor a = sys(kHighlight), b = a;
        if (s.iHeaderState == 3) { a = sys(kButtonHighlight); b = sys(kButtonShadow); }
        else if (s.iHeaderState == 2) { a = sys(kButtonShadow); b = sys(kButtonHighlight); }
        plainLine(p, l + 4, t + h - 4, l + w - 4, t + h - 4, a);
        plainLine(p, l + w - 4, t + 4, l + w - 4, t + h - 4, a);
        plainLine(p, l + 4, t + 4, l + 4, t + h - 4, b);
        plainLine(p, l + 4, t + 4, l + w - 4, t + 4, b);
        subDrawChevron(p, l, t, s.bExpanded, sys(kWindow));
    }
    if (!m.m_SpecialIcon.isNull()) p.drawPixmap(12, T - 8, m.m_SpecialIcon);
}

void EbPainter::subDrawItem(int group, int item, int state)
{
    const typExplorerBarGroup* g = m.groupRecord(group);
    if (!g || item < 1 || item > g->iItemCount()) return;
    const typExplorerBarItem& it = g->aItems[item - 1];
    static constexpr int kStateColor[] = {kButtonText, kHighlight, kGradientActiveCaption, kGrayText};
    const QColor color = sys(kStateColor[std::clamp(state, 1, 4) - 1]);

    const int left = it.rcItem.x() + 20, right = m.m_lClientWidth - 12;
    const int height = c.metrics ? c.metrics->wrappedHeight(it.sCaption, right - left, false) : it.rcItem.height();
    p.save();
    QFont f = c.font;
    f.setBold(false);
    f.setUnderline(true);
    p.setFont(f);
    p.setPen(color);
    drawTextDT(p, edges(left, it.rcItem.y(), right, it.rcItem.y() + height), kDtWordBreak, it.sCaption);
    p.restore();

    // A missing list or a number it does not hold leaves the caption alone, without a message.
    if (m.m_ImageList && it.iIcon >= 1 && it.iIcon <= m.m_ImageList->count()) {
        const QPixmap icon = m.m_ImageList->image(it.iIcon);
        if (!icon.isNull()) p.drawPixmap(QRect(it.rcItem.x(), it.rcItem.y(), 16, 16), icon);
    }
}

void EbPainter::drawDetailsContent()
{
    const int t0 = bottomEdge(m.m_DetailsGroup.rcHeader);
    const int s = c.W;
    const QRect text = m.m_rcDetailsText;
    p.save();
    QFont bold = c.font;
    bold.setBold(true);
    bold.setUnderline(false);
    QFont plain = bold;
    plain.setBold(false);
    p.setPen(sys(kButtonText));
    if (!m.m_DetailsImage.isNull()) {
        p.setFont(bold);
        drawTextDT(p, edges(text.x(), t0 + 11 + s - 128, s - 128, t0 + 11 + s), kDtWordBreak, m.m_sDetailsTitle);
        p.setFont(plain);
        drawTextDT(p, text, kDtWordBreak, m.m_sDetailsText);
        if (s > 128) p.drawPixmap(QRect(64, t0 + 8, s - 128, s - 128), m.m_DetailsImage);
    } else {
        p.setFont(bold);
        drawTextDT(p, edges(text.x(), t0 + 11, s - 32, t0 + 68), kDtWordBreak, m.m_sDetailsTitle);
        p.setFont(plain);
        drawTextDT(p, text, kDtWordBreak, m.m_sDetailsText);
    }
    p.restore();
}

QColor EbPainter::drawHostedBody(const QRect& rect)
{
    const int x = rect.x(), y = rect.y(), W = rect.width(), H = rect.height();
    if (W <= 0 || H <= 0) return sys(kWindow);
    p.save();
    p.setBrush(Qt::NoBrush);
    QColor body;
    if (ownLook()) {
        body = c.themeName == kMetallic ? QColor(240, 241, 245) : QColor(246, 246, 236);
        p.fillRect(QRect(x, y, W, H + 1), body);
        p.setPen(Qt::white);
        p.drawRect(x, y, W - 1, H - 1);
    } else {
        // A themed body is drawn apart first, so that its colour can be read where the panel's
        // controls will sit.
        QImage themed(W, H, QImage::Format_RGB32);
        themed.fill(sys(kWindow));
        bool ok = false;
        {
            QPainter tp(&themed);
            EbThemeRequest request;
            request.part = 5;
            request.rect = QRect(0, 0, W, H);
            ok = fncDrawThemePart(tp, request, c);
        }
        if (ok) {
            p.drawImage(x, y, themed);
            body = themed.pixelColor(std::min(4, W - 1), std::min(4, H - 1));
        } else {
            body = sys(kWindow);
            p.fillRect(QRect(x, y, W, H + 1), body);
            p.setPen(sys(kButtonFace));
            p.drawRect(x, y, W - 1, H - 1);
            p.drawRect(x, y, W, H);
        }
    }
    p.restore();
    return body;
}

} // namespace tf
