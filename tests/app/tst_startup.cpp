// Start-up and shutdown of the whole application in-process: a temporary working directory, a clock the test
// sets, and messages caught instead of shown in boxes.

#include "ChildFrame.h"
#include "DataFolderLock.h"
#include "DataStore.h"
#include "ManualClock.h"
#include "Moments.h"
#include "RecentFiles.h"
#include "TolvaApp.h"
#include "TolvaDoc.h"
#include "TolvaView.h"
#include "YearDocument.h"
#include "YearRegistry.h"

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMenuBar>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using TestSupport::moment;

namespace {

// The application started in its own working directory.
struct Session
{
    QTemporaryDir dir;
    ManualClock clock{moment(2011, 3, 15, 9, 0, 0)};
    QStringList messages;
    std::unique_ptr<CTolvaApp> app;

    CTolvaApp::Outcome start(const QStringList& arguments = {})
    {
        app = std::make_unique<CTolvaApp>(clock);
        app->setMessageSink([this](const QString& m) { messages.append(m); });
        return app->InitInstance(arguments, dir.path());
    }
    CMainFrame& frame() const { return *app->mainFrame(); }
    QString years() const { return dir.filePath(QStringLiteral("YEARS")); }
    QString path(const QString& name) const { return years() + QLatin1Char('/') + name; }
    DataStore store() const
    {
        DataStore s;
        s.CaptureWorkDir(dir.path());
        return s;
    }
    QStringList dataFiles() const
    {
        return QDir(years()).entryList({QStringLiteral("*.year")}, QDir::Files, QDir::Name);
    }
};

QStringList menuTitles(const CMainFrame& frame)
{
    QStringList titles;
    for (const QAction* a : frame.menuBar()->actions())
        titles.append(a->text());
    return titles;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void startsWithOneYearWindowAndMenu129();
    void writesNothingAtStartUp();
    void defaultsAreLoadedBeforeTheFirstYearWindow();
    void unreadableDefaultsAreToldOnceAndStartUpGoesOn();
    void menusFollowTheYearWindows();
    void newWindowAddsAViewOnTheSameDocument();
    void eachCaptionNamesTheYearItsWindowShows();
    void closeClosesTheWholeDocument();
    void exitWritesDefaultsAfterTheLastViewSaved();
    void commandLineFileOpensAFreshYearWindow();
    void recentFileListKeepsTenEntries();
    void secondPlannerOnTheSameFolderStopsWithoutWriting();
    void lockIsReleasedAtExit();
};

void TestStartup::initTestCase()
{
    // Settings (the recent-file list) go to a folder of this run, not to the user's.
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QStandardPaths::setTestModeEnabled(true);
}

// Each test starts as the first start: no year windows kept from an earlier exit.
void TestStartup::init()
{
    CTolvaApp::setIdentity();
    QSettings().remove(QStringLiteral("session"));
}

// Without arguments the program opens its first year window, showing the clock's year.
void TestStartup::startsWithOneYearWindowAndMenu129()
{
    Session s;
    QCOMPARE(s.start(), CTolvaApp::Outcome::Started);
    QCOMPARE(s.frame().yearWindows().size(), 1);
    QCOMPARE(s.frame().menuId(), CMainFrame::kMenuYear);
    QCOMPARE(s.frame().activeView()->shownYear(), 2011);
    QCOMPARE(s.frame().yearWindows().first()->windowTitle(), QStringLiteral("2011"));
    QCOMPARE(s.frame().statusBar()->currentMessage(), QStringLiteral(" "));
    QVERIFY(s.frame().isVisible());
    QVERIFY(s.messages.isEmpty());
}

// The year and defaults files reach the disk only when windows close or the program ends; start-up writes
// nothing but the folder and its lock. (The stop-signal test relies on this.)
void TestStartup::writesNothingAtStartUp()
{
    Session s;
    QCOMPARE(s.start(), CTolvaApp::Outcome::Started);
    QVERIFY(QFileInfo(s.years()).isDir());
    QCOMPARE(s.dataFiles(), QStringList());
    QCOMPARE(QDir(s.years()).entryList(QDir::Files | QDir::Hidden), QStringList{DataFolderLock::fileName()});
}

// The first window already paints with the folder's defaults.
void TestStartup::defaultsAreLoadedBeforeTheFirstYearWindow()
{
    Session s;
    DisplaySettings defaults = DisplaySettings::builtInDefaults(moment(2011, 1, 1));
    defaults.m_nMargin = 23;
    QVERIFY(QDir().mkpath(s.years()));
    QVERIFY(s.store().saveDefaults(defaults).ok());

    QCOMPARE(s.start(), CTolvaApp::Outcome::Started);
    QCOMPARE(s.frame().activeView()->settings().m_nMargin, 23);
}

// A defaults file that cannot be read gives the built-in defaults, and the user hears of it once.
void TestStartup::unreadableDefaultsAreToldOnceAndStartUpGoesOn()
{
    Session s;
    QVERIFY(QDir().mkpath(s.years()));
    QFile bad(s.path(QStringLiteral("YearDefaults.year")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("\x01\x00", 2);
    bad.close();

    QCOMPARE(s.start(), CTolvaApp::Outcome::Started);
    QCOMPARE(s.frame().yearWindows().size(), 1);
    QCOMPARE(s.messages.size(), 1);
    QVERIFY2(s.messages.first().contains(QStringLiteral("YearDefaults.year")),
             qPrintable(s.messages.first()));
    QCOMPARE(s.frame().activeView()->settings().m_nMargin,
             DisplaySettings::builtInDefaults(moment(2011, 1, 1)).m_nMargin);
}

// Menu 129 while a year window is open, menu 128 when the last one has closed; New brings 129 back.
void TestStartup::menusFollowTheYearWindows()
{
    Session s;
    QCOMPARE(s.start(), CTolvaApp::Outcome::Started);
    const QStringList with{QStringLiteral("&File"), QStringLiteral("&Edit"), QStringLiteral("&View"),
                           QStringLiteral("&Window"), QStringLiteral("&Help")};
    const QStringList without{QStringLiteral("&File"), QStringLiteral("&View"), QStringLiteral("&Help")};
    QCOMPARE(menuTitles(s.frame()), with);

    s.frame().yearWindows().first()->close();
    QCOMPARE(s.frame().yearWindows().size(), 0);
    QCOMPARE(s.frame().menuId(), CMainFrame::kMenuNoYear);
    QCOMPARE(menuTitles(s.frame()), without);
    QVERIFY(!s.frame().command(CMainFrame::ID_FILE_CLOSE)->isEnabled());

    s.frame().command(CMainFrame::ID_FILE_NEW)->trigger();
    QCOMPARE(s.frame().yearWindows().size(), 1);
    QCOMPARE(s.frame().menuId(), CMainFrame::kMenuYear);
    QCOMPARE(menuTitles(s.frame()), with);
}

// Window > New Window: a second view on the active document; the captions number the windows.
void TestStartup::newWindowAddsAViewOnTheSameDocument()
{
    Session s;
    QCOMPARE(s.start(), CTolvaApp::Outcome::Started);
    CChildFrame* first = s.frame().yearWindows().first();
    s.frame().command(CMainFrame::ID_WINDOW_NEW)->trigger();
    QCOMPARE(s.frame().yearWindows().size(), 2);
    CChildFrame* second = s.frame().yearWindows().last();
    QCOMPARE(second->document(), first->document());
    QVERIFY(second->view() != first->view());
    QCOMPARE(first->windowTitle(), QStringLiteral("2011:1"));
    QCOMPARE(second->windowTitle(), QStringLiteral("2011:2"));
    // Both views share the one document of the year.
    QCOMPARE(second->view()->document(), first->view()->document());

    second->close();
    QCOMPARE(first->windowTitle(), QStringLiteral("2011"));
}

// Two windows on one year, one steps on: each caption keeps naming its own window's year, and the numbers
// count the windows of one year, whichever document they belong to.
void TestStartup::eachCaptionNamesTheYearItsWindowShows()
{
    Session s;
    QCOMPARE(s.start(), CTolvaApp::Outcome::Started);
    s.frame().show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.frame()));
    CChildFrame* first = s.frame().yearWindows().first();
    s.frame().command(CMainFrame::ID_WINDOW_NEW)->trigger();
    CChildFrame* second = s.frame().yearWindows().last();
    CChildFrame* third = s.frame().OnFileNew();
    QVERIFY(third);
    QCOMPARE(first->windowTitle(), QStringLiteral("2011:1"));
    QCOMPARE(second->windowTitle(), QStringLiteral("2011:2"));
    QCOMPARE(third->windowTitle(), QStringLiteral("2011:3"));

    s.frame().mdiArea()->setActiveSubWindow(second);
    second->view()->OnYearPlus();
    for (CChildFrame* f : {first, second, third}) {
        // The other windows paint after it, and their document takes their year.
        QVERIFY(f->view()->isVisible());
        f->view()->repaint();
    }
    QCOMPARE(first->windowTitle(), QStringLiteral("2011:1"));
    QCOMPARE(second->windowTitle(), QStringLiteral("2012"));
    QCOMPARE(third->windowTitle(), QStringLiteral("2011:2"));
    QCOMPARE(s.frame().windowTitle(), QStringLiteral("Tolva - 2012"));

    third->close();
    QCOMPARE(first->windowTitle(), QStringLiteral("2011"));
    QCOMPARE(second->windowTitle(), QStringLiteral("2012"));
}

// File > Close closes every window of the active document and no other.
void TestStartup::closeClosesTheWholeDocument()
{
    Session s;
    QCOMPARE(s.start(), CTolvaApp::Outcome::Started);
    CChildFrame* other = s.frame().yearWindows().first();
    CChildFrame* active = s.frame().OnFileNew();
    QVERIFY(active);
    s.frame().OnWindowNew();
    QCOMPARE(s.frame().yearWindows().size(), 3);

    s.frame().mdiArea()->setActiveSubWindow(active);
    s.frame().command(CMainFrame::ID_FILE_CLOSE)->trigger();
    QCOMPARE(s.frame().yearWindows(), QList<CChildFrame*>{other});
}

// Exit: every view saves its year as its window closes, and only after the last one has gone are the
// defaults written. Seen through the files: when the defaults are about to be written, no window is left
// and the edited year is already on disk; afterwards the defaults file holds what the run left in them.
void TestStartup::exitWritesDefaultsAfterTheLastViewSaved()
{
    Session s;
    QCOMPARE(s.start(), CTolvaApp::Outcome::Started);
    s.frame().OnFileNew();
    s.frame().activeView()->document()->setMemo(75, "dentist");
    s.frame().registry().defaults().m_nMargin = 31;

    int windowsLeft = -1;
    QByteArray memoOnDisk;
    bool defaultsOnDisk = true;
    CMainFrame* frame = &s.frame();
    connect(frame, &CMainFrame::aboutToSaveDefaults, this, [&] {
        windowsLeft = int(frame->yearWindows().size());
        YearData year;
        year.reset();
        year.m_settings.m_stSelected = moment(2011, 1, 1);
        s.store().loadYear(year, DisplaySettings{});
        memoOnDisk = year.m_memos.at(75);
        defaultsOnDisk = QFileInfo::exists(s.path(QStringLiteral("YearDefaults.year")));
    });

    s.frame().command(CMainFrame::ID_APP_EXIT)->trigger();
    QVERIFY(!s.frame().isVisible());
    s.app->ExitInstance();

    QCOMPARE(windowsLeft, 0);
    QCOMPARE(memoOnDisk, QByteArray("dentist"));
    QVERIFY(!defaultsOnDisk);
    DisplaySettings defaults{};
    QVERIFY(s.store().loadDefaults(defaults).ok());
    QCOMPARE(defaults.m_nMargin, 31);
    QVERIFY(s.messages.isEmpty());
}

// A file name on the command line opens a fresh year window (as Ctrl+O does), whatever the file holds,
// and goes to the top of the recent-file list.
void TestStartup::commandLineFileOpensAFreshYearWindow()
{
    Session s;
    const QString file = s.dir.filePath(QStringLiteral("notes.txt"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a year");
    f.close();

    QCOMPARE(s.start({file}), CTolvaApp::Outcome::Started);
    QCOMPARE(s.frame().yearWindows().size(), 1);
    QCOMPARE(s.frame().activeView()->shownYear(), 2011);
    QCOMPARE(s.app->recentFiles().files().value(0), QFileInfo(file).absoluteFilePath());
    s.app->ExitInstance();
    QCOMPARE(QSettings().value(QStringLiteral("Recent File List/File1")).toString(),
             QFileInfo(file).absoluteFilePath());
    QCOMPARE(QFile(file).size(), qint64(10));
}

void TestStartup::recentFileListKeepsTenEntries()
{
    {
        RecentFiles recent;
        for (int i = 0; i < 12; ++i)
            recent.add(QStringLiteral("/tmp/file%1").arg(i));
        recent.add(QStringLiteral("/tmp/file5"));
        QCOMPARE(recent.files().size(), RecentFiles::kSize);
        QCOMPARE(recent.files().first(), QStringLiteral("/tmp/file5"));
        QCOMPARE(recent.files().count(QStringLiteral("/tmp/file5")), 1);
        recent.save();
    }
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("Recent File List/File1")).toString(),
             QStringLiteral("/tmp/file5"));
    QCOMPARE(settings.value(QStringLiteral("Recent File List/File10")).toString(),
             QStringLiteral("/tmp/file2"));
    QVERIFY(!settings.contains(QStringLiteral("Recent File List/File11")));
}

// Two planners on one folder would overwrite each other's edits: the second says so plainly and stops
// before it builds a window or writes a byte.
void TestStartup::secondPlannerOnTheSameFolderStopsWithoutWriting()
{
    Session s;
    QVERIFY(QDir().mkpath(s.years()));
    QFile year(s.path(QStringLiteral("2011.year")));
    QVERIFY(year.open(QIODevice::WriteOnly));
    year.write(YearFileCodec::encode([] {
        YearData y;
        y.reset();
        y.m_settings = DisplaySettings::builtInDefaults(moment(2011, 1, 1));
        return y;
    }()));
    year.close();
    const QByteArray before = [&] {
        QFile f(year.fileName());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    DataFolderLock first(s.years());
    QCOMPARE(first.tryLock(), DataFolderLock::Status::Locked);

    QCOMPARE(s.start(), CTolvaApp::Outcome::FolderInUse);
    QVERIFY(!s.app->mainFrame());
    QCOMPARE(s.messages.size(), 1);
    QVERIFY2(s.messages.first().contains(QStringLiteral("in use by another running Tolva")),
             qPrintable(s.messages.first()));
    s.app.reset();

    QCOMPARE(s.dataFiles(), QStringList{QStringLiteral("2011.year")});
    QFile after(year.fileName());
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
}

void TestStartup::lockIsReleasedAtExit()
{
    Session s;
    QCOMPARE(s.start(), CTolvaApp::Outcome::Started);
    DataFolderLock other(s.years());
    QCOMPARE(other.tryLock(), DataFolderLock::Status::InUse);
    s.app->ExitInstance();
    QCOMPARE(other.tryLock(), DataFolderLock::Status::Locked);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
