#include "clients/ITunesClient.h"
#include "clients/NetworkTransport.h"
#include "support/TaskRunner.h"

#include "FakeTransport.h"
#include "LocalHttpServer.h"
#include "VirtualClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QUrlQuery>
#include <QtTest>

using Kind = AppleRequestError::Kind;

namespace {

QJsonObject app(qint64 id, const QString &name = QStringLiteral("App"))
{
    return QJsonObject{{"trackId", id}, {"trackName", name}};
}

QByteArray answer(const QJsonArray &entries)
{
    return QJsonDocument(QJsonObject{{"resultCount", entries.size()}, {"results", entries}}).toJson(QJsonDocument::Compact);
}

QStringList idsOf(const QUrl &url)
{
    return QUrlQuery(url).queryItemValue(QStringLiteral("id"), QUrl::FullyDecoded).split(u',');
}

QStringList numbered(int from, int count)
{
    QStringList ids;
    for (int i = from; i < from + count; ++i)
        ids << QString::number(i);
    return ids;
}

// "ID@rank" for hits, the ID for apps.
QStringList describe(const QList<SearchHit> &hits, const QList<AppInfo> &apps = {})
{
    QStringList out;
    for (const SearchHit &hit : hits)
        out << QStringLiteral("%1@%2").arg(hit.appleAppId).arg(hit.rank);
    for (const AppInfo &a : apps)
        out << a.appleAppId;
    return out;
}

struct Harness
{
    std::shared_ptr<VirtualClock> time = VirtualClock::create();
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    ITunesClient client{AppleHTTP(transport, nullptr, RetryPolicy(), time->sleep())};

    explicit Harness(QList<FakeTransport::Step> steps = {}) { transport->steps = std::move(steps); }
};

} // namespace

class TestITunesClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void searchURL_data();
    void searchURL();
    void searchTermReachesTheWireIntact();
    void searchKeepsApplePositions();
    void failures_data();
    void failures();
    void lookupKeepsOnlyAskedApps();
    void lookupMany_data();
    void lookupMany();
};

void TestITunesClient::searchURL_data()
{
    QTest::addColumn<QString>("term");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QByteArray>("query");
    QTest::newRow("c++") << "c++" << 50 << QByteArray("term=c%2B%2B&country=US&entity=software&media=software&limit=50");
    QTest::newRow("reserved, percent, non-ASCII") << QString::fromUtf8("a&b=100% café") << 50
                                                  << QByteArray("term=a%26b%3D100%25%20caf%C3%A9&country=US&entity=software&media=software&limit=50");
    QTest::newRow("nothing trimmed or lower-cased; limit 0 → 1") << " Photo " << 0
                                                                 << QByteArray("term=%20Photo%20&country=US&entity=software&media=software&limit=1");
    QTest::newRow("limit 500 → 200") << "x" << 500 << QByteArray("term=x&country=US&entity=software&media=software&limit=200");
}

void TestITunesClient::searchURL()
{
    QFETCH(QString, term);
    QFETCH(int, limit);
    QFETCH(QByteArray, query);
    Harness h({FakeTransport::json(answer({}))});
    QVERIFY(TaskRunner::run(h.client.search(term, "US", limit)).succeeded());
    QCOMPARE(h.transport->urls.value(0).toEncoded(), "https://itunes.apple.com/search?" + query);
}

void TestITunesClient::searchTermReachesTheWireIntact()
{
    LocalHttpServer server;
    server.reply(LocalHttpServer::json(200, answer({}), "OK"));
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    ITunesClient client(AppleHTTP(std::make_shared<NetworkTransport>(&manager), nullptr), server.baseUrl());
    QVERIFY(TaskRunner::run(client.search("c++ & 100%", "us", 10)).succeeded());
    QCOMPARE(server.requests().value(0).target,
             QByteArray("/search?term=c%2B%2B%20%26%20100%25&country=us&entity=software&media=software&limit=10"));
}

void TestITunesClient::searchKeepsApplePositions()
{
    // Unreadable entries keep their places; the answer comes on the second attempt.
    Harness h({FakeTransport::status(503), FakeTransport::json(answer({app(11), app(22), app(33, ""), "not an app", app(55), app(66)}))});
    const auto outcome = TaskRunner::run(h.client.search("photo", "us", 50));
    QVERIFY(outcome.succeeded());
    QCOMPARE(describe(outcome.value->hits), (QStringList{"11@1", "22@2", "55@5", "66@6"}));
    QCOMPARE(outcome.value->resultCount, qint64(6));
    QCOMPARE(outcome.value->attempts, qint64(2));
}

