#include "controls/panewidgets.h"

#include <QLabel>
#include <QPushButton>

namespace tf {

QLabel* makePaneCaption(QWidget* parent, const QString& name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setProperty("paneCaption", true);
    label->setGeometry(0, 0, 200, kPaneCaptionHeight);
    return label;
}

QPushButton* makePaneButton(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                            const QString& toolTip)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::TabFocus);
    if (!toolTip.isEmpty()) button->setToolTip(toolTip);
    return button;
}

} // namespace tf
