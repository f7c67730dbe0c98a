// Undo, Find, Go to Date and today's alarm as the user meets them: keys on the real frame, real dialogs,
// and a real session bus (our own dbus-daemon with python3-dbusmock's notification daemon).

#include "DataStore.h"
#include "DayDialogDriver.h"
#include "FindDialog.h"
#include "GoToDateDialog.h"
#include "ManualClock.h"
#include "SampleYears.h"
#include "TolvaApp.h"
#include "TolvaView.h"
#include "ViewCommands.h"
#include "YearOnDisk.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>

using namespace DayDialogDriver;

class TestEditCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void ctrlZTakesBackADeletedProjectToTheByte();
    void ctrlFListsEveryYearsDaysAndShowsTheChosenOne();
    void ctrlGShowsTheDate();
    void alarmOfThisYearFiresWhileTheWindowShowsNextYear();

private:
    CMainFrame& frame() const { return *m_app->mainFrame(); }
    CTolvaView* view() const { return frame().activeView(); }
    // The platform without a window manager gives the frame no focus back after a dialog.
    void activate()
    {
        frame().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame()));
        view()->setFocus();
    }
    QByteArray file2026() const
    {
        QFile f(frame().store().yearPath(2026));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_dir, m_config;
    ManualClock m_clock{moment(2026, 3, 15, 9, 59, 0)};
    QProcess m_bus, m_notifications;
    QString m_noBus; // why there is no notification server, if there is none
    std::unique_ptr<CTolvaApp> m_app;
};

void TestEditCommands::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    // Before anything asks for the session bus: the connection is made on first use.
    m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    if (m_bus.waitForStarted() && m_bus.waitForReadyRead(5000)) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
        m_notifications.start("/usr/bin/python3", {"-m", "dbusmock", "--template", "notification_daemon",
                                                   "-l", m_dir.filePath("calls.log")});
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered("org.freedesktop.Notifications") ||
                                     m_notifications.state() == QProcess::NotRunning,
                                 10000);
        if (!bus->isServiceRegistered("org.freedesktop.Notifications"))
            m_noBus = "python3-dbusmock's notification_daemon cannot start here (Debian python3-dbusmock)";
    } else {
        m_noBus = "dbus-daemon --session cannot start here (Debian package dbus)";
    }
    DataStore store;
    store.CaptureWorkDir(m_dir.path());
    YearData y2026 = sampleRichYear(2026);
    const int day = Calendar::dayOfYear(2026, 3, 16);
    y2026.m_alarms.at(day) = {1, 0, moment(2026, 3, 16, 8, 0, 0)};
    y2026.m_alarmTexts.setAt(day, "Bus at 8:15");
    QVERIFY(store.saveYear(y2026).ok() && store.saveYear(sampleRichYear(2024)).ok());
    m_app = std::make_unique<CTolvaApp>(m_clock);
    m_app->setMessageSink([](const QString& m) { QFAIL(qPrintable(m)); });
    QCOMPARE(m_app->InitInstance({}, m_dir.path()), CTolvaApp::Outcome::Started);
    activate();
}

// A project deleted with its ticks by mistake comes back whole, and Redo deletes it again.
void TestEditCommands::ctrlZTakesBackADeletedProjectToTheByte()
{
    view()->saveYear(); // what the window shows (toggles, the selected day) is stored with the year
    const QByteArray before = file2026();
    whenModal<CDia_Day>([](CDia_Day* d) {
        selectRow(d, 2);
        QTest::mouseClick(button(d, "deleteButton"), Qt::LeftButton);
        QTest::mouseClick(button(d, "okButton"), Qt::LeftButton);
    });
    QTest::keyClick(view(), Qt::Key_Return);
    activate();
    const QByteArray deleted = file2026();
    QVERIFY(deleted != before);
    QCOMPARE(frame().viewCommands().undoAction()->text(), "Undo Delete Project 'Project 2'");
    QTest::keyClick(view(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(file2026(), before);
    QTest::keyClick(view(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(file2026(), deleted);
}

// The memos of 2024 (no window shows it) are found too, by date; Enter on one shows its day.
void TestEditCommands::ctrlFListsEveryYearsDaysAndShowsTheChosenOne()
{
    QTest::keyClick(view(), Qt::Key_F, Qt::ControlModifier);
    FindDialog* find = frame().findDialog();
    QVERIFY(find && find->isVisible());
    QTest::keyClicks(find->textEdit(), "dentist");
    QTreeWidget* results = find->results();
    QCOMPARE(results->topLevelItemCount(), 24);
    QCOMPARE(results->topLevelItem(0)->text(0), "Wed 03 Jan 2024");
    QCOMPARE(results->topLevelItem(12)->text(2), "Dentist");
    QTest::keyClick(find->textEdit(), Qt::Key_Return);
    QTest::keyClick(results, Qt::Key_Down);
    QTest::keyClick(results, Qt::Key_Return);
    QCOMPARE(view()->shownYear(), 2024);
    QCOMPARE(view()->selectedDay().wMonth, 2);
    QCOMPARE(view()->selectedDay().wDay, 4);
}

void TestEditCommands::ctrlGShowsTheDate()
{
    activate();
    whenModal<GoToDateDialog>([](GoToDateDialog* d) {
        d->dateEdit()->setSelectedSection(QDateTimeEdit::YearSection);
        typeText(d->dateEdit(), "2031");
        d->dateEdit()->setSelectedSection(QDateTimeEdit::DaySection);
        typeText(d->dateEdit(), "09");
        QTest::keyClick(d, Qt::Key_Return);
    });
    QTest::keyClick(view(), Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(view()->shownYear(), 2031);
    QCOMPARE(view()->selectedDay().wMonth, 2);
    QCOMPARE(view()->selectedDay().wDay, 9);
}

// The window plans ahead on 2027 while today's alarm of 2026 falls due: a box and a notification, once.
void TestEditCommands::alarmOfThisYearFiresWhileTheWindowShowsNextYear()
{
    if (!m_noBus.isEmpty())
        QSKIP(qPrintable(m_noBus));
    view()->showDate(2027, 1, 1);
    m_clock.set(moment(2026, 3, 16, 8, 0, 1));
    auto boxes = [this] { return frame().findChildren<QMessageBox*>(); };
    QTRY_COMPARE_WITH_TIMEOUT(boxes().size(), 1, 5000);
    QCOMPARE(boxes().first()->text(), "08:00   Monday, March 16, 2026\n\nBus at 8:15");
    QCOMPARE(TestSupport::yearOnDisk(frame().store(), 2026, {}).m_alarms.at(75).m_bFired, 1);
    auto calls = [this] {
        QFile log(m_dir.filePath("calls.log"));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    };
    QTRY_VERIFY2(calls().contains("Notify \"Tolva\""), calls().constData());
    QVERIFY2(calls().contains("\"Alarm\" \"08:00   Monday, March 16, 2026\nBus at 8:15\""),
             calls().constData());
    QTest::qWait(1500); // the next checks find it fired
    QCOMPARE(boxes().size(), 1);
}

void TestEditCommands::cleanupTestCase()
{
    m_app.reset();
    for (QProcess* p : {&m_notifications, &m_bus}) {
        p->terminate();
        p->waitForFinished(5000);
    }
}

QTEST_MAIN(TestEditCommands)
#include "tst_editcommands.moc"
