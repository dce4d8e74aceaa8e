// How a benchmark program ends: whatever the order, it removes its own work folder and nothing else,
// not the folder it was started in (`make bench` starts every program from the project's root).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class tst_BenchRun : public QObject
{
    Q_OBJECT

private slots:
    void removesOnlyItsWorkFolder_data();
    void removesOnlyItsWorkFolder();
    void stopsWithoutAWorkFolder();
};

void tst_BenchRun::removesOnlyItsWorkFolder_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("message");

    QTest::newRow("thread left joinable, after main") << "thread" << "ended by std::terminate()";
    QTest::newRow("exception from a destructor, after main") << "destructor" << "an exception was not caught: thrown by a destructor";
    QTest::newRow("failed requirement, within main") << "fail" << "a requirement failed";
}

void tst_BenchRun::removesOnlyItsWorkFolder()
{
    QFETCH(QString, how);
    QFETCH(QString, message);
    QTemporaryDir start;
    QVERIFY(start.isValid());
    QFile marker(start.filePath(QStringLiteral("marker")));
    QVERIFY(marker.open(QIODevice::WriteOnly) && marker.write("kept") == 4);
    marker.close();

    QProcess program;
    program.setWorkingDirectory(start.path());
    program.start(QStringLiteral(VANTU_BENCHRUN_ENDS), {how});
    QVERIFY(program.waitForFinished(60000));
    const auto output = QString::fromLocal8Bit(program.readAllStandardOutput()).trimmed();
    const auto errors = QString::fromLocal8Bit(program.readAllStandardError());

    QVERIFY2(QFileInfo(start.path()).isDir(), "the folder the program was started in is gone");
    QVERIFY(marker.open(QIODevice::ReadOnly));
    QCOMPARE(marker.readAll(), QByteArray("kept"));
    QCOMPARE(QDir(start.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("marker")});
    // Ended as the program's own handler ends it, reading nothing that was destroyed.
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    QVERIFY2(errors.endsWith(QStringLiteral(": ") + message + u'\n'), qPrintable(errors));
    QVERIFY(!output.isEmpty());
    QVERIFY2(!QFileInfo::exists(output), qPrintable(output + QStringLiteral(" is left")));
}

// Where no work folder can be made, the program says so and stops with status 1 before anything
// else, rather than work (and remove what it made) in the folder it was started in.
void tst_BenchRun::stopsWithoutAWorkFolder()
{
    QTemporaryDir start;
    QVERIFY(start.isValid());
    // Temporary folders go into a file, where none can be made.
    QFile notAFolder(start.filePath(QStringLiteral("file")));
    QVERIFY(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), notAFolder.fileName());

    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(start.path());
    // Asked to end well.
    program.start(QStringLiteral(VANTU_BENCHRUN_ENDS), QStringList());
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    QCOMPARE(program.readAllStandardOutput(), QByteArray());
    QCOMPARE(program.readAllStandardError(), QByteArray("benchrun_ends: no work folder could be made\n"));
    QCOMPARE(QDir(start.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"file"});
}

QTEST_GUILESS_MAIN(tst_BenchRun)
#include "tst_benchrun.moc"
