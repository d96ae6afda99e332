#include "support/imagebox_testutil.h"
#include "platform/imagebox/imagebox_codecs.h"
#include "platform/imagebox/imagebox_document.h"
#include "support/testenv.h"
#include "platform/sys/blockingcalls.h"

#include <FreeImage.h>
#include <IL/il.h>
#include <QBuffer>
#include <QDataStream>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>

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

class ImageBoxLoad : public testing::Test {
    // Decodes on the test's own thread on purpose: what is tested is the call itself.
    tf::BlockingCallsAllowed m_blockingHere;
protected:
    test::TempFolder dir;
    ImageDocument doc;
};

TEST_F(ImageBoxLoad, EveryFormatLoadsWhateverTheCaseOfItsExtension)
{
    const QImage pic = test::patterned(31, 17);

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

TEST_F(ImageBoxLoad, PagesOfMultipageFiles)
{
    QList<QImage> pages;
    for (int i = 0; i < 3; ++i) {
        QImage p(20 + i, 10 + 2 * i, QImage::Format_RGB888);
        p.fill(QColor(60 * (i + 1), 10, 200 - 50 * i));
        pages << p;
    }
    ASSERT_TRUE(test::saveMultiPageWithFreeImage(pages, FIF_TIFF, dir.file("three.tif")));
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
    // Every frame is shown on the GIF's logical screen, which FreeImage makes the first frame's size.
    expectLoads(doc, dir.file("anim.gif"), pages[0].size());

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

TEST_F(ImageBoxLoad, BadFilesSetLoadFailedAndEmptyTheControl)
{
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
        dir.file("pipe.jpg"), // a pipe nobody writes to: opening it would wait forever
        dir.path(),
        QString(),
    };
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.file("pipe.jpg")).constData(), 0600), 0);
    for (const QString& path : bad) {
        doc.setPageIndex(1);
        expectLoads(doc, good, QSize(8, 8)); // a good load clears the flag
        expectFails(doc, path); // and the previous picture is gone, not saved again by mistake
    }
}

