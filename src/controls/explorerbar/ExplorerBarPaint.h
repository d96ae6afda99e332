#pragma once
#include "controls/explorerbar/ExplorerBarLayout.h"
#include "controls/explorerbar/ExplorerBarModel.h"
#include "platform/sys/colors.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <functional>
#include <optional>

namespace tf {

class VisualStyle;

// The colour lightened towards white: each channel c becomes c + 76 - 19 * ((c + 32) / 64).
OleColor SoftColor(OleColor lColor);
// A two-colour gradient over (left, top, width, height): direction 0 left to right, 1 top to
// bottom. False for an empty rectangle.
bool DoGradient(QPainter& painter, const QColor& from, const QColor& to, int direction, const QRect& rect);
// The classic chevron pair in a 24 x 24 button at (X, Y).
void subDrawChevron(QPainter& painter, int X, int Y, bool bExpanded, const QColor& color);

// "Classic" without a visual style, else the style's colour-scheme name.
QString fncCurrentThemeName(const VisualStyle* style);

// What one paint needs besides the model.
struct EbPaintContext {
    const VisualStyle* style = nullptr;
    QString themeName = QStringLiteral("Classic");
    QFont font;
    bool useUxThemeText = true;
    const EbTextMetrics* metrics = nullptr;
    std::function<void(const QString&)> sink; // the bar's quiet messages
    int W = 0;                                // the whole bar
    int H = 0;
};

// One request for a themed part of the bar. The rectangle is the part's; the caption is drawn
// from the part's content rectangle, `textOffset` further in, up to `textRightMargin` before the
// part's right edge.
struct EbThemeRequest {
    QString sClass = QStringLiteral("Explorerbar");
    int part = 1;
    int state = 1;
    QRect rect;
    QString text;
    unsigned textFlags = 0x40024;
    int textOffset = 32;
    int textRightMargin = 25;
};

// Draws the part themed; false (and nothing drawn) when there is no style, so that the caller
// draws its classic look instead.
bool fncDrawThemePart(QPainter& painter, const EbThemeRequest& request, const EbPaintContext& context);

// Where a hosted panel goes and the colour its direct labels and buttons take.
struct EbHostedPlacement {
    int group = 0;
    QRect rect;
    QColor bodyColor;
};

// The bar's picture, drawn after a layout pass. Items are drawn in their normal state except the
// one `highlight` names (hover 2, pressed 3), which is how single items are redrawn.
class EbPainter {
public:
    struct ItemState {
        int group = 0;
        int item = 0;
        int state = 1;
    };

    EbPainter(QPainter& painter, const ExplorerBarModel& model, const EbPaintContext& context);

    void paint(std::optional<ItemState> highlight = std::nullopt);
    // The hosted panels of expanded groups, with their places, after paint().
    const QVector<EbHostedPlacement>& placements() const { return m_placements; }

    void subDrawGroupHeader(int group);
    void subDrawSpecialGroupHeader();
    void subDrawDetailsGroupHeader();
    void subDrawItem(int group, int item, int state);
    // The body of a hosted panel at rect; gives the colour its controls take.
    QColor drawHostedBody(const QRect& rect);

private:
    void drawHeader(const typExplorerBarGroup& group);
    void drawThemedHeader(int part, const typExplorerBarGroup& group, int textOffset, const QRect& caption,
                          const QColor& fill, const QColor& text);
    void drawBody(const QRect& body, bool special);
    void drawOwnChevronCell(const QRect& button, bool special, bool expanded);
    void drawCaption(const QRect& rect, const QString& text, const QColor& color);
    // A header's own gradient, stacked three times with the corners cut, which rounds them.
    void drawHeaderGradient(const QRect& r, const QColor& from, const QColor& to);
    void drawDetailsContent();
    bool ownLook() const;

    QPainter& p;
    const ExplorerBarModel& m;
    const EbPaintContext& c;
    QVector<EbHostedPlacement> m_placements;
};

} // namespace tf
