#include "support/Unicode.h"

#include <QRandomGenerator>
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

// ICU's character break iterator on the whole text is the reference for the cursor's shortcuts.
QList<qsizetype> icuBoundaries(icu::BreakIterator &iterator, const QString &text)
{
    const icu::UnicodeString source(false, reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
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

bool isOrdinary(char32_t c)
{
    const auto type = u_charType(static_cast<UChar32>(c));
    return !(c >= 0xD800 && c <= 0xDFFF) && type != U_UNASSIGNED && type != U_PRIVATE_USE_CHAR;
}

}

class TestUnicode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void normalForms();
    void caseMapping_data();
    void caseMapping();
    void caseMappingIgnoresNeighbours();
    void properties_data();
    void properties();
    void graphemes_data();
    void graphemes();
    void cursorAgreesWithIcu();
    void codePointOrder();
    void regex_data();
    void regex();
    void regexGroupsAndErrors();
};

void TestUnicode::normalForms()
{
    QCOMPARE(Unicode::nfkc(u"ＰＨＯＴＯ \uFB01x\u00B2\u00A0\u2460"_qs), u"PHOTO fix2 1"_qs);
    QCOMPARE(Unicode::nfkc(u"cafe\u0301 "_qs + cp(0x1D400)), u"café A"_qs);
    QCOMPARE(Unicode::nfc(u"cafe\u0301 \uFB01"_qs), u"café \uFB01"_qs);
}

void TestUnicode::caseMapping_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("lower");
    QTest::addColumn<QString>("upper");

    QTest::newRow("ascii") << "Photo Lab 2" << "photo lab 2" << "PHOTO LAB 2";
    QTest::newRow("dotted capital I") << u"İstanbul"_qs << u"i\u0307stanbul"_qs << u"İSTANBUL"_qs;
    QTest::newRow("dotless i") << u"ı"_qs << u"ı"_qs << "I";
    QTest::newRow("no final sigma") << u"ΟΔΟΣ ΣΑΣ."_qs << u"οδοσ σασ."_qs << u"ΟΔΟΣ ΣΑΣ."_qs;
    QTest::newRow("final sigma kept") << u"οδος"_qs << u"οδος"_qs << u"ΟΔΟΣ"_qs;
    QTest::newRow("sharp s and ligature") << u"Straße \uFB01"_qs << u"straße \uFB01"_qs << u"STRASSE FI"_qs;
    QTest::newRow("above BMP") << cp(0x10400) << cp(0x10428) << cp(0x10400);
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
        if (!isOrdinary(c))
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

    QTest::newRow("han numeral one") << 0x4E00u << true << false << true;
    QTest::newRow("vulgar half") << 0xBDu << false << false << true;
    QTest::newRow("ideographic space") << 0x3000u << false << true << false;
    QTest::newRow("zero width space") << 0x200Bu << false << false << false;
    QTest::newRow("math digit above BMP") << 0x1D7D9u << false << false << true;
    QTest::newRow("deseret letter above BMP") << 0x10400u << true << false << false;
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
    QTest::newRow("combining accent") << u"e\u0301x"_qs << QStringList{u"e\u0301"_qs, "x"};
    QTest::newRow("two flags") << u"🇩🇪🇫🇷"_qs << QStringList{u"🇩🇪"_qs, u"🇫🇷"_qs};
    QTest::newRow("skin tone") << u"👍🏽!"_qs << QStringList{u"👍🏽"_qs, "!"};
    QTest::newRow("zwj family") << u"👩\u200D👩\u200D👧"_qs << QStringList{u"👩\u200D👩\u200D👧"_qs};
    QTest::newRow("crlf") << "a\r\n\n\r" << QStringList{"a", "\r\n", "\n", "\r"};
    QTest::newRow("zero width space") << u"a\u200Bb"_qs << QStringList{"a", u"\u200B"_qs, "b"};
    QTest::newRow("hangul jamo") << u"한\u1100\u1161\u11A8"_qs << QStringList{u"한"_qs, u"\u1100\u1161\u11A8"_qs};
    QTest::newRow("mark on a space") << u"a \u0301b"_qs << QStringList{"a", u" \u0301"_qs, "b"};
}

void TestUnicode::graphemes()
{
    QFETCH(QString, text);
    QFETCH(QStringList, clusters);
    QCOMPARE(Unicode::graphemes(text), clusters);
    QCOMPARE(Unicode::characterCount(text), clusters.size());

    // A cursor inside a cursor on the same thread gets its own break iterator.
    Unicode::GraphemeCursor outer(text);
    while (outer.next() >= 0)
        QCOMPARE(Unicode::characterCount(u"a\u0301🇩🇪c"_qs), 3);
}

