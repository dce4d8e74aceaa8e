#include "store/ASOStore.h"

#include "support/Unicode.h"

#include <QCollator>

#include <algorithm>

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

}

KeywordGap::EvidenceMap ASOStore::latestEvidence(const QSet<QString> &keywords, const QString &country)
{
    KeywordGap::EvidenceMap evidence;
    evidence.reserve(keywords.size());
    for (const auto &observation : latestObservations(keywords, country))
        evidence.insert(observation.keywordNormalized, KeywordGap::Evidence::results(observation.hits()));

    if (evidence.size() < keywords.size()) {
        for (const auto &observation : m_db->failedObservations(country)) {
            if (keywords.contains(observation.keywordNormalized) && !evidence.contains(observation.keywordNormalized))
                evidence.insert(observation.keywordNormalized, KeywordGap::Evidence::failed());
        }
    }
    for (const auto &keyword : keywords) {
        if (!evidence.contains(keyword))
            evidence.insert(keyword, KeywordGap::Evidence::notChecked());
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
    const auto evidence = latestEvidence(linkedKeywords(app), country);
    QSet<QString> excluded{app.appleAppId};
    for (const auto &tracked : m_db->apps())
        excluded.insert(tracked.appleAppId);
    const auto usable = std::count_if(evidence.cbegin(), evidence.cend(), [](const KeywordGap::Evidence &entry) {
        return entry.kind == KeywordGap::Evidence::Kind::results;
    });
    return KeywordGap::suggestions(evidence, excluded, suggestionTopRank, usable >= 2 ? 2 : 1, limit);
}

ASOStore::EvidenceCoverage ASOStore::evidenceCoverage(const TrackedApp &app, const QString &country)
{
    // As latestEvidence() judges the keywords, without decoding the hits: the competitors section
    // asks for these counts before every analysis, which decodes them once more.
    const auto keywords = linkedKeywords(app);
    QSet<QString> succeeded;
    for (const auto &observation : latestObservations(keywords, country))
        succeeded.insert(observation.keywordNormalized);
    QSet<QString> failed;
    if (succeeded.size() < keywords.size()) {
        for (const auto &observation : m_db->failedObservations(country)) {
            if (keywords.contains(observation.keywordNormalized) && !succeeded.contains(observation.keywordNormalized))
                failed.insert(observation.keywordNormalized);
        }
    }
    return EvidenceCoverage{keywords.size(), succeeded.size(), failed.size()};
}

QList<CompetitorKeywordRow> ASOStore::comparisonRows(const TrackedApp &app, const TrackedApp &competitor,
                                                     const QString &country)
{
    // Only the app's own keywords: the competitor's are the gap's business.
    const auto keywords = linkedKeywords(app);
    const auto evidence = latestEvidence(keywords, country);
    return competitorKeywordRows(
        KeywordGap::compare(sortedPlainly(keywords), evidence, app.appleAppId, competitor.appleAppId), country);
}

ASOStore::KeywordGapRows ASOStore::keywordGapRows(const TrackedApp &app, const TrackedApp &competitor,
                                                  const QString &country)
{
    const auto mine = linkedKeywords(app);
    const auto theirs = linkedKeywords(competitor);
    const auto evidence = latestEvidence(mine + theirs, country);
    const auto comparisons = KeywordGap::compare(sortedPlainly(mine), evidence, app.appleAppId, competitor.appleAppId);
    const auto untracked =
        KeywordGap::untracked(sortedPlainly(theirs), mine, evidence, app.appleAppId, competitor.appleAppId);
    return KeywordGapRows{
        competitorKeywordRows(KeywordGap::opportunities(comparisons, opportunityTheirRank, opportunityLead), country),
        competitorKeywordRows(untracked, country)};
}

QList<CompetitorKeywordRow> ASOStore::competitorKeywordRows(const QList<KeywordGap::Comparison> &comparisons,
                                                            const QString &country)
{
    const auto known = metrics(country);
    QList<CompetitorKeywordRow> rows;
    rows.reserve(comparisons.size());
    for (const auto &comparison : comparisons) {
        CompetitorKeywordRow row;
        row.id = comparison.keyword;
        const auto stored = m_db->keywordByNormalized(comparison.keyword);
        row.keyword = stored ? stored->display : comparison.keyword;
        row.mine = comparison.mine;
        row.theirs = comparison.theirs;
        row.lead = comparison.lead();
        row.sampleSize = comparison.sampleSize;
        if (const auto metric = known.constFind(comparison.keyword); metric != known.cend()) {
            row.popularity = metric->popularity;
            row.popularitySource = metric->popularitySource();
            row.difficulty = metric->difficulty;
        }
        rows.append(row);
    }
    return rows;
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
