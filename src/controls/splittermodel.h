#pragma once
#include <QRect>

namespace tf {

// The arithmetic of a two-pane splitter, kept apart from any widget so that every rule can be
// checked with plain numbers. Lengths are pixels of the splitter's own area; the three limits are
// percents of the splitter's height (Orientation 1) or width (any other value).
//
// Two rectangles carry the state between layouts, as the widget's two bars do: the shadow
// ("mover") is where the next layout puts the bar, and the bar is where the panes were last
// split. A drag moves only the shadow; the bar and the panes follow when the drag ends.
class SplitterModel {
public:
    static constexpr int kHorizontalBar = 1;   // Orientation value: the bar divides top from bottom
    static constexpr int kDefaultWidth = 5;    // the classic 70-twip bar at 15 twips per pixel
    static constexpr int kDefaultMax = 90;
    static constexpr int kDefaultMin = 10;
    static constexpr int kDefaultPosition = 50;

    // The splitter's own size. setSize only records it; resize is the splitter's resize: the
    // size, then the shadow at the stored percent, then the bar onto it.
    void setSize(int width, int height);
    void resize(int width, int height);
    int width() const { return m_w; }
    int height() const { return m_h; }

    // Stores the value and puts bar and shadow where the percent says; the panes are left alone
    // until the next refresh.
    void setOrientation(int value);
    int Orientation() const { return m_orientation; }
    bool isTopBottom() const { return m_orientation == kHorizontalBar; }

    // These setters clamp as described at each one, then lay out shadow and bar.
    void setSplitterWidth(int value);
    int SplitterWidth() const { return m_barWidth; }
    void setSplitterPosition(int value);
    int SplitterPosition() const { return m_position; }
    void setSplitterMax(int value);
    int SplitterMax() const { return m_max; }
    void setSplitterMin(int value);
    int SplitterMin() const { return m_min; }

    // The shadow at the stored percent, full span, no clamping.
    void placeMover();
    // The bar onto the shadow; the panes are then split at the bar.
    void refresh();

    QRect moverRect() const { return m_mover; }
    QRect barRect() const { return m_bar; }
    // Panes on either side of the bar. A size that would be negative (a splitter smaller than its
    // bar, or a bar pushed past an edge) is 0, so both panes can always be placed.
    QRect leftOrTopRect() const;
    QRect rightOrBottomRect() const;

    // The drag. Begin puts the shadow onto the bar. A move takes the bar-relative mouse offset
    // added to the bar's leading edge; it is accepted only strictly inside the band between the
    // two limits, and then moves the shadow and sets the percent. End puts the bar onto the
    // shadow. Moves outside a begun drag are ignored: hovering never shifts the bar.
    void beginDrag();
    bool dragTo(double edge);
    void endDrag();
    bool isDragging() const { return m_dragging; }

    // floor(100 * c / size) in whole numbers (so exact percents are not lost to a binary
    // fraction); 0 for an empty size.
    static int percentOf(int c, int size);
    // floor(size * percent / 100), the pixel at which a percent lies.
    static int pixelAt(int size, int percent);

private:
    int spanLength() const { return isTopBottom() ? m_h : m_w; }
    QRect rectAt(int edge) const;

    int m_w = 0;
    int m_h = 0;
    int m_orientation = 0;
    int m_barWidth = kDefaultWidth;
    int m_position = kDefaultPosition;
    int m_max = kDefaultMax;
    int m_min = kDefaultMin;
    QRect m_mover;
    QRect m_bar;
    bool m_dragging = false;
};

} // namespace tf
