#include "controls/hyperlink.h"
#include "controls/hyperlinkmodel.h"
#include "platform/ui/msgbox.h"
#include "reference_picture.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace tf;

namespace {

const QColor kOrange(255, 128, 0);

// Ticks until the fade ends; the number of ticks it took, the last included.
int hoverTicksToEnd(HyperlinkModel& m)
{
    int ticks = 1;
    while (m.tickHover() && ticks < 1000) ++ticks;
    return ticks;
}

void mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent e(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// A link as a dialog shows it, with a font that does not depend on the desktop.
struct LinkRig {
    Hyperlink link;
    Hyperlink* operator->() { return &link; }
    LinkRig()
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        link.setFont(font);
        link.setCaption(QStringLiteral("Visit the home page"));
        link.resize(150, 20);
    }
};

} // namespace

TEST(HyperlinkFade, HoverFadesInAndOutInTwentyEightTicksAndLandsExactly)
{
    HyperlinkModel m;
    m.mouseActions(true);
    ASSERT_TRUE(m.tickHover());
    EXPECT_EQ(m.textColor(), QColor(36, 18, 0));
    EXPECT_EQ(hoverTicksToEnd(m) + 1, 28);
    EXPECT_EQ(m.textColor(), kOrange);
    EXPECT_FALSE(m.hoverFading());

    m.mouseActions(false);
    EXPECT_EQ(hoverTicksToEnd(m), 28);
    EXPECT_EQ(m.textColor(), QColor(0, 0, 0));

    m.mouseOutFade(); // from the hover colour, its first tick already done
    EXPECT_EQ(m.textColor(), QColor(219, 110, 0));
    EXPECT_TRUE(m.hoverFading());
}

TEST(HyperlinkFade, AMouseMoveMidFadeTurnsItBack)
{
    HyperlinkModel m;
    m.mouseActions(true);
    for (int i = 0; i < 5; ++i) m.tickHover();
    const QColor midway = m.textColor();
    m.mouseActions(false);
    ASSERT_TRUE(m.tickHover());
    EXPECT_LT(m.textColor().red(), midway.red());
    EXPECT_LT(m.textColor().green(), midway.green());
    hoverTicksToEnd(m);
    EXPECT_EQ(m.textColor(), QColor(0, 0, 0));
}

TEST(HyperlinkFade, SystemColoursAreFadedToAsTheyAreShown)
{
    // A system colour is a flagged index, not a colour: the fade must head for what it stands for.
    HyperlinkModel m;
    m.setForeColorMouse(static_cast<OleColor>(0x8000000Du)); // highlight
    m.mouseActions(true);
    hoverTicksToEnd(m);
    EXPECT_EQ(m.textColor(), systemColor(13));
}

TEST(Hyperlink, CaptionFadeSwapsAtWhiteRaisesChangedThereAndEndsOnBlack)
{
    Hyperlink link;
    link.setFadeChange(true);
    link.setCaption(QStringLiteral("Old"));
    while (link.captionTimerActive()) link.Timer2_Timer();
    ASSERT_EQ(link.Caption(), "Old");

    QSignalSpy changed(&link, &Hyperlink::changed);
    link.setCaption(QStringLiteral("New"));
    EXPECT_TRUE(link.captionTimerActive());
    for (int tick = 1; tick < 26; ++tick) {
        link.Timer2_Timer();
        ASSERT_EQ(link.Caption(), "Old") << "tick " << tick;
    }
    EXPECT_EQ(changed.count(), 0);
    link.Timer2_Timer();
    EXPECT_EQ(link.Caption(), "New");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(link.model().textColor(), QColor(255, 255, 255));

    int fadeIn = 0;
    while (link.captionTimerActive() && fadeIn < 100) {
        link.Timer2_Timer();
        ++fadeIn;
    }
    EXPECT_EQ(fadeIn, 9);
    EXPECT_EQ(link.model().textColor(), QColor(0, 0, 0));
    EXPECT_EQ(changed.count(), 1);

    link.setCaption(QStringLiteral("New"));
    EXPECT_FALSE(link.captionTimerActive()) << "the text on show is not faded again";
}

TEST(Hyperlink, PlainCaptionChangesAtOnceAndOnlyARealChangeIsAnnounced)
{
    Hyperlink link;
    QSignalSpy changed(&link, &Hyperlink::changed);
    link.setCaption(QStringLiteral("Home"));
    EXPECT_EQ(link.Caption(), "Home");
    link.setCaption(QStringLiteral("Home"));
    link.setCaption(QString());
    EXPECT_EQ(link.Caption(), "");
    EXPECT_EQ(changed.count(), 2) << "the same caption again is no change";
}

