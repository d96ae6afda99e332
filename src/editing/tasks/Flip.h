#pragma once
// Flip: the picture mirrored left to right or top to bottom.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Flip {
    static constexpr TaskCode code = taskFlip;
    int32_t direction = 0; // 0 left and right, 1 top and bottom

    struct Controls {
        QButtonGroup* optFlip = nullptr;
    };

    static Flip read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Flip> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
