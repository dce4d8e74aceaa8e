#pragma once

class QComboBox;

// A picker's open list is as wide as the picker, but its style may draw the entries with more
// room around them than the picker's own size hint leaves (a menu-like list keeps a column for
// check marks and icons), and then cuts the longest ones in the middle ("Enter…op 10").
namespace PickerWidth {

// The least width of the picker at which its list draws every entry whole, as the list's style
// and delegate draw entries, frames and scroll bar included.
int forWholeEntries(const QComboBox *picker);

// Keeps the picker at least forWholeEntries() wide, as its entries, font and style change.
void keepEntriesWhole(QComboBox *picker);

}
