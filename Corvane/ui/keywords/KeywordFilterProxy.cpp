#include "ui/keywords/KeywordFilterProxy.h"

#include "support/Unicode.h"
#include "ui/keywords/KeywordTableModel.h"

KeywordFilterProxy::KeywordFilterProxy(QObject *parent) : QSortFilterProxyModel(parent)
{
    setSortRole(KeywordTableModel::SortRole);
    setDynamicSortFilter(true);
}

void KeywordFilterProxy::setFilter(KeywordFilter filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    invalidateRowsFilter();
}

void KeywordFilterProxy::setSearch(const QString &search)
{
    if (search == m_search)
        return;
    m_search = search;
    const auto query = KeywordFilters::query(search);
    if (query == m_query)
        return;
    m_query = query;
    invalidateRowsFilter();
}

int KeywordFilterProxy::rowOf(const QString &id) const
{
    for (int row = 0; row < rowCount(); ++row) {
        if (index(row, 0).data(KeywordTableModel::IdRole).toString() == id)
            return row;
    }
    return -1;
}

bool KeywordFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const auto *model = qobject_cast<const KeywordTableModel *>(sourceModel());
    if (!model || sourceRow >= model->rows().size())
        return false;
    const auto &row = model->rows().at(sourceRow);
    return KeywordFilters::keeps(m_filter, row.state) && KeywordFilters::matches(row, m_query);
}

bool KeywordFilterProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const auto a = left.data(sortRole());
    const auto b = right.data(sortRole());
    // Keywords in plain code-point order, case-sensitive, as the store's text order.
    if (left.column() == KeywordTableModel::keyword) {
        if (const int order = Unicode::compare(a.toString(), b.toString()))
            return order < 0;
    } else if (a.toLongLong() != b.toLongLong()) {
        return a.toLongLong() < b.toLongLong();
    }
    // Equal keys keep the store's order in either direction, whatever the previous sort left.
    return sortOrder() == Qt::AscendingOrder ? left.row() < right.row() : left.row() > right.row();
}
