#pragma once

#include "model/RankAlert.h"
#include "model/RankAlertKind.h"

#include <QList>
#include <QString>

#include <map>
#include <optional>

// The notification that ends a tracking run, built from the alerts the run raised.
namespace TrackingNotifications {

struct Content
{
    QString title;
    QString body;

    friend bool operator==(const Content &, const Content &) = default;
};

// Plain text order by code point, without locale.
struct CodePointOrder
{
    bool operator()(const QString &a, const QString &b) const;
};

// Nothing when there are no alerts; otherwise the title and body of the one notification.
std::optional<Content> notificationContent(const QList<RankAlert> &alerts);

// The alerts of each app display name (apps sharing a name share a group), in input order.
std::map<QString, QList<RankAlert>, CodePointOrder> alertsByApp(const QList<RankAlert> &alerts);

// The alerts of each kind, in input order. An unknown stored kind counts as movedUp.
std::map<RankAlertKind, QList<RankAlert>> alertsByKind(const QList<RankAlert> &alerts);

// "2 keywords entered the top 10, 1 keyword moved down": one phrase per kind present, in a
// fixed kind order, without a full stop.
QString kindSummary(const QList<RankAlert> &alerts);

// "1 keyword entered the top 10", "3 keywords moved down".
QString phrase(RankAlertKind kind, qint64 count);

}
