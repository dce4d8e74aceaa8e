#include "keywords/KeywordScores.h"

#include "keywords/KeywordText.h"
#include "support/Rounding.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace KeywordScores {

namespace {

constexpr int consideredHits = 10;
constexpr int medianHits = 5;
constexpr double strengthWeight = 0.75;
constexpr double titleWeight = 0.25;

// A million ratings or more is full strength.
double ratingScale()
{
    static const double scale = std::log10(1'000'001.0);
    return scale;
}

// Nothing upstream range-checks the count; a negative one means no ratings (its
// logarithm would be -inf or NaN).
qint64 ratingCountOf(const Hit &hit)
{
    return std::max<qint64>(hit.userRatingCount.value_or(0), 0);
}

double ratingStrength(const Hit &hit)
{
    if (!hit.userRatingCount)
        return 0;
    const double count = static_cast<double>(ratingCountOf(hit));
    return std::min(std::log10(count + 1.0) / ratingScale(), 1.0);
}

double qualityFactor(const Hit &hit)
{
    if (!hit.averageUserRating || std::isnan(*hit.averageUserRating))
        return 0.875;
    const double x = (*hit.averageUserRating - 1.0) * 0.25;
    if (x < 0)
        return 0.75;
    return 0.75 + 0.25 * std::min(x, 1.0);
}

QString joinedTokens(const QString &text)
{
    return KeywordText::tokenize(text).join(QLatin1Char(' '));
}

bool containsAsTokens(const QString &joinedKeyword, const QString &appName)
{
    if (joinedKeyword.isEmpty())
        return false;
    const QString space(QLatin1Char(' '));
    return (space + joinedTokens(appName) + space).contains(space + joinedKeyword + space);
}

// Median of non-negative counts, rounded halves up, in exact integer arithmetic.
qint64 median(QList<qint64> counts)
{
    std::sort(counts.begin(), counts.end());
    const qsizetype n = counts.size();
    if (n % 2 == 1)
        return counts[n / 2];
    const qint64 a = counts[n / 2 - 1];
    const qint64 b = counts[n / 2];
    return a / 2 + b / 2 + (a % 2 + b % 2 + 1) / 2;
}

} // namespace

bool titleMatches(const QString &keyword, const QString &appName)
{
    return containsAsTokens(joinedTokens(keyword), appName);
}

Result score(const QString &keyword, const QList<Hit> &results)
{
    QList<Hit> hits = results;
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Hit &a, const Hit &b) { return a.rank < b.rank; });
    if (hits.size() > consideredHits)
        hits.resize(consideredHits);
    const qsizetype n = hits.size();
    if (n == 0)
        return Result{0, 0};
    if (std::none_of(hits.cbegin(), hits.cend(), [](const Hit &h) { return h.userRatingCount.has_value(); }))
        return Result{};

    const QString joinedKeyword = joinedTokens(keyword);
    double weighted = 0;
    double weights = 0;
    int titleHits = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const Hit &hit = hits[i];
        const double w = 1.0 / std::sqrt(static_cast<double>(i + 1));
        weighted += w * ratingStrength(hit) * qualityFactor(hit);
        weights += w;
        if (containsAsTokens(joinedKeyword, hit.appName))
            ++titleHits;
    }
    const double strength = weighted / weights;
    const double titleShare = static_cast<double>(titleHits) / static_cast<double>(n);
    const double scale = std::min(static_cast<double>(n) / consideredHits, 1.0);
    const double raw = (strengthWeight * strength + titleWeight * titleShare) * scale * 100.0;
    const int difficulty = static_cast<int>(std::clamp<qint64>(roundHalfAwayFromZero(raw), 0, 100));

    QList<qint64> counts;
    for (qsizetype i = 0; i < std::min<qsizetype>(n, medianHits); ++i)
        counts.append(ratingCountOf(hits[i]));
    return Result{difficulty, median(counts)};
}

std::optional<qint64> opportunity(std::optional<qint64> popularity, std::optional<qint64> difficulty)
{
    if (!popularity || !difficulty)
        return std::nullopt;
    // In floating point: 100 - difficulty and the product may not fit an integer.
    const double room = std::max(100.0 - static_cast<double>(*difficulty), 0.0);
    const double demand = std::max(static_cast<double>(*popularity), 0.0);
    return roundHalfAwayFromZero(std::sqrt(demand * room));
}

} // namespace KeywordScores
