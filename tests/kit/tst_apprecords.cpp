#include "clients/AppRecords.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
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

QJsonValue jsonValue(const QByteArray &text)
{
    return QJsonDocument::fromJson("[" + text + "]").array().at(0);
}

QJsonObject minimal(const QJsonObject &extra = {})
{
    QJsonObject o{{"trackId", 42}, {"trackName", "Photo Lab"}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
}

SearchHit fullHit()
{
    return SearchHit{QStringLiteral("42"),
                     QStringLiteral("Photo \"Lab\""),
                     QStringLiteral("Acme Labs"),
                     QUrl(QStringLiteral("https://example.com/i/100.png")),
                     QUrl(QStringLiteral("https://example.com/us/app/photo/id42?mt=8")),
                     QStringLiteral("Photo & Video"),
                     qint64(1234),
                     4.5,
                     3};
}

} // namespace

class TestAppRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recordedLookup();
    void requiredFields_data();
    void requiredFields();
    void optionalFields_data();
    void optionalFields();
    void hitIcon_data();
    void hitIcon();
    void rankCountsUnreadableEntries();
    void dates_data();
    void dates();
    void storedHitsExactText();
    void storedHitsRoundTrip();
    void storedHitsDecode_data();
    void storedHitsDecode();
    void appInfoCoding();
    void hashing();
};

void TestAppRecords::recordedLookup()
{
    const std::optional<AppInfo> app = AppRecords::parseApp(fixtureResult());
    QVERIFY(app);
    QCOMPARE(app->appleAppId, QStringLiteral("284882215"));
    QCOMPARE(app->name, QStringLiteral("Facebook"));
    QCOMPARE(app->developerName, QStringLiteral("Facebook, Inc."));
    QCOMPARE(app->iconURL->toString(),
             QStringLiteral("http://a1988.phobos.apple.com/us/r30/Purple1/v4/38/df/78/38df78e9-b1fe-882c-0217-74a7db41b913/mzl.gqntmaen.png"));
    QCOMPARE(app->storeURL->toString(), QStringLiteral("https://itunes.apple.com/us/app/facebook/id284882215?mt=8"));
    QVERIFY(app->description->startsWith(QStringLiteral("Keeping up with friends")));
    QCOMPARE(app->primaryGenre, QStringLiteral("Social Networking"));
    QCOMPARE(app->genres, QStringList{QStringLiteral("Social Networking")});
    QCOMPARE(app->bundleId, QStringLiteral("com.facebook.Facebook"));
    QCOMPARE(app->averageRating, 3.5);
    QCOMPARE(app->ratingCount, qint64(2840784));
    QCOMPARE(app->price, 0.0); // sent as the integer 0
    QCOMPARE(app->formattedPrice, QStringLiteral("Free"));
    QCOMPARE(app->version, QStringLiteral("15.0"));
    QVERIFY(!app->currentVersionReleaseDate);
    QCOMPARE(app->releaseDate, utc(2008, 7, 11, 7, 0, 0));

    const std::optional<SearchHit> hit = AppRecords::parseHit(fixtureResult(), 4);
    QVERIFY(hit);
    QCOMPARE(hit->rank, 5);
    QCOMPARE(hit->iconURL, app->iconURL); // the 100 and 512 artworks are the same file here
    QCOMPARE(hit->storeURL, app->storeURL);
    QCOMPARE(hit->ratingCount, app->ratingCount);
    QCOMPARE(hit->averageRating, app->averageRating);
}

void TestAppRecords::requiredFields_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("id");

    QTest::newRow("plain") << QByteArray(R"({"trackId":284882215,"trackName":"X"})") << true << "284882215";
    QTest::newRow("id sent as 12.0") << QByteArray(R"({"trackId":12.0,"trackName":"X"})") << true << "12";
    QTest::newRow("name of one blank") << QByteArray(R"({"trackId":7,"trackName":" "})") << true << "7";
    QTest::newRow("id zero") << QByteArray(R"({"trackId":0,"trackName":"X"})") << false << "";
    QTest::newRow("negative id") << QByteArray(R"({"trackId":-3,"trackName":"X"})") << false << "";
    QTest::newRow("id as digits text") << QByteArray(R"({"trackId":"123","trackName":"X"})") << false << "";
    QTest::newRow("fractional id") << QByteArray(R"({"trackId":1.5,"trackName":"X"})") << false << "";
    QTest::newRow("id true") << QByteArray(R"({"trackId":true,"trackName":"X"})") << false << "";
    QTest::newRow("id beyond 64 bits") << QByteArray(R"({"trackId":1e30,"trackName":"X"})") << false << "";
    QTest::newRow("no id") << QByteArray(R"({"trackName":"X"})") << false << "";
    QTest::newRow("empty name") << QByteArray(R"({"trackId":7,"trackName":""})") << false << "";
    QTest::newRow("name as number") << QByteArray(R"({"trackId":7,"trackName":5})") << false << "";
    QTest::newRow("name null") << QByteArray(R"({"trackId":7,"trackName":null})") << false << "";
    QTest::newRow("array element") << QByteArray(R"([1,2])") << false << "";
    QTest::newRow("string element") << QByteArray(R"("x")") << false << "";
}

