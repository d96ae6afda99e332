#include "support/imagebox_testutil.h"
#include "platform/imagebox/freeimage_qt.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/sys/blockingcalls.h"
#include "support/testenv.h"

#include <FreeImage.h>
#include <QDir>
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

QImage readWithDevil(const QString& path) { return test::readWithDevil(test::readAll(path)); }

} // namespace

class ImageBoxSave : public testing::Test {
    // Saves on the test's own thread on purpose: what is tested is the call itself.
    tf::BlockingCallsAllowed m_blockingHere;
protected:
    test::TempFolder dir;
    ImageDocument doc;
};

TEST_F(ImageBoxSave, EveryFormatIsReadBackByAnotherReader)
{
    const QImage pic = test::patterned(37, 23);
    doc.setPicture(pic);

    QByteArray format;
    for (const char* name : {"out.BMP", "out.png", "out.Jpg", "out.gif"}) {
        doc.SaveToFile(dir.file(name));
        const QImage back = readWithQt(dir.file(name), &format);
        EXPECT_EQ(back.size(), pic.size()) << name;
        EXPECT_EQ(format, QFileInfo(name).suffix().toLower().replace("jpg", "jpeg")) << name;
        if (format == "bmp" || format == "png") {
            EXPECT_EQ(test::firstDifference(back, pic), "") << name;
        }
    }
    EXPECT_EQ(readWithQt(dir.file("out.png")).dotsPerMeterX(), 11811);

    doc.SaveToFile(dir.file("out.TIF"));
    const QString info = test::runTool("tiffinfo", {dir.file("out.TIF")});
    EXPECT_TRUE(info.contains("Image Width: 37 Image Length: 23")) << info.toStdString();
    EXPECT_TRUE(info.contains("Resolution: 300, 200 pixels/inch")) << info.toStdString();

    // Our own PSD and PCX writers, and FreeImage's Targa writer, against DevIL and FreeImage.
    for (const char* name : {"out.psd", "out.PCX", "out.tga"}) {
        doc.SaveToFile(dir.file(name));
        EXPECT_EQ(test::firstDifference(readWithDevil(dir.file(name)), pic), "") << name;
        EXPECT_EQ(test::firstDifference(readWithFreeImage(dir.file(name)), pic), "") << name;
    }
    EXPECT_EQ(readWithFreeImage(dir.file("out.psd")).dotsPerMeterY(), 7874); // the resolution resource
}

TEST_F(ImageBoxSave, DepthIsKeptWhereTheFormatAllowsIt)
{
    QImage mono = test::patterned(45, 13, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)}); // index 0 is white: the "wrong" way round
    doc.setPicture(mono);
    doc.SaveToFile(dir.file("fax.tif"));
    EXPECT_TRUE(test::runTool("tiffinfo", {dir.file("fax.tif")}).contains("Bits/Sample: 1"));
    int bpp = 0;
    doc.SaveToFile(dir.file("fax.pcx"));
    EXPECT_EQ(test::firstDifference(readWithFreeImage(dir.file("fax.pcx"), &bpp), mono), "");
    EXPECT_EQ(bpp, 1);
    EXPECT_EQ(test::firstDifference(readWithDevil(dir.file("fax.pcx")), mono), "");
    doc.SaveToFile(dir.file("fax.tga")); // Targa takes no 1-bit pictures: 8-bit instead
    EXPECT_EQ(test::firstDifference(readWithDevil(dir.file("fax.tga")), mono), "");
    doc.SaveToFile(dir.file("fax.jpg")); // black and white becomes grey, not colour
    EXPECT_TRUE(readWithQt(dir.file("fax.jpg")).isGrayscale());

    const QImage indexed = test::patterned(20, 20, QImage::Format_Indexed8);
    doc.setPicture(indexed);
    for (const char* name : {"pal.bmp", "pal.gif", "pal.pcx"}) {
        doc.SaveToFile(dir.file(name));
        EXPECT_EQ(test::firstDifference(readWithFreeImage(dir.file(name), &bpp), indexed), "") << name;
        EXPECT_EQ(bpp, 8) << name;
    }
}

