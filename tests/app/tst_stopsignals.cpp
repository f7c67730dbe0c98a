// A real `tolva` process (offscreen, in a temporary working directory) asked to stop by a signal: what the
// planner held must be on disk afterwards. Start-up writes no data file (tst_startup checks that), so every
// file found here was written by the stop.

#include "DataFolderLock.h"
#include "DataStore.h"
#include "Moments.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using TestSupport::moment;

namespace {

// The year the planner shows first: the current local one.
int currentYear()
{
    return QDate::currentDate().year();
}

struct Planner
{
    QTemporaryDir dir;
    QTemporaryDir config;
    QProcess process;

    QString years() const { return dir.filePath(QStringLiteral("YEARS")); }
    QString path(const QString& name) const { return years() + QLatin1Char('/') + name; }
    DataStore store() const
    {
        DataStore s;
        s.CaptureWorkDir(dir.path());
        return s;
    }

    // Starts the planner and waits until it holds the data folder: its signal handlers are in place by
    // then, so a signal is taken up by the event loop once start-up is through.
    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(TOLVA_EXECUTABLE), {});
        if (!process.waitForStarted(30000))
            return false;
        const QDeadlineTimer deadline(60000);
        while (!QFile::exists(path(DataFolderLock::fileName()))) {
            if (deadline.hasExpired() || process.state() != QProcess::Running)
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    bool stop(int signal)
    {
        ::kill(pid_t(process.processId()), signal);
        return process.waitForFinished(60000);
    }

    YearData year(int number) const
    {
        YearData data;
        data.reset();
        data.m_settings.m_stSelected = moment(number, 1, 1);
        store().loadYear(data, DisplaySettings{});
        return data;
    }
};

// A year file as an earlier run left it: all toggles off. The planner turns them on when it shows the
// year, so the file changes only if the stop saved it.
void writeYearWithTogglesOff(const Planner& planner, int number)
{
    QVERIFY(QDir().mkpath(planner.years()));
    YearData data;
    data.reset();
    data.m_settings = DisplaySettings::builtInDefaults(moment(number, 1, 1));
    data.m_settings.m_stSelected = moment(number, 1, 1);
    data.m_settings.m_bShowDayNumbers = 0;
    data.m_settings.m_bShowSundays = 0;
    data.m_settings.m_bShowMemoAlarm = 0;
    data.m_settings.m_bShowProjectLines = 0;
    data.m_settings.m_bShowRedDays = 0;
    data.m_memos.setAt(40, "kept");
    QVERIFY(planner.store().saveYear(data).ok());
}

} // namespace

class TestStopSignals : public QObject
{
    Q_OBJECT

private slots:
    void stopSignalSavesYearsAndDefaults_data();
    void stopSignalSavesYearsAndDefaults();
    void fileSizeLimitFailsTheSaveInsteadOfKilling();
    void unreadFilesStayAsTheyAreThroughAStop_data();
    void unreadFilesStayAsTheyAreThroughAStop();
    void stopDuringAStartUpMessageEndsThePlanner_data();
    void stopDuringAStartUpMessageEndsThePlanner();
};

void TestStopSignals::stopSignalSavesYearsAndDefaults_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGINT") << SIGINT;
}

