#include "clients/AppRecords.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <QtTest>

namespace {

QJsonObject fixtureResult()
{
    QFile file(QStringLiteral(VANTU_TEST_DATA_DIR "/lookup-284882215-us.json"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture");
    return QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("results")).toArray().at(0).toObject();
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
}

} // namespace

class TestAppRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recordedLookup();
    void fields_data();
    void fields();
    void storedHits();
    void storedHitsDecode_data();
    void storedHitsDecode();
    void appInfoCoding();
};

void TestAppRecords::recordedLookup()
{
    const QString icon = QStringLiteral(
        "http://a1988.phobos.apple.com/us/r30/Purple1/v4/38/df/78/38df78e9-b1fe-882c-0217-74a7db41b913/mzl.gqntmaen.png");
    const QUrl store(QStringLiteral("https://itunes.apple.com/us/app/facebook/id284882215?mt=8"));
    const std::optional<AppInfo> app = AppRecords::parseApp(fixtureResult());
    QVERIFY(app);
    QVERIFY(app->description->startsWith(QStringLiteral("Keeping up with friends")));
    const AppInfo expected{"284882215", "Facebook", "Facebook, Inc.", QUrl(icon), store, app->description,
                           "Social Networking", {"Social Networking"}, "com.facebook.Facebook", 3.5, 2840784,
                           0.0 /* sent as the integer 0 */, "Free", "15.0", std::nullopt, utc(2008, 7, 11, 7, 0, 0)};
    QCOMPARE(*app, expected);
    QCOMPARE(AppRecords::parseHit(fixtureResult(), 4),
             (SearchHit{"284882215", "Facebook", "Facebook, Inc.", QUrl(icon), store, "Social Networking", 2840784, 3.5, 5}));
}

