#include "RateLimiter.h"

#include <algorithm>
#include <coroutine>
#include <deque>
#include <time.h>
#include <utility>

struct RateLimiter::Waiter
{
    bool finished = false;
    std::coroutine_handle<> handle;

    void finish()
    {
        finished = true;
        if (auto h = std::exchange(handle, {}))
            h.resume();
    }

    // Trivially destructible: g++ 12 may destroy a co_await temporary twice.
    struct Awaiter
    {
        Waiter *waiter;
        bool await_ready() const noexcept { return waiter->finished; }
        void await_suspend(std::coroutine_handle<> h) noexcept { waiter->handle = h; }
        void await_resume() const noexcept {}
    };
};

// Shared with the serving coroutine, so that it outlives a limiter destroyed mid-sleep.
struct RateLimiter::State
{
    double ratePerMinute = 1;
    double capacity = 1;
    double tokens = 1;
    double lastRefill = 0;
    Clock clock;
    SleepFunction sleep;
    std::deque<std::shared_ptr<Waiter>> waiters;
    bool serving = false;
    bool closed = false;
    // Cuts the serving loop's sleep short when the limiter goes away.
    CancelTokenPtr closing = CancelToken::create();

    void refill()
    {
        const double now = clock();
        const double elapsed = now - lastRefill;
        lastRefill = now;
        tokens = std::min(tokens + elapsed * ratePerMinute / 60.0, capacity);
    }
};

RateLimiter::RateLimiter(qint64 requestsPerMinute, std::optional<qint64> burst, Clock clock, SleepFunction sleep)
    : m_state(std::make_shared<State>())
{
    State &s = *m_state;
    s.clock = std::move(clock);
    s.sleep = std::move(sleep);
    s.ratePerMinute = static_cast<double>(std::max<qint64>(requestsPerMinute, 1));
    // A bucket that cannot hold one whole token would never grant one.
    s.capacity = burst ? static_cast<double>(std::max<qint64>(*burst, 1)) : defaultCapacity(requestsPerMinute);
    s.tokens = s.capacity;
    s.lastRefill = s.clock();
}

RateLimiter::~RateLimiter()
{
    close();
}

void RateLimiter::close()
{
    m_state->closed = true;
    m_state->closing->cancel();
    auto waiters = std::exchange(m_state->waiters, {});
    for (const auto &waiter : waiters)
        waiter->finish();
}

void RateLimiter::configure(qint64 requestsPerMinute)
{
    State &s = *m_state;
    s.refill();
    s.ratePerMinute = static_cast<double>(std::max<qint64>(requestsPerMinute, 1));
    s.capacity = defaultCapacity(requestsPerMinute);
    s.tokens = std::min(s.tokens, s.capacity);
}

void RateLimiter::penalize(double seconds)
{
    State &s = *m_state;
    s.refill();
    s.tokens = std::min(s.tokens, 0.0) - seconds * s.ratePerMinute / 60.0;
}

void RateLimiter::refill()
{
    m_state->refill();
}

QCoro::Task<> RateLimiter::acquire()
{
    if (m_state->closed)
        co_return;
    auto waiter = std::make_shared<Waiter>();
    m_state->waiters.push_back(waiter);
    if (!m_state->serving) {
        m_state->serving = true;
        serve(m_state);
    }
    // The limiter may be gone when this resumes: nothing below touches it.
    co_await Waiter::Awaiter{waiter.get()};
}

QCoro::Task<> RateLimiter::serve(std::shared_ptr<State> state)
{
    while (!state->closed && !state->waiters.empty()) {
        state->refill();
        if (state->tokens >= 1) {
            state->tokens -= 1;
            auto waiter = state->waiters.front();
            state->waiters.pop_front();
            // Resumes the caller right here; it may call back into the limiter or destroy it.
            waiter->finish();
            continue;
        }
        // Exactly until one whole token has accrued; configure() and penalize() may run
        // meanwhile, so the state is read again on waking.
        const double wait = (1.0 - state->tokens) * 60.0 / state->ratePerMinute;
        const SleepFunction sleep = state->sleep;
        co_await sleep(wait, state->closing);
    }
    state->serving = false;
}

double RateLimiter::ratePerMinute() const
{
    return m_state->ratePerMinute;
}

double RateLimiter::capacity() const
{
    return m_state->capacity;
}

double RateLimiter::tokens() const
{
    return m_state->tokens;
}

double RateLimiter::defaultCapacity(qint64 requestsPerMinute)
{
    if (requestsPerMinute < 4)
        return 1;
    return static_cast<double>(std::min<qint64>(requestsPerMinute / 4, 5));
}

RateLimiter::Clock RateLimiter::continuousClock()
{
    return [] {
        timespec ts{};
        clock_gettime(CLOCK_BOOTTIME, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    };
}
