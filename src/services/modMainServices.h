#pragma once
#include <QString>

// Opens the help file with the desktop's handler. Nothing on Linux reads Windows help (".chm")
// by itself, so when the file is missing or no program takes it the user is told so plainly;
// false then.
bool fncOpenHelpFile(const QString& strHelpFile);
