#include "app/modMainIcons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <functional>
#include <map>

namespace tf {

namespace {

// One palette for every picture, so that the window reads as one piece.
const QColor kInk(0x34, 0x40, 0x50);
const QColor kPaper(0xFF, 0xFF, 0xFF);
const QColor kPaperShade(0xE4, 0xE9, 0xF0);
const QColor kBlue(0x2E, 0x6C, 0xC4);
const QColor kLightBlue(0x8C, 0xB8, 0xEA);
const QColor kGreen(0x2F, 0x9A, 0x48);
const QColor kRed(0xD0, 0x3A, 0x3A);
const QColor kOrange(0xE8, 0x8A, 0x1A);
const QColor kYellow(0xF3, 0xC6, 0x3F);
const QColor kGrey(0x8C, 0x96, 0xA4);
const QColor kSky(0x9F, 0xCF, 0xF5);
const QColor kHill(0x4E, 0xA8, 0x5A);

using Drawing = std::function<void(QPainter&)>;

QPixmap paint(int side, const Drawing& draw)
{
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(qCeil(side * ratio), qCeil(side * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawings are written on a 16-unit square and scaled to the picture's size.
    p.scale(side / 16.0, side / 16.0);
    draw(p);
    return pixmap;
}

QPen pen(const QColor& color, qreal width = 1.0)
{
    QPen result(color, width);
    result.setCapStyle(Qt::RoundCap);
    result.setJoinStyle(Qt::RoundJoin);
    return result;
}

// A sheet of paper with a folded corner.
void page(QPainter& p, const QRectF& r, const QColor& fill = kPaper)
{
    const qreal fold = r.width() * 0.32;
    QPainterPath sheet;
    sheet.moveTo(r.left(), r.top());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.right(), r.bottom());
    sheet.lineTo(r.left(), r.bottom());
    sheet.closeSubpath();
    p.setPen(pen(kInk));
    p.setBrush(fill);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(kPaperShade);
    p.drawPath(corner);
}

// A small landscape: sky, sun and a hill, in a frame.
void landscape(QPainter& p, const QRectF& r)
{
    p.setPen(pen(kInk));
    p.setBrush(kSky);
    p.drawRoundedRect(r, 1.2, 1.2);
    p.save();
    p.setClipRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    p.setPen(Qt::NoPen);
    p.setBrush(kYellow);
    p.drawEllipse(QPointF(r.left() + r.width() * 0.72, r.top() + r.height() * 0.32), r.width() * 0.12, r.width() * 0.12);
    QPainterPath hill;
    hill.moveTo(r.left(), r.bottom());
    hill.lineTo(r.left(), r.top() + r.height() * 0.72);
    hill.quadTo(r.left() + r.width() * 0.35, r.top() + r.height() * 0.38, r.left() + r.width() * 0.7, r.top() + r.height() * 0.75);
    hill.quadTo(r.left() + r.width() * 0.85, r.top() + r.height() * 0.62, r.right(), r.top() + r.height() * 0.7);
    hill.lineTo(r.right(), r.bottom());
    hill.closeSubpath();
    p.setBrush(kHill);
    p.drawPath(hill);
    p.restore();
    p.setPen(pen(kInk));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, 1.2, 1.2);
}

void plusBadge(QPainter& p, const QPointF& c, qreal radius, const QColor& color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(c, radius, radius);
    p.setPen(pen(kPaper, radius * 0.45));
    p.drawLine(QPointF(c.x() - radius * 0.55, c.y()), QPointF(c.x() + radius * 0.55, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - radius * 0.55), QPointF(c.x(), c.y() + radius * 0.55));
}

void arrowHead(QPainter& p, const QPointF& tip, qreal angleDegrees, qreal size, const QColor& color)
{
    const qreal a = qDegreesToRadians(angleDegrees);
    const QPointF back(tip.x() - size * qCos(a), tip.y() - size * qSin(a));
    const QPointF side(-size * 0.6 * qSin(a), size * 0.6 * qCos(a));
    QPolygonF head{tip, back + side, back - side};
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(head);
}

void floppy(QPainter& p, const QRectF& r)
{
    QPainterPath body;
    body.moveTo(r.left(), r.top());
    body.lineTo(r.right() - 2.5, r.top());
    body.lineTo(r.right(), r.top() + 2.5);
    body.lineTo(r.right(), r.bottom());
    body.lineTo(r.left(), r.bottom());
    body.closeSubpath();
    p.setPen(pen(kInk));
    p.setBrush(kBlue);
    p.drawPath(body);
    p.setBrush(kPaper);
    p.drawRect(QRectF(r.left() + r.width() * 0.25, r.top(), r.width() * 0.45, r.height() * 0.32));
    p.setBrush(kPaperShade);
    p.drawRect(QRectF(r.left() + r.width() * 0.18, r.top() + r.height() * 0.55, r.width() * 0.64, r.height() * 0.45));
}

void folder(QPainter& p, const QRectF& r, bool open)
{
    QPainterPath back;
    back.moveTo(r.left(), r.bottom());
    back.lineTo(r.left(), r.top() + 1);
    back.lineTo(r.left() + r.width() * 0.35, r.top() + 1);
    back.lineTo(r.left() + r.width() * 0.45, r.top() + 2.6);
    back.lineTo(r.right(), r.top() + 2.6);
    back.lineTo(r.right(), r.bottom());
    back.closeSubpath();
    p.setPen(pen(kInk));
    p.setBrush(kOrange.lighter(115));
    p.drawPath(back);
    QPainterPath front;
    if (open) {
        front.moveTo(r.left(), r.bottom());
        front.lineTo(r.left() + r.width() * 0.18, r.top() + r.height() * 0.42);
        front.lineTo(r.right() + 1.0, r.top() + r.height() * 0.42);
        front.lineTo(r.right(), r.bottom());
    } else {
        front.moveTo(r.left(), r.bottom());
        front.lineTo(r.left(), r.top() + r.height() * 0.38);
        front.lineTo(r.right(), r.top() + r.height() * 0.38);
        front.lineTo(r.right(), r.bottom());
    }
    front.closeSubpath();
    p.setBrush(kYellow);
    p.drawPath(front);
}

void printer(QPainter& p)
{
    p.setPen(pen(kInk));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(kGrey.lighter(140));
    p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1.5, 1.5);
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 10.5, 7, 4));
    p.setPen(pen(kGrey, 0.8));
    p.drawLine(QPointF(6, 12.3), QPointF(10, 12.3));
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(12.5, 8.5), 0.8, 0.8);
}

