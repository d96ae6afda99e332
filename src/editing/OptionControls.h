#pragma once
// The small controls the task option panels are made of: the numeric box with its input rules and
// the colour button.
#include "platform/sys/colors.h"

#include <QLineEdit>
#include <QToolButton>
#include <optional>

namespace tf {

// A box's text after leaving it: a whole number between -32768 and 32767 is kept within lo..hi;
// any other text (empty, "-" alone, a number out of that width) becomes hi.
QString clampedNumberText(const QString& text, int lo, int hi);

// The strict reading Apply uses: a whole number (optionally signed) within lo..hi, or nothing.
std::optional<int> boxNumber(const QString& text, int lo, int hi);

// A text box for whole numbers. Typing lets through digits (and "-" where allowed) up to a typed
// length; keys without text (arrows, Delete, Tab, Backspace) and pasting pass as they are. Emptied,
// the box shows its default text selected. On focus the caret goes to the end; on leaving, the
// text is clamped when the box has a range.
class NumericBox : public QLineEdit {
    Q_OBJECT
public:
    struct Rule {
        int maxTyped = 0; // 0: no limit. Programmatic texts are never cut.
        bool minus = false;
        QString emptyText = QStringLiteral("0"); // empty: an emptied box stays empty
        bool clamp = false;
        int lo = 0, hi = 0;
    };

    NumericBox(const QString& name, const Rule& rule, QWidget* parent);
    const Rule& rule() const { return m_rule; }
    void setRange(int lo, int hi);
    // The clamp that leaving the box applies; also what the spinner coupling calls.
    void clampNow();

signals:
    // After leaving, with the clamped number (boxes with a range only).
    void clamped(int value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    Rule m_rule;
};

// A push button whose face is a colour (0x00BBGGRR, or a system colour with the top bit set).
class ColorButton : public QToolButton {
    Q_OBJECT
public:
    ColorButton(const QString& name, QWidget* parent);
    OleColor color() const { return m_color; }
    void setColor(OleColor color);

private:
    OleColor m_color = 0;
};

} // namespace tf
