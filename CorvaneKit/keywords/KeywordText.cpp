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

// What a pass of cleanComposed() saw that may keep its lower-cased result from being its own
// normal form, that is, from coming back unchanged when lower-cased and cleaned once more.
struct Unsettled
{
    // The result may not be compatibility-composed: a zero-width character was removed (the
    // letter and mark around it may now compose), or a lower-cased code point came before one
    // that may compose or reorder with what precedes it.
    bool mayNotBeComposed = false;
    // A space was put before an extender (a mark after a line break or tab, which were their own
    // clusters): the next time, the space and the extender are one white-space cluster.
    bool spaceBeforeExtender = false;
};

// clean() of compatibility-composed text in one pass, lower-cased on the way with `lower`: zero-width
// characters removed, and each white-space cluster dropped or, between other characters, turned
// into one space. No break iterator is needed for that: what joins a White_Space code point into its
// cluster is only the extenders after it (marks, joiners, spacing marks) and, unless it is a control,
// a prepended sign right before it; all other clusters are copied whole wherever they break.
template<bool lower>
QString cleanComposed(QStringView text, Unsettled &notes)
{
    const char16_t *src = text.utf16();
    const qsizetype size = text.size();
    QString out(size, Qt::Uninitialized);
    char16_t *dst = reinterpret_cast<char16_t *>(out.data());
    qsizetype n = 0;
    bool pendingSpace = false;
    bool afterPrepended = false;   // the code point before (zero-width ones aside) is a prepended sign
    bool wrotePrepended = false;   // the last code point written is one
    bool wroteLowered = false;     // the last code point written was changed by lower-casing
    const auto skipExtenders = [&](qsizetype i) {
        while (i < size && src[i] >= 0x80) {
            if (isZeroWidth(src[i])) {   // goes with the cluster: nothing composes across it
                ++i;
                continue;
            }
            const char32_t c = Unicode::codePointAt(text, i);
            if (!(Unicode::facts(c) & Unicode::extendsFact))
                break;
            i += c > 0xFFFF ? 2 : 1;
        }
        return i;
    };
    // Printable ASCII, the bulk of most text, is copied a run at a time.
    const auto isPrintableAscii = [](char16_t u) { return char16_t(u - 0x21) < 0x5E; };
    qsizetype i = 0;
    while (i < size) {
        const char16_t u = src[i];
        if (isPrintableAscii(u)) {
            if (pendingSpace) {
                dst[n++] = u' ';
                pendingSpace = false;
            }
            do {
                dst[n++] = lower ? asciiLower(src[i]) : src[i];
            } while (++i < size && isPrintableAscii(src[i]));
            wroteLowered = lower && src[i - 1] >= u'A' && src[i - 1] <= u'Z';
            afterPrepended = wrotePrepended = false;
            continue;
        }
        char32_t c = u;
        qsizetype length = 1;
        uint16_t facts = 0;
        if (u < 0x80) {
            if (!isAsciiWhiteSpace(u)) {   // a control
                if (pendingSpace) {
                    dst[n++] = u' ';
                    pendingSpace = false;
                }
                dst[n++] = u;
                afterPrepended = wrotePrepended = wroteLowered = false;
                ++i;
                continue;
            }
            facts = Unicode::whiteSpaceFact | (u == u' ' ? 0 : Unicode::controlFact);
        } else {
            if (isZeroWidth(u)) {
                notes.mayNotBeComposed = true;
                ++i;
                continue;
            }
            c = Unicode::codePointAt(text, i);
            length = c > 0xFFFF ? 2 : 1;
            facts = Unicode::facts(c);
        }
        if ((facts & Unicode::whiteSpaceFact) && ((facts & Unicode::controlFact) || !afterPrepended)) {
            pendingSpace = n > 0;
            afterPrepended = false;
            i += length;
            if (!(facts & Unicode::controlFact))
                i = skipExtenders(i);
            continue;
        }
        if (pendingSpace) {
            dst[n++] = u' ';
            pendingSpace = false;
            // After a prepended sign the space is no cluster of its own: the sign takes it along.
            notes.spaceBeforeExtender |= (facts & Unicode::extendsFact) && !wrotePrepended;
            wroteLowered = false;
        }
        if (wroteLowered && (facts & Unicode::composesBackwardFact))
            notes.mayNotBeComposed = true;
        if (lower && (facts & Unicode::lowerCaseDiffersFact)) {
            char16_t mapped[2];
            const int units = Unicode::lowercaseInto(c, mapped);
            if (units > length) {   // 'İ', which the next code point's test covers too
                out.resize(out.size() + units - length);
                dst = reinterpret_cast<char16_t *>(out.data());
            }
            for (int k = 0; k < units; ++k)
                dst[n++] = mapped[k];
            wroteLowered = true;
        } else {
            for (qsizetype k = 0; k < length; ++k)
                dst[n++] = src[i + k];
            wroteLowered = false;
        }
        afterPrepended = wrotePrepended = facts & Unicode::prependedFact;
        i += length;
    }
    out.truncate(n);
    return out;
}

// The normal form of text beyond ASCII, given its compatibility-composed form: cleaned and
// lower-cased, and both again in the rare case that this is not yet its own normal form. Lower-
// cased clean text is its own normal form unless it is no longer compatibility-composed or a
// space in it now joins the extender after it (facts of every code point, checked by walking them
// all: lower-casing keeps white space, zero-width characters, prepended signs and extenders what
// they are, changes no code point twice, and gives composed text again unless a changed code point
// comes before one without a boundary before it). Normalising once more settles
// it: the extender goes with the space, a mark composes with the letter before it. The bound only
// guards against a rule that a later Unicode version might add; one more pass has always been enough.
QString normalFormOfComposed(const QString &composed)
{
    Unsettled notes;
    QString form = cleanComposed<true>(composed, notes);
    if (!notes.spaceBeforeExtender && (!notes.mayNotBeComposed || Unicode::isNfkc(form)))
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
    Unsettled ignored;
    return cleanComposed<false>(Unicode::nfkc(text), ignored);
}

QString normalize(const QString &text)
{
    if (isAscii(text))
        return collapseAscii(text, true);
    return normalFormOfComposed(Unicode::nfkc(text));
}

Entry entry(const QString &text)
{
    if (isAscii(text)) {
        QString display = clean(text);
        QString normalized = Unicode::lowercased(display);
        return Entry{std::move(normalized), std::move(display)};
    }
    const QString composed = Unicode::nfkc(text);
    Unsettled ignored;
    QString display = cleanComposed<false>(composed, ignored);
    return Entry{normalFormOfComposed(composed), std::move(display)};
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
