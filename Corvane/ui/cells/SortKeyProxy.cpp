#include "ui/cells/SortKeyProxy.h"

#include "support/Unicode.h"

SortKeyProxy::SortKeyProxy(int sortRole, QObject *parent) : QSortFilterProxyModel(parent)
{
    setSortRole(sortRole);
    setDynamicSortFilter(true);
}

int SortKeyProxy::rowOf(const QString &id, int role) const
{
    for (int row = 0; row < rowCount(); ++row) {
        if (index(row, 0).data(role).toString() == id)
            return row;
    }
    return -1;
}

bool SortKeyProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const auto a = left.data(sortRole());
    const auto b = right.data(sortRole());
    switch (a.typeId()) {
    case QMetaType::QString:
        if (const int order = Unicode::compare(a.toString(), b.toString()))
            return order < 0;
        break;
    case QMetaType::Double:
        if (a.toDouble() != b.toDouble())
            return a.toDouble() < b.toDouble();
        break;
    default:
        if (a.toLongLong() != b.toLongLong())
            return a.toLongLong() < b.toLongLong();
        break;
    }
    // Descending sorts ask with the two swapped, so this keeps the source order both ways.
    return sortOrder() == Qt::AscendingOrder ? left.row() < right.row() : left.row() > right.row();
}
