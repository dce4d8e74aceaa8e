#include "clients/AppleRequestError.h"

#include <QtTest>

using Kind = AppleRequestError::Kind;

class TestAppleHTTP : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void descriptions_data();
    void descriptions();
    void kindRawValues();
};

void TestAppleHTTP::descriptions_data()
{
    QTest::addColumn<AppleRequestError>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("timeout") << AppleRequestError(Kind::timeout, {}, "timed out") << "Apple did not respond in time.";
    QTest::newRow("timeout after 4") << AppleRequestError(Kind::timeout, {}, "timed out", 4)
                                     << "Apple did not respond in time (after 4 attempts).";
    QTest::newRow("network") << AppleRequestError(Kind::network, {}, "Host not found")
                             << "Network error while contacting Apple: Host not found";
    QTest::newRow("network after 2") << AppleRequestError(Kind::network, {}, "x", 2)
                                     << "Network error while contacting Apple (after 2 attempts): x";
    QTest::newRow("rate limited") << AppleRequestError(Kind::rateLimited, 429, "HTTP 429", 1, 20.0)
                                  << "Apple rate-limited the request (HTTP 429). Lower the request rate in Settings.";
    QTest::newRow("rate limited after 3") << AppleRequestError(Kind::rateLimited, 403, "HTTP 403", 3)
                                          << "Apple rate-limited the request (HTTP 403) (after 3 attempts). Lower the request rate in Settings.";
    QTest::newRow("http") << AppleRequestError(Kind::http, 404, "HTTP 404") << "Apple returned HTTP 404.";
    QTest::newRow("http without status") << AppleRequestError(Kind::http, {}, "") << "Apple returned HTTP 0.";
    QTest::newRow("malformed after 4") << AppleRequestError(Kind::malformed, 200, "Response body was not valid JSON", 4)
                                       << "Apple returned an unexpected response (after 4 attempts): Response body was not valid JSON";
    QTest::newRow("cancelled never has a suffix") << AppleRequestError(Kind::cancelled, {}, "cancelled", 3)
                                                  << "Request was cancelled.";
}

void TestAppleHTTP::descriptions()
{
    QFETCH(AppleRequestError, error);
    QFETCH(QString, text);
    QCOMPARE(error.description(), text);
}

void TestAppleHTTP::kindRawValues()
{
    for (Kind kind : {Kind::timeout, Kind::network, Kind::rateLimited, Kind::http, Kind::malformed, Kind::cancelled})
        QCOMPARE(AppleRequestError::kindFromRaw(AppleRequestError::rawValue(kind)), kind);
    QCOMPARE(AppleRequestError::rawValue(Kind::rateLimited), QStringLiteral("rateLimited"));
    QVERIFY(!AppleRequestError::kindFromRaw(u"RateLimited"));
    QVERIFY(!AppleRequestError::kindFromRaw(u""));
    QVERIFY(AppleRequestError(Kind::http, 500, "HTTP 500") != AppleRequestError(Kind::http, 500, "HTTP 500", 2));
}

QTEST_GUILESS_MAIN(TestAppleHTTP)
#include "tst_applehttp.moc"
