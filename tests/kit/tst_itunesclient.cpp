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

QJsonObject app(qint64 id, std::optional<QString> name = std::nullopt)
{
    return QJsonObject{{"trackId", id}, {"trackName", name.value_or(QStringLiteral("App %1").arg(id))}};
}

QByteArray answer(const QJsonArray &entries)
{
    return QJsonDocument(QJsonObject{{"resultCount", entries.size()}, {"results", entries}}).toJson(QJsonDocument::Compact);
}

QStringList idsOf(const QUrl &url)
{
    return QUrlQuery(url).queryItemValue(QStringLiteral("id"), QUrl::FullyDecoded).split(u',');
}

struct Harness
{
    std::shared_ptr<VirtualClock> time = VirtualClock::create();
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    ITunesClient client{AppleHTTP(transport, nullptr, RetryPolicy(), time->sleep())};
};

// Answers a lookup with one entry per requested ID.
FakeTransport::Step echoIds(const QUrl &url)
{
    QJsonArray entries;
    for (const QString &id : idsOf(url))
        entries.append(app(id.toLongLong()));
    return FakeTransport::json(answer(entries));
}

QStringList appIds(const QList<AppInfo> &apps)
{
    QStringList ids;
    for (const AppInfo &a : apps)
        ids << a.appleAppId;
    return ids;
}

} // namespace

class TestITunesClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void searchURL_data();
    void searchURL();
    void searchTermReachesTheWireIntact();
    void searchKeepsApplePositions();
    void malformedTopLevel_data();
    void malformedTopLevel();
    void lookup_data();
    void lookup();
    void lookupManyBatches_data();
    void lookupManyBatches();
    void lookupManyKeepsOnlyAskedApps();
    void lookupManyStopsAtFailingBatch();
    void cancelTokenReachesTheRequest();
};

void TestITunesClient::searchURL_data()
{
    QTest::addColumn<QString>("term");
    QTest::addColumn<QString>("country");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QByteArray>("url");
    const QByteArray base = "https://itunes.apple.com/search?term=";
    QTest::newRow("c++") << "c++" << "us" << 50 << base + "c%2B%2B&country=us&entity=software&media=software&limit=50";
    QTest::newRow("a&b=c") << "a&b=c" << "us" << 50 << base + "a%26b%3Dc&country=us&entity=software&media=software&limit=50";
    QTest::newRow("100%") << "100%" << "us" << 50 << base + "100%25&country=us&entity=software&media=software&limit=50";
    QTest::newRow("café") << QString::fromUtf8("café") << "fr" << 50
                          << base + "caf%C3%A9&country=fr&entity=software&media=software&limit=50";
    QTest::newRow("photo editor") << "photo editor" << "us" << 50
                                  << base + "photo%20editor&country=us&entity=software&media=software&limit=50";
    QTest::newRow("nothing trimmed or lower-cased") << " Photo " << "US" << 50
                                                    << base + "%20Photo%20&country=US&entity=software&media=software&limit=50";
    QTest::newRow("limit 0 → 1") << "x" << "us" << 0 << base + "x&country=us&entity=software&media=software&limit=1";
    QTest::newRow("limit 500 → 200") << "x" << "us" << 500 << base + "x&country=us&entity=software&media=software&limit=200";
}

