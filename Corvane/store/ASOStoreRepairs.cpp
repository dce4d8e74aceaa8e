#include "store/ASOStore.h"

// Repairs of stored data, looked at every time the store is built.

namespace {

const QString layoutVersionKey = QStringLiteral("layoutVersion");
// The layout whose program last cleared unknown popularity sources. Another program (an older
// or newer Vantu) may have written sources this one does not know; it leaves its own layout
// here, so a change of program is noticed. A new popularity source therefore comes with a new
// layout version.
const QString sourcesClearedKey = QStringLiteral("popularitySourcesClearedLayout");
constexpr qint64 currentLayout = 2;

}

void ASOStore::clearUnknownPopularitySources()
{
    // Reading every metric takes most of opening a large store: only once per layout.
    const auto cleared = m_db->meta(sourcesClearedKey);
    if (cleared && cleared->value == currentLayout)
        return;
    StoreDb::Transaction save(*m_db);
    for (auto metric : m_db->metricsWithPopularity()) {
        if (PopularitySources::fromRaw(metric.popularitySourceRaw.value_or(QString())))
            continue;
        // Cleared, the value counts as never checked and the next refresh fetches it again.
        metric.popularity.reset();
        metric.popularitySourceRaw.reset();
        metric.popularityCheckedAt.reset();
        m_db->update(metric);
    }
    StoreMeta done(sourcesClearedKey, currentLayout);
    m_db->insert(done);
    save.commit();
}

void ASOStore::migrateLayoutIfNeeded()
{
    const auto migrated = [this] {
        const auto layout = m_db->meta(layoutVersionKey);
        return layout && layout->value >= currentLayout;
    };
    if (migrated())
        return;
    StoreDb::Transaction save(*m_db);
    // Another process may have migrated while this one waited for the write lock.
    if (migrated())
        return;

    // History is read one keyword and storefront at a time: a year of tracking does not fit in
    // memory at once. Every rank state is rebuilt from its app's snapshots, oldest first.
    m_db->removeAllRankStates();
    for (const auto &[normalized, country] : m_db->snapshotKeywordCountries()) {
        std::optional<RankState> state;
        for (const auto &entry : m_db->snapshotsOfKeywordByApp(normalized, country)) {
            if (state && state->appleAppId == entry.appleAppId) {
                state->apply(entry.snapshot);
                continue;
            }
            if (state)
                m_db->insert(*state);
            state = RankState(entry.appleAppId, entry.snapshot);
        }
        if (state)
            m_db->insert(*state);
    }

    // Only the newest successful search of a keyword in a storefront is the latest and keeps
    // its hits; failed searches stay as they are.
    for (const auto &[normalized, country] : m_db->observedKeywordCountries()) {
        bool newest = true;
        for (const auto &observation : m_db->successfulObservationsNewestFirst(normalized, country)) {
            if (newest) {
                if (!observation.isLatest)
                    m_db->setLatest(observation.persistentId, true);
                newest = false;
            } else if (observation.isLatest || observation.hasHits) {
                m_db->setLatest(observation.persistentId, false);
            }
        }
    }

    m_db->removeMeta(layoutVersionKey);
    StoreMeta layout(layoutVersionKey, currentLayout);
    m_db->insert(layout);
    save.commit();
}
