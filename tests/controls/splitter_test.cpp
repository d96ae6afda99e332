#include "controls/splitter.h"
#include "controls/splittermodel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStringList>
#include <cmath>
#include <gtest/gtest.h>

using namespace tf;

namespace {
SplitterModel topBottom(int w, int h)
{
    SplitterModel m;
    m.setOrientation(SplitterModel::kHorizontalBar);
    m.resize(w, h);
    return m;
}

struct SplitterRig {
    QWidget host;
    Splitter* spl = new Splitter(&host);
    QWidget* first = new QWidget(spl);
    QWidget* second = new QWidget(spl);
    QWidget* bar = spl->findChild<QWidget*>("picSplitter");
    QWidget* shadow = spl->findChild<QWidget*>("picMover");
    QStringList log;

    explicit SplitterRig(int orientation)
    {
        spl->setOrientation(orientation);
        spl->setLeftOrTopControl(first);
        spl->setRightOrBottomControl(second);
        spl->setGeometry(0, 0, 400, 300);
        host.resize(400, 300);
        host.show();
        QObject::connect(spl, &Splitter::SplitBegin, [this] { log << "Begin"; });
        QObject::connect(spl, &Splitter::SplitMove, [this] { log << "Move"; });
        QObject::connect(spl, &Splitter::SplitComplete,
                         [this] { log << QStringLiteral("Complete %1").arg(first->height()); });
    }
    void mouse(QEvent::Type type, QPointF atBar, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent e(type, atBar, bar->mapToGlobal(atBar), button, held, Qt::NoModifier);
        QApplication::sendEvent(bar, &e);
    }
};
} // namespace

TEST(SplitterModel, LimitsAndPositionClampAsStored)
{
    enum Field { Max, Min, Position };
    // Applied in order to one model: each limit is clamped to 0..100 (Max to 1..99 first when
    // out of range) and then kept on its side of the other; the position is not re-clamped when
    // a limit moves.
    const std::tuple<Field, int, int, int> steps[] = {
        {Max, 101, Max, 99},   {Max, 100, Max, 100},   {Max, -5, Max, 11},     {Min, -1, Min, 1},
        {Max, -5, Max, 1},     {Min, 0, Min, 0},       {Min, 150, Min, 0},     {Max, 90, Max, 90},
        {Min, 10, Min, 10},    {Position, 95, Position, 90}, {Position, 3, Position, 10},
        {Max, 50, Position, 10}, {Min, 20, Position, 10},
    };
    SplitterModel m;
    EXPECT_EQ(m.SplitterWidth(), 5);
    for (const auto& [field, value, read, expected] : steps) {
        if (field == Max) m.setSplitterMax(value);
        else if (field == Min) m.setSplitterMin(value);
        else m.setSplitterPosition(value);
        const int got = read == Max ? m.SplitterMax() : read == Min ? m.SplitterMin() : m.SplitterPosition();
        EXPECT_EQ(got, expected) << "after setting " << field << " to " << value;
    }
}

TEST(SplitterModel, HostileValuesNeverCrossTheLimits)
{
    SplitterModel m;
    const int values[] = {INT32_MIN, -101, -1, 0, 1, 9, 10, 50, 90, 99, 100, 101, INT32_MAX};
    for (int a : values)
        for (int b : values) {
            m.setSplitterMax(a);
            m.setSplitterMin(b);
            ASSERT_LE(m.SplitterMin(), m.SplitterMax()) << a << " " << b;
            ASSERT_LE(m.SplitterMax(), 100);
            m.setSplitterPosition(a);
            ASSERT_GE(m.SplitterPosition(), m.SplitterMin());
            ASSERT_LE(m.SplitterPosition(), m.SplitterMax());
        }
}

