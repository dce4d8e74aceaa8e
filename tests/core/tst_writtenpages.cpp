// The count of pages written at SQLite's side that the benchmarks report: only the distinct pages
// between two syncs of a file count, for the log by its frames' slots.
#include "WrittenPages.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class tst_WrittenPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(WrittenPages::install()); }
    void countsDistinctPagesBetweenSyncs_data();
    void countsDistinctPagesBetweenSyncs();
};

void tst_WrittenPages::countsDistinctPagesBetweenSyncs_data()
{
    QTest::addColumn<QString>("synchronous");
    QTest::addColumn<QString>("between");
    QTest::addColumn<qint64>("log");
    QTest::addColumn<qint64>("file");

    // Two rounds of 30 saves, each of one row on a page of its own, each round copied back into
    // the file; the second round writes the log's slots and the file's pages again.
    QTest::newRow("synced") << "FULL" << "RESTART" << qint64(60) << qint64(60);
    QTest::newRow("never synced") << "OFF" << "RESTART" << qint64(30) << qint64(30);
    QTest::newRow("log truncated, never synced") << "OFF" << "TRUNCATE" << qint64(60) << qint64(30);
}

void tst_WrittenPages::countsDistinctPagesBetweenSyncs()
{
    QFETCH(QString, synchronous);
    QFETCH(QString, between);
    QFETCH(qint64, log);
    QFETCH(qint64, file);
    constexpr int rows = 30;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto name = QString::fromLatin1(QTest::currentDataTag());
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dir.filePath(QStringLiteral("pages.sqlite")));
        QVERIFY(db.open());
        QSqlQuery query(db);
        const auto run = [&query](const QString &sql) {
            const bool ran = query.exec(sql);
            query.finish();
            return ran;
        };
        // Small pages: a log's frames, 24 bytes longer than a page, drift off the pages' bounds soon.
        QVERIFY(run(QStringLiteral("PRAGMA page_size = 512")));
        QVERIFY(run(QStringLiteral("PRAGMA journal_mode = WAL")));
        QVERIFY(run(QStringLiteral("PRAGMA wal_autocheckpoint = 0")));
        QVERIFY(run(QStringLiteral("PRAGMA synchronous = ") + synchronous));
        QVERIFY(run(QStringLiteral("CREATE TABLE t(x BLOB)")));
        // Rows of 400 bytes: one a page.
        for (int row = 0; row < rows; ++row)
            QVERIFY(run(QStringLiteral("INSERT INTO t VALUES (zeroblob(400))")));
        QVERIFY(run(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
        WrittenPages::reset();

        for (int round = 0; round < 2; ++round) {
            for (int row = 1; row <= rows; ++row)
                QVERIFY(run(QStringLiteral("UPDATE t SET x = randomblob(400) WHERE rowid = %1").arg(row)));
            QVERIFY(query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")) && query.next());
            QCOMPARE(query.value(1).toInt(), rows); // frames in the log, one a save
            QCOMPARE(query.value(2).toInt(), rows); // all copied back
            query.finish();
            if (round == 0)
                QVERIFY(run(QStringLiteral("PRAGMA wal_checkpoint(%1)").arg(between)));
        }
        const auto written = WrittenPages::written();
        QCOMPARE(written.log, log);
        QCOMPARE(written.file, file);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QTEST_GUILESS_MAIN(tst_WrittenPages)
#include "tst_writtenpages.moc"
