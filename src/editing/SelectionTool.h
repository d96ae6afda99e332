#pragma once
// The mouse tools of the preview: the crop rectangle with its eight grips (drawn, resized and
// moved), the colour pick, the crop-by-mouse readout and the point pick for the watermark and the
// text. A pure state machine over display coordinates: the preview feeds it presses, moves and
// releases and acts on what each returns; the outline and grips are an overlay it lists, never
// pixels of the image.
#include "editing/EditTask.h"
#include "editing/ImageOperations.h"
#include "editing/tasks/TaskKind.h"
#include "platform/imagebox/imagebox.h"

#include <QPoint>
#include <QSize>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tf {

enum MouseTool : int32_t { toolNone = 0, toolCropRect = 2, toolPickColor = 4 };

enum class SelDragMode : int16_t { Idle = 0, Armed = 1, Drawing = 2, Shown = 3, Resizing = 4, Moving = 5 };

// The platform's pointer numbers (Screen.MousePointer); IBeam is the text caret.
enum class PointerShape : int16_t { Default = 0, Cross = 2, IBeam = 3, SizeAll = 5, SizeNESW = 6, SizeNS = 7, SizeNWSE = 8, SizeWE = 9 };

struct Grip {
    int32_t X = 0, Y = 0;
    bool Visible = false;
};

// What the preview does after an event.
struct MouseOutcome {
    PointerShape pointer = PointerShape::Default;
    bool pointerChanged = false;          // false: leave the pointer as it is
    bool showContextMenu = false;         // right button: open the preview menu, nothing else
    std::optional<QPoint> pickPixel;      // colour pick: read this image pixel (already clamped to the image)
    bool markChanged = false;             // blnOptionsChanged = True and subEnableApply(True)
    bool optionsChanged = false;          // blnOptionsChanged = True only
    bool regionStartChanged = false;      // lblSelectRegionStart shows regionStart()
    bool regionEndChanged = false;        // lblSelectRegionEnd shows regionEnd()
    bool locationChanged = false;         // lblSelectLocation shows the picked point
    bool untickCropMouse = false, untickSelectLocation = false, untickCropBackColorAndRedEye = false;
    bool overlayChanged = false;          // the outline or grips changed: repaint the overlay
};

class SelectionTool {
public:
    enum class Button { Left, Right, Middle };

    // ---- switching tools (the task panels' check buttons)
    // Crop by mouse on an unscaled preview: the program's rectangle, armed for the first press.
    void armCropRectangle();
    // Crop by mouse on a scaled preview: the control's own rubber band draws; only the press and
    // release points are kept here.
    void startControlSelection();
    // chkCropMouse unticked: the rectangle stays.
    void stopCropByMouse() { m_cropByMouse = false; }
    void setPickColor(bool on);
    void setSelectLocation(bool on) { m_selectLocation = on; }
    // The task whose point a location pick sets (its kind says which point; most take none).
    void setCurrentTask(int32_t taskCode);
    // subClearSelection.
    void clearSelection();
    // The selection cleared and no tool: after a crop by Apply, and on every click of chkRedEye.
    void stopTools()
    {
        clearSelection();
        m_tool = toolNone;
    }
    // A task chosen in the chart: every tool off, crop by mouse and the point pick included.
    void chooseTask(int32_t taskCode)
    {
        stopTools();
        m_cropByMouse = m_selectLocation = false;
        setCurrentTask(taskCode);
    }

    // ---- mouse events in display coordinates; imageSize and displaySize convert colour picks
    MouseOutcome press(Button button, QPoint pos, QSize imageSize, QSize displaySize);
    MouseOutcome move(QPoint pos, QSize imageSize, QSize displaySize);
    MouseOutcome release(Button button, QPoint pos);

    // ---- state
    MouseTool tool() const { return m_tool; }
    SelDragMode mode() const { return m_mode; }
    bool cropByMouse() const { return m_cropByMouse; }
    bool selectLocation() const { return m_selectLocation; }
    QPoint corner1() const { return m_c1; }
    QPoint corner2() const { return m_c2; }
    const std::array<Grip, 8>& grips() const { return m_grips; } // grip i at index i - 1
    int gripHit() const { return m_gripHit; }
    QPoint regionStart() const { return m_regionStart; } // lngSelLeft, lngSelTop
    QPoint regionEnd() const { return m_regionEnd; }     // lngSelRight, lngSelBottom
    QPoint mergePoint() const { return m_mergePoint; }   // lngMergeX, lngMergeY (display)
    QPoint textPoint() const { return m_textPoint; }     // lngTextX, lngTextY (display)
    // The point the location pick sets for the current task (the text's when it sets none).
    QPoint pickedLocation() const { return m_location == task::LocationPoint::Merge ? m_mergePoint : m_textPoint; }
    QPoint pickedPixel() const { return m_pick; }        // lngPickX, lngPickY

    // ---- hand-off to Apply, all normalised with min/max
    // The program's rectangle as Crop takes it (left, top, right, bottom = min/max of the corners),
    // in display pixels, which are image pixels on an unscaled preview.
    editops::Bounds cropRectangle() const;
    // The crop-by-mouse press and release points, in order, scaled to image pixels (half to even).
    editops::Bounds scaledRegion(QSize imageSize, QSize displaySize) const;

    // The overlay to paint: the outline (X1, Y1, X2 + 1, Y2 + 1) while a rectangle is drawn and
    // two squares per shown grip while the grips are up.
    std::vector<OverlayRectangle> overlay() const;

    // Label texts.
    static QString regionLabel(QPoint p);   // "X : x ; Y : y"
    static QString locationLabel(QPoint p); // "X-x; Y-y"

    // subCalcSelectionGrips.
    void calcGrips();

private:
    // The current task's location point set to `pos`; false when the task takes none.
    bool setLocation(QPoint pos);
    std::optional<QPoint> colourPick(QPoint pos, QSize imageSize, QSize displaySize);
    void hitTest(QPoint pos, MouseOutcome& out);
    bool outlineShown() const;

    MouseTool m_tool = toolNone;
    SelDragMode m_mode = SelDragMode::Idle;
    QPoint m_c1, m_c2;
    std::array<Grip, 8> m_grips{};
    bool m_gripsUp = false;
    int m_gripHit = 0;
    QPoint m_moveOffset;
    QPoint m_pick;
    bool m_cropByMouse = false;
    bool m_selectLocation = false;
    task::LocationPoint m_location = task::LocationPoint::None;
    QPoint m_regionStart, m_regionEnd, m_mergePoint, m_textPoint;
};

// A display point in image pixels: x by imageWidth / displayWidth, y by the heights, half to even.
QPoint displayToImage(QPoint display, QSize imageSize, QSize displaySize);
// The text origin a click on the preview gives (position 9): the point in image pixels, raised by
// half the font size in points (not in pixels), as files recorded elsewhere were placed. The Preview button records it in
// p16/p17; the replay uses the recorded origin as it is.
QPoint textOriginFromClick(QPoint display, QSize imageSize, QSize displaySize, double fontSizePoints);

} // namespace tf
