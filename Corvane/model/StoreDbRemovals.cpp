#include "model/RemovedApps.h"
#include "model/StoreDb.h"

#include <QSqlQuery>

// Removing an app in bounded steps, and where a removal cut short is found again.

bool StoreDb::beginRemoval(const TrackedApp &app)
{
    rowsChanged({.appleAppId = app.appleAppId});
    StoreMeta marker(RemovedApps::markerPrefix + app.appleAppId, app.persistentId);
    const bool saved = insert(marker);
    // Its alerts leave the reads with it.
    m_alertsMark.removed += saved;
    return saved;
}

QList<StoreDb::AppRemoval> StoreDb::appRemovals()
{
    QList<AppRemoval> result;
    select(QStringLiteral("SELECT substr(key, ?), value FROM store_meta WHERE key GLOB ? ORDER BY pk"),
           {RemovedApps::markerPrefix.size() + 1, RemovedApps::markerPrefix + u'*'}, [&](const QSqlQuery &query) {
               result.append({query.value(1).toLongLong(), query.value(0).toString()});
           });
    return result;
}

qint64 StoreDb::removeSome(const QString &table, const QString &condition, const QVariant &value, qint64 limit)
{
    return writeCounted(QStringLiteral("DELETE FROM %1 WHERE pk IN (SELECT pk FROM %1 WHERE %2 = ? LIMIT ?)")
                            .arg(table, condition),
                        {value, limit});
}

qint64 StoreDb::continueRemoval(const AppRemoval &removal, qint64 limit)
{
    // Each through its index on the app; alerts and rank states name the app by its ID, snapshots
    // and links by its row.
    const std::initializer_list<std::tuple<QString, QString, QVariant>> steps = {
        {QStringLiteral("rank_alert"), QStringLiteral("apple_app_id"), removal.appleAppId},
        {QStringLiteral("rank_state"), QStringLiteral("apple_app_id"), removal.appleAppId},
        {QStringLiteral("rank_snapshot"), QStringLiteral("app_pk"), removal.appPersistentId},
        {QStringLiteral("keyword_link"), QStringLiteral("app_pk"), removal.appPersistentId},
    };
    for (const auto &[table, column, value] : steps) {
        if (const auto removed = removeSome(table, column, value, limit); removed != 0)
            return removed;
    }
    // Nothing of it is left to cascade: the app and the record of its removal go in one save.
    Transaction save(*this);
    writeCounted(QStringLiteral("DELETE FROM tracked_app WHERE pk = ?"), {removal.appPersistentId});
    removeMeta(RemovedApps::markerPrefix + removal.appleAppId);
    return save.commit() ? 0 : -1;
}
