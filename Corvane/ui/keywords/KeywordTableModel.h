#pragma once

#include "store/KeywordRow.h"
#include "ui/cells/CellContents.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QString>

#include <functional>

class ASOStore;

// The keyword rows of one tracked app in one storefront, as the store builds them. Held by the
// app's ID: every read looks the app up again, so a removed app simply has no rows. Read again
// whenever the store's data version changes.
class KeywordTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { keyword, popularity, difficulty, opportunity, rank, change, checked, columns };

    enum Role {
        // What the column sorts by: the keyword text, else a qint64 key (times in ms since the epoch).
        SortRole = Qt::UserRole + 1,
        IdRole,      // the row's normal form
        StateRole,   // its RankingState as int
        SourcesRole, // the labels of its sources joined by " · "
    };

    KeywordTableModel(ASOStore *store, QString appleAppId, QString country, QObject *parent = nullptr);

    QString appleAppId() const { return m_appleAppId; }
    QString country() const { return m_country; }
    void setCountry(const QString &country);

    const QList<KeywordRow> &rows() const { return m_rows; }
    // Replaces the rows: removes, inserts and updates rows in place where it can, and resets only
    // when kept rows changed their order. reload() passes the store's.
    void setRows(QList<KeywordRow> rows);
    // Reads the rows from the store again.
    void reload();
    // Relative reading times drift as time passes; this redraws them.
    void refreshTimes();
    // The clock of the relative times; the system clock unless replaced.
    void setNow(std::function<QDateTime()> now) { m_now = std::move(now); }

    // The key a numeric column sorts by (times in ms since the epoch); 0 for the others.
    static qint64 sortKey(const KeywordRow &row, int column);

    // Cells that only this table shows.
    static CellContent opportunityCell(const KeywordRow &row);
    static CellContent checkedCell(const KeywordRow &row, const QDateTime &now);
    static QString sourceLabels(const KeywordRow &row);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QPointer<ASOStore> m_store;
    const QString m_appleAppId;
    QString m_country;
    QList<KeywordRow> m_rows;
    std::function<QDateTime()> m_now = [] { return QDateTime::currentDateTimeUtc(); };
};
