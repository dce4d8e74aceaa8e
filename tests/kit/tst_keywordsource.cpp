#include "keywords/KeywordSource.h"

#include <QtTest>

class TestKeywordSource : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The raw values live in users' databases and the labels on screen: a typo breaks both.
    void storedAndShownTexts()
    {
        QStringList labels;
        for (const KeywordSource source : KeywordSources::all()) {
            QCOMPARE(KeywordSources::fromRaw(KeywordSources::rawValue(source)), source);
            labels.append(KeywordSources::label(source));
        }
        QCOMPARE(labels, (QStringList{"Manual", "App name", "Description", "Category", "Developer", "Suggestion",
                                      "Combination", "Expansion", "Related app", "Seen in results", "Indexed words",
                                      "Probe"}));
        QCOMPARE(KeywordSources::rawValue(KeywordSource::suggestion), u"SUGGESTION_PROVIDER"_qs);
        QCOMPARE(KeywordSources::rawValue(KeywordSource::observedInSearch), u"OBSERVED_IN_SEARCH"_qs);
        QCOMPARE(KeywordSources::priority(KeywordSource::combination), 72);
        // Exact matches only: no letter case, label or blank is forgiven.
        for (const QString &raw : {u"manual"_qs, u"Manual"_qs, u" MANUAL"_qs})
            QCOMPARE(KeywordSources::fromRaw(raw), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestKeywordSource)
#include "tst_keywordsource.moc"
