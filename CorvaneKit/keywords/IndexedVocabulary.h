#pragma once

#include "keywords/KeywordText.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// On the premise that the store finds an app for a search when every word of the search is
// indexed for it: which words are indexed for an app, and which new keywords build on them.
// Proposed texts are lower case, words separated by single spaces.
namespace IndexedVocabulary {

struct Kind
{
    enum class Case { probe, indexedPhrase, combination, extension_ };
    Case kind = Case::indexedPhrase;
    QString word;   // the word under test, for `probe` only

    static Kind probe(const QString &word) { return {Case::probe, word}; }
    static Kind indexedPhrase() { return {Case::indexedPhrase, {}}; }
    static Kind combination() { return {Case::combination, {}}; }
    static Kind extension_() { return {Case::extension_, {}}; }

    bool operator==(const Kind &) const = default;
};

struct Proposal
{
    QString text;
    Kind kind;
    bool operator==(const Proposal &) const = default;
};

// The vocabulary, most trusted first: the title's words, then the found searches' words.
QStringList infer(const QString &title, const QStringList &foundQueries);

// Two- and three-word phrases of letters found in free texts, without repeats.
QStringList phrases(const QStringList &texts);

QList<Proposal> propose(const QStringList &vocabulary, const QStringList &foundQueries,
                        const QStringList &marketPhrases, const QSet<QString> &exclude, int limit,
                        int maxCombinationWords);

// A phrase by the numbers of its words in a word table (third < 0 for two words); its text is
// its words joined by single spaces.
struct NumberedPhrase
{
    int first = 0;
    int second = 0;
    int third = -1;
    bool operator==(const NumberedPhrase &) const = default;
};

// phrases() of texts numbered in one table, by the numbers of their words: texts that other
// analyses read too are split once, and the phrases are handed on without building their texts.
QList<NumberedPhrase> phrases(const QList<const KeywordText::NumberedText *> &texts);

// propose() of phrases numbered in `words`.
QList<Proposal> propose(const QStringList &vocabulary, const QStringList &foundQueries,
                        const QList<NumberedPhrase> &marketPhrases, KeywordText::WordNumbers &words,
                        const QSet<QString> &exclude, int limit, int maxCombinationWords);

// A crude stem: editors and editing give edit.
QString stem(const QString &word);
// The sorted stems of a phrase's words: phrases that differ only in order or endings share it.
QString phraseKey(const QString &phrase);
// The word or its singular or plural with "s" is in the set.
bool isIndexed(const QString &word, const QSet<QString> &vocabulary);
bool isAllLetters(const QString &word);

}
