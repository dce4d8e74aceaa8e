#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// The kind of a ranking alert. The raw values are stored, so they never change.
enum class RankAlertKind { enteredTop10, leftTop10, newRanking, lostRanking, movedUp, movedDown };

namespace RankAlertKinds {
QString rawValue(RankAlertKind kind);
// Exactly the six raw values, case-sensitive; anything else has no kind.
std::optional<RankAlertKind> fromRaw(QStringView raw);
// Declaration order.
const QList<RankAlertKind> &allCases();
bool isImprovement(RankAlertKind kind);
}
