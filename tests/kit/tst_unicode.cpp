#include "support/Unicode.h"

#include <QtTest>

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace {

QString cp(char32_t c)
{
    // Not QString::fromUcs4: it would swallow U+FEFF as a byte-order mark.
    if (QChar::requiresSurrogates(c))
        return QString(QChar(QChar::highSurrogate(c))) + QChar(QChar::lowSurrogate(c));
    return QString(QChar(char16_t(c)));
}

// Boundaries straight from ICU's character break iterator, as the reference for the cursor.
QList<qsizetype> icuBoundaries(icu::BreakIterator &iterator, const QString &text)
{
    const icu::UnicodeString source(false, reinterpret_cast<const UChar *>(text.utf16()),
                                    static_cast<int32_t>(text.size()));
    iterator.setText(source);
    QList<qsizetype> result;
    iterator.first();
    for (int32_t b = iterator.next(); b != icu::BreakIterator::DONE; b = iterator.next())
        result.append(b);
    return result;
}

QList<qsizetype> cursorBoundaries(const QString &text)
{
    QList<qsizetype> result;
    Unicode::GraphemeCursor cursor(text);
    for (qsizetype end; (end = cursor.next()) >= 0;)
        result.append(end);
    return result;
}

QString mapOne(char32_t c, bool lower)
{
    UChar source[2];
    int32_t length = 0;
    U16_APPEND_UNSAFE(source, length, static_cast<UChar32>(c));
    UChar out[16];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = lower ? u_strToLower(out, 16, source, length, "", &status)
                            : u_strToUpper(out, 16, source, length, "", &status);
    return QString(reinterpret_cast<const QChar *>(out), n);
}

}

class TestUnicode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void normalForms_data();
    void normalForms();
    void caseMapping_data();
    void caseMapping();
    void caseMappingIgnoresNeighbours();
    void properties_data();
    void properties();
    void graphemes_data();
    void graphemes();
    void cursorAgreesWithIcu();
    void cursorAgreesWithIcuOnMixedText();
    void nestedCursors();
    void codePointOrder_data();
    void codePointOrder();
    void sortsAboveBmpLast();
    void regexFind_data();
    void regexFind();
    void regexReplace_data();
    void regexReplace();
    void regexRejectsBadPattern();
};

void TestUnicode::normalForms_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("nfkc");
    QTest::addColumn<QString>("nfc");

    QTest::newRow("ascii") << "Photo Editor" << "Photo Editor" << "Photo Editor";
    QTest::newRow("full-width") << u"ＰＨＯＴＯ"_qs << "PHOTO" << u"ＰＨＯＴＯ"_qs;
    QTest::newRow("ligature") << u"\uFB01lter"_qs << "filter" << u"\uFB01lter"_qs;
    QTest::newRow("decomposed accent") << u"cafe\u0301"_qs << u"café"_qs << u"café"_qs;
    QTest::newRow("accent kept") << u"café"_qs << u"café"_qs << u"café"_qs;
    QTest::newRow("superscript and circled") << u"x\u00B2 \u2460"_qs << "x2 1" << u"x\u00B2 \u2460"_qs;
    QTest::newRow("no-break space") << u"a\u00A0b"_qs << "a b" << u"a\u00A0b"_qs;
    QTest::newRow("math bold above BMP") << cp(0x1D400) << "A" << cp(0x1D400);
    QTest::newRow("empty") << "" << "" << "";
}

void TestUnicode::normalForms()
{
    QFETCH(QString, input);
    QFETCH(QString, nfkc);
    QFETCH(QString, nfc);
    QCOMPARE(Unicode::nfkc(input), nfkc);
    QCOMPARE(Unicode::nfc(input), nfc);
}

