#pragma once
// Text: a text drawn on the picture at a place of a 3 x 3 grid or at a clicked origin.
#include "editing/tasks/TaskKind.h"

namespace tf::task {

struct Text {
    static constexpr TaskCode code = taskText;
    static constexpr LocationPoint location = LocationPoint::Text; // the mouse-click position
    editops::TextParams params;
    bool fitToWindow = false;      // recorded, not used
    uint8_t orientation = 0;       // 0 horizontal, else vertical
    int16_t position = 0;          // 0..8 the 3 x 3 grid, 9 the recorded origin
    QString text;
    int32_t x = 0, y = 0;          // the origin it was drawn at

    struct Controls {
        QPlainTextEdit* txtDraw = nullptr;
        QComboBox* cboPosition = nullptr;
        QWidget* picTextAlignment = nullptr;
        QWidget* picTextOrientation = nullptr;
        QWidget* picTextOrientationCustom = nullptr;
        QButtonGroup* OptTextAlignment = nullptr;
        QButtonGroup* OptTextOrientation = nullptr;
        NumericBox* txtTextAngle = nullptr;
        QScrollBar* vsbTextAngle = nullptr;
        QComboBox* ComboFontFamily = nullptr;
        QComboBox* comboFontSize = nullptr;
        QCheckBox* chkTextBold = nullptr;
        QCheckBox* chkTextItalic = nullptr;
        QCheckBox* chkTextUnderline = nullptr;
        ColorButton* cmdTextColor = nullptr;
        QCheckBox* chkTransparent = nullptr;
        ColorButton* cmdTextBackground = nullptr;
        QCheckBox* chkAntiAlias = nullptr;
        QComboBox* ComboFilter = nullptr;
    };

    static Text read(const ParamReader& r);
    void write(ParamWriter& w) const;
    static void fill(const Controls& c, PanelShared& s, const typTaskOptions& t);
    static void store(const Controls& c, const PanelShared& s, typTaskOptions& t);
    static std::optional<Text> fromPanel(const Controls& c, const PanelShared& s, PanelCheck& check);
    // Shows the choices of the position chosen (9: the mouse-click position and its angle).
    static void showPosition(const Controls& c, const PanelShared& s, int index);
    // The text box in the font chosen.
    static void showFont(const Controls& c);
    // No text, nothing to draw: it waits for one.
    static bool changedOnceChosen(const Controls& c, const PanelShared& s);
    QImage apply(const QImage& image, EditSettings& after, const PictureLoader& loader) const;
};

} // namespace tf::task
