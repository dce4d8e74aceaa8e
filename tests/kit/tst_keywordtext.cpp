#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <QRandomGenerator>
#include <QtTest>

#include <thread>
#include <vector>

using KeywordText::Entry;

namespace {

// The rules spelled out cluster by cluster, without any shortcut, to check the fast paths against.
QString referenceClean(const QString &text)
{
    QString s = Unicode::nfkc(text);
    s.remove(QChar(0x200B)).remove(QChar(0x200C)).remove(QChar(0x200D)).remove(QChar(0xFEFF));
    QStringList runs{QString()};
    for (const QString &cluster : Unicode::graphemes(s)) {
        if (Unicode::isWhiteSpace(Unicode::codePointAt(cluster, 0)))
            runs.append(QString());
        else
            runs.last() += cluster;
    }
    runs.removeAll(QString());
    return runs.join(u' ');
}

QStringList referenceTokens(const QString &text)
{
    QStringList runs{QString()};
    for (const QString &cluster : Unicode::graphemes(Unicode::lowercased(Unicode::nfkc(text)))) {
        const char32_t first = Unicode::codePointAt(cluster, 0);
        if (Unicode::isAlphabetic(first) || Unicode::hasNumericType(first))
            runs.last() += cluster;
        else
            runs.append(QString());
    }
    runs.removeAll(QString());
    return runs;
}

}

class TestKeywordText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stopwordsUnderConcurrentFirstUse();   // first, so that it is the set's first use
    void normalize_data();
    void normalize();
    void agreesWithClusterRules();
    void clean_data();
    void clean();
    void tokenize_data();
    void tokenize();
    void meaningfulTokens();
    void isMeaningful_data();
    void isMeaningful();
    void isUsable_data();
    void isUsable();
    void dedupe_data();
    void dedupe();
    void splitInput_data();
    void splitInput();
    void stripURLs_data();
    void stripURLs();
    void stopwords_data();
    void stopwords();
};

void TestKeywordText::normalize_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("tab, leading blanks, trailing break") << "  Photo\tEditor\n" << "photo editor";
    QTest::newRow("full-width") << u"ＰＨＯＴＯ"_qs << "photo";
    QTest::newRow("punctuation kept") << "Photo-Editor!" << "photo-editor!";
    QTest::newRow("zero width space joins") << u"photo\u200Beditor"_qs << "photoeditor";
    QTest::newRow("other zero-width characters") << u"\uFEFFph\u200Coto\u200D"_qs << "photo";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("only whitespace") << u" \t\u00A0\u3000\n"_qs << "";
    QTest::newRow("ligature") << u"\uFB01lter"_qs << "filter";
    QTest::newRow("typographic spaces") << u"photo\u2003\u00A0editor\u2028lab"_qs << "photo editor lab";
    QTest::newRow("crlf between words") << "photo\r\neditor" << "photo editor";
    QTest::newRow("accent composed, kept") << u"Cafe\u0301"_qs << u"café"_qs;
    QTest::newRow("dotted capital I") << u"İzmir"_qs << u"i\u0307zmir"_qs;
    QTest::newRow("greek without final sigma") << u"ΟΔΟΣ ΣΤΟ"_qs << u"οδοσ στο"_qs;
    QTest::newRow("mark on a space goes with it") << u"photo \u0301editor"_qs << "photo editor";
    QTest::newRow("emoji kept") << u"Photo 📸  Lab 🇩🇪"_qs << u"photo 📸 lab 🇩🇪"_qs;
    QTest::newRow("above BMP lower-cased") << u"\U00010400x"_qs << u"\U00010428x"_qs;
}

void TestKeywordText::normalize()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(KeywordText::normalize(input), expected);
    QCOMPARE(KeywordText::normalize(expected), expected);
}

void TestKeywordText::agreesWithClusterRules()
{
    const QStringList pool{"a", "Z", "7", " ", "\t", "\r", "\n", "-", "'", u"\u0301"_qs, u"\u200B"_qs, u"\u200D"_qs,
                           u"\u00A0"_qs, u"\u3000"_qs, u"\u2028"_qs, u"é"_qs, u"Σ"_qs, u"İ"_qs, u"ﬁ"_qs, u"Ｐ"_qs,
                           u"一"_qs, u"😀"_qs, u"🇩"_qs, u"🏽"_qs, u"\uFE0F"_qs, u"\u0600"_qs, u"\u0915"_qs, u"\u094D"_qs,
                           u"\u1100"_qs, u"\u1161"_qs, u"½"_qs};
    QRandomGenerator random(7);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = 1 + random.bounded(10);
        for (int i = 0; i < length; ++i)
            text += pool[random.bounded(int(pool.size()))];
        if (KeywordText::clean(text) != referenceClean(text) || KeywordText::tokenize(text) != referenceTokens(text))
            QFAIL(qPrintable(u"differs for "_qs + QString::fromLatin1(text.toUtf8().toPercentEncoding())));
        QCOMPARE(KeywordText::normalize(text), Unicode::lowercased(KeywordText::clean(text)));
    }
}