void TestUnicode::caseMapping_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("lower");
    QTest::addColumn<QString>("upper");

    QTest::newRow("ascii") << "Photo Lab 2" << "photo lab 2" << "PHOTO LAB 2";
    QTest::newRow("dotted capital I") << u"İstanbul"_qs << u"i\u0307stanbul"_qs << u"İSTANBUL"_qs;
    QTest::newRow("dotless i stays") << u"ı"_qs << u"ı"_qs << "I";
    QTest::newRow("no final sigma") << u"ΟΔΟΣ"_qs << u"οδοσ"_qs << u"ΟΔΟΣ"_qs;
    QTest::newRow("sigma before space") << u"ΣΑΣ ΣΑΣ."_qs << u"σασ σασ."_qs << u"ΣΑΣ ΣΑΣ."_qs;
    QTest::newRow("final sigma kept") << u"οδος"_qs << u"οδος"_qs << u"ΟΔΟΣ"_qs;
    QTest::newRow("sharp s") << u"Straße"_qs << u"straße"_qs << u"STRASSE"_qs;
    QTest::newRow("ligature upper") << u"\uFB01"_qs << u"\uFB01"_qs << "FI";
    QTest::newRow("above BMP") << cp(0x10400) << cp(0x10428) << cp(0x10400);
    QTest::newRow("empty") << "" << "" << "";
}

void TestUnicode::caseMapping()
{
    QFETCH(QString, input);
    QFETCH(QString, lower);
    QFETCH(QString, upper);
    QCOMPARE(Unicode::lowercased(input), lower);
    QCOMPARE(Unicode::uppercased(input), upper);
}

// Each code point maps on its own, whatever stands around it: a cased letter before it and a
// space after it is exactly the context in which a context-sensitive mapping would differ.
void TestUnicode::caseMappingIgnoresNeighbours()
{
    QString text;
    QString lower;
    QString upper;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        if (u_charType(static_cast<UChar32>(c)) == U_UNASSIGNED || u_charType(static_cast<UChar32>(c)) == U_PRIVATE_USE_CHAR)
            continue;
        text += u'A' + cp(c) + u' ';
        lower += u'a' + mapOne(c, true) + u' ';
        upper += u'A' + mapOne(c, false) + u' ';
    }
    QVERIFY(Unicode::lowercased(text) == lower);
    QVERIFY(Unicode::uppercased(text) == upper);
}

void TestUnicode::properties_data()
{
    QTest::addColumn<uint>("codePoint");
    QTest::addColumn<bool>("alphabetic");
    QTest::addColumn<bool>("whiteSpace");
    QTest::addColumn<bool>("numeric");

    QTest::newRow("latin letter") << 0x61u << true << false << false;
    QTest::newRow("digit") << 0x35u << false << false << true;
    QTest::newRow("han numeral one") << 0x4E00u << true << false << true;
    QTest::newRow("vulgar half") << 0xBDu << false << false << true;
    QTest::newRow("roman twelve") << 0x216Bu << true << false << true;
    QTest::newRow("no-break space") << 0xA0u << false << true << false;
    QTest::newRow("ideographic space") << 0x3000u << false << true << false;
    QTest::newRow("next line") << 0x85u << false << true << false;
    QTest::newRow("zero width space") << 0x200Bu << false << false << false;
    QTest::newRow("combining acute") << 0x301u << false << false << false;
    QTest::newRow("emoji") << 0x1F600u << false << false << false;
    QTest::newRow("underscore") << 0x5Fu << false << false << false;
    QTest::newRow("math digit above BMP") << 0x1D7D9u << false << false << true;
}

void TestUnicode::properties()
{
    QFETCH(uint, codePoint);
    QFETCH(bool, alphabetic);
    QFETCH(bool, whiteSpace);
    QFETCH(bool, numeric);
    QCOMPARE(Unicode::isAlphabetic(codePoint), alphabetic);
    QCOMPARE(Unicode::isWhiteSpace(codePoint), whiteSpace);
    QCOMPARE(Unicode::hasNumericType(codePoint), numeric);
}

