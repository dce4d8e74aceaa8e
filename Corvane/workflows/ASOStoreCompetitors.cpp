#include "store/ASOStore.h"

#include "support/Unicode.h"

#include <QCollator>

#include <algorithm>
#include <functional>

// Competitor analysis from the stored searches, and the actions of the competitor screens.

namespace {

constexpr int suggestionTopRank = 20;
constexpr int opportunityTheirRank = 50;
constexpr int opportunityLead = 10;

QStringList sortedPlainly(const QSet<QString> &keywords)
{
    QStringList sorted(keywords.cbegin(), keywords.cend());
    std::sort(sorted.begin(), sorted.end(), Unicode::lessThan);
    return sorted;
}

// The evidence of the keywords as the library reads it, each latest search's hits cut down to
// those `hitsOf` picks from its compact copy.
KeywordGap::EvidenceMap evidenceMap(const QSet<QString> &keywords,
                                    const QHash<QString, LatestSearchCache::Latest> &searches,
                                    const QSet<QString> &failed,
                                    const std::function<QList<SearchHit>(const LatestSearchCache::Search &)> &hitsOf)
{
    KeywordGap::EvidenceMap evidence;
    evidence.reserve(keywords.size());
    for (const auto &keyword : keywords) {
        if (const auto found = searches.constFind(keyword); found != searches.cend())
            evidence.insert(keyword, KeywordGap::Evidence::results(hitsOf(found->search)));
        else if (failed.contains(keyword))
            evidence.insert(keyword, KeywordGap::Evidence::failed());
        else
            evidence.insert(keyword, KeywordGap::Evidence::notChecked());
    }
    return evidence;
}

// What the analysis reads of the keywords' stored searches.
struct CompactEvidence
{
    QHash<QString, LatestSearchCache::Latest> searches;
    QSet<QString> failed;
};

CompactEvidence compactEvidence(StoreDb &db, LatestSearchCache &cache, const QSet<QString> &keywords,
                                const QString &country)
{
    return CompactEvidence{cache.searches(db, keywords, country), cache.searched(db, keywords, country).failed};
}

// One app met in the top of the keywords' searches.
struct Accumulator
{
    QString appleAppId;
    // Where the app was first counted, in keyword order: its details come from that hit.
    QString firstKeyword;
    qsizetype firstIndex = 0;
    QStringList keywords;
    qint64 rankSum = 0;
    int bestRank = 0;
};

// A suggestion, and the place of the hit its details come from.
struct Suggested
{
    KeywordGap::Suggestion suggestion;
    std::pair<QString, qsizetype> first;
};

// KeywordGap::suggestions over the compact copies: the same counting, on apps' keys rather than
// on hits' texts, and without the details, which the caller reads for the few apps kept.
QList<Suggested> compactSuggestions(const QHash<QString, LatestSearchCache::Latest> &searches,
                                                 const QSet<QString> &exclude, int topN, int minShared, int max)
{
    if (max <= 0)
        return {};
    QStringList keywords = searches.keys();
    std::stable_sort(keywords.begin(), keywords.end(), Unicode::lessThan);
    // Plain decimal IDs are their numbers; others get keys of their own, below -1 - any
    // search's own (never more than its hits).
    QHash<QString, qint64> otherKeys;
    const auto keyOf = [&otherKeys](const LatestSearchCache::Search &search, qsizetype index) {
        const auto key = search.appKey(index);
        if (key >= 0)
            return key;
        const auto id = search.appleAppId(index);
        const auto found = otherKeys.constFind(id);
        return found != otherKeys.cend() ? *found : *otherKeys.insert(id, -1 - qint64(otherKeys.size()));
    };
    QSet<qint64> excluded;
    for (const auto &id : exclude) {
        if (const auto number = LatestSearchCache::Search::plainKey(id))
            excluded.insert(*number);
        else if (!otherKeys.contains(id))
            excluded.insert(*otherKeys.insert(id, -1 - qint64(otherKeys.size())));
    }

    QHash<qint64, Accumulator> accumulators;
    QList<qint64> counted;
    for (const auto &keyword : std::as_const(keywords)) {
        const auto &search = searches.find(keyword)->search;
        counted.clear();
        for (const auto index : search.rankedIndexes(topN)) {
            const auto key = keyOf(search, index);
            if (excluded.contains(key) || counted.contains(key))
                continue;
            counted.append(key);
            auto it = accumulators.find(key);
            if (it == accumulators.end())
                it = accumulators.insert(key, Accumulator{search.appleAppId(index), keyword, index, {}, 0, search.rank(index)});
            const auto rank = search.rank(index);
            it->keywords.append(keyword);
            it->rankSum += rank;
            it->bestRank = std::min(it->bestRank, rank);
        }
    }

    QList<Suggested> result;
    for (const auto &accumulator : std::as_const(accumulators)) {
        if (accumulator.keywords.size() < minShared)
            continue;
        KeywordGap::Suggestion suggestion;
        suggestion.appleAppId = accumulator.appleAppId;
        suggestion.keywords = accumulator.keywords;
        suggestion.averageRank = double(accumulator.rankSum) / double(accumulator.keywords.size());
        suggestion.bestRank = accumulator.bestRank;
        result.append({suggestion, {accumulator.firstKeyword, accumulator.firstIndex}});
    }
    std::stable_sort(result.begin(), result.end(), [](const Suggested &a, const Suggested &b) {
        return KeywordGap::listedBefore(a.suggestion, b.suggestion);
    });
    if (result.size() > max)
        result.resize(max);
    return result;
}

// Only the two apps' hits decide their positions.
std::function<QList<SearchHit>(const LatestSearchCache::Search &)> twoApps(const TrackedApp &app,
                                                                          const TrackedApp &competitor)
{
    return [mine = app.appleAppId, theirs = competitor.appleAppId](const LatestSearchCache::Search &search) {
        return search.hitsOf(mine) + search.hitsOf(theirs);
    };
}

// Comparisons drawn from evidence cut down to the two apps' hits count the whole search.
QList<KeywordGap::Comparison> withSampleSizes(QList<KeywordGap::Comparison> comparisons,
                                              const QHash<QString, LatestSearchCache::Latest> &searches)
{
    for (auto &comparison : comparisons) {
        if (const auto found = searches.constFind(comparison.keyword); found != searches.cend())
            comparison.sampleSize = int(found->search.size());
    }
    return comparisons;
}

QStringList keywordsOf(const QList<KeywordGap::Comparison> &comparisons)
{
    QStringList keywords;
    keywords.reserve(comparisons.size());
    for (const auto &comparison : comparisons)
        keywords.append(comparison.keyword);
    return keywords;
}

// One row per comparison, in the same order, with the keyword's stored display text (else its
// normal form) and its metric.
QList<CompetitorKeywordRow> rowsOf(const QList<KeywordGap::Comparison> &comparisons,
                                   const QHash<QString, QString> &displays, const QHash<QString, KeywordMetric> &metrics)
{
    QList<CompetitorKeywordRow> rows;
    rows.reserve(comparisons.size());
    for (const auto &comparison : comparisons) {
        CompetitorKeywordRow row;
        row.id = comparison.keyword;
        row.keyword = displays.value(comparison.keyword, comparison.keyword);
        row.mine = comparison.mine;
        row.theirs = comparison.theirs;
        row.lead = comparison.lead();
        row.sampleSize = comparison.sampleSize;
        if (const auto metric = metrics.constFind(comparison.keyword); metric != metrics.cend()) {
            row.popularity = metric->popularity;
            row.popularitySource = metric->popularitySource();
            row.difficulty = metric->difficulty;
        }
        rows.append(row);
    }
    return rows;
}

}

