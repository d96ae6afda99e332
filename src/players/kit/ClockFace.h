#pragma once
// What the clock show draws over its page each tick: an analog dial and hands, or the time as
// raised text, and the date when asked for.
#include "players/kit/PlayerPackage.h"

#include <QDateTime>
#include <QImage>
#include <QLocale>

namespace tf::players {

struct ClockAngles {
    int hour = 0;   // degrees clockwise from twelve
    int minute = 0;
    int second = 0;
};

ClockAngles clockAngles(const QTime& time);
// "ddd , dd MMM" where the locale writes the day before the month, else "ddd , MMM dd".
QString clockDateText(const QDate& date, const QLocale& locale);
// The time as the locale writes it in full, without the time zone its long format adds.
QString clockTimeText(const QTime& time, const QLocale& locale);
// The page with the clock of `options` at `now` drawn over it.
QImage drawClock(const QImage& page, const QDateTime& now, const EffectExeOptions& options, const QLocale& locale);

} // namespace tf::players
