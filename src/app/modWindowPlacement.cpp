#include "app/modWindowPlacement.h"

#include "app/modMainLayout.h"

#include <algorithm>

namespace tf {

QRect fncFirstStartGeometry(const QRect& available)
{
    const QSize size = kFirstStartWindowSize.boundedTo(available.size()).expandedTo(kMainWindowMinimumSize);
    const int left = available.left() + std::max(0, (available.width() - size.width()) / 2);
    const int top = available.top() + std::max(0, (available.height() - size.height()) / 2);
    return QRect(QPoint(left, top), size);
}

QSize fncRestoredWindowSize(const QSize& stored, const QSize& available)
{
    return stored.boundedTo(available).expandedTo(kMainWindowMinimumSize);
}

QPoint fncRestoredWindowPosition(const QPoint& stored, const QSize& size, const QRect& available)
{
    const int x = std::max(available.left(), std::min(stored.x(), available.left() + available.width() - size.width()));
    const int y = std::max(available.top(), std::min(stored.y(), available.top() + available.height() - size.height()));
    return {x, y};
}

QPoint fncFramePositionToStore(const QRect& normalGeometry, const QRect& geometry, const QRect& frameGeometry)
{
    return normalGeometry.topLeft() + (frameGeometry.topLeft() - geometry.topLeft());
}

} // namespace tf
