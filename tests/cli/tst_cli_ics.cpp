#include "CalendarExport.h"
#include "CliFixture.h"
#include "DataFolderLock.h"
#include "HolidayImport.h"
#include "ICalendarFile.h"
#include "TextCodec.h"
#include "YearReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace CliFixture;

namespace {

constexpr int kYear = 2026;

// An independent reading of an exported calendar: one JSON object per event.
const char* const kPythonReader = R"(
import icalendar, json, sys
cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())
zones = [str(z['TZID']) for z in cal.walk('VTIMEZONE')]
for e in cal.walk('VEVENT'):
    start = e.decoded('DTSTART')
    print(json.dumps({
        'uid': str(e['UID']), 'summary': str(e.get('SUMMARY', '')),
        'description': str(e.get('DESCRIPTION', '')),
        'start': start.isoformat(),
        'tzid': str(e['DTSTART'].params.get('TZID', '')),
        'end': e.decoded('DTEND').isoformat() if 'DTEND' in e else '',
        'rrule': e['RRULE'].to_ical().decode() if 'RRULE' in e else '',
        'alarms': [str(a['ACTION']) for a in e.walk('VALARM')],
        'color': str(e.get('COLOR', '')), 'exactColor': str(e.get('X-TOLVA-COLOR', '')),
        'kind': str(e.get('X-TOLVA-KIND', '')), 'ticks': str(e.get('X-TOLVA-TICKS', '')),
        'sequence': int(e.get('SEQUENCE', -1)),
        'lastModified': e.decoded('LAST-MODIFIED').isoformat() if 'LAST-MODIFIED' in e else '',
        'zones': zones}))
)";

// A country's public holidays as calendar programs publish them.
const char* const kHolidays = "BEGIN:VCALENDAR\r\n"
                              "VERSION:2.0\r\n"
                              "PRODID:-//Test//Holidays//EN\r\n"
                              "BEGIN:VEVENT\r\nUID:newyear\r\nDTSTAMP:20250101T000000Z\r\n"
                              "DTSTART;VALUE=DATE:20000101\r\nDTEND;VALUE=DATE:20000102\r\n"
                              "RRULE:FREQ=YEARLY\r\nSUMMARY:New Year's Day\r\nEND:VEVENT\r\n"
                              "BEGIN:VEVENT\r\nUID:labour\r\nDTSTAMP:20250101T000000Z\r\n"
                              "DTSTART;VALUE=DATE:20100501\r\nRRULE:FREQ=YEARLY;BYMONTH=5;BYMONTHDAY=1\r\n"
                              "SUMMARY:Labour Day\r\nEND:VEVENT\r\n"
                              "BEGIN:VEVENT\r\nUID:easter\r\nDTSTAMP:20250101T000000Z\r\n"
                              "DTSTART;VALUE=DATE:20260406\r\nDTEND;VALUE=DATE:20260407\r\n"
                              "SUMMARY:Easter Monday\r\nEND:VEVENT\r\n"
                              "BEGIN:VEVENT\r\nUID:easter2027\r\nDTSTAMP:20250101T000000Z\r\n"
                              "DTSTART;VALUE=DATE:20270329\r\nSUMMARY:Easter Monday\r\nEND:VEVENT\r\n"
                              "BEGIN:VEVENT\r\nUID:thanks\r\nDTSTAMP:20250101T000000Z\r\n"
                              "DTSTART;VALUE=DATE:20201126\r\nRRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=4TH\r\n"
                              "SUMMARY:Thanksgiving\r\nEND:VEVENT\r\n"
                              "BEGIN:VEVENT\r\nUID:xmas\r\nDTSTAMP:20250101T000000Z\r\n"
                              "DTSTART;VALUE=DATE:20001224\r\nDTEND;VALUE=DATE:20001227\r\n"
                              "RRULE:FREQ=YEARLY\r\nSUMMARY:Christmas\r\nEND:VEVENT\r\n"
                              "BEGIN:VEVENT\r\nUID:meeting\r\nDTSTAMP:20250101T000000Z\r\n"
                              "DTSTART:20260310T090000Z\r\nSUMMARY:Meeting\r\nEND:VEVENT\r\n"
                              "END:VCALENDAR\r\n";

QList<QJsonObject> readWithPython(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromUtf8(kPythonReader), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << "python3-icalendar failed:" << p.readAllStandardError();
        return {};
    }
    QList<QJsonObject> events;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            events << QJsonDocument::fromJson(line).object();
    return events;
}

