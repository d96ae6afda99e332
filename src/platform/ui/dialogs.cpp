#include "platform/ui/dialogs.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QColorDialog>
#include <QDialog>
#include <QPushButton>
#include <QShortcut>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>

namespace tf {

namespace {

DialogProvider* g_provider = nullptr;

// "tif" -> "[tT][iI][fF]": a pattern that matches whatever the case.
QString caselessPattern(const QString& pattern)
{
    QString caseless;
    for (QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            caseless += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            caseless += c;
    }
    return caseless;
}

} // namespace

QStringList qtNameFilters(const QString& filter)
{
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << caselessPattern(p.trimmed());
        out << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out;
}

QFileDialog::Options fileDialogOptions(const FileDialogRequest& request)
{
    // The descriptions already name their patterns; the case-free classes need not show.
    QFileDialog::Options options = QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails;
    if (request.save && !request.confirmOverwrite) options |= QFileDialog::DontConfirmOverwrite;
    return options;
}

namespace {

// With HideNameFilterDetails the dialog reports a filter by the text it shows, which lacks the
// letter classes: find the entry that text stands for.
int filterIndexOf(const QStringList& filters, const QString& shown)
{
    qsizetype i = filters.indexOf(shown);
    for (qsizetype k = 0; i < 0 && k < filters.size(); ++k)
        if (filters[k].startsWith(shown + QStringLiteral(" ("))) i = k;
    return static_cast<int>(i) + 1;
}

// The first pattern's extension of each entry of a "Desc|*.a;*.b|..." filter, as typed there.
QStringList firstExtensions(const QString& filter)
{
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 1; i < parts.size(); i += 2) {
        const QString first = parts[i].section(QLatin1Char(';'), 0, 0).trimmed();
        const qsizetype point = first.lastIndexOf(QLatin1Char('.'));
        const QString ext = point < 0 ? QString() : first.mid(point + 1);
        out << (ext.contains(QLatin1Char('*')) || ext.contains(QLatin1Char('?')) ? QString() : ext);
    }
    return out;
}

class QtDialogs : public DialogProvider {
public:
    FileDialogResult fileDialog(const FileDialogRequest& request) override
    {
        QFileDialog dialog(request.owner, request.title, request.initialDir);
        dialog.setOptions(fileDialogOptions(request));
        dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
        const QStringList filters = qtNameFilters(request.filter);
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            const int index = qBound(1, request.filterIndex, static_cast<int>(filters.size()));
            dialog.selectNameFilter(filters[index - 1]);
        }
        if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
        if (request.panel) {
            if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
                grid->addWidget(request.panel, grid->rowCount(), 0, 1, grid->columnCount());
            request.panel->show();
        }
        if (request.onSelectionChanged)
            QObject::connect(&dialog, &QFileDialog::currentChanged, request.onSelectionChanged);
        if (request.onFolderChanged)
            QObject::connect(&dialog, &QFileDialog::directoryEntered, request.onFolderChanged);
        const QStringList extensions = firstExtensions(request.filter);
        QObject::connect(&dialog, &QFileDialog::filterSelected, [&](const QString& f) {
            const int index = filterIndexOf(filters, f);
            // A save dialog has just given the typed name the new type's extension, spelled as the
            // letter classes that make the list caseless; the name wants the plain one.
            auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            const QString plain = index >= 1 && index <= extensions.size() ? extensions[index - 1] : QString();
            if (request.save && name && !plain.isEmpty()) {
                const QString caseless = caselessPattern(plain);
                if (name->text().endsWith(QLatin1Char('.') + caseless))
                    name->setText(name->text().chopped(caseless.size()) + plain);
            }
            if (request.onTypeChanged) request.onTypeChanged(index);
        });

        FileDialogResult result;
        result.filterIndex = request.filterIndex;
        const bool accepted = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
        if (request.panel) request.panel->setParent(nullptr); // the caller owns it, not the dialog
        if (!accepted) return result;
        result.accepted = true;
        result.filePath = dialog.selectedFiles().constFirst();
        result.fileTitle = QFileInfo(result.filePath).fileName();
        result.filterIndex = filterIndexOf(filters, dialog.selectedNameFilter());
        if (result.filterIndex < 1) result.filterIndex = request.filterIndex;
        return result;
    }

