#include "keywords/KeywordSource.h"

#include <QtTest>

Q_DECLARE_METATYPE(KeywordSource)

class TestKeywordSource : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedAndShownTexts_data();
    void storedAndShownTexts();
    void allInDeclarationOrder();
    void unknownRawValues_data();
    void unknownRawValues();
    void hashAndCandidateEquality();
};

void TestKeywordSource::storedAndShownTexts_data()
{
    QTest::addColumn<KeywordSource>("source");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("priority");

    QTest::newRow("manual") << KeywordSource::manual << "MANUAL" << "Manual" << 100;
    QTest::newRow("appName") << KeywordSource::appName << "APP_NAME" << "App name" << 90;
    QTest::newRow("description") << KeywordSource::description << "DESCRIPTION" << "Description" << 45;
    QTest::newRow("category") << KeywordSource::category << "CATEGORY" << "Category" << 50;
    QTest::newRow("developer") << KeywordSource::developer << "DEVELOPER" << "Developer" << 40;
    QTest::newRow("suggestion") << KeywordSource::suggestion << "SUGGESTION_PROVIDER" << "Suggestion" << 75;
    QTest::newRow("combination") << KeywordSource::combination << "COMBINATION" << "Combination" << 72;
    QTest::newRow("expansion") << KeywordSource::expansion << "EXPANSION" << "Expansion" << 65;
    QTest::newRow("relatedApp") << KeywordSource::relatedApp << "RELATED_APP" << "Related app" << 50;
    QTest::newRow("observedInSearch") << KeywordSource::observedInSearch << "OBSERVED_IN_SEARCH" << "Seen in results" << 35;
    QTest::newRow("indexedPhrase") << KeywordSource::indexedPhrase << "INDEXED_PHRASE" << "Indexed words" << 95;
    QTest::newRow("probe") << KeywordSource::probe << "PROBE" << "Probe" << 80;
}

// The raw values live in users' databases and the labels on screen: a typo breaks both.
void TestKeywordSource::storedAndShownTexts()
{
    QFETCH(KeywordSource, source);
    QFETCH(QString, raw);
    QFETCH(QString, label);
    QFETCH(int, priority);
    QCOMPARE(KeywordSources::rawValue(source), raw);
    QCOMPARE(KeywordSources::fromRaw(raw), std::optional<KeywordSource>(source));
    QCOMPARE(KeywordSources::label(source), label);
    QCOMPARE(KeywordSources::priority(source), priority);
}

void TestKeywordSource::allInDeclarationOrder()
{
    using enum KeywordSource;
    QCOMPARE(KeywordSources::all(),
             (QList<KeywordSource>{manual, appName, description, category, developer, suggestion, combination,
                                   expansion, relatedApp, observedInSearch, indexedPhrase, probe}));
}

void TestKeywordSource::unknownRawValues_data()
{
    QTest::addColumn<QString>("raw");
    QTest::newRow("lower case") << "manual";
    QTest::newRow("label") << "Manual";
    QTest::newRow("leading blank") << " MANUAL";
    QTest::newRow("case name, not raw value") << "SUGGESTION";
    QTest::newRow("empty") << "";
}

void TestKeywordSource::unknownRawValues()
{
    QFETCH(QString, raw);
    QCOMPARE(KeywordSources::fromRaw(raw), std::nullopt);
}

void TestKeywordSource::hashAndCandidateEquality()
{
    QCOMPARE(qHash(KeywordSource::observedInSearch, 7), qHash(QStringLiteral("OBSERVED_IN_SEARCH"), 7));

    const GeneratedCandidate plain{"photo", "Photo", KeywordSource::category, std::nullopt};
    GeneratedCandidate withDetail = plain;
    withDetail.detail = QString();
    QVERIFY(plain != withDetail);   // an empty detail is still a detail
    QVERIFY(plain == (GeneratedCandidate{"photo", "Photo", KeywordSource::category, std::nullopt}));
}

QTEST_GUILESS_MAIN(TestKeywordSource)
#include "tst_keywordsource.moc"
