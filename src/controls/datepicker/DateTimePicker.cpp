#include "controls/datepicker/DateTimePicker.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QMouseEvent>
#include <QTimer>
#include <QToolButton>

namespace tf {

namespace {
constexpr int kHeight = 20;
constexpr int kMonthRowHeight = 16;
constexpr int kMonthListWidth = 100;
constexpr int kMonthListFrame = 1;

// White on a dark band, black on a light one: the weekday names stay readable on any palette.
QColor textOn(const QColor& background) { return qGray(background.rgb()) < 128 ? Qt::white : Qt::black; }
const QColor kHighlight(251, 230, 148);
} // namespace

DateTimePicker::DateTimePicker(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(kHeight);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("tf--DateTimePicker { border: 1px solid palette(mid); background: palette(base); }"));
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("Text1"));
    m_text->setFrame(false);
    // Whoever gives the picker the focus means its date text.
    setFocusProxy(m_text);
    m_drop = new QToolButton(this);
    m_drop->setObjectName(QStringLiteral("picDrop"));
    m_drop->setArrowType(Qt::DownArrow);
    m_drop->setFocusPolicy(Qt::ClickFocus);
    m_model.onDateChanged = [this](const QDateTime& from, const QDateTime& to) { emit DateChanged(from, to); };
    connect(m_drop, &QToolButton::clicked, this, [this] { isDropped() ? closeCalendar() : openCalendar(); });
    connect(m_text, &QLineEdit::editingFinished, this, [this] {
        m_text->setText(m_model.commitText(m_text->text()));
        refreshCalendar();
    });
    m_text->installEventFilter(this);
    refreshText();
}

DateTimePicker::~DateTimePicker() { delete m_popup; }

void DateTimePicker::setDateSelected(const QDateTime& value)
{
    m_model.setDateSelected(value);
    refreshText();
    refreshCalendar();
}

void DateTimePicker::setFirstDayOfWeek(int value)
{
    m_model.setFirstDayOfWeek(value);
    refreshCalendar();
}

void DateTimePicker::setShowNonMonthDays(bool value)
{
    m_model.showNonMonthDays = value;
    refreshCalendar();
}

void DateTimePicker::setShortDayNames(bool value)
{
    m_shortDayNames = value;
    refreshCalendar();
}

void DateTimePicker::setUseHandCursor(bool value)
{
    m_useHandCursor = value;
    refreshCalendar();
}

void DateTimePicker::setDescriptionFormat(const QString& qtFormat)
{
    m_model.setDescriptionFormat(qtFormat);
    refreshText();
    refreshCalendar();
}

bool DateTimePicker::isDropped() const { return m_popup && m_popup->isVisible(); }

