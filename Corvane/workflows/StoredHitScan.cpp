#include "workflows/StoredHitScan.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Every rule below is at least as strict as the decoder it stands in for (QJsonDocument, then the
// typed reads of each hit): whatever is not certain to decode gives up.

namespace {

enum class Key { appleAppId, name, developerName, iconURL, storeURL, primaryGenre, ratingCount, averageRating, rank };

// Far above any stored search; larger input is left to the decoder and its limits.
constexpr qsizetype largestInput = 16 * 1024 * 1024;

constexpr bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

constexpr bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

class Scanner
{
public:
    explicit Scanner(QByteArrayView json) : m_begin(json.data()), m_p(json.data()), m_end(json.data() + json.size()) {}

    std::optional<QList<StoredHitScan::Hit>> hits()
    {
        QList<StoredHitScan::Hit> hits;
        // Some 250 bytes a hit as stored.
        hits.reserve((m_end - m_p) / 200);
        skipSpace();
        if (!take('['))
            return std::nullopt;
        skipSpace();
        if (!take(']')) {
            do {
                skipSpace();
                StoredHitScan::Hit hit;
                if (!storedForm(hit) && !object(hit))
                    return std::nullopt;
                hits.append(hit);
                skipSpace();
            } while (take(','));
            if (!take(']'))
                return std::nullopt;
        }
        skipSpace();
        if (m_p != m_end)
            return std::nullopt;
        return hits;
    }

private:
    bool take(char c)
    {
        if (m_p == m_end || *m_p != c)
            return false;
        ++m_p;
        return true;
    }

