#include "controls/explorerbar/ExplorerBarLayout.h"

#include <QFontMetrics>
#include <algorithm>

namespace tf {

EbFontMetrics::EbFontMetrics(const QFont& font) : m_font(font), m_bold(font)
{
    m_font.setBold(false);
    m_bold.setBold(true);
}

int EbFontMetrics::width(const QString& text, bool bold) const
{
    return QFontMetrics(bold ? m_bold : m_font).horizontalAdvance(text);
}

int EbFontMetrics::wrappedHeight(const QString& text, int width, bool bold) const
{
    const QFontMetrics fm(bold ? m_bold : m_font);
    if (text.isEmpty()) return fm.height();
    return fm.boundingRect(QRect(0, 0, std::max(1, width), 1 << 20), Qt::TextWordWrap, text).height();
}

int ebChildHeight(const typExplorerBarGroup& group) { return group.pChild ? group.pChild->height() : 0; }

namespace {

QRect edges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }
int bottomEdge(const QRect& r) { return r.y() + r.height(); }

// One pass at the current scroll position and scroll-bar visibility; gives the final y.
int onePass(ExplorerBarModel& m, const EbGeometryIn& in, const EbScroll& scroll, const EbTextMetrics& tm)
{
    int y = -m.m_iScrollValue;
    const int cw = scroll.visible ? in.W - in.scrollBarWidth : in.W;
    m.m_lClientWidth = cw;

    auto layItems = [&](typExplorerBarGroup& group) {
        for (typExplorerBarItem& item : group.aItems) {
            const int tw = tm.width(item.sCaption, false) + 1;
            const int right = 40 + (tw < cw - 56 ? tw : cw - 56);
            const int bottom = y + tm.wrappedHeight(item.sCaption, cw - 56, false);
            item.rcItem = edges(20, y, right, bottom);
            y = bottom + 8;
        }
    };

    if (m.m_bSpecialGroup) {
        typExplorerBarGroup& special = m.m_SpecialGroup;
        y += 16;
        special.rcHeader = edges(8, y, cw - 8, y + 24);
        y = bottomEdge(special.rcHeader);
        if (special.bExpanded) {
            y += 10;
            layItems(special);
            special.lBodyHeight = y - bottomEdge(special.rcHeader) + 8;
            y += 6;
        }
        y += 6;
    }

    for (typExplorerBarGroup& group : m.m_Groups) {
        y += 10;
        group.rcHeader = edges(8, y, cw - 8, y + 24);
        y += 24;
        if (group.bExpanded && group.pChild) {
            const int h = ebChildHeight(group);
            y += h;
            group.lBodyHeight = h;
            y -= 10;
        } else if (group.bExpanded) {
            y += 10;
            layItems(group);
            group.lBodyHeight = y - bottomEdge(group.rcHeader) + 12;
            y += 6;
        }
        y += 12;
    }

    if (m.m_bDetailsGroup) {
        typExplorerBarGroup& details = m.m_DetailsGroup;
        y += 8;
        details.rcHeader = edges(8, y, cw - 8, y + 24);
        y = bottomEdge(details.rcHeader);
        if (details.bExpanded) {
            const bool image = !m.m_DetailsImage.isNull();
            if (image) y += 12 + in.W - 128;
            const int a = tm.wrappedHeight(m.m_sDetailsTitle, in.W - 32 - 20, true);
            const int b = tm.wrappedHeight(m.m_sDetailsText, in.W - 32 - 20, false);
            details.lBodyHeight = a + b + 24;
            const int a2 = tm.wrappedHeight(m.m_sDetailsTitle, cw - 24 - 20, true);
            m.m_rcDetailsText = edges(20, y + a2 + 12, cw - 24, y + 20 + details.lBodyHeight);
            y = bottomEdge(m.m_rcDetailsText);
            if (image) details.lBodyHeight = y - bottomEdge(details.rcHeader) - 12;
        }
    }
    return y;
}

} // namespace

// The bar's visibility changes the client width, so a pass that shows or hides it runs again;
// so does one that finds the scroll position past the new end (a group collapsed while scrolled),
// after moving the position back, so that no rectangle keeps the old offset. Narrowing never
// makes the content shorter, so the passes settle.
EbGeometryOut layoutExplorerBar(ExplorerBarModel& m, const EbGeometryIn& in, EbScroll& scroll,
                                const EbTextMetrics& tm)
{
    constexpr int kMaxPasses = 4;
    EbGeometryOut out;
    m.m_iScrollValue = std::max(0, m.m_iScrollValue);
    for (;;) {
        ++out.passes;
        const int y = onePass(m, in, scroll, tm);
        const int d = y - in.H + m.m_iScrollValue;
        out.overflow = d;
        bool again = false;
        if (d <= 0) {
            if (d == 0) {
                scroll.small = 4;
                scroll.large = in.H;
                scroll.max = 1;
            }
            if (scroll.visible) {
                scroll.visible = false;
                again = true;
            }
            if (m.m_iScrollValue != 0) {
                m.m_iScrollValue = 0;
                again = true;
            }
        } else {
            scroll.small = 4;
            scroll.large = in.H;
            scroll.max = d;
            if (!scroll.visible && in.controlVisible) {
                scroll.visible = true;
                again = again || m.m_bPaintEnabled;
            }
            if (m.m_iScrollValue > d) {
                m.m_iScrollValue = d;
                again = true;
            }
        }
        if (!again || out.passes >= kMaxPasses) break;
    }
    out.clientWidth = m.m_lClientWidth;
    return out;
}

QVector<EbElement> ebElements(const ExplorerBarModel& m)
{
    QVector<EbElement> out;
    auto add = [&](int number, const typExplorerBarGroup& group, bool withItems) {
        out.push_back({number, 0, group.rcHeader});
        if (withItems && group.bExpanded)
            for (int j = 0; j < group.iItemCount(); ++j) out.push_back({number, j + 1, group.aItems[j].rcItem});
    };
    if (m.m_bSpecialGroup) add(ExplorerBarModel::kSpecialGroup, m.m_SpecialGroup, true);
    for (int g = 1; g <= m.groupCount(); ++g) add(g, m.m_Groups[g - 1], true);
    if (m.m_bDetailsGroup) add(ExplorerBarModel::kDetailsGroup, m.m_DetailsGroup, false);
    return out;
}

bool ebHits(const QRect& r, QPoint p)
{
    return p.y() >= r.y() && p.y() <= r.y() + r.height() && p.x() > r.x() && p.x() < r.x() + r.width();
}

} // namespace tf
