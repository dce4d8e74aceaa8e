#include "clients/PopularityClient.h"
#include "support/TaskRunner.h"

#include "LocalHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QtTest>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<qint64>)

namespace {

// An answer with one APPLE_ADS_MINIMUM item per term; weekMember is e.g. "\"week\":\"W1\",".
LocalHttpServer::Reply answer(const QStringList &terms, const QByteArray &weekMember = {})
{
    QByteArrayList items;
    for (const QString &term : terms)
        items.append(R"({"term":")" + term.toUtf8() + R"(","popularity":42,"source":"APPLE_ADS_MINIMUM"})");
    return LocalHttpServer::json(200, R"({"country":"xx",)" + weekMember + R"("items":[)" + items.join(',') + "]}");
}

QStringList numberedTerms(int count)
{
    QStringList terms;
    for (int i = 0; i < count; ++i)
        terms.append(QStringLiteral("t%1").arg(i));
    return terms;
}

} // namespace

class TestPopularityClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { m_session.setProxy(QNetworkProxy::NoProxy); }
    void chunks_data();
    void chunks();
    void duplicatesByCanonicalEquivalence();
    void weeks_data();
    void weeks();
    void headers_data();
    void headers();
    void errors_data();
    void errors();
    void topTermsBody_data();
    void topTermsBody();
    void topTermsAnswer();
    void unreachableAndCancelled();

private:
    PopularityClient client(const LocalHttpServer &server, std::optional<QString> token = std::nullopt)
    {
        return PopularityClient(server.baseUrl(), std::move(token), &m_session);
    }

    QNetworkAccessManager m_session;
};

void TestPopularityClient::chunks_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("none: no request") << 0 << QList<int>{} << QStringList{};
    QTest::newRow("two full chunks") << 1000 << QList<int>{500, 500} << QStringList{"a", "b", "c"};
    QTest::newRow("one left over") << 1001 << QList<int>{500, 500, 1} << QStringList{"a", "b", "c", "d"};
}

void TestPopularityClient::chunks()
{
    QFETCH(int, count);
    QFETCH(QList<int>, sizes);
    QFETCH(QStringList, items);
    LocalHttpServer server;
    server.script({answer({"a", "b"}), answer({"c"}), answer({"d"})});
    const QStringList terms = numberedTerms(count);
    const auto outcome = TaskRunner::run(client(server).popularity(QStringLiteral("de"), terms));
    QVERIFY(outcome.succeeded());

    QList<int> actualSizes;
    QStringList sent;
    for (const auto &request : server.requests()) {
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(body.value(QLatin1String("country")).toString(), QStringLiteral("de"));
        const QJsonArray chunk = body.value(QLatin1String("terms")).toArray();
        actualSizes.append(int(chunk.size()));
        for (const QJsonValue &term : chunk)
            sent.append(term.toString());
    }
    QCOMPARE(actualSizes, sizes);
    QCOMPARE(sent, terms);
    QCOMPARE(outcome.value->country, QStringLiteral("de")); // the caller's, not the answer's
    QStringList received;
    for (const PopularityItem &item : outcome.value->items)
        received.append(item.term);
    QCOMPARE(received, items);
}

void TestPopularityClient::duplicatesByCanonicalEquivalence()
{
    LocalHttpServer server;
    server.reply(answer({}));
    const QStringList terms{"photo", "Photo", QString::fromUtf8("caf\u00e9"), QString::fromUtf8("cafe\u0301"), "photo", "", " photo", ""};
    QVERIFY(TaskRunner::run(client(server).popularity(QStringLiteral("us"), terms)).succeeded());
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().at(0).body, QByteArray("{\"country\":\"us\",\"terms\":[\"photo\",\"Photo\",\"caf\xc3\xa9\",\"\",\" photo\"]}"));
}

void TestPopularityClient::weeks_data()
{
    QTest::addColumn<QList<LocalHttpServer::Reply>>("replies");
    QTest::addColumn<QString>("week");      // empty = absent
    QTest::addColumn<QString>("error");     // empty = success

    const QByteArray w1 = R"("week":"W1",)";
    QTest::newRow("present, absent, present") << QList{answer({}, w1), answer({}), answer({}, R"("week":"W3",)")} << "W3" << "";
    QTest::newRow("absent and null keep the last") << QList{answer({}, w1), answer({}), answer({}, R"("week":null,)")} << "W1" << "";
    QTest::newRow("never any week") << QList{answer({}), answer({}), answer({})} << "" << "";
    QTest::newRow("a later chunk fails the call") << QList{answer({"a"}), LocalHttpServer::json(500, R"({"error":"Overloaded"})"), answer({})}
                                                  << "" << "Popularity server error (HTTP 500): Overloaded.";
}

