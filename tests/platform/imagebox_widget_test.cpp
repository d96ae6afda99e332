#include "support/imagebox_testutil.h"
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

struct Box {
    struct Event { int16_t button = -1, shift = -1; int32_t x = 0, y = 0; };
    explicit Box(QSize size)
    {
        box.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box.resize(size);
        box.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&box));
        const auto keep = [this](int16_t b, int16_t s, int32_t x, int32_t y) { last = {b, s, x, y}; };
        for (auto signal : {&ImageBox::MouseDown, &ImageBox::MouseMove, &ImageBox::MouseUp})
            QObject::connect(&box, signal, keep);
    }
    Event send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held, Qt::KeyboardModifiers mods = {})
    {
        last = {};
        QMouseEvent e(type, QPointF(at), box.viewport()->mapToGlobal(QPointF(at)), button, held, mods);
        QApplication::sendEvent(box.viewport(), &e);
        return last;
    }
    // The image pixel under a reported point, the way the preview's handlers compute it.
    QPoint imagePoint(const Event& r) const
    {
        return QPoint(static_cast<int>(roundHalfEven(double(box.ImageWidth()) / box.DisplayWidth() * r.x)),
                      static_cast<int>(roundHalfEven(double(box.ImageHeight()) / box.DisplayHeight() * r.y)));
    }
    QImage shot() { return box.viewport()->grab().toImage(); }
    ImageBox box;
    Event last;
};

} // namespace

