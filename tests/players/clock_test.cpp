#include "players/kit/ClockFace.h"
#include "players/kit/clsDemoClock.h"

#include "platform/ui/msgbox.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tf::players;

namespace {

QImage white(int w = 40, int h = 40)
{
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(Qt::white);
    return picture;
}

} // namespace

TEST(ClockDrawing, ShapesMatchTheirReferences)
{
    struct Case {
        const char* name;
        std::function<void(clsDemoClock&)> draw;
    };
    const Case cases[] = {
        {"ellipse", [](clsDemoClock& c) { c.CircleDIB(20, 20, 15, 9, 0x0000FF, true); }},
        {"ellipse-coarse", [](clsDemoClock& c) { c.CircleDIB(20, 20, 15, 9, 0x0000FF, false); }},
        {"point-on-pixel-centre", [](clsDemoClock& c) { c.CircleDIB(20, 20, 0, 0, 0x000000, true); }},
        {"arc-through-zero", [](clsDemoClock& c) { c.ArcDIB(20, 20, 14, 14, 300, 60, 0xFF0000, true); }},
        {"line-steep", [](clsDemoClock& c) { c.LineDIB(12, 4, 19, 35, 0x008000); }},
        {"line-shallow-backwards", [](clsDemoClock& c) { c.LineDIB(36, 30, 4, 21, 0x008000); }},
        {"line-ends-coincide", [](clsDemoClock& c) { c.LineDIB(20, 20, 20, 20, 0x000000); }},
        {"system-colour", [](clsDemoClock& c) { c.LineDIB(5, 5, 35, 35, static_cast<tf::OleColor>(0x80000008u)); }},
    };
    for (const Case& c : cases) {
        QImage picture = white();
        clsDemoClock clock;
        clock.DIB(&picture);
        c.draw(clock);
        clock.Array2Pic();
        EXPECT_TRUE(matchesReference(picture, QString::fromLatin1(c.name))) << c.name;
    }
}

TEST(ClockDrawing, StraightOntoAPictureAsIntoTheArray)
{
    QImage direct = white();
    clsDemoClock clock;
    clock.ArcGP(direct, 20, 20, 14, 14, 300, 60, 0xFF0000, true);
    clock.LineGP(direct, 12, 4, 19, 35, 0x008000);
    QImage viaArray = white();
    clock.DIB(&viaArray);
    clock.ArcDIB(20, 20, 14, 14, 300, 60, 0xFF0000, true);
    clock.LineDIB(12, 4, 19, 35, 0x008000);
    clock.Array2Pic();
    EXPECT_EQ(direct, viaArray);
}

TEST(ClockDrawing, AColourThatDoesNotTranslateDrawsBlack)
{
    const struct {
        uint32_t color;
        QRgb drawn;
    } cases[] = {
        {0x00FF0000u, qRgb(0, 0, 255)},  {0x02FF0000u, qRgb(0, 0, 255)}, // plain, palette-relative
        {0x80000008u, qRgb(0, 0, 0)},    {0x8000000Fu, qRgb(212, 208, 200)}, // window text, button face
        {0x05FF0000u, qRgb(0, 0, 0)},    {0x7F00FF00u, qRgb(0, 0, 0)}, // no such kind of colour
        {0x8000001Fu, qRgb(0, 0, 0)},    {0x80120005u, qRgb(0, 0, 0)}, // no such system colour
    };
    for (const auto& c : cases) {
        QImage picture = white();
        clsDemoClock().LineGP(picture, 2, 10, 30, 10, static_cast<tf::OleColor>(c.color));
        // The line's own pixels take the colour whole.
        EXPECT_EQ(picture.pixel(16, 10), c.drawn) << std::hex << c.color;
    }
}

TEST(ClockDrawing, ArrayOnlyBetweenDIBAndArray2Pic)
{
    tf::ScriptedMessageBoxes boxes;
    QImage picture = white();
    const QImage blank = picture;
    clsDemoClock clock;
    clock.Array2Pic();
    clock.CircleDIB(20, 20, 5, 5, 0, true);
    clock.LineDIB(1, 1, 30, 30, 0);
    clock.ArcDIB(20, 20, 5, 5, 0, 90, 0, true);
    EXPECT_EQ(boxes.prompts(), QStringList({QStringLiteral("You must create a DIB array\r\nbefore calling CircleDIB."),
                                            QStringLiteral("You must create a DIB array\r\nbefore calling LineDIB.")}));
    clock.DIB(&picture);
    clock.LineDIB(1, 1, 30, 30, 0);
    clock.Array2Pic();
    EXPECT_NE(picture, blank);
    // Written back once: what the picture got since is not overwritten by a second call.
    picture = blank;
    clock.Array2Pic();
    EXPECT_EQ(picture, blank);
}

