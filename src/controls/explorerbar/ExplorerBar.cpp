#include "controls/explorerbar/ExplorerBar.h"

#include "platform/theme/visualstyle.h"
#include "platform/ui/msgbox.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QUrl>
#include <algorithm>

namespace tf {

namespace {

// The cursor numbers the bar's callers pass for a hosted panel.
Qt::CursorShape cursorForPointer(int pointer, bool* known)
{
    *known = true;
    switch (pointer) {
    case 1: return Qt::ArrowCursor;
    case 2: return Qt::CrossCursor;
    case 3: return Qt::IBeamCursor;
    case 5: case 15: return Qt::SizeAllCursor;
    case 6: return Qt::SizeBDiagCursor;
    case 7: return Qt::SizeVerCursor;
    case 8: return Qt::SizeFDiagCursor;
    case 9: return Qt::SizeHorCursor;
    case 10: return Qt::UpArrowCursor;
    case 11: return Qt::WaitCursor;
    case 12: return Qt::ForbiddenCursor;
    case 13: return Qt::BusyCursor;
    case 14: return Qt::WhatsThisCursor;
    }
    *known = false;
    return Qt::ArrowCursor;
}

} // namespace

ExplorerBar::ExplorerBar(QWidget* parent) : QWidget(parent)
{
    m_ScrollBar = new QScrollBar(Qt::Vertical, this);
    m_ScrollBar->setObjectName(QStringLiteral("m_ScrollBar"));
    m_ScrollBar->hide();
    // Dragging the thumb moves the picture with it, as a click on the bar does.
    connect(m_ScrollBar, &QScrollBar::valueChanged, this, [this](int value) {
        m_model.m_iScrollValue = value;
        userControlPaint();
    });
    setMouseTracking(true);
    setVisualStyle(nullptr);
    QFont f = font();
    f.setFamily(QStringLiteral("Verdana")); // the desktop substitutes its nearest face when missing
    setFont(f);
}

ExplorerBar::~ExplorerBar()
{
    for (const Hosted& hosted : std::as_const(m_hosted))
        if (hosted.child) sendHome(hosted);
}

// A panel that had no parent goes back to being free-standing, so that whoever owns it still
// does; one whose parent has gone stays with the bar and goes with it.
void ExplorerBar::sendHome(const Hosted& hosted)
{
    QWidget* child = hosted.child;
    child->removeEventFilter(this);
    for (const QPointer<QWidget>& taker : hosted.wheelTakers)
        if (taker) taker->removeEventFilter(this);
    child->setAutoFillBackground(hosted.autoFill);
    disconnect(child, &QObject::destroyed, this, nullptr);
    child->hide();
    if (!hosted.hadHome) child->setParent(nullptr);
    else if (hosted.home) child->setParent(hosted.home);
}

// ---- members --------------------------------------------------------------------------------

void ExplorerBar::Refresh() { userControlPaint(); }

void ExplorerBar::AddGroup(const QString& sKey, const QString& sCaption, int iType, const QPixmap& imgIcon,
                           const QPixmap& imgBackground, int32_t lMaskColor)
{
    m_model.AddGroup(sKey, sCaption, iType, imgIcon, imgBackground, lMaskColor);
    userControlPaint();
}

bool ExplorerBar::AddItem(const EbRef& group, const QString& sKey, const QString& sCaption,
                          const std::optional<EbRef>& iIcon)
{
    if (!m_model.AddItem(group, sKey, sCaption, iIcon)) return false;
    userControlPaint();
    return true;
}

void ExplorerBar::SetImageList(ImageList* imageList) { m_model.SetImageList(imageList); }

void ExplorerBar::AddSpecialGroup(const QString& Caption, const QPixmap& Icon, const QPixmap& background)
{
    m_model.AddSpecialGroup(Caption, Icon, background);
    userControlPaint();
}

void ExplorerBar::HideSpecialGroup()
{
    m_model.HideSpecialGroup();
    userControlPaint();
}

void ExplorerBar::AddDetailsGroup(const QString& Caption, const QString& sTittle, const QString& sDetails)
{
    m_model.AddDetailsGroup(Caption, sTittle, sDetails);
    userControlPaint();
}

void ExplorerBar::SetDetailsText(const QString& sDetails)
{
    m_model.SetDetailsText(sDetails);
    userControlPaint();
}

void ExplorerBar::HideDetailsGroup()
{
    m_model.HideDetailsGroup();
    userControlPaint();
}

int32_t ExplorerBar::OpenLink(const QString& sLink)
{
    constexpr int32_t kOpened = 33, kNoHandler = 31;
    return QDesktopServices::openUrl(QUrl::fromUserInput(sLink)) ? kOpened : kNoHandler;
}

void ExplorerBar::About()
{
    MsgBox(QStringLiteral("ExplorerBar Control.\n"
                          "Written for Tavrel Folio.\n"
                          "No separate home page.\n\n"
                          "A task pane of collapsible groups,\n"
                          "each holding clickable items or a panel of its own."),
           vbInformation, QStringLiteral("ExplorerBar"));
}

void ExplorerBar::ClearStructure()
{
    const QVector<QPointer<QWidget>> released = m_model.ClearStructure();
    for (const QPointer<QWidget>& child : released)
        if (child) releaseChild(child);
    unsetCursor();
    // The emptied bar is drawn once even while painting is off; the switch itself is kept.
    const bool paintEnabled = m_model.m_bPaintEnabled;
    m_model.m_bPaintEnabled = true;
    userControlPaint();
    m_model.m_bPaintEnabled = paintEnabled;
}

bool ExplorerBar::ClearGroup(const EbRef& group)
{
    if (!m_model.ClearGroup(group)) return false;
    userControlPaint();
    return true;
}

bool ExplorerBar::SetGroupChild(const EbRef& group, QWidget* child, int pChildPointer)
{
    if (child == this || (child && child->isAncestorOf(this))) return false;
    QWidget* previous = nullptr;
    if (!m_model.SetGroupChild(group, child, &previous)) return false;
    if (previous) releaseChild(previous);
    if (child) {
        const bool known = std::any_of(m_hosted.cbegin(), m_hosted.cend(),
                                       [child](const Hosted& h) { return h.child == child; });
        if (!known) {
            QWidget* home = child->parentWidget();
            Hosted hosted{child, home, home != nullptr, child->autoFillBackground(), {}};
            // The body is drawn by the bar under the panel, so the panel lets it show.
            child->setAutoFillBackground(false);
            // Value controls on the panel change only when they have the focus; otherwise the
            // wheel scrolls the bar, so that scrolling past a slider does not move it.
            for (QWidget* w : child->findChildren<QWidget*>()) {
                const bool valueControl = (qobject_cast<QAbstractSlider*>(w) && !qobject_cast<QScrollBar*>(w))
                                          || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w);
                if (!valueControl) continue;
                w->setFocusPolicy(Qt::StrongFocus);
                w->installEventFilter(this);
                hosted.wheelTakers.push_back(w);
            }
            m_hosted.push_back(hosted);
            child->installEventFilter(this);
            connect(child, &QObject::destroyed, this, &ExplorerBar::userControlPaint, Qt::QueuedConnection);
            if (home != this) child->setParent(this);
        }
        bool knownPointer = false;
        const Qt::CursorShape shape = cursorForPointer(pChildPointer, &knownPointer);
        if (knownPointer) child->setCursor(shape);
        else child->unsetCursor();
        m_ScrollBar->raise();
    }
    userControlPaint();
    return true;
}

