#include "clients/NetworkTransport.h"
#include "support/TaskRunner.h"

#include "LocalHttpServer.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTimer>
#include <QtTest>

class TestNetworkTransport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void get_data();
    void get();
};

void TestNetworkTransport::get_data()
{
    QTest::addColumn<LocalHttpServer::Reply>("reply");
    QTest::addColumn<double>("timeout");
    QTest::addColumn<int>("cancelAfterMs"); // -1: never; 0: before the call
    QTest::addColumn<QString>("expected");  // status, body and Retry-After, or the failure

    auto limited = LocalHttpServer::json(429, "{}", "Too Many Requests");
    limited.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("20")));
    // The time-out limits silence: a body sent a byte every 100 ms takes longer but never pauses that long.
    auto trickle = LocalHttpServer::json(200, R"({"a":1})", "OK");
    trickle.trickleMs = 100;
    LocalHttpServer::Reply silent;
    silent.neverAnswer = true;
    LocalHttpServer::Reply dropped;
    dropped.closeEarly = true;
    QTest::newRow("200") << LocalHttpServer::json(200, R"({"resultCount":0})", "OK") << 5.0 << -1 << R"(200 {"resultCount":0} -)";
    QTest::newRow("429 is an answer") << limited << 5.0 << -1 << "429 {} 20";
    QTest::newRow("503 is an answer") << LocalHttpServer::json(503, "busy", "Service Unavailable") << 5.0 << -1 << "503 busy -";
    QTest::newRow("slow trickle is no time-out") << trickle << 0.4 << -1 << R"(200 {"a":1} -)";
    QTest::newRow("silence times out") << silent << 0.3 << -1 << "timedOut";
    QTest::newRow("connection closed early") << dropped << 5.0 << -1 << "other";
    QTest::newRow("cancelled before the time-out") << silent << 1.0 << 50 << "cancelled";
    QTest::newRow("cancelled beforehand: nothing sent") << silent << 1.0 << 0 << "cancelled";
}

void TestNetworkTransport::get()
{
    QFETCH(LocalHttpServer::Reply, reply);
    QFETCH(double, timeout);
    QFETCH(int, cancelAfterMs);
    QFETCH(QString, expected);

    static const char *const codes[] = {"timedOut", "cancelled", "badServerResponse", "other"};
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    NetworkTransport transport(&manager);
    LocalHttpServer server;
    server.reply(reply);
    auto token = CancelToken::create();
    if (cancelAfterMs == 0)
        token->cancel();
    else if (cancelAfterMs > 0)
        QTimer::singleShot(cancelAfterMs, token.get(), [token] { token->cancel(); });

    const auto outcome = TaskRunner::run(transport.get(server.baseUrl().resolved(QUrl("/search?term=x")), timeout, token));
    if (const auto error = outcome.errorAs<HTTPTransport::Error>()) {
        QVERIFY(!error->description().isEmpty());
        QCOMPARE(QString::fromLatin1(codes[int(error->code())]), expected);
        if (cancelAfterMs == 0) {
            QTest::qWait(50);
            QVERIFY(server.requests().isEmpty());
        }
        return;
    }
    const HTTPTransport::Response &response = outcome.value->response;
    // Header names compare in any case.
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(response.statusCode).arg(outcome.value->body, response.header("RETRY-after").value_or("-")),
             expected);
    QCOMPARE(response.header("content-type"), QByteArray("application/json"));
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().first().method + ' ' + server.requests().first().target, QByteArray("GET /search?term=x"));
    QCOMPARE(server.requests().first().headers.value("accept"), QByteArray("application/json"));
}

QTEST_GUILESS_MAIN(TestNetworkTransport)
#include "tst_networktransport.moc"
