// The calendar sync comes as a module the planner loads once its first window has painted: with the module
// and an account, File > Sync Now and the status field work as if built in; without a loadable module the
// planner runs on and says why the account cannot be set.

#include "MainFrame.h"
#include "ManualClock.h"
#include "Moments.h"
#include "SyncAccount.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using TestSupport::moment;

class TestSyncModule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadsAfterTheFirstPaint_data();
    void loadsAfterTheFirstPaint();

private:
    QTemporaryDir m_config;
    ManualClock m_clock{moment(2026, 12, 9, 9, 0, 0)};
};

void TestSyncModule::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

void TestSyncModule::loadsAfterTheFirstPaint_data()
{
    QTest::addColumn<QString>("module");
    QTest::addColumn<bool>("account");
    QTest::addColumn<bool>("syncNow");
    QTest::addColumn<QString>("fileAccountSays"); // the warning File > Calendar Account... shows, or ""
    const QString built = QString::fromLocal8Bit(qgetenv("TOLVA_SYNC_MODULE"));
    QTest::newRow("module and account") << built << true << true << "";
    QTest::newRow("module, no account") << built << false << false << "";
    QTest::newRow("no module") << "/nonexistent/tolva-sync.so" << true << false << "is not installed";
    QTest::newRow("not a module") << QStringLiteral(TOLVA_SOURCE_FILE) << true << false << "does not load";
}

void TestSyncModule::loadsAfterTheFirstPaint()
{
    QFETCH(QString, module);
    QFETCH(bool, account);
    QFETCH(bool, syncNow);
    QFETCH(QString, fileAccountSays);
    QVERIFY2(!module.isEmpty(), "TOLVA_SYNC_MODULE names the built module");
    qputenv("TOLVA_SYNC_MODULE", QFile::encodeName(module));
    QFile::remove(SyncAccount::defaultPath());
    if (account) {
        SyncAccount set;
        set.setUrl(QUrl(QStringLiteral("http://127.0.0.1:9/cal/")));
        set.setUser(QStringLiteral("ann"));
        QString error;
        QVERIFY2(set.save(SyncAccount::defaultPath(), error), qPrintable(error));
    }

    QTemporaryDir work;
    CMainFrame frame(work.path(), m_clock);
    frame.setMessageSink([](const QString& m) { QFAIL(qPrintable(m)); });
    QVERIFY(frame.LoadFrame());
    frame.OnFileNew();
    QVERIFY(!frame.command(CMainFrame::ID_FILE_SYNC_NOW)->isEnabled());
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const bool found =
        module.endsWith(QLatin1String(".so")) && !module.startsWith(QLatin1String("/nonexistent"));
    auto* field = frame.findChild<QLabel*>(QStringLiteral("syncStatus"));
    if (found)
        QTRY_VERIFY(field = frame.findChild<QLabel*>(QStringLiteral("syncStatus")));
    QTest::qWait(50);
    QCOMPARE(frame.command(CMainFrame::ID_FILE_SYNC_NOW)->isEnabled(), syncNow);
    QCOMPARE(field && field->isVisible(), syncNow);

    // File > Calendar Account...: the dialog, or the reason there is none.
    QString shown;
    QTimer::singleShot(0, [&shown] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            shown = box ? box->text() : modal->objectName();
            modal->close();
        }
    });
    frame.OnFileAccount();
    if (fileAccountSays.isEmpty())
        QCOMPARE(shown, QStringLiteral("accountDialog"));
    else
        QVERIFY2(shown.contains(fileAccountSays), qPrintable(shown));
}

QTEST_MAIN(TestSyncModule)
#include "tst_syncmodule.moc"
