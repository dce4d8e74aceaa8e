#include "PopularityClient.h"

#include "support/JsonRead.h"
#include "support/Unicode.h"

#include <QCoroNetworkReply>
#include <QHashFunctions>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>

#include <algorithm>
#include <memory>

namespace {

constexpr int requestTimeoutMs = 30'000;

const QString unexpectedResponse = QStringLiteral("The popularity server returned an unexpected response.");
const QString accessRefused = QStringLiteral("The popularity server refused access. Check the access token.");

// ---- JSON reading: required keys must be there with the right type; optional
// keys may be missing or null, but a present value of the wrong type fails. ----

template<typename T>
std::optional<QList<T>> recordList(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    QList<T> list;
    for (const QJsonValue &element : value.toArray()) {
        std::optional<T> record = T::fromJson(element);
        if (!record)
            return std::nullopt;
        list.append(std::move(*record));
    }
    return list;
}

// An optional key: the outer optional is empty when the value is unusable.
template<typename F>
auto optionalKey(const QJsonObject &object, const char *key, F read) -> std::optional<decltype(read(QJsonValue()))>
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return decltype(read(QJsonValue())){};
    auto result = read(value);
    if (!result)
        return std::nullopt;
    return std::optional<decltype(result)>(std::in_place, std::move(result));
}

// ---- request bodies: compact JSON, keys in a fixed order, absent keys left out ----

QByteArray jsonScalar(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

class BodyWriter
{
public:
    void field(const char *key, const QJsonValue &value)
    {
        if (m_out.size() > 1)
            m_out += ',';
        m_out += jsonScalar(QString::fromLatin1(key)) + ':';
        m_out += value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact) : jsonScalar(value);
    }

    template<typename T>
    void optionalField(const char *key, const std::optional<T> &value)
    {
        if (value)
            field(key, QJsonValue(*value));
    }

    QByteArray finish() const { return m_out + '}'; }

private:
    QByteArray m_out = "{";
};

// ---- text ----

// ---- sending ----

struct Endpoint
{
    QUrl baseURL;
    std::optional<QString> token;
    QPointer<QNetworkAccessManager> session;
};

// The base URL with the path appended after exactly one "/".
QUrl address(const QUrl &baseURL, const QString &path)
{
    QUrl url = baseURL;
    QString joined = url.path(QUrl::FullyEncoded);
    if (!joined.endsWith(QLatin1Char('/')))
        joined += QLatin1Char('/');
    url.setPath(joined + path, QUrl::TolerantMode);
    return url;
}

// The "error" text of an error answer: only from a JSON object whose values are
// all texts, and only when it says something.
std::optional<QString> serverMessage(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (const QJsonValue &value : object) {
        if (!value.isString())
            return std::nullopt;
    }
    const QString message = JsonRead::string(object.value(QLatin1String("error"))).value_or(QString());
    if (Unicode::trimmed(message).isEmpty())
        return std::nullopt;
    return message;
}

PopularityError statusError(qint64 status, const std::optional<QString> &message)
{
    if (status == 401)
        return PopularityError(message.value_or(accessRefused));
    QString text = QStringLiteral("Popularity server error (HTTP %1)").arg(status);
    if (message) {
        QString detail = *message;
        if (detail.endsWith(QLatin1Char('.')))
            detail.chop(1);
        text += QStringLiteral(": ") + detail;
    }
    return PopularityError(text + QLatin1Char('.'));
}

