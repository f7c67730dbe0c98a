#include "DayDialogDriver.h"

#include "TextCodec.h"

#include <QAccessible>
#include <QLabel>
#include <QMessageBox>

#include <cstring>

using namespace DayDialogDriver;

Q_DECLARE_METATYPE(AlarmRecord)

namespace {

// 13 May 2012, 21:07:33: the alarm pickers of a day without an alarm show this moment.
const SYSTEMTIME kMay13 = moment(2012, 5, 13, 21, 7, 33);
const int kDay = 134;

template <typename R> bool sameBytes(const R& a, const R& b)
{
    return std::memcmp(&a, &b, sizeof(R)) == 0;
}

AlarmRecord alarmRecord(std::uint8_t on, std::uint8_t fired, const SYSTEMTIME& when)
{
    AlarmRecord a{};
    a.m_bOn = on;
    a.m_bFired = fired;
    a.m_stWhen = when;
    return a;
}

RedDayRecord redDayRecord(std::uint8_t everyYear)
{
    RedDayRecord r{};
    r.m_bEveryYear = everyYear;
    r.m_reserved1 = 0x5A;
    r.m_stDate = moment(2009, 5, 13, 1, 2, 3);
    std::memset(r.m_reserved18, 0xA5, sizeof r.m_reserved18);
    return r;
}

} // namespace

class TestDayDialogTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(dayIndex(kMay13), kDay); }

    // A day without texts stays without texts: OK switches the alarm off and leaves the red-day record alone.
    void dayWithoutTexts()
    {
        YearData year = yearOn(kMay13);
        year.m_alarms.at(kDay) = alarmRecord(1, 1, moment(2012, 5, 13, 6));
        year.m_redDays.at(kDay) = redDayRecord(1);
        const YearData before = year;
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        QVERIFY(ui.memoEdit->toPlainText().isEmpty());
        QVERIFY(ui.redDayEdit->toPlainText().isEmpty());
        QVERIFY(ui.alarmEdit->toPlainText().isEmpty());
        dialog.accept();
        QVERIFY(year.m_memos.at(kDay).isEmpty() && year.m_redTexts.at(kDay).isEmpty());
        QVERIFY(year.m_alarmTexts.at(kDay).isEmpty());
        QVERIFY(sameBytes(year.m_redDays.at(kDay), before.m_redDays.at(kDay)));
        const AlarmRecord expected = alarmRecord(0, 1, moment(2012, 5, 13, 6));
        QVERIFY(sameBytes(year.m_alarms.at(kDay), expected));
    }

    // A typed alarm text alone arms nothing: only a picker change by the user sets a moment.
    void alarmTextWithoutPickerChangeKeepsTheRecord_data()
    {
        QTest::addColumn<AlarmRecord>("stored");
        QTest::addColumn<QByteArray>("storedText");
        QTest::newRow("never set") << alarmRecord(0, 0, SYSTEMTIME{}) << QByteArray();
        QTest::newRow("set and fired")
            << alarmRecord(1, 1, moment(2012, 5, 13, 7, 30, 5)) << QByteArray("wake");
    }
    void alarmTextWithoutPickerChangeKeepsTheRecord()
    {
        QFETCH(AlarmRecord, stored);
        QFETCH(QByteArray, storedText);
        YearData year = yearOn(kMay13);
        year.m_alarms.at(kDay) = stored;
        year.m_alarmTexts.setAt(kDay, storedText);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        if (stored.m_bOn) {
            QCOMPARE(ui.alarmDatePicker->date(), QDate(2012, 5, 13));
            QCOMPARE(ui.alarmTimePicker->time(), QTime(7, 30, 5));
        } else {
            QCOMPARE(ui.alarmTimePicker->time(), QTime(21, 7, 33));
        }
        click(&dialog, "alarmRadio");
        click(&dialog, "redDayRadio");
        click(&dialog, "alarmRadio");
        replaceText(ui.alarmEdit, QStringLiteral("call Ann"));
        QVERIFY(!dialog.alarmChanged());
        dialog.accept();
        QCOMPARE(year.m_alarmTexts.at(kDay), QByteArray("call Ann"));
        QVERIFY(sameBytes(year.m_alarms.at(kDay), stored));
    }

    // Stepping either picker is a user change: it stores the moment and re-arms an alarm that has fired.
    void pickerChangeRearmsAFiredAlarm_data()
    {
        QTest::addColumn<bool>("stepDate");
        QTest::newRow("date stepped") << true;
        QTest::newRow("time stepped") << false;
    }
    void pickerChangeRearmsAFiredAlarm()
    {
        QFETCH(bool, stepDate);
        YearData year = yearOn(kMay13);
        year.m_alarms.at(kDay) = alarmRecord(1, 1, moment(2012, 5, 13, 7, 30, 5));
        year.m_alarmTexts.setAt(kDay, "wake");
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        click(&dialog, "alarmRadio");
        if (stepDate)
            stepSection(ui.alarmDatePicker, QDateTimeEdit::DaySection, 1);
        else
            stepSection(ui.alarmTimePicker, QDateTimeEdit::MinuteSection, -1);
        QVERIFY(dialog.alarmChanged());
        dialog.accept();
        const AlarmRecord expected =
            alarmRecord(1, 0, stepDate ? moment(2012, 5, 14, 7, 30, 5) : moment(2012, 5, 13, 7, 29, 5));
        QVERIFY(sameBytes(year.m_alarms.at(kDay), expected));
        QCOMPARE(year.m_alarmTexts.at(kDay), QByteArray("wake"));
    }

    // The moment is the date of one picker and the time of the other, to the second, whatever else they hold.
    void alarmMomentComesFromBothPickers()
    {
        YearData year = yearOn(kMay13);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        QVERIFY(!ui.alarmDatePicker->isEnabled());
        click(&dialog, "alarmRadio");
        QVERIFY(ui.alarmDatePicker->isEnabled() && ui.alarmTimePicker->isEnabled());
        stepSection(ui.alarmDatePicker, QDateTimeEdit::DaySection, 1);
        stepSection(ui.alarmTimePicker, QDateTimeEdit::HourSection, -13);
        stepSection(ui.alarmTimePicker, QDateTimeEdit::MinuteSection, 23);
        stepSection(ui.alarmTimePicker, QDateTimeEdit::SecondSection, -18);
        QCOMPARE(ui.alarmTimePicker->text(), QStringLiteral("08:30:15"));
        replaceText(ui.alarmEdit, QStringLiteral("meeting"));
        dialog.accept();
        const AlarmRecord& a = year.m_alarms.at(kDay);
        QCOMPARE(a.m_stWhen, moment(2012, 5, 14, 8, 30, 15));
        QCOMPARE(a.m_stWhen.wDayOfWeek, 1);
        QCOMPARE(a.m_bOn, 1);
        QCOMPARE(a.m_bFired, 0);
    }

    // Clearing the alarm text switches the alarm off but keeps its moment and its fired state.
    void clearingTheAlarmTextSwitchesItOff()
    {
        YearData year = yearOn(kMay13);
        year.m_alarms.at(kDay) = alarmRecord(1, 1, moment(2012, 5, 20, 9));
        year.m_alarmTexts.setAt(kDay, "dentist");
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        click(&dialog, "alarmRadio");
        stepSection(ui.alarmTimePicker, QDateTimeEdit::HourSection, 1);
        replaceText(ui.alarmEdit, QString());
        dialog.accept();
        QVERIFY(year.m_alarmTexts.at(kDay).isEmpty());
        QVERIFY(sameBytes(year.m_alarms.at(kDay), alarmRecord(0, 1, moment(2012, 5, 20, 9))));
    }

    // A red day stores the flag and the edited date with its day of the week; reserved bytes survive.
    void redDayRecordOnOk_data()
    {
        QTest::addColumn<std::uint8_t>("storedFlag");
        QTest::addColumn<bool>("clickBox");
        QTest::addColumn<std::uint8_t>("expectedFlag");
        QTest::newRow("checked on the page") << std::uint8_t(0) << true << std::uint8_t(1);
        QTest::newRow("unchecked on the page") << std::uint8_t(1) << true << std::uint8_t(0);
        QTest::newRow("page not visited") << std::uint8_t(1) << false << std::uint8_t(1);
    }
    void redDayRecordOnOk()
    {
        QFETCH(std::uint8_t, storedFlag);
        QFETCH(bool, clickBox);
        QFETCH(std::uint8_t, expectedFlag);
        SYSTEMTIME selected = kMay13;
        selected.wMilliseconds = 250;
        YearData year = yearOn(selected);
        year.m_redDays.at(kDay) = redDayRecord(storedFlag);
        year.m_redTexts.setAt(kDay, "Fête");
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        QCOMPARE(ui.everyYearBox->isChecked(), storedFlag != 0);
        QVERIFY(!ui.everyYearBox->isEnabled());
        if (clickBox) {
            click(&dialog, "redDayRadio");
            QVERIFY(ui.everyYearBox->isEnabled());
            click(ui.everyYearBox);
        }
        dialog.accept();
        RedDayRecord expected = redDayRecord(expectedFlag);
        expected.m_stDate = kMay13;
        QVERIFY(sameBytes(year.m_redDays.at(kDay), expected));
        QCOMPARE(year.m_redTexts.at(kDay), QByteArray("Fête"));
    }

    // Clearing the red-day text ends the red day; its record keeps flag and date.
    void clearingTheRedTextKeepsTheRecord()
    {
        YearData year = yearOn(kMay13);
        year.m_redDays.at(kDay) = redDayRecord(1);
        year.m_redTexts.setAt(kDay, "Holiday");
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        click(&dialog, "redDayRadio");
        click(ui.everyYearBox);
        replaceText(ui.redDayEdit, QString());
        dialog.accept();
        QVERIFY(year.m_redTexts.at(kDay).isEmpty());
        QVERIFY(sameBytes(year.m_redDays.at(kDay), redDayRecord(1)));
    }

    // Each visit of the red-day page shows the stored flag again, dropping a change from an earlier visit.
    void everyYearFlagIsReloadedOnEachVisit()
    {
        YearData year = yearOn(kMay13);
        year.m_redDays.at(kDay) = redDayRecord(1);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        click(&dialog, "redDayRadio");
        click(ui.everyYearBox);
        QVERIFY(!ui.everyYearBox->isChecked());
        click(&dialog, "memoRadio");
        QVERIFY(!ui.everyYearBox->isChecked());
        click(&dialog, "redDayRadio");
        QVERIFY(ui.everyYearBox->isChecked());
        click(ui.everyYearBox);
        click(&dialog, "redDayRadio");
        QVERIFY(ui.everyYearBox->isChecked());
    }

    // Each page shows its own edit and enables only its own controls.
    void pagesShowTheirEditAndControls_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<bool>("pickers");
        QTest::addColumn<bool>("box");
        QTest::newRow("memo") << "memoRadio"
                              << "memoEdit" << false << false;
        QTest::newRow("red day") << "redDayRadio"
                                 << "redDayEdit" << false << true;
        QTest::newRow("alarm") << "alarmRadio"
                               << "alarmEdit" << true << false;
    }
    void pagesShowTheirEditAndControls()
    {
        QFETCH(QString, radio);
        QFETCH(QString, edit);
        QFETCH(bool, pickers);
        QFETCH(bool, box);
        YearData year = yearOn(kMay13);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        click(&dialog, "alarmRadio");
        click(&dialog, "redDayRadio");
        click(&dialog, radio.toLatin1().constData());
        for (const char* name : {"memoEdit", "redDayEdit", "alarmEdit"})
            QCOMPARE(child<QWidget>(&dialog, name)->isVisible(), edit == QLatin1String(name));
        const QRect place = child<QWidget>(&dialog, edit.toLatin1().constData())->geometry();
        QCOMPARE(child<QWidget>(&dialog, "memoEdit")->geometry(), place);
        QCOMPARE(ui.alarmDatePicker->isEnabled(), pickers);
        QCOMPARE(ui.alarmTimePicker->isEnabled(), pickers);
        QCOMPARE(ui.everyYearBox->isEnabled(), box);
    }

    // Texts typed on one page survive switching to the others and are all stored by OK.
    void pagesKeepTheirTexts()
    {
        YearData year = yearOn(kMay13);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        typeText(ui.memoEdit, QStringLiteral("buy milk"));
        click(&dialog, "redDayRadio");
        typeText(ui.redDayEdit, QStringLiteral("Feast"));
        click(&dialog, "alarmRadio");
        typeText(ui.alarmEdit, QStringLiteral("ring"));
        click(&dialog, "memoRadio");
        QCOMPARE(ui.memoEdit->toPlainText(), QStringLiteral("buy milk"));
        click(&dialog, "redDayRadio");
        QCOMPARE(ui.redDayEdit->toPlainText(), QStringLiteral("Feast"));
        dialog.accept();
        QCOMPARE(year.m_memos.at(kDay), QByteArray("buy milk"));
        QCOMPARE(year.m_redTexts.at(kDay), QByteArray("Feast"));
        QCOMPARE(year.m_alarmTexts.at(kDay), QByteArray("ring"));
        QCOMPARE(year.m_alarms.at(kDay).m_bOn, 0);
        QCOMPARE(year.m_redDays.at(kDay).m_stDate, kMay13);
    }

    // Enter in a text edit starts a new line; lines are stored with CR LF like the texts already on file.
    void enterInATextStartsANewLine()
    {
        YearData year = yearOn(kMay13);
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        const int result = runModal(dialog, [&] {
            typeText(ui.memoEdit, QStringLiteral("one"));
            QTest::keyClick(ui.memoEdit, Qt::Key_Return);
            typeText(ui.memoEdit, QStringLiteral("two"));
            QVERIFY(dialog.isVisible());
            click(&dialog, "okButton");
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(year.m_memos.at(kDay), QByteArray("one\r\ntwo"));
    }

    // A text the user leaves alone keeps its exact bytes, old 8-bit text and CR LF included.
    void untouchedTextsKeepTheirBytes()
    {
        YearData year = yearOn(kMay13);
        year.m_memos.setAt(kDay, QByteArray("Caf\xe9\r\nline\r"));
        year.m_redTexts.setAt(kDay, QByteArray("F\xeate\r\n\r\n"));
        year.m_alarmTexts.setAt(kDay, QByteArray("\xe2\x82\xac 5\n"));
        year.m_names.append(QByteArray("Na\xefve"));
        year.m_projects.append(ProjectRecord{});
        const YearData before = year;
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        QCOMPARE(ui.memoEdit->toPlainText(), QStringLiteral("Café\nline\n"));
        selectRow(&dialog, 0);
        click(&dialog, "changeButton");
        click(&dialog, "redDayRadio");
        click(&dialog, "alarmRadio");
        dialog.accept();
        QVERIFY(year.m_memos == before.m_memos);
        QVERIFY(year.m_redTexts == before.m_redTexts);
        QVERIFY(year.m_alarmTexts == before.m_alarmTexts);
        QVERIFY(year.m_names == before.m_names);
    }

    // Cancel drops every typed text and flag.
    void cancelDiscardsTexts()
    {
        YearData year = yearOn(kMay13);
        year.m_memos.setAt(kDay, "old");
        const YearData before = year;
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        const int result = runModal(dialog, [&] {
            replaceText(ui.memoEdit, QStringLiteral("new"));
            click(&dialog, "redDayRadio");
            typeText(ui.redDayEdit, QStringLiteral("red"));
            click(ui.everyYearBox);
            click(&dialog, "cancelButton");
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(year == before);
    }

    // Lists too short for the day cannot take the commit: nothing is written and the dialog stays open.
    void commitIntoShortListsWritesNothing()
    {
        YearData year = yearOn(kMay13);
        year.m_alarms.setCount(100);
        addProject(year, "P", moment(2012, 1, 1), moment(2012, 12, 31));
        const YearData before = year;
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        click(&dialog, "addButton");
        typeText(ui.memoEdit, QStringLiteral("x"));
        click(&dialog, "okButton");
        QVERIFY(dialog.isVisible());
        QVERIFY(year == before);
        // The user is told, when the dialog opens and again at OK; nothing fails silently.
        const QList<QMessageBox*> told = dialog.findChildren<QMessageBox*>();
        QCOMPARE(told.size(), 2);
        QVERIFY(told.first()->text().contains(QStringLiteral("cannot be edited")));
        QVERIFY(told.last()->text().contains(QStringLiteral("cannot be stored")));
        dialog.reject();
    }

    // Space right after opening must not pick a project: the focus starts on OK, and the list shows no
    // current item that looks like a selection.
    void focusStartsOnOk()
    {
        YearData year = yearOn(kMay13);
        addProject(year, "P", moment(2012, 1, 1), moment(2012, 12, 31));
        CDia_Day dialog(year);
        const Controls ui(&dialog);
        showDialog(dialog);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(button(&dialog, "okButton")));
        QCOMPARE(ui.list->selectedItems().size(), 0);
        dialog.reject();
    }

    void everyControlHasAName_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("project list") << "projectList"
                                      << "Projects";
        QTest::newRow("name edit") << "nameEdit"
                                   << "Project name";
        QTest::newRow("start picker") << "startPicker"
                                      << "Project start";
        QTest::newRow("end picker") << "endPicker"
                                    << "Project end";
        QTest::newRow("swatch") << "colorSwatch"
                                << "Project color";
        QTest::newRow("memo") << "memoEdit"
                              << "Memo";
        QTest::newRow("red day text") << "redDayEdit"
                                      << "Red day text";
        QTest::newRow("alarm text") << "alarmEdit"
                                    << "Alarm text";
        QTest::newRow("alarm date") << "alarmDatePicker"
                                    << "Alarm date";
        QTest::newRow("alarm time") << "alarmTimePicker"
                                    << "Alarm time";
    }

    // A screen reader names each field by what it is, not by the group box around it.
    void everyControlHasAName()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        YearData year = yearOn(kMay13);
        CDia_Day dialog(year);
        showDialog(dialog);
        QAccessible::setActive(true);
        QWidget* widget = dialog.findChild<QWidget*>(control);
        QVERIFY(widget);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        // The swatch is read as a text that says its colour, not as an empty frame.
        if (control == QLatin1String("colorSwatch"))
            QCOMPARE(accessible->role() == QAccessible::StaticText
                         ? accessible->text(QAccessible::Description)
                         : QString(),
                     "#C8C8C8");
        for (const char* label : {"nameLabel", "colorLabel", "startLabel", "endLabel"})
            QVERIFY2(dialog.findChild<QLabel*>(label)->buddy(), label);
        dialog.reject();
    }
};

QTEST_MAIN(TestDayDialogTexts)
#include "tst_dia_day_texts.moc"
