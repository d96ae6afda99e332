// The settings file's byte layout: every user's settings depend on it staying put.
#include "frame/modSettings.h"
#include "frame/settingsCodec.h"
#include "frame/settingsLayout.h"

#include <QDir>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <type_traits>
#include <vector>

using namespace tf;

namespace {

struct LayoutRow {
    const char* name;
    int offset;
    char type; // B Byte, I Integer, L Long, D Double, S variable text (its count), F 256-byte text
};

// Written out by hand from the record's definition; offsets hold while every variable text is empty.
const LayoutRow kLayout[] = {
    {"SaveDialog.TiffCompression",0,'I'}, {"SaveDialog.ColorFormat",2,'I'}, {"SaveDialog.AppendMode",4,'B'},
    {"SaveDialog.OutputMode",5,'B'}, {"SaveDialog.ProcessTaskList",6,'B'}, {"BatchSave.OutputFormat",7,'B'},
    {"BatchSave.TiffCompression",8,'I'}, {"BatchSave.ColorFormat",10,'I'}, {"BatchSave.RenameSuffix",12,'S'},
    {"BatchSave.RenamePrefix",14,'S'}, {"BatchSave.Separator1",16,'S'}, {"BatchSave.Separator2",18,'S'},
    {"BatchSave.RenameMode",20,'I'}, {"BatchSave.GenericName",22,'S'}, {"BatchSave.CounterText",24,'S'},
    {"BatchSave.DestinationMode",26,'B'}, {"BatchSave.DestinationFolder",27,'F'},
    {"BatchSave.Overwrite",283,'B'}, {"BatchSave.Accepted",284,'I'}, {"BatchSave.ImportIPTC",286,'B'},
    {"BatchSave.ImportEXIF",287,'B'}, {"BatchSave.IptcTemplateFile",288,'S'},
    {"BatchSave.ExifTemplateFile",290,'S'}, {"BatchSave.ProcessTaskList",292,'B'}, {"ShowToolTips",293,'B'},
    {"WindowWidth",294,'L'}, {"WindowHeight",298,'L'}, {"WindowReserved",302,'B'},
    {"SplitterPosition(0)",303,'I'}, {"SplitterPosition(1)",305,'I'}, {"SplitterPosition(2)",307,'I'},
    {"SplitterPosition(3)",309,'I'}, {"TreeFolder",311,'F'}, {"PreviewFit",567,'B'}, {"PreviewType",568,'B'},
    {"PreviewBackColor",569,'L'}, {"FolderView",573,'L'}, {"FolderColumnWidth(0)",577,'I'},
    {"FolderColumnWidth(1)",579,'I'}, {"FolderColumnWidth(2)",581,'I'}, {"FolderColumnWidth(3)",583,'I'},
    {"FolderColumnWidth(4)",585,'I'}, {"FolderColumnWidth(5)",587,'I'}, {"FolderColumnWidth(6)",589,'I'},
    {"FolderColumnWidth(7)",591,'I'}, {"FolderFullRowSelect",593,'I'}, {"FolderThumbWidth",595,'I'},
    {"FolderThumbHeight",597,'I'}, {"LongFileSize",599,'B'}, {"PagesColumnWidth(0)",600,'I'},
    {"PagesColumnWidth(1)",602,'I'}, {"PagesColumnWidth(2)",604,'I'}, {"PagesColumnWidth(3)",606,'I'},
    {"PagesColumnWidth(4)",608,'I'}, {"PagesFullRowSelect",610,'I'}, {"PagesThumbWidth",612,'I'},
    {"PagesThumbHeight",614,'I'}, {"PagesReserved1",616,'L'}, {"PagesReserved2",620,'L'},
    {"CurrentFolder",624,'F'}, {"MetadataColumnWidth(0)",880,'I'}, {"MetadataColumnWidth(1)",882,'I'},
    {"MetadataColumnWidth(2)",884,'I'}, {"MetadataColumnWidth(3)",886,'I'}, {"Twain.AcquireOption",888,'B'},
    {"Twain.FileOption",889,'B'}, {"Twain.GenericName",890,'S'}, {"Twain.SinglePageFormat",892,'I'},
    {"Twain.MultiPageFormat",894,'I'}, {"Twain.Overwrite",896,'B'}, {"Twain.Folder",897,'S'},
    {"Tasks.ResizeMode",899,'B'}, {"Tasks.ResizeKeepRatio",900,'B'}, {"Tasks.ResizeResample",901,'B'},
    {"Tasks.ResizeScale",902,'I'}, {"Tasks.CanvasColor",904,'L'}, {"Tasks.CanvasMargin(0)",908,'I'},
    {"Tasks.CanvasMargin(1)",910,'I'}, {"Tasks.CanvasMargin(2)",912,'I'}, {"Tasks.CanvasMargin(3)",914,'I'},
    {"Tasks.RotateDegrees",916,'I'}, {"Tasks.RotateResample",918,'B'}, {"Tasks.RotateBackColor",919,'L'},
    {"Tasks.ContrastLevel",923,'I'}, {"Tasks.ContrastRed",925,'B'}, {"Tasks.ContrastGreen",926,'B'},
    {"Tasks.ContrastBlue",927,'B'}, {"Tasks.BrightnessLevel",928,'I'}, {"Tasks.BrightnessRed",930,'B'},
    {"Tasks.BrightnessGreen",931,'B'}, {"Tasks.BrightnessBlue",932,'B'}, {"Tasks.BlurLevel",933,'I'},
    {"Tasks.SharpenLevel",935,'B'}, {"Tasks.CropMode",936,'B'}, {"Tasks.CropChoice",937,'B'},
    {"Tasks.Text",938,'S'}, {"Tasks.TextTransparent",940,'B'}, {"Tasks.TextBackColor",941,'L'},
    {"Tasks.ResizeFilter",945,'I'}, {"Tasks.TextPosition",947,'I'}, {"Tasks.TextFontIndex",949,'I'},
    {"Tasks.TextFontSize",951,'I'}, {"Tasks.TextColor",953,'L'}, {"Tasks.TextBold",957,'B'},
    {"Tasks.TextReserved1",958,'B'}, {"Tasks.TextReserved2",959,'B'}, {"Tasks.TextAngle",960,'I'},
    {"Tasks.TextAlignment",962,'B'}, {"Tasks.TextOrientation",963,'B'}, {"Tasks.FlipMode",964,'B'},
    {"Tasks.WatermarkTransparent",965,'B'}, {"Tasks.WatermarkMergeStyle",966,'I'},
    {"Tasks.WatermarkTransparentColor",968,'L'}, {"Tasks.WatermarkTransparency",972,'I'},
    {"Tasks.WatermarkImage",974,'S'}, {"Tasks.FrameStyle",976,'B'}, {"Tasks.FrameSize",977,'I'},
    {"Tasks.FrameColor",979,'L'}, {"Tasks.FramePictureIndex",983,'I'}, {"Tasks.FrameResizeCanvas",985,'B'},
    {"Tasks.MaskIndex",986,'I'}, {"Tasks.MaskTransparent",988,'B'}, {"Tasks.MaskLevel",989,'I'},
    {"Tasks.ShadowIndex",991,'I'}, {"Saver.PageBackColor",993,'L'}, {"Saver.Interval",997,'I'},
    {"Saver.ProcessTaskList",999,'B'}, {"Saver.JpegQuality",1000,'I'}, {"Saver.PlayerType",1002,'B'},
    {"Capture.CaptureMode",1003,'I'}, {"Capture.GenericName",1005,'S'}, {"Capture.Folder",1007,'S'},
    {"EffectExe.Style",1009,'I'}, {"EffectExe.GreetingText",1011,'S'}, {"EffectExe.RollingTextColor",1013,'L'},
    {"EffectExe.ClockKind",1017,'B'}, {"EffectExe.ShowDate",1018,'B'}, {"EffectExe.DateColor",1019,'L'},
    {"EffectExe.DigitalClockColor",1023,'L'}, {"EffectExe.HourHandColor",1027,'L'},
    {"EffectExe.MinuteHandColor",1031,'L'}, {"EffectExe.SecondHandColor",1035,'L'},
    {"Print.PrintSetting1",1039,'L'}, {"Print.PrintSetting2",1043,'L'}, {"Print.PrintSetting3",1047,'B'},
    {"Print.PrintSetting4",1048,'D'}, {"Print.PrintSetting5",1056,'D'}, {"Print.PrintSetting6",1064,'L'},
    {"Print.PrintSetting7",1068,'D'}, {"Print.PrintSetting8",1076,'B'}, {"Print.PrintSetting9",1077,'I'},
    {"Print.PrintSetting10",1079,'I'}, {"Tasks.TextFontName",1081,'S'},
};

int widthOf(char type) { return type == 'B' ? 1 : type == 'I' || type == 'S' ? 2 : type == 'L' ? 4 : type == 'D' ? 8 : 256; }

// Gives field n (counted from 1) the value n, so each field's bytes say which field wrote them.
struct Numbering {
    int count = 0;
    std::vector<std::string> names;

