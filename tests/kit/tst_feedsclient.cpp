#include "clients/AppRecords.h"
#include "clients/FeedsClient.h"
#include "support/TaskRunner.h"

#include "FakeTransport.h"
#include "VirtualClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>
#include <QtTest>

using Kind = AppleRequestError::Kind;
using Chart = std::optional<ChartKind>;

namespace {

// A complete review entry with some members replaced; an undefined value removes the member.
QJsonObject reviewEntry(std::initializer_list<std::pair<const char *, QJsonValue>> changes = {})
{
    QJsonObject e = QJsonDocument::fromJson(R"({"id":{"label":"9876543210"},"author":{"name":{"label":"Sam"},"uri":{"label":"x"}},
        "im:rating":{"label":"4"},"title":{"label":"Nice"},"content":{"label":"Works well.","attributes":{"type":"text"}},
        "im:version":{"label":"2.1"},"updated":{"label":"2024-01-15T10:23:45-07:00"}})").object();
    for (const auto &[key, value] : changes)
        value.isUndefined() ? e.remove(QLatin1String(key)) : void(e.insert(QLatin1String(key), value));
    return e;
}

QJsonObject chartEntry(const QJsonValue &imId)
{
    return QJsonObject{{"id", QJsonObject{{"label", "https://example.test/app"}, {"attributes", QJsonObject{{"im:id", imId}}}}}};
}

QByteArray feed(const QJsonValue &entry)
{
    return QJsonDocument(QJsonObject{{"feed", QJsonObject{{"author", "Apple"}, {"entry", entry}}}}).toJson(QJsonDocument::Compact);
}

// ID, author, rating, title, content, version and date; "-" where absent.
QString describe(const FeedReview &r)
{
    return QStringList{r.reviewId, r.author.value_or("-"), QString::number(r.rating), r.title.value_or("-"),
                       r.content.value_or("-"), r.version.value_or("-"), r.date ? r.date->toString(Qt::ISODate) : "-"}
        .join(u'|');
}

struct Harness
{
    std::shared_ptr<VirtualClock> time = VirtualClock::create();
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    FeedsClient client{AppleHTTP(transport, nullptr, RetryPolicy(), time->sleep())};

    explicit Harness(FakeTransport::Step answer) { transport->steps = {std::move(answer)}; }
};

} // namespace

class TestFeedsClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void addresses_data();
    void addresses();
    void review_data();
    void review();
    void chartEntries_data();
    void chartEntries();
    void requestFailurePassesThrough();
    void chartKinds();
    void reviewCoding();
    void reviewDateBounds_data();
    void reviewDateBounds();
};

void TestFeedsClient::addresses_data()
{
    QTest::addColumn<Chart>("chart"); // none: reviews, page 3
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("idOrGenre");
    QTest::addColumn<QByteArray>("url"); // empty: refused before any request

    QTest::newRow("reviews, code as given") << Chart() << "GB" << "284882215"
                                            << QByteArray("https://itunes.apple.com/GB/rss/customerreviews/page=3/id=284882215/sortby=mostrecent/json");
    QTest::newRow("top free, no genre") << Chart(ChartKind::topFree) << "us" << ""
                                        << QByteArray("https://itunes.apple.com/us/rss/topfreeapplications/limit=200/json");
    QTest::newRow("top paid, games") << Chart(ChartKind::topPaid) << "jp" << "6014"
                                     << QByteArray("https://itunes.apple.com/jp/rss/toppaidapplications/limit=200/genre=6014/json");
    QTest::newRow("country with a slash") << Chart() << "u/" << "123" << QByteArray();
    QTest::newRow("three letters") << Chart() << "usa" << "123" << QByteArray();
    QTest::newRow("non-ASCII letters") << Chart() << QString::fromUtf8("üs") << "123" << QByteArray();
    QTest::newRow("ID with a slash") << Chart() << "us" << "1/../2" << QByteArray();
    QTest::newRow("ID with a sign") << Chart() << "us" << "+123" << QByteArray();
    QTest::newRow("full-width digits") << Chart() << "us" << QString::fromUtf8("１２３") << QByteArray();
    QTest::newRow("chart: country with a slash") << Chart(ChartKind::topFree) << "us/x" << "" << QByteArray();
}

void TestFeedsClient::addresses()
{
    QFETCH(Chart, chart);
    QFETCH(QString, country);
    QFETCH(QString, idOrGenre);
    QFETCH(QByteArray, url);
    Harness h(FakeTransport::json("{}"));
    const auto genre = idOrGenre.isEmpty() ? std::nullopt : std::optional(idOrGenre.toLongLong());
    const auto error = chart ? TaskRunner::run(h.client.chart(*chart, country, genre)).errorAs<AppleRequestError>()
                             : TaskRunner::run(h.client.reviews(idOrGenre, country, 3)).errorAs<AppleRequestError>();
    if (url.isEmpty())
        QCOMPARE(error, AppleRequestError(Kind::network, std::nullopt, "Invalid feed address"));
    QCOMPARE(h.transport->urls.value(0).toEncoded(), url);
}

