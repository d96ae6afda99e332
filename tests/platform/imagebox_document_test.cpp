#include "support/imagebox_testutil.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_geometry.h"

#include <QVariant>
#include <gtest/gtest.h>

using namespace tf;

TEST(ImageBoxSnapshots, RestoreIsBitExactAndOnlyFormatSevenExists)
{
    ImageDocument doc;
    for (QImage::Format f : {QImage::Format_Mono, QImage::Format_Indexed8, QImage::Format_RGB888, QImage::Format_ARGB32}) {
        const QImage original = test::patterned(23, 9, f);
        doc.setPicture(original);
        // Snapshots ride in a QVariant where the program keeps them in Variants.
        const QVariant held = QVariant::fromValue(doc.SaveToVariant(7));
        QImage edited = doc.Picture(); // overwritten in place, then put back: the snapshot stays
        edited.fill(0);
        edited.setDotsPerMeterX(1000);
        doc.setPicture(edited);
        doc.LoadFromVariant(7, held.value<ImageSnapshot>());
        const QImage& back = doc.image();
        EXPECT_TRUE(back.format() == f && back == original && back.colorTable() == original.colorTable()) << int(f);
        EXPECT_EQ(back.dotsPerMeterX(), 11811);
        EXPECT_EQ(back.dotsPerMeterY(), 7874);
    }
    const ImageSnapshot snap = doc.SaveToVariant(7);
    for (int code : {0, 6, 8}) {
        EXPECT_THROW(doc.SaveToVariant(code), ImageBoxError);
        EXPECT_EQ(test::imageBoxErrorOf([&] { doc.LoadFromVariant(code, ImageSnapshot{}); }),
                  imagebox_error::kInvalidArgument) << code;
        EXPECT_TRUE(doc.HasImage()); // nothing changed
    }
    doc.LoadFromVariant(7, ImageDocument().SaveToVariant(7)); // an empty control's snapshot
    EXPECT_FALSE(doc.HasImage());
}

TEST(ImageBoxDocument, PropertiesAndPixelColour)
{
    ImageDocument doc;
    doc.setBackgroundColor(static_cast<OleColor>(0x80000005u));
    EXPECT_EQ(doc.BackgroundColor(), static_cast<OleColor>(0x80000005u)) << "a system colour stays as given";
    doc.setTag("/pictures/scan.tif");
    EXPECT_EQ(doc.PixelColor(0, 0), 0);

    QImage img(4, 3, QImage::Format_RGB888);
    img.fill(QColor(10, 20, 30));
    img.setPixel(3, 2, qRgb(255, 0, 0));
    doc.setPicture(img);
    EXPECT_EQ(doc.PixelColor(1, 1), rgb(10, 20, 30));
    EXPECT_EQ(doc.PixelColor(3, 2), 0x0000FF); // red is the low byte
    EXPECT_EQ(doc.PixelColor(4, 3), 0x0000FF); // a pointer just past the edge reads the edge
    doc.Clear();
    EXPECT_EQ(doc.ImageWidth(), 0);
    EXPECT_EQ(doc.Tag(), "/pictures/scan.tif"); // Clear drops the picture only
}

TEST(ImageBoxGeometry, FitKeepsTheAspectNeverEnlargesAndIsStable)
{
    EXPECT_EQ(fitSize({400, 100}, {40, 40}), QSize(40, 10));
    EXPECT_EQ(displayOrigin({40, 10}, {40, 40}, {}), QPoint(0, 15));
    EXPECT_EQ(fitSize({100, 400}, {40, 40}), QSize(10, 40));
    EXPECT_EQ(fitSize({30, 20}, {40, 40}), QSize(30, 20));  // never enlarged
    EXPECT_EQ(fitSize({10000, 1}, {50, 50}), QSize(50, 1)); // never below one pixel
    EXPECT_EQ(fitSize({200, 100}, {0, 50}), QSize(1, 1));   // a collapsed control still draws
    EXPECT_EQ(zoomedSize({5, 3}, 50), QSize(2, 2));         // 2.5 and 1.5 round to even

    // A control resized to its display size must not shrink its picture by a pixel.
    for (int w = 7; w < 1500; w += 37)
        for (int h = 5; h < 900; h += 41)
            for (QSize box : {QSize(150, 150), QSize(97, 61), QSize(640, 480), QSize(33, 400)}) {
                const QSize fit = fitSize({w, h}, box);
                ASSERT_TRUE(fit.width() <= box.width() && fit.height() <= box.height());
                ASSERT_EQ(fitSize({w, h}, fit), fit) << w << "x" << h << " in " << box.width() << "x" << box.height();
            }
}
