// The date picker's rules (the model), and the drop-down's wiring to it.
#include "controls/datepicker/DatePickerModel.h"
#include "controls/datepicker/DateTimePicker.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace tf;

namespace {

const QDate kToday(2024, 1, 5);

class DatePicker : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        model.today = [] { return kToday; };
        model.setDateSelected(QDateTime(QDate(2024, 1, 10), QTime(9, 0)));
        model.onDateChanged = [this](const QDateTime& from, const QDateTime& to) {
            changes.push_back({from, to});
            seenInHandler = model.dateSelected();
        };
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    DatePickerModel model;
    std::vector<std::pair<QDateTime, QDateTime>> changes;
    QDateTime seenInHandler;
};

} // namespace

TEST_F(DatePicker, OnlyAnotherDayIsAChangeAndAHandlerHasTheLastWord)
{
    model.setDateSelected(QDateTime(QDate(2024, 1, 10), QTime(9, 0)));
    model.setDateSelected(QDateTime(QDate(2024, 1, 10), QTime(14, 0)));
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(model.dateSelected().time(), QTime(9, 0)) << "another time on the same day is not taken";

    model.setDateSelected(QDateTime(QDate(2024, 2, 1), QTime(8, 0)));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].first.date(), QDate(2024, 1, 10));
    EXPECT_EQ(seenInHandler.date(), QDate(2024, 1, 10)) << "the handler runs before the new day is stored";
    EXPECT_EQ(model.dateSelected().date(), QDate(2024, 2, 1));
    EXPECT_EQ(model.viewMonth(), QDate(2024, 2, 1));

    model.setDateSelected(QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_EQ(model.dateSelected().date(), kToday) << "the zero date is today";

    // A handler that sets the date has the last word.
    model.onDateChanged = [this](const QDateTime&, const QDateTime& to) {
        if (to.date() == QDate(2024, 6, 6)) model.setDateSelected(QDateTime(QDate(2024, 6, 7), QTime(0, 0)));
    };
    model.setDateSelected(QDateTime(QDate(2024, 6, 6), QTime(0, 0)));
    EXPECT_EQ(model.dateSelected().date(), QDate(2024, 6, 7));
}

TEST_F(DatePicker, FirstDayOfWeekTheGridAndTheMonthList)
{
    const struct {
        int set, stored;
    } days[] = {{8, 1}, {7, 7}, {0, 0}, {-1, 0}, {14, 0}};
    for (const auto& d : days) {
        model.setFirstDayOfWeek(d.set);
        EXPECT_EQ(model.firstDayOfWeek(), d.stored) << d.set;
    }

    // September 2024 begins on a Sunday.
    model.setFirstDayOfWeek(1);
    model.showMonth(QDate(2024, 9, 15));
    EXPECT_EQ(model.leadingCells(), 0);
    model.setFirstDayOfWeek(2);
    EXPECT_EQ(model.leadingCells(), 6);
    EXPECT_EQ(model.cells()[0], QDate(2024, 8, 26)) << "Monday in column 0";

    // A February of 28 days from a Sunday fills four rows; two rows of March follow.
    model.setFirstDayOfWeek(1);
    model.showMonth(QDate(2015, 2, 1));
    EXPECT_EQ(model.cells()[0], QDate(2015, 2, 1));
    EXPECT_EQ(model.cells()[27], QDate(2015, 2, 28));
    EXPECT_EQ(model.cells()[28], QDate(2015, 3, 1));
    EXPECT_EQ(model.cellDate(41), QDate(2015, 3, 14));
    model.showNonMonthDays = false;
    EXPECT_FALSE(model.cellDate(28).isValid()) << "a hidden day cannot be chosen";
    EXPECT_EQ(model.cellDate(27), QDate(2015, 2, 28));

    // The month list over the title tracks the pointer, ticks while held outside and chooses.
    model.showMonth(QDate(2024, 5, 1));
    model.openMonthList();
    EXPECT_EQ(model.monthListRow(0), QDate(2024, 2, 1));
    EXPECT_EQ(model.monthListRow(3), QDate(2024, 5, 1));
    EXPECT_FALSE(model.monthListRow(7).isValid());

    const struct {
        int y;
        bool inColumn;
        int row, ticker;
    } moves[] = {{0, true, 0, 0}, {111, true, 6, 0}, {112, true, -1, 1}, {-1, true, -1, -1}, {40, false, -1, 0}};
    for (const auto& m : moves) {
        model.trackMonthList(m.y, 16, m.inColumn);
        EXPECT_EQ(model.monthListHighlight(), m.row) << m.y;
        EXPECT_EQ(model.monthTicker(), m.ticker) << m.y;
    }

    model.trackMonthList(-5, 16, true);
    model.tickMonthList();
    model.tickMonthList();
    EXPECT_EQ(model.monthListRow(3), QDate(2024, 3, 1)) << "two ticks back";
    model.releaseMonthList();
    EXPECT_FALSE(model.isMonthListOpen());
    EXPECT_EQ(model.viewMonth(), QDate(2024, 5, 1)) << "released while ticking: no row, no change";

    model.openMonthList();
    model.trackMonthList(16 * 5 + 3, 16, true);
    model.releaseMonthList();
    EXPECT_EQ(model.viewMonth(), QDate(2024, 7, 1));
    EXPECT_TRUE(changes.empty()) << "browsing months selects nothing";

    // The ticker stops at the first months there are.
    model.showMonth(QDate(100, 3, 1));
    model.openMonthList();
    model.trackMonthList(-1, 16, true);
    model.tickMonthList();
    EXPECT_EQ(model.monthListRow(3), QDate(100, 3, 1));
}