    ColorDialogResult colorDialog(QWidget* owner, const QColor& initial, QList<QColor>& customColors) override
    {
        for (int i = 0; i < customColors.size() && i < QColorDialog::customCount(); ++i)
            QColorDialog::setCustomColor(i, customColors[i]);
        QColorDialog dialog(initial, owner);
        dialog.setOption(QColorDialog::DontUseNativeDialog, true);
        ColorDialogResult result;
        if (dialog.exec() == QDialog::Accepted) {
            result.color = dialog.selectedColor();
            result.cancelled = false;
        }
        for (int i = 0; i < customColors.size() && i < QColorDialog::customCount(); ++i)
            customColors[i] = QColorDialog::customColor(i);
        return result;
    }

    QString folderDialog(QWidget* owner, const QString& title, const QString& startFolder) override
    {
        const std::unique_ptr<QFileDialog> dialog = makeFolderDialog(owner, title, startFolder);
        if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return QString();
        return dialog->selectedFiles().constFirst();
    }
};

QtDialogs g_qtDialogs;

DialogProvider& installedProvider() { return g_provider ? *g_provider : g_qtDialogs; }

// In front of whichever provider is installed: it gives a request without a folder the folder its
// kind was last used in, and notes the folder of each file chosen.
class RememberedFolders : public DialogProvider {
public:
    FileDialogResult fileDialog(const FileDialogRequest& request) override
    {
        const QString kind = kindOf(request);
        if (request.initialDir.isEmpty() && !QDir::isAbsolutePath(request.fileName)) {
            FileDialogRequest started = request;
            started.initialDir = startFolder(kind);
            return remember(kind, installedProvider().fileDialog(started));
        }
        return remember(kind, installedProvider().fileDialog(request));
    }
    ColorDialogResult colorDialog(QWidget* owner, const QColor& initial, QList<QColor>& customColors) override
    {
        return installedProvider().colorDialog(owner, initial, customColors);
    }
    QString folderDialog(QWidget* owner, const QString& title, const QString& startFolder) override
    {
        return installedProvider().folderDialog(owner, title, startFolder);
    }

    QHash<QString, QString> lastFolders;
    QString browsedFolder;

private:
    static QString kindOf(const FileDialogRequest& request)
    {
        return (request.save ? QStringLiteral("save:") : QStringLiteral("open:")) + request.title;
    }
    QString startFolder(const QString& kind) const
    {
        for (const QString& folder : {lastFolders.value(kind), browsedFolder})
            if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
        return QString();
    }
    FileDialogResult remember(const QString& kind, FileDialogResult result)
    {
        if (result.accepted && QDir::isAbsolutePath(result.filePath))
            lastFolders.insert(kind, QFileInfo(result.filePath).absolutePath());
        return result;
    }
};

RememberedFolders g_remembered;

} // namespace

std::unique_ptr<QFileDialog> makeFolderDialog(QWidget* owner, const QString& title, const QString& startFolder)
{
    auto dialog = std::make_unique<QFileDialog>(owner, title);
    dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::Directory);
    auto* status = new QLabel(dialog.get());
    status->setObjectName(QStringLiteral("statusText"));
    status->setTextFormat(Qt::PlainText);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
        grid->addWidget(status, grid->rowCount(), 0, 1, grid->columnCount());
    // Only a choice that names a path replaces the line; the list's own moves may name none.
    QObject::connect(dialog.get(), &QFileDialog::currentChanged, status, [status](const QString& path) {
        if (!path.isEmpty()) status->setText(QDir::toNativeSeparators(QDir::cleanPath(path)));
    });

    const QFileInfo start(startFolder);
    if (startFolder.isEmpty() || !start.isDir()) return dialog;
    const QString folder = QDir::cleanPath(start.absoluteFilePath());
    QDir parent(folder);
    if (parent.cdUp()) {
        dialog->setDirectory(parent);
        dialog->selectFile(folder);
    } else {
        dialog->setDirectory(folder); // the root has no parent to show it in
    }
    status->setText(QDir::toNativeSeparators(folder));
    return dialog;
}

