#include "support/Unicode.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>

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

QString normalized(const icu::Normalizer2 *normalizer, const QString &text)
{
    if (isAscii(text))
        return text;   // ASCII is already in every normal form
    const icu::UnicodeString source = alias(text);
    UErrorCode status = U_ZERO_ERROR;
    if (normalizer->spanQuickCheckYes(source, status) == source.length() && U_SUCCESS(status))
        return text;
    status = U_ZERO_ERROR;
    const icu::UnicodeString result = normalizer->normalize(source, status);
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

// Grapheme_Cluster_Break values that never join a neighbour (apart from CR LF, handled apart).
// A text made only of such code points has one cluster per code point, so the break iterator
// can be skipped. Hangul LV/LVT only join a following V or T, which are not in this set.
bool standsAlone(char32_t c)
{
    if (c < 0x300)   // nothing below the combining diacritics extends or prepends
        return true;
    switch (u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK)) {
    case U_GCB_OTHER:
    case U_GCB_CONTROL:
    case U_GCB_CR:
    case U_GCB_LF:
    case U_GCB_LV:
    case U_GCB_LVT:
        return true;
    default:
        return false;
    }
}

bool hasSimpleClusters(QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x300)
            continue;
        if (QChar::isSurrogate(u)) {
            if (!QChar::isHighSurrogate(u) || i + 1 >= n || !QChar::isLowSurrogate(text[i + 1].unicode()))
                return false;   // lone surrogates: leave them to ICU
            if (!standsAlone(QChar::surrogateToUcs4(u, text[i + 1].unicode())))
                return false;
            ++i;
            continue;
        }
        if (!standsAlone(u))
            return false;
    }
    return true;
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
    static const icu::Normalizer2 *const instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        return icu::Normalizer2::getNFKCInstance(status);
    }();
    return instance ? normalized(instance, text) : text;
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
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC);
}

bool isWhiteSpace(char32_t c)
{
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE);
}

bool hasNumericType(char32_t c)
{
    return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

char32_t codePointAt(QStringView text, qsizetype i)
{
    const char16_t u = text[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
        return QChar::surrogateToUcs4(u, text[i + 1].unicode());
    return u;
}

GraphemeCursor::GraphemeCursor(QStringView text)
    : m_text(text)
{
    if (hasSimpleClusters(text))
        return;
    m_icu = borrowBreakIterator();
    if (!m_icu)
        return;
    UErrorCode status = U_ZERO_ERROR;
    UText ut = UTEXT_INITIALIZER;
    utext_openUChars(&ut, uchars(text), length32(text), &status);
    m_icu->setText(&ut, status);   // keeps a shallow clone: the characters stay ours
    utext_close(&ut);
    if (U_FAILURE(status)) {
        returnBreakIterator(m_icu);
        m_icu = nullptr;
        return;
    }
    m_icu->first();
}

GraphemeCursor::~GraphemeCursor()
{
    if (m_icu)
        returnBreakIterator(m_icu);
}

qsizetype GraphemeCursor::next()
{
    const qsizetype n = m_text.size();
    if (m_end >= n)
        return -1;
    m_start = m_end;
    if (m_icu) {
        const int32_t boundary = m_icu->next();
        m_end = boundary == icu::BreakIterator::DONE ? n : boundary;
        return m_end;
    }
    const char16_t u = m_text[m_end].unicode();
    if (m_end + 1 < n) {
        const char16_t v = m_text[m_end + 1].unicode();
        if ((u == '\r' && v == '\n') || (QChar::isHighSurrogate(u) && QChar::isLowSurrogate(v))) {
            m_end += 2;
            return m_end;
        }
    }
    m_end += 1;
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

}
