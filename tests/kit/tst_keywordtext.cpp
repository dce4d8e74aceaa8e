#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <QRandomGenerator>
#include <QtTest>

#include <unicode/uchar.h>

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

// The normal form the rules settle on: clean() lower-cased, repeated until it no longer changes.
// Where the first pass is already its own normal form, that is all.
QString settledNormalForm(const QString &text)
{
    QString form = Unicode::lowercased(referenceClean(text));
    for (QString next; (next = Unicode::lowercased(referenceClean(form))) != form;)
        form = next;
    return form;
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
    void cleanAndNormalize_data();
    void cleanAndNormalize();
    void tokenize_data();
    void tokenize();
    void agreesWithClusterRules();
    void normalFormIsStable_data();
    void normalFormIsStable();
    void normalFormIsStableForAnyText();
    void normalFormAgreesForEveryCodePoint();
    void numberedTextAgreesWithSplitting();
    void isMeaningful_data();
    void isMeaningful();
    void isUsable_data();
    void isUsable();
    void dedupe();
    void splitInput_data();
    void splitInput();
    void stripURLs_data();
    void stripURLs();
    void stripURLsAgreesWithTheExpression();
    void stopwords();
};

void TestKeywordText::cleanAndNormalize_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("clean");
    QTest::addColumn<QString>("normalized");

    QTest::newRow("tab, leading blanks, trailing break") << "  Photo\tEditor\n" << "Photo Editor" << "photo editor";
    QTest::newRow("full-width") << u"ＰＨＯＴＯ"_qs << "PHOTO" << "photo";
    QTest::newRow("punctuation kept") << "Photo-Editor!" << "Photo-Editor!" << "photo-editor!";
    QTest::newRow("zero width space joins") << u"photo\u200Beditor"_qs << "photoeditor" << "photoeditor";
    QTest::newRow("other zero-width characters") << u"\uFEFFPh\u200Coto\u200D"_qs << "Photo" << "photo";
    QTest::newRow("empty") << "" << "" << "";
    QTest::newRow("typographic spaces and breaks") << u"\u00A0Photo\u2003Lab\u2028X\u3000"_qs << "Photo Lab X"
                                                   << "photo lab x";
    QTest::newRow("ligature and superscript") << u"\uFB01lter\u00B2"_qs << "filter2" << "filter2";
    QTest::newRow("accent composed, kept") << u"Cafe\u0301"_qs << u"Café"_qs << u"café"_qs;
    QTest::newRow("dotted capital I") << u"İzmir"_qs << u"İzmir"_qs << u"i\u0307zmir"_qs;
    QTest::newRow("greek without final sigma") << u"ΟΔΟΣ"_qs << u"ΟΔΟΣ"_qs << u"οδοσ"_qs;
    QTest::newRow("mark on a space goes with it") << u"a \u0301b"_qs << "a b" << "a b";
    QTest::newRow("emoji kept") << u"Photo 📸  🇩🇪"_qs << u"Photo 📸 🇩🇪"_qs << u"photo 📸 🇩🇪"_qs;
}

void TestKeywordText::cleanAndNormalize()
{
    QFETCH(QString, input);
    QFETCH(QString, clean);
    QFETCH(QString, normalized);
    QCOMPARE(KeywordText::clean(input), clean);
    QCOMPARE(KeywordText::normalize(input), normalized);
    QCOMPARE(KeywordText::normalize(normalized), normalized);
}

