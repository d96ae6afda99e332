#include "editing/SelectionTool.h"

#include "editing/TaskRecords.h"
#include "platform/sys/numbers.h"

#include <algorithm>
#include <cstdlib>

namespace tf {

QPoint displayToImage(QPoint display, QSize imageSize, QSize displaySize)
{
    const double sx = displaySize.width() > 0 ? double(imageSize.width()) / displaySize.width() : 1.0;
    const double sy = displaySize.height() > 0 ? double(imageSize.height()) / displaySize.height() : 1.0;
    return {roundToLong(sx * display.x()), roundToLong(sy * display.y())};
}

QPoint textOriginFromClick(QPoint display, QSize imageSize, QSize displaySize, double fontSizePoints)
{
    const double sx = displaySize.width() > 0 ? double(imageSize.width()) / displaySize.width() : 1.0;
    const double sy = displaySize.height() > 0 ? double(imageSize.height()) / displaySize.height() : 1.0;
    return {roundToLong(sx * display.x()), roundToLong(sy * display.y() - fontSizePoints / 2.0)};
}

QString SelectionTool::regionLabel(QPoint p)
{
    return QStringLiteral("X : ") + QString::number(p.x()) + QStringLiteral(" ; ") + QStringLiteral("Y : ") + QString::number(p.y());
}

QString SelectionTool::locationLabel(QPoint p)
{
    return QStringLiteral("X-") + QString::number(p.x()) + QStringLiteral("; Y-") + QString::number(p.y());
}

void SelectionTool::setCurrentTask(int32_t taskCode) { m_location = task::locationPoint(taskCode); }

bool SelectionTool::setLocation(QPoint pos)
{
    switch (m_location) {
    case task::LocationPoint::Merge: m_mergePoint = pos; return true;
    case task::LocationPoint::Text: m_textPoint = pos; return true;
    case task::LocationPoint::None: break;
    }
    return false;
}

void SelectionTool::armCropRectangle()
{
    clearSelection();
    m_cropByMouse = true;
    m_mode = SelDragMode::Armed;
    m_tool = toolCropRect;
}

void SelectionTool::startControlSelection()
{
    clearSelection();
    m_cropByMouse = true;
    m_mode = SelDragMode::Idle;
    m_tool = toolNone;
}

void SelectionTool::setPickColor(bool on)
{
    if (on) {
        // The rectangle's overlay goes with its mode, so it is cleared rather than left orphaned.
        clearSelection();
        m_tool = toolPickColor;
    } else if (m_tool == toolPickColor) {
        m_tool = toolNone;
    }
}

void SelectionTool::clearSelection()
{
    m_mode = SelDragMode::Idle;
    m_c1 = m_c2 = QPoint();
    for (Grip& g : m_grips) g.Visible = false;
    m_gripsUp = false;
    m_gripHit = 0;
}

void SelectionTool::calcGrips()
{
    const int x1 = m_c1.x(), y1 = m_c1.y(), x2 = m_c2.x(), y2 = m_c2.y();
    const int mx = (x1 + x2) / 2, my = (y1 + y2) / 2; // truncating toward zero
    const bool wide = std::abs(x2 - x1) > 15, tall = std::abs(y2 - y1) > 15;
    m_grips = {Grip{x1, y1, true}, Grip{x2, y1, true}, Grip{x1, y2, true}, Grip{x2, y2, true},
               Grip{mx, y1, wide}, Grip{mx, y2, wide}, Grip{x1, my, tall}, Grip{x2, my, tall}};
}

bool SelectionTool::outlineShown() const
{
    return m_tool == toolCropRect && m_mode >= SelDragMode::Drawing && m_mode <= SelDragMode::Moving;
}

std::vector<OverlayRectangle> SelectionTool::overlay() const
{
    std::vector<OverlayRectangle> out;
    if (outlineShown()) out.push_back({m_c1.x(), m_c1.y(), m_c2.x() + 1, m_c2.y() + 1});
    if (m_gripsUp)
        for (const Grip& g : m_grips)
            if (g.Visible) {
                out.push_back({g.X - 1, g.Y - 1, g.X + 2, g.Y + 2});
                out.push_back({g.X - 2, g.Y - 2, g.X + 3, g.Y + 3});
            }
    return out;
}

editops::Bounds SelectionTool::cropRectangle() const
{
    return editops::Bounds{m_c1.x(), m_c1.y(), m_c2.x(), m_c2.y()}.normalized();
}

editops::Bounds SelectionTool::scaledRegion(QSize imageSize, QSize displaySize) const
{
    const editops::Bounds d = editops::Bounds{m_regionStart.x(), m_regionStart.y(), m_regionEnd.x(), m_regionEnd.y()}.normalized();
    const QPoint a = displayToImage(QPoint(d.left, d.top), imageSize, displaySize);
    const QPoint b = displayToImage(QPoint(d.right, d.bottom), imageSize, displaySize);
    return {a.x(), a.y(), b.x(), b.y()};
}

std::optional<QPoint> SelectionTool::colourPick(QPoint pos, QSize imageSize, QSize displaySize)
{
    if (imageSize.isEmpty()) return std::nullopt;
    QPoint p = displayToImage(pos, imageSize, displaySize);
    p.setX(std::clamp(p.x(), 0, imageSize.width() - 1));
    p.setY(std::clamp(p.y(), 0, imageSize.height() - 1));
    m_pick = p;
    return p;
}

MouseOutcome SelectionTool::press(Button button, QPoint pos, QSize imageSize, QSize displaySize)
{
    MouseOutcome out;
    if (button == Button::Right) {
        out.showContextMenu = true;
        out.pointerChanged = true;
        return out;
    }
    if (m_cropByMouse) {
        m_regionStart = m_regionEnd = pos;
        out.regionStartChanged = out.regionEndChanged = true;
    }
    switch (m_mode) {
    case SelDragMode::Idle:
        m_c1 = QPoint(); // the start corner is dropped; a pick may follow
        if (m_tool == toolPickColor && (out.pickPixel = colourPick(pos, imageSize, displaySize))) out.markChanged = true;
        break;
    case SelDragMode::Armed:
        m_c1 = m_c2 = pos;
        m_mode = SelDragMode::Drawing;
        out.overlayChanged = true;
        break;
    case SelDragMode::Shown:
        m_gripsUp = false;
        out.overlayChanged = true;
        if (m_gripHit == 9) {
            m_mode = SelDragMode::Moving;
            m_moveOffset = pos - m_c1;
            out.pointer = PointerShape::SizeAll;
            out.pointerChanged = true;
        } else {
            m_mode = SelDragMode::Resizing;
        }
        break;
    default: break;
    }
    return out;
}

void SelectionTool::hitTest(QPoint pos, MouseOutcome& out)
{
    m_gripHit = 0;
    for (int i = 0; i < 8; ++i) {
        const Grip& g = m_grips[static_cast<size_t>(i)];
        if (g.Visible && std::abs(g.Y - pos.y()) < 3 && std::abs(g.X - pos.x()) < 3) m_gripHit = i + 1;
    }
    const bool forward = m_c2.x() > m_c1.x() && m_c2.y() > m_c1.y();
    out.pointerChanged = true;
    switch (m_gripHit) {
    case 1:
    case 4: out.pointer = forward ? PointerShape::SizeNWSE : PointerShape::SizeNESW; return;
    case 2:
    case 3: out.pointer = forward ? PointerShape::SizeNESW : PointerShape::SizeNWSE; return;
    case 5:
    case 6: out.pointer = PointerShape::SizeNS; return;
    case 7:
    case 8: out.pointer = PointerShape::SizeWE; return;
    default: break;
    }
    // From the start corner inclusive to the end corner exclusive, whichever way it was drawn.
    auto within = [](int v, int a, int b) { return a <= b ? (a <= v && v < b) : (b < v && v <= a); };
    if (within(pos.x(), m_c1.x(), m_c2.x()) && within(pos.y(), m_c1.y(), m_c2.y())) {
        m_gripHit = 9;
        out.pointer = PointerShape::SizeAll;
    } else {
        out.pointer = PointerShape::Default;
    }
}

MouseOutcome SelectionTool::move(QPoint pos, QSize imageSize, QSize displaySize)
{
    MouseOutcome out;
    if (m_cropByMouse) {
        m_regionEnd = pos;
        out.regionEndChanged = true;
    }
    if (m_selectLocation && setLocation(pos)) {
        out.locationChanged = true;
        out.pointer = PointerShape::IBeam;
        out.pointerChanged = true;
    }
    switch (m_mode) {
    case SelDragMode::Idle:
        if (m_tool == toolPickColor && (out.pickPixel = colourPick(pos, imageSize, displaySize))) out.markChanged = true;
        break;
    case SelDragMode::Armed:
        out.pointer = PointerShape::Cross;
        out.pointerChanged = true;
        break;
    case SelDragMode::Drawing:
        out.pointer = PointerShape::Cross;
        out.pointerChanged = true;
        m_c2 = pos;
        out.overlayChanged = outlineShown();
        break;
    case SelDragMode::Shown: hitTest(pos, out); break;
    case SelDragMode::Resizing:
        switch (m_gripHit) {
        case 1: m_c1 = pos; break;
        case 2: m_c2.setX(pos.x()), m_c1.setY(pos.y()); break;
        case 3: m_c1.setX(pos.x()), m_c2.setY(pos.y()); break;
        case 4: m_c2 = pos; break;
        case 5: m_c1.setY(pos.y()); break;
        case 6: m_c2.setY(pos.y()); break;
        case 7: m_c1.setX(pos.x()); break;
        case 8: m_c2.setX(pos.x()); break;
        default: break; // a drag that began on no grip changes nothing
        }
        out.overlayChanged = outlineShown();
        break;
    case SelDragMode::Moving: {
        const QPoint size = m_c2 - m_c1;
        m_c1 = pos - m_moveOffset;
        m_c2 = m_c1 + size;
        out.overlayChanged = outlineShown();
        break;
    }
    }
    return out;
}

MouseOutcome SelectionTool::release(Button button, QPoint pos)
{
    MouseOutcome out;
    // The right button opened the preview menu on its press; its release leaves every tool as it was.
    if (button == Button::Right) return out;
    if (m_cropByMouse) {
        m_regionEnd = pos;
        out.regionEndChanged = true;
        out.markChanged = true;
        m_cropByMouse = false;
        out.untickCropMouse = true;
    }
    if (m_selectLocation) {
        out.locationChanged = setLocation(pos);
        out.markChanged = true;
        m_selectLocation = false;
        out.untickSelectLocation = true;
    }
    if (m_mode == SelDragMode::Drawing || m_mode == SelDragMode::Resizing || m_mode == SelDragMode::Moving) {
        m_mode = SelDragMode::Shown;
        calcGrips();
        m_gripsUp = true;
        out.overlayChanged = true;
    }
    out.pointer = PointerShape::Default;
    out.pointerChanged = true;
    // The colour pick and the red-eye tool end after one use.
    out.untickCropBackColorAndRedEye = true;
    if (m_tool == toolPickColor) m_tool = toolNone;
    out.optionsChanged = true;
    return out;
}

} // namespace tf
