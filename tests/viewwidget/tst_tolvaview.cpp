// The year view driven as a user drives it: real widgets offscreen, a temporary working directory, a clock
// the test sets.

#include "DataStore.h"
#include "DayDialogDriver.h"
#include "ManualClock.h"
#include "Moments.h"
#include "TolvaView.h"
#include "YearDocument.h"
#include "YearGrid.h"
#include "YearGridAccessible.h"
#include "YearOnDisk.h"
#include "YearPainter.h"
#include "YearRegistry.h"

#include <QAccessible>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace DayDialogDriver;

namespace {

// Counts the paints a widget receives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// A planner's data folder with a registry over it, as the application sets it up.
struct Planner
{
    QTemporaryDir dir;
    DataStore store;
    DisplaySettings defaults{};
    std::unique_ptr<YearRegistry> registry;
    ManualClock clock{moment(2011, 3, 15, 9, 0, 0)};

    Planner()
    {
        store.CaptureWorkDir(dir.path());
        defaults = DisplaySettings::builtInDefaults(moment(2011, 3, 15));
        registry = std::make_unique<YearRegistry>(store, defaults);
    }

    std::unique_ptr<CTolvaView> view()
    {
        auto v = std::make_unique<CTolvaView>(*registry, clock);
        v->resize(1200, 800);
        v->show();
        v->OnInitialUpdate();
        if (!QTest::qWaitForWindowExposed(v.get()))
            qFatal("view not exposed");
        return v;
    }

    YearData onDisk(int year) const { return TestSupport::yearOnDisk(store, year, defaults); }
};

QPoint cellCenter(const CTolvaView& view, int month, int day)
{
    const YearGrid grid(view.size(), view.settings());
    return grid.cellFill(month - 1, day - 1).center();
}

// Opens the Day dialog on the view's selected day, types a memo and confirms.
void editMemo(CTolvaView& view, const QString& memo)
{
    whenModal<CDia_Day>([memo](CDia_Day* dialog) {
        const Controls c(dialog);
        typeText(c.memoEdit, memo);
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
    });
    QTest::keyClick(&view, Qt::Key_Return);
}

QString memoOf(const YearData& data, int year, int month, int day)
{
    return TextCodec::decode(data.m_memos.at(Calendar::dayOfYear(year, month, day)));
}

} // namespace

class TestTolvaView : public QObject
{
    Q_OBJECT

private slots:
    void yearStepsSaveTheLeftYearAndTurnTheTogglesOn();
    void yearStepsKeepTodaysDayInTheNewYear_data();
    void yearStepsKeepTodaysDayInTheNewYear();
    void keysMoveTheSelectionAsTheTableSays_data();
    void keysMoveTheSelectionAsTheTableSays();
    void clicksSelectCellsAndIgnoreTheMargins();
    void cancelLeavesTheViewUnchangedAndUnpainted();
    void aPaintOfPartOfTheViewTouchesOnlyThatPart_data();
    void aPaintOfPartOfTheViewTouchesOnlyThatPart();
    void anEditIsOnDiskRightAfterOk();
    void alarmsAreReportedOncePerTickInDayOrder();
    void alarmsThatCannotOrMustNotFireStayQuiet_data();
    void alarmsThatCannotOrMustNotFireStayQuiet();
    void twoWindowsOnOneYearKeepBothEdits_data();
    void twoWindowsOnOneYearKeepBothEdits();
    void everyYearRedDaysReachOtherOpenYears();
    void aDayTheDamagedListsCannotHoldIsRefusedWithAMessage();
    void theAccessibleTableNamesCellsAsTheStatusBarDoes();
};

// Leaving a year writes it before the next is read; a stored toggle never comes back.
void TestTolvaView::yearStepsSaveTheLeftYearAndTurnTheTogglesOn()
{
    Planner p;
    auto view = p.view();
    QCOMPARE(view->shownYear(), 2011);
    view->flipToggle(CTolvaView::Toggle::Sundays);
    view->flipToggle(CTolvaView::Toggle::RedDays);
    QVERIFY(!view->isToggleOn(CTolvaView::Toggle::Sundays));

    view->OnYearPlus();
    QCOMPARE(view->shownYear(), 2012);
    QVERIFY(QFile::exists(p.store.yearPath(2011)));
    // The left year was saved with the toggles as they were when it was left.
    QCOMPARE(p.onDisk(2011).m_settings.m_bShowSundays, std::uint8_t(0));
    for (auto t :
         {CTolvaView::Toggle::DayNumbers, CTolvaView::Toggle::Sundays, CTolvaView::Toggle::ProjectLines,
          CTolvaView::Toggle::MemoAlarm, CTolvaView::Toggle::RedDays})
        QVERIFY(view->isToggleOn(t));

    view->flipToggle(CTolvaView::Toggle::DayNumbers);
    view->OnYearMinus();
    QCOMPARE(view->shownYear(), 2011);
    QVERIFY(QFile::exists(p.store.yearPath(2012)));
    QVERIFY(view->isToggleOn(CTolvaView::Toggle::DayNumbers));
    QVERIFY(view->isToggleOn(CTolvaView::Toggle::Sundays));
}

