#include "imagebox_testutil.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/imagebox_document.h"
#include "support/testenv.h"

#include <FreeImage.h>
#include <IL/il.h>
#include <QBuffer>
#include <QDataStream>
#include <QImageWriter>
#include <gtest/gtest.h>

using namespace tf;

namespace {

QByteArray encodeWithQt(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes;
}

void expectLoads(ImageDocument& doc, const QString& path, QSize size)
{
    doc.LoadFromFile(path);
    EXPECT_FALSE(doc.LoadFailed()) << path.toStdString();
    EXPECT_TRUE(doc.HasImage()) << path.toStdString();
    EXPECT_EQ(QSize(doc.ImageWidth(), doc.ImageHeight()), size) << path.toStdString();
}

void expectFails(ImageDocument& doc, const QString& path)
{
    doc.LoadFromFile(path);
    EXPECT_TRUE(doc.LoadFailed()) << path.toStdString();
    EXPECT_FALSE(doc.HasImage()) << path.toStdString();
}

} // namespace

TEST(ImageBoxLoad, EveryFormatLoadsWhateverTheCaseOfItsExtension)
{
    test::TempFolder dir;
    const QImage pic = test::patterned(31, 17);
    ImageDocument doc;

    expectLoads(doc, dir.write("PHOTO.JPG", encodeWithQt(pic, "JPG")), pic.size());
    expectLoads(doc, dir.write("a.jpeg", encodeWithQt(pic, "JPG")), pic.size());
    expectLoads(doc, dir.write("PLAIN.BMP", encodeWithQt(pic, "BMP")), pic.size());
    EXPECT_EQ(test::firstDifference(doc.image(), pic), "");
    expectLoads(doc, dir.write("Shot.Png", encodeWithQt(pic, "PNG")), pic.size());
    EXPECT_EQ(test::firstDifference(doc.image(), pic), "");

    const QImage palette = pic.convertToFormat(QImage::Format_Indexed8);
    ASSERT_TRUE(test::saveWithFreeImage(palette, FIF_GIF, dir.file("ANIM.GIF")));
    expectLoads(doc, dir.file("ANIM.GIF"), pic.size());
    EXPECT_EQ(test::firstDifference(doc.image(), palette), "");

    ASSERT_TRUE(test::saveWithFreeImage(pic, FIF_TIFF, dir.file("SCAN.TIF")));
    expectLoads(doc, dir.file("SCAN.TIF"), pic.size());
    EXPECT_EQ(test::firstDifference(doc.image(), pic), "");
    EXPECT_EQ(doc.image().dotsPerMeterX(), 11811); // the resolution travels with the pixels
    EXPECT_EQ(doc.image().dotsPerMeterY(), 7874);

    ASSERT_TRUE(test::saveWithFreeImage(pic, FIF_TARGA, dir.file("x.TGA")));
    expectLoads(doc, dir.file("x.TGA"), pic.size());
    EXPECT_EQ(test::firstDifference(doc.image(), pic), "");

    ASSERT_TRUE(test::saveWithFreeImage(pic, FIF_PSD, dir.file("layered.PSD")));
    expectLoads(doc, dir.file("layered.PSD"), pic.size());
    EXPECT_EQ(test::firstDifference(doc.image(), pic), "");

    ASSERT_TRUE(test::saveWithDevil(pic, IL_PCX, dir.file("PAINT.PCX")));
    expectLoads(doc, dir.file("PAINT.PCX"), pic.size());
    EXPECT_EQ(test::firstDifference(doc.image(), pic), "");

    // Content decides, not the name: a PNG called .dat still loads.
    expectLoads(doc, dir.write("misnamed.dat", encodeWithQt(pic, "PNG")), pic.size());
}

