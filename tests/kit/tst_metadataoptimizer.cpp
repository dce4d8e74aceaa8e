#include "keywords/KeywordText.h"
#include "keywords/MetadataOptimizer.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

using namespace MetadataOptimizer;
using Targets = QList<Target>;

Q_DECLARE_METATYPE(Target)

namespace {

Target target(const QString &text, std::optional<qint64> popularity = {}, std::optional<qint64> difficulty = {})
{
    return Target{text, popularity, difficulty};
}

// Compact one-line forms, so that a mismatch shows where the lists differ.
QString describe(const QList<Issue> &issues, bool messages = false)
{
    QStringList parts;
    for (const Issue &i : issues)
        parts << (messages ? i.message
                           : QStringLiteral("%1 %2 %3 %4").arg(rawValue(i.kind), rawValue(i.field), i.word.value_or("-")).arg(i.wastedChars));
    return parts.join(QStringLiteral("; "));
}

QString describe(const QList<Suggestion> &suggestions)
{
    QStringList parts;
    for (const Suggestion &s : suggestions)
        parts << QStringLiteral("%1 %2 [%3]").arg(s.word).arg(s.value).arg(s.completes.join(QLatin1Char('|')));
    return parts.join(QStringLiteral("; "));
}

QString describe(const QList<Coverage> &coverage)
{
    QStringList parts;
    for (const Coverage &c : coverage)
        parts << c.keyword + QStringLiteral(": ") + (c.covered ? QStringLiteral("covered") : c.missingWords.join(' '));
    return parts.join(QStringLiteral("; "));
}

QString times(int n, const char *text)
{
    return QString::fromUtf8(text).repeated(n);
}

QString quoted(const char *word, const char *rest)
{
    return QStringLiteral("\u201C") + QLatin1String(word) + QStringLiteral("\u201D") + QLatin1String(rest);
}

// Keyword fields glued at random from words, separators, control characters, marks, joiners,
// prepended signs and letters whose lower case composes: where a field's words can read back
// differently once joined by commas.
QStringList adversarialFields(quint32 seed, int count)
{
    const QStringList pool{u"ab"_qs, u"photo"_qs, u"photos"_qs, u"app"_qs, u"the"_qs, u"x"_qs, u"é"_qs, u"ğ"_qs,
                           u"W"_qs, u"J"_qs, u"İ"_qs, u"Σ"_qs, u"ﬁ"_qs, u"Ｐ"_qs, u"\u0915"_qs, u"\u1100"_qs,
                           u"\u1161"_qs, u"写"_qs, u"😀"_qs, u"🇩"_qs, u","_qs, u", "_qs, u" "_qs, u"\u00A0"_qs,
                           u"\u3000"_qs, QString(QChar(0)), u"\t"_qs, u"\n"_qs, u"\r"_qs, u"\u0301"_qs,
                           u"\u030A"_qs, u"\u093E"_qs, u"\u0903"_qs, u"\u094D"_qs, u"\u200D"_qs, u"\u200C"_qs,
                           u"\u200B"_qs, u"\uFEFF"_qs, u"\u0D4E"_qs, u"\u0600"_qs};
    QRandomGenerator random(seed);
    QStringList fields;
    for (int i = 0; i < count; ++i) {
        QString field;
        for (int n = random.bounded(16); n > 0; --n)
            field += pool[random.bounded(int(pool.size()))];
        fields.append(field);
    }
    return fields;
}

} // namespace

class TestMetadataOptimizer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void singularAndTidy();
    void tidyIsStable_data();
    void tidyIsStable();
    void issues_data();
    void issues();
    void messages_data();
    void messages();
    void coverage_data();
    void coverage();
    void build_data();
    void build();
};

void TestMetadataOptimizer::singularAndTidy()
{
    QCOMPARE(singular("stories"), "story");
    QCOMPARE(singular("ties"), "tie"); // "ies" needs five characters
    QCOMPARE(singular("watches"), "watch");
    QCOMPARE(singular("apps"), "app");
    QCOMPARE(singular("bus"), "bus"); // a plain "s" needs four

    // Repeats, plurals of earlier words, blanks, filler and name words go; numbers stay.
    QCOMPARE(tidyKeywordField("", "", "Photo, photo ,Editors,editor,,app"), "photo,editors");
    QCOMPARE(tidyKeywordField("Photo Lab", "", "photo editor, lab, 2024"), "editor,2024");
    QCOMPARE(tidyKeywordField("Photo Editors", "", "editor,filter,und"), "filter");
}

