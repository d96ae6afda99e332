#pragma once
// Invert: the picture's negative. It has no options, and its row no parameters.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Invert {
    static constexpr TaskCode code = taskInvert;
    static constexpr bool withoutParameters = true;
    // It shares the panel of the tasks without options, which says what to do instead.
    static constexpr const char* noOptions = "No Options Available. Click 'Preview' or 'Confirm' below to continue.";

    struct Controls {};

    static Invert read(const ParamReader&) { return {}; }
    void write(ParamWriter&) const {}
    static std::optional<Invert> fromPanel(const Controls&, const PanelShared&, PanelCheck&) { return Invert{}; }
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
