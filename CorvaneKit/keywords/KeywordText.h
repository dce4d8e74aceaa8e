#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

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
