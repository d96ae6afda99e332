#pragma once
// What the two builder dialogs share: colour buttons that show and keep their colour, and the
// link to the maker's samples.
#include "controls/hyperlink.h"
#include "platform/sys/colors.h"
#include "version_info.h"
#include "services/modCommonDialog.h"
#include "services/modGenericFunctions.h"

#include <QPushButton>

namespace tf::players {

inline void setButtonColor(QPushButton* button, OleColor color)
{
    button->setProperty("oleColor", color);
    button->setStyleSheet(QStringLiteral("background-color: %1").arg(colorFromOle(color).name()));
}

inline OleColor buttonColor(const QPushButton* button) { return button->property("oleColor").toInt(); }

// A button whose click lets the user pick its colour; a cancelled dialog changes nothing.
inline QPushButton* colorButton(QWidget* parent, const char* name, OleColor color)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFixedSize(40, 22);
    setButtonColor(button, color);
    QObject::connect(button, &QPushButton::clicked, button, [button] {
        const typColorResult chosen = fncShowColor(button->window());
        if (!chosen.blnCancelled && chosen.lngColor >= 0) setButtonColor(button, chosen.lngColor);
    });
    return button;
}

inline Hyperlink* samplesLink(QWidget* parent, const char* subcat)
{
    auto* link = new Hyperlink(parent);
    link->setObjectName(QStringLiteral("lblVarnel7"));
    link->setCaption(QStringLiteral("More samples on the web"));
    const QString target = QString::fromUtf8(version::kHomePage) +
                           QStringLiteral("quenbylabs/index.php?cat=samples&subcat=") + QString::fromLatin1(subcat);
    QObject::connect(link, &Hyperlink::clicked, link, [target] { subShellOpen(target); });
    return link;
}

} // namespace tf::players
