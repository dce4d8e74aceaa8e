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

FakeTransport::Step ok(QByteArray body = R"({"ok":true})")
{
    return FakeTransport::json(std::move(body));
}

FakeTransport::Step tooMany(qint64 status, std::optional<QByteArray> retryAfter)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    if (retryAfter)
        headers.append({"retry-after", *retryAfter});
    return FakeTransport::status(status, headers);
}

struct Harness
{
    std::shared_ptr<VirtualClock> time = VirtualClock::create();
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<RateLimiter> limiter;

    explicit Harness(std::optional<qint64> rate = std::nullopt)
    {
        if (rate)
            limiter = std::make_shared<RateLimiter>(*rate, std::nullopt, time->clock(), time->sleep());
    }

    AppleHTTP http(RetryPolicy policy = {}) const { return AppleHTTP(transport, limiter, policy, time->sleep()); }
};

} // namespace

class TestAppleHTTP : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void failures_data();
    void failures();
    void retryAfter_data();
    void retryAfter();
    void everyAttemptTakesItsOwnToken();
    void successOnThirdAttemptCountsRespondingAttemptsOnly();
    void cancellation_data();
    void cancellation();
};

void TestAppleHTTP::failures_data()
{
    QTest::addColumn<Steps>("script");
    QTest::addColumn<qint64>("maxRetries");
    QTest::addColumn<AppleRequestError>("expected");
    QTest::addColumn<Delays>("delays");
    QTest::addColumn<QString>("text");

    const Delays backoff{2, 4, 8};
    QTest::newRow("404 at once") << Steps{FakeTransport::status(404)} << qint64(3)
                                 << AppleRequestError(Kind::http, 404, "HTTP 404") << Delays{}
                                 << "Apple returned HTTP 404.";
    QTest::newRow("503 every time") << Steps{FakeTransport::status(503)} << qint64(3)
                                    << AppleRequestError(Kind::http, 503, "HTTP 503", 4) << backoff
                                    << "Apple returned HTTP 503 (after 4 attempts).";
    QTest::newRow("time-out") << Steps{FakeTransport::fail(Code::timedOut, "The request timed out.")} << qint64(3)
                              << AppleRequestError(Kind::timeout, {}, "timed out", 4) << backoff
                              << "Apple did not respond in time (after 4 attempts).";
    QTest::newRow("network failure")
        << Steps{FakeTransport::fail(Code::other, "Connection refused")} << qint64(3)
        << AppleRequestError(Kind::network, {}, "Connection refused", 4) << backoff
        << "Network error while contacting Apple (after 4 attempts): Connection refused";
    QTest::newRow("not an HTTP response")
        << Steps{FakeTransport::fail(Code::badServerResponse, "bad server response")} << qint64(0)
        << AppleRequestError(Kind::network, {}, "bad server response") << Delays{}
        << "Network error while contacting Apple: bad server response";
    FakeTransport::Step crash;
    crash.before = [] { throw std::runtime_error("disk on fire"); };
    QTest::newRow("any other exception") << Steps{crash} << qint64(1)
                                         << AppleRequestError(Kind::network, {}, "disk on fire", 2) << Delays{2}
                                         << "Network error while contacting Apple (after 2 attempts): disk on fire";
    QTest::newRow("transfer cancelled") << Steps{FakeTransport::fail(Code::cancelled, "Operation canceled")}
                                        << qint64(3) << AppleRequestError(Kind::cancelled, {}, "cancelled")
                                        << Delays{} << "Request was cancelled.";
    QTest::newRow("429 with Retry-After 20")
        << Steps{tooMany(429, "20")} << qint64(3) << AppleRequestError(Kind::rateLimited, 429, "HTTP 429", 4, 20.0)
        << Delays{20, 20, 20}
        << "Apple rate-limited the request (HTTP 429) (after 4 attempts). Lower the request rate in Settings.";
    QTest::newRow("403 like 429") << Steps{tooMany(403, std::nullopt)} << qint64(0)
                                  << AppleRequestError(Kind::rateLimited, 403, "HTTP 403") << Delays{}
                                  << "Apple rate-limited the request (HTTP 403). Lower the request rate in Settings.";
    QTest::newRow("array body") << Steps{ok("[1,2]")} << qint64(3)
                                << AppleRequestError(Kind::malformed, 200, "Response body was not valid JSON", 4)
                                << backoff
                                << "Apple returned an unexpected response (after 4 attempts): Response body was not valid JSON";
    QTest::newRow("not JSON, status kept") << Steps{FakeTransport::json("<html>", 203)} << qint64(0)
                                           << AppleRequestError(Kind::malformed, 203, "Response body was not valid JSON")
                                           << Delays{} << "Apple returned an unexpected response: Response body was not valid JSON";
    QTest::newRow("maxRetries 0") << Steps{FakeTransport::status(503)} << qint64(0)
                                  << AppleRequestError(Kind::http, 503, "HTTP 503") << Delays{}
                                  << "Apple returned HTTP 503.";
    QTest::newRow("back-off capped") << Steps{FakeTransport::status(500)} << qint64(6)
                                     << AppleRequestError(Kind::http, 500, "HTTP 500", 7) << Delays{2, 4, 8, 16, 30, 30}
                                     << "Apple returned HTTP 500 (after 7 attempts).";
}

