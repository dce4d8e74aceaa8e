#include "support/Unicode.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>

#include <array>
#include <stdexcept>

namespace {

const UChar *uchars(QStringView text)
{
    return reinterpret_cast<const UChar *>(text.utf16());
}

int32_t length32(QStringView text)
{
    // ICU counts in int32_t; texts beyond 2 GiB units are not something this library meets.
    return static_cast<int32_t>(text.size());
}

// A read-only ICU view of the QString's buffer, without copying. The QString must outlive it.
icu::UnicodeString alias(const QString &text)
{
    return icu::UnicodeString(false, icu::ConstChar16Ptr(uchars(text)), length32(text));
}

QString toQString(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

bool isAscii(QStringView text)
{
    // An OR over all units vectorises well and ASCII is by far the commonest input.
    char16_t any = 0;
    for (const QChar c : text)
        any |= c.unicode();
    return any < 0x80;
}

const icu::Normalizer2 *nfkcInstance()
{
    static const icu::Normalizer2 *const instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        return icu::Normalizer2::getNFKCInstance(status);
    }();
    return instance;
}

QString normalized(const icu::Normalizer2 *normalizer, const QString &text)
{
    if (isAscii(text))
        return text;   // ASCII is already in every normal form
    const icu::UnicodeString source = alias(text);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t span = normalizer->spanQuickCheckYes(source, status);
    if (U_FAILURE(status))
        return text;
    if (span == source.length())
        return text;
    // The prefix is known to be normalised and ends at a normalisation boundary.
    icu::UnicodeString result(source, 0, span);
    normalizer->normalizeSecondAndAppend(result, source.tempSubString(span), status);
    return U_SUCCESS(status) ? toQString(result) : text;
}

using CaseMapping = int32_t (*)(UChar *, int32_t, const UChar *, int32_t, const char *, UErrorCode *);

QString mapCase(const QString &source, CaseMapping mapping)
{
    QString result(source.size(), Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    // The root locale ("") applies no language rules, so mapping the whole text equals mapping
    // each code point on its own except for the word-final sigma, which callers rule out.
    int32_t needed = mapping(reinterpret_cast<UChar *>(result.data()), length32(result), uchars(source),
                             length32(source), "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        result.resize(needed);
        status = U_ZERO_ERROR;
        needed = mapping(reinterpret_cast<UChar *>(result.data()), length32(result), uchars(source),
                         length32(source), "", &status);
    }
    if (U_FAILURE(status))
        return source;
    result.truncate(needed);
    return result;
}

constexpr char16_t capitalSigma = 0x03A3;
constexpr char16_t smallSigma = 0x03C3;
constexpr char16_t capitalIWithDot = 0x0130;   // the one code point whose lower case is longer

// How a code point takes part in grapheme clustering, reduced to what the cursor's shortcut needs.
enum ClusterClass : uint8_t {
    standsAlone = 0,   // never joins a neighbour: Other, and Hangul LV/LVT (they only join V or T)
    control = 1,       // Control, CR, LF: a break on both sides, except inside CR LF
    joins = 2,         // may join a neighbour (Extend, ZWJ, SpacingMark, Prepend, RI, L/V/T): ask ICU
};

ClusterClass clusterClassFromIcu(char32_t c)
{
    if (QChar::isSurrogate(c))
        return joins;   // lone surrogates: leave them to ICU
    switch (u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK)) {
    case U_GCB_OTHER:
    case U_GCB_LV:
    case U_GCB_LVT:
        return standsAlone;
    case U_GCB_CONTROL:
    case U_GCB_CR:
    case U_GCB_LF:
        return control;
    default:
        return joins;
    }
}

// The facts of every code point of the first two planes in one table, looked up once: the rules
// of the library test them for nearly every character, and ICU's general lookups cost several
// times more. The low bits are the public Unicode::Fact values, the cluster class sits above them.
constexpr int clusterShift = 8;

uint16_t factsFromIcu(char32_t c)
{
    const auto u = static_cast<UChar32>(c);
    uint16_t bits = uint16_t(clusterClassFromIcu(c) << clusterShift);
    if (u_hasBinaryProperty(u, UCHAR_ALPHABETIC))
        bits |= Unicode::alphabeticFact;
    if (u_hasBinaryProperty(u, UCHAR_WHITE_SPACE))
        bits |= Unicode::whiteSpaceFact;
    if (u_getIntPropertyValue(u, UCHAR_NUMERIC_TYPE) != U_NT_NONE)
        bits |= Unicode::numericFact;
    switch (u_getIntPropertyValue(u, UCHAR_GRAPHEME_CLUSTER_BREAK)) {
    case U_GCB_CONTROL:
    case U_GCB_CR:
    case U_GCB_LF:
        bits |= Unicode::controlFact;
        break;
    case U_GCB_PREPEND:
        bits |= Unicode::prependedFact;
        break;
    case U_GCB_EXTEND:
    case U_GCB_ZWJ:
    case U_GCB_SPACING_MARK:
        bits |= Unicode::extendsFact;
        break;
    default:
        break;
    }
    if (const icu::Normalizer2 *nfkc = nfkcInstance(); nfkc && !nfkc->hasBoundaryBefore(u))
        bits |= Unicode::composesBackwardFact;
    if (c == capitalIWithDot || (!QChar::isSurrogate(c) && u_tolower(u) != u))
        bits |= Unicode::lowerCaseDiffersFact;
    return bits;
}

template<char32_t first>
const uint16_t *buildFacts()
{
    static std::array<uint16_t, 0x10000> table;
    for (char32_t c = 0; c < 0x10000; ++c)
        table[c] = factsFromIcu(first + c);
    return table.data();
}

inline uint16_t properties(char32_t c)
{
    // Each plane's table is built on its first use, once, thread-safe.
    if (c < 0x10000) {
        static const uint16_t *const bmp = buildFacts<0>();
        return bmp[c];
    }
    if (c < 0x20000) {
        static const uint16_t *const supplementary = buildFacts<0x10000>();
        return supplementary[c - 0x10000];
    }
    return factsFromIcu(c);
}

ClusterClass clusterClass(char32_t c)
{
    return ClusterClass(properties(c) >> clusterShift);
}

// One character break iterator per thread, lent to one cursor at a time; a nested cursor on the
// same thread makes its own.
thread_local std::unique_ptr<icu::BreakIterator> idleBreakIterator;

icu::BreakIterator *borrowBreakIterator()
{
    if (idleBreakIterator)
        return idleBreakIterator.release();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status))
        return nullptr;
    return made.release();
}

