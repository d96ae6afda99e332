#include "frame/modSettings.h"

#include "frame/modINI.h"
#include "platform/sys/numbers.h"
#include "platform/sys/userdirs.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <initializer_list>
#include <utility>

typSettings gudtSettings;
QString gstrSettingsFile;
QString gstrCurrentFolder;
int32_t glngFolderThumbWidth = 0;
int32_t glngFolderThumbHeight = 0;
int32_t glngPagesThumbWidth = 0;
int32_t glngPagesThumbHeight = 0;
bool gblnSettingsFromFile = false;

namespace {

constexpr int32_t kColorAppWorkspace = static_cast<int32_t>(0x8000000Cu);
constexpr int32_t kColorHighlightText = static_cast<int32_t>(0x8000000Eu);
constexpr int32_t kColorWindowText = static_cast<int32_t>(0x80000008u);
constexpr int32_t kColorCaptionText = static_cast<int32_t>(0x80000009u);

// The largest thumbnail the settings dialog lets the user choose; anything bigger in the file would
// size every thumbnail of a folder from a damaged number.
constexpr int kMaxThumbSize = 300;

// A window side in pixels no screen exceeds: window system coordinates are 16-bit.
constexpr int32_t kMaxWindowPixels = 32767;

struct Allowed {
    const char* name;
    int value;
    int lowest;
    int highest;
};

} // namespace

typSettings fncDefaultSettings()
{
    typSettings s;
    const QString home = QDir::homePath();

    s.SaveDialog.ProcessTaskList = 1;

    auto& bs = s.BatchSave;
    bs.Separator1 = QStringLiteral("_");
    bs.Separator2 = QStringLiteral("_");
    bs.GenericName = QStringLiteral("Sample");
    bs.CounterText = QStringLiteral("[Starting 1]");
    bs.DestinationFolder = tf::userDataDir();
    bs.Overwrite = 1;
    bs.ProcessTaskList = 1;

    s.ShowToolTips = 1;
    s.WindowWidth = tf::pixelsToTwips(640);
    s.WindowHeight = tf::pixelsToTwips(480);
    s.SplitterPosition = {70, 30, 50, 50};
    s.TreeFolder = home;
    s.PreviewType = 1;
    s.PreviewBackColor = kColorAppWorkspace;
    s.FolderColumnWidth.fill(100);
    s.FolderThumbWidth = 40;
    s.FolderThumbHeight = 40;
    s.PagesColumnWidth.fill(100);
    s.PagesThumbWidth = 40;
    s.PagesThumbHeight = 40;
    s.CurrentFolder = home;
    s.MetadataColumnWidth = {100, 200, 100, 200};

    s.Twain.GenericName = QStringLiteral("Twain");
    s.Twain.Folder = tf::userSubDir(QStringLiteral("Acquired"));

    auto& t = s.Tasks;
    t.ResizeKeepRatio = 1;
    t.ResizeScale = 50;
    t.CanvasColor = kColorHighlightText;
    t.CanvasMargin.fill(10);
    t.RotateBackColor = kColorHighlightText;
    t.ContrastLevel = 50;
    t.ContrastRed = t.ContrastGreen = t.ContrastBlue = 1;
    t.BrightnessLevel = 50;
    t.BrightnessRed = t.BrightnessGreen = t.BrightnessBlue = 1;
    t.BlurLevel = 1;
    t.SharpenLevel = 1;
    t.CropMode = 1;
    t.Text = QStringLiteral("Sample");
    t.TextTransparent = 1;
    t.TextBackColor = kColorHighlightText;
    t.TextFontSize = 14;
    t.TextColor = kColorWindowText;
    t.WatermarkTransparent = 1;
    t.WatermarkTransparentColor = kColorCaptionText;
    t.WatermarkTransparency = 50;
    t.FrameSize = 20;
    t.FrameColor = kColorHighlightText;
    t.FrameResizeCanvas = 1;
    t.MaskTransparent = 1;

    s.Saver.Interval = 3;
    s.Saver.ProcessTaskList = 1;
    s.Saver.JpegQuality = 80;

    s.Capture.GenericName = QStringLiteral("Captured");
    s.Capture.Folder = tf::userSubDir(QStringLiteral("Captured"));

    auto& e = s.EffectExe;
    e.Style = 1;
    e.GreetingText = QStringLiteral("Happy Greetings!");
    e.ShowDate = 1;
    e.HourHandColor = 255;
    e.MinuteHandColor = 32768;
    e.SecondHandColor = 0xE0E0E0;

    s.Print.PrintSetting1 = -1;
    s.Print.PrintSetting6 = 1;
    s.Print.PrintSetting7 = 100.0;
    return s;
}