TEST(Hyperlink, FadeChangeForcesBlackOnWhiteWithoutCaretsOrHover)
{
    Hyperlink link;
    link.setShowRectangle(true);
    link.setShowCarrot(true);
    EXPECT_FALSE(link.ShowRectangle()) << "carets take the outline's place";
    link.setFadeChange(true);
    EXPECT_FALSE(link.ShowCarrot());
    EXPECT_EQ(link.ForeColorIdle(), 0);
    EXPECT_EQ(link.BackColor(), rgb(255, 255, 255));
    link.setForeColorIdle(rgb(0, 0, 255));
    link.setBackColor(rgb(10, 20, 30));
    EXPECT_EQ(link.ForeColorIdle(), 0);
    EXPECT_EQ(link.BackColor(), rgb(255, 255, 255));
    link.DoMouseActions(true);
    EXPECT_FALSE(link.hoverTimerActive());
    EXPECT_EQ(link.model().textColor(), QColor(0, 0, 0));
}

TEST(Hyperlink, RefusedSpeedsSayInvalidAndKeepTheInterval)
{
    ScriptedMessageBoxes boxes;
    Hyperlink link;
    for (int refused : {-1, 40000}) {
        link.setSpeed(refused);
        EXPECT_EQ(link.Speed(), 50);
        EXPECT_EQ(link.hoverInterval(), 50);
    }
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[0].prompt, "Invalid property value");
    EXPECT_EQ(boxes.shown()[0].icon(), vbCritical);

    link.setSpeed(20);
    EXPECT_EQ(link.hoverInterval(), 20);
    link.setSpeed(0);
    link.DoMouseActions(true);
    EXPECT_FALSE(link.hoverTimerActive()) << "no fade, and no timer spinning at 0 ms";
    EXPECT_EQ(link.model().textColor(), kOrange);
    EXPECT_EQ(boxes.shown().size(), 2u);
}

TEST(Hyperlink, OneClickPerLeftClickReleasedInside)
{
    LinkRig rig;
    rig.link.show();
    QSignalSpy clicked(&rig.link, &Hyperlink::clicked);
    QTest::mouseClick(&rig.link, Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    EXPECT_EQ(clicked.count(), 1);
    QTest::mouseClick(&rig.link, Qt::RightButton, Qt::NoModifier, QPoint(20, 10));
    EXPECT_EQ(clicked.count(), 1);

    // Pressed on the link, released after leaving it: no click, and the hover ends.
    mouse(&rig.link, QEvent::MouseButtonPress, QPointF(20, 10), Qt::LeftButton, Qt::LeftButton);
    mouse(&rig.link, QEvent::MouseMove, QPointF(20, 10), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(rig->model().mouseInside());
    mouse(&rig.link, QEvent::MouseMove, QPointF(400, 10), Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(rig->model().mouseInside());
    mouse(&rig.link, QEvent::MouseButtonRelease, QPointF(400, 10), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(clicked.count(), 1);

    rig->setEnabled(false);
    QTest::mouseClick(&rig.link, Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(Hyperlink, TheRightAndBottomEdgesCountAsInside)
{
    LinkRig rig;
    const QSize s = rig->size();
    const struct {
        QPointF at;
        bool inside;
    } cases[] = {
        {QPointF(s.width(), s.height()), true}, {QPointF(0, 0), true},           {QPointF(s.width() + 1, 5), false},
        {QPointF(5, s.height() + 1), false},    {QPointF(-1, 5), false},         {QPointF(s.width(), 0), true},
    };
    for (const auto& c : cases) {
        mouse(&rig.link, QEvent::MouseMove, QPointF(10, 10), Qt::NoButton, Qt::LeftButton);
        mouse(&rig.link, QEvent::MouseMove, c.at, Qt::NoButton, Qt::LeftButton);
        EXPECT_EQ(rig->model().mouseInside(), c.inside) << c.at.x() << "," << c.at.y();
    }
}

TEST(Hyperlink, EachLookMatchesItsReferencePicture)
{
    enum Look { Idle, Hover };
    const struct {
        const char* name;
        Look look;
        bool outline;
        bool carets;
        int alignment;
        bool enabled;
    } looks[] = {
        {"hyperlink-idle", Idle, true, false, Hyperlink::kAlignLeft, true},
        {"hyperlink-hover-outline", Hover, true, false, Hyperlink::kAlignLeft, true},
        {"hyperlink-hover-right", Hover, true, false, Hyperlink::kAlignRight, true},
        {"hyperlink-hover-centre", Hover, true, false, Hyperlink::kAlignCentre, true},
        {"hyperlink-caret-idle", Idle, false, true, Hyperlink::kAlignLeft, true},
        {"hyperlink-caret-hover", Hover, false, true, Hyperlink::kAlignLeft, true},
        {"hyperlink-disabled", Idle, false, false, Hyperlink::kAlignLeft, false},
    };
    for (const auto& look : looks) {
        LinkRig rig;
        rig->setBackColor(rgb(255, 255, 255));
        rig->setShowRectangle(look.outline);
        rig->setShowCarrot(look.carets);
        rig->setAlignment(look.alignment);
        rig->setEnabled(look.enabled);
        if (look.look == Hover) {
            rig->DoMouseActions(true);
            while (rig->hoverTimerActive()) rig->Timer1_Timer();
        }
        EXPECT_TRUE(test::matchesReferencePicture(rig->grab().toImage(), QString::fromLatin1(look.name)));
    }
}
