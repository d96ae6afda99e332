#pragma once
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

// The one configuration record of the program. Member widths are those of the settings file:
// Byte = uint8_t, Integer = int16_t, Long = int32_t, Double = double. Text members hold their text
// without the blank padding that a 256-character member gets in the file.
// Every member starts zero or empty, as the record is before the settings file has been read.

struct typSaveDialogOptions {
    int16_t TiffCompression = 0;
    int16_t ColorFormat = 0;
    uint8_t AppendMode = 0;
    uint8_t OutputMode = 0;
    uint8_t ProcessTaskList = 0;
    bool operator==(const typSaveDialogOptions&) const = default;
};

struct typBatchSaveOptions {
    uint8_t OutputFormat = 0;
    int16_t TiffCompression = 0;
    int16_t ColorFormat = 0;
    QString RenameSuffix;
    QString RenamePrefix;
    QString Separator1;
    QString Separator2;
    int16_t RenameMode = 0;
    QString GenericName;
    QString CounterText;
    uint8_t DestinationMode = 0;
    QString DestinationFolder; // 256 characters in the file
    uint8_t Overwrite = 0;
    int16_t Accepted = 0;
    uint8_t ImportIPTC = 0;
    uint8_t ImportEXIF = 0;
    QString IptcTemplateFile;
    QString ExifTemplateFile;
    uint8_t ProcessTaskList = 0;
    bool operator==(const typBatchSaveOptions&) const = default;
};

struct typTwainOptions {
    uint8_t AcquireOption = 0;
    uint8_t FileOption = 0;
    QString GenericName;
    int16_t SinglePageFormat = 0;
    int16_t MultiPageFormat = 0;
    uint8_t Overwrite = 0;
    QString Folder;
    bool operator==(const typTwainOptions&) const = default;
};

struct typTaskOptions {
    uint8_t ResizeMode = 0;
    uint8_t ResizeKeepRatio = 0;
    uint8_t ResizeResample = 0;
    int16_t ResizeScale = 0;
    int32_t CanvasColor = 0;
    std::array<int16_t, 4> CanvasMargin{}; // top, left, right, bottom (txtCanvasCustom 0..3)
    int16_t RotateDegrees = 0;
    uint8_t RotateResample = 0;
    int32_t RotateBackColor = 0;
    int16_t ContrastLevel = 0;
    uint8_t ContrastRed = 0;
    uint8_t ContrastGreen = 0;
    uint8_t ContrastBlue = 0;
    int16_t BrightnessLevel = 0;
    uint8_t BrightnessRed = 0;
    uint8_t BrightnessGreen = 0;
    uint8_t BrightnessBlue = 0;
    int16_t BlurLevel = 0;
    uint8_t SharpenLevel = 0;
    uint8_t CropMode = 0;
    uint8_t CropChoice = 0;
    QString Text;
    uint8_t TextTransparent = 0;
    int32_t TextBackColor = 0;
    int16_t ResizeFilter = 0;
    int16_t TextPosition = 0;
    int16_t TextFontIndex = 0;
    int16_t TextFontSize = 0;
    int32_t TextColor = 0;
    uint8_t TextBold = 0;
    uint8_t TextReserved1 = 0;
    uint8_t TextReserved2 = 0;
    int16_t TextAngle = 0;
    uint8_t TextAlignment = 0;
    uint8_t TextOrientation = 0;
    uint8_t FlipMode = 0;
    uint8_t WatermarkTransparent = 0;
    int16_t WatermarkMergeStyle = 0;
    int32_t WatermarkTransparentColor = 0;
    int16_t WatermarkTransparency = 0;
    QString WatermarkImage;
    uint8_t FrameStyle = 0;
    int16_t FrameSize = 0;
    int32_t FrameColor = 0;
    int16_t FramePictureIndex = 0;
    uint8_t FrameResizeCanvas = 0;
    int16_t MaskIndex = 0;
    uint8_t MaskTransparent = 0;
    int16_t MaskLevel = 0;
    int16_t ShadowIndex = 0;
    // The font the index chose, preferred over the index when it is installed (the font list
    // differs between machines and changes when fonts are added).
    QString TextFontName;
    bool operator==(const typTaskOptions&) const = default;
};

struct typSaverSettings {
    int32_t PageBackColor = 0;
    int16_t Interval = 0;
    uint8_t ProcessTaskList = 0;
    int16_t JpegQuality = 0;
    uint8_t PlayerType = 0;
    bool operator==(const typSaverSettings&) const = default;
};

struct typCaptureOptions {
    int16_t CaptureMode = 0;
    QString GenericName;
    QString Folder;
    bool operator==(const typCaptureOptions&) const = default;
};

struct typEffectExeSettings {
    int16_t Style = 0;
    QString GreetingText;
    int32_t RollingTextColor = 0;
    uint8_t ClockKind = 0;
    uint8_t ShowDate = 0;
    int32_t DateColor = 0;
    int32_t DigitalClockColor = 0;
    int32_t HourHandColor = 0;
    int32_t MinuteHandColor = 0;
    int32_t SecondHandColor = 0;
    bool operator==(const typEffectExeSettings&) const = default;
};