    void skipSpace()
    {
        while (m_p != m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    // A hit exactly as the store writes it: compact, its keys in their order. Most are; for any
    // other, this gives up where it stands, and the object is read again the general way.
    bool storedForm(StoredHitScan::Hit &hit)
    {
        const char *start = m_p;
        if (!literal("{\"appleAppId\":\""))
            return restart(start);
        const char *id = m_p;
        while (m_p != m_end && isDigit(*m_p))
            ++m_p;
        hit.appleAppId = QByteArrayView(id, m_p - id);
        bool escaped = false;
        if (m_p == id || !literal("\",\"name\":") || !string(escaped))
            return restart(start);
        if (literal(",\"developerName\":") && !string(escaped))
            return restart(start);
        if (literal(",\"iconURL\":") && !webAddress())
            return restart(start);
        if (literal(",\"storeURL\":") && !webAddress())
            return restart(start);
        if (literal(",\"primaryGenre\":") && !string(escaped))
            return restart(start);
        if (literal(",\"ratingCount\":") && !integer())
            return restart(start);
        if (literal(",\"averageRating\":") && !number())
            return restart(start);
        if (!literal(",\"rank\":"))
            return restart(start);
        const auto rank = integer();
        if (!rank || *rank < std::numeric_limits<int>::min() || *rank > std::numeric_limits<int>::max() || !take('}'))
            return restart(start);
        hit.rank = int(*rank);
        hit.begin = start - m_begin;
        hit.end = m_p - m_begin;
        return true;
    }

    bool restart(const char *at)
    {
        m_p = at;
        return false;
    }

    bool object(StoredHitScan::Hit &hit)
    {
        hit.begin = m_p - m_begin;
        if (!take('{'))
            return false;
        unsigned seen = 0;
        auto expected = Key::appleAppId;
        skipSpace();
        if (m_p != m_end && *m_p != '}') {
            do {
                skipSpace();
                const auto key = this->key(expected);
                if (!key || (seen & (1u << unsigned(*key))))
                    return false;
                seen |= 1u << unsigned(*key);
                expected = Key(std::min(unsigned(*key) + 1, unsigned(Key::rank)));
                skipSpace();
                if (!take(':'))
                    return false;
                skipSpace();
                if (!value(*key, hit))
                    return false;
                skipSpace();
            } while (take(','));
        }
        if (!take('}'))
            return false;
        hit.end = m_p - m_begin;
        // The required keys; a missing one fails the decoding of every hit.
        constexpr unsigned required = 1u << unsigned(Key::appleAppId) | 1u << unsigned(Key::name) | 1u << unsigned(Key::rank);
        return (seen & required) == required;
    }

    // A known key spelt plainly; an unknown one would have to be skipped exactly as the decoder
    // skips it, and the stored form has none. The keys come in the stored order, as a rule.
    std::optional<Key> key(Key expected)
    {
        if (m_end - m_p < 6 || *m_p != '"')
            return std::nullopt;
        if (const auto key = named(expected))
            return key;
        // Told apart by their first letters, then confirmed whole with the closing quote.
        switch (m_p[1]) {
        case 'a':
            return m_p[2] == 'p' ? named(Key::appleAppId) : named(Key::averageRating);
        case 'n':
            return named(Key::name);
        case 'd':
            return named(Key::developerName);
        case 'i':
            return named(Key::iconURL);
        case 's':
            return named(Key::storeURL);
        case 'p':
            return named(Key::primaryGenre);
        case 'r':
            return m_p[2] == 'a' && m_p[3] == 'n' ? named(Key::rank) : named(Key::ratingCount);
        default:
            return std::nullopt;
        }
    }

    std::optional<Key> named(Key key)
    {
        switch (key) {
        case Key::appleAppId:
            return is("appleAppId", key);
        case Key::name:
            return is("name", key);
        case Key::developerName:
            return is("developerName", key);
        case Key::iconURL:
            return is("iconURL", key);
        case Key::storeURL:
            return is("storeURL", key);
        case Key::primaryGenre:
            return is("primaryGenre", key);
        case Key::ratingCount:
            return is("ratingCount", key);
        case Key::averageRating:
            return is("averageRating", key);
        case Key::rank:
            return is("rank", key);
        }
        return std::nullopt;
    }

    template<qsizetype N>
    std::optional<Key> is(const char (&spelt)[N], Key key)
    {
        constexpr qsizetype size = N - 1;
        if (m_end - m_p < size + 2 || std::memcmp(m_p + 1, spelt, size_t(size)) != 0 || m_p[size + 1] != '"')
            return std::nullopt;
        m_p += size + 2;
        return key;
    }

    bool value(Key key, StoredHitScan::Hit &hit)
    {
        const bool optional = key != Key::appleAppId && key != Key::name && key != Key::rank;
        if (optional && m_p != m_end && *m_p == 'n')
            return literal("null");
        switch (key) {
        case Key::appleAppId: {
            const char *start = m_p + 1;
            bool escaped = false;
            if (!string(escaped) || escaped)
                return false;
            hit.appleAppId = QByteArrayView(start, m_p - 1 - start);
            return true;
        }
        case Key::name:
        case Key::developerName:
        case Key::primaryGenre: {
            bool escaped = false;
            return string(escaped);
        }
        case Key::iconURL:
        case Key::storeURL:
            return webAddress();
        case Key::ratingCount:
            return integer().has_value();
        case Key::averageRating:
            return number();
        case Key::rank: {
            const auto rank = integer();
            if (!rank || *rank < std::numeric_limits<int>::min() || *rank > std::numeric_limits<int>::max())
                return false;
            hit.rank = int(*rank);
            return true;
        }
        }
        return false;
    }

    template<qsizetype N>
    bool literal(const char (&word)[N])
    {
        constexpr qsizetype size = N - 1;
        if (m_end - m_p < size || std::memcmp(m_p, word, size_t(size)) != 0)
            return false;
        m_p += size;
        return true;
    }

    // Moves over bytes that need no look of their own: plain printable ASCII other than the
    // quote and the backslash, and with `spaceToo` false, other than the space as well.
    void skipPlain(bool spaceToo)
    {
#if defined(__SSE2__)
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i backslash = _mm_set1_epi8('\\');
        const __m128i del = _mm_set1_epi8(0x7f);
        // Signed bytes: those from 0x80 up are negative, and below the bound too.
        const __m128i low = _mm_set1_epi8(spaceToo ? 0x20 : 0x21);
        while (m_end - m_p >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(m_p));
            const __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
                                              _mm_or_si128(_mm_cmplt_epi8(bytes, low), _mm_cmpeq_epi8(bytes, del)));
            if (const int mask = _mm_movemask_epi8(stop)) {
                m_p += __builtin_ctz(unsigned(mask));
                return;
            }
            m_p += 16;
        }
#endif
        const unsigned char lowest = spaceToo ? 0x20 : 0x21;
        while (m_p != m_end) {
            const auto c = static_cast<unsigned char>(*m_p);
            if (c < lowest || c >= 0x7f || c == '"' || c == '\\')
                return;
            ++m_p;
        }
    }

    // A string whose text is well-formed: sets `escaped` when it holds an escape.
    bool string(bool &escaped)
    {
        if (!take('"'))
            return false;
        skipPlain(true);
        // Past the plain stretch byte by byte: text beyond ASCII comes in runs.
        while (m_p != m_end) {
            const auto c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                ++m_p;
                return true;
            }
            if (c == '\\') {
                escaped = true;
                if (!escape())
                    return false;
            } else if (c >= 0x80) {
                if (!character())
                    return false;
            } else if (c >= 0x20 && c < 0x7f) {
                ++m_p;
            } else {
                // A control character, or DEL.
                return false;
            }
        }
        return false;
    }

