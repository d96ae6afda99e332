#pragma once
#include <QString>

// The settings file: gudtSettings packed byte for byte, in the per-user folder, named after the
// program with no extension.

// Where the settings file lives.
QString fncSettingsFilePath();

// Sets gstrSettingsFile and fills gudtSettings from the file. A missing file gives the defaults and
// is not created. A corrupted file (too short, a text running past its end, or a value the window
// cannot take, see fncSettingsFault) is reported to the user, deleted, and the defaults are used.
// Folders of the folder tree and the current folder that no longer exist become the home folder.
// gblnSettingsFromFile tells afterwards which of the two the record holds.
void subReadSettingsFile();

// Writes gudtSettings whole to gstrSettingsFile (the default path when that is still empty). The new
// file replaces the old one only once it is complete: a failure leaves the old file as it was.
// Returns false on failure, with the reason in *errorText when asked; the caller reports it.
bool subWriteSettingsFile(QString* errorText = nullptr);

// Deletes the file at gstrSettingsFile when it is there; failures are ignored.
void subDeleteSettingsFile();