TEST(ClockFace, HandAnglesAndDateText)
{
    struct Case {
        QTime time;
        int hour, minute, second;
    };
    for (const Case& c : {Case{QTime(0, 0, 0), 0, 0, 0}, Case{QTime(12, 59, 59), 29, 354, 354},
                          Case{QTime(23, 30, 15), 345, 180, 90}, Case{QTime(3, 11, 0), 95, 66, 0}}) {
        const ClockAngles a = clockAngles(c.time);
        EXPECT_EQ(a.hour, c.hour) << c.time.toString().toStdString();
        EXPECT_EQ(a.minute, c.minute);
        EXPECT_EQ(a.second, c.second);
    }
    const QDate day(2026, 12, 7);
    EXPECT_EQ(clockDateText(day, QLocale(QLocale::English, QLocale::UnitedKingdom)), QStringLiteral("Mon , 07 Dec"));
    EXPECT_EQ(clockDateText(day, QLocale(QLocale::English, QLocale::UnitedStates)), QStringLiteral("Mon , Dec 07"));
    // The long time format of these locales ends in the zone; the clock leaves it out.
    const QTime time(15, 4, 5);
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedKingdom),
                                  QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German)}) {
        const QString text = clockTimeText(time, locale);
        EXPECT_TRUE(text.contains(QStringLiteral("04:05")) || text.contains(QStringLiteral("4:05"))) << text.toStdString();
        EXPECT_EQ(text, text.trimmed());
        EXPECT_FALSE(text.contains(QStringLiteral("UTC")) || text.contains(QStringLiteral("GMT")) ||
                     text.contains(QStringLiteral("CET"))) << text.toStdString();
        EXPECT_EQ(locale.toString(time, QLocale::ShortFormat).left(4), text.left(4)) << text.toStdString();
    }
}

TEST(ClockDrawing, CoveragesAreCutNotRounded)
{
    // A point on pixel corner (5, 5), moved 0.001 off it: shares 0.499^2, 0.499 x 0.501 (twice)
    // and 0.501^2 of 255, i.e. 63.49, 63.75 and 64.01, cut to 63, 63 and 64; black over white
    // then leaves 255 x 192 / 256 = 191 or 255 x 191 / 256 = 190.
    QImage picture = white(10, 10);
    clsDemoClock clock;
    clock.ArcGP(picture, 5, 5, 0, 0, 0, 0, 0x000000, true);
    const struct {
        QPoint pixel;
        int shade;
    } cases[] = {{{4, 4}, 191}, {{5, 4}, 191}, {{4, 5}, 191}, {{5, 5}, 190}, {{6, 6}, 255}};
    for (const auto& c : cases) EXPECT_EQ(qRed(picture.pixel(c.pixel)), c.shade) << c.pixel.x() << ',' << c.pixel.y();
}

TEST(ClockDrawing, PointsPastTheLeftAndTopEdgesFloorThenSkip)
{
    // A point on an edge pixel's corner (moved 0.001 off it) covers a quarter of pixel 0 and
    // three quarters of pixels past the edge: pixel 0 gets its quarter only.
    struct Case {
        int cx, cy;
        QPoint pixel;
    };
    for (const Case& c : {Case{0, 5, QPoint(0, 5)}, Case{5, 0, QPoint(5, 0)}, Case{0, 0, QPoint(0, 0)}}) {
        QImage picture = white(10, 10);
        clsDemoClock clock;
        clock.ArcGP(picture, c.cx, c.cy, 0, 0, 0, 0, 0x000000, true);
        const int shade = qRed(picture.pixel(c.pixel));
        EXPECT_GT(shade, 255 * 65 / 100) << c.cx << ',' << c.cy;
        EXPECT_LT(shade, 255 * 85 / 100) << c.cx << ',' << c.cy;
    }
    QImage picture = white(10, 10);
    clsDemoClock clock;
    clock.CircleGP(picture, -40, -40, 30, 30, 0x000000, true);
    clock.LineGP(picture, -20, -3, 30, -2, 0x000000);
    EXPECT_EQ(picture, white(10, 10));
}

TEST(ClockFace, AnalogClockOverThePage)
{
    QImage page(160, 120, QImage::Format_RGB32);
    page.fill(QColor(0x30, 0x60, 0x90));
    EffectExeOptions options;
    options.HourHandColor = 255;
    options.MinuteHandColor = 32768;
    options.SecondHandColor = 0xE0E0E0;
    const QImage drawn = drawClock(page, QDateTime(QDate(2026, 12, 7), QTime(10, 8, 30)), options, QLocale::c());
    EXPECT_TRUE(matchesReference(drawn, QStringLiteral("clock-analog")));
}