void TestMetadataOptimizer::tidyIsStable_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QStringList>("tidied");   // empty: stability alone is checked
    QTest::newRow("a mark after a control character goes with the comma") << QString()
        << QStringList{u"ab\0\u093E"_qs} << QStringList{u"ab"_qs};
    QTest::newRow("a mark after a comma joins it") << QString() << QStringList{u"ab,\u093Ecd"_qs} << QStringList{u"ab,cd"_qs};
    QTest::newRow("a mark after a space joins it") << QString() << QStringList{u"ab \u0903cd"_qs} << QStringList{u"ab,cd"_qs};
    QTest::newRow("a word begun by a mark after a tab goes") << QString() << QStringList{u"ab\t\u093Ecd"_qs}
        << QStringList{u"ab"_qs};
    QTest::newRow("a word begun by a mark after a control character goes") << QString()
        << QStringList{u"t\u0002\u093Fb"_qs, u"t\u0002\u093Fb,b"_qs, u"\u093Fb,t"_qs}
        << QStringList{u"t"_qs, u"t,b"_qs, u"\u093Fb,t"_qs};
    QTest::newRow("what is left is judged again") << u"Cd"_qs << QStringList{u"photo\n\u093Ephotos\r\u093Ecd"_qs}
        << QStringList{u"photo"_qs};
    QTest::newRow("a mark at the start of the field stays") << QString() << QStringList{u"\u093Ecd,ab"_qs}
        << QStringList{u"\u093Ecd,ab"_qs};
    QTest::newRow("a prepended sign would take the comma after it") << QString() << QStringList{u"ab\u0D4E\0cd"_qs}
        << QStringList{u"ab\u0D4E"_qs};
    QTest::newRow("a capital whose lower case composes") << QString() << QStringList{u"W\u030A,J\u030C,ab"_qs}
        << QStringList{u"ab"_qs};
    QTest::newRow("ordinary words beyond ASCII") << u"Editör"_qs << QStringList{u"Fotoğraf, düzenleyici ,fotoğraf,editör"_qs}
        << QStringList{u"fotoğraf,düzenleyici"_qs};
    QTest::newRow("a few thousand adversarial fields") << u"Photo \u093Eab"_qs << adversarialFields(20261207, 3000)
        << QStringList();
}

// Tidy only drops: what it returns reads as some of the field's words, in their order and each
// exactly as the field's; and tidying that again gives it back.
void TestMetadataOptimizer::tidyIsStable()
{
    QFETCH(QString, title);
    QFETCH(QStringList, fields);
    QFETCH(QStringList, tidied);
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString once = tidyKeywordField(title, QString(), fields.at(i));
        const QString field = QString::fromLatin1(fields.at(i).toUtf8().toPercentEncoding());
        if (!tidied.isEmpty())
            QCOMPARE(once, tidied.at(i));
        const QStringList read = KeywordText::tokenize(fields.at(i));
        qsizetype next = 0;
        for (const QString &word : KeywordText::tokenize(once)) {
            next = read.indexOf(word, next);
            if (next < 0)
                QFAIL(qPrintable(u"changed a word of "_qs + field));
            ++next;
        }
        if (tidyKeywordField(title, QString(), once) != once)
            QFAIL(qPrintable(u"not stable for "_qs + field));
    }
}