TEST(SplitterModel, DragAcceptsOnlyStrictlyInsideTheBandAndPanesTileTheArea)
{
    // Exact percents stay exact (a binary quotient lands one low here).
    EXPECT_EQ(SplitterModel::percentOf(1320, 3000), 44);
    EXPECT_EQ(SplitterModel::percentOf(10, 0), 0);

    SplitterModel m = topBottom(800, 6000);
    EXPECT_FALSE(m.dragTo(3333)); // no drag begun: a hover
    m.beginDrag();
    EXPECT_TRUE(m.dragTo(3333));
    EXPECT_EQ(m.SplitterPosition(), 55);
    EXPECT_EQ(m.moverRect(), QRect(0, 3333, 800, 5));
    EXPECT_EQ(m.barRect().top(), 3000); // the bar waits for the release

    for (double edge : {5400.0, 600.0, 5399.5 /* rounds to even: 5400 */, std::nan("")})
        EXPECT_FALSE(m.dragTo(edge)) << edge;
    EXPECT_EQ(m.moverRect().top(), 3333);
    EXPECT_EQ(m.SplitterPosition(), 55);
    EXPECT_TRUE(m.dragTo(600.6)); // percent from 601, shadow at the unrounded pixel
    EXPECT_EQ(m.moverRect().top(), 600);
    EXPECT_EQ(m.SplitterPosition(), 10);

    m.endDrag();
    EXPECT_EQ(m.barRect(), m.moverRect());
    EXPECT_FALSE(m.dragTo(1000));

    SplitterModel lr;
    lr.resize(1000, 300);
    lr.beginDrag();
    EXPECT_TRUE(lr.dragTo(250.0));
    EXPECT_EQ(lr.moverRect(), QRect(250, 0, 5, 300));
    EXPECT_EQ(lr.SplitterPosition(), 25);
    lr.endDrag();

    // The panes tile the area and never go negative.
    lr.setSplitterPosition(33);
    lr.resize(401, 300);
    EXPECT_EQ(lr.barRect(), QRect(132, 0, 5, 300)); // Int(401 * 33 / 100)
    EXPECT_EQ(lr.leftOrTopRect(), QRect(0, 0, 132, 300));
    EXPECT_EQ(lr.rightOrBottomRect(), QRect(137, 0, 264, 300));
    lr.resize(1000, 300); // the percent is kept, not the pixel
    EXPECT_EQ(lr.barRect().left(), 330);

    for (int size : {50, 333, 1024})
        for (int pos : {10, 37, 90}) {
            SplitterModel square = topBottom(size, size);
            square.setSplitterPosition(pos);
            const QRect a = square.leftOrTopRect(), b = square.rightOrBottomRect();
            EXPECT_EQ(a.height() + 5 + b.height(), size);
            EXPECT_EQ(b.top(), a.height() + 5);
        }

    SplitterModel tiny = topBottom(10, 3); // smaller than its bar
    tiny.setSplitterWidth(8);
    EXPECT_EQ(tiny.leftOrTopRect().height(), 1);
    EXPECT_EQ(tiny.rightOrBottomRect(), QRect(0, 9, 10, 0));

    SplitterModel full; // Max 100 puts the bar past the far edge
    full.setSplitterMax(100);
    full.setSplitterPosition(100);
    full.resize(200, 50);
    EXPECT_EQ(full.leftOrTopRect(), QRect(0, 0, 200, 50));
    EXPECT_EQ(full.rightOrBottomRect().width(), 0);
    full.setSplitterWidth(-20);
    EXPECT_EQ(full.SplitterWidth(), 0);
}

// ---- the widget -------------------------------------------------------------------------------

TEST(Splitter, PlacesPanesWhereItsModelSaysAndSkipsAbsentOnes)
{
    SplitterRig lr(0);
    lr.spl->setSplitterPosition(30);
    lr.spl->resize(800, 300);
    EXPECT_EQ(lr.first->geometry(), lr.spl->model().leftOrTopRect());
    EXPECT_EQ(lr.second->geometry(), QRect(245, 0, 555, 300));
    EXPECT_FALSE(lr.shadow->isVisible());

    lr.spl->setLeftOrTopControl(nullptr);
    delete lr.second;
    EXPECT_EQ(lr.spl->RightOrBottomControl(), nullptr);
    lr.spl->setSplitterPosition(40);
    EXPECT_EQ(lr.bar->geometry(), QRect(320, 0, 5, 300));
    lr.spl->setLeftOrTopControl(lr.spl); // itself: refused, not a layout loop
    EXPECT_EQ(lr.spl->LeftOrTopControl(), nullptr);
}

