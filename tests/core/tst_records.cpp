#include "model/KeywordLink.h"
#include "model/KeywordMetric.h"
#include "model/RankAlert.h"
#include "model/RankState.h"
#include "model/SearchObservation.h"
#include "model/StoredForm.h"
#include "model/TrackedApp.h"

#include <QtTest>

// Record logic that needs no database: link priorities and keys, the rank state's readings,
// the fallbacks of stored enum values, and the app's copy of its store metadata.
class TestRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void linkPriority_data();
    void linkPriority();
    void rankStateMovesForward_data();
    void rankStateMovesForward();
    void storedEnumFallbacks_data();
    void storedEnumFallbacks();
    void snapshotKey();
    void appMetadataCopy();
    void hitsThatDoNotDecodeAreNone_data();
    void hitsThatDoNotDecodeAreNone();
};

static TrackedApp storedApp(const QString &appleAppId, qint64 persistentId)
{
    AppInfo info;
    info.appleAppId = appleAppId;
    info.name = QStringLiteral("App ") + appleAppId;
    TrackedApp app(info, true);
    app.persistentId = persistentId;
    return app;
}

static Keyword storedKeyword(const QString &normalized, qint64 persistentId)
{
    Keyword keyword(normalized, normalized);
    keyword.persistentId = persistentId;
    return keyword;
}

void TestRecords::linkPriority_data()
{
    QTest::addColumn<KeywordSource>("source");
    QTest::addColumn<qint64>("position");
    QTest::addColumn<qint64>("priority");
    QTest::newRow("manual first") << KeywordSource::manual << qint64(0) << qint64(10000);
    QTest::newRow("manual fifth") << KeywordSource::manual << qint64(5) << qint64(9995);
    QTest::newRow("manual at 99") << KeywordSource::manual << qint64(99) << qint64(9901);
    QTest::newRow("beyond 99 costs 99") << KeywordSource::manual << qint64(400) << qint64(9901);
    QTest::newRow("description below category") << KeywordSource::description << qint64(0) << qint64(4500);
    QTest::newRow("category") << KeywordSource::category << qint64(3) << qint64(4997);
    QTest::newRow("related app equals category") << KeywordSource::relatedApp << qint64(3) << qint64(4997);
    QTest::newRow("observed in search lowest") << KeywordSource::observedInSearch << qint64(0) << qint64(3500);
    QTest::newRow("indexed phrase") << KeywordSource::indexedPhrase << qint64(0) << qint64(9500);
}

void TestRecords::linkPriority()
{
    QFETCH(KeywordSource, source);
    QFETCH(qint64, position);
    QFETCH(qint64, priority);
    const KeywordLink link(storedApp(QStringLiteral("1"), 1), storedKeyword(QStringLiteral("photo editor"), 2),
                           PlannedCandidate{QStringLiteral("Photo Editor"), source, std::nullopt, std::nullopt}, 0,
                           position);
    QCOMPARE(link.priority, priority);
    QCOMPARE(link.key, QStringLiteral("1|photo editor|") + KeywordSources::rawValue(source));
}

// Readings are "STATE" or "STATE:rank", applied at minutes 0, 1, 2, …; expected times are the
// reading's index, -1 for absent.
void TestRecords::rankStateMovesForward_data()
{
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<QString>("latest");
    QTest::addColumn<QString>("previous");
    QTest::addColumn<int>("previousAt");
    QTest::addColumn<int>("lastFoundAt");

    QTest::newRow("failure between two finds is never previous")
        << QStringList{"FOUND:12", "REQUEST_FAILED", "FOUND:9"} << "FOUND:9" << "FOUND:12" << 0 << 2;
    QTest::newRow("failure after a find moves the find back")
        << QStringList{"FOUND:7", "REQUEST_FAILED"} << "REQUEST_FAILED" << "FOUND:7" << 0 << 0;
    QTest::newRow("repeated failures keep the last usable reading")
        << QStringList{"FOUND:3", "REQUEST_FAILED", "REQUEST_FAILED", "REQUEST_FAILED"} << "REQUEST_FAILED"
        << "FOUND:3" << 0 << 0;
    QTest::newRow("a first failed reading leaves no previous")
        << QStringList{"REQUEST_FAILED", "FOUND:4"} << "FOUND:4" << "" << -1 << 1;
    QTest::newRow("first reading not found has never been found")
        << QStringList{"NOT_FOUND_IN_SAMPLE"} << "NOT_FOUND_IN_SAMPLE" << "" << -1 << -1;
    QTest::newRow("last found survives a later miss")
        << QStringList{"NOT_FOUND_IN_SAMPLE", "FOUND:5", "NOT_FOUND_IN_SAMPLE"} << "NOT_FOUND_IN_SAMPLE"
        << "FOUND:5" << 1 << 1;
    QTest::newRow("not found replaces found as previous")
        << QStringList{"FOUND:2", "NOT_FOUND_IN_SAMPLE", "FOUND:1"} << "FOUND:1" << "NOT_FOUND_IN_SAMPLE" << 1 << 2;
}

