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
    void switchingOnAndOff();
    void execQuoting_data();
    void execQuoting();
    void statusOfExistingEntries_data();
    void statusOfExistingEntries();
    void fileErrors_data();
    void fileErrors();

private:
    void writeFile(const QString &path, const QByteArray &contents);

    std::unique_ptr<QTemporaryDir> m_home;
};

// Every case gets a fresh home of its own; the user's files are never touched.
void TestLoginItem::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", m_home->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home->path() + "/config").toLocal8Bit());
}

void TestLoginItem::cleanup()
{
    m_home.reset();
}

void TestLoginItem::writeFile(const QString &path, const QByteArray &contents)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

void TestLoginItem::switchingOnAndOff()
{
    const QString entry = m_home->path() + "/config/autostart/vantu.desktop";
    QCOMPARE(LoginItem::entryPath(), entry);
    QCOMPARE(LoginItem::status(), LoginItem::Status::notRegistered);
    QCOMPARE(setOpenAtLogin(false), std::nullopt); // nothing there to remove

    QCOMPARE(setOpenAtLogin(true), std::nullopt);
    QCOMPARE(LoginItem::status(), LoginItem::Status::enabled);
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString program = QCoreApplication::applicationFilePath();
    QVERIFY(QFileInfo(program).isAbsolute());
    QCOMPARE(file.readAll(), "[Desktop Entry]\nType=Application\nName=Vantu\nExec=" + LoginItem::execValue(program).toUtf8() + "\n");
    file.close();

    // Switching on again replaces an entry that hides itself, leaving no temporary file behind.
    writeFile(entry, "[Desktop Entry]\nHidden=true\n");
    QCOMPARE(LoginItem::status(), LoginItem::Status::notRegistered);
    QCOMPARE(setOpenAtLogin(true), std::nullopt);
    QCOMPARE(LoginItem::status(), LoginItem::Status::enabled);
    QCOMPARE(QFileInfo(entry).dir().entryList(QDir::Files | QDir::Hidden), QStringList{"vantu.desktop"});

    QCOMPARE(setOpenAtLogin(false), std::nullopt);
    QCOMPARE(LoginItem::status(), LoginItem::Status::notRegistered);
    QVERIFY(!QFileInfo::exists(entry));

    // A relative XDG_CONFIG_HOME is ignored, as is an unset one.
    qputenv("XDG_CONFIG_HOME", "config");
    QCOMPARE(LoginItem::entryPath(), m_home->path() + "/.config/autostart/vantu.desktop");
}

void TestLoginItem::execQuoting_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("exec");

    QTest::newRow("plain") << "/usr/bin/vantu" << "/usr/bin/vantu";
    QTest::newRow("blank") << "/opt/My Apps/vantu" << R"("/opt/My Apps/vantu")";
    // Quoting escapes '"', '`', '$' and '\'; the string escapes then double every backslash.
    QTest::newRow("escaped inside quotes") << R"(/opt/a"b$c`d/vantu)" << R"("/opt/a\\"b\\$c\\`d/vantu")";
    QTest::newRow("backslash") << R"(/opt/back\slash/vantu)" << R"("/opt/back\\\\slash/vantu")";
    QTest::newRow("percent") << "/opt/50% off/vantu" << R"("/opt/50%% off/vantu")";
    QTest::newRow("tab") << "/opt/a\tb/vantu" << R"("/opt/a\tb/vantu")";
}

void TestLoginItem::execQuoting()
{
    QFETCH(QString, path);
    QFETCH(QString, exec);
    QCOMPARE(LoginItem::execValue(path), exec);
}

void TestLoginItem::statusOfExistingEntries_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("plain entry") << QByteArray("[Desktop Entry]\nExec=x\n") << true;
    QTest::newRow("hidden, with blanks") << QByteArray("[Desktop Entry]\nHidden = true \n") << false;
    QTest::newRow("hidden in another group") << QByteArray("[Desktop Entry]\n[Desktop Action a]\nHidden=true\n") << true;
}

void TestLoginItem::statusOfExistingEntries()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, enabled);
    writeFile(LoginItem::entryPath(), contents);
    QCOMPARE(LoginItem::status() == LoginItem::Status::enabled, enabled);
}

void TestLoginItem::fileErrors_data()
{
    QTest::addColumn<QString>("blocker"); // a file in the way, under the config home
    QTest::addColumn<bool>("open");

    // A file where a folder belongs, and a folder where the entry belongs: these fail for root too.
    QTest::newRow("autostart is a file, on") << "autostart" << true;
    QTest::newRow("entry is a folder, on") << "autostart/vantu.desktop/x" << true;
    QTest::newRow("entry is a folder, off") << "autostart/vantu.desktop/x" << false;
}

void TestLoginItem::fileErrors()
{
    QFETCH(QString, blocker);
    QFETCH(bool, open);
    writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + '/' + blocker, "x");

    const std::optional<QString> message = setOpenAtLogin(open);
    const QString prefix = QStringLiteral("Could not change the login item: ");
    QVERIFY(message);
    QVERIFY2(message->startsWith(prefix) && message->size() > prefix.size() && message->at(prefix.size()) != ' ',
             qPrintable(*message));
    QCOMPARE(LoginItem::status(), LoginItem::Status::notRegistered);
}

QTEST_GUILESS_MAIN(TestLoginItem)
#include "tst_loginitem.moc"
