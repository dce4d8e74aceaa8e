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
    QCOMPARE(all.size(), 68);
    QCOMPARE(QSet<Storefront>(all.cbegin(), all.cend()).size(), 68);
    QCOMPARE(all.at(9), (Storefront{"gb", "United Kingdom"}));
    for (const QString &code : Storefront::defaultFavorites() + Storefront::englishCodes().values())
        QVERIFY(Storefront::isSupported(code));

    const QByteArray json = QJsonDocument(Storefront::named("tr").toJson()).toJson(QJsonDocument::Compact);
    QCOMPARE(json, QByteArray("{\"code\":\"tr\",\"name\":\"T\xc3\xbcrkiye\"}"));
    QCOMPARE(Storefront::fromJson(QJsonDocument::fromJson(json).object()), Storefront::named("tr"));
    QVERIFY(!Storefront::fromJson(QJsonDocument::fromJson(R"({"code":"tr","name":1})").object()));
}

void TestStorefront::named_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("flag");

    const QString usFlag = QString::fromUtf8("\U0001F1FA\U0001F1F8");
    QTest::newRow("us") << "us" << "United States" << usFlag;
    QTest::newRow("unknown code") << "xx" << "XX" << QString::fromUtf8("\U0001F1FD\U0001F1FD");
    QTest::newRow("lookup is case-sensitive") << "US" << "US" << usFlag;
    QTest::newRow("beyond the code space is dropped") << QString::fromUtf8("u\U0010FFF0") << QString::fromUtf8("U\U0010FFF0")
                                                      << QString::fromUtf8("\U0001F1FA");
}

void TestStorefront::named()
{
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(QString, flag);
    const Storefront s = Storefront::named(code);
    QCOMPARE(s, (Storefront{code, name}));
    QCOMPARE(Storefront::isSupported(code), code == QLatin1String("us"));
    QCOMPARE(s.flag(), flag);
}

QTEST_GUILESS_MAIN(TestStorefront)
#include "tst_storefront.moc"