void TestMetadataOptimizer::issues_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("subtitle");
    QTest::addColumn<QString>("keywords");
    QTest::addColumn<QString>("expected");
    QTest::newRow("30 characters: an accent and flags count once") << "e\u0301" + times(29, "\U0001F1E9\U0001F1EA") << "" << "" << "";
    QTest::newRow("order of issues") << times(31, "n") << "" << " photo, photo"
        << "overLimit title - 0; spaceAfterComma keywords - 1; duplicateWord keywords photo 6";
    QTest::newRow("whitespace after commas") << "" << "" << "photo,\t\u00A0 editor, \nlab ,x" << "spaceAfterComma keywords - 5";
    QTest::newRow("blank term") << "" << "" << "photo, ,editor" << "spaceAfterComma keywords - 1; emptyTerm keywords - 1";
    QTest::newRow("plural after singular") << "" << "" << "editor,editors" << "pluralDuplicate keywords editors 8";
    QTest::newRow("singular after plural") << "" << "" << "editors,editor" << "pluralDuplicate keywords editor 7";
    QTest::newRow("name word wins over repeat") << "Photo Lab" << "" << "photo,photo"
        << "alreadyInName keywords photo 6; alreadyInName keywords photo 6";
    QTest::newRow("repeat wins over filler") << "" << "" << "free,free" << "fillerWord keywords free 5; duplicateWord keywords free 5";
    QTest::newRow("overlap ignores stop words") << "The Lab" << "the lab" << "" << "duplicateWord subtitle lab 4";
}

void TestMetadataOptimizer::issues()
{
    QFETCH(QString, title);
    QFETCH(QString, subtitle);
    QFETCH(QString, keywords);
    QFETCH(QString, expected);
    QCOMPARE(describe(analyze(title, subtitle, keywords, {}).issues), expected);
}

void TestMetadataOptimizer::messages_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("subtitle");
    QTest::addColumn<QString>("keywords");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<qsizetype>("wasted");
    QTest::newRow("limits") << times(31, "a") << times(32, "b") << times(101, "k")
        << QStringList{"App name is 1 characters over the 30 limit.", "Subtitle is 2 characters over the 30 limit.",
                       "Keyword field is 1 characters over the 100 limit."} << qsizetype(0);
    QTest::newRow("one of each") << "" << "" << "photo, editor ,,app"
        << QStringList{"Remove spaces after commas: they waste 1 character.",
                       "Remove the extra comma (empty terms or a leading/trailing comma).",
                       quoted("app", " adds little search value.")} << qsizetype(6);
    QTest::newRow("several") << "" << "" << ",,photo,  x"
        << QStringList{"Remove spaces after commas: they waste 2 characters.",
                       "Remove 2 extra commas (empty terms or a leading/trailing comma)."} << qsizetype(4);
    QTest::newRow("words") << "Photo" << "Photo lab" << "photo,lab editor,editor,und,editors"
        << QStringList{quoted("photo", " is already in the name or subtitle; Apple indexes it there."),
                       quoted("lab", " is already in the name or subtitle; Apple indexes it there."),
                       quoted("editor", " appears more than once in the keyword field."),
                       quoted("und", " adds little search value."),
                       quoted("editors", " duplicates a singular/plural form already present."),
                       quoted("photo", " is in both the name and the subtitle.")} << qsizetype(6 + 4 + 7 + 4 + 8 + 6);
}

void TestMetadataOptimizer::messages()
{
    QFETCH(QString, title);
    QFETCH(QString, subtitle);
    QFETCH(QString, keywords);
    QFETCH(QStringList, expected);
    QFETCH(qsizetype, wasted);
    const Analysis analysis = analyze(title, subtitle, keywords, {});
    QCOMPARE(describe(analysis.issues, true), expected.join(QStringLiteral("; ")));
    QCOMPARE(analysis.wastedChars, wasted);
}

