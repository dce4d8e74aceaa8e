#include "keywords/IndexedVocabulary.h"

#include <QtTest>

using namespace IndexedVocabulary;

namespace {

// "kind:text" per proposal; a probe names its word: "probe(video):video editor".
QStringList describe(const QList<Proposal> &proposals)
{
    QStringList out;
    for (const auto &[text, kind] : proposals) {
        using enum Kind::Case;
        out.append(kind.kind == probe ? "probe(" + kind.word + ")"
                   : QString::fromLatin1(kind.kind == indexedPhrase ? "indexed" : kind.kind == combination ? "combination" : "extension"));
        out.last() += u':' + text;
    }
    return out;
}

}

class TestIndexedVocabulary : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stem_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("stem");
        QTest::newRow("managers") << "managers" << "manag";
        QTest::newRow("manage") << "manage" << "manag";
        QTest::newRow("games: es would leave three, e kept") << "games" << "game";
        QTest::newRow("one suffix only") << "editorss" << "editors";
        QTest::newRow("accented letters count once") << "a\u0301b\u0301c\u0301s" << "a\u0301b\u0301c\u0301s";
    }

    void stem()
    {
        QFETCH(QString, word);
        QFETCH(QString, stem);
        QCOMPARE(IndexedVocabulary::stem(word), stem);
    }

    void infer_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("queries");
        QTest::addColumn<QStringList>("vocabulary");
        QTest::newRow("title first, then by count, then first seen")
            << "Snap: Photo Editor" << QStringList{"collage maker", "photo collage", "video maker", "filters"}
            << QStringList{"snap", "photo", "editor", "collage", "maker", "video", "filters"};
        QTest::newRow("a title word's other forms are dropped")
            << "Photo Editor" << QStringList{"photos", "editing tools", "tool"}
            << QStringList{"photo", "editor", "tools"};
        QTest::newRow("stop words and numbers never count")
            << "The Best App" << QStringList{"free photo app 2024"} << QStringList{"photo"};
    }

    void infer()
    {
        QFETCH(QString, title);
        QFETCH(QStringList, queries);
        QFETCH(QStringList, vocabulary);
        QCOMPARE(IndexedVocabulary::infer(title, queries), vocabulary);
    }

    void phrases_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("phrases");
        QTest::newRow("pairs before triples, per piece")
            << QStringList{"Photo Editor Pro Tools: Collage Maker"}
            << QStringList{"photo editor", "editor pro tools", "collage maker"};
        QTest::newRow("separators cut, hyphens do not")
            << QStringList{"photo & video / music + notes (cloud) sync\u2013share photo-editor"}
            << QStringList{"share photo", "photo editor", "share photo editor"};
        QTest::newRow("a stop word only inside")
            << QStringList{"maps of london", "the maps", "maps the"} << QStringList{"maps of london"};
        QTest::newRow("letters only, two at least")
            << QStringList{"photo 2 editor x tools", "caf\u00E9 menu"} << QStringList{"caf\u00E9 menu"};
        QTest::newRow("repeats across texts kept once")
            << QStringList{"photo editor", "Photo Editor. photo editor"} << QStringList{"photo editor"};
        QTest::newRow("links are gaps") << QStringList{"photo https://example.com editor"} << QStringList{"photo editor"};
    }

    void phrases()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, phrases);
        QCOMPARE(IndexedVocabulary::phrases(texts), phrases);
    }

    void propose_data()
    {
        QTest::addColumn<QStringList>("vocabulary");
        QTest::addColumn<QStringList>("queries");
        QTest::addColumn<QStringList>("market");
        QTest::addColumn<QStringList>("exclude");
        QTest::addColumn<QStringList>("expected");
        const QStringList pe{"photo", "editor"};
        QTest::newRow("indexed, probe, and a variant skipped")
            << pe << QStringList{} << QStringList{"photo editor", "video editor", "photo editing"} << QStringList{}
            << QStringList{"indexed:photo editor", "probe(video):video editor"};
        QTest::newRow("stop words are not words of a phrase")
            << pe << QStringList{} << QStringList{"photo editor app"} << QStringList{}
            << QStringList{"indexed:photo editor app", "combination:photo editor"};
        QTest::newRow("missing first word: probe in two, not in three")
            << pe << QStringList{} << QStringList{"video editor", "video photo editor"} << QStringList{}
            << QStringList{"probe(video):video editor", "combination:photo editor"};
        QTest::newRow("two missing words or a short one")
            << pe << QStringList{} << QStringList{"video clip", "tv editor"} << QStringList{}
            << QStringList{"combination:photo editor"};
        QTest::newRow("variant of a found query")
            << pe << QStringList{"photo editors"} << QStringList{} << QStringList{}
            << QStringList{"indexed:photo editor"};
        QTest::newRow("variant skipped when excluded")
            << pe << QStringList{"photo editors"} << QStringList{} << QStringList{"photo editor"} << QStringList{};
        QTest::newRow("same key as an excluded keyword")
            << QStringList{"photo", "editor", "video"} << QStringList{} << QStringList{"editors photo", "video photo"}
            << QStringList{"photo editor", "photo video"} << QStringList{"combination:editor video"};
        QTest::newRow("three-word queries give nothing")
            << QStringList{"photo", "editor", "video"} << QStringList{"photo editor video"} << QStringList{}
            << QStringList{"photo editor", "photo video", "editor video"} << QStringList{};
        QTest::newRow("extensions skip the query's stems")
            << QStringList{"photo", "editor", "editing", "video"} << QStringList{"photo editor"} << QStringList{}
            << QStringList{"photo editors", "editor video", "photo video", "photo editing"}
            << QStringList{"extension:photo editor video"};
    }

    void propose()
    {
        QFETCH(QStringList, vocabulary);
        QFETCH(QStringList, queries);
        QFETCH(QStringList, market);
        QFETCH(QStringList, exclude);
        QFETCH(QStringList, expected);
        const QSet<QString> excluded(exclude.cbegin(), exclude.cend());
        QCOMPARE(describe(IndexedVocabulary::propose(vocabulary, queries, market, excluded, 50, 10)), expected);
    }

    void interleaving_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("expected");
        const QStringList round{"indexed:alpha beta", "indexed:alpha gamma", "indexed:alpha delta", "extension:alpha beta gamma",
                                "probe(omega):alpha omega", "probe(sigma):alpha sigma", "combination:beta delta"};
        QTest::newRow("limit 4") << 4 << round.mid(0, 4);
        QTest::newRow("until every list is used up")
            << 100
            << round + QStringList{"indexed:beta gamma", "indexed:alpha betas", "extension:alpha beta delta",
                                   "probe(kappa):alpha kappa", "combination:gamma delta"};
    }

    void interleaving()
    {
        QFETCH(int, limit);
        QFETCH(QStringList, expected);
        const QStringList vocabulary{"alpha", "beta", "gamma", "delta"};
        const QStringList market{"alpha beta", "alpha gamma", "alpha delta", "beta gamma", "alpha omega",
                                 "alpha sigma", "alpha kappa"};
        const auto actual = IndexedVocabulary::propose(vocabulary, {"alpha beta"}, market, {}, limit, 4);
        QCOMPARE(describe(actual), expected);
    }
};

QTEST_GUILESS_MAIN(TestIndexedVocabulary)
#include "tst_indexedvocabulary.moc"