void TestKeywordText::tokenize_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("hyphen and bang") << "Photo-Editor 2!" << QStringList{"photo", "editor", "2"};
    QTest::newRow("apostrophes") << u"don't Don’t"_qs << QStringList{"don", "t", "don", "t"};
    QTest::newRow("accent") << u"café"_qs << QStringList{u"café"_qs};
    QTest::newRow("mark stays in its character") << u"q\u0301x y"_qs << QStringList{u"q\u0301x"_qs, "y"};
    QTest::newRow("zero width space separates") << u"Photo\u200BEditor"_qs << QStringList{"photo", "editor"};
    QTest::newRow("joiner stays in its character") << u"ab\u200Dcd"_qs << QStringList{u"ab\u200Dcd"_qs};
    QTest::newRow("emoji and flags separate") << u"👍🏽great🇩🇪Berlin"_qs << QStringList{"great", "berlin"};
    QTest::newRow("full-width digits") << u"Ｆｉｔ２４"_qs << QStringList{"fit24"};
    QTest::newRow("fraction and numeral decomposed") << u"½ Ⅻ"_qs << QStringList{"1", "2", "xii"};
    QTest::newRow("dotted capital I") << u"İstanbul"_qs << QStringList{u"i\u0307stanbul"_qs};
    QTest::newRow("devanagari signs") << u"नमस्ते दुनिया"_qs << QStringList{u"नमस्ते"_qs, u"दुनिया"_qs};
}

void TestKeywordText::tokenize()
{
    QFETCH(QString, input);
    QFETCH(QStringList, expected);
    QCOMPARE(KeywordText::tokenize(input), expected);
}

void TestKeywordText::agreesWithClusterRules()
{
    const QStringList pool{"a", "Z", "7", " ", "\t", "\r", "\n", "-", u"\u0301"_qs, u"\u200B"_qs, u"\u200D"_qs,
                           u"\u00A0"_qs, u"\u3000"_qs, u"\u2028"_qs, u"é"_qs, u"Σ"_qs, u"İ"_qs, u"ﬁ"_qs, u"Ｐ"_qs,
                           u"一"_qs, u"😀"_qs, u"🇩"_qs, u"🏽"_qs, u"\uFE0F"_qs, u"\u0600"_qs, u"\u0915"_qs, u"\u094D"_qs,
                           u"\u1100"_qs, u"\u1161"_qs, u"½"_qs};
    QRandomGenerator random(7);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        for (int i = 1 + random.bounded(10); i > 0; --i)
            text += pool[random.bounded(int(pool.size()))];
        QStringList viewed;
        for (const QStringView word : KeywordText::TokenViews(text))
            viewed.append(word.toString());
        if (KeywordText::clean(text) != referenceClean(text) || KeywordText::tokenize(text) != referenceTokens(text)
            || viewed != referenceTokens(text))
            QFAIL(qPrintable(u"differs for "_qs + QString::fromLatin1(text.toUtf8().toPercentEncoding())));
        QCOMPARE(KeywordText::normalize(text), settledNormalForm(text));
    }
}

void TestKeywordText::normalFormIsStable_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("normalized");

    QTest::newRow("mark after a carriage return") << u"\uFFFD\r\u0301"_qs << u"\uFFFD"_qs;
    QTest::newRow("mark after a tab, between words") << u"a\t\u0301b"_qs << "a b";
    QTest::newRow("marks after a line separator") << u"Photo\u2028\u0301\u0308Lab"_qs << "photo lab";
    QTest::newRow("spacing mark after a line feed") << u"\u0915\n\u0903x"_qs << u"\u0915 x"_qs;
    QTest::newRow("emoji modifier after a form feed") << u"a\f\U0001F3FBb"_qs << "a b";
    QTest::newRow("mark after a line break at the start stays") << u"\n\u0301x"_qs << u"\u0301x"_qs;
    QTest::newRow("mark after a removed zero width space composes") << u"Cafe\u200B\u0301"_qs << u"café"_qs;
    QTest::newRow("capital W with ring above") << u"W\u030A"_qs << u"\u1E98"_qs;
    QTest::newRow("capital J with caron") << u"J\u030C"_qs << u"\u01F0"_qs;
    QTest::newRow("joiner after a tab is removed") << u"a\t\u200Db"_qs << "a b";
}

