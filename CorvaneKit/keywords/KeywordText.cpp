#include "keywords/KeywordText.h"

#include "support/Unicode.h"

#include <algorithm>
#include <cstring>

namespace {

// The four lists are kept apart as written so that each can be checked against its source.
constexpr const char *englishStopwords =
    "a about above after again all also am an and any app apps are as at be because been before being "
    "below between both but by can could did do does doing down during each easy every few for free from "
    "further get gets got had has have having he her here hers him his how i if in into is it its just like "
    "make makes many me more most much my new no nor not now of off on once one only or other our out over "
    "own per pro same she should so some such than that the their them then there these they this those "
    "through to too under until up us use used using very via was we were what when where which while who "
    "whom why will with without would you your yours best top ever latest version update ios iphone ipad";
constexpr const char *germanStopwords =
    "aber alle als am an auch auf aus bei bin bis da das dass dem den der des die dies doch du durch ein "
    "eine einem einen einer es für hat ich ihr im in ist ja kann mit nach nicht noch nur oder sich sie sind "
    "so über um und uns von vor war was wenn wie wir wird zu zum zur";
constexpr const char *turkishStopwords =
    "ve ile bir bu da de için gibi daha çok en her ne ki mi mu olan olarak ama veya ya şu o sen ben biz siz "
    "onlar kadar sonra önce göre";
constexpr const char *portugueseStopwords =
    "a ao aos as com da das de do dos e em é na nas no nos o os ou para pela pelo por que se sem seu sua um "
    "uma você mais muito";

bool isAscii(QStringView text)
{
    char16_t any = 0;
    for (const QChar c : text)
        any |= c.unicode();
    return any < 0x80;
}

// ASCII members of White_Space: tab, line feed, vertical tab, form feed, carriage return, space.
bool isAsciiWhiteSpace(char16_t u)
{
    return u == ' ' || (u >= 0x09 && u <= 0x0D);
}

bool isAsciiLetterOrDigit(char16_t u)
{
    const char16_t folded = u | 0x20;
    return (folded >= 'a' && folded <= 'z') || (u >= '0' && u <= '9');
}

// Every ASCII code point is a character of its own, except that CR LF makes one.
qsizetype asciiCharacterCount(QStringView text)
{
    qsizetype count = text.size();
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'\r' && text[i + 1] == u'\n')
            --count;
    }
    return count;
}

char16_t asciiLower(char16_t u)
{
    return (u >= 'A' && u <= 'Z') ? char16_t(u + ('a' - 'A')) : u;
}

bool isZeroWidth(char16_t u)
{
    return u >= 0x200B && (u <= 0x200D || u == 0xFEFF);
}

bool isLetterOrNumber(char32_t c)
{
    if (c < 0x80)
        return isAsciiLetterOrDigit(char16_t(c));
    return Unicode::isAlphabetic(c) || Unicode::hasNumericType(c);
}

// Collapses runs of whitespace characters (clusters that start with a White_Space code point,
// marks riding on them included) into single spaces and drops them at both ends. With lower set,
// ASCII text is lower-cased on the way, which is all normalize() needs for it.
QString collapseAscii(QStringView text, bool lower)
{
    QString out(text.size(), Qt::Uninitialized);
    char16_t *dst = reinterpret_cast<char16_t *>(out.data());
    qsizetype n = 0;
    bool pendingSpace = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (isAsciiWhiteSpace(u)) {
            pendingSpace = n > 0;
            continue;
        }
        if (pendingSpace) {
            dst[n++] = ' ';
            pendingSpace = false;
        }
        dst[n++] = lower ? asciiLower(u) : u;
    }
    out.truncate(n);
    return out;
}

// Whether collapseAscii(text, false) would give the text back: no whitespace but single spaces
// between other characters.
bool isCollapsedAscii(QStringView text)
{
    if (text.isEmpty())
        return true;
    if (isAsciiWhiteSpace(text.front().unicode()) || isAsciiWhiteSpace(text.back().unicode()))
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (isAsciiWhiteSpace(u) && (u != u' ' || text[i + 1] == u' '))
            return false;
    }
    return true;
}

