#include "support/imagebox_testutil.h"
#include "editing/ImageBoxEditing.h"
#include "editing/ImageOperations.h"
#include "editing/PictureStore.h"
#include "editing_testutil.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_error.h"

#include <QFontMetrics>
#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>

using namespace tf;
using namespace tf::editops;
using test::gradient;
using test::solid;

namespace {
const OleColor kRed = rgb(255, 0, 0);
using Call = std::function<void(ImageDocument&)>;
} // namespace

TEST(EditOperations, FlipAndRotate)
{
    const QImage in = gradient(3, 2);
    const std::tuple<QImage, QSize, QPoint> cases[] = { // the result, its size, where the top-left pixel went
        {Flip(in, 0), {3, 2}, {2, 0}},
        {Flip(in, 1), {3, 2}, {0, 1}},
        {Flip(in, 2), {3, 2}, {0, 1}},
        {Rotate(in, {90, true, kRed}), {2, 3}, {1, 0}}, // positive is clockwise
        {Rotate(in, {-90, true, kRed}), {2, 3}, {0, 2}},
        {Rotate(in, {180, false, kRed}), {3, 2}, {2, 1}},
        {Rotate(in, {450, false, kRed}), {2, 3}, {1, 0}},
    };
    for (const auto& [out, size, where] : cases) {
        EXPECT_EQ(out.size(), size);
        EXPECT_EQ(out.pixel(where), in.pixel(0, 0)) << where.x() << "," << where.y();
    }
    // Flipping twice gives the picture back.
    EXPECT_EQ(Flip(Flip(in, 0), 0), in.convertToFormat(QImage::Format_RGB32));

    // A free rotation grows the canvas in the background colour.
    const QImage out = Rotate(solid(10, 10, Qt::blue), {45, true, kRed});
    EXPECT_EQ(out.size(), QSize(14, 14)); // 14.14 rounded
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(7, 7), qRgb(0, 0, 255));
    EXPECT_EQ(test::imageBoxErrorOf([] { Rotate(solid(2, 2, Qt::blue), {std::nan(""), false, 0}); }), imagebox_error::kInvalidArgument);
}

TEST(EditOperations, ResizeAndScaleSizes)
{
    const QImage in = solid(5, 3, Qt::green);
    EXPECT_EQ(Resize(in, 8, 2).size(), QSize(8, 2));
    EXPECT_EQ(Resize(in, 8, 2).pixel(4, 1), qRgb(0, 255, 0));
    EXPECT_EQ(Scale(in, 50).size(), QSize(2, 2)); // 2.5 and 1.5, halves to even
    EXPECT_EQ(Scale(in, 1).size(), QSize(1, 1));
    EXPECT_EQ(Scale(in, 300).size(), QSize(15, 9));
    for (auto bad : std::vector<std::function<void()>>{[&] { Scale(in, 0); }, [&] { Scale(in, -5); }, [&] { Resize(in, 0, 4); },
                                                       [&] { Resize(in, 4, -1); }})
        EXPECT_EQ(test::imageBoxErrorOf(bad), imagebox_error::kInvalidArgument);
    EXPECT_EQ(test::imageBoxErrorOf([&] { Resize(in, 100000, 100000); }), imagebox_error::kTooLarge);
}

TEST(EditOperations, BlurSpreadsOverTheLevelsRadius)
{
    QImage dot = solid(9, 9, Qt::black);
    dot.setPixel(4, 4, qRgb(255, 255, 255));
    const QImage one = Blur(dot, 1);
    EXPECT_EQ(qRed(one.pixel(3, 3)), 28); // 255 / 9
    EXPECT_EQ(qRed(one.pixel(4, 5)), 28);
    EXPECT_EQ(qRed(one.pixel(2, 4)), 0);
    const QImage two = Blur(dot, 2);
    EXPECT_EQ(qRed(two.pixel(2, 2)), 10); // 255 / 25
    EXPECT_EQ(qRed(two.pixel(1, 4)), 0);
    EXPECT_EQ(Blur(dot, 0), dot);
    const QImage flat = solid(6, 4, QColor(10, 200, 30));
    EXPECT_EQ(Blur(flat, 3), flat); // edges repeat, so a flat picture stays flat
}