void TestKeywordText::clean_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("case kept") << "Best  Photo   Editor" << "Best Photo Editor";
    QTest::newRow("full-width to ascii") << u"ＰＨＯＴＯ Lab"_qs << "PHOTO Lab";
    QTest::newRow("no-break spaces") << u"\u00A0Photo\u3000Lab\u00A0"_qs << "Photo Lab";
    QTest::newRow("superscript digit") << u"Photo\u00B2"_qs << "Photo2";
    QTest::newRow("zero width inside") << u"Ph\u200Doto"_qs << "Photo";
    QTest::newRow("capital I with dot kept") << u"İzmir"_qs << u"İzmir"_qs;
}

void TestKeywordText::clean()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(KeywordText::clean(input), expected);
}

void TestKeywordText::tokenize_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("hyphen and bang") << "Photo-Editor 2!" << QStringList{"photo", "editor", "2"};
    QTest::newRow("apostrophe") << "don't" << QStringList{"don", "t"};
    QTest::newRow("curly apostrophe") << u"Don’t"_qs << QStringList{"don", "t"};
    QTest::newRow("accent") << u"café"_qs << QStringList{u"café"_qs};
    QTest::newRow("mark stays in its character") << u"q\u0301x y"_qs << QStringList{u"q\u0301x"_qs, "y"};
    QTest::newRow("zero width space separates") << u"Photo\u200BEditor"_qs << QStringList{"photo", "editor"};
    QTest::newRow("joiner stays in its character") << u"ab\u200Dcd"_qs << QStringList{u"ab\u200Dcd"_qs};
    QTest::newRow("underscore separates") << "photo_editor" << QStringList{"photo", "editor"};
    QTest::newRow("emoji separate") << u"👍🏽great📸shots"_qs << QStringList{"great", "shots"};
    QTest::newRow("flag separates") << u"🇩🇪Berlin"_qs << QStringList{"berlin"};
    QTest::newRow("full-width digits") << u"Ｆｉｔ２４"_qs << QStringList{"fit24"};
    QTest::newRow("fraction and numeral decomposed") << u"½ price Ⅻ"_qs << QStringList{"1", "2", "price", "xii"};
    QTest::newRow("han with digits") << u"2024年 写真"_qs << QStringList{u"2024年"_qs, u"写真"_qs};
    QTest::newRow("dotted capital I") << u"İstanbul"_qs << QStringList{u"i\u0307stanbul"_qs};
    QTest::newRow("greek") << u"ΟΔΟΣ ΣΑ"_qs << QStringList{u"οδοσ"_qs, u"σα"_qs};
    QTest::newRow("devanagari signs") << u"नमस्ते दुनिया"_qs << QStringList{u"नमस्ते"_qs, u"दुनिया"_qs};
    QTest::newRow("repeats kept") << "go go" << QStringList{"go", "go"};
    QTest::newRow("nothing") << " -- " << QStringList{};
}

void TestKeywordText::tokenize()
{
    QFETCH(QString, input);
    QFETCH(QStringList, expected);
    QCOMPARE(KeywordText::tokenize(input), expected);
}

void TestKeywordText::meaningfulTokens()
{
    QCOMPARE(KeywordText::meaningfulTokens(QStringLiteral("The best photo app 2024 x")), QStringList{"photo"});
    QCOMPARE(KeywordText::meaningfulTokens(QStringLiteral("Photo und Video für Profis photo")),
             (QStringList{"photo", "video", "profis", "photo"}));
}

void TestKeywordText::isMeaningful_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("expected");

    QTest::newRow("digits and a letter") << "12a" << true;
    QTest::newRow("digits only") << "123" << false;
    QTest::newRow("two letters") << "ab" << true;
    QTest::newRow("german stop word") << u"über"_qs << false;
    QTest::newRow("turkish stop word") << u"için"_qs << false;
    QTest::newRow("portuguese stop word") << u"você"_qs << false;
    QTest::newRow("han numerals") << u"一二"_qs << false;
    QTest::newRow("han word") << u"写真"_qs << true;
    QTest::newRow("fractions") << u"½¼"_qs << false;
    QTest::newRow("one letter") << "x" << false;
    QTest::newRow("one letter with its accent") << u"e\u0301"_qs << false;
    QTest::newRow("not normalised first") << "App" << true;
}

void TestKeywordText::isMeaningful()
{
    QFETCH(QString, word);
    QFETCH(bool, expected);
    QCOMPARE(KeywordText::isMeaningful(word), expected);
}

void TestKeywordText::isUsable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("one character") << "a" << false;
    QTest::newRow("100 characters") << QString(99, u'x') + u'y' << true;
    QTest::newRow("101 characters") << QString(101, u'x') << false;
    QTest::newRow("100 accented characters") << QString(u"e\u0301"_qs).repeated(100) << true;
    QTest::newRow("101 accented characters") << QString(u"e\u0301"_qs).repeated(101) << false;
    QTest::newRow("six words") << "a b c d e f" << true;
    QTest::newRow("seven words") << "a b c d e f g" << false;
    QTest::newRow("punctuation only") << "!!" << false;
    QTest::newRow("digits") << "42" << true;
    QTest::newRow("two flags, no letter") << u"🇩🇪🇫🇷"_qs << false;
    QTest::newRow("one flag") << u"🇩🇪"_qs << false;
    QTest::newRow("han numerals") << u"一二"_qs << true;
}

