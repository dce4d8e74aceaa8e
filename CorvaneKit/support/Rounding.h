#pragma once

#include <QtGlobal>

#include <cmath>
#include <limits>

// Rounds halves away from zero. NaN becomes 0 and the result saturates at the qint64
// limits instead of overflowing, so no input makes the conversion undefined.
inline qint64 roundHalfAwayFromZero(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9223372036854775807.0)
        return std::numeric_limits<qint64>::max();
    if (value <= -9223372036854775808.0)
        return std::numeric_limits<qint64>::min();
    return std::llround(value);
}
