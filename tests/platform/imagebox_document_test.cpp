#include "imagebox_testutil.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_geometry.h"

#include <QVariant>
#include <gtest/gtest.h>

using namespace tf;

namespace {
bool identical(const QImage& a, const QImage& b)
{
    return a.format() == b.format() && a == b && a.colorTable() == b.colorTable() && a.dotsPerMeterX() == b.dotsPerMeterX() &&
           a.dotsPerMeterY() == b.dotsPerMeterY();
}
} // namespace

TEST(ImageBoxSnapshots, RestoreIsBitExactWithResolutionAndUntouchedByLaterEdits)
{
    ImageDocument doc;
    for (QImage::Format f : {QImage::Format_Mono, QImage::Format_Indexed8, QImage::Format_RGB888, QImage::Format_ARGB32}) {
        const QImage original = test::patterned(23, 9, f);
        doc.setPicture(original);
        const ImageSnapshot snap = doc.SaveToVariant(7);
        // Overwrite the control's pixels in place and replace the picture: the snapshot stays.
        QImage edited = doc.Picture();
        edited.fill(0);
        edited.setDotsPerMeterX(1000);
        doc.setPicture(edited);
        doc.LoadFromVariant(7, snap);
        EXPECT_TRUE(identical(doc.image(), original)) << int(f);
        EXPECT_EQ(doc.BitsPerPixel(), f == QImage::Format_Mono ? 1 : f == QImage::Format_Indexed8 ? 8 : f == QImage::Format_RGB888 ? 24 : 32);
    }
    // Snapshots ride in a QVariant where the program keeps them in Variants.
    const QVariant held = QVariant::fromValue(doc.SaveToVariant(7));
    doc.Clear();
    doc.LoadFromVariant(7, held.value<ImageSnapshot>());
    EXPECT_EQ(doc.ImageWidth(), 23);

    // The snapshot of an empty control restores an empty control.
    ImageDocument empty;
    const ImageSnapshot none = empty.SaveToVariant(7);
    EXPECT_TRUE(none.isEmpty());
    doc.LoadFromVariant(7, none);
    EXPECT_FALSE(doc.HasImage());
}

TEST(ImageBoxSnapshots, AnyOtherFormatCodeIsAnErrorAndChangesNothing)
{
    ImageDocument doc;
    doc.setPicture(test::patterned(5, 5));
    const ImageSnapshot snap = doc.SaveToVariant(7);
    doc.setPicture(test::patterned(6, 6));
    for (int code : {0, 6, 8, -7}) {
        EXPECT_THROW(doc.SaveToVariant(code), ImageBoxError) << code;
        try {
            doc.LoadFromVariant(code, snap);
            ADD_FAILURE() << code;
        } catch (const ImageBoxError& e) {
            EXPECT_EQ(e.number(), imagebox_error::kInvalidArgument);
        }
        EXPECT_EQ(doc.ImageWidth(), 6);
    }
}

TEST(ImageBoxDocument, PropertiesReadBackWhatWasSet)
{
    ImageDocument doc;
    doc.setViewOption1(15);
    doc.setViewOption2(1);
    doc.setViewOption3(true);
    doc.setApplicationName("Tavrel Folio");
    doc.setBackgroundColor(static_cast<OleColor>(0x80000005u)); // a system colour stays as given
    doc.setTag("/pictures/scan.tif");
    doc.setPageIndex(0);
    doc.setFitToWindow(true);
    doc.setZoom(37.5);
    EXPECT_EQ(doc.ViewOption1(), 15);
    EXPECT_EQ(doc.ViewOption2(), 1);
    EXPECT_TRUE(doc.ViewOption3());
    EXPECT_EQ(doc.ApplicationName(), "Tavrel Folio");
    EXPECT_EQ(doc.BackgroundColor(), static_cast<OleColor>(0x80000005u));
    EXPECT_EQ(doc.Tag(), "/pictures/scan.tif");
    EXPECT_EQ(doc.PageIndex(), 0);
    EXPECT_TRUE(doc.FitToWindow());
    EXPECT_DOUBLE_EQ(doc.Zoom(), 37.5); // no image: nothing fitted yet

    // Clear drops the picture only.
    doc.setPicture(test::patterned(3, 3));
    doc.Clear();
    EXPECT_FALSE(doc.HasImage());
    EXPECT_EQ(doc.ImageWidth(), 0);
    EXPECT_EQ(doc.BitsPerPixel(), 0);
    EXPECT_EQ(doc.Tag(), "/pictures/scan.tif");

    for (double bad : {0.0, -5.0, 1e6, std::nan("")}) EXPECT_THROW(doc.setZoom(bad), ImageBoxError) << bad;
    EXPECT_DOUBLE_EQ(doc.Zoom(), 37.5);
}