void magnifier(QPainter& p)
{
    p.setPen(pen(kInk, 1.2));
    p.setBrush(kLightBlue.lighter(130));
    p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    p.setPen(pen(kInk, 2.4));
    p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    p.setPen(pen(kPaper, 1.0));
    p.drawArc(QRectF(3.5, 3.5, 6, 6), 100 * 16, 70 * 16);
}

void pencil(QPainter& p, const QPointF& tip, qreal length)
{
    p.save();
    p.translate(tip);
    p.rotate(-45);
    const qreal w = 2.6;
    p.setPen(pen(kInk, 0.9));
    p.setBrush(kYellow);
    p.drawRect(QRectF(3.0, -w / 2, length - 5.5, w));
    p.setBrush(kRed.lighter(120));
    p.drawRect(QRectF(length - 2.5, -w / 2, 2.5, w));
    QPolygonF point{QPointF(0, 0), QPointF(3.0, -w / 2), QPointF(3.0, w / 2)};
    p.setBrush(QColor(0xF1, 0xD9, 0xB5));
    p.drawPolygon(point);
    p.restore();
}

void gear(QPainter& p)
{
    QPainterPath teeth;
    const QPointF c(8, 8);
    for (int i = 0; i < 8; ++i) {
        const qreal a = qDegreesToRadians(i * 45.0);
        const QPointF dir(qCos(a), qSin(a));
        const QPointF side(-qSin(a), qCos(a));
        QPolygonF tooth{c + dir * 4.5 + side * 1.4, c + dir * 7.2 + side * 1.1, c + dir * 7.2 - side * 1.1,
                        c + dir * 4.5 - side * 1.4};
        teeth.addPolygon(tooth);
        teeth.closeSubpath();
    }
    teeth.addEllipse(c, 5.3, 5.3);
    p.setPen(pen(kInk));
    p.setBrush(kGrey.lighter(125));
    p.drawPath(teeth.simplified());
    p.setBrush(kPaper);
    p.drawEllipse(c, 2.1, 2.1);
}

