#include "store/ASOStore.h"
#include "tracking/TrackingSchedule.h"

#include "TestSettings.h"

#include <QtTest>

#include <ctime>

// Days and hours are local: the whole test runs in a zone with summer time, fixed before Qt
// reads the clock for the first time.
static const bool berlin = [] {
    qputenv("TZ", "Europe/Berlin");
    tzset();
    return true;
}();

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
    // "<id>:own|comp:<days after 1 January it was added>:<storefronts>"
    void track(const QString &apps)
    {
        for (const auto &spec : apps.split(u' ')) {
            const auto parts = spec.split(u':');
            TrackedApp app(AppInfo{parts[0], parts[0].toUpper()}, parts[1] == u"own");
            app.createdAt = at("01-01T00:00+00").addDays(parts[2].toInt());
            app.trackedCountries = parts[3].split(u',');
            m_store->db().insert(app);
        }
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(berlin);
        TestSettings::reset();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory());
    }

    void schedule_data()
    {
        QTest::addColumn<QString>("apps"); // one own app in "us" when empty
        QTest::addColumn<QString>("setup"); // settings "key=value" and last runs "<job key>=<time or text>"
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("due");
        QTest::addColumn<QString>("next");
        QTest::newRow("own first, older first, storefronts once") << "c:comp:0:us a:own:2:us,de,us b:own:1:fr"
            << "trackingScope=ALL" << "05-10T10:00+02" << "b|fr a|us a|de c|us" << "05-10T10:00+02";
        QTest::newRow("lower-case all") << "c:comp:0:us a:own:2:us" << "trackingScope=all" << "05-10T10:00+02" << "a|us"
                                        << "05-10T10:00+02";
        QTest::newRow("08:59") << "" << "" << "05-10T08:59+02" << "" << "05-10T09:00+02";
        QTest::newRow("09:00, not run since midnight") << "a:own:0:us,de,fr" << "a|us=05-09T23:59+02 a|de=05-10T00:00+02"
                                                       << "05-10T09:00+02" << "a|us a|fr" << "05-10T09:00+02";
        QTest::newRow("every job ran today") << "" << "a|us=05-10T09:05+02" << "05-10T10:00+02" << "" << "05-11T09:00+02";
        QTest::newRow("ran in the future") << "" << "a|us=05-11T08:00+02" << "05-11T23:00+02" << "" << "05-12T09:00+02";
        QTest::newRow("one bad value voids the record") << "" << "a|us=05-10T01:00+02 x|y=text" << "05-10T10:00+02"
                                                        << "a|us" << "05-10T10:00+02";
        QTest::newRow("tracking off") << "" << "trackingEnabled=false" << "05-10T10:00+02" << "" << "";
        QTest::newRow("into summer time") << "" << "a|us=03-30T09:01+01" << "03-30T10:00+01" << "" << "03-31T09:00+02";
        QTest::newRow("out of summer time") << "" << "a|us=10-26T09:01+02" << "10-26T10:00+02" << "" << "10-27T09:00+01";
        QTest::newRow("skipped hour") << "" << "trackingHour=2" << "03-31T00:30+01" << "" << "03-31T03:00+02";
        QTest::newRow("tomorrow's hour is skipped") << "" << "trackingHour=2 a|us=03-30T02:30+01" << "03-30T10:00+01"
                                                    << "" << "03-31T03:00+02";
        QTest::newRow("repeated hour") << "" << "trackingHour=2" << "10-27T00:30+02" << "" << "10-27T02:00+02";
        QTest::newRow("summer time day starts at local midnight") << "a:own:0:us,de"
            << "a|us=03-30T23:59+01 a|de=03-31T00:00+01" << "03-31T10:00+02" << "a|us" << "03-31T10:00+02";
    }

    void schedule()
    {
        QFETCH(QString, apps);
        QFETCH(QString, setup);
        QFETCH(QString, now);
        QFETCH(QString, due);
        QFETCH(QString, next);
        QCOMPARE(TrackingSchedule::nextRunDate(*m_store, at(now)), std::nullopt);
        track(apps.isEmpty() ? "a:own:0:us" : apps);
        QVariantMap runs;
        for (const auto &pair : setup.split(u' ', Qt::SkipEmptyParts)) {
            const auto key = pair.section(u'=', 0, 0), value = pair.section(u'=', 1);
            if (!key.contains(u'|'))
                TestSettings::set(key, value);
            else
                runs.insert(key, at(value).isValid() ? QVariant(at(value).toMSecsSinceEpoch() / 1000.0) : value);
        }
        TestSettings::set(TrackingSchedule::lastRunsKey, runs);

        QCOMPARE(TrackingSchedule::nextRunDate(*m_store, at(now)).value_or(QDateTime()),
                 next.isEmpty() ? QDateTime() : at(next));
        const auto dueKeys = [&] {
            QStringList keys;
            for (const auto &job : TrackingSchedule::dueJobs(*m_store, at(now)))
                keys.append(job.key());
            return keys;
        };
        const auto keys = dueKeys();
        QCOMPARE(keys.join(u' '), due);
        // Once marked, a job is not due again that day; the others still are.
        if (!keys.isEmpty()) {
            TrackingSchedule::markRan(keys[0].section(u'|', 0, 0), keys[0].section(u'|', 1), at(now));
            QCOMPARE(dueKeys(), keys.mid(1));
        }
    }

    void keywordsToRecheck_data()
    {
        // "<normal form>:<link source>[:<latest state>:<seconds ago>[:<seconds since found>]]"
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QString>("chosen");
        const QString missed = ":DESCRIPTION:NOT_FOUND_IN_SAMPLE:";
        QTest::newRow("manual always") << "m:MANUAL:NOT_FOUND_IN_SAMPLE:60 u:PASTED:NOT_FOUND_IN_SAMPLE:60 d" + missed + "60"
                                       << "m u";
        QTest::newRow("found within 14 days") << "x" + missed + "60:1209599 y" + missed + "60:1209600" << "x";
        QTest::newRow("missed a week less an hour ago") << "x" + missed + "601200 y" + missed + "601199" << "x";
        QTest::newRow("found, failed, never read") << "f:DESCRIPTION:FOUND:60:60 r:DESCRIPTION:REQUEST_FAILED:60 n:CATEGORY"
                                                   << "f n r";
        // U+E000 before U+1F600 by code point; UTF-16 units order them the other way.
        QTest::newRow("once each, code point order")
            << QString::fromUtf8("k:MANUAL \xF0\x9F\x98\x80:APP_NAME b:CATEGORY k:CATEGORY \xEE\x80\x80:APP_NAME a:APP_NAME")
            << QString::fromUtf8("a b k \xEE\x80\x80 \xF0\x9F\x98\x80");
    }

    void keywordsToRecheck()
    {
        QFETCH(QString, keywords);
        QFETCH(QString, chosen);
        track("a:own:0:us");
        const auto app = *m_store->app("a");
        const auto now = at("05-10T10:00+02");
        for (const auto &spec : keywords.split(u' ')) {
            const auto part = spec.split(u':');
            auto keyword = m_store->keyword(part[0]).value_or(Keyword(part[0], part[0]));
            m_store->db().insert(keyword);
            KeywordLink link(app, keyword, PlannedCandidate{part[0], KeywordSource::manual, {}, {}}, 0, 0);
            link.sourceRaw = part[1];
            link.key = "a|" + part[0] + u'|' + part[1];
            m_store->db().insert(link);
            if (part.size() < 3)
                continue;
            RankState state;
            state.key = RankState::makeKey("a", part[0], "us");
            state.appleAppId = "a";
            state.keywordNormalized = part[0];
            state.country = "us";
            state.latestStateRaw = part[2];
            state.latestCheckedAt = now.addSecs(-part[3].toLongLong());
            if (part.size() > 4)
                state.lastFoundAt = now.addSecs(-part[4].toLongLong());
            m_store->db().insert(state);
        }
        QStringList result;
        for (const auto &keyword : TrackingSchedule::keywordsToRecheck(*m_store, app, "us", now))
            result.append(keyword.normalized);
        QCOMPARE(result.join(u' '), chosen);
    }
};

QTEST_GUILESS_MAIN(TestTrackingSchedule)
#include "tst_trackingschedule.moc"
