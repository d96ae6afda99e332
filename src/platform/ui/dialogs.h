#pragma once
#include <QColor>
#include <QFileDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QAbstractButton;
class QDialog;
class QPushButton;
class QWidget;

namespace tf {

// Enter presses `ok` (when it is enabled) and Escape presses `cancel`, wherever the focus is in the
// dialog, so each key runs the button's own handler: a Cancel that stores options or stops work
// does so on Escape too; only a drop-down list that is open takes Escape first, to close itself.
// Either may be null; a dialog without `cancel` keeps Escape as a close.
void setDialogKeys(QDialog* dialog, QPushButton* ok, QAbstractButton* cancel);

// One open or save dialog. The filter is the program's "Description|pattern;pattern|..." text.
// The optional panel is embedded below the file list; the callbacks report what the user is
// looking at while the dialog is open (selection, folder, chosen file type).
struct FileDialogRequest {
    bool save = false;
    QWidget* owner = nullptr;
    QString title;
    QString filter;
    int filterIndex = 1;      // 1-based
    QString initialDir;
    QString fileName;         // proposed name (save dialogs)
    QString defaultSuffix;    // without the point; empty for none
    // Save dialogs ask before replacing an existing file; a caller that asks its own question
    // (or appends to the file chosen) turns this off.
    bool confirmOverwrite = true;
    QWidget* panel = nullptr; // stays owned by the caller
    std::function<void(const QString& path)> onSelectionChanged;
    std::function<void(const QString& folder)> onFolderChanged;
    std::function<void(int filterIndex)> onTypeChanged;
};

struct FileDialogResult {
    bool accepted = false;
    QString filePath;  // full path of the chosen file
    QString fileTitle; // its name without the folder
    int filterIndex = 1;
};

struct ColorDialogResult {
    QColor color;
    bool cancelled = true;
};

// The common dialogs go through this seam: the real one shows Qt dialogs, tests install a
// scripted one. Custom colours are kept by the caller and passed in and out.
class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    virtual FileDialogResult fileDialog(const FileDialogRequest& request) = 0;
    virtual ColorDialogResult colorDialog(QWidget* owner, const QColor& initial, QList<QColor>& customColors) = 0;
    virtual QString folderDialog(QWidget* owner, const QString& title, const QString& startFolder) = 0;
};

// "Desc|*.a;*.b|Desc2|*.c" as Qt name filters, one per description. Each pattern's letters
// become [xX] classes so that the list matches names whatever their case, as users expect.
QStringList qtNameFilters(const QString& filter);

// The options the real dialog is shown with: Qt's own dialog (its filters match whatever the
// case), the filters' letter classes hidden, and the question before replacing a file unless the
// request turns it off.
QFileDialog::Options fileDialogOptions(const FileDialogRequest& request);

// The real folder dialog before it is shown: Qt's own dialog listing folders only, opened on the
// start folder's parent with the start folder selected, and a status line under the list (object
// name "statusText") that shows the path of the folder selected. A start folder that is empty or
// not a folder opens the dialog as Qt would, with nothing selected.
std::unique_ptr<QFileDialog> makeFolderDialog(QWidget* owner, const QString& title, const QString& startFolder);

// nullptr restores the real Qt dialogs. The caller keeps ownership.
void setDialogProvider(DialogProvider* provider);
// The dialogs the program shows. A file dialog whose request names no folder (no initialDir, no
// absolute fileName) opens in the folder of the file last chosen in a dialog of its kind during
// this run, or else in the folder being browsed; a folder that has gone since is passed over. A
// dialog's kind is what it is for: whether it opens or saves, and its title. The provider installed
// above sees the request with that folder filled in.
DialogProvider& dialogProvider();

// The folder the browse area shows, where file dialogs of a kind not used yet open.
void setBrowsedFolder(const QString& folder);
// Forgets the folders of every kind and the browsed folder, as at the start of a run.
void forgetFileDialogFolders();

// A scripted provider for tests. Each dialog takes the next queued answer of its kind (a cancel
// when none is queued) and records the request. A queued file answer may carry an action that
// runs with the request while the dialog is "open", so a test can work the embedded panel or fire
// the callbacks as a user would. Installs itself while it lives.
class ScriptedDialogs : public DialogProvider {
public:
    struct FileAnswer {
        FileDialogResult result;
        std::function<void(const FileDialogRequest&)> whileOpen;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void answerFile(const QString& path, int filterIndex = 1,
                    std::function<void(const FileDialogRequest&)> whileOpen = {});
    void cancelFile(std::function<void(const FileDialogRequest&)> whileOpen = {});
    void answerColor(const QColor& color);
    void cancelColor();
    void answerFolder(const QString& folder);

    const std::vector<FileDialogRequest>& fileRequests() const { return m_fileRequests; }
    int colorRequests() const { return m_colorRequests; }
    QList<QColor> lastInitialColors() const { return m_lastInitialColors; }
    const std::vector<QString>& folderTitles() const { return m_folderTitles; }
    const std::vector<QString>& folderStarts() const { return m_folderStarts; }

    FileDialogResult fileDialog(const FileDialogRequest& request) override;
    ColorDialogResult colorDialog(QWidget* owner, const QColor& initial, QList<QColor>& customColors) override;
    QString folderDialog(QWidget* owner, const QString& title, const QString& startFolder) override;

private:
    std::deque<FileAnswer> m_files;
    std::deque<ColorDialogResult> m_colors;
    std::deque<QString> m_folders;
    std::vector<FileDialogRequest> m_fileRequests;
    int m_colorRequests = 0;
    QList<QColor> m_lastInitialColors;
    std::vector<QString> m_folderTitles;
    std::vector<QString> m_folderStarts;
    DialogProvider* m_previous = nullptr;
};

} // namespace tf
