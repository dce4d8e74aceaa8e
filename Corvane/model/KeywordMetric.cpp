#include "model/KeywordMetric.h"

#include "keywords/KeywordScores.h"

KeywordMetric::KeywordMetric(const QString &keywordNormalized, const QString &country)
    : key(makeKey(keywordNormalized, country)), keywordNormalized(keywordNormalized), country(country)
{
}

std::optional<PopularitySource> KeywordMetric::popularitySource() const
{
    if (!popularitySourceRaw)
        return std::nullopt;
    return PopularitySources::fromRaw(*popularitySourceRaw);
}

std::optional<qint64> KeywordMetric::opportunity() const
{
    return KeywordScores::opportunity(popularity, difficulty);
}

QString KeywordMetric::makeKey(const QString &keywordNormalized, const QString &country)
{
    return keywordNormalized + QLatin1Char('|') + country;
}
