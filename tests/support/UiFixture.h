#pragma once

#include "clients/PopularityClient.h"
#include "store/ASOStore.h"

#include <QAction>
#include <QWidget>

// Popularity that answers with nothing, so that a refresh succeeds and changes no value.
struct NoPopularity : PopularityProviding
{
    QCoro::Task<PopularityResponse> popularity(QString country, QStringList, CancelTokenPtr) override { co_return {country, {}, {}}; }
};

// Popularity that is down: it writes each call into `log`, then fails, so a refresh raises nothing.
struct DownPopularity : PopularityProviding
{
    QStringList *log;
    explicit DownPopularity(QStringList *log) : log(log) {}
    QCoro::Task<PopularityResponse> popularity(QString, QStringList, CancelTokenPtr) override
    {
        log->append(QStringLiteral("popularity"));
        throw PopularityError(QStringLiteral("offline"));
        co_return {};
    }
};

// Top terms that come at once and are none: the research screen then asks nobody.
struct NoTopTerms : TopTermsProviding
{
    QCoro::Task<TopTermsResponse> topTerms(QString country, std::optional<QString>, std::optional<qint64>,
                                           std::optional<qint64>, std::optional<QString>, qint64, qint64,
                                           CancelTokenPtr) override
    {
        co_return TopTermsResponse{country, {}, {}, 0, {}};
    }
};

// Tracks apps from a list such as "o1 c2": own (o) or competitor (c) with its ID, named "App <ID>",
// in the United States, oldest first.
inline void trackApps(ASOStore &store, const QString &apps)
{
    int age = 100;
    for (const auto &token : apps.split(u' ', Qt::SkipEmptyParts)) {
        TrackedApp app(AppInfo{token.mid(1), "App " + token.mid(1)}, token[0] == u'o');
        app.trackedCountries = {QStringLiteral("us")};
        app.createdAt = QDateTime::currentDateTimeUtc().addSecs(-age--);
        store.db().insert(app);
    }
    store.raiseDataVersion();
}

// The named child of `root`; a missing one ends the test at once.
template<typename T>
T *childOf(const QWidget *root, const QString &name)
{
    auto *found = root->findChild<T *>(name);
    if (!found)
        qFatal("no widget %s", qPrintable(name));
    return found;
}

// The action of the menu (or widget) with this text; a missing one ends the test at once.
inline QAction *actionNamed(const QWidget *menu, const QString &text)
{
    for (auto *action : menu->findChildren<QAction *>()) {
        if (action->text() == text)
            return action;
    }
    qFatal("no action %s", qPrintable(text));
}
