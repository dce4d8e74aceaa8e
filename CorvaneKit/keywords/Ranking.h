#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// Where one app stands in one search. The raw values are stored, so they never change.
enum class RankingState { found, notFoundInSample, requestFailed, notChecked };

namespace RankingStates {
QString rawValue(RankingState state);
// Exactly the four raw values, case-sensitive; anything else has no state.
std::optional<RankingState> fromRaw(QStringView raw);
QString label(RankingState state);
// Declaration order, which is also the order other code sorts states by.
const QList<RankingState> &allCases();
}

namespace Ranking {

// A state with its 1-based rank; the rank is present only with `found`.
struct Reading
{
    RankingState state = RankingState::notChecked;
    std::optional<int> rank;
    bool operator==(const Reading &) const = default;
};

// One returned hit as the outcome needs it.
struct ResultEntry
{
    QString appleAppId;
    int rank = 0;
    bool operator==(const ResultEntry &) const = default;
};

struct Change
{
    enum class Kind { moved, none, newRanking, lost };
    Kind kind = Kind::none;
    // For `moved` only: previous rank minus current rank; positive means a better rank now.
    qint64 places = 0;

    static Change moved(qint64 places) { return {Kind::moved, places}; }
    static Change none() { return {Kind::none, 0}; }
    static Change newRanking() { return {Kind::newRanking, 0}; }
    static Change lost() { return {Kind::lost, 0}; }

    bool operator==(const Change &) const = default;
};

// The reading of `appleAppId` in one search; `results` may be in any order.
Reading outcome(bool succeeded, const QList<ResultEntry> &results, const QString &appleAppId);

Change change(const Reading &current, const std::optional<Reading> &previous);

}