QJsonObject byUid(const QList<QJsonObject>& events, const QString& uid)
{
    for (const QJsonObject& e : events)
        if (e.value("uid").toString() == uid)
            return e;
    return {};
}

QProcessEnvironment zoneEnvironment(const QString& zone)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", zone);
    return env;
}

} // namespace

class TestCliIcs : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void exportParsesWithAnIndependentReader_data();
    void exportParsesWithAnIndependentReader();
    void exportRoundTripsThroughKhal();
    void exportCarriesWhatClientsUse();
    void ownEventsAreNoHolidays();
    void windows1252InputIsNamedNotGarbled();

    void rulesGiveTheirDaysInTheYear_data();
    void rulesGiveTheirDaysInTheYear();
    void holidaysImportAsRedDays();
    void importingTwiceAddsNothing();
    void existingRedDayIsKeptWithoutReplace_data();
    void existingRedDayIsKeptWithoutReplace();
    void importRefusesWhatWouldLoseData_data();
    void importRefusesWhatWouldLoseData();
    void importReadsAPipe();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString dir() const { return m_dir->path(); }
    QString writeHolidays(const QByteArray& text);
};

void TestCliIcs::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    writeFolder(dir(), richYear(kYear), everyYearDays(kYear));
}

QString TestCliIcs::writeHolidays(const QByteArray& text)
{
    const QString path = dir() + "/holidays.ics";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return QString();
    return path;
}

void TestCliIcs::exportParsesWithAnIndependentReader_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("alarmStart");
    QTest::addColumn<QString>("alarmZone");
    QTest::newRow("Europe/Berlin: zoned, with VTIMEZONE") << "Europe/Berlin"
                                                          << "2026-01-06T14:05:00+01:00"
                                                          << "Europe/Berlin";
    QTest::newRow("UTC") << "UTC"
                         << "2026-01-06T14:05:00+00:00"
                         << "";
}

// Why: a calendar only some programs read is no use; python3-icalendar is a reader we did not write.
void TestCliIcs::exportParsesWithAnIndependentReader()
{
    QFETCH(QString, zone);
    QFETCH(QString, alarmStart);
    QFETCH(QString, alarmZone);
    const QString path = dir() + "/year.ics";
    const Run r = runProgram({"--dir", dir(), "export-ics", "2026", "-o", path}, zoneEnvironment(zone));
    QCOMPARE(r.status, 0);
    const QList<QJsonObject> events = readWithPython(path);
    QVERIFY2(!events.isEmpty(), "the exported calendar did not parse with python3-icalendar");

    // 14 projects less "Never" (ends before 1900); 12 "Holiday", Christmas and New Year from the every-year
    // file; 25 memos; 6 alarms that are on.
    QCOMPARE(events.size(), 13 + 14 + 25 + 6);

    const QJsonObject project = byUid(events, "2026-project-1@tolva");
    QCOMPARE(project.value("summary").toString(), QStringLiteral("Project 1"));
    // Starts at 09:00 on 10 January: the line (and the event) begins the day after; the end is exclusive.
    QCOMPARE(project.value("start").toString(), QStringLiteral("2026-01-11"));
    QCOMPARE(project.value("end").toString(), QStringLiteral("2026-02-01"));
    QCOMPARE(byUid(events, "2026-project-12@tolva").value("start").toString(), QStringLiteral("2026-01-01"));

    const QJsonObject christmas = byUid(events, "every-year-12-25-red-day@tolva");
    QCOMPARE(christmas.value("summary").toString(), QStringLiteral("Christmas"));
    QCOMPARE(christmas.value("rrule").toString(), QStringLiteral("FREQ=YEARLY"));
    QCOMPARE(byUid(events, "every-year-01-01-red-day@tolva").value("summary").toString(),
             QStringLiteral("New Year"));
    QCOMPARE(byUid(events, "2026-01-08-red-day@tolva").value("rrule").toString(), QString());

    const QJsonObject memo = byUid(events, "2026-07-19-memo@tolva");
    QCOMPARE(memo.value("description").toString(), QStringLiteral("Café au lait\nwith crème"));
    QCOMPARE(memo.value("summary").toString(), QStringLiteral("Café au lait"));

    const QJsonObject alarm = byUid(events, "2026-01-06-alarm@tolva");
    QCOMPARE(alarm.value("summary").toString(), QStringLiteral("Call back"));
    QCOMPARE(alarm.value("start").toString(), alarmStart);
    QCOMPARE(alarm.value("tzid").toString(), alarmZone);
    QCOMPARE(alarm.value("alarms").toArray(), QJsonArray{"DISPLAY"});
    QCOMPARE(alarm.value("zones").toArray().contains(alarmZone), !alarmZone.isEmpty());
    QVERIFY(byUid(events, "2026-02-07-alarm@tolva").isEmpty()); // not on
}

