#pragma once
#include <functional>

class QWidget;
class frmAbout;
class frmSettings;

namespace tf {

// The settings dialog over the owner, window-modal: it returns at once and the dialog closes
// itself. Its pickers are the program's colour and folder dialogs; OK runs onStored. While one is
// open, asking again brings that one forward.
frmSettings* showSettingsDialog(QWidget* owner, const std::function<void()>& onStored);

// The about box over the owner, window-modal, with the fading link to the web site; it closes
// itself. While one is open, asking again brings that one forward.
frmAbout* showAboutDialog(QWidget* owner);

} // namespace tf
