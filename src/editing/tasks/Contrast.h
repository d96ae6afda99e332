#pragma once
// Contrast: the contrast of the channels chosen set by a level of 0 to 100 (50 leaves it).
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Contrast {
    static constexpr TaskCode code = taskContrast;
    int32_t level = 50;
    editops::ChannelSwitches channels;

    struct Controls {
        QSlider* sldContrast = nullptr;
        std::array<QCheckBox*, 3> chkCon{}; // red, green, blue
    };

    static Contrast read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Contrast> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
