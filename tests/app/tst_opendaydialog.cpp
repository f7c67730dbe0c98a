// The Day dialog open on the real frame while something else ends it, and its Tab cycle.

#include "ChildFrame.h"
#include "DataFolderLock.h"
#include "DayDialogDriver.h"
#include "ManualClock.h"
#include "TolvaApp.h"
#include "TolvaView.h"
#include "YearGrid.h"
#include "YearOnDisk.h"

#include <QAccessible>
#include <QTemporaryDir>

#include <csignal>

using namespace DayDialogDriver;

class TestOpenDayDialog : public QObject
{
    Q_OBJECT

private slots:
    // Nothing typed is lost and nothing freed twice, whatever ends the dialog from inside its modal loop (an
    // accessibility client's command, a logout); every Tab stop has a name, the scroll area is none.
    void whatEndsTheOpenDialogKeepsWhatWasTyped_data();
    void whatEndsTheOpenDialogKeepsWhatWasTyped();
};

void TestOpenDayDialog::whatEndsTheOpenDialogKeepsWhatWasTyped_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QSize>("screen");
    QTest::newRow("File > Close") << "close" << QSize(1920, 1080);
    QTest::newRow("File > Exit") << "exit" << QSize(1920, 1080);
    QTest::newRow("SIGTERM") << "SIGTERM" << QSize(1920, 1080);
    QTest::newRow("SIGHUP, on a small screen where the groups scroll") << "SIGHUP" << QSize(640, 420);
}

void TestOpenDayDialog::whatEndsTheOpenDialogKeepsWhatWasTyped()
{
    QFETCH(QString, command);
    QFETCH(QSize, screen);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    ManualClock clock(moment(2011, 3, 15, 9, 0, 0));
    auto app = std::make_unique<CTolvaApp>(clock);
    QStringList told;
    app->setMessageSink([&](const QString& m) { told << m; });
    app->handleStopRequests();
    QCOMPARE(app->InitInstance({}, dir.path()), CTolvaApp::Outcome::Started);
    CMainFrame& frame = *app->mainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const QPointer<CTolvaView> view = frame.activeView();
    QStringList silentStops;
    whenModal<CDia_Day>([&](CDia_Day* dialog) {
        dialog->fitInto(screen);
        QWidget* ok = button(dialog, "okButton");
        for (QWidget* w = ok; silentStops.size() < 40 && (w != ok || silentStops.isEmpty());
             w = dialog->focusWidget()) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            silentStops << (a && !a->text(QAccessible::Name).isEmpty() && w->objectName() != "contentScroll"
                                ? QString()
                                : w->objectName());
            QTest::keyClick(w, Qt::Key_Tab);
        }
        typeText(Controls(dialog).memoEdit, QStringLiteral("typed, never confirmed"));
        if (command == "close" || command == "exit")
            frame.command(command == "close" ? CMainFrame::ID_FILE_CLOSE : CMainFrame::ID_APP_EXIT)
                ->trigger();
        else
            std::raise(command == "SIGTERM" ? SIGTERM : SIGHUP);
    });
    // A real double click on 20 March; the dialog it opens may go with its window.
    const QPoint at = YearGrid(view->size(), view->settings()).cellFill(2, 19).center();
    QTest::mousePress(view, Qt::LeftButton, {}, at);
    QTest::mouseRelease(view, Qt::LeftButton, {}, at);
    QTest::mouseDClick(view, Qt::LeftButton, {}, at);
    if (view)
        QTest::mouseRelease(view, Qt::LeftButton, {}, at);
    QTRY_VERIFY(!silentStops.isEmpty() && !QApplication::activeModalWidget());
    silentStops.removeAll(QString());
    QVERIFY2(silentStops.isEmpty(), qPrintable(silentStops.join(", ")));
    QCOMPARE(frame.yearWindows().isEmpty(), command == "close" || command == "exit");
    const YearData disk = TestSupport::yearOnDisk(frame.store(), 2011, DisplaySettings{});
    QCOMPARE(disk.m_memos.at(Calendar::dayOfYear(2011, 3, 20)), QByteArray("typed, never confirmed"));
    const QString lock = frame.store().yearsDir() + '/' + DataFolderLock::fileName();
    app.reset();
    QVERIFY(!QFile::exists(lock));
    QVERIFY2(told.isEmpty(), qPrintable(told.join('\n')));
    // A stop ends every running loop, and every one started after it, until an application loop has run.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

QTEST_MAIN(TestOpenDayDialog)
#include "tst_opendaydialog.moc"
