#pragma once

#include "AppRecords.h"
#include "support/CancelToken.h"

#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <optional>

// Searches and looks up apps on the App Store. Failures throw AppleRequestError.
class AppSearching
{
public:
    virtual ~AppSearching() = default;

    // The most results one search asks for.
    virtual int maxLimit() const = 0;

    virtual QCoro::Task<SearchResponse> search(QString term, QString country, int limit, CancelTokenPtr cancel = {}) = 0;

    // Nothing when the storefront does not know the app.
    virtual QCoro::Task<std::optional<AppInfo>> lookup(QString appleAppId, QString country,
                                                       CancelTokenPtr cancel = {}) = 0;

    // The apps the storefront knows, in batches, in the order asked.
    virtual QCoro::Task<QList<AppInfo>> lookupMany(QStringList appleAppIds, QString country,
                                                   CancelTokenPtr cancel = {}) = 0;
};
