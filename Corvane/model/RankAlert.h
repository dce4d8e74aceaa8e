#pragma once

#include "model/RankAlertKind.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QString>
#include <QUuid>

#include <optional>

// One notable change of an app's rank for a keyword in a storefront. Refers to its app and
// observation by value only; the store deletes an app's alerts with the app.
struct RankAlert
{
    // The row id; 0 until the record is stored. Identity, equality and hashing use only this.
    qint64 persistentId = 0;

    QUuid id;
    QString appleAppId;
    QString appName;
    QString keywordNormalized;
    QString keywordDisplay;
    QString country;
    QString kindRaw;
    // Absent when the app was not found in that reading.
    std::optional<qint64> fromRank;
    std::optional<qint64> toRank;
    QUuid observationId;
    QDateTime createdAt;
    bool isRead = false;

    // An unknown stored kind reads as movedUp.
    RankAlertKind kind() const;

    friend bool operator==(const RankAlert &a, const RankAlert &b) { return a.persistentId == b.persistentId; }
    friend size_t qHash(const RankAlert &alert, size_t seed = 0) noexcept { return qHash(alert.persistentId, seed); }
};
