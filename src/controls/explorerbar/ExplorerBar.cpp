#include "controls/explorerbar/ExplorerBar.h"

#include "controls/explorerbar/ExplorerBarPaint.h"
#include "platform/ui/msgbox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
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
    connect(m_ScrollBar, &QScrollBar::valueChanged, this, [this](int value) {
        m_model.m_iScrollValue = value;
        userControlPaint();
    });
    setMouseTracking(true);
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
    m_hover = {};
    m_pressed = {};
    unsetCursor();
    // The emptied bar is drawn once even while painting is off; the switch itself is kept.
    const bool paintEnabled = m_model.m_bPaintEnabled;
    m_model.m_bPaintEnabled = true;
    placeContent();
    if (isVisible()) repaint();
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
            m_hosted.push_back({child, home, home != nullptr});
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

void ExplorerBar::userControlPaint()
{
    placeContent();
    if (m_model.m_bPaintEnabled) update();
}

void ExplorerBar::placeContent()
{
    if (m_placing) return;
    m_placing = true;
    const int barWidth = m_ScrollBar->sizeHint().width();
    int clientWidth = width();
    int total = ebLayout(m_model, clientWidth, 0, font());
    const bool needBar = total > height();
    if (needBar) {
        clientWidth = std::max(0, width() - barWidth);
        total = ebLayout(m_model, clientWidth, 0, font());
    }
    const int maxScroll = std::max(0, total - height());
    m_model.m_iScrollValue = std::clamp(m_model.m_iScrollValue, 0, maxScroll);
    {
        const QSignalBlocker blocker(m_ScrollBar);
        m_ScrollBar->setRange(0, maxScroll);
        m_ScrollBar->setPageStep(std::max(1, height()));
        m_ScrollBar->setSingleStep(20);
        m_ScrollBar->setValue(m_model.m_iScrollValue);
    }
    m_ScrollBar->setGeometry(width() - barWidth, 0, barWidth, height());
    m_ScrollBar->setVisible(needBar);
    if (m_model.m_iScrollValue != 0) ebLayout(m_model, clientWidth, m_model.m_iScrollValue, font());

    QVector<int> all{ExplorerBarModel::kSpecialGroup, ExplorerBarModel::kDetailsGroup};
    for (int i = 1; i <= m_model.groupCount(); ++i) all.push_back(i);
    for (int number : all) {
        const typExplorerBarGroup& group = *m_model.groupRecord(number);
        if (!group.pChild) continue;
        const QRect body = ebBodyRect(group);
        if (!body.isNull()) group.pChild->setGeometry(body);
        group.pChild->setVisible(!body.isNull());
    }
    m_hosted.removeIf([](const Hosted& h) { return !h.child; });
    if (!isCurrent(m_hover)) m_hover = {};
    if (!isCurrent(m_pressed)) m_pressed = {};
    m_placing = false;
}

void ExplorerBar::paintEvent(QPaintEvent*)
{
    if (!m_model.m_bPaintEnabled) return;
    QPainter painter(this);
    ebPaint(painter, m_model, rect(), palette(), font());
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
    // A hosted panel that changes its height moves the groups below it.
    if (event->type() == QEvent::Resize && !m_placing) userControlPaint();
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

bool ExplorerBar::isCurrent(const EbHit& hit) const
{
    if (hit.isNothing()) return true;
    const typExplorerBarGroup* group = m_model.groupRecord(hit.group);
    return group && !group->rcHeader.isNull() && hit.item >= 0 && hit.item <= group->iItemCount();
}

QString ExplorerBar::itemKey(const EbHit& hit) const
{
    const typExplorerBarGroup* group = m_model.groupRecord(hit.group);
    return group && hit.item >= 1 && hit.item <= group->iItemCount() ? group->aItems[hit.item - 1].sKey : QString();
}

void ExplorerBar::setHover(const EbHit& hit)
{
    if (hit == m_hover) return;
    const EbHit old = m_hover;
    m_hover = hit;
    if (typExplorerBarGroup* group = m_model.groupRecord(old.group)) {
        const QString key = m_model.groupKey(old.group);
        if (old.isHeader()) {
            group->bHover = false;
            group->iHeaderState = 1;
            emit GroupOut(key);
        } else if (old.item <= group->iItemCount()) {
            group->aItems[old.item - 1].bHover = false;
            emit ItemOut(key, itemKey(old));
        }
    }
    if (typExplorerBarGroup* group = m_model.groupRecord(hit.group)) {
        const QString key = m_model.groupKey(hit.group);
        if (hit.isHeader()) {
            group->bHover = true;
            group->iHeaderState = m_pressed == hit ? 3 : 2;
            emit GroupHover(key);
        } else if (hit.item <= group->iItemCount()) {
            group->aItems[hit.item - 1].bHover = true;
            emit ItemHover(key, itemKey(hit));
        }
    }
    if (hit.isNothing()) unsetCursor();
    else setCursor(Qt::PointingHandCursor);
    if (m_model.m_bPaintEnabled) update();
}

void ExplorerBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    m_pressed = ebHitTest(m_model, event->position().toPoint());
    if (m_pressed.isHeader()) {
        m_model.groupRecord(m_pressed.group)->iHeaderState = 3;
        if (m_model.m_bPaintEnabled) update();
    }
}

void ExplorerBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    const EbHit pressed = m_pressed;
    m_pressed = {};
    const EbHit hit = ebHitTest(m_model, event->position().toPoint());
    if (typExplorerBarGroup* group = m_model.groupRecord(pressed.group); group && pressed.isHeader())
        group->iHeaderState = hit == pressed ? 2 : 1;
    if (hit.isNothing() || !(hit == pressed)) {
        if (m_model.m_bPaintEnabled) update();
        return;
    }
    if (hit.isHeader()) {
        m_model.ExpandGroup(hit.group);
        const bool expanded = m_model.groupRecord(hit.group)->bExpanded;
        userControlPaint();
        emit GroupClick(hit.group, expanded);
    } else {
        emit ItemClick(m_model.groupKey(hit.group), itemKey(hit));
    }
}

void ExplorerBar::mouseMoveEvent(QMouseEvent* event)
{
    setHover(ebHitTest(m_model, event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
}

void ExplorerBar::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    emit MouseOver();
}

void ExplorerBar::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    setHover({});
    emit MouseOut();
}

void ExplorerBar::wheelEvent(QWheelEvent* event)
{
    if (m_ScrollBar->isVisible()) QCoreApplication::sendEvent(m_ScrollBar, event);
    else event->ignore();
}

} // namespace tf
