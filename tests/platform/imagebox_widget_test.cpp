#include "imagebox_testutil.h"
#include "platform/imagebox/imagebox.h"
#include "platform/sys/numbers.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace tf;

namespace {

struct MouseRecord {
    int16_t button = -1, shift = -1;
    int32_t x = 0, y = 0;
};

class Box {
public:
    explicit Box(QSize size)
    {
        box.setObjectName("ibMain");
        box.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box.resize(size);
        box.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&box));
        QObject::connect(&box, &ImageBox::MouseDown, [this](int16_t b, int16_t s, int32_t x, int32_t y) { down = {b, s, x, y}; });
        QObject::connect(&box, &ImageBox::MouseMove, [this](int16_t b, int16_t s, int32_t x, int32_t y) { move = {b, s, x, y}; });
        QObject::connect(&box, &ImageBox::MouseUp, [this](int16_t b, int16_t s, int32_t x, int32_t y) { up = {b, s, x, y}; });
    }
    void send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held, Qt::KeyboardModifiers mods = {})
    {
        QMouseEvent e(type, QPointF(at), box.viewport()->mapToGlobal(QPointF(at)), button, held, mods);
        QApplication::sendEvent(box.viewport(), &e);
    }
    // The image pixel under a reported point, the way the preview's handlers compute it.
    QPoint imagePoint(const MouseRecord& r) const
    {
        return QPoint(static_cast<int>(roundHalfEven(double(box.ImageWidth()) / box.DisplayWidth() * r.x)),
                      static_cast<int>(roundHalfEven(double(box.ImageHeight()) / box.DisplayHeight() * r.y)));
    }
    ImageBox box;
    MouseRecord down, move, up;
};

} // namespace

TEST(ImageBoxWidget, FittedAndZoomedDisplaySizes)
{
    Box b({200, 100});
    b.box.setPicture(test::patterned(400, 100));
    b.box.setFitToWindow(true);
    EXPECT_EQ(b.box.displaySize(), QSize(200, 50));
    EXPECT_EQ(b.box.imageOrigin(), QPoint(0, 25));
    EXPECT_DOUBLE_EQ(b.box.Zoom(), 50.0);

    // The preview sizes the control to the display size; the picture keeps its size.
    b.box.resize(b.box.DisplayWidth(), b.box.DisplayHeight());
    EXPECT_EQ(b.box.displaySize(), QSize(200, 50));
    EXPECT_EQ(b.box.imageOrigin(), QPoint(0, 0));

    b.box.resize(200, 100);
    b.box.setFitToWindow(false);
    b.box.setZoom(100);
    EXPECT_EQ(b.box.displaySize(), QSize(400, 100));
    EXPECT_EQ(b.box.horizontalScrollBar()->maximum(), 200);
    EXPECT_EQ(b.box.verticalScrollBar()->maximum(), 0);
    b.box.setZoom(25);
    EXPECT_EQ(b.box.displaySize(), QSize(100, 25));
    EXPECT_EQ(b.box.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(b.box.imageOrigin(), QPoint(50, 38)); // centred; 37.5 rounds to even

    // What is painted is the picture at its display size.
    b.box.setZoom(50);
    const QImage shot = b.box.viewport()->grab().toImage();
    const QImage expected = b.box.image().scaled(200, 50, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_EQ(QColor(shot.pixel(10, 25 + 10)), QColor(expected.pixel(10, 10)));
}

TEST(ImageBoxWidget, DrawRectangleTwiceLeavesPixelsAndDisplayAsBefore)
{
    Box b({120, 80});
    const QImage pic = test::patterned(100, 60);
    b.box.setPicture(pic);
    const QImage before = b.box.viewport()->grab().toImage();

    b.box.DrawRectangle(10, 10, 31, 21);
    const QImage drawn = b.box.viewport()->grab().toImage();
    const QPoint o = b.box.imageOrigin();
    EXPECT_NE(drawn.pixel(o + QPoint(10, 10)), before.pixel(o + QPoint(10, 10)));  // on the outline
    EXPECT_NE(drawn.pixel(o + QPoint(30, 20)), before.pixel(o + QPoint(30, 20)));  // last pixel is right - 1
    EXPECT_EQ(drawn.pixel(o + QPoint(31, 21)), before.pixel(o + QPoint(31, 21)));
    EXPECT_EQ(drawn.pixel(o + QPoint(20, 15)), before.pixel(o + QPoint(20, 15)));  // inside is untouched
    EXPECT_TRUE(b.box.image() == pic);

    b.box.DrawRectangle(10, 10, 31, 21);
    EXPECT_TRUE(b.box.viewport()->grab().toImage() == before);
    EXPECT_TRUE(b.box.image() == pic);

    // A one-pixel-wide outline (a grip of width 1) must not cancel itself at its corners.
    b.box.DrawRectangle(40, 40, 41, 45);
    const QImage thin = b.box.viewport()->grab().toImage();
    for (int y = 40; y < 45; ++y) EXPECT_NE(thin.pixel(o + QPoint(40, y)), before.pixel(o + QPoint(40, y))) << y;
}

TEST(ImageBoxWidget, MouseEventsReportDisplayPixelsThatMapToTheImage)
{
    Box b({200, 200});
    b.box.setPicture(test::patterned(400, 100));

    // Fitted: shown 200 x 50, centred at y = 75.
    b.box.setFitToWindow(true);
    b.send(QEvent::MouseButtonPress, {100, 80}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(b.down.button, 1);
    EXPECT_EQ(b.down.shift, 0);
    EXPECT_EQ(QPoint(b.down.x, b.down.y), QPoint(100, 5));
    EXPECT_EQ(b.imagePoint(b.down), QPoint(200, 10));
    EXPECT_EQ(b.box.PixelColor(200, 10), oleFromColor(QColor(b.box.image().pixel(200, 10))));

    // Actual size, scrolled 150 to the right: the left edge of the window shows image column 150.
    b.box.setFitToWindow(false);
    b.box.setZoom(100);
    b.box.horizontalScrollBar()->setValue(150);
    b.send(QEvent::MouseMove, {0, 120}, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(b.move.button, 1);
    EXPECT_EQ(b.move.shift, 1);
    EXPECT_EQ(QPoint(b.move.x, b.move.y), QPoint(150, 70));
    EXPECT_EQ(b.imagePoint(b.move), QPoint(150, 70));

    // Zoomed in: 200 % shows 800 x 200; display pixel 2x is image pixel x.
    b.box.setZoom(200);
    b.box.horizontalScrollBar()->setValue(0);
    b.send(QEvent::MouseButtonRelease, {51, 199}, Qt::RightButton, Qt::NoButton, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(b.up.button, 2);
    EXPECT_EQ(b.up.shift, 6);
    EXPECT_EQ(QPoint(b.up.x, b.up.y), QPoint(51, 199));
    EXPECT_EQ(b.imagePoint(b.up), QPoint(26, 100)); // 25.5 rounds to the even 26

    // Moving with no button held, and the middle button; a double click.
    b.send(QEvent::MouseMove, {3, 4}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(b.move.button, 0);
    b.send(QEvent::MouseButtonPress, {3, 4}, Qt::MiddleButton, Qt::MiddleButton);
    EXPECT_EQ(b.down.button, 4);
    QSignalSpy dbl(&b.box, &ImageBox::DblClick);
    b.send(QEvent::MouseButtonDblClick, {3, 4}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(dbl.count(), 1);
}
