#include "keywords/MetadataOptimizer.h"
#include "keywords/MetadataOptimizerWords.h"

#include "keywords/KeywordScores.h"
#include "keywords/KeywordText.h"
#include "support/Rounding.h"
#include "support/Unicode.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <limits>

namespace MetadataOptimizer {

namespace {

bool isLineBreak(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Spaces and tabs: every white-space code point that does not break a line. All of them
// lie below U+10000, so trimming UTF-16 units is exact.
QStringView trimmedOfSpaces(QStringView text)
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

// The keyword field read once, character by character: what the rules on commas count, and the
// terms between the commas. A comma is a character that is a comma alone, without a mark on it.
struct FieldScan
{
    qsizetype spacesAfterCommas = 0;   // whitespace after a comma, directly or through whitespace
    qsizetype commas = 0;
    qsizetype blankPieces = 0;         // pieces between commas that are empty or whitespace only
    QStringList terms;                 // the pieces trimmed of spaces and tabs, empty ones dropped
};

FieldScan scanField(const QString &field)
{
    FieldScan scan;
    const QStringView view(field);
    qsizetype pieceStart = 0;
    bool blank = true;
    bool afterComma = false;
    const auto endPiece = [&](qsizetype end) {
        scan.blankPieces += blank ? 1 : 0;
        const QStringView term = trimmedOfSpaces(view.sliced(pieceStart, end - pieceStart));
        if (!term.isEmpty())
            scan.terms.append(term.toString());
    };
    Unicode::GraphemeCursor cursor(view);
    for (qsizetype end; (end = cursor.next()) >= 0;) {
        const qsizetype start = cursor.start();
        if (end - start == 1 && view[start] == u',') {
            endPiece(start);
            ++scan.commas;
            pieceStart = end;
            blank = true;
            afterComma = true;
        } else if (Unicode::isWhiteSpace(Unicode::codePointAt(view, start))) {
            scan.spacesAfterCommas += afterComma ? 1 : 0;
        } else {
            blank = false;
            afterComma = false;
        }
    }
    endPiece(view.size());
    return scan;
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
    singulars.reserve(words.size());
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

void checkSpacesAfterCommas(QList<Issue> &issues, const FieldScan &scan)
{
    const qsizetype count = scan.spacesAfterCommas;
    if (count < 1)
        return;
    const QString message = count == 1
        ? QStringLiteral("Remove spaces after commas: they waste 1 character.")
        : QStringLiteral("Remove spaces after commas: they waste %1 characters.").arg(count);
    issues.append(Issue{IssueKind::spaceAfterComma, Field::keywords, std::nullopt, message, count});
}

void checkEmptyTerms(QList<Issue> &issues, const FieldScan &scan)
{
    if (scan.commas < 1)
        return;
    const qsizetype count = std::min(scan.blankPieces, scan.commas);
    if (count < 1)
        return;
    const QString message = count == 1
        ? QStringLiteral("Remove the extra comma (empty terms or a leading/trailing comma).")
        : QStringLiteral("Remove %1 extra commas (empty terms or a leading/trailing comma).").arg(count);
    issues.append(Issue{IssueKind::emptyTerm, Field::keywords, std::nullopt, message, count});
}

// The indexed words of the three fields and their singular forms, the name's and the keyword
// field's apart, so that many keyword fields can be checked against one name without copying its
// words.
struct Indexed
{
    const QSet<QString> &nameWords;
    const QSet<QString> &nameSingulars;
    const QSet<QString> &fieldWords;
    const QSet<QString> &fieldSingulars;

    bool contains(const QString &word) const { return nameWords.contains(word) || fieldWords.contains(word); }
    bool containsSingular(const QString &form) const
    {
        return nameSingulars.contains(form) || fieldSingulars.contains(form);
    }
};

// The words of the keyword field's terms, with their singular forms.
struct FieldWords
{
    QSet<QString> words;
    QSet<QString> singulars;
};

QList<Coverage> coverageAgainst(const Indexed &indexed, const QList<Target> &targets)
{
    QList<Coverage> result;
    result.reserve(targets.size());
    for (const Target &target : targets) {
        QStringList words = KeywordText::tokenize(target.text);
        if (words.size() > 1)
            words.removeIf([](const QString &w) { return KeywordText::stopwords().contains(w); });
        Coverage coverage;
        coverage.keyword = target.text;
        for (const QString &word : std::as_const(words)) {
            if (!indexed.contains(word) && !indexed.containsSingular(singular(word)))
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

QList<Coverage> coverageAgainst(const QSet<QString> &indexed, const QList<Target> &targets)
{
    const QSet<QString> none;
    return coverageAgainst(Indexed{indexed, singularsOf(indexed), none, none}, targets);
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
    // Where each character starts; the rules compare the last few with single letters.
    QVarLengthArray<qsizetype, 32> starts;
    Unicode::GraphemeCursor cursor(word);
    for (qsizetype end; (end = cursor.next()) >= 0;)
        starts.append(cursor.start());
    const qsizetype n = starts.size();
    const auto endsWith = [&](QLatin1String tail) {
        if (tail.size() > n)
            return false;
        for (qsizetype i = 0, k = n - tail.size(); i < tail.size(); ++i, ++k) {
            const qsizetype end = k + 1 < n ? starts[k + 1] : word.size();
            if (end - starts[k] != 1 || word[starts[k]] != tail[i])
                return false;
        }
        return true;
    };
    const auto withoutLast = [&](qsizetype count) { return word.first(starts[n - count]); };

    if (n >= 5 && endsWith(QLatin1String("ies")))
        return withoutLast(3) + QLatin1Char('y');
    if (endsWith(QLatin1String("ses")) || endsWith(QLatin1String("xes")) || endsWith(QLatin1String("zes"))
        || endsWith(QLatin1String("ches")) || endsWith(QLatin1String("shes")))
        return withoutLast(2);
    if (n >= 4 && endsWith(QLatin1String("s")) && !endsWith(QLatin1String("ss")))
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

NameWords::NameWords(const QString &title, const QString &subtitle)
{
    checkLimit(limitIssues, title, titleLimit, Field::title, "App name");
    checkLimit(limitIssues, subtitle, subtitleLimit, Field::subtitle, "Subtitle");
    const QStringList titleTokens = KeywordText::tokenize(title);
    const QStringList subtitleTokens = KeywordText::tokenize(subtitle);
    const QSet<QString> titleWords(titleTokens.cbegin(), titleTokens.cend());
    words = titleWords;
    words.unite(QSet<QString>(subtitleTokens.cbegin(), subtitleTokens.cend()));
    singulars = singularsOf(words);
    for (const QString &w : subtitleTokens) {
        if (titleWords.contains(w) && !KeywordText::stopwords().contains(w))
            overlapIssues.append(wordIssue(IssueKind::duplicateWord, Field::subtitle, w,
                                           " is in both the name and the subtitle."));
    }
}

Analysis analyze(const QString &title, const QString &subtitle, const QString &keywordField,
                 const QList<Target> &targets)
{
    return analyze(NameWords(title, subtitle), keywordField, targets);
}

Analysis analyze(const NameWords &name, const QString &keywordField, const QList<Target> &targets)
{
    Analysis analysis;
    QList<Issue> &issues = analysis.issues;
    issues += name.limitIssues;
    checkLimit(issues, keywordField, keywordsLimit, Field::keywords, "Keyword field");
    const FieldScan scan = scanField(keywordField);
    checkSpacesAfterCommas(issues, scan);
    checkEmptyTerms(issues, scan);

    // A word that reaches the singular test is neither a name word nor seen before, so a
    // singular form that matches is another word's.
    FieldWords field;
    for (const QString &term : scan.terms) {
        for (const QString &w : KeywordText::tokenize(term)) {
            QString form = singular(w);
            if (name.words.contains(w))
                issues.append(wordIssue(IssueKind::alreadyInName, Field::keywords, w,
                                        " is already in the name or subtitle; Apple indexes it there."));
            else if (field.words.contains(w))
                issues.append(wordIssue(IssueKind::duplicateWord, Field::keywords, w,
                                        " appears more than once in the keyword field."));
            else if (isFillerOrStopword(w))
                issues.append(wordIssue(IssueKind::fillerWord, Field::keywords, w, " adds little search value."));
            else if (name.singulars.contains(form) || field.singulars.contains(form))
                issues.append(wordIssue(IssueKind::pluralDuplicate, Field::keywords, w,
                                        " duplicates a singular/plural form already present."));
            field.words.insert(w);
            field.singulars.insert(std::move(form));
        }
    }
    issues += name.overlapIssues;

    QList<Coverage> coverages =
        coverageAgainst(Indexed{name.words, name.singulars, field.words, field.singulars}, targets);
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

QList<Suggestion> suggestWords(const NameWords &name, const QString &keywordField, const QList<Target> &targets)
{
    FieldWords field;
    for (const QString &term : scanField(keywordField).terms) {
        for (const QString &w : KeywordText::tokenize(term)) {
            field.singulars.insert(singular(w));
            field.words.insert(w);
        }
    }
    return suggestionsFrom(
        coverageAgainst(Indexed{name.words, name.singulars, field.words, field.singulars}, targets));
}

} // namespace MetadataOptimizer
