#include "store/KeywordRow.h"

#include "store/RankPoint.h"

#include <limits>

namespace {
constexpr qint64 largest = std::numeric_limits<qint64>::max();
}

qint64 KeywordRow::rankSortKey() const
{
    return rank.value_or(largest);
}

qint64 KeywordRow::popularitySortKey() const
{
    return popularity.value_or(-1);
}

qint64 KeywordRow::difficultySortKey() const
{
    return difficulty.value_or(largest);
}

qint64 KeywordRow::opportunitySortKey() const
{
    return opportunity.value_or(-1);
}

QDateTime KeywordRow::checkedAtSortKey() const
{
    return checkedAt.value_or(RankPoint::distantPast());
}
