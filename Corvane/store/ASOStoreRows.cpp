#include "store/ASOStore.h"

#include <algorithm>
#include <array>

// The keyword rows of an app in a storefront, kept until the data version changes.

namespace {

std::optional<int> narrow(std::optional<qint64> rank)
{
    return rank ? std::optional<int>(static_cast<int>(*rank)) : std::nullopt;
}

// A stored source that names no source counts as a manual one.
KeywordSource sourceOf(const QString &raw)
{
    return KeywordSources::fromRaw(raw).value_or(KeywordSource::manual);
}

const QString &labelOf(KeywordSource source)
{
    static const auto labels = [] {
        std::array<QString, 12> all;
        for (const auto each : KeywordSources::all())
            all.at(static_cast<size_t>(each)) = KeywordSources::label(each);
        return all;
    }();
    return labels.at(static_cast<size_t>(source));
}

// Starts a row from the first link of its keyword.
KeywordRow startRow(const StoreDb::KeywordRowSource &link)
{
    KeywordRow row;
    row.id = link.normalized;
    row.keyword = link.display;
    row.translated = link.translatedEn;
    return row;
}

void addLink(KeywordRow &row, const StoreDb::KeywordRowSource &link)
{
    const auto source = sourceOf(link.sourceRaw);
    if (!row.sources.contains(source))
        row.sources.append(source);
    if (!row.provenance.isEmpty())
        row.provenance += QLatin1Char('\n');
    row.provenance += labelOf(source);
    if (link.detail)
        row.provenance += QStringLiteral(": ") + *link.detail;
}

void finishRow(KeywordRow &row, const ASOStore::SnapshotPair *pair, const KeywordMetric *metric)
{
    std::stable_sort(row.sources.begin(), row.sources.end(), [](KeywordSource a, KeywordSource b) {
        return KeywordSources::priority(a) > KeywordSources::priority(b);
    });
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
    // One row per linked keyword, its links in stored order.
    const auto sources = m_db->keywordRowSources(app, country);
    QList<KeywordRow> rows;
    QList<const StoreDb::KeywordRowSource *> firstOf;
    QHash<QString, qsizetype> rowOf;
    for (const auto &link : sources) {
        auto found = rowOf.constFind(link.normalized);
        if (found == rowOf.cend()) {
            found = rowOf.insert(link.normalized, rows.size());
            rows.append(startRow(link));
            firstOf.append(&link);
        }
        addLink(rows[*found], link);
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const auto &first = *firstOf.at(i);
        const auto pair = first.state ? std::optional(snapshotPair(*first.state)) : std::nullopt;
        finishRow(rows[i], pair ? &*pair : nullptr, first.metric ? &*first.metric : nullptr);
    }
    return rows;
}
