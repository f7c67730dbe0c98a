#include "DayDialogDriver.h"

#include <QColorDialog>
#include <QLocale>

using namespace DayDialogDriver;

namespace {

const SYSTEMTIME kMarch7 = moment(2011, 3, 7, 13, 14, 15);

// A year on 7 March 2011 with projects A, B, C (periods in March, stored times of day that are not midnight).
YearData yearWithThreeProjects()
{
    YearData year = yearOn(kMarch7);
    addProject(year, "A", moment(2011, 3, 1, 8, 15, 30), moment(2011, 3, 20, 17, 45, 0), 0x000000FF);
    addProject(year, "B", moment(2011, 3, 5), moment(2011, 3, 9, 23, 59, 59), 0x0000FF00, false);
    addProject(year, "C", moment(2011, 2, 1), moment(2011, 4, 1), 0x00FF0000);
    return year;
}

std::uint8_t mark(const YearData& year, int day, int position)
{
    return year.m_dayMarks.at(day).m_bChecked[position];
}

} // namespace

class TestDayDialogProjects : public QObject
{
    Q_OBJECT

private slots:
    // The view relies on a fresh dialog showing the edited day and no project.
    void setUpShowsTheDayAndNoProject()
    {
        YearData year = yearWithThreeProjects();
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Monday, March 07, 2011"));
        QCOMPARE(ui.list->count(), 3);
        QCOMPARE(ui.list->item(2)->text(), QStringLiteral("C"));
        QCOMPARE(selectedRow(&dialog), -1);
        QVERIFY(ui.nameEdit->text().isEmpty());
        QCOMPARE(swatchColor(&dialog), fromColorRef(CDia_Day::kDefaultColor));
        QVERIFY(!ui.checkedBox->isChecked() && !ui.longLineBox->isChecked());
        QVERIFY(!ui.startPicker->isEnabled() && !ui.endPicker->isEnabled());
        QCOMPARE(ui.startPicker->date(), QDate(2011, 3, 7));
        QCOMPARE(ui.endPicker->date(), QDate(2011, 3, 7));
        QVERIFY(child<QRadioButton>(&dialog, "memoRadio")->isChecked());
        QVERIFY(child<QPushButton>(&dialog, "okButton")->isDefault());
    }

    // Day and month names must not follow the user's locale: the planner's dates are English throughout.
    void datesAreEnglishInAnyLocale_data()
    {
        QTest::addColumn<SYSTEMTIME>("day");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("pickerText");
        QTest::newRow("1 January 2012") << moment(2012, 1, 1) << QStringLiteral("Sunday, January 01, 2012")
                                        << QStringLiteral("Sunday, January 1, 2012");
        QTest::newRow("7 March 2011")
            << kMarch7 << QStringLiteral("Monday, March 07, 2011") << QStringLiteral("Monday, March 7, 2011");
    }
    void datesAreEnglishInAnyLocale()
    {
        QFETCH(SYSTEMTIME, day);
        QFETCH(QString, caption);
        QFETCH(QString, pickerText);
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        YearData year = yearOn(day);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        QLocale::setDefault(saved);
        QCOMPARE(dialog.windowTitle(), caption);
        QCOMPARE(ui.startPicker->text(), pickerText);
        QCOMPARE(ui.alarmDatePicker->text(), pickerText);
    }