void DateTimePicker::buildPopup()
{
    // Parented to the dialog that holds the picker: a modal dialog blocks input to other windows.
    m_popup = new QWidget(window(), Qt::Popup);
    m_popup->setObjectName(QStringLiteral("picCalendar"));
    // The days stand on the window colour of text fields, so today's tint in the band's colour shows.
    m_popup->setAutoFillBackground(true);
    QPalette body = m_popup->palette();
    body.setColor(QPalette::Window, body.color(QPalette::Base));
    m_popup->setPalette(body);
    auto* grid = new QGridLayout(m_popup);
    grid->setSpacing(2);
    grid->setContentsMargins(4, 4, 4, 4);
    // The month header: the arrows at its ends and the title in the middle; a press on the band
    // beside the title pages as the arrow on that side does.
    m_header = new QWidget(m_popup);
    m_header->setObjectName(QStringLiteral("picMonthHeaderBackground"));
    m_header->setMouseTracking(true);
    auto* band = new QHBoxLayout(m_header);
    band->setContentsMargins(0, 0, 0, 0);
    auto* previous = new QToolButton(m_header);
    previous->setObjectName(QStringLiteral("cmdPreviousMonth"));
    previous->setArrowType(Qt::LeftArrow);
    previous->setFocusPolicy(Qt::NoFocus);
    auto* next = new QToolButton(m_header);
    next->setObjectName(QStringLiteral("cmdNextMonth"));
    next->setArrowType(Qt::RightArrow);
    next->setFocusPolicy(Qt::NoFocus);
    m_title = new QLabel(m_header);
    m_title->setObjectName(QStringLiteral("lblMonth"));
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setFixedWidth(kMonthListWidth);
    band->addWidget(previous);
    band->addStretch();
    band->addWidget(m_title);
    band->addStretch();
    band->addWidget(next);
    grid->addWidget(m_header, 0, 0, 1, 7);
    m_header->installEventFilter(this);
    for (int c = 0; c < 7; ++c) {
        auto* name = new QLabel(m_popup);
        name->setObjectName(QStringLiteral("lblDay_%1").arg(c));
        name->setAlignment(Qt::AlignCenter);
        m_dayNames << name;
        grid->addWidget(name, 1, c);
    }
    for (int i = 0; i < DatePickerModel::kCells; ++i) {
        auto* cell = new QToolButton(m_popup);
        cell->setObjectName(QStringLiteral("day_%1").arg(i));
        cell->setAutoRaise(true);
        cell->setFixedSize(24, 17);
        cell->setFocusPolicy(Qt::NoFocus);
        cell->setProperty("cell", i);
        cell->installEventFilter(this);
        connect(cell, &QToolButton::clicked, this, [this, i] {
            const QDate d = m_model.cellDate(i);
            if (!d.isValid()) return;
            m_model.setHighlight(d);
            refreshCalendar();
        });
        grid->addWidget(cell, 2 + i / 7, i % 7);
    }
    m_description = new QLabel(m_popup);
    m_description->setObjectName(QStringLiteral("lblDescription"));
    m_description->setAlignment(Qt::AlignCenter);
    m_description->setToolTip(QStringLiteral("The currently highlighted date. Press OK to select this date."));
    m_description->installEventFilter(this);
    grid->addWidget(m_description, 9, 0, 1, 7);
    m_today = new QPushButton(QStringLiteral("Today"), m_popup);
    m_today->setObjectName(QStringLiteral("picToday"));
    m_ok = new QPushButton(QStringLiteral("OK"), m_popup);
    m_ok->setObjectName(QStringLiteral("picOK"));
    grid->addWidget(m_today, 8, 0, 1, 3);
    grid->addWidget(m_ok, 8, 4, 1, 3);
    connect(previous, &QToolButton::clicked, this, [this] { m_model.showPreviousMonth(); refreshCalendar(); });
    connect(next, &QToolButton::clicked, this, [this] { m_model.showNextMonth(); refreshCalendar(); });
    connect(m_today, &QPushButton::clicked, this, [this] { m_model.showMonth(m_model.today()); refreshCalendar(); });
    connect(m_ok, &QPushButton::clicked, this, &DateTimePicker::acceptHighlight);
    // A focused OK or Today takes Enter as its own click, as Space is, not as the calendar's OK.
    m_today->installEventFilter(this);
    m_ok->installEventFilter(this);
    m_popup->installEventFilter(this);

    // The month list opens over the title while the button is held on it: a window of its own, so
    // that its rows above the title stand over whatever is above the calendar instead of being cut
    // off by its edge. It never takes the focus or the mouse: the title keeps both.
    auto* list = new QFrame(m_popup, Qt::ToolTip | Qt::FramelessWindowHint);
    list->setFrameStyle(QFrame::Box | QFrame::Plain);
    list->setLineWidth(kMonthListFrame);
    m_monthList = list;
    m_monthList->setObjectName(QStringLiteral("picListBox"));
    m_monthList->setAttribute(Qt::WA_ShowWithoutActivating);
    m_monthList->setAutoFillBackground(true);
    m_monthList->setPalette(body);
    m_monthList->resize(kMonthListWidth + 2 * kMonthListFrame, kMonthRowHeight * DatePickerModel::kMonthRows + 2 * kMonthListFrame);
    for (int r = 0; r < DatePickerModel::kMonthRows; ++r) {
        auto* row = new QLabel(m_monthList);
        row->setObjectName(QStringLiteral("lblSelDate_%1").arg(r));
        row->setAlignment(Qt::AlignCenter);
        row->setAutoFillBackground(true);
        row->setGeometry(kMonthListFrame, kMonthListFrame + r * kMonthRowHeight, kMonthListWidth, kMonthRowHeight);
        m_monthRows << row;
    }
    m_monthList->hide();
    m_monthTicker = new QTimer(this);
    m_monthTicker->setObjectName(QStringLiteral("TimerMonthTicker"));
    m_monthTicker->setInterval(400);
    connect(m_monthTicker, &QTimer::timeout, this, [this] {
        m_model.tickMonthList();
        refreshMonthList();
    });
    m_title->installEventFilter(this);
}

void DateTimePicker::acceptHighlight()
{
    m_model.acceptHighlight();
    closeCalendar();
    refreshText();
    m_text->setFocus();
}

