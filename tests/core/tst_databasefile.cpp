#include "model/LogCheckpointer.h"
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"

#include "DamagedDatabase.h"
#include "DiskSyncs.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>

namespace {

using namespace DamagedDatabase;

constexpr int linksPerProcess = 150;

// The two-process test's writer: links the keywords to its own app, one save each, once the
// test says go. Linked as a discovery run does, whose saves wait for the other's commit (a click's
// are refused instead).
int linkKeywords(const QString &path, const QString &appleAppId)
{
    ASOStore store(StoreDb::openFile(path));
    // The other writer's marker reads as an unclean end: the file is checked first.
    if (store.db().writesHeld() && !QSignalSpy(&store.db(), &StoreDb::writesReleased).wait(60000))
        return 4;
    TrackedApp app(AppInfo{appleAppId, QStringLiteral("App ") + appleAppId}, true);
    if (!store.db().insert(app))
        return 2;
    QTextStream(stdout) << "ready" << Qt::endl;
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly) || input.readLine().trimmed() != "go")
        return 3;
    for (int i = 0; i < linksPerProcess; ++i)
        store.link({PlannedCandidate{QStringLiteral("keyword %1").arg(i), KeywordSource::manual, {}, {}}}, app);
    return 0;
}

constexpr int searchesInFile = 500;

// The shortened-file test's reader: opens the store, cuts the file under it to `keptPercent` of
// its size, as another program or a failing disk may, and reads as the window does. Exits with
// 0 and the damage text when the damage was reported, 3 when it went unnoticed.
int readShortened(const QString &path, int keptPercent)
{
    ASOStore store(StoreDb::openFile(path));
    const auto app = store.app(QStringLiteral("42"));
    if (!app || !QFile::resize(path, QFileInfo(path).size() * keptPercent / 100))
        return 2;
    QSet<QString> keywords;
    for (int i = 0; i < searchesInFile; ++i)
        keywords.insert(QStringLiteral("keyword %1").arg(i));
    store.linkedKeywords(*app);
    store.readRows(*app, QStringLiteral("us"));
    store.latestEvidence(keywords, QStringLiteral("us"));
    if (!store.databaseDamage())
        return 3;
    QTextStream(stdout) << *store.databaseDamage() << Qt::endl;
    return 0;
}

// Leaves the file as a crash leaves it after a save: the change is in the log only.
void leaveLoggedChange(const QString &path)
{
    const auto log = path + QStringLiteral("-wal");
    rawQuery(path, {QStringLiteral("UPDATE tracked_app SET name = 'Renamed'"), QString()}, [&] {
        if (!QFile::copy(path, path + QStringLiteral(".crashed")) || !QFile::copy(log, log + QStringLiteral(".crashed")))
            qFatal("cannot copy the crashed database");
    });
    if (!QFile::remove(path) || !QFile::rename(path + QStringLiteral(".crashed"), path)
        || !QFile::rename(log + QStringLiteral(".crashed"), log))
        qFatal("cannot put the crashed database in place");
}

struct LogWriting
{
    qint64 bytes = 0;
    int refused = 0;
    qint64 largestLog = 0;
    std::chrono::milliseconds longestSave{0};
};

// Saves keywords one after another, as the window does, until `bytes` were written or the log
// reached `logBytes`; pauses as a run does every `pauseEvery` saves (0: never, giving the event
// loop a turn instead).
QCoro::Task<LogWriting> writeLog(ASOStore &store, int first, qint64 bytes, int pauseEvery, qint64 logBytes = 0)
{
    LogWriting result;
    const auto log = store.db().filePath() + QStringLiteral("-wal");
    for (int i = first; result.bytes < bytes && !(logBytes && result.largestLog >= logBytes); ++i) {
        const auto text = QStringLiteral("Keyword %1 ").arg(i).repeated(300);
        QElapsedTimer timer;
        timer.start();
        {
            StoreDb::Transaction save(store.db());
            Keyword keyword(QStringLiteral("keyword %1").arg(i), text);
            if (!store.db().insert(keyword) || !save.commit())
                ++result.refused;
        }
        result.longestSave = std::max(result.longestSave, std::chrono::milliseconds(timer.elapsed()));
        result.bytes += text.size();
        result.largestLog = std::max(result.largestLog, QFileInfo(log).size());
        if (pauseEvery && (i - first + 1) % pauseEvery == 0)
            co_await store.pauseIfSliceSpent();
        else if (!pauseEvery)
            QCoreApplication::processEvents();
    }
    co_return result;
}

