#include "basket/modDialogBox.h"

#include "basket/frmDialogExtension.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/msgbox.h"
#include "services/modFileSystem.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>

namespace {

// The one dialog that may be open, as the hook sees it.
struct DialogState {
    int16_t open = 0;
    QString filter;
    QString selectedPattern;
    QString lastPath;
    QPointer<frmDialogExtension> panel;
};
DialogState g_dialog;

// The dialog the panel sits in while it is open; null when the dialog is not a Qt one (tests).
QFileDialog* openDialog()
{
    if (!g_dialog.panel) return nullptr;
    return qobject_cast<QFileDialog*>(g_dialog.panel->window());
}

QLineEdit* nameBox(QFileDialog* dialog)
{
    // The name box of Qt's own (non-native) dialog; the only way to its typed text.
    return dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
}

void showTiffBoxFor(const QString& pattern)
{
    if (g_dialog.panel)
        g_dialog.panel->PicTiff->setVisible(pattern.compare(QLatin1String("*.tif"), Qt::CaseInsensitive) == 0);
}

void onFolderChanged(const QString&)
{
    if (QLineEdit* box = nameBox(openDialog())) box->clear();
}

void onSelectionChanged(const QString& path)
{
    if (!path.isEmpty()) g_dialog.lastPath = path;
}

void onTypeChanged(int filterIndex)
{
    QFileDialog* dialog = openDialog();
    QLineEdit* box = nameBox(dialog);
    const QString cut = box ? fncCutNameOnTypeChange(box->text()) : QString();
    g_dialog.selectedPattern = fncSelectedFilterExtension(g_dialog.filter, filterIndex);
    showTiffBoxFor(g_dialog.selectedPattern);
    if (dialog && g_dialog.selectedPattern.size() > 2) dialog->setDefaultSuffix(g_dialog.selectedPattern.mid(2));
    if (box) box->setText(cut);
}

} // namespace

QString fncTrimAtNull(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QString fncSelectedFilterExtension(const QString& filter, int filterIndex)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    const qsizetype at = 2 * qsizetype(filterIndex - 1) + 1;
    if (filterIndex < 1 || at >= parts.size()) return QString();
    const QString pattern = fncTrimAtNull(parts[at]);
    const qsizetype semicolon = pattern.indexOf(QLatin1Char(';'));
    return semicolon < 0 ? pattern : pattern.left(semicolon);
}

QString fncSelectedFilterExtension() { return g_dialog.selectedPattern; }

int32_t fncFilterIndexOfName(const QString& filter, const QString& fileName)
{
    const QString pattern = QStringLiteral("*.") + fncGetExtension(fileName);
    const QStringList parts = filter.split(QLatin1Char('|'));
    int32_t passed = 0;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (parts[i].startsWith(pattern, Qt::CaseInsensitive)) break;
        ++passed;
    }
    return passed / 2 + 1;
}

QString fncCutNameOnTypeChange(const QString& name)
{
    if (name.size() <= 4) return name;
    const qsizetype point = name.indexOf(QLatin1Char('.'), name.size() - 5);
    return point < 0 ? name : name.left(point);
}

QString fncCompleteSaveName(const QString& chosen, const QString& selectedPattern)
{
    QString name = chosen;
    while (name.endsWith(QLatin1Char('.'))) name.chop(1);
    if (name.isEmpty() || name.endsWith(QLatin1Char('/'))) return name;
    const QString ext = fncGetExtension(name).toLower();
    if (ext == QLatin1String("tif") || ext == QLatin1String("tiff") || ext == QLatin1String("pdf")) return name;
    if (selectedPattern.size() >= 3 && selectedPattern.startsWith(QLatin1Char('*'))) name += selectedPattern.mid(1);
    return name;
}

QString fncShowFileDialog(const QString& strInitialFileName, QString& strFilter, int32_t& lngFilterIndex,
                          const QString& strTitle, int16_t intOpen, frmDialogExtension* frmPanel, bool blnShowAppend,
                          QWidget* owner)
{
    g_dialog = DialogState{};
    g_dialog.open = intOpen;
    g_dialog.filter = strFilter;
    g_dialog.panel = frmPanel;

    if (!strInitialFileName.isEmpty() && lngFilterIndex == 0)
        lngFilterIndex = fncFilterIndexOfName(strFilter, strInitialFileName);
    const int startIndex = qMax(1, static_cast<int>(lngFilterIndex));
    g_dialog.selectedPattern = fncSelectedFilterExtension(strFilter, startIndex);

    tf::FileDialogRequest request;
    request.save = intOpen == 0;
    request.owner = owner;
    request.title = strTitle;
    request.filter = strFilter;
    request.filterIndex = startIndex;
    request.fileName = strInitialFileName;
    // A name typed without an extension gets the selected type's inside the dialog, so the
    // question before replacing a file is asked about the name that will be written.
    if (request.save && g_dialog.selectedPattern.size() > 2) request.defaultSuffix = g_dialog.selectedPattern.mid(2);
    request.panel = frmPanel;
    request.onFolderChanged = onFolderChanged;
    request.onSelectionChanged = onSelectionChanged;
    request.onTypeChanged = onTypeChanged;
    if (frmPanel) {
        frmPanel->picAppendMode->setVisible(blnShowAppend);
        showTiffBoxFor(g_dialog.selectedPattern);
    }

    const tf::FileDialogResult result = tf::dialogProvider().fileDialog(request);
    lngFilterIndex = result.filterIndex;
    g_dialog.selectedPattern = fncSelectedFilterExtension(strFilter, result.filterIndex);
    g_dialog.panel = nullptr;
    if (!result.accepted) return QString();

    QString path = fncTrimAtNull(result.filePath);
    if (!request.save) return path;
    const QString completed = fncCompleteSaveName(path, g_dialog.selectedPattern);
    if (completed != path && QFileInfo::exists(completed)) {
        // The dialog asked about the name as typed; this one is about to be replaced instead.
        const int answer = MsgBox(
            QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(completed).fileName()),
            vbYesNo + vbExclamation + vbDefaultButton2, strTitle);
        if (answer != vbYes) return QString();
    }
    return completed;
}