QString fncSettingsFault(const typSettings& s)
{
    const auto& sd = s.SaveDialog;
    const auto& bs = s.BatchSave;
    const auto& tw = s.Twain;
    const auto& t = s.Tasks;
    // Option buttons and list boxes select by these indexes; -1 is a list with nothing selected.
    const std::initializer_list<Allowed> indexes = {
        {"SaveDialog.TiffCompression", sd.TiffCompression, -1, 2},
        {"SaveDialog.ColorFormat", sd.ColorFormat, -1, 6},
        {"SaveDialog.AppendMode", sd.AppendMode, 0, 1},
        {"SaveDialog.OutputMode", sd.OutputMode, 0, 1},
        {"BatchSave.OutputFormat", bs.OutputFormat, 0, 1},
        {"BatchSave.TiffCompression", bs.TiffCompression, -1, 2},
        {"BatchSave.ColorFormat", bs.ColorFormat, -1, 6},
        {"BatchSave.RenameMode", bs.RenameMode, 0, 2},
        {"BatchSave.DestinationMode", bs.DestinationMode, 0, 1},
        {"PreviewFit", s.PreviewFit, 0, 1},
        {"PreviewType", s.PreviewType, 0, 1},
        {"LongFileSize", s.LongFileSize, 0, 1},
        {"FolderThumbWidth", s.FolderThumbWidth, 1, kMaxThumbSize},
        {"FolderThumbHeight", s.FolderThumbHeight, 1, kMaxThumbSize},
        {"PagesThumbWidth", s.PagesThumbWidth, 1, kMaxThumbSize},
        {"PagesThumbHeight", s.PagesThumbHeight, 1, kMaxThumbSize},
        {"Twain.AcquireOption", tw.AcquireOption, 0, 1},
        {"Twain.FileOption", tw.FileOption, 0, 1},
        {"Twain.SinglePageFormat", tw.SinglePageFormat, -1, 5},
        {"Twain.MultiPageFormat", tw.MultiPageFormat, -1, 1},
        {"Tasks.ResizeMode", t.ResizeMode, 0, 1},
        {"Tasks.CropMode", t.CropMode, 0, 1},
        {"Tasks.CropChoice", t.CropChoice, 0, 1},
        {"Tasks.ResizeFilter", t.ResizeFilter, -1, 5},
        {"Tasks.TextPosition", t.TextPosition, -1, 9},
        {"Tasks.TextFontIndex", t.TextFontIndex, -1, INT16_MAX}, // the font list differs per machine
        {"Tasks.TextAlignment", t.TextAlignment, 0, 2},
        {"Tasks.TextOrientation", t.TextOrientation, 0, 1},
        {"Tasks.FlipMode", t.FlipMode, 0, 1},
        {"Tasks.WatermarkMergeStyle", t.WatermarkMergeStyle, -1, 3},
        {"Tasks.FrameStyle", t.FrameStyle, 0, 1},
        {"Tasks.FramePictureIndex", t.FramePictureIndex, 0, 7},
        {"Tasks.MaskIndex", t.MaskIndex, 0, 7},
        {"Tasks.ShadowIndex", t.ShadowIndex, 0, 7},
        {"Saver.PlayerType", s.Saver.PlayerType, 0, 1},
        {"Capture.CaptureMode", s.Capture.CaptureMode, 0, 2},
        {"EffectExe.Style", s.EffectExe.Style, -1, 3},
        {"EffectExe.ClockKind", s.EffectExe.ClockKind, 0, 1},
    };
    for (const Allowed& a : indexes)
        if (a.value < a.lowest || a.value > a.highest) return QString::fromLatin1(a.name);

    // Stored sizes are twips of the window as it was closed; a window of no size or one wider than
    // any screen was never closed.
    for (const auto& [name, twips] : {std::pair{"WindowWidth", s.WindowWidth}, std::pair{"WindowHeight", s.WindowHeight}})
        if (twips <= 0 || twips > tf::pixelsToTwips(kMaxWindowPixels)) return QString::fromLatin1(name);
    // Splitter positions are percents of the splitter's container.
    for (int16_t position : s.SplitterPosition)
        if (position < 0 || position > 100) return QStringLiteral("SplitterPosition");

    // A column cannot be narrower than nothing.
    for (int16_t w : s.FolderColumnWidth)
        if (w < 0) return QStringLiteral("FolderColumnWidth");
    for (int16_t w : s.PagesColumnWidth)
        if (w < 0) return QStringLiteral("PagesColumnWidth");
    for (int16_t w : s.MetadataColumnWidth)
        if (w < 0) return QStringLiteral("MetadataColumnWidth");

    for (double d : {s.Print.PrintSetting4, s.Print.PrintSetting5, s.Print.PrintSetting7})
        if (!std::isfinite(d)) return QStringLiteral("Print");
    return QString();
}

