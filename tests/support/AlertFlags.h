#pragma once

#include "store/ASOStore.h"

#include <QString>
#include <QStringList>

#include <algorithm>

// Each alert's row id and read flag as the store shows them, by row id: "3r" read, "4o" unread.
inline QString alertFlags(ASOStore &store)
{
    auto alerts = store.alerts();
    std::sort(alerts.begin(), alerts.end(), [](const RankAlert &a, const RankAlert &b) { return a.persistentId < b.persistentId; });
    QStringList flags;
    for (const auto &alert : alerts)
        flags.append(QString::number(alert.persistentId) + (alert.isRead ? u'r' : u'o'));
    return flags.join(u' ');
}
