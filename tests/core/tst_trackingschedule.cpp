#include "store/ASOStore.h"
#include "tracking/TrackingSchedule.h"

#include "FakeSearchClient.h"
#include "TestSettings.h"

#include <QtTest>

#include <ctime>

// Days and hours are local: the whole test runs in a zone with summer time, set before Qt first
// reads the clock.
static const bool berlin = [] { return qputenv("TZ", "Europe/Berlin"), tzset(), true; }();

class TestTrackingSchedule : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::unique_ptr<ASOStore> m_store;

    // "05-10T10:00+02" in 2024
    static QDateTime at(const QString &time)
    {
        return QDateTime::fromString("2024-" + time.left(11) + ":00" + time.mid(11) + ":00", Qt::ISODate);
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory());
    }

    void schedule_data()
    {
        // Own app "a" in "us" and apps "<id>:own|comp:<day added>:<storefronts>"; settings; last runs; keywords of
        // "a" as "<normal form>:<link source>:<readings, oldest first: found, missed or failed that many seconds ago>".
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("due");
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("rechecked"); // keywords of "a" that its job searches
        const QString may10 = "05-10T10:00+02";
        QTest::newRow("order") << "c:comp:0:us b:own:1:fr,de,fr trackingScope=ALL" << may10 << "b|fr b|de a|us c|us" << may10 << "";
        QTest::newRow("08:59") << "" << "05-10T08:59+02" << "" << "05-10T09:00+02" << "";
        QTest::newRow("09:00") << "b:own:4:de a|us=05-09T23:59+02 b|de=05-10T00:00+02" << "05-10T09:00+02" << "a|us" << "05-10T09:00+02" << "";
        QTest::newRow("every job ran today") << "a|us=05-10T09:05+02" << may10 << "" << "05-11T09:00+02" << "";
        QTest::newRow("ran in the future") << "a|us=05-11T08:00+02" << "05-11T23:00+02" << "" << "05-12T09:00+02" << "";
        QTest::newRow("one bad value") << "a|us=05-10T01:00+02 x|y=text" << may10 << "a|us" << may10 << "";
        QTest::newRow("into summer time") << "a|us=03-30T09:01+01" << "03-30T10:00+01" << "" << "03-31T09:00+02" << "";
        QTest::newRow("skipped hour") << "trackingHour=2" << "03-31T00:30+01" << "" << "03-31T03:00+02" << "";
        QTest::newRow("after the skipped hour") << "trackingHour=2 a|us=03-31T03:00+02" << "03-31T10:00+02" << "" << "04-01T02:00+02" << "";
        QTest::newRow("repeated hour") << "trackingHour=2" << "10-27T00:30+02" << "" << "10-27T02:00+02" << "";
        QTest::newRow("short day") << "b:own:4:de a|us=03-30T23:59+01 b|de=03-31T00:00+01" << "03-31T10:00+02" << "a|us" << "03-31T10:00+02" << "";
        QTest::newRow("manual always") << "m:MANUAL:m60 u:PASTED:m60 d:DESCRIPTION:m60" << may10 << "a|us" << may10 << "m u";
        // Found in the last 14 days, or missed 7 days less an hour ago.
        QTest::newRow("boundaries") << "w:CATEGORY:f1209599,m60 x:CATEGORY:f1209600,m60 y:CATEGORY:m601200 z:CATEGORY:m601199"
                                    << may10 << "a|us" << may10 << "w y";
        QTest::newRow("found, failed, never read") << "f:CATEGORY:f60 r:CATEGORY:m9000,x60 n:CATEGORY:" << may10 << "a|us" << may10 << "f n r";
        // U+E000 comes before U+1F600 by code point; UTF-16 units order them the other way.
        QTest::newRow("once each, code point order")
            << QString::fromUtf8("k:MANUAL: \xF0\x9F\x98\x80:APP_NAME: b:CATEGORY: k:CATEGORY: \xEE\x80\x80:APP_NAME: a:APP_NAME:")
            << may10 << "a|us" << may10 << QString::fromUtf8("a b k \xEE\x80\x80 \xF0\x9F\x98\x80");
    }

    void schedule()
    {
        QFETCH(QString, setup);
        QFETCH(QString, now);
        QFETCH(QString, due);
        QFETCH(QString, next);
        QFETCH(QString, rechecked);
        QVariantMap runs;
        for (const auto &token : ("a:own:3:us,us " + setup).split(u' ', Qt::SkipEmptyParts)) {
            const auto key = token.section(u'=', 0, 0), value = token.section(u'=', 1);
            const auto part = token.split(u':');
            if (key.contains(u'|'))
                runs.insert(key, at(value).isValid() ? QVariant(at(value).toMSecsSinceEpoch() / 1000.0) : value);
            else if (!value.isEmpty())
                TestSettings::set(key, value);
            TrackedApp app(AppInfo{part[0], part[0]}, part.value(1) == u"own");
            app.createdAt = at("01-01T00:00+00").addDays(part.value(2).toInt());
            app.trackedCountries = part.value(3).split(u',');
            if (part.size() == 4)
                m_store->db().insert(app);
            if (part.size() != 3)
                continue;
            app = *m_store->app("a");
            Keyword keyword(part[0], part[0]);
            m_store->db().insert(keyword);
            KeywordLink link(app, keyword, PlannedCandidate{part[0], KeywordSource::manual, {}, {}}, 0, 0);
            link.sourceRaw = part[1], link.key = "a|" + token;
            m_store->db().insert(link);
            for (const auto &reading : part[2].split(u',', Qt::SkipEmptyParts)) {
                const auto hits = AppRecords::encodeHits(FakeSearchClient::results({reading[0] == u'f' ? "a" : "z"}).hits);
                m_store->apply({0, QUuid::createUuid(), part[0], "us", at(now).addSecs(-reading.mid(1).toInt()), reading[0] != u'x',
                                200, 1, 1, {}, false, hits}, app);
            }
        }
        TestSettings::set(TrackingSchedule::lastRunsKey, runs);
        QStringList keys, keywords;
        for (const auto &job : TrackingSchedule::dueJobs(*m_store, at(now)))
            keys.append(job.key());
        for (const auto &keyword : TrackingSchedule::keywordsToRecheck(*m_store, *m_store->app("a"), "us", at(now)))
            keywords.append(keyword.normalized);
        QCOMPARE(keys.join(u' '), due);
        QCOMPARE(TrackingSchedule::nextRunDate(*m_store, at(now)).value_or(QDateTime()), next.isEmpty() ? QDateTime() : at(next));
        QCOMPARE(keywords.join(u' '), rechecked);
    }
};

QTEST_GUILESS_MAIN(TestTrackingSchedule)
#include "tst_trackingschedule.moc"
