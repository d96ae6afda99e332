#include "platform/ui/tabstrip.h"

#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>

namespace tf {

TabStrip::TabStrip(QWidget* parent) : QWidget(parent), m_tabs(new QTabBar(this))
{
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    m_tabs->setUsesScrollButtons(true);
    connect(m_tabs, &QTabBar::currentChanged, this, [this] { emit Click(); });
}

int TabStrip::addTab(const QString& caption)
{
    const QSignalBlocker quiet(m_tabs); // adding the first tab selects it; that is no click
    m_tabs->addTab(caption);
    m_tabs->resize(std::min(width(), m_tabs->sizeHint().width()), tabRowHeight());
    return TabCount();
}

int TabStrip::TabCount() const { return m_tabs->count(); }

QString TabStrip::TabCaption(int index) const { return m_tabs->tabText(index - 1); }

int TabStrip::SelectedIndex() const { return m_tabs->currentIndex() + 1; }

void TabStrip::setSelectedIndex(int index)
{
    if (index >= 1 && index <= TabCount()) m_tabs->setCurrentIndex(index - 1);
}

int TabStrip::tabRowHeight() const { return m_tabs->sizeHint().height(); }

void TabStrip::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_tabs->setGeometry(0, 0, std::min(width(), m_tabs->sizeHint().width()), tabRowHeight());
}

void TabStrip::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_tabs->size();
    frame.tabBarRect = m_tabs->geometry();
    const int row = tabRowHeight();
    // The tabs overlap the frame's top line by the style's overlap, as in a tab widget.
    const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
    frame.rect = QRect(0, row - overlap, width(), height() - row + overlap);
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, frame);
}

} // namespace tf
