#include "controls/modFontsCombo.h"

#include "platform/ui/msgbox.h"

#include <QComboBox>
#include <QFontDatabase>

namespace tf {

namespace {

std::optional<QStringList> installedFonts(bool)
{
    return QFontDatabase::families();
}

FontNameSource& source()
{
    static FontNameSource current = installedFonts;
    return current;
}

} // namespace

void setFontNameSource(FontNameSource newSource)
{
    source() = newSource ? std::move(newSource) : FontNameSource(installedFonts);
}

} // namespace tf

bool fncLoadFontsCombo(QComboBox* combo, bool families)
{
    if (!combo) return false;
    combo->clear();
    combo->clearEditText();
    const std::optional<QStringList> names = tf::source()(families);
    if (!names) {
        MsgBox(QStringLiteral("Failed to get font info"), vbOKOnly);
        return false;
    }
    QStringList listed;
    listed.reserve(names->size());
    for (const QString& name : *names)
        if (!name.isEmpty()) listed.push_back(name);
    if (listed.isEmpty()) return true;
    combo->addItems(listed);
    combo->setCurrentIndex(0);
    return true;
}
