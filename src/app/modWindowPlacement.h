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

} // namespace tf