void TestAppRecords::requiredFields()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, accepted);
    QFETCH(QString, id);
    const QJsonValue value = jsonValue(json);
    const std::optional<AppInfo> app = AppRecords::parseApp(value);
    QCOMPARE(bool(app), accepted);
    QCOMPARE(bool(AppRecords::parseHit(value, 0)), accepted);
    if (app)
        QCOMPARE(app->appleAppId, id);
}

// Each row adds keys to a minimal result and names the field to compare; the
// expected value is written as the stored coding of that field ("-" = absent).
void TestAppRecords::optionalFields_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty artist wins over seller") << QByteArray(R"({"artistName":"","sellerName":"S"})") << "developerName" << "";
    QTest::newRow("seller when artist missing") << QByteArray(R"({"sellerName":"S"})") << "developerName" << "S";
    QTest::newRow("seller when artist not text") << QByteArray(R"({"artistName":9,"sellerName":"S"})") << "developerName" << "S";
    QTest::newRow("no developer") << QByteArray(R"({"artistName":null})") << "developerName" << "-";
    QTest::newRow("512 artwork first") << QByteArray(R"({"artworkUrl512":"https://e.com/512","artworkUrl100":"https://e.com/100"})")
                                       << "iconURL" << "https://e.com/512";
    QTest::newRow("bad 512 artwork ends the search") << QByteArray(R"({"artworkUrl512":"","artworkUrl100":"https://e.com/100"})")
                                                     << "iconURL" << "-";
    QTest::newRow("non-text 512 is skipped") << QByteArray(R"({"artworkUrl512":5,"artworkUrl60":"https://e.com/60"})")
                                             << "iconURL" << "https://e.com/60";
    QTest::newRow("only uo item drops the query") << QByteArray(R"({"trackViewUrl":"https://e.com/app/id42?uo=4"})")
                                                  << "storeURL" << "https://e.com/app/id42";
    QTest::newRow("uo among others") << QByteArray(R"({"trackViewUrl":"https://e.com/app/id42?uo=4&mt=8#top"})")
                                     << "storeURL" << "https://e.com/app/id42?mt=8#top";
    QTest::newRow("every uo removed") << QByteArray(R"({"trackViewUrl":"https://e.com/a?uo=1&l=en&uo=2"})")
                                      << "storeURL" << "https://e.com/a?l=en";
    QTest::newRow("uo is case-sensitive") << QByteArray(R"({"trackViewUrl":"https://e.com/a?UO=4&uoo=1"})")
                                          << "storeURL" << "https://e.com/a?UO=4&uoo=1";
    QTest::newRow("other items keep their encoding") << QByteArray(R"({"trackViewUrl":"https://e.com/a?q=a%2Bb&uo=4"})")
                                                     << "storeURL" << "https://e.com/a?q=a%2Bb";
    QTest::newRow("empty store link") << QByteArray(R"({"trackViewUrl":""})") << "storeURL" << "-";
    QTest::newRow("empty genres kept") << QByteArray(R"({"genres":[],"primaryGenreName":"Games"})") << "genres" << "[]";
    QTest::newRow("genres from primary") << QByteArray(R"({"primaryGenreName":"Games"})") << "genres" << R"(["Games"])";
    QTest::newRow("mixed genres fall back") << QByteArray(R"({"genres":["A",3],"primaryGenreName":"Games"})") << "genres" << R"(["Games"])";
    QTest::newRow("no genres at all") << QByteArray(R"({"genres":"Games"})") << "genres" << "[]";
    QTest::newRow("rating as text") << QByteArray(R"({"averageUserRating":"4.5"})") << "averageRating" << "-";
    QTest::newRow("rating as bool") << QByteArray(R"({"averageUserRating":true})") << "averageRating" << "-";
    QTest::newRow("rating integer") << QByteArray(R"({"averageUserRating":4})") << "averageRating" << "4";
    QTest::newRow("count as text") << QByteArray(R"({"userRatingCount":"12"})") << "ratingCount" << "-";
    QTest::newRow("fractional count") << QByteArray(R"({"userRatingCount":12.5})") << "ratingCount" << "-";
    QTest::newRow("large count") << QByteArray(R"({"userRatingCount":9007199254740993})") << "ratingCount" << "9007199254740993";
    QTest::newRow("price as text") << QByteArray(R"({"price":"0.99"})") << "price" << "-";
    QTest::newRow("date only") << QByteArray(R"({"releaseDate":"2019-10-10"})") << "releaseDate" << "-";
    QTest::newRow("offset date") << QByteArray(R"({"currentVersionReleaseDate":"2019-10-10T09:00:00+02:00"})")
                                 << "currentVersionReleaseDate" << "2019-10-10T07:00:00Z";
}

void TestAppRecords::optionalFields()
{
    QFETCH(QByteArray, extra);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    const std::optional<AppInfo> app = AppRecords::parseApp(minimal(QJsonDocument::fromJson(extra).object()));
    QVERIFY(app); // no optional field can sink the record
    const QJsonObject coded = QJsonDocument::fromJson(AppRecords::encodeAppInfo(*app)).object();
    const QJsonValue value = coded.value(field);
    QString actual;
    if (value.isUndefined())
        actual = QStringLiteral("-");
    else if (value.isString())
        actual = value.toString();
    else if (value.isArray())
        actual = QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    else
        actual = QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    QCOMPARE(actual, expected);
}

void TestAppRecords::hitIcon_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QString>("appIcon");
    QTest::addColumn<QString>("hitIcon");

    QTest::newRow("512 and 100") << QByteArray(R"({"artworkUrl512":"https://e.com/512","artworkUrl100":"https://e.com/100"})")
                                 << "https://e.com/512" << "https://e.com/100";
    QTest::newRow("only 512") << QByteArray(R"({"artworkUrl512":"https://e.com/512"})") << "https://e.com/512" << "https://e.com/512";
    QTest::newRow("60 before 512 for hits") << QByteArray(R"({"artworkUrl512":"https://e.com/512","artworkUrl60":"https://e.com/60"})")
                                            << "https://e.com/512" << "https://e.com/60";
    QTest::newRow("bad 100 falls back to app icon")
        << QByteArray(R"({"artworkUrl512":"https://e.com/512","artworkUrl100":"http://bad host/x","artworkUrl60":"https://e.com/60"})")
        << "https://e.com/512" << "https://e.com/512";
    QTest::newRow("none") << QByteArray("{}") << "" << "";
}

void TestAppRecords::hitIcon()
{
    QFETCH(QByteArray, extra);
    QFETCH(QString, appIcon);
    QFETCH(QString, hitIcon);
    const QJsonObject result = minimal(QJsonDocument::fromJson(extra).object());
    const auto app = AppRecords::parseApp(result);
    const auto hit = AppRecords::parseHit(result, 0);
    QVERIFY(app && hit);
    QCOMPARE(app->iconURL.value_or(QUrl()).toString(), appIcon);
    QCOMPARE(hit->iconURL.value_or(QUrl()).toString(), hitIcon);
}

void TestAppRecords::rankCountsUnreadableEntries()
{
    const QJsonArray results = QJsonDocument::fromJson(R"([{"trackId":1,"trackName":"A"}, 17,
        {"trackId":3,"trackName":"C"}, {"trackId":4,"trackName":""}, {"trackId":5,"trackName":"E"}])").array();
    QList<int> ranks;
    for (qsizetype i = 0; i < results.size(); ++i) {
        if (const auto hit = AppRecords::parseHit(results.at(i), i))
            ranks.append(hit->rank);
    }
    QCOMPARE(ranks, (QList<int>{1, 3, 5}));
}

void TestAppRecords::dates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected"); // invalid = rejected

    QTest::newRow("utc") << "2019-10-10T07:00:00Z" << utc(2019, 10, 10, 7, 0, 0);
    QTest::newRow("positive offset") << "2019-10-10T07:00:00+02:00" << utc(2019, 10, 10, 5, 0, 0);
    QTest::newRow("negative offset crosses day") << "2019-12-31T22:15:00-05:30" << utc(2020, 1, 1, 3, 45, 0);
    QTest::newRow("leap day") << "2024-02-29T00:00:00Z" << utc(2024, 2, 29, 0, 0, 0);
    QTest::newRow("end of day") << "2019-10-10T23:59:59Z" << utc(2019, 10, 10, 23, 59, 59);
    QTest::newRow("date only") << "2019-10-10" << QDateTime();
    QTest::newRow("no zone") << "2019-10-10T07:00:00" << QDateTime();
    QTest::newRow("fraction") << "2019-10-10T07:00:00.5Z" << QDateTime();
    QTest::newRow("lower-case z") << "2019-10-10T07:00:00z" << QDateTime();
    QTest::newRow("space for T") << "2019-10-10 07:00:00Z" << QDateTime();
    QTest::newRow("offset without colon") << "2019-10-10T07:00:00+0200" << QDateTime();
    QTest::newRow("month 13") << "2019-13-10T07:00:00Z" << QDateTime();
    QTest::newRow("30 February") << "2019-02-30T07:00:00Z" << QDateTime();
    QTest::newRow("29 February, common year") << "2023-02-29T07:00:00Z" << QDateTime();
    QTest::newRow("hour 24") << "2019-10-10T24:00:00Z" << QDateTime();
    QTest::newRow("second 60") << "2019-10-10T07:00:60Z" << QDateTime();
    QTest::newRow("offset hour 24") << "2019-10-10T07:00:00+24:00" << QDateTime();
    QTest::newRow("signed field") << "2019-+1-10T07:00:00Z" << QDateTime();
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("2019-10-1\u0661T07:00:00Z") << QDateTime();
    QTest::newRow("trailing blank") << "2019-10-10T07:00:00Z " << QDateTime();
}

void TestAppRecords::dates()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const std::optional<QDateTime> parsed = AppRecords::parseDateTime(text);
    QCOMPARE(bool(parsed), expected.isValid());
    if (parsed)
        QCOMPARE(*parsed, expected);
}

void TestAppRecords::storedHitsExactText()
{
    SearchHit bare;
    bare.appleAppId = QStringLiteral("7");
    bare.name = QStringLiteral("Café");
    bare.rank = 1;
    QCOMPARE(AppRecords::encodeHits({fullHit(), bare}),
             QByteArray(R"([{"appleAppId":"42","name":"Photo \"Lab\"","developerName":"Acme Labs",)"
                        R"("iconURL":"https://example.com/i/100.png","storeURL":"https://example.com/us/app/photo/id42?mt=8",)"
                        R"("primaryGenre":"Photo & Video","ratingCount":1234,"averageRating":4.5,"rank":3},)"
                        R"({"appleAppId":"7","name":"Café","rank":1}])"));
    QCOMPARE(AppRecords::encodeHits({}), QByteArray("[]"));
}

void TestAppRecords::storedHitsRoundTrip()
{
    const QJsonArray results = QJsonDocument::fromJson(R"([{"trackId":1,"trackName":"A","artworkUrl100":"https://e.com/a b.png",
        "trackViewUrl":"https://e.com/app/%C3%A9t%C3%A9/id1?uo=4","userRatingCount":9007199254740993,"averageUserRating":0.1}])").array();
    QList<SearchHit> hits{fullHit(), *AppRecords::parseHit(results.at(0), 0), *AppRecords::parseHit(fixtureResult(), 1)};
    hits[0].averageRating = std::nullopt;
    hits[0].developerName = QString(); // empty but present must stay present
    const std::optional<QList<SearchHit>> back = AppRecords::decodeHits(AppRecords::encodeHits(hits));
    QVERIFY(back);
    QCOMPARE(*back, hits);
    QCOMPARE(back->at(0).developerName, QString());
}

void TestAppRecords::storedHitsDecode_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("count"); // -1 = the array fails

    QTest::newRow("empty") << QByteArray("[]") << 0;
    QTest::newRow("nulls read as absent")
        << QByteArray(R"([{"rank":2,"ratingCount":null,"name":"N","appleAppId":"1","iconURL":null,"extra":[1]}])") << 1;
    QTest::newRow("integral double rank") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":2.0}])") << 1;
    QTest::newRow("missing rank") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":1},{"appleAppId":"2","name":"M"}])") << -1;
    QTest::newRow("rank as text") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":"1"}])") << -1;
    QTest::newRow("fractional rank") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":1.5}])") << -1;
    QTest::newRow("rank beyond int") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":4294967297}])") << -1;
    QTest::newRow("name null") << QByteArray(R"([{"appleAppId":"1","name":null,"rank":1}])") << -1;
    QTest::newRow("numeric id") << QByteArray(R"([{"appleAppId":1,"name":"N","rank":1}])") << -1;
    QTest::newRow("count as bool") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":1,"ratingCount":true}])") << -1;
    QTest::newRow("rating as text") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":1,"averageRating":"4"}])") << -1;
    QTest::newRow("empty URL") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":1,"storeURL":""}])") << -1;
    QTest::newRow("unparsable URL") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":1,"iconURL":"http://[::1"}])") << -1;
    QTest::newRow("non-object element") << QByteArray(R"([{"appleAppId":"1","name":"N","rank":1},3])") << -1;
    QTest::newRow("object at top") << QByteArray(R"({"appleAppId":"1","name":"N","rank":1})") << -1;
    QTest::newRow("not JSON") << QByteArray("[{") << -1;
}

