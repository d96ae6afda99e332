#include "support/imagebox_testutil.h"
#include "editing/ImageBoxEditing.h"
#include "editing_testutil.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/imagebox_error.h"

#include <QSignalSpy>
#include <functional>
#include <gtest/gtest.h>

using namespace tf;
using test::gradient;

namespace {
using Call = std::function<void(ImageDocument&)>;

int errorNumber(const Call& call, ImageDocument& box)
{
    return test::imageBoxErrorOf([&] { call(box); });
}
} // namespace

TEST(ImageBoxEditing, EveryMemberReplacesThePictureKeepingItsResolution)
{
    QImage stamp(3, 3, QImage::Format_RGB32);
    stamp.fill(Qt::blue);
    editops::TextParams font;
    font.fontSize = 8;
    const std::vector<std::pair<const char*, Call>> members = {
        {"Flip", [](ImageDocument& b) { ibedit::Flip(b, 0); }},
        {"Rotate", [](ImageDocument& b) { ibedit::Rotate(b, 30, true); }},
        {"Resize", [](ImageDocument& b) { ibedit::Resize(b, 5, 9); }},
        {"ResizeWidthHeight", [](ImageDocument& b) { ibedit::ResizeWidthHeight(b, 9, 5); }},
        {"Scale", [](ImageDocument& b) { ibedit::Scale(b, 150); }},
        {"Blur", [](ImageDocument& b) { ibedit::Blur(b, 2); }},
        {"Sharpen", [](ImageDocument& b) { ibedit::Sharpen(b, 50); }},
        {"Contrast", [](ImageDocument& b) { ibedit::Contrast(b, 90, true, false, false); }},
        {"Brightness", [](ImageDocument& b) { ibedit::Brightness(b, 20, false, true, false); }},
        {"Invert", [](ImageDocument& b) { ibedit::Invert(b); }},
        {"Crop", [](ImageDocument& b) { ibedit::Crop(b, 1, 1, 6, 5); }},
        {"CropToSelection", [](ImageDocument& b) { ibedit::CropToSelection(b, {0, 0, 8, 6}, editops::SelectionShape::Ellipse); }},
        {"RedEyeCorrection", [](ImageDocument& b) { ibedit::RedEyeCorrection(b, {0, 0, 12, 10}); }},
        {"MergeBitmap", [&](ImageDocument& b) { ibedit::MergeBitmap(b, stamp, {}); }},
        {"DrawText", [&](ImageDocument& b) { ibedit::DrawText(b, font, 0, 0, QStringLiteral("T")); }},
    };
    for (const auto& [name, call] : members) {
        SCOPED_TRACE(name);
        ImageDocument box;
        QImage start = gradient(12, 10);
        // Red-eye needs red eyes to change anything.
        start.setPixel(6, 5, qRgb(250, 10, 10));
        box.setPicture(start);
        QSignalSpy changed(&box, &ImageDocument::imageChanged);
        call(box);
        EXPECT_EQ(changed.count(), 1);
        EXPECT_NE(box.image(), start);
        EXPECT_EQ(box.image().dotsPerMeterX(), 11811);
        EXPECT_EQ(box.image().dotsPerMeterY(), 7874);
    }
}

TEST(ImageBoxEditing, AFailedCallLeavesTheDocumentAsItWas)
{
    const std::vector<std::tuple<const char*, bool, Call, int>> cases = {
        {"no image", false, [](ImageDocument& b) { ibedit::Invert(b); }, imagebox_error::kInvalidPicture},
        {"size 0", true, [](ImageDocument& b) { ibedit::Resize(b, 0, 4); }, imagebox_error::kInvalidArgument},
        {"missing picture", true,
         [](ImageDocument& b) { ibedit::MergeFile(b, QStringLiteral("/nonexistent/logo.png"), {}); },
         imagebox_error::kFileNotFound},
    };
    for (const auto& [name, withImage, call, error] : cases) {
        SCOPED_TRACE(name);
        ImageDocument box;
        if (withImage) box.setPicture(gradient(6, 4));
        const QImage before = box.image();
        QSignalSpy changed(&box, &ImageDocument::imageChanged);
        EXPECT_EQ(errorNumber(call, box), error);
        EXPECT_EQ(changed.count(), 0);
        EXPECT_EQ(box.image(), before);
    }
}

TEST(ImageBoxEditing, GrowingTheCanvasFillsWithTheDocumentsBackground)
{
    const std::vector<std::pair<const char*, Call>> members = {
        {"Crop", [](ImageDocument& b) { ibedit::Crop(b, -2, 0, 6, 4); }},
        {"Rotate", [](ImageDocument& b) { ibedit::Rotate(b, 45, false); }},
    };
    for (const auto& [name, call] : members) {
        SCOPED_TRACE(name);
        ImageDocument box;
        box.setPicture(gradient(6, 4));
        box.setBackgroundColor(rgb(0, 200, 0));
        call(box);
        EXPECT_EQ(box.image().pixel(0, 0) & 0xFFFFFFu, 0x00C800u);
    }
}
