#pragma once
#include <QColor>
#include <QString>
#include <cstdint>

class QWidget;

// The shared parameter block of the open and save dialogs. strFileName is a result only: callers
// clear it before a dialog and take an empty text afterwards as a cancel.
struct typCommonDialog {
    QWidget* hwndOwner = nullptr;
    QString strFilter;          // "Description|pattern;pattern|..."
    QString strFileTitle;       // result: the chosen file's name without folder
    int32_t lngFilterIndex = 1; // 1-based; result: the filter in use when the dialog closed
    QString strFileName;        // result: the chosen path
    QString strInitDir;
    QString strDialogTitle;
    int32_t lngFlags = 0;
    QString strDefaultExt;      // added to a name typed without extension (before any overwrite question)
    // The save dialog asks before replacing an existing file; false for a caller that asks its own.
    bool blnConfirmOverwrite = true;
};

extern typCommonDialog gudtCommonDialog;

// Show the dialog on gudtCommonDialog. On a cancel the record is left as it was.
void fncShowOpen();
void fncShowSave();

QString fncCutAtNull(const QString& text);

struct typColorResult {
    int32_t lngColor = 0; // 0x00BBGGRR
    bool blnCancelled = true;
};

// The colour dialog opens on the colour chosen last time (black the first time) with the custom
// colours as the user left them (RGB 254, 254, 254 the first time), both kept for the whole run.
typColorResult fncShowColor(QWidget* owner, bool centreOnOwner = true);

// The folder dialog; an empty text when cancelled.
QString Folder_Browse(QWidget* owner, const QString& title, int32_t flags);
QString fncBrowseDestinationFolder(QWidget* owner, const QString& startFolder);

// Forget the kept colours (a fresh run).
void subResetColorDialogState();
