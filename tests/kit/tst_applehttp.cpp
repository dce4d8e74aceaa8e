#include "clients/AppleHTTP.h"
#include "support/TaskRunner.h"

#include "FakeTransport.h"
#include "VirtualClock.h"

#include <QtTest>

#include <stdexcept>

using Kind = AppleRequestError::Kind;
using Code = HTTPTransport::Error::Code;
using Steps = QList<FakeTransport::Step>;
using Delays = QList<double>;

namespace {

struct Failure
{
    Steps script;
    qint64 maxRetries;
    AppleRequestError error;
    Delays delays;
    QString text;
    CancelTokenPtr cancel = {};
};

struct Harness
{
    std::shared_ptr<VirtualClock> time = VirtualClock::create();
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();

    TaskOutcome<AppleHTTP::JSONResult> get(Steps script, RetryPolicy policy = {}, std::shared_ptr<RateLimiter> limiter = {},
                                           CancelTokenPtr cancel = {})
    {
        transport->steps = std::move(script);
        const AppleHTTP http(transport, std::move(limiter), policy, time->sleep());
        return TaskRunner::run(http.getJSON(QUrl("https://example.test/x"), std::move(cancel)));
    }
};

} // namespace

Q_DECLARE_METATYPE(Failure)

class TestAppleHTTP : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void failures_data();
    void failures();
    void pacing_data();
    void pacing();
    void successCountsRespondingAttemptsOnly();
};

void TestAppleHTTP::failures_data()
{
    QTest::addColumn<Failure>("f");
    FakeTransport::Step crash;
    crash.before = [] { throw std::runtime_error("disk on fire"); };
    // The token is cancelled while the first attempt is on its way; the retry gives up.
    const CancelTokenPtr token = CancelToken::create();
    FakeTransport::Step cancelling = FakeTransport::status(503);
    cancelling.before = [token] { token->cancel(); };

    QTest::newRow("404 at once") << Failure{{FakeTransport::status(404)}, 3, {Kind::http, 404, "HTTP 404"}, {}, "Apple returned HTTP 404."};
    QTest::newRow("503 every time") << Failure{{FakeTransport::status(503)}, 3, {Kind::http, 503, "HTTP 503", 4}, {2, 4, 8},
                                               "Apple returned HTTP 503 (after 4 attempts)."};
    QTest::newRow("time-out, back-off capped") << Failure{{FakeTransport::fail(Code::timedOut, "The request timed out.")}, 6,
        {Kind::timeout, {}, "timed out", 7}, {2, 4, 8, 16, 30, 30}, "Apple did not respond in time (after 7 attempts)."};
    QTest::newRow("network failure") << Failure{{FakeTransport::fail(Code::other, "Connection refused")}, 1,
                                                {Kind::network, {}, "Connection refused", 2}, {2},
                                                "Network error while contacting Apple (after 2 attempts): Connection refused"};
    QTest::newRow("any other exception") << Failure{{crash}, 0, {Kind::network, {}, "disk on fire"}, {},
                                                    "Network error while contacting Apple: disk on fire"};
    QTest::newRow("429 with Retry-After 20") << Failure{{FakeTransport::status(429, {{"retry-after", "20"}})}, 3,
        {Kind::rateLimited, 429, "HTTP 429", 4, 20.0}, {20, 20, 20},
        "Apple rate-limited the request (HTTP 429) (after 4 attempts). Lower the request rate in Settings."};
    QTest::newRow("array body, 203 kept") << Failure{{FakeTransport::json("[1,2]", 203)}, 1,
        {Kind::malformed, 203, "Response body was not valid JSON", 2}, {2},
        "Apple returned an unexpected response (after 2 attempts): Response body was not valid JSON"};
    QTest::newRow("transfer cancelled") << Failure{{FakeTransport::fail(Code::cancelled, "Operation canceled")}, 3,
                                                   {Kind::cancelled, {}, "cancelled"}, {}, "Request was cancelled."};
    QTest::newRow("cancelled before a retry") << Failure{{cancelling}, 3, {Kind::cancelled, {}, "cancelled", 2}, {2},
                                                         "Request was cancelled.", token};
}

void TestAppleHTTP::failures()
{
    QFETCH(Failure, f);
    Harness h;
    const auto error = h.get(f.script, RetryPolicy{.maxRetries = f.maxRetries}, {}, f.cancel).errorAs<AppleRequestError>();
    QCOMPARE(error, f.error);
    QCOMPARE(error->description(), f.text);
    QCOMPARE(h.time->delays, f.delays);
    QCOMPARE(h.transport->urls.size(), f.error.attempts - (f.cancel ? 1 : 0));
    QCOMPARE(h.transport->timeouts.value(0), 15.0);
}

void TestAppleHTTP::pacing_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<qint64>("status"); // of the first answer; the second succeeds
    QTest::addColumn<QByteArray>("retryAfter");
    QTest::addColumn<Delays>("delays");

    // The limiter shares the clock: a penalty equal to the back-off leaves the bucket empty
    // after sleeping it, so at 20 per minute one more token takes 3 s.
    QTest::newRow("Retry-After 20") << qint64(20) << qint64(429) << QByteArray("20") << Delays{20, 3};
    QTest::newRow("Retry-After 120 capped") << qint64(20) << qint64(429) << QByteArray("120") << Delays{30, 3};
    QTest::newRow("403, fraction") << qint64(20) << qint64(403) << QByteArray("2.5") << Delays{2.5, 3};
    QTest::newRow("date ignored") << qint64(20) << qint64(429) << QByteArray("Wed, 21 Oct 2015 07:28:00 GMT") << Delays{2, 3};
    QTest::newRow("503 does not penalise") << qint64(20) << qint64(503) << QByteArray("20") << Delays{2};
    // One token per minute: the retry waits for the rest of the minute after its back-off.
    QTest::newRow("every attempt takes a token") << qint64(1) << qint64(503) << QByteArray() << Delays{2, 58};
}

void TestAppleHTTP::pacing()
{
    QFETCH(qint64, rate);
    QFETCH(qint64, status);
    QFETCH(QByteArray, retryAfter);
    QFETCH(Delays, delays);
    Harness h;
    const auto limiter = std::make_shared<RateLimiter>(rate, std::nullopt, h.time->clock(), h.time->sleep());
    QVERIFY(h.get({FakeTransport::status(status, {{"retry-after", retryAfter}}), FakeTransport::json("{}")}, {}, limiter).succeeded());
    QCOMPARE(h.time->delays, delays);
}

void TestAppleHTTP::successCountsRespondingAttemptsOnly()
{
    Steps script{FakeTransport::fail(Code::timedOut, "The request timed out."), FakeTransport::status(503),
                 FakeTransport::json(R"({"resultCount":1})")};
    for (auto &step : script)
        step.realDelayMs = step.error ? 400 : 30;
    Harness h;
    const auto outcome = h.get(script);
    QVERIFY(outcome.succeeded());
    QCOMPARE(outcome.value->attempts, qint64(3));
    QCOMPARE(outcome.value->json.value("resultCount").toInt(), 1);
    QCOMPARE(h.time->delays, (Delays{2, 4}));
    QVERIFY2(outcome.value->duration >= 0.05 && outcome.value->duration < 0.4, qPrintable(QString::number(outcome.value->duration)));
}

QTEST_GUILESS_MAIN(TestAppleHTTP)
#include "tst_applehttp.moc"
