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

QByteArray popularityAnswer(const QStringList &terms, const QByteArray &weekMember = {})
{
    QByteArray items;
    for (const QString &term : terms) {
        if (!items.isEmpty())
            items += ',';
        items += R"({"term":")" + term.toUtf8() + R"(","popularity":42,"source":"APPLE_ADS_MINIMUM"})";
    }
    return R"({"country":"xx",)" + weekMember + R"("items":[)" + items + "]}";
}

QStringList numberedTerms(int count)
{
    QStringList terms;
    for (int i = 0; i < count; ++i)
        terms.append(QStringLiteral("t%1").arg(i));
    return terms;
}

QStringList sentTerms(const LocalHttpServer::Request &request)
{
    QStringList terms;
    for (const QJsonValue &v : QJsonDocument::fromJson(request.body).object().value(QLatin1String("terms")).toArray())
        terms.append(v.toString());
    return terms;
}

} // namespace

class TestPopularityClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void chunks_data();
    void chunks();
    void duplicatesByCanonicalEquivalence();
    void weeks_data();
    void weeks();
    void laterChunkFailureDiscardsEverything();
    void headers_data();
    void headers();
    void errors_data();
    void errors();
    void topTermsBody_data();
    void topTermsBody();
    void topTermsAnswer();
    void addresses_data();
    void addresses();
    void unreachable();
    void cancellation();

private:
    PopularityClient client(const LocalHttpServer &server, std::optional<QString> token = std::nullopt)
    {
        return PopularityClient(server.baseUrl(), std::move(token), &m_session);
    }

    QNetworkAccessManager m_session;
};

void TestPopularityClient::initTestCase()
{
    m_session.setProxy(QNetworkProxy::NoProxy);
}

void TestPopularityClient::chunks_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("sizes");

    QTest::newRow("none") << 0 << QList<int>{};
    QTest::newRow("one") << 1 << QList<int>{1};
    QTest::newRow("exactly one chunk") << 500 << QList<int>{500};
    QTest::newRow("two full chunks") << 1000 << QList<int>{500, 500};
    QTest::newRow("one left over") << 1001 << QList<int>{500, 500, 1};
}

void TestPopularityClient::chunks()
{
    QFETCH(int, count);
    QFETCH(QList<int>, sizes);
    LocalHttpServer server;
    server.script({LocalHttpServer::json(200, popularityAnswer({"first", "second"})), LocalHttpServer::json(200, popularityAnswer({"third"})),
                   LocalHttpServer::json(200, popularityAnswer({"fourth"}))});
    const QStringList terms = numberedTerms(count);

    const auto outcome = TaskRunner::run(client(server).popularity(QStringLiteral("de"), terms));
    QVERIFY(outcome.succeeded());
    QCOMPARE(outcome.value->country, QStringLiteral("de")); // the caller's, not the answer's "xx"

    QList<int> actualSizes;
    QStringList allSent;
    for (const auto &request : server.requests()) {
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.target, QByteArray("/api/v1/popularity"));
        QCOMPARE(QJsonDocument::fromJson(request.body).object().value(QLatin1String("country")).toString(), QStringLiteral("de"));
        actualSizes.append(int(sentTerms(request).size()));
        allSent += sentTerms(request);
    }
    QCOMPARE(actualSizes, sizes);
    QCOMPARE(allSent, terms);

    const QStringList expectedItems = QStringList{"first", "second", "third", "fourth"}.mid(0, sizes.isEmpty() ? 0 : sizes.size() + 1);
    QStringList items;
    for (const PopularityItem &item : outcome.value->items) {
        items.append(item.term);
        QCOMPARE(item.source, PopularityItem::Source::appleMinimum);
        QCOMPARE(item.popularity, qint64(42));
    }
    QCOMPARE(items, expectedItems);
}

void TestPopularityClient::duplicatesByCanonicalEquivalence()
{
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(200, popularityAnswer({})));
    const QStringList terms{"photo", "Photo", QString::fromUtf8("caf\u00e9"), QString::fromUtf8("cafe\u0301"), "photo", "", " photo", ""};
    const auto outcome = TaskRunner::run(client(server).popularity(QStringLiteral("us"), terms));
    QVERIFY(outcome.succeeded());
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().at(0).body, QByteArray("{\"country\":\"us\",\"terms\":[\"photo\",\"Photo\",\"caf\xc3\xa9\",\"\",\" photo\"]}"));
}

