#include "workflows/LatestSearchCache.h"
#include "workflows/StoredHitScan.h"

#include <QRandomGenerator>
#include <QtTest>

// The quick read of stored hits must read exactly what decoding them reads, or leave it to the
// decoder: every ID and rank the same, and no hits at all where decoding fails.
class TestStoredHitScan : public QObject
{
    Q_OBJECT

    // The apps and ranks of a search, as the analysis sees them.
    static QStringList read(const LatestSearchCache::Search &search)
    {
        QStringList out;
        for (qsizetype i = 0; i < search.size(); ++i)
            out.append(search.appleAppId(i) + u':' + QString::number(search.rank(i)));
        return out;
    }
    static QStringList decoded(const QByteArray &json)
    {
        return read(LatestSearchCache::Search(AppRecords::decodeHits(json).value_or(QList<SearchHit>())));
    }
    // One hit in the stored form with its keys in the usual order; `extra` goes before "rank".
    static QByteArray hit(const QByteArray &id, const QByteArray &rank = "1", const QByteArray &extra = {})
    {
        return "{\"appleAppId\":\"" + id + "\",\"name\":\"App " + id + "\",\"developerName\":\"Maker\","
               "\"iconURL\":\"https://is1-ssl.mzstatic.com/image/" + id + "/60x60bb.jpg\",\"storeURL\":"
               "\"https://apps.apple.com/us/app/x/id" + id + "\",\"primaryGenre\":\"Photo & Video\","
               "\"ratingCount\":1037,\"averageRating\":4.5" + extra + ",\"rank\":" + rank + "}";
    }
    // Two hits, the second with `name` as its name's JSON text.
    static QByteArray named(const QByteArray &name)
    {
        return "[" + hit("1") + ",{\"appleAppId\":\"2\",\"name\":" + name + ",\"rank\":2}]";
    }
    static QByteArray withAddress(const QByteArray &address)
    {
        return "[" + hit("1") + ",{\"appleAppId\":\"2\",\"name\":\"B\",\"storeURL\":\"" + address + "\",\"rank\":2}]";
    }

private Q_SLOTS:
    void sameAsDecoding_data()
    {
        QTest::addColumn<QByteArray>("json");
        // Whether the quick read vouches for the JSON itself rather than leave it to the decoder.
        QTest::addColumn<bool>("scanned");
        const SearchHit full{"123", "Tom & Jerry \"2\" \\ ü 😀 背单词", "Maker", QUrl("https://a.example/i.png"),
                             QUrl("https://apps.apple.com/us/app/id123?mt=8#x#y"), "Genre", 5, 4.25, 1};
        const SearchHit bare{"0123", "Bare", {}, {}, {}, {}, {}, {}, 7};
        QTest::newRow("written by the store") << AppRecords::encodeHits({full, bare, full}) << true;
        QTest::newRow("none") << QByteArray("[]") << true;
        QTest::newRow("spaced out") << QByteArray(" \n[ " + hit("1") + " ,\r\n\t" + hit("2", "2") + " ]\n ") << true;
        QTest::newRow("keys reordered, null optionals")
            << QByteArray("[{\"rank\":3,\"storeURL\":null,\"name\":\"n\",\"ratingCount\":null,\"appleAppId\":\"9\"}]") << true;
        QTest::newRow("escapes in the name") << named("\"a\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\u4e2d\"") << true;
        QTest::newRow("ranks out of order, ties, gaps, negative")
            << QByteArray("[" + hit("5", "3") + "," + hit("6", "3") + "," + hit("7", "-2") + "," + hit("5", "90") + "]")
            << true;
        QTest::newRow("IDs that are no plain number")
            << QByteArray("[" + hit("0") + "," + hit("007", "2") + "," + hit("x7", "3") + "," + hit("123456789012345678901", "4")
                          + ",{\"appleAppId\":\"Äpp\",\"name\":\"n\",\"rank\":5},{\"appleAppId\":\"\",\"name\":\"n\",\"rank\":6}]")
            << true;
        QTest::newRow("largest rank") << QByteArray("[" + hit("1", "2147483647") + "," + hit("2", "-2147483648") + "]") << true;
        QTest::newRow("address with port") << withAddress("https://apps.apple.com:443/x") << false;
        QTest::newRow("address with space in the host") << withAddress("http://exa mple.com/") << false;
        QTest::newRow("address without host") << withAddress("https:///x") << false;
        QTest::newRow("relative address") << withAddress("/x/y") << false;
        QTest::newRow("empty address") << withAddress("") << false;
        QTest::newRow("address with an empty label") << withAddress("https://a..b/") << false;
        QTest::newRow("address of an IP") << withAddress("http://[::1]/x") << false;
        QTest::newRow("address with odd characters") << withAddress("https://a.example/ü x%zz[]{}|^`") << false;
        QTest::newRow("address that is no string") << withAddress("x\",\"storeURL\":5,\"x\":\"") << false;
        QTest::newRow("escaped ID") << QByteArray("[{\"appleAppId\":\"\\u0031\",\"name\":\"n\",\"rank\":1}]") << false;
        QTest::newRow("unknown key") << QByteArray("[" + hit("1", "1", ",\"kind\":{\"a\":[1]}") + "]") << false;
        QTest::newRow("repeated key") << QByteArray("[" + hit("1", "1", ",\"rank\":4") + "]") << false;
        QTest::newRow("rank written as a fraction") << QByteArray("[" + hit("1", "2.0") + "]") << false;
        QTest::newRow("rank with exponent") << QByteArray("[" + hit("1", "1e2") + "]") << false;
        QTest::newRow("rank beyond int") << QByteArray("[" + hit("1", "2147483648") + "]") << false;
        QTest::newRow("rank minus zero") << QByteArray("[" + hit("1", "-0") + "]") << false;
        QTest::newRow("rank as text") << QByteArray("[" + hit("1", "\"1\"") + "]") << false;
        QTest::newRow("fractional rating count") << QByteArray("[{\"appleAppId\":\"1\",\"name\":\"n\",\"ratingCount\":1.5,\"rank\":1}]") << false;
        QTest::newRow("rating with exponent") << QByteArray("[{\"appleAppId\":\"1\",\"name\":\"n\",\"averageRating\":1e-05,\"rank\":1}]") << false;
        QTest::newRow("rating as text") << QByteArray("[{\"appleAppId\":\"1\",\"name\":\"n\",\"averageRating\":\"4\",\"rank\":1}]") << false;
        QTest::newRow("missing rank") << QByteArray("[{\"appleAppId\":\"1\",\"name\":\"n\"}]") << false;
        QTest::newRow("null name") << QByteArray("[{\"appleAppId\":\"1\",\"name\":null,\"rank\":1}]") << false;
        QTest::newRow("numeric ID") << QByteArray("[{\"appleAppId\":5,\"name\":\"n\",\"rank\":1}]") << false;
        QTest::newRow("lone surrogate escape") << named("\"\\ud800\"") << false;
        QTest::newRow("NUL escape") << named("\"a\\u0000\"") << false;
        QTest::newRow("bad escape") << named("\"\\x\"") << false;
        QTest::newRow("raw control character") << named("\"a\tb\"") << false;
        QTest::newRow("raw DEL") << named("\"a\x7f\"") << false;
        QTest::newRow("overlong UTF-8") << named("\"\xc0\xaf\"") << false;
        QTest::newRow("encoded surrogate") << named("\"\xed\xa0\x80\"") << false;
        QTest::newRow("cut UTF-8") << named("\"\xe4\xb8\"") << false;
        QTest::newRow("noncharacter") << named("\"\xef\xbf\xbf\"") << false;
        QTest::newRow("zero bytes") << QByteArray() << false;
        QTest::newRow("an object") << QByteArray("{}") << false;
        QTest::newRow("a number among hits") << QByteArray("[" + hit("1") + ",1]") << false;
        QTest::newRow("trailing comma") << QByteArray("[" + hit("1") + ",]") << false;
        QTest::newRow("text after the end") << QByteArray("[" + hit("1") + "]x") << false;
        QTest::newRow("cut short") << hit("1").chopped(1) << false;
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf[]") << false;
    }