TEST_F(DatePicker, MonthPagingKeysAndTypedDates)
{
    model.showMonth(QDate(2024, 1, 20));
    model.showPreviousMonth();
    EXPECT_EQ(model.viewMonth(), QDate(2023, 12, 1));
    model.showMonth(QDate(9999, 12, 3));
    model.showNextMonth();
    EXPECT_EQ(model.viewMonth(), QDate(9999, 12, 1)) << "no month after 9999";
    model.showMonth(QDate(100, 1, 3));
    model.showPreviousMonth();
    EXPECT_EQ(model.viewMonth(), QDate(100, 1, 1));

    model.setHighlight(QDate(2024, 3, 1));
    EXPECT_TRUE(model.key(Qt::Key_Left));
    EXPECT_EQ(model.highlight(), QDate(2024, 2, 29));
    EXPECT_EQ(model.viewMonth(), QDate(2024, 2, 1));
    model.setHighlight(QDate(2023, 1, 31));
    model.key(Qt::Key_PageDown);
    EXPECT_EQ(model.highlight(), QDate(2023, 2, 28));
    model.key(Qt::Key_Home);
    EXPECT_EQ(model.highlight(), kToday);
    EXPECT_FALSE(model.key(Qt::Key_A));
    EXPECT_TRUE(changes.empty()) << "moving the highlight selects nothing";
    model.key(Qt::Key_Down);
    model.key(Qt::Key_Return);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(model.dateSelected(), QDateTime(QDate(2024, 1, 12), QTime(9, 0))) << "the day, with the time kept";

    // Typed dates. Text that is no date brings the highlighted day back, as the value too.
    model.setHighlight(kToday);
    EXPECT_EQ(model.commitText("not a date"), "5 Jan 2024");
    EXPECT_EQ(model.dateSelected(), QDateTime(kToday, QTime(9, 0)));
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_EQ(model.commitText("still none"), "5 Jan 2024");
    EXPECT_EQ(changes.size(), 2u) << "the same day again is no change";
    EXPECT_EQ(model.commitText(" 2024-03-07 "), "7 Mar 2024");
    EXPECT_EQ(model.dateSelected(), QDateTime(QDate(2024, 3, 7), QTime(9, 0)));
    EXPECT_EQ(model.commitText("8 Mar 2024"), "8 Mar 2024");
    EXPECT_EQ(changes.size(), 4u);
}

