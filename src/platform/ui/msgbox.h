#pragma once
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <vector>

// Every message the program shows goes through MsgBox. The style value keeps the meaning the
// program's messages were written with: buttons + icon + default button, added together.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton1 = 0,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
};

enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7,
};

class QMessageBox;
class QWidget;

namespace tf {

// The buttons a style offers, in the order shown, and the answer its default button gives.
std::vector<int> msgBoxButtons(int style);
int msgBoxDefaultAnswer(int style);
// The answer that closing the box without a choice gives (Cancel, No or OK, as the buttons allow).
int msgBoxEscapeAnswer(int style);

class MessageBoxHandler {
public:
    virtual ~MessageBoxHandler() = default;
    virtual int show(const QString& prompt, int style, const QString& title) = 0;
};

// Installs the handler every MsgBox goes to; nullptr restores the real Qt message box.
// The caller keeps ownership.
void setMessageBoxHandler(MessageBoxHandler* handler);
MessageBoxHandler* messageBoxHandler();

// The box the real handler shows, built but not shown: each button carries its answer in the
// property "answer". Once shown it is wide enough for its whole title beside a title bar's buttons.
std::unique_ptr<QMessageBox> makeMessageBox(const QString& prompt, int style, const QString& title,
                                            QWidget* parent = nullptr);

// A handler for tests: records every message and answers from a queue of scripted answers,
// or with the style's default button when the queue is empty. Installs itself while it lives.
class ScriptedMessageBoxes : public MessageBoxHandler {
public:
    struct Shown {
        QString prompt;
        int style = 0;
        QString title;
        int answer = 0;
        int icon() const { return style & 0x70; }
        int buttons() const { return style & 0x0F; }
    };

    ScriptedMessageBoxes();
    ~ScriptedMessageBoxes() override;
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    void answerNext(int answer) { m_answers.push_back(answer); }
    const std::vector<Shown>& shown() const { return m_shown; }
    QStringList prompts() const;
    void clear() { m_shown.clear(); m_answers.clear(); }

    int show(const QString& prompt, int style, const QString& title) override;

private:
    std::deque<int> m_answers;
    std::vector<Shown> m_shown;
    MessageBoxHandler* m_previous = nullptr;
};

} // namespace tf

// An empty title means the program's title, as message boxes have always defaulted to.
int MsgBox(const QString& prompt, int style = vbOKOnly, const QString& title = QString());