    void sameAsDecoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, scanned);
        QCOMPARE(read(LatestSearchCache::Search::of(json)), decoded(json));
        const auto scan = StoredHitScan::scan(json);
        QCOMPARE(scan.has_value(), scanned);
        // Each hit's object decodes on its own to the hit that decoding the whole gives.
        const auto hits = AppRecords::decodeHits(json).value_or(QList<SearchHit>());
        for (qsizetype i = 0; scan && i < scan->size(); ++i) {
            const auto &at = scan->at(i);
            QCOMPARE(AppRecords::decodeHits('[' + json.mid(at.begin, at.end - at.begin) + ']').value_or(QList<SearchHit>()),
                     QList<SearchHit>{hits.at(i)});
        }
    }

    // Whatever the bytes, the quick read never vouches for JSON that reads otherwise decoded.
    void damagedBytes()
    {
        const QByteArray stored = AppRecords::encodeHits(
            {SearchHit{"123", "Ein Bild \"Ö\" 背 😀", "Maker", QUrl("https://a.example/i.png"),
                       QUrl("https://apps.apple.com/us/app/id123"), "Genre", 5, 4.25, 1},
             SearchHit{"x1", "B\\n", {}, {}, {}, {}, -3, 0.5, 2}});
        const QByteArray bytes("\"\\{}[],:0123456789.-+eEnul \t\xc3\xa9\xff\x7f\x01/");
        QRandomGenerator random(20261207);
        int vouched = 0;
        int decodable = 0;
        for (int round = 0; round < 4000; ++round) {
            QByteArray json = stored;
            for (int change = 1 + int(random.bounded(3)); change > 0 && !json.isEmpty(); --change) {
                const auto at = qsizetype(random.bounded(int(json.size())));
                const char byte = bytes.at(random.bounded(int(bytes.size())));
                switch (random.bounded(3)) {
                case 0:
                    json[at] = byte;
                    break;
                case 1:
                    json.insert(at, byte);
                    break;
                default:
                    json.remove(at, 1 + random.bounded(4));
                }
            }
            vouched += StoredHitScan::scan(json).has_value();
            decodable += AppRecords::decodeHits(json).has_value();
            if (read(LatestSearchCache::Search::of(json)) != decoded(json))
                QFAIL(json.constData());
        }
        // Many damaged forms still decode: an edited name or rank is read quickly; a changed key
        // or address is left to the decoder.
        QVERIFY2(vouched > decodable / 5, qPrintable(QStringLiteral("%1 of %2").arg(vouched).arg(decodable)));
    }
};

QTEST_GUILESS_MAIN(TestStoredHitScan)
#include "tst_storedhitscan.moc"
