#pragma once
// The sixteen editing tasks' pixel work, as pure functions over an image with explicit
// parameters. The Preview button and the replay both call these, so the preview and a written
// page get the same pixels. Every function returns a new
// image in 32-bit form (RGB32, or ARGB32 when the input has alpha) with the input's resolution;
// invalid parameters raise ImageBoxError and leave the input untouched.
//
// Choices fixed once for the whole program (the tests pin them):
// - Flip: direction 0 mirrors left and right ("Flip Horizontal"), anything else top and bottom.
// - Rotate: positive degrees turn clockwise on screen; the canvas grows to the turned image's
//   bounding box (each side rounded half to even) and the corners take the background colour.
//   Quarter turns are exact whatever the resample setting.
// - Resize and ResizeWidthHeight are the same operation (smooth resampling, aspect not kept).
//   Scale(percent) gives each side round(side x percent / 100), at least 1.
// - Blur(level): a box blur of radius `level` pixels, rows then columns, edges repeated.
//   Level 0 or less changes nothing; levels above 1000 blur as 1000.
// - Sharpen(level): unsharp mask: each channel moves away from its 3 x 3 box mean by
//   level / 5 times the difference. Level 0 or less changes nothing; above 100 acts as 100.
// - Contrast(level): level 50 is the identity; a channel becomes 128 + (v - 128) x level / 50.
// - Brightness(level): level 50 is the identity; a channel becomes v + (level - 50) x 255 / 50.
//   Both take levels outside 0..100 as the nearest end, round half to even, clamp to 0..255
//   and change only the switched-on channels.
// - Crop: right and bottom are exclusive; parts outside the image grow the canvas in the
//   background colour. CropToSelection does the same with the whole selection; an ellipse
//   leaves its outside in the background colour.
// - Merge styles: 0 centre (half to even), 1 at (x, y), 2 tiled from the top-left corner,
//   3 "Wrap": the picture stretched over the whole image, nearest pixel, so that its transparent
//   colour stays exact. Transparency 0..100 is how much of the image shows through; with the
//   transparent colour on, pixels of exactly that colour are not merged; the picture's own alpha
//   is honoured.
// - Text: font sizes are points turned into pixels at 96 dpi (size x 96 / 72, half to even), so
//   a page gives the same text whatever its resolution or the screen's. The angle is counter-
//   clockwise positive, as text angles always were (-90 reads top to bottom). The origin (x, y)
//   is the top of the text box; alignment 0 puts its left end there, 1 its centre, 2 its right.
// - Red-eye: inside the ellipse, a pixel whose red exceeds 80 and is more than 1.5 times its
//   green and its blue has its red replaced by the mean of green and blue.
#include "platform/sys/colors.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>

namespace tf::editops {

// A rectangle in image pixels, right and bottom exclusive, corners in any order where noted.
struct Bounds {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Bounds&) const = default;
    // Corners put in order with min/max.
    Bounds normalized() const;
};

struct RotateParams {
    double degrees = 0;
    bool resample = false;
    OleColor background = rgb(255, 255, 255);
};

struct ChannelSwitches {
    bool red = true, green = true, blue = true;
};

enum class SelectionShape { Rectangle, Ellipse };

enum MergeStyle : int16_t { mergeCentre = 0, mergeAtPoint = 1, mergeTile = 2, mergeWrap = 3 };

struct MergeParams {
    bool transparent = false;     // skip pixels of transparentColor
    OleColor transparentColor = 0;
    double transparency = 0;      // 0 opaque .. 100 invisible
    int16_t style = mergeCentre;
    int32_t x = 0, y = 0;         // style 1 only
};

struct TextParams {
    QString fontName = QStringLiteral("DejaVu Sans");
    double fontSize = 10;         // points
    bool bold = false, italic = false, underline = false;
    bool antiAlias = true;
    bool transparent = true;      // false: the text box is filled with backColor first
    float angle = 0;
    int16_t alignment = 0;        // 0 left, 1 centre, 2 right end at the origin
    OleColor color = 0;
    OleColor backColor = rgb(255, 255, 255);
};

QImage Flip(const QImage& image, int32_t direction);
QImage Rotate(const QImage& image, const RotateParams& params);
QImage Resize(const QImage& image, int32_t width, int32_t height);
inline QImage ResizeWidthHeight(const QImage& image, int32_t width, int32_t height) { return Resize(image, width, height); }
QImage Scale(const QImage& image, double percent);
QImage Blur(const QImage& image, int32_t level);
QImage Sharpen(const QImage& image, int32_t level);
QImage Contrast(const QImage& image, int32_t level, ChannelSwitches channels);
QImage Brightness(const QImage& image, int32_t level, ChannelSwitches channels);
QImage Invert(const QImage& image);
QImage Crop(const QImage& image, Bounds bounds, OleColor background);
QImage CropToSelection(const QImage& image, Bounds selection, SelectionShape shape, OleColor background);
QImage Merge(const QImage& image, const QImage& picture, const MergeParams& params);
// The same merge drawn straight into `image` (made 32-bit first if it is not), for callers that
// lay many pieces on one picture.
void MergeInto(QImage& image, const QImage& picture, const MergeParams& params);
// A mask (black where the picture shows, white where the mask covers it, grey along its edges)
// stretched smoothly over the whole image and merged at (0, 0). With params.transparent (black
// the transparent colour) every pixel is covered in proportion to its mask's whiteness, so the
// edge is antialiased; otherwise the mask is merged whole like any picture.
QImage MergeMask(const QImage& image, const QImage& mask, const MergeParams& params);
// A font size in points as the pixel size text is drawn at (96 dpi, half to even, at least 1).
int32_t fontPixelSize(double points);
// The text's box: TextWidth and TextHeight.
QSize TextExtent(const TextParams& params, const QString& text);
QImage DrawText(const QImage& image, const TextParams& params, int32_t x, int32_t y, const QString& text);
QImage RedEyeCorrection(const QImage& image, Bounds ellipse);

} // namespace tf::editops
