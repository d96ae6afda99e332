#pragma once
// The folder view's rules, kept apart from the window so that they can be checked on plain files:
// which files are listed, how a row's path is made and what its texts say.
#include "platform/decode/decode_types.h"
#include "platform/sys/filenames.h"

#include <QString>
#include <QStringList>
#include <cstdint>

// The 64 extensions the folder view lists, lower case, in the order the program always kept them.
const QStringList& fncFolderImageExtensions();

// The lower-cased extension of the file name (the text after its last point), empty without one.
// The real extension: ".jpeg" is "jpeg", ".TIFF" is "tiff".
QString fncFolderExtension(const QString& path);

// True when a file with this extension (any case) belongs in the folder view.
bool fncIsFolderImage(const QString& extension);

// The full path of a file of the folder: exactly one "/" between them, also for "/" itself.
QString fncFolderFilePath(const QString& folder, const QString& name);

// The names of the plain files in the folder, sorted by name without regard to case. Hidden files
// (a leading point) are left out, as the file list of the folder view always hid them. An empty
// path or a folder that cannot be read gives no names.
QStringList fncFolderFileNames(const QString& folder);

// The "Resolution" text of a row listed in details mode: "W X H X bpp" read from the file's
// header for tiff, tif, jpeg, jpg, png (and "0 X 0 X 0" when that header cannot be read), the
// same from the GIF/BMP header for gif and bmp; empty for every other type.
QString fncDetailsResolution(const QString& path, const QString& extension);

// The names of the folder's files that the view lists (fncFolderFileNames of an image type).
QStringList fncFolderImageNames(const QString& folder);
// Whether a name (the bytes a folder holds) has one of those extensions.
bool fncIsFolderImageName(const char* name);
// The same files with their sizes and modification times. Only the names of other files are read.
std::vector<tf::FolderFileEntry> fncFolderImageEntries(const QString& folder);

// A row's facts that need the disk: what the file system says of the file and, when asked, the
// "Resolution" text of details mode. Read away from the window, one file after another.
struct FolderFileFacts {
    bool found = false; // false: the file went away (or cannot be read) since its name was read
    qint64 bytes = -1;  // its size; the Size text is made from it in the style the settings say
    QString type;
    QString created;
    QString modified;
    QString accessed;
    QString resolution; // fncDetailsResolution when asked for, else empty
};
FolderFileFacts fncReadFolderFileFacts(const QString& path, bool withResolution);

// Why a row has no thumbnail, from the decoder's answer to its request: said so that a user knows
// whether the file is damaged, too large, or took too long. Empty when the answer has a picture.
QString fncThumbnailFailureText(const tf::decode::DecodeResult& answer);

// The "Resolution" text of a row listed in thumbnail mode: "W x H".
QString fncThumbnailResolution(int32_t width, int32_t height);

// The texts of the status panels the folder view and the preview fill.
QString fncFolderPanelText(const QString& folder);                            // "folder"
QString fncPagesPanelText(const QString& pages);                              // "pages"
QString fncResolutionPanelText(const QString& resolution, const QString& size); // "resolution"
QString fncMetadataPanelText(bool hasExifRows, bool hasIptc);                 // "metadata"
QString fncZoomPanelText(double zoomPercent);                                 // "status"