void TestITunesClient::searchURL()
{
    QFETCH(QString, term);
    QFETCH(QString, country);
    QFETCH(int, limit);
    QFETCH(QByteArray, url);
    Harness h;
    h.transport->steps = {FakeTransport::json(answer({}))};
    QVERIFY(TaskRunner::run(h.client.search(term, country, limit)).succeeded());
    QCOMPARE(h.transport->urls.size(), 1);
    QCOMPARE(h.transport->urls.first().toEncoded(), url);
    QCOMPARE(QUrlQuery(h.transport->urls.first()).queryItemValue("term", QUrl::FullyDecoded), term);
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
    Harness h;
    QJsonArray entries{app(11), app(22), app(33, QString()), QJsonValue("not an app"), app(55), app(66)};
    // The first attempt fails, so the answer comes on the second.
    h.transport->steps = {FakeTransport::status(503), FakeTransport::json(answer(entries))};
    const auto outcome = TaskRunner::run(h.client.search("photo", "us", 50));
    QVERIFY(outcome.succeeded());
    const SearchResponse &response = *outcome.value;
    QList<int> ranks;
    QStringList ids;
    for (const SearchHit &hit : response.hits) {
        ranks << hit.rank;
        ids << hit.appleAppId;
    }
    QCOMPARE(ranks, (QList<int>{1, 2, 5, 6}));
    QCOMPARE(ids, (QStringList{"11", "22", "55", "66"}));
    QCOMPARE(response.resultCount, qint64(6));
    QCOMPARE(response.attempts, qint64(2));
    QVERIFY(response.duration >= 0);

    h.transport->steps = {FakeTransport::json(R"({"resultCount":0,"results":[]})")};
    const auto empty = TaskRunner::run(h.client.search("zzz", "us", 50));
    QVERIFY(empty.value->hits.isEmpty());
    QCOMPARE(empty.value->resultCount, qint64(0));
}

void TestITunesClient::malformedTopLevel_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("operation"); // 0 search, 1 lookup, 2 lookupMany
    const QList<QPair<const char *, QByteArray>> bodies{
        {"resultCount as text", R"({"resultCount":"1","results":[]})"},
        {"no results", R"({"resultCount":1})"},
        {"results an object", R"({"resultCount":1,"results":{}})"},
        {"resultCount a bool", R"({"resultCount":true,"results":[]})"},
    };
    const char *operations[] = {"search", "lookup", "lookupMany"};
    for (int op = 0; op < 3; ++op) {
        for (const auto &[name, body] : bodies)
            QTest::addRow("%s: %s", operations[op], name) << body << op;
    }
}

void TestITunesClient::malformedTopLevel()
{
    QFETCH(QByteArray, body);
    QFETCH(int, operation);
    Harness h;
    h.transport->steps = {FakeTransport::json(body)};
    std::optional<AppleRequestError> error;
    if (operation == 0)
        error = TaskRunner::run(h.client.search("x", "us", 5)).errorAs<AppleRequestError>();
    else if (operation == 1)
        error = TaskRunner::run(h.client.lookup("1", "us")).errorAs<AppleRequestError>();
    else
        error = TaskRunner::run(h.client.lookupMany({"1"}, "us")).errorAs<AppleRequestError>();
    QVERIFY(error);
    QCOMPARE(*error, AppleRequestError(Kind::malformed, std::nullopt, "Missing resultCount/results"));
    QCOMPARE(error->description(), QStringLiteral("Apple returned an unexpected response: Missing resultCount/results"));
    QCOMPARE(h.transport->urls.size(), 1);
}

void TestITunesClient::lookup_data()
{
    QTest::addColumn<QJsonArray>("entries");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name"); // empty: nothing found
    QTest::newRow("the app") << QJsonArray{app(7, "Seven")} << "7" << "Seven";
    QTest::newRow("only other apps") << QJsonArray{app(8), app(9)} << "7" << "";
    QTest::newRow("after unreadable entries") << QJsonArray{QJsonValue(3), app(0), app(7, "Seven")} << "7" << "Seven";
    QTest::newRow("first of two") << QJsonArray{app(7, "First"), app(7, "Second")} << "7" << "First";
    QTest::newRow("string equality, not numeric") << QJsonArray{app(7)} << "007" << "";
}

void TestITunesClient::lookup()
{
    QFETCH(QJsonArray, entries);
    QFETCH(QString, id);
    QFETCH(QString, name);
    Harness h;
    h.transport->steps = {FakeTransport::json(answer(entries))};
    const auto outcome = TaskRunner::run(h.client.lookup(id, "us"));
    QVERIFY(outcome.succeeded());
    QCOMPARE(h.transport->urls.value(0).toEncoded(), "https://itunes.apple.com/lookup?id=" + id.toLatin1() + "&country=us");
    QCOMPARE(outcome.value->has_value(), !name.isEmpty());
    if (!name.isEmpty())
        QCOMPARE((*outcome.value)->name, name);
}

