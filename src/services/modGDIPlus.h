#pragma once
// Picture scaling shared by the picture loader and by callers that already hold an image.
// A "picture" is an opaque QImage (Format_RGB32) the size of its target box, with the image drawn
// into it on a back colour; a null QImage means no picture.
#include "platform/imagebox/picture_geometry.h"
#include "platform/sys/colors.h"

#include <QImage>
#include <QString>
#include <cstdint>

// Handle kinds of fncResizePictureGDIPlus. Only images can be held here; the metafile kinds give
// no picture because metafiles cannot be read on this platform.
inline constexpr int32_t kPicTypeBitmap = 1;
inline constexpr int32_t kPicTypeMetafile = 2;
inline constexpr int32_t kPicTypeIcon = 3;
inline constexpr int32_t kPicTypeEnhMetafile = 4;

// Kept so that start-up and shutdown read as they always did; Qt needs no global start.
int32_t fncStartGDIPlus();
void subStopGDIPlus(int32_t token);

// A new picture of that size filled with the back colour; null when the size is unusable.
QImage fncCreateMemoryBitmap(int32_t width, int32_t height, tf::OleColor backColor);

// Draws the image into the picture with high-quality smoothing: stretched over the whole target, or
// (keepAspect) centred at the largest size that keeps its aspect ratio.
void subDrawImageGDIPlus(const QImage& image, QImage& picture, int32_t width, int32_t height, bool keepAspect);

// Reads a file with Qt's image readers (no EXIF rotation) and makes a picture of it. The image's
// pixel size goes to the two outputs whenever the file could be read. No picture when it cannot.
QImage fncLoadPictureGDIPlus(const QString& fileName, int32_t sizeMode, int32_t width, int32_t height,
                             tf::OleColor backColor, bool keepAspect, int32_t& imageWidth, int32_t& imageHeight);

// Makes a picture of an image already held. sourceWidth/Height are the size the geometry is worked
// out from (normally the image's own). Mode 0 keeps that size.
QImage fncResizePictureGDIPlus(const QImage& source, int32_t sourceWidth, int32_t sourceHeight, int32_t handleType,
                               int32_t width, int32_t height, int32_t sizeMode, tf::OleColor backColor,
                               bool keepAspect);

// fncResizePictureGDIPlus for a bitmap at its own size, keeping the aspect ratio.
QImage fncResizePicture(const QImage& picture, int32_t sizeMode, int32_t width, int32_t height,
                        tf::OleColor backColor);
