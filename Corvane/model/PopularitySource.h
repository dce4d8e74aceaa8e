#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Where a keyword's popularity value came from. The raw values are stored, so they never change.
enum class PopularitySource { appleCountry, appleMinimum };

namespace PopularitySources {
QString rawValue(PopularitySource source);
// Exactly the two raw values, case-sensitive; anything else has no source.
std::optional<PopularitySource> fromRaw(QStringView raw);
}
