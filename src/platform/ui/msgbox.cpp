#include "platform/ui/msgbox.h"

#include "version_info.h"

#include <QApplication>
#include <QGridLayout>
#include <QScreen>
#include <QSpacerItem>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace tf {

namespace {

MessageBoxHandler* g_handler = nullptr;

QString buttonText(int answer)
{
    switch (answer) {
    case vbOK: return QStringLiteral("OK");
    case vbCancel: return QStringLiteral("Cancel");
    case vbAbort: return QStringLiteral("&Abort");
    case vbRetry: return QStringLiteral("&Retry");
    case vbIgnore: return QStringLiteral("&Ignore");
    case vbYes: return QStringLiteral("&Yes");
    case vbNo: return QStringLiteral("&No");
    }
    return QString();
}

constexpr char kAnswer[] = "answer";

// Qt sizes a box for its text and allows only a little beside the title, while a window manager
// puts its icon and three buttons in the same bar and cuts the title short in the middle. The
// room the bar takes besides the title text, for a window manager of ordinary size.
constexpr int kTitleBarFurniture = 160;

void leaveRoomForTitle(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid || box.windowTitle().isEmpty()) return;
    // Title bars are drawn in bold more often than not.
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    int width = QFontMetrics(font).horizontalAdvance(box.windowTitle()) + kTitleBarFurniture;
    if (const QScreen* screen = box.screen()) width = std::min(width, screen->availableGeometry().width() * 3 / 4);
    // Beside the buttons, so that no row of its own adds height.
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount() - 1, 0, 1,
                  std::max(1, grid->columnCount()));
}

class QtMessageBoxes : public MessageBoxHandler {
public:
    int show(const QString& prompt, int style, const QString& title) override
    {
        const std::unique_ptr<QMessageBox> box = makeMessageBox(prompt, style, title, QApplication::activeWindow());
        box->exec();
        if (QAbstractButton* clicked = box->clickedButton()) return clicked->property(kAnswer).toInt();
        return msgBoxEscapeAnswer(style);
    }
};

QtMessageBoxes g_qtHandler;

} // namespace

std::vector<int> msgBoxButtons(int style)
{
    switch (style & 0x0F) {
    case vbOKCancel: return {vbOK, vbCancel};
    case vbAbortRetryIgnore: return {vbAbort, vbRetry, vbIgnore};
    case vbYesNoCancel: return {vbYes, vbNo, vbCancel};
    case vbYesNo: return {vbYes, vbNo};
    case vbRetryCancel: return {vbRetry, vbCancel};
    default: return {vbOK};
    }
}

int msgBoxDefaultAnswer(int style)
{
    const std::vector<int> buttons = msgBoxButtons(style);
    size_t index = 0;
    if ((style & 0x300) == vbDefaultButton2) index = 1;
    else if ((style & 0x300) == vbDefaultButton3) index = 2;
    return index < buttons.size() ? buttons[index] : buttons.front();
}

int msgBoxEscapeAnswer(int style)
{
    const std::vector<int> buttons = msgBoxButtons(style);
    for (int b : buttons)
        if (b == vbCancel) return vbCancel;
    if (buttons.size() == 1) return buttons.front();
    if ((style & 0x0F) == vbYesNo) return vbNo;
    return buttons.back();
}

std::unique_ptr<QMessageBox> makeMessageBox(const QString& prompt, int style, const QString& title, QWidget* parent)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(title);
    box->setText(prompt);
    switch (style & 0x70) {
    case vbCritical: box->setIcon(QMessageBox::Critical); break;
    case vbQuestion: box->setIcon(QMessageBox::Question); break;
    case vbExclamation: box->setIcon(QMessageBox::Warning); break;
    case vbInformation: box->setIcon(QMessageBox::Information); break;
    default: box->setIcon(QMessageBox::NoIcon); break;
    }
    const int def = msgBoxDefaultAnswer(style);
    for (int answer : msgBoxButtons(style)) {
        QPushButton* b = box->addButton(buttonText(answer), QMessageBox::ActionRole);
        b->setProperty(kAnswer, answer);
        if (answer == def) box->setDefaultButton(b);
        if (answer == msgBoxEscapeAnswer(style)) box->setEscapeButton(b);
    }
    // Last: setting the icon lays the box out anew.
    leaveRoomForTitle(*box);
    return box;
}

void setMessageBoxHandler(MessageBoxHandler* handler) { g_handler = handler; }
MessageBoxHandler* messageBoxHandler() { return g_handler ? g_handler : &g_qtHandler; }

ScriptedMessageBoxes::ScriptedMessageBoxes() : m_previous(g_handler) { g_handler = this; }
ScriptedMessageBoxes::~ScriptedMessageBoxes()
{
    if (g_handler == this) g_handler = m_previous;
}

int ScriptedMessageBoxes::show(const QString& prompt, int style, const QString& title)
{
    int answer = msgBoxDefaultAnswer(style);
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    }
    m_shown.push_back({prompt, style, title, answer});
    return answer;
}

QStringList ScriptedMessageBoxes::prompts() const
{
    QStringList out;
    for (const Shown& s : m_shown) out << s.prompt;
    return out;
}

} // namespace tf

int MsgBox(const QString& prompt, int style, const QString& title)
{
    const QString shownTitle = title.isEmpty() ? QString::fromUtf8(tf::version::kTitle) : title;
    return tf::messageBoxHandler()->show(prompt, style, shownTitle);
}
