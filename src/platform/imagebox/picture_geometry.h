#pragma once
// Where a picture of a requested size puts an image: shared by the picture loader's sizing and
// by the decoder, which may decode a JPEG reduced when the picture is much smaller.
#include <cstdint>

// Size modes of the picture routines.
inline constexpr int32_t kSizeModeOwn = 0;   // the image's own size
inline constexpr int32_t kSizeModeFit = 1;   // fitted into the box, never enlarged
inline constexpr int32_t kSizeModeBox = 2;   // the box itself, the image centred in it

// Fits width x height into the box keeping the aspect ratio. A size that already fits is returned
// unchanged (never enlarged). Ratios are single precision, ties go to the height, and the other
// side is rounded half to even, but never below 1. Non-positive sizes give 0 x 0.
void subFitToBox(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight, int32_t& newWidth,
                 int32_t& newHeight);

namespace tf {

// Largest picture (in pixels) this program decodes or draws: 2^28 pixels, 1 GiB at 32 bits.
// Anything bigger is refused instead of being allocated; a decoder with less memory refuses
// sooner (maxPicturePixels, picture_limits.h).
inline constexpr int64_t kMaxPicturePixels = int64_t(1) << 28;
bool pictureSizeAllowed(int64_t width, int64_t height);

struct DrawRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Where a keep-aspect draw puts an image of imageWidth x imageHeight in a target box: centred,
// each value rounded half to even, the drawn sides at least 1. A zero image or target gives an
// empty rectangle.
DrawRect keepAspectRect(int32_t imageWidth, int32_t imageHeight, int32_t targetWidth, int32_t targetHeight);

// The picture size for a size mode (0 own size, 1 fitted, 2 box). False when it is unusable:
// a non-positive or oversized target.
bool pictureTargetSize(int32_t sizeMode, int32_t imageWidth, int32_t imageHeight, int32_t boxWidth,
                       int32_t boxHeight, int32_t& targetWidth, int32_t& targetHeight);

} // namespace tf
