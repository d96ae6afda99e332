#pragma once
// Canvas: margins of a colour added round the picture.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Canvas {
    static constexpr TaskCode code = taskCanvas;
    OleColor color = 0;
    int32_t left = 0, top = 0, right = 0, bottom = 0;

    struct Controls {
        std::array<NumericBox*, 4> txtCanvasCustom{}; // top, left, right, bottom
    };

    static Canvas read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Canvas> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