// Why: the export is for the calendars people use; khal is one, and importing twice must not duplicate.
void TestCliIcs::exportRoundTripsThroughKhal()
{
    const QString path = dir() + "/year.ics";
    QCOMPARE(runProgram({"--dir", dir(), "export-ics", "2026", "-o", path}, zoneEnvironment("Europe/Berlin"))
                 .status,
             0);

    QTemporaryDir khalHome;
    QDir(khalHome.path()).mkpath("calendar");
    const QString config = khalHome.path() + "/config";
    QFile c(config);
    QVERIFY(c.open(QIODevice::WriteOnly));
    c.write(QStringLiteral("[calendars]\n[[tolva]]\npath = %1/calendar/\ntype = calendar\n"
                           "[sqlite]\npath = %1/khal.db\n"
                           "[locale]\ntimeformat = %H:%M\ndateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n"
                           "datetimeformat = %Y-%m-%d %H:%M\nlongdatetimeformat = %Y-%m-%d %H:%M\n"
                           "local_timezone = Europe/Berlin\ndefault_timezone = Europe/Berlin\n"
                           "[default]\ndefault_calendar = tolva\n")
                .arg(khalHome.path())
                .toUtf8());
    c.close();

    QProcessEnvironment env = zoneEnvironment("Europe/Berlin");
    env.insert("HOME", khalHome.path());
    env.insert("XDG_CONFIG_HOME", khalHome.path());
    env.insert("XDG_DATA_HOME", khalHome.path());
    const auto khal = [&](const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start("khal", QStringList{"-c", config} + args);
        if (!p.waitForFinished(120000) || p.exitCode() != 0)
            return QStringLiteral("khal failed: ") + QString::fromUtf8(p.readAllStandardError());
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    for (int round = 0; round < 2; ++round)
        QCOMPARE(khal({"import", "--batch", "-a", "tolva", path}), QString());
    QCOMPARE(QDir(khalHome.path() + "/calendar").entryList(QDir::Files).size(), 58);

    const QString listed = khal({"list", "--once", "--day-format", "", "--format", "{uid}|{start}|{title}",
                                 "2026-01-01", "2026-12-31"});
    QVERIFY2(listed.contains("2026-01-06-alarm@tolva|2026-01-06 14:05|Call back"), qPrintable(listed));
    QVERIFY(listed.contains("every-year-12-25-red-day@tolva|2026-12-25|Christmas"));
    QVERIFY(listed.contains("2026-07-19-memo@tolva|2026-07-19|Café au lait"));
    QVERIFY(listed.contains("2026-project-0@tolva|2026-01-03|Café"));
    QCOMPARE(listed.count("2026-03-05-memo@tolva"), 1);
    // The red days that repeat every year are there the year after too.
    const QString nextYear =
        khal({"list", "--once", "--day-format", "", "--format", "{uid}|{start}", "2027-01-01", "2027-12-31"});
    QVERIFY2(nextYear.contains("every-year-12-25-red-day@tolva|2027-12-25"), qPrintable(nextYear));
    QVERIFY(nextYear.contains("every-year-01-01-red-day@tolva|2027-01-01"));
}

// Why: phones colour events by COLOR, sort revisions by SEQUENCE and LAST-MODIFIED, and show a summary
// in one line; a memo's whole text must still be there.
void TestCliIcs::exportCarriesWhatClientsUse()
{
    YearData year = richYear(kYear);
    const QString longLine = QString(120, QLatin1Char('x'));
    year.m_memos.setAt(Calendar::dayOfYear(kYear, 8, 1), (longLine + "\r\nsecond line").toUtf8());
    year.m_projects.at(1).m_crColor = makeColorRef(0x40, 0xE0, 0xD1); // CSS "turquoise"
    year.m_dayMarks.at(Calendar::dayOfYear(kYear, 1, 20)).m_bChecked[1] = 1;
    writeFolder(dir(), year, everyYearDays(kYear));
    const QString path = dir() + "/year.ics";
    QCOMPARE(runProgram({"--dir", dir(), "export-ics", "2026", "-o", path}, zoneEnvironment("UTC")).status,
             0);
    const QList<QJsonObject> events = readWithPython(path);
    QVERIFY(!events.isEmpty());
    for (const QJsonObject& e : events) {
        QCOMPARE(e.value("sequence").toInt(), 0);
        QVERIFY2(!e.value("lastModified").toString().isEmpty(), qPrintable(e.value("uid").toString()));
        QVERIFY(!e.value("kind").toString().isEmpty());
        QVERIFY(e.value("summary").toString().size() <= 80);
    }
    const QJsonObject project = byUid(events, "2026-project-1@tolva");
    QCOMPARE(project.value("color").toString(), QStringLiteral("turquoise"));
    QCOMPARE(project.value("exactColor").toString(), QStringLiteral("#40e0d1"));
    QCOMPARE(project.value("kind").toString(), QStringLiteral("project"));
    QVERIFY(project.value("ticks").toString().split(QLatin1Char(',')).contains(QStringLiteral("20260120")));
    const QJsonObject memo = byUid(events, "2026-08-01-memo@tolva");
    QCOMPARE(memo.value("summary").toString(), QString(79, QLatin1Char('x')) + QChar(0x2026));
    QCOMPARE(memo.value("description").toString(), longLine + "\nsecond line");
    // An every-year red day is the same event whatever year is exported.
    QCOMPARE(byUid(events, "every-year-12-25-red-day@tolva").value("start").toString(),
             QStringLiteral("%1-12-25").arg(CalendarExport::kEveryYearStart));
}

// Why: importing the planner's own export (or pulling its published calendar) once turned every project
// and memo into a red day.
void TestCliIcs::ownEventsAreNoHolidays()
{
    const QString path = dir() + "/year.ics";
    QCOMPARE(runProgram({"--dir", dir(), "export-ics", "2026", "-o", path}).status, 0);
    const QByteArray before = fileBytes(dir() + "/YEARS/2026.year");
    const Run r = runInProcess({"--dir", dir(), "import-ics", path, "2026"});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("of the planner's own events: they are no holidays")),
             qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("0 added, 0 replaced")), qPrintable(r.out));
    QCOMPARE(fileBytes(dir() + "/YEARS/2026.year"), before);
}