QString collapseClusters(QStringView text)
{
    // Each whitespace cluster becomes at most one space, so the text's own length is enough.
    QString out(text.size(), Qt::Uninitialized);
    char16_t *dst = reinterpret_cast<char16_t *>(out.data());
    const char16_t *src = text.utf16();
    const qsizetype size = text.size();
    qsizetype n = 0;
    bool pendingSpace = false;
    Unicode::GraphemeCursor cursor(text);
    qsizetype i = 0;
    while (i < size) {
        // ASCII followed by ASCII is a cluster of its own (a CR LF pair is whitespace either way).
        for (; i + 1 < size && (src[i] | src[i + 1]) < 0x80; ++i) {
            const char16_t u = src[i];
            if (isAsciiWhiteSpace(u)) {
                pendingSpace = n > 0;
            } else {
                if (pendingSpace) {
                    dst[n++] = ' ';
                    pendingSpace = false;
                }
                dst[n++] = u;
            }
        }
        if (i >= size)
            break;
        cursor.seek(i);
        const qsizetype end = cursor.next();
        const char16_t u = src[i];
        if (u < 0x80 ? isAsciiWhiteSpace(u) : Unicode::isWhiteSpace(Unicode::codePointAt(text, i))) {
            pendingSpace = n > 0;
        } else {
            if (pendingSpace) {
                dst[n++] = ' ';
                pendingSpace = false;
            }
            for (qsizetype k = i; k < end; ++k)
                dst[n++] = src[k];
        }
        i = end;
    }
    out.truncate(n);
    return out;
}

QString withoutZeroWidth(const QString &text)
{
    // A branch-free scan first: zero-width characters are rare and the check vectorises.
    bool any = false;
    for (const QChar c : text)
        any |= isZeroWidth(c.unicode());
    if (!any)
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (!isZeroWidth(c.unicode()))
            out.append(c);
    }
    return out;
}

// clean() of text beyond ASCII, telling whether it removed a zero-width character.
QString cleanBeyondAscii(const QString &text, bool &removedZeroWidth)
{
    const QString composed = Unicode::nfkc(text);
    const QString visible = withoutZeroWidth(composed);
    removedZeroWidth = visible.size() != composed.size();
    return collapseClusters(visible);
}

// Whether the lower case `form` of a clean() result `cleaned` is its own normal form, that is,
// whether lower-casing clean() of it gives it back. The facts this rests on hold for every code
// point (checked by walking them all): clean() gives compatibility-composed text unless it removed
// a zero-width character; lower-casing such text gives compatibility-composed text again unless a
// changed code point comes before one from U+0300 on (only those compose or reorder with what
// precedes them) or the length changes ('İ'); and white space survives clean() only as single
// spaces between other characters, unless what follows a space extends it into a white-space
// character of its own. Most text is settled by one pass that vectorises. A false answer only means
// that the caller must clean the form again to see.
bool isSettled(const QString &cleaned, const QString &form, bool removedZeroWidth)
{
    const qsizetype n = form.size();
    if (n == 0)
        return true;
    const char16_t *units = reinterpret_cast<const char16_t *>(form.constData());
    if (units[0] == u' ' || units[n - 1] == u' ')   // not from clean(); the full test says
        return false;
    const bool sameLength = cleaned.size() == n;
    const char16_t *before = sameLength ? reinterpret_cast<const char16_t *>(cleaned.constData()) : units;
    // Every white-space code point but the space lies in these ranges.
    const auto maybeWhiteSpace = [](unsigned u) {
        return (u - 0x09u <= 0x04u) | (u - 0x85u <= 0x1Bu) | (u == 0x1680u) | (u - 0x2000u <= 0x0Au)
            | (u - 0x2028u <= 0x07u) | (u == 0x205Fu) | (u == 0x3000u);
    };
    // Flags gathered without branches, so that the loop vectorises.
    unsigned otherWhiteSpace = maybeWhiteSpace(units[n - 1]);
    unsigned spaceBeforeMore = 0;     // a space before another or before a unit from U+0300 on
    unsigned changedBeforeMore = 0;   // a unit that lower-casing changed before one from U+0300 on
    for (qsizetype i = 0; i + 1 < n; ++i) {
        const unsigned u = units[i];
        const unsigned next = units[i + 1];
        otherWhiteSpace |= maybeWhiteSpace(u);
        spaceBeforeMore |= (u == 0x20u) & ((next == 0x20u) | (next >= 0x300u));
        changedBeforeMore |= (u != before[i]) & (next >= 0x300u);
    }
    if ((removedZeroWidth || !sameLength || changedBeforeMore) && !Unicode::isNfkc(form))
        return false;
    if (otherWhiteSpace)
        return collapseClusters(form) == form;
    for (qsizetype i = 0; spaceBeforeMore && i + 1 < n; ++i) {
        if (units[i] != u' ')
            continue;
        if (units[i + 1] == u' ')   // only where a space rides on a prepended sign before it
            return collapseClusters(form) == form;
        if (units[i + 1] >= 0x300 && Unicode::extendsCluster(Unicode::codePointAt(form, i + 1)))
            return false;
    }
    return true;
}

