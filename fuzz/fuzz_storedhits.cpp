// The quick read of stored hits. Whatever the bytes, it reads every hit's app and rank as decoding
// the hits reads them, or leaves the bytes to the decoder; each hit's object it points at decodes
// alone to the same app and rank.

#include "workflows/LatestSearchCache.h"
#include "workflows/StoredHitScan.h"

#include "FuzzSupport.h"

namespace {

QStringList read(const LatestSearchCache::Search &search)
{
    QStringList out;
    for (qsizetype i = 0; i < search.size(); ++i)
        out.append(search.appleAppId(i) + u':' + QString::number(search.rank(i)));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto decoded = AppRecords::decodeHits(json);
    const auto quick = read(LatestSearchCache::Search::of(json));
    const auto full = read(LatestSearchCache::Search(decoded.value_or(QList<SearchHit>())));
    FUZZ_CHECK(quick == full, quick.join(u' ') + QStringLiteral("\ndecoded as\n") + full.join(u' '));

    const auto scanned = StoredHitScan::scan(json);
    if (!scanned)
        return 0;
    FUZZ_CHECK(decoded && decoded->size() == scanned->size(), QString::fromUtf8(json));
    for (qsizetype i = 0; i < scanned->size(); ++i) {
        const auto &hit = scanned->at(i);
        FUZZ_CHECK(0 <= hit.begin && hit.begin < hit.end && hit.end <= json.size(), QString::fromUtf8(json));
        const auto alone = AppRecords::decodeHits("[" + json.mid(hit.begin, hit.end - hit.begin) + "]");
        FUZZ_CHECK(alone && alone->size() == 1 && alone->first().appleAppId == decoded->at(i).appleAppId
                       && alone->first().rank == decoded->at(i).rank,
                   QString::fromUtf8(json));
    }
    return 0;
}
