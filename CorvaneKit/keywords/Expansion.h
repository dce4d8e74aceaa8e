#pragma once

#include <QString>
#include <QStringList>

class Corpus;

// New candidate keywords from known ones: other forms of their words and reordered or extended
// phrases, admitted only when the corpus shows that the new words or word pairs occur.
namespace Expansion {

// Other forms of `word` that the corpus counts, without repeats, in text order.
QStringList wordVariants(const QString &word, const Corpus &corpus);

// At most `limit` new keywords, in the order they were found; never one of `keywords`.
QStringList expand(const QStringList &keywords, const Corpus &corpus, int limit);

}