    template <class T>
    void field(const char* name, int index, T& value)
    {
        names.push_back(index < 0 ? std::string(name) : std::string(name) + "(" + std::to_string(index) + ")");
        ++count;
        if constexpr (std::is_same_v<T, QString>) value.clear();
        else value = static_cast<T>(count);
    }
    void fixed(const char* name, QString& value)
    {
        names.push_back(name);
        value = QStringLiteral("F%1").arg(++count);
    }
};

int64_t littleEndianAt(const QByteArray& bytes, int offset, int width)
{
    uint64_t v = 0;
    for (int i = 0; i < width; ++i) v |= uint64_t(uint8_t(bytes[offset + i])) << (8 * i);
    return int64_t(v);
}

QByteArray hex(const QByteArray& bytes, int offset, int length) { return bytes.mid(offset, length).toHex(' '); }

// Empties every text of a record through the same walk the file uses.
struct TextEraser {
    template <class T>
    void field(const char*, int, T& value)
    {
        if constexpr (std::is_same_v<T, QString>) value.clear();
    }
    void fixed(const char*, QString& value) { value.clear(); }
};

} // namespace

TEST(SettingsLayout, EveryFieldSitsAtItsOffsetWithItsWidth)
{
    // The table itself must be gapless and end where the record ends.
    int expected = 0;
    for (const LayoutRow& row : kLayout) {
        ASSERT_EQ(row.offset, expected) << row.name;
        expected += widthOf(row.type);
    }
    ASSERT_EQ(expected, kSettingsRecordBytes);

    typSettings s;
    Numbering numbering;
    visitSettingsFields(s, numbering);
    const QByteArray bytes = encodeSettings(s);
    ASSERT_EQ(bytes.size(), kSettingsRecordBytes);
    ASSERT_EQ(numbering.names.size(), std::size(kLayout));

    int texts = 0;
    for (size_t i = 0; i < std::size(kLayout); ++i) {
        const LayoutRow& row = kLayout[i];
        const int number = int(i) + 1;
        SCOPED_TRACE(row.name);
        EXPECT_EQ(numbering.names[i], row.name);
        switch (row.type) {
        case 'S':
            ++texts;
            EXPECT_EQ(littleEndianAt(bytes, row.offset, 2), 0);
            break;
        case 'F': {
            const QByteArray tag = QByteArray("F") + QByteArray::number(number);
            EXPECT_EQ(bytes.mid(row.offset, tag.size()), tag);
            EXPECT_EQ(bytes.mid(row.offset + tag.size(), 256 - tag.size()), QByteArray(256 - tag.size(), ' '));
            break;
        }
        case 'D': {
            double d = 0;
            std::memcpy(&d, bytes.constData() + row.offset, 8);
            EXPECT_EQ(d, double(number));
            break;
        }
        default:
            EXPECT_EQ(littleEndianAt(bytes, row.offset, widthOf(row.type)), number);
        }
    }
    EXPECT_EQ(texts, kSettingsTextCount);
}

