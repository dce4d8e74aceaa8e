#pragma once

#include "keywords/Ranking.h"
#include "model/RankSnapshot.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QString>
#include <QUuid>

#include <optional>

// Per app, keyword and storefront: the latest reading and the previous usable one, so that
// the current state and its change are known without walking the snapshots. Refers to the
// app by its ID only; the store deletes an app's states with the app.
struct RankState
{
    // The row id; 0 until the record is stored. Identity, equality and hashing use only this.
    qint64 persistentId = 0;

    // App ID, normal form and storefront code joined with "|".
    QString key;
    QString appleAppId;
    QString keywordNormalized;
    QString country;
    QUuid latestObservationId;
    QString latestStateRaw;
    std::optional<qint64> latestRank;
    qint64 latestResultCount = 0;
    QDateTime latestCheckedAt;
    std::optional<QString> previousStateRaw;
    std::optional<qint64> previousRank;
    std::optional<QDateTime> previousCheckedAt;
    std::optional<QDateTime> lastFoundAt;

    RankState() = default;
    // The first state of an app for the snapshot's keyword and storefront.
    RankState(const QString &appleAppId, const RankSnapshot &snapshot);

    // Moves the state forward to a newer snapshot. A failed latest reading is dropped rather
    // than kept as the previous one. Callers apply snapshots oldest first, each once.
    void apply(const RankSnapshot &snapshot);

    // An unknown stored state reads as notChecked.
    RankingState latestState() const;
    // Absent when nothing, or nothing known, is stored.
    std::optional<RankingState> previousState() const;

    static QString makeKey(const QString &appleAppId, const QString &keywordNormalized, const QString &country);

    friend bool operator==(const RankState &a, const RankState &b) { return a.persistentId == b.persistentId; }
    friend size_t qHash(const RankState &state, size_t seed = 0) noexcept { return qHash(state.persistentId, seed); }
};