void TestPopularityClient::weeks()
{
    QFETCH(QList<LocalHttpServer::Reply>, replies);
    QFETCH(QString, week);
    QFETCH(QString, error);
    LocalHttpServer server;
    server.script(replies);
    const auto outcome = TaskRunner::run(client(server).popularity(QStringLiteral("us"), numberedTerms(1001)));
    QCOMPARE(outcome.succeeded() ? QString() : outcome.errorAs<PopularityError>()->message, error);
    QCOMPARE(server.requests().size(), error.isEmpty() ? 3 : 2);
    if (outcome.succeeded())
        QCOMPARE(outcome.value->week, week.isEmpty() ? std::nullopt : std::optional(week));
}

void TestPopularityClient::headers_data()
{
    QTest::addColumn<std::optional<QString>>("token");
    QTest::addColumn<QByteArray>("authorization"); // empty = no header
    QTest::addColumn<QString>("basePath");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("no token, no path") << std::optional<QString>() << QByteArray() << "" << QByteArray("/api/v1/popularity");
    QTest::newRow("empty token, path") << std::optional<QString>(QString()) << QByteArray() << "/asa" << QByteArray("/asa/api/v1/popularity");
    QTest::newRow("token, path with trailing slash") << std::optional<QString>(QStringLiteral("aB+/=.x")) << QByteArray("Bearer aB+/=.x")
                                                     << "/svc/asa/" << QByteArray("/svc/asa/api/v1/popularity");
}

void TestPopularityClient::headers()
{
    QFETCH(std::optional<QString>, token);
    QFETCH(QByteArray, authorization);
    QFETCH(QString, basePath);
    QFETCH(QByteArray, target);
    LocalHttpServer server;
    server.reply(answer({}));
    QUrl base = server.baseUrl();
    base.setPath(basePath);
    QVERIFY(TaskRunner::run(PopularityClient(base, token, &m_session).popularity("us", {"a"})).succeeded());
    const LocalHttpServer::Request &request = server.requests().at(0);
    QCOMPARE(request.target, target);
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
    QCOMPARE(request.headers.contains("authorization"), !authorization.isEmpty());
    QCOMPARE(request.headers.value("authorization"), authorization);
}

void TestPopularityClient::errors_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");

    const QString refused = QStringLiteral("The popularity server refused access. Check the access token.");
    const QString unexpected = QStringLiteral("The popularity server returned an unexpected response.");
    QTest::newRow("401 with text") << 401 << QByteArray(R"({"error":"Token expired."})") << "Token expired.";
    QTest::newRow("401 without body") << 401 << QByteArray() << refused;
    QTest::newRow("401 with blank text") << 401 << QByteArray(R"({"error":" \n"})") << refused;
    QTest::newRow("400 loses one full stop") << 400 << QByteArray(R"({"error":"Bad request."})")
                                             << "Popularity server error (HTTP 400): Bad request.";
    QTest::newRow("only one full stop goes") << 500 << QByteArray(R"({"error":"Wait..","hint":"x"})")
                                             << "Popularity server error (HTTP 500): Wait..";
    QTest::newRow("HTML page") << 502 << QByteArray("<html><body>Bad gateway</body></html>") << "Popularity server error (HTTP 502).";
    QTest::newRow("numeric member beside error") << 500 << QByteArray(R"({"error":"Boom","code":5})") << "Popularity server error (HTTP 500).";
    QTest::newRow("empty error text") << 500 << QByteArray(R"({"error":""})") << "Popularity server error (HTTP 500).";
    QTest::newRow("list body") << 429 << QByteArray(R"(["Slow down"])") << "Popularity server error (HTTP 429).";
    QTest::newRow("unknown source") << 200 << QByteArray(R"({"country":"us","items":[{"term":"a","popularity":5,"source":"OTHER"}]})")
                                    << unexpected;
    QTest::newRow("error object with 200") << 200 << QByteArray(R"({"error":"Quota exceeded"})") << unexpected;
    QTest::newRow("fractional popularity")
        << 200 << QByteArray(R"({"country":"us","items":[{"term":"a","popularity":5.5,"source":"APPLE_ADS_COUNTRY"}]})") << unexpected;
}

