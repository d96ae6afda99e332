#include "platform/imagebox/freeimage_qt.h"
#include "support/testenv.h"

#include <FreeImage.h>
#include <QBuffer>
#include <gtest/gtest.h>

using namespace tf;

namespace {
QImage sample(QImage::Format format)
{
    QImage img(37, 11, QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) img.setPixel(x, y, qRgba(x * 6, y * 20, 255 - x * 6, 255));
    img.setDotsPerMeterX(11811); // 300 dpi
    img.setDotsPerMeterY(7874);  // 200 dpi
    return img.convertToFormat(format, Qt::ThresholdDither);
}
} // namespace

TEST(FreeImageBridge, RoundTripKeepsDepthPixelsAndResolution)
{
    for (QImage::Format f : {QImage::Format_Mono, QImage::Format_Indexed8, QImage::Format_RGB888, QImage::Format_ARGB32}) {
        const QImage in = sample(f);
        FIBITMAP* bmp = freeImageFromQImage(in);
        ASSERT_NE(bmp, nullptr);
        const QImage out = qimageFromFreeImage(bmp);
        FreeImage_Unload(bmp);
        EXPECT_EQ(out.format(), f) << int(f);
        EXPECT_EQ(out.size(), in.size());
        EXPECT_EQ(out.dotsPerMeterX(), 11811);
        EXPECT_EQ(out.dotsPerMeterY(), 7874);
        for (int y = 0; y < in.height(); ++y)
            for (int x = 0; x < in.width(); ++x) ASSERT_EQ(out.pixel(x, y), in.pixel(x, y)) << x << "," << y << " format " << int(f);
    }
}

TEST(FreeImageBridge, GreyscaleBecomesAnEightBitGreyPalette)
{
    const QImage grey = sample(QImage::Format_Grayscale8);
    FIBITMAP* bmp = freeImageFromQImage(grey);
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(bmp), 8u);
    EXPECT_EQ(FreeImage_GetColorType(bmp), FIC_MINISBLACK);
    FreeImage_Unload(bmp);
}

TEST(FreeImageBridge, MultipageTiffPagesAndBadInput)
{
    test::TempFolder dir;
    const QString path = dir.file("three.tif");
    ensureFreeImage();
    FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(FIF_TIFF, path.toUtf8().constData(), TRUE, FALSE, TRUE, 0);
    ASSERT_NE(multi, nullptr);
    for (int i = 0; i < 3; ++i) {
        QImage page(10 + i, 5, QImage::Format_RGB888);
        page.fill(QColor(i * 100, 0, 0));
        FIBITMAP* bmp = freeImageFromQImage(page);
        FreeImage_AppendPage(multi, bmp);
        FreeImage_Unload(bmp);
    }
    FreeImage_CloseMultiBitmap(multi, 0);

    EXPECT_EQ(freeImagePageCount(path), 3);
    for (int i = 0; i < 3; ++i) {
        const QImage page = loadWithFreeImage(path, i);
        ASSERT_FALSE(page.isNull());
        EXPECT_EQ(page.width(), 10 + i);
        EXPECT_EQ(QColor(page.pixel(0, 0)).red(), i * 100);
    }
    EXPECT_TRUE(loadWithFreeImage(path, 3).isNull());
    EXPECT_TRUE(loadWithFreeImage(path, -1).isNull());
    EXPECT_FALSE(loadWithFreeImage(test::readAll(path), 2).isNull());

    EXPECT_TRUE(loadWithFreeImage(dir.write("empty.jpg", QByteArray())).isNull());
    EXPECT_TRUE(loadWithFreeImage(dir.write("junk.png", QByteArray("\x89PNG\r\n\x1a\n garbage", 17))).isNull());
    EXPECT_TRUE(loadWithFreeImage(QByteArray()).isNull());
    EXPECT_EQ(freeImagePageCount(dir.file("missing.tif")), 0);
}