TEST(SettingsLayout, GoldenBytesOfTheDefaults)
{
    typSettings defaults = fncDefaultSettings();
    const QByteArray withTexts = encodeSettings(defaults);
    EXPECT_EQ(withTexts.size(), 1138 + defaults.Twain.Folder.toUtf8().size() + defaults.Capture.Folder.toUtf8().size());
    // Empty prefix and suffix, two "_" separators, RenameMode, then "Sample".
    EXPECT_EQ(hex(withTexts, 12, 20), "00 00 00 00 01 00 5f 01 00 5f 00 00 06 00 53 61 6d 70 6c 65");
    EXPECT_EQ(fncSettingsFault(defaults), QString()) << "the defaults must never count as corrupt";

    TextEraser eraser;
    visitSettingsFields(defaults, eraser);
    const QByteArray b = encodeSettings(defaults);
    ASSERT_EQ(b.size(), 1083);
    EXPECT_EQ(hex(b, 0, 7), "00 00 00 00 00 00 01");          // save panel; replay the task list
    EXPECT_EQ(hex(b, 283, 10), "01 00 00 00 00 00 00 00 00 01"); // Overwrite .. ProcessTaskList
    EXPECT_EQ(hex(b, 293, 1), "01");                           // ShowToolTips
    EXPECT_EQ(hex(b, 294, 9), "80 25 00 00 20 1c 00 00 00");    // 640 and 480 pixels in twips
    EXPECT_EQ(hex(b, 303, 8), "46 00 1e 00 32 00 32 00");       // splitters 70, 30, 50, 50
    EXPECT_EQ(b.mid(311, 256), QByteArray(256, ' '));          // TreeFolder, blanks only
    EXPECT_EQ(hex(b, 567, 10), "00 01 0c 00 00 80 00 00 00 00"); // fit, type, &H8000000C, view
    EXPECT_EQ(hex(b, 577, 2), "64 00");
    EXPECT_EQ(hex(b, 595, 4), "28 00 28 00");                   // folder thumbnails 40 x 40
    EXPECT_EQ(hex(b, 880, 8), "64 00 c8 00 64 00 c8 00");       // metadata columns
    EXPECT_EQ(hex(b, 899, 9), "00 01 00 32 00 0e 00 00 80");    // resize, scale 50, canvas colour
    EXPECT_EQ(hex(b, 993, 10), "00 00 00 00 03 00 01 50 00 00"); // saver
    EXPECT_EQ(hex(b, 1009, 2), "01 00");                        // effect style
    EXPECT_EQ(hex(b, 1027, 12), "ff 00 00 00 00 80 00 00 e0 e0 e0 00"); // clock hands
    EXPECT_EQ(hex(b, 1039, 4), "ff ff ff ff");                  // PrintSetting1 = -1
    EXPECT_EQ(hex(b, 1068, 8), "00 00 00 00 00 00 59 40");      // PrintSetting7 = 100.0
    EXPECT_EQ(hex(b, 1076, 5), "00 00 00 00 00");
}

