#include "clients/FeedsClient.h"
#include "support/TaskRunner.h"

#include "FakeTransport.h"
#include "VirtualClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using Kind = AppleRequestError::Kind;
using OptionalReview = std::optional<FeedReview>;

namespace {

QJsonObject labelled(const QString &text)
{
    return QJsonObject{{"label", text}};
}

QJsonObject fullEntry()
{
    return QJsonObject{
        {"id", labelled("9876543210")},
        {"author", QJsonObject{{"name", labelled("Sam")}, {"uri", labelled("https://example.test/sam")}}},
        {"im:rating", labelled("4")},
        {"title", labelled("Nice")},
        {"content", QJsonObject{{"label", "Works well."}, {"attributes", QJsonObject{{"type", "text"}}}}},
        {"im:version", labelled("2.1")},
        {"updated", labelled("2024-01-15T10:23:45-07:00")},
    };
}

FeedReview fullReview()
{
    FeedReview r;
    r.reviewId = "9876543210";
    r.author = "Sam";
    r.rating = 4;
    r.title = "Nice";
    r.content = "Works well.";
    r.version = "2.1";
    r.date = QDateTime(QDate(2024, 1, 15), QTime(17, 23, 45), QTimeZone::utc());
    return r;
}

QJsonObject chartEntry(const QJsonValue &imId)
{
    return QJsonObject{{"id", QJsonObject{{"label", "https://example.test/app"}, {"attributes", QJsonObject{{"im:id", imId}}}}}};
}

QByteArray feed(const QJsonValue &entry)
{
    return QJsonDocument(QJsonObject{{"feed", QJsonObject{{"author", labelled("Apple")}, {"entry", entry}}}})
        .toJson(QJsonDocument::Compact);
}

struct Harness
{
    std::shared_ptr<VirtualClock> time = VirtualClock::create();
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    FeedsClient client{AppleHTTP(transport, nullptr, RetryPolicy(), time->sleep())};
};

} // namespace

class TestFeedsClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void addresses_data();
    void addresses();
    void invalidAddress_data();
    void invalidAddress();
    void review_data();
    void review();
    void entryShapes_data();
    void entryShapes();
    void requestFailurePassesThrough();
    void chartKinds();
};

void TestFeedsClient::addresses_data()
{
    QTest::addColumn<std::optional<ChartKind>>("chart"); // none: reviews
    QTest::addColumn<QString>("country");
    QTest::addColumn<qint64>("pageOrGenre"); // the page, or the genre when positive
    QTest::addColumn<QByteArray>("url");
    using OC = std::optional<ChartKind>;
    QTest::newRow("reviews") << OC() << "us" << qint64(1)
                             << QByteArray("https://itunes.apple.com/us/rss/customerreviews/page=1/id=284882215/sortby=mostrecent/json");
    QTest::newRow("page 0 unchanged") << OC() << "GB" << qint64(0)
                                      << QByteArray("https://itunes.apple.com/GB/rss/customerreviews/page=0/id=284882215/sortby=mostrecent/json");
    QTest::newRow("negative page unchanged") << OC() << "de" << qint64(-2)
                                             << QByteArray("https://itunes.apple.com/de/rss/customerreviews/page=-2/id=284882215/sortby=mostrecent/json");
    QTest::newRow("top free, no genre") << OC(ChartKind::topFree) << "us" << qint64(0)
                                        << QByteArray("https://itunes.apple.com/us/rss/topfreeapplications/limit=200/json");
    QTest::newRow("top paid, games") << OC(ChartKind::topPaid) << "jp" << qint64(6014)
                                     << QByteArray("https://itunes.apple.com/jp/rss/toppaidapplications/limit=200/genre=6014/json");
    QTest::newRow("top grossing") << OC(ChartKind::topGrossing) << "fr" << qint64(0)
                                  << QByteArray("https://itunes.apple.com/fr/rss/topgrossingapplications/limit=200/json");
}