static QString describe(const QString &stateRaw, const std::optional<qint64> &rank)
{
    return rank ? stateRaw + QLatin1Char(':') + QString::number(*rank) : stateRaw;
}

void TestRecords::rankStateMovesForward()
{
    QFETCH(QStringList, readings);
    QFETCH(QString, latest);
    QFETCH(QString, previous);
    QFETCH(int, previousAt);
    QFETCH(int, lastFoundAt);

    const auto start = QDateTime(QDate(2024, 3, 1), QTime(8, 0), QTimeZone::utc());
    const auto app = storedApp(QStringLiteral("42"), 1);
    std::optional<RankState> state;
    for (int i = 0; i < readings.size(); ++i) {
        const auto parts = readings[i].split(QLatin1Char(':'));
        SearchObservation observation;
        observation.id = QUuid::createUuid();
        observation.keywordNormalized = QStringLiteral("chess");
        observation.country = QStringLiteral("us");
        observation.checkedAt = start.addSecs(60 * i);
        observation.resultCount = 50 + i;
        const auto rank = parts.size() > 1 ? std::optional<qint64>(parts[1].toLongLong()) : std::nullopt;
        const RankSnapshot snapshot(app, observation, *RankingStates::fromRaw(parts[0]), rank);
        if (state)
            state->apply(snapshot);
        else
            state.emplace(app.appleAppId, snapshot);
        QCOMPARE(state->latestObservationId, observation.id);
        QCOMPARE(state->latestResultCount, qint64(50 + i));
    }

    QCOMPARE(state->key, QStringLiteral("42|chess|us"));
    QCOMPARE(describe(state->latestStateRaw, state->latestRank), latest);
    QCOMPARE(state->previousStateRaw ? describe(*state->previousStateRaw, state->previousRank) : QString(), previous);
    QCOMPARE(state->previousCheckedAt,
             previousAt < 0 ? std::nullopt : std::optional<QDateTime>(start.addSecs(60 * previousAt)));
    QCOMPARE(state->lastFoundAt,
             lastFoundAt < 0 ? std::nullopt : std::optional<QDateTime>(start.addSecs(60 * lastFoundAt)));
}

// Each stored enum field read back from a raw value; "<absent>" stands for a missing value and
// an empty expectation for an absent reading.
void TestRecords::storedEnumFallbacks_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("reading");

    QTest::newRow("snapshot known") << "snapshot" << "FOUND" << "FOUND";
    QTest::newRow("snapshot is case-sensitive") << "snapshot" << "found" << "NOT_CHECKED";
    QTest::newRow("latest unknown") << "latest" << "LOST" << "NOT_CHECKED";
    QTest::newRow("previous unknown is absent") << "previous" << "LOST" << "";
    QTest::newRow("previous missing is absent") << "previous" << "<absent>" << "";
    QTest::newRow("previous known") << "previous" << "NOT_FOUND_IN_SAMPLE" << "NOT_FOUND_IN_SAMPLE";
    QTest::newRow("alert unknown is moved up") << "alert" << "SOMETHING" << "MOVED_UP";
    QTest::newRow("alert lower case is moved up") << "alert" << "left_top_10" << "MOVED_UP";
    QTest::newRow("source minimum") << "source" << "APPLE_ADS_MINIMUM" << "APPLE_ADS_MINIMUM";
    QTest::newRow("source lower case is absent") << "source" << "apple_ads_minimum" << "";
    QTest::newRow("source missing is absent") << "source" << "<absent>" << "";
}