TEST(Splitter, NestedSplitterPaneLaysOutItsOwnPanes)
{
    SplitterRig outer(1); // 400 x 300, top and bottom
    auto* inner = new Splitter(outer.spl);
    auto* view = new QWidget(inner);
    inner->setRightOrBottomControl(view);
    inner->show();
    outer.spl->setLeftOrTopControl(inner);
    EXPECT_EQ(view->geometry(), QRect(205, 0, 195, 150));
    outer.spl->setSplitterPosition(70);
    EXPECT_EQ(view->geometry(), QRect(205, 0, 195, 210)) << "the inner splitter follows its new size";
}

TEST(Splitter, OnlyALeftDragMovesAndPanesFollowOnRelease)
{
    SplitterRig rig(1);
    for (double y : {-40.0, -20.0}) rig.mouse(QEvent::MouseMove, {10, y}, Qt::NoButton, Qt::NoButton);
    rig.mouse(QEvent::MouseButtonPress, {10, 2}, Qt::RightButton, Qt::RightButton);
    rig.mouse(QEvent::MouseMove, {10, -40}, Qt::NoButton, Qt::RightButton);
    rig.mouse(QEvent::MouseButtonRelease, {10, -40}, Qt::RightButton, Qt::NoButton);
    rig.spl->Refresh();
    EXPECT_EQ(rig.spl->SplitterPosition(), 50);
    EXPECT_EQ(rig.bar->geometry().top(), 150);
    EXPECT_TRUE(rig.log.isEmpty());

    const QRect firstBefore = rig.first->geometry();
    rig.mouse(QEvent::MouseButtonPress, {10, 2}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(rig.shadow->isVisible());
    rig.mouse(QEvent::MouseMove, {10, -30}, Qt::NoButton, Qt::LeftButton); // 120
    EXPECT_EQ(rig.shadow->geometry().top(), 120);
    EXPECT_EQ(rig.spl->SplitterPosition(), 40);
    rig.mouse(QEvent::MouseMove, {10, 120}, Qt::NoButton, Qt::LeftButton); // 270, the Max edge
    EXPECT_EQ(rig.shadow->geometry().top(), 120);
    rig.mouse(QEvent::MouseMove, {10, -60}, Qt::NoButton, Qt::LeftButton); // 90
    EXPECT_EQ(rig.spl->SplitterPosition(), 30);
    EXPECT_EQ(rig.bar->geometry().top(), 150);
    EXPECT_EQ(rig.first->geometry(), firstBefore);

    rig.mouse(QEvent::MouseButtonRelease, {10, -60}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(rig.shadow->isVisible());
    EXPECT_EQ(rig.bar->geometry(), QRect(0, 90, 400, 5));
    EXPECT_EQ(rig.second->geometry(), QRect(0, 95, 400, 205));
    // Complete comes after both panes were placed (it logs the top pane's height).
    EXPECT_EQ(rig.log, (QStringList{"Begin", "Move", "Move", "Move", "Complete 90"}));
}

TEST(Splitter, ColourOrientationAndEnabledLeaveThePanesAlone)
{
    SplitterRig rig(0);
    const QRect first = rig.first->geometry();
    rig.spl->setSplitterColor(rgb(255, 0, 0));
    EXPECT_EQ(rig.bar->grab().toImage().pixelColor(1, 1), QColor(255, 0, 0));
    rig.spl->setOrientation(1);
    EXPECT_EQ(rig.bar->geometry(), QRect(0, 150, 400, 5));
    EXPECT_EQ(rig.bar->cursor().shape(), Qt::SizeVerCursor);
    EXPECT_EQ(rig.first->geometry(), first);
    rig.spl->Refresh();
    EXPECT_EQ(rig.first->geometry(), QRect(0, 0, 400, 150));

    rig.spl->setBarEnabled(false);
    EXPECT_FALSE(rig.spl->Enabled());
    EXPECT_TRUE(rig.first->isEnabled());
}
