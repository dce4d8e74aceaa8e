#include "clients/AppRecords.h"
#include "model/AlertEditCoding.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"

#include "AlertFlags.h"
#include "FakeSearchClient.h"
#include "TestSettings.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <limits>

// Damaged values in the store's own bookkeeping: the store still starts, and still saves.
class TestDamagedValues : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    QTemporaryDir m_dir;
    std::shared_ptr<FakeSearchClient> m_client = std::make_shared<FakeSearchClient>();

    QString path() const
    {
        return m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + u'-'
                              + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + QStringLiteral(".sqlite"));
    }

    // Runs the statement on a connection of its own to the file, as another program would;
    // the first column of each row, joined by spaces.
    static QString onFile(const QString &path, const QString &sql, const QVariantList &values = {})
    {
        QStringList rows;
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery query(db);
                query.prepare(sql);
                for (const auto &value : values)
                    query.addBindValue(value);
                if (!query.exec())
                    rows.append(QStringLiteral("failed: ") + query.lastError().text());
                while (query.next())
                    rows.append(query.value(0).toString());
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        return rows.join(u' ');
    }

    static void recordEdit(const QString &path, const QByteArray &bytes)
    {
        QCOMPARE(onFile(path, QStringLiteral("INSERT INTO store_meta (key, value) VALUES (?, ?)"),
                        {QStringLiteral("alertEdit:") + QUuid::createUuid().toString(QUuid::WithoutBraces), bytes}),
                 QString());
    }

    static RankAlert madeAlert(const QString &appleAppId = QStringLiteral("1"))
    {
        return {0, QUuid::createUuid(), appleAppId, QStringLiteral("App"), QStringLiteral("k"), QStringLiteral("k"),
                QStringLiteral("us"), QStringLiteral("MOVED_UP"), 3, 1, QUuid::createUuid(), QDateTime::currentDateTimeUtc(), false};
    }