// The cursor decides most boundaries from the two code points around them. Every assigned code
// point next to letters, itself, a line break and a space, and random mixes of every clustering
// kind (emoji sequences, flags, jamo, marks, prepended and control characters) must split as ICU
// splits them.
void TestUnicode::cursorAgreesWithIcu()
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    QVERIFY(U_SUCCESS(status));
    const auto check = [&](const QString &text) {
        if (cursorBoundaries(text) == icuBoundaries(*iterator, text))
            return true;
        qWarning() << "boundaries differ for" << text.toUcs4();
        return false;
    };
    for (char32_t c = 0; c <= 0xE01EF; ++c) {
        if (isOrdinary(c) && !(c >= 0x20000 && c < 0xE0000)) {
            const QString one = cp(c);
            QVERIFY(check(u'a' + one + one + u"\r\n"_qs + one + u' ' + u'\u0915' + one));
        }
    }
    const QList<char32_t> pool{'a', ' ', '\r', '\n', 0x301, 0x200D, 0x903, 0x600, 0x1F1E9, 0x1F1EA, 0x1100, 0x1161,
                               0x11A8, 0xAC00, 0xAC01, 0x1F600, 0x2764, 0xFE0F, 0x1F3FD, 0x85, 0x200B, 0xD800, 0xDC00,
                               0x915, 0x94D, 0x4E00, 0xE0041};
    QRandomGenerator random(20240501);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        for (int i = 1 + random.bounded(12); i > 0; --i)
            text += cp(pool[random.bounded(int(pool.size()))]);
        QVERIFY(check(text));
    }
}

void TestUnicode::codePointOrder()
{
    // UTF-16 order would put the emoji (a surrogate pair) before U+FFFD and U+E000.
    QStringList words{cp(0x1F601), cp(0x1F600), cp(0xFFFD), "b", cp(0xE000), "Z", "", "ab", "a"};
    std::stable_sort(words.begin(), words.end(), Unicode::lessThan);
    QCOMPARE(words, (QStringList{"", "Z", "a", "ab", "b", cp(0xE000), cp(0xFFFD), cp(0x1F600), cp(0x1F601)}));
    QVERIFY(Unicode::compare(cp(0x1F600), cp(0xFFFD)) > 0);
    QVERIFY(Unicode::compare(cp(0xFFFD), cp(0x1F600)) < 0);
    QCOMPARE(Unicode::compare(u"é"_qs, u"é"_qs), 0);
}

void TestUnicode::regex_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("caseInsensitive");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<qsizetype>>("starts");
    QTest::addColumn<QString>("replaced");   // every match replaced by "<$0>"

    QTest::newRow("case-insensitive") << "ab" << true << "ab AB" << QList<qsizetype>{0, 3} << "<ab> <AB>";
    QTest::newRow("word includes marks") << R"(\w+)" << false << u"cafe\u0301!"_qs << QList<qsizetype>{0}
                                         << u"<cafe\u0301>!"_qs;
    QTest::newRow("offsets after emoji") << "x" << false << u"😀x😀x"_qs << QList<qsizetype>{2, 5} << u"😀<x>😀<x>"_qs;
    QTest::newRow("anchored end") << "[\\s,.]+$" << false << "Acme, ." << QList<qsizetype>{4} << "Acme<, .>";
}

void TestUnicode::regex()
{
    QFETCH(QString, pattern);
    QFETCH(bool, caseInsensitive);
    QFETCH(QString, text);
    QFETCH(QList<qsizetype>, starts);
    QFETCH(QString, replaced);
    const Unicode::Regex regex(pattern, caseInsensitive);
    QList<qsizetype> found;
    for (const auto &match : regex.findAll(text)) {
        found.append(match.start);
        QCOMPARE(text.mid(match.start, match.length), *match.groups.value(0));
    }
    QCOMPARE(found, starts);
    QCOMPARE(regex.firstMatch(text).has_value(), !starts.isEmpty());
    QCOMPARE(regex.replaceAll(text, QStringLiteral("<$0>")), replaced);
}

void TestUnicode::regexGroupsAndErrors()
{
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, Unicode::Regex(QStringLiteral("(unclosed")));

    // A group that takes no part in the match is absent, not empty.
    const auto match = Unicode::Regex(QStringLiteral("(a)|(b)")).firstMatch(QStringLiteral("b"));
    QVERIFY(match);
    QCOMPARE(match->groups.size(), 3);
    QVERIFY(!match->groups[1].has_value());
    QCOMPARE(*match->groups[2], QStringLiteral("b"));
    QCOMPARE(Unicode::Regex(QStringLiteral("(\\w+)@(\\w+)")).replaceAll(QStringLiteral("me@host"), QStringLiteral("$2:$1")),
             QStringLiteral("host:me"));
}

QTEST_GUILESS_MAIN(TestUnicode)
#include "tst_unicode.moc"
