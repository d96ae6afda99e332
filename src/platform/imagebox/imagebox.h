#pragma once
#include "platform/imagebox/imagebox_document.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tf {

// One rectangle outline drawn over the shown image by DrawRectangle, in display pixels, kept as
// the caller passed it (right and bottom exclusive, corners in any order).
struct OverlayRectangle {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const OverlayRectangle&) const = default;
    QRect normalized() const; // the pixels the outline runs along
};

// The second half of the control's Save As (see ImageBox::SaveAsPath): writes `pixels` as the
// picture file `path` names, replacing a file there only once the new one is complete. Blocks for
// as long as the encoding takes: never on the window's thread. Unless `cancelled` answers true
// once the picture is encoded (nothing is then written), empty when written, else what the user
// is told.
QString savePictureAs(const QImage& pixels, const QString& path, int jpegQuality,
                      const std::function<bool()>& cancelled = {});

} // namespace tf

// The image control on a form (ibMain, the pickers' ImageBox1): it holds an ImageDocument and
// shows it fitted into the control or at Zoom percent, centred while smaller than the control
// and scrolled while larger, with DrawRectangle outlines over it. The document is the control's
// own unless one is handed in to share. The document's members that callers reach through the
// control keep their names here as one-line forwarders; code that needs no window takes a
// tf::ImageDocument.
class ImageBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent = nullptr);
    explicit ImageBox(std::shared_ptr<tf::ImageDocument> document, QWidget* parent = nullptr);
    ~ImageBox() override;

    tf::ImageDocument& document() { return *m_document; }
    const tf::ImageDocument& document() const { return *m_document; }
    const std::shared_ptr<tf::ImageDocument>& sharedDocument() const { return m_document; }
    // Shows another document (a null one is replaced by an empty document of the control's own).
    void setDocument(std::shared_ptr<tf::ImageDocument> document);

    // ---- the document's members, as the control offers them
    bool HasImage() const { return m_document->HasImage(); }
    void Clear() { m_document->Clear(); }
    QImage Picture() const { return m_document->Picture(); }
    void setPicture(const QImage& image) { m_document->setPicture(image); }
    QImage BitmapHandle() const { return m_document->BitmapHandle(); }
    void setBitmapHandle(const QImage& image) { m_document->setBitmapHandle(image); }
    const QImage& image() const { return m_document->image(); }
    int32_t ImageWidth() const { return m_document->ImageWidth(); }
    int32_t ImageHeight() const { return m_document->ImageHeight(); }
    int32_t BitsPerPixel() const { return m_document->BitsPerPixel(); }
    void setApplicationName(const QString& v) { m_document->setApplicationName(v); }
    void setViewOption1(int32_t v) { m_document->setViewOption1(v); }
    void setViewOption2(int32_t v) { m_document->setViewOption2(v); }
    void setViewOption3(bool v) { m_document->setViewOption3(v); }
    QString Tag() const { return m_document->Tag(); }
    void setTag(const QString& v) { m_document->setTag(v); }
    int32_t PageIndex() const { return m_document->PageIndex(); }
    void setPageIndex(int32_t page) { m_document->setPageIndex(page); }
    void LoadFromFile(const QString& path) { m_document->LoadFromFile(path); }
    bool LoadFailed() const { return m_document->LoadFailed(); }
    int32_t PageCount(const QString& path) const { return m_document->PageCount(path); }
    tf::ImageSnapshot SaveToVariant(int32_t format) const { return m_document->SaveToVariant(format); }
    void LoadFromVariant(int32_t format, const tf::ImageSnapshot& snapshot) { m_document->LoadFromVariant(format, snapshot); }
    tf::OleColor PixelColor(int32_t x, int32_t y) const { return m_document->PixelColor(x, y); }

    // ---- how the image is shown (imagebox_display.cpp)
    bool FitToWindow() const { return m_fitToWindow; }
    void setFitToWindow(bool fit);
    // Percent. While the image is shown fitted this reads the scale it is shown at.
    double Zoom() const;
    void setZoom(double percent);
    // The whole control, scroll bars or not, which a fitted image is fitted into. Read live: a
    // hidden control gets no resize event, yet callers size it and read DisplayWidth before
    // showing it again.
    QSize boxSize() const;
    QSize displaySize() const;
    int32_t DisplayWidth() const { return displaySize().width(); }
    int32_t DisplayHeight() const { return displaySize().height(); }
    // Draws an outline over the shown image (display pixels, right and bottom exclusive);
    // drawing the same one again removes it. The pixels are never touched; a new image drops
    // the outlines, as a repainted window loses its marks.
    void DrawRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
    const std::vector<tf::OverlayRectangle>& overlayRectangles() const { return m_overlays; }

    // Where the shown image's top-left corner sits in the viewport.
    QPoint imageOrigin() const;
    // A viewport position in display pixels of the image, as the mouse events report it.
    QPoint displayPointAt(QPointF viewportPosition) const;

    // The first half of the control's Save As: asks for a file and its type with the common save
    // dialog. The file to write, given the chosen type's extension when its name has none of that
    // type's; empty without an image or on a cancel. The writing, which can take seconds for a
    // big picture, is savePictureAs's, on a worker.
    QString SaveAsPath();

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
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void imageReplaced();
    void displayChanged();
    void updateScrollBars();
    const QImage& shownImage(QSize display);

    std::shared_ptr<tf::ImageDocument> m_document;
    QMetaObject::Connection m_documentConnection;
    bool m_fitToWindow = false;
    double m_zoom = 100.0;
    std::vector<tf::OverlayRectangle> m_overlays;
    QImage m_scaled; // the image at its fitted size, made once per size
    qint64 m_scaledKey = 0;
};
