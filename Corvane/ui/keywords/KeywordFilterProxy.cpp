#include "ui/keywords/KeywordFilterProxy.h"

#include "support/Unicode.h"
#include "ui/keywords/KeywordTableModel.h"

#include <algorithm>

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
    const auto *model = qobject_cast<const KeywordTableModel *>(sourceModel());
    if (!model)
        return -1;
    const auto &rows = model->rows();
    const auto found = std::find_if(rows.cbegin(), rows.cend(), [&id](const KeywordRow &row) { return row.id == id; });
    if (found == rows.cend())
        return -1;
    return mapFromSource(model->index(int(found - rows.cbegin()), 0)).row();
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
    // Straight from the rows: a sort of thousands of rows makes tens of thousands of comparisons.
    const auto &rows = static_cast<const KeywordTableModel *>(sourceModel())->rows();
    const auto &a = rows.at(left.row());
    const auto &b = rows.at(right.row());
    // Keywords in plain code-point order, case-sensitive, as the store's text order.
    if (left.column() == KeywordTableModel::keyword) {
        if (const int order = Unicode::compare(a.keyword, b.keyword))
            return order < 0;
    } else if (const auto keyA = KeywordTableModel::sortKey(a, left.column()),
               keyB = KeywordTableModel::sortKey(b, left.column());
               keyA != keyB) {
        return keyA < keyB;
    }
    // Equal keys keep the store's order in either direction, whatever the previous sort left.
    return sortOrder() == Qt::AscendingOrder ? left.row() < right.row() : left.row() > right.row();
}
