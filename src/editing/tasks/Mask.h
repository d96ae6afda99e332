#pragma once
// Mask: one of the masks stretched over the picture.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Mask {
    static constexpr TaskCode code = taskMask;
    bool transparent = false;
    int16_t level = 0;
    int16_t index = 0;

    struct Controls {
        QButtonGroup* OptMask = nullptr;
        QCheckBox* chkMaskTransparent = nullptr;
        QSlider* sldMask = nullptr;
    };

    static Mask read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Mask> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
