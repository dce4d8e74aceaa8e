#include "clients/RateLimiter.h"
#include "support/TaskRunner.h"

#include "VirtualClock.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <vector>

using Times = QList<double>;
using Burst = std::optional<qint64>;

namespace {

struct Harness
{
    std::shared_ptr<VirtualClock> time = VirtualClock::create();
    RateLimiter limiter;

    explicit Harness(qint64 rate, Burst burst = {}) : limiter(rate, burst, time->clock(), time->sleep()) {}

    // Takes tokens one after the other; the virtual time that took.
    double take(int count)
    {
        const double start = time->now;
        for (int i = 0; i < count; ++i)
            TaskRunner::run(limiter.acquire());
        return time->now - start;
    }
};

} // namespace

class TestRateLimiter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void grantTimes_data();
    void grantTimes();
    void penalty();
    void configure();
    void letGoWhileCallersWait_data();
    void letGoWhileCallersWait();
};

void TestRateLimiter::grantTimes_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<Burst>("burst");
    QTest::addColumn<Times>("times"); // when each of the callers, all asking at once, is served
    // Rates whose waits accrue whole tokens exactly on the virtual clock (19/min would spin on rounding).

    QTest::newRow("20/min: five at once, then every 3 s") << qint64(20) << Burst() << Times{0, 0, 0, 0, 0, 3, 6};
    QTest::newRow("18/min holds 4") << qint64(18) << Burst() << Times{0, 0, 0, 0, 60.0 / 18};
    QTest::newRow("8/min holds 2") << qint64(8) << Burst() << Times{0, 0, 7.5};
    QTest::newRow("120/min holds 5") << qint64(120) << Burst() << Times{0, 0, 0, 0, 0, 0.5};
    QTest::newRow("rate 0 as 1/min") << qint64(0) << Burst() << Times{0, 60, 120};
    QTest::newRow("burst 3 at 60/min") << qint64(60) << Burst(3) << Times{0, 0, 0, 1, 2};
    QTest::newRow("burst 0 grants instead of hanging") << qint64(60) << Burst(0) << Times{0, 1, 2};
}

void TestRateLimiter::grantTimes()
{
    QFETCH(qint64, rate);
    QFETCH(Burst, burst);
    QFETCH(Times, times);

    Harness h(rate, burst);
    const double origin = h.time->now;
    QList<qsizetype> order;
    Times at;
    auto caller = [&](qsizetype id) -> QCoro::Task<> {
        co_await h.limiter.acquire();
        order.append(id);
        at.append(h.time->now - origin);
    };
    std::vector<QCoro::Task<>> callers;
    for (qsizetype i = 0; i < times.size(); ++i)
        callers.push_back(caller(i));
    for (auto &task : callers)
        TaskRunner::run(std::move(task));
    QCOMPARE(at.size(), times.size());
    for (qsizetype i = 0; i < times.size(); ++i)
        QCOMPARE(at[i], times[i]);
    QVERIFY(std::is_sorted(order.cbegin(), order.cend())); // first come, first served
}

void TestRateLimiter::penalty()
{
    // After the 5 saved tokens, 9.6 s idle at 20/min save 3.2 more. A 20 s penalty drops
    // them and owes 20 s worth of tokens, so the next one comes 3 s after that.
    Harness a(20);
    a.take(5);
    a.time->now += 9.6;
    a.limiter.penalize(20);
    QCOMPARE(a.limiter.tokens(), -20.0 / 3);
    QCOMPARE(a.take(1), 23.0);

    Harness b(60);
    b.take(5);
    b.limiter.penalize(2);
    b.limiter.penalize(3);
    QCOMPARE(b.take(1), 6.0);

    // A penalty during a caller's wait lengthens it.
    Harness c(60);
    c.take(5);
    c.time->onSleep = [&] {
        if (c.time->delays.size() == 1)
            c.limiter.penalize(10);
    };
    QCOMPARE(c.take(1), 11.0);
    QCOMPARE(c.time->delays, (Times{1, 10}));
}

void TestRateLimiter::configure()
{
    // Half a second at the old 60/min refills half a token before the rate changes.
    Harness a(60);
    a.take(5);
    a.time->now += 0.5;
    a.limiter.configure(8);
    QCOMPARE(a.limiter.capacity(), 2.0);
    QCOMPARE(a.limiter.tokens(), 0.5);
    QCOMPARE(a.take(1), 3.75);

    Harness b(20);
    b.limiter.configure(2);
    QCOMPARE(b.limiter.tokens(), 1.0); // clipped to the new capacity

    Harness c(60, 3);
    c.limiter.configure(60);
    QCOMPARE(c.limiter.capacity(), 5.0); // the burst gives way to the rate's default
    QCOMPARE(c.limiter.tokens(), 3.0);
}

void TestRateLimiter::letGoWhileCallersWait_data()
{
    QTest::addColumn<bool>("close"); // else destroyed
    QTest::newRow("destroyed") << false;
    // A closed limiter lets later callers through at once too.
    QTest::newRow("closed") << true;
}

void TestRateLimiter::letGoWhileCallersWait()
{
    QFETCH(bool, close);
    // On the real clock, so the limiter must also cut its own minute-long sleep short.
    auto limiter = std::make_unique<RateLimiter>(1);
    int finished = 0;
    auto wait = [&]() -> QCoro::Task<> {
        co_await limiter->acquire();
        ++finished;
    };
    std::vector<QCoro::Task<>> callers;
    for (int i = 0; i < 3; ++i)
        callers.push_back(wait());
    QCOMPARE(finished, 1);
    QTimer::singleShot(20, [&] { close ? limiter->close() : limiter.reset(); });

    QElapsedTimer elapsed;
    elapsed.start();
    for (auto &task : callers)
        TaskRunner::run(std::move(task));
    QCOMPARE(finished, 3);
    if (close) {
        const auto later = wait();
        QCOMPARE(finished, 4);
    }
    QVERIFY(elapsed.elapsed() < 10000);
    QTest::qWait(20); // lets the serving loop notice and end
}

QTEST_GUILESS_MAIN(TestRateLimiter)
#include "tst_ratelimiter.moc"
