// The EXIF template (.xiff) and the IPTC template (.ffo).
#include "metadata/metadataTemplates.h"
#include "metadata_fixture.h"

#include <QDir>
#include <QFileInfo>

using namespace tf;
using namespace tf::test;

namespace {

class MetadataTemplate : public MetadataControllerTest {
protected:
    // A JPEG with some metadata, shown.
    QString shot()
    {
        const QString path = writeJpeg(dir, "shot.jpg");
        exiv2Modify(path, {"set Exif.Image.Make Canon", "set Exif.Image.Orientation 1",
                           "set Exif.Image.DateTime 2024:01:02 15:04:05", "set Iptc.Application2.Caption Old"});
        show(path);
        return path;
    }
};

} // namespace

TEST_F(MetadataTemplate, AnExifTemplateHoldsTheKeyedRowsAsTheListShowsThem)
{
    shot();
    dialogs.answerFile(dir.file("meta"));
    ASSERT_TRUE(controller.fncSaveEXIF());
    EXPECT_EQ(dialogs.fileRequests().back().defaultSuffix, "xiff");
    EXPECT_EQ(readAll(dir.file("meta.xiff")), "\"Make\",\"Canon\"\r\n\"DateTime\",\"1/2/2024 3:04:05 PM\"\r\n");
    dialogs.answerFile(dir.file("META.XIFF"));
    ASSERT_TRUE(controller.fncSaveEXIF());
    EXPECT_TRUE(QFileInfo::exists(dir.file("META.XIFF")));
    EXPECT_FALSE(QFileInfo::exists(dir.file("META.XIFF.xiff")));
}

TEST_F(MetadataTemplate, NothingEditableToSaveLeavesAnExistingTemplateAlone)
{
    const QString path = writeJpeg(dir, "plain.jpg");
    exiv2Modify(path, {"set Exif.Image.Orientation 1"});
    show(path);
    const QString kept = dir.write("old.xiff", "\"Make\",\"Kept\"\r\n");
    dialogs.answerFile(kept);
    EXPECT_FALSE(controller.fncSaveEXIF());
    EXPECT_EQ(readAll(kept), "\"Make\",\"Kept\"\r\n");
    EXPECT_TRUE(dialogs.fileRequests().empty()) << "counted before asking for a file";
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].prompt,
              "There is no user editable EXIF attributes in this current image!\n"
              "Either create new attribute or select another image having editable attribute.");
}

TEST_F(MetadataTemplate, LoadingAnExifTemplateUpdatesRowsAndWritesTheFileOnce)
{
    const QString path = shot();
    const QString xiff = dir.write("t.xiff", "\"make\",\"Nikon\"\n"
                                              "  \"DateTimeOriginal\" , \"3/4/2024 1:02:03 AM\"\n");
    dialogs.answerFile(xiff);
    messages.answerNext(vbYes);
    ASSERT_TRUE(written(controller.fncOpenEXIF()));
    EXPECT_EQ(messages.prompts(), QStringList{"Loading a .xiff will only overwrite user editable EXIF attributes!\n"
                                              "Do you want to continue?"});
    EXPECT_EQ(value(exif(), "Make"), "Nikon") << "the row found by its key, case ignored";
    EXPECT_EQ(value(exif(), "Date/Time Original"), "3/4/2024 1:02:03 AM");
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Make"), "Nikon");
    EXPECT_EQ(exiv2Value(path, "Exif.Photo.DateTimeOriginal"), "2024:03:04 01:02:03");
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Software"), "Tavrel Folio");

    // A file that cannot be read is a failure, and said to be.
    messages.clear();
    messages.answerNext(vbYes);
    dialogs.answerFile(dir.file("missing.xiff"));
    EXPECT_FALSE(written(controller.fncOpenEXIF()));
    EXPECT_EQ(messages.shown().back().icon(), vbCritical);
}

