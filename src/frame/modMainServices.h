#pragma once
#include <QString>
#include <cstdint>

// Program-wide state that the main window sets and the areas read.

// 0 while the EXIF tab of the metadata pane is chosen, 1 while the IPTC tab is.
extern uint8_t gbytMetadataKind;
// 0 in the explorer view, 1 in the editing mode.
extern int32_t glngEditMode;

// Opens the help file with the desktop's handler. Nothing on Linux reads Windows help (".chm")
// by itself, so when the file is missing or no program takes it the user is told so plainly;
// false then.
bool fncOpenHelpFile(const QString& strHelpFile);
