#include "workflows/LatestSearchCache.h"

#include <QPromise>
#include <QThreadPool>

#include <algorithm>
#include <memory>

namespace {

// Rows whose hits are read in one query and scanned in one go: a cold cache reads thousands of
// ~50 KB blobs, and holding them all at once would cost far more memory than their copies. Also
// as many as the window's thread reads itself rather than wait for a read ahead: under a
// megabyte, from the disk too.
constexpr qsizetype hitsPerRead = 16;

// Read aheads of a search that may fail in a row before searches() reads it on the window's
// thread: a busy or locked file passes within them, a file that no other connection can open
// does not.
constexpr int readAheadAttempts = 3;

// Keywords beyond which the storefront's latest searches are read whole rather than one by one.
constexpr qsizetype manyKeywords = 500;

// The number that the ID spells in plain decimals (no sign, no leading zero), which turns back
// into the same text; absent for any other ID. Of text or of its UTF-8 bytes.
char16_t unit(QChar c)
{
    return c.unicode();
}

char16_t unit(char c)
{
    return char16_t(uchar(c));
}

template<typename Text>
std::optional<qint64> plainNumber(Text id)
{
    if (id.isEmpty() || id.size() > 18 || (id.size() > 1 && unit(id.front()) == u'0'))
        return std::nullopt;
    qint64 number = 0;
    for (const auto c : id) {
        if (unit(c) < u'0' || unit(c) > u'9')
            return std::nullopt;
        number = number * 10 + (unit(c) - u'0');
    }
    return number;
}

// The hits at these indexes of the stored hits, as decoding them all reads them; when the scan
// vouches for the whole, only those hits' objects are decoded.
QHash<qsizetype, SearchHit> hitsAt(const QByteArray &hitsData, const QList<qsizetype> &indexes)
{
    QHash<qsizetype, SearchHit> found;
    const auto scanned = StoredHitScan::scan(hitsData);
    bool decoded = scanned.has_value();
    for (qsizetype i = 0; decoded && i < indexes.size(); ++i) {
        const auto index = indexes.at(i);
        if (index < 0 || index >= scanned->size())
            continue;
        const auto &hit = scanned->at(index);
        const auto one = AppRecords::decodeHits('[' + hitsData.mid(hit.begin, hit.end - hit.begin) + ']');
        decoded = one && one->size() == 1;
        if (decoded)
            found.insert(index, one->first());
    }
    if (decoded)
        return found;
    const auto all = AppRecords::decodeHits(hitsData).value_or(QList<SearchHit>());
    found.clear();
    for (const auto index : indexes) {
        if (index >= 0 && index < all.size())
            found.insert(index, all.at(index));
    }
    return found;
}

}

std::optional<qint64> LatestSearchCache::Search::plainKey(QStringView appleAppId)
{
    return plainNumber(appleAppId);
}

void LatestSearchCache::Search::appendOther(const QString &appleAppId)
{
    auto index = m_otherApps.indexOf(appleAppId);
    if (index < 0) {
        index = m_otherApps.size();
        m_otherApps.append(appleAppId);
    }
    m_apps.append(-1 - qint64(index));
}

template<typename Hits>
void LatestSearchCache::Search::keepRanks(const Hits &hits)
{
    for (qsizetype i = 0; i < hits.size(); ++i) {
        if (hits.at(i).rank != i + 1) {
            m_ranks.reserve(hits.size());
            for (const auto &hit : hits)
                m_ranks.append(hit.rank);
            return;
        }
    }
}

LatestSearchCache::Search::Search(const QList<SearchHit> &hits)
{
    m_apps.reserve(hits.size());
    for (const auto &hit : hits) {
        if (const auto number = plainNumber(QStringView(hit.appleAppId)))
            m_apps.append(*number);
        else
            appendOther(hit.appleAppId);
    }
    keepRanks(hits);
}