TEST_F(DatePicker, TheDropDownChoosesADay)
{
    QWidget host;
    DateTimePicker picker(&host);
    picker.model().today = [] { return kToday; };
    picker.setDateSelected(QDateTime(QDate(2024, 1, 10), QTime(9, 0)));
    host.show();
    QSignalSpy changed(&picker, &DateTimePicker::DateChanged);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(picker.findChild<QLineEdit*>("Text1"), &down);
    ASSERT_TRUE(picker.isDropped());
    QWidget* popup = host.findChild<QWidget*>("picCalendar");
    ASSERT_NE(popup, nullptr);
    // January 2024 starts on a Monday: with Sunday first, day 20 stands in cell 20.
    popup->findChild<QToolButton*>("day_20")->click();
    EXPECT_EQ(changed.count(), 0);
    popup->findChild<QPushButton*>("picOK")->click();
    EXPECT_FALSE(picker.isDropped());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(picker.DateSelected().date(), QDate(2024, 1, 20));
    EXPECT_EQ(picker.findChild<QLineEdit*>("Text1")->text(), "20 Jan 2024");

    // Held on the title, the month list opens; released on its sixth row, that month shows.
    picker.openCalendar();
    auto* title = popup->findChild<QLabel*>("lblMonth");
    auto* months = popup->findChild<QWidget*>("picListBox");
    const QPoint centre = title->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, centre, title->mapToGlobal(centre), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(title, &press);
    ASSERT_TRUE(months->isVisible());
    auto* row5 = months->findChild<QLabel*>("lblSelDate_5");
    const QPoint onRow5 = title->mapFromGlobal(row5->mapToGlobal(row5->rect().center()));
    QMouseEvent move(QEvent::MouseMove, onRow5, title->mapToGlobal(onRow5), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(title, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, onRow5, title->mapToGlobal(onRow5), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(title, &release);
    EXPECT_FALSE(months->isVisible());
    EXPECT_EQ(title->text(), "March 2024");

    picker.setShortDayNames(true);
    picker.setFirstDayOfWeek(2);
    EXPECT_EQ(popup->findChild<QLabel*>("lblDay_0")->text(), "M") << "Monday first, one letter";
    picker.setDescriptionFormat("yyyy-MM-dd");
    EXPECT_EQ(picker.findChild<QLineEdit*>("Text1")->text(), "2024-01-20");

    picker.setEnabled(false);
    EXPECT_FALSE(picker.isDropped()) << "disabling closes it";
    picker.openCalendar();
    EXPECT_FALSE(picker.isDropped());
}


namespace {

// A picker on a host with today pinned, its calendar open on January 2024 with the 10th chosen.
struct OpenPicker {
    QWidget host;
    DateTimePicker picker{&host};
    QWidget* popup = nullptr;

    OpenPicker()
    {
        host.resize(200, 60);
        picker.setGeometry(10, 10, 120, 20);
        picker.model().today = [] { return kToday; };
        picker.setDateSelected(QDateTime(QDate(2024, 1, 10), QTime(9, 0)));
        host.show();
        picker.openCalendar();
        popup = host.findChild<QWidget*>("picCalendar");
    }
    template <class W = QWidget> W* part(const char* name) const { return popup->findChild<W*>(name); }
    void key(int qtKey) { keyOn(popup, qtKey); }
    void keyOn(QWidget* w, int qtKey)
    {
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, qtKey == Qt::Key_Space ? " " : "");
        QApplication::sendEvent(w, &press);
    }
    void mouse(QWidget* w, QEvent::Type type, QPoint at = {-1, -1})
    {
        if (at == QPoint(-1, -1)) at = w->rect().center();
        QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    void click(QWidget* w, QPoint at = {-1, -1})
    {
        mouse(w, QEvent::MouseButtonPress, at);
        mouse(w, QEvent::MouseButtonRelease, at);
    }
    QString title() const { return part<QLabel>("lblMonth")->text(); }
};

// A look compared with its reference picture under tests/data/reference, with room for the
// slight differences of text drawing; TF_WRITE_REFERENCES=1 writes the picture anew.
void expectLooksLike(const QImage& shot, const QString& name)
{
    const QString file = QStringLiteral(TF_TEST_DATA_DIR "/reference/%1.png").arg(name);
    if (qEnvironmentVariableIsSet("TF_WRITE_REFERENCES")) {
        ASSERT_TRUE(shot.save(file));
    }
    const QImage reference = QImage(file).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(reference.isNull()) << file.toStdString();
    const QImage got = shot.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(got.size(), reference.size());
    int off = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const QRgb a = got.pixel(x, y), b = reference.pixel(x, y);
            const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
            off += d > 8;
        }
    EXPECT_LE(off, got.width() * got.height() / 200) << name.toStdString() << ": " << off << " pixels differ";
}

} // namespace

TEST(DatePickerDropDown, KeysAndClicksOnTheOpenCalendar)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const struct {
        const char* what;
        std::function<void(OpenPicker&)> act;
        QDate selected;
        const char* title;
        bool open;
    } cases[] = {
        {"Space accepts the highlighted day", [](OpenPicker& p) { p.key(Qt::Key_Right); p.key(Qt::Key_Space); },
         QDate(2024, 1, 11), "January 2024", false},
        {"Enter accepts it too", [](OpenPicker& p) { p.key(Qt::Key_Down); p.key(Qt::Key_Return); },
         QDate(2024, 1, 17), "January 2024", false},
        {"a double-click accepts a day", [](OpenPicker& p) { p.mouse(p.part("day_20"), QEvent::MouseButtonDblClick); },
         QDate(2024, 1, 20), "January 2024", false},
        {"a click only highlights", [](OpenPicker& p) { p.part<QToolButton>("day_20")->click(); },
         QDate(2024, 1, 10), "January 2024", true},
        {"the header left of the title pages back",
         [](OpenPicker& p) { p.click(p.part("picMonthHeaderBackground"), QPoint(p.part("lblMonth")->x() - 2, 5)); },
         QDate(2024, 1, 10), "December 2023", true},
        {"the header right of the title pages on",
         [](OpenPicker& p) {
             QWidget* title = p.part("lblMonth");
             p.click(p.part("picMonthHeaderBackground"), QPoint(title->geometry().right() + 2, 5));
         },
         QDate(2024, 1, 10), "February 2024", true},
        {"the description line brings the highlighted day's month back",
         [](OpenPicker& p) {
             p.part<QToolButton>("cmdNextMonth")->click();
             p.part<QToolButton>("cmdNextMonth")->click();
             p.click(p.part("lblDescription"));
         },
         QDate(2024, 1, 10), "January 2024", true},
        {"the same day at another time shows its month again",
         [](OpenPicker& p) {
             p.part<QToolButton>("cmdNextMonth")->click();
             p.picker.setDateSelected(QDateTime(QDate(2024, 1, 10), QTime(14, 0)));
         },
         QDate(2024, 1, 10), "January 2024", true},
        {"closed and reopened, a browsed month stays",
         [](OpenPicker& p) {
             p.part<QToolButton>("cmdNextMonth")->click();
             p.key(Qt::Key_Escape);
             p.picker.openCalendar();
         },
         QDate(2024, 1, 10), "February 2024", true},
        {"Enter on a focused Today shows today's month, as Space does",
         [](OpenPicker& p) {
             p.key(Qt::Key_Right);
             p.part<QToolButton>("cmdNextMonth")->click();
             p.part<QToolButton>("cmdNextMonth")->click();
             p.keyOn(p.part("picToday"), Qt::Key_Return);
         },
         QDate(2024, 1, 10), "January 2024", true},
        {"Enter on a focused OK accepts",
         [](OpenPicker& p) {
             p.key(Qt::Key_Right);
             p.keyOn(p.part("picOK"), Qt::Key_Enter);
         },
         QDate(2024, 1, 11), "January 2024", false},
        {"an arrow on Today steps to OK, which Enter then presses",
         [](OpenPicker& p) {
             p.key(Qt::Key_Right);
             p.keyOn(p.part("picToday"), Qt::Key_Right);
             p.keyOn(p.popup->focusWidget(), Qt::Key_Return);
         },
         QDate(2024, 1, 11), "January 2024", false},
        {"Home highlights today and shows its month",
         [](OpenPicker& p) {
             p.part<QToolButton>("cmdNextMonth")->click();
             p.key(Qt::Key_Home);
             p.key(Qt::Key_Space);
         },
         kToday, "January 2024", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OpenPicker p;
        QSignalSpy changed(&p.picker, &DateTimePicker::DateChanged);
        c.act(p);
        EXPECT_EQ(p.picker.DateSelected().date(), c.selected);
        EXPECT_EQ(p.picker.DateSelected().time(), QTime(9, 0));
        EXPECT_EQ(changed.count(), c.selected == QDate(2024, 1, 10) ? 0 : 1);
        EXPECT_EQ(p.title(), c.title);
        EXPECT_EQ(p.picker.isDropped(), c.open);
    }
    QLocale::setDefault(QLocale::c());
}

TEST(DatePickerDropDown, TodayIsTintedAndTheChosenDayFramed)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    OpenPicker p;
    expectLooksLike(p.popup->grab().toImage(), "datepicker_open");
    QLocale::setDefault(QLocale::c());
}

