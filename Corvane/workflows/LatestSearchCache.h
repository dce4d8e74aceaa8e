#pragma once

#include "clients/AppRecords.h"
#include "model/StoreDb.h"
#include "model/TrackedApp.h"
#include "workflows/StoredHitScan.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QDateTime>

#include <optional>
#include <utility>

// What the competitor analysis reads of the stored searches, kept between analyses.
//
// Compact copies of the hits of the latest searches, by keyword and storefront. Decoding the
// stored hits is what makes the analysis slow; a row never changes while it is the latest (a
// newer search is a new row, and the old one loses its hits), so a copy stays right for as long
// as its keyword's latest row is the same row with the same time and hit bytes. A copy is checked
// against the keyword's latest row when asked for, and replaced when that row is another.
//
// Besides, what one state of the database tells (which searches are latest, which keywords only
// failed, the apps' keywords) is read once for all the analyses that ask while nothing is
// written, such as the counts and the table of one refresh of a screen.
class LatestSearchCache
{
public:
    // Every hit's app and rank in one search, in stored order.
    class Search
    {
    public:
        Search() = default;
        explicit Search(const QList<SearchHit> &hits);
        explicit Search(const QList<StoredHitScan::Hit> &hits);
        // The search of these stored hits, as decoding them reads it.
        static Search of(const QByteArray &hitsData);

        qsizetype size() const { return m_apps.size(); }
        QString appleAppId(qsizetype index) const;
        int rank(qsizetype index) const { return m_ranks.isEmpty() ? int(index) + 1 : m_ranks.at(index); }
        // The app's hits, with its ID and rank only, in stored order.
        QList<SearchHit> hitsOf(const QString &appleAppId) const;
        // The hits ranked `topN` or better, best first, equals in stored order.
        QList<qsizetype> rankedIndexes(int topN) const;
        // The hit's app: a plain decimal ID as its number, any other as -1 - its place among this
        // search's other IDs (so the same only within the search).
        qint64 appKey(qsizetype index) const { return m_apps.at(index); }
        // The number a plain decimal ID is kept as; absent for any other ID.
        static std::optional<qint64> plainKey(QStringView appleAppId);

    private:
        std::optional<qint64> keyOf(const QString &appleAppId) const;
        // Adds an app whose ID is not a plain number.
        void appendOther(const QString &appleAppId);
        // Keeps the ranks unless they are 1, 2, 3... in stored order.
        template<typename Hits>
        void keepRanks(const Hits &hits);

        // An ID that is a plain decimal number as that number, any other as -1 - its index in
        // m_otherApps: Apple's IDs are numbers, and 8 bytes hold one without a string.
        QList<qint64> m_apps;
        QStringList m_otherApps;
        // Empty while the ranks are 1, 2, 3... as a search stores them.
        QList<qint32> m_ranks;
    };

    struct Latest
    {
        qint64 persistentId = 0;
        Search search;
    };

    // What the storefront's searches tell of some keywords: a keyword with a latest (successful)
    // search is judged by it, even after later failures; one with failed searches only counts
    // as failed; the rest were never checked.
    struct Searched
    {
        // By keyword; of two latest rows of a keyword the later counts.
        QHash<QString, StoreDb::LatestSearch> latest;
        QSet<QString> failed;
    };

    // The normal forms of the app's keywords.
    QSet<QString> linkedKeywords(StoreDb &db, const TrackedApp &app);
    Searched searched(StoreDb &db, const QSet<QString> &keywords, const QString &country);
    // The compact latest search of each keyword that has one.
    QHash<QString, Latest> searches(StoreDb &db, const QSet<QString> &keywords, const QString &country);
    // The full hits at these places (keyword, index) of the searches that searches() returned
    // last for the storefront, in the same order. A place that holds no hit gives an empty one.
    QList<SearchHit> hits(StoreDb &db, const QString &country, const QList<std::pair<QString, qsizetype>> &places);

private:
    struct Entry
    {
        qint64 persistentId = 0;
        QDateTime checkedAt;
        qint64 hitsSize = 0;
        Search search;
        QHash<qsizetype, SearchHit> details;
    };
    // What has been read in the state of the database that `mark` tells.
    struct Reads
    {
        StoreDb::ChangeMark mark;
        QHash<qint64, QSet<QString>> linked;
        // By storefront: the keywords asked about, and what was found of them.
        QHash<QString, QSet<QString>> asked;
        QHash<QString, Searched> searched;
        // By storefront, once read whole: every latest search, by keyword.
        QHash<QString, QHash<QString, StoreDb::LatestSearch>> everyLatest;
    };
    // Reads and scans the hits of these searches on the pool's threads, from the file, and keeps
    // their copies; the searches it could not read.
    static QList<const StoreDb::LatestSearch *> readElsewhere(const QString &path,
                                                             const QList<const StoreDb::LatestSearch *> &missing,
                                                             QHash<QString, Entry> &entries);
    // Forgets the reads when the database may have changed since.
    void update(StoreDb &db);

    Reads m_reads;
    // By storefront, then keyword.
    QHash<QString, QHash<QString, Entry>> m_countries;
};
