#pragma once

#include <QHeaderView>

#include <algorithm>
#include <span>

// Column widths in the competitor tables: each column starts at its ideal width, or wider when
// its title needs it, and is never dragged below its minimum; the last one takes the rest of
// the row.
struct ColumnWidth
{
    int minimum;
    int ideal;
};

inline void applyColumnWidths(QHeaderView *header, std::span<const ColumnWidth> widths)
{
    header->setStretchLastSection(true);
    int smallest = widths.empty() ? 0 : widths.front().minimum;
    for (const auto &width : widths)
        smallest = std::min(smallest, width.minimum);
    header->setMinimumSectionSize(smallest);
    for (int column = 0; column < int(widths.size()); ++column)
        header->resizeSection(column, std::max(widths[column].ideal, header->sectionSizeHint(column)));
    QObject::connect(header, &QHeaderView::sectionResized, header, [header, widths](int column, int, int size) {
        if (column < int(widths.size()) && size < widths[column].minimum)
            header->resizeSection(column, widths[column].minimum);
    });
}