void TestKeywordText::isUsable()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(KeywordText::isUsable(text), expected);
}

void TestKeywordText::dedupe_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QList<Entry>>("expected");

    QTest::newRow("first wins, short dropped")
        << QStringList{"Photo Editor", "photo  editor", "X", "Photo Editor Pro"}
        << QList<Entry>{{"photo editor", "Photo Editor"}, {"photo editor pro", "Photo Editor Pro"}};
    QTest::newRow("compatibility forms are one keyword")
        << QStringList{u"ＰＨＯＴＯ  Lab"_qs, "photo lab", u"photo\u200B lab"_qs}
        << QList<Entry>{{"photo lab", "PHOTO Lab"}};
    QTest::newRow("accents and hyphens differ")
        << QStringList{u"café"_qs, "cafe", "photo-editor", "photo editor"}
        << QList<Entry>{{u"café"_qs, u"café"_qs}, {"cafe", "cafe"}, {"photo-editor", "photo-editor"},
                        {"photo editor", "photo editor"}};
    QTest::newRow("too many words") << QStringList{"one two three four five six seven"} << QList<Entry>{};
}

void TestKeywordText::dedupe()
{
    QFETCH(QStringList, input);
    QFETCH(QList<Entry>, expected);
    QCOMPARE(KeywordText::dedupe(input), expected);
}

void TestKeywordText::splitInput_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("mixed separators") << "one, two;three\nfour\r\n,,five " << QStringList{"one", "two", "three", "four", "five"};
    QTest::newRow("nothing") << ",,\n" << QStringList{};
    QTest::newRow("spaces do not separate") << "Photo  editor\tpro" << QStringList{"Photo editor pro"};
    QTest::newRow("unicode line breaks") << u"a\u2028b\u2029c\u0085d\u000Be\u000Cf"_qs
                                         << QStringList{"a", "b", "c", "d", "e", "f"};
    QTest::newRow("full-width comma is no separator") << u"a\uFF0Cb"_qs << QStringList{"a,b"};
}

void TestKeywordText::splitInput()
{
    QFETCH(QString, input);
    QFETCH(QStringList, expected);
    QCOMPARE(KeywordText::splitInput(input), expected);
}

void TestKeywordText::stripURLs_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("link between words") << "Visit https://example.com/a?b=c now" << "Visit   now";
    QTest::newRow("http") << "see http://x.y/z." << "see  ";
    QTest::newRow("www") << "at www.example.org/help today" << "at   today";
    QTest::newRow("scheme in capitals") << "HTTPS://EXAMPLE.COM" << " ";
    QTest::newRow("bare address") << "Try photolab.app today" << "Try   today";
    QTest::newRow("bare address in capitals") << "Try PhotoLab.APP" << "Try  ";
    QTest::newRow("bare address with path") << "go my-site.io/docs/x ok" << "go   ok";
    QTest::newRow("every ending")
        << "a.com b.net c.org d.io e.app f.co g.ai h.dev" << "               ";
    QTest::newRow("sentence stop after address") << "mail foo.co." << "mail  .";
    QTest::newRow("longer word after dot kept") << "photos.Collage" << "photos.Collage";
    QTest::newRow("plural ending kept") << "best.apps" << "best.apps";
    QTest::newRow("other ending kept") << "file.txt" << "file.txt";
    QTest::newRow("no address") << "Photo editor" << "Photo editor";
}

void TestKeywordText::stripURLs()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(KeywordText::stripURLs(input), expected);
}

void TestKeywordText::stopwords_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("member");

    for (const char *word : {"app", "iphone", "ipad", "ios", "free", "best", "new", "a", "zur", "mu"})
        QTest::newRow(word) << QString::fromUtf8(word) << true;
    QTest::newRow("für") << u"für"_qs << true;
    QTest::newRow("şu") << u"şu"_qs << true;
    QTest::newRow("é") << u"é"_qs << true;
    QTest::newRow("photo") << "photo" << false;
    QTest::newRow("capitalised") << "App" << false;
}

void TestKeywordText::stopwords()
{
    QFETCH(QString, word);
    QFETCH(bool, member);
    QCOMPARE(KeywordText::stopwords().size(), 261);
    QCOMPARE(KeywordText::stopwords().contains(word), member);
}

void TestKeywordText::stopwordsUnderConcurrentFirstUse()
{
    std::vector<std::thread> threads;
    std::vector<qsizetype> sizes(8);
    for (size_t i = 0; i < sizes.size(); ++i)
        threads.emplace_back([&sizes, i] { sizes[i] = KeywordText::stopwords().size(); });
    for (auto &t : threads)
        t.join();
    for (const qsizetype size : sizes)
        QCOMPARE(size, 261);
}

QTEST_GUILESS_MAIN(TestKeywordText)
#include "tst_keywordtext.moc"
