#pragma once
// Crop: the picture cut to a rectangle or an ellipse, keyed in or drawn with the mouse.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Crop {
    static constexpr TaskCode code = taskCrop;
    // The rectangle drawn is cropped away with the preview: nothing is left for it to mark.
    static constexpr bool previewEndsMouseTools = true;
    bool byValues = true;
    int16_t shape = 0;             // by values: 0 rectangle, any other ellipse
    editops::Bounds bounds;        // by values and by mouse: image pixels, or display pixels in `box`
    OleColor background = 0;       // the ellipse's outside
    std::optional<QSize> box;      // by mouse on a fitted preview: the box the points were shown in
    bool ellipse() const { return byValues && shape != 0; }

    struct Controls {
        QButtonGroup* optCropSelect = nullptr;
        QWidget* frameCropMouse = nullptr;
        QWidget* frameCropFixed = nullptr;
        QComboBox* cmbCrop = nullptr;
        NumericBox* txtCropLeft = nullptr;
        NumericBox* txtCropTop = nullptr;
        NumericBox* txtCropRight = nullptr;
        NumericBox* txtCropBot = nullptr;
    };

    static Crop read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Crop> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    // Shows the part of the way chosen (0 by mouse, 1 keyed in); keyed in starts from the whole picture.
    static void showSelect(const Controls& c, const PanelShared& s, int index);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