TEST(DatePickerDropDown, NoDateTypedAfterBrowsingLeavesTheHighlightedDayAsTheValue)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    OpenPicker p;
    QSignalSpy changed(&p.picker, &DateTimePicker::DateChanged);
    p.key(Qt::Key_Right);
    p.key(Qt::Key_Escape);
    ASSERT_FALSE(p.picker.isDropped());
    auto* text = p.picker.findChild<QLineEdit*>("Text1");
    text->setText("soon");
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(text->text(), "11 Jan 2024");
    EXPECT_EQ(p.picker.DateSelected(), QDateTime(QDate(2024, 1, 11), QTime(9, 0))) << "the value is what the box shows";
    EXPECT_EQ(changed.count(), 1);
    QLocale::setDefault(QLocale::c());
}

TEST(DatePickerDropDown, TheMonthListIsAWindowOverTheHeaderAndRunsBackWhileHeldAboveIt)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    OpenPicker p;
    auto* title = p.part<QLabel>("lblMonth");
    auto* months = p.part("picListBox");
    auto* ticker = p.picker.findChild<QTimer*>("TimerMonthTicker");
    ASSERT_NE(ticker, nullptr);
    const auto row = [&](int r) { return months->findChild<QLabel*>(QStringLiteral("lblSelDate_%1").arg(r)); };
    const auto globalRect = [](const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); };
    // The title keeps the mouse from its press, so the moves and the release reach it wherever they are.
    const auto toTitle = [&](QEvent::Type type, const QPoint& global) {
        const QPoint at = title->mapFromGlobal(global);
        QMouseEvent e(type, at, global, Qt::LeftButton, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(title, &e);
    };

    toTitle(QEvent::MouseButtonPress, title->mapToGlobal(title->rect().center()));
    ASSERT_TRUE(months->isVisible());
    EXPECT_TRUE(months->isWindow()) << "not cut by the calendar's edges";
    const QRect list = globalRect(months);
    for (int r = 0; r < 7; ++r) EXPECT_TRUE(list.contains(globalRect(row(r)))) << "row " << r;
    const QRect header = globalRect(p.part("picMonthHeaderBackground"));
    const QRect middle = globalRect(row(3));
    EXPECT_TRUE(middle.top() < header.bottom() && middle.bottom() > header.top()) << "its middle row over the header";
    EXPECT_EQ(row(3)->text(), "January 2024");
    EXPECT_EQ(row(0)->text(), "October 2023");

    // Held above the list, each tick of its 400 ms timer runs it a month back.
    toTitle(QEvent::MouseMove, QPoint(list.center().x(), list.top() - 6));
    EXPECT_TRUE(ticker->isActive());
    EXPECT_EQ(ticker->interval(), 400);
    QMetaObject::invokeMethod(ticker, "timeout"); // a tick of the timer, as 400 ms on give it
    EXPECT_EQ(row(3)->text(), "December 2023");
    QMetaObject::invokeMethod(ticker, "timeout"); // a tick of the timer, as 400 ms on give it
    EXPECT_EQ(row(3)->text(), "November 2023");
    // Back in the list the running stops, and the row under the pointer is chosen on release.
    toTitle(QEvent::MouseMove, globalRect(row(1)).center());
    EXPECT_FALSE(ticker->isActive());
    toTitle(QEvent::MouseButtonRelease, globalRect(row(1)).center());
    EXPECT_FALSE(months->isVisible());
    EXPECT_EQ(p.title(), "September 2023");
    EXPECT_EQ(p.picker.DateSelected().date(), QDate(2024, 1, 10)) << "browsing months selects nothing";

    // Closing the calendar while the list runs takes the list and its timer with it.
    toTitle(QEvent::MouseButtonPress, title->mapToGlobal(title->rect().center()));
    toTitle(QEvent::MouseMove, QPoint(globalRect(months).center().x(), globalRect(months).bottom() + 6));
    EXPECT_TRUE(ticker->isActive());
    p.picker.closeCalendar();
    EXPECT_FALSE(months->isVisible());
    EXPECT_FALSE(ticker->isActive());
    QLocale::setDefault(QLocale::c());
}