TEST(EditOperations, SharpenSteepensEdgesAndLeavesFlatAreas)
{
    QImage step = solid(8, 3, QColor(100, 100, 100));
    for (int y = 0; y < 3; ++y)
        for (int x = 4; x < 8; ++x) step.setPixel(x, y, qRgb(160, 160, 160));
    const QImage out = Sharpen(step, 5);
    EXPECT_LT(qRed(out.pixel(3, 1)), 100);
    EXPECT_GT(qRed(out.pixel(4, 1)), 160);
    EXPECT_EQ(qRed(out.pixel(0, 1)), 100);
    EXPECT_EQ(qRed(out.pixel(7, 1)), 160);
    EXPECT_EQ(Sharpen(step, 0), step);
}

TEST(EditOperations, ContrastAndBrightnessLevels)
{
    const QImage in = solid(1, 1, QColor(64, 100, 192));
    const std::pair<QImage, QRgb> cases[] = {
        {Contrast(in, 50, {}), qRgb(64, 100, 192)},
        {Contrast(in, 0, {}), qRgb(128, 128, 128)},
        {Contrast(in, 100, {}), qRgb(0, 72, 255)},
        {Contrast(in, 100, {true, false, false}), qRgb(0, 100, 192)},
        {Brightness(in, 50, {}), qRgb(64, 100, 192)},
        {Brightness(in, 0, {}), qRgb(0, 0, 0)},
        {Brightness(in, 100, {}), qRgb(255, 255, 255)},
        {Brightness(in, 60, {false, true, true}), qRgb(64, 151, 243)},
        {Invert(in), qRgb(191, 155, 63)},
    };
    for (const auto& [out, expected] : cases) EXPECT_EQ(out.pixel(0, 0), expected) << std::hex << out.pixel(0, 0);

    QImage translucent(1, 1, QImage::Format_ARGB32);
    translucent.fill(qRgba(0, 10, 255, 40));
    EXPECT_EQ(Invert(translucent).pixel(0, 0), qRgba(255, 245, 0, 40));
}