void TestKeywordText::normalFormIsStable()
{
    QFETCH(QString, input);
    QFETCH(QString, normalized);
    QCOMPARE(KeywordText::normalize(input), normalized);
    QCOMPARE(KeywordText::normalize(normalized), normalized);
    // Keys made from pasted entries are the same normal form.
    const QList<Entry> entries = KeywordText::dedupe({input + u"xy"_qs});
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().normalized, KeywordText::normalize(input + u"xy"_qs));
}

void TestKeywordText::normalFormIsStableForAnyText()
{
    // Marks and joiners after every kind of white space, zero-width characters, lone surrogates,
    // letters whose lower case composes, and several scripts, glued at random.
    const QStringList pool{u"\t"_qs, u"\n"_qs, u"\u000B"_qs, u"\f"_qs, u"\r"_qs, u" "_qs, u"\u0085"_qs,
                           u"\u00A0"_qs, u"\u1680"_qs, u"\u2000"_qs, u"\u2007"_qs, u"\u200A"_qs, u"\u2028"_qs,
                           u"\u2029"_qs, u"\u202F"_qs, u"\u205F"_qs, u"\u3000"_qs, u"\u0301"_qs, u"\u0308"_qs,
                           u"\u0345"_qs, u"\u0903"_qs, u"\u094D"_qs, u"\uFE0F"_qs, u"\U0001F3FB"_qs, u"\u200B"_qs,
                           u"\u200C"_qs, u"\u200D"_qs, u"\uFEFF"_qs, QString(QChar(0xD800)), QString(QChar(0xDC00)),
                           u"a"_qs, u"W"_qs, u"J"_qs, u"İ"_qs, u"Σ"_qs, u"ß"_qs, u"ﬁ"_qs, u"Ｐ"_qs, u"é"_qs, u"Ω"_qs,
                           u"ж"_qs, u"\u1100"_qs, u"\u1161"_qs, u"\u0915"_qs, u"\u0600"_qs, u"写"_qs, u"😀"_qs,
                           u"🇩"_qs, u"-"_qs, u","_qs, u"\uFFFD"_qs};
    QRandomGenerator random(15);
    for (int round = 0; round < 5000; ++round) {
        QString text;
        for (int i = 1 + random.bounded(12); i > 0; --i)
            text += pool[random.bounded(int(pool.size()))];
        const QString normalized = KeywordText::normalize(text);
        if (KeywordText::normalize(normalized) != normalized || normalized != settledNormalForm(text))
            QFAIL(qPrintable(u"not stable for "_qs + QString::fromLatin1(text.toUtf8().toPercentEncoding())));
    }
}

// The normal form decides white-space clusters, and whether a second pass is due, from facts of
// single code points. Each code point is put where a wrong fact would show: after a capital that
// lower-casing changes, after a tab and after a space, and before spaces, one carrying a mark.
void TestKeywordText::normalFormAgreesForEveryCodePoint()
{
    const QStringList frames{u"W%1"_qs, u"a\t%1 %1 \u0301b"_qs};
    for (char32_t c = 0; c <= 0xE01EF; ++c) {
        const auto type = u_charType(static_cast<UChar32>(c));
        if (type == U_UNASSIGNED || type == U_SURROGATE || type == U_PRIVATE_USE_CHAR
            || (c >= 0x20000 && c < 0xE0000))   // planes 2 to 13: ideographs alike
            continue;
        const QString one = QChar::requiresSurrogates(c)
            ? QString(QChar(QChar::highSurrogate(c))) + QChar(QChar::lowSurrogate(c))
            : QString(QChar(char16_t(c)));
        for (QString text : frames) {
            text.replace(u"%1"_qs, one);
            if (KeywordText::normalize(text) != settledNormalForm(text))
                QFAIL(qPrintable(u"differs for "_qs + QString::fromLatin1(text.toUtf8().toPercentEncoding())));
        }
    }
}

