// What a metadata write leaves of a file: text in older encodings, and every page of a TIFF.
#include "platform/sys/blockingcalls.h"
#include "metadata/ExifIptc.h"
#include "metadata_fixture.h"
#include "support/doctools.h"

#include <FreeImage.h>
#include <QDir>
#include <QProcess>
#include <exiv2/exiv2.hpp>
#include <tiffio.h>

using namespace tf;
using namespace tf::test;

namespace {

// The exiv2 command's output as bytes: text it prints in Latin-1 stays Latin-1.
QByteArray exiv2Bytes(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("exiv2"), args);
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

// Tags set with the exiv2 library, bytes as given, with no character set named.
void tagRaw(const QString& path, const char* caption, const char* artist)
{
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    Exiv2::IptcData iptc;
    iptc["Iptc.Application2.Caption"] = caption;
    Exiv2::ExifData exif;
    exif["Exif.Image.Artist"] = artist;
    image->setIptcData(iptc);
    image->setExifData(exif);
    image->writeMetadata();
}

// Pages with colour tags and an XMP packet each, as a scanner's TIFF has them.
void writeTaggedPages(const QString& path, int pages, bool bigEndian)
{
    TIFF* tif = TIFFOpen(path.toLocal8Bit().constData(), bigEndian ? "wb" : "wl");
    ASSERT_NE(tif, nullptr);
    float white[2] = {0.3127f, 0.329f};
    float primaries[6] = {0.64f, 0.33f, 0.3f, 0.6f, 0.15f, 0.06f};
    for (int p = 0; p < pages; ++p) {
        const QImage img = pattern(16 + p, 8).convertToFormat(QImage::Format_RGB888);
        const QByteArray xmp = QStringLiteral("<x:xmpmeta xmlns:x='adobe:ns:meta/'>page %1</x:xmpmeta>").arg(p).toUtf8();
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(img.width()));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(img.height()));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, p % 2 ? COMPRESSION_LZW : COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
        TIFFSetField(tif, TIFFTAG_WHITEPOINT, white);
        TIFFSetField(tif, TIFFTAG_PRIMARYCHROMATICITIES, primaries);
        TIFFSetField(tif, TIFFTAG_XMLPACKET, uint32_t(xmp.size()), xmp.constData());
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(p), uint16_t(pages));
        for (int y = 0; y < img.height(); ++y)
            ASSERT_EQ(TIFFWriteScanline(tif, const_cast<uchar*>(img.constScanLine(y)), uint32_t(y)), 1);
        ASSERT_TRUE(TIFFWriteDirectory(tif));
    }
    TIFFClose(tif);
}

// tiffdump's lines of the XMP tag, which it names by number alone.
QStringList xmpLines(const QString& path)
{
    QStringList lines;
    for (const QString& line : runTool("tiffdump", {path}).split('\n'))
        if (line.startsWith("700 (")) lines << line;
    return lines;
}

// Every entry of a folder, hidden ones included, sorted.
QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

class MetadataFiles : public MetadataControllerTest {
protected:
    void keepsEveryOtherTag(const QString& path);
};

} // namespace

TEST_F(MetadataFiles, Latin1TextReadsRightAndKeepsItsBytesWhenAnotherFieldChanges)
{
    const struct {
        const char* name;
        const char* caption; // as stored
        bool markedAfterEdit;
    } cases[] = {
        {"latin1.jpg", "Caf\xE9 Noir", false},
        {"utf8.jpg", "Caf\xC3\xA9 Noir", true},
        {"latin1.tif", "Caf\xE9 Noir", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.file(QString::fromLatin1(c.name));
        if (path.endsWith(".tif"))
            ASSERT_TRUE(writeRgbTiff(path, {pattern(8, 8)}));
        else
            writeJpeg(dir, QString::fromLatin1(c.name));
        tagRaw(path, c.caption, c.caption);
        show(path);
        controller.setMetadataKind(1);
        EXPECT_EQ(value(iptc(), "Caption"), QString::fromUtf8("Café Noir"));
        EXPECT_EQ(value(exif(), "Artist"), QString::fromUtf8("Café Noir"));

        ASSERT_TRUE(update(path, 1, "Headline", QString::fromUtf8("Über")));
        ASSERT_TRUE(update(path, 0, "Make", "Canon"));
        const QByteArray iptcOut = exiv2Bytes({"-q", "-pi", path});
        QByteArray captionLine;
        for (const QByteArray& line : iptcOut.split('\n'))
            if (line.startsWith("Iptc.Application2.Caption ")) captionLine = line;
        EXPECT_TRUE(captionLine.endsWith(QByteArray("  ") + c.caption)) << iptcOut.toStdString();
        EXPECT_EQ(iptcOut.contains("CharacterSet"), c.markedAfterEdit) << iptcOut.toStdString();
        EXPECT_TRUE(exiv2Bytes({"-q", "-pa", path}).contains(QByteArray(c.caption)));

        show(path);
        EXPECT_EQ(value(iptc(), "Caption"), QString::fromUtf8("Café Noir"));
        EXPECT_EQ(value(iptc(), "Headline"), QString::fromUtf8("Über"));
    }
}

TEST_F(MetadataFiles, AnExifWriteKeepsEveryOtherTagOfEveryTiffPage)
{
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        const QString path = dir.file(bigEndian ? "scan-mm.tif" : "scan-ii.tif");
        writeTaggedPages(path, 6, bigEndian);
        messages.clear();
        keepsEveryOtherTag(path);
    }
}