TEST(EditOperations, CropGrowsTheCanvasOutsideTheImage)
{
    const QImage in = gradient(4, 4);
    const QImage inside = Crop(in, {1, 1, 3, 3}, kRed);
    EXPECT_EQ(inside.size(), QSize(2, 2)); // right and bottom exclusive
    EXPECT_EQ(inside.pixel(0, 0), in.pixel(1, 1));
    EXPECT_EQ(inside.pixel(1, 1), in.pixel(2, 2));

    const QImage grown = Crop(in, {-2, -1, 5, 4}, kRed);
    EXPECT_EQ(grown.size(), QSize(7, 5));
    EXPECT_EQ(grown.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(grown.pixel(2, 1), in.pixel(0, 0));
    EXPECT_EQ(grown.pixel(6, 4), qRgb(255, 0, 0));

    const QImage away = Crop(in, {10, 10, 12, 13}, kRed);
    EXPECT_EQ(away.size(), QSize(2, 3));
    EXPECT_EQ(test::changedArea(away, qRgb(255, 0, 0)), QRect());
    EXPECT_EQ(test::imageBoxErrorOf([&] { Crop(in, {3, 1, 1, 3}, kRed); }), imagebox_error::kInvalidArgument);
    EXPECT_EQ(test::imageBoxErrorOf([&] { Crop(in, {0, 0, 0, 3}, kRed); }), imagebox_error::kInvalidArgument);
}

TEST(EditOperations, CropToSelectionGrowsTheCanvasWhereTheSelectionReachesOutside)
{
    const QImage in = gradient(10, 10);
    const QImage grown = CropToSelection(in, {-5, -5, 3, 2}, SelectionShape::Rectangle, kRed);
    EXPECT_EQ(grown.size(), QSize(8, 7));
    EXPECT_EQ(grown.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(grown.pixel(5, 5), in.pixel(0, 0));
    EXPECT_EQ(CropToSelection(in, {3, 2, -5, -5}, SelectionShape::Rectangle, kRed), grown);
    EXPECT_EQ(CropToSelection(in, {8, 0, 14, 10}, SelectionShape::Rectangle, kRed), Crop(in, {8, 0, 14, 10}, kRed));

    const QImage oval = CropToSelection(in, {0, 0, 10, 10}, SelectionShape::Ellipse, kRed);
    EXPECT_EQ(oval.size(), QSize(10, 10));
    EXPECT_EQ(oval.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(oval.pixel(9, 9), qRgb(255, 0, 0));
    EXPECT_EQ(oval.pixel(5, 5), in.pixel(5, 5));
    EXPECT_EQ(oval.pixel(5, 0), in.pixel(5, 0));

    EXPECT_EQ(test::imageBoxErrorOf([&] { CropToSelection(in, {4, 4, 4, 9}, SelectionShape::Rectangle, kRed); }),
              imagebox_error::kInvalidArgument);
}

TEST(EditOperations, MergeStyles)
{
    const QImage blue = solid(6, 6, Qt::blue);
    const QRgb pixels[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 0), qRgb(255, 255, 255)}; // red, green; black, white
    const QImage pic = QImage(reinterpret_cast<const uchar*>(pixels), 2, 2, QImage::Format_RGB32).copy();

    const QImage centre = Merge(blue, pic, {});
    EXPECT_EQ(test::changedArea(centre, qRgb(0, 0, 255)), QRect(2, 2, 2, 2));
    const QImage atPoint = Merge(blue, pic, {false, 0, 0, mergeAtPoint, 5, -1});
    EXPECT_EQ(test::changedArea(atPoint, qRgb(0, 0, 255)), QRect(5, 0, 1, 1)); // clipped at the edges
    EXPECT_EQ(atPoint.pixel(5, 0), pic.pixel(0, 1));
    const QImage tiled = Merge(solid(5, 5, Qt::blue), pic, {false, 0, 0, mergeTile, 0, 0});
    EXPECT_EQ(tiled.pixel(4, 4), pic.pixel(0, 0));
    EXPECT_EQ(tiled.pixel(3, 1), pic.pixel(1, 1));
    const QImage wrapped = Merge(blue, pic, {false, 0, 0, mergeWrap, 0, 0});
    EXPECT_EQ(wrapped.pixel(0, 0), pic.pixel(0, 0));
    EXPECT_EQ(wrapped.pixel(2, 2), pic.pixel(0, 0));
    EXPECT_EQ(wrapped.pixel(5, 5), pic.pixel(1, 1));

    const QImage keyed = Merge(blue, pic, {true, rgb(0, 0, 0), 0, mergeAtPoint, 0, 0});
    EXPECT_EQ(keyed.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(keyed.pixel(0, 0), qRgb(255, 0, 0));
    const QImage half = Merge(blue, pic, {false, 0, 50, mergeAtPoint, 0, 0});
    EXPECT_EQ(half.pixel(0, 0), qRgb(128, 0, 128));
    EXPECT_EQ(Merge(blue, pic, {false, 0, 100, mergeAtPoint, 0, 0}), blue);

    QImage clear(2, 2, QImage::Format_ARGB32);
    clear.fill(qRgba(255, 0, 0, 0));
    EXPECT_EQ(Merge(blue, clear, {}), blue);
    EXPECT_EQ(test::imageBoxErrorOf([&] { Merge(blue, pic, {false, 0, 0, 4, 0, 0}); }), imagebox_error::kInvalidArgument);
    EXPECT_EQ(test::imageBoxErrorOf([&] { Merge(blue, QImage(), {}); }), imagebox_error::kInvalidPicture);
}

TEST(EditOperations, TextIsDrawnFromItsOriginByAlignmentAndAngle)
{
    TextParams p{.fontName = "DejaVu Sans", .fontSize = 12, .antiAlias = false};
    const QString text = "Hj";
    const QSize box = TextExtent(p, text);
    QFont px("DejaVu Sans");
    px.setPixelSize(16); // 12 points at 96 dpi
    EXPECT_EQ(box.height(), QFontMetrics(px).height());
    ASSERT_GT(box.width(), 5);

    const QImage white = solid(120, 60, Qt::white);
    const QRgb w = qRgb(255, 255, 255);
    const std::tuple<int16_t, float, QPoint, QRect> cases[] = { // alignment, angle, origin, where the text falls
        {0, 0, {10, 5}, QRect(10, 5, box.width(), box.height())},
        {1, 0, {60, 5}, QRect(60 - box.width() / 2 - 1, 5, box.width() + 2, box.height())},
        {2, 0, {120, 30}, QRect(120 - box.width(), 30, box.width(), box.height())},
        {0, -90, {box.height(), 0}, QRect(0, 0, box.height(), box.width())}, // reads top to bottom
    };
    for (const auto& [alignment, angle, origin, within] : cases) {
        p.alignment = alignment;
        p.angle = angle;
        const QRect drawn = test::changedArea(DrawText(white, p, origin.x(), origin.y(), text), w);
        EXPECT_FALSE(drawn.isEmpty()) << alignment << " " << angle;
        EXPECT_TRUE(within.contains(drawn)) << alignment << " " << angle;
    }

    p.alignment = 0;
    p.angle = 0;
    p.transparent = false;
    p.backColor = rgb(0, 255, 0);
    const QImage boxed = DrawText(white, p, 0, 0, text);
    EXPECT_EQ(boxed.pixel(box.width() - 1, box.height() - 1), qRgb(0, 255, 0));
    EXPECT_EQ(boxed.pixel(box.width(), 0), w);

    p.fontSize = 0;
    EXPECT_EQ(test::imageBoxErrorOf([&] { DrawText(white, p, 0, 0, text); }), imagebox_error::kInvalidArgument);
}

TEST(EditOperations, TextOfSeveralLinesIsMeasuredAndDrawnLineByLineWithTheAlignmentPerLine)
{
    TextParams p{.fontName = "DejaVu Sans", .fontSize = 12, .antiAlias = false};
    const QSize one = TextExtent(p, "WWWWWW"), narrow = TextExtent(p, "ii");
    for (const char* text : {"WWWWWW\nii", "ii\r\nWWWWWW", "ii\rWWWWWW"})
        EXPECT_EQ(TextExtent(p, text), QSize(one.width(), 2 * one.height())) << text;

    // Each line lies in its own band below the one before, placed by its own width.
    const QImage white = solid(200, 60, Qt::white);
    const QRgb w = qRgb(255, 255, 255);
    const int h = one.height();
    const std::tuple<int16_t, int, int> cases[] = { // alignment, origin x, where the short line's box starts
        {0, 20, 20},
        {1, 100, 100 - narrow.width() / 2},
        {2, 180, 180 - narrow.width()},
    };
    for (const auto& [alignment, x, shortLeft] : cases) {
        SCOPED_TRACE(alignment);
        p.alignment = alignment;
        const QImage drawn = DrawText(white, p, x, 5, "WWWWWW\nii");
        const QRect first = test::changedArea(drawn.copy(0, 5, 200, h), w);
        const QRect second = test::changedArea(drawn.copy(0, 5 + h, 200, h), w);
        ASSERT_FALSE(first.isEmpty());
        ASSERT_FALSE(second.isEmpty()) << "the second line is drawn below the first";
        EXPECT_TRUE(QRect(shortLeft - 1, 0, narrow.width() + 2, h).contains(second)) << "the short line placed on its own";
        EXPECT_GT(first.width(), 2 * second.width());
    }
}

TEST(EditOperations, AMaskCoversThePictureWithAnAntialiasedEdge)
{
    // The round mask over a black picture, large enough that a stretched 64-pixel mask would step.
    const QImage black = solid(640, 640, Qt::black);
    const QImage masked = MergeMask(black, PictureStore::instance().mask(0), {true, 0, 0, mergeAtPoint, 0, 0});
    EXPECT_EQ(masked.pixel(320, 320), qRgb(0, 0, 0)) << "the picture shows in the middle";
    EXPECT_EQ(masked.pixel(2, 2), qRgb(255, 255, 255)) << "the mask covers the corners";
    // Along the circle, each row's edge moves by little from row to row and passes through grey.
    int greys = 0, lastEdge = -1, largestStep = 0;
    for (int y = 160; y < 480; ++y) {
        int edge = 0;
        while (edge < 320 && qRed(masked.pixel(edge, y)) > 127) ++edge;
        if (lastEdge >= 0) largestStep = std::max(largestStep, std::abs(edge - lastEdge));
        lastEdge = edge;
        for (int x = 0; x < 320; ++x) greys += qRed(masked.pixel(x, y)) > 20 && qRed(masked.pixel(x, y)) < 235;
    }
    EXPECT_LE(largestStep, 4);
    EXPECT_GT(greys, 320) << "the edge is antialiased";

    // Without the transparent colour the mask is laid over the picture whole, black included.
    const QImage opaque = MergeMask(solid(40, 40, Qt::red), PictureStore::instance().mask(0), {false, 0, 0, mergeAtPoint, 0, 0});
    EXPECT_EQ(opaque.pixel(20, 20), qRgb(0, 0, 0));
}

TEST(EditOperations, RedEyeChangesOnlyRedPixelsInsideTheEllipse)
{
    QImage in = solid(10, 10, QColor(200, 40, 40));
    in.setPixel(5, 5, qRgb(200, 150, 150));
    const QImage out = RedEyeCorrection(in, {0, 0, 10, 10});
    EXPECT_EQ(out.pixel(4, 4), qRgb(40, 40, 40));
    EXPECT_EQ(out.pixel(5, 5), qRgb(200, 150, 150)); // skin, not an eye
    EXPECT_EQ(out.pixel(0, 0), qRgb(200, 40, 40));   // outside the ellipse
    EXPECT_EQ(RedEyeCorrection(in, {3, 3, 3, 8}), in);
}

// The document keeps a grey picture as it is, so every operation is seen to work in 32 bits.
TEST(ImageBoxEditing, EveryMemberReplacesThePictureIn32BitKeepingItsResolution)
{
    const editops::TextParams font{.fontSize = 8};
    const std::vector<std::pair<const char*, Call>> members = {
        {"Flip", [](ImageDocument& b) { ibedit::Flip(b, 0); }},
        {"Rotate", [](ImageDocument& b) { ibedit::Rotate(b, 30, true); }},
        {"Rotate 90", [](ImageDocument& b) { ibedit::Rotate(b, 90, false); }},
        {"Resize", [](ImageDocument& b) { ibedit::Resize(b, 5, 9); }},
        {"ResizeWidthHeight", [](ImageDocument& b) { ibedit::ResizeWidthHeight(b, 9, 5); }},
        {"Scale", [](ImageDocument& b) { ibedit::Scale(b, 150); }},
        {"Blur", [](ImageDocument& b) { ibedit::Blur(b, 2); }},
        {"Sharpen", [](ImageDocument& b) { ibedit::Sharpen(b, 50); }},
        {"Contrast", [](ImageDocument& b) { ibedit::Contrast(b, 90, true, false, false); }},
        {"Brightness", [](ImageDocument& b) { ibedit::Brightness(b, 20, false, true, false); }},
        {"Invert", [](ImageDocument& b) { ibedit::Invert(b); }},
        {"Crop", [](ImageDocument& b) { ibedit::Crop(b, -1, -1, 6, 5); }},
        {"CropToSelection", [](ImageDocument& b) { ibedit::CropToSelection(b, {1, 1, 8, 6}, editops::SelectionShape::Ellipse); }},
        {"RedEyeCorrection", [](ImageDocument& b) { ibedit::RedEyeCorrection(b, {0, 0, 12, 10}); }},
        {"MergeBitmap", [](ImageDocument& b) { ibedit::MergeBitmap(b, test::solid(3, 3, Qt::blue), {}); }},
        {"DrawText", [&](ImageDocument& b) { ibedit::DrawText(b, font, 0, 0, QStringLiteral("T")); }},
    };
    QImage grey(12, 10, QImage::Format_Grayscale8);
    grey.fill(90);
    grey.setDotsPerMeterX(11811);
    grey.setDotsPerMeterY(7874);
    for (const auto& [name, call] : members) {
        SCOPED_TRACE(name);
        ImageDocument box;
        box.setPicture(grey);
        QSignalSpy changed(&box, &ImageDocument::imageChanged);
        call(box);
        EXPECT_EQ(changed.count(), 1);
        EXPECT_EQ(box.image().format(), QImage::Format_RGB32);
        EXPECT_EQ(box.image().dotsPerMeterX(), 11811);
        EXPECT_EQ(box.image().dotsPerMeterY(), 7874);

        ImageDocument empty;
        EXPECT_EQ(test::imageBoxErrorOf([&] { call(empty); }), imagebox_error::kInvalidPicture);
        EXPECT_FALSE(empty.HasImage());
    }
}

TEST(ImageBoxEditing, AFailedCallLeavesTheDocumentAsItWas)
{
    const std::vector<std::tuple<const char*, Call, int>> cases = {
        {"size 0", [](ImageDocument& b) { ibedit::Resize(b, 0, 4); }, imagebox_error::kInvalidArgument},
        {"missing picture", [](ImageDocument& b) { ibedit::MergeFile(b, QStringLiteral("/nonexistent/logo.png"), {}); },
         imagebox_error::kFileNotFound},
    };
    for (const auto& [name, call, error] : cases) {
        SCOPED_TRACE(name);
        ImageDocument box;
        box.setPicture(gradient(6, 4));
        const QImage before = box.image();
        QSignalSpy changed(&box, &ImageDocument::imageChanged);
        EXPECT_EQ(test::imageBoxErrorOf([&] { call(box); }), error);
        EXPECT_EQ(changed.count(), 0);
        EXPECT_EQ(box.image(), before);
    }
}

TEST(ImageBoxEditing, GrowingTheCanvasFillsWithTheDocumentsBackground)
{
    for (const Call& call : std::vector<Call>{[](ImageDocument& b) { ibedit::Crop(b, -2, 0, 6, 4); },
                                              [](ImageDocument& b) { ibedit::Rotate(b, 45, false); }}) {
        ImageDocument box;
        box.setPicture(gradient(6, 4));
        box.setBackgroundColor(rgb(0, 200, 0));
        call(box);
        EXPECT_EQ(box.image().pixel(0, 0) & 0xFFFFFFu, 0x00C800u);
    }
}
