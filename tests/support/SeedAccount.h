#pragma once

#include "store/ASOStore.h"

#include "FakeSearchClient.h"

#include <QCoroTask>

// A believable account for screens: two own apps and three competitors, a few hundred keywords
// searched once in the United States, with the readings and alerts that those searches leave.
namespace SeedAccount {

inline const QStringList ownApps{"1001", "1002"};
inline const QStringList competitors{"2001", "2002", "2003"};

inline QString nameOf(const QString &appleAppId)
{
    static const QHash<QString, QString> names{{"1001", "Lumen Photo Editor"}, {"1002", "Lumen Collage Maker"},
                                              {"2001", "Brightframe Studio"}, {"2002", "Snapmosaic"},
                                              {"2003", "Pixelcraft Pro"}};
    return names.value(appleAppId, "App " + appleAppId);
}

inline void seed(ASOStore &store, FakeSearchClient &client, int keywordCount = 300)
{
    const QStringList words{"photo", "editor", "collage", "filter", "camera", "retouch", "selfie", "frame",
                            "grid", "blur", "vintage", "portrait", "sticker", "layout", "color", "effects"};
    QStringList keywords;
    for (int i = 0; keywords.size() < keywordCount; ++i)
        keywords.append(words[i % words.size()] + u' ' + words[(i / words.size() + i + 1) % words.size()]
                        + (i >= words.size() * words.size() ? u' ' + QString::number(i) : QString()));
    keywords.removeDuplicates();

    int age = 50;
    for (const auto &id : ownApps + competitors) {
        TrackedApp app(AppInfo{id, nameOf(id)}, ownApps.contains(id));
        app.developerName = id.startsWith(u'1') ? QStringLiteral("Lumen Labs") : nameOf(id) + QStringLiteral(" Inc.");
        app.trackedCountries = {QStringLiteral("us")};
        app.createdAt = QDateTime::currentDateTimeUtc().addDays(-age--);
        store.db().insert(app);
    }
    const auto first = *store.app(ownApps[0]);
    store.addKeywords(keywords, first);

    // Each keyword's results rank the apps in an order of its own; some leave the first app out.
    // The second pass moves them, which raises alerts.
    auto pass = std::make_shared<int>(0);
    client.answer = [keywords, pass](const QString &term) {
        const auto i = int(keywords.indexOf(term)) + *pass * 3;
        QStringList ranked;
        for (int filler = 0; filler < 12; ++filler)
            ranked.append(QString::number(3000 + filler));
        for (const auto &id : competitors + ownApps)
            ranked.insert((i * 7 + id.toInt()) % (ranked.size() + 1), id);
        if (i % 4 == 3)
            ranked.removeAll(ownApps[0]);
        return FakeSearchClient::results(ranked);
    };
    for (*pass = 0; *pass < 2; ++*pass) {
        for (const auto &term : keywords) {
            if (const auto keyword = store.keyword(term))
                QCoro::waitFor(store.search(*keyword, first, QStringLiteral("us"), true));
        }
    }
    store.raiseDataVersion();
}

}
