#include "clients/NetworkTransport.h"
#include "support/TaskRunner.h"

#include "LocalHttpServer.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTimer>
#include <QtTest>

using Code = HTTPTransport::Error::Code;
using Header = std::optional<QByteArray>;

class TestNetworkTransport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { m_manager.setProxy(QNetworkProxy::NoProxy); }
    void answers_data();
    void answers();
    void failures_data();
    void failures();

private:
    QNetworkAccessManager m_manager;
};

void TestNetworkTransport::answers_data()
{
    QTest::addColumn<LocalHttpServer::Reply>("reply");
    QTest::addColumn<double>("timeout");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<Header>("value");

    QTest::newRow("200, header names in any case") << LocalHttpServer::json(200, R"({"resultCount":0})", "OK") << 5.0
                                                   << QByteArray("CONTENT-TYPE") << Header("application/json");
    auto limited = LocalHttpServer::json(429, "", "Too Many Requests");
    limited.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("20")));
    QTest::newRow("429 is an answer") << limited << 5.0 << QByteArray("retry-after") << Header("20");
    QTest::newRow("503 is an answer") << LocalHttpServer::json(503, "busy", "Service Unavailable") << 5.0
                                      << QByteArray("Retry-After") << Header();
    // The time-out limits silence: a body sent a byte every 100 ms takes longer but never pauses that long.
    auto trickle = LocalHttpServer::json(200, R"({"a":1})", "OK");
    trickle.trickleMs = 100;
    QTest::newRow("slow trickle is no time-out") << trickle << 0.4 << QByteArray("content-type") << Header("application/json");
}

void TestNetworkTransport::answers()
{
    QFETCH(LocalHttpServer::Reply, reply);
    QFETCH(double, timeout);
    QFETCH(QByteArray, header);
    QFETCH(Header, value);

    LocalHttpServer server;
    server.reply(reply);
    NetworkTransport transport(&m_manager);
    const auto outcome = TaskRunner::run(transport.get(server.baseUrl().resolved(QUrl("/search?term=x")), timeout, {}));
    QVERIFY(outcome.succeeded());
    QCOMPARE(outcome.value->response.statusCode, reply.status);
    QCOMPARE(outcome.value->body, reply.body);
    QCOMPARE(outcome.value->response.header(header), value);

    QCOMPARE(server.requests().size(), 1);
    const auto &request = server.requests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target, QByteArray("/search?term=x"));
    QCOMPARE(request.headers.value("accept"), QByteArray("application/json"));
}

void TestNetworkTransport::failures_data()
{
    QTest::addColumn<LocalHttpServer::Reply>("reply");
    QTest::addColumn<QUrl>("url"); // empty: the server
    QTest::addColumn<int>("cancelAfterMs"); // -1: never; 0: before the call
    QTest::addColumn<Code>("code");

    LocalHttpServer::Reply silent;
    silent.neverAnswer = true;
    LocalHttpServer::Reply dropped;
    dropped.closeEarly = true;
    QTest::newRow("silence times out") << silent << QUrl() << -1 << Code::timedOut;
    QTest::newRow("connection closed early") << dropped << QUrl() << -1 << Code::other;
    QTest::newRow("cancelled while waiting") << silent << QUrl() << 50 << Code::cancelled;
    QTest::newRow("cancelled beforehand: nothing sent") << silent << QUrl() << 0 << Code::cancelled;
    QTest::newRow("not HTTP") << silent << QUrl("data:application/json,%7B%7D") << -1 << Code::badServerResponse;
}

void TestNetworkTransport::failures()
{
    QFETCH(LocalHttpServer::Reply, reply);
    QFETCH(QUrl, url);
    QFETCH(int, cancelAfterMs);
    QFETCH(Code, code);

    LocalHttpServer server;
    server.reply(reply);
    NetworkTransport transport(&m_manager);
    auto token = CancelToken::create();
    if (cancelAfterMs == 0)
        token->cancel();
    else if (cancelAfterMs > 0)
        QTimer::singleShot(cancelAfterMs, token.get(), [token] { token->cancel(); });

    QElapsedTimer elapsed;
    elapsed.start();
    // Cancelling comes well before the time-out and must be reported as such.
    const double timeout = cancelAfterMs > 0 ? 1.0 : 0.3;
    const auto error = TaskRunner::run(transport.get(url.isEmpty() ? server.baseUrl() : url, timeout, token))
                           .errorAs<HTTPTransport::Error>();
    QVERIFY(error);
    QCOMPARE(error->code(), code);
    QVERIFY(!error->description().isEmpty());
    QVERIFY(elapsed.elapsed() < 2500);
    if (cancelAfterMs == 0) {
        QTest::qWait(50);
        QVERIFY(server.requests().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestNetworkTransport)
#include "tst_networktransport.moc"
