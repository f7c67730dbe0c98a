// Undo, Find and Go to Date as the user reaches them: keys on the real frame, real dialogs.

#include "ChildFrame.h"
#include "DataStore.h"
#include "DayDialogDriver.h"
#include "FindDialog.h"
#include "GoToDateDialog.h"
#include "ManualClock.h"
#include "SampleYears.h"
#include "TolvaApp.h"
#include "TolvaView.h"
#include "ViewCommands.h"

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace DayDialogDriver;

class TestEditCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void ctrlZTakesBackADeletedProjectToTheByte();
    void ctrlFListsEveryYearsDaysAndShowsTheChosenOne();
    void ctrlGShowsTheDate();

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
    whenModal<GoToDateDialog>([](GoToDateDialog* d) {
        d->dateEdit()->setFocus();
        d->dateEdit()->setSelectedSection(QDateTimeEdit::YearSection);
        typeText(d->dateEdit(), "2031");
        d->dateEdit()->setSelectedSection(QDateTimeEdit::DaySection);
        typeText(d->dateEdit(), "09");
        QTest::keyClick(d, Qt::Key_Return);
    });
    QTest::keyClick(view(), Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(view()->shownYear(), 2031);
    QCOMPARE(view()->selectedDay().wMonth, 3);
    QCOMPARE(view()->selectedDay().wDay, 9);
}

QTEST_MAIN(TestEditCommands)
#include "tst_editcommands.moc"