struct typPrintOptions {
    int32_t PrintSetting1 = 0;
    int32_t PrintSetting2 = 0;
    uint8_t PrintSetting3 = 0;
    double PrintSetting4 = 0;
    double PrintSetting5 = 0;
    int32_t PrintSetting6 = 0;
    double PrintSetting7 = 0;
    uint8_t PrintSetting8 = 0;
    int16_t PrintSetting9 = 0;
    int16_t PrintSetting10 = 0;
    bool operator==(const typPrintOptions&) const = default;
};

struct typSettings {
    typSaveDialogOptions SaveDialog;
    typBatchSaveOptions BatchSave;
    uint8_t ShowToolTips = 0;
    int32_t WindowWidth = 0;
    int32_t WindowHeight = 0;
    uint8_t WindowReserved = 0;
    std::array<int16_t, 4> SplitterPosition{}; // splMain, splRight, splLeft, splView
    QString TreeFolder;                        // 256 characters in the file
    uint8_t PreviewFit = 0;
    uint8_t PreviewType = 0;
    int32_t PreviewBackColor = 0;
    int32_t FolderView = 0;
    std::array<int16_t, 8> FolderColumnWidth{};
    int16_t FolderFullRowSelect = 0;
    int16_t FolderThumbWidth = 0;
    int16_t FolderThumbHeight = 0;
    uint8_t LongFileSize = 0;
    std::array<int16_t, 5> PagesColumnWidth{};
    int16_t PagesFullRowSelect = 0;
    int16_t PagesThumbWidth = 0;
    int16_t PagesThumbHeight = 0;
    int32_t PagesReserved1 = 0;
    int32_t PagesReserved2 = 0;
    QString CurrentFolder; // 256 characters in the file
    std::array<int16_t, 4> MetadataColumnWidth{}; // lvExif columns 1 and 2, then lvIPTC's
    typTwainOptions Twain;
    typTaskOptions Tasks;
    typSaverSettings Saver;
    typCaptureOptions Capture;
    typEffectExeSettings EffectExe;
    typPrintOptions Print;
    // Where the window's frame was (its top left, in pixels), which the record has no member for:
    // kept behind it in the file (settingsCodec.h). WindowPlaced false when not known.
    bool WindowPlaced = false;
    int32_t WindowLeft = 0;
    int32_t WindowTop = 0;
    bool operator==(const typSettings&) const = default;
};

extern typSettings gudtSettings;

// The settings file's full path; set by subReadSettingsFile.
extern QString gstrSettingsFile;
// The folder the program last worked in; taken from the record at start-up and put back at shutdown.
extern QString gstrCurrentFolder;
// The thumbnail sizes in force, which the folder view and the basket read.
extern int32_t glngFolderThumbWidth;
extern int32_t glngFolderThumbHeight;
extern int32_t glngPagesThumbWidth;
extern int32_t glngPagesThumbHeight;

// A record filled with the defaults. The capture and acquisition folders ("Captured" and "Acquired"
// in the per-user folder) are created when missing; a failure to create them is ignored.
typSettings fncDefaultSettings();

// True while gudtSettings holds a record read from the settings file; false while it holds the
// defaults (no file yet, or one that could not be read, was corrupted or was dropped at start-up),
// when the window has no stored size or layout to come back to.
extern bool gblnSettingsFromFile;

// Why a record read from the file cannot be applied: the name of the first member whose value lies
// outside what its control or list accepts, or an empty text when the record is usable. A record
// that fails here counts as a corrupted settings file. Values a running program can have stored
// pass, even where this screen or control cannot show them as they are (a splitter position beyond
// the splitter's limits, a window larger than the screen): the window clamps those when it applies
// them. Values no program wrote (a window side not above 0 or longer than a screen can be, a splitter
// position that is no percentage) fail.
QString fncSettingsFault(const typSettings& udtSettings);

// True when both main splitters sit at the splitter's minimum, the state the program treats as a
// broken layout: the settings file is then dropped and the defaults are used.
bool fncSplittersCollapsed(const typSettings& udtSettings);

// The folder itself when it exists, the user's home folder otherwise.
QString fncExistingFolderOrHome(const QString& strFolder);

// Copies the record's thumbnail sizes into the glng... globals (the first step of applying the
// record to the main window).
void subUpdateThumbnailSizes();

// The shutdown half of the globals: the current folder and the thumbnail sizes go back into the
// record before it is written.
void subStoreSettingsGlobals();

// Start-up: reads the record, applies the rules for a broken file, and hands the record to the
// window. apply (may be empty) puts gudtSettings on the window's controls and throws when it cannot;
// the settings file is then deleted, the defaults are taken and apply runs once more. An exception
// from that second run reaches the caller. Before apply runs, gstrCurrentFolder and the thumbnail
// globals are already set from the record.
void subLoadSettingsRecord(const std::function<void()>& apply);