void DateTimePicker::refreshMonthList()
{
    if (!m_monthList) return;
    m_monthList->setVisible(m_model.isMonthListOpen());
    if (!m_model.isMonthListOpen()) {
        m_monthTicker->stop();
        return;
    }
    const QLocale locale;
    for (int r = 0; r < DatePickerModel::kMonthRows; ++r) {
        const QDate d = m_model.monthListRow(r);
        m_monthRows[r]->setText(d.isValid() ? locale.toString(d, QStringLiteral("MMMM yyyy")) : QString());
        QPalette pal = m_monthRows[r]->palette();
        const bool lit = r == m_model.monthListHighlight();
        pal.setColor(QPalette::Window, lit ? palette().color(QPalette::Highlight) : palette().color(QPalette::Base));
        pal.setColor(QPalette::WindowText, lit ? palette().color(QPalette::HighlightedText) : palette().color(QPalette::Text));
        m_monthRows[r]->setPalette(pal);
    }
    if (m_model.monthTicker() != 0 && !m_monthTicker->isActive()) m_monthTicker->start();
    if (m_model.monthTicker() == 0) m_monthTicker->stop();
}

void DateTimePicker::openCalendar()
{
    if (!isEnabled()) return;
    if (!m_popup) buildPopup();
    m_model.setHighlight(m_model.dateSelected().date());
    refreshCalendar();
    m_popup->adjustSize();
    QRect r(mapToGlobal(QPoint(0, height() - 1)), m_popup->sizeHint());
    if (const QScreen* screen = this->screen()) {
        const QRect avail = screen->availableGeometry();
        if (r.bottom() > avail.bottom()) r.moveBottom(mapToGlobal(QPoint(0, 0)).y());
        if (r.right() > avail.right()) r.moveRight(avail.right());
    }
    m_popup->move(r.topLeft());
    m_popup->show();
}

void DateTimePicker::closeCalendar()
{
    if (!m_popup) return;
    // The month list is a window of its own: it goes with the calendar, its ticker with it.
    m_model.closeMonthList();
    refreshMonthList();
    m_popup->hide();
}

void DateTimePicker::refreshText() { m_text->setText(m_model.formatted(m_model.dateSelected().date())); }

void DateTimePicker::refreshCalendar()
{
    if (!m_popup) return;
    const QLocale locale;
    m_title->setText(locale.toString(m_model.viewMonth(), QStringLiteral("MMMM yyyy")));
    const int first = static_cast<int>(m_model.qtFirstDayOfWeek());
    // The band colour (button face) of the window the picker sits in; the box's own style sheet
    // paints it in the field colour.
    const QColor band = window()->palette().color(QPalette::Button);
    for (int c = 0; c < 7; ++c) {
        const QString name = locale.dayName((first - 1 + c) % 7 + 1, QLocale::ShortFormat);
        m_dayNames[c]->setText(m_shortDayNames ? name.left(1) : name);
        m_dayNames[c]->setStyleSheet(QStringLiteral("background: %1; color: %2;").arg(band.name(), textOn(band).name()));
    }
    m_description->setText(m_model.formatted(m_model.highlight()));
    // Qt keeps a widget's cursor until it is unset, so it is set or unset on every refresh.
    QList<QWidget*> clickables;
    for (QWidget* w : m_popup->findChildren<QToolButton*>()) clickables << w;
    clickables << m_description;
    for (QWidget* clickable : clickables) {
        if (m_useHandCursor)
            clickable->setCursor(Qt::PointingHandCursor);
        else
            clickable->unsetCursor();
    }
    const auto cells = m_model.cells();
    for (int i = 0; i < DatePickerModel::kCells; ++i) {
        const QDate d = cells[static_cast<size_t>(i)];
        const bool inMonth = d.month() == m_model.viewMonth().month();
        QToolButton* cell = m_cells.value(i);
        if (!cell) {
            cell = m_popup->findChild<QToolButton*>(QStringLiteral("day_%1").arg(i));
            m_cells << cell;
        }
        cell->setText(inMonth || m_model.showNonMonthDays ? QString::number(d.day()) : QString());
        QPalette pal = cell->palette();
        pal.setColor(QPalette::ButtonText, inMonth ? palette().color(QPalette::Text)
                                                   : palette().color(QPalette::Disabled, QPalette::Text));
        cell->setPalette(pal);
        // The highlighted day in its own colour and frame; today in the weekday band's colour.
        const bool shown = !cell->text().isEmpty();
        if (shown && d == m_model.highlight())
            cell->setStyleSheet(QStringLiteral("background: %1; border: 1px solid rgb(187,85,3);").arg(kHighlight.name()));
        else if (shown && d == m_model.today())
            cell->setStyleSheet(QStringLiteral("background: %1;").arg(band.name()));
        else
            cell->setStyleSheet(QString());
    }
}

