#include "controls/explorerbar/ExplorerBarLayout.h"

#include <QFontMetrics>
#include <algorithm>

namespace tf {

using namespace eblayout;

namespace {

int itemRowHeight(const QFontMetrics& fm) { return std::max(kIconSize + 4, fm.height() + 4); }

int detailsBodyHeight(const ExplorerBarModel& model, int width, const QFont& font)
{
    QFont bold = font;
    bold.setBold(true);
    const int textWidth = std::max(1, width - 2 * kItemIndent);
    int height = kBodyPadding;
    if (!model.m_sDetailsTitle.isEmpty())
        height += QFontMetrics(bold).boundingRect(QRect(0, 0, textWidth, 100000), Qt::TextWordWrap,
                                                  model.m_sDetailsTitle).height() + 4;
    if (!model.m_sDetailsText.isEmpty())
        height += QFontMetrics(font).boundingRect(QRect(0, 0, textWidth, 100000), Qt::TextWordWrap,
                                                  model.m_sDetailsText).height() + 4;
    if (!model.m_DetailsImage.isNull()) {
        const QSizeF size = model.m_DetailsImage.deviceIndependentSize();
        const double scale = size.width() > textWidth ? textWidth / size.width() : 1.0;
        height += static_cast<int>(size.height() * scale) + 4;
    }
    return height + kBodyPadding;
}

} // namespace

int ebLayout(ExplorerBarModel& model, int clientWidth, int scroll, const QFont& font)
{
    const QFontMetrics fm(font);
    const int rowHeight = itemRowHeight(fm);
    const int width = std::max(0, clientWidth - 2 * kMargin);
    model.m_lClientWidth = clientWidth;

    auto hide = [](typExplorerBarGroup& group) {
        group.rcHeader = QRect();
        group.lBodyHeight = 0;
        for (typExplorerBarItem& item : group.aItems) item.rcItem = QRect();
    };
    for (int n : {ExplorerBarModel::kSpecialGroup, ExplorerBarModel::kDetailsGroup}) hide(*model.groupRecord(n));

    int y = kMargin;
    for (int number : model.shownGroups()) {
        typExplorerBarGroup& group = *model.groupRecord(number);
        hide(group);
        group.rcHeader = QRect(kMargin, y - scroll, width, kHeaderHeight);
        y += kHeaderHeight;
        if (group.bExpanded) {
            int body = 0;
            if (number == ExplorerBarModel::kDetailsGroup) {
                body = detailsBodyHeight(model, width, font);
            } else if (group.pChild) {
                body = group.pChild->height();
            } else {
                int rowTop = y + kBodyPadding;
                for (typExplorerBarItem& item : group.aItems) {
                    item.rcItem = QRect(kMargin + kItemIndent, rowTop - scroll, std::max(0, width - 2 * kItemIndent), rowHeight);
                    rowTop += rowHeight;
                }
                body = 2 * kBodyPadding + group.iItemCount() * rowHeight;
            }
            group.lBodyHeight = body;
            y += body;
        }
        y += kGroupSpacing;
    }
    return model.shownGroups().isEmpty() ? 0 : y - kGroupSpacing + kMargin;
}

QRect ebBodyRect(const typExplorerBarGroup& group)
{
    if (group.rcHeader.isNull() || !group.bExpanded || group.lBodyHeight <= 0) return QRect();
    return QRect(group.rcHeader.left(), group.rcHeader.bottom() + 1, group.rcHeader.width(), group.lBodyHeight);
}

EbHit ebHitTest(const ExplorerBarModel& model, QPoint point)
{
    for (int number : model.shownGroups()) {
        const typExplorerBarGroup& group = *model.groupRecord(number);
        if (group.rcHeader.contains(point)) return {number, 0};
        if (group.pChild) continue; // a hosted panel takes its own clicks
        for (const typExplorerBarItem& item : group.aItems)
            if (item.rcItem.contains(point)) return {number, item.iIndex};
    }
    return {};
}

} // namespace tf
