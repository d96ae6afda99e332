#include "services/modCommonDialog.h"

#include "frame/globals.h"
#include "frame/modGlobalErrorHandling.h"
#include "platform/sys/colors.h"
#include "platform/ui/dialogs.h"

#include <QList>

namespace {

QColor g_lastColor(0, 0, 0);
QList<QColor> g_customColors;

// The folder the destination browse opens at; cleared after each browse.
QString g_startFolder;

typCommonDialogResult showFileDialog(const typCommonDialog& dialog, bool save)
{
    tf::FileDialogRequest request;
    request.save = save;
    request.owner = dialog.hwndOwner;
    request.title = dialog.strDialogTitle;
    request.filter = dialog.strFilter;
    request.filterIndex = dialog.lngFilterIndex < 1 ? 1 : dialog.lngFilterIndex;
    request.initialDir = dialog.strInitDir;
    request.defaultSuffix = dialog.strDefaultExt;
    request.confirmOverwrite = dialog.blnConfirmOverwrite;
    typCommonDialogResult out;
    out.lngFilterIndex = request.filterIndex;
    const tf::FileDialogResult result = tf::dialogProvider().fileDialog(request);
    if (!result.accepted) return out;
    out.strFileName = fncCutAtNull(result.filePath).trimmed();
    out.strFileTitle = fncCutAtNull(result.fileTitle).trimmed();
    out.lngFilterIndex = result.filterIndex;
    return out;
}

} // namespace

typCommonDialogResult fncShowOpen(const typCommonDialog& dialog) { return showFileDialog(dialog, false); }
typCommonDialogResult fncShowSave(const typCommonDialog& dialog) { return showFileDialog(dialog, true); }

QString fncCutAtNull(const QString& text)
{
    const qsizetype at = text.indexOf(QChar(0));
    return at < 0 ? text : text.left(at);
}

typColorResult fncShowColor(QWidget* owner, bool /*centreOnOwner: Qt centres a dialog on its owner*/)
{
    if (g_customColors.isEmpty())
        for (int i = 0; i < 16; ++i) g_customColors << QColor(254, 254, 254);
    const tf::ColorDialogResult r = tf::dialogProvider().colorDialog(owner, g_lastColor, g_customColors);
    typColorResult out;
    if (r.cancelled || !r.color.isValid()) return out;
    g_lastColor = r.color;
    out.lngColor = tf::oleFromColor(r.color);
    out.blnCancelled = false;
    return out;
}

QString Folder_Browse(QWidget* owner, const QString& title, int32_t /*flags*/)
{
    try {
        gstrCurrentOperation = QStringLiteral("Calling the Folder for Browse dialog");
        const QString chosen = tf::dialogProvider().folderDialog(owner, title, g_startFolder);
        gstrCurrentOperation = QStringLiteral("Returning selected folder from the Browse dialog");
        return fncCutAtNull(chosen);
    } catch (const std::exception& e) {
        subGlobalErrorHandler(QString::fromLocal8Bit(e.what()), 0, 0, QStringLiteral("modBrowseForFolder.Folder_Browse"));
        return QString();
    }
}

QString fncBrowseDestinationFolder(QWidget* owner, const QString& startFolder)
{
    g_startFolder = startFolder;
    QString chosen = Folder_Browse(owner, QStringLiteral("Please select a destination folder to save all the files!"), 68);
    g_startFolder.clear();
    if (chosen.trimmed().isEmpty()) chosen.clear();
    return chosen;
}

void subResetColorDialogState()
{
    g_lastColor = QColor(0, 0, 0);
    g_customColors.clear();
}
