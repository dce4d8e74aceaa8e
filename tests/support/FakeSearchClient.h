#pragma once

#include "clients/AppSearching.h"
#include "clients/AppleRequestError.h"

#include <QCoroTimer>
#include <QHash>
#include <QStringList>

#include <chrono>
#include <functional>

// A search and lookup client with scripted answers. Each call is recorded and yields once to
// the event loop before it answers, so that calls made together overlap as real ones do.
class FakeSearchClient : public AppSearching
{
public:
    // The answer to a search of a term; may throw. Finds nothing unless set.
    std::function<SearchResponse(const QString &term)> answer = [](const QString &) { return SearchResponse{}; };
    // Lookups per storefront: "found", or "fail" with a network error; elsewhere the app is unknown.
    QHash<QString, QString> lookupScript;
    QStringList searches; // "<country>|<term>|<limit>"
    QStringList lookups;  // "<id>|<country>"

    // Hits of the apps in this order, ranked from 1, each with some ratings.
    static SearchResponse results(const QStringList &appleAppIds)
    {
        SearchResponse response;
        for (const auto &id : appleAppIds) {
            const int rank = int(response.hits.size()) + 1;
            response.hits.append(SearchHit{id, QStringLiteral("App ") + id, {}, {}, {}, {}, 1000 * rank, 4.5, rank});
        }
        response.resultCount = response.hits.size();
        return response;
    }
    static AppleRequestError failure(qint64 attempts = 1)
    {
        return AppleRequestError(AppleRequestError::Kind::network, std::nullopt, QStringLiteral("offline"), attempts);
    }

    int maxLimit() const override { return 200; }

    QCoro::Task<SearchResponse> search(QString term, QString country, int limit, CancelTokenPtr) override
    {
        searches.append(country + u'|' + term + u'|' + QString::number(limit));
        co_await QCoro::sleepFor(std::chrono::milliseconds(0));
        co_return answer(term);
    }

    QCoro::Task<std::optional<AppInfo>> lookup(QString appleAppId, QString country, CancelTokenPtr) override
    {
        lookups.append(appleAppId + u'|' + country);
        co_await QCoro::sleepFor(std::chrono::milliseconds(0));
        if (lookupScript.value(country) == u"fail")
            throw failure();
        if (lookupScript.value(country) == u"found")
            co_return AppInfo{appleAppId, QStringLiteral("App ") + appleAppId};
        co_return std::nullopt;
    }

    QCoro::Task<QList<AppInfo>> lookupMany(QStringList appleAppIds, QString country, CancelTokenPtr cancel) override
    {
        QList<AppInfo> found;
        for (const auto &id : appleAppIds) {
            if (auto info = co_await lookup(id, country, cancel))
                found.append(*info);
        }
        co_return found;
    }
};
