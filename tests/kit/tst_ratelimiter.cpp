#include "clients/RateLimiter.h"
#include "support/TaskRunner.h"

#include "VirtualClock.h"

#include <QCoroTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <memory>
#include <list>

using Times = QList<double>;

namespace {

bool near(double a, double b)
{
    return std::abs(a - b) < 1e-6;
}

bool near(const Times &a, const Times &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!near(a[i], b[i]))
            return false;
    }
    return true;
}

QString show(const Times &times)
{
    QStringList parts;
    for (double t : times)
        parts << QString::number(t, 'g', 12);
    return parts.join(u", ");
}

// One caller: waits for its token and notes who got it and when.
QCoro::Task<> caller(RateLimiter *limiter, std::shared_ptr<VirtualClock> time, int id, QList<int> *order, Times *at,
                     double origin)
{
    co_await limiter->acquire();
    order->append(id);
    at->append(time->now - origin);
}

// Awaits every task in the list, including those added while it waits.
QCoro::Task<> all(std::list<QCoro::Task<>> *tasks)
{
    for (auto &task : *tasks)
        co_await std::move(task);
}

void drain(RateLimiter &limiter, int count)
{
    for (int i = 0; i < count; ++i)
        QVERIFY(TaskRunner::run(limiter.acquire()).succeeded());
}

} // namespace

class TestRateLimiter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void capacityByRate_data();
    void capacityByRate();
    void grantTimes_data();
    void grantTimes();
    void penalty_data();
    void penalty();
    void penaltyDuringWaitLengthensIt();
    void configure_data();
    void configure();
    void destroyedWhileCallersWait_data();
    void destroyedWhileCallersWait();
};

void TestRateLimiter::capacityByRate_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<double>("capacity");
    QTest::addColumn<double>("ratePerMinute");
    QTest::newRow("negative") << qint64(-5) << 1.0 << 1.0;
    QTest::newRow("7") << qint64(7) << 1.0 << 7.0;
    QTest::newRow("8") << qint64(8) << 2.0 << 8.0;
    QTest::newRow("19") << qint64(19) << 4.0 << 19.0;
    QTest::newRow("20") << qint64(20) << 5.0 << 20.0;
    QTest::newRow("1000") << qint64(1000) << 5.0 << 1000.0;
}

void TestRateLimiter::capacityByRate()
{
    QFETCH(qint64, rate);
    QFETCH(double, capacity);
    QFETCH(double, ratePerMinute);
    auto time = VirtualClock::create();
    RateLimiter limiter(rate, std::nullopt, time->clock(), time->sleep());
    QCOMPARE(limiter.capacity(), capacity);
    QCOMPARE(limiter.tokens(), capacity);
    QCOMPARE(limiter.ratePerMinute(), ratePerMinute);
}

void TestRateLimiter::grantTimes_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<std::optional<qint64>>("burst");
    QTest::addColumn<int>("callers");
    QTest::addColumn<Times>("times");
    using OB = std::optional<qint64>;
    QTest::newRow("20/min: five at once, then every 3 s") << qint64(20) << OB() << 7 << Times{0, 0, 0, 0, 0, 3, 6};
    QTest::newRow("1/min: a minute apart") << qint64(1) << OB() << 3 << Times{0, 60, 120};
    QTest::newRow("rate 0 as 1/min") << qint64(0) << OB() << 2 << Times{0, 60};
    QTest::newRow("burst 3 at 60/min") << qint64(60) << OB(3) << 5 << Times{0, 0, 0, 1, 2};
    QTest::newRow("burst 0 grants instead of hanging") << qint64(60) << OB(0) << 3 << Times{0, 1, 2};
    QTest::newRow("negative burst as 1") << qint64(30) << OB(-4) << 3 << Times{0, 2, 4};
}

void TestRateLimiter::grantTimes()
{
    QFETCH(qint64, rate);
    QFETCH(std::optional<qint64>, burst);
    QFETCH(int, callers);
    QFETCH(Times, times);

    QList<int> order;
    Times at;
    auto time = VirtualClock::create();
    const double origin = time->now;
    RateLimiter limiter(rate, burst, time->clock(), time->sleep());
    std::list<QCoro::Task<>> tasks;
    for (int i = 0; i < callers; ++i)
        tasks.push_back(caller(&limiter, time, i, &order, &at, origin));
    QVERIFY(TaskRunner::run(all(&tasks)).succeeded());

    QList<int> expectedOrder;
    for (int i = 0; i < callers; ++i)
        expectedOrder << i;
    QCOMPARE(order, expectedOrder);
    QVERIFY2(near(at, times), qPrintable(show(at)));
}

void TestRateLimiter::penalty_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<int>("taken");
    QTest::addColumn<double>("idle");
    QTest::addColumn<Times>("penalties");
    QTest::addColumn<double>("tokens");
    QTest::addColumn<double>("nextGrant");
    // 5 taken, then 9.6 s idle at 20/min leaves 3.2 tokens, all lost to the penalty.
    QTest::newRow("savings lost, debt added") << qint64(20) << 5 << 9.6 << Times{20} << -20.0 / 3.0 << 23.0;
    QTest::newRow("zero seconds still drops savings") << qint64(20) << 0 << 0.0 << Times{0} << 0.0 << 3.0;
    QTest::newRow("debt accumulates") << qint64(60) << 5 << 0.0 << Times{2, 3} << -5.0 << 6.0;
}

