#include "store/Settings.h"

#include "DiskSyncs.h"
#include "TestSettings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The settings readers over a settings file as the user's system keeps it, where every value
// reads back as text: registered defaults, clamps, the storefront list and the service URL.
class TestSettingsRegistry : public QObject
{
    Q_OBJECT
    TestSettings m_isolation;

    // Every reader's value, in one line.
    static QString readAll(const Settings &s)
    {
        QStringList values;
        for (const auto number : {s.searchLimit(), s.requestsPerMinute(), s.cacheMinutes(), s.discoveryBudget(),
                                  s.discoveryDepth(), s.relatedApps(), s.trackingHour(), s.alertMoveThreshold()})
            values.append(QString::number(number));
        const auto url = s.popularityServerURL();
        values << s.favoriteCountries().join(u',') << s.defaultCountry() << (url ? url->toString() : u"-"_qs)
               << TrackingScopes::rawValue(s.trackingScope()) << QString::number(s.trackingEnabled())
               << QString::number(s.alertsEnabled()) << QString::number(s.notificationsEnabled());
        return values.join(u' ');
    }

    // A settings file in the folder holding the lines given.
    static QString settingsFile(const QTemporaryDir &dir, const QByteArray &lines)
    {
        QFile file(dir.filePath(QStringLiteral("settings.ini")));
        if (file.open(QIODevice::WriteOnly))
            file.write("[General]\n" + lines);
        return file.fileName();
    }

private Q_SLOTS:
    void readers_data()
    {
        QTest::addColumn<QByteArray>("stored"); // lines of the settings file
        QTest::addColumn<QString>("expected");
        // The test build names no popularity service (VANTU_POPULARITY_SERVER), so none is registered.
        QTest::newRow("nothing stored") << QByteArray() << "200 20 60 300 3 8 9 5 us,gb,de,tr,br us - OWN 1 1 0";
        QTest::newRow("below the ranges")
            << QByteArray("searchLimit=5\nrequestsPerMinute=0\ncacheMinutes=-4\ndiscoveryBudget=x\ndiscoveryDepth=-1\n"
                          "relatedApps=-1\ntrackingHour=-2\nalertMoveThreshold=0\n")
            << "10 1 1 5 0 0 0 1 us,gb,de,tr,br us - OWN 1 1 0";
        QTest::newRow("above the ranges")
            << QByteArray("searchLimit=1000\nrequestsPerMinute=500\ndiscoveryBudget=501\ndiscoveryDepth=9\n"
                          "relatedApps=26\ntrackingHour=30\nalertMoveThreshold=80\n")
            << "200 60 60 500 4 25 23 50 us,gb,de,tr,br us - OWN 1 1 0";
        QTest::newRow("typed by hand")
            << QByteArray("searchLimit=lots\ntrackingHour=7.9\nfavoriteCountries=gb,xx,,de,gb\ndefaultCountry=\"\"\n"
                          "popularityServer=\" \\thttps://p.example.com/api  \"\ntrackingScope=ALL\n"
                          "trackingEnabled=false\nnotificationsEnabled=true\n")
            << "10 20 60 300 3 8 7 5 gb,de,gb  https://p.example.com/api ALL 0 1 1";
        QTest::newRow("nothing usable")
            << QByteArray("favoriteCountries=\"GB, de\"\npopularityServer=p.example.com\ntrackingScope=all\n")
            << "200 20 60 300 3 8 9 5  us - OWN 1 1 0";
        QTest::newRow("line break in the address") << QByteArray("popularityServer=\"https://p.example.com/\\n\"\n")
                                                   << "200 20 60 300 3 8 9 5 us,gb,de,tr,br us - OWN 1 1 0";
    }

    void readers()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QCOMPARE(readAll(Settings(settingsFile(dir, stored))), expected);
    }

    void historyPanelWidth_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<double>("width");
        QTest::newRow("unset") << QByteArray() << 340.0;
        QTest::newRow("dragged") << QByteArray("historyPanelWidth=412.5\n") << 412.5;
        QTest::newRow("zero") << QByteArray("historyPanelWidth=0\n") << 340.0;
        QTest::newRow("negative") << QByteArray("historyPanelWidth=-20\n") << 340.0;
        QTest::newRow("not finite") << QByteArray("historyPanelWidth=inf\n") << 340.0;
        QTest::newRow("not a number") << QByteArray("historyPanelWidth=nan\n") << 340.0;
        QTest::newRow("text") << QByteArray("historyPanelWidth=wide\n") << 340.0;
    }

    void historyPanelWidth()
    {
        QFETCH(QByteArray, stored);
        QFETCH(double, width);
        QTemporaryDir dir;
        QCOMPARE(Settings(settingsFile(dir, stored)).historyPanelWidth(), width);
    }

    void defaultsAreNeverWrittenAndChangesAreAnnounced()
    {
        registerDefaultSettings();
        QSignalSpy changed(&Settings::shared(), &Settings::changed);
        TestSettings::set(SettingsKey::searchLimit, 50);
        QVERIFY(Settings::shared().searchLimit() == 50 && changed.value(0).value(0) == SettingsKey::searchLimit);
        QTRY_COMPARE(QSettings(QStringLiteral("Vantu"), QStringLiteral("Vantu")).allKeys(), QStringList{SettingsKey::searchLimit});
    }

    // Saving the file syncs the disk, which the window's thread must not wait for: changes apply
    // at once and reach the file in order from another thread.
    void changesAreSavedOffTheChangingThread()
    {
        QTemporaryDir dir;
        const auto path = settingsFile(dir, "searchLimit=30\nrelatedApps=4\n");
        DiskSyncs::watchThisThread();
        {
            Settings settings(path);
            settings.setValue(SettingsKey::searchLimit, 50);
            settings.setValue(SettingsKey::trackingHour, 7);
            settings.remove(SettingsKey::searchLimit);
            settings.setValue(SettingsKey::defaultCountry, QStringLiteral("gb"));
            QCOMPARE(settings.searchLimit(), 200);
            QCOMPARE(settings.relatedApps(), 4);
            QCOMPARE(settings.trackingHour(), 7);
            QTRY_VERIFY(DiskSyncs::elsewhere.load() > 0);
            QCOMPARE(DiskSyncs::onWatched.load(), 0);
            settings.clear();
            settings.setValue(SettingsKey::alertsEnabled, false);
        }
        const QSettings file(path, QSettings::IniFormat);
        QCOMPARE(file.allKeys(), QStringList{SettingsKey::alertsEnabled});
        QCOMPARE(file.value(SettingsKey::alertsEnabled).toString(), QStringLiteral("false"));
        QCOMPARE(Settings(path).alertsEnabled(), false);
    }
};

QTEST_GUILESS_MAIN(TestSettingsRegistry)
#include "tst_settings.moc"
