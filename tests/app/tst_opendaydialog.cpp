// The Day dialog open on the real frame while something else ends it: a command that destroys its window,
// a stop signal; and its Tab cycle.

#include "ChildFrame.h"
#include "DataFolderLock.h"
#include "DayDialogDriver.h"
#include "ManualClock.h"
#include "TolvaApp.h"
#include "TolvaView.h"
#include "YearGrid.h"
#include "YearOnDisk.h"

#include <QAccessible>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace DayDialogDriver;

class TestOpenDayDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    // Nothing typed is lost and nothing is freed twice, whatever ends the dialog from outside.
    void whatEndsTheOpenDialogKeepsWhatWasTyped_data();
    void whatEndsTheOpenDialogKeepsWhatWasTyped();
    // Every Tab stop shows focus and has a name a screen reader says; the scroll area is none.
    void everyTabStopIsANamedControl_data();
    void everyTabStopIsANamedControl();

private:
    bool start();
    // A real double click on the cell of 20 March, which opens the dialog.
    void doubleClickDay();

    std::unique_ptr<QTemporaryDir> m_dir;
    ManualClock m_clock{moment(2011, 3, 15, 9, 0, 0)};
    std::unique_ptr<CTolvaApp> m_app;
    QStringList m_told;
};

void TestOpenDayDialog::initTestCase()
{
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
}

void TestOpenDayDialog::cleanup()
{
    m_app.reset();
    // A stop ends every running loop, and every one started after it, until an application loop has run.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

bool TestOpenDayDialog::start()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_told.clear();
    m_app = std::make_unique<CTolvaApp>(m_clock);
    m_app->setMessageSink([this](const QString& m) { m_told << m; });
    m_app->handleStopRequests();
    return m_app->InitInstance({}, m_dir->path()) == CTolvaApp::Outcome::Started &&
           QTest::qWaitForWindowExposed(m_app->mainFrame()) && m_app->mainFrame()->activeView();
}

void TestOpenDayDialog::doubleClickDay()
{
    const QPointer<CTolvaView> view = m_app->mainFrame()->activeView();
    const QPoint at = YearGrid(view->size(), view->settings()).cellFill(2, 19).center();
    QTest::mousePress(view, Qt::LeftButton, {}, at);
    QTest::mouseRelease(view, Qt::LeftButton, {}, at);
    QTest::mouseDClick(view, Qt::LeftButton, {}, at);
    // The double click's dialog may have gone with its window.
    if (view)
        QTest::mouseRelease(view, Qt::LeftButton, {}, at);
}

void TestOpenDayDialog::whatEndsTheOpenDialogKeepsWhatWasTyped_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("windowStays");
    // Run from inside the dialog's modal loop, as an accessibility client can.
    QTest::newRow("File > Close") << "close" << false;
    QTest::newRow("File > Exit") << "exit" << false;
    QTest::newRow("SIGTERM") << "SIGTERM" << true;
    QTest::newRow("SIGHUP (a logout)") << "SIGHUP" << true;
}

void TestOpenDayDialog::whatEndsTheOpenDialogKeepsWhatWasTyped()
{
    QFETCH(QString, command);
    QFETCH(bool, windowStays);
    QVERIFY(start());
    CMainFrame& frame = *m_app->mainFrame();
    const QPointer<CChildFrame> window = frame.activeYearWindow();
    bool ran = false;
    whenModal<CDia_Day>([&](CDia_Day* dialog) {
        ran = true;
        typeText(Controls(dialog).memoEdit, QStringLiteral("typed, never confirmed"));
        if (command == "close")
            frame.command(CMainFrame::ID_FILE_CLOSE)->trigger();
        else if (command == "exit")
            frame.command(CMainFrame::ID_APP_EXIT)->trigger();
        else
            std::raise(command == "SIGTERM" ? SIGTERM : SIGHUP);
    });
    doubleClickDay();
    // A signal reaches the loop through its socket: give it the turn.
    QTRY_VERIFY(ran && !QApplication::activeModalWidget());
    QCOMPARE(frame.yearWindows().contains(window.data()), windowStays);

    const DataStore& store = frame.store();
    const YearData disk = TestSupport::yearOnDisk(store, 2011, DisplaySettings{});
    QCOMPARE(disk.m_memos.at(Calendar::dayOfYear(2011, 3, 20)), QByteArray("typed, never confirmed"));
    const QString lock = store.yearsDir() + '/' + DataFolderLock::fileName();
    const QString defaults = store.defaultsPath();
    m_app.reset();
    QVERIFY(QFile::exists(defaults));
    QVERIFY(!QFile::exists(lock));
    QVERIFY2(m_told.isEmpty(), qPrintable(m_told.join('\n')));
}

void TestOpenDayDialog::everyTabStopIsANamedControl_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::newRow("the designed size fits") << QSize(1920, 1080);
    QTest::newRow("a small screen: the groups scroll") << QSize(640, 420);
}

void TestOpenDayDialog::everyTabStopIsANamedControl()
{
    QFETCH(QSize, screen);
    QVERIFY(start());
    QStringList stops;
    QStringList silent;
    whenModal<CDia_Day>([&](CDia_Day* dialog) {
        dialog->fitInto(screen);
        QWidget* ok = button(dialog, "okButton");
        ok->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 60 && (i == 0 || dialog->focusWidget() != ok); ++i) {
            QWidget* w = dialog->focusWidget();
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            stops << w->objectName();
            if (qobject_cast<QAbstractScrollArea*>(w) && !qobject_cast<QPlainTextEdit*>(w) &&
                !qobject_cast<QListWidget*>(w))
                silent << w->objectName() + " (a scroll area)";
            else if (!a || a->text(QAccessible::Name).isEmpty())
                silent << w->objectName();
            QTest::keyClick(w, Qt::Key_Tab);
        }
        dialog->reject();
    });
    QTest::keyClick(m_app->mainFrame()->activeView(), Qt::Key_Return);
    QTRY_VERIFY(!stops.isEmpty() && !QApplication::activeModalWidget());
    QVERIFY2(silent.isEmpty(), qPrintable(silent.join(", ") + " in " + stops.join(" > ")));
    QVERIFY2(stops.size() > 10 && stops.contains("cancelButton"), qPrintable(stops.join(" > ")));
}

QTEST_MAIN(TestOpenDayDialog)
#include "tst_opendaydialog.moc"