// The normal form of a clean() result beyond ASCII: lower-cased, and cleaned again in the rare case
// that this is not yet its own normal form. Normalising once more settles it: a mark after a line
// break or tab, which follows the space put in their place and so joins it, goes with that space;
// a mark after a removed zero-width character, or after a capital lower-cased, composes with the
// letter before it. The bound only guards against a rule that a later Unicode version might add;
// one more pass has always been enough.
QString normalFormOfClean(const QString &cleaned, bool removedZeroWidth)
{
    QString form = Unicode::lowercased(cleaned);
    if (isSettled(cleaned, form, removedZeroWidth))
        return form;
    for (int pass = 0; pass < 4; ++pass) {
        QString next = Unicode::lowercased(KeywordText::clean(form));
        if (next == form)
            break;
        form = std::move(next);
    }
    return form;
}

// Maximal runs of letter-or-number clusters of already lower-cased text.
QStringList letterRuns(const QString &text)
{
    QStringList tokens;
    const QStringView view(text);
    const char16_t *src = view.utf16();
    const qsizetype size = view.size();
    qsizetype runStart = -1;
    const auto cluster = [&](qsizetype start, bool letterOrNumber) {
        if (letterOrNumber) {
            if (runStart < 0)
                runStart = start;
        } else if (runStart >= 0) {
            tokens.append(text.mid(runStart, start - runStart));
            runStart = -1;
        }
    };
    Unicode::GraphemeCursor cursor(view);
    qsizetype i = 0;
    while (i < size) {
        // ASCII followed by ASCII is a cluster of its own.
        for (; i + 1 < size && (src[i] | src[i + 1]) < 0x80; ++i)
            cluster(i, isAsciiLetterOrDigit(src[i]));
        if (i >= size)
            break;
        cursor.seek(i);
        const qsizetype end = cursor.next();
        cluster(i, isLetterOrNumber(Unicode::codePointAt(view, i)));
        i = end;
    }
    if (runStart >= 0)
        tokens.append(text.mid(runStart));
    return tokens;
}

QStringList asciiLetterRuns(const QString &text)
{
    const qsizetype n = text.size();
    // Counted first, so that the list is allocated once.
    qsizetype runs = 0;
    bool previous = false;
    for (const QChar c : text) {
        const bool current = isAsciiLetterOrDigit(c.unicode());
        runs += current && !previous;
        previous = current;
    }
    QStringList tokens;
    tokens.reserve(runs);
    qsizetype i = 0;
    while (i < n) {
        while (i < n && !isAsciiLetterOrDigit(text[i].unicode()))
            ++i;
        const qsizetype start = i;
        while (i < n && isAsciiLetterOrDigit(text[i].unicode()))
            ++i;
        if (i > start) {
            QString token(i - start, Qt::Uninitialized);
            char16_t *dst = reinterpret_cast<char16_t *>(token.data());
            for (qsizetype k = start; k < i; ++k)
                *dst++ = asciiLower(text[k].unicode());
            tokens.append(std::move(token));
        }
    }
    return tokens;
}

// Punctuation outside ASCII that app names and descriptions use a lot and that tokenize() treats
// as ASCII punctuation: a character of its own that normal forms and lower-casing leave alone
// (the no-break space becomes a space), neither letter nor number nor zero-width.
bool isPlainPunctuation(char16_t u)
{
    switch (u) {
    case u'\u00A0': case u'\u00B7': case u'\u2013': case u'\u2014': case u'\u2018': case u'\u2019':
    case u'\u201C': case u'\u201D': case u'\u2022': case u'\u25AA': case u'\u25CF':
        return true;
    default:
        return false;
    }
}

// Whether tokenize() finds in the text, and in every piece of it, just the runs of ASCII letters
// and digits.
bool isSplitLikeAscii(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() < 0x80 || isPlainPunctuation(c.unicode()); });
}

