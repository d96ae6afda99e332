#pragma once
// The image control's editing members, for callers that hold a document rather than a picture:
// each one runs the operation of the same name in editops on the document's image and puts the
// result back, so code written against the control reads `ibedit::Crop(box, ...)` where it read
// `box.Crop ...`. The document itself stays free of editing members, and the lower layers never
// see this area.
//
// Settings the control kept as properties come in as parameters (see ImageOperations.h), except
// the background colour, which the document has: Rotate, Crop and CropToSelection fill with
// BackgroundColor. A call that raises ImageBoxError (no image, invalid parameters) leaves the
// document as it was and signals nothing; a call that succeeds replaces the picture, keeping its
// resolution, and the document signals imageChanged as for any new picture.
#include "editing/ImageOperations.h"

#include <QImage>
#include <QString>
#include <cstdint>

namespace tf {
class ImageDocument;
}

namespace tf::ibedit {

void Flip(ImageDocument& box, int32_t direction);
void Rotate(ImageDocument& box, float degrees, bool resample);
void Resize(ImageDocument& box, int32_t width, int32_t height);
void ResizeWidthHeight(ImageDocument& box, int32_t width, int32_t height);
void Scale(ImageDocument& box, float percent);
void Blur(ImageDocument& box, int32_t level);
void Sharpen(ImageDocument& box, int32_t level);
void Contrast(ImageDocument& box, int32_t level, bool red, bool green, bool blue);
void Brightness(ImageDocument& box, int32_t level, bool red, bool green, bool blue);
void Invert(ImageDocument& box);
void Crop(ImageDocument& box, int32_t left, int32_t top, int32_t right, int32_t bottom);
void CropToSelection(ImageDocument& box, editops::Bounds selection, editops::SelectionShape shape);
void RedEyeCorrection(ImageDocument& box, editops::Bounds ellipse);
void MergeBitmap(ImageDocument& box, const QImage& picture, const editops::MergeParams& params);
// Reads the picture through the document's own loading; a file that cannot be read raises.
void MergeFile(ImageDocument& box, const QString& path, const editops::MergeParams& params);
int32_t TextWidth(const editops::TextParams& font, const QString& text);
int32_t TextHeight(const editops::TextParams& font, const QString& text);
void DrawText(ImageDocument& box, const editops::TextParams& font, int32_t x, int32_t y, const QString& text);

} // namespace tf::ibedit