TEST_F(ImageBoxSave, JpegQualityAndFlattening)
{
    doc.setPicture(test::patterned(64, 64));
    doc.SaveJpeg(dir.file("low.jpe"), 10);
    doc.SaveJpeg(dir.file("high.jpe"), 95);
    EXPECT_LT(QFileInfo(dir.file("low.jpe")).size(), QFileInfo(dir.file("high.jpe")).size());
    doc.SaveJpeg(dir.file("odd.tif")); // a JPEG whatever the name says
    EXPECT_TRUE(test::readAll(dir.file("odd.tif")).startsWith("\xFF\xD8"));
    doc.setJpegQuality(10);
    doc.SaveToFile(dir.file("prop.jpg"));
    EXPECT_EQ(test::readAll(dir.file("prop.jpg")), test::readAll(dir.file("low.jpe")));
    EXPECT_THROW(doc.setJpegQuality(0), ImageBoxError);
    EXPECT_THROW(doc.SaveJpeg(dir.file("x.jpg"), 101), ImageBoxError);

    QImage clear(8, 8, QImage::Format_ARGB32); // transparent goes onto white without alpha
    clear.fill(Qt::transparent);
    doc.setPicture(clear);
    for (const char* name : {"clear.jpg", "clear.psd", "clear.pcx"}) {
        doc.SaveToFile(dir.file(name));
        EXPECT_GE(qGray(readWithDevil(dir.file(name)).pixel(4, 4)), 250) << name;
    }
}

TEST_F(ImageBoxSave, FailuresRaiseOneErrorTypeAndLeaveFilesAlone)
{
    const QString existing = dir.write("keep.png", "old contents");
    const auto errorOf = [&](const QString& path) {
        return test::imageBoxErrorOf([&] { doc.SaveToFile(path); });
    };
    EXPECT_EQ(errorOf(existing), imagebox_error::kInvalidPicture); // nothing to save
    doc.setPicture(test::patterned(4, 4));
    EXPECT_EQ(errorOf(dir.file("keep.xyz")), imagebox_error::kInvalidFileFormat);
    EXPECT_EQ(errorOf(dir.file("keep")), imagebox_error::kInvalidFileFormat);
    EXPECT_EQ(errorOf(dir.file("no/such/folder/x.png")), imagebox_error::kFileAccess);
    EXPECT_EQ(test::readAll(existing), "old contents");
    doc.SaveToFile(existing);
    EXPECT_EQ(readWithQt(existing).size(), QSize(4, 4));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.png"}); // nothing left beside it
}

TEST(FreeImageBridge, RoundTripKeepsDepthPixelsAndResolution)
{
    for (QImage::Format f : {QImage::Format_Mono, QImage::Format_Indexed8, QImage::Format_RGB888, QImage::Format_ARGB32}) {
        const QImage in = test::patterned(37, 11, f);
        FIBITMAP* bmp = freeImageFromQImage(in);
        ASSERT_NE(bmp, nullptr);
        const QImage out = qimageFromFreeImage(bmp);
        FreeImage_Unload(bmp);
        EXPECT_EQ(out.format(), f) << int(f);
        EXPECT_TRUE(out == in) << int(f);
        EXPECT_EQ(out.dotsPerMeterX(), 11811);
        EXPECT_EQ(out.dotsPerMeterY(), 7874);
    }
    // Grey becomes an 8-bit grey palette.
    FIBITMAP* bmp = freeImageFromQImage(test::patterned(37, 11, QImage::Format_Grayscale8));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(bmp), 8u);
    EXPECT_EQ(FreeImage_GetColorType(bmp), FIC_MINISBLACK);
    FreeImage_Unload(bmp);
}