// By default these signals end a Qt program on the spot, without saving. The planner saves what changed (a
// year only shown keeps its file, toggles off) and the missing defaults, then ends normally.
void TestStopSignals::stopSignalSavesYearsAndDefaults()
{
    QFETCH(int, signal);
    Planner planner;
    const int year = currentYear();
    writeYearWithTogglesOff(planner, year);
    QVERIFY(!QFile::exists(planner.path(QStringLiteral("YearDefaults.year"))));

    QVERIFY(planner.start());
    QVERIFY(planner.stop(signal));
    QCOMPARE(planner.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(planner.process.exitCode(), 0);

    const YearData saved = planner.year(year);
    QCOMPARE(saved.m_settings.m_bShowDayNumbers, std::uint8_t(0));
    QCOMPARE(saved.m_memos.at(40), QByteArray("kept"));
    QVERIFY(QFile::exists(planner.path(QStringLiteral("YearDefaults.year"))));
    QVERIFY(!QFile::exists(planner.path(QStringLiteral("ForeverRedDays.year"))));
    DisplaySettings defaults{};
    QVERIFY(planner.store().loadDefaults(defaults).ok());
    // The lock goes with the process.
    QVERIFY(!QFile::exists(planner.path(DataFolderLock::fileName())));
}

// Under a file-size limit a save that grows past it must fail like any failed write (and be reported),
// not end the program by SIGXFSZ. The defaults file (1542 bytes) is larger than the limit: told once,
// though both the stop and the frame's end try; the year, only shown, stays as it was.
void TestStopSignals::fileSizeLimitFailsTheSaveInsteadOfKilling()
{
    Planner planner;
    const int year = currentYear();
    writeYearWithTogglesOff(planner, year);
    QFile before(planner.path(QStringLiteral("%1.year").arg(year)));
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray oldBytes = before.readAll();
    before.close();
    QVERIFY(oldBytes.size() > 1000);

    planner.process.setChildProcessModifier([] {
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    QVERIFY(planner.start());
    QVERIFY(planner.stop(SIGTERM));
    const QByteArray errors = planner.process.readAllStandardError();
    QCOMPARE(planner.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(planner.process.exitCode(), 1);
    QVERIFY2(errors.count("Could not save") == 1 && errors.contains("YearDefaults.year"), errors.constData());

    QFile after(before.fileName());
    QVERIFY(after.open(QIODevice::ReadOnly));
    QVERIFY(after.readAll() == oldBytes);
    QVERIFY(!QFile::exists(planner.path(QStringLiteral("YearDefaults.year"))));
}

void TestStopSignals::unreadFilesStayAsTheyAreThroughAStop_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("the year") << QStringLiteral("%1.year").arg(currentYear());
    QTest::newRow("the defaults") << QStringLiteral("YearDefaults.year");
    QTest::newRow("the every-year red days") << QStringLiteral("ForeverRedDays.year");
}

// A data file the planner could not read (here a FIFO: no regular file) is reported at start and never
// replaced by what the planner used instead; nothing was edited, so the stop has nothing to save there.
void TestStopSignals::unreadFilesStayAsTheyAreThroughAStop()
{
    QFETCH(QString, name);
    Planner planner;
    QVERIFY(QDir().mkpath(planner.years()));
    const QByteArray fifo = QFile::encodeName(planner.path(name));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    QVERIFY(planner.start());
    // The report of the unread file is a message box by now or soon: the stop ends that too.
    QThread::msleep(1000);
    ::kill(pid_t(planner.process.processId()), SIGTERM);
    const bool ended = planner.process.waitForFinished(20000);
    if (!ended) {
        planner.process.kill();
        planner.process.waitForFinished();
    }
    QVERIFY2(ended, "the planner kept running after the stop signal");
    QCOMPARE(planner.process.exitCode(), 0);
    struct stat st = {};
    QCOMPARE(::lstat(fifo.constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
}

void TestStopSignals::stopDuringAStartUpMessageEndsThePlanner_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

// A logout while start-up shows a message (here: the current year's file is damaged) must end the planner,
// not close the box and leave it running and deaf to every later stop.
void TestStopSignals::stopDuringAStartUpMessageEndsThePlanner()
{
    QFETCH(int, signal);
    Planner planner;
    const QString yearFile = planner.path(QStringLiteral("%1.year").arg(currentYear()));
    QVERIFY(QDir().mkpath(planner.years()));
    {
        QFile damaged(yearFile);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        static const char bytes[] = "\x00\x00 a settings list of no records";
        damaged.write(bytes, sizeof bytes - 1);
    }
    QVERIFY(planner.start());
    // The damaged copy is kept before the message about it is shown.
    const QDeadlineTimer deadline(60000);
    while (!QFile::exists(yearFile + QStringLiteral(".damaged")) && !deadline.hasExpired())
        QThread::msleep(20);
    QVERIFY(QFile::exists(yearFile + QStringLiteral(".damaged")));
    QThread::msleep(500);

    ::kill(pid_t(planner.process.processId()), signal);
    const bool ended = planner.process.waitForFinished(20000);
    if (!ended) {
        planner.process.kill();
        planner.process.waitForFinished();
    }
    QVERIFY2(ended, "the planner kept running after the stop signal");
    QCOMPARE(planner.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(planner.process.exitCode(), 0);
    QVERIFY(QFile::exists(planner.path(QStringLiteral("YearDefaults.year"))));
    QVERIFY(!QFile::exists(planner.path(DataFolderLock::fileName())));
}

QTEST_GUILESS_MAIN(TestStopSignals)
#include "tst_stopsignals.moc"