void TestPopularityClient::weeks_data()
{
    QTest::addColumn<QList<QByteArray>>("weekMembers");
    QTest::addColumn<QString>("week"); // empty = absent

    QTest::newRow("present, absent, present") << QList<QByteArray>{R"("week":"W1",)", "", R"("week":"W3",)"} << "W3";
    QTest::newRow("an absent week keeps the last one") << QList<QByteArray>{R"("week":"W1",)", R"("week":"W2",)", ""} << "W2";
    QTest::newRow("null counts as absent") << QList<QByteArray>{R"("week":"W1",)", R"("week":null,)", R"("week":null,)"} << "W1";
    QTest::newRow("never any week") << QList<QByteArray>{"", "", ""} << "";
}

void TestPopularityClient::weeks()
{
    QFETCH(QList<QByteArray>, weekMembers);
    QFETCH(QString, week);
    LocalHttpServer server;
    QList<LocalHttpServer::Reply> replies;
    for (const QByteArray &member : weekMembers)
        replies.append(LocalHttpServer::json(200, popularityAnswer({}, member)));
    server.script(replies);
    const auto outcome = TaskRunner::run(client(server).popularity(QStringLiteral("us"), numberedTerms(1001)));
    QVERIFY(outcome.succeeded());
    QCOMPARE(outcome.value->week.value_or(QString()), week);
    QCOMPARE(outcome.value->week.has_value(), !week.isEmpty());
}

void TestPopularityClient::laterChunkFailureDiscardsEverything()
{
    LocalHttpServer server;
    server.script({LocalHttpServer::json(200, popularityAnswer({"a"})), LocalHttpServer::json(500, R"({"error":"Overloaded"})"),
                   LocalHttpServer::json(200, popularityAnswer({"c"}))});
    const auto outcome = TaskRunner::run(client(server).popularity(QStringLiteral("us"), numberedTerms(1001)));
    QVERIFY(!outcome.succeeded());
    QCOMPARE(outcome.errorAs<PopularityError>()->message, QStringLiteral("Popularity server error (HTTP 500): Overloaded."));
    QCOMPARE(server.requests().size(), 2); // the third chunk is never sent
}

void TestPopularityClient::headers_data()
{
    QTest::addColumn<std::optional<QString>>("token");
    QTest::addColumn<QByteArray>("authorization"); // empty = no header

    QTest::newRow("no token") << std::optional<QString>() << QByteArray();
    QTest::newRow("empty token") << std::optional<QString>(QString()) << QByteArray();
    QTest::newRow("token sent unchanged") << std::optional<QString>(QStringLiteral("aB+/=.x")) << QByteArray("Bearer aB+/=.x");
}

void TestPopularityClient::headers()
{
    QFETCH(std::optional<QString>, token);
    QFETCH(QByteArray, authorization);
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(200, R"({"country":"us","genres":[],"total":0,"items":[]})"));
    const auto outcome = TaskRunner::run(client(server, token).topTerms(QStringLiteral("us"), {}, {}, {}, {}, 10, 0));
    QVERIFY(outcome.succeeded());
    const LocalHttpServer::Request &request = server.requests().at(0);
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
    QTest::newRow("401 with empty text") << 401 << QByteArray(R"({"error":""})") << refused;
    QTest::newRow("401 with blank text") << 401 << QByteArray(R"({"error":" \n"})") << refused;
    QTest::newRow("400 loses one full stop") << 400 << QByteArray(R"({"error":"Bad request."})")
                                             << "Popularity server error (HTTP 400): Bad request.";
    QTest::newRow("only one full stop goes") << 500 << QByteArray(R"({"error":"Wait..","hint":"x"})")
                                             << "Popularity server error (HTTP 500): Wait..";
    QTest::newRow("text without full stop") << 503 << QByteArray(R"({"error":"Down for maintenance"})")
                                            << "Popularity server error (HTTP 503): Down for maintenance.";
    QTest::newRow("HTML page") << 502 << QByteArray("<html><body>Bad gateway</body></html>") << "Popularity server error (HTTP 502).";
    QTest::newRow("numeric member beside error") << 500 << QByteArray(R"({"error":"Boom","code":5})") << "Popularity server error (HTTP 500).";
    QTest::newRow("error not text") << 500 << QByteArray(R"({"error":{"text":"Boom"}})") << "Popularity server error (HTTP 500).";
    QTest::newRow("empty error text") << 500 << QByteArray(R"({"error":""})") << "Popularity server error (HTTP 500).";
    QTest::newRow("no error key") << 404 << QByteArray(R"({"message":"Not here"})") << "Popularity server error (HTTP 404).";
    QTest::newRow("list body") << 429 << QByteArray(R"(["Slow down"])") << "Popularity server error (HTTP 429).";
    QTest::newRow("unknown source") << 200 << QByteArray(R"({"country":"us","items":[{"term":"a","popularity":5,"source":"OTHER"}]})")
                                    << unexpected;
    QTest::newRow("error object with 200") << 200 << QByteArray(R"({"error":"Quota exceeded"})") << unexpected;
    QTest::newRow("popularity as text") << 200 << QByteArray(R"({"country":"us","items":[{"term":"a","popularity":"5","source":"APPLE_ADS_COUNTRY"}]})")
                                        << unexpected;
    QTest::newRow("fractional popularity") << 200
                                           << QByteArray(R"({"country":"us","items":[{"term":"a","popularity":5.5,"source":"APPLE_ADS_COUNTRY"}]})")
                                           << unexpected;
    QTest::newRow("week not text") << 200 << QByteArray(R"({"country":"us","week":7,"items":[]})") << unexpected;
    QTest::newRow("not JSON") << 200 << QByteArray("OK") << unexpected;
    QTest::newRow("empty 204") << 204 << QByteArray() << unexpected;
}

