#pragma once

#include <QList>
#include <QString>

#include <optional>

// How hard a keyword is to rank for in one storefront, judged from one search:
// a difficulty of 0 to 100, the median rating count of the top results, and an
// opportunity score that weighs popularity against difficulty.
namespace KeywordScores {

struct Hit
{
    int rank = 0;                               // 1-based place in the search
    QString appName;
    std::optional<qint64> userRatingCount;
    std::optional<double> averageUserRating;    // 1 to 5
};

struct Result
{
    std::optional<int> difficulty;              // 0 to 100
    std::optional<qint64> topRatingMedian;
    bool operator==(const Result &) const = default;
};

// Difficulty and median of one search's hits, given in any order.
Result score(const QString &keyword, const QList<Hit> &results);

// True when the keyword's tokens occur in the name consecutively, as whole tokens.
bool titleMatches(const QString &keyword, const QString &appName);

// sqrt(popularity x (100 - difficulty)), rounded; absent when either input is.
std::optional<qint64> opportunity(std::optional<qint64> popularity, std::optional<qint64> difficulty);

} // namespace KeywordScores
