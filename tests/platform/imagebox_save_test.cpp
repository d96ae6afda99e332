#include "imagebox_testutil.h"
#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_document.h"
#include "support/testenv.h"

#include <FreeImage.h>
#include <IL/il.h>
#include <QFile>
#include <QImageReader>
#include <gtest/gtest.h>

using namespace tf;

namespace {

QImage readWithQt(const QString& path, QByteArray* format = nullptr)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (format) *format = reader.format();
    return reader.read();
}

// FreeImage's own decoder, without the control's checks in between.
QImage readWithFreeImage(const QString& path, int* bpp = nullptr)
{
    ensureFreeImage();
    const QByteArray name = QFile::encodeName(path);
    FIBITMAP* b = FreeImage_Load(FreeImage_GetFileType(name.constData(), 0), name.constData(), 0);
    if (bpp) *bpp = b ? static_cast<int>(FreeImage_GetBPP(b)) : 0;
    QImage out = qimageFromFreeImage(b);
    if (b) FreeImage_Unload(b);
    return out;
}

QString tiffinfo(const QString& path) { return test::runTool("tiffinfo", {path}); }

} // namespace

TEST(ImageBoxSave, EveryFormatIsReadBackByAnotherReader)
{
    test::TempFolder dir;
    const QImage pic = test::patterned(37, 23);
    ImageDocument doc;
    doc.setPicture(pic);

    doc.SaveToFile(dir.file("out.BMP"));
    EXPECT_EQ(test::firstDifference(readWithQt(dir.file("out.BMP")), pic), "");
    doc.SaveToFile(dir.file("out.png"));
    const QImage png = readWithQt(dir.file("out.png"));
    EXPECT_EQ(test::firstDifference(png, pic), "");
    EXPECT_EQ(png.dotsPerMeterX(), 11811);
    EXPECT_EQ(png.dotsPerMeterY(), 7874);

    QByteArray format;
    doc.SaveToFile(dir.file("out.Jpg"));
    EXPECT_EQ(readWithQt(dir.file("out.Jpg"), &format).size(), pic.size());
    EXPECT_EQ(format, "jpeg");
    doc.SaveToFile(dir.file("out.gif"));
    EXPECT_EQ(readWithQt(dir.file("out.gif"), &format).size(), pic.size());
    EXPECT_EQ(format, "gif");

    doc.SaveToFile(dir.file("out.TIF"));
    const QString info = tiffinfo(dir.file("out.TIF"));
    EXPECT_TRUE(info.contains("Image Width: 37 Image Length: 23")) << info.toStdString();
    EXPECT_TRUE(info.contains("Resolution: 300, 200 pixels/inch")) << info.toStdString();
    EXPECT_EQ(test::firstDifference(readWithFreeImage(dir.file("out.TIF")), pic), "");

    // Our own PSD and PCX writers, and FreeImage's TGA writer, against DevIL and FreeImage.
    for (const char* name : {"out.psd", "out.PCX", "out.tga"}) {
        doc.SaveToFile(dir.file(name));
        EXPECT_EQ(test::firstDifference(test::readWithDevil(test::readAll(dir.file(name))), pic), "") << name;
        EXPECT_EQ(test::firstDifference(readWithFreeImage(dir.file(name)), pic), "") << name;
    }
    const QImage psd = readWithFreeImage(dir.file("out.psd"));
    EXPECT_EQ(psd.dotsPerMeterX(), 11811); // the resolution resource is read back
    EXPECT_EQ(psd.dotsPerMeterY(), 7874);
}

