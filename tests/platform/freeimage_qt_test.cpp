#include "platform/imagebox/freeimage_qt.h"

#include <FreeImage.h>
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
