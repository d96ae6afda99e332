#pragma once
#include "controls/explorerbar/ExplorerBarModel.h"

#include <QFont>
#include <QPainter>
#include <QPalette>

namespace tf {

// Draws the whole bar from the model after a layout pass: background, headers, bodies, items and
// the details group. Plain colours from the palette; the one place to change for a themed look.
void ebPaint(QPainter& painter, const ExplorerBarModel& model, const QRect& client, const QPalette& palette,
             const QFont& font);

} // namespace tf
