#include "controls/explorerbar/ExplorerBarPaint.h"

#include "controls/explorerbar/ExplorerBarLayout.h"

#include <QPainterPath>

namespace tf {

using namespace eblayout;

namespace {

QColor mix(const QColor& a, const QColor& b, double t)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - t) + b.redF() * t),
                            static_cast<float>(a.greenF() * (1 - t) + b.greenF() * t),
                            static_cast<float>(a.blueF() * (1 - t) + b.blueF() * t));
}

void drawChevron(QPainter& p, const QRect& header, bool expanded, const QColor& color)
{
    const int size = header.height() - 8;
    const QRect circle(header.right() - size - 4, header.top() + 4, size, size);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(circle).adjusted(0.5, 0.5, -0.5, -0.5));
    p.setPen(QPen(color, 1.6));
    const QPointF c = QRectF(circle).center();
    const double w = size * 0.22, h = size * 0.12;
    for (double offset : {-2.0, 2.0}) { // two stacked arrow heads, pointing where the body goes
        const double dir = expanded ? -1.0 : 1.0;
        const double y = c.y() + offset - dir * h;
        p.drawPolyline(QVector<QPointF>{{c.x() - w, y}, {c.x(), y + dir * 2 * h}, {c.x() + w, y}});
    }
    p.restore();
}

} // namespace

void ebPaint(QPainter& p, const ExplorerBarModel& model, const QRect& client, const QPalette& palette,
             const QFont& font)
{
    const QColor accent = palette.color(QPalette::Highlight);
    const QColor window = palette.color(QPalette::Window);
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    const QColor link = mix(palette.color(QPalette::Link), text, 0.25);
    const QColor border = mix(window, accent, 0.35);

    p.fillRect(client, mix(window, accent, 0.12));

    QFont bold = font;
    bold.setBold(true);
    const QFontMetrics fm(font), fmBold(bold);

    for (int number : model.shownGroups()) {
        const typExplorerBarGroup& group = *model.groupRecord(number);
        const QRect header = group.rcHeader;
        if (header.isNull()) continue;
        const bool special = number == ExplorerBarModel::kSpecialGroup;
        const bool hot = group.iHeaderState >= 2 || group.bHover;

        // Header: a rounded tab, filled with the accent for the special group.
        QPainterPath tab;
        tab.addRoundedRect(QRectF(header).adjusted(0.5, 0.5, -0.5, 4.0), 4, 4);
        QLinearGradient fill(header.topLeft(), header.topRight());
        if (special) {
            fill.setColorAt(0, accent.darker(110));
            fill.setColorAt(1, accent.lighter(125));
        } else {
            fill.setColorAt(0, base);
            fill.setColorAt(1, mix(base, accent, 0.25));
        }
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setClipRect(header);
        p.fillPath(tab, fill);
        p.restore();

        const QColor captionColor = special ? palette.color(QPalette::HighlightedText)
                                            : (hot ? accent.lighter(130) : accent.darker(140));
        int textLeft = header.left() + 10;
        if (special && !model.m_SpecialIcon.isNull()) {
            const int side = header.height() - 4;
            p.drawPixmap(QRect(header.left() + 4, header.top() + 2, side, side), model.m_SpecialIcon);
            textLeft += side;
        }
        const int chevronWidth = header.height();
        const QRect textRect(textLeft, header.top(), std::max(0, header.right() - chevronWidth - textLeft), header.height());
        p.setFont(bold);
        p.setPen(captionColor);
        p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   fmBold.elidedText(group.sCaption, Qt::ElideRight, textRect.width()));
        drawChevron(p, header, group.bExpanded, captionColor);

        const QRect body = ebBodyRect(group);
        if (body.isNull()) continue;
        p.fillRect(body, special ? mix(base, accent, 0.06) : base);
        p.setPen(border);
        p.drawRect(body.adjusted(0, 0, -1, -1));

        if (number == ExplorerBarModel::kDetailsGroup) {
            QRect area = body.adjusted(kItemIndent, kBodyPadding, -kItemIndent, -kBodyPadding);
            p.setPen(text);
            if (!model.m_sDetailsTitle.isEmpty()) {
                p.setFont(bold);
                const QRect used = p.boundingRect(area, Qt::TextWordWrap, model.m_sDetailsTitle);
                p.drawText(area, Qt::TextWordWrap, model.m_sDetailsTitle);
                area.setTop(used.bottom() + 5);
            }
            if (!model.m_sDetailsText.isEmpty()) {
                p.setFont(font);
                const QRect used = p.boundingRect(area, Qt::TextWordWrap, model.m_sDetailsText);
                p.drawText(area, Qt::TextWordWrap, model.m_sDetailsText);
                area.setTop(used.bottom() + 5);
            }
            if (!model.m_DetailsImage.isNull()) {
                const QSizeF size = model.m_DetailsImage.deviceIndependentSize();
                const double scale = size.width() > area.width() ? area.width() / size.width() : 1.0;
                p.drawPixmap(QRect(area.topLeft(), (size * scale).toSize()), model.m_DetailsImage);
            }
            continue;
        }
        if (group.pChild) continue; // the hosted panel paints itself

        p.setFont(font);
        for (const typExplorerBarItem& item : group.aItems) {
            const QRect row = item.rcItem;
            if (row.isNull() || !row.intersects(client)) continue;
            int left = row.left();
            if (item.iIcon >= 1 && model.m_ImageList) {
                const QPixmap icon = model.m_ImageList->image(item.iIcon);
                const QRect place(left, row.top() + (row.height() - kIconSize) / 2, kIconSize, kIconSize);
                if (!icon.isNull()) p.drawPixmap(place, icon);
            }
            left += kIconSize + 6;
            QFont itemFont = font;
            itemFont.setUnderline(item.bHover);
            p.setFont(itemFont);
            p.setPen(item.bHover ? accent : link);
            const QRect textRect(left, row.top(), std::max(0, row.right() - left), row.height());
            p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                       fm.elidedText(item.sCaption, Qt::ElideRight, textRect.width()));
        }
    }
}

} // namespace tf