void TestAppleHTTP::failures()
{
    QFETCH(Steps, script);
    QFETCH(qint64, maxRetries);
    QFETCH(AppleRequestError, expected);
    QFETCH(Delays, delays);
    QFETCH(QString, text);

    Harness h;
    h.transport->steps = script;
    RetryPolicy policy;
    policy.maxRetries = maxRetries;
    const auto outcome = TaskRunner::run(h.http(policy).getJSON(QUrl("https://example.test/x")));
    const auto error = outcome.errorAs<AppleRequestError>();
    QVERIFY(error);
    QCOMPARE(*error, expected);
    QCOMPARE(error->description(), text);
    QCOMPARE(h.time->delays, delays);
    QCOMPARE(h.transport->urls.size(), expected.attempts);
    for (double timeout : std::as_const(h.transport->timeouts))
        QCOMPARE(timeout, 15.0);
}

void TestAppleHTTP::retryAfter_data()
{
    QTest::addColumn<qint64>("status");
    QTest::addColumn<std::optional<QByteArray>>("header");
    QTest::addColumn<bool>("withLimiter");
    QTest::addColumn<Delays>("delays");

    // With the limiter at 20 per minute and sharing the clock, the penalty equals the
    // back-off, so after sleeping it the bucket is empty and one more token takes 3 s.
    using OB = std::optional<QByteArray>;
    QTest::newRow("20") << qint64(429) << OB("20") << true << Delays{20, 3};
    QTest::newRow("120 capped") << qint64(429) << OB("120") << true << Delays{30, 3};
    QTest::newRow("fraction") << qint64(429) << OB("2.5") << true << Delays{2.5, 3};
    QTest::newRow("date ignored") << qint64(429) << OB("Wed, 21 Oct 2015 07:28:00 GMT") << true << Delays{2, 3};
    QTest::newRow("leading blank") << qint64(429) << OB(" 20") << true << Delays{2, 3};
    QTest::newRow("unit after number") << qint64(429) << OB("20s") << true << Delays{2, 3};
    QTest::newRow("nan") << qint64(429) << OB("nan") << true << Delays{2, 3};
    QTest::newRow("403 same as 429") << qint64(403) << OB("20") << true << Delays{20, 3};
    QTest::newRow("no limiter: only sleeps") << qint64(429) << OB("20") << false << Delays{20};
    QTest::newRow("503 does not penalise") << qint64(503) << OB("20") << true << Delays{2};
}

