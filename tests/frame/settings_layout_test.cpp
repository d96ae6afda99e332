// The settings file's byte layout: every user's settings depend on it staying put.
#include "frame/modSettings.h"
#include "frame/settingsCodec.h"
#include "frame/settingsLayout.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>
#include <type_traits>

using namespace tf;

namespace {

// Gives field n (counted from 1) the value n and every variable text nothing, so each field's
// bytes say which field wrote them and a moved, resized or reordered field changes the record.
struct Numbering {
    int count = 0;

    template <class T>
    void field(const char*, int, T& value)
    {
        ++count;
        if constexpr (std::is_same_v<T, QString>) value.clear();
        else value = static_cast<T>(count);
    }
    void fixed(const char*, QString& value) { value = QStringLiteral("F%1").arg(++count); }
};

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

TEST(SettingsLayout, TheNumberedRecordKeepsItsGoldenBytes)
{
    typSettings s;
    Numbering numbering;
    visitSettingsFields(s, numbering);
    const QByteArray bytes = encodeSettings(s);
    ASSERT_EQ(bytes.size(), kSettingsRecordBytes);
    EXPECT_EQ(numbering.count, 153);
    // Spot checks that tell a layout fault apart when the digest below differs.
    EXPECT_EQ(hex(bytes, 0, 8), "01 00 02 00 03 04 05 06");       // two Integers, four Bytes
    EXPECT_EQ(bytes.mid(27, 4), "F17 ");                           // DestinationFolder, 256 bytes
    EXPECT_EQ(hex(bytes, 283, 4), "12 13 00 14");                  // Overwrite, Accepted
    EXPECT_EQ(hex(bytes, 1048, 8), "00 00 00 00 00 40 62 40");     // PrintSetting4 = 146.0, a Double
    EXPECT_EQ(hex(bytes, 1077, 4), "97 00 98 00");                 // the last two Integers
    EXPECT_EQ(hex(bytes, 1081, 2), "00 00");                       // the font name, an empty text
    EXPECT_EQ(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(),
              "177213b9f923d86023d1dc821f84d34b39ad91474def1637031fe786c4aa21a8")
        << bytes.toHex(' ').toStdString();
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
    // A record that ends where the font name's count starts is one from before the name was kept.
    const qsizetype beforeFontName = good.size() - 2 - defaults.Tasks.TextFontName.toUtf8().size();
    for (qsizetype length = 0; length < good.size(); ++length) {
        if (length == beforeFontName) continue;
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

TEST(SettingsLayout, ARecordFromBeforeTheFontNameReadsWithNoName)
{
    typSettings s;
    s.Tasks.TextFontName = QStringLiteral("DejaVu Sans");
    s.WindowWidth = 900;
    QByteArray older = encodeSettings(s);
    older.chop(2 + int(s.Tasks.TextFontName.toUtf8().size())); // no count, no name
    typSettings read;
    ASSERT_EQ(decodeSettings(older, read), SettingsDecodeResult::Ok);
    EXPECT_EQ(read.WindowWidth, 900);
    EXPECT_TRUE(read.Tasks.TextFontName.isEmpty());
    older.chop(1);
    EXPECT_EQ(decodeSettings(older, read), SettingsDecodeResult::TooShort);
}
