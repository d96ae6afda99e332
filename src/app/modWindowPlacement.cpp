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

} // namespace tf
