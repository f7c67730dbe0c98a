// Today's alarm fires while the window shows next year: its box, and a desktop notification on a real
// session bus (our own dbus-daemon with python3-dbusmock's notification daemon).

#include "ChildFrame.h"
#include "DataStore.h"
#include "ManualClock.h"
#include "Moments.h"
#include "TolvaApp.h"
#include "TolvaView.h"
#include "YearOnDisk.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using TestSupport::moment;

class TestAlarmWatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void alarmOfThisYearFiresWhileTheWindowShowsNextYear();

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_daemon;
};

void TestAlarmWatch::initTestCase()
{
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    // Before anything asks for the session bus: the connection is made on first use.
    m_bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
    if (!m_bus.waitForStarted() || !m_bus.waitForReadyRead(5000))
        QSKIP("dbus-daemon --session cannot start here (Debian package dbus)");
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
    m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon.start(QStringLiteral("/usr/bin/python3"), {"-m", "dbusmock", "--template", "notification_daemon",
                                                        "-l", m_dir.filePath("calls.log")});
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    QVERIFY(bus);
    QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered("org.freedesktop.Notifications") ||
                                 m_daemon.state() == QProcess::NotRunning,
                             10000);
    if (!bus->isServiceRegistered("org.freedesktop.Notifications"))
        QSKIP("python3-dbusmock's notification_daemon cannot start here (Debian package python3-dbusmock)");
}

void TestAlarmWatch::cleanupTestCase()
{
    for (QProcess* p : {&m_daemon, &m_bus}) {
        p->terminate();
        p->waitForFinished(5000);
    }
}

void TestAlarmWatch::alarmOfThisYearFiresWhileTheWindowShowsNextYear()
{
    const int day = Calendar::dayOfYear(2026, 3, 15);
    DataStore store;
    store.CaptureWorkDir(m_dir.path());
    YearData year;
    year.reset();
    year.m_settings.m_stSelected = moment(2026, 3, 15);
    year.m_alarms.at(day) = {1, 0, moment(2026, 3, 15, 10, 0, 0)};
    year.m_alarmTexts.setAt(day, "Dentist");
    QVERIFY(store.saveYear(year).ok());

    ManualClock clock(moment(2026, 3, 15, 9, 59, 0));
    CTolvaApp app(clock);
    app.setMessageSink([](const QString& m) { QFAIL(qPrintable(m)); });
    QCOMPARE(app.InitInstance({}, m_dir.path()), CTolvaApp::Outcome::Started);
    CTolvaView* view = app.mainFrame()->activeView();
    QTest::keyClick(view, Qt::Key_PageUp);
    QCOMPARE(view->shownYear(), 2027);

    clock.set(moment(2026, 3, 15, 10, 0, 1));
    auto boxes = [&] { return app.mainFrame()->findChildren<QMessageBox*>(); };
    QTRY_COMPARE_WITH_TIMEOUT(boxes().size(), 1, 5000);
    QCOMPARE(boxes().first()->windowTitle(), "Alarm Message");
    QCOMPARE(boxes().first()->text(), "10:00   Sunday, March 15, 2026\n\nDentist");
    QCOMPARE(TestSupport::yearOnDisk(store, 2026, {}).m_alarms.at(day).m_bFired, 1);
    auto calls = [this] {
        QFile log(m_dir.filePath("calls.log"));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    };
    QTRY_VERIFY2(calls().contains("Notify"), calls().constData());
    QVERIFY2(calls().contains("\"Alarm\" \"10:00   Sunday, March 15, 2026\nDentist\""), calls().constData());
    // Once only: the next checks find it fired.
    QTest::qWait(1500);
    QCOMPARE(boxes().size(), 1);
    QVERIFY(view->openAlarmBoxes().isEmpty());
}

QTEST_MAIN(TestAlarmWatch)
#include "tst_alarmwatch.moc"
