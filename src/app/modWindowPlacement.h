#pragma once
#include <QRect>
#include <QSize>

// Where the main window opens, as plain functions of the screen's free area.

namespace tf {

// The size the window opens at when none is stored: every pane's controls show whole at it.
inline constexpr QSize kFirstStartWindowSize{1024, 768};

// The first start: kFirstStartWindowSize, or the free area where that is smaller (never below the
// window's minimum), centred in the free area; a window larger than the area starts at its top left.
QRect fncFirstStartGeometry(const QRect& available);

// A stored size as the window can take it: no larger than the free area, no smaller than the
// window's minimum (which wins on a screen smaller still).
QSize fncRestoredWindowSize(const QSize& stored, const QSize& available);

// A stored frame position (top left), moved as little as it takes for a window of `size` to lie
// whole within the free area; a window larger than the area keeps its top left inside it. A screen
// that has gone or shrunk since never leaves the window out of reach.
QPoint fncRestoredWindowPosition(const QPoint& stored, const QSize& size, const QRect& available);

// The frame position to store: that of the window's normal (not maximised) rectangle. Qt gives the
// normal rectangle without the frame, and a position stored without it would come back lower by
// the title bar's height at every start.
QPoint fncFramePositionToStore(const QRect& normalGeometry, const QRect& geometry, const QRect& frameGeometry);

} // namespace tf