TEST(ImageBoxLoad, DepthOfPagesIsKept)
{
    test::TempFolder dir;
    ImageDocument doc;
    const QImage mono = test::patterned(40, 9, QImage::Format_Mono);
    ASSERT_TRUE(test::saveWithFreeImage(mono, FIF_TIFF, dir.file("fax.tif")));
    doc.LoadFromFile(dir.file("fax.tif"));
    ASSERT_FALSE(doc.LoadFailed());
    EXPECT_EQ(doc.BitsPerPixel(), 1);
    EXPECT_EQ(doc.image().format(), QImage::Format_Mono);
    EXPECT_EQ(test::firstDifference(doc.image(), mono), "");

    const QImage grey = test::patterned(12, 12, QImage::Format_Grayscale8);
    ASSERT_TRUE(test::saveWithFreeImage(grey, FIF_PNG, dir.file("grey.png")));
    doc.LoadFromFile(dir.file("grey.png"));
    EXPECT_EQ(doc.BitsPerPixel(), 8);
    EXPECT_EQ(test::firstDifference(doc.image(), grey), "");

    ASSERT_TRUE(test::saveWithFreeImage(test::patterned(5, 5), FIF_BMP, dir.file("rgb.bmp")));
    doc.LoadFromFile(dir.file("rgb.bmp"));
    EXPECT_EQ(doc.BitsPerPixel(), 24);
}

TEST(ImageBoxLoad, PagesOfMultipageFiles)
{
    test::TempFolder dir;
    QList<QImage> pages;
    for (int i = 0; i < 3; ++i) {
        QImage p(20 + i, 10 + 2 * i, QImage::Format_RGB888);
        p.fill(QColor(60 * (i + 1), 10, 200 - 50 * i));
        pages << p;
    }
    ASSERT_TRUE(test::saveMultiPageWithFreeImage(pages, FIF_TIFF, dir.file("three.tif")));
    ImageDocument doc;
    EXPECT_EQ(doc.PageCount(dir.file("three.tif")), 3);
    for (int i = 0; i < 3; ++i) {
        doc.setPageIndex(i + 1);
        expectLoads(doc, dir.file("three.tif"), pages[i].size());
        EXPECT_EQ(QColor(doc.image().pixel(3, 3)), QColor(pages[i].pixel(3, 3))) << "page " << i + 1;
    }
    for (int outside : {0, 4, -1}) {
        doc.setPageIndex(outside);
        expectFails(doc, dir.file("three.tif"));
        EXPECT_EQ(doc.PageIndex(), outside);
    }
    // A single-page file has only page 1.
    ASSERT_TRUE(test::saveWithFreeImage(pages[0], FIF_PNG, dir.file("one.png")));
    EXPECT_EQ(doc.PageCount(dir.file("one.png")), 1);
    doc.setPageIndex(2);
    expectFails(doc, dir.file("one.png"));

    QList<QImage> frames;
    for (const QImage& p : pages) frames << p.convertToFormat(QImage::Format_Indexed8);
    ASSERT_TRUE(test::saveMultiPageWithFreeImage(frames, FIF_GIF, dir.file("anim.gif")));
    EXPECT_EQ(doc.PageCount(dir.file("anim.gif")), 3);
    doc.setPageIndex(3);
    expectLoads(doc, dir.file("anim.gif"), pages[2].size());

    QList<QImage> icons{QImage(16, 16, QImage::Format_ARGB32), QImage(32, 32, QImage::Format_ARGB32)};
    icons[0].fill(Qt::red);
    icons[1].fill(Qt::blue);
    ASSERT_TRUE(test::saveMultiPageWithFreeImage(icons, FIF_ICO, dir.file("app.ico")));
    EXPECT_EQ(doc.PageCount(dir.file("app.ico")), 2);
    doc.setPageIndex(2);
    expectLoads(doc, dir.file("app.ico"), QSize(32, 32));
    EXPECT_EQ(doc.PixelColor(5, 5), rgb(0, 0, 255));

    EXPECT_EQ(doc.PageCount(dir.file("missing.tif")), 0);
    EXPECT_EQ(doc.PageCount(dir.write("notes.txt", "just text")), 0);
}