TEST(SettingsCodec, RecordsComeBackAsWritten)
{
    typSettings s = fncDefaultSettings();
    EXPECT_EQ(decodeSettings(encodeSettings(s), s), SettingsDecodeResult::Ok);
    EXPECT_EQ(s, fncDefaultSettings());

    s.BatchSave.RenamePrefix = QStringLiteral("Grüße €");
    s.Tasks.Text = QStringLiteral("日本語\nzweite Zeile");
    s.TreeFolder = QStringLiteral("/home/ana/Fotos München");
    s.SplitterPosition = {-5, 32767, -32768, 0};
    s.PreviewBackColor = static_cast<int32_t>(0x80000012u);
    s.Print.PrintSetting4 = -0.125;
    s.Print.PrintSetting9 = -1;
    typSettings back;
    ASSERT_EQ(decodeSettings(encodeSettings(s), back), SettingsDecodeResult::Ok);
    EXPECT_EQ(back, s);

    // An old, longer image behind the record is ignored.
    EXPECT_EQ(decodeSettings(encodeSettings(s) + QByteArray(5000, '\x7f'), back), SettingsDecodeResult::Ok);
    EXPECT_EQ(back, s);
}

TEST(SettingsCodec, FixedTextsArePaddedCutOnCharactersAndTrimmed)
{
    typSettings s;
    const QString a255(255, QLatin1Char('a'));
    s.TreeFolder = a255 + QStringLiteral("é"); // 257 bytes: the "é" cannot fit whole
    s.CurrentFolder = QString(300, QLatin1Char('x'));
    s.BatchSave.DestinationFolder = QStringLiteral("/srv/out  "); // blanks end up as padding
    const QByteArray b = encodeSettings(s);
    EXPECT_EQ(b.size(), kSettingsRecordBytes);
    EXPECT_EQ(b.mid(311, 256), a255.toLatin1() + ' ');

    typSettings back;
    ASSERT_EQ(decodeSettings(b, back), SettingsDecodeResult::Ok);
    EXPECT_EQ(back.TreeFolder, a255);
    EXPECT_EQ(back.CurrentFolder, QString(256, QLatin1Char('x')));
    EXPECT_EQ(back.BatchSave.DestinationFolder, QStringLiteral("/srv/out"));

    // A member that was never assigned holds NULs, not text.
    QByteArray nul = b;
    nul.replace(311, 256, QByteArray(256, '\0'));
    ASSERT_EQ(decodeSettings(nul, back), SettingsDecodeResult::Ok);
    EXPECT_EQ(back.TreeFolder, QString());

    EXPECT_EQ(utf8Prefix(QStringLiteral("ab€"), 4), QByteArray("ab")); // € is three bytes
    EXPECT_EQ(utf8Prefix(QStringLiteral("ab€"), 5), QByteArray("ab\xe2\x82\xac"));
    EXPECT_EQ(utf8Prefix(QStringLiteral("a😀"), 4), QByteArray("a"));  // never half a surrogate pair

    // A variable text longer than its count can say is cut to fit, whole characters only.
    s = typSettings();
    s.Tasks.WatermarkImage = QString(40000, QChar(0x00E9));
    ASSERT_EQ(decodeSettings(encodeSettings(s), back), SettingsDecodeResult::Ok);
    EXPECT_EQ(back.Tasks.WatermarkImage, QString(32767, QChar(0x00E9)));
}