void TestPopularityClient::errors()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(status, body));
    const auto outcome = TaskRunner::run(client(server, QStringLiteral("t")).popularity(QStringLiteral("us"), {"a"}));
    QVERIFY(!outcome.succeeded());
    const auto error = outcome.errorAs<PopularityError>();
    QVERIFY(error);
    QCOMPARE(error->description(), message);
}

void TestPopularityClient::topTermsBody_data()
{
    QTest::addColumn<std::optional<QString>>("genre");
    QTest::addColumn<std::optional<qint64>>("minPopularity");
    QTest::addColumn<std::optional<qint64>>("maxPopularity");
    QTest::addColumn<std::optional<QString>>("query");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QByteArray>("body");

    const std::optional<QString> none;
    const std::optional<qint64> noNumber;
    QTest::newRow("everything, in order") << std::optional<QString>("6014") << std::optional<qint64>(80) << std::optional<qint64>(20)
                                          << std::optional<QString>(" \tphoto editor\n") << qint64(50) << qint64(100)
                                          << QByteArray(R"({"country":"us","genre":"6014","minPopularity":80,"maxPopularity":20,)"
                                                        R"("query":"photo editor","limit":50,"offset":100})");
    QTest::newRow("nothing optional") << none << noNumber << noNumber << none << qint64(20) << qint64(0)
                                      << QByteArray(R"({"country":"us","limit":20,"offset":0})");
    QTest::newRow("limit 0 and negative offset") << none << noNumber << noNumber << none << qint64(0) << qint64(-5)
                                                 << QByteArray(R"({"country":"us","limit":1,"offset":0})");
    QTest::newRow("limit 1000") << none << noNumber << noNumber << none << qint64(1000) << qint64(7)
                                << QByteArray(R"({"country":"us","limit":500,"offset":7})");
    QTest::newRow("blank query left out, empty genre kept")
        << std::optional<QString>(QString()) << noNumber << std::optional<qint64>(-1) << std::optional<QString>(QString::fromUtf8(" \u3000 "))
        << qint64(10) << qint64(0) << QByteArray(R"({"country":"us","genre":"","maxPopularity":-1,"limit":10,"offset":0})");
}

void TestPopularityClient::topTermsBody()
{
    QFETCH(std::optional<QString>, genre);
    QFETCH(std::optional<qint64>, minPopularity);
    QFETCH(std::optional<qint64>, maxPopularity);
    QFETCH(std::optional<QString>, query);
    QFETCH(qint64, limit);
    QFETCH(qint64, offset);
    QFETCH(QByteArray, body);
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(200, R"({"country":"us","genres":[],"total":0,"items":[]})"));
    const auto outcome =
        TaskRunner::run(client(server).topTerms(QStringLiteral("us"), genre, minPopularity, maxPopularity, query, limit, offset));
    QVERIFY(outcome.succeeded());
    QCOMPARE(server.requests().at(0).target, QByteArray("/api/v1/top-terms"));
    QCOMPARE(server.requests().at(0).body, body);
}

