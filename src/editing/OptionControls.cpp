#include "editing/OptionControls.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace tf {

std::optional<int> boxNumber(const QString& text, int lo, int hi)
{
    const QString t = text.trimmed();
    bool ok = false;
    const int v = t.toInt(&ok, 10);
    if (!ok || v < lo || v > hi) return std::nullopt;
    return v;
}

QString clampedNumberText(const QString& text, int lo, int hi)
{
    const auto v = boxNumber(text, -32768, 32767);
    if (!v) return QString::number(hi);
    if (*v > hi) return QString::number(hi);
    if (*v < lo) return QString::number(lo);
    return text;
}

NumericBox::NumericBox(const QString& name, const Rule& rule, QWidget* parent) : QLineEdit(parent), m_rule(rule)
{
    setObjectName(name);
    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!t.isEmpty() || m_rule.emptyText.isEmpty()) return;
        // The default stands selected, so that the next key typed replaces it.
        setText(m_rule.emptyText);
        setSelection(0, int(m_rule.emptyText.size()));
    });
}

void NumericBox::setRange(int lo, int hi)
{
    m_rule.clamp = true;
    m_rule.lo = lo;
    m_rule.hi = hi;
}

void NumericBox::clampNow()
{
    if (!m_rule.clamp) return;
    const QString t = clampedNumberText(text(), m_rule.lo, m_rule.hi);
    if (t != text()) setText(t);
    emit clamped(text().trimmed().toInt());
}

void NumericBox::keyPressEvent(QKeyEvent* event)
{
    const QString t = event->text();
    const bool typed = !t.isEmpty() && t.at(0).isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (!typed) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    for (const QChar c : t) {
        if (!(c.isDigit() && c.unicode() < 128) && !(m_rule.minus && c == QLatin1Char('-'))) {
            event->accept();
            return;
        }
    }
    if (m_rule.maxTyped > 0 && text().size() - selectedText().size() + t.size() > m_rule.maxTyped) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void NumericBox::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    // Not the select-all of a Tab focus: the caret goes to the end.
    deselect();
    setCursorPosition(int(text().size()));
}

void NumericBox::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    clampNow();
}

ColorButton::ColorButton(const QString& name, QWidget* parent) : QToolButton(parent)
{
    setObjectName(name);
    setAutoRaise(false);
    setMinimumSize(24, 20);
    setColor(0);
}

void ColorButton::setColor(OleColor color)
{
    m_color = color;
    setStyleSheet(QStringLiteral("QToolButton { background-color: %1; border: 1px solid gray; }")
                      .arg(colorFromOle(color).name()));
}

} // namespace tf