void TestRecords::storedEnumFallbacks()
{
    QFETCH(QString, field);
    QFETCH(QString, raw);
    QFETCH(QString, reading);
    const auto stored = raw == QLatin1String("<absent>") ? std::nullopt : std::optional<QString>(raw);

    QString result;
    if (field == QLatin1String("snapshot")) {
        RankSnapshot snapshot;
        snapshot.stateRaw = *stored;
        result = RankingStates::rawValue(snapshot.state());
    } else if (field == QLatin1String("latest")) {
        RankState state;
        state.latestStateRaw = *stored;
        result = RankingStates::rawValue(state.latestState());
    } else if (field == QLatin1String("previous")) {
        RankState state;
        state.previousStateRaw = stored;
        if (const auto previous = state.previousState())
            result = RankingStates::rawValue(*previous);
    } else if (field == QLatin1String("alert")) {
        RankAlert alert;
        alert.kindRaw = *stored;
        result = RankAlertKinds::rawValue(alert.kind());
        if (!RankAlertKinds::fromRaw(*stored))
            QVERIFY(RankAlertKinds::isImprovement(alert.kind()));
    } else {
        KeywordMetric metric(QStringLiteral("chess"), QStringLiteral("us"));
        metric.popularitySourceRaw = stored;
        if (const auto source = metric.popularitySource())
            result = PopularitySources::rawValue(*source);
    }
    QCOMPARE(result, reading);
}

void TestRecords::snapshotKey()
{
    SearchObservation observation;
    observation.id = QUuid::fromString(QStringLiteral("{6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b}"));
    const RankSnapshot snapshot(storedApp(QStringLiteral("123"), 5), observation, RankingState::found, 4);
    QCOMPARE(snapshot.key, QStringLiteral("123|6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B"));
}

void TestRecords::appMetadataCopy()
{
    AppInfo info;
    info.appleAppId = QStringLiteral("99");
    info.name = QStringLiteral("Sketcher");
    info.developerName = QStringLiteral("Ink Ltd");
    info.description = QStringLiteral("Draw things");
    info.genres = {QStringLiteral("Graphics"), QStringLiteral("Design")};
    info.ratingCount = 10;
    auto kept = info;
    info.bundleId = QStringLiteral("com.ink.sketcher");
    info.price = 2.99;
    info.releaseDate = QDateTime::currentDateTimeUtc();

    TrackedApp app(info, true);
    app.trackedCountries = {QStringLiteral("gb")};
    const auto created = app.createdAt;
    QCOMPARE(app.appInfo(), kept);
    const auto copied = *app.metadataUpdatedAt;

    QTest::qWait(5);
    AppInfo newer;
    newer.appleAppId = QStringLiteral("other");
    newer.name = QStringLiteral("Sketcher Pro");
    app.update(newer);
    newer.appleAppId = QStringLiteral("99");
    QCOMPARE(app.appInfo(), newer);
    QVERIFY(app.isOwn);
    QCOMPARE(app.trackedCountries, QStringList{QStringLiteral("gb")});
    QCOMPARE(app.createdAt, created);
    QVERIFY(*app.metadataUpdatedAt > copied);
}

void TestRecords::hitsThatDoNotDecodeAreNone_data()
{
    QTest::addColumn<QByteArray>("hitsData");
    QTest::addColumn<int>("count");
    QTest::newRow("emptied") << QByteArray() << 0;
    QTest::newRow("failed search") << QByteArray("[]") << 0;
    QTest::newRow("a stored hit") << QByteArray(R"([{"appleAppId":"1","name":"A","rank":1}])") << 1;
}

void TestRecords::hitsThatDoNotDecodeAreNone()
{
    QFETCH(QByteArray, hitsData);
    QFETCH(int, count);
    SearchObservation observation;
    observation.hitsData = hitsData;
    QCOMPARE(observation.hits().size(), count);
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
