#pragma once
#include <QDateTime>
#include <QIcon>
#include <QString>
#include <cstdint>

class QPainter;

// The size text the program shows for a byte count: "1,023 bytes", "1.00KB", "10.0KB", "0.98MB",
// "3.00GB"; with option 1, sizes from 1024 on are followed by the byte count ("1.50KB (1,536 bytes)").
// Numbers follow the current locale's decimal point and thousands separator.
QString fncFormatSize(qint64 size, uint8_t option = 0);

// A file time as the program shows it: the locale's short date, a blank and its long time
// (without a time zone).
QString fncFormatDateTime(const QDateTime& when);

// Everything the program shows about one file on disk, gathered at once when its path is set and
// then read from the stored facts. Copyable: a caller that yields to the event loop in between can
// keep its own copy instead of the shared gclsFileInfo.
//
// On this platform: short (8.3) names and paths are the long ones; the extension keeps its old
// form, the upper-case first three characters ("JPE" for photo.jpeg) because callers compare with
// it; hidden means a name beginning with a point, read-only means no write permission for the
// owner, and the other attributes are never set; there are no version resources or compressed
// files.
class clsFileInfo {
public:
    // The path as set. Setting it gathers the file's facts; a path that cannot be opened for
    // reading (missing, a folder, unreadable) clears them and isValid() turns false.
    QString FilePath() const { return mstrPath; }
    void FilePath(const QString& path);
    // True while the stored facts describe the file at FilePath().
    bool isValid() const { return mblnValid; }

    // Setting an attribute changes the file on disk where this platform has such an attribute
    // (read-only; normal = not read-only) and then re-reads the flags, so they always tell the
    // truth. Errors are not reported.
    bool fATTR_Archive() const { return mblnArchive; }
    void fATTR_Archive(bool value);
    bool fATTR_Compressed() const { return mblnCompressed; }
    void fATTR_Compressed(bool value);
    bool fATTR_Hidden() const { return mblnHidden; }
    void fATTR_Hidden(bool value);
    bool fATTR_Normal() const { return mblnNormal; }
    void fATTR_Normal(bool value);
    bool fATTR_ReadOnly() const { return mblnReadOnly; }
    void fATTR_ReadOnly(bool value);
    bool fATTR_System() const { return mblnSystem; }
    void fATTR_System(bool value);
    bool fATTR_Temporary() const { return mblnTemporary; }
    void fATTR_Temporary(bool value);

    QString fFileExtention() const { return mstrExtension; }
    qint64 fSize() const { return mlngSize; }
    // The size text made with that option (which is kept for later refreshes).
    QString fSizeFormated(uint8_t option = 0);
    QString fPath32bit() const { return mstrPath; }
    QString fPath16bit() const { return mstrShortPath; }
    QString fName32bit() const { return mstrLongName; }
    QString fName16bit() const { return mstrShortName; }
    QString fType() const { return mstrType; }
    QString fTargetOS() const { return mstrTargetOS; }
    QString fDateCreated() const { return mstrCreated; }
    QString fDateModified() const { return mstrModified; }
    QString fDateAccessed() const { return mstrAccessed; }
    QString fVersion() const { return mstrVersion; }
    QString fVersion_Major() const { return QString::number(mintMajor); }
    QString fVersion_Minor() const { return QString::number(mintMinor); }
    QString fVersion_Rev() const { return QString::number(double(msngRevision)); }
    QString fDecription() const { return mstrDescription; }
    QString fCopyright() const { return mstrCopyright; }
    QString fCompanyName() const { return mstrCompanyName; }
    qint64 fSizeCompressed() const { return mlngCompressedSize; }
    QString fSizeCompressedFormated() const { return mstrCompressedSizeText; }
    QIcon fIconH() const;
    QString fInternalName() const { return mstrInternalName; }
    QString fLanguage() const { return mstrLanguage; }
    QString fLegalTrademark() const { return mstrLegalTrademarks; }
    QString fLocation() const { return mstrLocation; }
    QString fOriginalFileName() const { return mstrOriginalFileName; }
    QString fProductName() const { return mstrProductName; }
    QString fProductVersion() const { return mstrProductVersion; }

    // Empties every fact (texts empty, numbers and flags 0, no icon).
    void ClearFileInfo();
    // Gathers every fact of FilePath() from the disk; a file that has gone clears them.
    void RefreshInfo();

    // True when the path is a file that can be opened for reading (never a folder, pipe or device).
    static bool CheckIfFileExists(const QString& path);
    // The short form of an existing file's path (the path itself here); a missing file is
    // reported and gives an empty text.
    static QString ConvertLong2Short(const QString& path);
    // The text after the last "/"; the whole path when it holds none.
    static QString StripFileFromPath(const QString& path);
    // The text after the name's last point; empty when the name has no extension.
    static QString StripFileExtention(const QString& fileName);
    // Draws the stored icon (32 x 32) at (x, y) when asked to.
    void GetFileIcon(QPainter* hdc, int x, int y, bool icon) const;

private:
    void readAttributes();

    uint8_t mbytSizeOption = 0;
    bool mblnNormal = false;
    bool mblnReadOnly = false;
    bool mblnHidden = false;
    bool mblnSystem = false;
    bool mblnArchive = false;
    bool mblnCompressed = false;
    bool mblnTemporary = false;
    QString mstrLocation;
    QString mstrPath;
    QString mstrShortPath;
    QString mstrLongName;
    QString mstrShortName;
    QString mstrExtension;
    QString mstrAccessed;
    QString mstrCreated;
    QString mstrModified;
    mutable QIcon m_icon;
    mutable bool m_iconRead = false;
    qint64 mlngSize = 0;
    QString mstrSizeText;
    qint64 mlngCompressedSize = 0;
    QString mstrCompressedSizeText;
    QString mstrType;
    QString mstrCompanyName;
    QString mstrCopyright;
    QString mstrDescription;
    QString mstrInternalName;
    QString mstrLanguage;
    QString mstrLegalTrademarks;
    QString mstrOriginalFileName;
    QString mstrProductName;
    QString mstrProductVersion;
    QString mstrTargetOS;
    QString mstrVersion;
    int16_t mintMajor = 0;
    int16_t mintMinor = 0;
    float msngRevision = 0;
    bool mblnValid = false;
};

// The one shared description of a file, used by the folder view, the preview, the basket and the
// document writers.
extern clsFileInfo gclsFileInfo;
