// The main window's place and the open year windows come back at the next start, as the user left them,
// and a place that no screen shows any more is moved onto one.

#include "ChildFrame.h"
#include "ManualClock.h"
#include "Moments.h"
#include "TolvaApp.h"
#include "TolvaDoc.h"
#include "TolvaView.h"
#include "WindowSession.h"

#include <QFile>
#include <QGuiApplication>
#include <QMdiArea>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using TestSupport::moment;

class TestWindowSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void ontoScreen_data();
    void ontoScreen();
    void yearWindowsComeBackAsTheyWereLeft();
    void frameLeftOffEveryScreenComesBackOnOne();
    void damagedEntriesAreSkipped();

private:
    std::unique_ptr<CTolvaApp> start();

    QTemporaryDir m_dir;
    ManualClock m_clock{moment(2011, 3, 15, 9, 0, 0)};
};

void TestWindowSession::initTestCase()
{
    // A settings folder of this run only: test mode's would be shared with other test programs.
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    CTolvaApp::setIdentity();
}

void TestWindowSession::init()
{
    QSettings().clear();
}

std::unique_ptr<CTolvaApp> TestWindowSession::start()
{
    auto app = std::make_unique<CTolvaApp>(m_clock);
    app->setMessageSink([](const QString& m) { QFAIL(qPrintable(m)); });
    if (app->InitInstance({}, m_dir.path()) != CTolvaApp::Outcome::Started)
        return nullptr;
    return app;
}

void TestWindowSession::ontoScreen_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QList<QRect>>("screens");
    QTest::addColumn<QRect>("expected");

    const QRect hd(0, 0, 1920, 1080);
    const QRect right(1920, 0, 1280, 1024);
    QTest::newRow("on the screen") << QRect(100, 100, 800, 600) << QList<QRect>{hd}
                                   << QRect(100, 100, 800, 600);
    QTest::newRow("partly off, title bar reachable")
        << QRect(1500, 900, 800, 600) << QList<QRect>{hd} << QRect(1500, 900, 800, 600);
    QTest::newRow("on a second screen")
        << QRect(2000, 50, 800, 600) << QList<QRect>{hd, right} << QRect(2000, 50, 800, 600);
    QTest::newRow("second screen unplugged")
        << QRect(2000, 50, 800, 600) << QList<QRect>{hd} << QRect(560, 240, 800, 600);
    QTest::newRow("title bar above the top")
        << QRect(100, -300, 800, 600) << QList<QRect>{hd} << QRect(560, 240, 800, 600);
    QTest::newRow("only a sliver on the screen")
        << QRect(1880, 100, 800, 600) << QList<QRect>{hd} << QRect(560, 240, 800, 600);
    QTest::newRow("larger than the screen now")
        << QRect(-3000, 0, 2560, 1440) << QList<QRect>{QRect(0, 0, 800, 600)} << QRect(0, 0, 800, 600);
}

void TestWindowSession::ontoScreen()
{
    QFETCH(QRect, frame);
    QFETCH(QList<QRect>, screens);
    QFETCH(QRect, expected);
    QCOMPARE(WindowSession::ontoScreen(frame, screens), expected);
}

// Three windows on two years, one of them a second window on a document, each where the user put it.
void TestWindowSession::yearWindowsComeBackAsTheyWereLeft()
{
    WindowSession left;
    {
        std::unique_ptr<CTolvaApp> app = start();
        QVERIFY(app);
        CMainFrame& frame = *app->mainFrame();
        frame.setGeometry(40, 30, 700, 500);
        CChildFrame* first = frame.yearWindows().first();
        CChildFrame* second = frame.OnWindowNew();
        CChildFrame* third = frame.OnFileNew();
        QVERIFY(second && third);
        third->view()->OnYearPlus();
        third->view()->OnYearPlus();
        first->setGeometry(0, 0, 300, 200);
        second->setGeometry(20, 20, 320, 210);
        third->setGeometry(40, 40, 340, 220);
        frame.mdiArea()->setActiveSubWindow(second);
        left = frame.captureSession();
        QVERIFY(frame.close());
    }
    QCOMPARE(left.windows.size(), 3);
    QCOMPARE(WindowSession::load(), left);

    std::unique_ptr<CTolvaApp> app = start();
    QVERIFY(app);
    CMainFrame& frame = *app->mainFrame();
    const QList<CChildFrame*> windows = frame.yearWindows();
    QCOMPARE(windows.size(), 3);
    QCOMPARE(windows.at(0)->view()->shownYear(), 2011);
    QCOMPARE(windows.at(1)->view()->shownYear(), 2011);
    QCOMPARE(windows.at(2)->view()->shownYear(), 2013);
    QCOMPARE(windows.at(0)->document(), windows.at(1)->document());
    QVERIFY(windows.at(2)->document() != windows.at(0)->document());
    QCOMPARE(windows.at(0)->windowTitle(), QStringLiteral("2011:1"));
    QCOMPARE(windows.at(2)->windowTitle(), QStringLiteral("2013"));
    QCOMPARE(windows.at(1)->geometry(), QRect(20, 20, 320, 210));
    QCOMPARE(windows.at(2)->geometry(), QRect(40, 40, 340, 220));
    QCOMPARE(frame.activeYearWindow(), windows.at(1));
    QCOMPARE(frame.geometry(), QRect(40, 30, 700, 500));
    QCOMPARE(frame.captureSession(), left);
}

void TestWindowSession::frameLeftOffEveryScreenComesBackOnOne()
{
    WindowSession s;
    s.frameGeometry = QRect(-5000, -4000, 600, 400);
    s.windows.append({2012, 0, QRect(0, 0, 300, 200), false, false});
    s.save();
    std::unique_ptr<CTolvaApp> app = start();
    QVERIFY(app);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(app->mainFrame()->geometry().topLeft()),
             qPrintable(QStringLiteral("%1,%2").arg(app->mainFrame()->x()).arg(app->mainFrame()->y())));
    QCOMPARE(app->mainFrame()->activeView()->shownYear(), 2012);
}

// A settings file edited by hand or cut short must not stop the planner from starting.
void TestWindowSession::damagedEntriesAreSkipped()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("session"));
    settings.beginWriteArray(QStringLiteral("windows"), 3);
    settings.setArrayIndex(0);
    settings.setValue(QStringLiteral("year"), QStringLiteral("not a year"));
    settings.setArrayIndex(1);
    settings.setValue(QStringLiteral("year"), 123456);
    settings.setArrayIndex(2);
    settings.setValue(QStringLiteral("year"), 2014);
    settings.endArray();
    settings.setValue(QStringLiteral("active"), 7);
    settings.endGroup();
    settings.sync();

    const WindowSession loaded = WindowSession::load();
    QCOMPARE(loaded.windows.size(), 1);
    QCOMPARE(loaded.active, 0);
    std::unique_ptr<CTolvaApp> app = start();
    QVERIFY(app);
    QCOMPARE(app->mainFrame()->yearWindows().size(), 1);
    QCOMPARE(app->mainFrame()->activeView()->shownYear(), 2014);

    // Nothing kept at all: the first start's current year.
    app.reset();
    QSettings().clear();
    app = start();
    QVERIFY(app);
    QCOMPARE(app->mainFrame()->activeView()->shownYear(), 2011);
}

QTEST_MAIN(TestWindowSession)
#include "tst_windowsession.moc"
