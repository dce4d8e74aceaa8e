#pragma once

#include <QSortFilterProxyModel>

// Sorts the research rows by their sort keys. Rows with equal keys keep the order of the
// source model in either direction, however often the table was sorted before.
class ResearchSortModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
};
