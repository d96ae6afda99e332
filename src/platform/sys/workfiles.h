#pragma once
#include <QString>

namespace tf {

// Work files (hidden copies beside a user's document, page spools, private work folders) are
// normally removed by the code that made them. A run that is killed or crashes cannot, and such
// files can be hundreds of megabytes, so each one is written down in this run's journal the
// moment it is made, and the next start removes the files of every run that is no longer alive.
//
// A run's journal is held locked for as long as the run lives (the system lets go of the lock
// when the process ends, however it ends), so a journal that can be locked belongs to a dead run.

// Notes a file or folder this run has just made; it may be gone by the time the run ends.
void recordWorkFile(const QString& path);

// Removes what dead runs left and their journals; the number of files and folders removed.
int removeWorkFilesOfDeadRuns();

} // namespace tf