void TestKeywordText::numberedTextAgreesWithSplitting()
{
    // Pieces read after the words are numbered hold what cutting the text first and splitting
    // each piece gives, links stripped or not, pieces cleaned or not.
    const QStringList pool{"a", "Zb", "7", " ", ".", ":", "-", "&", "\n", u"\u2013"_qs, u"\u2022"_qs,
                           u"\u00B7"_qs, u"\u00A0"_qs, u"\u2019"_qs, u"é"_qs, u"\u0301"_qs, u"\u200B"_qs,
                           u"\u0345"_qs, "x.com", "http://a.b"};
    const auto isCut = [](QChar c) { return c == u'.' || c == u'-' || c == u'\u2022' || c == u'\n'; };
    using Pieces = KeywordText::NumberedText::Pieces;
    KeywordText::WordNumbers words;
    QRandomGenerator random(11);
    for (int round = 0; round < 5000; ++round) {
        QString text;
        for (int i = 1 + random.bounded(12); i > 0; --i)
            text += pool[random.bounded(int(pool.size()))];
        const KeywordText::NumberedText numbered(text, words);
        for (const bool strip : {false, true}) {
            for (const auto pieces : {Pieces::raw, Pieces::cleaned}) {
                QList<QStringList> read;
                (strip ? numbered.withoutLinks() : numbered).forEachPiece(isCut, [&](std::span<const int> piece) {
                    read.append(QStringList());
                    for (const int word : piece)
                        read.last().append(words.word(word));
                }, pieces);
                QList<QStringList> expected;
                const QString source = strip ? KeywordText::stripURLs(text) : text;
                for (const QString &piece : source.split(QRegularExpression(u"[.\\-\u2022\n]"_qs))) {
                    const QStringList tokens = referenceTokens(pieces == Pieces::cleaned ? referenceClean(piece) : piece);
                    if (!tokens.isEmpty())
                        expected.append(tokens);
                }
                if (read != expected)
                    QFAIL(qPrintable(u"differs for "_qs + QString::fromLatin1(text.toUtf8().toPercentEncoding())));
            }
        }
    }
}

void TestKeywordText::isMeaningful_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("expected");

    QTest::newRow("digits and a letter") << "12a" << true;
    QTest::newRow("digits only") << "123" << false;
    QTest::newRow("two letters") << "ab" << true;
    QTest::newRow("german stop word") << u"über"_qs << false;
    QTest::newRow("han numerals") << u"一二"_qs << false;
    QTest::newRow("han word") << u"写真"_qs << true;
    QTest::newRow("one letter with its accent") << u"e\u0301"_qs << false;
    QTest::newRow("not normalised first") << "App" << true;
    QTest::newRow("CR LF is one character") << "\r\n" << false;
}

void TestKeywordText::isMeaningful()
{
    QFETCH(QString, word);
    QFETCH(bool, expected);
    QCOMPARE(KeywordText::isMeaningful(word), expected);
    QCOMPARE(KeywordText::meaningfulTokens(QStringLiteral("The best photo app 2024 x")), QStringList{"photo"});
}

void TestKeywordText::isUsable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("one character") << "a" << false;
    QTest::newRow("100 accented characters") << QString(u"e\u0301"_qs).repeated(100) << true;
    QTest::newRow("101 characters") << QString(101, u'x') << false;
    QTest::newRow("100 characters, one a CR LF pair") << QString(99, u'x') + "\r\n" << true;
    QTest::newRow("six words") << "a b c d e f" << true;
    QTest::newRow("seven words") << "a b c d e f g" << false;
    QTest::newRow("punctuation only") << "!!" << false;
    QTest::newRow("digits") << "42" << true;
    QTest::newRow("two flags, no letter") << u"🇩🇪🇫🇷"_qs << false;
}

void TestKeywordText::isUsable()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(KeywordText::isUsable(text), expected);
}

