#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// The store metadata of one app, as a lookup answers it.
// Members default to empty/absent, so a partial brace initialiser is complete.
struct AppInfo
{
    QString appleAppId;
    QString name;
    std::optional<QString> developerName{};
    std::optional<QUrl> iconURL{};
    std::optional<QUrl> storeURL{};
    std::optional<QString> description{};
    std::optional<QString> primaryGenre{};
    QStringList genres{};
    std::optional<QString> bundleId{};
    std::optional<double> averageRating{};
    std::optional<qint64> ratingCount{};
    std::optional<double> price{};
    std::optional<QString> formattedPrice{};
    std::optional<QString> version{};
    std::optional<QDateTime> currentVersionReleaseDate{};
    std::optional<QDateTime> releaseDate{};

    bool operator==(const AppInfo &) const = default;
};

// One app in the results of one search, with its 1-based position.
// The rating count precedes the average rating here (unlike AppInfo).
struct SearchHit
{
    QString appleAppId;
    QString name;
    std::optional<QString> developerName{};
    std::optional<QUrl> iconURL{};
    std::optional<QUrl> storeURL{};
    std::optional<QString> primaryGenre{};
    std::optional<qint64> ratingCount{};
    std::optional<double> averageRating{};
    int rank = 0;

    bool operator==(const SearchHit &) const = default;
};

// The outcome of one search. resultCount counts every entry of the answer, also
// those that made no hit; duration sums the attempts that got a response.
struct SearchResponse
{
    QList<SearchHit> hits;
    qint64 resultCount = 0;
    qint64 attempts = 1;
    double duration = 0;
};

size_t qHash(const AppInfo &app, size_t seed = 0) noexcept;
size_t qHash(const SearchHit &hit, size_t seed = 0) noexcept;

namespace AppRecords {

// One element of the service's "results" list; nothing when it has no usable
// trackId or trackName. Optional fields that cannot be read are left absent.
// The icon and store addresses are kept as the service sends them, as are the stored
// ones: whoever opens or fetches one checks it first (WebAddress), so the check also
// covers rows stored earlier and follows any later change of what is allowed.
std::optional<AppInfo> parseApp(const QJsonValue &value);

// As parseApp, with the icon preferring the 100 px artwork; rank = offset + 1,
// where the offset counts every element of the list, unreadable ones included.
std::optional<SearchHit> parseHit(const QJsonValue &value, qint64 offset);

// The stored form of a search's hits: a compact JSON array, keys in a fixed
// order, absent fields left out.
QByteArray encodeHits(const QList<SearchHit> &hits);

// Reads the stored form back. Any bad element fails the whole array.
std::optional<QList<SearchHit>> decodeHits(const QByteArray &json);

QByteArray encodeAppInfo(const AppInfo &app);
std::optional<AppInfo> decodeAppInfo(const QByteArray &json);

// The dates a record can hold, in milliseconds since the Unix epoch: the start of year 1 to
// the end of year 9999 in UTC. Every stored form of a record reads back any date within them,
// so the parser gives none outside them.
inline constexpr qint64 earliestDateMs = -62'135'596'800'000; // 0001-01-01T00:00:00Z
inline constexpr qint64 latestDateMs = 253'402'300'799'000;   // 9999-12-31T23:59:59Z

// "YYYY-MM-DDTHH:MM:SS" followed by "Z" or "±HH:MM", as the service sends dates.
// Anything else (a date alone, fractions, no zone, out-of-range fields, a moment outside
// the bounds above once the offset is applied) is nothing.
std::optional<QDateTime> parseDateTime(const QString &text);

// The text as a URL, or nothing when it is empty or does not parse.
std::optional<QUrl> urlFromString(const QString &text);

// The URL as it is stored: ASCII, and read back by urlFromString as the same URL. Delimiters
// stay as they came: an answer's second '#' written as %23 would read back as another address.
QString urlText(const QUrl &url);

} // namespace AppRecords