bool isLineBreak(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Whether a run of text without spaces could hold a link or bare address: those need "://",
// "www." or a "." before one of the top-level domains. Anything outside ASCII next to a "." is
// left to the regular expression, whose case-insensitive matching knows more than this test.
bool mayHoldLink(QStringView chunk)
{
    for (qsizetype i = 0; i < chunk.size(); ++i) {
        if (chunk[i] == u':' && chunk.sliced(i).startsWith(u"://"))
            return true;
        if (chunk[i] != u'.')
            continue;
        const char16_t before = i > 0 ? chunk[i - 1].unicode() : u' ';
        const char16_t after = i + 1 < chunk.size() ? chunk[i + 1].unicode() : u' ';
        if (before == u'w' || before == u'W' || before >= 0x80 || after >= 0x80)
            return true;
        if (after != 0 && std::strchr("cnoiadCNOIAD", char(after)))   // com net org io app co ai dev
            return true;
    }
    return false;
}

// Every match of "(https?://|www\.)\S+|\b[\w-]+\.(com|net|org|io|app|co|ai|dev)\b(/\S*)?"
// (case-insensitive) replaced by one space, as a search with that expression would replace them,
// in time linear in the text. The expression alone tries each start in a long run of word
// characters and dashes ("a-a-a-…") and reads on to the end of the run from each. Here each
// alternative has its own expression: a bare address is tried only at the first start in a run,
// since every later start of the same run reads on to the same end and so fares the same.
QString withoutAddresses(const QString &text)
{
    // The word boundary after the domain ending keeps "photos.Collage" and "best.apps" whole.
    static const Unicode::Regex links(QStringLiteral(R"re((https?://|www\.)\S+)re"), true);
    static const Unicode::Regex bareAddress(
        QStringLiteral(R"re(\b[\w-]+\.(com|net|org|io|app|co|ai|dev)\b(/\S*)?)re"), true);
    static const Unicode::Regex runStart(QStringLiteral(R"re(\b[\w-])re"), true);
    static const Unicode::Regex run(QStringLiteral(R"re([\w-]+)re"), true);
    Unicode::Regex::Scanner linkScanner(links, text);
    Unicode::Regex::Scanner bareScanner(bareAddress, text);
    Unicode::Regex::Scanner runStartScanner(runStart, text);
    Unicode::Regex::Scanner runScanner(run, text);
    const auto nextBareAddress = [&](qsizetype from) -> std::optional<Unicode::Regex::Span> {
        while (const auto start = runStartScanner.find(from)) {
            if (const auto address = bareScanner.matchAt(start->start))
                return address;
            const auto skipped = runScanner.matchAt(start->start);
            from = skipped ? skipped->end : start->end;
        }
        return std::nullopt;
    };

    QString result;
    qsizetype copied = 0;
    // The first match of each alternative at or after `copied`; a match that starts there stays
    // the first until `copied` passes its start.
    std::optional<Unicode::Regex::Span> link = linkScanner.find(0);
    std::optional<Unicode::Regex::Span> address = nextBareAddress(0);
    while (link || address) {
        // At one start, a link is tried first.
        const Unicode::Regex::Span match = link && (!address || link->start <= address->start) ? *link : *address;
        result += QStringView(text).sliced(copied, match.start - copied);
        result += u' ';
        copied = match.end;
        if (link && link->start < copied)
            link = linkScanner.find(copied);
        if (address && address->start < copied)
            address = nextBareAddress(copied);
    }
    if (copied == 0)
        return text;
    result += QStringView(text).sliced(copied);
    return result;
}

}

