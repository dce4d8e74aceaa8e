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
};

void TestStorefront::table()
{
    const QList<Storefront> &all = Storefront::all();
    QSet<QString> codes;
    for (const Storefront &s : all) {
        QVERIFY(s.code.size() == 2 && s.code == s.code.toLower());
        codes.insert(s.code);
    }
    QCOMPARE(codes.size(), 68); // 68 entries, no duplicates
    QCOMPARE(all.size(), 68);
    QCOMPARE(all.at(9), (Storefront{"gb", "United Kingdom"}));
    QCOMPARE(all.last(), (Storefront{"nz", "New Zealand"}));
    for (const QString &code : Storefront::defaultFavorites() + Storefront::englishCodes().values())
        QVERIFY(Storefront::isSupported(code));

    const Storefront tr = Storefront::named("tr");
    const QByteArray json = QJsonDocument(tr.toJson()).toJson(QJsonDocument::Compact);
    QCOMPARE(json, QByteArray("{\"code\":\"tr\",\"name\":\"T\xc3\xbcrkiye\"}"));
    QCOMPARE(Storefront::fromJson(QJsonDocument::fromJson(json).object()), tr);
    QVERIFY(!Storefront::fromJson(QJsonDocument::fromJson(R"({"code":"tr","name":1})").object()));
}

void TestStorefront::named_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("supported");
    QTest::addColumn<QString>("flag");

    const QString usFlag = QString::fromUtf8("\U0001F1FA\U0001F1F8");
    QTest::newRow("us") << "us" << "United States" << true << usFlag;
    QTest::newRow("in is India") << "in" << "India" << true << QString::fromUtf8("\U0001F1EE\U0001F1F3");
    QTest::newRow("unknown code") << "xx" << "XX" << false << QString::fromUtf8("\U0001F1FD\U0001F1FD");
    QTest::newRow("lookup is case-sensitive") << "US" << "US" << false << usFlag;
    QTest::newRow("empty") << "" << "" << false << "";
    QTest::newRow("sharp s upper-cases to two letters") << QString::fromUtf8("\u00df") << "SS" << false
                                                        << QString::fromUtf8("\U0001F1F8\U0001F1F8");
    QTest::newRow("beyond the code space is dropped") << QString::fromUtf8("u\U0010FFF0") << QString::fromUtf8("U\U0010FFF0") << false
                                                      << QString::fromUtf8("\U0001F1FA");
}

void TestStorefront::named()
{
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(bool, supported);
    QFETCH(QString, flag);
    const Storefront s = Storefront::named(code);
    QCOMPARE(s, (Storefront{code, name}));
    QCOMPARE(Storefront::isSupported(code), supported);
    QCOMPARE(s.flag(), flag);
}

QTEST_GUILESS_MAIN(TestStorefront)
#include "tst_storefront.moc"