void TestTolvaView::yearStepsKeepTodaysDayInTheNewYear_data()
{
    QTest::addColumn<SYSTEMTIME>("today");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("step");
    QTest::addColumn<SYSTEMTIME>("selected");
    QTest::newRow("15 March 2011 + 1") << moment(2011, 3, 15, 9) << 2011 << 1 << moment(2012, 3, 15);
    QTest::newRow("29 February 2024 + 1") << moment(2024, 2, 29, 9) << 2024 << 1 << moment(2025, 2, 28);
    QTest::newRow("29 February 2024 - 4") << moment(2024, 2, 29, 9) << 2024 << -4 << moment(2020, 2, 29);
    // At the ends of the calendar the step does nothing: the year and the moved selection stay.
    QTest::newRow("year 9999 + 1 stays") << moment(9999, 6, 1, 9) << 9999 << 1 << moment(9999, 6, 2);
    QTest::newRow("year 1 - 1 stays") << moment(1, 6, 1, 9) << 1 << -1 << moment(1, 6, 2);
}

// The cursor takes today's month and day in the new year, never the previously selected day.
void TestTolvaView::yearStepsKeepTodaysDayInTheNewYear()
{
    QFETCH(SYSTEMTIME, today);
    QFETCH(int, shown);
    QFETCH(int, step);
    QFETCH(SYSTEMTIME, selected);
    Planner p;
    p.clock.set(today);
    auto view = p.view();
    QCOMPARE(view->shownYear(), shown);
    QTest::keyClick(view.get(), Qt::Key_Down); // a selection that a step must not keep
    for (int i = 0; i < std::abs(step); ++i)
        step > 0 ? view->OnYearPlus() : view->OnYearMinus();
    QCOMPARE(view->selectedDay(), selected);
    QCOMPARE(view->document()->year(), int(selected.wYear));
}

void TestTolvaView::keysMoveTheSelectionAsTheTableSays_data()
{
    QTest::addColumn<SYSTEMTIME>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    const SYSTEMTIME june10 = moment(2011, 6, 10);
    QTest::newRow("left") << june10 << int(Qt::Key_Left) << 2011 << 5 << 10;
    QTest::newRow("right") << june10 << int(Qt::Key_Right) << 2011 << 7 << 10;
    QTest::newRow("up") << june10 << int(Qt::Key_Up) << 2011 << 6 << 9;
    QTest::newRow("down") << june10 << int(Qt::Key_Down) << 2011 << 6 << 11;
    QTest::newRow("end: December, same day") << june10 << int(Qt::Key_End) << 2011 << 12 << 10;
    QTest::newRow("left in January stays") << moment(2011, 1, 5) << int(Qt::Key_Left) << 2011 << 1 << 5;
    QTest::newRow("right in December stays") << moment(2011, 12, 5) << int(Qt::Key_Right) << 2011 << 12 << 5;
    QTest::newRow("up on day 1 stays") << moment(2011, 6, 1) << int(Qt::Key_Up) << 2011 << 6 << 1;
    QTest::newRow("down to 31 June") << moment(2011, 6, 30) << int(Qt::Key_Down) << 2011 << 6 << 31;
    QTest::newRow("page up: next year") << june10 << int(Qt::Key_PageUp) << 2012 << 3 << 15;
    QTest::newRow("page down: previous year") << june10 << int(Qt::Key_PageDown) << 2010 << 3 << 15;
    QTest::newRow("home: today") << june10 << int(Qt::Key_Home) << 2011 << 3 << 15;
    QTest::newRow("other key: nothing") << june10 << int(Qt::Key_A) << 2011 << 6 << 10;
}

