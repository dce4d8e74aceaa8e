#include "store/ASOStore.h"

#include "AlertFlags.h"
#include "FakeSearchClient.h"
#include "LockHolder.h"
#include "TestSettings.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

// The journal of alert edits and their records: what a quit leaves in the file, which database a
// journal edits, in which order edits apply, and what damaged or huge records cost.
class TestAlertJournal : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    QTemporaryDir m_dir;
    std::shared_ptr<FakeSearchClient> m_client = std::make_shared<FakeSearchClient>();

    QString folder()
    {
        const auto name = QString::fromLatin1(QTest::currentTestFunction()) + u'-'
            + QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression(QStringLiteral("\\W+")), QStringLiteral("-"));
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }

    // A new file of `count` unread alerts, or that many more alerts in it.
    static void addAlerts(const QString &path, int count, ASOStore *open = nullptr)
    {
        std::optional<ASOStore> made;
        auto &store = open ? *open : made.emplace(StoreDb::openFile(path), std::make_shared<FakeSearchClient>());
        StoreDb::Transaction save(store.db());
        for (int i = 0; i < count; ++i) {
            RankAlert alert{0, QUuid::createUuid(), QStringLiteral("1"), QStringLiteral("App"), QStringLiteral("k"),
                            QStringLiteral("k"), QStringLiteral("us"), QStringLiteral("MOVED_UP"), 3, 1,
                            QUuid::createUuid(), QDateTime::currentDateTimeUtc(), false};
            QVERIFY(store.db().insert(alert));
        }
        QVERIFY(save.commit());
    }

    // Each alert's row id and flag as another program reads the file (see alertFlags()); or the
    // rows of another statement, two columns each.
    static QString storedAlerts(const QString &path, const QString &sql = QStringLiteral("SELECT pk, is_read FROM rank_alert ORDER BY pk"))
    {
        QStringList alerts;
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
            db.setDatabaseName(path);
            QSqlQuery query(db.open() ? db : QSqlDatabase());
            query.exec(sql);
            while (query.next())
                alerts.append(query.value(0).toString() + (query.value(1).toBool() ? u'r' : u'o'));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
        return alerts.join(u' ');
    }

    static void copyFiles(const QString &from, const QString &to, const QStringList &suffixes)
    {
        for (const auto &suffix : suffixes) {
            QFile::remove(to + suffix);
            QVERIFY(!QFileInfo::exists(from + suffix) || QFile::copy(from + suffix, to + suffix));
        }
    }

    // The messages the store gives as it starts, once the event loop turned.
    static QStringList toldAtStart(ASOStore &store)
    {
        QSignalSpy told(&store, &ASOStore::problem);
        bool turned = false;
        QMetaObject::invokeMethod(&store, [&turned] { turned = true; }, Qt::QueuedConnection);
        [&] { QTRY_VERIFY(turned); }();
        QStringList messages;
        for (const auto &message : told)
            messages.append(message.at(0).toString());
        return messages;
    }

