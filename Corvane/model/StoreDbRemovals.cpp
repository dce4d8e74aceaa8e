#include "model/RemovedApps.h"
#include "model/StoreDb.h"

#include <QSqlQuery>

#include <algorithm>

// Removing an app in bounded steps, and where a removal cut short is found again.

bool StoreDb::beginRemoval(const TrackedApp &app)
{
    rowsChanged({.appleAppId = app.appleAppId});
    StoreMeta marker(RemovedApps::markerPrefix + app.appleAppId, app.persistentId);
    const bool saved = insert(marker);
    // Its alerts leave the reads with it.
    if (saved)
        m_alertsMark.leftWithApp.append(app.appleAppId);
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
    RemovalCursor cursor{removal.appPersistentId, {}, 0, 0, false, false};
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
    if (!first || !last)
        return cursor;
    // The readings' unique keys begin with the search's random id: the rows of any part of the
    // time have their keys on nearly every page of the app's part of that index, and every save
    // that deletes some rewrites those pages. So they go in a few stretches of row ids (of time),
    // each in one save however large, rather than in saves of a bounded size, which would write
    // those pages hundreds of times over. The log takes a stretch at once.
    constexpr qint64 mostStretches = 4;
    const auto span = *last - *first + 1;
    const auto stretches = std::clamp<qint64>(span / removalRowsPerStretch, 1, mostStretches);
    for (qint64 i = 1; i <= stretches; ++i)
        cursor.ends.append(*first + span * i / stretches);
    cursor.start = *first;
    return cursor;
}

qint64 StoreDb::removeSnapshotsInStretches(const AppRemoval &removal, qint64 limit)
{
    if (!m_removalCursor || m_removalCursor->appPersistentId != removal.appPersistentId)
        m_removalCursor = removalCursor(removal);
    auto &cursor = *m_removalCursor;
    qint64 removed = 0;
    while (removed < limit && cursor.end < cursor.ends.size()) {
        // Also in a save that goes on with a stretch that another write cut short.
        holdChangedPages();
        // In the order of the index on the app, which is that of the table: each of their pages
        // changes once; the pages of the other indexes stay in memory until the save.
        const auto wanted = limit - removed;
        const auto count = writeCounted(
            QStringLiteral("DELETE FROM rank_snapshot WHERE pk IN (SELECT pk FROM rank_snapshot WHERE app_pk = ? "
                           "AND pk >= ? AND pk < ? ORDER BY pk LIMIT ?)"),
            {removal.appPersistentId, cursor.start, cursor.ends.at(cursor.end), wanted});
        if (count < 0)
            return -1;
        removed += count;
        cursor.stretchBegun = cursor.stretchBegun || count > 0;
        if (count == wanted) {
            m_heldMost = std::max(m_heldMost, cacheBytesUsed());
            if (m_heldMost < heldPagesBudget())
                continue;
            // The pages it changed take what a save may hold: the save is due, and the rest of
            // the stretch goes on in the next.
            cursor.stretchEnded = true;
            cursor.stretchBegun = false;
            break;
        }
        cursor.start = cursor.ends.at(cursor.end++);
        cursor.stretchEnded = cursor.stretchBegun;
        cursor.stretchBegun = false;
        // Its save ends here; a call that deleted nothing goes on, as 0 tells that the
        // snapshots are done.
        if (removed > 0)
            break;
    }
    return removed;
}

bool StoreDb::inRemovalStretch() const
{
    return m_removalCursor && m_removalCursor->stretchBegun;
}

bool StoreDb::takeRemovalStretchEnd()
{
    return m_removalCursor && std::exchange(m_removalCursor->stretchEnded, false);
}

qint64 StoreDb::continueRemoval(const AppRemoval &removal, qint64 limit)
{
    // Alerts and rank states through their index on the app's ID, snapshots in a few stretches
    // of time (see removalCursor()), then the links through their index on the app's row.
    if (const auto removed = keepAlertIdsIssued()
                                 ? removeSome(QStringLiteral("rank_alert"), QStringLiteral("apple_app_id"), removal.appleAppId, limit)
                                 : -1;
        removed != 0)
        return removed;
    if (const auto removed = removeSome(QStringLiteral("rank_state"), QStringLiteral("apple_app_id"), removal.appleAppId, limit);
        removed != 0)
        return removed;
    if (const auto removed = removeSnapshotsInStretches(removal, limit); removed != 0)
        return removed;
    if (const auto removed = removeSome(QStringLiteral("keyword_link"), QStringLiteral("app_pk"), removal.appPersistentId, limit);
        removed != 0)
        return removed;
    // Nothing of it is left to cascade: the app and the record of its removal go in one save.
    Transaction save(*this);
    writeCounted(QStringLiteral("DELETE FROM tracked_app WHERE pk = ?"), {removal.appPersistentId});
    removeMeta(RemovedApps::markerPrefix + removal.appleAppId);
    m_removalCursor.reset();
    return save.commit() ? 0 : -1;
}
