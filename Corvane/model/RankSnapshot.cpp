#include "model/RankSnapshot.h"

#include "model/RankingStateFromRaw.h"
#include "model/StoredForm.h"

RankSnapshot::RankSnapshot(const TrackedApp &app, const SearchObservation &observation, RankingState state,
                           std::optional<qint64> rank)
    : key(makeKey(app.appleAppId, observation.id)),
      appPersistentId(app.persistentId),
      keywordNormalized(observation.keywordNormalized),
      country(observation.country),
      observationId(observation.id),
      stateRaw(RankingStates::rawValue(state)),
      rank(rank),
      resultCount(observation.resultCount),
      checkedAt(observation.checkedAt)
{
}

RankingState RankSnapshot::state() const
{
    return rankingStateFromRaw(stateRaw).value_or(RankingState::notChecked);
}

QString RankSnapshot::makeKey(const QString &appleAppId, const QUuid &observationId)
{
    return appleAppId + QLatin1Char('|') + StoredForm::uuidText(observationId);
}
