#include "model/RemovedApps.h"
#include "model/StoreDb.h"

#include <QSqlQuery>

#include <algorithm>
#include <limits>

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

StoreDb::RemovalCursor StoreDb::removalCursor(const AppRemoval &removal)
{
    RemovalCursor cursor{removal.appPersistentId, {}, {}, 0, 0, std::nullopt};
    // Its links go last, so they still name every keyword; readings of other keywords are left to
    // the sweep through the index on the app.
    select(QStringLiteral("SELECT DISTINCT k.normalized FROM keyword_link l JOIN keyword k ON k.pk = l.keyword_pk "
                          "WHERE l.app_pk = ? ORDER BY k.normalized"),
           {removal.appPersistentId}, [&](const QSqlQuery &query) { cursor.keywords.append(query.value(0).toString()); });
    // Each found at an end of the index on the app, not by reading it.
    const auto edge = [&](const char *which) {
        std::optional<qint64> pk;
        select(QStringLiteral("SELECT %1(pk) FROM rank_snapshot WHERE app_pk = ?").arg(QLatin1String(which)),
               {removal.appPersistentId}, [&](const QSqlQuery &query) {
                   if (!query.value(0).isNull())
                       pk = query.value(0).toLongLong();
               });
        return pk;
    };
    const auto first = edge("min");
    const auto last = edge("max");
    if (!first || !last || cursor.keywords.isEmpty())
        return cursor;
    // Row ids follow time: stretches of equal spans of them hold about as many readings, each at
    // most about this many of a keyword, so that a save covers many keywords.
    constexpr qint64 readingsPerStretch = 400;
    const auto span = *last - *first + 1;
    const auto stretches = std::clamp<qint64>(span / cursor.keywords.size() / readingsPerStretch, 1, 1000);
    for (qint64 i = 1; i < stretches; ++i) {
        select(QStringLiteral("SELECT checked_at FROM rank_snapshot WHERE pk >= ? ORDER BY pk LIMIT 1"),
               {*first + span * i / stretches}, [&](const QSqlQuery &query) {
                   const auto end = query.value(0).toLongLong();
                   if (cursor.ends.isEmpty() || end > cursor.ends.constLast())
                       cursor.ends.append(end);
               });
    }
    cursor.ends.append(std::numeric_limits<qint64>::max());
    return cursor;
}

qint64 StoreDb::removeSnapshotsByKeyword(const AppRemoval &removal, qint64 limit)
{
    if (!m_removalCursor || m_removalCursor->appPersistentId != removal.appPersistentId)
        m_removalCursor = removalCursor(removal);
    auto &cursor = *m_removalCursor;
    // The keyword's next storefront after `after`, found in the index, not by reading it.
    const auto nextCountry = [&](const QString &after) {
        std::optional<QString> country;
        select(QStringLiteral("SELECT country FROM rank_snapshot INDEXED BY rank_snapshot_keyword_country_checked "
                              "WHERE keyword_normalized = ? AND country > ? ORDER BY country LIMIT 1"),
               {cursor.keywords.at(cursor.keyword), after}, [&](const QSqlQuery &query) { country = query.value(0).toString(); });
        return country;
    };
    qint64 removed = 0;
    while (removed < limit && cursor.end < cursor.ends.size()) {
        if (!cursor.country)
            cursor.country = nextCountry(QStringLiteral(""));
        qint64 count = 0;
        const auto wanted = limit - removed;
        if (cursor.country) {
            count = writeCounted(
                QStringLiteral("DELETE FROM rank_snapshot WHERE pk IN (SELECT pk FROM rank_snapshot INDEXED BY "
                               "rank_snapshot_keyword_country_checked WHERE keyword_normalized = ? AND country = ? "
                               "AND checked_at < ? AND app_pk = ? LIMIT ?)"),
                {cursor.keywords.at(cursor.keyword), *cursor.country, cursor.ends.at(cursor.end),
                 removal.appPersistentId, wanted});
            if (count < 0)
                return -1;
            removed += count;
        }
        if (count == wanted)
            continue;
        if (cursor.country)
            cursor.country = nextCountry(*cursor.country);
        if (!cursor.country && ++cursor.keyword == cursor.keywords.size()) {
            cursor.keyword = 0;
            ++cursor.end;
        }
    }
    return removed;
}

qint64 StoreDb::continueRemoval(const AppRemoval &removal, qint64 limit)
{
    // Alerts and rank states through their index on the app's ID. Snapshots a stretch of time
    // after another, keyword by keyword within it: the table and its unique keys hold the readings
    // of a time in order of keyword, and its index on keyword, storefront and time those of a
    // keyword in order of time, so a long save changes a few pages of each about once, where
    // following the index on the app would change most pages of the other indexes in every save.
    // What is left of them (of keywords no longer linked) and the links go through their index on
    // the app's row.
    if (const auto removed = keepAlertIdsIssued()
                                 ? removeSome(QStringLiteral("rank_alert"), QStringLiteral("apple_app_id"), removal.appleAppId, limit)
                                 : -1;
        removed != 0)
        return removed;
    if (const auto removed = removeSome(QStringLiteral("rank_state"), QStringLiteral("apple_app_id"), removal.appleAppId, limit);
        removed != 0)
        return removed;
    if (const auto removed = removeSnapshotsByKeyword(removal, limit); removed != 0)
        return removed;
    for (const auto *table : {"rank_snapshot", "keyword_link"}) {
        if (const auto removed = removeSome(QString::fromLatin1(table), QStringLiteral("app_pk"), removal.appPersistentId, limit);
            removed != 0)
            return removed;
    }
    // Nothing of it is left to cascade: the app and the record of its removal go in one save.
    Transaction save(*this);
    writeCounted(QStringLiteral("DELETE FROM tracked_app WHERE pk = ?"), {removal.appPersistentId});
    removeMeta(RemovedApps::markerPrefix + removal.appleAppId);
    m_removalCursor.reset();
    return save.commit() ? 0 : -1;
}