void TestAppleHTTP::retryAfter()
{
    QFETCH(qint64, status);
    QFETCH(std::optional<QByteArray>, header);
    QFETCH(bool, withLimiter);
    QFETCH(Delays, delays);

    Harness h(withLimiter ? std::optional<qint64>(20) : std::nullopt);
    h.transport->steps = {tooMany(status, header), ok()};
    const auto success = TaskRunner::run(h.http().getJSON(QUrl("https://example.test/x")));
    QVERIFY(success.succeeded());
    QCOMPARE(success.value->attempts, qint64(2));
    QCOMPARE(h.time->delays, delays);

}

void TestAppleHTTP::everyAttemptTakesItsOwnToken()
{
    // One token per minute: after each back-off the next attempt waits for the rest of the minute.
    Harness h(1);
    h.transport->steps = {FakeTransport::status(503)};
    const auto outcome = TaskRunner::run(h.http().getJSON(QUrl("https://example.test/x")));
    QCOMPARE(outcome.errorAs<AppleRequestError>()->attempts, qint64(4));
    QCOMPARE(h.time->delays, (Delays{2, 58, 4, 56, 8, 52}));
}

void TestAppleHTTP::successOnThirdAttemptCountsRespondingAttemptsOnly()
{
    Harness h;
    auto slowFailure = FakeTransport::fail(Code::timedOut, "The request timed out.");
    slowFailure.realDelayMs = 400;
    auto answered503 = FakeTransport::status(503);
    answered503.realDelayMs = 30;
    auto answered = ok(R"({"resultCount":1})");
    answered.realDelayMs = 30;
    h.transport->steps = {slowFailure, answered503, answered};

    const auto outcome = TaskRunner::run(h.http().getJSON(QUrl("https://example.test/x")));
    QVERIFY(outcome.succeeded());
    QCOMPARE(outcome.value->attempts, qint64(3));
    QCOMPARE(outcome.value->json.value("resultCount").toInt(), 1);
    QCOMPARE(h.time->delays, (Delays{2, 4}));
    QVERIFY2(outcome.value->duration >= 0.05, qPrintable(QString::number(outcome.value->duration)));
    QVERIFY2(outcome.value->duration < 0.4, qPrintable(QString::number(outcome.value->duration)));
}

void TestAppleHTTP::cancellation_data()
{
    QTest::addColumn<int>("cancelAtSleep"); // 0: before the call; n: during the n-th back-off
    QTest::addColumn<qint64>("attempts");
    QTest::addColumn<qsizetype>("requests");
    QTest::newRow("before the first attempt") << 0 << qint64(1) << qsizetype(0);
    QTest::newRow("during the first back-off") << 1 << qint64(2) << qsizetype(1);
    QTest::newRow("during the third back-off") << 3 << qint64(4) << qsizetype(3);
}

void TestAppleHTTP::cancellation()
{
    QFETCH(int, cancelAtSleep);
    QFETCH(qint64, attempts);
    QFETCH(qsizetype, requests);

    Harness h(60);
    h.transport->steps = {FakeTransport::status(503)};
    auto token = CancelToken::create();
    if (cancelAtSleep == 0)
        token->cancel();
    h.time->onSleep = [&] {
        if (h.time->delays.size() == cancelAtSleep)
            token->cancel();
    };
    const double before = h.limiter->tokens();
    const auto outcome = TaskRunner::run(h.http().getJSON(QUrl("https://example.test/x"), token));
    const auto error = outcome.errorAs<AppleRequestError>();
    QVERIFY(error);
    QCOMPARE(*error, AppleRequestError(Kind::cancelled, {}, "cancelled", attempts));
    QCOMPARE(error->description(), QStringLiteral("Request was cancelled."));
    QCOMPARE(h.transport->urls.size(), requests);
    // A cancelled caller still took its turn for a token before giving up.
    if (cancelAtSleep == 0)
        QCOMPARE(h.limiter->tokens(), before - 1);
}

QTEST_GUILESS_MAIN(TestAppleHTTP)
#include "tst_applehttp.moc"
