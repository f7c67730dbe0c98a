// Undo, Find and Go to Date as the user reaches them: keys on the real frame, real dialogs.

#include "ChildFrame.h"
#include "DataStore.h"
#include "DayDialogDriver.h"
#include "ManualClock.h"
#include "SampleYears.h"
#include "TolvaApp.h"
#include "TolvaView.h"
#include "ViewCommands.h"

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace DayDialogDriver;

class TestEditCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void ctrlZTakesBackADeletedProjectToTheByte();

private:
    void activate()
    {
        frame().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame()));
        view()->setFocus();
    }
    CMainFrame& frame() const { return *m_app->mainFrame(); }
    CTolvaView* view() const { return frame().activeView(); }
    QByteArray yearFile(int year) const
    {
        QFile f(frame().store().yearPath(year));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    ManualClock m_clock{moment(2026, 3, 15, 10, 0, 0)};
    std::unique_ptr<CTolvaApp> m_app;
};

void TestEditCommands::init()
{
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    m_dir = std::make_unique<QTemporaryDir>();
    DataStore store;
    store.CaptureWorkDir(m_dir->path());
    QVERIFY(store.saveYear(sampleRichYear(2026)).ok());
    QVERIFY(store.saveYear(sampleRichYear(2024)).ok());
    m_app = std::make_unique<CTolvaApp>(m_clock);
    m_app->setMessageSink([](const QString& m) { QFAIL(qPrintable(m)); });
    QCOMPARE(m_app->InitInstance({}, m_dir->path()), CTolvaApp::Outcome::Started);
    activate();
}

void TestEditCommands::cleanup()
{
    m_app.reset();
    m_dir.reset();
}

// A project deleted with its ticks by mistake comes back whole, and Redo deletes it again.
void TestEditCommands::ctrlZTakesBackADeletedProjectToTheByte()
{
    view()->saveYear(); // what the window shows (its toggles, the selected day) is stored with the year
    const QByteArray before = yearFile(2026);
    whenModal<CDia_Day>([](CDia_Day* d) {
        selectRow(d, 2);
        QTest::mouseClick(button(d, "deleteButton"), Qt::LeftButton);
        QTest::mouseClick(button(d, "okButton"), Qt::LeftButton);
    });
    QTest::keyClick(view(), Qt::Key_Return);
    activate(); // the platform without a window manager gives the frame no focus back
    const QByteArray deleted = yearFile(2026);
    QVERIFY(deleted != before);
    QCOMPARE(frame().viewCommands().undoAction()->text(), QStringLiteral("Undo Delete Project 'Project 2'"));

    QTest::keyClick(view(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(yearFile(2026), before);
    QTest::keyClick(view(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(yearFile(2026), deleted);
    QTest::keyClick(view(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(view(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(yearFile(2026), deleted);
}

QTEST_MAIN(TestEditCommands)
#include "tst_editcommands.moc"
