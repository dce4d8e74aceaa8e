#pragma once

#include "model/PopularitySource.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QString>

#include <optional>

// What is known of a keyword in one storefront, whatever the app: popularity from the
// popularity service, and result count, difficulty and top-rating median of the latest
// successful search.
struct KeywordMetric
{
    // The row id; 0 until the record is stored. Identity, equality and hashing use only this.
    qint64 persistentId = 0;

    // Normal form and storefront code joined with "|".
    QString key;
    QString keywordNormalized;
    QString country;
    std::optional<qint64> popularity;
    std::optional<QString> popularitySourceRaw;
    std::optional<qint64> difficulty;
    std::optional<qint64> resultCount;
    std::optional<qint64> topRatingMedian;
    // When the search-derived values last changed.
    QDateTime updatedAt = QDateTime::currentDateTimeUtc();
    std::optional<QDateTime> popularityCheckedAt;

    KeywordMetric() = default;
    KeywordMetric(const QString &keywordNormalized, const QString &country);

    // Absent when nothing, or nothing known, is stored.
    std::optional<PopularitySource> popularitySource() const;
    // Absent unless both popularity and difficulty are known.
    std::optional<qint64> opportunity() const;

    static QString makeKey(const QString &keywordNormalized, const QString &country);

    friend bool operator==(const KeywordMetric &a, const KeywordMetric &b) { return a.persistentId == b.persistentId; }
    friend size_t qHash(const KeywordMetric &metric, size_t seed = 0) noexcept
    {
        return qHash(metric.persistentId, seed);
    }
};