private Q_SLOTS:
    void init() { TestSettings::reset(); }

    // A damaged record of alert edits is passed over and told of; those before and after it apply.
    void damagedAlertEditIsPassedOver_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<bool>("journaled"); // in the journal of edits, else in the bookkeeping
        QByteArray billion("d");
        for (int run = 0; run < 64; ++run)
            billion += QByteArray::fromHex("0180808008"); // after 1, 2^24 more
        const auto neverGiven = AlertEditCoding::encode(StoreDb::AlertEditKind::remove, {{4, 4}, {11, 11}});
        QTest::newRow("a billion ids in 321 bytes") << billion << false;
        QTest::newRow("an id never given") << neverGiven << false;
        QTest::newRow("an id never given, journaled") << neverGiven << true;
        QTest::newRow("a run past the highest id") << QByteArray::fromHex("64080f") << false;
        QTest::newRow("a gap past 64 bits") << QByteArray::fromHex("64ffffffffffffffffff0100") << false;
        QTest::newRow("an unknown kind") << QByteArray::fromHex("780100") << false;
        QTest::newRow("a number cut short") << QByteArray::fromHex("6481") << false;
        QTest::newRow("a run from nothing") << QByteArray::fromHex("640000") << false;
        QTest::newRow("no bytes") << QByteArray("") << false;
    }

    void damagedAlertEditIsPassedOver()
    {
        QFETCH(QByteArray, record);
        QFETCH(bool, journaled);
        const auto file = path();
        {
            ASOStore store(StoreDb::openFile(file), m_client);
            StoreDb::Transaction save(store.db());
            for (int i = 0; i < 10; ++i) {
                auto alert = madeAlert();
                QVERIFY(store.db().insert(alert));
            }
            QVERIFY(save.commit());
        }
        recordEdit(file, AlertEditCoding::encode(StoreDb::AlertEditKind::markRead, {{1, 3}, {9, 9}}));
        if (journaled) {
            const auto edit = AlertEditCoding::decode(record, std::numeric_limits<qint64>::max());
            QVERIFY(StoreDb::openFile(file)->journalAlertEdit(1, edit->kind, edit->runs));
        } else {
            recordEdit(file, record);
        }
        recordEdit(file, AlertEditCoding::encode(StoreDb::AlertEditKind::remove, {{9, 10}}));

        const QString expected = "1r 2r 3r 4o 5o 6o 7o 8o";
        {
            ASOStore store(StoreDb::openFile(file), m_client);
            QSignalSpy told(&store, &ASOStore::problem);
            QVERIFY(told.wait());
            QVERIFY(told.takeFirst().at(0).toString().contains(QStringLiteral("could not be applied")));
            QCOMPARE(alertFlags(store), expected);
            QTRY_VERIFY_WITH_TIMEOUT(store.isIdle(), 60000);
            QCOMPARE(onFile(file, QStringLiteral("SELECT pk || iif(is_read, 'r', 'o') FROM rank_alert ORDER BY pk")),
                     expected);
            QVERIFY(told.isEmpty());
        }
        // Kept as found, where no start reads it as an edit: told once, not at every start.
        QCOMPARE(onFile(file, QStringLiteral("SELECT hex(value) FROM store_meta WHERE key GLOB 'alertEdit:*'")), QString());
        QCOMPARE(onFile(file, QStringLiteral("SELECT hex(value) FROM store_meta WHERE key GLOB 'alertEditDamaged:*'")),
                 journaled ? QString() : QString::fromLatin1(record.toHex().toUpper()));
        ASOStore store(StoreDb::openFile(file), m_client);
        QSignalSpy told(&store, &ASOStore::problem);
        bool turned = false;
        QMetaObject::invokeMethod(&store, [&turned] { turned = true; }, Qt::QueuedConnection);
        QTRY_VERIFY(turned);
        QVERIFY(told.isEmpty());
        QCOMPARE(alertFlags(store), expected);
    }

    // However the highest alert id issued is damaged, it counts as absent: a search that raises
    // an alert is still saved, with the next id, and the next deletion of alerts writes it right.
    void damagedIssuedIdStillLetsAlertsBeSaved_data()
    {
        QTest::addColumn<QString>("value"); // as SQL
        QTest::newRow("text") << "'many'";
        QTest::newRow("real") << "2.5";
        QTest::newRow("blob") << "x'00'";
        QTest::newRow("largest integer") << "9223372036854775807";
        QTest::newRow("negative") << "-5";
        QTest::newRow("too large to count up from") << "4611686018427387904"; // 2^62
    }

    void damagedIssuedIdStillLetsAlertsBeSaved()
    {
        QFETCH(QString, value);
        const auto file = path();
        ASOStore store(StoreDb::openFile(file), m_client);
        TrackedApp app(AppInfo{QStringLiteral("100001"), QStringLiteral("App")}, true);
        QVERIFY(store.db().insert(app));
        store.addKeywords({QStringLiteral("chess")}, app);
        const auto start = QDateTime::currentDateTimeUtc().addDays(-1);
        int minutes = 0;
        // A stored search with the app at `rank`, applied as the latest reading.
        const auto read = [&](int rank) {
            QStringList ids;
            for (int i = 1; i <= rank; ++i)
                ids.append(i == rank ? app.appleAppId : QString::number(90 + i));
            const auto hits = FakeSearchClient::results(ids).hits;
            SearchObservation observation{0, QUuid::createUuid(), QStringLiteral("chess"), QStringLiteral("us"),
                                          start.addSecs(60 * ++minutes), true, 200, hits.size(), 1, {}, true,
                                          AppRecords::encodeHits(hits)};
            store.db().clearLatestObservations(observation.keywordNormalized, observation.country);
            store.db().insert(observation);
            store.apply(observation, app);
            const auto state = store.rankState(app.appleAppId, QStringLiteral("chess"), QStringLiteral("us"));
            return state && state->latestRank == rank;
        };
        QVERIFY(read(30) && read(20));
        QCOMPARE(alertFlags(store), "1o");
        QCOMPARE(onFile(file, QStringLiteral("INSERT INTO store_meta (key, value) VALUES ('alertIdsIssued', %1)").arg(value)),
                 QString());

        QVERIFY(read(9));
        QCOMPARE(alertFlags(store), "1o 2o");
        store.deleteAlerts(store.alerts().mid(0, 1));
        QCOMPARE(alertFlags(store), "1o");
        QCOMPARE(onFile(file, QStringLiteral("SELECT typeof(value) || ' ' || value FROM store_meta WHERE key = 'alertIdsIssued'")),
                 "integer 2");
        // The deleted alert's id is not given again.
        QVERIFY(read(30));
        QCOMPARE(alertFlags(store), "1o 3o");
    }

    // However high the stored alert ids, a check saves all its readings. Its alerts take ids
    // above every one given, up to a ceiling far within the read flags' pk * 2 + 1; an id past
    // the ceiling was never given and is passed over. With no id left, the alerts are not raised
    // and the user is told.
    void highAlertIdsStillLetChecksBeSaved_data()
    {
        QTest::addColumn<QString>("stored"); // as SQL, beside alert 1
        QTest::addColumn<QString>("ids");    // of every alert after a check that would raise three
        QTest::addColumn<QString>("issued"); // the highest id given, kept as alert 1 is deleted
        const QString alert = "INSERT INTO rank_alert SELECT %1, 'x', apple_app_id, app_name, keyword_normalized, "
                              "keyword_display, country, kind_raw, from_rank, to_rank, observation_id, created_at, is_read "
                              "FROM rank_alert";
        const QString issued = "INSERT INTO store_meta (key, value) VALUES ('alertIdsIssued', %1)";
        QTest::newRow("an alert with the largest id") << alert.arg("9223372036854775807") << "1 2 3 4 9223372036854775807" << "4";
        QTest::newRow("an alert one below it") << alert.arg("9223372036854775806") << "1 2 3 4 9223372036854775806" << "4";
        QTest::newRow("an alert past the ceiling") << alert.arg("9007199254740993") << "1 2 3 4 9007199254740993" << "4";
        QTest::newRow("an alert at the ceiling") << alert.arg("9007199254740992") << "1 9007199254740992" << "9007199254740992";
        QTest::newRow("an alert below zero") << alert.arg("-7") << "-7 1 2 3 4" << "4";
        QTest::newRow("ids issued to the ceiling") << issued.arg("9007199254740992") << "1" << "9007199254740992";
        QTest::newRow("ids issued to one below it") << issued.arg("9007199254740991") << "1 9007199254740992" << "9007199254740992";
        QTest::newRow("ids issued past the ceiling") << issued.arg("9007199254740993") << "1 2 3 4" << "4";
    }

    void highAlertIdsStillLetChecksBeSaved()
    {
        QFETCH(QString, stored);
        QFETCH(QString, ids);
        QFETCH(QString, issued);
        const auto file = path();
        ASOStore store(StoreDb::openFile(file), m_client);
        TrackedApp app(AppInfo{QStringLiteral("100001"), QStringLiteral("App")}, true);
        app.trackedCountries = {QStringLiteral("us")};
        QVERIFY(store.db().insert(app));
        const QStringList terms{QStringLiteral("chess"), QStringLiteral("go"), QStringLiteral("shogi")};
        store.addKeywords(terms, app);
        // Yesterday the app was not found; now each search finds it first.
        for (const auto &term : terms) {
            SearchObservation earlier{0, QUuid::createUuid(), term, QStringLiteral("us"),
                                      QDateTime::currentDateTimeUtc().addDays(-1), true, 200, 0, 1, {}, true, "[]"};
            QVERIFY(store.db().insert(earlier));
            store.apply(earlier, app);
        }
        auto first = madeAlert(app.appleAppId);
        QVERIFY(store.db().insert(first));
        QCOMPARE(onFile(file, stored), QString());
        m_client->answer = [&app](const QString &) { return FakeSearchClient::results({app.appleAppId}); };

        QSignalSpy told(&store, &ASOStore::problem);
        SilentNotifier notifier;
        RankTracker tracker(&store, &notifier);
        QCoro::waitFor(tracker.runAll());
        QCOMPARE(onFile(file, QStringLiteral("SELECT latest_rank FROM rank_state")), "1 1 1");
        QCOMPARE(onFile(file, QStringLiteral("SELECT count(*) FROM rank_snapshot")), "6");
        QCOMPARE(onFile(file, QStringLiteral("SELECT pk FROM rank_alert ORDER BY pk")), ids);
        QCOMPARE(told.size(), ids.contains(QStringLiteral("2 3 4")) ? 0 : 1);
        QStringList flagged;
        for (const auto &[id, read] : store.alertReadFlags())
            flagged.append(QString::number(read ? 0 : id));
        flagged.sort();
        QCOMPARE(flagged.join(u' '), ids);
        QVERIFY(store.db().removeAlerts({first.persistentId}));
        QCOMPARE(onFile(file, QStringLiteral("SELECT value FROM store_meta WHERE key = 'alertIdsIssued'")), issued);
    }
};

QTEST_GUILESS_MAIN(TestDamagedValues)
#include "tst_damagedvalues.moc"