// Why: a holiday file saved by an old program in Windows-1252 was stored garbled without a word.
void TestCliIcs::windows1252InputIsNamedNotGarbled()
{
    QTemporaryDir fresh;
    const QString holidays = writeHolidays("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//old//EN\r\n"
                                           "BEGIN:VEVENT\r\nUID:f\r\nDTSTAMP:20250101T000000Z\r\n"
                                           "DTSTART;VALUE=DATE:20260216\r\n"
                                           "SUMMARY:Fasching f\xfcr alle\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    const Run r = runInProcess({"--dir", fresh.path(), "import-ics", holidays, "2026"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err,
             QStringLiteral("tolva-cli: %1: line 8 is not UTF-8; read as Windows-1252\n").arg(holidays));
    YearReader reader(fresh.path());
    QVERIFY(reader.read(kYear));
    QCOMPARE(TextCodec::decode(reader.year().m_redTexts.at(Calendar::dayOfYear(kYear, 2, 16))),
             QStringLiteral("Fasching für alle"));
}

void TestCliIcs::rulesGiveTheirDaysInTheYear_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("everyYear");
    QTest::addColumn<QString>("skipped");
    QTest::newRow("yearly on its day") << "DTSTART;VALUE=DATE:19990704\r\nRRULE:FREQ=YEARLY" << 1 << 1 << "";
    QTest::newRow("yearly, but only from 2030 on")
        << "DTSTART;VALUE=DATE:20300704\r\nRRULE:FREQ=YEARLY" << 0 << 0 << "repeats only from 2030 on";
    QTest::newRow("yearly until 2027: days, not every year")
        << "DTSTART;VALUE=DATE:20200704\r\nRRULE:FREQ=YEARLY;UNTIL=20271231" << 1 << 0 << "";
    QTest::newRow("daily since year 1")
        << "DTSTART;VALUE=DATE:00010101\r\nRRULE:FREQ=DAILY" << 365 << 0 << "";
    QTest::newRow("weekly with an exception")
        << "DTSTART;VALUE=DATE:20260105\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\nEXDATE;VALUE=DATE:20260112" << 2 << 0
        << "";
    QTest::newRow("every second of a day: refused whole")
        << "DTSTART;VALUE=DATE:19000101\r\nRRULE:FREQ=SECONDLY" << 0 << 0 << "too many occurrences";
    QTest::newRow("three days over new year")
        << "DTSTART;VALUE=DATE:20251231\r\nDTEND;VALUE=DATE:20260103" << 2 << 0 << "";
    QTest::newRow("timed") << "DTSTART:20260310T090000" << 0 << 0 << "not an all-day event";
}

