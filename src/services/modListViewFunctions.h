#pragma once

class QAbstractItemView;

// Switches a list between selecting whole rows and single cells; the rows already chosen stay
// chosen and show the new way at once. True when done; a missing list is reported in a message
// box and gives false.
bool fncListViewFullRowSelect(QAbstractItemView* lv, bool blnFullRow);