void curvedArrow(QPainter& p, const QRectF& circle, int startDeg, int spanDeg, const QColor& color, qreal width)
{
    p.setPen(pen(color, width));
    p.setBrush(Qt::NoBrush);
    p.drawArc(circle, startDeg * 16, spanDeg * 16);
    const qreal end = qDegreesToRadians(static_cast<qreal>(startDeg + spanDeg));
    const QPointF c = circle.center();
    const qreal rx = circle.width() / 2, ry = circle.height() / 2;
    const QPointF tip(c.x() + rx * qCos(end), c.y() - ry * qSin(end));
    // The tangent of a counter-clockwise arc in screen coordinates.
    const qreal sign = spanDeg >= 0 ? 1 : -1;
    const qreal tangent = qRadiansToDegrees(qAtan2(-qCos(end) * sign, -qSin(end) * sign));
    arrowHead(p, tip + QPointF(qCos(qDegreesToRadians(tangent)), qSin(qDegreesToRadians(tangent))) * 1.6, tangent,
              3.6, color);
}

void stack(QPainter& p, qreal scale)
{
    p.save();
    p.scale(scale, scale);
    page(p, QRectF(5.5, 1.5, 8, 10), kPaperShade);
    page(p, QRectF(3.5, 3.0, 8, 10));
    page(p, QRectF(1.5, 4.5, 8, 10));
    p.setPen(pen(kLightBlue, 0.9));
    for (qreal y : {8.5, 10.5, 12.5}) p.drawLine(QPointF(3.2, y), QPointF(7.6, y));
    p.restore();
}

