#include "workflows/CompetitorKeywordRow.h"

#include <limits>

namespace {

constexpr qint64 largest = std::numeric_limits<qint64>::max();

qint64 rankKey(const KeywordGap::Position &position)
{
    const auto rank = position.foundRank();
    return rank ? qint64(*rank) : largest;
}

}

qint64 CompetitorKeywordRow::myRankSortKey() const
{
    return rankKey(mine);
}

qint64 CompetitorKeywordRow::theirRankSortKey() const
{
    return rankKey(theirs);
}

qint64 CompetitorKeywordRow::leadSortKey() const
{
    return lead.sortValue();
}

qint64 CompetitorKeywordRow::popularitySortKey() const
{
    return popularity.value_or(-1);
}

qint64 CompetitorKeywordRow::difficultySortKey() const
{
    return difficulty.value_or(largest);
}
