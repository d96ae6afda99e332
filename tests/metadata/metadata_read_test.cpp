// What the metadata lists show of files the exiv2 command tagged, and the rules that need no file.
#include "metadata/ExifIptc.h"
#include "metadata/MetadataRows.h"
#include "metadata_fixture.h"
#include "platform/sys/blockingcalls.h"

using namespace tf;
using namespace tf::test;

namespace {

struct Row {
    QString text, key, tag, value;
    int icon = 0;
};

Row row(const MetadataRows& rows, const QString& text)
{
    for (int i = 0; i < rows.count(); ++i) {
        const MetadataRow& r = rows.row(i);
        if (r.text == text) return {r.text, r.key, r.tag, r.value, r.icon};
    }
    ADD_FAILURE() << "no row " << text.toStdString();
    return {};
}

QStringList rowTexts(const MetadataRows& rows)
{
    QStringList texts;
    for (int i = 0; i < rows.count(); ++i) texts << rows.row(i).text;
    return texts;
}

class MetadataRead : public ::testing::Test {
    // Reads files on the test's own thread on purpose: what is tested is the call itself.
    tf::BlockingCallsAllowed m_blockingHere;
protected:
    void SetUp() override { subInitMetadata(); }
    // A JPEG that the exiv2 commands gave its metadata, read into `meta` and shown in both lists.
    void list(const QStringList& commands)
    {
        path = writeJpeg(dir, "shot.jpg");
        if (!commands.isEmpty()) exiv2Modify(path, commands);
        ASSERT_TRUE(meta.readFrom(path));
        ReadFileEXIFInfo(meta, true, exif, path);
        ReadFileIPTCInfo(meta, true, iptc, path);
    }
    TempFolder dir;
    QString path;
    ExifIptc meta;
    MetadataRows exif, iptc;
};

} // namespace

TEST_F(MetadataRead, ExifRowsCarryDisplayNamesKeysAndReadableValues)
{
    list({"set Exif.Image.Make Canon", "set Exif.Image.Orientation 9",
                       "set Exif.Image.DateTime 2024:01:02 15:04:05", "set Exif.Photo.ExposureTime 10/1250",
                       "set Exif.Photo.FNumber 28/10", "set Exif.Photo.ExifVersion 48 50 50 48",
                       "set Exif.Photo.ComponentsConfiguration 1 2 3 0", "set Exif.Photo.FlashpixVersion 48 49 48 48",
                       "set Exif.Photo.ISOSpeedRatings 100", "set Exif.Photo.PixelXDimension 64",
                       "set Exif.Photo.DateTimeOriginal 0000:00:00 00:00:00",
                       "set Exif.Thumbnail.XResolution 72/1"});

    EXPECT_EQ(exif.path, path);
    const Row make = row(exif, "Make");
    EXPECT_EQ(make.key, "Make");
    EXPECT_EQ(make.icon, 1);
    EXPECT_EQ(make.value, "Canon");
    const Row date = row(exif, "Date/Time");
    EXPECT_EQ(date.key, "DateTime");
    EXPECT_EQ(date.tag, "DateTime");
    EXPECT_EQ(date.value, "1/2/2024 3:04:05 PM");
    const Row orientation = row(exif, "Orientation");
    EXPECT_TRUE(orientation.key.isEmpty());
    EXPECT_EQ(orientation.icon, 0);
    EXPECT_EQ(orientation.value, "9") << "not in the table: the raw value";
    EXPECT_EQ(row(exif, "Exposure Time").value, "1/125 s");
    EXPECT_EQ(row(exif, "F-Number").value, "f/2.8");
    EXPECT_EQ(row(exif, "Exif Version").value, "2.2") << "undefined bytes reach the rules as 30,32,32,30";
    EXPECT_EQ(row(exif, "Components Configuration").value, "YCrCb");
    EXPECT_EQ(row(exif, "Flash Pix Version").value, "1.0") << "exiv2's FlashpixVersion under the program's name";
    EXPECT_EQ(row(exif, "ISO Speed Ratings").value, "100");
    EXPECT_EQ(row(exif, "Exif Offset").key, "") << "exiv2's ExifTag under the program's name";
    EXPECT_EQ(row(exif, "Date/Time Original").value, "0000:00:00 00:00:00")
        << "a zero date shows as it is and the listing goes on";
    EXPECT_EQ(row(exif, "Pixel X Dimension").value, "64");
    // The thumbnail's directory is not the picture's metadata.
    EXPECT_EQ(rowTexts(exif).count("X Resolution"), 0);
}