TEST(ImageBoxDocument, PixelColorIsAnOleColourAndClampsToTheEdge)
{
    ImageDocument doc;
    EXPECT_EQ(doc.PixelColor(0, 0), 0);
    QImage img(4, 3, QImage::Format_RGB888);
    img.fill(QColor(10, 20, 30));
    img.setPixel(3, 2, qRgb(255, 0, 0));
    doc.setPicture(img);
    EXPECT_EQ(doc.PixelColor(1, 1), rgb(10, 20, 30));
    EXPECT_EQ(doc.PixelColor(3, 2), 0x0000FF); // red is the low byte
    EXPECT_EQ(doc.PixelColor(4, 3), 0x0000FF); // one past the edge reads the edge
    EXPECT_EQ(doc.PixelColor(-9, 1), rgb(10, 20, 30));

    QImage mono(8, 1, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(1);
    doc.setPicture(mono);
    EXPECT_EQ(doc.PixelColor(2, 0), rgb(255, 255, 255));
}

TEST(ImageBoxGeometry, FitKeepsTheAspectNeverEnlargesAndIsStable)
{
    EXPECT_EQ(fitSize({400, 100}, {40, 40}), QSize(40, 10));
    EXPECT_EQ(fitSize({100, 400}, {40, 40}), QSize(10, 40));
    EXPECT_EQ(fitSize({30, 20}, {40, 40}), QSize(30, 20));       // never enlarged
    EXPECT_EQ(fitSize({30, 20}, {}), QSize(30, 20));             // no window: own size
    EXPECT_EQ(fitSize({10000, 1}, {50, 50}), QSize(50, 1));      // never below one pixel
    EXPECT_EQ(fitSize({0, 10}, {50, 50}), QSize(0, 0));
    EXPECT_EQ(fitSize({200, 100}, {0, 50}), QSize(1, 1));        // a collapsed box still draws

    // Fitting into the fitted size gives the same size back; a control resized to its display
    // size must not shrink its picture by a pixel.
    for (int w = 7; w < 1500; w += 37)
        for (int h = 5; h < 900; h += 41)
            for (QSize box : {QSize(150, 150), QSize(97, 61), QSize(640, 480), QSize(33, 400)}) {
                const QSize fit = fitSize({w, h}, box);
                ASSERT_LE(fit.width(), box.width());
                ASSERT_LE(fit.height(), box.height());
                ASSERT_EQ(fitSize({w, h}, fit), fit) << w << "x" << h << " in " << box.width() << "x" << box.height();
            }

    EXPECT_EQ(zoomedSize({5, 3}, 50), QSize(2, 2)); // 2.5 and 1.5 round to even
    EXPECT_EQ(zoomedSize({400, 100}, 250), QSize(1000, 250));
    EXPECT_EQ(displayOrigin({40, 10}, {40, 40}, {}), QPoint(0, 15));
    EXPECT_EQ(displayOrigin({400, 10}, {40, 40}, {30, 0}), QPoint(-30, 15));
}

TEST(ImageBoxDocument, DisplaySizeFittedHeadlessAndZoomed)
{
    ImageDocument doc;
    doc.setPicture(test::patterned(400, 100));
    doc.setFitToWindow(true);
    EXPECT_EQ(doc.displaySize(), QSize(400, 100)); // no window: every ratio is 1
    EXPECT_DOUBLE_EQ(doc.Zoom(), 100.0);
    doc.setBoxSize({100, 100});
    EXPECT_EQ(doc.DisplayWidth(), 100);
    EXPECT_EQ(doc.DisplayHeight(), 25);
    EXPECT_DOUBLE_EQ(doc.Zoom(), 25.0); // the scale it is shown at
    doc.setFitToWindow(false);
    doc.setZoom(50);
    EXPECT_EQ(doc.displaySize(), QSize(200, 50));
}

TEST(ImageBoxDocument, DrawRectangleTogglesAndNeverTouchesPixels)
{
    ImageDocument doc;
    const QImage original = test::patterned(30, 30);
    doc.setPicture(original);
    doc.DrawRectangle(2, 3, 12, 13);
    doc.DrawRectangle(5, 5, 6, 6);
    EXPECT_EQ(doc.overlayRectangles().size(), 2u);
    doc.DrawRectangle(2, 3, 12, 13);
    ASSERT_EQ(doc.overlayRectangles().size(), 1u);
    EXPECT_EQ(doc.overlayRectangles()[0], (OverlayRectangle{5, 5, 6, 6}));
    EXPECT_TRUE(doc.image() == original);
    // Right and bottom are exclusive, and corners may come in either order.
    EXPECT_EQ((OverlayRectangle{2, 3, 12, 13}).normalized(), QRect(2, 3, 10, 10));
    EXPECT_EQ((OverlayRectangle{12, 13, 2, 3}).normalized(), QRect(2, 3, 10, 10));
    // A new picture starts without outlines.
    doc.setPicture(original);
    EXPECT_TRUE(doc.overlayRectangles().empty());
}
