#include "store/ASOStore.h"

// Repairs of stored data, run every time the store is built.

namespace {

const QString layoutVersionKey = QStringLiteral("layoutVersion");
constexpr qint64 currentLayout = 2;

}

void ASOStore::clearUnknownPopularitySources()
{
    StoreDb::Transaction save(*m_db);
    bool changed = false;
    for (auto metric : m_db->metricsWithPopularity()) {
        if (PopularitySources::fromRaw(metric.popularitySourceRaw.value_or(QString())))
            continue;
        // Cleared, the value counts as never checked and the next refresh fetches it again.
        metric.popularity.reset();
        metric.popularitySourceRaw.reset();
        metric.popularityCheckedAt.reset();
        m_db->update(metric);
        changed = true;
    }
    if (changed)
        save.commit();
}

void ASOStore::migrateLayoutIfNeeded()
{
    if (const auto layout = m_db->meta(layoutVersionKey); layout && layout->value >= currentLayout)
        return;

    // Every rank state is rebuilt from the snapshots, oldest first.
    StoreDb::Transaction save(*m_db);
    m_db->removeAllRankStates();
    QList<RankState> states;
    QHash<QString, qsizetype> stateOf;
    for (const auto &entry : m_db->snapshotsOfAppsOldestFirst()) {
        const auto key = RankState::makeKey(entry.appleAppId, entry.snapshot.keywordNormalized, entry.snapshot.country);
        if (const auto found = stateOf.constFind(key); found != stateOf.cend()) {
            states[*found].apply(entry.snapshot);
        } else {
            stateOf.insert(key, states.size());
            states.append(RankState(entry.appleAppId, entry.snapshot));
        }
    }
    for (auto &state : states)
        m_db->insert(state);

    // Only the newest successful search of a keyword in a storefront is the latest and keeps
    // its hits; failed searches stay as they are.
    QSet<QString> seen;
    for (auto observation : m_db->successfulObservationsNewestFirst()) {
        const auto key = observation.keywordNormalized + QLatin1Char('|') + observation.country;
        if (!seen.contains(key)) {
            seen.insert(key);
            if (!observation.isLatest) {
                observation.isLatest = true;
                m_db->update(observation);
            }
        } else if (observation.isLatest || !observation.hitsData.isEmpty()) {
            observation.isLatest = false;
            observation.hitsData.clear();
            m_db->update(observation);
        }
    }

    m_db->removeMeta(layoutVersionKey);
    StoreMeta layout(layoutVersionKey, currentLayout);
    m_db->insert(layout);
    save.commit();
}
