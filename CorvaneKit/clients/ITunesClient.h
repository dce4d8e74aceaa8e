#pragma once

#include "AppSearching.h"
#include "AppleHTTP.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QUrl>

// Apple's public iTunes search and lookup service.
class ITunesClient : public AppSearching
{
public:
    explicit ITunesClient(AppleHTTP http, QUrl baseURL = QUrl(QStringLiteral("https://itunes.apple.com")));

    int maxLimit() const override { return 200; }

    QCoro::Task<SearchResponse> search(QString term, QString country, int limit, CancelTokenPtr cancel = {}) override;
    QCoro::Task<std::optional<AppInfo>> lookup(QString appleAppId, QString country, CancelTokenPtr cancel = {}) override;
    QCoro::Task<QList<AppInfo>> lookupMany(QStringList appleAppIds, QString country, CancelTokenPtr cancel = {}) override;

    // baseURL plus one path component and the query items in order. Every name and value
    // is percent-encoded outside A-Z a-z 0-9 - . _ ~, so '+', '&', '=' and '%' arrive intact.
    QUrl makeURL(const QString &path, const QList<QPair<QString, QString>> &query) const;

    // The "results" entries of an answer; throws a malformed error without a numeric
    // "resultCount" and a "results" array.
    static QJsonArray results(const QJsonObject &json);

    const AppleHTTP &http() const { return m_http; }
    const QUrl &baseURL() const { return m_baseURL; }

    static constexpr int batchSize = 100;

private:
    static QCoro::Task<SearchResponse> runSearch(AppleHTTP http, QUrl url, CancelTokenPtr cancel);
    static QCoro::Task<std::optional<AppInfo>> runLookup(AppleHTTP http, QUrl url, QString appleAppId,
                                                         CancelTokenPtr cancel);
    static QCoro::Task<QList<AppInfo>> runLookupMany(ITunesClient client, QStringList appleAppIds, QString country,
                                                     CancelTokenPtr cancel);

    AppleHTTP m_http;
    QUrl m_baseURL;
};