namespace KeywordText {

const QSet<QString> &stopwords()
{
    static const QSet<QString> words = [] {
        QSet<QString> set;
        const QString all = QStringList{QString::fromUtf8(englishStopwords), QString::fromUtf8(germanStopwords),
                                        QString::fromUtf8(turkishStopwords), QString::fromUtf8(portugueseStopwords)}
                                .join(u' ');
        for (const QString &word : all.split(u' ', Qt::SkipEmptyParts))
            set.insert(word);
        return set;
    }();
    return words;
}

QString clean(const QString &text)
{
    // NFKC leaves ASCII alone and it has no zero-width characters.
    if (isAscii(text))
        return isCollapsedAscii(text) ? text : collapseAscii(text, false);
    bool removedZeroWidth = false;
    return cleanBeyondAscii(text, removedZeroWidth);
}

QString normalize(const QString &text)
{
    if (isAscii(text))
        return collapseAscii(text, true);
    bool removedZeroWidth = false;
    const QString cleaned = cleanBeyondAscii(text, removedZeroWidth);
    return normalFormOfClean(cleaned, removedZeroWidth);
}

Entry entry(const QString &text)
{
    if (isAscii(text)) {
        QString display = clean(text);
        QString normalized = Unicode::lowercased(display);
        return Entry{std::move(normalized), std::move(display)};
    }
    bool removedZeroWidth = false;
    QString display = cleanBeyondAscii(text, removedZeroWidth);
    QString normalized = normalFormOfClean(display, removedZeroWidth);
    return Entry{std::move(normalized), std::move(display)};
}

QStringList tokenize(const QString &text)
{
    if (isAscii(text))
        return asciiLetterRuns(text);
    return letterRuns(Unicode::lowercased(Unicode::nfkc(text)));
}

TokenViews::TokenViews(QStringView text)
{
    if (!isAscii(text)) {
        m_tokens = tokenize(text.toString());
        for (const QString &token : std::as_const(m_tokens))
            m_words.append(token);
        return;
    }
    // One pass lower-cases the text into m_lowered and marks off its runs of letters and digits.
    const qsizetype n = text.size();
    m_lowered.resize(n);
    QChar *lowered = m_lowered.data();
    qsizetype runStart = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        lowered[i] = QChar(asciiLower(u));
        if (isAsciiLetterOrDigit(u)) {
            if (runStart < 0)
                runStart = i;
        } else if (runStart >= 0) {
            m_words.append(QStringView(lowered + runStart, i - runStart));
            runStart = -1;
        }
    }
    if (runStart >= 0)
        m_words.append(QStringView(lowered + runStart, n - runStart));
}

int WordNumbers::numberOf(QStringView word)
{
    const auto it = m_numbers.constFind(word);
    if (it != m_numbers.cend())
        return it.value();
    const int number = int(m_words.size());
    m_words.append(word.toString());
    const QString &kept = m_words.constLast();
    m_numbers.insert(QStringView(kept), number);
    // A token holds no CR, so an ASCII one has a character per code unit.
    const bool ascii = ::isAscii(kept);
    m_facts.append({KeywordText::isMeaningful(kept), ascii, ascii ? kept.size() : Unicode::characterCount(kept)});
    return number;
}

NumberedText::NumberedText(const QString &text, WordNumbers &words)
    : NumberedText(text, words, true)
{
}

NumberedText::NumberedText(const QString &text, WordNumbers &words, bool stripLinks)
    : m_text(text)
    , m_words(&words)
{
    if (stripLinks) {
        const QString stripped = stripURLs(text);
        if (!stripped.isSharedWith(text) && stripped != text)
            m_withoutLinks = std::make_shared<const NumberedText>(NumberedText(stripped, words, false));
    }
    // Text with links is mostly read without them: it is left to be split when read as it stands.
    m_splitAhead = !m_withoutLinks && (isAscii(text) || isSplitLikeAscii(text));
    if (!m_splitAhead)
        return;
    // The runs of letters and digits, lower-cased into a buffer only when they hold capitals, and
    // the gaps between them that hold more than spaces (about one word per five characters).
    m_numbers.reserve(text.size() / 5 + 1);
    QVarLengthArray<QChar, 32> lowered;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype gapStart = i;
        bool spacesOnly = true;
        for (; i < n && !isAsciiLetterOrDigit(text[i].unicode()); ++i)
            spacesOnly = spacesOnly && text[i] == u' ';
        const qsizetype start = i;
        bool upper = false;
        for (; i < n && isAsciiLetterOrDigit(text[i].unicode()); ++i)
            upper = upper || (text[i] >= u'A' && text[i] <= u'Z');
        if (i == start)
            break;
        QStringView word = QStringView(text).sliced(start, i - start);
        if (upper) {
            lowered.resize(word.size());
            std::transform(word.cbegin(), word.cend(), lowered.begin(),
                           [](QChar c) { return QChar(asciiLower(c.unicode())); });
            word = QStringView(lowered.cbegin(), lowered.size());
        }
        if (!spacesOnly && !m_numbers.isEmpty())
            m_gaps.append({m_numbers.size(), gapStart, start - gapStart});
        m_numbers.append(words.numberOf(word));
    }
}

QList<QList<int>> NumberedText::numberedPieces(bool (*isCut)(QChar), Pieces pieces) const
{
    QList<QList<int>> result;
    const auto add = [&](QStringView piece) {
        QList<int> numbers;
        if (pieces == Pieces::cleaned) {
            for (const QString &token : tokenize(clean(piece.toString())))
                numbers.append(m_words->numberOf(token));
        } else {
            for (const QStringView token : TokenViews(piece))
                numbers.append(m_words->numberOf(token));
        }
        if (!numbers.isEmpty())
            result.append(std::move(numbers));
    };
    qsizetype start = 0;
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        if (isCut(m_text[i])) {
            add(QStringView(m_text).sliced(start, i - start));
            start = i + 1;
        }
    }
    add(QStringView(m_text).sliced(start));
    return result;
}

