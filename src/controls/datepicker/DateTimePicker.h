#pragma once
// A date box with a drop-down calendar: the text shows the selected day, the button opens a month
// grid with month paging, OK and Today. Its state and rules live in DatePickerModel.
#include "controls/datepicker/DatePickerModel.h"

#include <QDateTime>
#include <QWidget>

class QLineEdit;
class QToolButton;
class QLabel;
class QPushButton;
class QTimer;

namespace tf {

class DateTimePicker : public QWidget {
    Q_OBJECT
public:
    explicit DateTimePicker(QWidget* parent = nullptr);
    ~DateTimePicker() override;

    QDateTime DateSelected() const { return m_model.dateSelected(); }
    void setDateSelected(const QDateTime& value);
    int FirstDayOfWeek() const { return m_model.firstDayOfWeek(); }
    void setFirstDayOfWeek(int value);
    bool ShowNonMonthDays() const { return m_model.showNonMonthDays; }
    void setShowNonMonthDays(bool value);

    bool ShortDayNames() const { return m_shortDayNames; }
    void setShortDayNames(bool value);
    bool UseHandCursor() const { return m_useHandCursor; }
    void setUseHandCursor(bool value);
    QString DescriptionFormat() const { return m_model.descriptionFormat(); }
    void setDescriptionFormat(const QString& qtFormat);

    DatePickerModel& model() { return m_model; }
    bool isDropped() const;
    void openCalendar();
    void closeCalendar();

    QSize sizeHint() const override { return {120, 20}; }

signals:
    void DateChanged(const QDateTime& from, const QDateTime& to);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void refreshText();
    void refreshCalendar();
    void buildPopup();
    void refreshMonthList();
    // OK, Enter, Space and a double-click on a day: the highlighted day becomes the value.
    void acceptHighlight();

    DatePickerModel m_model;
    QLineEdit* m_text = nullptr;
    QToolButton* m_drop = nullptr;
    QWidget* m_popup = nullptr;
    QWidget* m_header = nullptr;
    QLabel* m_title = nullptr;
    QList<QLabel*> m_dayNames;
    QList<QToolButton*> m_cells;
    QPushButton* m_ok = nullptr;
    QPushButton* m_today = nullptr;
    QLabel* m_description = nullptr;
    QWidget* m_monthList = nullptr;
    QList<QLabel*> m_monthRows;
    QTimer* m_monthTicker = nullptr;
    bool m_shortDayNames = false;
    bool m_useHandCursor = false;
};

} // namespace tf