// Why: holiday calendars describe their days with rules; each must give exactly its days of the year, and
// a hostile rule must end quickly instead of filling the year.
void TestCliIcs::rulesGiveTheirDaysInTheYear()
{
    QFETCH(QString, lines);
    QFETCH(int, days);
    QFETCH(int, everyYear);
    QFETCH(QString, skipped);
    const QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:x\r\n" +
                            lines.toUtf8() + "\r\nSUMMARY:Day\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    QList<ImportedHoliday> found;
    QStringList skippedEvents;
    QString error;
    QVERIFY(ICalendarFile::readHolidays(text, kYear, found, skippedEvents, error));
    QCOMPARE(found.size(), days);
    QCOMPARE(std::count_if(found.begin(), found.end(), [](const ImportedHoliday& h) { return h.everyYear; }),
             everyYear);
    QCOMPARE(skippedEvents.join('\n').contains(skipped), true);
    QCOMPARE(skippedEvents.isEmpty(), skipped.isEmpty());
}

// Why: the import is how a country's holidays get into the planner; yearly ones must reach every year.
void TestCliIcs::holidaysImportAsRedDays()
{
    QTemporaryDir fresh;
    const QString holidays = writeHolidays(kHolidays);
    const Run r = runInProcess({"--dir", fresh.path(), "import-ics", holidays, "2026"});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.endsWith("7 added, 0 replaced, 2 skipped\n"), qPrintable(r.out));
    QVERIFY(r.out.contains("skipped   \"Meeting\": not an all-day event"));

    YearReader reader(fresh.path());
    QVERIFY(reader.read(kYear));
    const auto redDay = [&](int month, int day) {
        const int n = Calendar::dayOfYear(kYear, month, day);
        return std::make_pair(QString::fromUtf8(reader.year().m_redTexts.at(n)),
                              reader.year().m_redDays.at(n).m_bEveryYear != 0);
    };
    QCOMPARE(redDay(1, 1), std::make_pair(QStringLiteral("New Year's Day"), true));
    QCOMPARE(redDay(5, 1), std::make_pair(QStringLiteral("Labour Day"), true));
    QCOMPARE(redDay(4, 6), std::make_pair(QStringLiteral("Easter Monday"), false));
    QCOMPARE(redDay(11, 26), std::make_pair(QStringLiteral("Thanksgiving"), false));
    // A three-day yearly event is no single every-year day: its days in the year become red days.
    QCOMPARE(redDay(12, 24), std::make_pair(QStringLiteral("Christmas"), false));
    QCOMPARE(redDay(12, 26), std::make_pair(QStringLiteral("Christmas"), false));
    QCOMPARE(redDay(3, 29).first, QString());

    // Every-year days reach other years through ForeverRedDays.year.
    YearReader other(fresh.path());
    QVERIFY(other.read(2031));
    QCOMPARE(other.everyYear().m_foreverRedTexts.count(), 2);
    QCOMPARE(QString::fromUtf8(other.year().m_redTexts.at(Calendar::dayOfYear(2031, 5, 1))),
             QStringLiteral("Labour Day"));
}

// Why: people import the same holiday file again (or a newer one); nothing may be duplicated or rewritten.
void TestCliIcs::importingTwiceAddsNothing()
{
    const QString holidays = writeHolidays(kHolidays);
    const QString years = dir() + "/YEARS";
    const QByteArray original = fileBytes(years + "/2026.year");
    QCOMPARE(runInProcess({"--dir", dir(), "import-ics", holidays, "2026"}).status, 0);
    // The first import kept the replaced year file.
    QCOMPARE(fileBytes(years + "/2026.year.before-import"), original);

    const QStringList entries = folderEntries(years);
    const QByteArray year = fileBytes(years + "/2026.year");
    const QByteArray everyYear = fileBytes(years + "/ForeverRedDays.year");
    const Run again = runInProcess({"--dir", dir(), "import-ics", holidays, "2026"});
    QCOMPARE(again.status, 0);
    QVERIFY2(again.out.endsWith("0 added, 0 replaced, 9 skipped; nothing written\n"), qPrintable(again.out));
    QCOMPARE(folderEntries(years), entries);
    QCOMPARE(fileBytes(years + "/2026.year"), year);
    QCOMPARE(fileBytes(years + "/ForeverRedDays.year"), everyYear);
}