LatestSearchCache::Search::Search(const QList<StoredHitScan::Hit> &hits)
{
    m_apps.reserve(hits.size());
    for (const auto &hit : hits) {
        if (const auto number = plainNumber(hit.appleAppId))
            m_apps.append(*number);
        else
            appendOther(QString::fromUtf8(hit.appleAppId));
    }
    keepRanks(hits);
}

LatestSearchCache::Search LatestSearchCache::Search::of(const QByteArray &hitsData)
{
    if (const auto scanned = StoredHitScan::scan(hitsData))
        return Search(*scanned);
    return Search(AppRecords::decodeHits(hitsData).value_or(QList<SearchHit>()));
}

QString LatestSearchCache::Search::appleAppId(qsizetype index) const
{
    const auto key = m_apps.at(index);
    return key >= 0 ? QString::number(key) : m_otherApps.at(-1 - key);
}

std::optional<qint64> LatestSearchCache::Search::keyOf(const QString &appleAppId) const
{
    if (const auto number = plainNumber(QStringView(appleAppId)))
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

QList<qsizetype> LatestSearchCache::Search::rankedIndexes(int topN) const
{
    QList<qsizetype> found;
    const auto end = m_ranks.isEmpty() ? std::clamp<qsizetype>(topN, 0, m_apps.size()) : m_apps.size();
    for (qsizetype i = 0; i < end; ++i) {
        if (rank(i) <= topN)
            found.append(i);
    }
    if (!m_ranks.isEmpty())
        std::stable_sort(found.begin(), found.end(), [this](qsizetype a, qsizetype b) { return rank(a) < rank(b); });
    return found;
}

void LatestSearchCache::update(StoreDb &db)
{
    const auto mark = db.changeMark();
    if (mark != m_reads.mark)
        m_reads = Reads{mark, {}, {}, {}, {}};
}

QSet<QString> LatestSearchCache::linkedKeywords(StoreDb &db, const TrackedApp &app)
{
    update(db);
    const auto found = m_reads.linked.constFind(app.persistentId);
    if (found != m_reads.linked.cend())
        return *found;
    return *m_reads.linked.insert(app.persistentId, db.keywordsOfApp(app.persistentId));
}

LatestSearchCache::Searched LatestSearchCache::searched(StoreDb &db, const QSet<QString> &keywords,
                                                        const QString &country)
{
    update(db);
    auto &asked = m_reads.asked[country];
    auto &known = m_reads.searched[country];
    QSet<QString> unknown;
    for (const auto &keyword : keywords) {
        if (!asked.contains(keyword))
            unknown.insert(keyword);
    }
    if (!unknown.isEmpty()) {
        // A few keywords are looked up one by one; for thousands, one pass over the storefront's
        // latest searches costs less, and answers for the keywords asked about later too.
        if (unknown.size() > manyKeywords && !m_reads.everyLatest.contains(country)) {
            auto &every = m_reads.everyLatest[country];
            for (const auto &search : db.latestSearches(country))
                every.insert(search.keywordNormalized, search);
        }
        QHash<QString, StoreDb::LatestSearch> latest;
        if (const auto every = m_reads.everyLatest.constFind(country); every != m_reads.everyLatest.cend()) {
            for (const auto &keyword : std::as_const(unknown)) {
                if (const auto found = every->constFind(keyword); found != every->cend())
                    latest.insert(keyword, *found);
            }
        } else {
            for (const auto &search : db.latestSearches(unknown, country))
                latest.insert(search.keywordNormalized, search);
        }
        QSet<QString> rest;
        for (const auto &keyword : std::as_const(unknown)) {
            if (!latest.contains(keyword))
                rest.insert(keyword);
        }
        known.latest.insert(latest);
        known.failed.unite(db.keywordsWithFailedSearches(rest, country));
        asked.unite(unknown);
    }
    // Asked about these alone so far: what is known is the answer.
    if (asked.size() == keywords.size())
        return known;
    Searched result;
    for (const auto &keyword : keywords) {
        if (const auto found = known.latest.constFind(keyword); found != known.latest.cend())
            result.latest.insert(keyword, *found);
        else if (known.failed.contains(keyword))
            result.failed.insert(keyword);
    }
    return result;
}

QList<const StoreDb::LatestSearch *> LatestSearchCache::uncopied(const QHash<QString, StoreDb::LatestSearch> &latest,
                                                                  QHash<QString, Entry> &entries)
{
    QList<const StoreDb::LatestSearch *> missing;
    for (const auto &search : latest) {
        const auto entry = entries.constFind(search.keywordNormalized);
        if (entry == entries.cend() || entry->persistentId != search.persistentId
            || entry->checkedAt != search.checkedAt || entry->hitsSize != search.hitsSize) {
            entries.remove(search.keywordNormalized);
            missing.append(&search);
        }
    }
    return missing;
}

void LatestSearchCache::keepRead()
{
    for (auto share = m_reading.begin(); share != m_reading.end();) {
        if (!(*share)->done.isFinished()) {
            ++share;
            continue;
        }
        const auto &done = **share;
        auto &entries = m_countries[done.country];
        for (qsizetype i = 0; i < done.searches.size(); ++i) {
            const auto &search = done.searches.at(i);
            const std::pair key{search.persistentId, search.hitsSize};
            switch (done.outcomes.value(i, Outcome::failed)) {
            case Outcome::read:
                m_failures.remove(key);
                // A copy made here since is of the same row or a later one.
                if (!entries.contains(search.keywordNormalized))
                    entries.insert(search.keywordNormalized,
                                   Entry{search.persistentId, search.checkedAt, search.hitsSize, done.scanned.at(i), {}});
                break;
            case Outcome::unreadable:
                m_failures.remove(key);
                m_unreadable.insert(key);
                break;
            case Outcome::failed:
                if (++m_failures[key] >= readAheadAttempts) {
                    m_failures.remove(key);
                    m_unreadable.insert(key);
                }
                break;
            }
        }
        if (entries.isEmpty())
            m_countries.remove(done.country);
        share = m_reading.erase(share);
    }
}

QList<QFuture<void>> LatestSearchCache::readAhead(StoreDb &db, const QSet<QString> &keywords, const QString &country)
{
    keepRead();
    const auto latest = searched(db, keywords, country).latest;
    auto &entries = m_countries[country];
    QSet<qint64> wanted;
    for (const auto *search : uncopied(latest, entries)) {
        if (!m_unreadable.contains({search->persistentId, search->hitsSize}))
            wanted.insert(search->persistentId);
    }
    if (entries.isEmpty())
        m_countries.remove(country);
    QList<QFuture<void>> waits;
    for (const auto &share : m_reading) {
        bool needed = false;
        for (const auto &search : std::as_const(share->searches))
            needed = wanted.remove(search.persistentId) || needed;
        if (needed)
            waits.append(share->done);
    }
    const auto path = db.fileForOtherReaders();
    if (!path || wanted.size() <= hitsPerRead)
        return waits;

    QList<StoreDb::LatestSearch> missing;
    for (const auto &search : latest) {
        if (wanted.contains(search.persistentId))
            missing.append(search);
    }
    auto *pool = QThreadPool::globalInstance();
    const auto parts = std::max<qsizetype>(1, std::min<qsizetype>(pool->maxThreadCount(), missing.size() / hitsPerRead));
    for (qsizetype p = 0; p < parts; ++p) {
        const auto begin = missing.size() * p / parts, end = missing.size() * (p + 1) / parts;
        auto share = std::make_shared<Share>(Share{country, missing.mid(begin, end - begin), {}, {}, {}});
        QList<qint64> ids;
        QList<qint64> sizes;
        for (const auto &search : std::as_const(share->searches)) {
            ids.append(search.persistentId);
            sizes.append(search.hitsSize);
        }
        auto promise = std::make_shared<QPromise<void>>();
        share->done = promise->future();
        promise->start();
        // Only `outcomes` and `scanned` of the share are the pool's, until it is done.
        pool->start([share, promise, path = *path, ids, sizes] {
            QList<Outcome> outcomes;
            QList<Search> scanned;
            try {
                StoreDb::HitsReader reader(path);
                QList<QByteArray> buffers(hitsPerRead);
                for (qsizetype start = 0; start < ids.size(); start += hitsPerRead) {
                    const auto batch = ids.mid(start, hitsPerRead);
                    const auto done = reader.hitsInto(batch, buffers);
                    // The reader tells only whether each was read. None of a batch is what a
                    // failed connection or query leaves, far likelier than a batch of hits all
                    // stored as text, which would just be tried a few times more.
                    const bool failed = !done.contains(true);
                    for (qsizetype i = 0; i < batch.size(); ++i) {
                        // Written since it was listed (by another process): left to searches().
                        const bool same = done.at(i) && buffers.at(i).size() == sizes.at(start + i);
                        scanned.append(same ? Search::of(buffers.at(i)) : Search());
                        outcomes.append(same ? Outcome::read : failed ? Outcome::failed : Outcome::unreadable);
                    }
                }
            } catch (...) {
                // Out of memory, say: nothing to hold against the searches.
                outcomes.clear();
                scanned.clear();
            }
            share->outcomes = std::move(outcomes);
            share->scanned = std::move(scanned);
            promise->finish();
        });
        waits.append(share->done);
        m_reading.push_back(std::move(share));
    }
    return waits;
}

QHash<QString, LatestSearchCache::Latest> LatestSearchCache::searches(StoreDb &db, const QSet<QString> &keywords,
                                                                      const QString &country)
{
    keepRead();
    const auto latest = searched(db, keywords, country).latest;
    auto &entries = m_countries[country];
    // What no read ahead copied: a few searches, else all for a caller that read none ahead.
    const auto missing = uncopied(latest, entries);
    QList<QByteArray> buffers(hitsPerRead);
    for (qsizetype start = 0; start < missing.size(); start += hitsPerRead) {
        const auto batch = missing.mid(start, hitsPerRead);
        QList<qint64> ids;
        for (const auto *search : batch)
            ids.append(search->persistentId);
        const auto read = db.observationHitsInto(ids, buffers);
        for (qsizetype i = 0; i < batch.size(); ++i) {
            const auto *search = batch.at(i);
            // A failed read: left out now, read again next time.
            if (read.at(i))
                entries.insert(search->keywordNormalized, Entry{search->persistentId, search->checkedAt,
                                                                search->hitsSize, Search::of(buffers.at(i)), {}});
        }
    }
    QHash<QString, Latest> result;
    result.reserve(latest.size());
    for (const auto &search : latest) {
        const auto entry = entries.constFind(search.keywordNormalized);
        result.insert(search.keywordNormalized,
                      Latest{search.persistentId, entry == entries.cend() ? Search() : entry->search});
    }
    if (entries.isEmpty())
        m_countries.remove(country);
    return result;
}

QList<SearchHit> LatestSearchCache::hits(StoreDb &db, const QString &country,
                                         const QList<std::pair<QString, qsizetype>> &places)
{
    auto &entries = m_countries[country];
    QHash<qint64, QList<qsizetype>> missing;
    for (const auto &[keyword, index] : places) {
        const auto entry = entries.constFind(keyword);
        if (entry != entries.cend() && !entry->details.contains(index))
            missing[entry->persistentId].append(index);
    }
    if (!missing.isEmpty()) {
        const auto stored = db.observationHits(missing.keys());
        for (auto &entry : entries) {
            const auto indexes = missing.constFind(entry.persistentId);
            const auto found = stored.constFind(entry.persistentId);
            if (indexes != missing.cend() && found != stored.cend())
                entry.details.insert(hitsAt(*found, *indexes));
        }
    }
    QList<SearchHit> result;
    result.reserve(places.size());
    for (const auto &[keyword, index] : places) {
        const auto entry = entries.constFind(keyword);
        result.append(entry == entries.cend() ? SearchHit() : entry->details.value(index));
    }
    if (entries.isEmpty())
        m_countries.remove(country);
    return result;
}
