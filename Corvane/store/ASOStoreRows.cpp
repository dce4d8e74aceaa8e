#include "store/ASOStore.h"

#include <algorithm>

// The keyword rows of an app in a storefront, kept until the data version changes.

namespace {

struct LinkGroup
{
    Keyword keyword;
    QList<KeywordLink> links;
};

std::optional<int> narrow(std::optional<qint64> rank)
{
    return rank ? std::optional<int>(static_cast<int>(*rank)) : std::nullopt;
}

KeywordRow makeRow(const LinkGroup &group, const ASOStore::SnapshotPair *pair, const KeywordMetric *metric)
{
    KeywordRow row;
    row.id = group.keyword.normalized;
    row.keyword = group.keyword.display;
    row.translated = group.keyword.translatedEn;

    QStringList lines;
    for (const auto &link : group.links) {
        // A stored source that names no source counts as a manual one.
        const auto source = KeywordSources::fromRaw(link.sourceRaw).value_or(KeywordSource::manual);
        if (!row.sources.contains(source))
            row.sources.append(source);
        auto line = KeywordSources::label(source);
        if (link.detail)
            line += QStringLiteral(": ") + *link.detail;
        lines.append(line);
    }
    std::stable_sort(row.sources.begin(), row.sources.end(), [](KeywordSource a, KeywordSource b) {
        return KeywordSources::priority(a) > KeywordSources::priority(b);
    });
    row.provenance = lines.join(QLatin1Char('\n'));

    const auto *latest = pair && pair->latest ? &*pair->latest : nullptr;
    const auto *previous = pair && pair->previous ? &*pair->previous : nullptr;
    if (latest) {
        row.state = latest->state;
        row.rank = latest->rank;
        row.resultCount = latest->resultCount;
        row.checkedAt = latest->checkedAt;
    }
    if (previous && previous->state == RankingState::found)
        row.previousRank = previous->rank;
    row.change = Ranking::change(Ranking::Reading{row.state, narrow(row.rank)},
                                 previous ? std::optional(Ranking::Reading{previous->state, narrow(previous->rank)})
                                          : std::nullopt);
    if (metric) {
        row.popularity = metric->popularity;
        row.popularitySource = metric->popularitySource();
        row.difficulty = metric->difficulty;
        row.opportunity = metric->opportunity();
    }
    return row;
}

}

QList<KeywordRow> ASOStore::rows(const TrackedApp &app, const QString &country)
{
    const auto key = app.appleAppId + QLatin1Char('|') + country;
    if (const auto cached = m_rowsCache.constFind(key);
        cached != m_rowsCache.cend() && cached->first == m_dataVersion)
        return cached->second;
    const auto rows = buildRows(app, country);
    m_rowsCache.insert(key, {m_dataVersion, rows});
    return rows;
}

QList<KeywordRow> ASOStore::buildRows(const TrackedApp &app, const QString &country)
{
    const auto pairs = snapshotPairs(app, country);
    const auto metrics = this->metrics(country);

    // Links in stored order, grouped by keyword; links without a keyword make no row.
    QList<LinkGroup> groups;
    QHash<QString, qsizetype> groupOf;
    for (const auto &entry : m_db->linksOfApp(app.persistentId)) {
        if (!entry.keyword)
            continue;
        const auto found = groupOf.constFind(entry.keyword->normalized);
        if (found != groupOf.cend()) {
            groups[*found].links.append(entry.link);
        } else {
            groupOf.insert(entry.keyword->normalized, groups.size());
            groups.append(LinkGroup{*entry.keyword, {entry.link}});
        }
    }

    QList<KeywordRow> rows;
    rows.reserve(groups.size());
    for (const auto &group : groups) {
        const auto pair = pairs.constFind(group.keyword.normalized);
        const auto metric = metrics.constFind(group.keyword.normalized);
        rows.append(makeRow(group, pair != pairs.cend() ? &*pair : nullptr,
                            metric != metrics.cend() ? &*metric : nullptr));
    }
    return rows;
}