void TestCliIcs::existingRedDayIsKeptWithoutReplace_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("christmas");
    QTest::addColumn<QString>("report");
    QTest::newRow("kept")
        << false << "Christmas"
        << "skipped   2026-12-25 Christmas Day: the day is already the red day \"Christmas\"";
    QTest::newRow("--replace") << true << "Christmas Day"
                               << "replaced  2026-12-25 Christmas Day (every year) (was \"Christmas\")";
}

// Why: a red-day text is the user's own; an import may fill empty days but overwrite only when asked.
void TestCliIcs::existingRedDayIsKeptWithoutReplace()
{
    QFETCH(bool, replace);
    QFETCH(QString, christmas);
    QFETCH(QString, report);
    const QString holidays = writeHolidays("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n"
                                           "BEGIN:VEVENT\r\nUID:x\r\nDTSTAMP:20250101T000000Z\r\n"
                                           "DTSTART;VALUE=DATE:19991225\r\nRRULE:FREQ=YEARLY\r\n"
                                           "SUMMARY:Christmas Day\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    QStringList args{"--dir", dir(), "import-ics", holidays, "2026"};
    if (replace)
        args << "--replace";
    const Run r = runInProcess(args);
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(report), qPrintable(r.out));
    YearReader reader(dir());
    QVERIFY(reader.read(kYear));
    QCOMPARE(QString::fromUtf8(reader.year().m_redTexts.at(Calendar::dayOfYear(kYear, 12, 25))), christmas);
}

void TestCliIcs::importRefusesWhatWouldLoseData_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("planner holds the folder") << "lock"
                                              << "a planner is working on";
    QTest::newRow("damaged year file") << "cut year"
                                       << "2026.year: at byte";
    QTest::newRow("damaged every-year file") << "cut every-year"
                                             << "ForeverRedDays.year: at byte";
    QTest::newRow("no calendar") << "not a calendar"
                                 << "holidays.ics: it ";
}

// Why: an import over a running planner would be overwritten at its next save, and one over a damaged file
// would save away its unreadable part; both must stop with one line and leave every file as it was.
void TestCliIcs::importRefusesWhatWouldLoseData()
{
    QFETCH(QString, damage);
    QFETCH(QString, message);
    QString holidays = writeHolidays(kHolidays);
    const QString years = dir() + "/YEARS";
    std::unique_ptr<DataFolderLock> lock;
    if (damage == "lock") {
        lock = std::make_unique<DataFolderLock>(years);
        QCOMPARE(lock->tryLock(), DataFolderLock::Status::Locked);
    } else if (damage == "cut year") {
        QVERIFY(QFile(years + "/2026.year").resize(2000));
    } else if (damage == "cut every-year") {
        QVERIFY(QFile(years + "/ForeverRedDays.year").resize(10));
    } else {
        holidays = writeHolidays("Just some text\n");
    }
    const QStringList entries = folderEntries(years);
    const QByteArray year = fileBytes(years + "/2026.year");
    const QByteArray everyYear = fileBytes(years + "/ForeverRedDays.year");

    // The real program, as a second process beside the lock's holder.
    const Run r = runProgram({"--dir", dir(), "import-ics", holidays, "2026"});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(folderEntries(years), entries);
    QCOMPARE(fileBytes(years + "/2026.year"), year);
    QCOMPARE(fileBytes(years + "/ForeverRedDays.year"), everyYear);
}

// Why: `import-ics <(curl URL) 2026` hands the program a FIFO; it is a calendar like any file.
void TestCliIcs::importReadsAPipe()
{
    const QString fifo = dir() + "/pipe.ics";
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QProcess writer;
    writer.start("/bin/sh", {"-c", "cat \"$0\" > \"$1\"", writeHolidays(kHolidays), fifo});
    QVERIFY(writer.waitForStarted());
    const Run r = runProgram({"--dir", dir(), "import-ics", fifo, "2026"});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("added"), qPrintable(r.out));
    QVERIFY(writer.waitForFinished());
}

QTEST_MAIN(TestCliIcs)
#include "tst_cli_ics.moc"
