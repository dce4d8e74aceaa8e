#pragma once

#include "keywords/KeywordGap.h"
#include "ui/cells/CellContents.h"

#include <QAbstractTableModel>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// The suggested competitors of an app: untracked apps that rank in the top 20 of several of its
// keywords, with what they share, their average rank and ratings, and whether the track action
// of the row runs or may be taken. Every sortable column hands its sort key to the proxy.
class SuggestedCompetitorsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { app, shared, averageRank, ratings, track, columns };

    enum Role {
        // The name, else the number the column sorts by.
        SortRole = Qt::UserRole + 1,
        IdRole,       // the row's app ID
        CaptionRole,  // maker and genre, those known, joined by " · "
        IconRole,     // the icon's address (QUrl), invalid when unknown
        TrackingRole, // whether the row's track action runs
        TrackableRole, // whether the row's track action may be taken now
    };

    using QAbstractTableModel::QAbstractTableModel;

    const QList<KeywordGap::Suggestion> &rows() const { return m_rows; }
    // Replaces the rows (a reset).
    void setRows(QList<KeywordGap::Suggestion> rows);
    // Writes a row's shared-keywords help text, asked for only when the tooltip shows: a row may
    // share thousands of keywords.
    void setSharedHelp(std::function<QString(const KeywordGap::Suggestion &)> help) { m_sharedHelp = std::move(help); }
    void setTracking(const QSet<QString> &appleAppIds);
    // Why no track action may be taken now (the store holds writes), the buttons' tooltip; empty
    // while they may.
    void setRefusal(const QString &reason);

    static QString caption(const KeywordGap::Suggestion &row);
    // "In the top 20 for: " and the keywords as `display` writes them.
    static QString sharedHelp(const KeywordGap::Suggestion &row, const std::function<QString(const QString &)> &display);
    static CellContent sharedCell(const KeywordGap::Suggestion &row);
    static CellContent averageRankCell(const KeywordGap::Suggestion &row);
    static CellContent ratingsCell(const KeywordGap::Suggestion &row);
    static QString trackTitle(bool tracking);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void buttonsChanged();

    QList<KeywordGap::Suggestion> m_rows;
    std::function<QString(const KeywordGap::Suggestion &)> m_sharedHelp;
    QSet<QString> m_tracking;
    QString m_refusal;
};
