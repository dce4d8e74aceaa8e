#pragma once

#include "keywords/KeywordSource.h"
#include "keywords/Ranking.h"
#include "model/PopularitySource.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One keyword of an app in one storefront as the keyword table shows it: where it came from,
// how the app ranks for it now and before, and the keyword's metric there. A plain value.
struct KeywordRow
{
    // The keyword's normal form; one row per keyword.
    QString id;
    QString keyword;
    std::optional<QString> translated;
    // Distinct sources of the app's links to the keyword, strongest first.
    QList<KeywordSource> sources;
    // One line per link: its source's label, then ": " and its detail when it has one.
    QString provenance;
    RankingState state = RankingState::notChecked;
    std::optional<qint64> rank;
    std::optional<qint64> resultCount;
    std::optional<QDateTime> checkedAt;
    // Only when the previous reading found the app.
    std::optional<qint64> previousRank;
    Ranking::Change change;
    std::optional<qint64> popularity;
    std::optional<PopularitySource> popularitySource;
    std::optional<qint64> difficulty;
    std::optional<qint64> opportunity;

    // Sort keys for the columns whose values may be absent: sorted ascending, unranked rows
    // and rows of unknown difficulty come last, unknown popularity and opportunity first,
    // and never-checked rows are the oldest.
    qint64 rankSortKey() const;
    qint64 popularitySortKey() const;
    qint64 difficultySortKey() const;
    qint64 opportunitySortKey() const;
    QDateTime checkedAtSortKey() const;

    friend bool operator==(const KeywordRow &, const KeywordRow &) = default;
};
