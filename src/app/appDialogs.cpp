#include "app/appDialogs.h"

#include "app/modMainIcons.h"
#include "controls/hyperlink.h"
#include "frame/frmAbout.h"
#include "frame/frmSettings.h"
#include "platform/sys/colors.h"
#include "services/modCommonDialog.h"
#include "services/modGenericFunctions.h"

#include <QDialog>

namespace tf {

namespace {

// The dialog of that kind the owner has open, brought forward; nullptr when there is none.
template <typename Dialog> Dialog* raiseOpen(QWidget* owner)
{
    for (Dialog* open : owner->findChildren<Dialog*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!open->isVisible()) continue;
        open->raise();
        open->activateWindow();
        return open;
    }
    return nullptr;
}

template <typename Dialog> Dialog* openModal(Dialog* dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

} // namespace

frmSettings* showSettingsDialog(QWidget* owner, const std::function<void()>& onStored)
{
    if (frmSettings* open = raiseOpen<frmSettings>(owner)) return open;
    SettingsPickers pickers;
    pickers.color = [](QWidget* dialog) -> std::optional<int32_t> {
        const typColorResult chosen = fncShowColor(dialog);
        if (chosen.blnCancelled) return std::nullopt;
        return chosen.lngColor;
    };
    pickers.folder = [](QWidget* dialog, const QString& start) { return fncBrowseDestinationFolder(dialog, start); };
    auto* dialog = new frmSettings(pickers, owner);
    if (onStored) QObject::connect(dialog, &frmSettings::settingsStored, owner, onStored);
    return openModal(dialog);
}

frmAbout* showAboutDialog(QWidget* owner)
{
    if (frmAbout* open = raiseOpen<frmAbout>(owner)) return open;
    AboutHooks hooks;
    hooks.makeLink = [](QWidget* parent, const QString& caption, std::function<void()> onClick) -> QWidget* {
        auto* link = new Hyperlink(parent);
        link->setBackColor(oleFromColor(parent->palette().color(QPalette::Window)));
        link->setShowRectangle(true);
        link->setCaption(caption);
        link->setMinimumSize(link->sizeHint());
        QObject::connect(link, &Hyperlink::clicked, parent, std::move(onClick));
        return link;
    };
    hooks.openAddress = [](const QString& address) { subShellOpen(address); };
    hooks.picture = mainWindowPicture(QStringLiteral("picMultiPage"));
    return openModal(new frmAbout(hooks, owner));
}

} // namespace tf
