#include "services/modGenericFunctions.h"

#include "platform/sys/numbers.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QScrollBar>
#include <cmath>
#include <optional>

namespace {

// Start point (pixels of the image control) and state of a drag-to-pan.
float msngPanStartX = 0;
float msngPanStartY = 0;
bool mblnPanning = false;

class DesktopShellOpener : public tf::ShellOpener {
public:
    bool open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

DesktopShellOpener g_desktopOpener;
tf::ShellOpener* g_shellOpener = nullptr;

class NumericKeyFilter : public QObject {
public:
    NumericKeyFilter(QObject* parent, int16_t marker) : QObject(parent), m_marker(marker) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const QString text = static_cast<QKeyEvent*>(event)->text();
        // Only keys that type a character are filtered; the box's own editing and navigation keys
        // (Backspace, Delete, arrows, Enter, shortcuts) keep working.
        if (text.isEmpty() || !text.at(0).isPrint()) return false;
        for (const QChar c : text) {
            const char16_t code = c.unicode();
            int16_t key = code > 0x7FFF ? int16_t(0) : static_cast<int16_t>(code);
            if (key == 0) return true;
            subNumericKeyPress(key, m_marker);
            if (key == 0) return true;
        }
        return false;
    }

private:
    int16_t m_marker;
};

QLineEdit* editOf(QWidget* box)
{
    if (auto* edit = qobject_cast<QLineEdit*>(box)) return edit;
    if (auto* combo = qobject_cast<QComboBox*>(box)) return combo->lineEdit();
    return nullptr;
}

// The text as the 16-bit whole number it stands for (decimals rounded half to even), if any.
std::optional<int16_t> toInteger16(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool ok = false;
    double value = QLocale().toDouble(t, &ok);
    if (!ok) value = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    const double rounded = tf::roundHalfEven(value);
    if (rounded < INT16_MIN || rounded > INT16_MAX) return std::nullopt;
    return static_cast<int16_t>(rounded);
}

} // namespace

void subNumericKeyPress(int16_t& KeyAscii, int16_t Marker)
{
    const bool digit = KeyAscii >= 48 && KeyAscii <= 57;
    if (digit || KeyAscii == 8 || KeyAscii == Marker) return;
    KeyAscii = 0;
}

void subAttachNumericKeyFilter(QLineEdit* box, int16_t Marker)
{
    if (!box) return;
    box->installEventFilter(new NumericKeyFilter(box, Marker));
}

void subCaretToEnd(QLineEdit* box)
{
    if (!box) return;
    box->deselect();
    box->setCursorPosition(static_cast<int>(box->text().size()));
}

void subDefaultIfEmpty(QWidget* box, const QString& strDefault)
{
    QLineEdit* edit = editOf(box);
    if (!edit || !edit->text().isEmpty()) return;
    edit->setText(strDefault);
    edit->setSelection(0, static_cast<int>(strDefault.size()));
}

void subClampValue(QWidget* box, int16_t intMin, int16_t intMax)
{
    QLineEdit* edit = editOf(box);
    if (!edit) return;
    const std::optional<int16_t> value = toInteger16(edit->text());
    if (!value || *value > intMax)
        edit->setText(QString::number(intMax));
    else if (*value < intMin)
        edit->setText(QString::number(intMin));
}

void subShellOpen(const QString& strTarget) { fncShellOpen(strTarget); }

bool fncShellOpen(const QString& strTarget)
{
    if (strTarget.trimmed().isEmpty()) return false;
    const QUrl url = tf::shellTargetUrl(strTarget);
    if (!url.isValid()) return false;
    return (g_shellOpener ? g_shellOpener : &g_desktopOpener)->open(url);
}

void subResetBusy()
{
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    mblnPanning = false;
}

void subStartPan(float sngX, float sngY)
{
    msngPanStartX = sngX;
    msngPanStartY = sngY;
    mblnPanning = true;
}

bool fncIsPanning() { return mblnPanning; }

void subPanPreview(Qt::MouseButtons Button, float X, float Y, QScrollBar* hsb, QScrollBar* vsb)
{
    Q_UNUSED(Button);
    if (!mblnPanning) return;
    // Pixels, like the start point: the bars' units. A fraction of a pixel rounds half to even.
    if (hsb && hsb->isEnabled()) hsb->setValue(tf::roundToLong(double(hsb->value()) + msngPanStartX - X));
    if (vsb && vsb->isEnabled()) vsb->setValue(tf::roundToLong(double(vsb->value()) + msngPanStartY - Y));
}

namespace tf {

void setShellOpener(ShellOpener* opener) { g_shellOpener = opener; }

RecordedShellOpens::RecordedShellOpens() : m_previous(g_shellOpener) { g_shellOpener = this; }

RecordedShellOpens::~RecordedShellOpens()
{
    if (g_shellOpener == this) g_shellOpener = m_previous;
}

bool RecordedShellOpens::open(const QUrl& url)
{
    m_opened.push_back(url);
    return true;
}

QUrl shellTargetUrl(const QString& target)
{
    const QString t = target.trimmed();
    if (QDir::isAbsolutePath(t) || QFileInfo::exists(t))
        return QUrl::fromLocalFile(QFileInfo(t).absoluteFilePath());
    return QUrl::fromUserInput(t);
}

} // namespace tf
