#pragma once
#include <QStringList>
#include <functional>
#include <optional>

class QComboBox;

// Fills the combo box with the names of the installed fonts in the order the font system gives
// them (no sorting, no removal of repeats, empty names skipped) and selects the first. By family
// when `families` is true, by font otherwise; fontconfig knows one list for both. False, after the
// message "Failed to get font info", when the fonts cannot be listed; true otherwise, also when
// there are none (the box then stays empty and shows no text).
bool fncLoadFontsCombo(QComboBox* combo, bool families);

namespace tf {

// Where the names come from: nullopt means the listing failed. Tests put their own in place;
// an empty function restores the font database.
using FontNameSource = std::function<std::optional<QStringList>(bool families)>;
void setFontNameSource(FontNameSource source);

} // namespace tf
