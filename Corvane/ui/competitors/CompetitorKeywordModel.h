#pragma once

#include "ui/cells/CellContents.h"
#include "workflows/CompetitorKeywordRow.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

// Keyword rows of an app set against a competitor, as the store builds them: the keyword, both
// ranks, who leads, popularity and difficulty. Every column hands its sort key to the proxy.
class CompetitorKeywordModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { keyword, myRank, theirRank, difference, popularity, difficulty, columns };

    enum Role {
        // The keyword text, else a qint64 key of CompetitorKeywordRow.
        SortRole = Qt::UserRole + 1,
        IdRole, // the row's normal form
    };

    using QAbstractTableModel::QAbstractTableModel;

    const QList<CompetitorKeywordRow> &rows() const { return m_rows; }
    // Replaces the rows (a reset).
    void setRows(QList<CompetitorKeywordRow> rows);
    // The help text of the "Their rank" cells.
    void setCompetitorName(const QString &name);

    // "#N" when found at a rank, else the state badge with the search's sample size.
    static CellContent rankCell(const KeywordGap::Position &position, std::optional<int> sampleSize);
    // The difference always shows the distance; arrow, colour and help text tell the direction.
    static CellContent leadCell(const KeywordGap::Lead &lead);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<CompetitorKeywordRow> m_rows;
    QString m_competitorName;
};
