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
// panels want (a small window), every panel gives way in proportion, so none overlaps another.
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
    int total = 0;
    for (const Panel& p : std::as_const(m_panels)) total += wanted(p);
    const int spacing = layout() ? layout()->spacing() * static_cast<int>(m_panels.size() + 1) : 0;
    const int grip = isSizeGripEnabled() ? 20 : 0;
    const int room = std::max(0, contentsRect().width() - spacing - grip);
    const double share = total > room && total > 0 ? double(room) / total : 1.0;
    for (const Panel& p : std::as_const(m_panels)) {
        p.box->setMinimumWidth(static_cast<int>(wanted(p) * share));
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