TEST(ImageBoxLoad, BadFilesSetLoadFailedAndEmptyTheControl)
{
    test::TempFolder dir;
    ImageDocument doc;
    const QString good = dir.write("good.png", encodeWithQt(test::patterned(8, 8), "PNG"));
    const QByteArray jpeg = encodeWithQt(test::patterned(64, 64), "JPG");
    const QByteArray bmp = encodeWithQt(test::patterned(64, 64), "BMP");

    const QStringList bad{
        dir.file("missing.jpg"),
        dir.write("empty.jpg", QByteArray()),
        dir.write("half.jpg", jpeg.left(jpeg.size() / 2)),
        dir.write("header-only.jpg", jpeg.left(200)),
        dir.write("half.bmp", bmp.left(bmp.size() / 2)),
        dir.write("notes.xyz", "These are notes, not a picture."),
        dir.write("junk.tif", QByteArray("II*\0\x08\0\0\0garbage that is no directory", 36)),
        dir.write("noext", QByteArray(100, '\x01')),
        dir.path(),
        QString(),
    };
    for (const QString& path : bad) {
        doc.setPageIndex(1);
        expectLoads(doc, good, QSize(8, 8));
        expectFails(doc, path); // and the previous picture is gone, not saved again by mistake
    }
    expectLoads(doc, good, QSize(8, 8));
    EXPECT_FALSE(doc.LoadFailed()); // a good load clears the flag
}

TEST(ImageBoxLoad, HostileSizesAreRefusedBeforeAllocating)
{
    test::TempFolder dir;
    ImageDocument doc;
    // A BMP header claiming 60000 x 60000 pixels of 24 bits over 54 bytes.
    QByteArray bmp(54, '\0');
    auto le32 = [&](int at, quint32 v) { for (int i = 0; i < 4; ++i) bmp[at + i] = char((v >> (8 * i)) & 0xFF); };
    bmp[0] = 'B';
    bmp[1] = 'M';
    le32(2, 54);
    le32(10, 54);
    le32(14, 40);
    le32(18, 60000);
    le32(22, 60000);
    bmp[26] = 1;
    bmp[28] = 24;
    expectFails(doc, dir.write("huge.bmp", bmp));

    // A GIF whose one frame claims 65535 x 65535.
    QByteArray gif("GIF89a\xff\xff\xff\xff\x00\x00\x00", 13);
    gif += QByteArray("\x2c\0\0\0\0\xff\xff\xff\xff\x00\x02\x02\x44\x01\x00\x3b", 16);
    expectFails(doc, dir.write("huge.gif", gif));

    EXPECT_FALSE(imagebox::sizeAllowed(70000, 70000, 1));
    EXPECT_FALSE(imagebox::sizeAllowed(0, 10, 8));
    EXPECT_TRUE(imagebox::sizeAllowed(10000, 10000, 32));
}

TEST(ImageBoxLoad, GifFrameWalkerFindsEachFrameAndStopsAtDamage)
{
    test::TempFolder dir;
    QList<QImage> frames;
    for (int i = 0; i < 2; ++i) frames << test::patterned(10 + i, 4 + i, QImage::Format_Indexed8);
    ASSERT_TRUE(test::saveMultiPageWithFreeImage(frames, FIF_GIF, dir.file("two.gif")));
    const QByteArray data = test::readAll(dir.file("two.gif"));
    QSize screen, frame;
    ASSERT_TRUE(imagebox::gifFrameSize(data, 1, &screen, &frame));
    EXPECT_EQ(frame, QSize(11, 5));
    EXPECT_FALSE(imagebox::gifFrameSize(data, 2, &screen, &frame));
    EXPECT_FALSE(imagebox::gifFrameSize(data.left(40), 1, &screen, &frame));
    EXPECT_FALSE(imagebox::gifFrameSize("GIF8", 0, &screen, &frame));
}

namespace {
// A flat, uncompressed PSD built by hand: header, optional palette, no resources, planar data.
QByteArray rawPsd(quint16 mode, quint16 depth, quint16 channels, int w, int h, const QByteArray& planes,
                  const QByteArray& colorData = {})
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.writeRawData("8BPS", 4);
    s << quint16(1) << quint32(0) << quint16(0) << channels << quint32(h) << quint32(w) << depth << mode;
    s << quint32(colorData.size());
    s.writeRawData(colorData.constData(), int(colorData.size()));
    s << quint32(0) << quint32(0) << quint16(0);
    s.writeRawData(planes.constData(), int(planes.size()));
    return out;
}
} // namespace

