#include "keywords/RelatedApps.h"

#include <QtTest>

using namespace RelatedApps;

Q_DECLARE_METATYPE(QList<Observation>)
Q_DECLARE_METATYPE(QList<Title>)
Q_DECLARE_METATYPE(QList<AppMeta>)

namespace {

ObservedResult seen(const QString &id, int rank, const QString &name = {}, const std::optional<QString> &genre = {})
{
    return {id, name.isEmpty() ? id : name, rank, genre};
}

QStringList describe(const QList<Score> &scores)
{
    QStringList out;
    for (const Score &s : scores)
        out.append(QStringLiteral("%1 %2 %3 %4").arg(s.appleAppId, s.appName, QString::number(s.score, 'g', 12)).arg(s.coOccurrences));
    return out;
}

QStringList describe(const QList<Term> &terms)
{
    QStringList out;
    for (const Term &t : terms)
        out.append(QStringLiteral("%1|%2|%3|%4").arg(t.term, t.sourceAppleAppId, t.sourceName).arg(t.support));
    return out;
}

}

class TestRelatedApps : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rank_data()
    {
        QTest::addColumn<QList<Observation>>("observations");
        QTest::addColumn<std::optional<QString>>("genre");
        QTest::addColumn<int>("topN");
        QTest::addColumn<int>("max");
        QTest::addColumn<QStringList>("expected");

        const QList<Observation> mixed{
            {true, {seen("A", 1, "Alpha"), seen("B", 20), seen("T", 2), seen("X", 3), seen("C", 21), seen("C", 22)}},
            {false, {seen("A", 2, "Alpha Renamed"), seen("B", 1), seen("D", 5, {}, "Games")}},
            {false, {seen("E", 3, {}, "Music")}},
        };
        // A: 2*(1+20/20) + 1*(1+19/20); B: 2*(1+1/20) + 1*(1+20/20); D: once, same genre, plus 1.
        QTest::newRow("weights, genre bonus and first name")
            << mixed << std::optional<QString>("Games") << 20 << 25 << QStringList{"A Alpha 5.95 2", "B B 4.1 2", "D D 2.8 1"};
        QTest::newRow("no target genre, no bonus")
            << mixed << std::optional<QString>() << 20 << 25 << QStringList{"A Alpha 5.95 2", "B B 4.1 2"};
        QTest::newRow("max cuts") << mixed << std::optional<QString>("Games") << 20 << 1 << QStringList{"A Alpha 5.95 2"};
        QTest::newRow("negative max gives none") << mixed << std::optional<QString>("Games") << 20 << -3 << QStringList{};
        QTest::newRow("top of 0 counts as 1")
            << QList<Observation>{{false, {seen("A", 1), seen("A", 1), seen("B", 2), seen("B", 2)}}}
            << std::optional<QString>() << 0 << 25 << QStringList{"A A 4 2"};
        QTest::newRow("ties by ID as text")
            << QList<Observation>{{false, {seen("999", 3), seen("1000", 3), seen("999", 3), seen("1000", 3)}}}
            << std::optional<QString>() << 20 << 25 << QStringList{"1000 1000 3.8 2", "999 999 3.8 2"};
    }

    void rank()
    {
        QFETCH(QList<Observation>, observations);
        QFETCH(std::optional<QString>, genre);
        QFETCH(int, topN);
        QFETCH(int, max);
        QFETCH(QStringList, expected);
        QCOMPARE(describe(RelatedApps::rank("T", genre, observations, {"X"}, topN, max)), expected);
    }

    void phraseCompletions_data()
    {
        QTest::addColumn<QString>("phrase");
        QTest::addColumn<QList<Title>>("titles");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("minApps");
        QTest::addColumn<QStringList>("expected");
        const QList<Title> titles{
            {"10", "Quick Photo Editor Studio"},
            {"20", "Photo Editor Studio"},
            {"30", "Quick Photo Editor"},
            {"10", "Quick Photo Editor: Collage"},
            {"40", "The Photo Editor 2"},
            {"50", "x photo editor studio"},
        };
        QTest::newRow("by support") << "photo editor" << titles << 3 << 2
                                    << QStringList{"photo editor studio", "quick photo editor"};
        QTest::newRow("an app supports once") << "photo editor" << titles << 3 << 3 << QStringList{"photo editor studio"};
        QTest::newRow("limit") << "Photo-Editor" << titles << 1 << 1 << QStringList{"photo editor studio"};
        QTest::newRow("ties by first sighting")
            << "photo editor" << titles + QList<Title>{{"60", "quick photo editor"}} << 3 << 2
            << QStringList{"quick photo editor", "photo editor studio"};
        QTest::newRow("no words") << "!!" << titles << 3 << 1 << QStringList{};
    }

    void phraseCompletions()
    {
        QFETCH(QString, phrase);
        QFETCH(QList<Title>, titles);
        QFETCH(int, limit);
        QFETCH(int, minApps);
        QFETCH(QStringList, expected);
        QCOMPARE(RelatedApps::phraseCompletions(phrase, titles, limit, minApps), expected);
    }

    void termsFromTitles_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("expected");
        const QStringList titles{"Photo Editor Pro", "Photo Editor & Collage", "Collage Maker: Photo", "Photo photo app"};
        QTest::newRow("count, pairs first, first sighting")
            << titles << 20 << QStringList{"photo", "photo editor", "editor", "collage"};
        QTest::newRow("limit") << titles << 2 << QStringList{"photo", "photo editor"};
        QTest::newRow("pairs span stop words") << QStringList{"Maps of London", "maps of london"} << 20
                                               << QStringList{"maps london", "london", "maps"};
        QTest::newRow("short words only in pairs") << QStringList{"TV Guide", "TV Guide"} << 20
                                                   << QStringList{"tv guide", "guide"};
    }

    void termsFromTitles()
    {
        QFETCH(QStringList, titles);
        QFETCH(int, limit);
        QFETCH(QStringList, expected);
        QCOMPARE(RelatedApps::termsFromTitles(titles, limit, 2), expected);
    }

    void terms_data()
    {
        QTest::addColumn<QList<AppMeta>>("apps");
        QTest::addColumn<QStringList>("vocabulary");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("expected");
        const QList<AppMeta> apps{{"1", "Photo Editor", std::nullopt},
                                  {"2", "Photo Collage", std::nullopt},
                                  {"3", "Video Editor", std::nullopt}};
        QTest::newRow("vocabulary words and shared words")
            << apps << QStringList{"photo"} << 40
            << QStringList{"photo|1|Photo Editor|2", "photo editor|1|Photo Editor|1", "photo collage|2|Photo Collage|1"};
        QTest::newRow("single words need the vocabulary") << apps << QStringList{} << 40 << QStringList{};
        QTest::newRow("descriptions add support")
            << apps + QList<AppMeta>{{"4", "Snap", "Photo editor with filters. Photo editor for pros. Filters and more filters"}}
            << QStringList{} << 40 << QStringList{"photo editor|1|Photo Editor|2"};
        QTest::newRow("limit") << apps << QStringList{"photo"} << 1 << QStringList{"photo|1|Photo Editor|2"};
    }

    void terms()
    {
        QFETCH(QList<AppMeta>, apps);
        QFETCH(QStringList, vocabulary);
        QFETCH(int, limit);
        QFETCH(QStringList, expected);
        QCOMPARE(describe(RelatedApps::terms(apps, QSet<QString>(vocabulary.cbegin(), vocabulary.cend()), limit)),
                 expected);
    }
};

QTEST_GUILESS_MAIN(TestRelatedApps)
#include "tst_relatedapps.moc"
