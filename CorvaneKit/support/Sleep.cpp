#include "Sleep.h"

#include <QCoroSignal>
#include <QCoroTimer>

#include <cmath>
#include <limits>

std::chrono::milliseconds secondsToMilliseconds(double seconds)
{
    if (!(seconds > 0))
        return std::chrono::milliseconds(0);
    const double ms = std::ceil(seconds * 1000.0);
    constexpr double cap = static_cast<double>(std::numeric_limits<int>::max());
    return std::chrono::milliseconds(static_cast<qint64>(std::min(ms, cap)));
}

QCoro::Task<> cancellableSleep(std::chrono::milliseconds duration, CancelTokenPtr token)
{
    if (duration.count() <= 0 || isCancelled(token))
        co_return;
    if (!token) {
        co_await QCoro::sleepFor(duration);
        co_return;
    }
    // The token is held by this frame, so it outlives the wait.
    co_await qCoro(token.get(), &CancelToken::cancelled, duration);
}

SleepFunction realSleep()
{
    return [](double seconds, CancelTokenPtr token) -> QCoro::Task<> {
        return cancellableSleep(secondsToMilliseconds(seconds), std::move(token));
    };
}
