#pragma once
#include "platform/ui/imagelist.h"
#include "controls/explorerbar/ExplorerBarLayout.h"
#include "controls/explorerbar/ExplorerBarModel.h"
#include "controls/explorerbar/ExplorerBarPaint.h"

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

class QScrollBar;

namespace tf {

class VisualStyle;

// The task pane of the editing mode: a column of collapsible groups whose bodies hold clickable
// items or a hosted panel. Callers use the members below by their old names; the data lives in
// ExplorerBarModel, the arrangement in layoutExplorerBar and the drawing in EbPainter.
//
// The bar draws into a picture of its own and shows that picture: while painting is switched
// off the picture stays as it was, and a hover redraws only the header or item it changes.
class ExplorerBar : public QWidget {
    Q_OBJECT
public:
    explicit ExplorerBar(QWidget* parent = nullptr);
    // Hosted panels go back, hidden, to the parents they had before they were hosted.
    ~ExplorerBar() override;

    const ExplorerBarModel& model() const { return m_model; }

    // The style the bar follows (the desktop's, unless a test gives another); nullptr returns to
    // the desktop's. The bar repaints when the style changes.
    void setVisualStyle(VisualStyle* style);
    // Text measures for the layout; nullptr measures with the bar's font.
    void setTextMetrics(std::shared_ptr<const EbTextMetrics> metrics);
    static OleColor SoftColor(OleColor lColor) { return tf::SoftColor(lColor); }

    void Refresh();
    void AddGroup(const QString& sKey, const QString& sCaption, int iType = 0, const QPixmap& imgIcon = {},
                  const QPixmap& imgBackground = {}, int32_t lMaskColor = 0);
    bool AddItem(const EbRef& group, const QString& sKey, const QString& sCaption,
                 const std::optional<EbRef>& iIcon = std::nullopt);
    void SetImageList(ImageList* imageList);
    void AddSpecialGroup(const QString& Caption, const QPixmap& Icon = {}, const QPixmap& background = {});
    void HideSpecialGroup();
    void AddDetailsGroup(const QString& Caption, const QString& sTittle, const QString& sDetails);
    void SetDetailsText(const QString& sDetails);
    void HideDetailsGroup();
    // Opens a document or address with the desktop's handler; above 32 means it was opened.
    int32_t OpenLink(const QString& sLink);
    void About();
    void ClearStructure();
    bool ClearGroup(const EbRef& group);
    // Hosts child as the group's body, keeping its own height; pChildPointer is the cursor over
    // it in the old numbering (0 the default, 1 arrow, 2 cross, 3 I-beam, 11 hourglass, ...).
    bool SetGroupChild(const EbRef& group, QWidget* child, int pChildPointer = 0);
    bool ExpandGroup(const EbRef& group, std::optional<bool> bExpand = std::nullopt);
    bool SetGroupCaption(const EbRef& group, const QString& sNewCaption);
    bool SetItemIcon(const EbRef& group, const EbRef& item, const EbRef& iNewIcon, bool bUpdate = false);
    bool SetItemText(const EbRef& group, const EbRef& item, const QString& sNewCaption);
    // Painting stays off from DisableUpdates(true) until DisableUpdates() or the bar's next show.
    void DisableUpdates(bool bDisable = false);
    void SetDetailsImage(const QPixmap& detailsImage = {});
    static QString GetControlVersion() { return ExplorerBarModel::GetControlVersion(); }
    // Only the family of a font given to the bar is taken over.
    void SetFont(const QFont& newFont);
    QFont Font() const { return font(); }
    bool UseUxThemeText() const { return m_model.m_bUseUxThemeText; }
    void SetUseUxThemeText(bool bNewUseUxThemeText);
    void EnableAltImagelist(bool) {}

    bool isPaintEnabled() const { return m_model.m_bPaintEnabled; }
    QScrollBar* scrollBar() const { return m_ScrollBar; }

signals:
    void MouseOver();
    void MouseOut();
    void GroupHover(const QString& sGroup);
    void GroupOut(const QString& sGroup);
    void ItemClick(const QString& sGroup, const QString& sItemKey);
    // Raised after the click has toggled the group; a handler that wants the other state calls
    // ExpandGroup, which repaints at once.
    void GroupClick(int Group, bool bExpanded);
    void ItemHover(const QString& sGroup, const QString& sItemKey);
    void ItemOut(const QString& sGroup, const QString& sItemKey);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Lays the content out again and draws the whole picture, the scroll bar and hosted panels
    // placed; nothing while painting is off.
    void userControlPaint();
    EbPaintContext paintContext(const EbTextMetrics& metrics) const;
    void applyScroll();
    void placeChildren(const QVector<EbHostedPlacement>& placements);
    // Draws one header (item 0) or item again in the picture, in the given item state.
    void redrawElement(int group, int item, int state);
    void hoverPass(QPoint point);
    void releaseChild(QWidget* child);

    struct Hosted {
        QPointer<QWidget> child;
        QPointer<QWidget> home;
        bool hadHome = false;
        bool autoFill = false;
        QVector<QPointer<QWidget>> wheelTakers;
    };

    void sendHome(const Hosted& hosted);

    ExplorerBarModel m_model;
    QScrollBar* m_ScrollBar = nullptr;
    QVector<Hosted> m_hosted;
    QPointer<VisualStyle> m_style;
    std::shared_ptr<const EbTextMetrics> m_metrics;
    QImage m_surface;
    EbScroll m_scroll;
    bool m_painting = false;
    bool m_bMouseInside = false;
    int m_wheelRemainder = 0; // wheel units times 32 not yet turned into pixels
};

} // namespace tf
