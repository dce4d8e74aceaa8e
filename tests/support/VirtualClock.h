#pragma once

#include "support/Sleep.h"

#include <QCoroTimer>
#include <QList>

#include <chrono>
#include <functional>
#include <memory>

// Virtual time for code with an injected clock and sleep: a sleep records its length,
// moves the clock forward by it and yields once to the event loop, so that minutes of
// waiting pass at once. The clock and sleep keep the shared state alive.
class VirtualClock : public std::enable_shared_from_this<VirtualClock>
{
public:
    double now = 1000;             // seconds; any origin will do
    QList<double> delays;          // every sleep, in order
    std::function<void()> onSleep; // runs at the start of every sleep, before the clock moves

    static std::shared_ptr<VirtualClock> create() { return std::make_shared<VirtualClock>(); }

    std::function<double()> clock()
    {
        return [self = shared_from_this()] { return self->now; };
    }

    SleepFunction sleep()
    {
        return [self = shared_from_this()](double seconds, CancelTokenPtr) { return advance(self, seconds); };
    }

private:
    static QCoro::Task<> advance(std::shared_ptr<VirtualClock> self, double seconds)
    {
        self->delays.append(seconds);
        if (self->onSleep)
            self->onSleep();
        self->now += seconds;
        co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    }
};
