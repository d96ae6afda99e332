#include "players/kit/ClockFace.h"

#include "players/kit/clsDemoClock.h"

#include <QFont>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tf::players {

namespace {

// One hand as a closed outline: a long thin kite from a short tail through the centre to the tip.
void drawHand(clsDemoClock& clock, QPointF centre, double radius, int degrees, double length, double width,
              OleColor color)
{
    const double a = (degrees - 90) * M_PI / 180.0;
    const QPointF along(std::cos(a), std::sin(a));
    const QPointF across(-along.y(), along.x());
    const QPointF tip = centre + along * (radius * length);
    const QPointF tail = centre - along * (radius * 0.12);
    const QPointF left = centre + along * (radius * 0.1) + across * width;
    const QPointF right = centre + along * (radius * 0.1) - across * width;
    const QPointF outline[] = {tail, left, tip, right, tail};
    for (int i = 0; i < 4; ++i)
        clock.LineDIB(static_cast<int16_t>(std::lround(outline[i].x())), static_cast<int16_t>(std::lround(outline[i].y())),
                      static_cast<int16_t>(std::lround(outline[i + 1].x())),
                      static_cast<int16_t>(std::lround(outline[i + 1].y())), color);
}

void drawText(QImage& picture, const QString& text, QPoint topLeft, int pointSize, OleColor color, bool raised)
{
    QPainter p(&picture);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(pointSize);
    p.setFont(font);
    const QRect box(topLeft, QSize(picture.width(), pointSize * 3));
    if (raised) {
        p.setPen(Qt::white);
        p.drawText(box.translated(-1, -1), Qt::AlignLeft | Qt::AlignTop, text);
        p.setPen(QColor(0xC0, 0xC0, 0xC0));
        p.drawText(box.translated(1, 1), Qt::AlignLeft | Qt::AlignTop, text);
    }
    p.setPen(colorFromOle(color));
    p.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
}

} // namespace

ClockAngles clockAngles(const QTime& time)
{
    ClockAngles a;
    a.second = time.second() * 6;
    a.minute = time.minute() * 6;
    a.hour = (time.hour() % 12) * 30 + a.minute / 12;
    return a;
}

QString clockDateText(const QDate& date, const QLocale& locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    const bool dayFirst = format.indexOf(QLatin1Char('d')) < format.indexOf(QLatin1Char('M'));
    return locale.toString(date, QStringLiteral("ddd")) + QStringLiteral(" , ") +
           locale.toString(date, dayFirst ? QStringLiteral("dd MMM") : QStringLiteral("MMM dd"));
}

QString clockTimeText(const QTime& time, const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString plain;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) continue;
        plain += c;
    }
    return locale.toString(time, plain.simplified());
}

QImage drawClock(const QImage& page, const QDateTime& now, const EffectExeOptions& options, const QLocale& locale)
{
    QImage picture = page.convertToFormat(QImage::Format_RGB32);
    const int w = picture.width(), h = picture.height();
    if (options.ClockType == 0) {
        const QPointF centre(w / 2, h / 2);
        const double radius = std::max(8, std::min(w, h) / 2 - 10);
        const ClockAngles angles = clockAngles(now.time());
        clsDemoClock clock;
        clock.DIB(&picture);
        clock.CircleDIB(w / 2, h / 2, static_cast<int32_t>(radius), static_cast<int32_t>(radius), options.HourHandColor,
                        true);
        for (int mark = 0; mark < 360; mark += 30) {
            const double a = mark * M_PI / 180.0;
            const QPointF d(std::cos(a), std::sin(a));
            const QPointF from = centre + d * (radius * 0.88), to = centre + d * (radius * 0.97);
            clock.LineDIB(static_cast<int16_t>(std::lround(from.x())), static_cast<int16_t>(std::lround(from.y())),
                          static_cast<int16_t>(std::lround(to.x())), static_cast<int16_t>(std::lround(to.y())),
                          options.HourHandColor);
        }
        drawHand(clock, centre, radius, angles.hour, 0.55, std::max(2.0, radius * 0.06), options.HourHandColor);
        drawHand(clock, centre, radius, angles.minute, 0.8, std::max(2.0, radius * 0.045), options.MinuteHandColor);
        drawHand(clock, centre, radius, angles.second, 0.9, 1.5, options.SecondHandColor);
        clock.Array2Pic();
    } else {
        drawText(picture, clockTimeText(now.time(), locale), QPoint(25, h - 90), 24,
                 options.DigitalClockColor, true);
    }
    if (options.ShowDate == 1) {
        const QPoint at = options.ClockType == 0 ? QPoint(w / 2 - 50, h / 2 + 30) : QPoint(40, h - 60);
        drawText(picture, clockDateText(now.date(), locale), at, 14, options.DateColor, false);
    }
    return picture;
}

} // namespace tf::players
