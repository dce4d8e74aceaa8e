#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// Which tracked apps get alerts and daily tracking. Stored by raw value.
enum class TrackingScope { own, all };

namespace TrackingScopes {
QString rawValue(TrackingScope scope);
// Exactly "OWN" or "ALL", case-sensitive; anything else has no scope.
std::optional<TrackingScope> fromRaw(QStringView raw);
// own, then all.
const QList<TrackingScope> &allCases();
}

inline size_t qHash(TrackingScope scope, size_t seed = 0) noexcept
{
    return qHash(static_cast<int>(scope), seed);
}
