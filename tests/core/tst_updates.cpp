#include "tracking/AppcastUpdater.h"
#include "tracking/CheckForUpdatesViewModel.h"

#include "LocalHttpServer.h"

#include <QCoreApplication>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

namespace {

// A stand-in updater whose readiness the test sets.
class ScriptedUpdater : public Updater
{
public:
    bool value = false;
    int checks = 0;

    bool canCheckForUpdates() const override { return value; }
    void checkForUpdates() override { ++checks; }
    void set(bool v)
    {
        value = v;
        Q_EMIT canCheckForUpdatesChanged(v);
    }
};

QByteArray item(const QByteArray &version, const QByteArray &link)
{
    return "<item><title>Vantu " + version + "</title><enclosure url=\"" + link + "\" length=\"1\" type=\"application/octet-stream\"/>"
           "<v:version>" + version + "</v:version></item>";
}

QByteArray feed(const QByteArray &items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\" xmlns:v=\"urn:example:releases\">"
           "<channel><title>Vantu</title>" + items + "</channel></rss>";
}

LocalHttpServer::Reply xmlReply(int status, QByteArray body)
{
    LocalHttpServer::Reply reply;
    reply.status = status;
    reply.headers = {{"Content-Type", "application/rss+xml"}};
    reply.body = std::move(body);
    return reply;
}

UpdateCheckOutcome runCheck(AppcastUpdater &updater)
{
    QSignalSpy finished(&updater, &Updater::checkFinished);
    updater.checkForUpdates();
    if (!finished.wait(10'000))
        return {UpdateCheckOutcome::Kind::failed, {}, {}, "no answer in the test"};
    return finished.first().first().value<UpdateCheckOutcome>();
}

} // namespace

Q_DECLARE_METATYPE(UpdateCheckOutcome)
Q_DECLARE_METATYPE(UpdateCheckOutcome::Kind)

class TestUpdates : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void versions_data();
    void versions();
    void feeds_data();
    void feeds();
    void checks_data();
    void checks();
    void unreachableServer();
    void cannotCheckWhileChecking();
    void cannotCheckBeforeStartOrWithoutFeed_data();
    void cannotCheckBeforeStartOrWithoutFeed();
    void modelFollowsTheUpdater();
    void modelTakesTheCurrentValue();
};

void TestUpdates::initTestCase()
{
    qRegisterMetaType<UpdateCheckOutcome>();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    QCoreApplication::setApplicationVersion("1.4.2");
}

void TestUpdates::versions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("order"); // 2: a is no version

    QTest::newRow("numeric, not textual") << "1.10.0" << "1.9.3" << 1;
    QTest::newRow("missing parts are zero") << "1.2" << "1.2.0" << 0;
    QTest::newRow("longer is newer") << "1.2.0.1" << "1.2" << 1;
    QTest::newRow("major wins") << "2" << "1.99.99" << 1;
    QTest::newRow("older") << "0.9" << "0.10" << -1;
    QTest::newRow("leading zeros") << "1.02" << "1.2" << 0;
    QTest::newRow("letters") << "1.2b" << "1.2" << 2;
    QTest::newRow("empty part") << "1..2" << "1.2" << 2;
    QTest::newRow("sign") << "+1.2" << "1.2" << 2;
    QTest::newRow("blank inside") << "1. 2" << "1.2" << 2;
    QTest::newRow("empty") << "" << "1" << 2;
    QTest::newRow("too long to hold") << "99999999999999999999" << "1" << 2;
}

void TestUpdates::versions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);

    const auto x = AppcastUpdater::versionComponents(a);
    const auto y = AppcastUpdater::versionComponents(b);
    QVERIFY(y);
    if (order == 2) {
        QVERIFY(!x);
        return;
    }
    QVERIFY(x);
    QCOMPARE(AppcastUpdater::compareVersions(*x, *y), order);
    QCOMPARE(AppcastUpdater::compareVersions(*y, *x), -order);
}

