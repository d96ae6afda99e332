#include "services/modMainServices.h"

#include "frame/modGlobalErrorHandling.h"
#include "platform/ui/msgbox.h"
#include "services/modGenericFunctions.h"

#include <QDir>
#include <QFileInfo>

bool fncOpenHelpFile(const QString& strHelpFile)
{
    const QString shown = QDir::toNativeSeparators(strHelpFile);
    if (!QFileInfo(strHelpFile).isFile()) {
        MsgBox(QStringLiteral("The help file could not be found:\n") + shown, vbExclamation, gstrApplicationName);
        return false;
    }
    if (fncShellOpen(strHelpFile)) return true;
    MsgBox(QStringLiteral("The help file could not be opened:\n") + shown +
               QStringLiteral("\n\nNo program on this computer is set up to open Windows help files (.chm).\n"
                              "Install a CHM viewer (for example xchm or kchmviewer) to read it."),
           vbExclamation, gstrApplicationName);
    return false;
}