void TestMetadataOptimizer::coverage_data()
{
    QTest::addColumn<QString>("subtitle");
    QTest::addColumn<QString>("keywords");
    QTest::addColumn<Targets>("targets");
    QTest::addColumn<QString>("coverage"); // as analyze sorts it
    QTest::addColumn<QString>("suggestions");
    QTest::addColumn<int>("pct");
    QTest::newRow("two editors") << "" << "editor" << Targets{target("video editor", 40), target("photo editor", 60)}
        << "photo editor: photo; video editor: video" << "photo 60 [photo editor]; video 40 [video editor]" << 0;
    QTest::newRow("singular and plural cover each other") << "editor" << "photo"
        << Targets{target("photo editors", 10), target("labs", 5)} << "labs: labs; photo editors: covered"
        << "labs 5 [labs]" << 67;
    QTest::newRow("stop words") << "" << "" << Targets{target("the best"), target("best")}
        << "best: best; the best: covered" << "best 1 [best]" << 50;
    QTest::newRow("short word blocks but is not suggested") << "" << "remote" << Targets{target("tv remote", 10)}
        << "tv remote: tv" << "" << 0;
    QTest::newRow("opportunity before popularity") << "" << "photo"
        << Targets{target("video", 90, 100), target("photo", 64, 36), target("sketch", 50)}
        << "sketch: sketch; video: video; photo: covered" << "sketch 50 [sketch]; video 0 [video]" << 56;
    QTest::newRow("percentage rounds half up") << "" << "photo" << Targets{target("photo"), target("video", 7)}
        << "video: video; photo: covered" << "video 7 [video]" << 13;
    QTest::newRow("shares add up; completes needs one missing word") << "" << ""
        << Targets{target("photo video", 5), target("photo", 10)} << "photo: photo; photo video: photo video"
        << "photo 13 [photo]; video 3 []" << 0;
    const QString high = QStringLiteral("\U00020000\U00020000\U00020000");
    const QString low = QStringLiteral("\uFA0E\uFA0E\uFA0E");
    QTest::newRow("value per character, then code point order") << "" << ""
        << Targets{target(high, 8), target(low, 8), target("zebra", 12), target("apple", 12), target("sketches", 17)}
        << "sketches: sketches; zebra: zebra; apple: apple; " + high + ": " + high + "; " + low + ": " + low
        << "apple 12 [apple]; zebra 12 [zebra]; " + low + " 8 [" + low + "]; " + high + " 8 [" + high
               + "]; sketches 17 [sketches]" << 0;
}

void TestMetadataOptimizer::coverage()
{
    QFETCH(QString, subtitle);
    QFETCH(QString, keywords);
    QFETCH(Targets, targets);
    QFETCH(QString, coverage);
    QFETCH(QString, suggestions);
    QFETCH(int, pct);
    const Analysis analysis = analyze(QString(), subtitle, keywords, targets);
    QCOMPARE(describe(analysis.coverage), coverage);
    QCOMPARE(describe(analysis.suggestions), suggestions);
    QCOMPARE(analysis.coveragePct, pct);
    // The standalone operations keep target order and agree with the analysis.
    const QList<Coverage> unsorted = MetadataOptimizer::coverage(QString(), subtitle, keywords, targets);
    QVERIFY(std::equal(unsorted.cbegin(), unsorted.cend(), targets.cbegin(), targets.cend(),
                       [](const Coverage &c, const Target &t) { return c.keyword == t.text; }));
    QCOMPARE(suggestWords(QString(), subtitle, keywords, targets), analysis.suggestions);
}

void TestMetadataOptimizer::build_data()
{
    QTest::addColumn<QStringList>("keep");
    QTest::addColumn<Targets>("targets");
    QTest::addColumn<QString>("expected");
    QTest::newRow("kept words only") << QStringList{"photo editor, photo, app", "photos"} << Targets() << "photo,editor,photos";
    QTest::newRow("a kept word that does not fit is skipped") << QStringList{times(60, "a") + "," + times(45, "b") + "," + times(39, "c")}
                                                              << Targets() << times(60, "a") + "," + times(39, "c");
    QTest::newRow("the first word may take all 100") << QStringList{times(100, "x"), "y"} << Targets() << times(100, "x");
    QTest::newRow("re-ranks after each word") << QStringList() << Targets{target("alpha beta", 100), target("gamma", 54)}
                                              << "beta,alpha,gamma";
    QTest::newRow("a word too long for the space left is passed over") << QStringList{times(90, "a")}
        << Targets{target("verylongword", 100), target("short", 1)} << times(90, "a") + ",short";
    QTest::newRow("a filler target adds nothing") << QStringList() << Targets{target("free", 100), target("photo", 10)} << "photo";

}

void TestMetadataOptimizer::build()
{
    QFETCH(QStringList, keep);
    QFETCH(Targets, targets);
    QFETCH(QString, expected);
    QCOMPARE(buildKeywordField(QString(), QString(), keep, targets), expected);
}

QTEST_GUILESS_MAIN(TestMetadataOptimizer)
#include "tst_metadataoptimizer.moc"
