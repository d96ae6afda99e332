// The link's fades, its caption changes, its clicks and its looks.
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

// Ticks until the fade ends; the ticks it took, the last included.
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

// A link as a dialog shows it, in a font that does not depend on the desktop.
struct LinkRig : Hyperlink {
    LinkRig()
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        setFont(font);
        setCaption(QStringLiteral("Visit the home page"));
        resize(150, 20);
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

    m.mouseActions(false);
    EXPECT_EQ(hoverTicksToEnd(m), 28);
    EXPECT_EQ(m.textColor(), QColor(0, 0, 0));

    m.mouseOutFade(); // from the hover colour, its first tick already done
    EXPECT_EQ(m.textColor(), QColor(219, 110, 0));
    EXPECT_TRUE(m.hoverFading());
}

TEST(HyperlinkFade, AMouseMoveMidFadeTurnsItBackAndSystemColoursAreFadedToAsShown)
{
    HyperlinkModel m;
    m.mouseActions(true);
    for (int i = 0; i < 5; ++i) m.tickHover();
    const QColor midway = m.textColor();
    m.mouseActions(false);
    ASSERT_TRUE(m.tickHover());
    EXPECT_LT(m.textColor().red(), midway.red());
    hoverTicksToEnd(m);
    EXPECT_EQ(m.textColor(), QColor(0, 0, 0));

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

    QSignalSpy changed(&link, &Hyperlink::changed);
    link.setCaption(QStringLiteral("New"));
    for (int tick = 1; tick < 26; ++tick) link.Timer2_Timer();
    EXPECT_EQ(link.Caption() + QString::number(changed.count()), "Old0");
    link.Timer2_Timer();
    EXPECT_EQ(link.Caption() + QString::number(changed.count()), "New1");
    EXPECT_EQ(link.model().textColor(), QColor(255, 255, 255));

    int fadeIn = 0;
    for (; link.captionTimerActive() && fadeIn < 100; ++fadeIn) link.Timer2_Timer();
    EXPECT_EQ(fadeIn, 9);
    EXPECT_EQ(changed.count(), 1);

    link.setCaption(QStringLiteral("New"));
    EXPECT_FALSE(link.captionTimerActive()) << "the text on show is not faded again";
}

TEST(Hyperlink, PlainCaptionChangesAtOnceAndOnlyARealChangeIsAnnounced)
{
    Hyperlink link;
    QSignalSpy changed(&link, &Hyperlink::changed);
    for (const char* caption : {"Home", "Home", ""}) {
        link.setCaption(QString::fromLatin1(caption));
        EXPECT_EQ(link.Caption(), caption);
    }
    EXPECT_EQ(changed.count(), 2);
}

TEST(Hyperlink, FadeChangeForcesBlackOnWhiteWithoutCaretsOrHover)
{
    Hyperlink link;
    link.setShowRectangle(true);
    link.setShowCarrot(true);
    EXPECT_FALSE(link.ShowRectangle()) << "carets take the outline's place";
    link.setFadeChange(true);
    EXPECT_FALSE(link.ShowCarrot());
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
    for (int refused : {-1, 40000}) link.setSpeed(refused);
    EXPECT_EQ(link.hoverInterval(), 50);
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
    rig.show();
    QSignalSpy clicked(&rig, &Hyperlink::clicked);
    QTest::mouseClick(&rig, Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    EXPECT_EQ(clicked.count(), 1);
    // No click for the right button, for a release after leaving the link, nor when disabled.
    QTest::mouseClick(&rig, Qt::RightButton, Qt::NoModifier, QPoint(20, 10));
    mouse(&rig, QEvent::MouseButtonPress, QPointF(20, 10), Qt::LeftButton, Qt::LeftButton);
    mouse(&rig, QEvent::MouseMove, QPointF(400, 10), Qt::NoButton, Qt::LeftButton);
    mouse(&rig, QEvent::MouseButtonRelease, QPointF(400, 10), Qt::LeftButton, Qt::NoButton);
    rig.setEnabled(false);
    QTest::mouseClick(&rig, Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(Hyperlink, TheRightAndBottomEdgesCountAsInside)
{
    LinkRig rig;
    const QSize s = rig.size();
    for (const auto& [at, inside] : {std::pair{QPointF(s.width(), s.height()), true}, {QPointF(0, 0), true},
                                     {QPointF(s.width() + 1, 5), false}, {QPointF(5, s.height() + 1), false},
                                     {QPointF(-1, 5), false}}) {
        mouse(&rig, QEvent::MouseMove, QPointF(10, 10), Qt::NoButton, Qt::LeftButton);
        mouse(&rig, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        EXPECT_EQ(rig.model().mouseInside(), inside) << at.x() << "," << at.y();
    }
}

TEST(Hyperlink, EachLookMatchesItsReferencePicture)
{
    const struct { const char* name; bool hover, outline, carets; int alignment; bool enabled; } looks[] = {
        {"hyperlink-idle", false, true, false, Hyperlink::kAlignLeft, true},
        {"hyperlink-hover-outline", true, true, false, Hyperlink::kAlignLeft, true},
        {"hyperlink-hover-right", true, true, false, Hyperlink::kAlignRight, true},
        {"hyperlink-hover-centre", true, true, false, Hyperlink::kAlignCentre, true},
        {"hyperlink-caret-idle", false, false, true, Hyperlink::kAlignLeft, true},
        {"hyperlink-caret-hover", true, false, true, Hyperlink::kAlignLeft, true},
        {"hyperlink-disabled", false, false, false, Hyperlink::kAlignLeft, false},
    };
    for (const auto& look : looks) {
        LinkRig rig;
        rig.setBackColor(rgb(255, 255, 255));
        rig.setShowRectangle(look.outline);
        rig.setShowCarrot(look.carets);
        rig.setAlignment(look.alignment);
        rig.setEnabled(look.enabled);
        if (look.hover) rig.DoMouseActions(true);
        while (rig.hoverTimerActive()) rig.Timer1_Timer();
        EXPECT_TRUE(test::matchesReferencePicture(rig.grab().toImage(), QString::fromLatin1(look.name)));
    }
}
