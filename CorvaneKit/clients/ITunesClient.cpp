#include "ITunesClient.h"

#include <QSet>

#include <algorithm>

ITunesClient::ITunesClient(AppleHTTP http, QUrl baseURL) : m_http(std::move(http)), m_baseURL(std::move(baseURL))
{
}

QUrl ITunesClient::makeURL(const QString &path, const QList<QPair<QString, QString>> &query) const
{
    QUrl url = m_baseURL;
    QString fullPath = url.path();
    if (!fullPath.endsWith(u'/'))
        fullPath += u'/';
    url.setPath(fullPath + path);

    // Built by hand: the platform's query encoding leaves '+' raw, which the service
    // reads as a space ("c++" would be searched as "c  ").
    QByteArray encoded;
    for (const auto &[name, value] : query) {
        if (!encoded.isEmpty())
            encoded += '&';
        encoded += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    url.setQuery(QString::fromLatin1(encoded), QUrl::StrictMode);
    return url;
}

QJsonArray ITunesClient::results(const QJsonObject &json)
{
    const QJsonValue count = json.value(QLatin1String("resultCount"));
    const QJsonValue entries = json.value(QLatin1String("results"));
    if (!count.isDouble() || !entries.isArray()) {
        throw AppleRequestError(AppleRequestError::Kind::malformed, std::nullopt,
                                QStringLiteral("Missing resultCount/results"));
    }
    return entries.toArray();
}

QCoro::Task<SearchResponse> ITunesClient::search(QString term, QString country, int limit, CancelTokenPtr cancel)
{
    const int clamped = std::min(std::max(limit, 1), maxLimit());
    const QUrl url = makeURL(QStringLiteral("search"), {
                                                           {QStringLiteral("term"), term},
                                                           {QStringLiteral("country"), country},
                                                           {QStringLiteral("entity"), QStringLiteral("software")},
                                                           {QStringLiteral("media"), QStringLiteral("software")},
                                                           {QStringLiteral("limit"), QString::number(clamped)},
                                                       });
    return runSearch(m_http, url, std::move(cancel));
}

QCoro::Task<SearchResponse> ITunesClient::runSearch(AppleHTTP http, QUrl url, CancelTokenPtr cancel)
{
    const AppleHTTP::JSONResult answer = co_await http.getJSON(url, std::move(cancel));
    const QJsonArray entries = results(answer.json);
    SearchResponse response;
    for (qsizetype offset = 0; offset < entries.size(); ++offset) {
        // A skipped entry keeps its place, so later hits keep Apple's positions.
        if (auto hit = AppRecords::parseHit(entries.at(offset), offset))
            response.hits.append(*hit);
    }
    response.resultCount = entries.size();
    response.attempts = answer.attempts;
    response.duration = answer.duration;
    co_return response;
}

QCoro::Task<std::optional<AppInfo>> ITunesClient::lookup(QString appleAppId, QString country, CancelTokenPtr cancel)
{
    const QUrl url = makeURL(QStringLiteral("lookup"), {
                                                           {QStringLiteral("id"), appleAppId},
                                                           {QStringLiteral("country"), country},
                                                       });
    return runLookup(m_http, url, std::move(appleAppId), std::move(cancel));
}

QCoro::Task<std::optional<AppInfo>> ITunesClient::runLookup(AppleHTTP http, QUrl url, QString appleAppId,
                                                            CancelTokenPtr cancel)
{
    const AppleHTTP::JSONResult answer = co_await http.getJSON(url, std::move(cancel));
    const QJsonArray entries = results(answer.json);
    for (const QJsonValue &entry : entries) {
        std::optional<AppInfo> app = AppRecords::parseApp(entry);
        if (app && app->appleAppId == appleAppId)
            co_return app;
    }
    co_return std::nullopt;
}

QCoro::Task<QList<AppInfo>> ITunesClient::lookupMany(QStringList appleAppIds, QString country, CancelTokenPtr cancel)
{
    return runLookupMany(*this, std::move(appleAppIds), std::move(country), std::move(cancel));
}

QCoro::Task<QList<AppInfo>> ITunesClient::runLookupMany(ITunesClient client, QStringList appleAppIds, QString country,
                                                        CancelTokenPtr cancel)
{
    QStringList unique;
    QSet<QString> seen;
    for (const QString &id : std::as_const(appleAppIds)) {
        if (!seen.contains(id)) {
            seen.insert(id);
            unique.append(id);
        }
    }

    QList<AppInfo> apps;
    for (qsizetype start = 0; start < unique.size(); start += batchSize) {
        const QStringList batch = unique.mid(start, batchSize);
        const QSet<QString> wanted(batch.begin(), batch.end());
        const QUrl url = client.makeURL(QStringLiteral("lookup"), {
                                                                      {QStringLiteral("id"), batch.join(u',')},
                                                                      {QStringLiteral("country"), country},
                                                                  });
        const AppleHTTP::JSONResult answer = co_await client.m_http.getJSON(url, cancel);
        const QJsonArray entries = results(answer.json);
        for (const QJsonValue &entry : entries) {
            std::optional<AppInfo> app = AppRecords::parseApp(entry);
            if (app && wanted.contains(app->appleAppId))
                apps.append(*app);
        }
    }
    co_return apps;
}