// The first salt of the log's header, which every restart raises by one, whichever connection
// begins the log anew: two readings tell how often it began anew in between, as the log shows it.
quint32 logSalt(const QString &path)
{
    QFile log(path + QStringLiteral("-wal"));
    const auto header = log.open(QIODevice::ReadOnly) ? log.read(24) : QByteArray();
    if (header.size() < 24)
        qFatal("the log has no header");
    return qFromBigEndian<quint32>(header.constData() + 16);
}

// Sets the log's limits for the files opened meanwhile.
class LogLimits
{
public:
    explicit LogLimits(LogCheckpointer::Limits limits) : m_saved(LogCheckpointer::defaultLimits())
    {
        LogCheckpointer::defaultLimits() = limits;
    }
    ~LogLimits() { LogCheckpointer::defaultLimits() = m_saved; }
    Q_DISABLE_COPY_MOVE(LogLimits)

private:
    LogCheckpointer::Limits m_saved;
};

}

// The database file as several processes, crashes and damage leave it: concurrent writers
// keep every save, a file is checked in full after an unclean end, damage found while running
// stops all writing, and a leftover rollback journal is judged on a copy.
class TestDatabaseFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        for (const char *variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            qputenv(variable, m_home.path().toUtf8());
    }

    void twoProcessesKeepEverySave()
    {
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        // Made before the writers start: a file that another process is still creating reads
        // as no database of ours. One instance per user never meets that.
        ASOStore(StoreDb::openFile(path));
        QList<QProcess *> writers;
        for (const auto &appleAppId : {QStringLiteral("1"), QStringLiteral("2")}) {
            auto *writer = new QProcess(this);
            writer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writer->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--link-keywords"), path, appleAppId});
            writers.append(writer);
        }
        // Both have opened the file before either writes, so that their saves interleave.
        for (auto *writer : writers) {
            QVERIFY(writer->waitForReadyRead(60000));
            QCOMPARE(writer->readLine().trimmed(), QByteArray("ready"));
        }
        for (auto *writer : writers) {
            writer->write("go\n");
            QVERIFY(writer->waitForBytesWritten(10000));
        }
        for (auto *writer : writers) {
            QVERIFY(writer->waitForFinished(120000));
            QCOMPARE(writer->exitStatus(), QProcess::NormalExit);
            QCOMPARE(writer->exitCode(), 0);
        }

        auto db = StoreDb::openFile(path);
        for (const auto &appleAppId : {QStringLiteral("1"), QStringLiteral("2")})
            QCOMPARE(db->linkCountOfApp(db->appByAppleId(appleAppId)->persistentId), qint64(linksPerProcess));
    }

    void uncleanEndChecksTheWholeFile_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("closedWhileChecking");
        QTest::newRow("sound file") << false << false;
        QTest::newRow("damaged page") << true << false;
        QTest::newRow("closed while checking") << false << true;
    }

    // The check runs in the background: reads go on at once, writes wait for it to pass, and
    // damage it finds stops them for good and is told once.
    void uncleanEndChecksTheWholeFile()
    {
        QFETCH(bool, damaged);
        QFETCH(bool, closedWhileChecking);
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        const auto marker = StoreDb::runningMarkerPath(path);
        leaveUncleanEnd(path, damaged);
        const auto before = contents(path);
        {
            ASOStore store(StoreDb::openFile(path));
            QVERIFY(store.db().writesHeld());
            const auto app = *store.app(QStringLiteral("42"));
            store.setOwn(app, false);
            QVERIFY(store.app(QStringLiteral("42"))->isOwn);
            QCOMPARE(contents(path), before);
            if (!closedWhileChecking)
                awaitCheck(store, damaged);
        }
        // Only a clean close of a file found sound takes the marker away: a check that did not
        // end is made again at the next start.
        QCOMPARE(QFileInfo::exists(marker), damaged || closedWhileChecking);
        if (damaged)
            QCOMPARE(contents(path), before);
    }

    void damageFoundWhileRunningStopsWriting()
    {
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        writeFilled(path);
        damageKeywordTable(path);
        {
            // After a clean exit the page goes unnoticed until it is read.
            ASOStore store(StoreDb::openFile(path));
            QSignalSpy damagedSpy(&store, &ASOStore::databaseDamaged);
            QSignalSpy savedSpy(&store, &ASOStore::saved);
            QVERIFY(!store.databaseDamage());
            const auto app = *store.app(QStringLiteral("42"));

            store.addKeywords({QStringLiteral("new keyword")}, app);
            QCOMPARE(damagedSpy.size(), 1);
            QVERIFY(store.databaseDamage() && store.databaseDamage()->contains(QDir::toNativeSeparators(path)));
            QCOMPARE(damagedSpy.first().first().value<std::optional<QString>>(), store.databaseDamage());

            // Writes that touch no damaged page are refused as well, and the user is told once.
            store.setOwn(app, false);
            QVERIFY(store.app(QStringLiteral("42"))->isOwn);
            store.addKeywords({QStringLiteral("another")}, app);
            QCOMPARE(damagedSpy.size(), 1);
            QCOMPARE(savedSpy.size(), 0);
        }
        // The marker stays, so the next start checks the file and finds the damage.
        QVERIFY(QFileInfo::exists(StoreDb::runningMarkerPath(path)));
        ASOStore again(StoreDb::openFile(path));
        QSignalSpy damagedSpy(&again, &ASOStore::databaseDamaged);
        QVERIFY(damagedSpy.wait(30000));
    }

    void shortenedFileIsReportedDamaged_data()
    {
        QTest::addColumn<int>("keptPercent");
        QTest::newRow("last 1% cut") << 99;
        QTest::newRow("half cut") << 50;
    }

    // A file that gets shorter under the open store is reported damaged, not a crash: the reads
    // run in a process of their own, so that a signal fails the test instead of ending it.
    void shortenedFileIsReportedDamaged()
    {
        QFETCH(int, keptPercent);
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        writeSearched(path, searchesInFile);
        QProcess reader;
        reader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        reader.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--read-shortened"), path, QString::number(keptPercent)});
        QVERIFY(reader.waitForFinished(120000));
        QCOMPARE(reader.exitStatus(), QProcess::NormalExit);
        QCOMPARE(reader.exitCode(), 0);
        QVERIFY(reader.readAllStandardOutput().contains(QDir::toNativeSeparators(path).toUtf8()));
    }

    void logIsCopiedBackOffTheWritersThread_data()
    {
        QTest::addColumn<int>("bound"); // pages of log past which it begins anew
        QTest::newRow("copied back") << 1000000;
        QTest::newRow("begun anew") << 300;
    }

    // The writer's thread (the window's) commits and never syncs the disk: the log is copied back
    // and begun anew on another thread, and the writer never restarts a log copied back in full.
    void logIsCopiedBackOffTheWritersThread()
    {
        QFETCH(int, bound);
        const LogLimits limits({50, bound});
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        const auto log = path + QStringLiteral("-wal");
        {
            auto db = StoreDb::openFile(path);
            auto *checkpointer = db->logCheckpointer();
            DiskSyncs::watchThisThread();
            const auto writeKeywords = [&](int from) {
                for (int i = from; i < from + 400; ++i) {
                    // Saved as the store saves: a statement's own commit reports nothing to the log's hook.
                    StoreDb::Transaction save(*db);
                    Keyword keyword(QStringLiteral("keyword %1").arg(i), QStringLiteral("Keyword %1 ").arg(i).repeated(40));
                    QVERIFY(db->insert(keyword) && save.commit());
                }
            };
            writeKeywords(0);
            db->checkpointInBackground();
            if (checkpointer)
                checkpointer->waitUntilIdle();
            const auto logSize = QFileInfo(log).size();
            // The log is copied back in full now: a writer that restarted it would sync.
            writeKeywords(400);
            QCOMPARE(DiskSyncs::onWatched.load(), 0);
            QVERIFY(DiskSyncs::elsewhere.load() > 0);
            QVERIFY(checkpointer && checkpointer->counts().checkpoints > 0);
            QCOMPARE(checkpointer->counts().restarts > 0, bound < 1000000);
            if (bound < 1000000)
                QVERIFY(logSize < qint64(bound) * 4096 + 100000);
        }
        QVERIFY(!QFileInfo::exists(log));
        auto db = StoreDb::openFile(path);
        QVERIFY(db->keywordByNormalized(QStringLiteral("keyword 799")));
    }

    void logIsKeptWhileWritesAreHeld_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("checkEnds");
        QTest::newRow("checked") << false << true;
        QTest::newRow("found damaged") << true << true;
        QTest::newRow("closed while checking") << true << false;
    }

    // Copying the log back writes the file: not while it is being checked, nor once it was found
    // damaged, nor when the store closes then.
    void logIsKeptWhileWritesAreHeld()
    {
        QFETCH(bool, damaged);
        QFETCH(bool, checkEnds);
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        const auto log = path + QStringLiteral("-wal");
        leaveUncleanEnd(path, damaged);
        leaveLoggedChange(path);
        const auto before = contents(path);
        const auto logBefore = contents(log);
        {
            ASOStore store(StoreDb::openFile(path));
            auto *checkpointer = store.db().logCheckpointer();
            QVERIFY(store.db().writesHeld() && checkpointer);
            store.db().checkpointInBackground();
            checkpointer->waitUntilIdle();
            QCOMPARE(contents(path), before);
            // The check's outcome reaches the store through the event loop, which runs only here.
            if (checkEnds) {
                QSignalSpy released(&store.db(), &StoreDb::writesReleased);
                QSignalSpy damagedSpy(&store, &ASOStore::databaseDamaged);
                QTRY_COMPARE_WITH_TIMEOUT(released.size() + damagedSpy.size(), 1, 30000);
                store.db().checkpointInBackground();
                checkpointer->waitUntilIdle();
                QCOMPARE(contents(path) == before, damaged);
                // Not even for a moment before the damage was marked.
                QCOMPARE(checkpointer->counts().allowances, damaged ? 0 : 1);
            }
        }
        // The last close copies the log back into a file known sound only; else both stay as they are.
        const bool kept = damaged || !checkEnds;
        QCOMPARE(contents(path) == before, kept);
        QCOMPARE(contents(log) == logBefore, kept);
    }

    // Damage that a read finds while the log is being copied back stops the copy: not a page more
    // goes into the file, not even when the store closes, and the log keeps the saves.
    void damageFoundWhileCopyingBackStopsTheCopy()
    {
        const LogLimits limits({1000000, 1000000});
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        const auto log = path + QStringLiteral("-wal");
        writeFilled(path);
        damageTable(path, QStringLiteral("keyword_link_app"));
        QByteArray before;
        QByteArray logBefore;
        {
            ASOStore store(StoreDb::openFile(path));
            auto &db = store.db();
            QVERIFY(db.logCheckpointer());
            // What the opening wrote is copied back first; what is written next waits in the log.
            db.logCheckpointer()->waitUntilIdle();
            QVERIFY(QCoro::waitFor(writeLog(store, 1000, 100000, 0)).refused == 0);
            before = contents(path);
            logBefore = contents(log);
            DiskSyncs::watchThisThread();
            DiskSyncs::HeldSyncs syncs;
            db.checkpointInBackground();
            // The copy has begun: it syncs the log before it writes the file.
            QVERIFY(syncs.awaitOne());
            db.linkCountOfApp(store.app(QStringLiteral("42"))->persistentId);
            QVERIFY(db.damage());
            syncs.letGo();
            db.logCheckpointer()->waitUntilIdle();
            QCOMPARE(contents(path), before);
        }
        QCOMPARE(contents(path), before);
        QCOMPARE(contents(log), logBefore);
    }

    void damageFoundAsTheStoreClosesIsCheckedNextStart_data()
    {
        QTest::addColumn<bool>("copiedBeforeClose");
        QTest::newRow("found by the copying thread, not yet told") << true;
        QTest::newRow("met by the last close") << false;
    }

    // A file cut short under the open store is found damaged when the log is copied back into it:
    // on the copying thread just before the store goes, its report queued to an event loop that
    // turns no more, or by the close itself. The marker stays either way, the close leaves the file
    // and the log as they are, and the next start checks the file rather than take it as sound.
    void damageFoundAsTheStoreClosesIsCheckedNextStart()
    {
        QFETCH(bool, copiedBeforeClose);
        const LogLimits limits({1000000, 1000000});
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        writeSearched(path, 100);
        QByteArray before;
        QByteArray logBefore;
        {
            ASOStore store(StoreDb::openFile(path));
            auto *checkpointer = store.db().logCheckpointer();
            QVERIFY(checkpointer && !store.db().writesHeld());
            checkpointer->waitUntilIdle();
            // Waits in the log: nothing copies it back until asked.
            store.addKeywords({QStringLiteral("new keyword")}, *store.app(QStringLiteral("42")));
            QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
            before = contents(path);
            logBefore = contents(path + QStringLiteral("-wal"));
            if (copiedBeforeClose) {
                store.db().checkpointInBackground();
                checkpointer->waitUntilIdle();
                QVERIFY(checkpointer->damage() && !store.databaseDamage());
            }
        }
        QVERIFY(QFileInfo::exists(StoreDb::runningMarkerPath(path)));
        QCOMPARE(contents(path), before);
        QCOMPARE(contents(path + QStringLiteral("-wal")), logBefore);
        ASOStore again(StoreDb::openFile(path));
        QVERIFY(again.db().writesHeld());
        QVERIFY(again.databaseDamage() || QSignalSpy(&again, &ASOStore::databaseDamaged).wait(30000));
    }

    void logStaysWithinItsBoundWhileARunWrites_data()
    {
        QTest::addColumn<int>("pauseEvery"); // saves between the writer's pauses, as a run's; 0: never
        QTest::addColumn<int>("slowSyncMs"); // how long the other threads' syncs take at least
        QTest::addColumn<bool>("ranBefore"); // a run stepped aside once before this writer began
        // Holds are left to the design rather than to how fast this machine copies, but where
        // syncs are slow: there they must make way for the saves.
        QTest::addColumn<bool>("quickDisk");
        QTest::newRow("run that steps aside") << 1 << 0 << false << true;
        QTest::newRow("writer that does not") << 0 << 0 << false << true;
        QTest::newRow("writer that does not, after a run that did") << 0 << 0 << true << true;
        QTest::newRow("run that steps aside, slow syncs") << 2 << 300 << false << false;
        QTest::newRow("writer that does not, slow syncs") << 0 << 1000 << false << false;
    }

    // A run saves its readings one after another and pauses between them; the log restarts at its
    // bound all along, not once the run's writes stop, and the writer's thread never syncs. A writer
    // that does not pause is held in a commit while the log begins anew, but never while copying
    // back is slow: no save waits for a sync, none is refused.
    void logStaysWithinItsBoundWhileARunWrites()
    {
        QFETCH(int, pauseEvery);
        QFETCH(int, slowSyncMs);
        QFETCH(bool, ranBefore);
        QFETCH(bool, quickDisk);
        // The application's own proportions, scaled down to a bound of 4 MB. After a run, the
        // writer is never held on its own, so that only the restart's hold keeps its log short.
        LogCheckpointer::Limits scaled{64, 1024, ranBefore ? std::numeric_limits<int>::max() : 0};
        if (quickDisk)
            scaled.holdBudget = std::chrono::minutes(10);
        const LogLimits limits(scaled);
        constexpr qint64 frameBytes = 4096 + 24;
        constexpr qint64 boundBytes = 1024 * frameBytes;
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        const auto log = path + QStringLiteral("-wal");
        ASOStore store(StoreDb::openFile(path));
        auto &db = store.db();
        QVERIFY(db.logCheckpointer());
        if (ranBefore) {
            QCoro::waitFor(writeLog(store, 0, 2 * boundBytes, 1));
            QVERIFY(db.logCheckpointer()->counts().restarts >= 1);
        }
        const int restartsBefore = db.logCheckpointer()->counts().restarts;
        DiskSyncs::watchThisThread();
        DiskSyncs::slowElsewhereMs = slowSyncMs;
        // Until the writing ends; closing the store copies the rest back.
        const auto fast = qScopeGuard([] { DiskSyncs::slowElsewhereMs = 0; });
        // The log grows by about four times the text saved. Far past the bound on a quick disk; on
        // a slow one, where each restart keeps a run waiting for seconds, twice past it; a writer
        // that goes on, far past where it would be held on a quick disk.
        const qint64 toWrite = !slowSyncMs ? 10 * boundBytes : pauseEvery ? boundBytes / 2 : 3 * boundBytes;
        const auto written = QCoro::waitFor(writeLog(store, 100000, toWrite, pauseEvery));
        DiskSyncs::slowElsewhereMs = 0;
        QVERIFY2(written.refused == 0, qPrintable(QString::number(written.refused)));
        QVERIFY(written.bytes >= toWrite);
        QCOMPARE(DiskSyncs::onWatched.load(), 0);
        const int restarts = db.logCheckpointer()->counts().restarts - restartsBefore;
        const auto report = QStringLiteral("largest %1, %2 restarts, longest save %3 ms")
                                .arg(written.largestLog)
                                .arg(restarts)
                                .arg(written.longestSave.count());
        if (slowSyncMs) {
            // A save that met a sync would have waited for all of it.
            QVERIFY2(written.longestSave < std::chrono::milliseconds(slowSyncMs), qPrintable(report));
            return;
        }
        // Restarts lag behind the bound by what a writer adds before it steps aside or is held;
        // one that never is holds itself at twice the bound.
        QVERIFY2(restarts >= (ranBefore ? 2 : 4), qPrintable(report));
        if (pauseEvery)
            QVERIFY2(written.largestLog < boundBytes * 5 / 4, qPrintable(report));
        else if (!ranBefore)
            QVERIFY2(written.largestLog < 2 * boundBytes + 64 * frameBytes, qPrintable(report));
    }

    void logBeginsAnewOncePerCrossingOfItsBound_data()
    {
        QTest::addColumn<bool>("stepsAside");
        QTest::newRow("run that steps aside") << true;
        QTest::newRow("writer that does not") << false;
    }

    // Once past its bound, the log begins anew once, however the writer makes room; not again
    // while it is short.
    void logBeginsAnewOncePerCrossingOfItsBound()
    {
        QFETCH(bool, stepsAside);
        LogCheckpointer::Limits scaled{64, 1024};
        scaled.holdBudget = std::chrono::minutes(10);
        const LogLimits limits(scaled);
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        ASOStore store(StoreDb::openFile(path));
        auto *checkpointer = store.db().logCheckpointer();
        QVERIFY(checkpointer);
        const auto salt = logSalt(path);
        // Until the save that takes the log past its bound.
        const auto written = QCoro::waitFor(writeLog(store, 0, std::numeric_limits<qint64>::max(), 0, 1024 * 4120 + 32));
        QVERIFY(written.refused == 0);
        if (stepsAside)
            QCoro::waitFor(store.pauseIfSliceSpent());
        checkpointer->waitUntilIdle();
        QCOMPARE(logSalt(path) - salt, 1u);
        QVERIFY(QCoro::waitFor(writeLog(store, 100000, std::numeric_limits<qint64>::max(), stepsAside ? 1 : 0, 500 * 4120)).refused == 0);
        checkpointer->waitUntilIdle();
        QCOMPARE(logSalt(path) - salt, 1u);
    }

    void restartTriesAgainAfterALongSave_data()
    {
        QTest::addColumn<bool>("stepsAside"); // the restart waits for the lock, else tries it at once
        QTest::addColumn<bool>("ownSaves"); // else another connection's, as another process's
        QTest::newRow("run that steps aside, the window saves") << true << true;
        QTest::newRow("writer that does not") << false << true;
        QTest::newRow("run that steps aside, another process saves") << true << false;
    }

    // Saves that hold the write lock at length: the restart's wait for the lock ends while one
    // lasts, and the log begins anew once after it, between the writer's saves or while it rests,
    // rather than stay past its bound.
    void restartTriesAgainAfterALongSave()
    {
        QFETCH(bool, stepsAside);
        QFETCH(bool, ownSaves);
        // Copied back only when asked, or past the bound; the writer never holds itself.
        LogCheckpointer::Limits scaled{1000000, 256, 1000000};
        scaled.holdBudget = std::chrono::minutes(10);
        const LogLimits limits(scaled);
        constexpr qint64 boundBytes = 256 * 4120 + 32;
        constexpr auto endless = std::numeric_limits<qint64>::max();
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        ASOStore store(StoreDb::openFile(path));
        auto &db = store.db();
        auto *checkpointer = db.logCheckpointer();
        QVERIFY(checkpointer);
        checkpointer->waitUntilIdle();
        QVERIFY(QCoro::waitFor(writeLog(store, 0, endless, 0, boundBytes / 2)).refused == 0);
        const auto salt = logSalt(path);
        DiskSyncs::watchThisThread();
        DiskSyncs::HeldSyncs syncs;
        // The restart begins only once the writer passed the bound, made its choice, and a save began.
        db.checkpointInBackground();
        QVERIFY(syncs.awaitOne());
        QVERIFY(QCoro::waitFor(writeLog(store, 1000, endless, 0, boundBytes)).refused == 0);
        QVERIFY(!stepsAside || db.stepAsideForLog());
        // Lasts until a try to begin the log anew met it, and ended.
        bool tried = true;
        const auto lastUntilTried = [&] {
            const int tries = checkpointer->counts().busyTries;
            syncs.letGo();
            tried = QTest::qWaitFor([&] { return checkpointer->counts().busyTries > tries; }, 30000);
        };
        if (ownSaves) {
            for (int save = 0; tried && save < 4 && logSalt(path) == salt; ++save) {
                StoreDb::Transaction transaction(db);
                Keyword keyword(QStringLiteral("long save %1").arg(save), QStringLiteral("Long save"));
                QVERIFY(db.insert(keyword));
                lastUntilTried();
                QVERIFY(transaction.commit());
            }
        } else {
            rawQuery(path, {"BEGIN IMMEDIATE", "INSERT INTO store_meta (key, value) VALUES ('other', 1)", "", "COMMIT"},
                     lastUntilTried);
            QVERIFY2(QTest::qWaitFor([&] { return logSalt(path) != salt; }, 30000), "the log stayed past its bound");
        }
        QVERIFY2(tried, "the wait for the write lock did not end");
        // Between the writer's saves, or while it rests; once.
        QCOMPARE(logSalt(path) - salt, 1u);
        checkpointer->waitUntilIdle();
        QCOMPARE(logSalt(path) - salt, 1u);
    }

    // A writer whose saves take long and follow each other at once holds the write lock nearly all
    // the time: the log is still copied back, and begun anew between two of its saves.
    void logBeginsAnewBetweenLongSaves()
    {
        LogCheckpointer::Limits scaled{16, 256};
        scaled.holdBudget = std::chrono::minutes(10);
        const LogLimits limits(scaled);
        constexpr qint64 boundBytes = 256 * (4096 + 24);
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        ASOStore store(StoreDb::openFile(path));
        auto &db = store.db();
        auto *checkpointer = db.logCheckpointer();
        QVERIFY(checkpointer);
        qint64 largest = 0;
        int keyword = 0;
        for (int save = 0; save < 12; ++save) {
            StoreDb::Transaction transaction(db);
            // Half the bound a save.
            for (int i = 0; i < 120; ++i, ++keyword) {
                Keyword row(QStringLiteral("keyword %1").arg(keyword), QStringLiteral("Keyword %1 ").arg(keyword).repeated(300));
                QVERIFY(db.insert(row));
            }
            // The rest of a long save's work.
            QThread::msleep(100);
            QVERIFY(transaction.commit());
            largest = std::max(largest, QFileInfo(path + QStringLiteral("-wal")).size());
        }
        checkpointer->waitUntilIdle();
        const auto counts = checkpointer->counts();
        const auto report = QStringLiteral("largest %1, %2 restarts").arg(largest).arg(counts.restarts);
        // Each time it passes the bound, the log begins anew after the writer's next save.
        QVERIFY2(counts.restarts >= 3, qPrintable(report));
        QVERIFY2(largest < 3 * boundBytes, qPrintable(report));
    }

    // Damage met by a run's reads ends the run: no further keyword is read, the failure is logged
    // once, and the status says why.
    void damageMetDuringARunEndsIt()
    {
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        writeSearched(path, 30);
        rawQuery(path, {QStringLiteral("UPDATE tracked_app SET tracked_countries = '[\"us\"]'")});
        // Asking whether each keyword is still tracked reads this index; choosing them does not.
        damageTable(path, QStringLiteral("keyword_link_keyword"));
        static std::atomic<int> failedReads{0};
        failedReads = 0;
        const auto previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (type == QtWarningMsg && text.contains(QStringLiteral("failed")))
                ++failedReads;
            Q_UNUSED(context);
        });
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        ASOStore store(StoreDb::openFile(path));
        SilentNotifier notifier;
        RankTracker tracker(&store, &notifier);
        QCoro::waitFor(tracker.runAll());
        QVERIFY(store.databaseDamage());
        QCOMPARE(failedReads.load(), 1);
        QCOMPARE(tracker.lastSummary(), QStringLiteral("0 keywords rechecked"));
        QVERIFY(tracker.lastProblem() && tracker.lastProblem()->contains(QStringLiteral("local database is damaged")));
    }

    void staleJournalIsJudgedOnACopy_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("sound file") << false;
        QTest::newRow("damaged header") << true;
    }

    void staleJournalIsJudgedOnACopy()
    {
        QFETCH(bool, damaged);
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        const auto journal = path + QStringLiteral("-journal");
        writeFilled(path);

        // A transaction interrupted by a crash: the file as it was then, with its journal.
        const auto display = QStringLiteral("Keyword 7 ").repeated(20);
        // An empty statement marks the moment of the crash.
        rawQuery(path, {"PRAGMA journal_mode = DELETE", "PRAGMA cache_size = 1", "BEGIN",
                        "UPDATE keyword SET display = 'changed'", "", "ROLLBACK"}, [&] {
            if (QFileInfo(journal).size() == 0 || !QFile::copy(path, path + ".crashed")
                || !QFile::copy(journal, journal + ".crashed"))
                qFatal("cannot copy the crashed database");
        });
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(path + QStringLiteral(".crashed"), path));
        QVERIFY(QFile::rename(journal + QStringLiteral(".crashed"), journal));
        if (damaged) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.write("garbage in head!");
        }
        const auto before = contents(path);
        const auto journalBefore = contents(journal);

        try {
            auto db = StoreDb::openFile(path);
            QVERIFY2(!damaged, "a damaged file was accepted");
            // Rolled back: the interrupted change is gone.
            QCOMPARE(db->keywordByNormalized(QStringLiteral("keyword 7"))->display, display);
            QVERIFY(!QFileInfo::exists(journal));
        } catch (const StoreDb::OpenError &error) {
            QVERIFY2(damaged, qPrintable(error.description()));
            QVERIFY(error.description().contains(QDir::toNativeSeparators(path)));
            QCOMPARE(contents(path), before);
            QCOMPARE(contents(journal), journalBefore);
        }
        // The copy is gone either way.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter(
                     QStringLiteral("check")),
                 QStringList());
    }