void MetadataFiles::keepsEveryOtherTag(const QString& path)
{
    const QByteArray bytesBefore = readAll(path);
    const auto before = tiffDirectories(path);
    ASSERT_EQ(before.size(), 6u);
    ASSERT_TRUE(before[5].tags.contains(318) && before[5].tags.contains(319));
    const QStringList xmpBefore = xmpLines(path);
    ASSERT_EQ(xmpBefore.size(), 6);

    show(path);
    ASSERT_TRUE(update(path, 0, "Artist", "Ann")) << messages.prompts().join("|").toStdString();
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Artist"), "Ann");

    const auto after = tiffDirectories(path);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        QMap<int, QString> expected = before[i].tags;
        if (i == 0) {
            expected[315] = after[0].tags.value(315); // Artist
            expected[305] = after[0].tags.value(305); // Software
            EXPECT_TRUE(after[0].tags.value(315).contains("Ann"));
        }
        EXPECT_EQ(after[i].tags, expected) << "page " << i;
    }
    EXPECT_EQ(xmpLines(path), xmpBefore);
    // Every byte of the old file is where it was (the pixels above all); only the header's
    // pointer to the first page's new directory differs.
    const QByteArray bytesAfter = readAll(path);
    EXPECT_EQ(bytesAfter.left(4), bytesBefore.left(4));
    EXPECT_EQ(bytesAfter.mid(8, bytesBefore.size() - 8), bytesBefore.mid(8));

    // Clearing all EXIF keeps the picture: its strips are not metadata.
    controller.setMetadataKind(0);
    messages.answerNext(vbYes);
    controller.subClearAllAttributes();
    settle();
    EXPECT_EQ(tiffDirectories(path)[0].tags.value(273), before[0].tags.value(273));
    EXPECT_FALSE(tiffDirectories(path)[0].tags.contains(315));
    EXPECT_EQ(loadPage(path, 6).size(), QSize(21, 8));
}

TEST_F(MetadataFiles, AValueTheFileCannotHoldIsNotReportedAsWritten)
{
    // Each value passes on its own; together they overflow a JPEG's 64 KB EXIF block, and exiv2
    // would drop tags to make them fit.
    const QString path = writeJpeg(dir, "full.jpg");
    show(path);
    const QString big(30000, QLatin1Char('x'));
    ASSERT_TRUE(update(path, 0, "ImageDescription", big));
    ASSERT_TRUE(update(path, 0, "Artist", big));
    const QByteArray before = readAll(path);
    EXPECT_FALSE(update(path, 0, "Copyright", big));
    EXPECT_EQ(readAll(path), before);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_TRUE(messages.shown()[0].prompt.contains("does not fit")) << messages.prompts().join("|").toStdString();
    EXPECT_EQ(controller.metadata().ExifValueByName("Copyright"), "") << "what is held is as before";
}

TEST_F(MetadataFiles, AWebPHoldsNoIptcAndSaysSoWhileItsExifIsWritten)
{
    tf::BlockingCallsAllowed decodesHere; // the test decodes and reads on its own thread on purpose
    // A WebP under a JPEG's name, as pictures saved from the web often are.
    const QString path = dir.file("photo.jpg");
    {
        FIBITMAP* bitmap = FreeImage_Allocate(8, 8, 24);
        ASSERT_TRUE(FreeImage_Save(FIF_WEBP, bitmap, QFile::encodeName(path).constData(), WEBP_LOSSLESS));
        FreeImage_Unload(bitmap);
    }
    const QByteArray before = readAll(path);

    // Through the window: an IPTC field alone is refused, in words of the file's kind.
    show(path);
    EXPECT_FALSE(update(path, 1, "Caption", "Harbour"));
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_TRUE(messages.shown()[0].prompt.contains("photo.jpg is a WebP image, which has no place for IPTC data."))
        << messages.prompts().join("|").toStdString();
    EXPECT_EQ(readAll(path), before);

    // A change with both: the EXIF goes in, the IPTC is refused, and the answer says which.
    ExifIptc meta;
    ASSERT_TRUE(meta.readFrom(path));
    ASSERT_TRUE(meta.SetExifAttribute("Artist", "Ann Example"));
    meta.setIptcCaption("Harbour");
    QString why;
    EXPECT_FALSE(meta.WriteMetadataTo(path, &why));
    EXPECT_TRUE(why.startsWith("photo.jpg is a WebP image")) << why.toStdString();
    EXPECT_TRUE(why.contains("The EXIF attributes were written.")) << why.toStdString();
    EXPECT_EQ(exiv2Value(path, "Exif.Image.Artist"), "Ann Example");
    EXPECT_EQ(folderEntries(dir.path()), QStringList{"photo.jpg"}) << "no copy left beside it";
}

TEST_F(MetadataFiles, ARefusalOnABigTiffNamesTheUsersFile)
{
    tf::BlockingCallsAllowed decodesHere; // the test decodes and reads on its own thread on purpose
    const QString path = dir.file("scan.tif");
    {
        TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w8");
        ASSERT_NE(tif, nullptr);
        const QImage img = pattern(8, 4).convertToFormat(QImage::Format_RGB888);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(img.width()));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(img.height()));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        for (int y = 0; y < img.height(); ++y)
            ASSERT_EQ(TIFFWriteScanline(tif, const_cast<uchar*>(img.constScanLine(y)), uint32_t(y)), 1);
        TIFFClose(tif);
    }
    const QByteArray before = readAll(path);
    ExifIptc meta;
    meta.readFrom(path);
    ASSERT_TRUE(meta.SetExifAttribute("Artist", "Ann Example"));
    QString why;
    EXPECT_FALSE(meta.WriteMetadataTo(path, &why));
    EXPECT_TRUE(why.startsWith("scan.tif is a BigTIFF file")) << why.toStdString();
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(folderEntries(dir.path()), QStringList{"scan.tif"});
}
