#pragma once
#include <QPoint>
#include <QSize>

namespace tf {

// The size an image is shown at when fitted into a box: the aspect ratio kept, never enlarged,
// at least 1 x 1. Fitting an image again into the size this returns gives that size back, so a
// control that is resized to its own display size keeps showing the same picture. An invalid
// box (a control without a window) shows the image at its own size; a collapsed one at least 1 x 1.
QSize fitSize(QSize image, QSize box);

// The size an image is shown at a zoom in percent (each side rounded half to even, at least 1).
QSize zoomedSize(QSize image, double zoomPercent);

// Where an image of the given display size sits in a viewport: centred while it is smaller,
// otherwise at the origin less the scroll offset.
QPoint displayOrigin(QSize display, QSize viewport, QPoint scroll);

} // namespace tf
