#include "controls/datepicker/DatePickerModel.h"

#include <QLocale>

#include <algorithm>

namespace tf {

namespace {
const QDate kFirst(100, 1, 1);
const QDate kLast(9999, 12, 31);

QDate clampDate(const QDate& d) { return d < kFirst ? kFirst : (d > kLast ? kLast : d); }
bool isZeroDate(const QDateTime& v) { return v.date() == QDate(1899, 12, 30) && v.time() == QTime(0, 0); }
} // namespace

DatePickerModel::DatePickerModel() : today([] { return QDate::currentDate(); })
{
    m_selected = QDateTime(today(), QTime(0, 0));
    m_highlight = m_selected.date();
    m_view = QDate(m_highlight.year(), m_highlight.month(), 1);
}

void DatePickerModel::setDateSelected(const QDateTime& value)
{
    QDateTime v = value;
    if (!v.isValid() || isZeroDate(v)) v = QDateTime(today(), QTime(0, 0));
    v.setDate(clampDate(v.date()));
    if (m_notifying) {
        m_pending = v;
        return;
    }
    if (v == m_selected) return;
    if (v.date() == m_selected.date()) {
        // The same day at another time: the value keeps its time, but the calendar comes back to
        // the day's month from wherever it was browsed to.
        setHighlight(v.date());
        showMonth(v.date());
        return;
    }
    if (onDateChanged) {
        m_notifying = true;
        m_pending = QDateTime();
        onDateChanged(m_selected, v);
        m_notifying = false;
    }
    m_selected = v;
    setHighlight(v.date());
    showMonth(v.date());
    if (m_pending.isValid()) {
        const QDateTime next = m_pending;
        m_pending = QDateTime();
        setDateSelected(next);
    }
}

void DatePickerModel::setFirstDayOfWeek(int value)
{
    if (value < 0) value = 0;
    if (value > 7) value %= 7;
    m_firstDayOfWeek = value;
}

Qt::DayOfWeek DatePickerModel::qtFirstDayOfWeek() const
{
    if (m_firstDayOfWeek == 0) return QLocale().firstDayOfWeek();
    return static_cast<Qt::DayOfWeek>(m_firstDayOfWeek == 1 ? 7 : m_firstDayOfWeek - 1);
}

QString DatePickerModel::descriptionFormat() const
{
    return m_format.isEmpty() ? QStringLiteral("d MMM yyyy") : m_format;
}

QString DatePickerModel::formatted(const QDate& date) const { return QLocale().toString(date, descriptionFormat()); }

void DatePickerModel::setHighlight(const QDate& date)
{
    // Unchanged, the month on show stays: a calendar browsed away and reopened keeps its page.
    if (!date.isValid() || clampDate(date) == m_highlight) return;
    m_highlight = clampDate(date);
    showMonth(m_highlight);
}

void DatePickerModel::showMonth(const QDate& anyDayOfMonth)
{
    const QDate d = clampDate(anyDayOfMonth);
    m_view = QDate(d.year(), d.month(), 1);
}

void DatePickerModel::showPreviousMonth()
{
    if (m_view > kFirst) m_view = m_view.addMonths(-1);
}

void DatePickerModel::showNextMonth()
{
    if (m_view < QDate(kLast.year(), kLast.month(), 1)) m_view = m_view.addMonths(1);
}

int DatePickerModel::leadingCells() const
{
    return (m_view.dayOfWeek() - static_cast<int>(qtFirstDayOfWeek()) + 7) % 7;
}

std::array<QDate, DatePickerModel::kCells> DatePickerModel::cells() const
{
    std::array<QDate, kCells> out;
    const QDate start = m_view.addDays(-leadingCells());
    for (int i = 0; i < kCells; ++i) out[static_cast<size_t>(i)] = start.addDays(i);
    return out;
}

QDate DatePickerModel::cellDate(int i) const
{
    if (i < 0 || i >= kCells) return {};
    const QDate d = m_view.addDays(i - leadingCells());
    if (!showNonMonthDays && d.month() != m_view.month()) return {};
    return d;
}

QString DatePickerModel::commitText(const QString& text)
{
    const QString t = text.trimmed();
    QDate d = QLocale().toDate(t, descriptionFormat());
    for (const char* form : {"d MMM yyyy", "M/d/yyyy", "yyyy-MM-dd", "d MMMM yyyy", "MMMM d, yyyy"}) {
        if (d.isValid()) break;
        d = QLocale().toDate(t, QString::fromLatin1(form));
    }
    if (!d.isValid()) d = QLocale().toDate(t, QLocale::ShortFormat);
    if (!d.isValid()) d = QLocale().toDate(t, QLocale::LongFormat);
    // Text that is no date gives way to the highlighted day, and that day is then the value: the
    // box never shows a day the value does not hold.
    if (!d.isValid()) d = m_highlight;
    setDateSelected(QDateTime(d, m_selected.time()));
    return formatted(m_selected.date());
}

bool DatePickerModel::key(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Left: setHighlight(m_highlight.addDays(-1)); return true;
    case Qt::Key_Right: setHighlight(m_highlight.addDays(1)); return true;
    case Qt::Key_Up: setHighlight(m_highlight.addDays(-7)); return true;
    case Qt::Key_Down: setHighlight(m_highlight.addDays(7)); return true;
    case Qt::Key_PageUp: setHighlight(m_highlight.addMonths(-1)); return true;
    case Qt::Key_PageDown: setHighlight(m_highlight.addMonths(1)); return true;
    case Qt::Key_Home:
        setHighlight(today());
        showMonth(today());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: acceptHighlight(); return true;
    default: return false;
    }
}