TEST(SettingsCodec, TextsFromWindowsFilesFallBackTo1252)
{
    QByteArray b = encodeSettings(typSettings());
    // RenameSuffix (count at 12) holds "Café €" in Windows-1252.
    b.replace(12, 2, QByteArray("\x06\x00" "Caf\xe9 \x80", 8));
    // TreeFolder, now 6 bytes further on, holds a Windows-1252 folder.
    b.replace(311 + 6, 16, QByteArray("C:\\Bilder\\M\xfcller"));
    typSettings back;
    ASSERT_EQ(decodeSettings(b, back), SettingsDecodeResult::Ok);
    EXPECT_EQ(back.BatchSave.RenameSuffix, QStringLiteral("Café €"));
    EXPECT_EQ(back.TreeFolder, QStringLiteral("C:\\Bilder\\Müller"));

    EXPECT_EQ(decodeStoredText(QByteArray("Caf\xc3\xa9")), QStringLiteral("Café")); // valid UTF-8 stays UTF-8
    EXPECT_EQ(decodeStoredText(QByteArray("\x93q\x94 \x81")), QString::fromUtf16(u"\u201Cq\u201D \u0081"));
    EXPECT_EQ(decodeStoredText(QByteArray("\xc0\xaf")), QString::fromUtf16(u"\u00C0\u00AF")); // overlong: not UTF-8
}

TEST(SettingsCodec, DamagedBytesAreRefusedAndLeaveTheRecordAlone)
{
    const typSettings defaults = fncDefaultSettings();
    const QByteArray good = encodeSettings(defaults);
    typSettings untouched;
    untouched.ShowToolTips = 77;
    for (qsizetype length = 0; length < good.size(); ++length) {
        typSettings out = untouched;
        EXPECT_NE(decodeSettings(good.left(length), out), SettingsDecodeResult::Ok) << length;
        EXPECT_EQ(out, untouched);
    }
    EXPECT_EQ(decodeSettings(good.left(1080), untouched), SettingsDecodeResult::TooShort);

    // A count that runs past the end of the file, even one inside a long enough file.
    QByteArray pastEnd = good;
    pastEnd[12] = char(0xff);
    pastEnd[13] = char(0xff);
    typSettings out = untouched;
    EXPECT_EQ(decodeSettings(pastEnd, out), SettingsDecodeResult::TextPastEnd);
    EXPECT_EQ(out, untouched);
}
