#pragma once
// One typed record per recordable task kind, and the one place where a record becomes the
// seventeen parameter strings of an edit-list row (and a task basket line) and back. The edit list
// keeps the strings as they were written, so a file from elsewhere is saved again byte for byte;
// the option panels make records, and the replay reads them.
#include "editing/EditTask.h"
#include "editing/ImageOperations.h"

#include <QSize>
#include <QString>
#include <optional>
#include <variant>

namespace tf::task {

struct Flip {
    int32_t direction = 0; // 0 left and right, 1 top and bottom
};
struct Rotate {
    bool resample = false;
    int16_t degrees = 0;
    OleColor background = 0;
};
struct Resize {
    bool bySize = true;        // width and height; otherwise a percentage
    int32_t width = 0, height = 0;
    int16_t percent = 100;
};
struct Blur {
    int32_t level = 0;
};
struct Sharpen {
    int32_t level = 0;
};
struct Contrast {
    int32_t level = 50;
    editops::ChannelSwitches channels;
};
struct Brightness {
    int32_t level = 50;
    editops::ChannelSwitches channels;
};
struct Crop {
    bool byValues = true;
    int16_t shape = 0;             // by values: 0 rectangle, any other ellipse
    editops::Bounds bounds;        // by values and by mouse: image pixels, or display pixels in `box`
    OleColor background = 0;       // the ellipse's outside
    std::optional<QSize> box;      // by mouse on a fitted preview: the box the points were shown in
    bool ellipse() const { return byValues && shape != 0; }
};
struct Watermark {
    bool transparent = false;
    int16_t transparency = 0;
    int16_t style = editops::mergeCentre;
    QString file;
    OleColor transparentColor = 0;
    int32_t x = 0, y = 0;          // style 1: image pixels
    bool fitToWindow = false;      // how the preview was shown; recorded, not used
};
struct Text {
    editops::TextParams params;
    bool fitToWindow = false;      // recorded, not used
    uint8_t orientation = 0;       // 0 horizontal, else vertical
    int16_t position = 0;          // 0..8 the 3 x 3 grid, 9 the recorded origin
    QString text;
    int32_t x = 0, y = 0;          // the origin it was drawn at
};
struct Invert {};
struct Canvas {
    OleColor color = 0;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct Frame {
    OleColor color = 0;
    bool plain = false;            // a plain colour frame of `width`; otherwise picture `picture`
    int32_t width = 0;
    int16_t picture = 0;
    uint8_t resizeCanvas = 0;
};
struct Mask {
    bool transparent = false;
    int16_t level = 0;
    int16_t index = 0;
};
struct Shadow {
    int16_t index = 0;
};

using Record = std::variant<Flip, Rotate, Resize, Blur, Contrast, Brightness, Sharpen, Crop, Watermark, Text, Invert,
                            Canvas, Frame, Mask, Shadow>;

// The task code of a record's kind.
TaskCode codeOf(const Record& record);

// The record a row describes, reading only the parameters the row's kind and choices use, as the
// replay always has (a file written elsewhere may leave the others empty). nullopt for codes that
// record nothing (0, 16, unknown) and for a row whose parameters are all empty (Invert aside).
// Raises ImageBoxError naming the parameter when one that is used does not convert.
std::optional<Record> fromTask(const EditTask& row);

// The row a record is written as: code, lower-case key and the parameter texts.
EditTask toTask(const Record& record);

} // namespace tf::task
