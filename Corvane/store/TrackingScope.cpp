#include "store/TrackingScope.h"

namespace TrackingScopes {

QString rawValue(TrackingScope scope)
{
    switch (scope) {
    case TrackingScope::own:
        return QStringLiteral("OWN");
    case TrackingScope::all:
        return QStringLiteral("ALL");
    }
    Q_UNREACHABLE();
}

std::optional<TrackingScope> fromRaw(QStringView raw)
{
    for (const auto scope : allCases()) {
        if (raw == rawValue(scope))
            return scope;
    }
    return std::nullopt;
}

const QList<TrackingScope> &allCases()
{
    static const QList<TrackingScope> cases = {TrackingScope::own, TrackingScope::all};
    return cases;
}

}
