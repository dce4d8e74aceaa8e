#include "workflows/LatestSearchCache.h"

#include <algorithm>

namespace {

// Rows whose hits are read in one query: a cold cache reads thousands of ~80 KB blobs, and
// holding them all at once would cost far more memory than their copies.
constexpr qsizetype hitsPerRead = 64;

// The number that the ID spells in plain decimals (no sign, no leading zero), which turns back
// into the same text; absent for any other ID.
std::optional<qint64> plainNumber(QStringView id)
{
    if (id.isEmpty() || id.size() > 18 || (id.size() > 1 && id.front() == u'0'))
        return std::nullopt;
    qint64 number = 0;
    for (const QChar c : id) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        number = number * 10 + (c.unicode() - u'0');
    }
    return number;
}

}

LatestSearchCache::Search::Search(const QList<SearchHit> &hits)
{
    m_apps.reserve(hits.size());
    bool plainRanks = true;
    for (qsizetype i = 0; i < hits.size(); ++i) {
        const auto &hit = hits.at(i);
        if (const auto number = plainNumber(hit.appleAppId)) {
            m_apps.append(*number);
        } else {
            auto index = m_otherApps.indexOf(hit.appleAppId);
            if (index < 0) {
                index = m_otherApps.size();
                m_otherApps.append(hit.appleAppId);
            }
            m_apps.append(-1 - qint64(index));
        }
        plainRanks = plainRanks && hit.rank == i + 1;
    }
    if (!plainRanks) {
        m_ranks.reserve(hits.size());
        for (const auto &hit : hits)
            m_ranks.append(hit.rank);
    }
}

QString LatestSearchCache::Search::appleAppId(qsizetype index) const
{
    const auto key = m_apps.at(index);
    return key >= 0 ? QString::number(key) : m_otherApps.at(-1 - key);
}

std::optional<qint64> LatestSearchCache::Search::keyOf(const QString &appleAppId) const
{
    if (const auto number = plainNumber(appleAppId))
        return number;
    const auto index = m_otherApps.indexOf(appleAppId);
    return index < 0 ? std::nullopt : std::optional<qint64>(-1 - qint64(index));
}

QList<SearchHit> LatestSearchCache::Search::hitsOf(const QString &appleAppId) const
{
    QList<SearchHit> found;
    const auto key = keyOf(appleAppId);
    if (!key)
        return found;
    for (qsizetype i = 0; i < m_apps.size(); ++i) {
        if (m_apps.at(i) == *key) {
            SearchHit hit;
            hit.appleAppId = appleAppId;
            hit.rank = rank(i);
            found.append(hit);
        }
    }
    return found;
}

QList<SearchHit> LatestSearchCache::Search::ranked(int topN) const
{
    QList<SearchHit> found;
    // In stored order the ranks 1, 2, 3... pass the cut-off only at the top.
    const auto end = m_ranks.isEmpty() ? std::clamp<qsizetype>(topN, 0, m_apps.size()) : m_apps.size();
    for (qsizetype i = 0; i < end; ++i) {
        if (rank(i) <= topN) {
            SearchHit hit;
            hit.appleAppId = appleAppId(i);
            hit.rank = rank(i);
            found.append(hit);
        }
    }
    return found;
}

qsizetype LatestSearchCache::Search::bestIndexOf(const QString &appleAppId, int topN) const
{
    const auto key = keyOf(appleAppId);
    qsizetype best = -1;
    if (!key)
        return best;
    for (qsizetype i = 0; i < m_apps.size(); ++i) {
        if (m_apps.at(i) == *key && rank(i) <= topN && (best < 0 || rank(i) < rank(best)))
            best = i;
    }
    return best;
}

QHash<QString, LatestSearchCache::Latest> LatestSearchCache::searches(StoreDb &db,
                                                                      const QList<StoreDb::LatestSearch> &latest,
                                                                      const QSet<QString> &keywords,
                                                                      const QString &country)
{
    auto &entries = m_countries[country];
    QHash<qint64, const StoreDb::LatestSearch *> current;
    current.reserve(latest.size());
    for (const auto &search : latest)
        current.insert(search.persistentId, &search);
    // A copy of a row that is no longer latest, or no longer the row it was read from, goes.
    for (auto it = entries.begin(); it != entries.end();) {
        const auto *search = current.value(it.key());
        if (!search || search->checkedAt != it->checkedAt || search->hitsSize != it->hitsSize)
            it = entries.erase(it);
        else
            ++it;
    }

    QHash<QString, const StoreDb::LatestSearch *> wanted;
    wanted.reserve(keywords.size());
    for (const auto &search : latest) {
        if (keywords.contains(search.keywordNormalized))
            wanted.insert(search.keywordNormalized, &search);
    }
    QList<qint64> missing;
    for (const auto *search : std::as_const(wanted)) {
        if (!entries.contains(search->persistentId))
            missing.append(search->persistentId);
    }

    QHash<QString, Latest> result;
    result.reserve(wanted.size());
    for (qsizetype start = 0; start < missing.size(); start += hitsPerRead) {
        const auto batch = missing.mid(start, hitsPerRead);
        const auto stored = db.observationHits(batch);
        for (const auto id : batch) {
            const auto found = stored.constFind(id);
            if (found == stored.cend())
                continue;   // a failed read: left out now, read again next time
            const auto &search = *current.value(id);
            entries.insert(id, Entry{search.checkedAt, search.hitsSize,
                                     Search(AppRecords::decodeHits(*found).value_or(QList<SearchHit>())), {}});
        }
    }
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
        const auto id = it.value()->persistentId;
        const auto entry = entries.constFind(id);
        result.insert(it.key(), Latest{id, entry == entries.cend() ? Search() : entry->search});
    }
    if (entries.isEmpty())
        m_countries.remove(country);
    return result;
}

QList<SearchHit> LatestSearchCache::hits(StoreDb &db, const QString &country,
                                         const QList<std::pair<qint64, qsizetype>> &places)
{
    auto &entries = m_countries[country];
    QList<qint64> missing;
    for (const auto &[id, index] : places) {
        const auto entry = entries.constFind(id);
        if (entry != entries.cend() && !entry->details.contains(index) && !missing.contains(id))
            missing.append(id);
    }
    if (!missing.isEmpty()) {
        const auto stored = db.observationHits(missing);
        for (const auto id : missing) {
            const auto found = stored.constFind(id);
            if (found == stored.cend())
                continue;
            const auto decoded = AppRecords::decodeHits(*found).value_or(QList<SearchHit>());
            auto &details = entries[id].details;
            for (const auto &[wantedId, index] : places) {
                if (wantedId == id && index >= 0 && index < decoded.size())
                    details.insert(index, decoded.at(index));
            }
        }
    }
    QList<SearchHit> result;
    result.reserve(places.size());
    for (const auto &[id, index] : places) {
        const auto entry = entries.constFind(id);
        result.append(entry == entries.cend() ? SearchHit() : entry->details.value(index));
    }
    if (entries.isEmpty())
        m_countries.remove(country);
    return result;
}