void TestUpdates::feeds_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("releases"); // "version link"; "-" for no feed at all

    QTest::newRow("element versions") << feed(item("1.0", "https://example.com/a") + item("1.1", "/b"))
                                      << QStringList{"1.0 https://example.com/a", "1.1 https://updates.example.org/b"};
    QTest::newRow("enclosure attribute")
        << feed("<item><enclosure url=\"https://example.com/c\" v:version=\" 2.0 \"/></item>")
        << QStringList{"2.0 https://example.com/c"};
    QTest::newRow("item link without enclosure")
        << feed("<item><link>https://example.com/d</link><version>3</version></item>") << QStringList{"3 https://example.com/d"};
    QTest::newRow("unusable items left out")
        << feed("<item><version>1.0</version></item>"                                     // no link
                "<item><enclosure url=\"https://example.com/e\"/></item>"                 // no version
                "<item><enclosure url=\"https://example.com/f\" v:version=\"beta\"/></item>" // no number
                "<item><enclosure url=\"file:///etc/passwd\" v:version=\"9\"/></item>"   // not a web link
                + item("1.2", "https://example.com/g"))
        << QStringList{"1.2 https://example.com/g"};
    QTest::newRow("nested version is not the item's")
        << feed("<item><enclosure url=\"https://example.com/h\"/><extra><version>7</version></extra></item>")
        << QStringList{};
    QTest::newRow("no items") << feed("") << QStringList{};
    QTest::newRow("not XML") << QByteArray("{\"version\":\"2.0\"}") << QStringList{"-"};
    QTest::newRow("cut short") << feed(item("2.0", "https://example.com/a")).left(150) << QStringList{"-"};
    QTest::newRow("another root") << QByteArray("<feed><item><version>2</version></item></feed>") << QStringList{"-"};
    QTest::newRow("empty") << QByteArray() << QStringList{"-"};
}

void TestUpdates::feeds()
{
    QFETCH(QByteArray, document);
    QFETCH(QStringList, releases);

    const auto parsed = AppcastUpdater::parseFeed(document, QUrl("https://updates.example.org/feed.xml"));
    if (releases == QStringList{"-"}) {
        QVERIFY(!parsed);
        return;
    }
    QVERIFY(parsed);
    QStringList got;
    for (const auto &release : *parsed)
        got << release.version + ' ' + release.link.toString();
    QCOMPARE(got, releases);
}

void TestUpdates::checks_data()
{
    QTest::addColumn<LocalHttpServer::Reply>("reply");
    QTest::addColumn<UpdateCheckOutcome::Kind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("link");

    using K = UpdateCheckOutcome::Kind;
    // The newest release need not come first.
    QTest::newRow("newer")
        << xmlReply(200, feed(item("1.4.2", "https://example.com/old") + item("1.10", "https://example.com/new")
                              + item("1.9.9", "https://example.com/mid")))
        << K::updateAvailable << "A newer version 1.10 is available." << "https://example.com/new";
    QTest::newRow("same") << xmlReply(200, feed(item("1.4.2.0", "https://example.com/same"))) << K::upToDate
                          << "Vantu is up to date." << "";
    QTest::newRow("older only") << xmlReply(200, feed(item("1.3.9", "https://example.com/older"))) << K::upToDate
                                << "Vantu is up to date." << "";
    QTest::newRow("malformed") << xmlReply(200, "<rss><channel><item>") << K::failed
                               << "Could not check for updates: The update feed could not be read." << "";
    QTest::newRow("no release") << xmlReply(200, feed("<item><title>News</title></item>")) << K::failed
                                << "Could not check for updates: The update feed lists no release." << "";
    QTest::newRow("server error") << xmlReply(500, feed(item("9", "https://example.com/x"))) << K::failed
                                  << "Could not check for updates: The update server answered with status 500." << "";
    QTest::newRow("not found") << xmlReply(404, "") << K::failed
                               << "Could not check for updates: The update server answered with status 404." << "";
}

void TestUpdates::checks()
{
    QFETCH(LocalHttpServer::Reply, reply);
    QFETCH(UpdateCheckOutcome::Kind, kind);
    QFETCH(QString, text);
    QFETCH(QString, link);

    LocalHttpServer server;
    QVERIFY(server.isListening());
    server.reply(reply);
    AppcastUpdater updater(server.baseUrl().resolved(QUrl("/appcast.xml")));
    updater.start();
    const UpdateCheckOutcome outcome = runCheck(updater);
    QCOMPARE(outcome.kind, kind);
    QCOMPARE(outcome.text(), text);
    QCOMPARE(outcome.link.toString(), link);
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().first().target, QByteArray("/appcast.xml"));
    QVERIFY(updater.canCheckForUpdates());
}