TEST_F(MetadataRead, ASecondAttributeOfAnEditableNameIsListedWithoutAKey)
{
    list({"set Exif.Image.DateTimeOriginal 2024:01:02 15:04:05", "set Exif.Photo.DateTimeOriginal 2024:01:03 15:04:05",
          "set Exif.Photo.UserComment charset=Ascii hi"});
    EXPECT_EQ(rowTexts(exif).count("Date/Time Original"), 2);
    int keyed = 0;
    for (int i = 0; i < exif.count(); ++i)
        keyed += exif.row(i).text == "Date/Time Original" && !exif.row(i).key.isEmpty();
    EXPECT_EQ(keyed, 1);
    EXPECT_EQ(row(exif, "User Comment").value, "hi") << "the listing went on past the second one";
}

TEST_F(MetadataRead, IptcListsAllFieldsWithJoinedListsDatesAndDecodedText)
{
    list({"add Iptc.Application2.Keywords a", "add Iptc.Application2.Keywords b",
                       "add Iptc.Application2.Keywords c", "set Iptc.Application2.DateCreated 2024-03-04",
                       "set Iptc.Application2.Caption Grüße", "set Iptc.Application2.Byline Ann",
                       "add Iptc.Application2.SuppCategory x"});
    EXPECT_TRUE(meta.HasIptc());
    EXPECT_EQ(meta.IptcAuthor(), "Ann") << "the batch's name for the by-line";
    ASSERT_EQ(iptc.count(), 52);
    EXPECT_EQ(iptc.row(0).text, "Caption");
    EXPECT_EQ(iptc.row(51).text, "Image Notes");
    EXPECT_EQ(row(iptc, "Caption").value, "Grüße");
    EXPECT_EQ(row(iptc, "Keywords").value, "a,b,c");
    EXPECT_EQ(row(iptc, "Supplemental Categories").value, "x");
    EXPECT_EQ(row(iptc, "By (Author)").value, "Ann");
    EXPECT_EQ(row(iptc, "Date Created").value, "3/4/2024");
    EXPECT_EQ(row(iptc, "Date Released").value, "") << "an absent date is an empty cell";
    EXPECT_EQ(row(iptc, "Caption").icon, 1);
}

TEST_F(MetadataRead, AFileWithoutMetadataAndAnEmptyControl)
{
    list({});
    EXPECT_FALSE(meta.HasIptc());
    EXPECT_EQ(exif.count(), 0);
    ASSERT_EQ(iptc.count(), 52);
    for (int i = 0; i < 52; ++i) EXPECT_TRUE(iptc.row(i).value.isEmpty());

    // No image in the control: no rows, and the lists keep the file they named.
    MetadataRows other;
    other.path = "before";
    ReadFileEXIFInfo(meta, false, other, path);
    ReadFileIPTCInfo(meta, false, other, path);
    EXPECT_EQ(other.count(), 0);
    EXPECT_EQ(other.path, "before");

    EXPECT_FALSE(meta.readFrom(dir.write("junk.jpg", "not a picture")));
    EXPECT_EQ(meta.ExifCount(), 0);
}