void TestITunesClient::lookupManyBatches_data()
{
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QList<int>>("batchSizes");
    QTest::addColumn<QStringList>("found");
    QStringList many;
    for (int i = 1; i <= 250; ++i)
        many << QString::number(1000 + i);
    QTest::newRow("250 → 100/100/50") << many << QList<int>{100, 100, 50} << many;
    QTest::newRow("duplicates removed") << QStringList{"1", "2", "1"} << QList<int>{2} << QStringList{"1", "2"};
    QTest::newRow("101 with a duplicate") << many.mid(0, 100) + QStringList{"1001", "9"} << QList<int>{100, 1}
                                          << many.mid(0, 100) + QStringList{"9"};
    QTest::newRow("empty: no request") << QStringList{} << QList<int>{} << QStringList{};
}

void TestITunesClient::lookupManyBatches()
{
    QFETCH(QStringList, ids);
    QFETCH(QList<int>, batchSizes);
    QFETCH(QStringList, found);
    Harness h;
    h.transport->respond = echoIds;
    const auto outcome = TaskRunner::run(h.client.lookupMany(ids, "de"));
    QVERIFY(outcome.succeeded());
    QCOMPARE(appIds(*outcome.value), found);
    QList<int> sizes;
    QStringList sent;
    for (const QUrl &url : std::as_const(h.transport->urls)) {
        sizes << int(idsOf(url).size());
        sent += idsOf(url);
        QCOMPARE(QUrlQuery(url).queryItemValue("country"), QStringLiteral("de"));
    }
    QCOMPARE(sizes, batchSizes);
    if (!sent.isEmpty())
        QCOMPARE(sent, found);
}

void TestITunesClient::lookupManyKeepsOnlyAskedApps()
{
    Harness h;
    h.transport->steps = {FakeTransport::json(answer({app(2), app(99), app(1), app(2)}))};
    const auto outcome = TaskRunner::run(h.client.lookupMany({"1", "2", "3"}, "us"));
    QCOMPARE(appIds(*outcome.value), (QStringList{"2", "1", "2"}));
    QCOMPARE(h.transport->urls.value(0).toEncoded(), QByteArray("https://itunes.apple.com/lookup?id=1%2C2%2C3&country=us"));
}

void TestITunesClient::lookupManyStopsAtFailingBatch()
{
    Harness h;
    QStringList ids;
    for (int i = 1; i <= 250; ++i)
        ids << QString::number(i);
    h.transport->respond = [&](const QUrl &url) {
        return h.transport->urls.size() == 2 ? FakeTransport::status(404) : echoIds(url);
    };
    const auto outcome = TaskRunner::run(h.client.lookupMany(ids, "us"));
    QCOMPARE(outcome.errorAs<AppleRequestError>(), AppleRequestError(Kind::http, 404, "HTTP 404"));
    QCOMPARE(h.transport->urls.size(), 2);
}

void TestITunesClient::cancelTokenReachesTheRequest()
{
    Harness h;
    h.transport->steps = {FakeTransport::json(answer({app(1)}))};
    auto token = CancelToken::create();
    token->cancel();
    const AppleRequestError cancelled(Kind::cancelled, std::nullopt, "cancelled");
    QCOMPARE(TaskRunner::run(h.client.search("x", "us", 5, token)).errorAs<AppleRequestError>(), cancelled);
    QCOMPARE(TaskRunner::run(h.client.lookup("1", "us", token)).errorAs<AppleRequestError>(), cancelled);
    QCOMPARE(TaskRunner::run(h.client.lookupMany({"1"}, "us", token)).errorAs<AppleRequestError>(), cancelled);
    QVERIFY(h.transport->urls.isEmpty());
}

QTEST_GUILESS_MAIN(TestITunesClient)
#include "tst_itunesclient.moc"