// Every key repaints; the arrows never wrap and never change the year.
void TestTolvaView::keysMoveTheSelectionAsTheTableSays()
{
    QFETCH(SYSTEMTIME, start);
    QFETCH(int, key);
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    Planner p;
    auto view = p.view();
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, cellCenter(*view, start.wMonth, start.wDay));
    QCOMPARE(int(view->selectedDay().wMonth), int(start.wMonth));
    QCOMPARE(int(view->selectedDay().wDay), int(start.wDay));
    QTest::qWait(1);
    PaintCounter paints(view.get());
    QTest::keyClick(view.get(), Qt::Key(key));
    QTRY_VERIFY(paints.count > 0);
    QCOMPARE(view->shownYear(), year);
    QCOMPARE(int(view->selectedDay().wMonth), month);
    QCOMPARE(int(view->selectedDay().wDay), day);
}

// A click beside or below the cells selects nothing; a right click goes to today.
void TestTolvaView::clicksSelectCellsAndIgnoreTheMargins()
{
    Planner p;
    auto view = p.view();
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, cellCenter(*view, 7, 31));
    QCOMPARE(view->selectedDay(), moment(2011, 7, 31));
    const YearGrid grid(view->size(), view->settings());
    for (const QPoint outside :
         {QPoint(grid.left() - 5, grid.top() + 40), QPoint(grid.right() + 3, grid.top() + 40),
          QPoint(grid.left() + 40, grid.bottom() + 3), QPoint(grid.left() + 40, 5)}) {
        QTest::mouseClick(view.get(), Qt::LeftButton, {}, outside);
        QCOMPARE(view->selectedDay(), moment(2011, 7, 31));
    }
    QTest::mouseClick(view.get(), Qt::RightButton, {}, cellCenter(*view, 1, 1));
    QCOMPARE(view->selectedDay(), moment(2011, 3, 15, 9));
}

void TestTolvaView::cancelLeavesTheViewUnchangedAndUnpainted()
{
    Planner p;
    auto view = p.view();
    QTest::qWait(20);
    const YearData before = view->document()->data();
    PaintCounter paints(view.get());
    whenModal<CDia_Day>([](CDia_Day* dialog) {
        typeText(Controls(dialog).memoEdit, QStringLiteral("never stored"));
        QTest::mouseClick(button(dialog, "cancelButton"), Qt::LeftButton);
    });
    QVERIFY(!view->editSelectedDay());
    QTest::qWait(50);
    QCOMPARE(paints.count, 0);
    QVERIFY(view->document()->data() == before);
    QVERIFY(!view->document()->isUnsaved());
}

// A window uncovered in part repaints only that part: pixels around it belong to whatever lies over the
// view, and must stay as they are.
void TestTolvaView::aPaintOfPartOfTheViewTouchesOnlyThatPart_data()
{
    QTest::addColumn<QRegion>("part");
    QTest::newRow("one rectangle across cells") << QRegion(301, 155, 412, 230);
    QTest::newRow("two rectangles") << (QRegion(40, 60, 300, 200) + QRegion(500, 400, 500, 300));
    QTest::newRow("the grid's left edge") << QRegion(0, 0, 30, 800);
}

void TestTolvaView::aPaintOfPartOfTheViewTouchesOnlyThatPart()
{
    QFETCH(QRegion, part);
    Planner p;
    auto view = p.view();
    QImage whole(view->size(), QImage::Format_ARGB32_Premultiplied);
    whole.fill(Qt::magenta);
    view->render(&whole);
    QImage partial(view->size(), QImage::Format_ARGB32_Premultiplied);
    partial.fill(Qt::magenta);
    view->render(&partial, part.boundingRect().topLeft(), part); // the part stays in its place
    for (int y = 0; y < partial.height(); ++y)
        for (int x = 0; x < partial.width(); ++x) {
            const QRgb expected = part.contains(QPoint(x, y)) ? whole.pixel(x, y) : QColor(Qt::magenta).rgb();
            if (partial.pixel(x, y) != expected)
                QFAIL(
                    qPrintable(QString("(%1, %2) is %3").arg(x).arg(y).arg(partial.pixelColor(x, y).name())));
        }
}

// A planner stays open for weeks: a confirmed edit must not wait for the year to be left.
void TestTolvaView::anEditIsOnDiskRightAfterOk()
{
    Planner p;
    auto view = p.view();
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, cellCenter(*view, 4, 2));
    editMemo(*view, QStringLiteral("Dentist"));
    QCOMPARE(memoOf(p.onDisk(2011), 2011, 4, 2), QStringLiteral("Dentist"));
    QVERIFY(!view->document()->isUnsaved());
}

