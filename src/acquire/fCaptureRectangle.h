#pragma once
// The full-screen rectangle picker: the grabbed screen with the rectangle drawn over it, and a
// four-button toolbar (new rectangle, accept, hide the toolbar, cancel). Escape cancels too.
#include "acquire/CapturePicker.h"

#include <QImage>
#include <QWidget>

class QToolBar;

namespace tf {

class fCaptureRectangle : public QWidget {
    Q_OBJECT
public:
    explicit fCaptureRectangle(QWidget* parent = nullptr);

    // Shows the screen full size for a new rectangle.
    void ShowPicture(const QImage& screen);
    // 0 new rectangle, 1 accept, 2 toolbar on or off, 3 cancel.
    void cmdBar_Click(int index);

    const CapturePicker& state() const { return m_picker; }
    QToolBar* toolbar() const { return Toolbar1; }

signals:
    // The part of the screen that was chosen.
    void accepted(const QImage& part);
    void cancelled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPoint toPicture(const QPointF& logical) const;
    void apply(const MouseOutcome& out);
    void accept();
    void syncToolbar();

    CapturePicker m_picker;
    QImage m_screen;
    QToolBar* Toolbar1 = nullptr;
};

} // namespace tf
