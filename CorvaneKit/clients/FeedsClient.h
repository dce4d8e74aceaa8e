#pragma once

#include "AppleHTTP.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

enum class ChartKind { topFree, topPaid, topGrossing };

namespace ChartKinds {
QString rawValue(ChartKind kind);
std::optional<ChartKind> fromRaw(QStringView raw);
QString title(ChartKind kind);
const QList<ChartKind> &all();
} // namespace ChartKinds

// One customer review from the reviews feed.
struct FeedReview
{
    QString reviewId;
    std::optional<QString> author;
    qint64 rating = 0;
    std::optional<QString> title;
    std::optional<QString> content;
    std::optional<QString> version;
    std::optional<QDateTime> date;

    bool operator==(const FeedReview &) const = default;

    // Keyed by the field names, absent fields left out; the date as seconds since
    // 2001-01-01 UTC. Decoding fails as a whole on a missing required key, a wrong type or a
    // date outside the bounds of the records' dates (AppRecords::earliestDateMs, latestDateMs).
    QJsonObject toJson() const;
    static std::optional<FeedReview> fromJson(const QJsonValue &value);
};

size_t qHash(const FeedReview &review, size_t seed = 0) noexcept;

// Apple's public RSS feeds in their JSON form: recent reviews of an app, top charts.
class FeedsClient
{
public:
    explicit FeedsClient(AppleHTTP http);

    // Newest first, as the feed sorts them. The storefront code must be two ASCII letters
    // and the app ID ASCII digits; anything else fails before a request is made.
    QCoro::Task<QList<FeedReview>> reviews(QString appleAppId, QString country, qint64 page,
                                           CancelTokenPtr cancel = {}) const;

    // The app IDs of the chart's entries, in chart order.
    QCoro::Task<QStringList> chart(ChartKind kind, QString country, std::optional<qint64> genreId = std::nullopt,
                                   CancelTokenPtr cancel = {}) const;

    // App Store genre name → Apple's genre ID, as chart() takes it.
    static const QHash<QString, qint64> &genreIds();

    static QList<QJsonObject> entries(const QJsonObject &json);
    static std::optional<QString> label(const QJsonObject &object, const QString &name);
    static std::optional<FeedReview> review(const QJsonObject &entry);
    static std::optional<QString> chartAppID(const QJsonObject &entry);

    const AppleHTTP &http() const { return m_http; }

private:
    static QCoro::Task<QList<FeedReview>> fetchReviews(AppleHTTP http, QString appleAppId, QString country,
                                                       qint64 page, CancelTokenPtr cancel);
    static QCoro::Task<QStringList> fetchChart(AppleHTTP http, ChartKind kind, QString country,
                                               std::optional<qint64> genreId, CancelTokenPtr cancel);

    AppleHTTP m_http;
};
