#pragma once
// Frame: one of the picture frames, or a plain colour border, round the picture.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Frame {
    static constexpr TaskCode code = taskFrame;
    OleColor color = 0;
    bool plain = false;            // a plain colour frame of `width`; otherwise picture `picture`
    int32_t width = 0;
    int16_t picture = 0;
    uint8_t resizeCanvas = 0;

    struct Controls {
        QButtonGroup* OptFrameStyle = nullptr;
        QWidget* picFrameImage = nullptr;
        QWidget* picFrameColor = nullptr;
        QButtonGroup* OptFrameImage = nullptr;
        QCheckBox* chkFrameImageResizeCanvas = nullptr;
        NumericBox* txtFrameSize = nullptr;
        QScrollBar* vsFrameSize = nullptr;
    };

    static Frame read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Frame> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    // Shows the part of the style chosen (0 a picture frame, 1 a colour).
    static void showStyle(const Controls& c, const PanelShared& s, int index);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