TEST(MetadataInterpret, ComputedValuesAndCodes)
{
    const std::tuple<const char*, const char*, const char*> cases[] = { // name, raw value, what shows
        {"ExposureTime", "0/1", ""}, // no time: the raw value shows
        {"FNumber", "28/0", ""},
        {"ApertureValue", "2/1", "f/2"},
        {"ApertureValue", "297/100", "f/2.8"},
        {"MaxApertureValue", "1/1", "f/1.4"},
        {"ShutterSpeedValue", "7/1", "1/128 s"},
        {"ExposureBiasValue", "-1/3", "-0.33 EV"},
        {"ExposureBiasValue", "1/200", "0.01 EV"}, // a half goes away from zero
        {"ExposureBiasValue", "0/1", "0.00 EV"},
        {"FocalLength", "50/1", "50 mm"},
        {"FocalLengthIn35mmFilm", "35", "35 mm"},
        {"DigitalZoomRatio", "3/2", "3:2"},
        {"CompressedBitsPerPixel", "4/1", "4"},
        {"ExifVersion", "30", ""},
        {"FlashPixVersion", "30,31,30,31", ""},
        {"ComponentsConfiguration", " 04,05,06,00 ", "RGB"},
        {"Orientation", "1", "Upper Left"},
        {"Orientation", "9", ""},
        {"Orientation", "x", ""},
        {"SceneType", "01", "Directly photographed image"},
        {"SceneType", "2", "Unknown"},
        {"FileSource", "03", "DSC (Digital Still Camera)"},
        {"FileSource", "0", "Other"},
        {"Make", "Canon", ""},
        {"fnumber", "28/10", ""}, // names are compared exactly
    };
    for (const auto& [name, raw, shown] : cases) EXPECT_EQ(fncEXIFInterpret(name, raw), shown) << name << " " << raw;
}

TEST(MetadataInterpret, DisplayNames)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ISOSpeedRatings", "ISO Speed Ratings"},
        {"FocalPlaneXResolution", "Focal Plane X Resolution"},
        {"GPSInfo", "GPS Info"},
        {"PixelXDimension", "Pixel X Dimension"},
        {"ImageUniqueID", "Image Unique ID"},
        {"JPEGInterchangeFormatLength", "JPEG Interchange Format Length"},
        {"Make", ""}, // not a name the list spells out
        {"fnumber", ""},
    };
    for (const auto& [name, shown] : cases) EXPECT_EQ(fncFormattedAttributed(name), shown) << name;
}

TEST(MetadataInterpret, NameTestsKeysAndRationalParts)
{
    subInitMetadata();
    EXPECT_TRUE(fncIsEXIFDateAttribute("  datetime "));
    EXPECT_TRUE(fncIsEditableEXIFAttribute("USERCOMMENT"));
    EXPECT_FALSE(fncIsEditableEXIFAttribute("Software"));
    EXPECT_TRUE(fncIsIPTCDateAttribute("time created"));

    MetadataRows list;
    EXPECT_TRUE(fncIsKeyFree(list, "Make"));
    list.add({"Make", "Make", "Make", "Canon", 1});
    EXPECT_FALSE(fncIsKeyFree(list, "Make"));
    EXPECT_TRUE(fncIsKeyFree(list, "make")) << "keys are case-sensitive";

    EXPECT_EQ(fncRationalNumerator("28/10"), 28);
    EXPECT_EQ(fncRationalDenominator("28/10"), 10);
    EXPECT_EQ(fncRationalNumerator("5"), 0);
    EXPECT_EQ(fncRationalDenominator("5"), 5);
    EXPECT_EQ(fncRationalNumerator("a/b"), 0);
    EXPECT_EQ(fncRationalDenominator("a/b"), 0);
    EXPECT_EQ(fncRationalDenominator("1/99999999999"), 0) << "beyond a long: 0, no overflow";
}

TEST(MetadataInterpret, ExifDatesReadOneFixedForm)
{
    EXPECT_EQ(ExifIptc::DateToExifText(QDateTime(QDate(2024, 1, 2), QTime(15, 4, 5))), "2024:01:02 15:04:05");
    EXPECT_EQ(ExifIptc::ExifTextToDate(QString("2024:01:02 15:04:05") + QChar(0) + "  "),
              QDateTime(QDate(2024, 1, 2), QTime(15, 4, 5)));
    EXPECT_FALSE(ExifIptc::ExifTextToDate("0000:00:00 00:00:00").isValid());
    EXPECT_FALSE(ExifIptc::ExifTextToDate("    ").isValid());
    // The list's form reads back the same whatever the locale says of day and month.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(parseListDateTime("1/2/2024 3:04:05 PM"), QDateTime(QDate(2024, 1, 2), QTime(15, 4, 5)));
    EXPECT_EQ(parseListDateTime("1/2/2024").date(), QDate(2024, 1, 2));
    EXPECT_FALSE(parseListDateTime("yesterday").isValid());
    QLocale::setDefault(QLocale::c());
}