void TestKeywordText::dedupe()
{
    QCOMPARE(KeywordText::dedupe({"Photo Editor", "photo  editor", "X", "Photo Editor Pro"}),
             (QList<Entry>{{"photo editor", "Photo Editor"}, {"photo editor pro", "Photo Editor Pro"}}));
    QCOMPARE(KeywordText::dedupe({u"ＰＨＯＴＯ  Lab"_qs, u"photo\u200B lab"_qs, u"café"_qs, "cafe", "photo-lab"}),
             (QList<Entry>{{"photo lab", "PHOTO Lab"}, {u"café"_qs, u"café"_qs}, {"cafe", "cafe"},
                           {"photo-lab", "photo-lab"}}));
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
    QTest::newRow("http and www") << "see http://x.y/z. www.example.org/help" << "see    ";
    QTest::newRow("capitals") << "HTTPS://EXAMPLE.COM Try PhotoLab.APP" << "  Try  ";
    QTest::newRow("bare address with path") << "go my-site.io/docs/x ok" << "go   ok";
    QTest::newRow("every ending") << "a.com b.net c.org d.io e.app f.co g.ai h.dev" << "               ";
    QTest::newRow("sentence stop after address") << "mail foo.co." << "mail  .";
    QTest::newRow("longer word after the dot kept") << "photos.Collage" << "photos.Collage";
    QTest::newRow("plural ending kept") << "best.apps" << "best.apps";
    QTest::newRow("other ending kept") << "file.txt" << "file.txt";
    QTest::newRow("address glued to more text") << "snap.com.photo editor" << " .photo editor";
    QTest::newRow("accented letter before the dot") << u"café.app rocks"_qs << "  rocks";
    QTest::newRow("link runs to the next space") << "Visit http://a.b/c,photo editor" << "Visit   editor";
    QTest::newRow("sentence stops only") << "end. Next www" << "end. Next www";
}

void TestKeywordText::stripURLs()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(KeywordText::stripURLs(input), expected);
}

void TestKeywordText::stripURLsAgreesWithTheExpression()
{
    // Pieces that the expression's word boundaries and classes treat specially: marks and format
    // characters (skipped by a boundary), dashes, letters that fold to the endings' letters.
    const Unicode::Regex addresses(
        u"(https?://|www\\.)\\S+|\\b[\\w-]+\\.(com|net|org|io|app|co|ai|dev)\\b(/\\S*)?"_qs, true);
    const QStringList pool{"a", "Z", "7", "-", ".", "/", "://", "http", "HTTPS", "www", "www.", "com", "CO", ".co.", "io", "app", "dev",
                           "cz", "community", ",", " ", "\t", "_", u"\u0301"_qs, u"\u00AD"_qs, u"\u200B"_qs, u"\u200D"_qs,
                           u"\u2060"_qs, u"\u00A0"_qs, u"\u2028"_qs, u"ſ"_qs, u"İ"_qs, u"é"_qs, u"写"_qs, u"😀"_qs,
                           u"\u203F"_qs, QString(QChar(0xDC00))};
    QRandomGenerator random(16);
    for (int round = 0; round < 5000; ++round) {
        QString text;
        for (int i = 1 + random.bounded(14); i > 0; --i)
            text += pool[random.bounded(int(pool.size()))];
        if (KeywordText::stripURLs(text) != addresses.replaceAll(text, u" "_qs))
            QFAIL(qPrintable(u"differs for "_qs + QString::fromLatin1(text.toUtf8().toPercentEncoding())));
    }
}

void TestKeywordText::stopwords()
{
    const auto &words = KeywordText::stopwords();
    QCOMPARE(words.size(), 261);
    for (const QString &word : {u"app"_qs, u"iphone"_qs, u"ipad"_qs, u"ios"_qs, u"free"_qs, u"best"_qs, u"new"_qs,
                                u"zur"_qs, u"für"_qs, u"şu"_qs, u"é"_qs, u"você"_qs})
        QVERIFY2(words.contains(word), qPrintable(word));
    QVERIFY(!words.contains(QStringLiteral("photo")));
    QVERIFY(!words.contains(QStringLiteral("App")));
}

QTEST_GUILESS_MAIN(TestKeywordText)
#include "tst_keywordtext.moc"
