#include "model/RankAlertKind.h"

namespace RankAlertKinds {

QString rawValue(RankAlertKind kind)
{
    switch (kind) {
    case RankAlertKind::enteredTop10:
        return QStringLiteral("ENTERED_TOP_10");
    case RankAlertKind::leftTop10:
        return QStringLiteral("LEFT_TOP_10");
    case RankAlertKind::newRanking:
        return QStringLiteral("NEW_RANKING");
    case RankAlertKind::lostRanking:
        return QStringLiteral("LOST_RANKING");
    case RankAlertKind::movedUp:
        return QStringLiteral("MOVED_UP");
    case RankAlertKind::movedDown:
        return QStringLiteral("MOVED_DOWN");
    }
    Q_UNREACHABLE();
}

std::optional<RankAlertKind> fromRaw(QStringView raw)
{
    for (const auto kind : allCases()) {
        if (raw == rawValue(kind))
            return kind;
    }
    return std::nullopt;
}

const QList<RankAlertKind> &allCases()
{
    static const QList<RankAlertKind> cases = {RankAlertKind::enteredTop10, RankAlertKind::leftTop10,
                                               RankAlertKind::newRanking,   RankAlertKind::lostRanking,
                                               RankAlertKind::movedUp,      RankAlertKind::movedDown};
    return cases;
}

bool isImprovement(RankAlertKind kind)
{
    return kind == RankAlertKind::enteredTop10 || kind == RankAlertKind::newRanking || kind == RankAlertKind::movedUp;
}

}
