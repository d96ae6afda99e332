#include "editing/ImageBoxEditing.h"

#include "editing/modProcessTasks.h"
#include "platform/imagebox/imagebox_document.h"

namespace tf::ibedit {

// The result is computed before the document is touched, so a raise leaves it as it was.
static void put(ImageDocument& box, const QImage& edited) { box.setPicture(edited); }

void Flip(ImageDocument& box, int32_t direction) { put(box, editops::Flip(box.image(), direction)); }
void Rotate(ImageDocument& box, float degrees, bool resample)
{
    put(box, editops::Rotate(box.image(), {degrees, resample, box.BackgroundColor()}));
}
void Resize(ImageDocument& box, int32_t width, int32_t height) { put(box, editops::Resize(box.image(), width, height)); }
void ResizeWidthHeight(ImageDocument& box, int32_t width, int32_t height)
{
    put(box, editops::ResizeWidthHeight(box.image(), width, height));
}
void Scale(ImageDocument& box, float percent) { put(box, editops::Scale(box.image(), percent)); }
void Blur(ImageDocument& box, int32_t level) { put(box, editops::Blur(box.image(), level)); }
void Sharpen(ImageDocument& box, int32_t level) { put(box, editops::Sharpen(box.image(), level)); }
void Contrast(ImageDocument& box, int32_t level, bool red, bool green, bool blue)
{
    put(box, editops::Contrast(box.image(), level, {red, green, blue}));
}
void Brightness(ImageDocument& box, int32_t level, bool red, bool green, bool blue)
{
    put(box, editops::Brightness(box.image(), level, {red, green, blue}));
}
void Invert(ImageDocument& box) { put(box, editops::Invert(box.image())); }
void Crop(ImageDocument& box, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    put(box, editops::Crop(box.image(), {left, top, right, bottom}, box.BackgroundColor()));
}
void CropToSelection(ImageDocument& box, editops::Bounds selection, editops::SelectionShape shape)
{
    put(box, editops::CropToSelection(box.image(), selection, shape, box.BackgroundColor()));
}
void RedEyeCorrection(ImageDocument& box, editops::Bounds ellipse) { put(box, editops::RedEyeCorrection(box.image(), ellipse)); }
void MergeBitmap(ImageDocument& box, const QImage& picture, const editops::MergeParams& params)
{
    put(box, editops::Merge(box.image(), picture, params));
}
void MergeFile(ImageDocument& box, const QString& path, const editops::MergeParams& params)
{
    const QImage picture = loadMergePicture(path);
    if (picture.isNull())
        throw ImageBoxError(imagebox_error::kFileNotFound, QStringLiteral("The picture %1 could not be read.").arg(path));
    MergeBitmap(box, picture, params);
}
int32_t TextWidth(const editops::TextParams& font, const QString& text) { return editops::TextExtent(font, text).width(); }
int32_t TextHeight(const editops::TextParams& font, const QString& text) { return editops::TextExtent(font, text).height(); }
void DrawText(ImageDocument& box, const editops::TextParams& font, int32_t x, int32_t y, const QString& text)
{
    put(box, editops::DrawText(box.image(), font, x, y, text));
}

} // namespace tf::ibedit
