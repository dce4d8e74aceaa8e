#include "clients/PopularityClient.h"
#include "support/TaskRunner.h"

#include "LocalHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QtTest>

#include <numeric>

using namespace std::chrono_literals;
using Replies = QList<LocalHttpServer::Reply>;
using OptText = std::optional<QString>;
using OptInt = std::optional<qint64>;

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
    void request();
    void errors_data();
    void errors();
    void topTermsBody();
    void topTermsAnswer();
    void unreachableAndCancelled();

private:
    PopularityClient client(const LocalHttpServer &server, OptText token = std::nullopt)
    {
        return PopularityClient(server.baseUrl(), std::move(token), &m_session);
    }

    QNetworkAccessManager m_session;
};

void TestPopularityClient::chunks_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QString>("outcome"); // the terms answered and the week, or the error

    const QByteArray w1 = R"("week":"W1",)";
    QTest::newRow("none: no request") << 0 << Replies{answer({"a"}, w1)} << QList<int>{} << "; -";
    QTest::newRow("1001: the last week given wins") << 1001 << Replies{answer({"a", "b"}, w1), answer({"c"}), answer({"d"}, R"("week":"W3",)")}
                                                    << QList<int>{500, 500, 1} << "a b c d; W3";
    QTest::newRow("absent and null keep the last") << 1001 << Replies{answer({}, w1), answer({}), answer({}, R"("week":null,)")}
                                                   << QList<int>{500, 500, 1} << "; W1";
    QTest::newRow("a later chunk fails the call")
        << 1001 << Replies{answer({"a"}), LocalHttpServer::json(500, R"({"error":"Overloaded"})"), answer({})} << QList<int>{500, 500}
        << "Popularity server error (HTTP 500): Overloaded.";
}

void TestPopularityClient::chunks()
{
    QFETCH(int, count);
    QFETCH(Replies, replies);
    QFETCH(QList<int>, sizes);
    QFETCH(QString, outcome);
    LocalHttpServer server;
    server.script(replies);
    const QStringList terms = numberedTerms(count);
    const auto result = TaskRunner::run(client(server).popularity(QStringLiteral("de"), terms));

    QList<int> sentSizes;
    QStringList sent;
    for (const auto &request : server.requests()) {
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        QCOMPARE(body.value("country").toString(), QStringLiteral("de"));
        const QStringList chunk = body.value("terms").toVariant().toStringList();
        sentSizes.append(int(chunk.size()));
        sent += chunk;
    }
    QCOMPARE(sentSizes, sizes);
    QCOMPARE(sent, terms.first(std::accumulate(sizes.cbegin(), sizes.cend(), 0)));
    if (!result.succeeded()) {
        QCOMPARE(result.errorAs<PopularityError>()->message, outcome);
        return;
    }
    QStringList received;
    for (const PopularityItem &item : result.value->items)
        received.append(item.term);
    QCOMPARE(received.join(u' ') + "; " + result.value->week.value_or("-"), outcome);
    QCOMPARE(result.value->country, QStringLiteral("de")); // the caller's, not the answer's
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

void TestPopularityClient::request()
{
    // The path follows the base URL's after exactly one "/"; an empty token sends no header.
    LocalHttpServer server;
    server.reply(answer({}));
    const auto send = [&](OptText token, const QString &basePath) {
        QUrl base = server.baseUrl();
        base.setPath(basePath);
        TaskRunner::run(PopularityClient(base, std::move(token), &m_session).popularity("us", {"a"}));
        const LocalHttpServer::Request &r = server.requests().last();
        return r.method + ' ' + r.target + ' ' + r.headers.value("content-type") + ' ' + r.headers.value("authorization", "-");
    };
    QCOMPARE(send({}, ""), "POST /api/v1/popularity application/json -");
    QCOMPARE(send("", "/asa"), "POST /asa/api/v1/popularity application/json -");
    QCOMPARE(send("aB+/=.x", "/svc/asa/"), "POST /svc/asa/api/v1/popularity application/json Bearer aB+/=.x");
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
    QTest::newRow("unknown source") << 200 << QByteArray(R"({"country":"us","items":[{"term":"a","popularity":5,"source":"OTHER"}]})")
                                    << unexpected;
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

void TestPopularityClient::topTermsBody()
{
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(200, R"({"country":"us","genres":[],"total":0,"items":[]})"));
    const auto body = [&](OptText genre, OptInt minPopularity, OptText query, qint64 limit, qint64 offset) {
        TaskRunner::run(client(server).topTerms("us", genre, minPopularity, 20, query, limit, offset));
        return server.requests().last().target + ' ' + server.requests().last().body;
    };
    // Keys in a fixed order, absent ones left out, the query trimmed and left out when blank, the page clamped.
    QCOMPARE(body("6014", 80, " \tphoto editor\n", 1000, 100),
             QByteArray(R"(/api/v1/top-terms {"country":"us","genre":"6014","minPopularity":80,"maxPopularity":20,)"
                        R"("query":"photo editor","limit":500,"offset":100})"));
    QCOMPARE(body({}, {}, {}, 0, -5), QByteArray(R"(/api/v1/top-terms {"country":"us","maxPopularity":20,"limit":1,"offset":0})"));
    QCOMPARE(body("", -1, QString::fromUtf8(" \u3000 "), 10, 0),
             QByteArray(R"(/api/v1/top-terms {"country":"us","genre":"","minPopularity":-1,"maxPopularity":20,"limit":10,"offset":0})"));
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