bool ExplorerBar::ExpandGroup(const EbRef& group, std::optional<bool> bExpand)
{
    if (!m_model.ExpandGroup(group, bExpand)) return false;
    userControlPaint();
    return true;
}

bool ExplorerBar::SetGroupCaption(const EbRef& group, const QString& sNewCaption)
{
    if (!m_model.SetGroupCaption(group, sNewCaption)) return false;
    userControlPaint();
    return true;
}

bool ExplorerBar::SetItemIcon(const EbRef& group, const EbRef& item, const EbRef& iNewIcon, bool)
{
    if (!m_model.SetItemIcon(group, item, iNewIcon)) return false;
    userControlPaint();
    return true;
}

bool ExplorerBar::SetItemText(const EbRef& group, const EbRef& item, const QString& sNewCaption)
{
    if (!m_model.SetItemText(group, item, sNewCaption)) return false;
    userControlPaint();
    return true;
}

void ExplorerBar::DisableUpdates(bool bDisable)
{
    m_model.DisableUpdates(bDisable);
    userControlPaint();
}

void ExplorerBar::SetDetailsImage(const QPixmap& detailsImage)
{
    m_model.SetDetailsImage(detailsImage);
    userControlPaint();
}

void ExplorerBar::SetFont(const QFont& newFont)
{
    QFont f = font();
    f.setFamily(newFont.family());
    setFont(f);
}

