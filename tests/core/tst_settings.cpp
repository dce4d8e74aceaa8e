#include "store/Settings.h"

#include "TestSettings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

// The settings readers over a settings file as the user's system keeps it, where every value
// reads back as text: defaults, clamps, the storefront list and the service URL.
class TestSettingsRegistry : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readers_data();
    void readers();
    void defaultsAreNeverWrittenAndChangesAreAnnounced();

private:
    TestSettings m_isolation;
};

using Reader = std::function<QVariant(const Settings &)>;

static QVariant url(const std::optional<QUrl> &value)
{
    return value ? QVariant(value->toString()) : QVariant();
}

static const QHash<QString, Reader> readerOf = {
    {QStringLiteral("searchLimit"), [](const Settings &s) { return QVariant(s.searchLimit()); }},
    {QStringLiteral("requestsPerMinute"), [](const Settings &s) { return QVariant(s.requestsPerMinute()); }},
    {QStringLiteral("cacheMinutes"), [](const Settings &s) { return QVariant(s.cacheMinutes()); }},
    {QStringLiteral("discoveryBudget"), [](const Settings &s) { return QVariant(s.discoveryBudget()); }},
    {QStringLiteral("discoveryDepth"), [](const Settings &s) { return QVariant(s.discoveryDepth()); }},
    {QStringLiteral("relatedApps"), [](const Settings &s) { return QVariant(s.relatedApps()); }},
    {QStringLiteral("trackingHour"), [](const Settings &s) { return QVariant(s.trackingHour()); }},
    {QStringLiteral("alertMoveThreshold"), [](const Settings &s) { return QVariant(s.alertMoveThreshold()); }},
    {QStringLiteral("favoriteCountries"), [](const Settings &s) { return QVariant(s.favoriteCountries()); }},
    {QStringLiteral("defaultCountry"), [](const Settings &s) { return QVariant(s.defaultCountry()); }},
    {QStringLiteral("popularityServer"), [](const Settings &s) { return url(s.popularityServerURL()); }},
    {QStringLiteral("trackingScope"),
     [](const Settings &s) { return QVariant(TrackingScopes::rawValue(s.trackingScope())); }},
    {QStringLiteral("alertsEnabled"), [](const Settings &s) { return QVariant(s.alertsEnabled()); }},
    {QStringLiteral("notificationsEnabled"), [](const Settings &s) { return QVariant(s.notificationsEnabled()); }},
};