KeywordGap::EvidenceMap ASOStore::latestEvidence(const QSet<QString> &keywords, const QString &country)
{
    // Read afresh and decoded in full, as the analysis above must read it.
    QHash<QString, StoreDb::LatestSearch> latest;
    for (const auto &search : m_db->latestSearches(country)) {
        if (keywords.contains(search.keywordNormalized))
            latest.insert(search.keywordNormalized, search);
    }
    QSet<QString> rest;
    for (const auto &keyword : keywords) {
        if (!latest.contains(keyword))
            rest.insert(keyword);
    }
    const auto failed = m_db->keywordsWithFailedSearches(rest, country);
    QList<qint64> ids;
    for (const auto &search : std::as_const(latest))
        ids.append(search.persistentId);
    const auto stored = m_db->observationHits(ids);
    KeywordGap::EvidenceMap evidence;
    evidence.reserve(keywords.size());
    for (const auto &keyword : keywords) {
        if (const auto found = latest.constFind(keyword); found != latest.cend()) {
            evidence.insert(keyword, KeywordGap::Evidence::results(
                                         AppRecords::decodeHits(stored.value(found->persistentId)).value_or(QList<SearchHit>())));
        } else if (failed.contains(keyword)) {
            evidence.insert(keyword, KeywordGap::Evidence::failed());
        } else {
            evidence.insert(keyword, KeywordGap::Evidence::notChecked());
        }
    }
    return evidence;
}

