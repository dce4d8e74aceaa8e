#include "clients/Storefront.h"

#include <QJsonDocument>
#include <QtTest>

class TestStorefront : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void table();
    void named_data();
    void named();
    void flag_data();
    void flag();
    void coding();
};

void TestStorefront::table()
{
    const QList<Storefront> &all = Storefront::all();
    QCOMPARE(all.size(), 68);
    QSet<QString> codes;
    for (const Storefront &s : all) {
        QCOMPARE(s.code.size(), 2);
        QCOMPARE(s.code, s.code.toLower());
        QCOMPARE(s.id(), s.code);
        codes.insert(s.code);
    }
    QCOMPARE(codes.size(), 68);
    QCOMPARE(all.first(), (Storefront{"us", "United States"}));
    QCOMPARE(all.at(9), (Storefront{"gb", "United Kingdom"}));
    QCOMPARE(all.last(), (Storefront{"nz", "New Zealand"}));
    for (const QString &code : Storefront::defaultFavorites())
        QVERIFY(Storefront::isSupported(code));
    QCOMPARE(Storefront::defaultFavorites(), (QStringList{"us", "gb", "de", "tr", "br"}));
    for (const QString &code : Storefront::englishCodes())
        QVERIFY(Storefront::isSupported(code));
}

void TestStorefront::named_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("supported");

    QTest::newRow("de") << "de" << "Germany" << true;
    QTest::newRow("tr keeps its diaeresis") << "tr" << QString::fromUtf8("T\u00fcrkiye") << true;
    QTest::newRow("id is Indonesia") << "id" << "Indonesia" << true;
    QTest::newRow("in is India") << "in" << "India" << true;
    QTest::newRow("unknown code") << "xx" << "XX" << false;
    QTest::newRow("upper case is not looked up") << "US" << "US" << false;
    QTest::newRow("TR") << "TR" << "TR" << false;
    QTest::newRow("padded") << " de" << " DE" << false;
    QTest::newRow("empty") << "" << "" << false;
    QTest::newRow("sharp s upper-cases to two letters") << QString::fromUtf8("\u00df") << "SS" << false;
}

void TestStorefront::named()
{
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(bool, supported);
    const Storefront s = Storefront::named(code);
    QCOMPARE(s.code, code);
    QCOMPARE(s.name, name);
    QCOMPARE(Storefront::isSupported(code), supported);
}

void TestStorefront::flag_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("flag");

    QTest::newRow("us") << "us" << QString::fromUtf8("\U0001F1FA\U0001F1F8");
    QTest::newRow("US") << "US" << QString::fromUtf8("\U0001F1FA\U0001F1F8");
    QTest::newRow("gb") << "gb" << QString::fromUtf8("\U0001F1EC\U0001F1E7");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("digits are shifted too") << "a1" << QString::fromUtf8("\U0001F1E6\U0001F1D6");
    QTest::newRow("sharp s gives two indicators") << QString::fromUtf8("\u00df") << QString::fromUtf8("\U0001F1F8\U0001F1F8");
    QTest::newRow("beyond the code space is dropped") << QString::fromUtf8("u\U0010FFF0") << QString::fromUtf8("\U0001F1FA");
}

void TestStorefront::flag()
{
    QFETCH(QString, code);
    QFETCH(QString, flag);
    QCOMPARE((Storefront{code, QString()}).flag(), flag);
}

void TestStorefront::coding()
{
    const Storefront tr = Storefront::named("tr");
    const QByteArray json = QJsonDocument(tr.toJson()).toJson(QJsonDocument::Compact);
    QCOMPARE(json, QByteArray("{\"code\":\"tr\",\"name\":\"T\xc3\xbcrkiye\"}"));
    QCOMPARE(Storefront::fromJson(QJsonDocument::fromJson(json).object()), tr);
    QVERIFY(!Storefront::fromJson(QJsonDocument::fromJson(R"({"code":"tr"})").object()));
    QVERIFY(!Storefront::fromJson(QJsonDocument::fromJson(R"({"code":1,"name":"x"})").object()));
    QVERIFY(!Storefront::fromJson(QJsonValue(QStringLiteral("tr"))));
}

QTEST_GUILESS_MAIN(TestStorefront)
#include "tst_storefront.moc"
