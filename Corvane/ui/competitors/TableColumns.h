#pragma once

#include <QList>

#include <span>

class QTableView;

// The smallest and the ideal width of a column of the competitor tables.
struct ColumnWidth
{
    int minimum;
    int ideal;
};

namespace TableColumns {

// The widths of the columns in a viewport `room` wide: each column wants its ideal width, or its
// title's (`titles`) when wider; while the room is short of that, every column gives up the same
// share of what it has above its minimum (or its title, when wider), so that the table needs no
// horizontal scrolling as long as those fit.
QList<int> fitted(std::span<const ColumnWidth> widths, std::span<const int> titles, int room);

// Sizes the table's columns to its viewport now and whenever the viewport's width changes, until
// the user drags a column; the last column takes the rest of the row, and no column is dragged
// below its minimum.
void apply(QTableView *table, std::span<const ColumnWidth> widths);

}
