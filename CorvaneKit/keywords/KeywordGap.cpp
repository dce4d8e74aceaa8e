#include "keywords/KeywordGap.h"

#include "support/Unicode.h"

#include <algorithm>
#include <limits>

namespace {

QList<Ranking::ResultEntry> entriesOf(const QList<SearchHit> &hits)
{
    QList<Ranking::ResultEntry> entries;
    entries.reserve(hits.size());
    for (const SearchHit &hit : hits)
        entries.append({hit.appleAppId, hit.rank});
    return entries;
}

KeywordGap::Position positionOf(const Ranking::Reading &reading)
{
    return {reading.state, reading.rank};
}

bool usable(const KeywordGap::Position &position)
{
    return position.state == RankingState::found && position.rank.has_value();
}

KeywordGap::Comparison comparisonOf(const QString &keyword, const KeywordGap::EvidenceMap &evidence,
                                    const QString &mine, const QString &theirs)
{
    const auto it = evidence.constFind(keyword);
    if (it == evidence.cend())
        return {keyword, {RankingState::notChecked, {}}, {RankingState::notChecked, {}}, std::nullopt};
    switch (it->kind) {
    case KeywordGap::Evidence::Kind::notChecked:
        return {keyword, {RankingState::notChecked, {}}, {RankingState::notChecked, {}}, std::nullopt};
    case KeywordGap::Evidence::Kind::failed:
        return {keyword, {RankingState::requestFailed, {}}, {RankingState::requestFailed, {}}, std::nullopt};
    case KeywordGap::Evidence::Kind::results:
        break;
    }
    const auto entries = entriesOf(it->hits);
    return {keyword, positionOf(Ranking::outcome(true, entries, mine)),
            positionOf(Ranking::outcome(true, entries, theirs)), int(it->hits.size())};
}

struct Accumulator
{
    SearchHit hit;   // the first sighting supplies the metadata
    QStringList keywords;
    QList<qint64> ranks;
};

}

