#include "tracking/AppcastUpdater.h"
#include "tracking/CheckForUpdatesViewModel.h"

#include "LocalHttpServer.h"

#include <QCoreApplication>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A stand-in updater whose readiness the test sets.
class ScriptedUpdater : public Updater
{
public:
    bool value = false;
    bool canCheckForUpdates() const override { return value; }
    void checkForUpdates() override {}
    void set(bool v) { Q_EMIT canCheckForUpdatesChanged(value = v); }
};

QByteArray item(const QByteArray &version, const QByteArray &link)
{
    return "<item><enclosure url=\"" + link + "\" type=\"application/octet-stream\"/><v:version>" + version
        + "</v:version></item>";
}

LocalHttpServer::Reply feed(const QByteArray &items, int status = 200)
{
    LocalHttpServer::Reply reply;
    reply.status = status;
    reply.body = "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:v=\"urn:example:v\"><channel>" + items
        + "</channel></rss>";
    return reply;
}

} // namespace

Q_DECLARE_METATYPE(UpdateCheckOutcome)

class TestUpdates : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<UpdateCheckOutcome>();
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        QCoreApplication::setApplicationVersion("1.4.2");
    }

    void checks_data()
    {
        QTest::addColumn<LocalHttpServer::Reply>("reply"); // a closed connection stands for an unreachable server
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("link");

        // The newest release need not come first, and its link may be in the item's link.
        QTest::newRow("newer") << feed(item("1.4.2", "https://example.com/old") + item("1.10", "https://example.com/new")
                                       + "<item><link>https://example.com/mid</link><version>1.9.9</version></item>")
                               << "A newer version 1.10 is available." << "https://example.com/new";
        // Releases whose links are not safe to open are passed over (a relative link here names
        // the local test server).
        QTest::newRow("newest with unsafe links")
            << feed(item("3.0", "http://example.com/plain") + item("3.1", "/new") + item("2.0", "https://example.com/v2")
                    + item("3.2", "https://localhost/x") + item("3.3", "https://192.168.1.20/x") + item("3.4", "vantu-open:x"))
            << "A newer version 2.0 is available." << "https://example.com/v2";
        QTest::newRow("newer as enclosure attribute")
            << feed("<item><enclosure url=\"https://example.com/n\" v:version=\" 2.0 \"/></item>")
            << "A newer version 2.0 is available." << "https://example.com/n";
        QTest::newRow("same") << feed(item("1.4.2.0", "https://example.com/same")) << "Vantu is up to date." << "";
        QTest::newRow("older") << feed(item("1.3.9", "https://example.com/older")) << "Vantu is up to date." << "";
        // Without a link, with versions that are no plain numbers, or with a link that is no web address.
        QTest::newRow("no usable release")
            << feed("<item><version>9</version></item>" + item("2.0b", "https://example.com/b") + item("+9", "https://example.com/c")
                    + item("1..9", "https://example.com/d") + item("99999999999999999999", "https://example.com/e")
                    + item("9", "file:///etc/x"))
            << "Could not check for updates: The update feed lists no release." << "";
        auto malformed = feed(item("9", "https://example.com/x"));
        malformed.body.chop(20);
        QTest::newRow("malformed") << malformed << "Could not check for updates: The update feed could not be read." << "";
        auto notRss = feed("");
        notRss.body = "<feed xmlns:v=\"urn:example:v\">" + item("9", "https://example.com/x") + "</feed>";
        QTest::newRow("not a feed") << notRss << "Could not check for updates: The update feed could not be read." << "";
        QTest::newRow("server error") << feed(item("9", "https://example.com/x"), 500)
                                      << "Could not check for updates: The update server answered with status 500." << "";
        LocalHttpServer::Reply unreachable;
        unreachable.closeEarly = true;
        QTest::newRow("unreachable") << unreachable << "Could not check for updates: " << "";
    }

    void checks()
    {
        QFETCH(LocalHttpServer::Reply, reply);
        QFETCH(QString, text);
        QFETCH(QString, link);

        LocalHttpServer server;
        server.reply(reply);
        AppcastUpdater updater(server.baseUrl().resolved(QUrl("/appcast.xml")));
        updater.start();
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.checkForUpdates();
        QVERIFY(finished.wait(10'000));
        const auto outcome = finished.first().first().value<UpdateCheckOutcome>();
        if (reply.closeEarly)
            QVERIFY2(outcome.text().startsWith(text) && !outcome.problem.isEmpty(), qPrintable(outcome.text()));
        else
            QCOMPARE(outcome.text(), text);
        QCOMPARE(outcome.link, link.isEmpty() ? QUrl() : server.baseUrl().resolved(QUrl(link)));
        QVERIFY(updater.canCheckForUpdates());
    }

    void relativeLinkReadAgainstTheFeed()
    {
        const auto releases = AppcastUpdater::parseFeed(feed(item("2.0", "../dl/v2.zip")).body,
                                                        QUrl("https://updates.example.com/feed/appcast.xml"));
        QVERIFY(releases && releases->size() == 1);
        QCOMPARE(releases->first().link, QUrl("https://updates.example.com/dl/v2.zip"));
    }

    void cannotCheckWhileChecking()
    {
        LocalHttpServer server;
        auto slow = feed(item("2.0", "https://example.com/new"));
        slow.delayMs = 300;
        server.reply(slow);
        AppcastUpdater updater(server.baseUrl().resolved(QUrl("/appcast.xml")));
        updater.start();
        CheckForUpdatesViewModel model(&updater);
        QVERIFY(model.canCheckForUpdates());

        QSignalSpy changes(&model, &CheckForUpdatesViewModel::canCheckForUpdatesChanged);
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.checkForUpdates();
        QVERIFY(!model.canCheckForUpdates());
        updater.checkForUpdates(); // ignored while the first check runs
        QVERIFY(finished.wait(10'000));
        QTest::qWait(50);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(changes.size(), 2);
        QVERIFY(model.canCheckForUpdates());
    }

    void cannotCheckUnstartedOrWithoutFeed()
    {
        AppcastUpdater unstarted(QUrl("http://127.0.0.1:9/appcast.xml"));
        QSignalSpy changes(&unstarted, &Updater::canCheckForUpdatesChanged);
        QVERIFY(!unstarted.canCheckForUpdates());
        unstarted.start();
        QVERIFY(unstarted.canCheckForUpdates());
        QCOMPARE(changes.size(), 1);

        for (const QUrl &url : {QUrl(), QUrl("file:///tmp/appcast.xml")}) {
            AppcastUpdater updater(url);
            updater.start();
            QVERIFY(!updater.canCheckForUpdates());
            QSignalSpy finished(&updater, &Updater::checkFinished);
            updater.checkForUpdates();
            QVERIFY(!finished.wait(100));
        }
    }

    void modelFollowsTheUpdater()
    {
        ScriptedUpdater updater;
        updater.value = true;
        CheckForUpdatesViewModel model(&updater);
        QVERIFY(model.canCheckForUpdates()); // the updater's value at once
        QSignalSpy changes(&model, &CheckForUpdatesViewModel::canCheckForUpdatesChanged);

        updater.set(false);
        QVERIFY(!model.canCheckForUpdates());
        updater.set(false); // the same value again is no change
        updater.set(true);
        QVERIFY(model.canCheckForUpdates());
        QCOMPARE(changes.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestUpdates)
#include "tst_updates.moc"
