#pragma once

#include "support/Sleep.h"

#include <QCoroTask>

#include <functional>
#include <memory>
#include <optional>

// Paces requests to Apple: a token bucket refilled continuously at a number of requests
// per minute, holding a small burst, granting tokens strictly in the order they were asked
// for. A penalty pushes the bucket into debt, which delays every caller that shares it.
// Lives on one thread; one coroutine serves the waiting callers in turn.
class RateLimiter
{
public:
    // Seconds on a clock that never goes back.
    using Clock = std::function<double()>;

    explicit RateLimiter(qint64 requestsPerMinute, std::optional<qint64> burst = std::nullopt,
                         Clock clock = continuousClock(), SleepFunction sleep = realSleep());
    // Callers still waiting are let go at once, without a token.
    ~RateLimiter();

    // Lets the callers waiting go at once, without a token, and every later one too: for
    // quitting, where they are cancelled next and must not wait out the pace first.
    void close();

    RateLimiter(const RateLimiter &) = delete;
    RateLimiter &operator=(const RateLimiter &) = delete;

    // Refills at the old rate, then takes the new rate and its default burst.
    void configure(qint64 requestsPerMinute);
    // Savings are lost and the bucket owes the tokens of that many seconds.
    void penalize(double seconds);
    void refill();

    // Returns once the caller has been granted one token, or the limiter is closed. Never
    // throws and cannot be cut short: a caller keeps its place in line.
    QCoro::Task<> acquire();

    double ratePerMinute() const;
    double capacity() const;
    double tokens() const;

    static double defaultCapacity(qint64 requestsPerMinute);

    // Monotonic and counting time spent in system suspend.
    static Clock continuousClock();

private:
    struct State;
    struct Waiter;
    static QCoro::Task<> serve(std::shared_ptr<State> state);

    std::shared_ptr<State> m_state;
};
