#include "ui/research/ResearchSortModel.h"

bool ResearchSortModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    if (QSortFilterProxyModel::lessThan(left, right))
        return true;
    if (QSortFilterProxyModel::lessThan(right, left))
        return false;
    // The proxy keeps ties in the order of the previous sort; the source order is wanted. A
    // descending sort asks with the two rows swapped, hence the turned comparison.
    return sortOrder() == Qt::AscendingOrder ? left.row() < right.row() : left.row() > right.row();
}
