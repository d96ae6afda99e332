#pragma once
// Blur: the picture softened by a level of 1 to 10.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Blur {
    static constexpr TaskCode code = taskBlur;
    int32_t level = 0;

    struct Controls {
        QSlider* sldBlur = nullptr;
    };

    static Blur read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Blur> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
