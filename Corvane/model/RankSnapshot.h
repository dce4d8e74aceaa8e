#pragma once

#include "keywords/Ranking.h"
#include "model/SearchObservation.h"
#include "model/TrackedApp.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QString>
#include <QUuid>

#include <optional>

// The reading of one tracked app in one search. Never changed after it is made; deleted
// with its app. One app has at most one snapshot per observation.
struct RankSnapshot
{
    // The row id; 0 until the record is stored. Identity, equality and hashing use only this.
    qint64 persistentId = 0;

    // App ID and observation ID (upper-case UUID text) joined with "|".
    QString key;
    // Row id of the app; deleting the app deletes the snapshot.
    std::optional<qint64> appPersistentId;
    QString keywordNormalized;
    QString country;
    QUuid observationId;
    QString stateRaw;
    std::optional<qint64> rank;
    qint64 resultCount = 0;
    QDateTime checkedAt;

    RankSnapshot() = default;
    // The reading of `app` (stored already) in `observation`.
    RankSnapshot(const TrackedApp &app, const SearchObservation &observation, RankingState state,
                 std::optional<qint64> rank);

    // An unknown stored state reads as notChecked.
    RankingState state() const;

    static QString makeKey(const QString &appleAppId, const QUuid &observationId);

    friend bool operator==(const RankSnapshot &a, const RankSnapshot &b) { return a.persistentId == b.persistentId; }
    friend size_t qHash(const RankSnapshot &snapshot, size_t seed = 0) noexcept
    {
        return qHash(snapshot.persistentId, seed);
    }
};
