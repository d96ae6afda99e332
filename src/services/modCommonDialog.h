#pragma once
#include <QColor>
#include <QString>
#include <cstdint>

class QWidget;

// The parameter block of the open and save dialogs: each caller builds its own and passes it.
struct typCommonDialog {
    QWidget* hwndOwner = nullptr;
    QString strFilter;          // "Description|pattern;pattern|..."
    int32_t lngFilterIndex = 1; // 1-based: the filter offered first
    QString strInitDir;
    QString strDialogTitle;
    int32_t lngFlags = 0;
    QString strDefaultExt;      // added to a name typed without extension (before any overwrite question)
    // The save dialog asks before replacing an existing file; false for a caller that asks its own.
    bool blnConfirmOverwrite = true;
};

// What a dialog answers.
struct typCommonDialogResult {
    QString strFileName;        // the chosen path; empty when the user cancelled
    QString strFileTitle;       // the chosen file's name without folder
    int32_t lngFilterIndex = 1; // the filter in use when the dialog closed (the one offered first on a cancel)
};

typCommonDialogResult fncShowOpen(const typCommonDialog& dialog);
typCommonDialogResult fncShowSave(const typCommonDialog& dialog);

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
