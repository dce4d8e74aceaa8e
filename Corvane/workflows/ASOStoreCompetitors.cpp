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

// What the stored searches tell of a set of keywords in a storefront, without their hits: a
// keyword with a latest (successful) search is judged by it, even after later failures; one
// with failed searches only counts as failed; the rest were never checked.
struct SearchedKeywords
{
    // By keyword; of two latest rows of a keyword the later counts.
    QHash<QString, StoreDb::LatestSearch> latest;
    QSet<QString> failed;
};

SearchedKeywords searchedKeywords(StoreDb &db, const QList<StoreDb::LatestSearch> &latest,
                                  const QSet<QString> &keywords, const QString &country)
{
    SearchedKeywords searched;
    for (const auto &search : latest) {
        if (keywords.contains(search.keywordNormalized))
            searched.latest.insert(search.keywordNormalized, search);
    }
    if (searched.latest.size() < keywords.size()) {
        QSet<QString> rest;
        for (const auto &keyword : keywords) {
            if (!searched.latest.contains(keyword))
                rest.insert(keyword);
        }
        searched.failed = db.keywordsWithFailedSearches(rest, country);
    }
    return searched;
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
    const auto latest = db.latestSearches(country);
    const auto searched = searchedKeywords(db, latest, keywords, country);
    return CompactEvidence{cache.searches(db, latest, keywords, country), searched.failed};
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
    const auto searched = searchedKeywords(*m_db, m_db->latestSearches(country), keywords, country);
    QList<qint64> ids;
    for (const auto &search : searched.latest)
        ids.append(search.persistentId);
    const auto stored = m_db->observationHits(ids);
    KeywordGap::EvidenceMap evidence;
    evidence.reserve(keywords.size());
    for (const auto &keyword : keywords) {
        if (const auto found = searched.latest.constFind(keyword); found != searched.latest.cend()) {
            evidence.insert(keyword, KeywordGap::Evidence::results(
                                         AppRecords::decodeHits(stored.value(found->persistentId)).value_or(QList<SearchHit>())));
        } else if (searched.failed.contains(keyword)) {
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
    const auto keywords = linkedKeywords(app);
    const auto known = compactEvidence(*m_db, m_latestSearches, keywords, country);
    // Only the top hits count, and only their apps and ranks decide the order.
    const auto evidence = evidenceMap(keywords, known.searches, known.failed, [](const LatestSearchCache::Search &search) {
        return search.ranked(suggestionTopRank);
    });
    QSet<QString> excluded{app.appleAppId};
    for (const auto &tracked : m_db->apps())
        excluded.insert(tracked.appleAppId);
    const auto usable = known.searches.size();
    auto suggestions = KeywordGap::suggestions(evidence, excluded, suggestionTopRank, usable >= 2 ? 2 : 1, limit);

    // The details of an app come from its best hit in the first of its keywords, where the
    // library first met it: only those few hits are decoded in full.
    QList<std::pair<qint64, qsizetype>> places;
    places.reserve(suggestions.size());
    for (const auto &suggestion : std::as_const(suggestions)) {
        const auto &first = known.searches[suggestion.keywords.first()];
        places.append({first.persistentId, first.search.bestIndexOf(suggestion.appleAppId, suggestionTopRank)});
    }
    const auto hits = m_latestSearches.hits(*m_db, country, places);
    for (qsizetype i = 0; i < suggestions.size(); ++i) {
        auto &suggestion = suggestions[i];
        const auto &hit = hits.at(i);
        suggestion.name = hit.name;
        suggestion.developerName = hit.developerName;
        suggestion.iconURL = hit.iconURL;
        suggestion.primaryGenre = hit.primaryGenre;
        suggestion.ratingCount = hit.ratingCount;
    }
    return suggestions;
}

ASOStore::EvidenceCoverage ASOStore::evidenceCoverage(const TrackedApp &app, const QString &country)
{
    // As the evidence judges the keywords, without their hits.
    const auto keywords = linkedKeywords(app);
    const auto searched = searchedKeywords(*m_db, m_db->latestSearches(country), keywords, country);
    return EvidenceCoverage{keywords.size(), searched.latest.size(), searched.failed.size()};
}

QList<CompetitorKeywordRow> ASOStore::comparisonRows(const TrackedApp &app, const TrackedApp &competitor,
                                                     const QString &country)
{
    // Only the app's own keywords: the competitor's are the gap's business.
    const auto keywords = linkedKeywords(app);
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
    const auto mine = linkedKeywords(app);
    const auto theirs = linkedKeywords(competitor);
    const auto keywords = mine + theirs;
    const auto known = compactEvidence(*m_db, m_latestSearches, keywords, country);
    const auto evidence = evidenceMap(keywords, known.searches, known.failed, twoApps(app, competitor));
    const auto comparisons = KeywordGap::compare(sortedPlainly(mine), evidence, app.appleAppId, competitor.appleAppId);
    const auto untracked =
        KeywordGap::untracked(sortedPlainly(theirs), mine, evidence, app.appleAppId, competitor.appleAppId);
    const auto opportunities =
        withSampleSizes(KeywordGap::opportunities(comparisons, opportunityTheirRank, opportunityLead), known.searches);
    const auto shown = keywordDisplays(keywordsOf(opportunities) + keywordsOf(untracked));
    const auto byKeyword = metrics(country);
    return KeywordGapRows{rowsOf(opportunities, shown, byKeyword),
                          rowsOf(withSampleSizes(untracked, known.searches), shown, byKeyword)};
}

QList<CompetitorKeywordRow> ASOStore::competitorKeywordRows(const QList<KeywordGap::Comparison> &comparisons,
                                                            const QString &country)
{
    return rowsOf(comparisons, keywordDisplays(keywordsOf(comparisons)), metrics(country));
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
    const auto added = co_await addApp(input, false, viewed);
    if (!self)
        co_return added.app;
    auto app = self->m_db->appByAppleId(added.app.appleAppId);
    if (!app)
        co_return added.app;
    if (!app->trackedCountries.contains(country)) {
        app->trackedCountries.append(country);
        StoreDb::Transaction save(*self->m_db);
        self->m_db->update(*app);
        save.commit();
    }
    self->raiseDataVersion();
    co_return *app;
}

QCoro::Task<> ASOStore::addCompetitorKeywords(QStringList keywords, TrackedApp competitor, TrackedApp app,
                                              QString country)
{
    const QPointer<ASOStore> self(this);
    const auto detail = QStringLiteral("Added from competitor ") + competitor.name;
    QList<PlannedCandidate> candidates;
    candidates.reserve(keywords.size());
    for (const auto &normalized : keywords) {
        const auto stored = m_db->keywordByNormalized(normalized);
        candidates.append(PlannedCandidate{stored ? stored->display : normalized, KeywordSource::manual, detail,
                                           competitor.appleAppId});
    }
    link(candidates, app, 0);

    for (const auto &normalized : keywords) {
        const auto keyword = self->m_db->keywordByNormalized(normalized);
        if (!keyword)
            continue;
        const auto observation = co_await self->observation(*keyword, country, false);
        // The app may have been deleted, or the store closed, while the search ran.
        const auto current = self ? self->m_db->appByAppleId(app.appleAppId) : std::nullopt;
        if (!current)
            co_return;
        self->apply(observation, *current);
    }

    co_await self->refreshPopularity(app, country, false);
    if (self && self->m_db->appByAppleId(app.appleAppId))
        self->raiseDataVersion();
}
