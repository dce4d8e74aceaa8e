#include "tracking/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

#include <QCoroDBusPendingCall>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage call(const QString &method)
{
    return QDBusMessage::createMethodCall(service, path, interface, method);
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent) : DesktopNotifier(QDBusConnection::sessionBus(), parent)
{
}

DesktopNotifier::DesktopNotifier(const QDBusConnection &connection, QObject *parent)
    : TrackingNotifying(parent), m_connection(connection)
{
}

QCoro::Task<bool> DesktopNotifier::requestAuthorization()
{
    return askService(m_connection);
}

QCoro::Task<> DesktopNotifier::notify(QString title, QString body)
{
    return post(m_connection, std::move(title), std::move(body));
}

QCoro::Task<bool> DesktopNotifier::askService(QDBusConnection connection)
{
    if (!connection.isConnected())
        co_return false;
    const QDBusPendingCall pending = connection.asyncCall(call(QStringLiteral("GetServerInformation")));
    const QDBusMessage reply = co_await pending;
    co_return reply.type() == QDBusMessage::ReplyMessage;
}

QCoro::Task<> DesktopNotifier::post(QDBusConnection connection, QString title, QString body)
{
    if (!connection.isConnected())
        co_return;
    QDBusMessage message = call(QStringLiteral("Notify"));
    const QVariantMap hints{
        // Groups every tracking notification together, as far as the desktop groups by category.
        {QStringLiteral("category"), QStringLiteral("x-vantu.tracking")},
        {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
    };
    message << QStringLiteral("Vantu") // application name
            << quint32(0)              // replaces no earlier notification
            << QString()               // no icon of its own
            << title << body
            << QStringList()           // no actions
            << hints
            << qint32(-1);             // the server's own display time
    const QDBusPendingCall pending = connection.asyncCall(message);
    // A refused or failed delivery is dropped.
    co_await pending;
}