TEST_F(ImageBoxLoad, HostileSizesAreRefusedBeforeAllocating)
{
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

TEST_F(ImageBoxLoad, PsdColourModesAndDamage)
{
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
    palette[5] = char(200), palette[256 + 5] = char(100), palette[512 + 5] = char(50); // entry 5: r, g, b
    doc.LoadFromFile(dir.write("pal.psd", rawPsd(2, 8, 1, 1, 1, QByteArray("\x05", 1), palette)));
    EXPECT_EQ(doc.BitsPerPixel(), 8);
    EXPECT_EQ(doc.PixelColor(0, 0), rgb(200, 100, 50));

    // Grey stays 8-bit grey.
    doc.LoadFromFile(dir.write("grey.psd", rawPsd(1, 8, 1, 3, 1, QByteArray("\x00\x80\xff", 3))));
    EXPECT_EQ(doc.BitsPerPixel(), 8);
    EXPECT_EQ(doc.PixelColor(1, 0), rgb(128, 128, 128));

    // Damage: bad run lengths (FreeImage writes runs), data cut short, unknown mode, lying header.
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

namespace {
// An uncompressed Targa built by hand: no ID, no colour map, pixels exactly as given.
QByteArray rawTga(quint8 type, quint8 depth, quint8 descriptor, int w, int h, const QByteArray& pixels)
{
    QByteArray out(18, '\0');
    out[2] = char(type);
    qToLittleEndian<quint16>(quint16(w), out.data() + 12);
    qToLittleEndian<quint16>(quint16(h), out.data() + 14);
    out[16] = char(depth);
    out[17] = char(descriptor);
    return out + pixels;
}
} // namespace

TEST_F(ImageBoxLoad, TargaAndPcxVariantsAndDamage)
{
    const QImage pic = test::patterned(29, 13);
    QImage withAlpha = pic.convertToFormat(QImage::Format_ARGB32);
    withAlpha.setPixel(3, 4, qRgba(10, 20, 30, 40));
    const QImage palette = pic.convertToFormat(QImage::Format_Indexed8);

    // FreeImage writes them; the control must read the same pixels back.
    const struct { const char* name; QImage image; int flags; } written[] = {
        {"plain.tga", pic, 0},       {"runs.tga", pic, TARGA_SAVE_RLE},
        {"alpha.tga", withAlpha, 0}, {"alpharuns.tga", withAlpha, TARGA_SAVE_RLE},
        {"mapped.tga", palette, 0},  {"mappedruns.tga", palette, TARGA_SAVE_RLE}};
    for (const auto& w : written) {
        ASSERT_TRUE(test::saveWithFreeImage(w.image, FIF_TARGA, dir.file(w.name), w.flags)) << w.name;
        expectLoads(doc, dir.file(w.name), pic.size());
        EXPECT_EQ(test::firstDifference(doc.image(), w.image), "") << w.name;
        if (w.image.hasAlphaChannel()) {
            EXPECT_EQ(qAlpha(doc.image().pixel(3, 4)), 40) << w.name;
        }
        if (w.image.format() == QImage::Format_Indexed8) {
            EXPECT_EQ(doc.BitsPerPixel(), 8) << w.name;
        }

        // Cut anywhere before its last pixel, it fails; it never comes back padded.
        const QByteArray bytes = test::readAll(dir.file(w.name));
        const qsizetype end = QByteArray(w.name).startsWith("mapped") ? bytes.size() - 26 : bytes.size() - 26 - 1;
        for (qsizetype n = 0; n < end; n += std::max<qsizetype>(1, end / 60)) {
            doc.LoadFromFile(dir.write("cut.tga", bytes.left(n)));
            ASSERT_TRUE(doc.LoadFailed()) << w.name << " cut at " << n;
        }
    }

    // Grey top down, 16-bit right to left, 32-bit whose padding byte must not mean transparent.
    doc.LoadFromFile(dir.write("grey.tga", rawTga(3, 8, 0x20, 3, 2, QByteArray("\x00\x40\x80\xc0\xe0\xff", 6))));
    EXPECT_EQ(doc.BitsPerPixel(), 8);
    EXPECT_EQ(doc.PixelColor(1, 0), rgb(0x40, 0x40, 0x40));
    EXPECT_EQ(doc.PixelColor(2, 1), rgb(255, 255, 255));
    doc.LoadFromFile(dir.write("555.tga", rawTga(2, 16, 0x30, 2, 1, QByteArray("\x00\x7c\x1f\x00", 4))));
    EXPECT_EQ(doc.PixelColor(0, 0), rgb(0, 0, 255)); // stored second, shown first
    EXPECT_EQ(doc.PixelColor(1, 0), rgb(255, 0, 0));
    doc.LoadFromFile(dir.write("pad.tga", rawTga(2, 32, 0x00, 1, 2, QByteArray("\x01\x02\x03\x00\x04\x05\x06\x00", 8))));
    EXPECT_EQ(qAlpha(doc.image().pixel(0, 0)), 255);
    EXPECT_EQ(doc.PixelColor(0, 1), rgb(3, 2, 1)); // bottom row first
    EXPECT_EQ(doc.BitsPerPixel(), 24);

    // Damage: a run packet without its pixel, unknown types, no pixels, a header that lies.
    expectFails(doc, dir.write("runcut.tga", rawTga(10, 24, 0, 4, 1, QByteArray("\x83", 1))));
    expectFails(doc, dir.write("type7.tga", rawTga(7, 24, 0, 1, 1, QByteArray(3, '\0'))));
    expectFails(doc, dir.write("zero.tga", rawTga(2, 24, 0, 0, 5, QByteArray())));
    expectFails(doc, dir.write("depth.tga", rawTga(2, 13, 0, 1, 1, QByteArray(3, '\0'))));
    expectFails(doc, dir.write("huge.tga", rawTga(10, 32, 0, 65535, 65535, QByteArray("\xff\0\0\0\0", 5))));

    // PCX: our writer's 1-bit and 256-colour files, and a 16-colour file of four bit planes.
    const QImage mono = test::patterned(21, 5, QImage::Format_Mono);
    for (const QImage& image : {mono, palette}) {
        doc.setPicture(image);
        doc.SaveToFile(dir.file("again.pcx"));
        expectLoads(doc, dir.file("again.pcx"), image.size());
        EXPECT_EQ(test::firstDifference(doc.image(), image), "");
        EXPECT_EQ(doc.BitsPerPixel(), image.depth());
        EXPECT_EQ(doc.image().dotsPerMeterX(), 11811);
        const QByteArray bytes = test::readAll(dir.file("again.pcx"));
        for (qsizetype n = 0; n < bytes.size() - 770; n += 13) {
            doc.LoadFromFile(dir.write("cut.pcx", bytes.left(n)));
            ASSERT_TRUE(doc.LoadFailed()) << image.depth() << " cut at " << n;
        }
    }
    QByteArray planar(128, '\0');
    planar[0] = 0x0A, planar[1] = 5, planar[2] = 1, planar[3] = 1, planar[8] = 7, planar[65] = 4, planar[66] = 2;
    planar[16 + 3 * 5] = char(0xAA), planar[16 + 3 * 5 + 2] = char(0x55); // colour 5
    planar += QByteArray("\x80\x00" "\x00\x00" "\x80\x00" "\x00\x00", 8); // planes 0 and 2 set at x = 0
    expectLoads(doc, dir.write("ega.pcx", planar), QSize(8, 1));
    EXPECT_EQ(doc.PixelColor(0, 0), rgb(0xAA, 0, 0x55));
    EXPECT_EQ(doc.PixelColor(1, 0), rgb(0, 0, 0));
    QByteArray overrun = planar.left(128) + QByteArray("\xff\x01", 2); // a run longer than the picture
    expectLoads(doc, dir.write("overrun.pcx", overrun), QSize(8, 1));
    QByteArray lying = planar.left(128);
    lying[8] = char(0xff), lying[9] = char(0xff), lying[10] = char(0xff), lying[11] = char(0xff);
    lying[66] = char(0xff), lying[67] = char(0xff);
    expectFails(doc, dir.write("lying.pcx", lying + QByteArray("\xff\x00", 2)));
}

namespace {
// A BMP with a 40-byte header; `pixels` as stored, bottom row first.
QByteArray bmpFile(int w, int h, int bits, quint32 compression, const QByteArray& palette, const QByteArray& pixels)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    const quint32 offset = 14 + 40 + quint32(palette.size());
    s << quint16(0x4D42) << quint32(offset + pixels.size()) << quint32(0) << offset;
    s << quint32(40) << qint32(w) << qint32(h) << quint16(1) << quint16(bits) << compression << quint32(pixels.size())
      << qint32(3780) << qint32(3780) << quint32(palette.size() / 4) << quint32(0);
    s.writeRawData(palette.constData(), int(palette.size()));
    s.writeRawData(pixels.constData(), int(pixels.size()));
    return out;
}
} // namespace

TEST_F(ImageBoxLoad, RunLengthAndThirtyTwoBitBmps)
{
    // 8-bit run-length: per row a run of 3 of colour 1 and 1 of colour 2, then the end marks.
    QByteArray grey;
    for (int i = 0; i < 256; ++i) grey += QByteArray(3, char(i * 50 % 256)) + QByteArray(1, '\0');
    QByteArray runs;
    for (int y = 0; y < 2; ++y) runs += QByteArray("\x03\x01\x01\x02\x00\x00", 6);
    runs += QByteArray("\x00\x01", 2);
    const QString rle = dir.write("paint.bmp", bmpFile(4, 2, 8, 1, grey, runs));
    expectLoads(doc, rle, QSize(4, 2));
    EXPECT_EQ(doc.BitsPerPixel(), 8);
    EXPECT_EQ(doc.PixelColor(2, 0), rgb(50, 50, 50));
    EXPECT_EQ(doc.PixelColor(3, 1), rgb(100, 100, 100));
    expectFails(doc, dir.write("cut.bmp", test::readAll(rle).chopped(5)));

    // 32 bits without a colour mask, the fourth byte left 0: padding, not an invisible picture.
    const QByteArray bgrx("\x30\x20\x10\x00" "\x60\x50\x40\x00", 8);
    expectLoads(doc, dir.write("shot.bmp", bmpFile(2, 1, 32, 0, {}, bgrx)), QSize(2, 1));
    EXPECT_EQ(qAlpha(doc.image().pixel(0, 0)), 255);
    EXPECT_EQ(doc.PixelColor(1, 0), rgb(0x40, 0x50, 0x60));
    EXPECT_EQ(doc.BitsPerPixel(), 24);
    // Where it holds something, it is the alpha our own writer put there.
    QImage glass(2, 1, QImage::Format_ARGB32);
    glass.setPixel(0, 0, qRgba(1, 2, 3, 0));
    glass.setPixel(1, 0, qRgba(4, 5, 6, 128));
    doc.setPicture(glass);
    doc.SaveToFile(dir.file("glass.bmp"));
    expectLoads(doc, dir.file("glass.bmp"), QSize(2, 1));
    EXPECT_EQ(doc.image().pixel(1, 0), qRgba(4, 5, 6, 128));
}

TEST_F(ImageBoxLoad, JpegPagesDecodeAccurately)
{
    // 4:2:0 chroma: a fast decode would differ from the accurate one Qt's reader uses.
    QImage picture(97, 61, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x * 5 % 256, y * 7 % 256, (x * y) % 256));
    const QString path = dir.write("photo.jpg", encodeWithQt(picture, "JPG"));
    expectLoads(doc, path, picture.size());
    const QImage accurate = QImage(path).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(doc.image().convertToFormat(QImage::Format_RGB32), accurate);
}
