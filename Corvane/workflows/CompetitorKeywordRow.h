#pragma once

#include "keywords/KeywordGap.h"
#include "model/PopularitySource.h"

#include <QString>

#include <optional>

// One keyword of an app-versus-competitor table: both apps' positions in the keyword's latest
// search in one storefront, and the keyword's metric there. A plain value.
struct CompetitorKeywordRow
{
    // The keyword's normal form; one row per keyword.
    QString id;
    // The stored keyword's display text, else the normal form.
    QString keyword;
    KeywordGap::Position mine;
    KeywordGap::Position theirs;
    KeywordGap::Lead lead;
    // The number of hits of the search the positions come from, when it succeeded.
    std::optional<int> sampleSize;
    std::optional<qint64> popularity;
    std::optional<PopularitySource> popularitySource;
    std::optional<qint64> difficulty;

    // Sort keys for columns whose values may be absent, sorted ascending: rows where an app is
    // not found and rows of unknown difficulty come last, unknown popularity first; the lead
    // orders "only mine" above every shared rank and "unknown" below everything.
    qint64 myRankSortKey() const;
    qint64 theirRankSortKey() const;
    qint64 leadSortKey() const;
    qint64 popularitySortKey() const;
    qint64 difficultySortKey() const;
};
