#pragma once

#include "clients/PopularityClient.h"

#include <QAbstractTableModel>
#include <QList>

// The loaded top terms as table rows: term, popularity, genre and rank in genre. Each column
// hands its sort key to the proxy under sortRole, so sorting never compares display text.
class ResearchTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { termColumn, popularityColumn, genreColumn, rankColumn, columnCount_ };
    // The column's sort key: term, popularity, genre title, or the rank with unranked terms last.
    static constexpr int sortRole = Qt::UserRole + 1;
    // The row's identity: its term.
    static constexpr int termRole = Qt::UserRole + 2;

    using QAbstractTableModel::QAbstractTableModel;

    // The narrowest the column may be dragged.
    static int minimumWidth(int column);

    void setItems(const QList<TopTerm> &items);
    QList<TopTerm> items() const { return m_items; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<TopTerm> m_items;
    QStringList m_genreTitles;
};