void returnBreakIterator(icu::BreakIterator *iterator)
{
    if (!idleBreakIterator)
        idleBreakIterator.reset(iterator);
    else
        delete iterator;
}

int codePointOrderKey(char16_t u)
{
    // Moves surrogates above the rest of the BMP so that UTF-16 units sort like code points.
    if (u >= 0xD800) {
        if (u >= 0xE000)
            return u - 0x800;
        return u + 0x2000;
    }
    return u;
}

}

namespace Unicode {

QString nfkc(const QString &text)
{
    const icu::Normalizer2 *const instance = nfkcInstance();
    return instance ? normalized(instance, text) : text;
}

bool isNfkc(const QString &text)
{
    if (isAscii(text))
        return true;
    const icu::Normalizer2 *const instance = nfkcInstance();
    if (!instance)
        return true;
    const icu::UnicodeString source = alias(text);
    UErrorCode status = U_ZERO_ERROR;
    // The quick check settles nearly all text; a "maybe" needs the full test.
    if (instance->spanQuickCheckYes(source, status) == source.length() || U_FAILURE(status))
        return true;
    status = U_ZERO_ERROR;
    const bool normalised = instance->isNormalized(source, status);
    return U_FAILURE(status) || normalised;
}

QString nfc(const QString &text)
{
    static const icu::Normalizer2 *const instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        return icu::Normalizer2::getNFCInstance(status);
    }();
    return instance ? normalized(instance, text) : text;
}

