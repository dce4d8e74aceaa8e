// The metadata optimiser. Input: the name, the subtitle and the keyword field on the first three
// lines, then one target a line as "text|popularity|difficulty" (numbers may be left out). The
// analysis agrees with coverage() and ranks its suggestions; tidying is stable and leaves only
// words worth their place; auto-fill keeps to the limit and never repeats or wastes a word.

#include "keywords/KeywordText.h"
#include "keywords/MetadataOptimizer.h"
#include "support/Unicode.h"

#include "FuzzSupport.h"

using namespace MetadataOptimizer;

namespace {

constexpr qsizetype maxTargets = 40;

std::optional<qint64> number(const QString &text)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

QList<Target> targetsOf(const QStringList &lines)
{
    QList<Target> targets;
    for (const QString &line : lines.mid(3, maxTargets)) {
        const QStringList parts = line.split(u'|');
        targets.append(Target{parts.at(0), number(parts.value(1)), number(parts.value(2))});
    }
    return targets;
}

QStringList sortedKeywords(const QList<Coverage> &list)
{
    QStringList out;
    for (const Coverage &c : list)
        out.append(c.keyword + u'|' + c.missingWords.join(u' ') + u'|' + QString::number(c.covered));
    out.sort();
    return out;
}

bool isFiller(const QString &word)
{
    return fillerWords().contains(word) || KeywordText::stopwords().contains(word);
}

// A rewritten field: single words joined by commas, none twice, none of the name's.
void checkField(const QString &field, const QSet<QString> &nameWords, const QString &detail)
{
    if (field.isEmpty())
        return;
    QSet<QString> seen;
    for (const QString &word : field.split(u',')) {
        FUZZ_CHECK(!word.isEmpty() && !seen.contains(word), detail + QStringLiteral(" → ") + field);
        FUZZ_CHECK(!nameWords.contains(word) && !isFiller(word), detail + QStringLiteral(" → ") + field);
        seen.insert(word);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList lines = input.split(u'\n');
    const QString title = lines.value(0);
    const QString subtitle = lines.value(1);
    const QString keywordField = lines.value(2);
    const QList<Target> targets = targetsOf(lines);
    const QString detail = Fuzz::codePoints(lines.mid(0, 3).join(u'\n'));

    const Analysis analysis = analyze(title, subtitle, keywordField, targets);
    FUZZ_CHECK(analysis.coveragePct >= 0 && analysis.coveragePct <= 100, detail);
    FUZZ_CHECK(sortedKeywords(analysis.coverage) == sortedKeywords(coverage(title, subtitle, keywordField, targets)),
               detail);
    const QSet<QString> indexed = indexedWords(title, subtitle, keywordField);
    for (qsizetype i = 0; i < analysis.suggestions.size(); ++i) {
        const Suggestion &s = analysis.suggestions.at(i);
        FUZZ_CHECK(!indexed.contains(s.word) && Unicode::characterCount(s.word) >= 3, detail + QStringLiteral(" suggests ") + s.word);
        if (i > 0) {
            const Suggestion &before = analysis.suggestions.at(i - 1);
            FUZZ_CHECK(double(before.value) / double(before.cost()) >= double(s.value) / double(s.cost()), detail);
        }
    }

    const QStringList nameTokens = KeywordText::tokenize(title) + KeywordText::tokenize(subtitle);
    const QSet<QString> nameWords(nameTokens.cbegin(), nameTokens.cend());
    const QString tidy = tidyKeywordField(title, subtitle, keywordField);
    checkField(tidy, nameWords, detail);
    FUZZ_CHECK(tidyKeywordField(title, subtitle, tidy) == tidy, detail + QStringLiteral(" → ") + tidy);

    const QString filled = buildKeywordField(title, subtitle, {keywordField}, targets);
    checkField(filled, nameWords, detail);
    FUZZ_CHECK(Unicode::characterCount(filled) <= keywordsLimit, detail + QStringLiteral(" → ") + filled);
    return 0;
}