// Each row sets keys of a minimal result and compares one field of the app
// ("hit." for the search hit) in its stored coding; "-" = absent, "!" = no record.
void TestAppRecords::fields_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("name of one blank") << QByteArray(R"("trackName":" ")") << "name" << " ";
    QTest::newRow("id zero") << QByteArray(R"("trackId":0)") << "appleAppId" << "!";
    QTest::newRow("id as digits text") << QByteArray(R"("trackId":"123")") << "appleAppId" << "!";
    QTest::newRow("fractional id") << QByteArray(R"("trackId":1.5)") << "hit.appleAppId" << "!";
    QTest::newRow("empty name") << QByteArray(R"("trackName":"")") << "hit.name" << "!";
    const QByteArray art512and100 = R"("artworkUrl512":"https://e.com/512","artworkUrl100":"https://e.com/100")";
    QTest::newRow("empty artist wins over seller") << QByteArray(R"("artistName":"","sellerName":"S")") << "developerName" << "";
    QTest::newRow("app icon from 512") << art512and100 << "iconURL" << "https://e.com/512";
    QTest::newRow("hit icon from 100") << art512and100 << "hit.iconURL" << "https://e.com/100";
    QTest::newRow("hit icon from 512 as last resort") << QByteArray(R"("artworkUrl512":"https://e.com/512")") << "hit.iconURL"
                                                      << "https://e.com/512";
    QTest::newRow("bad 512 ends the search") << QByteArray(R"("artworkUrl512":"","artworkUrl100":"https://e.com/100")") << "iconURL" << "-";
    QTest::newRow("only uo item drops the query") << QByteArray(R"("trackViewUrl":"https://e.com/id42?uo=4")") << "storeURL"
                                                  << "https://e.com/id42";
    QTest::newRow("every uo removed, rest kept as sent") << QByteArray(R"("trackViewUrl":"https://e.com/a?uo=1&q=a%2Bb&UO=2&uo=3#f")")
                                                         << "storeURL" << "https://e.com/a?q=a%2Bb&UO=2#f";
    QTest::newRow("second # kept as sent") << QByteArray(R"("trackViewUrl":"https://a.example/a#x#y")") << "storeURL"
                                           << "https://a.example/a#x#y";
    QTest::newRow("empty genres kept") << QByteArray(R"("genres":[],"primaryGenreName":"Games")") << "genres" << "[]";
    QTest::newRow("genres from primary") << QByteArray(R"("primaryGenreName":"Games")") << "genres" << R"(["Games"])";
    QTest::newRow("rating as text") << QByteArray(R"("averageUserRating":"4.5")") << "averageRating" << "-";
    QTest::newRow("count beyond 2^53") << QByteArray(R"("userRatingCount":9007199254740993)") << "ratingCount" << "9007199254740993";
    QTest::newRow("date with offset") << QByteArray(R"("releaseDate":"2019-12-31T22:15:00-05:30")") << "releaseDate"
                                      << "2020-01-01T03:45:00Z";
    QTest::newRow("date only") << QByteArray(R"("releaseDate":"2019-10-10")") << "releaseDate" << "-";
    QTest::newRow("date with fraction") << QByteArray(R"("releaseDate":"2019-10-10T07:00:00.5Z")") << "releaseDate" << "-";
    QTest::newRow("29 February, common year") << QByteArray(R"("releaseDate":"2023-02-29T07:00:00Z")") << "releaseDate" << "-";
    QTest::newRow("hour 24") << QByteArray(R"("releaseDate":"2019-10-10T24:00:00Z")") << "releaseDate" << "-";
    QTest::newRow("latest date") << QByteArray(R"("releaseDate":"9999-12-31T23:59:59Z")") << "releaseDate"
                                 << "9999-12-31T23:59:59Z";
    QTest::newRow("past the latest date") << QByteArray(R"("releaseDate":"9999-12-31T23:59:59-00:01")") << "releaseDate" << "-";
    QTest::newRow("non-ASCII digit") << QByteArray("\"releaseDate\":\"2019-10-1\u0661T07:00:00Z\"") << "releaseDate" << "-";
    // UTF-8 (the database, stored forms, percent-encoding) holds no lone surrogate: each reads as U+FFFD.
    QTest::newRow("lone surrogates in name") << QByteArray(R"("trackName":"\udc00E\ud800ditor\ud800")") << "name"
                                             << "\uFFFDE\uFFFDditor\uFFFD";
    QTest::newRow("surrogate pair kept") << QByteArray(R"("trackName":"\ud83d\udcf7 Cam")") << "hit.name" << "\U0001F4F7 Cam";
    QTest::newRow("lone surrogate in icon") << QByteArray(R"("artworkUrl512":"https://e.com/\ud800.png")") << "iconURL"
                                            << "https://e.com/%EF%BF%BD.png";
    QTest::newRow("lone surrogate in genres") << QByteArray(R"("genres":["\udfff"])") << "genres" << "[\"\uFFFD\"]";
}

void TestAppRecords::fields()
{
    QFETCH(QByteArray, extra);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    QJsonObject result{{"trackId", 42}, {"trackName", "N"}};
    const QJsonObject set = QJsonDocument::fromJson("{" + extra + "}").object();
    for (auto it = set.begin(); it != set.end(); ++it)
        result.insert(it.key(), it.value());
    const std::optional<AppInfo> app = AppRecords::parseApp(result);
    const std::optional<SearchHit> hit = AppRecords::parseHit(result, 0);
    QCOMPARE(bool(hit), bool(app));
    if (!app) {
        QCOMPARE(QStringLiteral("!"), expected);
        return;
    }
    const QJsonObject coded = field.startsWith(QLatin1String("hit."))
                                  ? QJsonDocument::fromJson(AppRecords::encodeHits({*hit})).array().at(0).toObject()
                                  : QJsonDocument::fromJson(AppRecords::encodeAppInfo(*app)).object();
    const QJsonValue value = coded.value(field.section(QLatin1Char('.'), -1));
    QString actual = value.isString() ? value.toString()
                                      : QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    QCOMPARE(value.isUndefined() ? QStringLiteral("-") : actual, expected);
    // Whatever was read reads back.
    QCOMPARE(AppRecords::decodeAppInfo(AppRecords::encodeAppInfo(*app)), app);
    QCOMPARE(AppRecords::decodeHits(AppRecords::encodeHits({*hit})), QList<SearchHit>{*hit});
}

void TestAppRecords::storedHits()
{
    const SearchHit full{"42", "Photo \"Lab\"", "", QUrl("https://e.com/a b.png"), QUrl("https://e.com/app/%C3%A9t%C3%A9/id42?mt=8"),
                         "Photo & Video", qint64(9007199254740993), 4.5, 3};
    const SearchHit bare{"7", QString::fromUtf8("Caf\u00e9"), std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                         std::nullopt, std::nullopt, 1};
    const QByteArray coded = AppRecords::encodeHits({full, bare});
    QCOMPARE(coded, QByteArray(R"([{"appleAppId":"42","name":"Photo \"Lab\"","developerName":"","iconURL":"https://e.com/a%20b.png",)"
                               R"("storeURL":"https://e.com/app/%C3%A9t%C3%A9/id42?mt=8","primaryGenre":"Photo & Video",)"
                               R"("ratingCount":9007199254740993,"averageRating":4.5,"rank":3},)"
                               "{\"appleAppId\":\"7\",\"name\":\"Caf\xc3\xa9\",\"rank\":1}]"));
    QCOMPARE(AppRecords::decodeHits(coded), (QList<SearchHit>{full, bare}));
}

void TestAppRecords::storedHitsDecode_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("count"); // -1 = the array fails

    QTest::newRow("nulls read as absent, unknown keys ignored")
        << QByteArray(R"([{"rank":2,"ratingCount":null,"name":"N","appleAppId":"1","iconURL":null,"extra":[1]}])") << 1;
    QTest::newRow("missing rank") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":1},{"appleAppId":"2","name":"M"}])") << -1;
    QTest::newRow("count as bool") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":1,"ratingCount":true}])") << -1;
    QTest::newRow("non-object element") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":1},3])") << -1;
}

void TestAppRecords::storedHitsDecode()
{
    QFETCH(QByteArray, json);
    QFETCH(int, count);
    const std::optional<QList<SearchHit>> hits = AppRecords::decodeHits(json);
    QCOMPARE(hits ? int(hits->size()) : -1, count);
    if (hits)
        QCOMPARE(hits->at(0), (SearchHit{"1", "N", {}, {}, {}, {}, {}, {}, 2}));
}

void TestAppRecords::appInfoCoding()
{
    const AppInfo app = *AppRecords::parseApp(fixtureResult());
    const QByteArray coded = AppRecords::encodeAppInfo(app);
    QVERIFY(coded.startsWith(R"({"appleAppId":"284882215","name":"Facebook","developerName":"Facebook, Inc.","iconURL":)"));
    QVERIFY(coded.endsWith(R"("version":"15.0","releaseDate":"2008-07-11T07:00:00Z"})"));
    QCOMPARE(AppRecords::decodeAppInfo(coded), app);
    QCOMPARE(AppRecords::encodeAppInfo(AppInfo{.appleAppId = "1", .name = "N"}), QByteArray(R"({"appleAppId":"1","name":"N","genres":[]})"));
    QVERIFY(!AppRecords::decodeAppInfo(R"({"appleAppId":"1","name":"N"})")); // genres are required
}

QTEST_GUILESS_MAIN(TestAppRecords)
#include "tst_apprecords.moc"
