#include "AppStoreInput.h"

#include "support/Unicode.h"

#include <QStringDecoder>
#include <QUrl>
#include <QUrlQuery>

namespace {

const QString webHost = QStringLiteral("apps.apple.com");

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool allAsciiDigits(QStringView text)
{
    for (QChar c : text) {
        if (!isAsciiDigit(c))
            return false;
    }
    return true;
}

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// The link as written, or nothing when it is not one: "scheme://…" is taken as
// it is, and "host.tld…" (a dot before any slash or blank) gets "https://".
std::optional<QString> linkText(const QString &text)
{
    qsizetype i = 0;
    if (!text.isEmpty() && isAsciiLetter(text.at(0))) {
        i = 1;
        while (i < text.size()) {
            const QChar c = text.at(i);
            if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != QLatin1Char('+') && c != QLatin1Char('.') && c != QLatin1Char('-'))
                break;
            ++i;
        }
        if (QStringView(text).mid(i).startsWith(QLatin1String("://")))
            return text;
    }

    // Longest leading run of code points that are neither White_Space nor "/";
    // it must hold a dot with something on both sides.
    const std::u32string points = text.toStdU32String();
    qsizetype run = 0;
    while (run < qsizetype(points.size()) && points[run] != U'/' && !Unicode::isWhiteSpace(points[run]))
        ++run;
    for (qsizetype dot = 1; dot + 1 < run; ++dot) {
        if (points[dot] == U'.')
            return QStringLiteral("https://") + text;
    }
    return std::nullopt;
}

// A "%" that starts no escape stands for itself; URL parsing would otherwise give
// up on the escapes of the whole link.
QString escapeStrayPercents(const QString &link)
{
    const auto isHex = [&link](qsizetype i) {
        return i < link.size() && isHexDigit(link.at(i).unicode());
    };
    QString out;
    out.reserve(link.size());
    for (qsizetype i = 0; i < link.size(); ++i) {
        if (link.at(i) == QLatin1Char('%') && !(isHex(i + 1) && isHex(i + 2)))
            out += QLatin1String("%25");
        else
            out += link.at(i);
    }
    return out;
}

// The segment with its escapes decoded, or unchanged when an escape is malformed
// or the bytes are not UTF-8.
QString percentDecoded(const QString &segment)
{
    const QByteArray raw = segment.toUtf8();
    QByteArray bytes;
    bytes.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw.at(i) != '%') {
            bytes += raw.at(i);
            continue;
        }
        if (i + 2 >= raw.size() || !isHexDigit(uchar(raw.at(i + 1))) || !isHexDigit(uchar(raw.at(i + 2))))
            return segment;
        bytes += char(QByteArray::fromHex(raw.mid(i + 1, 2)).at(0));
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return segment;
    return decoded;
}

bool isAcceptedScheme(const QString &scheme)
{
    return scheme == QLatin1String("https") || scheme == QLatin1String("http") || scheme == QLatin1String("itms-apps")
           || scheme == QLatin1String("itms");
}

bool isAcceptedHost(const QString &host)
{
    return host == webHost || host == QLatin1String("itunes.apple.com") || host == QLatin1String("apple.co")
           || host == QLatin1String("appsto.re");
}

} // namespace

namespace AppStoreInput {

using Kind = ParseError::Kind;

QString ParseError::description() const
{
    const auto quoted = [](const QString &s) { return QLatin1Char('"') + s + QLatin1Char('"'); };
    switch (kind) {
    case Kind::invalidId:
        return quoted(value) + QStringLiteral(" is not a valid App Store app ID (expected 5-12 digits).");
    case Kind::unsupportedScheme:
        return QStringLiteral("Unsupported URL scheme ") + quoted(value) + QLatin1Char('.');
    case Kind::notAppStoreHost:
        return quoted(value) + QStringLiteral(" is not an App Store host. Paste a link from ") + webHost + QLatin1Char('.');
    case Kind::empty:
        return QStringLiteral("Enter an App Store URL or a numeric app ID.");
    case Kind::notIdOrURL:
        return QStringLiteral("Input is neither a numeric app ID nor a valid URL. Example: https://") + webHost
               + QStringLiteral("/us/app/example/id123456789");
    case Kind::noIdInURL:
        return QStringLiteral("Could not find an app ID in that URL. App Store links end with /id followed by digits, e.g. /id123456789.");
    }
    return {};
}

bool isValidAppleAppId(const QString &text)
{
    // Twelve digits always fit a signed 64-bit integer.
    return text.size() >= 5 && text.size() <= 12 && allAsciiDigits(text) && text.at(0) != QLatin1Char('0');
}

ParseResult parse(const QString &input)
{
    const QString text = Unicode::trimmed(input);
    if (text.isEmpty())
        return ParseError(Kind::empty);

    QString candidate = text;
    // Only "i" and "I" lower-case to a bare "i" ("İ" gives "i" plus a dot above).
    if (text.size() >= 2 && (text.at(0) == QLatin1Char('i') || text.at(0) == QLatin1Char('I'))
        && (text.at(1) == QLatin1Char('d') || text.at(1) == QLatin1Char('D')))
        candidate = text.mid(2);
    if (!candidate.isEmpty() && allAsciiDigits(candidate)) {
        if (!isValidAppleAppId(candidate))
            return ParseError(Kind::invalidId, candidate);
        return Parsed{candidate, std::nullopt};
    }

    const std::optional<QString> link = linkText(text);
    if (!link)
        return ParseError(Kind::notIdOrURL);
    const QUrl url(escapeStrayPercents(*link));
    if (!url.isValid() || url.scheme().isEmpty())
        return ParseError(Kind::notIdOrURL);

    const QString scheme = Unicode::lowercased(url.scheme());
    if (!isAcceptedScheme(scheme))
        return ParseError(Kind::unsupportedScheme, scheme);
    const QString host = Unicode::lowercased(url.host());
    if (!isAcceptedHost(host))
        return ParseError(Kind::notAppStoreHost, host);

    const QStringList segments = url.path(QUrl::FullyEncoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);

    // The last segment of the form "id" + digits names the app.
    std::optional<QString> id;
    for (const QString &segment : segments) {
        const QString s = Unicode::lowercased(percentDecoded(segment));
        if (s.size() >= 3 && s.startsWith(QLatin1String("id")) && allAsciiDigits(QStringView(s).mid(2)))
            id = s.mid(2);
    }

    if (!id) {
        const QUrlQuery query(url);
        for (const auto &[name, value] : query.queryItems(QUrl::FullyDecoded)) {
            if (name != QLatin1String("id"))
                continue;
            if (!value.isEmpty() && allAsciiDigits(value))
                id = value;
            break;
        }
        if (!id)
            return ParseError(Kind::noIdInURL);
    }
    if (!isValidAppleAppId(*id))
        return ParseError(Kind::invalidId, *id);

    std::optional<QString> country;
    if (!segments.isEmpty()) {
        const QString first = Unicode::lowercased(segments.first());
        const QStringList characters = Unicode::graphemes(first);
        const auto isLetter = [](const QString &c) {
            return Unicode::isAlphabetic(Unicode::codePointAt(c, 0));
        };
        if (characters.size() == 2 && isLetter(characters.at(0)) && isLetter(characters.at(1)))
            country = first;
    }
    return Parsed{*id, country};
}

} // namespace AppStoreInput