void TestUnicode::graphemes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("clusters");

    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("ascii") << "ab" << QStringList{"a", "b"};
    QTest::newRow("combining accent") << u"e\u0301x"_qs << QStringList{u"e\u0301"_qs, "x"};
    QTest::newRow("flag") << u"🇩🇪"_qs << QStringList{u"🇩🇪"_qs};
    QTest::newRow("two flags") << u"🇩🇪🇫🇷"_qs << QStringList{u"🇩🇪"_qs, u"🇫🇷"_qs};
    QTest::newRow("skin tone") << u"👍🏽!"_qs << QStringList{u"👍🏽"_qs, "!"};
    QTest::newRow("zwj family") << u"👩\u200D👩\u200D👧"_qs << QStringList{u"👩\u200D👩\u200D👧"_qs};
    QTest::newRow("emoji above BMP") << u"a😀"_qs << QStringList{"a", u"😀"_qs};
    QTest::newRow("crlf") << "a\r\nb" << QStringList{"a", "\r\n", "b"};
    QTest::newRow("lf cr") << "\n\r" << QStringList{"\n", "\r"};
    QTest::newRow("zero width space") << u"a\u200Bb"_qs << QStringList{"a", u"\u200B"_qs, "b"};
    QTest::newRow("zero width joiner rides along") << u"a\u200Db"_qs << QStringList{u"a\u200D"_qs, "b"};
    QTest::newRow("hangul syllables") << u"한국"_qs << QStringList{u"한"_qs, u"국"_qs};
    QTest::newRow("hangul jamo") << u"\u1100\u1161\u11A8"_qs << QStringList{u"\u1100\u1161\u11A8"_qs};
    QTest::newRow("mark on a space") << u"a \u0301b"_qs << QStringList{"a", u" \u0301"_qs, "b"};
}

void TestUnicode::graphemes()
{
    QFETCH(QString, text);
    QFETCH(QStringList, clusters);
    QCOMPARE(Unicode::graphemes(text), clusters);
    QCOMPARE(Unicode::characterCount(text), clusters.size());
}

// The cursor skips the break iterator for text whose code points never join; every assigned code
// point, next to letters, itself, a line break and a space, must split exactly as ICU splits it.
void TestUnicode::cursorAgreesWithIcu()
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    QVERIFY(U_SUCCESS(status));
    int mismatches = 0;
    for (char32_t c = 0; c <= 0xE01EF; ++c) {
        if ((c >= 0xD800 && c <= 0xDFFF) || (c >= 0x20000 && c < 0xE0000))
            continue;
        const auto type = u_charType(static_cast<UChar32>(c));
        if (type == U_UNASSIGNED || type == U_PRIVATE_USE_CHAR)
            continue;
        const QString one = cp(c);
        const QString text = u'a' + one + one + u"\r\n"_qs + one + u' ' + u'\u0915' + one;
        if (cursorBoundaries(text) != icuBoundaries(*iterator, text) && ++mismatches <= 5)
            qWarning("boundaries differ for U+%04X", unsigned(c));
    }
    QCOMPARE(mismatches, 0);
}

// Random sequences over code points of every clustering kind: emoji sequences, flags, Hangul
// jamo, marks, prepended and control characters, next to plain letters and spaces.
void TestUnicode::cursorAgreesWithIcuOnMixedText()
{
    const QList<char32_t> pool{'a', ' ', '\r', '\n', 0x301, 0x200D, 0x903, 0x600, 0x1F1E9, 0x1F1EA, 0x1100, 0x1161,
                               0x11A8, 0xAC00, 0xAC01, 0x1F600, 0x2764, 0xFE0F, 0x1F3FD, 0x85, 0x200B, 0xD800, 0xDC00,
                               0x915, 0x94D, 0x4E00, 0xE0041};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    QVERIFY(U_SUCCESS(status));
    QRandomGenerator random(20240501);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = 1 + random.bounded(12);
        for (int i = 0; i < length; ++i)
            text += cp(pool[random.bounded(int(pool.size()))]);
        const auto expected = icuBoundaries(*iterator, text);
        const auto actual = cursorBoundaries(text);
        if (actual != expected) {
            QString codes;
            for (const QChar ch : text)
                codes += QString::number(ch.unicode(), 16) + u' ';
            QFAIL(qPrintable(u"boundaries differ for "_qs + codes));
        }
    }
}

void TestUnicode::nestedCursors()
{
    const QString outer = u"e\u0301🇩🇪x"_qs;
    Unicode::GraphemeCursor cursor(outer);
    QList<qsizetype> counts;
    for (qsizetype end; (end = cursor.next()) >= 0;)
        counts.append(Unicode::characterCount(u"a\u0301b\u0301c"_qs));
    QCOMPARE(counts, (QList<qsizetype>{3, 3, 3}));
}

