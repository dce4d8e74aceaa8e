#include "model/PopularitySource.h"

namespace PopularitySources {

QString rawValue(PopularitySource source)
{
    switch (source) {
    case PopularitySource::appleCountry:
        return QStringLiteral("APPLE_ADS_COUNTRY");
    case PopularitySource::appleMinimum:
        return QStringLiteral("APPLE_ADS_MINIMUM");
    }
    Q_UNREACHABLE();
}

std::optional<PopularitySource> fromRaw(QStringView raw)
{
    for (const auto source : {PopularitySource::appleCountry, PopularitySource::appleMinimum}) {
        if (raw == rawValue(source))
            return source;
    }
    return std::nullopt;
}

}
