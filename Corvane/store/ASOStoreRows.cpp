#include "store/ASOStore.h"

#include <algorithm>
#include <array>

// The keyword rows of an app in a storefront. They are kept; a new data version re-reads only the
// keywords that writes named since, and merges them in by the row id of their first link, which
// is the order a full read gives.

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


struct Built
{
    QList<KeywordRow> rows;
    QList<qint64> firstLinks;
};

// One row per linked keyword, its links in stored order.
Built build(const QList<StoreDb::KeywordRowSource> &sources)
{
    Built built;
    QList<const StoreDb::KeywordRowSource *> firstOf;
    QHash<QString, qsizetype> rowOf;
    for (const auto &link : sources) {
        auto found = rowOf.constFind(link.normalized);
        if (found == rowOf.cend()) {
            found = rowOf.insert(link.normalized, built.rows.size());
            built.rows.append(startRow(link));
            built.firstLinks.append(link.linkPersistentId);
            firstOf.append(&link);
        }
        addLink(built.rows[*found], link);
    }
    for (qsizetype i = 0; i < built.rows.size(); ++i) {
        const auto &first = *firstOf.at(i);
        const auto pair = first.state ? std::optional(ASOStore::snapshotPair(*first.state)) : std::nullopt;
        finishRow(built.rows[i], pair ? &*pair : nullptr, first.metric ? &*first.metric : nullptr);
    }
    return built;
}

// Past this many changed keywords a full read is quicker than reading them one by one.
bool worthFullRead(qsizetype changed, qsizetype rows)
{
    return changed > 64 + rows / 4;
}

}

QList<KeywordRow> ASOStore::rows(const TrackedApp &app, const QString &country)
{
    const auto key = app.appleAppId + QLatin1Char('|') + country;
    auto cached = m_rowsCache.find(key);
    if (cached != m_rowsCache.end() && cached->appPersistentId == app.persistentId) {
        if (cached->dataVersion != m_dataVersion) {
            catchUp(*cached, app);
            cached->dataVersion = m_dataVersion;
        }
        return cached->rows;
    }
    auto built = build(m_db->keywordRowSources(app, country));
    cached = m_rowsCache.insert(key, CachedRows{app.appleAppId, app.persistentId, country, m_dataVersion,
                                                std::move(built.rows), std::move(built.firstLinks), false, {}, {}});
    return cached->rows;
}

QList<KeywordRow> ASOStore::readRows(const TrackedApp &app, const QString &country)
{
    return build(m_db->keywordRowSources(app, country)).rows;
}

void ASOStore::noteRowsChange(const StoreDb::RowsChange &change)
{
    for (auto &cached : m_rowsCache) {
        if ((change.appleAppId && *change.appleAppId != cached.appleAppId)
            || (change.appPersistentId && *change.appPersistentId != cached.appPersistentId)
            || (change.country && *change.country != cached.country) || cached.stale)
            continue;
        if (change.normalized)
            cached.changed.insert(*change.normalized);
        if (change.keywordPersistentId)
            cached.changedKeywordIds.append(*change.keywordPersistentId);
        if (change.anyKeyword()
            || worthFullRead(cached.changed.size() + cached.changedKeywordIds.size(), cached.rows.size())) {
            cached.stale = true;
            cached.changed.clear();
            cached.changedKeywordIds.clear();
        }
    }
}

void ASOStore::catchUp(CachedRows &cached, const TrackedApp &app)
{
    if (cached.stale) {
        auto built = build(m_db->keywordRowSources(app, cached.country));
        cached.rows = std::move(built.rows);
        cached.firstLinks = std::move(built.firstLinks);
        cached.stale = false;
        return;
    }
    if (cached.changed.isEmpty() && cached.changedKeywordIds.isEmpty())
        return;
    auto changed = std::move(cached.changed);
    if (!cached.changedKeywordIds.isEmpty()) {
        for (const auto &normalized : m_db->keywordNormalForms(cached.changedKeywordIds))
            changed.insert(normalized);
    }
    cached.changed.clear();
    cached.changedKeywordIds.clear();
    const auto fresh = build(m_db->keywordRowSources(app, cached.country, changed.values()));

    // Both lists are in first-link order; the changed keywords' old rows give way to their fresh ones.
    QList<KeywordRow> rows;
    QList<qint64> firstLinks;
    rows.reserve(cached.rows.size() + fresh.rows.size());
    firstLinks.reserve(rows.capacity());
    qsizetype next = 0;
    for (qsizetype i = 0; i < cached.rows.size(); ++i) {
        if (changed.contains(cached.rows.at(i).id))
            continue;
        for (; next < fresh.rows.size() && fresh.firstLinks.at(next) < cached.firstLinks.at(i); ++next) {
            rows.append(fresh.rows.at(next));
            firstLinks.append(fresh.firstLinks.at(next));
        }
        rows.append(cached.rows.at(i));
        firstLinks.append(cached.firstLinks.at(i));
    }
    for (; next < fresh.rows.size(); ++next) {
        rows.append(fresh.rows.at(next));
        firstLinks.append(fresh.firstLinks.at(next));
    }
    cached.rows = std::move(rows);
    cached.firstLinks = std::move(firstLinks);
}