void TestSettingsRegistry::readers_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("stored"); // the line of the settings file; empty: nothing stored
    QTest::addColumn<QVariant>("expected");

    const auto codes = [](const char *text) { return QVariant(QString::fromLatin1(text).split(u',', Qt::SkipEmptyParts)); };
    QTest::newRow("limit default") << "searchLimit" << QByteArray() << QVariant(200LL);
    QTest::newRow("limit low") << "searchLimit" << QByteArray("5") << QVariant(10LL);
    QTest::newRow("limit high") << "searchLimit" << QByteArray("1000") << QVariant(200LL);
    QTest::newRow("limit not a number") << "searchLimit" << QByteArray("lots") << QVariant(10LL);
    QTest::newRow("rate zero") << "requestsPerMinute" << QByteArray("0") << QVariant(1LL);
    QTest::newRow("rate high") << "requestsPerMinute" << QByteArray("500") << QVariant(60LL);
    QTest::newRow("cache negative") << "cacheMinutes" << QByteArray("-4") << QVariant(1LL);
    QTest::newRow("budget default") << "discoveryBudget" << QByteArray() << QVariant(300LL);
    QTest::newRow("budget not a number") << "discoveryBudget" << QByteArray("x") << QVariant(5LL);
    QTest::newRow("depth high") << "discoveryDepth" << QByteArray("9") << QVariant(4LL);
    QTest::newRow("related negative") << "relatedApps" << QByteArray("-1") << QVariant(0LL);
    QTest::newRow("hour high") << "trackingHour" << QByteArray("30") << QVariant(23LL);
    QTest::newRow("hour negative") << "trackingHour" << QByteArray("-2") << QVariant(0LL);
    QTest::newRow("hour fraction") << "trackingHour" << QByteArray("7.9") << QVariant(7LL);
    QTest::newRow("threshold zero") << "alertMoveThreshold" << QByteArray("0") << QVariant(1LL);
    QTest::newRow("threshold high") << "alertMoveThreshold" << QByteArray("80") << QVariant(50LL);
    QTest::newRow("favourites default") << "favoriteCountries" << QByteArray() << codes("us,gb,de,tr,br");
    QTest::newRow("favourites filtered") << "favoriteCountries" << QByteArray("gb,xx,,de,gb") << codes("gb,de,gb");
    QTest::newRow("favourites case") << "favoriteCountries" << QByteArray("\"GB, de\"") << codes("");
    QTest::newRow("favourites empty") << "favoriteCountries" << QByteArray("\"\"") << codes("");
    QTest::newRow("country default") << "defaultCountry" << QByteArray() << QVariant(u"us"_qs);
    QTest::newRow("server default") << "popularityServer" << QByteArray() << QVariant(u"https://popularity.vantu.app/"_qs);
    QTest::newRow("server padded") << "popularityServer" << QByteArray("\" \\thttps://p.example.com/api  \"")
                                   << QVariant(u"https://p.example.com/api"_qs);
    QTest::newRow("server bare host") << "popularityServer" << QByteArray("p.example.com") << QVariant();
    QTest::newRow("server line break") << "popularityServer" << QByteArray("\"https://p.example.com/\\n\"")
                                       << QVariant();
    QTest::newRow("scope default") << "trackingScope" << QByteArray() << QVariant(u"OWN"_qs);
    QTest::newRow("scope all") << "trackingScope" << QByteArray("ALL") << QVariant(u"ALL"_qs);
    QTest::newRow("scope lower case") << "trackingScope" << QByteArray("all") << QVariant(u"OWN"_qs);
    QTest::newRow("alerts default") << "alertsEnabled" << QByteArray() << QVariant(true);
    QTest::newRow("alerts off") << "alertsEnabled" << QByteArray("false") << QVariant(false);
    QTest::newRow("notifications default") << "notificationsEnabled" << QByteArray() << QVariant(false);
    QTest::newRow("notifications on") << "notificationsEnabled" << QByteArray("true") << QVariant(true);
}

void TestSettingsRegistry::readers()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, stored);
    QFETCH(QVariant, expected);

    QTemporaryDir dir;
    const auto path = dir.filePath(QStringLiteral("settings.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\n");
    if (!stored.isEmpty())
        file.write(key.toUtf8() + '=' + stored + '\n');
    file.close();

    const Settings settings(path);
    QCOMPARE(readerOf.value(key)(settings), expected);
}

void TestSettingsRegistry::defaultsAreNeverWrittenAndChangesAreAnnounced()
{
    auto &settings = Settings::shared();
    registerDefaultSettings();
    QCOMPARE(settings.searchLimit(), 200);
    QVERIFY(!settings.contains(SettingsKey::searchLimit));

    QSignalSpy changed(&settings, &Settings::changed);
    settings.setValue(SettingsKey::searchLimit, 50);
    QCOMPARE(settings.searchLimit(), 50);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().toString(), SettingsKey::searchLimit);

    TestSettings::reset();
    QCOMPARE(settings.searchLimit(), 200);
    const QStringList stored = QSettings(QStringLiteral("Vantu"), QStringLiteral("Vantu")).allKeys();
    QVERIFY2(stored.isEmpty(), qPrintable(stored.join(u' ')));
}

QTEST_GUILESS_MAIN(TestSettingsRegistry)
#include "tst_settings.moc"