void TestAppRecords::storedHitsDecode()
{
    QFETCH(QByteArray, json);
    QFETCH(int, count);
    const std::optional<QList<SearchHit>> hits = AppRecords::decodeHits(json);
    QCOMPARE(hits ? int(hits->size()) : -1, count);
    if (count == 1) {
        QVERIFY(!hits->at(0).ratingCount);
        QVERIFY(!hits->at(0).iconURL);
        QCOMPARE(hits->at(0).rank, json.contains("\"rank\":2") ? 2 : 1);
    }
}

void TestAppRecords::appInfoCoding()
{
    const AppInfo app = *AppRecords::parseApp(fixtureResult());
    const QByteArray coded = AppRecords::encodeAppInfo(app);
    QVERIFY(coded.startsWith(R"({"appleAppId":"284882215","name":"Facebook","developerName":"Facebook, Inc.","iconURL":)"));
    QVERIFY(coded.contains(R"("genres":["Social Networking"],"bundleId":)"));
    QVERIFY(coded.endsWith(R"("version":"15.0","releaseDate":"2008-07-11T07:00:00Z"})"));
    QVERIFY(!coded.contains("currentVersionReleaseDate"));
    QCOMPARE(AppRecords::decodeAppInfo(coded), app);

    AppInfo bare;
    bare.appleAppId = QStringLiteral("1");
    bare.name = QStringLiteral("N");
    QCOMPARE(AppRecords::encodeAppInfo(bare), QByteArray(R"({"appleAppId":"1","name":"N","genres":[]})"));
    QCOMPARE(AppRecords::decodeAppInfo(R"({"appleAppId":"1","name":"N","genres":[],"price":null})"), bare);
    QVERIFY(!AppRecords::decodeAppInfo(R"({"appleAppId":"1","name":"N"})"));
    QVERIFY(!AppRecords::decodeAppInfo(R"({"appleAppId":"1","name":"N","genres":[],"releaseDate":"2008-07-11"})"));
}

void TestAppRecords::hashing()
{
    SearchHit a = fullHit();
    SearchHit b = fullHit();
    QCOMPARE(qHash(a, 9), qHash(b, 9));
    b.rank = 4; // the same app at another rank is another hit
    SearchHit c = fullHit();
    c.developerName = QString(); // present but empty is not absent
    SearchHit d = fullHit();
    d.developerName = std::nullopt;
    const QSet<SearchHit> hits{a, b, c, d, fullHit()};
    QCOMPARE(hits.size(), 4);
    QVERIFY(qHash(c) != qHash(d));

    AppInfo x = *AppRecords::parseApp(fixtureResult());
    AppInfo y = x;
    QCOMPARE(qHash(x), qHash(y));
    y.price = std::nullopt;
    const QSet<AppInfo> apps{x, y, x};
    QCOMPARE(apps.size(), 2);
}

QTEST_GUILESS_MAIN(TestAppRecords)
#include "tst_apprecords.moc"
