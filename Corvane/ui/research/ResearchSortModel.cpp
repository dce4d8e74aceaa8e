#include "ui/research/ResearchSortModel.h"

#include "support/Unicode.h"

bool ResearchSortModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const auto a = left.data(sortRole());
    const auto b = right.data(sortRole());
    if (a.typeId() == QMetaType::QString) {
        // Plain text order, by code point.
        if (const int order = Unicode::compare(a.toString(), b.toString()))
            return order < 0;
    } else if (a.toLongLong() != b.toLongLong()) {
        return a.toLongLong() < b.toLongLong();
    }
    // The proxy keeps ties in the order of the previous sort; the source order is wanted. A
    // descending sort asks with the two rows swapped, hence the turned comparison.
    return sortOrder() == Qt::AscendingOrder ? left.row() < right.row() : left.row() > right.row();
}
