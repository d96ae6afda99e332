#pragma once
#include <QString>

// Path text, copying, folders and existence tests shared by many windows.
//
// Paths use "/" only. Extensions are looked for in the file-name part alone, so a point in a
// folder name never counts, and a name whose only point is its first character (".hidden") has
// no extension. Names are taken literally: "*" and "?" are ordinary characters here.

// A private folder for this run's scratch files, ending in "/". It is made on first use (readable
// by this user only, so no other user can plant a file under a name we write) and removed with
// everything in it when the program ends.
QString fncGetTempFolder();

// The text before the first NUL character, or the whole text when there is none.
QString fncTrimNull(const QString& text);

// The text after the file name's last point; empty when the file name has no extension.
QString fncGetExtension(const QString& path);

// The path less the file name's last point and what follows it; unchanged when the file name has
// no extension.
QString fncRemoveExtension(const QString& path);

// The text after the last "/"; the whole path when it holds none.
QString fncGetFileName(const QString& path);

// The text up to and including the last "/"; empty when the path holds none.
QString fncGetFolder(const QString& path);

// Copies a file over the target (an existing target is replaced only once the copy is complete).
// A blank source does nothing. Failures are silent: the result says whether the copy was made.
bool subCopyFile(const QString& source, const QString& target);

// Creates one folder. An existing folder counts as made. On failure the user is told
// "Error creating directory" and the result is false.
bool subMakeFolder(const QString& path);

// True when the path names something that is not a folder; false for a blank path.
bool fncFileExists(const QString& path);

// With the folder flag: true only when the path is a folder. Without it: true only when the path
// is a file (anything but a folder).
bool fncPathExists(const QString& path, bool blnFolder);
