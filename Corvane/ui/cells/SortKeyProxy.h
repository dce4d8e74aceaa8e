#pragma once

#include <QSortFilterProxyModel>

// Sorts a table by the key each column hands over under the sort role, never by what a cell
// shows: texts in plain code-point order (case-sensitive), numbers by value. Rows with equal keys
// keep the source order in either direction, however often the table was sorted before.
class SortKeyProxy : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    SortKeyProxy(int sortRole, QObject *parent = nullptr);

    // The proxy row whose `role` data is `id`; -1 when none.
    int rowOf(const QString &id, int role) const;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
};
