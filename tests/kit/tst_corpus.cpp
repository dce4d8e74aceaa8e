#include "keywords/Corpus.h"
#include "keywords/Expansion.h"

#include <QtTest>

#include <algorithm>

namespace {

// "key=count" entries in text order.
QStringList entries(const QHash<QString, qint64> &counts)
{
    QStringList out;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        out.append(it.key() + u'=' + QString::number(it.value()));
    std::sort(out.begin(), out.end());
    return out;
}

Corpus corpusOf(const QStringList &texts)
{
    Corpus corpus;
    for (const QString &text : texts)
        corpus.add(text, 1);
    return corpus;
}

}

class TestCorpus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void counting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("tokens");
        QTest::addColumn<QStringList>("bigrams");
        QTest::newRow("address glued to a word") << "snap.com.photo editor" << QStringList{"editor=1", "photo=1"}
                                                 << QStringList{"photo editor=1"};
        QTest::newRow("accented address") << "caf\u00E9.app rocks hard" << QStringList{"hard=1", "rocks=1"}
                                          << QStringList{"rocks hard=1"};
        QTest::newRow("upper-case www with a path") << "WWW.Example.org/x?y=1 photo" << QStringList{"photo=1"}
                                                    << QStringList{};
        QTest::newRow("a link runs to the next space, its neighbours join") << "Visit http://a.b/c,photo editor"
                                                       << QStringList{"editor=1", "visit=1"} << QStringList{"visit editor=1"};
        QTest::newRow("a domain ending inside a word is no address")
            << "x.Company photo" << QStringList{"company=1", "photo=1"} << QStringList{"company photo=1"};
        QTest::newRow("hyphen, dash, comma, bracket and bar cut")
            << "photo-editor video\u2014clips music,notes cloud[drive] sync|share"
            << QStringList{"clips=1", "cloud=1", "drive=1", "editor=1", "music=1", "notes=1", "photo=1", "share=1",
                           "sync=1", "video=1"}
            << QStringList{"clips music=1", "editor video=1", "notes cloud=1"};
        QTest::newRow("slash, ampersand and plus do not cut")
            << "photo/editor video&clips music+notes" << QStringList{"clips=1", "editor=1", "music=1", "notes=1", "photo=1", "video=1"}
            << QStringList{"clips music=1", "editor video=1", "music notes=1", "photo editor=1", "video clips=1"};
        QTest::newRow("stop words, years and single letters break pairs")
            << "photo and editor 2024 video x clips" << QStringList{"clips=1", "editor=1", "photo=1", "video=1"}
            << QStringList{};
    }

    void counting()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, tokens);
        QFETCH(QStringList, bigrams);
        const Corpus corpus = corpusOf({text});
        QCOMPARE(entries(corpus.tokens()), tokens);
        QCOMPARE(entries(corpus.bigrams()), bigrams);
    }

    void weightsAddUp()
    {
        const QString text = QStringLiteral("Photo editor: crop and edit photos. Photo editor for pros");
        Corpus twice;
        twice.add(text, 1);
        twice.add(text, 1);
        twice.add(std::nullopt, 5);
        Corpus once;
        once.add(text, 2);
        QCOMPARE(twice.tokens(), once.tokens());
        QCOMPARE(twice.bigrams(), once.bigrams());
        QVERIFY(once.has("photo") && !once.has("and"));
    }

    void topBigrams()
    {
        Corpus c;
        c.add("zoom lens. video clips. photo editor. zoom lens. video clips. photo editor. photo editor. alpha beta", 1);
        // By count, then text; the first n; a minimum count.
        QCOMPARE(c.topBigrams(10, 1), (QStringList{"photo editor", "video clips", "zoom lens", "alpha beta"}));
        QCOMPARE(c.topBigrams(2, 1), (QStringList{"photo editor", "video clips"}));
        QCOMPARE(c.topBigrams(10, 2), (QStringList{"photo editor", "video clips", "zoom lens"}));
    }

    void wordVariants_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QStringList>("variants");
        QTest::newRow("runner") << "runner" << QStringList{"run", "runners", "running", "runs"};
        QTest::newRow("doubling before er and ing") << "runs" << QStringList{"run", "runner", "running"};
        QTest::newRow("e dropped before ing") << "create" << QStringList{"creating", "creation", "creator"};
        QTest::newRow("three letters have none") << "run" << QStringList{};
    }

    void wordVariants()
    {
        QFETCH(QString, word);
        QFETCH(QStringList, variants);
        const Corpus corpus = corpusOf({"run runs running runner runners ran", "create creating creation creator creators"});
        QCOMPARE(Expansion::wordVariants(word, corpus), variants);
    }

    void expand_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("keywords");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("expected");
        const QStringList runs{"run runs running runner runners"};
        QTest::newRow("limit keeps the first") << runs << QStringList{"runner"} << 2 << QStringList{"run", "runners"};
        QTest::newRow("input keywords never come back, whatever their case")
            << runs << QStringList{"runner", "RUNS", "Running"} << 25 << QStringList{"run", "runners"};
        QTest::newRow("four words yield nothing") << runs << QStringList{"fast runner app trail"} << 25 << QStringList{};
        QTest::newRow("verb then object swaps to object then agent")
            << QStringList{"photo editor"} << QStringList{"edit photo"} << 25 << QStringList{"photo editor"};
        QTest::newRow("changed ending at the end needs no evidence")
            << QStringList{"editor", "photo"} << QStringList{"photo edit"} << 25 << QStringList{"photo editor"};
        QTest::newRow("other changes need the pair")
            << QStringList{"tools", "photo"} << QStringList{"photo tool"} << 25 << QStringList{};
        QTest::newRow("attested pair") << QStringList{"photo tools"} << QStringList{"photo tool"} << 25
                                       << QStringList{"photo tools"};
        QTest::newRow("agent noun in second place moves first when attested")
            << QStringList{"edit photo. photo", "editing"} << QStringList{"photo editor"} << 25
            << QStringList{"photo edit", "photo editing", "edit photo", "edit photo editor"};
        QTest::newRow("three strongest words before the pair")
            << QStringList{"fast photo. fast photo. fast photo. quick photo. quick photo. smart photo. smart photo",
                           "great photo. editor photo. editor photo. editor photo. tools photo. tools photo"}
            << QStringList{"photo tools"} << 25
            << QStringList{"fast photo tools", "quick photo tools", "smart photo tools"};
    }

    void expand()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, keywords);
        QFETCH(int, limit);
        QFETCH(QStringList, expected);
        QCOMPARE(Expansion::expand(keywords, corpusOf(texts), limit), expected);
    }
};

QTEST_GUILESS_MAIN(TestCorpus)
#include "tst_corpus.moc"