const std::map<QString, std::pair<int, Drawing>>& pictureTable()
{
    static const std::map<QString, std::pair<int, Drawing>> table = {
        {QStringLiteral("picSaveMultiPage"), {16, [](QPainter& p) {
             stack(p, 1.0);
             p.setPen(pen(kBlue, 2.0));
             p.drawLine(QPointF(12.5, 7.5), QPointF(12.5, 12.0));
             arrowHead(p, QPointF(12.5, 15.3), 90, 4.0, kBlue);
         }}},
        {QStringLiteral("picSaveAppend"), {16, [](QPainter& p) {
             page(p, QRectF(1.5, 3.5, 8, 11), kPaperShade);
             page(p, QRectF(3.5, 1.5, 8, 11));
             p.setPen(pen(kGreen, 2.0));
             p.drawLine(QPointF(14.5, 9.0), QPointF(9.5, 9.0));
             arrowHead(p, QPointF(6.8, 9.0), 180, 4.0, kGreen);
         }}},
        {QStringLiteral("picDetailFolder"), {16, [](QPainter& p) {
             for (int row = 0; row < 4; ++row) {
                 const qreal y = 2.5 + row * 3.6;
                 p.setPen(Qt::NoPen);
                 p.setBrush(row == 0 ? kBlue : kGrey);
                 p.drawRect(QRectF(1.5, y - 1.2, 2.6, 2.6));
                 p.setPen(pen(kInk, 1.2));
                 p.drawLine(QPointF(6.0, y), QPointF(row % 2 ? 11.5 : 14.5, y));
             }
         }}},
        {QStringLiteral("picThumbnailFolder"), {16, [](QPainter& p) {
             for (int i = 0; i < 4; ++i) {
                 const QRectF tile(1.5 + (i % 2) * 7.0, 1.5 + (i / 2) * 7.0, 6, 6);
                 landscape(p, tile);
             }
         }}},
        {QStringLiteral("picAddToQueue"), {16, [](QPainter& p) {
             page(p, QRectF(1.5, 1.5, 9, 12));
             p.setPen(pen(kLightBlue, 0.9));
             for (qreal y : {6.5, 8.5, 10.5}) p.drawLine(QPointF(3.5, y), QPointF(8.0, y));
             plusBadge(p, QPointF(11.5, 11.5), 4.0, kGreen);
         }}},
        {QStringLiteral("picBrowseSettings"), {16, [](QPainter& p) { gear(p); }}},
        {QStringLiteral("picBrowseAbout"), {16, [](QPainter& p) {
             p.setPen(pen(kBlue.darker(120)));
             p.setBrush(kBlue);
             p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
             QFont f(QStringLiteral("DejaVu Sans"));
             f.setPixelSize(11);
             f.setBold(true);
             p.setFont(f);
             p.setPen(kPaper);
             p.drawText(QRectF(0, 0.5, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
         }}},
        {QStringLiteral("picPreviewView"), {16, [](QPainter& p) { magnifier(p); }}},
        {QStringLiteral("picPreviewPrevious"), {16, [](QPainter& p) {
             p.setPen(pen(kBlue.darker(115)));
             p.setBrush(kBlue);
             p.drawPolygon(QPolygonF{QPointF(2.5, 8), QPointF(9.5, 2.5), QPointF(9.5, 13.5)});
             p.drawRect(QRectF(10.5, 5.5, 3.5, 5));
         }}},
        {QStringLiteral("picPreviewNext"), {16, [](QPainter& p) {
             p.setPen(pen(kBlue.darker(115)));
             p.setBrush(kBlue);
             p.drawPolygon(QPolygonF{QPointF(13.5, 8), QPointF(6.5, 2.5), QPointF(6.5, 13.5)});
             p.drawRect(QRectF(2.0, 5.5, 3.5, 5));
         }}},
        {QStringLiteral("picPreviewType"), {16, [](QPainter& p) {
             landscape(p, QRectF(1.5, 4.5, 10, 10));
             // a spark for the improved look
             QPainterPath star;
             const QPointF c(12.0, 4.0);
             for (int i = 0; i < 8; ++i) {
                 const qreal a = qDegreesToRadians(i * 45.0 - 90);
                 const qreal r = i % 2 ? 1.4 : 3.8;
                 const QPointF pt(c.x() + r * qCos(a), c.y() + r * qSin(a));
                 if (i == 0) star.moveTo(pt); else star.lineTo(pt);
             }
             star.closeSubpath();
             p.setPen(pen(kOrange.darker(120), 0.8));
             p.setBrush(kYellow);
             p.drawPath(star);
         }}},
        {QStringLiteral("picPreviewSave"), {16, [](QPainter& p) { floppy(p, QRectF(1.5, 1.5, 13, 13)); }}},
        {QStringLiteral("picPreviewPrint"), {16, [](QPainter& p) { printer(p); }}},
        {QStringLiteral("picBatchPrint"), {16, [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(kPaperShade);
             p.drawRect(QRectF(6.5, 0.5, 6, 4));
             printer(p);
         }}},
        {QStringLiteral("picPreviewEdit"), {16, [](QPainter& p) {
             landscape(p, QRectF(1.5, 1.5, 11, 9));
             pencil(p, QPointF(6.5, 14.5), 11.5);
         }}},
        {QStringLiteral("IconReset"), {16, [](QPainter& p) {
             curvedArrow(p, QRectF(2.5, 2.5, 11, 11), 200, -290, kBlue, 1.8);
         }}},
        {QStringLiteral("IconOriginalImage"), {16, [](QPainter& p) { landscape(p, QRectF(1.5, 2.5, 13, 11)); }}},
        {QStringLiteral("picTwainAcquire"), {16, [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(kPaper);
             p.drawRect(QRectF(4.5, 1.5, 7, 6));
             p.setBrush(kGrey.lighter(135));
             p.drawRoundedRect(QRectF(1.5, 7.5, 13, 6), 1.5, 1.5);
             p.setPen(pen(kSky.darker(110), 1.4));
             p.drawLine(QPointF(3.5, 10.5), QPointF(12.5, 10.5));
             p.setPen(Qt::NoPen);
             p.setBrush(kGreen);
             p.drawEllipse(QPointF(12.5, 12.3), 0.7, 0.7);
         }}},
        {QStringLiteral("picCapture"), {16, [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(kGrey.lighter(120));
             p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1.8, 1.8);
             p.drawRect(QRectF(5.0, 2.5, 4, 2));
             p.setBrush(kInk);
             p.drawEllipse(QPointF(8, 9), 3.1, 3.1);
             p.setBrush(kLightBlue);
             p.setPen(Qt::NoPen);
             p.drawEllipse(QPointF(8, 9), 1.8, 1.8);
             p.setBrush(kRed);
             p.drawEllipse(QPointF(12.3, 6.6), 0.8, 0.8);
         }}},
        // Tool-bar glyphs for the narrow buttons: new, open, save, delete, edit, add.
        {QStringLiteral("IconEditbar0"), {12, [](QPainter& p) { page(p, QRectF(3.0, 1.5, 10, 13)); }}},
        {QStringLiteral("IconEditbar1"), {12, [](QPainter& p) { folder(p, QRectF(1.0, 2.5, 14, 11), true); }}},
        {QStringLiteral("IconEditbar2"), {12, [](QPainter& p) { floppy(p, QRectF(1.5, 1.5, 13, 13)); }}},
        {QStringLiteral("IconEditbar3"), {12, [](QPainter& p) {
             p.setPen(pen(kRed, 3.0));
             p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
             p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
         }}},
        {QStringLiteral("picMetadataEdit"), {12, [](QPainter& p) { pencil(p, QPointF(1.5, 14.5), 18.5); }}},
        {QStringLiteral("picMetadataAdd"), {12, [](QPainter& p) { plusBadge(p, QPointF(8, 8), 7.0, kGreen); }}},
        // Status bar and task chart.
        {QStringLiteral("imgQueue"), {16, [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(QColor(0xC8, 0x8B, 0x4A));
             p.drawPolygon(QPolygonF{QPointF(1.5, 6.5), QPointF(14.5, 6.5), QPointF(12.5, 14.5), QPointF(3.5, 14.5)});
             p.setPen(pen(QColor(0x8A, 0x5A, 0x2A), 0.8));
             for (qreal x : {5.5, 8.0, 10.5}) p.drawLine(QPointF(x, 8), QPointF(x, 13));
             p.setPen(pen(kInk, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(4.0, 1.5, 8, 10), 0, 180 * 16);
         }}},
        {QStringLiteral("imgMetadata"), {16, [](QPainter& p) {
             QPainterPath tag;
             tag.moveTo(1.5, 3.0);
             tag.lineTo(8.5, 3.0);
             tag.lineTo(14.5, 9.0);
             tag.lineTo(9.0, 14.5);
             tag.lineTo(1.5, 7.5);
             tag.closeSubpath();
             p.setPen(pen(kInk));
             p.setBrush(kYellow);
             p.drawPath(tag);
             p.setBrush(kPaper);
             p.drawEllipse(QPointF(5.0, 6.0), 1.3, 1.3);
         }}},
        // The metadata lists' row icon: a line of text on a sheet, with the pencil that may change it.
        {QStringLiteral("ilMetadata1"), {16, [](QPainter& p) {
             page(p, QRectF(1.5, 1.5, 10, 13));
             p.setPen(pen(kGrey, 1.0));
             for (qreal y : {6.0, 8.5, 11.0}) p.drawLine(QPointF(3.5, y), QPointF(8.0, y));
             pencil(p, QPointF(7.5, 14.5), 10.0);
         }}},
        {QStringLiteral("imgFolder"), {16, [](QPainter& p) { folder(p, QRectF(1.0, 2.5, 14, 11), false); }}},
        {QStringLiteral("iDetailIcon"), {16, [](QPainter& p) {
             page(p, QRectF(2.5, 1.5, 11, 13));
             landscape(p, QRectF(4.0, 6.5, 8, 6));
         }}},
        {QStringLiteral("picMultiPage"), {24, [](QPainter& p) { stack(p, 1.0); }}},
    };
    return table;
}

const std::map<QString, Drawing>& taskTable()
{
    static const std::map<QString, Drawing> table = {
        {QStringLiteral("resize"), [](QPainter& p) {
             p.setPen(pen(kGrey, 1.0));
             p.setBrush(kPaper);
             p.drawRect(QRectF(1.5, 1.5, 13, 13));
             p.setBrush(kLightBlue);
             p.setPen(pen(kInk));
             p.drawRect(QRectF(1.5, 8.5, 6, 6));
             p.setPen(pen(kBlue, 1.6));
             p.drawLine(QPointF(8.5, 7.5), QPointF(12.0, 4.0));
             arrowHead(p, QPointF(14.0, 2.0), -45, 4.0, kBlue);
         }},
        {QStringLiteral("canvas"), [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(kOrange.lighter(150));
             p.drawRect(QRectF(1.5, 1.5, 13, 13));
             landscape(p, QRectF(4.5, 4.5, 7, 7));
         }},
        {QStringLiteral("crop"), [](QPainter& p) {
             p.setPen(pen(kInk, 1.8));
             p.drawPolyline(QPolygonF{QPointF(4, 1), QPointF(4, 12), QPointF(15, 12)});
             p.drawPolyline(QPolygonF{QPointF(1, 4), QPointF(12, 4), QPointF(12, 15)});
             p.setPen(pen(kBlue, 1.2));
             p.drawLine(QPointF(6, 10), QPointF(14.5, 1.5));
         }},
        {QStringLiteral("rotate"), [](QPainter& p) {
             curvedArrow(p, QRectF(2.5, 2.5, 11, 11), 150, -250, kGreen, 1.8);
         }},
        {QStringLiteral("flip"), [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(kBlue);
             p.drawPolygon(QPolygonF{QPointF(7, 2.5), QPointF(7, 13.5), QPointF(1.5, 13.5)});
             p.setBrush(kPaper);
             p.drawPolygon(QPolygonF{QPointF(9, 2.5), QPointF(9, 13.5), QPointF(14.5, 13.5)});
             p.setPen(QPen(kGrey, 1.0, Qt::DotLine));
             p.drawLine(QPointF(8, 0.5), QPointF(8, 15.5));
         }},
        {QStringLiteral("invert"), [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(kPaper);
             p.drawRect(QRectF(1.5, 1.5, 13, 13));
             p.setBrush(kInk);
             p.drawPolygon(QPolygonF{QPointF(1.5, 1.5), QPointF(14.5, 1.5), QPointF(1.5, 14.5)});
         }},
        {QStringLiteral("contrast"), [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(kPaper);
             p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
             QPainterPath half;
             half.moveTo(8, 1.5);
             half.arcTo(QRectF(1.5, 1.5, 13, 13), 90, 180);
             half.closeSubpath();
             p.setBrush(kInk);
             p.drawPath(half);
         }},
        {QStringLiteral("sharpen"), [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(kLightBlue);
             p.drawPolygon(QPolygonF{QPointF(8, 1), QPointF(14.5, 14.5), QPointF(1.5, 14.5)});
             p.setPen(pen(kPaper, 1.0));
             p.drawLine(QPointF(8, 5), QPointF(5, 12));
         }},
        {QStringLiteral("blur"), [](QPainter& p) {
             p.setPen(Qt::NoPen);
             for (int i = 0; i < 3; ++i) {
                 QColor c = kBlue;
                 c.setAlphaF(0.25 + 0.25 * i);
                 p.setBrush(c);
                 p.drawEllipse(QPointF(8, 8), 7.0 - i * 2.0, 7.0 - i * 2.0);
             }
         }},
        {QStringLiteral("brightness"), [](QPainter& p) {
             p.setPen(pen(kOrange, 1.4));
             for (int i = 0; i < 8; ++i) {
                 const qreal a = qDegreesToRadians(i * 45.0);
                 p.drawLine(QPointF(8 + 5.2 * qCos(a), 8 + 5.2 * qSin(a)), QPointF(8 + 7.2 * qCos(a), 8 + 7.2 * qSin(a)));
             }
             p.setPen(pen(kOrange.darker(115)));
             p.setBrush(kYellow);
             p.drawEllipse(QPointF(8, 8), 3.6, 3.6);
         }},
        {QStringLiteral("text"), [](QPainter& p) {
             QFont f(QStringLiteral("DejaVu Serif"));
             f.setPixelSize(15);
             f.setBold(true);
             p.setFont(f);
             p.setPen(kInk);
             p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("T"));
             p.setPen(pen(kBlue, 1.2));
             p.drawLine(QPointF(2, 15), QPointF(14, 15));
         }},
        {QStringLiteral("watermark"), [](QPainter& p) {
             landscape(p, QRectF(1.5, 1.5, 13, 13));
             QPainterPath drop;
             drop.moveTo(10.5, 5.5);
             drop.cubicTo(13.5, 9.5, 14.0, 11.0, 10.5, 13.5);
             drop.cubicTo(7.0, 11.0, 7.5, 9.5, 10.5, 5.5);
             QColor c = kPaper;
             c.setAlphaF(0.8);
             p.setPen(pen(kBlue, 0.9));
             p.setBrush(c);
             p.drawPath(drop);
         }},
        {QStringLiteral("mask"), [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(kInk.lighter(160));
             p.drawRect(QRectF(1.5, 1.5, 13, 13));
             p.save();
             QPainterPath oval;
             oval.addEllipse(QPointF(8, 8), 5.0, 5.8);
             p.setClipPath(oval);
             landscape(p, QRectF(1.5, 1.5, 13, 13));
             p.restore();
             p.setBrush(Qt::NoBrush);
             p.drawEllipse(QPointF(8, 8), 5.0, 5.8);
         }},
        {QStringLiteral("shadow"), [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(kGrey);
             p.drawRect(QRectF(4.5, 4.5, 10, 10));
             landscape(p, QRectF(1.5, 1.5, 10, 10));
         }},
        {QStringLiteral("frame"), [](QPainter& p) {
             p.setPen(pen(kInk));
             p.setBrush(QColor(0xB2, 0x6B, 0x2E));
             p.drawRect(QRectF(0.5, 0.5, 15, 15));
             p.setBrush(QColor(0xD9, 0x9A, 0x58));
             p.drawRect(QRectF(2.5, 2.5, 11, 11));
             landscape(p, QRectF(4.0, 4.0, 8, 8));
         }},
        {QStringLiteral("RedEye"), [](QPainter& p) {
             QPainterPath eye;
             eye.moveTo(0.8, 8);
             eye.quadTo(8, 0.5, 15.2, 8);
             eye.quadTo(8, 15.5, 0.8, 8);
             p.setPen(pen(kInk));
             p.setBrush(kPaper);
             p.drawPath(eye);
             p.setBrush(kRed);
             p.drawEllipse(QPointF(8, 8), 3.4, 3.4);
             p.setPen(Qt::NoPen);
             p.setBrush(kInk);
             p.drawEllipse(QPointF(8, 8), 1.4, 1.4);
         }},
    };
    return table;
}

} // namespace

QStringList mainWindowPictureNames()
{
    QStringList names;
    for (const auto& entry : pictureTable()) names << entry.first;
    return names;
}

QPixmap mainWindowPicture(const QString& name)
{
    const auto& table = pictureTable();
    const auto found = table.find(name);
    if (found == table.end()) return {};
    return paint(found->second.first, found->second.second);
}

QStringList taskIconKeys()
{
    return {QStringLiteral("resize"), QStringLiteral("canvas"), QStringLiteral("crop"), QStringLiteral("rotate"),
            QStringLiteral("flip"), QStringLiteral("invert"), QStringLiteral("contrast"), QStringLiteral("sharpen"),
            QStringLiteral("blur"), QStringLiteral("brightness"), QStringLiteral("text"), QStringLiteral("watermark"),
            QStringLiteral("mask"), QStringLiteral("shadow"), QStringLiteral("frame"), QStringLiteral("RedEye")};
}

QPixmap taskIcon(const QString& key)
{
    const auto& table = taskTable();
    const auto found = table.find(key);
    if (found == table.end()) return {};
    return paint(16, found->second);
}

} // namespace tf