void ExplorerBar::SetUseUxThemeText(bool bNewUseUxThemeText)
{
    m_model.m_bUseUxThemeText = bNewUseUxThemeText;
    userControlPaint();
}

// ---- layout and painting --------------------------------------------------------------------

void ExplorerBar::setVisualStyle(VisualStyle* style)
{
    if (m_style) disconnect(m_style, nullptr, this, nullptr);
    m_style = style ? style : &VisualStyle::instance();
    connect(m_style, &VisualStyle::changed, this, &ExplorerBar::userControlPaint);
    userControlPaint();
}

void ExplorerBar::setTextMetrics(std::shared_ptr<const EbTextMetrics> metrics)
{
    m_metrics = std::move(metrics);
    userControlPaint();
}

EbPaintContext ExplorerBar::paintContext(const EbTextMetrics& metrics) const
{
    EbPaintContext context;
    context.style = m_style;
    context.themeName = fncCurrentThemeName(m_style);
    context.font = font();
    context.useUxThemeText = m_model.m_bUseUxThemeText;
    context.metrics = &metrics;
    context.sink = m_model.ignoredErrors;
    context.W = width();
    context.H = height();
    return context;
}

void ExplorerBar::userControlPaint()
{
    if (!m_model.m_bPaintEnabled || m_painting) return;
    m_painting = true;
    const EbFontMetrics fontMetrics(font());
    const EbTextMetrics& metrics = m_metrics ? *m_metrics : fontMetrics;
    const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_ScrollBar);
    layoutExplorerBar(m_model, {width(), height(), barWidth, isVisible()}, m_scroll, metrics);
    applyScroll();

    const qreal dpr = devicePixelRatioF();
    QImage picture(size() * dpr, QImage::Format_RGB32);
    picture.setDevicePixelRatio(dpr);
    QVector<EbHostedPlacement> placements;
    if (!picture.isNull()) {
        QPainter p(&picture);
        const EbPaintContext context = paintContext(metrics);
        EbPainter painter(p, m_model, context);
        painter.paint();
        placements = painter.placements();
    }
    m_surface = picture;
    placeChildren(placements);
    m_painting = false;
    update();
}

void ExplorerBar::applyScroll()
{
    const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_ScrollBar);
    {
        // The layout has already clamped the position; the bar must not answer with a repaint.
        const QSignalBlocker blocker(m_ScrollBar);
        m_ScrollBar->setRange(0, m_scroll.max);
        m_ScrollBar->setSingleStep(m_scroll.small);
        m_ScrollBar->setPageStep(std::max(1, m_scroll.large));
        m_ScrollBar->setValue(m_model.m_iScrollValue);
    }
    m_ScrollBar->setGeometry(width() - barWidth, 0, barWidth, height());
    m_ScrollBar->setVisible(m_scroll.visible);
    m_ScrollBar->raise();
}