TEST(ImageBoxLoad, PsdColourModesAndDamage)
{
    test::TempFolder dir;
    ImageDocument doc;
    // CMYK, stored inverted (255 = no ink): white, and full cyan at half black.
    doc.LoadFromFile(dir.write("cmyk.psd", rawPsd(4, 8, 4, 2, 1, QByteArray("\xff\x00" "\xff\xff" "\xff\xff" "\xff\x80", 8))));
    ASSERT_FALSE(doc.LoadFailed());
    EXPECT_EQ(doc.PixelColor(0, 0), rgb(255, 255, 255));
    EXPECT_EQ(doc.PixelColor(1, 0), rgb(0, 128, 128));
    // 16-bit RGB with an extra channel: the high bytes of the first three.
    doc.LoadFromFile(dir.write("rgb16.psd", rawPsd(3, 16, 4, 1, 1, QByteArray("\x10\x01" "\x20\x02" "\x30\x03" "\x99\x99", 8))));
    EXPECT_EQ(doc.PixelColor(0, 0), rgb(0x10, 0x20, 0x30));
    // Bitmap mode: a set bit is black, and the page stays 1-bit.
    doc.LoadFromFile(dir.write("bits.psd", rawPsd(0, 1, 1, 10, 1, QByteArray("\x80\x40", 2))));
    EXPECT_EQ(doc.BitsPerPixel(), 1);
    EXPECT_EQ(doc.PixelColor(0, 0), rgb(0, 0, 0));
    EXPECT_EQ(doc.PixelColor(1, 0), rgb(255, 255, 255));
    EXPECT_EQ(doc.PixelColor(9, 0), rgb(0, 0, 0));
    // Indexed, with its palette in the colour mode data.
    QByteArray palette(768, '\0');
    palette[5] = char(200);        // red of entry 5
    palette[256 + 5] = char(100);  // green
    palette[512 + 5] = char(50);   // blue
    doc.LoadFromFile(dir.write("pal.psd", rawPsd(2, 8, 1, 1, 1, QByteArray("\x05", 1), palette)));
    EXPECT_EQ(doc.BitsPerPixel(), 8);
    EXPECT_EQ(doc.PixelColor(0, 0), rgb(200, 100, 50));

    // Grey stays 8-bit grey.
    doc.LoadFromFile(dir.write("grey.psd", rawPsd(1, 8, 1, 3, 1, QByteArray("\x00\x80\xff", 3))));
    EXPECT_EQ(doc.BitsPerPixel(), 8);
    EXPECT_EQ(doc.PixelColor(1, 0), rgb(128, 128, 128));

    // Damage: run lengths that do not add up, data cut short, an unknown mode, a header that lies.
    // (FreeImage's writer compresses with runs.)
    ASSERT_TRUE(test::saveWithFreeImage(test::patterned(30, 20), FIF_PSD, dir.file("rle.psd")));
    QByteArray rle = test::readAll(dir.file("rle.psd"));
    const int countsAt = rle.indexOf(QByteArray("\x00\x01", 2), 26 + 4 + 4 + 54 + 4) + 2; // after compression 1
    ASSERT_GT(countsAt, 2);
    QByteArray zeroCounts = rle;
    for (int i = 0; i < 3 * 20 * 2; ++i) zeroCounts[countsAt + i] = 0;
    expectFails(doc, dir.write("zero-counts.psd", zeroCounts));
    QByteArray hugeCounts = rle;
    hugeCounts[countsAt + 10] = char(0xFF);
    expectFails(doc, dir.write("huge-count.psd", hugeCounts));
    expectFails(doc, dir.write("cut.psd", rle.left(rle.size() - 40)));
    expectFails(doc, dir.write("lab.psd", rawPsd(9, 8, 3, 1, 1, QByteArray(3, '\0'))));
    expectFails(doc, dir.write("short.psd", rawPsd(3, 8, 3, 100, 100, QByteArray(30, '\0'))));
    expectFails(doc, dir.write("nochannels.psd", rawPsd(3, 8, 1, 1, 1, QByteArray(3, '\0'))));
}
