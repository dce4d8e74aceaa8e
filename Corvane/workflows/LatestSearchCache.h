#pragma once

#include "clients/AppRecords.h"
#include "model/StoreDb.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QDateTime>

#include <optional>
#include <utility>

// Compact copies of the hits of the latest searches, as the competitor analysis reads them,
// keyed by the search's row. Decoding the stored hits is what makes the analysis slow; a row
// never changes while it is the latest (a newer search is a new row, and the old one loses its
// hits), so a copy stays right for as long as its row is latest and carries the same time and
// hit bytes. Each lookup drops the copies of the storefront that no longer are, and reads and
// decodes only the hits it has no copy of.
class LatestSearchCache
{
public:
    // Every hit's app and rank in one search, in stored order.
    class Search
    {
    public:
        Search() = default;
        explicit Search(const QList<SearchHit> &hits);

        qsizetype size() const { return m_apps.size(); }
        QString appleAppId(qsizetype index) const;
        int rank(qsizetype index) const { return m_ranks.isEmpty() ? int(index) + 1 : m_ranks.at(index); }
        // The app's hits, with its ID and rank only, in stored order.
        QList<SearchHit> hitsOf(const QString &appleAppId) const;
        // The hits ranked `topN` or better, with ID and rank only, in stored order.
        QList<SearchHit> ranked(int topN) const;
        // The app's best hit ranked `topN` or better, the first of equals; -1 when none.
        qsizetype bestIndexOf(const QString &appleAppId, int topN) const;

    private:
        std::optional<qint64> keyOf(const QString &appleAppId) const;

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

    // The compact latest search of each of the keywords that has one among `latest` (the
    // storefront's latest searches, in row order; of two rows of a keyword the later counts).
    QHash<QString, Latest> searches(StoreDb &db, const QList<StoreDb::LatestSearch> &latest,
                                    const QSet<QString> &keywords, const QString &country);
    // The full hits at these places (row, index) of searches that searches() returned last for
    // the storefront, in the same order; kept beside their copies once decoded. A place that no
    // longer holds a hit gives an empty one.
    QList<SearchHit> hits(StoreDb &db, const QString &country, const QList<std::pair<qint64, qsizetype>> &places);

private:
    struct Entry
    {
        QDateTime checkedAt;
        qint64 hitsSize = 0;
        Search search;
        QHash<qsizetype, SearchHit> details;
    };

    QHash<QString, QHash<qint64, Entry>> m_countries;
};
