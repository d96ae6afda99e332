#pragma once
#include <QString>
#include <QUrl>
#include <QtGlobal>
#include <cstdint>
#include <vector>

class QLineEdit;
class QScrollBar;
class QWidget;

// Small routines shared by the numeric text boxes of the option panels and dialogs, the shell
// opening of documents and web addresses, and the preview's drag-to-pan. None of them reports an
// error: a step that cannot be done is skipped.

// Key filter of the numeric boxes: digits (48 to 57) and Backspace (8) pass unchanged, and so does
// the key equal to Marker (-1 lets nothing extra through); every other key becomes 0 (swallowed).
void subNumericKeyPress(int16_t& KeyAscii, int16_t Marker = -1);

// Makes the box run every typed character through subNumericKeyPress with that marker. Keys that
// type no character (arrows, Delete, Enter, shortcuts) are left alone.
void subAttachNumericKeyFilter(QLineEdit* box, int16_t Marker = -1);

// Puts the caret after the last character, nothing selected.
void subCaretToEnd(QLineEdit* box);

// When the box (a line edit or an editable combo box) is empty it takes the default text, wholly
// selected, so that typing replaces it.
void subDefaultIfEmpty(QWidget* box, const QString& strDefault);

// On leaving a box: its text as a 16-bit whole number is kept between the limits (above the
// maximum it becomes the maximum, else below the minimum the minimum). A text that is not such a
// number (empty, "-" alone, out of the 16-bit range) becomes the maximum.
void subClampValue(QWidget* box, int16_t intMin, int16_t intMax);

// Opens a document, folder or web address with the desktop's default program. Failures are ignored.
void subShellOpen(const QString& strTarget);
// The same, answering whether a program took the target (false for an empty or unusable target).
bool fncShellOpen(const QString& strTarget);

// The mouse button was released over the previewed image: the pointer back to normal, no panning.
void subResetBusy();

// Starts a drag-to-pan at a point of the image control (in pixels).
void subStartPan(float sngX, float sngY);
bool fncIsPanning();

// The mouse moved over the previewed image (x and y in pixels, as the start point). While panning, each enabled scroll
// bar moves by the distance from the start point, so the grabbed point stays under the pointer.
void subPanPreview(Qt::MouseButtons Button, float X, float Y, QScrollBar* hsb, QScrollBar* vsb);

namespace tf {

// Where subShellOpen sends its target. Tests install a recorder so that nothing is launched.
class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    virtual bool open(const QUrl& url) = 0;
};

// Installs the opener subShellOpen uses; nullptr restores the desktop's. The caller keeps ownership.
void setShellOpener(ShellOpener* opener);

// Records every target and opens nothing; installs itself while it lives.
class RecordedShellOpens : public ShellOpener {
public:
    RecordedShellOpens();
    ~RecordedShellOpens() override;
    RecordedShellOpens(const RecordedShellOpens&) = delete;
    RecordedShellOpens& operator=(const RecordedShellOpens&) = delete;

    bool open(const QUrl& url) override;
    const std::vector<QUrl>& opened() const { return m_opened; }

private:
    std::vector<QUrl> m_opened;
    ShellOpener* m_previous = nullptr;
};

// The URL a shell-open target stands for: a local path (absolute, or existing relative to the
// working folder) as a file URL, anything else as the address the user would type.
QUrl shellTargetUrl(const QString& target);

} // namespace tf
