#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// Where a keyword candidate came from. The raw values are stored in the database and the labels
// shown on screen, so both are fixed texts.
enum class KeywordSource {
    manual,
    appName,
    description,
    category,
    developer,
    suggestion,
    combination,
    expansion,
    relatedApp,
    observedInSearch,
    indexedPhrase,
    probe,
};

namespace KeywordSources {

QString rawValue(KeywordSource source);
// Exact, case-sensitive match of a raw value; labels and anything else give nothing.
std::optional<KeywordSource> fromRaw(QStringView raw);
QString label(KeywordSource source);
// Fixed strength of the source, higher is stronger; not unique.
int priority(KeywordSource source);
// Every source in declaration order.
const QList<KeywordSource> &all();

}

// A source hashes as its raw value.
inline size_t qHash(KeywordSource source, size_t seed = 0)
{
    return qHash(KeywordSources::rawValue(source), seed);
}

// One keyword proposed by the candidate generator.
struct GeneratedCandidate
{
    QString normalized;                  // the key: the keyword's normal form
    QString display;                     // cleaned, letter case kept
    KeywordSource source = KeywordSource::manual;
    std::optional<QString> detail;       // provenance: provider, genre, developer or combination
    bool operator==(const GeneratedCandidate &) const = default;
};