// Three past alarms: one box per tick, in day order, each on top of the last; fired is on disk at once.
void TestTolvaView::alarmsAreReportedOncePerTickInDayOrder()
{
    Planner p;
    {
        auto doc = p.registry->open(2011);
        for (const auto& [month, day, text] :
             {std::tuple{3, 2, "second"}, std::tuple{1, 20, "first"}, std::tuple{3, 10, "third"}}) {
            AlarmRecord a{};
            a.m_bOn = 1;
            a.m_stWhen = moment(2011, month, day, 8, 30);
            doc->setAlarm(Calendar::dayOfYear(2011, month, day), a, text);
        }
    }
    auto view = p.view();
    QStringList shown;
    for (int tick = 0; tick < 4; ++tick) {
        view->checkAlarms();
        const QList<QMessageBox*> boxes = view->openAlarmBoxes();
        QCOMPARE(boxes.size(), std::min(tick + 1, 3));
        shown.append(boxes.last()->text().section(QLatin1Char('\n'), 2));
    }
    QCOMPARE(shown, (QStringList{"first", "second", "third", "third"}));
    QMessageBox* box = view->openAlarmBoxes().first();
    QCOMPARE(box->windowTitle(), QStringLiteral("Alarm Message"));
    QCOMPARE(box->icon(), QMessageBox::Information);
    QCOMPARE(box->standardButtons(), QMessageBox::Ok);
    QCOMPARE(box->text(), QStringLiteral("08:30   Thursday, January 20, 2011\n\nfirst"));
    const YearData disk = p.onDisk(2011);
    QCOMPARE(disk.m_alarms.at(Calendar::dayOfYear(2011, 3, 10)).m_bFired, std::uint8_t(1));
}

void TestTolvaView::alarmsThatCannotOrMustNotFireStayQuiet_data()
{
    QTest::addColumn<SYSTEMTIME>("when");
    QTest::addColumn<int>("on");
    QTest::addColumn<int>("fired");
    QTest::addColumn<bool>("fires");
    QTest::newRow("due this second") << moment(2011, 3, 15, 9, 0, 0) << 1 << 0 << true;
    QTest::newRow("one second ahead") << moment(2011, 3, 15, 9, 0, 1) << 1 << 0 << false;
    SYSTEMTIME april31 = moment(2011, 4, 30, 8);
    april31.wDay = 31;
    april31.wMonth = 4;
    QTest::newRow("31 April") << april31 << 1 << 0 << false;
    QTest::newRow("switched off") << moment(2011, 1, 2, 8) << 0 << 0 << false;
    QTest::newRow("fired before") << moment(2011, 1, 2, 8) << 1 << 1 << false;
}

void TestTolvaView::alarmsThatCannotOrMustNotFireStayQuiet()
{
    QFETCH(SYSTEMTIME, when);
    QFETCH(int, on);
    QFETCH(int, fired);
    QFETCH(bool, fires);
    Planner p;
    p.clock.set(moment(2011, 6, 1));
    AlarmRecord a{};
    a.m_bOn = std::uint8_t(on);
    a.m_bFired = std::uint8_t(fired);
    a.m_stWhen = when;
    p.registry->open(2011)->setAlarm(40, a, "text");
    p.clock.set(moment(2011, 3, 15, 9, 0, 0));
    auto view = p.view();
    view->checkAlarms();
    view->checkAlarms();
    QCOMPARE(view->openAlarmBoxes().size(), fires ? 1 : 0);
}

void TestTolvaView::twoWindowsOnOneYearKeepBothEdits_data()
{
    QTest::addColumn<bool>("firstClosesFirst");
    QTest::newRow("first window closes first") << true;
    QTest::newRow("second window closes first") << false;
}

// One document per year: an edit in one window shows in the other, and whichever closes last, both stay.
void TestTolvaView::twoWindowsOnOneYearKeepBothEdits()
{
    QFETCH(bool, firstClosesFirst);
    Planner p;
    auto first = p.view();
    auto second = p.view();
    QCOMPARE(first->document(), second->document());
    QTest::mouseClick(first.get(), Qt::LeftButton, {}, cellCenter(*first, 5, 1));
    editMemo(*first, QStringLiteral("from the first"));
    QTest::mouseClick(second.get(), Qt::LeftButton, {}, cellCenter(*second, 5, 2));
    editMemo(*second, QStringLiteral("from the second"));
    QCOMPARE(memoOf(first->document()->data(), 2011, 5, 2), QStringLiteral("from the second"));

    (firstClosesFirst ? first : second).reset();
    (firstClosesFirst ? second : first).reset();
    const YearData disk = p.onDisk(2011);
    QCOMPARE(memoOf(disk, 2011, 5, 1), QStringLiteral("from the first"));
    QCOMPARE(memoOf(disk, 2011, 5, 2), QStringLiteral("from the second"));
}

