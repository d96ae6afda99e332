#pragma once
#include "controls/explorerbar/ExplorerBarModel.h"

#include <QFont>
#include <QPoint>

namespace tf {

// The plain arrangement of the bar: groups stacked from the top with a margin around them, each a
// header and, while expanded, a body of item rows, a hosted panel at its own height, or the
// details text. Kept apart from the widget so that a finer layout can take its place.
namespace eblayout {
inline constexpr int kMargin = 12;        // around the column of groups
inline constexpr int kGroupSpacing = 12;  // between one group's body and the next header
inline constexpr int kHeaderHeight = 25;
inline constexpr int kBodyPadding = 8;    // above the first and below the last item row
inline constexpr int kItemIndent = 12;
inline constexpr int kIconSize = 16;
} // namespace eblayout

// Sets every shown group's header, body height and item rectangles for a client area of the
// given width, with the content scrolled up by `scroll` pixels; items of collapsed or hidden
// groups get empty rectangles. Gives the height of the whole content.
int ebLayout(ExplorerBarModel& model, int clientWidth, int scroll, const QFont& font);

// The area below a shown, expanded group's header that its body takes (empty otherwise).
QRect ebBodyRect(const typExplorerBarGroup& group);

// What lies under a point of the client area, after a layout pass: a group's header
// (item 0), one of its items (1..count), or nothing (group kNoGroup).
struct EbHit {
    int group = ExplorerBarModel::kNoGroup;
    int item = 0;
    bool isNothing() const { return group == ExplorerBarModel::kNoGroup; }
    bool isHeader() const { return !isNothing() && item == 0; }
    bool operator==(const EbHit&) const = default;
};
EbHit ebHitTest(const ExplorerBarModel& model, QPoint point);

} // namespace tf