void TestUpdates::unreachableServer()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();

    AppcastUpdater updater(QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(port)));
    updater.start();
    const UpdateCheckOutcome outcome = runCheck(updater);
    QCOMPARE(outcome.kind, UpdateCheckOutcome::Kind::failed);
    QVERIFY(!outcome.problem.isEmpty());
    QVERIFY(outcome.text().startsWith("Could not check for updates: "));
    QVERIFY(updater.canCheckForUpdates());
}

void TestUpdates::cannotCheckWhileChecking()
{
    LocalHttpServer server;
    auto slow = xmlReply(200, feed(item("2.0", "https://example.com/new")));
    slow.delayMs = 300;
    server.reply(slow);
    AppcastUpdater updater(server.baseUrl().resolved(QUrl("/appcast.xml")));
    updater.start();
    CheckForUpdatesViewModel model(&updater);
    QVERIFY(model.canCheckForUpdates());

    QSignalSpy changes(&updater, &Updater::canCheckForUpdatesChanged);
    QSignalSpy modelChanges(&model, &CheckForUpdatesViewModel::canCheckForUpdatesChanged);
    QSignalSpy finished(&updater, &Updater::checkFinished);
    updater.checkForUpdates();
    QVERIFY(!updater.canCheckForUpdates());
    QVERIFY(!model.canCheckForUpdates());
    updater.checkForUpdates(); // ignored while the first check runs
    QVERIFY(finished.wait(10'000));
    QTest::qWait(50);

    QCOMPARE(finished.size(), 1);
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.at(0).first().toBool(), false);
    QCOMPARE(changes.at(1).first().toBool(), true);
    QCOMPARE(modelChanges.size(), 2);
    QVERIFY(model.canCheckForUpdates());
}

void TestUpdates::cannotCheckBeforeStartOrWithoutFeed_data()
{
    QTest::addColumn<QUrl>("feedUrl");
    QTest::addColumn<bool>("afterStart");

    QTest::newRow("with feed") << QUrl("http://127.0.0.1:9/appcast.xml") << true;
    QTest::newRow("built without feed") << QUrl() << false;
    QTest::newRow("not a web address") << QUrl("file:///tmp/appcast.xml") << false;
    QTest::newRow("configured at build time") << AppcastUpdater::configuredFeedUrl()
                                               << !AppcastUpdater::configuredFeedUrl().isEmpty();
}

void TestUpdates::cannotCheckBeforeStartOrWithoutFeed()
{
    QFETCH(QUrl, feedUrl);
    QFETCH(bool, afterStart);

    AppcastUpdater updater(feedUrl);
    QSignalSpy changes(&updater, &Updater::canCheckForUpdatesChanged);
    QVERIFY(!updater.canCheckForUpdates());
    updater.checkForUpdates(); // ignored: not started
    updater.start();
    QCOMPARE(updater.canCheckForUpdates(), afterStart);
    QCOMPARE(changes.size(), afterStart ? 1 : 0);
    updater.start();
    QCOMPARE(changes.size(), afterStart ? 1 : 0);
    if (!afterStart) {
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.checkForUpdates();
        QVERIFY(!finished.wait(100));
    }
}

void TestUpdates::modelFollowsTheUpdater()
{
    ScriptedUpdater updater;
    CheckForUpdatesViewModel model(&updater);
    QSignalSpy changes(&model, &CheckForUpdatesViewModel::canCheckForUpdatesChanged);
    QVERIFY(!model.canCheckForUpdates());

    updater.set(true);
    QVERIFY(model.canCheckForUpdates());
    updater.set(true); // the same value again is no change
    updater.set(false);
    QVERIFY(!model.canCheckForUpdates());
    QCOMPARE(changes.size(), 2);

    // Values the updater holds without announcing them are never fetched.
    updater.value = true;
    QCoreApplication::processEvents();
    QVERIFY(!model.canCheckForUpdates());
    QCOMPARE(updater.checks, 0);
}

void TestUpdates::modelTakesTheCurrentValue()
{
    ScriptedUpdater updater;
    updater.value = true;
    CheckForUpdatesViewModel model(&updater);
    QVERIFY(model.canCheckForUpdates());

    auto gone = std::make_unique<ScriptedUpdater>();
    CheckForUpdatesViewModel orphan(gone.get());
    gone->set(true);
    gone.reset();
    QVERIFY(orphan.canCheckForUpdates()); // keeps the last value; no dangling updater
}

QTEST_GUILESS_MAIN(TestUpdates)
#include "tst_updates.moc"
