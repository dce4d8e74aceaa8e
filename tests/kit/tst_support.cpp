#include "support/CancelToken.h"
#include "support/Sleep.h"
#include "support/TaskRunner.h"
#include "support/WebAddress.h"

#include <QCoroTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

using namespace std::chrono_literals;

class TestSupport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runnerReturnsValueOrException();
    void sleepEndsEarlyOnCancel();
    void sleepOnCancelledTokenDoesNotWait();
    void millisecondsRoundUp_data();
    void millisecondsRoundUp();
    void webAddresses_data();
    void webAddresses();
};

static QCoro::Task<int> answer(bool fail)
{
    co_await QCoro::sleepFor(1ms);
    if (fail)
        throw std::runtime_error("boom");
    co_return 42;
}

void TestSupport::runnerReturnsValueOrException()
{
    const auto ok = TaskRunner::run(answer(false));
    QVERIFY(ok.succeeded());
    QCOMPARE(*ok.value, 42);

    const auto failed = TaskRunner::run(answer(true));
    QVERIFY(!failed.succeeded());
    QVERIFY(!failed.value);
    const auto e = failed.errorAs<std::runtime_error>();
    QVERIFY(e);
    QCOMPARE(QString::fromUtf8(e->what()), QStringLiteral("boom"));
    QVERIFY(!failed.errorAs<std::logic_error>());
}

void TestSupport::sleepEndsEarlyOnCancel()
{
    auto token = CancelToken::create();
    QTimer::singleShot(20ms, token.get(), [token] { token->cancel(); });
    QElapsedTimer timer;
    timer.start();
    const auto outcome = TaskRunner::run(cancellableSleep(10s, token));
    QVERIFY(outcome.succeeded());
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(token->isCancelled());
}

void TestSupport::sleepOnCancelledTokenDoesNotWait()
{
    auto token = CancelToken::create();
    QSignalSpy spy(token.get(), &CancelToken::cancelled);
    token->cancel();
    token->cancel();
    QCOMPARE(spy.count(), 1);
    QElapsedTimer timer;
    timer.start();
    TaskRunner::run(cancellableSleep(10s, token));
    QVERIFY(timer.elapsed() < 5000);
}

void TestSupport::millisecondsRoundUp_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qint64>("ms");
    QTest::newRow("whole") << 3.0 << qint64(3000);
    QTest::newRow("fraction rounds up") << 2.0001 << qint64(2001);
    QTest::newRow("negative") << -1.0 << qint64(0);
    QTest::newRow("nan") << std::nan("") << qint64(0);
}

void TestSupport::millisecondsRoundUp()
{
    QFETCH(double, seconds);
    QFETCH(qint64, ms);
    QCOMPARE(secondsToMilliseconds(seconds).count(), ms);
}

void TestSupport::webAddresses_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("artwork");
    QTest::newRow("store page") << "https://apps.apple.com/us/app/x/id1" << true << true;
    QTest::newRow("plain artwork host") << "http://is1-ssl.mzstatic.com/a/100x100bb.jpg" << false << true;
    QTest::newRow("older artwork host") << "http://a1988.phobos.apple.com/us/r1000/1.png" << false << true;
    QTest::newRow("plain elsewhere") << "http://example.com/a.png" << false << false;
    QTest::newRow("look-alike host") << "http://mzstatic.com.evil.net/a.png" << false << false;
    QTest::newRow("file") << "file:///etc/passwd" << false << false;
    QTest::newRow("custom scheme") << "itms-apps://apps.apple.com/app/id1" << false << false;
    QTest::newRow("loopback") << "https://127.0.0.1:8080/x" << false << false;
    QTest::newRow("localhost") << "https://localhost/x" << false << false;
    QTest::newRow("private range") << "https://192.168.1.10/x" << false << false;
    QTest::newRow("carrier range") << "https://172.20.0.1/x" << false << false;
    QTest::newRow("ipv6 loopback") << "https://[::1]/x" << false << false;
    QTest::newRow("ipv6 unique local") << "https://[fd00::1]/x" << false << false;
    QTest::newRow("mapped loopback") << "https://[::ffff:127.0.0.1]/x" << false << false;
    QTest::newRow("bare name") << "https://intranet/x" << false << false;
    QTest::newRow("user info") << "https://user@apps.apple.com/x" << false << false;
    QTest::newRow("public address") << "https://17.253.144.10/x" << true << true;
}

void TestSupport::webAddresses()
{
    QFETCH(QString, url);
    QFETCH(bool, open);
    QFETCH(bool, artwork);
    QCOMPARE(WebAddress::isSafeToOpen(QUrl(url)), open);
    QCOMPARE(WebAddress::isSafeArtwork(QUrl(url)), artwork);
}

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