TEST_F(MetadataTemplate, AnUnusableRecordIsSkippedAndTheOthersAreWritten)
{
    const struct {
        const char* attribute;
        QByteArray value;
    } unusable[] = {
        {"DateTime", "not a date"},
        {"ExposureTime", "1/0"},
        {"ImageDescription", QByteArray(3 << 20, 'x')},
        {"PixelXDimension", "wide"},
        {"StripOffsets", "5"},
    };
    const QString path = shot();
    for (const auto& r : unusable) {
        SCOPED_TRACE(r.attribute);
        const QString make = QStringLiteral("Fuji %1").arg(r.attribute);
        const QString xiff = dir.write("mixed.xiff", "\"Make\",\"" + make.toUtf8() + "\"\r\n\"" + QByteArray(r.attribute)
                                                        + "\",\"" + r.value + "\"\r\n\"Artist\",\"Ann\"\r\n");
        messages.clear();
        messages.answerNext(vbYes);
        dialogs.answerFile(xiff);
        ASSERT_TRUE(written(controller.fncOpenEXIF()));
        EXPECT_EQ(exiv2Value(path, "Exif.Image.Make"), make);
        EXPECT_EQ(exiv2Value(path, "Exif.Image.Artist"), "Ann");
        EXPECT_EQ(exiv2Value(path, "Exif.Image.DateTime"), "2024:01:02 15:04:05") << "the skipped date is not touched";
        EXPECT_EQ(value(exif(), "Make"), make);
        EXPECT_EQ(value(exif(), "Artist"), "Ann");
        // The question, then one message naming the skipped record, after the write.
        ASSERT_EQ(messages.shown().size(), 2u);
        EXPECT_TRUE(messages.shown()[1].prompt.startsWith("These records of the EXIF template mixed.xiff were skipped:"));
        EXPECT_TRUE(messages.shown()[1].prompt.contains(QString::fromLatin1(r.attribute) + ": "));
        EXPECT_FALSE(messages.shown()[1].prompt.contains("Make")) << messages.shown()[1].prompt.toStdString();
        EXPECT_LT(messages.shown()[1].prompt.size(), 300) << "a long value is cut in the message";

        tf::ExifIptc page;
        QStringList why;
        EXPECT_FALSE(subLoadEXIFFile(xiff, page, &why)) << "the batch skips it the same way";
        EXPECT_EQ(why.size(), 1);
        EXPECT_EQ(page.ExifValueByName("Make"), make);
    }

    // Nothing usable: nothing is written, and the one message says why.
    const QByteArray before = readAll(path);
    messages.clear();
    messages.answerNext(vbYes);
    dialogs.answerFile(dir.write("none.xiff", "\"DateTime\",\"never\"\r\n"));
    EXPECT_TRUE(controller.fncOpenEXIF());
    EXPECT_FALSE(controller.writePending());
    EXPECT_EQ(readAll(path), before);
    ASSERT_EQ(messages.shown().size(), 2u);
    EXPECT_TRUE(messages.shown()[1].prompt.contains("DateTime: "));
}

TEST_F(MetadataTemplate, TheBatchAppliesATemplateWithoutWritingAnyFile)
{
    const QString xiff = dir.write("t.xiff", "\"Artist\",\"Ann\"\r\n\"DateTime\",\"1/2/2024 3:04:05 PM\"\r\n");
    ExifIptc page;
    ASSERT_TRUE(subLoadEXIFFile(xiff, page));
    EXPECT_EQ(page.ExifValueByName("Artist"), "Ann");
    EXPECT_EQ(page.ExifValueByName("DateTime"), "2024:01:02 15:04:05");
    EXPECT_EQ(page.ExifValueByName("Software"), "Tavrel Folio");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"t.xiff"});
    EXPECT_FALSE(subLoadEXIFFile(dir.file("none.xiff"), page));
}

