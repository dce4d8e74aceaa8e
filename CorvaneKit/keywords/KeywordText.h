#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVarLengthArray>

#include <algorithm>
#include <memory>
#include <span>
#include <utility>

// The one normal form of keyword text, and the word splitting every analysis shares.
// All lengths are counts of user-perceived characters (grapheme clusters).
namespace KeywordText {

inline constexpr int maxLength = 100;   // longest usable keyword, in characters of its normal form
inline constexpr int maxWords = 6;      // most space-separated words of a usable keyword

// Words with no search meaning, already in normal form; built once, safe under concurrent first use.
const QSet<QString> &stopwords();

// Display form: NFKC, zero-width characters removed, whitespace runs collapsed to one space.
QString clean(const QString &text);
// The key two keywords are compared by: clean() lower-cased, and cleaned again in the rare case
// that this is not yet its own normal form, so that normalize(normalize(x)) == normalize(x).
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
// learns of each word in a plain list, and count pairs of words by their numbers. The words are
// tokens (see tokenize()); the facts every analysis asks of them are worked out once, as each
// word is numbered.
class WordNumbers
{
public:
    WordNumbers() = default;
    WordNumbers(const WordNumbers &) = delete;
    WordNumbers &operator=(const WordNumbers &) = delete;

    // The word's number, given now when the word is new: numbers run 0, 1, 2, ...
    int numberOf(QStringView word);
    // The word's number, or -1 when it has none.
    int find(QStringView word) const { return m_numbers.value(word, -1); }
    const QString &word(int number) const { return m_words.at(number); }
    // isMeaningful() of the word.
    bool isMeaningful(int number) const { return m_facts.at(number).meaningful; }
    bool isAscii(int number) const { return m_facts.at(number).ascii; }
    // The word's length in characters.
    qsizetype length(int number) const { return m_facts.at(number).length; }
    qsizetype size() const { return m_words.size(); }
    void reserve(qsizetype words)
    {
        m_words.reserve(words);
        m_numbers.reserve(words);
        m_facts.reserve(words);
    }

private:
    struct Facts
    {
        bool meaningful = false;
        bool ascii = false;
        qsizetype length = 0;
    };
    QStringList m_words;
    QHash<QStringView, int> m_numbers;   // the views point into m_words
    QList<Facts> m_facts;                // by number
};

// A text's words as tokenize() gives them, numbered in a table that many texts share, with where
// each lies in the text. Analyses cut a text into pieces, each at its own punctuation; with the
// words numbered once, several analyses read one text without splitting it or looking its words
// up again. ASCII text (with a few common punctuation marks) is split ahead; other text is split
// as each analysis reads it.
class NumberedText
{
public:
    // What the words of a piece of text not split ahead are: tokenize() of the piece as it stands, or
    // of the piece after clean(), which can differ in zero-width characters.
    enum class Pieces { raw, cleaned };

    // `words` must outlive the text and every copy of it.
    NumberedText(const QString &text, WordNumbers &words);

    const QString &text() const { return m_text; }
    WordNumbers &words() const { return *m_words; }

    // The text with its links stripped (stripURLs()), numbered in the same table.
    const NumberedText &withoutLinks() const { return m_withoutLinks ? *m_withoutLinks : *this; }

    // Calls `f` with the numbers of the words (a std::span<const int>) of each piece of the text
    // between characters that `isCut` holds for, in text order, skipping pieces without words.
    // Characters that cut are never letters, digits or spaces.
    template<typename F>
    void forEachPiece(bool (*isCut)(QChar), F &&f, Pieces pieces = Pieces::raw) const;

private:
    // What lies between a word and the one before it, when that is more than spaces.
    struct Gap
    {
        qsizetype word = 0;   // the word after it
        qsizetype start = 0;
        qsizetype length = 0;
        // Inline, so that a known test of the characters can be inlined too.
        bool holdsCut(const QString &text, bool (*isCut)(QChar)) const
        {
            const QStringView characters = QStringView(text).sliced(start, length);
            return std::any_of(characters.cbegin(), characters.cend(), isCut);
        }
    };

    NumberedText(const QString &text, WordNumbers &words, bool stripLinks);
    QList<QList<int>> numberedPieces(bool (*isCut)(QChar), Pieces pieces) const;

    QString m_text;
    WordNumbers *m_words = nullptr;
    bool m_splitAhead = false;
    // Text split ahead only: each word's number, and the gaps that can hold a character that cuts.
    QList<int> m_numbers;
    QList<Gap> m_gaps;
    std::shared_ptr<const NumberedText> m_withoutLinks;   // null when stripping changes nothing
};

template<typename F>
void NumberedText::forEachPiece(bool (*isCut)(QChar), F &&f, Pieces pieces) const
{
    if (!m_splitAhead) {
        for (const QList<int> &piece : numberedPieces(isCut, pieces))
            f(std::span<const int>(piece.cbegin(), piece.cend()));
        return;
    }
    qsizetype start = 0;
    for (const Gap &gap : m_gaps) {
        if (gap.holdsCut(m_text, isCut)) {
            f(std::span<const int>(m_numbers.cbegin() + start, m_numbers.cbegin() + gap.word));
            start = gap.word;
        }
    }
    if (start < m_numbers.size())
        f(std::span<const int>(m_numbers.cbegin() + start, m_numbers.cend()));
}

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

// normalize() and clean() of a text, worked out together.
Entry entry(const QString &text);

// Usable entries in input order, first occurrence of each normal form winning.
QList<Entry> dedupe(const QStringList &entries);

// Pasted text split at commas, semicolons and line breaks, each piece cleaned, empty ones dropped.
QStringList splitInput(const QString &text);

// Every link and bare web address replaced by one space.
QString stripURLs(const QString &text);

}
