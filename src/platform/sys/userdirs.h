#pragma once
#include <QString>

namespace tf {

// Everything the program writes lives in one per-user folder, $XDG_DATA_HOME/tavrel-folio
// (~/.local/share/tavrel-folio by default). Each call re-reads the environment so that tests
// can point XDG_DATA_HOME elsewhere. Returned folders end without a slash.
QString userDataDir();          // created when missing
QString userTempDir();          // userDataDir()/Temp, created when missing
QString userSubDir(const QString& name); // userDataDir()/name, created when missing

// The folder of the running executable, where read-only things the program ships are found.
QString programDir();

} // namespace tf