void TestFeedsClient::addresses()
{
    QFETCH(std::optional<ChartKind>, chart);
    QFETCH(QString, country);
    QFETCH(qint64, pageOrGenre);
    QFETCH(QByteArray, url);
    Harness h;
    h.transport->steps = {FakeTransport::json("{}")};
    if (chart) {
        const auto genre = pageOrGenre > 0 ? std::optional<qint64>(pageOrGenre) : std::nullopt;
        QVERIFY(TaskRunner::run(h.client.chart(*chart, country, genre)).succeeded());
    } else {
        QVERIFY(TaskRunner::run(h.client.reviews("284882215", country, pageOrGenre)).succeeded());
    }
    QCOMPARE(h.transport->urls.size(), 1);
    QCOMPARE(h.transport->urls.first().toEncoded(), url);
}

void TestFeedsClient::invalidAddress_data()
{
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("appleAppId"); // empty: a chart request
    QTest::newRow("country with a slash") << "u/" << "123";
    QTest::newRow("country ..") << ".." << "123";
    QTest::newRow("country with ?") << "u?" << "123";
    QTest::newRow("three letters") << "usa" << "123";
    QTest::newRow("non-ASCII letters") << QString::fromUtf8("üs") << "123";
    QTest::newRow("ID with a slash") << "us" << "1/../2";
    QTest::newRow("ID with a sign") << "us" << "+123";
    QTest::newRow("ID with a blank") << "us" << "12 3";
    QTest::newRow("full-width digits") << "us" << QString::fromUtf8("１２３");
    QTest::newRow("chart: country with a slash") << "us/x" << "";
}

void TestFeedsClient::invalidAddress()
{
    QFETCH(QString, country);
    QFETCH(QString, appleAppId);
    Harness h;
    h.transport->steps = {FakeTransport::json("{}")};
    const auto error = appleAppId.isEmpty()
        ? TaskRunner::run(h.client.chart(ChartKind::topFree, country)).errorAs<AppleRequestError>()
        : TaskRunner::run(h.client.reviews(appleAppId, country, 1)).errorAs<AppleRequestError>();
    QVERIFY(error);
    QCOMPARE(*error, AppleRequestError(Kind::network, std::nullopt, "Invalid feed address"));
    QCOMPARE(error->description(), QStringLiteral("Network error while contacting Apple: Invalid feed address"));
    QVERIFY(h.transport->urls.isEmpty());
}

void TestFeedsClient::review_data()
{
    QTest::addColumn<QJsonObject>("entry");
    QTest::addColumn<OptionalReview>("expected");

    const auto with = [](const char *key, const QJsonValue &value) {
        QJsonObject e = fullEntry();
        if (value.isUndefined())
            e.remove(QLatin1String(key));
        else
            e.insert(QLatin1String(key), value);
        return e;
    };
    const auto changed = [](auto change) {
        FeedReview r = fullReview();
        change(r);
        return OptionalReview(r);
    };

    QTest::newRow("all fields") << fullEntry() << OptionalReview(fullReview());
    QTest::newRow("rating +4") << with("im:rating", labelled("+4")) << OptionalReview(fullReview());
    QTest::newRow("negative rating kept") << with("im:rating", labelled("-3"))
                                          << changed([](FeedReview &r) { r.rating = -3; });
    QTest::newRow("rating with a leading blank") << with("im:rating", labelled(" 4")) << OptionalReview();
    QTest::newRow("rating with a decimal point") << with("im:rating", labelled("4.0")) << OptionalReview();
    QTest::newRow("rating empty") << with("im:rating", labelled("")) << OptionalReview();
    QTest::newRow("rating beyond 64 bits") << with("im:rating", labelled("9223372036854775808")) << OptionalReview();
    QTest::newRow("rating in Arabic-Indic digits") << with("im:rating", labelled(QString::fromUtf8("٤"))) << OptionalReview();
    QTest::newRow("rating label a number") << with("im:rating", QJsonObject{{"label", 4}}) << OptionalReview();
    QTest::newRow("no rating") << with("im:rating", QJsonValue::Undefined) << OptionalReview();
    QTest::newRow("no ID") << with("id", QJsonValue::Undefined) << OptionalReview();
    QTest::newRow("date alone") << with("updated", labelled("2024-01-15"))
                                << changed([](FeedReview &r) { r.date.reset(); });
    QTest::newRow("date with fraction") << with("updated", labelled("2024-01-15T10:23:45.5Z"))
                                        << changed([](FeedReview &r) { r.date.reset(); });
    QTest::newRow("date in UTC") << with("updated", labelled("2024-01-15T17:23:45Z")) << OptionalReview(fullReview());
    QTest::newRow("author as text") << with("author", "Sam") << changed([](FeedReview &r) { r.author.reset(); });
    QTest::newRow("author without name") << with("author", QJsonObject{{"uri", labelled("x")}})
                                         << changed([](FeedReview &r) { r.author.reset(); });
    QTest::newRow("no title, content, version")
        << [&] {
               QJsonObject e = fullEntry();
               e.remove("title");
               e.remove("content");
               e.remove("im:version");
               return e;
           }()
        << changed([](FeedReview &r) {
               r.title.reset();
               r.content.reset();
               r.version.reset();
           });
}