TEST(ImageBoxSave, DepthIsKeptWhereTheFormatAllowsIt)
{
    test::TempFolder dir;
    ImageDocument doc;
    // Black and white with the palette the "wrong" way round: index 0 is white.
    QImage mono = test::patterned(45, 13, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    doc.setPicture(mono);
    doc.SaveToFile(dir.file("fax.tif"));
    const QString info = tiffinfo(dir.file("fax.tif"));
    EXPECT_TRUE(info.contains("Bits/Sample: 1")) << info.toStdString();
    EXPECT_TRUE(info.contains("Image Width: 45 Image Length: 13")) << info.toStdString();

    doc.SaveToFile(dir.file("fax.png"));
    EXPECT_EQ(readWithQt(dir.file("fax.png")).depth(), 1);
    EXPECT_EQ(test::firstDifference(readWithQt(dir.file("fax.png")), mono), "");

    int bpp = 0;
    doc.SaveToFile(dir.file("fax.pcx"));
    EXPECT_EQ(test::firstDifference(readWithFreeImage(dir.file("fax.pcx"), &bpp), mono), "");
    EXPECT_EQ(bpp, 1);
    EXPECT_EQ(test::firstDifference(test::readWithDevil(test::readAll(dir.file("fax.pcx"))), mono), "");

    // A black-and-white page becomes grey, not colour, in a JPEG; Targa takes no 1-bit pictures.
    doc.SaveToFile(dir.file("fax.jpg"));
    EXPECT_TRUE(readWithQt(dir.file("fax.jpg")).isGrayscale());
    doc.SaveToFile(dir.file("fax.tga"));
    EXPECT_EQ(test::firstDifference(test::readWithDevil(test::readAll(dir.file("fax.tga"))), mono), "");

    const QImage indexed = test::patterned(20, 20, QImage::Format_Indexed8);
    doc.setPicture(indexed);
    for (const char* name : {"pal.bmp", "pal.gif", "pal.pcx"}) {
        doc.SaveToFile(dir.file(name));
        EXPECT_EQ(test::firstDifference(readWithFreeImage(dir.file(name), &bpp), indexed), "") << name;
        EXPECT_EQ(bpp, 8) << name;
    }
}

TEST(ImageBoxSave, JpegQualityAndFlattening)
{
    test::TempFolder dir;
    ImageDocument doc;
    doc.setPicture(test::patterned(64, 64));
    doc.SaveJpeg(dir.file("low.jpe"), 10);
    doc.SaveJpeg(dir.file("high.jpe"), 95);
    EXPECT_LT(QFileInfo(dir.file("low.jpe")).size(), QFileInfo(dir.file("high.jpe")).size());
    // SaveJpeg writes a JPEG whatever the name says.
    doc.SaveJpeg(dir.file("odd.tif"));
    EXPECT_TRUE(test::readAll(dir.file("odd.tif")).startsWith("\xFF\xD8"));

    doc.setJpegQuality(10);
    EXPECT_EQ(doc.JpegQuality(), 10);
    doc.SaveToFile(dir.file("prop.jpg"));
    EXPECT_EQ(QFileInfo(dir.file("prop.jpg")).size(), QFileInfo(dir.file("low.jpe")).size());
    EXPECT_THROW(doc.setJpegQuality(0), ImageBoxError);
    EXPECT_THROW(doc.SaveJpeg(dir.file("x.jpg"), 101), ImageBoxError);
    EXPECT_EQ(doc.JpegQuality(), 10);

    // Transparent pixels go onto white where the format has no alpha.
    QImage clear(8, 8, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    doc.setPicture(clear);
    for (const char* name : {"clear.jpg", "clear.psd", "clear.pcx"}) {
        doc.SaveToFile(dir.file(name));
        const QImage back = test::readWithDevil(test::readAll(dir.file(name)));
        ASSERT_FALSE(back.isNull()) << name;
        EXPECT_GE(qGray(back.pixel(4, 4)), 250) << name;
    }
}

TEST(ImageBoxSave, FailuresRaiseOneErrorTypeAndLeaveFilesAlone)
{
    test::TempFolder dir;
    ImageDocument doc;
    const QString existing = dir.write("keep.png", "old contents");

    try {
        doc.SaveToFile(existing); // no image
        FAIL() << "saving an empty control must raise";
    } catch (const ImageBoxError& e) {
        EXPECT_EQ(e.number(), imagebox_error::kInvalidPicture);
    }
    doc.setPicture(test::patterned(4, 4));
    for (const char* name : {"keep.xyz", "keep", "keep.pdf"}) {
        try {
            doc.SaveToFile(dir.file(name));
            FAIL() << name;
        } catch (const ImageBoxError& e) {
            EXPECT_EQ(e.number(), imagebox_error::kInvalidFileFormat);
        }
        EXPECT_FALSE(QFile::exists(dir.file(name)));
    }
    try {
        doc.SaveToFile(dir.file("no/such/folder/x.png"));
        FAIL();
    } catch (const ImageBoxError& e) {
        EXPECT_EQ(e.number(), imagebox_error::kFileAccess);
        EXPECT_TRUE(e.description().contains("x.png"));
    }
    EXPECT_EQ(test::readAll(existing), "old contents");
    doc.SaveToFile(existing);
    EXPECT_EQ(readWithQt(existing).size(), QSize(4, 4));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.png"}); // nothing left beside it
}
