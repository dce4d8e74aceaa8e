#include "keywords/KeywordText.h"

#include "support/Unicode.h"

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
    QStringList tokens;
    const qsizetype n = text.size();
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

bool isLineBreak(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
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
    if (isAscii(text))
        return collapseAscii(text, false);   // NFKC leaves ASCII alone and it has no zero-width characters
    return collapseClusters(withoutZeroWidth(Unicode::nfkc(text)));
}

QString normalize(const QString &text)
{
    if (isAscii(text))
        return collapseAscii(text, true);
    return Unicode::lowercased(clean(text));
}

QStringList tokenize(const QString &text)
{
    if (isAscii(text))
        return asciiLetterRuns(text);
    return letterRuns(Unicode::lowercased(Unicode::nfkc(text)));
}

QStringList meaningfulTokens(const QString &text)
{
    QStringList tokens = tokenize(text);
    tokens.removeIf([](const QString &token) { return !isMeaningful(token); });
    return tokens;
}

bool isMeaningful(const QString &word)
{
    if (word.size() < 2 || Unicode::characterCount(word) < 2)
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
    Unicode::GraphemeCursor cursor(view);
    for (qsizetype end; (end = cursor.next()) >= 0;) {
        if (++characters > maxLength)
            return false;
        if (!hasLetterOrNumber && isLetterOrNumber(Unicode::codePointAt(view, cursor.start())))
            hasLetterOrNumber = true;
    }
    if (characters < 2 || !hasLetterOrNumber)
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
    for (const QString &entry : entries) {
        QString display = clean(entry);
        QString key = Unicode::lowercased(display);
        if (!isUsable(key) || seen.contains(key))
            continue;
        seen.insert(key);
        result.append(Entry{std::move(key), std::move(display)});
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
    // The word boundary after the domain ending keeps "photos.Collage" and "best.apps" whole.
    static const Unicode::Regex addresses(
        QStringLiteral(R"re((https?://|www\.)\S+|\b[\w-]+\.(com|net|org|io|app|co|ai|dev)\b(/\S*)?)re"), true);
    return addresses.replaceAll(text, QStringLiteral(" "));
}

}
