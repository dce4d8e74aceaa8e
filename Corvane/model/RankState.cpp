#include "model/RankState.h"

#include "model/RankingStateFromRaw.h"

RankState::RankState(const QString &appleAppId, const RankSnapshot &snapshot)
    : key(makeKey(appleAppId, snapshot.keywordNormalized, snapshot.country)),
      appleAppId(appleAppId),
      keywordNormalized(snapshot.keywordNormalized),
      country(snapshot.country),
      latestObservationId(snapshot.observationId),
      latestStateRaw(snapshot.stateRaw),
      latestRank(snapshot.rank),
      latestResultCount(snapshot.resultCount),
      latestCheckedAt(snapshot.checkedAt)
{
    if (snapshot.state() == RankingState::found)
        lastFoundAt = snapshot.checkedAt;
}

void RankState::apply(const RankSnapshot &snapshot)
{
    if (latestState() != RankingState::requestFailed) {
        previousStateRaw = latestStateRaw;
        previousRank = latestRank;
        previousCheckedAt = latestCheckedAt;
    }
    latestObservationId = snapshot.observationId;
    latestStateRaw = snapshot.stateRaw;
    latestRank = snapshot.rank;
    latestResultCount = snapshot.resultCount;
    latestCheckedAt = snapshot.checkedAt;
    if (snapshot.state() == RankingState::found)
        lastFoundAt = snapshot.checkedAt;
}

RankingState RankState::latestState() const
{
    return rankingStateFromRaw(latestStateRaw).value_or(RankingState::notChecked);
}

std::optional<RankingState> RankState::previousState() const
{
    if (!previousStateRaw)
        return std::nullopt;
    return rankingStateFromRaw(*previousStateRaw);
}

QString RankState::makeKey(const QString &appleAppId, const QString &keywordNormalized, const QString &country)
{
    return appleAppId + QLatin1Char('|') + keywordNormalized + QLatin1Char('|') + country;
}