bool isTransportFailure(QNetworkReply::NetworkError error)
{
    // Connection, proxy and time-out failures; the content, protocol and server
    // ranges above them come with an HTTP status.
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

// One POST; the body of a 2xx answer, or PopularityError.
QCoro::Task<QByteArray> post(Endpoint endpoint, QString path, QByteArray body, CancelTokenPtr cancel)
{
    const QString base = endpoint.baseURL.toString(QUrl::FullyEncoded);
    const auto unreachable = [&base](const QString &reason) {
        return PopularityError(QStringLiteral("Could not reach the popularity server at ") + base + QStringLiteral(": ") + reason);
    };
    const QString cancelled = QStringLiteral("cancelled");
    if (isCancelled(cancel))
        throw unreachable(cancelled);
    if (!endpoint.session)
        throw unreachable(QStringLiteral("The network session is no longer available."));

    QNetworkRequest request(address(endpoint.baseURL, path));
    request.setTransferTimeout(requestTimeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (endpoint.token && !endpoint.token->isEmpty())
        request.setRawHeader("Authorization", "Bearer " + endpoint.token->toUtf8());

    QNetworkReply *reply = endpoint.session->post(request, body);
    const auto deleteLater = [](QNetworkReply *r) { r->deleteLater(); };
    std::unique_ptr<QNetworkReply, decltype(deleteLater)> owner(reply, deleteLater);
    // Shared with the slot, which may outlive this frame until the reply is deleted.
    const auto aborted = std::make_shared<bool>(false);
    QMetaObject::Connection onCancel;
    if (cancel) {
        onCancel = QObject::connect(cancel.get(), &CancelToken::cancelled, reply, [reply, aborted] {
            *aborted = true;
            reply->abort();
        });
    }
    const QPointer<QNetworkReply> alive(reply);
    if (!reply->isFinished())
        co_await qCoro(reply).waitForFinished();
    QObject::disconnect(onCancel);
    if (!alive) {
        // The session took its replies with it.
        (void)owner.release();
        throw unreachable(QStringLiteral("The network session is no longer available."));
    }

    const QNetworkReply::NetworkError error = reply->error();
    if (*aborted)
        throw unreachable(cancelled);
    // Qt reports its own transfer time-out as a cancellation.
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        throw unreachable(QStringLiteral("The request timed out."));
    if (isTransportFailure(error))
        throw unreachable(reply->errorString());

    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttribute.isValid() && error != QNetworkReply::NoError)
        throw unreachable(reply->errorString());
    const qint64 status = statusAttribute.isValid() ? statusAttribute.toLongLong() : 0;
    const QByteArray data = reply->readAll();
    if (status >= 200 && status <= 299)
        co_return data;
    throw statusError(status, serverMessage(data));
}

template<typename T>
T decodeAnswer(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    std::optional<T> decoded;
    if (error.error == QJsonParseError::NoError && document.isObject())
        decoded = T::fromJson(document.object());
    if (!decoded)
        throw PopularityError(unexpectedResponse);
    return std::move(*decoded);
}

QCoro::Task<PopularityResponse> fetchPopularity(Endpoint endpoint, QString country, QStringList terms, CancelTokenPtr cancel)
{
    QStringList distinct;
    QSet<QString> seen;
    for (const QString &term : terms) {
        // Canonically equivalent texts are one term: compare their NFC forms.
        const QString key = Unicode::nfc(term);
        if (!seen.contains(key)) {
            seen.insert(key);
            distinct.append(term);
        }
    }

    PopularityResponse result{country, std::nullopt, {}};
    for (qsizetype start = 0; start < distinct.size(); start += PopularityClient::maxTerms) {
        BodyWriter body;
        body.field("country", country);
        body.field("terms", QJsonArray::fromStringList(distinct.mid(start, PopularityClient::maxTerms)));
        const QByteArray data = co_await post(endpoint, QStringLiteral("api/v1/popularity"), body.finish(), cancel);
        const PopularityResponse answer = decodeAnswer<PopularityResponse>(data);
        result.items.append(answer.items);
        if (answer.week)
            result.week = answer.week;
    }
    co_return result;
}

QCoro::Task<TopTermsResponse> fetchTopTerms(Endpoint endpoint, QByteArray body, CancelTokenPtr cancel)
{
    const QByteArray data = co_await post(endpoint, QStringLiteral("api/v1/top-terms"), body, cancel);
    co_return decodeAnswer<TopTermsResponse>(data);
}

} // namespace

// ---- records ----

QString PopularityItem::rawValue(Source source)
{
    switch (source) {
    case Source::appleCountry:
        return QStringLiteral("APPLE_ADS_COUNTRY");
    case Source::appleMinimum:
        return QStringLiteral("APPLE_ADS_MINIMUM");
    }
    return {};
}

std::optional<PopularityItem::Source> PopularityItem::sourceFromRaw(QStringView raw)
{
    if (raw == QLatin1String("APPLE_ADS_COUNTRY"))
        return Source::appleCountry;
    if (raw == QLatin1String("APPLE_ADS_MINIMUM"))
        return Source::appleMinimum;
    return std::nullopt;
}

QJsonObject PopularityItem::toJson() const
{
    return {{QStringLiteral("term"), term}, {QStringLiteral("popularity"), popularity}, {QStringLiteral("source"), rawValue(source)}};
}

std::optional<PopularityItem> PopularityItem::fromJson(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    const auto term = JsonRead::string(o.value(QLatin1String("term")));
    const auto popularity = JsonRead::exactInteger(o.value(QLatin1String("popularity")));
    const auto raw = JsonRead::string(o.value(QLatin1String("source")));
    const auto source = raw ? sourceFromRaw(*raw) : std::nullopt;
    if (!value.isObject() || !term || !popularity || !source)
        return std::nullopt;
    return PopularityItem{*term, *popularity, *source};
}

