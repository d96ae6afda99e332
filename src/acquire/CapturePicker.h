#pragma once
// The full-screen rectangle picker as plain state: the rectangle, its grips and the pointer shapes
// are the preview's selection tool; this adds what only the picker has (double-click, the toolbar
// that hides and comes back, accept and cancel) and turns the rectangle into the part of the
// grabbed screen to keep. Coordinates are pixels of the grabbed picture.
#include "editing/SelectionTool.h"

#include <QPoint>
#include <QRect>
#include <QSize>

namespace tf {

class CapturePicker {
public:
    enum class Action { None, Accept, Cancel };

    // cmdBar 0: a new rectangle is drawn by the next press.
    void newRectangle() { m_tool.armCropRectangle(); }

    // Any mouse button counts the same.
    MouseOutcome press(QPoint pos) { return m_tool.press(SelectionTool::Button::Left, pos, {}, {}); }
    MouseOutcome move(QPoint pos) { return m_tool.move(pos, {}, {}); }
    MouseOutcome release(QPoint pos) { return m_tool.release(SelectionTool::Button::Left, pos); }
    // Inside the rectangle: accept (when there is something to keep). Elsewhere: the toolbar is
    // toggled.
    Action doubleClick();
    // The pointer over the picker's own window: the top rows bring the toolbar back.
    void windowMove(QPoint pos)
    {
        if (pos.y() < 10) m_toolbarVisible = true;
    }
    void toggleToolbar() { m_toolbarVisible = !m_toolbarVisible; }
    bool toolbarVisible() const { return m_toolbarVisible; }

    // Whether a drawn rectangle covers at least one pixel: accept is ignored until one does, so a
    // click without a drag never crops the screen to nothing.
    bool canAccept() const;
    // The pixels of `picture` inside the drawn outline, corners included whichever way it was
    // drawn, cut to the picture (the rectangle may have been moved past its edge). Empty when
    // nothing can be kept.
    QRect cropRect(QSize picture) const;

    const SelectionTool& tool() const { return m_tool; }
    SelDragMode mode() const { return m_tool.mode(); }

private:
    SelectionTool m_tool;
    bool m_toolbarVisible = true;
};

} // namespace tf
