#include "platform/ui/statusbar.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace tf {

QString ElidingLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void ElidingLabel::paintEvent(QPaintEvent* event)
{
    if (fontMetrics().horizontalAdvance(text()) <= contentsRect().width()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(), shownText(),
                          foregroundRole());
}

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(true);
}

void StatusBar::addPanel(const QString& key, int minimumWidth, int stretch, int maximumWidth)
{
    if (m_panels.contains(key)) return;
    auto* box = new QWidget(this);
    box->setObjectName(QStringLiteral("panel_") + key);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(3);
    Panel p;
    p.box = box;
    p.minimumWidth = minimumWidth;
    p.maximumWidth = maximumWidth > 0 ? std::max(maximumWidth, minimumWidth) : 0;
    p.wholeText = stretch == 0;
    p.picture = new QLabel(box);
    p.picture->hide();
    p.text = new ElidingLabel(box);
    p.text->setObjectName(key);
    p.text->setTextFormat(Qt::PlainText);
    // A bar too narrow for every text cuts texts rather than letting panels run into each other.
    p.text->setMinimumWidth(1);
    layout->addWidget(p.picture);
    layout->addWidget(p.text, 1);
    box->setMinimumWidth(minimumWidth);
    addPermanentWidget(box, stretch);
    m_panels.insert(key, p);
}

// The bar's layout takes a panel without stretch down to its minimum width whenever another
// panel has stretch, so that minimum follows the text. When the bar is narrower than what the
// panels want, the panels whose texts are shortened in the middle anyway (the folder's path, a
// capped file name) give way first, down to a few letters; the short exact texts ("1 page(s)",
// the size, the zoom) are cut only when that is not enough, and then every panel gives way in
// proportion, so none overlaps another.
void StatusBar::fitToContents(const Panel&)
{
    applyPanelWidths();
}

void StatusBar::applyPanelWidths()
{
    auto wanted = [](const Panel& p) {
        if (!p.wholeText) return p.minimumWidth;
        const int whole = std::max(p.minimumWidth, p.box->sizeHint().width());
        return p.maximumWidth > 0 ? std::min(whole, p.maximumWidth) : whole;
    };
    auto shortenable = [](const Panel& p) { return !p.wholeText || p.maximumWidth > 0; };
    // What a shortened text keeps: its picture and both ends of its text.
    auto shortest = [&](const Panel& p) {
        const int picture = !p.picture->isHidden() ? p.picture->sizeHint().width() + 3 : 0;
        return std::min(wanted(p), picture + p.text->fontMetrics().horizontalAdvance(QStringLiteral("ab…yz")) + 4);
    };
    int total = 0, spare = 0;
    for (const Panel& p : std::as_const(m_panels)) {
        total += wanted(p);
        if (shortenable(p)) spare += wanted(p) - shortest(p);
    }
    const int spacing = layout() ? layout()->spacing() * static_cast<int>(m_panels.size() + 1) : 0;
    const int grip = isSizeGripEnabled() ? 20 : 0;
    const int room = std::max(0, contentsRect().width() - spacing - grip);
    const int excess = std::max(0, total - room);
    // The share of its spare width each shortenable panel gives up, and then the share of what
    // is left that every panel keeps.
    const double given = spare > 0 ? std::min(1.0, double(excess) / spare) : 0.0;
    const int afterShortening = total - static_cast<int>(spare * given);
    const double kept = afterShortening > room && afterShortening > 0 ? double(room) / afterShortening : 1.0;
    for (const Panel& p : std::as_const(m_panels)) {
        int width = wanted(p);
        if (shortenable(p)) width -= static_cast<int>((width - shortest(p)) * given);
        p.box->setMinimumWidth(static_cast<int>(width * kept));
        // A capped panel must not grow past its cap either when the bar has room to spare.
        if (p.maximumWidth > 0) p.box->setMaximumWidth(p.box->minimumWidth());
    }
}

void StatusBar::resizeEvent(QResizeEvent* event)
{
    QStatusBar::resizeEvent(event);
    applyPanelWidths();
}

void StatusBar::setPanelText(const QString& key, const QString& text)
{
    const auto it = m_panels.constFind(key);
    if (it == m_panels.constEnd()) return;
    it->text->setText(text);
    const bool cut = it->maximumWidth > 0 && it->text->fontMetrics().horizontalAdvance(text) > it->maximumWidth;
    it->text->setToolTip(cut ? text : QString());
    fitToContents(*it);
}

QString StatusBar::panelText(const QString& key) const
{
    const QLabel* l = panel(key);
    return l ? l->text() : QString();
}

void StatusBar::setPanelPicture(const QString& key, const QPixmap& picture)
{
    const auto it = m_panels.constFind(key);
    if (it == m_panels.constEnd()) return;
    it->picture->setPixmap(picture);
    it->picture->setVisible(!picture.isNull());
    fitToContents(*it);
}

} // namespace tf