    // Without projects every project operation must be harmless, and OK still writes 370 day marks.
    void yearWithoutProjects()
    {
        YearData year = yearOn(kMarch7);
        year.m_dayMarks.setCount(5);
        year.m_dayMarks.at(4).m_bChecked[3] = 1;
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        click(&dialog, "changeButton");
        click(&dialog, "deleteButton");
        click(ui.checkedBox);
        QTest::mouseDClick(ui.list->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(ui.list->count(), 0);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(year.m_dayMarks.count(), YearData::kDayListSize);
        QCOMPARE(mark(year, 4, 3), 1);
        QCOMPARE(mark(year, dayIndex(kMarch7), 0), 0);
        QVERIFY(year.m_projects.isEmpty() && year.m_names.isEmpty());
    }

    // An empty name is a name like any other: no check refuses it.
    void addWithEmptyName()
    {
        YearData year = yearOn(kMarch7);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        click(&dialog, "addButton");
        QCOMPARE(ui.list->count(), 1);
        QVERIFY(ui.list->item(0)->text().isEmpty());
        dialog.accept();
        QCOMPARE(year.m_projects.count(), 1);
        QCOMPARE(year.m_names.count(), 1);
        QVERIFY(year.m_names.at(0).isEmpty());
        QCOMPARE(year.m_projects.at(0).m_crColor, CDia_Day::kDefaultColor);
    }

    // Add builds a new project from the fields and must leave the selected one alone.
    void addWhileSelectedLeavesTheSelectedProject()
    {
        YearData year = yearWithThreeProjects();
        const ProjectRecord a = year.m_projects.at(0);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        selectRow(&dialog, 0);
        replaceText(ui.nameEdit, QStringLiteral("Dänisch"));
        click(&dialog, "addButton");
        QCOMPARE(selectedRow(&dialog), 0);
        QCOMPARE(ui.list->item(3)->text(), QStringLiteral("Dänisch"));
        dialog.accept();
        QCOMPARE(year.m_projects.count(), 4);
        QCOMPARE(std::memcmp(&year.m_projects.at(0), &a, sizeof a), 0);
        QCOMPARE(year.m_names.at(0), QByteArray("A"));
        QCOMPARE(TextCodec::decode(year.m_names.at(3)), QStringLiteral("Dänisch"));
        const ProjectRecord& added = year.m_projects.at(3);
        QCOMPARE(added.m_crColor, a.m_crColor);
        QCOMPARE(added.m_bLongLine, a.m_bLongLine);
        QCOMPARE(added.m_stStart, moment(2011, 3, 1));
        QCOMPARE(added.m_stEnd, moment(2011, 3, 20, 23, 59, 59));
    }

    // A new project covers whole days whatever time of day the pickers hold, enabled or not.
    void addStoresWholeDays_data()
    {
        QTest::addColumn<bool>("longLine");
        QTest::newRow("pickers disabled") << false;
        QTest::newRow("pickers enabled") << true;
    }
    void addStoresWholeDays()
    {
        QFETCH(bool, longLine);
        YearData year = yearOn(kMarch7);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        if (longLine) {
            click(ui.longLineBox);
            QVERIFY(ui.startPicker->isEnabled());
            stepSection(ui.endPicker, QDateTimeEdit::DaySection, 3);
        }
        click(&dialog, "addButton");
        dialog.accept();
        const ProjectRecord& p = year.m_projects.at(0);
        QCOMPARE(p.m_bLongLine, std::uint8_t(longLine));
        QCOMPARE(p.m_stStart, moment(2011, 3, 7, 0, 0, 0));
        QCOMPARE(p.m_stEnd, moment(2011, 3, longLine ? 10 : 7, 23, 59, 59));
        QCOMPARE(p.m_reserved1, 0);
        QCOMPARE(p.m_reserved34[0] | p.m_reserved34[1], 0);
    }

    // Change needs a selection; without one it must not touch any project.
    void changeWithNothingSelectedDoesNothing()
    {
        YearData year = yearWithThreeProjects();
        const YearData before = year;
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        replaceText(ui.nameEdit, QStringLiteral("X"));
        click(&dialog, "changeButton");
        dialog.accept();
        QVERIFY(year.m_projects == before.m_projects);
        QVERIFY(year.m_names == before.m_names);
    }

    // Down with no project selected selects the first, whatever row the list last had: after set-up,
    // after Change (which leaves no selection) and in a list of one.
    void downWithNothingSelectedSelectsTheFirst_data()
    {
        QTest::addColumn<int>("projects");
        QTest::addColumn<int>("changed"); // the row Change was pressed on first, -1 for none
        QTest::newRow("one project") << 1 << -1;
        QTest::newRow("three projects") << 3 << -1;
        QTest::newRow("three projects, after Change on the third") << 3 << 2;
    }
    void downWithNothingSelectedSelectsTheFirst()
    {
        QFETCH(int, projects);
        QFETCH(int, changed);
        YearData year = yearOn(kMarch7);
        for (int i = 0; i < projects; ++i)
            addProject(year, QByteArray(1, char('A' + i)), moment(2011, 3, 1), moment(2011, 3, 20),
                       0x000000FF);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        if (changed >= 0) {
            selectRow(&dialog, changed);
            click(&dialog, "changeButton");
            QCOMPARE(selectedRow(&dialog), -1);
        }
        ui.list->setFocus();
        QTest::keyClick(ui.list, Qt::Key_Down);
        QCOMPARE(selectedRow(&dialog), 0);
        QCOMPARE(ui.nameEdit->text(), QStringLiteral("A"));
        if (projects > 1) {
            QTest::keyClick(ui.list, Qt::Key_Down);
            QCOMPARE(selectedRow(&dialog), 1);
        }
    }

    // After Change the list has no selection, yet "checked" still belongs to the changed project.
    void changeThenMarkStillMarksTheChangedProject()
    {
        YearData year = yearWithThreeProjects();
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        selectRow(&dialog, 1);
        replaceText(ui.nameEdit, QStringLiteral("Bee"));
        click(ui.longLineBox);
        click(&dialog, "changeButton");
        QCOMPARE(selectedRow(&dialog), -1);
        QCOMPARE(ui.list->item(1)->text(), QStringLiteral("Bee"));
        click(ui.checkedBox);
        dialog.accept();
        QCOMPARE(year.m_names.at(1), QByteArray("Bee"));
        QCOMPARE(year.m_projects.at(1).m_bLongLine, 1);
        QCOMPARE(mark(year, dayIndex(kMarch7), 1), 1);
        QCOMPARE(mark(year, dayIndex(kMarch7), 0), 0);
    }

    // Change keeps the stored time of day even when the user picks another date.
    void changeKeepsTheStoredTimeOfDay()
    {
        YearData year = yearWithThreeProjects();
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        selectRow(&dialog, 0);
        QVERIFY(ui.startPicker->isEnabled());
        stepSection(ui.startPicker, QDateTimeEdit::DaySection, 1);
        click(&dialog, "changeButton");
        dialog.accept();
        QCOMPARE(year.m_projects.at(0).m_stStart, moment(2011, 3, 2, 8, 15, 30));
        QCOMPARE(year.m_projects.at(0).m_stEnd, moment(2011, 3, 20, 17, 45, 0));
    }

    // Marks belong to the project they were set on, across any number of selections.
    void marksFollowTheSelectedProject()
    {
        YearData year = yearWithThreeProjects();
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        selectRow(&dialog, 0);
        click(ui.checkedBox);
        selectRow(&dialog, 1);
        QVERIFY(!ui.checkedBox->isChecked());
        QCOMPARE(ui.nameEdit->text(), QStringLiteral("B"));
        QCOMPARE(swatchColor(&dialog), fromColorRef(0x0000FF00));
        QVERIFY(!ui.startPicker->isEnabled());
        selectRow(&dialog, 0);
        QVERIFY(ui.checkedBox->isChecked());
        QVERIFY(ui.startPicker->isEnabled());
        QCOMPARE(ui.startPicker->date(), QDate(2011, 3, 1));
        doubleClickRow(&dialog, 2);
        QVERIFY(ui.checkedBox->isChecked());
        doubleClickRow(&dialog, 0);
        QVERIFY(!ui.checkedBox->isChecked());
        dialog.accept();
        const int day = dayIndex(kMarch7);
        QCOMPARE(mark(year, day, 0), 0);
        QCOMPARE(mark(year, day, 1), 0);
        QCOMPARE(mark(year, day, 2), 1);
    }

    // Deleting a project must not hand its marks, or those of later projects, to a neighbour.
    void deleteKeepsMarksWithTheirProjects()
    {
        YearData year = yearWithThreeProjects();
        year.m_dayMarks.at(10).m_bChecked[0] = 1;
        year.m_dayMarks.at(10).m_bChecked[1] = 1;
        year.m_dayMarks.at(20).m_bChecked[1] = 1;
        year.m_dayMarks.at(30).m_bChecked[2] = 1;
        year.m_dayMarks.at(30).m_reserved100[0] = 7;
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        selectRow(&dialog, 0);
        click(&dialog, "deleteButton");
        QCOMPARE(selectedRow(&dialog), 0);
        QCOMPARE(ui.nameEdit->text(), QStringLiteral("B"));
        dialog.accept();
        QCOMPARE(year.m_names.at(0), QByteArray("B"));
        QCOMPARE(year.m_names.at(1), QByteArray("C"));
        QCOMPARE(mark(year, 10, 0), 1);
        QCOMPARE(mark(year, 10, 1), 0);
        QCOMPARE(mark(year, 20, 0), 1);
        QCOMPARE(mark(year, 30, 1), 1);
        QCOMPARE(mark(year, 30, 2), 0);
        QCOMPARE(year.m_dayMarks.at(30).m_reserved100[0], 7);
    }

    // Deleting the last entry leaves nothing selected and the fields as they were.
    void deleteLastEntryKeepsTheFields()
    {
        YearData year = yearWithThreeProjects();
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        selectRow(&dialog, 2);
        click(&dialog, "deleteButton");
        QCOMPARE(selectedRow(&dialog), -1);
        QCOMPARE(ui.list->count(), 2);
        QCOMPARE(ui.nameEdit->text(), QStringLiteral("C"));
        QCOMPARE(swatchColor(&dialog), fromColorRef(0x00FF0000));
        QVERIFY(ui.longLineBox->isChecked() && ui.startPicker->isEnabled());
        dialog.accept();
        QCOMPARE(year.m_projects.count(), 2);
    }

    // Deleting the only entry resets the fields but leaves the red day's every-year flag to the red day.
    void deleteOnlyEntryResetsTheProjectFields()
    {
        YearData year = yearOn(kMarch7);
        addProject(year, "Only", moment(2011, 3, 1), moment(2011, 3, 31), 0x00123456, true);
        const int day = dayIndex(kMarch7);
        year.m_dayMarks.at(day).m_bChecked[0] = 1;
        year.m_redTexts.setAt(day, "Holiday");
        year.m_redDays.at(day).m_bEveryYear = 1;
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        selectRow(&dialog, 0);
        QVERIFY(ui.checkedBox->isChecked());
        click(&dialog, "deleteButton");
        QVERIFY(ui.nameEdit->text().isEmpty());
        QVERIFY(!ui.checkedBox->isChecked() && !ui.longLineBox->isChecked());
        QVERIFY(!ui.startPicker->isEnabled() && !ui.endPicker->isEnabled());
        QCOMPARE(swatchColor(&dialog), fromColorRef(CDia_Day::kDefaultColor));
        QVERIFY(ui.everyYearBox->isChecked());
        dialog.accept();
        QVERIFY(year.m_projects.isEmpty() && year.m_names.isEmpty());
        QCOMPARE(mark(year, day, 0), 0);
        QCOMPARE(year.m_redDays.at(day).m_bEveryYear, 1);
    }

    // Positions from 100 on have no mark byte: the box keeps its state and nothing is stored.
    void positionsFrom100HaveNoMarks()
    {
        YearData year = yearOn(kMarch7);
        for (int i = 0; i < 103; ++i)
            addProject(year, QByteArray::number(i), moment(2011, 1, 1), moment(2011, 12, 31));
        const int day = dayIndex(kMarch7);
        year.m_dayMarks.at(day).m_bChecked[99] = 1;
        year.m_dayMarks.at(day).m_bChecked[98] = 1;
        const YearData before = year;
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        selectRow(&dialog, 99);
        QVERIFY(ui.checkedBox->isChecked());
        selectRow(&dialog, 101);
        QCOMPARE(ui.nameEdit->text(), QStringLiteral("101"));
        QVERIFY(ui.checkedBox->isChecked());
        click(ui.checkedBox);
        doubleClickRow(&dialog, 100);
        QVERIFY(year == before);
        selectRow(&dialog, 98);
        click(&dialog, "deleteButton");
        dialog.accept();
        QCOMPARE(year.m_projects.count(), 102);
        QCOMPARE(mark(year, day, 98), 1);
        QCOMPARE(mark(year, day, 99), 0);
    }

    // The colour chooser starts from black whatever the swatch shows; only its OK changes the colour.
    void colourChooserStartsFromBlack()
    {
        YearData year = yearWithThreeProjects();
        CDia_Day dialog(year);
        showDialog(dialog);
        selectRow(&dialog, 1);
        QColor offered;
        whenModal<QColorDialog>([&](QColorDialog* chooser) {
            offered = chooser->currentColor();
            chooser->reject();
        });
        click(&dialog, "selectColorButton");
        QCOMPARE(offered, QColor(Qt::black));
        QCOMPARE(swatchColor(&dialog), fromColorRef(0x0000FF00));

        whenModal<QColorDialog>([](QColorDialog* chooser) {
            chooser->setCurrentColor(QColor(10, 20, 30));
            chooser->accept();
        });
        click(&dialog, "selectColorButton");
        QCOMPARE(swatchColor(&dialog), QColor(10, 20, 30));
        click(&dialog, "addButton");
        dialog.accept();
        QCOMPARE(year.m_projects.at(3).m_crColor, makeColorRef(10, 20, 30));
        QCOMPARE(year.m_projects.at(1).m_crColor, 0x0000FF00u);
    }

    // Cancel, Esc and closing must leave every byte of the year as it was, whatever was edited.
    void cancelWritesNothing_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Cancel") << 0;
        QTest::newRow("Esc") << 1;
        QTest::newRow("close") << 2;
    }
    void cancelWritesNothing()
    {
        QFETCH(int, how);
        YearData year = yearWithThreeProjects();
        const int day = dayIndex(kMarch7);
        year.m_memos.setAt(day, "memo");
        year.m_redTexts.setAt(day, "red");
        year.m_alarmTexts.setAt(day, "alarm");
        year.m_alarms.at(day) = AlarmRecord{1, 1, moment(2011, 3, 7, 9)};
        const YearData before = year;
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        const int result = runModal(dialog, [&] {
            selectRow(&dialog, 0);
            click(ui.checkedBox);
            replaceText(ui.nameEdit, QStringLiteral("Z"));
            click(&dialog, "changeButton");
            click(&dialog, "addButton");
            selectRow(&dialog, 1);
            click(&dialog, "deleteButton");
            doubleClickRow(&dialog, 0);
            replaceText(ui.memoEdit, QStringLiteral("new memo"));
            click(&dialog, "redDayRadio");
            click(ui.everyYearBox);
            replaceText(ui.redDayEdit, QStringLiteral("new red"));
            click(&dialog, "alarmRadio");
            stepSection(ui.alarmTimePicker, QDateTimeEdit::HourSection, 2);
            replaceText(ui.alarmEdit, QString());
            if (how == 0)
                click(&dialog, "cancelButton");
            else if (how == 1)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(year == before);
    }

    // Enter in the name edit is the default button: it commits and closes.
    void enterInTheNameEditPressesOk()
    {
        YearData year = yearOn(kMarch7);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        const int result = runModal(dialog, [&] {
            replaceText(ui.nameEdit, QStringLiteral("Typed"));
            click(&dialog, "addButton");
            QTest::keyClick(ui.nameEdit, Qt::Key_Return);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(year.m_names.at(0), QByteArray("Typed"));
    }

    // Keyboard users move through the controls in the order the dialog was designed with.
    void tabOrderFollowsTheDesign()
    {
        YearData year = yearOn(kMarch7);
        CDia_Day dialog(year);
        const QStringList expected = {"okButton",    "projectList",  "nameEdit",        "selectColorButton",
                                      "checkedBox",  "longLineBox",  "startPicker",     "endPicker",
                                      "addButton",   "changeButton", "deleteButton",    "memoRadio",
                                      "redDayRadio", "alarmRadio",   "alarmDatePicker", "alarmTimePicker",
                                      "memoEdit",    "everyYearBox", "cancelButton",    "alarmEdit",
                                      "redDayEdit"};
        QStringList chain;
        QWidget* first = child<QWidget>(&dialog, "okButton");
        QWidget* w = first;
        do {
            if (expected.contains(w->objectName()) && !chain.contains(w->objectName()))
                chain << w->objectName();
            w = w->nextInFocusChain();
        } while (w != first);
        QCOMPARE(chain, expected);
    }

    // The view only opens the dialog for dates that exist; handed another, it edits the month's last day.
    void daysThatDoNotExist_data()
    {
        QTest::addColumn<SYSTEMTIME>("selected");
        QTest::addColumn<bool>("editable");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("day");
        SYSTEMTIME feb30 = moment(2011, 2, 28, 10);
        feb30.wDay = 30;
        SYSTEMTIME apr31 = moment(2012, 4, 30);
        apr31.wDay = 31;
        QTest::newRow("29 February 2012")
            << moment(2012, 2, 29) << true << QStringLiteral("Wednesday, February 29, 2012") << 60;
        QTest::newRow("30 February 2011")
            << feb30 << false << QStringLiteral("Monday, February 28, 2011 (February 30 does not exist)")
            << 59;
        QTest::newRow("31 April 2012")
            << apr31 << false << QStringLiteral("Monday, April 30, 2012 (April 31 does not exist)") << 121;
    }
    void daysThatDoNotExist()
    {
        QFETCH(SYSTEMTIME, selected);
        QFETCH(bool, editable);
        QFETCH(QString, caption);
        QFETCH(int, day);
        QCOMPARE(CDia_Day::isEditableDay(selected), editable);
        YearData year = yearOn(selected);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        QCOMPARE(dialog.windowTitle(), caption);
        showDialog(dialog);
        replaceText(ui.memoEdit, QStringLiteral("here"));
        dialog.accept();
        QCOMPARE(year.m_memos.at(day), QByteArray("here"));
    }
};

QTEST_MAIN(TestDayDialogProjects)
#include "tst_dia_day_projects.moc"