void DatePickerModel::acceptHighlight() { setDateSelected(QDateTime(m_highlight, m_selected.time())); }

void DatePickerModel::openMonthList()
{
    m_monthListOpen = true;
    m_monthFill = m_view;
    m_monthRow = -1;
    m_ticker = 0;
}

QDate DatePickerModel::monthListRow(int row) const
{
    if (!m_monthListOpen || row < 0 || row >= kMonthRows) return {};
    const QDate d = m_monthFill.addMonths(row - kMonthRows / 2);
    return d < kFirst || d > kLast ? QDate() : d;
}

void DatePickerModel::trackMonthList(int y, int rowHeight, bool inColumn)
{
    if (!m_monthListOpen || rowHeight <= 0) return;
    if (!inColumn) {
        m_ticker = 0;
        m_monthRow = -1;
        return;
    }
    const int height = rowHeight * kMonthRows;
    if (y < 0 || y >= height) {
        // Above the list runs it back, below runs it on; the highlight stays off while ticking.
        m_ticker = y < 0 ? -1 : 1;
        m_monthRow = -1;
        return;
    }
    m_ticker = 0;
    m_monthRow = std::clamp(y / rowHeight, 0, kMonthRows - 1);
    if (!monthListRow(m_monthRow).isValid()) m_monthRow = -1;
}

void DatePickerModel::tickMonthList()
{
    if (!m_monthListOpen || m_ticker == 0) return;
    const QDate next = m_monthFill.addMonths(m_ticker);
    if (next.addMonths(-kMonthRows / 2) < kFirst || next.addMonths(kMonthRows / 2) > QDate(kLast.year(), kLast.month(), 1))
        return;
    m_monthFill = next;
}

void DatePickerModel::releaseMonthList()
{
    if (!m_monthListOpen) return;
    const QDate chosen = monthListRow(m_monthRow);
    closeMonthList();
    if (chosen.isValid()) showMonth(chosen);
}

void DatePickerModel::closeMonthList()
{
    m_monthListOpen = false;
    m_ticker = 0;
    m_monthRow = -1;
}

} // namespace tf
