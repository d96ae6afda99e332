#pragma once
// Resize: the picture made a given width and height, or scaled by a percentage.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Resize {
    static constexpr TaskCode code = taskResize;
    bool bySize = true; // width and height; otherwise a percentage
    int32_t width = 0, height = 0;
    int16_t percent = 100;

    struct Controls {
        QButtonGroup* optResize = nullptr;
        QWidget* frameResize = nullptr;
        QWidget* FrameScale = nullptr;
        NumericBox* txtResizeWidth = nullptr;
        NumericBox* txtResizeHeight = nullptr;
        NumericBox* txtScale = nullptr;
        QCheckBox* chkResizeRatio = nullptr;
        QCheckBox* chkResizeResample = nullptr;
    };

    static Resize read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Resize> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    // Shows the boxes of the way chosen (0 by size, 1 by percentage).
    static void showMode(const Controls& c, int index);
    // A scale of 100 per cent waits for a change.
    static bool changedOnceChosen(const Controls& c, const PanelShared& s);
    // Whether it gives a picture of `picture` another size.
    bool changes(QSize picture) const;
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
