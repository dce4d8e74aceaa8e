#include "store/ASOStore.h"

#include "store/Settings.h"
#include "support/Unicode.h"

#include <algorithm>
#include <limits>

// What the store already knows about an app in a storefront, read for the discovery rounds:
// the keywords it is found for, the evidence of earlier searches, and what to search next.

namespace {

// A century: more than any cache window needs, and the cutoff stays a valid time.
constexpr qint64 longestCacheMinutes = 100LL * 366 * 24 * 60;
// Hits ranked below this say little about the keyword.
constexpr int evidenceRankCutoff = 20;
constexpr int evidencePhraseLimit = 30;

const RankPoint *latestReading(const QHash<QString, ASOStore::SnapshotPair> &pairs, const QString &normalized)
{
    const auto pair = pairs.constFind(normalized);
    return pair != pairs.cend() && pair->latest ? &*pair->latest : nullptr;
}

}

QStringList ASOStore::observedKeywords(const TrackedApp &app, const QString &country)
{
    struct Found
    {
        qint64 rank;
        QString normalized;
    };
    QList<Found> found;
    const auto pairs = snapshotPairs(app, country);
    for (auto it = pairs.cbegin(); it != pairs.cend(); ++it) {
        if (it->latest && it->latest->state == RankingState::found)
            found.append({it->latest->rank.value_or(std::numeric_limits<qint64>::max()), it.key()});
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        return a.rank != b.rank ? a.rank < b.rank : Unicode::lessThan(a.normalized, b.normalized);
    });
    QStringList normalized;
    normalized.reserve(found.size());
    for (const auto &entry : found)
        normalized.append(entry.normalized);
    return normalized;
}

ASOStore::DiscoveryEvidence ASOStore::discoveryEvidence(const TrackedApp &app, const QString &country)
{
    QList<DiscoveryPlanner::FoundKeyword> ranked;
    const auto pairs = snapshotPairs(app, country);
    for (auto it = pairs.cbegin(); it != pairs.cend(); ++it) {
        if (!it->latest || it->latest->state != RankingState::found || !it->latest->rank)
            continue;
        const auto stored = keyword(it.key());
        const auto rank = std::min<qint64>(*it->latest->rank, std::numeric_limits<int>::max());
        ranked.append({stored ? stored->display : it.key(), static_cast<int>(rank)});
    }
    // The planner keeps the order of equal ranks; a fixed order keeps runs repeatable.
    std::sort(ranked.begin(), ranked.end(), [](const auto &a, const auto &b) {
        return a.rank != b.rank ? a.rank < b.rank : Unicode::lessThan(a.keyword, b.keyword);
    });

    DiscoveryEvidence evidence;
    evidence.phrases = DiscoveryPlanner::seeds(ranked, evidencePhraseLimit);
    for (const auto &observation : latestObservations(linkedKeywords(app), country)) {
        DiscoveryPlanner::ObservedKeyword observed{observation.keywordNormalized, {}};
        for (const auto &hit : observation.hits()) {
            if (hit.rank <= evidenceRankCutoff)
                observed.hits.append(hit);
        }
        evidence.observations.append(std::move(observed));
    }
    return evidence;
}

QList<Keyword> ASOStore::keywordsToSearch(const TrackedApp &app, const QString &country, qint64 limit,
                                          const QSet<QString> &excluding)
{
    if (limit < 1)
        return {};
    const auto minutes = std::min(Settings::shared().cacheMinutes(), longestCacheMinutes);
    const auto cutoff = QDateTime::currentDateTimeUtc().addSecs(-minutes * 60);

    struct Entry
    {
        qint64 priority;
        Keyword keyword;
    };
    QHash<QString, Entry> best;
    for (const auto &linked : m_db->linksOfApp(app.persistentId)) {
        if (!linked.keyword || excluding.contains(linked.keyword->normalized))
            continue;
        auto entry = best.find(linked.keyword->normalized);
        if (entry == best.end())
            best.insert(linked.keyword->normalized, Entry{linked.link.priority, *linked.keyword});
        else
            entry->priority = std::max(entry->priority, linked.link.priority);
    }

    struct Due
    {
        bool read;
        qint64 priority;
        const Keyword *keyword;
    };
    QList<Due> due;
    const auto pairs = snapshotPairs(app, country);
    for (const auto &entry : std::as_const(best)) {
        const auto *latest = latestReading(pairs, entry.keyword.normalized);
        if (!latest || latest->checkedAt < cutoff || latest->state == RankingState::requestFailed)
            due.append({latest != nullptr, entry.priority, &entry.keyword});
    }
    std::sort(due.begin(), due.end(), [](const Due &a, const Due &b) {
        if (a.read != b.read)
            return !a.read;
        if (a.priority != b.priority)
            return a.priority > b.priority;
        return Unicode::lessThan(a.keyword->normalized, b.keyword->normalized);
    });

    QList<Keyword> keywords;
    const auto count = std::min<qint64>(limit, due.size());
    keywords.reserve(count);
    for (qint64 i = 0; i < count; ++i)
        keywords.append(*due[i].keyword);
    return keywords;
}
