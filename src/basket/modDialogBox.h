#pragma once
#include <QString>
#include <cstdint>

class QWidget;
class frmDialogExtension;

// The open and save dialogs of the multipage commands, with the option panel embedded and the
// file name kept in step with the chosen file type. One dialog at a time.

// Shows the dialog and gives the chosen path, or an empty string when it was cancelled.
//   strFilter: "Description|*.a;*.b|..." (kept as passed);
//   lngFilterIndex: 1-based entry to start on (0: the entry matching strInitialFileName, or the
//     first); receives the entry selected when the dialog closed;
//   intOpen: non-zero for the open variant (the file must exist), zero for the save variant
//     (which asks before replacing a file);
//   frmPanel: embedded below the dialog's controls (may be null); blnShowAppend shows its
//     append box.
// A name chosen in the save variant without a TIFF or PDF extension gets the selected type's.
QString fncShowFileDialog(const QString& strInitialFileName, QString& strFilter, int32_t& lngFilterIndex,
                          const QString& strTitle, int16_t intOpen, frmDialogExtension* frmPanel, bool blnShowAppend,
                          QWidget* owner = nullptr);

// The text up to the first NUL character, or all of it.
QString fncTrimAtNull(const QString& text);

// The first pattern of filter entry `filterIndex` (1-based): "*.tif" for
// "Tag Image format (*.tif;*.tiff)|*.tif;*.tiff"; empty when there is no such entry.
QString fncSelectedFilterExtension(const QString& filter, int filterIndex);
// The dialog's current selection, for the hook's own use while a dialog is open.
QString fncSelectedFilterExtension();

// The 1-based index of the first entry whose pattern part begins with "*." and the name's
// extension, compared without regard to case. Counted as the parts passed before the match,
// halved, plus one; with no match that comes to the last entry.
int32_t fncFilterIndexOfName(const QString& filter, const QString& fileName);

// The typed name after a change of file type: a name longer than 4 characters loses a point
// among its last 5 characters and everything after it ("report.tif" -> "report", "ab.c" stays).
QString fncCutNameOnTypeChange(const QString& name);

// The chosen save name made whole: trailing points go, and a name whose extension is not tif,
// tiff or pdf gets the selected pattern's extension ("report" with "*.pdf" -> "report.pdf").
QString fncCompleteSaveName(const QString& chosen, const QString& selectedPattern);