void TestPopularityClient::topTermsAnswer()
{
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(200, R"({"country":"gb","week":"2024-W07","genres":["6008","6014"],"total":1234,"extra":true,
        "items":[{"term":"photo","popularity":71,"genre":"6008","rankInGenre":3},{"term":"dice","popularity":5,"genre":"6014","rankInGenre":null}]})"));
    const auto outcome = TaskRunner::run(client(server).topTerms(QStringLiteral("us"), {}, {}, {}, {}, 2, 0));
    QVERIFY(outcome.succeeded());
    const TopTermsResponse expected{QStringLiteral("gb"),
                                    QStringLiteral("2024-W07"),
                                    {"6008", "6014"},
                                    1234,
                                    {TopTerm{"photo", 71, "6008", 3}, TopTerm{"dice", 5, "6014", std::nullopt}}};
    QCOMPARE(*outcome.value, expected);
    QCOMPARE(TopTermsResponse::fromJson(expected.toJson()), expected);
    QVERIFY(qHash(TopTerm{"dice", 5, "6014", std::nullopt}) != qHash(TopTerm{"dice", 5, "6014", 0}));
}

void TestPopularityClient::addresses_data()
{
    QTest::addColumn<QString>("basePath");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("no path") << "" << QByteArray("/api/v1/popularity");
    QTest::newRow("root") << "/" << QByteArray("/api/v1/popularity");
    QTest::newRow("path") << "/asa" << QByteArray("/asa/api/v1/popularity");
    QTest::newRow("path with trailing slash") << "/svc/asa/" << QByteArray("/svc/asa/api/v1/popularity");
}

void TestPopularityClient::addresses()
{
    QFETCH(QString, basePath);
    QFETCH(QByteArray, target);
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(200, popularityAnswer({})));
    QUrl base = server.baseUrl();
    base.setPath(basePath);
    const auto outcome = TaskRunner::run(PopularityClient(base, std::nullopt, &m_session).popularity("us", {"a"}));
    QVERIFY(outcome.succeeded());
    QCOMPARE(server.requests().at(0).target, target);
}

void TestPopularityClient::unreachable()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    const QUrl base(QStringLiteral("http://127.0.0.1:%1/asa/").arg(port));
    const auto outcome = TaskRunner::run(PopularityClient(base, std::nullopt, &m_session).popularity("us", {"a"}));
    QCOMPARE(outcome.errorAs<PopularityError>()->message,
             QStringLiteral("Could not reach the popularity server at http://127.0.0.1:%1/asa/: Connection refused").arg(port));

    LocalHttpServer server;
    LocalHttpServer::Reply hangUp;
    hangUp.closeEarly = true;
    server.reply(hangUp);
    const auto dropped = TaskRunner::run(client(server).topTerms("us", {}, {}, {}, {}, 1, 0));
    QVERIFY(dropped.errorAs<PopularityError>()->message.startsWith(
        QStringLiteral("Could not reach the popularity server at ") + server.baseUrl().toString() + QStringLiteral(": ")));
}

void TestPopularityClient::cancellation()
{
    LocalHttpServer server;
    LocalHttpServer::Reply silent;
    silent.neverAnswer = true;
    server.reply(silent);
    const QString expected = QStringLiteral("Could not reach the popularity server at ") + server.baseUrl().toString() + QStringLiteral(": cancelled");

    auto token = CancelToken::create();
    QTimer::singleShot(50ms, token.get(), [token] { token->cancel(); });
    QElapsedTimer timer;
    timer.start();
    const auto aborted = TaskRunner::run(client(server).popularity("us", {"a"}, token));
    QVERIFY(timer.elapsed() < 10'000);
    QCOMPARE(aborted.errorAs<PopularityError>()->message, expected);
    QCOMPARE(server.requests().size(), 1);

    // A token cancelled beforehand sends nothing.
    const auto early = TaskRunner::run(client(server).topTerms("us", {}, {}, {}, {}, 1, 0, token));
    QCOMPARE(early.errorAs<PopularityError>()->message, expected);
    QCOMPARE(server.requests().size(), 1);
}

QTEST_GUILESS_MAIN(TestPopularityClient)
#include "tst_popularityclient.moc"