// Every operation checks the answer's shape and passes the caller's token on.
void TestITunesClient::failures_data()
{
    QTest::addColumn<int>("operation"); // 0 search, 1 lookup, 2 lookupMany
    QTest::addColumn<QByteArray>("body"); // empty: the token is cancelled beforehand
    QTest::addColumn<AppleRequestError>("expected");

    // They share one check of the answer's shape: each row breaks another part of it.
    const AppleRequestError malformed(Kind::malformed, std::nullopt, "Missing resultCount/results");
    QTest::newRow("search: resultCount as text") << 0 << QByteArray(R"({"resultCount":"1","results":[]})") << malformed;
    QTest::newRow("lookup: results an object") << 1 << QByteArray(R"({"resultCount":1,"results":{}})") << malformed;
    QTest::newRow("lookupMany: no resultCount") << 2 << QByteArray(R"({"results":[]})") << malformed;
    const AppleRequestError cancelled(Kind::cancelled, std::nullopt, "cancelled");
    QTest::newRow("search: cancelled") << 0 << QByteArray() << cancelled;
    QTest::newRow("lookup: cancelled") << 1 << QByteArray() << cancelled;
    QTest::newRow("lookupMany: cancelled") << 2 << QByteArray() << cancelled;
}

void TestITunesClient::failures()
{
    QFETCH(int, operation);
    QFETCH(QByteArray, body);
    QFETCH(AppleRequestError, expected);
    Harness h({FakeTransport::json(body.isEmpty() ? answer({app(1)}) : body)});
    auto token = CancelToken::create();
    if (body.isEmpty())
        token->cancel();
    const std::optional<AppleRequestError> error =
        operation == 0 ? TaskRunner::run(h.client.search("x", "us", 5, token)).errorAs<AppleRequestError>()
        : operation == 1 ? TaskRunner::run(h.client.lookup("1", "us", token)).errorAs<AppleRequestError>()
                         : TaskRunner::run(h.client.lookupMany({"1"}, "us", token)).errorAs<AppleRequestError>();
    QCOMPARE(error, expected);
    QCOMPARE(h.transport->urls.size(), body.isEmpty() ? 0 : 1);
}

// Only the apps asked for, in the order the answer lists them; lookup takes the first.
void TestITunesClient::lookupKeepsOnlyAskedApps()
{
    Harness h({FakeTransport::json(answer({3, app(0), app(2), app(99), app(7, "First"), app(2), app(7, "Second")}))});
    QCOMPARE(TaskRunner::run(h.client.lookup("7", "us")).value->value_or(AppInfo{}).name, "First");
    QVERIFY(!TaskRunner::run(h.client.lookup("5", "us")).value->has_value());
    QCOMPARE(describe({}, *TaskRunner::run(h.client.lookupMany({"7", "2", "3"}, "us")).value), (QStringList{"2", "7", "2", "7"}));
    QCOMPARE(h.transport->urls.value(0).toEncoded(), QByteArray("https://itunes.apple.com/lookup?id=7&country=us"));
    QCOMPARE(h.transport->urls.value(2).toEncoded(), QByteArray("https://itunes.apple.com/lookup?id=7%2C2%2C3&country=us"));
}

void TestITunesClient::lookupMany_data()
{
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<int>("failingRequest"); // answered with HTTP 404; 0: none
    QTest::addColumn<QList<int>>("batchSizes");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("250 → 100/100/50") << numbered(1001, 250) << 0 << QList<int>{100, 100, 50} << numbered(1001, 250);
    QTest::newRow("duplicates removed across batches") << numbered(1001, 100) + QStringList{"1001", "9"} << 0 << QList<int>{100, 1}
                                                       << numbered(1001, 100) + QStringList{"9"};
    QTest::newRow("empty: no request") << QStringList{} << 0 << QList<int>{} << QStringList{};
    QTest::newRow("a failing batch ends the call") << numbered(1, 250) << 2 << QList<int>{100, 100} << QStringList{};
}

void TestITunesClient::lookupMany()
{
    QFETCH(QStringList, ids);
    QFETCH(int, failingRequest);
    QFETCH(QList<int>, batchSizes);
    QFETCH(QStringList, found);
    Harness h;
    // Answers each lookup with one app per ID asked for.
    h.transport->respond = [&](const QUrl &url) {
        QJsonArray entries;
        for (const QString &id : idsOf(url))
            entries.append(app(id.toLongLong()));
        return h.transport->urls.size() == failingRequest ? FakeTransport::status(404) : FakeTransport::json(answer(entries));
    };
    const auto outcome = TaskRunner::run(h.client.lookupMany(ids, "de"));
    if (failingRequest)
        QCOMPARE(outcome.errorAs<AppleRequestError>(), AppleRequestError(Kind::http, 404, "HTTP 404"));
    else
        QCOMPARE(describe({}, outcome.value.value_or(QList<AppInfo>{})), found);
    QList<int> sizes;
    for (const QUrl &url : std::as_const(h.transport->urls)) {
        sizes << int(idsOf(url).size());
        QCOMPARE(QUrlQuery(url).queryItemValue("country"), QStringLiteral("de"));
    }
    QCOMPARE(sizes, batchSizes);
}

QTEST_GUILESS_MAIN(TestITunesClient)
#include "tst_itunesclient.moc"