    bool escape()
    {
        if (m_end - m_p < 2)
            return false;
        switch (m_p[1]) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            m_p += 2;
            return true;
        case 'u': {
            if (m_end - m_p < 6)
                return false;
            int unit = 0;
            for (int i = 2; i < 6; ++i) {
                const int digit = hexValue(m_p[i]);
                if (digit < 0)
                    return false;
                unit = unit * 16 + digit;
            }
            // Surrogates and NUL, alone or paired, are the decoder's to judge.
            if (unit == 0 || (unit >= 0xd800 && unit <= 0xdfff))
                return false;
            m_p += 6;
            return true;
        }
        default:
            return false;
        }
    }

    // One well-formed UTF-8 sequence of two to four bytes; noncharacters are left to the decoder.
    bool character()
    {
        const auto at = [this](qsizetype i) { return static_cast<unsigned char>(m_p[i]); };
        const auto continuation = [](unsigned char c) { return (c & 0xc0) == 0x80; };
        const unsigned char lead = at(0);
        qsizetype length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xbf;
        if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3;
            low = lead == 0xe0 ? 0xa0 : 0x80;
            high = lead == 0xed ? 0x9f : 0xbf;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4;
            low = lead == 0xf0 ? 0x90 : 0x80;
            high = lead == 0xf4 ? 0x8f : 0xbf;
        } else {
            return false;
        }
        if (m_end - m_p < length || at(1) < low || at(1) > high)
            return false;
        char32_t code = lead & (0xff >> (length + 1));
        for (qsizetype i = 1; i < length; ++i) {
            if (!continuation(at(i)))
                return false;
            code = (code << 6) | (at(i) & 0x3f);
        }
        if ((code >= 0xfdd0 && code <= 0xfdef) || (code & 0xfffe) == 0xfffe)
            return false;
        m_p += length;
        return true;
    }

    // A web address that is certain to read as one: "http" or "https", a host name of letters,
    // digits, inner hyphens and dots whose last label holds a letter, then printable ASCII only.
    bool webAddress()
    {
        if (!literal("\"http://") && !literal("\"https://"))
            return false;
        if (!knownHost() && !host())
            return false;
        skipPlain(false);
        return take('"');
    }

    static bool endsHost(char c) { return c == '/' || c == '?' || c == '#' || c == '"'; }

    // The hosts of a search's addresses repeat: one already judged is passed over.
    bool knownHost()
    {
        for (const auto known : m_hosts) {
            const auto size = known.size();
            if (size > 0 && m_end - m_p > size && std::memcmp(m_p, known.data(), size_t(size)) == 0 && endsHost(m_p[size])) {
                m_p += size;
                return true;
            }
        }
        return false;
    }

    bool host()
    {
        const char *start = m_p;
        qsizetype label = 0;
        bool letter = false;
        char previous = '.';
        while (m_p != m_end) {
            const char c = *m_p;
            if (isLetter(c) || isDigit(c)) {
                letter = letter || isLetter(c);
            } else if (c == '-') {
                // No label starts with one, and no two meet ("xn--" and the like).
                if (previous == '.' || previous == '-')
                    return false;
            } else if (c == '.') {
                if (previous == '.' || previous == '-')
                    return false;
                label = -1;
                letter = false;
            } else {
                break;
            }
            previous = c;
            ++m_p;
            if (++label > 63)
                return false;
        }
        if (previous == '.' || previous == '-' || !letter || m_p - start > 253 || m_p == m_end || !endsHost(*m_p))
            return false;
        m_hosts[m_nextHost] = QByteArrayView(start, m_p - start);
        m_nextHost = (m_nextHost + 1) % std::size(m_hosts);
        return true;
    }

    // A whole number without fraction or exponent, within 18 digits; "-0" is left to the decoder.
    std::optional<qint64> integer()
    {
        const bool negative = take('-');
        const char *digits = m_p;
        qint64 value = 0;
        while (m_p != m_end && isDigit(*m_p)) {
            // Past 18 digits the number is refused below; stop adding before it overflows.
            if (m_p - digits < 18)
                value = value * 10 + (*m_p - '0');
            ++m_p;
        }
        const auto count = m_p - digits;
        if (count == 0 || count > 18 || (count > 1 && *digits == '0') || (negative && value == 0))
            return std::nullopt;
        if (m_p != m_end && (*m_p == '.' || *m_p == 'e' || *m_p == 'E'))
            return std::nullopt;
        return negative ? -value : value;
    }

    // A number with at most 16 digits before its point and 17 after it, and no exponent.
    bool number()
    {
        take('-');
        const char *digits = m_p;
        while (m_p != m_end && isDigit(*m_p))
            ++m_p;
        const auto count = m_p - digits;
        if (count == 0 || count > 16 || (count > 1 && *digits == '0'))
            return false;
        if (take('.')) {
            const char *fraction = m_p;
            while (m_p != m_end && isDigit(*m_p))
                ++m_p;
            if (m_p == fraction || m_p - fraction > 17)
                return false;
        }
        return m_p == m_end || (*m_p != 'e' && *m_p != 'E');
    }

    const char *m_begin;
    const char *m_p;
    const char *m_end;
    // Hosts judged sound lately.
    QByteArrayView m_hosts[2];
    size_t m_nextHost = 0;
};

}

std::optional<QList<StoredHitScan::Hit>> StoredHitScan::scan(QByteArrayView json)
{
    if (json.size() > largestInput)
        return std::nullopt;
    return Scanner(json).hits();
}
