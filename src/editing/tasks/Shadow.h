#pragma once
// Shadow: one of the shadows drawn round the picture, in the back colour an earlier row left.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Shadow {
    static constexpr TaskCode code = taskShadow;
    int16_t index = 0;

    struct Controls {
        QButtonGroup* OptShadow = nullptr;
    };

    static Shadow read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Shadow> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
