#include "model/KeywordLink.h"
#include "model/KeywordMetric.h"
#include "model/RankAlert.h"
#include "model/RankState.h"
#include "model/SearchObservation.h"
#include "model/StoredForm.h"
#include "model/TrackedApp.h"

#include <QtTest>

static TrackedApp storedApp(const QString &appleAppId, qint64 persistentId)
{
    TrackedApp app(AppInfo{appleAppId, QStringLiteral("App ") + appleAppId}, true);
    app.persistentId = persistentId;
    return app;
}

static Keyword storedKeyword(const QString &normalized, qint64 persistentId)
{
    Keyword keyword(normalized, normalized);
    keyword.persistentId = persistentId;
    return keyword;
}

static QString describe(const QString &stateRaw, const std::optional<qint64> &rank)
{
    return rank ? stateRaw + QLatin1Char(':') + QString::number(*rank) : stateRaw;
}

// Record logic that needs no database: link priorities and keys, the rank state's readings,
// the fallbacks of stored enum values, and the app's copy of its store metadata.
class TestRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void linkPriority_data()
    {
        QTest::addColumn<KeywordSource>("source");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<qint64>("priority");
        QTest::newRow("manual fifth") << KeywordSource::manual << qint64(5) << qint64(9995);
        QTest::newRow("beyond 99 costs 99") << KeywordSource::manual << qint64(400) << qint64(9901);
        QTest::newRow("description below category") << KeywordSource::description << qint64(0) << qint64(4500);
    }

    void linkPriority()
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
    void rankStateMovesForward_data()
    {
        QTest::addColumn<QStringList>("readings");
        QTest::addColumn<QString>("latest");
        QTest::addColumn<QString>("previous");
        QTest::addColumn<int>("previousAt");
        QTest::addColumn<int>("lastFoundAt");

        QTest::newRow("failure between two finds is never previous")
            << QStringList{"FOUND:12", "REQUEST_FAILED", "FOUND:9"} << "FOUND:9" << "FOUND:12" << 0 << 2;
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

    void rankStateMovesForward()
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

    // Stored enum values the code does not know, or in another letter case, read as the fallbacks.
    void storedEnumFallbacks()
    {
        RankSnapshot snapshot;
        snapshot.stateRaw = QStringLiteral("found");
        QCOMPARE(snapshot.state(), RankingState::notChecked);
        RankState state;
        state.latestStateRaw = state.previousStateRaw.emplace(QStringLiteral("LOST"));
        QCOMPARE(state.latestState(), RankingState::notChecked);
        QCOMPARE(state.previousState(), std::nullopt);
        state.previousStateRaw = QStringLiteral("NOT_FOUND_IN_SAMPLE");
        QCOMPARE(state.previousState(), RankingState::notFoundInSample);
        RankAlert alert;
        alert.kindRaw = QStringLiteral("SOMETHING");
        QCOMPARE(alert.kind(), RankAlertKind::movedUp);
        KeywordMetric metric(QStringLiteral("chess"), QStringLiteral("us"));
        metric.popularitySourceRaw = QStringLiteral("apple_ads_minimum");
        QCOMPARE(metric.popularitySource(), std::nullopt);
    }

    void snapshotKeyAndEmptiedHits()
    {
        SearchObservation observation;
        observation.id = QUuid::fromString(QStringLiteral("{6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b}"));
        const RankSnapshot snapshot(storedApp(QStringLiteral("123"), 5), observation, RankingState::found, 4);
        QCOMPARE(snapshot.key, QStringLiteral("123|6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B"));
        observation.hitsData.clear(); // the hits of a search that is no longer the latest
        QVERIFY(observation.hits().isEmpty());
    }

    void appMetadataCopy()
    {
        const AppInfo kept{.appleAppId = "99", .name = "Sketcher", .developerName = "Ink Ltd", .description = "Draw things",
                           .genres = {"Graphics", "Design"}, .ratingCount = 10};
        auto info = kept;
        info.bundleId = QStringLiteral("com.ink.sketcher");
        info.price = 2.99;
        info.releaseDate = QDateTime::currentDateTimeUtc();

        TrackedApp app(info, true);
        app.trackedCountries = {QStringLiteral("gb")};
        const auto created = app.createdAt;
        QCOMPARE(app.appInfo(), kept);
        const auto copied = *app.metadataUpdatedAt;

        QTest::qWait(5);
        AppInfo newer{.appleAppId = "other", .name = "Sketcher Pro"};
        app.update(newer);
        newer.appleAppId = QStringLiteral("99");
        QCOMPARE(app.appInfo(), newer);
        QVERIFY(app.isOwn);
        QCOMPARE(app.trackedCountries, QStringList{QStringLiteral("gb")});
        QCOMPARE(app.createdAt, created);
        QVERIFY(*app.metadataUpdatedAt > copied);
    }

    // An address reads back as the one received, whatever its delimiters and encoding.
    void storedAddressReadsBack_data()
    {
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("stored");
        QTest::newRow("second #") << "https://a.example/a#x#y" << "https://a.example/a#x#y";
        QTest::newRow("encoded # stays encoded") << "https://a.example/a#x%23y" << "https://a.example/a#x%23y";
        QTest::newRow("? and # in the fragment") << "https://a.example/a?b#c?d#e" << "https://a.example/a?b#c?d#e";
        QTest::newRow("space and non-ASCII") << QString::fromUtf8("https://a.example/é a#x#ü")
                                             << "https://a.example/%C3%A9%20a#x#%C3%BC";
        QTest::newRow("encoded slash") << "https://a.example/a%2Fb?c=%26" << "https://a.example/a%2Fb?c=%26";
    }

    void storedAddressReadsBack()
    {
        QFETCH(QString, received);
        QFETCH(QString, stored);
        const QUrl url(received);
        const auto value = StoredForm::optionalUrl(url);
        QCOMPARE(value.toString(), stored);
        QCOMPARE(StoredForm::toOptionalUrl(value), std::optional<QUrl>(url));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
