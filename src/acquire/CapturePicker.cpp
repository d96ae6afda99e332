#include "acquire/CapturePicker.h"

namespace tf {

CapturePicker::Action CapturePicker::doubleClick()
{
    if (m_tool.mode() == SelDragMode::Shown && m_tool.gripHit() == 9)
        return canAccept() ? Action::Accept : Action::None;
    toggleToolbar();
    return Action::None;
}

bool CapturePicker::canAccept() const
{
    // Only a finished rectangle: while armed there is none, and mode 0 has been cleared.
    return m_tool.mode() == SelDragMode::Shown && m_tool.corner1() != m_tool.corner2();
}

QRect CapturePicker::cropRect(QSize picture) const
{
    if (!canAccept()) return {};
    const editops::Bounds b = m_tool.cropRectangle();
    // The outline is drawn through both corners, so both belong to the picture kept.
    const QRect drawn(QPoint(b.left, b.top), QPoint(b.right, b.bottom));
    return drawn.intersected(QRect(QPoint(0, 0), picture));
}

} // namespace tf
