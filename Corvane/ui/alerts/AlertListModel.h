#pragma once

#include "model/RankAlert.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QHash>
#include <QList>

#include <functional>
#include <QString>

// The alerts list in two levels: one row per local day, newest first, whose children are that
// day's alerts in the given order. Day rows show the day's long date and cannot be selected;
// alert rows carry their alert under AlertRow::alertRole.
class AlertListModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    struct Day
    {
        // In local time.
        QDate day;
        // Newest first.
        QList<RankAlert> items;
    };

    explicit AlertListModel(QObject *parent = nullptr);

    // Replaces every row (a reset).
    void setDays(QList<Day> days);
    // Puts alerts newer than any listed on top of the newest day, as inserted rows; false, with
    // nothing changed, when they belong to a day not listed yet.
    bool addNewest(const Day &day);
    // Takes over the read flags of the listed alerts, by row id.
    void setReadFlags(const QHash<qint64, bool> &flags);
    // Takes these alerts out of the list, and the days left empty; the rows that stay keep their
    // selection and expansion.
    void removeAlerts(const std::function<bool(const RankAlert &)> &gone);
    // Every listed alert, newest first.
    qsizetype alertCount() const;
    bool hasUnread() const;
    // The alert of an alert row; null for a day row or an invalid index.
    const RankAlert *alertAt(const QModelIndex &index) const;
    // The row of the alert with this id; invalid when it is not listed.
    QModelIndex indexOf(const QUuid &id) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QList<Day> m_days;
    QStringList m_titles;
};
