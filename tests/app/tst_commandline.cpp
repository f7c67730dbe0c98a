// The planner's own command line, run as a real process: --help and --version answer on standard output
// and exit without a display and without touching the folder (a YEARS made by asking for help would be a
// surprise in any directory); an option nobody knows is refused before anything is written.

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void answersAndTouchesNothing_data();
    void answersAndTouchesNothing();
    void helpNamesEveryOptionAndSection();
};

void TestCommandLine::answersAndTouchesNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("display");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutStart");
    QTest::addColumn<QString>("stderrStart");

    const QString usage = QStringLiteral("Usage: tolva ");
    const QString version = QStringLiteral("tolva " TOLVA_VERSION "\n");
    QTest::newRow("--help without a display") << QStringList{"--help"} << false << 0 << usage << QString();
    QTest::newRow("-h without a display") << QStringList{"-h"} << false << 0 << usage << QString();
    QTest::newRow("--help with a display") << QStringList{"--help"} << true << 0 << usage << QString();
    QTest::newRow("--help after a file name")
        << QStringList{"a.year", "--help"} << true << 0 << usage << QString();
    QTest::newRow("--version") << QStringList{"--version"} << false << 0 << version << QString();
    QTest::newRow("-v with a display") << QStringList{"-v"} << true << 0 << version << QString();
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << true << 2 << QString()
                                    << QStringLiteral("tolva: unknown option --frobnicate");
}

void TestCommandLine::answersAndTouchesNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, display);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutStart);
    QFETCH(QString, stderrStart);

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The settings would be the other place a start writes to.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));

    const QString work = dir.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    QProcess tolva;
    tolva.setProcessEnvironment(env);
    tolva.setWorkingDirectory(work);
    tolva.start(QStringLiteral(TOLVA_EXECUTABLE), arguments);
    QVERIFY(tolva.waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(tolva.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(tolva.readAllStandardError());
    QCOMPARE(tolva.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tolva.exitCode(), exitCode);
    if (stdoutStart.isEmpty())
        QCOMPARE(out, QString());
    else
        QVERIFY2(out.startsWith(stdoutStart), qPrintable(out));
    QVERIFY2(err.contains(stderrStart), qPrintable(err));
    QCOMPARE(QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    QVERIFY(!QDir(dir.filePath(QStringLiteral("config"))).exists());
}

void TestCommandLine::helpNamesEveryOptionAndSection()
{
    // The manual page is made from this text: what it lacks, the page lacks.
    QProcess tolva;
    tolva.start(QStringLiteral(TOLVA_EXECUTABLE), {QStringLiteral("--help")});
    QVERIFY(tolva.waitForFinished(20000));
    const QString help = QString::fromLocal8Bit(tolva.readAllStandardOutput());
    for (const char* needle :
         {"\nOptions:\n", "\nFiles:\n", "\nEnvironment:\n", "\nExit status:\n", "\nExamples:\n", "--help",
          "--version", "YEARS/YearDefaults.year", "YEARS/ForeverRedDays.year", "TZ"})
        QVERIFY2(help.contains(QLatin1String(needle)), needle);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
