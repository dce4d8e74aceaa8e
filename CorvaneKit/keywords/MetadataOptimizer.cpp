#include "keywords/MetadataOptimizer.h"

#include "keywords/KeywordScores.h"
#include "keywords/KeywordText.h"
#include "support/Rounding.h"
#include "support/Unicode.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <limits>

namespace MetadataOptimizer {

namespace {

const QString comma = QStringLiteral(",");

// A character is whitespace when its first code point is.
bool isWhitespaceCharacter(const QString &character)
{
    return !character.isEmpty() && Unicode::isWhiteSpace(Unicode::codePointAt(character, 0));
}

bool isLineBreak(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Spaces and tabs: every white-space code point that does not break a line. All of them
// lie below U+10000, so trimming UTF-16 units is exact.
QString trimmedOfSpaces(const QString &text)
{
    const auto isSpace = [](QChar unit) {
        return Unicode::isWhiteSpace(unit.unicode()) && !isLineBreak(unit.unicode());
    };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// Pieces between comma characters, empty ones included.
QStringList splitAtCommas(const QString &text)
{
    QStringList pieces{QString()};
    for (const QString &character : Unicode::graphemes(text)) {
        if (character == comma)
            pieces.append(QString());
        else
            pieces.last() += character;
    }
    return pieces;
}

bool isFillerOrStopword(const QString &word)
{
    return fillerWords().contains(word) || KeywordText::stopwords().contains(word);
}

qint64 weightOf(const Coverage &coverage)
{
    return coverage.opportunity.value_or(coverage.popularity.value_or(1));
}

QSet<QString> tokenSet(const QString &text)
{
    const QStringList tokens = KeywordText::tokenize(text);
    return QSet<QString>(tokens.cbegin(), tokens.cend());
}

QSet<QString> singularsOf(const QSet<QString> &words)
{
    QSet<QString> singulars;
    for (const QString &word : words)
        singulars.insert(singular(word));
    return singulars;
}

QString wordMessage(const QString &word, const char *rest)
{
    return QStringLiteral("\u201C") + word + QStringLiteral("\u201D") + QString::fromUtf8(rest);
}

Issue wordIssue(IssueKind kind, Field field, const QString &word, const char *rest)
{
    return Issue{kind, field, word, wordMessage(word, rest), Unicode::characterCount(word) + 1};
}

void checkLimit(QList<Issue> &issues, const QString &text, int limit, Field field, const char *what)
{
    const qsizetype length = Unicode::characterCount(text);
    if (length <= limit)
        return;
    issues.append(Issue{IssueKind::overLimit, field, std::nullopt,
                        QStringLiteral("%1 is %2 characters over the %3 limit.")
                            .arg(QLatin1String(what)).arg(length - limit).arg(limit),
                        0});
}

// Whitespace that follows a comma directly or through other whitespace.
void checkSpacesAfterCommas(QList<Issue> &issues, const QString &keywordField)
{
    qsizetype count = 0;
    bool afterComma = false;
    for (const QString &character : Unicode::graphemes(keywordField)) {
        if (character == comma)
            afterComma = true;
        else if (isWhitespaceCharacter(character))
            count += afterComma ? 1 : 0;
        else
            afterComma = false;
    }
    if (count < 1)
        return;
    const QString message = count == 1
        ? QStringLiteral("Remove spaces after commas: they waste 1 character.")
        : QStringLiteral("Remove spaces after commas: they waste %1 characters.").arg(count);
    issues.append(Issue{IssueKind::spaceAfterComma, Field::keywords, std::nullopt, message, count});
}

void checkEmptyTerms(QList<Issue> &issues, const QString &keywordField)
{
    const QStringList pieces = splitAtCommas(keywordField);
    const qsizetype commas = pieces.size() - 1;
    if (commas < 1)
        return;
    qsizetype empty = 0;
    for (const QString &piece : pieces) {
        const QStringList characters = Unicode::graphemes(piece);
        if (std::all_of(characters.cbegin(), characters.cend(), isWhitespaceCharacter))
            ++empty;
    }
    const qsizetype count = std::min(empty, commas);
    if (count < 1)
        return;
    const QString message = count == 1
        ? QStringLiteral("Remove the extra comma (empty terms or a leading/trailing comma).")
        : QStringLiteral("Remove %1 extra commas (empty terms or a leading/trailing comma).").arg(count);
    issues.append(Issue{IssueKind::emptyTerm, Field::keywords, std::nullopt, message, count});
}

QList<Coverage> coverageAgainst(const QSet<QString> &indexed, const QList<Target> &targets)
{
    const QSet<QString> indexedSingulars = singularsOf(indexed);
    QList<Coverage> result;
    result.reserve(targets.size());
    for (const Target &target : targets) {
        QStringList words = KeywordText::tokenize(target.text);
        if (words.size() > 1)
            words.removeIf([](const QString &w) { return KeywordText::stopwords().contains(w); });
        Coverage coverage;
        coverage.keyword = target.text;
        for (const QString &word : std::as_const(words)) {
            if (!indexed.contains(word) && !indexedSingulars.contains(singular(word)))
                coverage.missingWords.append(word);
        }
        coverage.covered = coverage.missingWords.isEmpty();
        coverage.popularity = target.popularity;
        coverage.difficulty = target.difficulty;
        coverage.opportunity = KeywordScores::opportunity(target.popularity, target.difficulty);
        result.append(coverage);
    }
    return result;
}

QList<Suggestion> suggestionsFrom(const QList<Coverage> &coverages)
{
    struct Entry { double score = 0; QStringList completes; };
    QStringList order;                   // first-seen order, before ranking
    QHash<QString, Entry> table;
    for (const Coverage &coverage : coverages) {
        if (coverage.covered)
            continue;
        const qsizetype missing = coverage.missingWords.size();
        const double share = static_cast<double>(weightOf(coverage)) / static_cast<double>(missing);
        for (const QString &word : coverage.missingWords) {
            if (Unicode::characterCount(word) < 3)
                continue;
            auto it = table.find(word);
            if (it == table.end()) {
                it = table.insert(word, Entry{});
                order.append(word);
            }
            it->score += share;
            if (missing == 1)
                it->completes.append(coverage.keyword);
        }
    }

    struct Ranked { Suggestion suggestion; double ratio; };
    QList<Ranked> ranked;
    ranked.reserve(order.size());
    for (const QString &word : std::as_const(order)) {
        const Entry &entry = table[word];
        Suggestion suggestion{word, roundHalfAwayFromZero(entry.score), entry.completes};
        const double ratio = static_cast<double>(suggestion.value) / static_cast<double>(suggestion.cost());
        ranked.append(Ranked{std::move(suggestion), ratio});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked &a, const Ranked &b) {
        if (a.ratio != b.ratio)
            return a.ratio > b.ratio;
        return Unicode::lessThan(a.suggestion.word, b.suggestion.word);
    });
    QList<Suggestion> result;
    result.reserve(ranked.size());
    for (Ranked &r : ranked)
        result.append(std::move(r.suggestion));
    return result;
}

size_t hashOptional(const std::optional<qint64> &value, size_t seed)
{
    return qHashMulti(seed, value.has_value(), value.value_or(0));
}

} // namespace

const QSet<QString> &fillerWords()
{
    static const QSet<QString> words{
        QStringLiteral("app"), QStringLiteral("apps"), QStringLiteral("the"), QStringLiteral("and"),
        QStringLiteral("for"), QStringLiteral("with"), QStringLiteral("free"), QStringLiteral("best"),
        QStringLiteral("new"), QStringLiteral("iphone"), QStringLiteral("ipad"), QStringLiteral("a"),
        QStringLiteral("an"), QStringLiteral("of"), QStringLiteral("to")};
    return words;
}

QString rawValue(Field field)
{
    switch (field) {
    case Field::title: return QStringLiteral("title");
    case Field::subtitle: return QStringLiteral("subtitle");
    case Field::keywords: return QStringLiteral("keywords");
    }
    return {};
}

QString rawValue(IssueKind kind)
{
    switch (kind) {
    case IssueKind::spaceAfterComma: return QStringLiteral("spaceAfterComma");
    case IssueKind::emptyTerm: return QStringLiteral("emptyTerm");
    case IssueKind::duplicateWord: return QStringLiteral("duplicateWord");
    case IssueKind::alreadyInName: return QStringLiteral("alreadyInName");
    case IssueKind::fillerWord: return QStringLiteral("fillerWord");
    case IssueKind::pluralDuplicate: return QStringLiteral("pluralDuplicate");
    case IssueKind::overLimit: return QStringLiteral("overLimit");
    }
    return {};
}

std::optional<Field> fieldFromRaw(QStringView raw)
{
    for (Field field : {Field::title, Field::subtitle, Field::keywords}) {
        if (raw == rawValue(field))
            return field;
    }
    return std::nullopt;
}

std::optional<IssueKind> issueKindFromRaw(QStringView raw)
{
    for (IssueKind kind : {IssueKind::spaceAfterComma, IssueKind::emptyTerm, IssueKind::duplicateWord,
                           IssueKind::alreadyInName, IssueKind::fillerWord, IssueKind::pluralDuplicate,
                           IssueKind::overLimit}) {
        if (raw == rawValue(kind))
            return kind;
    }
    return std::nullopt;
}

qsizetype Suggestion::cost() const
{
    return Unicode::characterCount(word) + 1;
}

size_t qHash(const Target &target, size_t seed)
{
    seed = qHashMulti(seed, target.text);
    return hashOptional(target.difficulty, hashOptional(target.popularity, seed));
}

size_t qHash(const Issue &issue, size_t seed)
{
    return qHashMulti(seed, int(issue.kind), int(issue.field), issue.word.has_value(),
                      issue.word.value_or(QString()), issue.message, issue.wastedChars);
}

size_t qHash(const Coverage &coverage, size_t seed)
{
    seed = qHashMulti(seed, coverage.keyword, coverage.covered, coverage.missingWords);
    seed = hashOptional(coverage.popularity, seed);
    seed = hashOptional(coverage.difficulty, seed);
    return hashOptional(coverage.opportunity, seed);
}

size_t qHash(const Suggestion &suggestion, size_t seed)
{
    return qHashMulti(seed, suggestion.word, suggestion.value, suggestion.completes);
}

QString singular(const QString &word)
{
    const QStringList characters = Unicode::graphemes(word);
    const qsizetype n = characters.size();
    const auto endsWith = [&](std::initializer_list<const char *> tail) {
        if (qsizetype(tail.size()) > n)
            return false;
        qsizetype i = n - qsizetype(tail.size());
        for (const char *c : tail) {
            if (characters[i++] != QLatin1String(c))
                return false;
        }
        return true;
    };
    const auto withoutLast = [&](qsizetype count) { return characters.first(n - count).join(QString()); };

    if (n >= 5 && endsWith({"i", "e", "s"}))
        return withoutLast(3) + QLatin1Char('y');
    if (endsWith({"s", "e", "s"}) || endsWith({"x", "e", "s"}) || endsWith({"z", "e", "s"})
        || endsWith({"c", "h", "e", "s"}) || endsWith({"s", "h", "e", "s"}))
        return withoutLast(2);
    if (n >= 4 && endsWith({"s"}) && !endsWith({"s", "s"}))
        return withoutLast(1);
    return word;
}

QSet<QString> indexedWords(const QString &title, const QString &subtitle, const QString &keywordField)
{
    return tokenSet(title).unite(tokenSet(subtitle)).unite(tokenSet(keywordField));
}

QList<Coverage> coverage(const QString &title, const QString &subtitle, const QString &keywordField,
                         const QList<Target> &targets)
{
    return coverageAgainst(indexedWords(title, subtitle, keywordField), targets);
}

QList<Suggestion> suggestWords(const QString &title, const QString &subtitle, const QString &keywordField,
                               const QList<Target> &targets)
{
    return suggestionsFrom(coverage(title, subtitle, keywordField, targets));
}

Analysis analyze(const QString &title, const QString &subtitle, const QString &keywordField,
                 const QList<Target> &targets)
{
    Analysis analysis;
    QList<Issue> &issues = analysis.issues;
    checkLimit(issues, title, titleLimit, Field::title, "App name");
    checkLimit(issues, subtitle, subtitleLimit, Field::subtitle, "Subtitle");
    checkLimit(issues, keywordField, keywordsLimit, Field::keywords, "Keyword field");
    checkSpacesAfterCommas(issues, keywordField);
    checkEmptyTerms(issues, keywordField);

    const QStringList titleTokens = KeywordText::tokenize(title);
    const QStringList subtitleTokens = KeywordText::tokenize(subtitle);
    QSet<QString> nameWords(titleTokens.cbegin(), titleTokens.cend());
    nameWords.unite(QSet<QString>(subtitleTokens.cbegin(), subtitleTokens.cend()));

    QStringList terms;
    for (const QString &piece : splitAtCommas(keywordField)) {
        const QString term = trimmedOfSpaces(piece);
        if (!term.isEmpty())
            terms.append(term);
    }

    // Singular forms of the name words and the words seen so far; a word that
    // reaches the singular test is in neither, so any match is another word.
    QSet<QString> presentSingulars = singularsOf(nameWords);
    QSet<QString> seen;
    for (const QString &term : std::as_const(terms)) {
        for (const QString &w : KeywordText::tokenize(term)) {
            const QString form = singular(w);
            if (nameWords.contains(w))
                issues.append(wordIssue(IssueKind::alreadyInName, Field::keywords, w,
                                        " is already in the name or subtitle; Apple indexes it there."));
            else if (seen.contains(w))
                issues.append(wordIssue(IssueKind::duplicateWord, Field::keywords, w,
                                        " appears more than once in the keyword field."));
            else if (isFillerOrStopword(w))
                issues.append(wordIssue(IssueKind::fillerWord, Field::keywords, w, " adds little search value."));
            else if (presentSingulars.contains(form))
                issues.append(wordIssue(IssueKind::pluralDuplicate, Field::keywords, w,
                                        " duplicates a singular/plural form already present."));
            seen.insert(w);
            presentSingulars.insert(form);
        }
    }

    for (const QString &w : subtitleTokens) {
        if (titleTokens.contains(w) && !KeywordText::stopwords().contains(w))
            issues.append(wordIssue(IssueKind::duplicateWord, Field::subtitle, w,
                                    " is in both the name and the subtitle."));
    }

    const QSet<QString> indexed = QSet<QString>(nameWords).unite(seen);
    QList<Coverage> coverages = coverageAgainst(indexed, targets);
    analysis.suggestions = suggestionsFrom(coverages);
    std::stable_sort(coverages.begin(), coverages.end(), [](const Coverage &a, const Coverage &b) {
        if (a.covered != b.covered)
            return !a.covered;
        return weightOf(a) > weightOf(b);
    });

    for (const Issue &issue : std::as_const(issues))
        analysis.wastedChars += issue.wastedChars;
    double total = 0;
    double covered = 0;
    for (const Coverage &c : std::as_const(coverages)) {
        total += static_cast<double>(weightOf(c));
        if (c.covered)
            covered += static_cast<double>(weightOf(c));
    }
    // Weights are non-negative in practice; a negative popularity must not push the
    // percentage out of its range.
    analysis.coveragePct =
        total < 1 ? 0 : static_cast<int>(std::clamp<qint64>(roundHalfAwayFromZero(covered * 100.0 / total), 0, 100));
    analysis.coverage = std::move(coverages);
    return analysis;
}

} // namespace MetadataOptimizer
