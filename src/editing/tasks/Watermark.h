#pragma once
// Watermark: a picture from a file merged onto the picture, centred, at a point, tiled or wrapped.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Watermark {
    static constexpr TaskCode code = taskWatermark;
    static constexpr LocationPoint location = LocationPoint::Merge; // style 0 places the picture there
    bool transparent = false;
    int16_t transparency = 0;
    int16_t style = editops::mergeCentre;
    QString file;
    OleColor transparentColor = 0;
    int32_t x = 0, y = 0;          // style 1: image pixels
    bool fitToWindow = false;      // how the preview was shown; recorded, not used

    struct Controls {
        QLabel* picWatermarkImage = nullptr; // its "Tag" property holds the file shown
        QWidget* picWatermarkImageContainer = nullptr;
        QLabel* lblWatermarkResolution = nullptr;
        QCheckBox* chkWatermarkTransparent = nullptr;
        QWidget* picTransparentOptions = nullptr;
        ColorButton* picWatermarkTransparentColor = nullptr;
        QAbstractButton* chkWatermarkTransparentColor = nullptr;
        QComboBox* cboMergeStyle = nullptr;
        QSlider* sldWatermarkTransparency = nullptr;
    };

    static Watermark read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Watermark> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    // A watermark whose picture is not there waits for one.
    static bool changedOnceChosen(const Controls& c, const PanelShared& s);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