void TestRateLimiter::penalty()
{
    QFETCH(qint64, rate);
    QFETCH(int, taken);
    QFETCH(double, idle);
    QFETCH(Times, penalties);
    QFETCH(double, tokens);
    QFETCH(double, nextGrant);

    auto time = VirtualClock::create();
    RateLimiter limiter(rate, std::nullopt, time->clock(), time->sleep());
    drain(limiter, taken);
    time->now += idle;
    for (double seconds : std::as_const(penalties))
        limiter.penalize(seconds);
    QVERIFY2(near(limiter.tokens(), tokens), qPrintable(QString::number(limiter.tokens())));
    const double penalisedAt = time->now;
    QVERIFY(TaskRunner::run(limiter.acquire()).succeeded());
    QVERIFY2(near(time->now - penalisedAt, nextGrant), qPrintable(QString::number(time->now - penalisedAt)));
}

void TestRateLimiter::penaltyDuringWaitLengthensIt()
{
    auto time = VirtualClock::create();
    RateLimiter limiter(60, std::nullopt, time->clock(), time->sleep());
    drain(limiter, 5);
    time->onSleep = [&] {
        if (time->delays.size() == 1)
            limiter.penalize(10);
    };
    const double start = time->now;
    QVERIFY(TaskRunner::run(limiter.acquire()).succeeded());
    QVERIFY2(near(time->delays, Times{1, 10}), qPrintable(show(time->delays)));
    QVERIFY(near(time->now - start, 11));
}

void TestRateLimiter::configure_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<std::optional<qint64>>("burst");
    QTest::addColumn<int>("taken");
    QTest::addColumn<double>("idle");
    QTest::addColumn<qint64>("newRate");
    QTest::addColumn<double>("capacity");
    QTest::addColumn<double>("tokens");
    QTest::addColumn<double>("ratePerMinute");
    using OB = std::optional<qint64>;
    QTest::newRow("60 raises the capacity to 5") << qint64(8) << OB() << 0 << 0.0 << qint64(60) << 5.0 << 2.0 << 60.0;
    QTest::newRow("2 lowers it to 1 and clips") << qint64(20) << OB() << 0 << 0.0 << qint64(2) << 1.0 << 1.0 << 2.0;
    QTest::newRow("refills at the old rate first") << qint64(60) << OB() << 5 << 0.5 << qint64(8) << 2.0 << 0.5 << 8.0;
    QTest::newRow("burst dropped") << qint64(60) << OB(3) << 0 << 0.0 << qint64(60) << 5.0 << 3.0 << 60.0;
}

void TestRateLimiter::configure()
{
    QFETCH(qint64, rate);
    QFETCH(std::optional<qint64>, burst);
    QFETCH(int, taken);
    QFETCH(double, idle);
    QFETCH(qint64, newRate);
    QFETCH(double, capacity);
    QFETCH(double, tokens);
    QFETCH(double, ratePerMinute);

    auto time = VirtualClock::create();
    RateLimiter limiter(rate, burst, time->clock(), time->sleep());
    drain(limiter, taken);
    time->now += idle;
    limiter.configure(newRate);
    QCOMPARE(limiter.capacity(), capacity);
    QVERIFY2(near(limiter.tokens(), tokens), qPrintable(QString::number(limiter.tokens())));
    QCOMPARE(limiter.ratePerMinute(), ratePerMinute);
}

void TestRateLimiter::destroyedWhileCallersWait_data()
{
    QTest::addColumn<bool>("virtualTime");
    QTest::newRow("virtual time") << true;
    QTest::newRow("real clock and sleep") << false;
}

void TestRateLimiter::destroyedWhileCallersWait()
{
    QFETCH(bool, virtualTime);

    auto time = VirtualClock::create();
    auto limiter = virtualTime ? std::make_unique<RateLimiter>(1, std::nullopt, time->clock(), time->sleep())
                               : std::make_unique<RateLimiter>(1);
    int finished = 0;
    auto wait = [&]() -> QCoro::Task<> {
        co_await limiter->acquire();
        ++finished;
    };
    std::list<QCoro::Task<>> tasks;
    for (int i = 0; i < 3; ++i)
        tasks.push_back(wait());
    QCOMPARE(finished, 1);
    if (virtualTime)
        time->onSleep = [&] { limiter.reset(); };
    else
        QTimer::singleShot(20, [&] { limiter.reset(); });

    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(TaskRunner::run(all(&tasks)).succeeded());
    QCOMPARE(finished, 3);
    QVERIFY(!limiter);
    QVERIFY(elapsed.elapsed() < 10000);
    // Let the serving loop notice and end.
    QTest::qWait(20);
}

QTEST_GUILESS_MAIN(TestRateLimiter)
#include "tst_ratelimiter.moc"