void setDialogProvider(DialogProvider* provider) { g_provider = provider; }
DialogProvider& dialogProvider() { return g_remembered; }

void setBrowsedFolder(const QString& folder) { g_remembered.browsedFolder = folder; }

void forgetFileDialogFolders()
{
    g_remembered.lastFolders.clear();
    g_remembered.browsedFolder.clear();
}

ScriptedDialogs::ScriptedDialogs() : m_previous(g_provider) { g_provider = this; }
ScriptedDialogs::~ScriptedDialogs()
{
    if (g_provider == this) g_provider = m_previous;
}

void ScriptedDialogs::answerFile(const QString& path, int filterIndex,
                                 std::function<void(const FileDialogRequest&)> whileOpen)
{
    FileAnswer a;
    a.result.accepted = true;
    a.result.filePath = path;
    a.result.fileTitle = QFileInfo(path).fileName();
    a.result.filterIndex = filterIndex;
    a.whileOpen = std::move(whileOpen);
    m_files.push_back(std::move(a));
}

void ScriptedDialogs::cancelFile(std::function<void(const FileDialogRequest&)> whileOpen)
{
    FileAnswer a;
    a.whileOpen = std::move(whileOpen);
    m_files.push_back(std::move(a));
}

void ScriptedDialogs::answerColor(const QColor& color) { m_colors.push_back({color, false}); }
void ScriptedDialogs::cancelColor() { m_colors.push_back({QColor(), true}); }
void ScriptedDialogs::answerFolder(const QString& folder) { m_folders.push_back(folder); }

FileDialogResult ScriptedDialogs::fileDialog(const FileDialogRequest& request)
{
    m_fileRequests.push_back(request);
    FileAnswer answer;
    if (!m_files.empty()) {
        answer = std::move(m_files.front());
        m_files.pop_front();
    }
    if (answer.whileOpen) answer.whileOpen(request);
    if (!answer.result.accepted) answer.result.filterIndex = request.filterIndex;
    return answer.result;
}

ColorDialogResult ScriptedDialogs::colorDialog(QWidget*, const QColor& initial, QList<QColor>& customColors)
{
    ++m_colorRequests;
    m_lastInitialColors = QList<QColor>{initial} + customColors;
    if (m_colors.empty()) return {};
    ColorDialogResult r = m_colors.front();
    m_colors.pop_front();
    return r;
}

QString ScriptedDialogs::folderDialog(QWidget*, const QString& title, const QString& startFolder)
{
    m_folderTitles.push_back(title);
    m_folderStarts.push_back(startFolder);
    if (m_folders.empty()) return QString();
    QString f = m_folders.front();
    m_folders.pop_front();
    return f;
}

namespace {

class ListEscape : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            auto* key = static_cast<QKeyEvent*>(event);
            auto* list = qobject_cast<QWidget*>(watched);
            if (list && list->isVisible() && key->matches(QKeySequence::Cancel)) key->accept();
        }
        return false;
    }
};

} // namespace

void setDialogKeys(QDialog* dialog, QPushButton* ok, QAbstractButton* cancel)
{
    if (ok) ok->setDefault(true);
    if (!cancel) return;
    // A shortcut is offered the key before the focused control and the dialog's own handling,
    // which would reject without the button's handler. An open drop-down list closes itself on
    // Escape without claiming the key, so the shortcut would close the dialog with it: the list
    // claims it here.
    auto* listsKeepEscape = new ListEscape(dialog);
    for (QComboBox* list : dialog->findChildren<QComboBox*>()) list->view()->installEventFilter(listsKeepEscape);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), dialog);
    QObject::connect(escape, &QShortcut::activated, cancel, [cancel] {
        if (cancel->isEnabled() && cancel->isVisible()) cancel->click();
    });
}

} // namespace tf