TEST_F(MetadataTemplate, AnIptcTemplateRoundTripsEveryField)
{
    ExifIptc source;
    for (const IptcField& f : iptcFields()) {
        switch (f.kind) {
        case IptcField::Text: source.setIptcText(f.dataset, QStringLiteral("%1 é").arg(f.name)); break;
        case IptcField::Date: source.setIptcDate(f.dataset, QDate(2020, 2, f.dataset % 28 + 1)); break;
        case IptcField::Time: source.setIptcTime(f.dataset, QTime(10, f.dataset, 5)); break;
        case IptcField::List: source.setIptcList(f.dataset, {"one", "two"}); break;
        case IptcField::Number: source.setIptcUrgency(7); break;
        }
    }
    const QString ffo = dir.file("all.ffo");
    ASSERT_TRUE(source.SaveIptcToFile(ffo));
    EXPECT_TRUE(readAll(ffo).startsWith("8BIM\x04\x04"));

    ExifIptc copy;
    copy.setIptcText(120, "replaced");
    ASSERT_TRUE(copy.LoadIptcFromFile(ffo));
    for (const IptcField& f : iptcFields()) {
        EXPECT_EQ(copy.iptcText(f.dataset), source.iptcText(f.dataset)) << f.name;
        EXPECT_EQ(copy.iptcDate(f.dataset), source.iptcDate(f.dataset)) << f.name;
        EXPECT_EQ(copy.iptcTime(f.dataset), source.iptcTime(f.dataset)) << f.name;
        EXPECT_EQ(copy.iptcList(f.dataset), source.iptcList(f.dataset)) << f.name;
    }
    EXPECT_EQ(copy.IptcUrgency(), 7);

    // The bare IIM stream inside the block reads too.
    const QByteArray block = readAll(ffo);
    const int size = (uchar(block[8]) << 24) | (uchar(block[9]) << 16) | (uchar(block[10]) << 8) | uchar(block[11]);
    ExifIptc bare;
    ASSERT_TRUE(bare.parseIptcTemplate(block.mid(12, size)));
    EXPECT_EQ(bare.iptcText(120), source.iptcText(120));
}

TEST_F(MetadataTemplate, BadIptcTemplatesChangeNothing)
{
    ExifIptc held;
    held.setIptcText(120, "mine");
    for (const QByteArray& bad : {QByteArray(), QByteArray("garbage"), QByteArray("8BIM\x04\x04\0\0\xff\xff\xff\xf0", 12),
                                  QByteArray("\x1c\x02\x78\xff\xff", 5), QByteArray("Photoshop 3.0\0", 14),
                                  QByteArray("\x1c\x01\x5a\x00\x03\x1b\x25\x47", 8), // an envelope, no field
                                  QByteArray("\x1c\x01\x5a\x00\x03\x1b\x25\x47\x1c\x02\x19\x00\x00", 13)}) { // an empty field
        EXPECT_FALSE(held.parseIptcTemplate(bad)) << bad.toHex().toStdString();
        EXPECT_EQ(held.iptcText(120), "mine");
    }
    EXPECT_FALSE(held.LoadIptcFromFile(dir.file("missing.ffo")));
    EXPECT_FALSE(ExifIptc().SaveIptcToFile(dir.file("empty.ffo"))) << "nothing to save";
    EXPECT_FALSE(QFileInfo::exists(dir.file("empty.ffo")));
}

TEST_F(MetadataTemplate, LoadingAnIptcTemplateReplacesTheImagesIptcAndRelists)
{
    ExifIptc source;
    source.setIptcText(5, "Title");
    const QString ffo = dir.file("t.ffo");
    ASSERT_TRUE(source.SaveIptcToFile(ffo));

    const QString path = shot();
    controller.setMetadataKind(1);
    dialogs.answerFile(ffo);
    messages.answerNext(vbYes);
    ASSERT_TRUE(written(controller.fncOpenIPTC()));
    EXPECT_EQ(messages.prompts(), QStringList{"Loading a .ffo file will replace all IPTC metadata of the current image.\n"
                                              "Do you want to continue?"});
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.ObjectName"), "Title");
    EXPECT_EQ(exiv2Value(path, "Iptc.Application2.Caption"), "") << "replaced, not merged";
    EXPECT_EQ(value(iptc(), "Object Name (Title)"), "Title");
    EXPECT_EQ(rowCount(iptc()), 52);

    dialogs.answerFile(dir.file("saved"));
    ASSERT_TRUE(controller.fncSaveIPTC());
    EXPECT_EQ(readAll(dir.file("saved.ffo")), readAll(ffo));
}
