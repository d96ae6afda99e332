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

    const QImage palette = pic.convertToFormat(QImage::Format_Indexed8);
    dir.write("PHOTO.JPG", encodeWithQt(pic, "JPG"));
    dir.write("PLAIN.BMP", encodeWithQt(pic, "BMP"));
    dir.write("Shot.Png", encodeWithQt(pic, "PNG"));
    ASSERT_TRUE(test::saveWithFreeImage(palette, FIF_GIF, dir.file("ANIM.GIF")));
    ASSERT_TRUE(test::saveWithFreeImage(pic, FIF_TIFF, dir.file("SCAN.TIF")));
    ASSERT_TRUE(test::saveWithFreeImage(pic, FIF_TARGA, dir.file("x.TGA")));
    ASSERT_TRUE(test::saveWithFreeImage(pic, FIF_PSD, dir.file("layered.PSD"))); // run-length compressed
    ASSERT_TRUE(test::saveWithDevil(pic, IL_PCX, dir.file("PAINT.PCX")));
    for (const char* name : {"PHOTO.JPG", "PLAIN.BMP", "Shot.Png", "ANIM.GIF", "SCAN.TIF", "x.TGA", "layered.PSD", "PAINT.PCX"}) {
        expectLoads(doc, dir.file(name), pic.size());
        const QByteArray n(name);
        if (!n.endsWith("JPG")) {
            EXPECT_EQ(test::firstDifference(doc.image(), n.endsWith("GIF") ? palette : pic), "") << name;
        }
    }
    doc.LoadFromFile(dir.file("SCAN.TIF"));
    EXPECT_EQ(doc.image().dotsPerMeterX(), 11811); // the resolution travels with the pixels
    EXPECT_EQ(doc.image().dotsPerMeterY(), 7874);

    // Content decides, not the name: a PNG called .dat still loads.
    expectLoads(doc, dir.write("misnamed.dat", encodeWithQt(pic, "PNG")), pic.size());

    // 1-bit and 8-bit pages stay what they are.
    const QImage mono = test::patterned(40, 9, QImage::Format_Mono);
    ASSERT_TRUE(test::saveWithFreeImage(mono, FIF_TIFF, dir.file("fax.tif")));
    expectLoads(doc, dir.file("fax.tif"), mono.size());
    EXPECT_EQ(doc.BitsPerPixel(), 1);
    EXPECT_EQ(test::firstDifference(doc.image(), mono), "");
    const QImage grey = test::patterned(12, 12, QImage::Format_Grayscale8);
    ASSERT_TRUE(test::saveWithFreeImage(grey, FIF_PNG, dir.file("grey.png")));
    expectLoads(doc, dir.file("grey.png"), grey.size());
    EXPECT_EQ(doc.BitsPerPixel(), 8);
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
    doc.setPageIndex(2); // a single-page file has only page 1
    ASSERT_TRUE(test::saveWithFreeImage(pages[0], FIF_PNG, dir.file("one.png")));
    EXPECT_EQ(doc.PageCount(dir.file("one.png")), 1);
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
    QByteArray bmp;
    QDataStream s(&bmp, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << quint16(0x4D42) << quint32(54) << quint32(0) << quint32(54) << quint32(40) << qint32(60000) << qint32(60000)
      << quint16(1) << quint16(24) << quint32(0) << quint32(0) << quint64(0) << quint64(0);
    expectFails(doc, dir.write("huge.bmp", bmp));

    // A GIF whose one frame claims 65535 x 65535.
    QByteArray gif("GIF89a\xff\xff\xff\xff\x00\x00\x00", 13);
    gif += QByteArray("\x2c\0\0\0\0\xff\xff\xff\xff\x00\x02\x02\x44\x01\x00\x3b", 16);
    expectFails(doc, dir.write("huge.gif", gif));

    EXPECT_FALSE(imagebox::sizeAllowed(70000, 70000, 1));
    EXPECT_TRUE(imagebox::sizeAllowed(10000, 10000, 32));
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
