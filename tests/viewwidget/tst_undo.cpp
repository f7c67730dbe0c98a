// Undo and Redo of Day dialog OKs give back the year file (and the every-year file) byte for byte.

#include "Calendar.h"
#include "DataStore.h"
#include "DayEditCommand.h"
#include "ProjectList.h"
#include "SampleYears.h"
#include "YearDocument.h"
#include "YearHistory.h"
#include "YearRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

namespace {

// One Day dialog OK on a day: what the user changed before pressing it.
struct Step
{
    enum Kind { Delete, Add, Change, Mark, Memo, Red, EveryYear, Alarm } kind;
    int month, day, position;
    QByteArray text = {};
};
using Steps = QList<Step>;

DayEdit editFor(const YearData& y, const Step& s)
{
    const int d = Calendar::dayOfYear(y.year(), s.month, s.day);
    DayEdit e{d,  y.m_projects,         y.m_names,       y.m_dayMarks, y.m_memos.at(d), y.m_redTexts.at(d),
              {}, y.m_alarmTexts.at(d), y.m_alarms.at(d)};
    ProjectList projects(e.projects, e.names, e.dayMarks);
    const SYSTEMTIME date = Calendar::makeDate(y.year(), s.month, s.day);
    // clang-format off
    switch (s.kind) {
    case Step::Delete: projects.remove(s.position); break;
    case Step::Add: projects.append(sampleProject(date, date, 0xFF00), s.text); break;
    case Step::Change: projects.replace(s.position, sampleProject(date, date, 0xFF), s.text); break;
    case Step::Mark: projects.setMarked(d, s.position, !projects.isMarked(d, s.position)); break;
    case Step::Memo: e.memo = s.text; break;
    case Step::Red: e.redText = s.text; e.redDay = RedDayRecord{0, 0, date, {}}; break;
    case Step::EveryYear: e.redText = s.text; e.redDay = RedDayRecord{1, 0, date, {}}; break;
    case Step::Alarm: e.alarmText = s.text; e.alarm = {1, 0, sampleMoment(y.year(), s.month, s.day, 9, 30, 0)}; break;
    }
    // clang-format on
    return e;
}

} // namespace

Q_DECLARE_METATYPE(Steps)

class TestUndo : public QObject
{
    Q_OBJECT

private slots:
    void stepsUndoneAndRedoneGiveTheFilesBack_data();
    void stepsUndoneAndRedoneGiveTheFilesBack();
};

void TestUndo::stepsUndoneAndRedoneGiveTheFilesBack_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QString>("firstName");
    QTest::newRow("delete a marked project")
        << Steps{{Step::Delete, 3, 15, 2}} << "Delete Project 'Project 2'";
    QTest::newRow("add, mark, change")
        << Steps{{Step::Add, 4, 2, 0, "Garden"}, {Step::Mark, 4, 2, 14}, {Step::Change, 4, 2, 14, "Shed"}}
        << "Add Project 'Garden'";
    QTest::newRow("texts of one day, then another") << Steps{{Step::Memo, 1, 3, 0, "Dentist 9:00"},
                                                             {Step::Red, 1, 3, 0, "Feast"},
                                                             {Step::Alarm, 1, 3, 0, "Bus"},
                                                             {Step::Memo, 2, 4, 0, ""}}
                                                    << "Edit January 03";
    QTest::newRow("every-year red day, then delete the first project")
        << Steps{{Step::EveryYear, 5, 1, 0, "May Day"}, {Step::Delete, 5, 1, 0}} << "Edit May 01";
}

// Each level of the history is the files as they were after that many steps: undoing is no approximation.
void TestUndo::stepsUndoneAndRedoneGiveTheFilesBack()
{
    QFETCH(Steps, steps);
    QFETCH(QString, firstName);
    QTemporaryDir dir;
    DataStore store;
    store.CaptureWorkDir(dir.path());
    // Stored with the selection an open document starts with, so that the first level is the file as it is.
    YearData sample = sampleRichYear(2026);
    sample.m_settings.m_stSelected = Calendar::makeDate(2026, 1, 1);
    QVERIFY(store.saveYear(sample).ok());
    YearRegistry registry(store, DisplaySettings::builtInDefaults(Calendar::makeDate(2026, 1, 1)));
    const std::shared_ptr<YearDocument> doc = registry.open(2026);
    auto bytes = [&] {
        registry.saveAll();
        QFile year(store.yearPath(2026)), everyYear(store.foreverRedDaysPath());
        year.open(QIODevice::ReadOnly);
        // No every-year file and one that lists nothing say the same: the file appears at its first entry.
        const QByteArray entries = everyYear.open(QIODevice::ReadOnly) ? everyYear.readAll() : QByteArray();
        return year.readAll() + "|" + (entries == QByteArray(4, '\0') ? QByteArray() : entries);
    };
    QList<QByteArray> levels{bytes()};
    for (const Step& s : steps) {
        DayEditCommand::commit(*doc, editFor(doc->data(), s));
        levels.append(bytes());
    }
    QUndoStack* history = YearHistory::of(*doc);
    QCOMPARE(history->count(), steps.size());
    QCOMPARE(history->text(0), firstName);
    for (qsizetype i = levels.size() - 2; i >= 0; --i) {
        history->undo();
        QCOMPARE(bytes(), levels.at(i));
    }
    for (qsizetype i = 1; i < levels.size(); ++i) {
        history->redo();
        QCOMPARE(bytes(), levels.at(i));
    }
}

QTEST_GUILESS_MAIN(TestUndo)
#include "tst_undo.moc"