QList<TrackedApp> ASOStore::competitors(const TrackedApp &app)
{
    QList<TrackedApp> competitors;
    for (const auto &tracked : m_db->apps()) {
        if (!tracked.isOwn && tracked.appleAppId != app.appleAppId)
            competitors.append(tracked);
    }
    // As people read names: "App 2" before "App 10". The C locale has no collation of its own
    // and would compare code units, numbers included: English order stands in for it.
    QCollator collator(QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale());
    collator.setNumericMode(true);
    std::stable_sort(competitors.begin(), competitors.end(), [&collator](const TrackedApp &a, const TrackedApp &b) {
        return collator.compare(a.name, b.name) < 0;
    });
    return competitors;
}

QList<KeywordGap::Suggestion> ASOStore::suggestedCompetitors(const TrackedApp &app, const QString &country, int limit)
{
    const auto keywords = m_latestSearches.linkedKeywords(*m_db, app);
    const auto searches = m_latestSearches.searches(*m_db, keywords, country);
    QSet<QString> excluded{app.appleAppId};
    for (const auto &tracked : m_db->apps())
        excluded.insert(tracked.appleAppId);
    const auto usable = searches.size();
    const auto suggested = compactSuggestions(searches, excluded, suggestionTopRank, usable >= 2 ? 2 : 1, limit);

    // The details of an app come from its best hit in the first of its keywords, where it was
    // first counted: only those few hits are decoded in full.
    QList<std::pair<QString, qsizetype>> places;
    places.reserve(suggested.size());
    for (const auto &one : suggested)
        places.append(one.first);
    const auto hits = m_latestSearches.hits(*m_db, country, places);
    QList<KeywordGap::Suggestion> suggestions;
    suggestions.reserve(suggested.size());
    for (qsizetype i = 0; i < suggested.size(); ++i) {
        auto suggestion = suggested.at(i).suggestion;
        const auto &hit = hits.at(i);
        suggestion.name = hit.name;
        suggestion.developerName = hit.developerName;
        suggestion.iconURL = hit.iconURL;
        suggestion.primaryGenre = hit.primaryGenre;
        suggestion.ratingCount = hit.ratingCount;
        suggestions.append(suggestion);
    }
    return suggestions;
}

ASOStore::EvidenceCoverage ASOStore::evidenceCoverage(const TrackedApp &app, const QString &country)
{
    // As the evidence judges the keywords, without their hits.
    const auto keywords = m_latestSearches.linkedKeywords(*m_db, app);
    const auto searched = m_latestSearches.searched(*m_db, keywords, country);
    return EvidenceCoverage{keywords.size(), searched.latest.size(), searched.failed.size()};
}

QList<QFuture<void>> ASOStore::readCompetitorSearches(const QList<TrackedApp> &apps, const QString &country)
{
    QSet<QString> keywords;
    for (const auto &app : apps)
        keywords.unite(m_latestSearches.linkedKeywords(*m_db, app));
    return m_latestSearches.readAhead(*m_db, keywords, country);
}

QList<CompetitorKeywordRow> ASOStore::comparisonRows(const TrackedApp &app, const TrackedApp &competitor,
                                                     const QString &country)
{
    // Only the app's own keywords: the competitor's are the gap's business.
    const auto keywords = m_latestSearches.linkedKeywords(*m_db, app);
    const auto known = compactEvidence(*m_db, m_latestSearches, keywords, country);
    const auto evidence = evidenceMap(keywords, known.searches, known.failed, twoApps(app, competitor));
    return competitorKeywordRows(
        withSampleSizes(KeywordGap::compare(sortedPlainly(keywords), evidence, app.appleAppId, competitor.appleAppId),
                        known.searches),
        country);
}

