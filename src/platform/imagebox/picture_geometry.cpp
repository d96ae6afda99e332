#include "platform/imagebox/picture_geometry.h"

#include "platform/imagebox/picture_limits.h"
#include "platform/sys/numbers.h"

#include <algorithm>

namespace tf {

bool pictureSizeAllowed(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= 65535 && height <= 65535 && width * height <= maxPicturePixels();
}

DrawRect keepAspectRect(int32_t imageWidth, int32_t imageHeight, int32_t targetWidth, int32_t targetHeight)
{
    if (imageWidth <= 0 || imageHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return {};
    const double imageAspect = static_cast<double>(imageWidth) / imageHeight;
    const double boxAspect = static_cast<double>(targetWidth) / targetHeight;
    double drawnWidth;
    double drawnHeight;
    if (boxAspect < imageAspect) {
        drawnWidth = targetWidth;
        drawnHeight = targetWidth / imageAspect;
    } else {
        drawnWidth = targetHeight * imageAspect;
        drawnHeight = targetHeight;
    }
    // A long thin picture (99 x 1 in a 48-pixel box) keeps a line of one pixel rather than
    // rounding away to nothing: its thumbnail would be blank.
    drawnWidth = std::max(drawnWidth, 1.0);
    drawnHeight = std::max(drawnHeight, 1.0);
    DrawRect r;
    r.left = roundToLong((targetWidth - drawnWidth) / 2);
    r.top = roundToLong((targetHeight - drawnHeight) / 2);
    r.width = roundToLong(drawnWidth);
    r.height = roundToLong(drawnHeight);
    return r;
}

bool pictureTargetSize(int32_t sizeMode, int32_t imageWidth, int32_t imageHeight, int32_t boxWidth,
                       int32_t boxHeight, int32_t& targetWidth, int32_t& targetHeight)
{
    targetWidth = 0;
    targetHeight = 0;
    if (imageWidth <= 0 || imageHeight <= 0) return false;
    switch (sizeMode) {
    case kSizeModeFit:
        if (boxWidth <= 0 || boxHeight <= 0) return false;
        subFitToBox(imageWidth, imageHeight, boxWidth, boxHeight, targetWidth, targetHeight);
        break;
    case kSizeModeBox:
        targetWidth = boxWidth;
        targetHeight = boxHeight;
        break;
    default:
        targetWidth = imageWidth;
        targetHeight = imageHeight;
        break;
    }
    return pictureSizeAllowed(targetWidth, targetHeight);
}

} // namespace tf

using namespace tf;

void subFitToBox(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight, int32_t& newWidth,
                 int32_t& newHeight)
{
    if (width <= 0 || height <= 0) {
        newWidth = 0;
        newHeight = 0;
        return;
    }
    if (width <= boxWidth && height <= boxHeight) {
        newWidth = width;
        newHeight = height;
        return;
    }
    const float widthRatio = static_cast<float>(boxWidth) / static_cast<float>(width);
    const float heightRatio = static_cast<float>(boxHeight) / static_cast<float>(height);
    // A whole number times a single-precision ratio is worked out in double precision, then rounded.
    // The short side never rounds away to nothing: a 99 x 1 picture stays one pixel high.
    if (widthRatio < heightRatio) {
        newWidth = boxWidth;
        newHeight = std::max(1, roundToLong(static_cast<double>(height) * static_cast<double>(widthRatio)));
    } else {
        newHeight = boxHeight;
        newWidth = std::max(1, roundToLong(static_cast<double>(width) * static_cast<double>(heightRatio)));
    }
}