namespace KeywordGap {

std::optional<int> Position::foundRank() const
{
    if (state == RankingState::found)
        return rank;
    return std::nullopt;
}

Position Evidence::position(const QString &appleAppId) const
{
    switch (kind) {
    case Kind::failed:
        return {RankingState::requestFailed, std::nullopt};
    case Kind::notChecked:
        return {RankingState::notChecked, std::nullopt};
    case Kind::results:
        break;
    }
    return positionOf(Ranking::outcome(true, entriesOf(hits), appleAppId));
}

std::optional<int> Evidence::sampleSize() const
{
    if (kind == Kind::results)
        return int(hits.size());
    return std::nullopt;
}

qint64 Lead::sortValue() const
{
    switch (kind) {
    case Kind::both:
        return places;
    case Kind::onlyMine:
        return 10000;
    case Kind::onlyTheirs:
        return -10000;
    case Kind::neither:
        return -5000;
    case Kind::unknown:
        break;
    }
    return std::numeric_limits<qint64>::min();
}

Lead Comparison::lead() const
{
    if (usable(mine)) {
        if (usable(theirs))
            return Lead::both(qint64(*theirs.rank) - qint64(*mine.rank));
        if (theirs.state == RankingState::notFoundInSample)
            return Lead::onlyMine();
        return Lead::unknown();
    }
    if (usable(theirs))
        return Lead::onlyTheirs();
    if (mine.state == RankingState::notFoundInSample && theirs.state == RankingState::notFoundInSample)
        return Lead::neither();
    return Lead::unknown();
}

QList<Suggestion> suggestions(const EvidenceMap &evidence, const QSet<QString> &exclude, int topN,
                              int minShared, int max)
{
    if (max <= 0)
        return {};
    QStringList keywords = evidence.keys();
    std::stable_sort(keywords.begin(), keywords.end(), Unicode::lessThan);

    QHash<QString, Accumulator> accumulators;
    for (const QString &keyword : keywords) {
        const Evidence &entry = evidence.find(keyword).value();
        if (entry.kind != Evidence::Kind::results)
            continue;
        // Hits beyond the top never count, so only the rest need ordering by rank.
        QList<const SearchHit *> top;
        for (const SearchHit &hit : entry.hits) {
            if (hit.rank <= topN)
                top.append(&hit);
        }
        std::stable_sort(top.begin(), top.end(), [](const SearchHit *a, const SearchHit *b) { return a->rank < b->rank; });
        QSet<QString> counted;
        for (const SearchHit *topHit : top) {
            const SearchHit &hit = *topHit;
            if (exclude.contains(hit.appleAppId) || counted.contains(hit.appleAppId))
                continue;
            counted.insert(hit.appleAppId);
            auto it = accumulators.find(hit.appleAppId);
            if (it == accumulators.end())
                it = accumulators.insert(hit.appleAppId, Accumulator{hit, {}, {}});
            it->keywords.append(keyword);
            it->ranks.append(hit.rank);
        }
    }

    QList<Suggestion> result;
    for (auto it = accumulators.cbegin(); it != accumulators.cend(); ++it) {
        const Accumulator &acc = it.value();
        if (acc.keywords.size() < minShared)
            continue;
        qint64 sum = 0;
        for (const qint64 rank : acc.ranks)
            sum += rank;
        QStringList sorted = acc.keywords;
        std::stable_sort(sorted.begin(), sorted.end(), Unicode::lessThan);
        result.append({it.key(), acc.hit.name, acc.hit.developerName, acc.hit.iconURL, acc.hit.primaryGenre,
                       acc.hit.ratingCount, sorted, double(sum) / double(acc.ranks.size()),
                       int(*std::min_element(acc.ranks.cbegin(), acc.ranks.cend()))});
    }
    std::stable_sort(result.begin(), result.end(), listedBefore);
    if (result.size() > max)
        result.resize(max);
    return result;
}

bool listedBefore(const Suggestion &a, const Suggestion &b)
{
    if (a.keywords.size() != b.keywords.size())
        return a.keywords.size() > b.keywords.size();
    if (a.averageRank != b.averageRank)
        return a.averageRank < b.averageRank;
    return Unicode::lessThan(a.appleAppId, b.appleAppId);
}

QList<Comparison> compare(const QStringList &keywords, const EvidenceMap &evidence, const QString &mine,
                          const QString &theirs)
{
    QList<Comparison> result;
    result.reserve(keywords.size());
    for (const QString &keyword : keywords)
        result.append(comparisonOf(keyword, evidence, mine, theirs));
    return result;
}

QList<Comparison> opportunities(const QList<Comparison> &comparisons, int competitorTop, int worseBy)
{
    // Wide enough that "no rank" (the largest 64-bit value) minus any rank cannot overflow.
    __extension__ typedef __int128 Wide;
    QList<Comparison> kept;
    for (const Comparison &comparison : comparisons) {
        if (!usable(comparison.theirs) || *comparison.theirs.rank > competitorTop)
            continue;
        const Wide theirRank = *comparison.theirs.rank;
        if (comparison.mine.state == RankingState::notFoundInSample) {
            kept.append(comparison);
        } else if (comparison.mine.state == RankingState::found) {
            const Wide myRank = comparison.mine.rank ? Wide(*comparison.mine.rank)
                                                     : Wide(std::numeric_limits<qint64>::max());
            if (myRank - theirRank >= worseBy)
                kept.append(comparison);
        }
    }
    std::stable_sort(kept.begin(), kept.end(), [](const Comparison &a, const Comparison &b) {
        if (*a.theirs.rank != *b.theirs.rank)
            return *a.theirs.rank < *b.theirs.rank;
        return Unicode::lessThan(a.keyword, b.keyword);
    });
    return kept;
}

QList<Comparison> untracked(const QStringList &competitorKeywords, const QSet<QString> &myKeywords,
                            const EvidenceMap &evidence, const QString &mine, const QString &theirs)
{
    QList<Comparison> result;
    QSet<QString> taken;
    for (const QString &keyword : competitorKeywords) {
        if (myKeywords.contains(keyword) || taken.contains(keyword))
            continue;
        taken.insert(keyword);
        result.append(comparisonOf(keyword, evidence, mine, theirs));
    }
    const auto rankKey = [](const Comparison &c) {
        return usable(c.theirs) ? qint64(*c.theirs.rank) : std::numeric_limits<qint64>::max();
    };
    std::stable_sort(result.begin(), result.end(), [&rankKey](const Comparison &a, const Comparison &b) {
        if (rankKey(a) != rankKey(b))
            return rankKey(a) < rankKey(b);
        if (a.theirs.state != b.theirs.state)
            return int(a.theirs.state) < int(b.theirs.state);
        return Unicode::lessThan(a.keyword, b.keyword);
    });
    return result;
}

}
