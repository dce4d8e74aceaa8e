#pragma once

#include "keywords/Ranking.h"

#include <QDateTime>
#include <QUuid>

#include <optional>

// One reading of an app for a keyword in a storefront.
struct RankPoint
{
    RankingState state = RankingState::notChecked;
    // 1-based; absent when the app was not found.
    std::optional<qint64> rank;
    qint64 resultCount = 0;
    QDateTime checkedAt;
    // The search the reading came from, when it is known.
    std::optional<QUuid> observationId;

    // The time of a reading whose time was never kept: earlier than any other.
    static QDateTime distantPast();

    bool operator==(const RankPoint &) const = default;
};