void DateTimePicker::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    const int side = height() - 4;
    m_drop->setGeometry(width() - (2 + side), (height() - side) / 2, side, side);
    m_text->setGeometry(3, (height() - m_text->sizeHint().height()) / 2, width() - 6 - side - 2, m_text->sizeHint().height());
}

void DateTimePicker::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::EnabledChange && !isEnabled()) closeCalendar();
    QWidget::changeEvent(e);
}

void DateTimePicker::hideEvent(QHideEvent* e)
{
    closeCalendar();
    QWidget::hideEvent(e);
}

bool DateTimePicker::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_popup && e->type() == QEvent::Hide && m_model.isMonthListOpen()) {
        // Closed by a click elsewhere: the month list, a window of its own, goes with it.
        m_model.closeMonthList();
        refreshMonthList();
    }
    if (watched == m_title && m_monthList) {
        // The title keeps the mouse while the button is held, so its moves track the list.
        const auto mouse = [e] { return static_cast<QMouseEvent*>(e); };
        switch (e->type()) {
        case QEvent::MouseButtonPress: {
            if (mouse()->button() != Qt::LeftButton) break;
            m_model.openMonthList();
            // Under the title, its middle row over the month header.
            const QPoint headerBottom = m_header->mapToGlobal(QPoint(0, m_header->height()));
            const int x = m_title->mapToGlobal(QPoint(0, 0)).x() - kMonthListFrame;
            const int y = headerBottom.y() - (m_monthList->height() + kMonthRowHeight) / 2 - 2;
            m_monthList->move(x, y);
            refreshMonthList();
            m_monthList->raise();
            return true;
        }
        case QEvent::MouseMove: {
            const QPoint p = m_monthList->mapFromGlobal(m_title->mapToGlobal(mouse()->position().toPoint()))
                             - QPoint(kMonthListFrame, kMonthListFrame);
            m_model.trackMonthList(p.y(), kMonthRowHeight, p.x() >= 0 && p.x() < kMonthListWidth);
            refreshMonthList();
            return true;
        }
        case QEvent::MouseButtonRelease:
            m_model.releaseMonthList();
            refreshMonthList();
            refreshCalendar();
            return true;
        default: break;
        }
    }
    if (watched == m_header && m_title) {
        const auto mouse = [e] { return static_cast<QMouseEvent*>(e); };
        if (e->type() == QEvent::MouseButtonPress && mouse()->button() == Qt::LeftButton) {
            const int x = mouse()->position().toPoint().x();
            if (x < m_title->x()) m_model.showPreviousMonth();
            if (x > m_title->geometry().right()) m_model.showNextMonth();
            refreshCalendar();
            return true;
        }
        if (e->type() == QEvent::MouseMove) {
            const int x = mouse()->position().toPoint().x();
            const bool beside = x < m_title->x() || x > m_title->geometry().right();
            if (m_useHandCursor && beside)
                m_header->setCursor(Qt::PointingHandCursor);
            else
                m_header->unsetCursor();
        }
    }
    if (watched == m_description && e->type() == QEvent::MouseButtonRelease) {
        // Back to the highlighted day's month, wherever the arrows led.
        m_model.showMonth(m_model.highlight());
        refreshCalendar();
        return true;
    }
    if (e->type() == QEvent::MouseButtonDblClick && watched->property("cell").isValid()) {
        const QDate d = m_model.cellDate(watched->property("cell").toInt());
        if (!d.isValid()) return true;
        m_model.setHighlight(d);
        acceptHighlight();
        return true;
    }
    if (e->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (watched == m_today || watched == m_ok) {
            auto* button = static_cast<QPushButton*>(watched);
            switch (key) {
            case Qt::Key_Return:
            case Qt::Key_Enter: button->click(); return true;
            case Qt::Key_Escape: closeCalendar(); return true;
            // The arrows step between the two buttons, as Tab and Shift+Tab do.
            case Qt::Key_Left:
            case Qt::Key_Up:
            case Qt::Key_Right:
            case Qt::Key_Down: (button == m_today ? m_ok : m_today)->setFocus(Qt::TabFocusReason); return true;
            default: break;
            }
        }
        if (watched == m_text && !isDropped() && key == Qt::Key_Down) {
            openCalendar();
            return true;
        }
        if (watched == m_popup) {
            if (key == Qt::Key_Escape) {
                closeCalendar();
                return true;
            }
            const bool accept = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
            if (accept) {
                acceptHighlight();
                return true;
            }
            if (m_model.key(key)) {
                refreshCalendar();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace tf
