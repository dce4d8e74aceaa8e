#pragma once

#include <QHashFunctions>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// Checks an app's name, subtitle and keyword field against target keywords, and
// rewrites the keyword field. The store indexes the words of all three fields
// together, so a word needs to stand in only one of them.
namespace MetadataOptimizer {

inline constexpr int titleLimit = 30;
inline constexpr int subtitleLimit = 30;
inline constexpr int keywordsLimit = 100;

// Words that add little search value.
const QSet<QString> &fillerWords();

struct Target
{
    QString text;
    std::optional<qint64> popularity;   // 1 to 100 when known
    std::optional<qint64> difficulty;   // 0 to 100 when known
    bool operator==(const Target &) const = default;
};

enum class Field { title, subtitle, keywords };

// In the order the analysis reports them.
enum class IssueKind { spaceAfterComma, emptyTerm, duplicateWord, alreadyInName, fillerWord, pluralDuplicate, overLimit };

QString rawValue(Field field);
QString rawValue(IssueKind kind);
std::optional<Field> fieldFromRaw(QStringView raw);
std::optional<IssueKind> issueKindFromRaw(QStringView raw);

struct Issue
{
    IssueKind kind = IssueKind::overLimit;
    Field field = Field::keywords;
    std::optional<QString> word;
    QString message;
    qsizetype wastedChars = 0;
    bool operator==(const Issue &) const = default;
};

struct Coverage
{
    QString keyword;
    bool covered = false;
    QStringList missingWords;            // in the target's word order
    std::optional<qint64> popularity;
    std::optional<qint64> difficulty;
    std::optional<qint64> opportunity;
    bool operator==(const Coverage &) const = default;
};

struct Suggestion
{
    QString word;
    qint64 value = 0;
    QStringList completes;               // targets this word alone would complete
    qsizetype cost() const;              // its length plus the comma before it
    bool operator==(const Suggestion &) const = default;
};

struct Analysis
{
    QList<Issue> issues;
    qsizetype wastedChars = 0;
    QList<Coverage> coverage;            // uncovered first, then by weight
    int coveragePct = 0;
    QList<Suggestion> suggestions;
};

size_t qHash(const Target &target, size_t seed = 0);
size_t qHash(const Issue &issue, size_t seed = 0);
size_t qHash(const Coverage &coverage, size_t seed = 0);
size_t qHash(const Suggestion &suggestion, size_t seed = 0);

Analysis analyze(const QString &title, const QString &subtitle, const QString &keywordField,
                 const QList<Target> &targets);

// Every token of the three fields.
QSet<QString> indexedWords(const QString &title, const QString &subtitle, const QString &keywordField);

// In target order.
QList<Coverage> coverage(const QString &title, const QString &subtitle, const QString &keywordField,
                         const QList<Target> &targets);

// Ranked by value per character.
QList<Suggestion> suggestWords(const QString &title, const QString &subtitle, const QString &keywordField,
                               const QList<Target> &targets);

// Singular of a lower-case word ("stories" -> "story", "apps" -> "app").
QString singular(const QString &word);

// The keyword field without words that waste characters, joined by ","; tidying it again gives it
// back. Every word it keeps reads back exactly as it was read from the field; one that would not,
// once joined by commas, is dropped.
QString tidyKeywordField(const QString &title, const QString &subtitle, const QString &keywordField);

// A keyword field of the kept words followed by the best suggested words that fit.
QString buildKeywordField(const QString &title, const QString &subtitle, const QStringList &keep,
                          const QList<Target> &targets);

} // namespace MetadataOptimizer