void TestPopularityClient::errors()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(status, body));
    const auto outcome = TaskRunner::run(client(server, QStringLiteral("t")).popularity(QStringLiteral("us"), {"a"}));
    QCOMPARE(outcome.errorAs<PopularityError>().value_or(PopularityError("no error")).description(), message);
}

void TestPopularityClient::topTermsBody_data()
{
    QTest::addColumn<std::optional<QString>>("genre");
    QTest::addColumn<std::optional<qint64>>("minPopularity");
    QTest::addColumn<std::optional<QString>>("query");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("everything, in order; limit 1000") << std::optional<QString>("6014") << std::optional<qint64>(80)
                                                      << std::optional<QString>(" \tphoto editor\n") << qint64(1000) << qint64(100)
                                                      << QByteArray(R"({"country":"us","genre":"6014","minPopularity":80,)"
                                                                    R"("maxPopularity":20,"query":"photo editor","limit":500,"offset":100})");
    QTest::newRow("limit 0, negative offset") << std::optional<QString>() << std::optional<qint64>() << std::optional<QString>()
                                              << qint64(0) << qint64(-5) << QByteArray(R"({"country":"us","maxPopularity":20,"limit":1,"offset":0})");
    QTest::newRow("blank query left out, empty genre kept")
        << std::optional<QString>(QString()) << std::optional<qint64>(-1) << std::optional<QString>(QString::fromUtf8(" \u3000 "))
        << qint64(10) << qint64(0) << QByteArray(R"({"country":"us","genre":"","minPopularity":-1,"maxPopularity":20,"limit":10,"offset":0})");
}

void TestPopularityClient::topTermsBody()
{
    QFETCH(std::optional<QString>, genre);
    QFETCH(std::optional<qint64>, minPopularity);
    QFETCH(std::optional<QString>, query);
    QFETCH(qint64, limit);
    QFETCH(qint64, offset);
    QFETCH(QByteArray, body);
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(200, R"({"country":"us","genres":[],"total":0,"items":[]})"));
    QVERIFY(TaskRunner::run(client(server).topTerms("us", genre, minPopularity, 20, query, limit, offset)).succeeded());
    QCOMPARE(server.requests().at(0).target, QByteArray("/api/v1/top-terms"));
    QCOMPARE(server.requests().at(0).body, body);
}

void TestPopularityClient::topTermsAnswer()
{
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(200, R"({"country":"gb","week":"2024-W07","genres":["6008","6014"],"total":1234,"extra":true,
        "items":[{"term":"photo","popularity":71,"genre":"6008","rankInGenre":3},{"term":"dice","popularity":5,"genre":"6014","rankInGenre":null}]})"));
    const auto outcome = TaskRunner::run(client(server).topTerms("us", {}, {}, {}, {}, 2, 0));
    const TopTermsResponse expected{"gb", "2024-W07", {"6008", "6014"}, 1234, {{"photo", 71, "6008", 3}, {"dice", 5, "6014", std::nullopt}}};
    QCOMPARE(outcome.value, expected);
    QCOMPARE(TopTermsResponse::fromJson(expected.toJson()), expected);
}

void TestPopularityClient::unreachableAndCancelled()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QUrl base(QStringLiteral("http://127.0.0.1:%1/asa/").arg(closed.serverPort()));
    closed.close();
    const auto refused = TaskRunner::run(PopularityClient(base, std::nullopt, &m_session).popularity("us", {"a"}));
    QCOMPARE(refused.errorAs<PopularityError>()->message,
             "Could not reach the popularity server at " + base.toString() + ": Connection refused");

    LocalHttpServer server;
    LocalHttpServer::Reply silent;
    silent.neverAnswer = true;
    server.reply(silent);
    const QString cancelled = "Could not reach the popularity server at " + server.baseUrl().toString() + ": cancelled";
    auto token = CancelToken::create();
    QTimer::singleShot(50ms, token.get(), [token] { token->cancel(); });
    const auto aborted = TaskRunner::run(client(server).popularity("us", {"a"}, token));
    QCOMPARE(aborted.errorAs<PopularityError>()->message, cancelled);
    // A token cancelled beforehand sends nothing.
    const auto early = TaskRunner::run(client(server).topTerms("us", {}, {}, {}, {}, 1, 0, token));
    QCOMPARE(early.errorAs<PopularityError>()->message, cancelled);
    QCOMPARE(server.requests().size(), 1);
}

QTEST_GUILESS_MAIN(TestPopularityClient)
#include "tst_popularityclient.moc"
