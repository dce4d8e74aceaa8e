#include "FeedsClient.h"

#include "AppRecords.h"
#include "support/JsonRead.h"

#include <QJsonArray>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace {

const QString feedRoot = QStringLiteral("https://itunes.apple.com/");

struct ChartRow
{
    ChartKind kind;
    const char16_t *raw;
    const char16_t *title;
    const char16_t *path;
};

constexpr ChartRow chartRows[] = {
    {ChartKind::topFree, u"TOP_FREE", u"Top Free", u"topfreeapplications"},
    {ChartKind::topPaid, u"TOP_PAID", u"Top Paid", u"toppaidapplications"},
    {ChartKind::topGrossing, u"TOP_GROSSING", u"Top Grossing", u"topgrossingapplications"},
};

const ChartRow &rowOf(ChartKind kind)
{
    for (const ChartRow &row : chartRows) {
        if (row.kind == kind)
            return row;
    }
    return chartRows[0];
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isAsciiDigits(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isAsciiDigit);
}

// The code and ID go into the feed's path as they are, so anything but a plain code or
// number ('/', '?', '#', "..") would address another resource.
void requireFeedAddress(const QString &country, const QString *appleAppId)
{
    const bool countryOk = country.size() == 2 && isAsciiLetter(country[0]) && isAsciiLetter(country[1]);
    if (!countryOk || (appleAppId && !isAsciiDigits(*appleAppId))) {
        throw AppleRequestError(AppleRequestError::Kind::network, std::nullopt,
                                QStringLiteral("Invalid feed address"));
    }
}

// An optional sign, then ASCII digits only, within range; no blanks, no decimal point.
std::optional<qint64> parseRating(const QString &text)
{
    const QStringView digits = text.startsWith(u'+') || text.startsWith(u'-') ? QStringView(text).mid(1)
                                                                               : QStringView(text);
    if (!isAsciiDigits(digits))
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

QString ChartKinds::rawValue(ChartKind kind)
{
    return QString::fromUtf16(rowOf(kind).raw);
}

std::optional<ChartKind> ChartKinds::fromRaw(QStringView raw)
{
    for (const ChartRow &row : chartRows) {
        if (raw == QStringView(row.raw))
            return row.kind;
    }
    return std::nullopt;
}

QString ChartKinds::title(ChartKind kind)
{
    return QString::fromUtf16(rowOf(kind).title);
}

const QList<ChartKind> &ChartKinds::all()
{
    static const QList<ChartKind> kinds{ChartKind::topFree, ChartKind::topPaid, ChartKind::topGrossing};
    return kinds;
}

namespace {

// Dates are coded as seconds since 2001-01-01 00:00:00 UTC.
constexpr qint64 referenceEpochMs = 978'307'200'000;

}

QJsonObject FeedReview::toJson() const
{
    QJsonObject o;
    o.insert(QLatin1String("reviewId"), reviewId);
    if (author)
        o.insert(QLatin1String("author"), *author);
    o.insert(QLatin1String("rating"), rating);
    if (title)
        o.insert(QLatin1String("title"), *title);
    if (content)
        o.insert(QLatin1String("content"), *content);
    if (version)
        o.insert(QLatin1String("version"), *version);
    if (date)
        o.insert(QLatin1String("date"), static_cast<double>(date->toMSecsSinceEpoch() - referenceEpochMs) / 1000.0);
    return o;
}

std::optional<FeedReview> FeedReview::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    bool ok = true;
    // A missing key or null reads as absent; a present value of another type fails.
    const auto optionalString = [&](const char *key) -> std::optional<QString> {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        const auto text = JsonRead::string(v);
        ok = ok && text.has_value();
        return text;
    };
    FeedReview review;
    const auto id = JsonRead::string(o.value(QLatin1String("reviewId")));
    const auto rating = JsonRead::exactInteger(o.value(QLatin1String("rating")));
    if (!id || !rating)
        return std::nullopt;
    review.reviewId = *id;
    review.rating = *rating;
    review.author = optionalString("author");
    review.title = optionalString("title");
    review.content = optionalString("content");
    review.version = optionalString("version");
    const QJsonValue date = o.value(QLatin1String("date"));
    if (!date.isUndefined() && !date.isNull()) {
        const auto seconds = JsonRead::number(date);
        if (!seconds)
            return std::nullopt;
        // Whole milliseconds of this range are exact in a double; the comparison also refuses
        // infinities and NaN. The bounds are the parser's, so every parsed date reads back.
        const double ms = std::round(*seconds * 1000.0) + static_cast<double>(referenceEpochMs);
        if (!(ms >= static_cast<double>(AppRecords::earliestDateMs) && ms <= static_cast<double>(AppRecords::latestDateMs)))
            return std::nullopt;
        review.date = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), QTimeZone::utc());
    }
    if (!ok)
        return std::nullopt;
    return review;
}

size_t qHash(const FeedReview &r, size_t seed) noexcept
{
    // The presence flag keeps an absent field apart from every present value.
    const auto optional = [](const auto &value, size_t s) {
        return value ? qHashMulti(s, true, *value) : qHash(false, s);
    };
    size_t h = qHashMulti(seed, r.reviewId, r.rating);
    h = optional(r.author, h);
    h = optional(r.title, h);
    h = optional(r.content, h);
    h = optional(r.version, h);
    return optional(r.date, h);
}

FeedsClient::FeedsClient(AppleHTTP http) : m_http(std::move(http))
{
}

