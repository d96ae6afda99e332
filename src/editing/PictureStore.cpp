#include "editing/PictureStore.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <cmath>

namespace tf {

namespace {

constexpr int kTile = 16; // length of the tiled edge pieces

// Frame colours: base, light bevel, dark bevel.
struct FrameLook {
    QColor base, light, dark;
};
const FrameLook kLooks[PictureStore::kFrameCount] = {
    {QColor(139, 90, 43), QColor(196, 150, 98), QColor(84, 52, 22)},    // walnut
    {QColor(200, 170, 60), QColor(245, 225, 140), QColor(130, 100, 20)}, // gilt
    {QColor(150, 150, 155), QColor(215, 215, 220), QColor(80, 80, 85)},  // pewter
    {QColor(30, 30, 30), QColor(95, 95, 95), QColor(5, 5, 5)},          // ebony
    {QColor(120, 30, 40), QColor(190, 90, 100), QColor(60, 10, 15)},    // lacquer, with inner corners
    {QColor(40, 90, 60), QColor(110, 170, 130), QColor(15, 45, 25)},    // green stain
    {QColor(235, 230, 215), QColor(255, 255, 250), QColor(170, 160, 140)}, // ivory
    {QColor(45, 70, 130), QColor(120, 150, 210), QColor(20, 30, 70)},   // blue enamel
};

QImage blank(int w, int h, QColor fill)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(fill);
    return img;
}

// One piece of a bevelled moulding: `inward` is the side that faces the picture.
enum class Side { Top, Bottom, Left, Right };
QImage moulding(int w, int h, int thickness, Side inward, const FrameLook& look, bool notch)
{
    QImage img = blank(w, h, look.base);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // depth: 0 at the outer edge, thickness - 1 at the picture's edge
            int depth = 0;
            switch (inward) {
            case Side::Bottom: depth = y; break;
            case Side::Top: depth = h - 1 - y; break;
            case Side::Right: depth = x; break;
            case Side::Left: depth = w - 1 - x; break;
            }
            const bool outerLip = depth < 2, innerLip = depth >= thickness - 2;
            const bool lit = inward == Side::Bottom || inward == Side::Right;
            if (outerLip) img.setPixelColor(x, y, lit ? look.light : look.dark);
            else if (innerLip) img.setPixelColor(x, y, lit ? look.dark : look.light);
            else if (depth == thickness / 2) img.setPixelColor(x, y, look.dark.lighter(130));
        }
    if (notch) { // a bead in the middle of each tile, so the tiling shows
        QPainter p(&img);
        p.setPen(Qt::NoPen);
        p.setBrush(look.light);
        p.drawRect(w / 2 - 1, h / 2 - 1, 2, 2);
    }
    return img;
}

QImage corner(int t, const FrameLook& look)
{
    QImage img = blank(t, t, look.base);
    QPainter p(&img);
    p.setPen(look.dark);
    p.drawRect(0, 0, t - 1, t - 1);
    p.setPen(look.light);
    p.drawRect(2, 2, t - 5, t - 5);
    p.end();
    return img;
}

FramePieces makeFrame(int index)
{
    const FrameLook& look = kLooks[index];
    const int t = 8 + 2 * index; // thickness grows with the index: 8 .. 22 pixels
    FramePieces f;
    f.pTop_left = corner(t, look);
    f.pTop_right = corner(t, look);
    f.pBottom_left = corner(t, look);
    f.pBottom_right = corner(t, look);
    f.pTop_middle = moulding(kTile, t, t, Side::Bottom, look, true);
    f.pBottom_middle = moulding(kTile, t, t, Side::Top, look, true);
    f.pleft = moulding(t, kTile, t, Side::Right, look, true);
    f.pRight = moulding(t, kTile, t, Side::Left, look, true);
    return f;
}

InnerCorners makeInnerCorners()
{
    const FrameLook& look = kLooks[4];
    auto ornament = [&](bool flipX, bool flipY) {
        const int s = 8 + 2 * 4; // as wide as frame 4's sides, so they meet without a gap
        QImage img = blank(s, s, look.base);
        QPainter p(&img);
        p.setPen(Qt::NoPen);
        p.setBrush(look.light);
        QPolygon leaf;
        leaf << QPoint(0, 0) << QPoint(s - 1, 0) << QPoint(0, s - 1);
        p.drawPolygon(leaf);
        p.end();
        return img.mirrored(flipX, flipY);
    };
    return {ornament(false, false), ornament(true, false), ornament(false, true), ornament(true, true)};
}