private:
    static void awaitCheck(ASOStore &store, bool damaged)
    {
        QSignalSpy released(&store.db(), &StoreDb::writesReleased);
        QSignalSpy damagedSpy(&store, &ASOStore::databaseDamaged);
        QTRY_COMPARE_WITH_TIMEOUT(released.size() + damagedSpy.size(), 1, 30000);
        QVERIFY(!store.db().writesHeld());
        QCOMPARE(released.size(), damaged ? 0 : 1);
        const auto app = *store.app(QStringLiteral("42"));
        store.setOwn(app, false);
        QCOMPARE(store.app(QStringLiteral("42"))->isOwn, damaged);
        // The start-up repairs waited for the check.
        QCOMPARE(bool(store.db().meta(QStringLiteral("layoutVersion"))), !damaged);
        if (damaged) {
            const auto path = QDir::toNativeSeparators(store.db().filePath());
            QVERIFY(store.databaseDamage() && store.databaseDamage()->contains(path));
            QCOMPARE(damagedSpy.first().first().value<std::optional<QString>>(), store.databaseDamage());
        }
    }

    QTemporaryDir m_home;
};

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--link-keywords") == 0)
        return linkKeywords(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 4 && qstrcmp(argv[1], "--read-shortened") == 0)
        return readShortened(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    TestDatabaseFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_databasefile.moc"
