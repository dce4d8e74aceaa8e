#include "store/ASOStore.h"

// Turning a recorded search into readings of the tracked apps it concerns.

namespace {

QList<Ranking::ResultEntry> resultEntries(const QList<SearchHit> &hits)
{
    QList<Ranking::ResultEntry> entries;
    entries.reserve(hits.size());
    for (const auto &hit : hits)
        entries.append(Ranking::ResultEntry{hit.appleAppId, hit.rank});
    return entries;
}

std::optional<qint64> wide(std::optional<int> rank)
{
    return rank ? std::optional<qint64>(*rank) : std::nullopt;
}

}

void ASOStore::apply(const SearchObservation &observation, const TrackedApp &app)
{
    // Quitting: searches come back cut short, and no reading is written for them.
    if (isShutDown())
        return;
    const auto &normalized = observation.keywordNormalized;
    const auto &country = observation.country;
    const auto hits = observation.hits();
    const auto entries = resultEntries(hits);
    QSet<QString> hitIds;
    for (const auto &hit : hits)
        hitIds.insert(hit.appleAppId);
    const auto keyword = m_db->keywordByNormalized(normalized);
    const auto display = keyword ? keyword->display : normalized;
    QSet<qint64> linkedApps;
    if (keyword) {
        for (const auto &link : m_db->linksOfKeyword(keyword->persistentId)) {
            if (link.appPersistentId)
                linkedApps.insert(*link.appPersistentId);
        }
    }

    // After awaitWriteLock(), which waited for another program's lock without holding the window.
    StoreDb::Transaction save(*m_db, StoreDb::shortLockWait);
    QList<TrackedApp> concerned;
    QStringList keys;
    for (auto &tracked : m_db->apps()) {
        const bool calling = tracked.appleAppId == app.appleAppId;
        const bool linked = linkedApps.contains(tracked.persistentId);
        if (!calling && !linked && !(observation.succeeded && hitIds.contains(tracked.appleAppId)))
            continue;
        keys.append(RankState::makeKey(tracked.appleAppId, normalized, country));
        concerned.append(std::move(tracked));
    }
    // One read for the states of all the apps concerned: a search on a large account concerns
    // dozens, and a read each cost more than their writes.
    auto states = m_db->rankStates(keys);
    QList<qint64> tested;
    tested.reserve(concerned.size());
    for (const auto &tracked : std::as_const(concerned)) {
        const bool calling = tracked.appleAppId == app.appleAppId;
        const bool linked = linkedApps.contains(tracked.persistentId);
        const auto found = states.find(RankState::makeKey(tracked.appleAppId, normalized, country));
        auto state = found != states.end() ? std::optional<RankState>(std::move(*found)) : std::nullopt;
        if (state && state->latestObservationId == observation.id)
            continue;
        // A reading older than the app's latest would move its state backwards.
        if (state && state->latestCheckedAt > observation.checkedAt)
            continue;

        const auto position = Ranking::outcome(observation.succeeded, entries, tracked.appleAppId);
        const auto previous = state ? previousPoint(*state) : std::nullopt;
        raiseAlerts(tracked, observation, position, previous, display);

        RankSnapshot snapshot(tracked, observation, position.state, wide(position.rank));
        m_db->insert(snapshot);
        if (state) {
            state->apply(snapshot);
            m_db->update(*state);
        } else {
            RankState created(tracked.appleAppId, snapshot);
            m_db->insert(created);
        }

        if (!linked && !calling && keyword) {
            const PlannedCandidate seen{keyword->display, KeywordSource::observedInSearch,
                                        QStringLiteral("Seen in ") + country.toUpper()
                                            + QStringLiteral(" results while scanning for ") + app.name,
                                        std::nullopt};
            KeywordLink link(tracked, *keyword, seen, 0, 0);
            m_db->insert(link);
        }
        tested.append(tracked.persistentId);
    }
    m_db->markLinksTested(tested, normalized, observation.checkedAt);
    save.commit();
}

QCoro::Task<ASOStore::SearchOutcome> ASOStore::search(Keyword keyword, TrackedApp app, QString country, bool force)
{
    const QPointer<ASOStore> self(this);
    const auto observation = co_await this->observation(keyword, country, force);
    const auto position = Ranking::outcome(observation.succeeded, resultEntries(observation.hits()), app.appleAppId);
    if (!self)
        co_return SearchOutcome{position, observation};
    // The app may have been deleted while the search ran.
    if (const auto current = self->app(app.appleAppId))
        self->apply(observation, *current);
    co_return SearchOutcome{position, observation};
}

std::optional<RankState> ASOStore::rankState(const QString &appleAppId, const QString &normalized,
                                             const QString &country)
{
    return m_db->rankState(RankState::makeKey(appleAppId, normalized, country));
}

std::optional<RankPoint> ASOStore::previousPoint(const RankState &state)
{
    if (state.latestState() != RankingState::requestFailed) {
        return RankPoint{state.latestState(), state.latestRank, state.latestResultCount, state.latestCheckedAt,
                         state.latestObservationId};
    }
    const auto previousState = state.previousState();
    if (!previousState || !state.previousCheckedAt)
        return std::nullopt;
    return RankPoint{*previousState, state.previousRank, 0, *state.previousCheckedAt, std::nullopt};
}