void TestFeedsClient::review()
{
    QFETCH(QJsonObject, entry);
    QFETCH(OptionalReview, expected);
    Harness h;
    h.transport->steps = {FakeTransport::json(feed(entry))};
    const auto outcome = TaskRunner::run(h.client.reviews("1", "us", 1));
    QVERIFY(outcome.succeeded());
    QCOMPARE(outcome.value->size(), expected ? 1 : 0);
    if (expected) {
        const FeedReview &r = outcome.value->first();
        QCOMPARE(r.rating, expected->rating);
        QCOMPARE(r.date, expected->date);
        QVERIFY(r == *expected);
        QCOMPARE(qHash(r), qHash(*expected));
    }
}

void TestFeedsClient::entryShapes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("ids");
    QTest::newRow("list in order, duplicates kept")
        << feed(QJsonArray{chartEntry("3"), chartEntry("1"), chartEntry("3")}) << QStringList{"3", "1", "3"};
    QTest::newRow("single object") << feed(chartEntry("7")) << QStringList{"7"};
    QTest::newRow("entries without an ID left out")
        << feed(QJsonArray{chartEntry("1"), chartEntry(42), QJsonObject{{"id", labelled("x")}},
                           QJsonObject{{"id", QJsonObject{{"attributes", "x"}}}}, chartEntry("2")})
        << QStringList{"1", "2"};
    QTest::newRow("one non-object spoils the list") << feed(QJsonArray{chartEntry("1"), 5, chartEntry("2")}) << QStringList{};
    QTest::newRow("entry is text") << feed("none") << QStringList{};
    QTest::newRow("entry missing") << QByteArray(R"({"feed":{"author":{}}})") << QStringList{};
    QTest::newRow("feed missing") << QByteArray(R"({"other":1})") << QStringList{};
    QTest::newRow("feed not an object") << QByteArray(R"({"feed":[]})") << QStringList{};
}

void TestFeedsClient::entryShapes()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, ids);
    Harness h;
    h.transport->steps = {FakeTransport::json(body)};
    const auto outcome = TaskRunner::run(h.client.chart(ChartKind::topFree, "us"));
    QVERIFY(outcome.succeeded());
    QCOMPARE(*outcome.value, ids);
}

void TestFeedsClient::requestFailurePassesThrough()
{
    Harness h;
    h.transport->steps = {FakeTransport::status(404)};
    const AppleRequestError notFound(Kind::http, 404, "HTTP 404");
    QCOMPARE(TaskRunner::run(h.client.reviews("1", "us", 1)).errorAs<AppleRequestError>(), notFound);
    QCOMPARE(TaskRunner::run(h.client.chart(ChartKind::topPaid, "us")).errorAs<AppleRequestError>(), notFound);
}

void TestFeedsClient::chartKinds()
{
    for (ChartKind kind : ChartKinds::all())
        QCOMPARE(ChartKinds::fromRaw(ChartKinds::rawValue(kind)), kind);
    QCOMPARE(ChartKinds::rawValue(ChartKind::topGrossing), QStringLiteral("TOP_GROSSING"));
    QCOMPARE(ChartKinds::title(ChartKind::topPaid), QStringLiteral("Top Paid"));
    QVERIFY(!ChartKinds::fromRaw(u"top_free"));
    QCOMPARE(FeedsClient::genreIds().size(), 25);
    QCOMPARE(FeedsClient::genreIds().value("Food & Drink"), qint64(6023));
}

QTEST_GUILESS_MAIN(TestFeedsClient)
#include "tst_feedsclient.moc"
