#pragma once

#include "ui/keywords/KeywordFilter.h"

#include <QSortFilterProxyModel>

// Narrows a KeywordTableModel to the status filter and the search, and sorts by the columns'
// sort keys (never by what a cell shows). Rows with equal keys keep the store's order in either
// direction.
class KeywordFilterProxy : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit KeywordFilterProxy(QObject *parent = nullptr);

    KeywordFilter filter() const { return m_filter; }
    void setFilter(KeywordFilter filter);
    QString search() const { return m_search; }
    void setSearch(const QString &search);

    // The proxy row of the keyword with this normal form; -1 when it is not shown.
    int rowOf(const QString &id) const;

protected:
    // Over a KeywordTableModel only.
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    KeywordFilter m_filter = KeywordFilter::all;
    QString m_search;
    QString m_query;
};