void ExplorerBar::placeChildren(const QVector<EbHostedPlacement>& placements)
{
    m_hosted.removeIf([](const Hosted& h) { return !h.child; });
    for (const Hosted& hosted : std::as_const(m_hosted)) {
        QWidget* child = hosted.child;
        const auto placed = std::find_if(placements.cbegin(), placements.cend(), [&](const EbHostedPlacement& p) {
            return m_model.groupRecord(p.group) && m_model.groupRecord(p.group)->pChild == child;
        });
        if (placed == placements.cend()) {
            child->hide();
            continue;
        }
        child->setGeometry(placed->rect);
        child->show();
        // Labels and buttons placed straight on the panel take the body's colour; those inside
        // a frame on it keep the frame's.
        for (QWidget* w : child->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const auto* button = qobject_cast<QAbstractButton*>(w);
            const bool blends = qobject_cast<QLabel*>(w) || qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w)
                                || (button && button->isCheckable());
            if (!blends) continue;
            QPalette palette = w->palette();
            palette.setColor(QPalette::Window, placed->bodyColor);
            w->setPalette(palette);
        }
    }
    // A panel hosted by the special group has no place of its own in the bar.
    if (m_model.m_SpecialGroup.pChild) m_model.m_SpecialGroup.pChild->hide();
}

void ExplorerBar::redrawElement(int group, int item, int state)
{
    if (!m_model.m_bPaintEnabled || m_surface.isNull()) return;
    const typExplorerBarGroup* g = m_model.groupRecord(group);
    if (!g || item < 0 || item > g->iItemCount()) return;
    QRect area = g->rcHeader;
    if (item > 0) {
        const QRect r = g->aItems[item - 1].rcItem;
        area = r.united(QRect(r.x(), r.y(), m_model.m_lClientWidth - 12 - r.x(), r.height()));
    }
    const EbFontMetrics fontMetrics(font());
    const EbPaintContext context = paintContext(m_metrics ? *m_metrics : fontMetrics);
    QPainter p(&m_surface);
    p.setClipRect(area);
    EbPainter painter(p, m_model, context);
    if (item > 0) painter.paint(EbPainter::ItemState{group, item, state});
    else painter.paint();
    p.end();
    update(area);
}

void ExplorerBar::paintEvent(QPaintEvent*)
{
    if (m_surface.isNull()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_surface);
}

void ExplorerBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    userControlPaint();
}

void ExplorerBar::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_model.m_bPaintEnabled = true;
    userControlPaint();
}

void ExplorerBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
        userControlPaint();
        break;
    default:
        break;
    }
}

bool ExplorerBar::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Resize:
        // A hosted panel that changes its height moves the groups below it.
        if (!m_painting && std::any_of(m_hosted.cbegin(), m_hosted.cend(),
                                       [watched](const Hosted& h) { return h.child == watched; }))
            userControlPaint();
        break;
    case QEvent::Enter:
        // The pointer went onto a hosted panel, which covers no header or item.
        if (std::any_of(m_hosted.cbegin(), m_hosted.cend(), [watched](const Hosted& h) { return h.child == watched; }))
            hoverPass(QPoint(3, 3));
        break;
    case QEvent::Wheel:
        if (auto* w = qobject_cast<QWidget*>(watched); w && !w->hasFocus()) {
            wheelEvent(static_cast<QWheelEvent*>(event));
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void ExplorerBar::releaseChild(QWidget* child)
{
    for (int i = 0; i < m_hosted.size(); ++i) {
        if (m_hosted[i].child != child) continue;
        sendHome(m_hosted.takeAt(i));
        return;
    }
}

// ---- mouse ----------------------------------------------------------------------------------

// Looks at every header and item in order and changes those the point came onto or left, with
// their events in that order. A handler may change the bar, so each element is looked up again
// before it is touched. The hand shows while anything is under the point.
void ExplorerBar::hoverPass(QPoint point)
{
    const QPointer<ExplorerBar> self(this);
    const QVector<EbElement> elements = ebElements(m_model);
    for (const EbElement& e : elements) {
        if (!self) return;
        typExplorerBarGroup* g = m_model.groupRecord(e.group);
        if (!g || e.item > g->iItemCount()) continue;
        const bool header = e.isHeader();
        bool& hover = header ? g->bHover : g->aItems[e.item - 1].bHover;
        const bool on = ebHits(header ? g->rcHeader : g->aItems[e.item - 1].rcItem, point);
        if (on == hover) continue;
        hover = on;
        if (header) g->iHeaderState = on ? 2 : 1;
        redrawElement(e.group, e.item, on ? 2 : 1);
        const QString groupKey = m_model.groupKey(e.group);
        const QString key = header ? QString() : g->aItems[e.item - 1].sKey;
        if (header) {
            if (on) emit GroupHover(groupKey);
            else emit GroupOut(groupKey);
        } else {
            if (on) emit ItemHover(groupKey, key);
            else emit ItemOut(groupKey, key);
        }
    }
    if (!self) return;
    bool any = false;
    for (const EbElement& e : ebElements(m_model)) {
        const typExplorerBarGroup* g = m_model.groupRecord(e.group);
        any = any || (e.isHeader() ? g->bHover : g->aItems[e.item - 1].bHover);
    }
    if (any) setCursor(Qt::PointingHandCursor);
    else unsetCursor();
}

void ExplorerBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || event->buttons() != Qt::LeftButton) return;
    const QPoint point = event->position().toPoint();
    for (const EbElement& e : ebElements(m_model)) {
        if (!ebHits(e.rect, point)) continue;
        if (e.isHeader()) m_model.groupRecord(e.group)->iHeaderState = 3;
        redrawElement(e.group, e.item, 3);
        break;
    }
}