bool fncSplittersCollapsed(const typSettings& udtSettings)
{
    return udtSettings.SplitterPosition[0] == 10 && udtSettings.SplitterPosition[1] == 10;
}

QString fncExistingFolderOrHome(const QString& strFolder)
{
    if (!strFolder.isEmpty() && QDir::isAbsolutePath(strFolder) && QFileInfo(strFolder).isDir()) return strFolder;
    return QDir::homePath();
}

void subUpdateThumbnailSizes()
{
    glngFolderThumbWidth = gudtSettings.FolderThumbWidth;
    glngFolderThumbHeight = gudtSettings.FolderThumbHeight;
    glngPagesThumbWidth = gudtSettings.PagesThumbWidth;
    glngPagesThumbHeight = gudtSettings.PagesThumbHeight;
}

void subStoreSettingsGlobals()
{
    gudtSettings.CurrentFolder = gstrCurrentFolder;
    gudtSettings.FolderThumbWidth = tf::roundToInteger(glngFolderThumbWidth);
    gudtSettings.FolderThumbHeight = tf::roundToInteger(glngFolderThumbHeight);
    gudtSettings.PagesThumbWidth = tf::roundToInteger(glngPagesThumbWidth);
    gudtSettings.PagesThumbHeight = tf::roundToInteger(glngPagesThumbHeight);
}

namespace {

void subDropSettingsFile()
{
    // Deleted once; when the delete fails the defaults still hold in memory, so nothing loops.
    subDeleteSettingsFile();
    gudtSettings = fncDefaultSettings();
    gblnSettingsFromFile = false;
}

void subTakeSettingsGlobals()
{
    gstrCurrentFolder = gudtSettings.CurrentFolder;
    subUpdateThumbnailSizes();
}

} // namespace

void subLoadSettingsRecord(const std::function<void()>& apply)
{
    subReadSettingsFile();
    if (fncSplittersCollapsed(gudtSettings)) subDropSettingsFile();
    subTakeSettingsGlobals();
    if (!apply) return;
    try {
        apply();
        return;
    } catch (...) {
        // fall through to the one retry with the defaults
    }
    subDropSettingsFile();
    subTakeSettingsGlobals();
    apply();
}
