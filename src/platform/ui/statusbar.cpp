#include "platform/ui/statusbar.h"

#include <QHBoxLayout>

#include <algorithm>

namespace tf {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(true);
}

void StatusBar::addPanel(const QString& key, int minimumWidth, int stretch)
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
    p.wholeText = stretch == 0;
    p.picture = new QLabel(box);
    p.picture->hide();
    p.text = new QLabel(box);
    p.text->setObjectName(key);
    p.text->setTextFormat(Qt::PlainText);
    layout->addWidget(p.picture);
    layout->addWidget(p.text, 1);
    box->setMinimumWidth(minimumWidth);
    addPermanentWidget(box, stretch);
    m_panels.insert(key, p);
}

// The bar's layout takes a panel without stretch down to its minimum width whenever another
// panel has stretch, so that minimum follows the text.
void StatusBar::fitToContents(const Panel& panel)
{
    if (panel.wholeText) panel.box->setMinimumWidth(std::max(panel.minimumWidth, panel.box->sizeHint().width()));
}

void StatusBar::setPanelText(const QString& key, const QString& text)
{
    const auto it = m_panels.constFind(key);
    if (it == m_panels.constEnd()) return;
    it->text->setText(text);
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
