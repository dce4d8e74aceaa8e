#include "model/Schema.h"
#include "model/StoreDb.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

static QByteArray contents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// Builds a database file with its own connection, with the given version and statements.
static void writeDatabase(const QString &path, int userVersion, const QStringList &statements)
{
    const auto name = QStringLiteral("writer");
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot write the test database");
        QSqlQuery query(db);
        for (const auto &statement : statements) {
            if (!query.exec(statement))
                qFatal("cannot run %s", qPrintable(statement));
        }
        query.exec(QStringLiteral("PRAGMA user_version = %1").arg(userVersion));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// Opening the database file: it is created where the application keeps its data, keeps what
// was saved across a close, and a file that is not a database of this schema is refused and
// left byte for byte as it was.
class TestContainer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", m_home.path().toUtf8());
        qunsetenv("XDG_DATA_HOME");
        QStandardPaths::setTestModeEnabled(true);
    }

    void testModeStaysInMemory()
    {
        QVERIFY(StoreDb::isTestMode());
        const auto db = StoreDb::open();
        QVERIFY(db->filePath().isEmpty());
        QVERIFY(!QFileInfo::exists(StoreDb::defaultFilePath()));
    }

    void fileIsCreatedInTheDataFolderAndSurvivesReopening()
    {
        const auto path = StoreDb::defaultFilePath();
        QVERIFY(path.startsWith(m_home.path()));
        QVERIFY(!QFileInfo::exists(QFileInfo(path).absolutePath()));

        qint64 appId = 0;
        {
            auto db = StoreDb::openFile(path);
            QCOMPARE(db->filePath(), path);
            QVERIFY(QFileInfo::exists(path));
            // Write-ahead logging keeps its log beside the file while the connection is open.
            QVERIFY(QFileInfo::exists(path + QStringLiteral("-wal")));

            TrackedApp app(AppInfo{QStringLiteral("123"), QStringLiteral("Kept")}, true);
            Keyword keyword(QStringLiteral("chess"), QStringLiteral("Chess"));
            StoreDb::Transaction transaction(*db);
            QVERIFY(db->insert(app));
            QVERIFY(db->insert(keyword));
            KeywordLink link(app, keyword, PlannedCandidate{QStringLiteral("Chess"), KeywordSource::manual, {}, {}}, 0, 0);
            QVERIFY(db->insert(link));
            QVERIFY(transaction.commit());
            appId = app.persistentId;
        }

        auto db = StoreDb::openFile(path);
        const auto app = db->appByAppleId(QStringLiteral("123"));
        QVERIFY(app && app->persistentId == appId && app->name == u"Kept" && app->isOwn);
        QCOMPARE(db->linksOfApp(appId).size(), 1);
        // Foreign keys are switched on again for the new connection.
        QVERIFY(db->remove(*app));
        QCOMPARE(db->linksOfApp(appId).size(), 0);
        QVERIFY(db->keywordByNormalized(QStringLiteral("chess")));
    }

    void refusedFilesStayUnchanged_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("damaged header") << "damaged" << "is damaged or is not a database";
        QTest::newRow("another application's database") << "foreign" << "another application";
        QTest::newRow("newer schema") << "newer" << "newer version";
        QTest::newRow("unknown older version") << "older" << "cannot read";
        QTest::newRow("same version, other tables") << "impostor" << "does not hold the tables";
    }

    void refusedFilesStayUnchanged()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));

        if (kind == QLatin1String("damaged")) {
            { auto db = StoreDb::openFile(path); }
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.write("garbage in head!");
        } else if (kind == QLatin1String("foreign")) {
            writeDatabase(path, 0, {QStringLiteral("CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT)"),
                                    QStringLiteral("INSERT INTO notes(body) VALUES ('keep me')")});
        } else if (kind == QLatin1String("newer")) {
            writeDatabase(path, Schema::userVersion + 100, {QStringLiteral("CREATE TABLE tracked_app(pk INTEGER)")});
        } else if (kind == QLatin1String("older")) {
            writeDatabase(path, 5, {QStringLiteral("CREATE TABLE tracked_app(pk INTEGER)")});
        } else {
            writeDatabase(path, Schema::userVersion, {QStringLiteral("CREATE TABLE tracked_app(pk INTEGER, name TEXT)")});
        }

        const auto before = contents(path);
        QVERIFY(!before.isEmpty());
        try {
            StoreDb::openFile(path);
            QFAIL("the file was accepted");
        } catch (const StoreDb::OpenError &error) {
            QVERIFY2(error.description().contains(reason), qPrintable(error.description()));
            QVERIFY(error.description().contains(QDir::toNativeSeparators(path)));
            QVERIFY(error.startupMessage().startsWith(QStringLiteral("Could not open the local database: ")));
        }
        QCOMPARE(contents(path), before);
    }

private:
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(TestContainer)
#include "tst_container.moc"