// A soft drop shadow to the right and below, opaque grey fading to white. The two columns (rows)
// nearest the picture are clear because the right and bottom pieces overlap the picture's last
// two columns (rows) when the canvas has grown for them.
FramePieces makeShadow(int index)
{
    const int depth = 4 + 2 * index;    // 4 .. 18 pixels of shadow
    const int darkest = 80 + 10 * index; // deeper shadows are lighter
    const int w = depth + 2;
    auto shade = [&](int d) {
        const int v = darkest + (255 - darkest) * d / std::max(1, depth - 1);
        return QColor(v, v, v);
    };
    FramePieces f;
    const QColor clear(0, 0, 0, 0);
    f.pTop_left = blank(1, 1, clear);
    f.pTop_middle = blank(kTile, 1, clear);
    f.pTop_right = blank(w, 1, clear);
    f.pleft = blank(1, kTile, clear);
    f.pRight = blank(w, kTile, clear);
    for (int y = 0; y < kTile; ++y)
        for (int x = 2; x < w; ++x) f.pRight.setPixelColor(x, y, shade(x - 2));
    f.pBottom_left = blank(1, w, clear);
    f.pBottom_middle = blank(kTile, w, clear);
    for (int y = 2; y < w; ++y)
        for (int x = 0; x < kTile; ++x) f.pBottom_middle.setPixelColor(x, y, shade(y - 2));
    f.pBottom_right = blank(w, w, clear);
    for (int y = 2; y < w; ++y)
        for (int x = 0; x < w; ++x) {
            const int dx = std::max(0, x - 2);
            f.pBottom_right.setPixelColor(x, y, shade(std::max(dx, y - 2)));
        }
    return f;
}

// Masks are black where the picture shows through and white elsewhere, with grey along the edge
// where a pixel is partly inside: drawn antialiased, and large enough that stretching one over a
// page keeps the edge smooth. They are merged over the picture by editops::MergeMask.
QImage makeMask(int index)
{
    const int s = 64, scale = 4; // drawn in 64 units on 256 pixels
    QImage img = blank(s * scale, s * scale, Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const QRect inner(6, 6, s - 12, s - 12);
    switch (index) {
    case 0: p.drawEllipse(inner); break;
    case 1: p.drawRoundedRect(inner, 12, 12); break;
    case 2: p.drawPolygon(QPolygon({QPoint(s / 2, 2), QPoint(s - 3, s / 2), QPoint(s / 2, s - 3), QPoint(2, s / 2)})); break;
    case 3: p.drawPolygon(QPolygon({QPoint(20, 4), QPoint(44, 4), QPoint(60, 20), QPoint(60, 44), QPoint(44, 60), QPoint(20, 60),
                                    QPoint(4, 44), QPoint(4, 20)}));
        break;
    case 4: {
        QPolygon star;
        for (int i = 0; i < 10; ++i) {
            const double a = -M_PI / 2 + i * M_PI / 5, r = (i % 2 == 0) ? 30 : 13;
            star << QPoint(int(std::lround(s / 2 + r * std::cos(a))), int(std::lround(s / 2 + r * std::sin(a))));
        }
        p.drawPolygon(star);
        break;
    }
    case 5: p.drawRect(inner); break;
    case 6: { // arch: a rectangle with a round top
        QPainterPath path;
        path.moveTo(6, s - 6);
        path.lineTo(6, 26);
        path.arcTo(QRectF(6, 6, s - 12, 40), 180, -180);
        path.lineTo(s - 6, s - 6);
        path.closeSubpath();
        p.drawPath(path);
        break;
    }
    default: p.drawEllipse(QRect(2, 12, s - 4, s - 24)); break; // wide oval
    }
    p.end();
    return img;
}

} // namespace

PictureStore::PictureStore()
{
    for (int i = 0; i < kFrameCount; ++i) m_pieces[static_cast<size_t>(i)] = makeFrame(i);
    for (int i = 0; i < kShadowCount; ++i) m_pieces[static_cast<size_t>(kShadowBase + i)] = makeShadow(i);
    m_inner = makeInnerCorners();
    for (int i = 0; i < kMaskCount; ++i) m_masks[static_cast<size_t>(i)] = makeMask(i);
}

const PictureStore& PictureStore::instance()
{
    static const PictureStore store;
    return store;
}

const FramePieces* PictureStore::pieces(int pieceIndex) const
{
    if (pieceIndex < 0 || pieceIndex >= static_cast<int>(m_pieces.size())) return nullptr;
    return &m_pieces[static_cast<size_t>(pieceIndex)];
}

QImage PictureStore::mask(int index) const
{
    if (index < 0 || index >= kMaskCount) return {};
    return m_masks[static_cast<size_t>(index)];
}

} // namespace tf
