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
using Call = std::function<void(ImageDocument&)>;

// The document keeps a grey picture as it is, so every operation is seen to work in 32 bits.
TEST(ImageBoxEditing, EveryMemberReplacesThePictureIn32BitKeepingItsResolution)
{
    editops::TextParams font;
    font.fontSize = 8;
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
