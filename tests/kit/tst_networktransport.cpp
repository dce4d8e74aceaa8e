#include "clients/NetworkTransport.h"
#include "support/TaskRunner.h"

#include "LocalHttpServer.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTimer>
#include <QtTest>

using Code = HTTPTransport::Error::Code;
using Headers = QList<QPair<QByteArray, QByteArray>>;

class TestNetworkTransport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void answers_data();
    void answers();
    void failures_data();
    void failures();
    void slowTrickleIsNotATimeOut();
    void cancelledTokenSendsNothing();
    void nonHttpAnswerIsBadServerResponse();

private:
    QNetworkAccessManager m_manager;
};

void TestNetworkTransport::init()
{
    m_manager.setProxy(QNetworkProxy::NoProxy);
}

void TestNetworkTransport::answers_data()
{
    QTest::addColumn<LocalHttpServer::Reply>("reply");
    QTest::addColumn<qint64>("status");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<std::optional<QByteArray>>("value");

    QTest::newRow("200 with JSON") << LocalHttpServer::json(200, R"({"resultCount":0,"results":[]})", "OK")
                                   << qint64(200) << QByteArray("CONTENT-TYPE") << std::optional<QByteArray>("application/json");
    QTest::newRow("404") << LocalHttpServer::json(404, R"({"error":"no"})", "Not Found") << qint64(404)
                         << QByteArray("content-type") << std::optional<QByteArray>("application/json");
    auto limited = LocalHttpServer::json(429, "", "Too Many Requests");
    limited.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("20")));
    QTest::newRow("429 with Retry-After") << limited << qint64(429) << QByteArray("retry-after")
                                          << std::optional<QByteArray>("20");
    QTest::newRow("503") << LocalHttpServer::json(503, "busy", "Service Unavailable") << qint64(503)
                         << QByteArray("Retry-After") << std::optional<QByteArray>();
}

void TestNetworkTransport::answers()
{
    QFETCH(LocalHttpServer::Reply, reply);
    QFETCH(qint64, status);
    QFETCH(QByteArray, header);
    QFETCH(std::optional<QByteArray>, value);

    LocalHttpServer server;
    QVERIFY(server.isListening());
    server.reply(reply);
    NetworkTransport transport(&m_manager);
    const QUrl url = server.baseUrl().resolved(QUrl("/search?term=x"));
    const auto outcome = TaskRunner::run(transport.get(url, 5, {}));
    QVERIFY(outcome.succeeded());
    QCOMPARE(outcome.value->response.statusCode, status);
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
    QTest::addColumn<double>("timeout");
    QTest::addColumn<int>("cancelAfterMs"); // -1: never
    QTest::addColumn<Code>("code");

    auto slow = LocalHttpServer::json(200, "{}", "OK");
    slow.delayMs = 3000;
    QTest::newRow("slow answer times out") << slow << 0.3 << -1 << Code::timedOut;
    LocalHttpServer::Reply silent;
    silent.neverAnswer = true;
    QTest::newRow("silence times out") << silent << 0.3 << -1 << Code::timedOut;
    LocalHttpServer::Reply dropped;
    dropped.closeEarly = true;
    QTest::newRow("connection closed early") << dropped << 5.0 << -1 << Code::other;
    QTest::newRow("cancelled while waiting") << silent << 5.0 << 50 << Code::cancelled;
    QTest::newRow("cancelled before the time-out") << slow << 1.0 << 50 << Code::cancelled;
}

void TestNetworkTransport::failures()
{
    QFETCH(LocalHttpServer::Reply, reply);
    QFETCH(double, timeout);
    QFETCH(int, cancelAfterMs);
    QFETCH(Code, code);

    LocalHttpServer server;
    server.reply(reply);
    NetworkTransport transport(&m_manager);
    auto token = CancelToken::create();
    if (cancelAfterMs >= 0)
        QTimer::singleShot(cancelAfterMs, token.get(), [token] { token->cancel(); });

    QElapsedTimer elapsed;
    elapsed.start();
    const auto outcome = TaskRunner::run(transport.get(server.baseUrl().resolved(QUrl("/x")), timeout, token));
    const auto error = outcome.errorAs<HTTPTransport::Error>();
    QVERIFY(error);
    QCOMPARE(error->code(), code);
    QVERIFY(!error->description().isEmpty());
    QVERIFY(elapsed.elapsed() < 2500);
}

void TestNetworkTransport::slowTrickleIsNotATimeOut()
{
    // The time-out limits silence, as the server keeps sending well within it.
    LocalHttpServer server;
    auto reply = LocalHttpServer::json(200, R"({"a":1})", "OK");
    reply.trickleMs = 100;
    server.reply(reply);
    NetworkTransport transport(&m_manager);
    QElapsedTimer elapsed;
    elapsed.start();
    const auto outcome = TaskRunner::run(transport.get(server.baseUrl(), 0.4, {}));
    QVERIFY(outcome.succeeded());
    QCOMPARE(outcome.value->body, QByteArray(R"({"a":1})"));
    QVERIFY(elapsed.elapsed() >= 500);
}

void TestNetworkTransport::cancelledTokenSendsNothing()
{
    LocalHttpServer server;
    NetworkTransport transport(&m_manager);
    auto token = CancelToken::create();
    token->cancel();
    const auto outcome = TaskRunner::run(transport.get(server.baseUrl(), 5, token));
    QCOMPARE(outcome.errorAs<HTTPTransport::Error>()->code(), Code::cancelled);
    QTest::qWait(50);
    QVERIFY(server.requests().isEmpty());
}

void TestNetworkTransport::nonHttpAnswerIsBadServerResponse()
{
    NetworkTransport transport(&m_manager);
    const auto outcome = TaskRunner::run(transport.get(QUrl("data:application/json,%7B%7D"), 5, {}));
    const auto error = outcome.errorAs<HTTPTransport::Error>();
    QVERIFY(error);
    QCOMPARE(error->code(), Code::badServerResponse);
}

QTEST_GUILESS_MAIN(TestNetworkTransport)
#include "tst_networktransport.moc"