QString lowercased(const QString &text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    for (; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u >= 0x80 || (u >= 'A' && u <= 'Z'))
            break;
    }
    if (i == n)
        return text;
    if (isAscii(text)) {
        QString result = text;
        char16_t *out = reinterpret_cast<char16_t *>(result.data());
        for (; i < n; ++i) {
            if (out[i] >= 'A' && out[i] <= 'Z')
                out[i] = char16_t(out[i] + ('a' - 'A'));
        }
        return result;
    }
    if (text.contains(QChar(capitalSigma))) {
        // 'Σ' is the only code point whose root-locale lower case depends on its neighbours.
        QString plain = text;
        plain.replace(QChar(capitalSigma), QChar(smallSigma));
        return mapCase(plain, u_strToLower);
    }
    return mapCase(text, u_strToLower);
}

QString uppercased(const QString &text)
{
    bool needsMapping = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80 || (u >= 'a' && u <= 'z')) {
            needsMapping = true;
            break;
        }
    }
    return needsMapping ? mapCase(text, u_strToUpper) : text;
}

bool isAlphabetic(char32_t c)
{
    return properties(c) & alphabeticFact;
}

bool isWhiteSpace(char32_t c)
{
    return properties(c) & whiteSpaceFact;
}

QString trimmed(const QString &text)
{
    // Every White_Space code point lies in the BMP, so UTF-16 units suffice.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhiteSpace(text.at(begin).unicode()))
        ++begin;
    while (end > begin && isWhiteSpace(text.at(end - 1).unicode()))
        --end;
    return text.mid(begin, end - begin);
}

bool hasNumericType(char32_t c)
{
    return properties(c) & numericFact;
}

uint16_t facts(char32_t c)
{
    return properties(c) & 0xFF;
}

int lowercaseInto(char32_t c, char16_t *out)
{
    if (c == capitalIWithDot) {
        out[0] = u'i';
        out[1] = 0x0307;
        return 2;
    }
    const char32_t lower = QChar::isSurrogate(c) ? c : char32_t(u_tolower(static_cast<UChar32>(c)));
    if (QChar::requiresSurrogates(lower)) {
        out[0] = QChar::highSurrogate(lower);
        out[1] = QChar::lowSurrogate(lower);
        return 2;
    }
    out[0] = char16_t(lower);
    return 1;
}

GraphemeCursor::~GraphemeCursor()
{
    if (m_icu)
        returnBreakIterator(m_icu);
}

bool GraphemeCursor::attachBreakIterator()
{
    m_icu = borrowBreakIterator();
    if (!m_icu)
        return false;
    UErrorCode status = U_ZERO_ERROR;
    UText ut = UTEXT_INITIALIZER;
    utext_openUChars(&ut, uchars(m_text), length32(m_text), &status);
    m_icu->setText(&ut, status);   // keeps a shallow clone: the characters stay ours
    utext_close(&ut);
    if (U_FAILURE(status)) {
        returnBreakIterator(m_icu);
        m_icu = nullptr;
        return false;
    }
    return true;
}

qsizetype GraphemeCursor::nextBeyondAscii()
{
    const qsizetype n = m_text.size();
    const char32_t c = codePointAt(m_text, m_start);
    const qsizetype after = m_start + (c > 0xFFFF ? 2 : 1);
    if (after >= n) {
        m_end = n;
        return m_end;
    }
    // Most boundaries follow from the two code points around them; only clusters that may join
    // more than one code point go to ICU, which knows the rest (emoji sequences, flags, marks).
    const char32_t d = codePointAt(m_text, after);
    const ClusterClass left = clusterClass(c);
    const ClusterClass right = clusterClass(d);
    if (c == '\r' && d == '\n') {
        m_end = after + 1;
        return m_end;
    }
    if (left == control || right == control || (left == standsAlone && right == standsAlone)) {
        m_end = after;
        return m_end;
    }
    if (!m_icu && !attachBreakIterator()) {
        m_end = after;
        return m_end;
    }
    const int32_t boundary = m_icu->following(static_cast<int32_t>(m_start));
    m_end = boundary == icu::BreakIterator::DONE || boundary <= m_start ? n : boundary;
    return m_end;
}

QStringList graphemes(const QString &text)
{
    QStringList result;
    GraphemeCursor cursor(text);
    for (qsizetype end; (end = cursor.next()) >= 0;)
        result.append(text.mid(cursor.start(), end - cursor.start()));
    return result;
}