void TestUnicode::codePointOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("sign");

    QTest::newRow("equal") << "photo" << "photo" << 0;
    QTest::newRow("prefix first") << "photo" << "photos" << -1;
    QTest::newRow("empty first") << "" << "a" << -1;
    QTest::newRow("case by code point") << "Zebra" << "apple" << -1;
    QTest::newRow("emoji after replacement char") << cp(0x1F600) << cp(0xFFFD) << 1;
    QTest::newRow("private use before supplementary") << cp(0xE000) << cp(0x10000) << -1;
    QTest::newRow("two supplementary") << cp(0x1F600) << cp(0x1F601) << -1;
    QTest::newRow("accent after ascii") << u"é"_qs << "z" << 1;
}

void TestUnicode::codePointOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, sign);
    const auto signOf = [](int v) { return (v > 0) - (v < 0); };
    QCOMPARE(signOf(Unicode::compare(a, b)), sign);
    QCOMPARE(signOf(Unicode::compare(b, a)), -sign);
    QCOMPARE(Unicode::lessThan(a, b), sign < 0);
}

void TestUnicode::sortsAboveBmpLast()
{
    QStringList words{cp(0x1F600), cp(0xFFFD), "b", cp(0xE000), "a"};
    std::stable_sort(words.begin(), words.end(), Unicode::lessThan);
    QCOMPARE(words, (QStringList{"a", "b", cp(0xE000), cp(0xFFFD), cp(0x1F600)}));
}

void TestUnicode::regexFind_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("caseInsensitive");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("matches");
    QTest::addColumn<QList<qsizetype>>("starts");

    QTest::newRow("case-sensitive") << "ab" << false << "ab AB aB" << QStringList{"ab"} << QList<qsizetype>{0};
    QTest::newRow("case-insensitive") << "ab" << true << "ab AB aB" << QStringList{"ab", "AB", "aB"}
                                      << QList<qsizetype>{0, 3, 6};
    QTest::newRow("word includes marks") << R"(\w+)" << false << u"cafe\u0301 ok"_qs
                                         << QStringList{u"cafe\u0301"_qs, "ok"} << QList<qsizetype>{0, 6};
    QTest::newRow("offsets after emoji") << "x" << false << u"😀x😀x"_qs << QStringList{"x", "x"}
                                         << QList<qsizetype>{2, 5};
    QTest::newRow("none") << "z" << false << "abc" << QStringList{} << QList<qsizetype>{};
}

void TestUnicode::regexFind()
{
    QFETCH(QString, pattern);
    QFETCH(bool, caseInsensitive);
    QFETCH(QString, text);
    QFETCH(QStringList, matches);
    QFETCH(QList<qsizetype>, starts);
    const Unicode::Regex regex(pattern, caseInsensitive);
    QStringList found;
    QList<qsizetype> foundStarts;
    for (const auto &match : regex.findAll(text)) {
        found.append(*match.groups.value(0));
        foundStarts.append(match.start);
        QCOMPARE(text.mid(match.start, match.length), *match.groups.value(0));
    }
    QCOMPARE(found, matches);
    QCOMPARE(foundStarts, starts);
    QCOMPARE(regex.firstMatch(text).has_value(), !matches.isEmpty());
}

void TestUnicode::regexReplace_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");

    QTest::newRow("group reference") << "(\\w+)@(\\w+)" << "me@host you@there" << "$2:$1" << "host:me there:you";
    QTest::newRow("no match") << "\\d" << "photo" << "#" << "photo";
    QTest::newRow("anchored end") << "[\\s,.]+$" << "Acme Labs, ." << "" << "Acme Labs";
    QTest::newRow("supplementary text kept") << "b" << u"😀b😀"_qs << "-" << u"😀-😀"_qs;
}

void TestUnicode::regexReplace()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);
    QCOMPARE(Unicode::Regex(pattern).replaceAll(text, replacement), expected);
}

void TestUnicode::regexRejectsBadPattern()
{
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, Unicode::Regex(QStringLiteral("(unclosed")));

    // A group that takes no part in the match is absent, not empty.
    const auto match = Unicode::Regex(QStringLiteral("(a)|(b)")).firstMatch(QStringLiteral("b"));
    QVERIFY(match);
    QCOMPARE(match->groups.size(), 3);
    QVERIFY(!match->groups[1].has_value());
    QCOMPARE(*match->groups[2], QStringLiteral("b"));
}

QTEST_GUILESS_MAIN(TestUnicode)
#include "tst_unicode.moc"
