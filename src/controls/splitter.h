#pragma once
#include "controls/splittermodel.h"
#include "platform/sys/colors.h"

#include <QPointer>
#include <QWidget>

namespace tf {

// A container split into two panes by a bar the user drags. The bar's place is a percent of the
// splitter's size, so a resize keeps the proportion; during a drag only a grey shadow follows the
// mouse, and the panes are laid out again when the left button is released.
//
// The panes are widgets of the host, normally children of the splitter; they are placed in the
// splitter's own coordinates, so a splitter is expected to fill its container from the origin.
// Either pane may be absent (or deleted later); an absent pane is skipped. A pane may itself be a
// Splitter. The splitter does not own or reparent its panes.
class Splitter : public QWidget {
    Q_OBJECT
public:
    static constexpr OleColor kDefaultColor = static_cast<OleColor>(0x8000000Fu); // button face

    explicit Splitter(QWidget* parent = nullptr);

    QWidget* LeftOrTopControl() const { return m_leftOrTop; }
    void setLeftOrTopControl(QWidget* pane);
    QWidget* RightOrBottomControl() const { return m_rightOrBottom; }
    void setRightOrBottomControl(QWidget* pane);

    // 1: the bar divides top from bottom; any other value: left from right. Moves the bar only;
    // the panes follow at the next Refresh.
    int Orientation() const { return m_model.Orientation(); }
    void setOrientation(int value);

    int SplitterWidth() const { return m_model.SplitterWidth(); }
    void setSplitterWidth(int pixels);
    int SplitterPosition() const { return m_model.SplitterPosition(); }
    void setSplitterPosition(int percent);
    int SplitterMax() const { return m_model.SplitterMax(); }
    void setSplitterMax(int percent);
    int SplitterMin() const { return m_model.SplitterMin(); }
    void setSplitterMin(int percent);

    // Repaints the bar; no layout.
    OleColor SplitterColor() const { return m_color; }
    void setSplitterColor(OleColor color);

    // Whether the bar takes the mouse. QWidget::setEnabled would also disable the panes, which
    // are children of the splitter; this touches the bar alone.
    bool Enabled() const;
    void setBarEnabled(bool enabled);

    // Bar onto the shadow, then both panes beside it.
    void Refresh();

    const SplitterModel& model() const { return m_model; }

signals:
    void Resize();
    void SplitComplete();
    void SplitMove();
    void SplitBegin();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool acceptsPane(QWidget* pane) const;
    void syncSize();
    void showBars();
    void placePanes();
    QColor barColor() const;

    QWidget* m_picMover = nullptr;
    QWidget* m_picSplitter = nullptr;
    QPointer<QWidget> m_leftOrTop;
    QPointer<QWidget> m_rightOrBottom;
    SplitterModel m_model;
    OleColor m_color = kDefaultColor;
};

} // namespace tf