TEST(ImageBoxWidget, FittedAndZoomedDisplaySizes)
{
    Box b({200, 100});
    b.box.setPicture(test::patterned(400, 100));
    b.box.setFitToWindow(true);
    EXPECT_EQ(b.box.displaySize(), QSize(200, 50));
    EXPECT_EQ(b.box.imageOrigin(), QPoint(0, 25));
    // The preview sizes the control to its display size; the picture keeps its size.
    b.box.resize(b.box.DisplayWidth(), b.box.DisplayHeight());
    EXPECT_EQ(b.box.displaySize(), QSize(200, 50));

    // The preview sizes a hidden (or never shown) control, which gets no resize events.
    b.box.hide();
    b.box.resize(100, 100);
    EXPECT_EQ(b.box.displaySize(), QSize(100, 25));
    ImageBox neverShown;
    neverShown.setPicture(test::patterned(400, 100));
    neverShown.setFitToWindow(true);
    neverShown.resize(40, 40);
    EXPECT_EQ(QSize(neverShown.DisplayWidth(), neverShown.DisplayHeight()), QSize(40, 10));
    EXPECT_DOUBLE_EQ(neverShown.Zoom(), 10.0); // fitted, Zoom reads the scale shown
    for (double bad : {0.0, -5.0, 1e6, std::nan("")}) EXPECT_THROW(neverShown.setZoom(bad), ImageBoxError) << bad;
    b.box.show();

    b.box.resize(200, 100);
    b.box.setFitToWindow(false);
    EXPECT_EQ(b.box.displaySize(), QSize(400, 100));
    EXPECT_EQ(b.box.horizontalScrollBar()->maximum(), 200);
    b.box.setZoom(25);
    EXPECT_EQ(b.box.displaySize(), QSize(100, 25));
    EXPECT_EQ(b.box.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(b.box.imageOrigin(), QPoint(50, 38)); // centred; 37.5 rounds to even

    b.box.setZoom(50); // what is painted is the picture at its display size
    const QImage expected = b.box.image().scaled(200, 50, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_EQ(QColor(b.shot().pixel(10, 25 + 10)), QColor(expected.pixel(10, 10)));
}

TEST(ImageBoxWidget, DrawRectangleTwiceLeavesPixelsAndDisplayAsBefore)
{
    Box b({120, 80});
    const QImage pic = test::patterned(100, 60);
    b.box.setPicture(pic);
    const QImage before = b.shot();
    const QPoint o = b.box.imageOrigin();
    auto changed = [&](const QImage& now, int x, int y) { return now.pixel(o + QPoint(x, y)) != before.pixel(o + QPoint(x, y)); };

    b.box.DrawRectangle(10, 10, 31, 21); // right and bottom exclusive
    QImage drawn = b.shot();
    EXPECT_TRUE(changed(drawn, 10, 10) && changed(drawn, 30, 20) && changed(drawn, 10, 15));
    EXPECT_FALSE(changed(drawn, 31, 21) || changed(drawn, 20, 15)); // outside, inside
    b.box.DrawRectangle(31, 21, 10, 10); // corners the other way round are another outline
    EXPECT_EQ(b.box.overlayRectangles().size(), 2u);
    b.box.DrawRectangle(31, 21, 10, 10);
    b.box.DrawRectangle(10, 10, 31, 21);
    EXPECT_TRUE(b.shot() == before);
    EXPECT_TRUE(b.box.image() == pic);

    // A one-pixel-wide outline (a grip) must not cancel itself where its edges meet.
    b.box.DrawRectangle(40, 40, 41, 45);
    drawn = b.shot();
    for (int y = 40; y < 45; ++y) EXPECT_TRUE(changed(drawn, 40, y)) << y;
    b.box.setPicture(pic); // a new picture starts without outlines
    EXPECT_TRUE(b.box.overlayRectangles().empty());
}

TEST(ImageBoxWidget, MouseEventsReportDisplayPixelsThatMapToTheImage)
{
    Box b({200, 200});
    b.box.setPicture(test::patterned(400, 100));

    b.box.setFitToWindow(true); // shown 200 x 50, centred at y = 75
    Box::Event e = b.send(QEvent::MouseButtonPress, {100, 80}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(e.button, 1);
    EXPECT_EQ(e.shift, 0);
    EXPECT_EQ(QPoint(e.x, e.y), QPoint(100, 5));
    EXPECT_EQ(b.imagePoint(e), QPoint(200, 10));

    b.box.setFitToWindow(false); // actual size, scrolled: the window's left edge shows column 150
    b.box.horizontalScrollBar()->setValue(150);
    e = b.send(QEvent::MouseMove, {0, 120}, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(e.button, 1); // the buttons held
    EXPECT_EQ(e.shift, 1);
    EXPECT_EQ(b.imagePoint(e), QPoint(150, 70));

    b.box.setZoom(200); // 800 x 200: display pixel 2x is image pixel x
    b.box.horizontalScrollBar()->setValue(0);
    e = b.send(QEvent::MouseButtonRelease, {51, 199}, Qt::RightButton, Qt::NoButton, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(e.button, 2);
    EXPECT_EQ(e.shift, 6);
    EXPECT_EQ(b.imagePoint(e), QPoint(26, 100)); // 25.5 rounds to the even 26

    EXPECT_EQ(b.send(QEvent::MouseMove, {3, 4}, Qt::NoButton, Qt::NoButton).button, 0);
    EXPECT_EQ(b.send(QEvent::MouseButtonPress, {3, 4}, Qt::MiddleButton, Qt::MiddleButton).button, 4);
    QSignalSpy dbl(&b.box, &ImageBox::DblClick);
    b.send(QEvent::MouseButtonDblClick, {3, 4}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(dbl.count(), 1);
}

TEST(ImageBoxWidget, ShowsTheDocumentItHoldsWhoeverChangesIt)
{
    auto shared = std::make_shared<ImageDocument>();
    ImageBox first(shared), second(shared);
    first.resize(100, 100);
    first.setFitToWindow(true);
    first.DrawRectangle(1, 1, 5, 5);
    shared->setPicture(test::patterned(400, 100)); // a page writer's load, no widget involved
    EXPECT_EQ(second.ImageWidth(), 400);
    EXPECT_EQ(first.displaySize(), QSize(100, 25)) << "how it is shown stays each control's own";
    EXPECT_EQ(second.displaySize(), QSize(400, 100));
    EXPECT_TRUE(first.overlayRectangles().empty()) << "outlines go with the picture they were drawn on";

    second.setDocument(nullptr); // an empty document of its own; the shared one is untouched
    EXPECT_FALSE(second.HasImage());
    EXPECT_TRUE(first.HasImage());
}