qsizetype characterCount(QStringView text)
{
    qsizetype count = 0;
    GraphemeCursor cursor(text);
    while (cursor.next() >= 0)
        ++count;
    return count;
}

int compare(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x != y)
            return codePointOrderKey(x) < codePointOrderKey(y) ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

Regex::Regex(const QString &pattern, bool caseInsensitive)
{
    const icu::UnicodeString source(uchars(pattern), length32(pattern));
    UParseError where{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(source, caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0, where, status));
    if (U_FAILURE(status) || !compiled)
        throw std::invalid_argument("invalid regular expression: " + pattern.toStdString() + " ("
                                    + u_errorName(status) + ")");
    m_pattern = std::move(compiled);
}

namespace {

Regex::Match matchOf(const QString &text, icu::RegexMatcher &matcher)
{
    Regex::Match match;
    UErrorCode status = U_ZERO_ERROR;
    match.start = matcher.start(status);
    match.length = matcher.end(status) - match.start;
    const int32_t groups = matcher.groupCount();
    match.groups.reserve(groups + 1);
    for (int32_t g = 0; g <= groups; ++g) {
        const int32_t start = matcher.start(g, status);
        const int32_t end = matcher.end(g, status);
        if (U_FAILURE(status) || start < 0)
            match.groups.append(std::nullopt);
        else
            match.groups.append(text.mid(start, end - start));
    }
    return match;
}

}

std::optional<Regex::Match> Regex::firstMatch(const QString &text) const
{
    const icu::UnicodeString input = alias(text);   // must outlive the matcher
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::RegexMatcher> matcher(m_pattern->matcher(input, status));
    if (U_FAILURE(status) || !matcher->find())
        return std::nullopt;
    return matchOf(text, *matcher);
}

QList<Regex::Match> Regex::findAll(const QString &text) const
{
    QList<Match> result;
    const icu::UnicodeString input = alias(text);
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::RegexMatcher> matcher(m_pattern->matcher(input, status));
    if (U_FAILURE(status))
        return result;
    while (matcher->find())
        result.append(matchOf(text, *matcher));
    return result;
}

QString Regex::replaceAll(const QString &text, const QString &replacementTemplate) const
{
    const icu::UnicodeString input = alias(text);
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::RegexMatcher> matcher(m_pattern->matcher(input, status));
    if (U_FAILURE(status) || !matcher->find())
        return text;   // the common case: nothing to replace, nothing copied
    matcher->reset();
    const icu::UnicodeString result = matcher->replaceAll(alias(replacementTemplate), status);
    return U_SUCCESS(status) ? toQString(result) : text;
}

namespace {

std::optional<Regex::Span> spanOf(const icu::RegexMatcher &matcher, bool found, UErrorCode status)
{
    if (U_FAILURE(status) || !found)
        return std::nullopt;
    const int64_t start = matcher.start64(status);
    const int64_t end = matcher.end64(status);
    if (U_FAILURE(status))
        return std::nullopt;
    return Regex::Span{qsizetype(start), qsizetype(end)};
}

}

Regex::Scanner::Scanner(const Regex &regex, const QString &text)
    : m_size(text.size())
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(regex.m_pattern->matcher(status));
    if (U_FAILURE(status) || !matcher)
        return;
    UText input = UTEXT_INITIALIZER;
    utext_openUChars(&input, uchars(text), length32(text), &status);
    matcher->reset(&input);   // keeps a shallow clone: the characters stay the caller's
    utext_close(&input);
    if (U_SUCCESS(status))
        m_matcher = std::move(matcher);
}

Regex::Scanner::~Scanner() = default;

std::optional<Regex::Span> Regex::Scanner::find(qsizetype from)
{
    if (!m_matcher || from < 0 || from > m_size)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const bool found = m_matcher->find(from, status);
    return spanOf(*m_matcher, found, status);
}

std::optional<Regex::Span> Regex::Scanner::matchAt(qsizetype start)
{
    if (!m_matcher || start < 0 || start > m_size)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const bool found = m_matcher->lookingAt(start, status);
    return spanOf(*m_matcher, found, status);
}

}
