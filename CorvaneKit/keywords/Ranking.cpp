#include "keywords/Ranking.h"

namespace RankingStates {

QString rawValue(RankingState state)
{
    switch (state) {
    case RankingState::found:
        return QStringLiteral("FOUND");
    case RankingState::notFoundInSample:
        return QStringLiteral("NOT_FOUND_IN_SAMPLE");
    case RankingState::requestFailed:
        return QStringLiteral("REQUEST_FAILED");
    case RankingState::notChecked:
        return QStringLiteral("NOT_CHECKED");
    }
    return {};
}

std::optional<RankingState> fromRaw(QStringView raw)
{
    for (const RankingState state : allCases()) {
        if (raw == rawValue(state))
            return state;
    }
    return std::nullopt;
}

QString label(RankingState state)
{
    switch (state) {
    case RankingState::found:
        return QStringLiteral("Found");
    case RankingState::notFoundInSample:
        return QStringLiteral("Not in sample");
    case RankingState::requestFailed:
        return QStringLiteral("Request failed");
    case RankingState::notChecked:
        return QStringLiteral("Not checked");
    }
    return {};
}

const QList<RankingState> &allCases()
{
    static const QList<RankingState> cases{RankingState::found, RankingState::notFoundInSample,
                                           RankingState::requestFailed, RankingState::notChecked};
    return cases;
}

}

namespace Ranking {

Reading outcome(bool succeeded, const QList<ResultEntry> &results, const QString &appleAppId)
{
    if (!succeeded)
        return {RankingState::requestFailed, std::nullopt};
    std::optional<int> best;
    for (const ResultEntry &entry : results) {
        if (entry.appleAppId == appleAppId && (!best || entry.rank < *best))
            best = entry.rank;
    }
    if (best)
        return {RankingState::found, best};
    return {RankingState::notFoundInSample, std::nullopt};
}

static bool comparable(RankingState state)
{
    return state != RankingState::requestFailed && state != RankingState::notChecked;
}

Change change(const Reading &current, const std::optional<Reading> &previous)
{
    if (!previous)
        return Change::none();
    if (!comparable(current.state) || !comparable(previous->state))
        return Change::none();
    if (current.state == RankingState::notFoundInSample)
        return previous->state == RankingState::found ? Change::lost() : Change::none();
    // current is found from here on
    if (previous->state == RankingState::notFoundInSample)
        return Change::newRanking();
    if (!current.rank || !previous->rank)
        return Change::none();
    // Widened so that no pair of stored ranks can overflow.
    return Change::moved(qint64(*previous->rank) - qint64(*current.rank));
}

}
