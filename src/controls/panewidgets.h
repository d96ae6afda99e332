#pragma once
// The small pieces every pane is built from, made alike in every area: the caption strip across a
// pane's top and the tool buttons, which take the focus by Tab only so that a click leaves it on
// the list the user works in.
#include <QRect>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace tf {

inline constexpr int kPaneCaptionHeight = 26;

QLabel* makePaneCaption(QWidget* parent, const QString& name, const QString& text);
QPushButton* makePaneButton(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                            const QString& toolTip = QString());

} // namespace tf
