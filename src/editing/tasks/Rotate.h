#pragma once
// Rotate: the picture turned by whole degrees, the corners filled with its back colour.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Rotate {
    static constexpr TaskCode code = taskRotate;
    bool resample = false;
    int16_t degrees = 0;
    OleColor background = 0;

    struct Controls {
        NumericBox* txtDegrees = nullptr;
        QScrollBar* sbDegrees = nullptr;
        QCheckBox* chkRotateResample = nullptr;
    };

    static Rotate read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Rotate> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    // A turn by 0 degrees waits for a change.
    static bool changedOnceChosen(const Controls& c, const PanelShared& s);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
