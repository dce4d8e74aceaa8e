#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <unicode/uversion.h>

#include <cstdint>
#include <memory>
#include <optional>

U_NAMESPACE_BEGIN
class BreakIterator;
class RegexMatcher;
class RegexPattern;
U_NAMESPACE_END

// The one gateway to ICU. Every text rule of the library (normal forms, case, character
// properties, user-perceived characters, text order, regular expressions) goes through here,
// never through QChar classification or QString's own ordering.
namespace Unicode {

// Unicode normalisation forms KC and C. Text that is already normalised comes back shared.
QString nfkc(const QString &text);
QString nfc(const QString &text);
// Whether nfkc() would give the text back unchanged.
bool isNfkc(const QString &text);

// Default full case mappings, independent of any locale and applied to each code point on its
// own: 'İ' lower-cases to "i̇", 'ß' upper-cases to "SS", and a capital sigma always becomes 'σ'
// (there is no word-final 'ς' rule).
QString lowercased(const QString &text);
QString uppercased(const QString &text);

// Character properties of one code point.
bool isAlphabetic(char32_t c);
bool isWhiteSpace(char32_t c);
bool hasNumericType(char32_t c);   // Numeric_Type is decimal, digit or numeric
// Facts of one code point, for loops that test several of them per character: facts() answers
// them all with one table lookup.
enum Fact : uint16_t {
    alphabeticFact = 1 << 0,
    whiteSpaceFact = 1 << 1,
    numericFact = 1 << 2,
    // How it takes part in grapheme clusters: a control stands alone (CR LF aside), a prepended
    // sign joins whatever follows it and an extending one whatever precedes it, unless that is a
    // control. Nothing else joins a white-space code point.
    controlFact = 1 << 3,
    prependedFact = 1 << 4,
    extendsFact = 1 << 5,   // marks, joiners and spacing marks (Extend, ZWJ, SpacingMark)
    // It has no NFKC boundary before it: it may compose or reorder with what precedes it.
    composesBackwardFact = 1 << 6,
    // lowercased() changes it.
    lowerCaseDiffersFact = 1 << 7,
};
uint16_t facts(char32_t c);

// Writes lowercased() of the one code point to `out` (room for 2 UTF-16 units) and returns the
// number of units written.
int lowercaseInto(char32_t c, char16_t *out);

// The text without White_Space code points (line breaks included) at either end.
QString trimmed(const QString &text);

// The code point that starts at UTF-16 index i (a lone surrogate stands for itself).
inline char32_t codePointAt(QStringView text, qsizetype i)
{
    const char16_t u = text[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
        return QChar::surrogateToUcs4(u, text[i + 1].unicode());
    return u;
}

// Walks the extended grapheme clusters (user-perceived characters) of a text without allocating
// per cluster. Usage: for (qsizetype end; (end = c.next()) >= 0;) { cluster is [c.start(), end) }.
// The text must outlive the cursor.
class GraphemeCursor
{
public:
    explicit GraphemeCursor(QStringView text)
        : m_text(text)
    {
    }
    ~GraphemeCursor();
    GraphemeCursor(const GraphemeCursor &) = delete;
    GraphemeCursor &operator=(const GraphemeCursor &) = delete;

    // Moves to the next cluster and returns its end, or -1 when the text is used up.
    qsizetype next()
    {
        const qsizetype n = m_text.size();
        if (m_end >= n)
            return -1;
        m_start = m_end;
        const char16_t u = m_text[m_start].unicode();
        if (u < 0x80) {
            if (m_start + 1 == n)
                return m_end = n;
            const char16_t v = m_text[m_start + 1].unicode();
            if (v < 0x80 && !(u == '\r' && v == '\n'))   // ASCII never joins ASCII, except CR LF
                return m_end = m_start + 1;
        }
        return nextBeyondAscii();
    }

    // Start of the cluster that the last next() returned.
    qsizetype start() const { return m_start; }

    // Continues from the given position, which must be a cluster boundary. Lets a caller walk
    // plain ASCII stretches itself, since ASCII code points never join one another (CR LF aside).
    void seek(qsizetype boundary) { m_start = m_end = boundary; }

private:
    qsizetype nextBeyondAscii();
    bool attachBreakIterator();

    QStringView m_text;
    qsizetype m_start = 0;
    qsizetype m_end = 0;
    icu::BreakIterator *m_icu = nullptr;   // attached on the first cluster that needs it
};

QStringList graphemes(const QString &text);
qsizetype characterCount(QStringView text);
inline qsizetype characterCount(const QString &text) { return characterCount(QStringView(text)); }

// Plain, non-localised text order: by code point (UTF-16 order misplaces text above U+FFFF).
int compare(QStringView a, QStringView b);
inline int compare(const QString &a, const QString &b) { return compare(QStringView(a), QStringView(b)); }
inline bool lessThan(const QString &a, const QString &b) { return compare(a, b) < 0; }

// A compiled ICU regular expression. Immutable after construction, so one instance (typically a
// function-local static) may be used from several threads at once.
class Regex
{
public:
    // Throws std::invalid_argument when the pattern does not compile.
    explicit Regex(const QString &pattern, bool caseInsensitive = false);

    struct Match
    {
        qsizetype start = 0;    // UTF-16 offset of the whole match in the searched text
        qsizetype length = 0;
        QList<std::optional<QString>> groups;   // [0] is the whole match; absent: took no part
        bool operator==(const Match &) const = default;
    };

    std::optional<Match> firstMatch(const QString &text) const;
    QList<Match> findAll(const QString &text) const;
    // Replaces every match by the template, in which "$n" stands for group n and "\" escapes.
    QString replaceAll(const QString &text, const QString &replacementTemplate) const;

    // Where a match lies in the searched text, in UTF-16 offsets.
    struct Span
    {
        qsizetype start = 0;
        qsizetype end = 0;
    };

    // Searches one text many times, from positions the caller picks, with the whole text in view:
    // a word boundary or look-behind at the starting position sees the characters before it. Lets
    // a caller skip starting positions that it knows cannot match. The text must outlive it.
    class Scanner
    {
    public:
        Scanner(const Regex &regex, const QString &text);
        ~Scanner();
        Scanner(const Scanner &) = delete;
        Scanner &operator=(const Scanner &) = delete;

        // The first match that starts at `from` or later.
        std::optional<Span> find(qsizetype from);
        // The match that starts at `start`, if any.
        std::optional<Span> matchAt(qsizetype start);

    private:
        std::unique_ptr<icu::RegexMatcher> m_matcher;
        qsizetype m_size = 0;
    };

private:
    std::shared_ptr<const icu::RegexPattern> m_pattern;
};

}