const QHash<QString, qint64> &FeedsClient::genreIds()
{
    static const QHash<QString, qint64> ids{
        {QStringLiteral("Books"), 6018},
        {QStringLiteral("Business"), 6000},
        {QStringLiteral("Developer Tools"), 6026},
        {QStringLiteral("Education"), 6017},
        {QStringLiteral("Entertainment"), 6016},
        {QStringLiteral("Finance"), 6015},
        {QStringLiteral("Food & Drink"), 6023},
        {QStringLiteral("Games"), 6014},
        {QStringLiteral("Graphics & Design"), 6027},
        {QStringLiteral("Health & Fitness"), 6013},
        {QStringLiteral("Lifestyle"), 6012},
        {QStringLiteral("Magazines & Newspapers"), 6021},
        {QStringLiteral("Medical"), 6020},
        {QStringLiteral("Music"), 6011},
        {QStringLiteral("Navigation"), 6010},
        {QStringLiteral("News"), 6009},
        {QStringLiteral("Photo & Video"), 6008},
        {QStringLiteral("Productivity"), 6007},
        {QStringLiteral("Reference"), 6006},
        {QStringLiteral("Shopping"), 6024},
        {QStringLiteral("Social Networking"), 6005},
        {QStringLiteral("Sports"), 6004},
        {QStringLiteral("Travel"), 6003},
        {QStringLiteral("Utilities"), 6002},
        {QStringLiteral("Weather"), 6001},
    };
    return ids;
}

QCoro::Task<QList<FeedReview>> FeedsClient::reviews(QString appleAppId, QString country, qint64 page,
                                                    CancelTokenPtr cancel) const
{
    return fetchReviews(m_http, std::move(appleAppId), std::move(country), page, std::move(cancel));
}

QCoro::Task<QList<FeedReview>> FeedsClient::fetchReviews(AppleHTTP http, QString appleAppId, QString country,
                                                         qint64 page, CancelTokenPtr cancel)
{
    requireFeedAddress(country, &appleAppId);
    const QUrl url(feedRoot + country + QStringLiteral("/rss/customerreviews/page=") + QString::number(page)
                   + QStringLiteral("/id=") + appleAppId + QStringLiteral("/sortby=mostrecent/json"));
    const AppleHTTP::JSONResult answer = co_await http.getJSON(url, std::move(cancel));
    QList<FeedReview> result;
    for (const QJsonObject &entry : entries(answer.json)) {
        if (auto r = review(entry))
            result.append(*r);
    }
    co_return result;
}

QCoro::Task<QStringList> FeedsClient::chart(ChartKind kind, QString country, std::optional<qint64> genreId,
                                            CancelTokenPtr cancel) const
{
    return fetchChart(m_http, kind, std::move(country), genreId, std::move(cancel));
}

QCoro::Task<QStringList> FeedsClient::fetchChart(AppleHTTP http, ChartKind kind, QString country,
                                                 std::optional<qint64> genreId, CancelTokenPtr cancel)
{
    requireFeedAddress(country, nullptr);
    QString address = feedRoot + country + QStringLiteral("/rss/") + QString::fromUtf16(rowOf(kind).path)
        + QStringLiteral("/limit=200");
    if (genreId)
        address += QStringLiteral("/genre=") + QString::number(*genreId);
    address += QStringLiteral("/json");
    const AppleHTTP::JSONResult answer = co_await http.getJSON(QUrl(address), std::move(cancel));
    QStringList ids;
    for (const QJsonObject &entry : entries(answer.json)) {
        if (auto id = chartAppID(entry))
            ids.append(*id);
    }
    co_return ids;
}

QList<QJsonObject> FeedsClient::entries(const QJsonObject &json)
{
    const QJsonValue feed = json.value(QLatin1String("feed"));
    if (!feed.isObject())
        return {};
    const QJsonValue entry = feed.toObject().value(QLatin1String("entry"));
    if (entry.isObject())
        return {entry.toObject()};
    if (!entry.isArray())
        return {};
    QList<QJsonObject> list;
    for (const QJsonValue &element : entry.toArray()) {
        if (!element.isObject())
            return {};
        list.append(element.toObject());
    }
    return list;
}

std::optional<QString> FeedsClient::label(const QJsonObject &object, const QString &name)
{
    const QJsonValue member = object.value(name);
    if (!member.isObject())
        return std::nullopt;
    return JsonRead::string(member.toObject().value(QLatin1String("label")));
}

std::optional<FeedReview> FeedsClient::review(const QJsonObject &entry)
{
    FeedReview r;
    const std::optional<QString> id = label(entry, QStringLiteral("id"));
    if (!id)
        return std::nullopt;
    r.reviewId = *id;
    const std::optional<QString> ratingText = label(entry, QStringLiteral("im:rating"));
    const std::optional<qint64> rating = ratingText ? parseRating(*ratingText) : std::nullopt;
    if (!rating)
        return std::nullopt;
    r.rating = *rating;

    const QJsonValue author = entry.value(QLatin1String("author"));
    if (author.isObject())
        r.author = label(author.toObject(), QStringLiteral("name"));
    r.title = label(entry, QStringLiteral("title"));
    r.content = label(entry, QStringLiteral("content"));
    r.version = label(entry, QStringLiteral("im:version"));
    if (const auto updated = label(entry, QStringLiteral("updated")))
        r.date = AppRecords::parseDateTime(*updated);
    return r;
}

std::optional<QString> FeedsClient::chartAppID(const QJsonObject &entry)
{
    const QJsonValue id = entry.value(QLatin1String("id"));
    if (!id.isObject())
        return std::nullopt;
    const QJsonValue attributes = id.toObject().value(QLatin1String("attributes"));
    if (!attributes.isObject())
        return std::nullopt;
    return JsonRead::string(attributes.toObject().value(QLatin1String("im:id")));
}
