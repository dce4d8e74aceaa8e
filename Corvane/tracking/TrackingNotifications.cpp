#include "tracking/TrackingNotifications.h"

#include "support/Unicode.h"

#include <QStringList>

namespace TrackingNotifications {

namespace {

// The order in which a summary names the kinds: the biggest moves first.
constexpr RankAlertKind summaryOrder[] = {
    RankAlertKind::enteredTop10, RankAlertKind::leftTop10, RankAlertKind::newRanking,
    RankAlertKind::lostRanking,  RankAlertKind::movedUp,   RankAlertKind::movedDown,
};

QString kindPhrase(RankAlertKind kind)
{
    switch (kind) {
    case RankAlertKind::enteredTop10:
        return QStringLiteral(" entered the top 10");
    case RankAlertKind::leftTop10:
        return QStringLiteral(" left the top 10");
    case RankAlertKind::newRanking:
        return QStringLiteral(" started ranking");
    case RankAlertKind::lostRanking:
        return QStringLiteral(" dropped out of the results");
    case RankAlertKind::movedUp:
        return QStringLiteral(" moved up");
    case RankAlertKind::movedDown:
        return QStringLiteral(" moved down");
    }
    Q_UNREACHABLE();
}

} // namespace

bool CodePointOrder::operator()(const QString &a, const QString &b) const
{
    return Unicode::lessThan(a, b);
}

QString phrase(RankAlertKind kind, qint64 count)
{
    return QString::number(count) + QStringLiteral(" keyword") + (count == 1 ? QString() : QStringLiteral("s"))
        + kindPhrase(kind);
}

std::map<QString, QList<RankAlert>, CodePointOrder> alertsByApp(const QList<RankAlert> &alerts)
{
    std::map<QString, QList<RankAlert>, CodePointOrder> groups;
    for (const RankAlert &alert : alerts)
        groups[alert.appName].append(alert);
    return groups;
}

std::map<RankAlertKind, QList<RankAlert>> alertsByKind(const QList<RankAlert> &alerts)
{
    std::map<RankAlertKind, QList<RankAlert>> groups;
    for (const RankAlert &alert : alerts)
        groups[alert.kind()].append(alert);
    return groups;
}

QString kindSummary(const QList<RankAlert> &alerts)
{
    const auto groups = alertsByKind(alerts);
    QStringList phrases;
    for (const RankAlertKind kind : summaryOrder) {
        const auto group = groups.find(kind);
        if (group != groups.end())
            phrases.append(phrase(kind, group->second.size()));
    }
    return phrases.join(QStringLiteral(", "));
}

std::optional<Content> notificationContent(const QList<RankAlert> &alerts)
{
    if (alerts.isEmpty())
        return std::nullopt;
    const auto groups = alertsByApp(alerts);
    if (groups.size() == 1) {
        const auto &[appName, appAlerts] = *groups.begin();
        const auto kinds = alertsByKind(appAlerts);
        if (kinds.size() == 1) {
            return Content{phrase(kinds.begin()->first, appAlerts.size()) + QStringLiteral(" for ") + appName,
                           QStringLiteral("Open Alerts in Vantu for details.")};
        }
        return Content{QStringLiteral("Ranking changes for ") + appName, kindSummary(appAlerts) + u'.'};
    }
    QStringList lines;
    for (const auto &[appName, appAlerts] : groups)
        lines.append(appName + QStringLiteral(": ") + kindSummary(appAlerts));
    return Content{QStringLiteral("Ranking changes for %1 apps").arg(groups.size()), lines.join(u'\n')};
}

}
