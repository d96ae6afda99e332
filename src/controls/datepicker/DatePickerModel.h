#pragma once
// The date picker without widgets: the selected date with its change rule, the highlighted day
// and the month on show, the calendar grid, typed dates and key navigation. The widgets only
// show it and forward the user's actions.
#include <QDate>
#include <QDateTime>
#include <QString>
#include <array>
#include <functional>

namespace tf {

class DatePickerModel {
public:
    static constexpr int kCells = 42; // six weeks of seven days

    DatePickerModel();

    // "Today" for the zero date and the Today button; tests pin it.
    std::function<QDate()> today;
    // Called when the selected day changes, with the old and the new value, before the new value
    // is stored (so a handler reads the old one from the model).
    std::function<void(const QDateTime& from, const QDateTime& to)> onDateChanged;

    QDateTime dateSelected() const { return m_selected; }
    // An invalid value or the zero date (30 Dec 1899, midnight) selects today. Another time on the
    // same day keeps the value (the picker deals in days) but shows that day again. A handler that
    // sets the date while being told of a change has the last word.
    void setDateSelected(const QDateTime& value);

    // 0 follows the locale, 1 Sunday ... 7 Saturday; above 7 wraps (8 is Sunday), below 0 is 0.
    int firstDayOfWeek() const { return m_firstDayOfWeek; }
    void setFirstDayOfWeek(int value);
    Qt::DayOfWeek qtFirstDayOfWeek() const;

    bool showNonMonthDays = true;
    // Empty gives the default, "d mmm yyyy" (Qt "d MMM yyyy").
    QString descriptionFormat() const;
    void setDescriptionFormat(const QString& qtFormat) { m_format = qtFormat; }
    QString formatted(const QDate& date) const;

    QDate highlight() const { return m_highlight; }
    // Moves the highlight (clamped to the years 100 to 9999); the month shown follows it. The same
    // day again changes nothing, not even the month on show.
    void setHighlight(const QDate& date);
    // The first day of the month on show.
    QDate viewMonth() const { return m_view; }
    void showMonth(const QDate& anyDayOfMonth);
    void showPreviousMonth();
    void showNextMonth();

    // Day 1 of the month on show stands in this cell; the cells before it are the previous month's.
    int leadingCells() const;
    std::array<QDate, kCells> cells() const;
    // The date a click on cell i selects; invalid for a hidden day of another month.
    QDate cellDate(int i) const;

    // Text typed into the box: a date that reads (our form, ISO, or the locale's) becomes the
    // selected day keeping the time; anything else selects the highlighted day. Returns the text
    // the box shows, which is always the selected day's.
    QString commitText(const QString& text);

    // Key navigation on the open calendar (Qt key codes; Enter and Space accept); true when the key
    // was used.
    bool key(int qtKey);
    // OK: the highlighted day becomes the selected one.
    void acceptHighlight();

    // The month list beside the title: seven months around the one it was opened on. Holding the
    // button above or below it runs a ticker that moves the list a month per tick.
    static constexpr int kMonthRows = 7;
    void openMonthList();
    bool isMonthListOpen() const { return m_monthListOpen; }
    QDate monthListRow(int row) const; // first day of the month in row 0..6
    // The pointer at `y` (relative to the list's top, rows `rowHeight` high), `inColumn` when it
    // is within the list's width. Sets the highlighted row and the ticker's direction.
    void trackMonthList(int y, int rowHeight, bool inColumn);
    int monthListHighlight() const { return m_monthRow; } // -1 for none
    int monthTicker() const { return m_ticker; }           // -1 earlier, +1 later, 0 off
    void tickMonthList();
    // Releasing the button shows the highlighted month (if any) and closes the list.
    void releaseMonthList();
    // Closing the calendar under it closes the list and chooses nothing.
    void closeMonthList();

private:
    QDateTime m_selected;
    QDate m_highlight;
    QDate m_view;
    int m_firstDayOfWeek = 1;
    QString m_format;
    bool m_notifying = false;
    bool m_monthListOpen = false;
    QDate m_monthFill;
    int m_monthRow = -1;
    int m_ticker = 0;
    QDateTime m_pending;
};

} // namespace tf
