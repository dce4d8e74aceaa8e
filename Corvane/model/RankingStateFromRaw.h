#pragma once

#include "keywords/Ranking.h"

// The one decoding of a stored ranking state: an exact, case-sensitive match of the four raw
// values, no state for anything else. Each stored field applies its own fallback to it.
inline std::optional<RankingState> rankingStateFromRaw(QStringView raw)
{
    return RankingStates::fromRaw(raw);
}