void ExplorerBar::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointer<ExplorerBar> self(this);
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton && event->buttons() == Qt::NoButton) {
        // Elements never overlap, so the first one under the point is the only one; stopping
        // there also keeps the scan off a structure that the handler may have changed.
        for (const EbElement& e : ebElements(m_model)) {
            if (!ebHits(e.rect, point)) continue;
            typExplorerBarGroup* g = m_model.groupRecord(e.group);
            if (e.isHeader()) {
                g->bExpanded = !g->bExpanded;
                g->iHeaderState = 2;
                const bool expanded = g->bExpanded;
                userControlPaint();
                emit GroupClick(e.group, expanded);
            } else {
                redrawElement(e.group, e.item, 2);
                const QString groupKey = m_model.groupKey(e.group);
                const QString itemKey = g->aItems[e.item - 1].sKey;
                emit ItemClick(groupKey, itemKey);
            }
            break;
        }
    }
    if (self) hoverPass(point);
}

void ExplorerBar::mouseMoveEvent(QMouseEvent* event)
{
    hoverPass(event->position().toPoint());
}

void ExplorerBar::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    if (m_bMouseInside) return;
    m_bMouseInside = true;
    userControlPaint();
    emit MouseOver();
}

void ExplorerBar::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    const QPointer<ExplorerBar> self(this);
    if (m_bMouseInside) {
        m_bMouseInside = false;
        emit MouseOut();
    }
    if (self) hoverPass(QPoint(1, 1));
}

// Wheels send 120 units a notch, touchpads and fine wheels less at a time; every 120 units
// scroll 32 pixels, and the rest waits for the next turn. A key or button held means the wheel
// is meant for something else.
void ExplorerBar::wheelEvent(QWheelEvent* event)
{
    event->accept();
    if (!m_scroll.visible || event->modifiers() != Qt::NoModifier || event->buttons() != Qt::NoButton) {
        m_wheelRemainder = 0;
        return;
    }
    m_wheelRemainder += event->angleDelta().y() * 32;
    const int pixels = m_wheelRemainder / 120;
    m_wheelRemainder -= pixels * 120;
    if (pixels == 0) return;
    const int value = std::clamp(m_ScrollBar->value() - pixels, m_ScrollBar->minimum(), m_ScrollBar->maximum());
    if (value == m_ScrollBar->minimum() || value == m_ScrollBar->maximum()) m_wheelRemainder = 0;
    m_ScrollBar->setValue(value);
}

} // namespace tf
