#pragma once

#include "clients/AppRecords.h"
#include "model/StoreDb.h"
#include "model/TrackedApp.h"
#include "workflows/StoredHitScan.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QDateTime>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

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
//
// A window reads ahead: many searches' hits are read and scanned on the pool's threads, while
// the window's thread goes on, and the analysis that follows finds their copies made.
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
    // The reads that searches() of these keywords waits for: when more than a few of their
    // latest searches have no copy, they are read and scanned on the pool's threads, each share
    // on a read-only connection of its own to the database file; reads of them already running
    // count too. Await them on this thread, never block on them: once they finished, searches()
    // keeps their copies and reads only what they could not, while another read ahead first
    // tries again, a few times, what failed to read rather than what cannot be read that way.
    // None while searches() has little to read, or the database has no file that other
    // connections may read now.
    QList<QFuture<void>> readAhead(StoreDb &db, const QSet<QString> &keywords, const QString &country);

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
    // What became of a search in a read ahead.
    enum class Outcome : quint8 {
        read,
        // Not as a blob (hits stored as text), or written since it was listed: for searches().
        unreadable,
        // Its connection or query failed (did not open, the file busy or locked): says nothing
        // of the search, which the next read ahead tries again.
        failed,
    };
    // A share of a read ahead. The pool's thread fills `outcomes` and `scanned` before it
    // finishes `done`; this thread looks at them only after.
    struct Share
    {
        QString country;
        QList<StoreDb::LatestSearch> searches;
        QList<Outcome> outcomes;
        QList<Search> scanned;
        QFuture<void> done;
    };
    // The latest of these searches that have no current copy in `entries`; copies of another
    // row, or of the row as it was, go.
    static QList<const StoreDb::LatestSearch *> uncopied(const QHash<QString, StoreDb::LatestSearch> &latest,
                                                         QHash<QString, Entry> &entries);
    // Keeps the copies of the shares that finished.
    void keepRead();
    // Forgets the reads when the database may have changed since.
    void update(StoreDb &db);

    Reads m_reads;
    // By storefront, then keyword.
    QHash<QString, QHash<QString, Entry>> m_countries;
    std::vector<std::shared_ptr<Share>> m_reading;
    // Searches (ID and size of the hits) that a read ahead could not read, such as hits stored
    // as text: left to searches(), else every read ahead would try them again.
    QSet<std::pair<qint64, qint64>> m_unreadable;
    // Read aheads of a search (ID and size of the hits) that failed in a row; one that keeps
    // failing is left to searches() in the end, rather than keep the window waiting.
    QHash<std::pair<qint64, qint64>, int> m_failures;
};