ASOStore::KeywordGapRows ASOStore::keywordGapRows(const TrackedApp &app, const TrackedApp &competitor,
                                                  const QString &country)
{
    const auto mine = m_latestSearches.linkedKeywords(*m_db, app);
    const auto theirs = m_latestSearches.linkedKeywords(*m_db, competitor);
    const auto keywords = mine + theirs;
    const auto known = compactEvidence(*m_db, m_latestSearches, keywords, country);
    const auto evidence = evidenceMap(keywords, known.searches, known.failed, twoApps(app, competitor));
    const auto comparisons = KeywordGap::compare(sortedPlainly(mine), evidence, app.appleAppId, competitor.appleAppId);
    const auto untracked =
        KeywordGap::untracked(sortedPlainly(theirs), mine, evidence, app.appleAppId, competitor.appleAppId);
    const auto opportunities =
        withSampleSizes(KeywordGap::opportunities(comparisons, opportunityTheirRank, opportunityLead), known.searches);
    const auto shown = keywordsOf(opportunities) + keywordsOf(untracked);
    const auto displays = keywordDisplays(shown);
    const auto byKeyword = m_db->metricsOf(shown, country);
    return KeywordGapRows{rowsOf(opportunities, displays, byKeyword),
                          rowsOf(withSampleSizes(untracked, known.searches), displays, byKeyword)};
}

QList<CompetitorKeywordRow> ASOStore::competitorKeywordRows(const QList<KeywordGap::Comparison> &comparisons,
                                                            const QString &country)
{
    const auto keywords = keywordsOf(comparisons);
    return rowsOf(comparisons, keywordDisplays(keywords), m_db->metricsOf(keywords, country));
}

QHash<QString, QString> ASOStore::keywordDisplays(const QStringList &normalized)
{
    return m_db->keywordDisplays(normalized);
}

QCoro::Task<TrackedApp> ASOStore::addCompetitor(QString input, QString country)
{
    const QPointer<ASOStore> self(this);
    // The viewed storefront is tried last: an app sold only there is found too.
    QStringList viewed;
    viewed.append(country);
    // A new app is tracked there from its first save.
    const auto added = co_await addAppTracked(input, false, viewed, {}, country);
    if (!self)
        co_return added.app;
    if (const auto tracked = self->withCountry(added.app.appleAppId, country)) {
        if (const auto failure = self->saveAtClick(QStringLiteral("The app could not be tracked in this storefront"),
                                                   [&] { return self->m_db->update(*tracked); }))
            throw StoreError::notSaved(added.app.appleAppId, *failure);
    }
    const auto app = self->m_db->appByAppleId(added.app.appleAppId);
    if (!app)
        co_return added.app;
    self->raiseDataVersion();
    co_return *app;
}

QCoro::Task<bool> ASOStore::addCompetitorKeywords(QStringList keywords, TrackedApp competitor, TrackedApp app,
                                                  QString country)
{
    const QPointer<ASOStore> self(this);
    const Burst burst(this);
    const auto detail = QStringLiteral("Added from competitor ") + competitor.name;
    QList<PlannedCandidate> candidates;
    candidates.reserve(keywords.size());
    for (const auto &normalized : keywords) {
        const auto stored = m_db->keywordByNormalized(normalized);
        candidates.append(PlannedCandidate{stored ? stored->display : normalized, KeywordSource::manual, detail,
                                           competitor.appleAppId});
    }
    if (!linkAtClick(candidates, app))
        co_return false;

    for (const auto &normalized : keywords) {
        const auto keyword = self->m_db->keywordByNormalized(normalized);
        if (!keyword)
            continue;
        const auto observation = co_await self->observation(*keyword, country, false);
        // The app may have been deleted, or the store closed, while the search ran.
        const auto current = self ? self->m_db->appByAppleId(app.appleAppId) : std::nullopt;
        if (!current)
            co_return true;
        self->apply(observation, *current);
    }

    co_await self->refreshPopularity(app, country, false);
    if (self && self->m_db->appByAppleId(app.appleAppId))
        self->raiseDataVersion();
    co_return true;
}
