#include "store/ASOStore.h"

// Read-only queries over the stored readings.

QHash<QString, ASOStore::SnapshotPair> ASOStore::snapshotPairs(const TrackedApp &app, const QString &country)
{
    QHash<QString, SnapshotPair> pairs;
    const auto states = m_db->rankStatesOfApp(app.appleAppId, country);
    pairs.reserve(states.size());
    for (const auto &state : states)
        pairs.insert(state.keywordNormalized, snapshotPair(state));
    return pairs;
}

ASOStore::SnapshotPair ASOStore::snapshotPair(const RankState &state)
{
    SnapshotPair pair;
    pair.latest = RankPoint{state.latestState(), state.latestRank, state.latestResultCount, state.latestCheckedAt,
                            state.latestObservationId};
    // A rank state keeps no earlier result count.
    if (const auto previous = state.previousState()) {
        pair.previous = RankPoint{*previous, state.previousRank, 0,
                                  state.previousCheckedAt.value_or(RankPoint::distantPast()), std::nullopt};
    }
    pair.lastFoundAt = state.lastFoundAt;
    return pair;
}

QList<SearchObservation> ASOStore::latestObservations(const QSet<QString> &keywords, const QString &country)
{
    return m_db->latestObservations(keywords, country);
}

QList<RankSnapshot> ASOStore::snapshots(const TrackedApp &app, const QString &country, const QString &normalized)
{
    return m_db->snapshotsOfApp(app.persistentId, normalized, country);
}
