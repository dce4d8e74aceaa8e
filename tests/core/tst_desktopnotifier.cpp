#include "tracking/DesktopNotifier.h"

#include "support/TaskRunner.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");

// A notification server that records every call and answers, or refuses, each one.
class FakeNotificationServer : public QDBusVirtualObject
{
public:
    bool refuse = false;
    QList<QDBusMessage> calls;

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        calls.append(message);
        if (refuse)
            return connection.send(message.createErrorReply(QDBusError::AccessDenied, "no"));
        if (message.member() == "GetServerInformation")
            return connection.send(message.createReply(QVariantList{"fake", "tests", "1.0", "1.2"}));
        return connection.send(message.createReply(QVariant::fromValue(quint32(7))));
    }
};

} // namespace

class TestDesktopNotifier : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // A private bus that starts no services, so no real notification server can answer.
        QFile config(m_dir.filePath("bus.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("<busconfig><type>session</type><listen>unix:dir=" + m_dir.path().toUtf8()
                     + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                       "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        m_daemon.start("dbus-daemon", {"--config-file=" + config.fileName(), "--print-address", "--nofork"});
        QVERIFY2(m_daemon.waitForStarted(10'000), qPrintable(m_daemon.errorString()));
        QByteArray line;
        for (int i = 0; i < 20 && !line.contains('\n'); ++i) {
            m_daemon.waitForReadyRead(500);
            line += m_daemon.readAllStandardOutput();
        }
        m_address = QString::fromUtf8(line).trimmed();
        QVERIFY2(!m_address.isEmpty(), m_daemon.readAllStandardError().constData());
    }

    void cleanupTestCase()
    {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5'000))
            m_daemon.kill();
    }

    void cleanup()
    {
        for (const QString &name : std::as_const(m_connections))
            QDBusConnection::disconnectFromBus(name);
        m_connections.clear();
    }

    void posting_data()
    {
        QTest::addColumn<QString>("server"); // "answers", "refuses", "absent" (object there, name not owned), "no bus"
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<int>("calls");

        QTest::newRow("server answers") << "answers" << true << 2;
        QTest::newRow("server refuses") << "refuses" << false << 2;
        QTest::newRow("no server") << "absent" << false << 0;
        QTest::newRow("no bus") << "no bus" << false << 0;
    }

    void posting()
    {
        QFETCH(QString, server);
        QFETCH(bool, allowed);
        QFETCH(int, calls);

        FakeNotificationServer fake;
        fake.refuse = server == "refuses";
        QDBusConnection serverBus = connectToBus(m_address);
        QVERIFY(serverBus.registerVirtualObject(objectPath, &fake));
        if (server == "answers" || server == "refuses")
            QVERIFY(serverBus.registerService(serviceName));

        const QDBusConnection appBus = connectToBus(server == "no bus" ? "unix:path=" + m_dir.filePath("none") : m_address);
        QCOMPARE(appBus.isConnected(), server != "no bus");
        DesktopNotifier notifier(appBus);
        const auto permission = TaskRunner::run(notifier.requestAuthorization());
        QVERIFY(permission.succeeded());
        QCOMPARE(*permission.value, allowed);
        QVERIFY(TaskRunner::run(notifier.notify("2 keywords moved up for Focus", "Open Alerts in Vantu for details.")).succeeded());
        QTest::qWait(50);
        QCOMPARE(fake.calls.size(), calls);
        if (calls == 0)
            return;

        const QDBusMessage &notify = fake.calls.last();
        QCOMPARE(notify.interface(), serviceName);
        QCOMPARE(notify.member(), "Notify");
        // A server refuses a call whose argument types differ from the method's.
        QCOMPARE(notify.signature(), "susssasa{sv}i");
        const QVariantList args = notify.arguments();
        QCOMPARE(args.at(0).toString(), "Vantu");
        QCOMPARE(args.at(1).toUInt(), 0u);
        QCOMPARE(args.at(3).toString(), "2 keywords moved up for Focus");
        QCOMPARE(args.at(4).toString(), "Open Alerts in Vantu for details.");
        const QVariantMap hints = qdbus_cast<QVariantMap>(args.at(6));
        QCOMPARE(hints, (QVariantMap{{"category", "x-vantu.tracking"}, {"sound-name", "message-new-instant"}}));
        QCOMPARE(args.at(7).toInt(), -1);
    }

private:
    QDBusConnection connectToBus(const QString &address);

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

QDBusConnection TestDesktopNotifier::connectToBus(const QString &address)
{
    m_connections.append(QStringLiteral("vantu-test-%1").arg(m_connections.size()));
    return QDBusConnection::connectToBus(address, m_connections.last());
}

QTEST_GUILESS_MAIN(TestDesktopNotifier)
#include "tst_desktopnotifier.moc"