void TestFeedsClient::review_data()
{
    QTest::addColumn<QJsonObject>("entry");
    QTest::addColumn<QString>("expected"); // empty: left out

    const QString all = "9876543210|Sam|4|Nice|Works well.|2.1|2024-01-15T17:23:45+00:00";
    const auto label = [](const char *text) { return QJsonObject{{"label", text}}; };
    QTest::newRow("all fields") << reviewEntry() << all;
    QTest::newRow("rating +4") << reviewEntry({{"im:rating", label("+4")}}) << all;
    QTest::newRow("rating with a leading blank") << reviewEntry({{"im:rating", label(" 4")}}) << "";
    QTest::newRow("rating beyond 64 bits") << reviewEntry({{"im:rating", label("9223372036854775808")}}) << "";
    QTest::newRow("no rating") << reviewEntry({{"im:rating", QJsonValue::Undefined}}) << "";
    QTest::newRow("no ID") << reviewEntry({{"id", QJsonValue::Undefined}}) << "";
    QTest::newRow("unreadable date") << reviewEntry({{"updated", label("2024-01-15")}}) << "9876543210|Sam|4|Nice|Works well.|2.1|-";
    QTest::newRow("no author, title, content, version")
        << reviewEntry({{"author", QJsonValue::Undefined}, {"title", QJsonValue::Undefined}, {"content", QJsonValue::Undefined},
                        {"im:version", QJsonValue::Undefined}})
        << "9876543210|-|4|-|-|-|2024-01-15T17:23:45+00:00";
}

void TestFeedsClient::review()
{
    QFETCH(QJsonObject, entry);
    QFETCH(QString, expected);
    Harness h(FakeTransport::json(feed(entry)));
    const auto outcome = TaskRunner::run(h.client.reviews("1", "us", 1));
    QVERIFY(outcome.succeeded());
    QCOMPARE(outcome.value->isEmpty() ? QString() : describe(outcome.value->first()), expected);
}

void TestFeedsClient::chartEntries_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("ids");
    QTest::newRow("in order, duplicates kept") << feed(QJsonArray{chartEntry("3"), chartEntry("1"), chartEntry("3")})
                                               << QStringList{"3", "1", "3"};
    QTest::newRow("a single object") << feed(chartEntry("7")) << QStringList{"7"};
    QTest::newRow("entries without an ID left out")
        << feed(QJsonArray{chartEntry("1"), chartEntry(42), QJsonObject{{"id", "x"}}, chartEntry("2")}) << QStringList{"1", "2"};
    QTest::newRow("one non-object spoils the list") << feed(QJsonArray{chartEntry("1"), 5, chartEntry("2")}) << QStringList{};
    QTest::newRow("feed not an object") << QByteArray(R"({"feed":[]})") << QStringList{};
}

void TestFeedsClient::chartEntries()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, ids);
    Harness h(FakeTransport::json(body));
    QCOMPARE(TaskRunner::run(h.client.chart(ChartKind::topFree, "us")).value, ids);
}

void TestFeedsClient::requestFailurePassesThrough()
{
    Harness h(FakeTransport::status(404));
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
    QCOMPARE(FeedsClient::genreIds().size(), 25);
    QCOMPARE(FeedsClient::genreIds().value("Food & Drink"), qint64(6023));
}

void TestFeedsClient::reviewCoding()
{
    FeedReview full{QStringLiteral("7"), QStringLiteral("Ann"), 4, QStringLiteral("Nice"), QStringLiteral("Works"),
                    QStringLiteral("2.1"), QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0, 250), QTimeZone::utc())};
    QCOMPARE(FeedReview::fromJson(full.toJson()), std::optional<FeedReview>(full));
    QCOMPARE(full.toJson().value(QLatin1String("date")).toDouble(), 736257600.25);

    const FeedReview bare{QStringLiteral("8"), std::nullopt, -1, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    QCOMPARE(bare.toJson().keys(), QStringList({QStringLiteral("rating"), QStringLiteral("reviewId")}));
    QCOMPARE(FeedReview::fromJson(bare.toJson()), std::optional<FeedReview>(bare));

    auto wrongType = full.toJson();
    wrongType.insert(QLatin1String("title"), 5);
    QVERIFY(!FeedReview::fromJson(wrongType));
    auto noRating = full.toJson();
    noRating.remove(QLatin1String("rating"));
    QVERIFY(!FeedReview::fromJson(noRating));
}

void TestFeedsClient::reviewDateBounds_data()
{
    QTest::addColumn<QString>("updated");
    QTest::addColumn<QString>("date"); // in UTC; "-": none
    QTest::newRow("year 9999") << "9999-07-01T12:00:00+02:00" << "9999-07-01T10:00:00+00:00";
    QTest::newRow("latest") << "9999-12-31T23:59:59Z" << "9999-12-31T23:59:59+00:00";
    QTest::newRow("offset past the latest") << "9999-12-31T23:59:59-00:01" << "-";
    QTest::newRow("earliest") << "0001-01-01T00:00:00Z" << "0001-01-01T00:00:00+00:00";
    QTest::newRow("offset before the earliest") << "0001-01-01T00:00:00+00:01" << "-";
}

// Every date the feed parser gives reads back from the review's coded form; nothing beyond.
void TestFeedsClient::reviewDateBounds()
{
    QFETCH(QString, updated);
    QFETCH(QString, date);
    const auto parsed = FeedsClient::review(reviewEntry({{"updated", QJsonObject{{"label", updated}}}}));
    QVERIFY(parsed);
    QCOMPARE(parsed->date ? parsed->date->toString(Qt::ISODate) : "-", date);
    QCOMPARE(FeedReview::fromJson(parsed->toJson()), parsed);

    // One millisecond past the parser's bounds, the coded form refuses the date.
    constexpr double referenceSeconds = 978'307'200;
    auto coded = parsed->toJson();
    for (const double ms : {AppRecords::earliestDateMs - 1.0, AppRecords::latestDateMs + 1.0, qInf()}) {
        coded.insert(QLatin1String("date"), ms / 1000.0 - referenceSeconds);
        QVERIFY(!FeedReview::fromJson(coded));
    }
}

QTEST_GUILESS_MAIN(TestFeedsClient)
#include "tst_feedsclient.moc"
