#pragma once
#include "controls/explorerbar/ExplorerBarModel.h"

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QVector>

namespace tf {

// How wide and how tall text is, the two measures the layout needs. The widget measures with its
// font; tests give fixed metrics so that rectangles are exact.
class EbTextMetrics {
public:
    virtual ~EbTextMetrics() = default;
    virtual int width(const QString& text, bool bold) const = 0;
    // Height of the text wrapped at word breaks into the given width (words are never split).
    virtual int wrappedHeight(const QString& text, int width, bool bold) const = 0;
};

class EbFontMetrics final : public EbTextMetrics {
public:
    explicit EbFontMetrics(const QFont& font);
    int width(const QString& text, bool bold) const override;
    // An empty text still takes one line, so an item without a caption stays clickable.
    int wrappedHeight(const QString& text, int width, bool bold) const override;

private:
    QFont m_font, m_bold;
};

struct EbGeometryIn {
    int W = 0;               // the bar's width and height
    int H = 0;
    int scrollBarWidth = 0;
    bool controlVisible = true; // the scroll bar is only shown on a bar that is on screen
};

// The scroll bar as the layout leaves it; the widget applies it to its QScrollBar.
struct EbScroll {
    bool visible = false;
    int max = 1;
    int small = 4;
    int large = 0;
};

struct EbGeometryOut {
    int clientWidth = 0;
    int overflow = 0;   // content height less the bar's height
    int passes = 0;
};

// The layout pass: every shown header, item and body, the details text rectangle, the client
// width and the scroll range, from the model, the bar's size, the scroll position in the model
// and the text measures. It draws nothing and moves no widget. Rectangles are ordinary QRects;
// a header 24 high from y = 16 is QRect(8, 16, CW - 16, 24).
//
// Spacing, top to bottom: the special header starts 16 below the top, its first item 10 below
// it, 8 between items; its body ends 8 below the last item's gap; the next header starts 30
// below its last item (16 below a collapsed special header). A normal header starts 10 below
// what precedes it; its body ends 12 below the last item's gap, and the next header starts 36
// below the last item (22 after a collapsed header, 12 after a hosted panel, which takes its own
// height). The details header starts 8 below. Items: icon column 20..40, caption 40..CW - 16.
EbGeometryOut layoutExplorerBar(ExplorerBarModel& model, const EbGeometryIn& in, EbScroll& scroll,
                                const EbTextMetrics& metrics);

// The height a hosted panel takes in the layout.
int ebChildHeight(const typExplorerBarGroup& group);

// Headers and items in the order the mouse code looks at them (shown ones only; items of
// expanded groups only). Item 0 is the group's header.
struct EbElement {
    int group = ExplorerBarModel::kNoGroup;
    int item = 0;
    QRect rect;
    bool isHeader() const { return item == 0; }
};
QVector<EbElement> ebElements(const ExplorerBarModel& model);

// A point is on a header or item when it lies on or between its top and bottom edges and
// strictly between its left and right edges.
bool ebHits(const QRect& rect, QPoint point);

} // namespace tf
