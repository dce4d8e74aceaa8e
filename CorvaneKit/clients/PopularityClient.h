#pragma once

#include "support/CancelToken.h"
#include "support/UserFacingError.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;

// A term's Apple Ads search popularity (1 to 100) in one storefront.
struct PopularityItem
{
    // Stored and sent by raw value.
    enum class Source { appleCountry, appleMinimum };

    QString term;
    qint64 popularity = 0;
    Source source = Source::appleCountry;

    static QString rawValue(Source source);
    static std::optional<Source> sourceFromRaw(QStringView raw);

    QJsonObject toJson() const;
    static std::optional<PopularityItem> fromJson(const QJsonValue &value);

    bool operator==(const PopularityItem &) const = default;
};

struct PopularityResponse
{
    QString country;
    std::optional<QString> week; // as the service names it
    QList<PopularityItem> items;

    QJsonObject toJson() const;
    static std::optional<PopularityResponse> fromJson(const QJsonValue &value);

    bool operator==(const PopularityResponse &) const = default;
};

// One of the week's most-searched terms.
struct TopTerm
{
    QString term;
    qint64 popularity = 0;
    QString genre; // the service's genre code
    std::optional<qint64> rankInGenre;

    QJsonObject toJson() const;
    static std::optional<TopTerm> fromJson(const QJsonValue &value);

    bool operator==(const TopTerm &) const = default;
};

size_t qHash(const TopTerm &term, size_t seed = 0) noexcept;

struct TopTermsResponse
{
    QString country;
    std::optional<QString> week;
    QStringList genres; // the genre codes the filter offers
    qint64 total = 0;   // matching terms over all pages
    QList<TopTerm> items;

    QJsonObject toJson() const;
    static std::optional<TopTermsResponse> fromJson(const QJsonValue &value);

    bool operator==(const TopTermsResponse &) const = default;
};

class PopularityError : public UserFacingError
{
public:
    explicit PopularityError(QString message) : message(std::move(message)) {}

    QString message;

    QString description() const override { return message; }
    bool operator==(const PopularityError &other) const { return message == other.message; }
};

class PopularityProviding
{
public:
    virtual ~PopularityProviding() = default;

    // Popularity of each distinct term; throws PopularityError.
    virtual QCoro::Task<PopularityResponse> popularity(QString country, QStringList terms, CancelTokenPtr cancel = {}) = 0;
};

class TopTermsProviding
{
public:
    virtual ~TopTermsProviding() = default;

    // One page of the weekly top terms matching the filter; throws PopularityError.
    virtual QCoro::Task<TopTermsResponse> topTerms(QString country, std::optional<QString> genre,
                                                   std::optional<qint64> minPopularity, std::optional<qint64> maxPopularity,
                                                   std::optional<QString> query, qint64 limit, qint64 offset,
                                                   CancelTokenPtr cancel = {}) = 0;
};

// Plain POSTs to the popularity service: a 30-second time-out, no pacing, no retry.
// Cancelling the token aborts the request in flight; it then fails as unreachable.
class PopularityClient : public PopularityProviding, public TopTermsProviding
{
public:
    // The most terms one request carries.
    static constexpr qsizetype maxTerms = 500;

    // token: sent as a bearer token unless absent or empty. The session is not owned.
    PopularityClient(QUrl baseURL, std::optional<QString> token, QNetworkAccessManager *session);

    QCoro::Task<PopularityResponse> popularity(QString country, QStringList terms, CancelTokenPtr cancel = {}) override;
    QCoro::Task<TopTermsResponse> topTerms(QString country, std::optional<QString> genre, std::optional<qint64> minPopularity,
                                           std::optional<qint64> maxPopularity, std::optional<QString> query, qint64 limit,
                                           qint64 offset, CancelTokenPtr cancel = {}) override;

    QUrl baseURL;
    std::optional<QString> token;
    QPointer<QNetworkAccessManager> session;
};
