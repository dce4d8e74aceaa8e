#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVarLengthArray>

// The one normal form of keyword text, and the word splitting every analysis shares.
// All lengths are counts of user-perceived characters (grapheme clusters).
namespace KeywordText {

inline constexpr int maxLength = 100;   // longest usable keyword, in characters of its normal form
inline constexpr int maxWords = 6;      // most space-separated words of a usable keyword

// Words with no search meaning, already in normal form; built once, safe under concurrent first use.
const QSet<QString> &stopwords();

// Display form: NFKC, zero-width characters removed, whitespace runs collapsed to one space.
QString clean(const QString &text);
// The key two keywords are compared by: clean() lower-cased.
QString normalize(const QString &text);

// Lower-case runs of letters and numbers, in text order, repeats kept.
QStringList tokenize(const QString &text);

// The words tokenize() gives, as views rather than a string each: for the loops that look words
// up far more often than they keep them. ASCII text is read from a lower-cased copy kept here,
// other text goes through tokenize().
class TokenViews
{
public:
    explicit TokenViews(QStringView text);
    TokenViews(const TokenViews &) = delete;
    TokenViews &operator=(const TokenViews &) = delete;

    qsizetype size() const { return m_words.size(); }
    QStringView operator[](qsizetype i) const { return m_words[i]; }
    const QStringView *begin() const { return m_words.cbegin(); }
    const QStringView *end() const { return m_words.cend(); }

private:
    QVarLengthArray<QChar, 128> m_lowered;
    QStringList m_tokens;
    QVarLengthArray<QStringView, 16> m_words;
};

// Distinct words numbered in first-seen order and looked up by view: a loop can keep what it
// learns of each word in a plain list, and count pairs of words by their numbers.
class WordNumbers
{
public:
    WordNumbers() = default;
    WordNumbers(const WordNumbers &) = delete;
    WordNumbers &operator=(const WordNumbers &) = delete;

    // The word's number, given now when the word is new: numbers run 0, 1, 2, ...
    int numberOf(QStringView word);
    const QString &word(int number) const { return m_words.at(number); }
    qsizetype size() const { return m_words.size(); }
    void reserve(qsizetype words)
    {
        m_words.reserve(words);
        m_numbers.reserve(words);
    }

private:
    QStringList m_words;
    QHash<QStringView, int> m_numbers;   // the views point into m_words
};

QStringList meaningfulTokens(const QString &text);
// A token of 2+ characters that is no stop word and not made of numbers only.
bool isMeaningful(const QString &word);
// Whether a normal-form text can be a keyword: 2 to maxLength characters, at most maxWords
// words, a letter or number somewhere.
bool isUsable(const QString &normalized);

struct Entry
{
    QString normalized;
    QString display;
    bool operator==(const Entry &) const = default;
};

// Usable entries in input order, first occurrence of each normal form winning.
QList<Entry> dedupe(const QStringList &entries);

// Pasted text split at commas, semicolons and line breaks, each piece cleaned, empty ones dropped.
QStringList splitInput(const QString &text);

// Every link and bare web address replaced by one space.
QString stripURLs(const QString &text);

}