// A red day flagged every year in one window is a red day of every other open year at once.
void TestTolvaView::everyYearRedDaysReachOtherOpenYears()
{
    Planner p;
    auto view2011 = p.view();
    auto view2012 = p.view();
    view2012->OnYearPlus();
    QCOMPARE(view2012->shownYear(), 2012);
    QTest::mouseClick(view2011.get(), Qt::LeftButton, {}, cellCenter(*view2011, 12, 25));
    whenModal<CDia_Day>([](CDia_Day* dialog) {
        const Controls c(dialog);
        click(dialog, "redDayRadio");
        typeText(c.redDayEdit, QStringLiteral("Christmas"));
        click(c.everyYearBox);
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
    });
    QVERIFY(view2011->editSelectedDay());
    const int day2012 = Calendar::dayOfYear(2012, 12, 25);
    QCOMPARE(view2012->document()->data().m_redTexts.at(day2012), QByteArray("Christmas"));
    // Shown there, not written there: 2012 itself was not edited.
    QVERIFY(p.onDisk(2012).m_redTexts.at(day2012).isEmpty());
    ForeverRedDays everyYear;
    QVERIFY(p.store.loadForeverRedDays(everyYear).ok());
    QCOMPARE(everyYear.m_foreverRedTexts.count(), 1);

    // Unflagged again, the copies it placed go with it.
    whenModal<CDia_Day>([](CDia_Day* dialog) {
        click(dialog, "redDayRadio");
        click(Controls(dialog).everyYearBox);
        QTest::mouseClick(button(dialog, "okButton"), Qt::LeftButton);
    });
    QVERIFY(view2011->editSelectedDay());
    QVERIFY(view2012->document()->data().m_redTexts.at(day2012).isEmpty());
    QVERIFY(p.store.loadForeverRedDays(everyYear).ok());
    QCOMPARE(everyYear.m_foreverRedTexts.count(), 0);
}

// A damaged file can leave per-day lists too short; the user hears why a day cannot be edited.
void TestTolvaView::aDayTheDamagedListsCannotHoldIsRefusedWithAMessage()
{
    Planner p;
    {
        YearData shortYear;
        shortYear.reset();
        shortYear.m_settings = p.defaults;
        shortYear.m_settings.m_stSelected = moment(2011, 1, 1);
        shortYear.m_memos.setCount(40);
        QVERIFY(p.store.saveYear(shortYear).ok());
    }
    auto view = p.view();
    QTest::mouseClick(view.get(), Qt::LeftButton, {}, cellCenter(*view, 3, 1)); // day 60
    QString told;
    whenModal<QMessageBox>([&told](QMessageBox* box) {
        told = box->text();
        box->accept();
    });
    QVERIFY(!view->editSelectedDay());
    QVERIFY2(told.contains(QStringLiteral("cannot be edited")), qPrintable(told));
}

// A screen reader hears the same date the status bar shows, and what the day holds.
void TestTolvaView::theAccessibleTableNamesCellsAsTheStatusBarDoes()
{
    Planner p;
    {
        auto doc = p.registry->open(2011);
        doc->setMemo(Calendar::dayOfYear(2011, 3, 15), "Dentist");
    }
    auto view = p.view();
    QAccessible::setActive(true);
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(view.get());
    QVERIFY(table);
    QCOMPARE(table->role(), QAccessible::Table);
    QAccessibleTableInterface* cells = table->tableInterface();
    QVERIFY(cells);
    QCOMPARE(cells->rowCount(), 31);
    QCOMPARE(cells->columnCount(), 12);
    QAccessibleInterface* cell = cells->cellAt(14, 2);
    const QString status = *g_pYearPainter->StatusText(view->size(), view->settings(),
                                                       view->document()->data(), cellCenter(*view, 3, 15));
    QVERIFY2(cell->text(QAccessible::Name).startsWith(status.trimmed()), qPrintable(status));
    QVERIFY(cell->text(QAccessible::Name).contains(QStringLiteral("Memo = Dentist")));
    QCOMPARE(table->focusChild(), cell);
    QTest::keyClick(view.get(), Qt::Key_Down);
    QCOMPARE(table->focusChild(), cells->cellAt(15, 2));
}

QTEST_MAIN(TestTolvaView)
#include "tst_tolvaview.moc"
