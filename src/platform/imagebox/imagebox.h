#pragma once
#include "platform/imagebox/imagebox_document.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <cstdint>

// The image control on a form (ibMain, ibTemp, the pickers' ImageBox1): an ImageDocument shown
// fitted into the control or at Zoom percent, centred while smaller than the control and
// scrolled while larger, with DrawRectangle outlines over it. Code that needs no window takes
// the document (tf::ImageDocument&) and works with either.
class ImageBox : public QAbstractScrollArea, public tf::ImageDocument {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent = nullptr);
    ~ImageBox() override;

    // The whole control, scroll bars or not. Read live: a hidden control gets no resize event,
    // yet callers size it and read DisplayWidth before showing it again.
    QSize boxSize() const override;

    // Where the shown image's top-left corner sits in the viewport.
    QPoint imageOrigin() const;
    // A viewport position in display pixels of the image, as the mouse events report it.
    QPoint displayPointAt(QPointF viewportPosition) const;

    // Asks for a file and its type with the common save dialog and writes the image there, in
    // the format the chosen type names. False without an image, on a cancel, or when the file
    // could not be written (the user is told why; a file it replaces stays whole).
    bool SaveAs();

signals:
    // The control's mouse events. Button: 1 left, 2 right, 4 middle (for MouseMove the buttons
    // held, added up, 0 for none); Shift: 1 Shift, 2 Ctrl, 4 Alt, added up. x and y are display
    // pixels counted from the shown image's top-left corner, as the control's own pixels were:
    // an image point is ImageWidth / DisplayWidth * x (and likewise y), at any fit or zoom.
    void MouseDown(int16_t Button, int16_t Shift, int32_t x, int32_t y);
    void MouseMove(int16_t Button, int16_t Shift, int32_t x, int32_t y);
    void MouseUp(int16_t Button, int16_t Shift, int32_t x, int32_t y);
    void DblClick();

protected:
    void documentChanged(Change change) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void updateScrollBars();
    const QImage& shownImage(QSize display);

    QImage m_scaled; // the image at its fitted size, made once per size
    qint64 m_scaledKey = 0;
};
