#pragma once

#include "tracking/TrackingNotifying.h"

#include <QDBusConnection>

// Notifications through the desktop's notification service (org.freedesktop.Notifications on
// the session bus). There is no permission to ask for: notifications count as allowed whenever
// the service answers. Without a bus or a service nothing is shown and nothing fails.
class DesktopNotifier : public TrackingNotifying
{
    Q_OBJECT

public:
    // On the session bus.
    explicit DesktopNotifier(QObject *parent = nullptr);
    // On a bus of the caller's choice.
    explicit DesktopNotifier(const QDBusConnection &connection, QObject *parent = nullptr);

    QCoro::Task<bool> requestAuthorization() override;
    QCoro::Task<> notify(QString title, QString body) override;

private:
    // Static, so that a notifier going away while the bus answers is never touched again.
    static QCoro::Task<bool> askService(QDBusConnection connection);
    static QCoro::Task<> post(QDBusConnection connection, QString title, QString body);

    QDBusConnection m_connection;
};
