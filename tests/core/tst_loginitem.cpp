#include "tracking/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestLoginItem : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void entryLocation_data();
    void entryLocation();
    void execQuoting_data();
    void execQuoting();
    void switchingOnAndOff();
    void statusOfExistingEntries_data();
    void statusOfExistingEntries();
    void fileErrors_data();
    void fileErrors();

private:
    void writeEntry(const QByteArray &contents);

    std::unique_ptr<QTemporaryDir> m_home;
    QByteArray m_savedHome;
    QByteArray m_savedConfigHome;
};

void TestLoginItem::init()
{
    m_savedHome = qgetenv("HOME");
    m_savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    qputenv("HOME", m_home->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home->path() + "/config").toLocal8Bit());
}

void TestLoginItem::cleanup()
{
    qputenv("HOME", m_savedHome);
    if (m_savedConfigHome.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", m_savedConfigHome);
    m_home.reset();
}

void TestLoginItem::writeEntry(const QByteArray &contents)
{
    QVERIFY(QDir().mkpath(QFileInfo(LoginItem::entryPath()).absolutePath()));
    QFile file(LoginItem::entryPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

void TestLoginItem::entryLocation_data()
{
    QTest::addColumn<std::optional<QString>>("configHome"); // relative to the temporary home
    QTest::addColumn<QString>("expected");

    QTest::newRow("set") << std::optional<QString>("/config") << "/config/autostart/vantu.desktop";
    QTest::newRow("unset") << std::optional<QString>() << "/.config/autostart/vantu.desktop";
    QTest::newRow("empty") << std::optional<QString>("") << "/.config/autostart/vantu.desktop";
    QTest::newRow("relative is ignored") << std::optional<QString>("relative/config")
                                         << "/.config/autostart/vantu.desktop";
}

void TestLoginItem::entryLocation()
{
    QFETCH(std::optional<QString>, configHome);
    QFETCH(QString, expected);

    const QString home = QDir(m_home->path()).canonicalPath();
    qputenv("HOME", home.toLocal8Bit());
    if (!configHome)
        qunsetenv("XDG_CONFIG_HOME");
    else if (configHome->startsWith('/'))
        qputenv("XDG_CONFIG_HOME", (home + *configHome).toLocal8Bit());
    else
        qputenv("XDG_CONFIG_HOME", configHome->toLocal8Bit());
    QCOMPARE(LoginItem::entryPath(), home + expected);

    QCOMPARE(setOpenAtLogin(true), std::nullopt);
    QVERIFY(QFileInfo(home + expected).isFile());
}

void TestLoginItem::execQuoting_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("exec");

    QTest::newRow("plain") << "/usr/bin/vantu" << "/usr/bin/vantu";
    QTest::newRow("blank") << "/opt/My Apps/vantu" << R"("/opt/My Apps/vantu")";
    QTest::newRow("double quote") << R"(/opt/a"b/vantu)" << R"("/opt/a\\"b/vantu")";
    QTest::newRow("dollar and backtick") << "/opt/$x`y/vantu" << R"("/opt/\\$x\\`y/vantu")";
    QTest::newRow("backslash") << R"(/opt/back\slash/vantu)" << R"("/opt/back\\\\slash/vantu")";
    QTest::newRow("percent alone") << "/opt/50%/vantu" << "/opt/50%%/vantu";
    QTest::newRow("percent quoted") << "/opt/50% off/vantu" << R"("/opt/50%% off/vantu")";
    QTest::newRow("tab") << "/opt/a\tb/vantu" << R"("/opt/a\tb/vantu")";
    QTest::newRow("single quote") << "/opt/it's/vantu" << R"("/opt/it's/vantu")";
    QTest::newRow("non-ASCII") << "/opt/Über/vantu" << "/opt/Über/vantu";
}

void TestLoginItem::execQuoting()
{
    QFETCH(QString, path);
    QFETCH(QString, exec);
    QCOMPARE(LoginItem::execValue(path), exec);
}

void TestLoginItem::switchingOnAndOff()
{
    QCOMPARE(LoginItem::status(), LoginItem::Status::notRegistered);
    QCOMPARE(setOpenAtLogin(false), std::nullopt); // nothing there to remove

    QCOMPARE(setOpenAtLogin(true), std::nullopt);
    QCOMPARE(LoginItem::status(), LoginItem::Status::enabled);
    QFile file(LoginItem::entryPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    file.close();
    QCOMPARE(contents, LoginItem::entryContents(QCoreApplication::applicationFilePath()));
    QVERIFY(contents.startsWith("[Desktop Entry]\n"));
    QVERIFY(contents.contains("\nType=Application\n"));
    QVERIFY(contents.contains("\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + "\n"));
    QVERIFY(QFileInfo(QCoreApplication::applicationFilePath()).isAbsolute());

    // Switching on again replaces a hidden entry and leaves no temporary files behind.
    writeEntry("[Desktop Entry]\nType=Application\nHidden=true\n");
    QCOMPARE(LoginItem::status(), LoginItem::Status::notRegistered);
    QCOMPARE(setOpenAtLogin(true), std::nullopt);
    QCOMPARE(LoginItem::status(), LoginItem::Status::enabled);
    QCOMPARE(QDir(QFileInfo(LoginItem::entryPath()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"vantu.desktop"});

    QCOMPARE(setOpenAtLogin(false), std::nullopt);
    QCOMPARE(LoginItem::status(), LoginItem::Status::notRegistered);
    QVERIFY(!QFileInfo::exists(LoginItem::entryPath()));
}

void TestLoginItem::statusOfExistingEntries_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<LoginItem::Status>("status");

    using S = LoginItem::Status;
    QTest::newRow("plain entry") << QByteArray("[Desktop Entry]\nType=Application\nExec=x\n") << S::enabled;
    QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nHidden=true\nExec=x\n") << S::notRegistered;
    QTest::newRow("hidden with blanks") << QByteArray("[Desktop Entry]\nHidden = true \n") << S::notRegistered;
    QTest::newRow("not hidden") << QByteArray("[Desktop Entry]\nHidden=false\n") << S::enabled;
    QTest::newRow("hidden in another group")
        << QByteArray("[Desktop Entry]\nExec=x\n[Desktop Action quit]\nHidden=true\n") << S::enabled;
    QTest::newRow("key that only starts alike") << QByteArray("[Desktop Entry]\nHiddenX=true\n") << S::enabled;
    QTest::newRow("empty file") << QByteArray() << S::enabled;
}

void TestLoginItem::statusOfExistingEntries()
{
    QFETCH(QByteArray, contents);
    QFETCH(LoginItem::Status, status);
    writeEntry(contents);
    QCOMPARE(LoginItem::status(), status);
}

void TestLoginItem::fileErrors_data()
{
    QTest::addColumn<QString>("blocker"); // what stands in the way, relative to the config home
    QTest::addColumn<bool>("open");

    // A file where a folder belongs, and a folder where the entry belongs, fail for root too.
    QTest::newRow("autostart is a file, on") << "autostart" << true;
    QTest::newRow("entry is a folder, on") << "autostart/vantu.desktop/x" << true;
    QTest::newRow("entry is a folder, off") << "autostart/vantu.desktop/x" << false;
}

void TestLoginItem::fileErrors()
{
    QFETCH(QString, blocker);
    QFETCH(bool, open);

    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString blockerPath = configHome + '/' + blocker;
    QVERIFY(QDir().mkpath(QFileInfo(blockerPath).absolutePath()));
    QFile file(blockerPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();

    const std::optional<QString> message = setOpenAtLogin(open);
    QVERIFY(message);
    const QString prefix = QStringLiteral("Could not change the login item: ");
    QVERIFY2(message->startsWith(prefix), qPrintable(*message));
    QVERIFY2(message->size() > prefix.size() && message->at(prefix.size()) != ' ', qPrintable(*message));
    QCOMPARE(LoginItem::status(), LoginItem::Status::notRegistered);
}

QTEST_GUILESS_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