private Q_SLOTS:
    void init() { TestSettings::reset(); }

    // After a quit the file alone holds every edit, and the journal is empty. Only a journal left
    // by a crash, or by a quit whose save another program's lock refused, is applied at the next
    // start, and only to the file it was written for, in the state it was written for: never to
    // a copy of that file from before it, nor to another database put in its place, where it is
    // set aside, unchanged, and the user told.
    void aJournalEditsOnlyItsFile_data()
    {
        QTest::addColumn<bool>("locked"); // another program holds the write lock from the Clear to the quit
        QTest::addColumn<bool>("crash"); // else a quit
        QTest::addColumn<QString>("put"); // what is in the file's place at the next start
        QTest::addColumn<bool>("setAside");
        QTest::newRow("the file, after a crash") << false << true << "file" << false;
        QTest::newRow("the file, after a quit during a lock") << true << false << "file" << false;
        QTest::newRow("a backup from before the clear, after a quit") << false << false << "backup" << false;
        QTest::newRow("a backup from before the clear, after a crash") << false << true << "backup" << true;
        QTest::newRow("a backup of the run before, after a quit during a lock") << true << false << "earlier" << true;
        QTest::newRow("another account's file, after a quit during a lock") << true << false << "other" << true;
    }

    void aJournalEditsOnlyItsFile()
    {
        QFETCH(bool, locked);
        QFETCH(bool, crash);
        QFETCH(QString, put);
        QFETCH(bool, setAside);
        const auto dir = folder();
        const auto path = dir + QStringLiteral("/vantu.sqlite");
        const QStringList files{"", "-wal"};
        addAlerts(path, 1200);
        addAlerts(dir + QStringLiteral("/other"), 1300);
        copyFiles(path, dir + QStringLiteral("/earlier"), files);
        QString edited;
        {
            std::optional<LockHolder> holder;
            ASOStore store(StoreDb::openFile(path), m_client);
            copyFiles(path, dir + QStringLiteral("/backup"), files);
            copyFiles(path, dir + QStringLiteral("/file"), files);
            if (locked)
                holder.emplace(path, std::chrono::seconds(60));
            store.deleteAlerts(store.alerts().mid(0, 1100));
            edited = alertFlags(store);
            if (crash)
                copyFiles(path, dir + QStringLiteral("/file"), {"", "-wal", "-edits", "-running"});
            else
                store.shutDown();
        }
        if (!crash) {
            QCOMPARE(QFileInfo(path + QStringLiteral("-edits")).size() == 0, !locked);
            QCOMPARE(storedAlerts(path) == edited, !locked);
            copyFiles(path, dir + QStringLiteral("/file"), {"", "-wal", "-edits"});
        }
        const auto journal = dir + QStringLiteral("/file-edits");
        const auto start = dir + QStringLiteral("/start/vantu.sqlite");
        QDir(dir).mkpath(QStringLiteral("start"));
        copyFiles(dir + u'/' + put, start, {"", "-wal", "-running"});
        QVERIFY(QFile::copy(journal, start + QStringLiteral("-edits")));
        const auto asPut = storedAlerts(start);

        ASOStore store(StoreDb::openFile(start), m_client);
        const auto told = toldAtStart(store);
        QCOMPARE(alertFlags(store), put == u"file" ? edited : asPut);
        const auto aside = QDir(dir + QStringLiteral("/start")).entryList({QStringLiteral("vantu.sqlite-edits-set-aside-*")});
        QCOMPARE(aside.size(), setAside ? 1 : 0);
        QCOMPARE(told.filter(QStringLiteral("set aside, unchanged")).size(), setAside ? 1 : 0);
        if (setAside) {
            QFile kept(dir + QStringLiteral("/start/") + aside.first()), original(journal);
            QVERIFY(kept.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), original.readAll());
        }
        // A quit whose save failed is told of at the next start; a crash is told by the check.
        QCOMPARE(told.filter(QStringLiteral("When Vantu last quit")).size(), put == u"file" && !crash ? 1 : 0);
        QTRY_VERIFY_WITH_TIMEOUT(store.isIdle() && !store.db().writesHeld(), 60000);
        QCOMPARE(storedAlerts(start), alertFlags(store));
    }

    // Kept edits apply in the order they were made, whether the journal or the database kept
    // them; damaged bytes in the journal cost only the frames they touch, and are told of once;
    // and what records take is bounded by the alerts there are, not by the ids they name.
    void keptEditsApplyAsMade_data()
    {
        // In the order made: where kept (j journal, d database), what (r read, u unread, x delete),
        // the ids, and how many such records.
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("damage"); // to the journal's third frame, or its end
        QTest::addColumn<QString>("expected");
        const QStringList four{"jr 1 2", "jx 3 3", "jx 4 4", "jr 5 5"};
        QTest::newRow("journal read, then database unread") << QStringList{"jr 2 2", "du 2 2"} << "" << "1o 2o 3o 4o 5o";
        QTest::newRow("journal unread, then database read") << QStringList{"ju 2 2", "dr 2 2"} << "" << "1o 2r 3o 4o 5o";
        QTest::newRow("database read, then journal unread") << QStringList{"dr 2 2", "ju 2 2"} << "" << "1o 2o 3o 4o 5o";
        QTest::newRow("a flipped byte") << four << "flip" << "1r 2r 4o 5r";
        QTest::newRow("a bad length") << four << "length" << "1r 2r 4o 5r";
        QTest::newRow("three stray bytes after a frame") << four << "stray" << "1r 2r 5r";
        QTest::newRow("cut short") << four << "cut" << "1r 2r 5o";
        QTest::newRow("ids 1 to 2^53") << QStringList{"dr 1 9007199254740992"} << "" << "1r 2r 3r 4r 9007199254740992r";
        QTest::newRow("10,000 records of ids 1 to 150,000") << QStringList{"jr 1 150000 10000"} << "" << "1r 2r 3r 4r 150000r";
    }

    void keptEditsApplyAsMade()
    {
        QFETCH(QStringList, edits);
        QFETCH(QString, damage);
        QFETCH(QString, expected);
        const auto path = folder() + QStringLiteral("/vantu.sqlite");
        addAlerts(path, 5);
        qint64 highest = 5;
        {
            auto db = StoreDb::openFile(path);
            qint64 sequence = 0;
            for (const auto &edit : edits) {
                const auto parts = edit.split(u' ');
                const auto kind = StoreDb::AlertEditKind(QStringLiteral("xru").indexOf(parts.at(0).at(1)));
                const StoreDb::AlertIdRun run{parts.at(1).toLongLong(), parts.at(2).toLongLong()};
                highest = std::max(highest, run.last);
                for (int i = 0; i < parts.value(3, QStringLiteral("1")).toInt(); ++i) {
                    QVERIFY(parts.at(0).at(0) == u'j' ? db->journalAlertEdit(++sequence, kind, {run})
                                                      : !db->recordAlertEdit(++sequence, kind, {run}).isEmpty());
                }
            }
        }
        // An alert of the highest id named: no record names an id above the highest given.
        QCOMPARE(storedAlerts(path, QStringLiteral("UPDATE rank_alert SET pk = %1 WHERE pk = 5").arg(highest)), QString());
        if (!damage.isEmpty()) {
            QFile journal(path + QStringLiteral("-edits"));
            QVERIFY(journal.open(QIODevice::ReadWrite));
            auto bytes = journal.readAll();
            // The owner's frame, then four of the same size.
            const auto at = bytes.size() - 2 * (bytes.size() - 29) / 4;
            if (damage == u"flip")
                bytes[at + 15] = char(bytes.at(at + 15) ^ 0x10);
            else if (damage == u"length")
                bytes[at + 6] = char(bytes.at(at + 6) + 1);
            else if (damage == u"stray")
                bytes.insert(at + (bytes.size() - 29) / 4, "\x01\xa7V", 3);
            else
                bytes.chop(3);
            QVERIFY(journal.resize(0) && journal.write(bytes) == bytes.size());
        }

        ASOStore store(StoreDb::openFile(path), m_client);
        const auto told = toldAtStart(store);
        QCOMPARE(told.filter(QStringLiteral("found damaged")).size(), damage.isEmpty() ? 0 : 1);
        QCOMPARE(alertFlags(store), expected);
        QTRY_VERIFY_WITH_TIMEOUT(store.isIdle(), 60000);
        QCOMPARE(storedAlerts(path), expected);
    }
};

QTEST_GUILESS_MAIN(TestAlertJournal)
#include "tst_alertjournal.moc"
