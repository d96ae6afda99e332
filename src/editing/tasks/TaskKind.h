#pragma once
// What every task kind's home is written against. A kind is one record type (Flip, Rotate, ...)
// that holds, beside its fields:
//   static constexpr TaskCode code;
//   struct Controls                       the controls of its option panel (TaskOptionPanels builds them)
//   static K read(const ParamReader&);    the record from the seventeen parameter texts of a row
//   void write(ParamWriter&) const;       and back
//   static void fill(const Controls&, PanelShared&, const typTaskOptions&);   the last-used options onto the panel
//   static void store(const Controls&, const PanelShared&, typTaskOptions&);  the panel into the last-used options
//   static std::optional<K> fromPanel(const Controls&, const PanelShared&, PanelCheck&);  the task Apply records
//   QImage apply(const QImage&, EditSettings& after, const PictureLoader&) const;  the replay step
// and, where the kind has them:
//   static bool changedOnceChosen(const Controls&, const PanelShared&);   false: chosen, it waits for a change (else true)
//   bool changes(QSize picture) const;    a switch of its way of working counts as a change when this says so
//   static constexpr LocationPoint location;         the point a location pick on the preview sets
//   static constexpr bool previewEndsMouseTools;     its preview takes the drawn rectangle, so the mouse tools end
//   static constexpr const char* noOptions;          what the panel of the tasks without options says for it
//   static constexpr bool withoutParameters;         its row holds no parameters (one that lost them still stands)
// A kind without options leaves fill and store out. TaskRecords.h lists the kinds and dispatches to them.
#include "editing/EditTask.h"
#include "editing/ImageOperations.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <optional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QImage;
class QLabel;
class QPlainTextEdit;
class QScrollBar;
class QSlider;
class QWidget;

struct typTaskOptions;

namespace tf {

class NumericBox;
class ColorButton;

// The image control's editing properties while a task list is replayed. Every replay starts from
// these defaults, so the long-lived preview and a fresh page control give the same pixels; within
// one replay, a row's settings stay for the rows after it (a Shadow row fills its border with the
// colour an earlier Canvas left). The Preview of a new task starts from the state the replay of
// the rows before it reached, so what it shows is what a written page gets.
struct EditSettings {
    OleColor background = rgb(255, 255, 255);
    bool resample = false;
    editops::MergeParams merge;
    editops::TextParams text;
    int32_t textX = 0, textY = 0; // the last text origin; a text row with a position outside 0..9 reuses it
};

// Loads the picture a Watermark row merges; a null image when it cannot be read.
using PictureLoader = std::function<QImage(const QString& path)>;

namespace task {

// The point a click on the preview sets while the location pick is on: the watermark's, the text's or none.
enum class LocationPoint { None, Merge, Text };

// Reads a row's parameters, naming the one that does not convert (ImageBoxError).
class ParamReader {
public:
    explicit ParamReader(const EditTask& row) : m_row(row) {}
    bool boolean(int n) const;
    int32_t longValue(int n) const;
    int16_t integer(int n) const;
    uint8_t byte(int n) const;
    double number(int n) const;
    const QString& text(int n) const { return m_row.p(n); }
    bool has(int n) const { return !m_row.p(n).isEmpty(); }
    // A parameter the replay never reads: its value when it converts, else `fallback`.
    bool optionalBool(int n, bool fallback) const;
    int32_t optionalLong(int n, int32_t fallback) const;

private:
    const EditTask& m_row;
};

// Writes a row's parameters in the texts the files have always held.
class ParamWriter {
public:
    explicit ParamWriter(EditTask& row) : m_row(row) {}
    void text(int n, const QString& value) { m_row.setP(n, value); }
    void boolean(int n, bool value) { text(n, taskparam::fromBool(value)); }   // "True" / "False"
    void check(int n, bool value) { text(n, taskparam::fromCheck(value)); }    // "1" / "0"
    void number(int n, qint64 value) { text(n, QString::number(value)); }

private:
    EditTask& m_row;
};

// The refusal of what a panel holds: the first reason found is the one the user reads.
class PanelCheck {
public:
    explicit PanelCheck(QString& why) : m_why(why) {}
    // The number in a box, or nothing with "Please enter a whole number from lo to hi for what."
    std::optional<int> number(const QString& text, int lo, int hi, const QString& what);
    void refuse(const QString& message) { m_why = message; }

private:
    QString& m_why;
};

// What the option panels hold besides a kind's own controls: the rows several panels share, the
// picture the panel is set up for, and what the mouse set on the preview.
struct PanelShared {
    QWidget* frameBackColor = nullptr;       // the back-colour row (Rotate, Crop, Canvas, Frame)
    QWidget* picLocation = nullptr;          // the location pick (Watermark, Text)
    ColorButton* picCropBackColor = nullptr; // the back colour, shown for the chosen task
    // picCropBackColor serves several tasks, and each keeps its own colour.
    std::array<OleColor, 17> backColors{};
    void setBackColor(int32_t code, OleColor color);

    QSize imageSize;
    QSize ratioBase;                         // the size Resize keeps the ratio of
    bool fitToWindow = false;
    QRect cropRegion;                        // image pixels; empty: no selection
    std::optional<QSize> cropBox;            // the fitted preview the region was drawn on
    QPoint mergePoint;                       // image pixels
    QPoint textClick;                        // display pixels, with the sizes it was clicked at
    QSize textClickImage, textClickDisplay;
    QString mergeFile;
    int16_t pictureIndex = 0;                // the frame, mask or shadow picture chosen (shadows 8..15)
    // Shows a picture on the Watermark panel (decoded off the window's thread).
    std::function<void(const QString& path)> loadMergePicture;
};

// ---- small tools of the panels' code
int clampIndex(int value, int count);
// The option of that index, or the first when the index is out of range.
void selectOption(QButtonGroup* group, int index);
int chosen(const QButtonGroup* group);
void tick(QAbstractButton* box, int value);
bool ticked(const QAbstractButton* box);
uint8_t checkValue(const QAbstractButton* box);
// Text of a number read from the settings, within the box's range.
QString boxText(int value, int lo, int hi);
// The box's number when it converts; otherwise the field keeps what it held.
void keepNumber(int16_t& field, const QString& text);
// The picture with margins added on each side (negative margins take away), checked rather than
// allowed to wrap: margins from a file can be any 32-bit value.
editops::Bounds grownBounds(const QImage& image, int64_t left, int64_t top, int64_t right, int64_t bottom);

} // namespace task
} // namespace tf