QJsonObject PopularityResponse::toJson() const
{
    QJsonArray list;
    for (const PopularityItem &item : items)
        list.append(item.toJson());
    QJsonObject o{{QStringLiteral("country"), country}, {QStringLiteral("items"), list}};
    if (week)
        o.insert(QStringLiteral("week"), *week);
    return o;
}

std::optional<PopularityResponse> PopularityResponse::fromJson(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    const auto country = JsonRead::string(o.value(QLatin1String("country")));
    const auto week = optionalKey(o, "week", JsonRead::string);
    const auto items = recordList<PopularityItem>(o.value(QLatin1String("items")));
    if (!value.isObject() || !country || !week || !items)
        return std::nullopt;
    return PopularityResponse{*country, *week, *items};
}

QJsonObject TopTerm::toJson() const
{
    QJsonObject o{{QStringLiteral("term"), term}, {QStringLiteral("popularity"), popularity}, {QStringLiteral("genre"), genre}};
    if (rankInGenre)
        o.insert(QStringLiteral("rankInGenre"), *rankInGenre);
    return o;
}

std::optional<TopTerm> TopTerm::fromJson(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    const auto term = JsonRead::string(o.value(QLatin1String("term")));
    const auto popularity = JsonRead::exactInteger(o.value(QLatin1String("popularity")));
    const auto genre = JsonRead::string(o.value(QLatin1String("genre")));
    const auto rank = optionalKey(o, "rankInGenre", JsonRead::exactInteger);
    if (!value.isObject() || !term || !popularity || !genre || !rank)
        return std::nullopt;
    return TopTerm{*term, *popularity, *genre, *rank};
}

size_t qHash(const TopTerm &term, size_t seed) noexcept
{
    const size_t h = qHashMulti(seed, term.term, term.popularity, term.genre, term.rankInGenre.has_value());
    return term.rankInGenre ? qHash(*term.rankInGenre, h) : h;
}

QJsonObject TopTermsResponse::toJson() const
{
    QJsonArray list;
    for (const TopTerm &item : items)
        list.append(item.toJson());
    QJsonObject o{{QStringLiteral("country"), country},
                  {QStringLiteral("genres"), QJsonArray::fromStringList(genres)},
                  {QStringLiteral("total"), total},
                  {QStringLiteral("items"), list}};
    if (week)
        o.insert(QStringLiteral("week"), *week);
    return o;
}

std::optional<TopTermsResponse> TopTermsResponse::fromJson(const QJsonValue &value)
{
    const QJsonObject o = value.toObject();
    const auto country = JsonRead::string(o.value(QLatin1String("country")));
    const auto week = optionalKey(o, "week", JsonRead::string);
    const auto genres = JsonRead::stringList(o.value(QLatin1String("genres")));
    const auto total = JsonRead::exactInteger(o.value(QLatin1String("total")));
    const auto items = recordList<TopTerm>(o.value(QLatin1String("items")));
    if (!value.isObject() || !country || !week || !genres || !total || !items)
        return std::nullopt;
    return TopTermsResponse{*country, *week, *genres, *total, *items};
}

// ---- client ----

PopularityClient::PopularityClient(QUrl baseURL, std::optional<QString> token, QNetworkAccessManager *session)
    : baseURL(std::move(baseURL)), token(std::move(token)), session(session)
{
}

QCoro::Task<PopularityResponse> PopularityClient::popularity(QString country, QStringList terms, CancelTokenPtr cancel)
{
    // The work runs on copies, so the client may go away while a request is in flight.
    return fetchPopularity(Endpoint{baseURL, token, session}, std::move(country), std::move(terms), std::move(cancel));
}

QCoro::Task<TopTermsResponse> PopularityClient::topTerms(QString country, std::optional<QString> genre,
                                                         std::optional<qint64> minPopularity,
                                                         std::optional<qint64> maxPopularity, std::optional<QString> query,
                                                         qint64 limit, qint64 offset, CancelTokenPtr cancel)
{
    if (query) {
        query = Unicode::trimmed(*query);
        if (query->isEmpty())
            query.reset();
    }
    BodyWriter body;
    body.field("country", country);
    body.optionalField("genre", genre);
    body.optionalField("minPopularity", minPopularity);
    body.optionalField("maxPopularity", maxPopularity);
    body.optionalField("query", query);
    body.field("limit", std::clamp<qint64>(limit, 1, 500));
    body.field("offset", std::max<qint64>(offset, 0));
    return fetchTopTerms(Endpoint{baseURL, token, session}, body.finish(), std::move(cancel));
}
