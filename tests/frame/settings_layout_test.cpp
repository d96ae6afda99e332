// The settings file's byte layout: every user's settings depend on it staying put.
#include "frame/modSettings.h"
#include "frame/settingsCodec.h"
#include "frame/settingsLayout.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>
#include <type_traits>

using namespace tf;

namespace {

// Empties every text of a record through the same walk the file uses. Numbered, it also gives field n
// (counted from 1) the value n, so each field's bytes say which field wrote them and a moved, resized
// or reordered field changes the record.
struct FieldWalk {
    bool numbered = false;
    int count = 0;

    template <class T>
    void field(const char*, int, T& value)
    {
        ++count;
        if constexpr (std::is_same_v<T, QString>) value.clear();
        else if (numbered) value = static_cast<T>(count);
    }
    void fixed(const char*, QString& value) { value = numbered ? QStringLiteral("F%1").arg(++count) : QString(); }
};

} // namespace

TEST(SettingsLayout, TheNumberedRecordKeepsItsGoldenBytes)
{
    typSettings s;
    FieldWalk numbering{.numbered = true};
    visitSettingsFields(s, numbering);
    const QByteArray bytes = encodeSettings(s);
    ASSERT_EQ(bytes.size(), kSettingsRecordBytes);
    EXPECT_EQ(numbering.count, 153);
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
    EXPECT_EQ(withTexts.mid(12, 20).toHex(' '), "00 00 00 00 01 00 5f 01 00 5f 00 00 06 00 53 61 6d 70 6c 65");
    EXPECT_EQ(fncSettingsFault(defaults), QString()) << "the defaults must never count as corrupt";

    // Every value of the defaults but the texts (some are paths on this machine), pinned.
    FieldWalk eraser;
    visitSettingsFields(defaults, eraser);
    const QByteArray b = encodeSettings(defaults);
    ASSERT_EQ(b.size(), 1083);
    EXPECT_EQ(QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex(),
              "3424cb76e051cf9ed6604b906bfaaa301e9d6b35da69c0be06a2ac0f04488edd")
        << b.toHex(' ').toStdString();
}

TEST(SettingsCodec, RecordsComeBackAsWritten)
{
    typSettings s = fncDefaultSettings();
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

TEST(SettingsCodec, TheWindowsPlaceRidesBehindTheRecord)
{
    const QByteArray bare = encodeSettings(fncDefaultSettings());
    typSettings placed = fncDefaultSettings();
    placed.WindowPlaced = true;
    placed.WindowLeft = -1200; // a screen left of the primary one
    placed.WindowTop = 40;
    const QByteArray withPlace = encodeSettings(placed);
    EXPECT_EQ(withPlace.left(bare.size()), bare) << "the record itself is unchanged";
    const struct {
        const char* what;
        QByteArray bytes;
        bool placed;
    } cases[] = {
        {"placed", withPlace, true},
        {"placed, an old image behind", withPlace + QByteArray(300, '\x7f'), true},
        {"no place", bare, false},
        {"an old image behind, no place", bare + QByteArray(300, '\x7f'), false},
        {"the tag cut short", withPlace.left(withPlace.size() - 1), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        typSettings back;
        ASSERT_EQ(decodeSettings(c.bytes, back), SettingsDecodeResult::Ok);
        EXPECT_EQ(back.WindowPlaced, c.placed);
        if (c.placed) {
            EXPECT_EQ(back, placed);
        }
    }
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
    typSettings written = fncDefaultSettings();
    written.Tasks.TextFontName = QStringLiteral("DejaVu Sans");
    const QByteArray good = encodeSettings(written);
    typSettings untouched;
    untouched.ShowToolTips = 77;
    // A record that ends where the font name's count starts is one from before the name was kept.
    const qsizetype beforeFontName = good.size() - 2 - written.Tasks.TextFontName.toUtf8().size();
    typSettings older = written;
    older.Tasks.TextFontName.clear();
    for (qsizetype length = 0; length < good.size(); ++length) {
        typSettings out = untouched;
        const SettingsDecodeResult result = decodeSettings(good.left(length), out);
        EXPECT_EQ(result == SettingsDecodeResult::Ok, length == beforeFontName) << length;
        EXPECT_EQ(out, length == beforeFontName ? older : untouched) << length;
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