QStringList meaningfulTokens(const QString &text)
{
    QStringList tokens = tokenize(text);
    tokens.removeIf([](const QString &token) { return !isMeaningful(token); });
    return tokens;
}

bool isMeaningful(const QString &word)
{
    if (word.size() < 2)
        return false;
    if (isAscii(word)) {
        const bool allDigits = std::all_of(word.cbegin(), word.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        return !allDigits && asciiCharacterCount(word) >= 2 && !stopwords().contains(word);
    }
    if (Unicode::characterCount(word) < 2)
        return false;
    if (stopwords().contains(word))
        return false;
    const QStringView view(word);
    Unicode::GraphemeCursor cursor(view);
    for (qsizetype end; (end = cursor.next()) >= 0;) {
        const char32_t c = Unicode::codePointAt(view, cursor.start());
        if (c < 0x80 ? !(c >= '0' && c <= '9') : !Unicode::hasNumericType(c))
            return true;
    }
    return false;
}

bool isUsable(const QString &normalized)
{
    if (normalized.size() < 2)
        return false;
    const QStringView view(normalized);
    qsizetype characters = 0;
    bool hasLetterOrNumber = false;
    if (isAscii(view)) {
        characters = asciiCharacterCount(view);
        hasLetterOrNumber = std::any_of(view.cbegin(), view.cend(), [](QChar c) { return isAsciiLetterOrDigit(c.unicode()); });
    } else {
        Unicode::GraphemeCursor cursor(view);
        for (qsizetype end; (end = cursor.next()) >= 0;) {
            if (++characters > maxLength)
                return false;
            if (!hasLetterOrNumber && isLetterOrNumber(Unicode::codePointAt(view, cursor.start())))
                hasLetterOrNumber = true;
        }
    }
    if (characters < 2 || characters > maxLength || !hasLetterOrNumber)
        return false;
    qsizetype words = 0;
    for (const QStringView word : view.tokenize(u' ', Qt::SkipEmptyParts)) {
        Q_UNUSED(word)
        if (++words > maxWords)
            return false;
    }
    return true;
}

QList<Entry> dedupe(const QStringList &entries)
{
    QList<Entry> result;
    QSet<QString> seen;
    for (const QString &text : entries) {
        Entry candidate = entry(text);
        if (!isUsable(candidate.normalized) || seen.contains(candidate.normalized))
            continue;
        seen.insert(candidate.normalized);
        result.append(std::move(candidate));
    }
    return result;
}

QStringList splitInput(const QString &text)
{
    QStringList result;
    const QStringView view(text);
    const auto take = [&](qsizetype from, qsizetype to) {
        if (to <= from)
            return;
        QString piece = clean(text.mid(from, to - from));
        if (!piece.isEmpty())
            result.append(std::move(piece));
    };
    qsizetype pieceStart = 0;
    Unicode::GraphemeCursor cursor(view);
    for (qsizetype end; (end = cursor.next()) >= 0;) {
        const qsizetype start = cursor.start();
        const char32_t first = Unicode::codePointAt(view, start);
        const bool single = end - start == 1;
        if ((single && (first == ',' || first == ';')) || isLineBreak(first)) {
            take(pieceStart, start);
            pieceStart = end;
        }
    }
    take(pieceStart, text.size());
    return result;
}

QString stripURLs(const QString &text)
{
    // No match spans a space, and a space is no word character, so each space-free run can be
    // searched on its own with the same result. The regular expression is the dearest step by
    // far, and in app names and prose few runs can hold a link at all.
    if (!mayHoldLink(text))
        return text;
    QString result;
    qsizetype copied = 0;   // text before this is already in result
    const qsizetype size = text.size();
    for (qsizetype start = 0; start < size;) {
        qsizetype end = text.indexOf(u' ', start);
        if (end < 0)
            end = size;
        const QStringView chunk = QStringView(text).mid(start, end - start);
        if (!chunk.isEmpty() && mayHoldLink(chunk)) {
            result += QStringView(text).mid(copied, start - copied);
            result += withoutAddresses(chunk.toString());
            copied = end;
        }
        start = end + 1;
    }
    if (copied == 0)
        return text;
    result += QStringView(text).mid(copied);
    return result;
}

}
