#include "keywords/Ranking.h"

#include <QtTest>

using Ranking::Change;
using Ranking::Reading;
using Ranking::ResultEntry;

Q_DECLARE_METATYPE(Reading)
Q_DECLARE_METATYPE(std::optional<Reading>)
Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(QList<ResultEntry>)

static Reading found(int rank) { return {RankingState::found, rank}; }
static Reading plain(RankingState state) { return {state, std::nullopt}; }

class TestRanking : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedValues()
    {
        // Labels in declaration order, the order other code sorts states by.
        QStringList labels;
        for (const RankingState s : RankingStates::allCases()) {
            QCOMPARE(RankingStates::fromRaw(RankingStates::rawValue(s)), s);
            labels.append(RankingStates::label(s));
        }
        QCOMPARE(labels, QStringList({"Found", "Not in sample", "Request failed", "Not checked"}));
        QCOMPARE(RankingStates::rawValue(RankingState::notFoundInSample), u"NOT_FOUND_IN_SAMPLE"_qs);
        for (const QString &raw : {u"Found"_qs, u"found"_qs, u" FOUND"_qs})
            QCOMPARE(RankingStates::fromRaw(raw), std::nullopt);
    }

    void outcome_data()
    {
        QTest::addColumn<bool>("succeeded");
        QTest::addColumn<QList<ResultEntry>>("results");
        QTest::addColumn<Reading>("expected");
        const QList<ResultEntry> listed{{"111", 1}, {"42", 7}, {"222", 2}, {"42", 3}};
        QTest::newRow("best of two ranks") << true << listed << found(3);
        QTest::newRow("empty sample") << true << QList<ResultEntry>{} << plain(RankingState::notFoundInSample);
        QTest::newRow("exact ID only") << true << QList<ResultEntry>{{"420", 2}, {" 42", 3}}
                                       << plain(RankingState::notFoundInSample);
        QTest::newRow("failed although listed") << false << listed << plain(RankingState::requestFailed);
    }

    void outcome()
    {
        QFETCH(bool, succeeded);
        QFETCH(QList<ResultEntry>, results);
        QFETCH(Reading, expected);
        QCOMPARE(Ranking::outcome(succeeded, results, "42"), expected);
    }

    void change_data()
    {
        QTest::addColumn<Reading>("current");
        QTest::addColumn<std::optional<Reading>>("previous");
        QTest::addColumn<Change>("expected");
        const auto none = Change::none();
        const auto notIn = plain(RankingState::notFoundInSample);
        QTest::newRow("up") << found(3) << std::optional(found(8)) << Change::moved(5);
        QTest::newRow("same rank is a move of 0") << found(5) << std::optional(found(5)) << Change::moved(0);
        QTest::newRow("lost") << notIn << std::optional(found(4)) << Change::lost();
        QTest::newRow("new") << found(4) << std::optional(notIn) << Change::newRanking();
        QTest::newRow("no previous") << found(4) << std::optional<Reading>() << none;
        QTest::newRow("out both times") << notIn << std::optional(notIn) << none;
        QTest::newRow("failed after found") << plain(RankingState::requestFailed) << std::optional(found(4)) << none;
        QTest::newRow("found after unchecked") << found(4) << std::optional(plain(RankingState::notChecked)) << none;
        QTest::newRow("missing rank") << plain(RankingState::found) << std::optional(found(2)) << none;
        QTest::newRow("extreme ranks") << found(std::numeric_limits<int>::max())
                                       << std::optional(found(std::numeric_limits<int>::min()))
                                       << Change::moved(qint64(std::numeric_limits<int>::min())
                                                        - std::numeric_limits<int>::max());
    }

    void change()
    {
        QFETCH(Reading, current);
        QFETCH(std::optional<Reading>, previous);
        QFETCH(Change, expected);
        const Change actual = Ranking::change(current, previous);
        QCOMPARE(int(actual.kind), int(expected.kind));
        QCOMPARE(actual.places, expected.places);
    }
};

QTEST_GUILESS_MAIN(TestRanking)
#include "tst_ranking.moc"
