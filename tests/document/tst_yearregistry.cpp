// One document per year, shared; saved when the last user lets go; every-year red days kept in step
// across the open years; problems told once.

#include "Calendar.h"
#include "DataStore.h"
#include "DurableFile.h"
#include "Moments.h"
#include "YearDocument.h"
#include "YearOnDisk.h"
#include "YearRegistry.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <map>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using TestSupport::moment;

namespace {

struct Folder
{
    QTemporaryDir dir;
    DataStore store;
    DisplaySettings defaults = DisplaySettings::builtInDefaults(moment(2011, 1, 1));

    Folder() { store.CaptureWorkDir(dir.path()); }

    YearData onDisk(int year) const { return TestSupport::yearOnDisk(store, year, defaults); }
};

RedDayRecord everyYear(int year, int month, int day)
{
    RedDayRecord r{};
    r.m_bEveryYear = 1;
    r.m_stDate = moment(year, month, day);
    return r;
}

int doy(int year, int month, int day)
{
    return Calendar::dayOfYear(year, month, day);
}

// Reads of ForeverRedDays.year fail with EIO this many more times, as a flaky mount gives.
int g_failedEveryYearReads = 0;

ssize_t flakyRead(int fd, void* buffer, size_t count)
{
    char target[4096] = {};
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    if (g_failedEveryYearReads > 0 && ::readlink(link.constData(), target, sizeof target - 1) > 0 &&
        QByteArray(target).endsWith("/ForeverRedDays.year")) {
        --g_failedEveryYearReads;
        errno = EIO;
        return -1;
    }
    return ::read(fd, buffer, count);
}

struct Day
{
    int month = 0;
    int day = 0;
    QByteArray text;
    bool flagged = false;
};

// "12-25 Christmas *, 05-01 Fair": month-day, the text ("-" none), a star when it repeats every year.
QList<Day> daysIn(const QString& list)
{
    QList<Day> days;
    for (QString item : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        item = item.trimmed();
        Day d{item.left(2).toInt(), item.mid(3, 2).toInt(), item.mid(6).toUtf8(), false};
        d.flagged = d.text.endsWith(" *");
        d.text.chop(d.flagged ? 2 : 0);
        days.append(d.text == "-" ? Day{d.month, d.day, QByteArray(), d.flagged} : d);
    }
    return days;
}

// "2026: 12-25 Christmas *; 2027: ..."
std::map<int, QList<Day>> yearsIn(const QString& list)
{
    std::map<int, QList<Day>> years;
    for (const QString& year : list.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        years[year.section(QLatin1Char(':'), 0, 0).trimmed().toInt()] =
            daysIn(year.section(QLatin1Char(':'), 1));
    return years;
}

ForeverRedDays everyYearFile(const QString& list)
{
    ForeverRedDays file;
    for (const Day& d : daysIn(list)) {
        file.m_foreverRedDays.append(everyYear(2020, d.month, d.day));
        file.m_foreverRedTexts.append(d.text);
    }
    return file;
}

QString describe(const ForeverRedDays& file)
{
    QStringList entries;
    for (qsizetype i = 0; i < file.m_foreverRedDays.count(); ++i)
        entries << QStringLiteral("%1-%2 %3")
                       .arg(file.m_foreverRedDays.at(i).m_stDate.wMonth, 2, 10, QLatin1Char('0'))
                       .arg(file.m_foreverRedDays.at(i).m_stDate.wDay, 2, 10, QLatin1Char('0'))
                       .arg(QString::fromUtf8(file.m_foreverRedTexts.at(i)));
    return entries.join(QStringLiteral(", "));
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// Runs one edit sequence ("open 2026; flag 2027 12-25 Christmas; unflag 2027 12-25; close 2026; restart;
// file 12-25 Christmas") on a folder, each session a registry; returns every problem told.
QStringList runEdits(Folder& f, const QString& edits, bool flakyFirstSession)
{
    QStringList told;
    auto registry = std::make_unique<YearRegistry>(f.store, f.defaults);
    std::map<int, std::shared_ptr<YearDocument>> held;
    const auto listen = [&] {
        QObject::connect(registry.get(), &YearRegistry::problem,
                         [&](const StoreResult& r) { told << r.message; });
    };
    listen();
    for (const QString& step : edits.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList w = step.trimmed().split(QLatin1Char(' '));
        const int year = w.value(1).toInt();
        const int month = w.value(2).left(2).toInt();
        const int day = w.value(2).mid(3, 2).toInt();
        if (w.at(0) == "restart") {
            held.clear();
            registry.reset();
            if (flakyFirstSession)
                g_failedEveryYearReads = 0;
            registry = std::make_unique<YearRegistry>(f.store, f.defaults);
            listen();
        } else if (w.at(0) == "file") {
            f.store.saveForeverRedDays(everyYearFile(step.trimmed().mid(5)));
        } else if (w.at(0) == "open") {
            held[year] = registry->open(year);
        } else if (w.at(0) == "close") {
            held.erase(year);
        } else if (w.at(0) == "flag") {
            if (!held.count(year))
                held[year] = registry->open(year);
            held[year]->setRedDay(doy(year, month, day), everyYear(year, month, day),
                                  w.mid(3).join(' ').toUtf8());
        } else if (w.at(0) == "unflag") {
            if (!held.count(year))
                held[year] = registry->open(year);
            RedDayRecord r = held[year]->data().m_redDays.at(doy(year, month, day));
            r.m_bEveryYear = 0;
            held[year]->setRedDay(doy(year, month, day), r,
                                  held[year]->data().m_redTexts.at(doy(year, month, day)));
        }
    }
    held.clear();
    registry.reset();
    g_failedEveryYearReads = 0;
    return told;
}

} // namespace

class TestYearRegistry : public QObject
{
    Q_OBJECT

private slots:
    void oneDocumentPerYearSavedWhenTheLastUserLetsGo();
    void projectMarksMoveWithTheirProjects_data();
    void projectMarksMoveWithTheirProjects();
    void everyYearDaysFollowEditsIntoOpenYears();
    void everyYearRuleTheLastEditWins_data();
    void everyYearRuleTheLastEditWins();
    void everyYearEntriesWithoutADayThisYearSurvive();
    void aLostEveryYearFileIsRebuiltFromTheYears_data();
    void aLostEveryYearFileIsRebuiltFromTheYears();
    void aDamagedEveryYearFileIsRewrittenFromTheYears_data();
    void aDamagedEveryYearFileIsRewrittenFromTheYears();
    void aFailedSaveIsToldOnceAndTriedAgain();
    void editsOutsideTheListsChangeNothing();
};

void TestYearRegistry::oneDocumentPerYearSavedWhenTheLastUserLetsGo()
{
    Folder f;
    YearRegistry registry(f.store, f.defaults);
    auto a = registry.open(2011);
    auto b = registry.open(2011);
    QCOMPARE(a.get(), b.get());
    QCOMPARE(registry.find(2011), a.get());
    QVERIFY(registry.open(2012).get() != a.get()); // released at once; looked at only, so nothing written
    QVERIFY(!QFile::exists(f.store.yearPath(2012)));
    QCOMPARE(registry.find(2012), nullptr);

    a->setMemo(doy(2011, 7, 4), "kept");
    a.reset();
    QVERIFY(!QFile::exists(f.store.yearPath(2011))); // b still holds the year
    b.reset();
    QCOMPARE(f.onDisk(2011).m_memos.at(doy(2011, 7, 4)), QByteArray("kept"));
    QCOMPARE(registry.openCount(), 0);
    QVERIFY(!QFile::exists(f.store.foreverRedDaysPath())); // no every-year edit: nothing to write
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, registry.open(0));
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, registry.open(10000));
}

void TestYearRegistry::projectMarksMoveWithTheirProjects_data()
{
    QTest::addColumn<int>("projects");
    QTest::addColumn<int>("removed");
    QTest::newRow("first of three") << 3 << 0;
    QTest::newRow("last of three") << 3 << 2;
    QTest::newRow("position 99 of 101") << 101 << 99;
    QTest::newRow("position 100 of 101: no mark byte") << 101 << 100;
}

// A project's position is its byte in every day's marks: after a removal every later project keeps its own.
void TestYearRegistry::projectMarksMoveWithTheirProjects()
{
    QFETCH(int, projects);
    QFETCH(int, removed);
    Folder f;
    YearRegistry registry(f.store, f.defaults);
    auto doc = registry.open(2011);
    for (int p = 0; p < projects; ++p) {
        ProjectRecord r{};
        r.m_stStart = moment(2011, 2, 3, 7);
        r.m_stEnd = moment(2011, 2, 9, 7);
        QCOMPARE(doc->appendProject(r, QByteArray::number(p)), qsizetype(p));
        // Day 10 + p carries project p's mark.
        doc->setMarked(10 + p, p, true);
    }
    // New projects cover whole days.
    QCOMPARE(doc->data().m_projects.at(0).m_stStart, moment(2011, 2, 3));
    QCOMPARE(doc->data().m_projects.at(0).m_stEnd, moment(2011, 2, 9, 23, 59, 59));
    doc->removeProject(removed);
    QCOMPARE(doc->data().m_projects.count(), qsizetype(projects - 1));
    for (int p = 0; p < projects - 1; ++p) {
        const int original = p < removed ? p : p + 1;
        QCOMPARE(doc->data().m_names.at(p), QByteArray::number(original));
        if (p < DayMarkRecord::kMaxProjects)
            QCOMPARE(doc->data().m_dayMarks.at(10 + original).m_bChecked[p] != 0,
                     original < DayMarkRecord::kMaxProjects);
    }
    if (removed < DayMarkRecord::kMaxProjects)
        QCOMPARE(doc->data().m_dayMarks.at(10 + removed).m_bChecked[removed], std::uint8_t(0));
}

// Flagged in one year, a red day is in every open year at once and in the every-year file; unflagged, the
// copies it placed go; a year's own red day on that date is never covered and stays.
void TestYearRegistry::everyYearDaysFollowEditsIntoOpenYears()
{
    Folder f;
    YearRegistry registry(f.store, f.defaults);
    auto y2011 = registry.open(2011);
    auto y2012 = registry.open(2012);
    auto y2013 = registry.open(2013);
    y2013->setRedDay(doy(2013, 5, 1), RedDayRecord{}, "Local fair");

    y2011->setRedDay(doy(2011, 5, 1), everyYear(2011, 5, 1), "Labour Day");
    QCOMPARE(y2012->data().m_redTexts.at(doy(2012, 5, 1)), QByteArray("Labour Day"));
    // Shown, not stored: a copy of an entry is no edit of 2012.
    QVERIFY(!QFile::exists(f.store.yearPath(2012)));
    QCOMPARE(y2013->data().m_redTexts.at(doy(2013, 5, 1)), QByteArray("Local fair"));
    ForeverRedDays file;
    QVERIFY(f.store.loadForeverRedDays(file).ok());
    QCOMPARE(file.m_foreverRedTexts.count(), 1);

    // A year opened later gets it from the list.
    QCOMPARE(registry.open(2030)->data().m_redTexts.at(doy(2030, 5, 1)), QByteArray("Labour Day"));

    y2011->setRedDay(doy(2011, 5, 1), RedDayRecord{}, "Labour Day");
    QVERIFY(y2012->data().m_redTexts.at(doy(2012, 5, 1)).isEmpty());
    QVERIFY(f.store.loadForeverRedDays(file).ok());
    QCOMPARE(file.m_foreverRedTexts.count(), 0);
    QVERIFY(y2011->data().m_redTexts.at(doy(2011, 5, 1)) == "Labour Day");
    // 2013's own red day was never covered by the entry, and stays after it.
    QCOMPARE(y2013->data().m_redTexts.at(doy(2013, 5, 1)), QByteArray("Local fair"));

    // The flag decides, not the text: an empty one repeats too.
    y2011->setRedDay(doy(2011, 6, 1), everyYear(2011, 6, 1), QByteArray());
    QVERIFY(f.store.loadForeverRedDays(file).ok());
    QCOMPARE(file.m_foreverRedDays.count(), 1);
    QCOMPARE(int(file.m_foreverRedDays.at(0).m_stDate.wMonth), 6);
    QCOMPARE(y2012->data().m_redDays.at(doy(2012, 6, 1)).m_bEveryYear, std::uint8_t(1));
}

void TestYearRegistry::everyYearRuleTheLastEditWins_data()
{
    QTest::addColumn<QString>("years");     // year files at the start
    QTest::addColumn<QString>("file");      // ForeverRedDays.year at the start; "-" none, "!" its first read
                                            // fails, "!!" every read of the first session fails
    QTest::addColumn<QString>("edits");     // see runEdits
    QTest::addColumn<QString>("fileAfter"); // ForeverRedDays.year at the end
    QTest::addColumn<QString>("shows");     // what the years show in a session after
    QTest::addColumn<QStringList>("unchanged"); // files with the bytes they started with (or still none)
    QTest::addColumn<QString>("told");          // part of a message the user got; "" none at all

    QTest::newRow("an unflag is not undone by opening the year that carries the flag")
        << "2026: 12-25 Christmas *; 2027: 12-25 Christmas *"
        << "12-25 Christmas"
        << "open 2027; unflag 2027 12-25; restart; open 2026; open 2027"
        << ""
        << "2026: 12-25 -; 2027: 12-25 Christmas; 2030: 12-25 -" << QStringList{"2026.year"} << "";
    QTest::newRow("a year's own red day is never covered, nor removed with the entry")
        << "2026: 05-01 Own 2026 holiday"
        << "-"
        << "open 2027; flag 2027 05-01 May Day; restart; open 2026; restart; unflag 2027 05-01"
        << ""
        << "2026: 05-01 Own 2026 holiday; 2027: 05-01 May Day; 2028: 05-01 -" << QStringList{"2026.year"}
        << "";
    QTest::newRow("a flag reaches open years and years opened later, without writing them")
        << ""
        << "-"
        << "open 2030; flag 2026 12-25 Christmas"
        << "12-25 Christmas"
        << "2026: 12-25 Christmas *; 2030: 12-25 Christmas *; 2031: 12-25 Christmas *"
        << QStringList{"2030.year"} << "";
    QTest::newRow("flagged again after a removal: the new entry, the unflagged year keeps its own")
        << "2026: 12-25 Christmas *"
        << "12-25 Christmas"
        << "unflag 2027 12-25; restart; flag 2028 12-25 Yule"
        << "12-25 Yule"
        << "2026: 12-25 Yule *; 2027: 12-25 Christmas; 2029: 12-25 Yule *" << QStringList{"2026.year"} << "";
    QTest::newRow("an unflag in a year with another text: that year's text stays, unflagged")
        << "2026: 12-25 Xmas *; 2027: 12-25 Christmas *"
        << "12-25 Christmas"
        << "open 2026; unflag 2027 12-25; restart; open 2026"
        << ""
        << "2026: 12-25 Xmas; 2027: 12-25 Christmas" << QStringList{"2026.year"} << "";
    QTest::newRow("an older folder: a flag in a year file joins a missing every-year file")
        << "2026: 01-01 New Year *"
        << "-"
        << "open 2026"
        << "01-01 New Year"
        << "2029: 01-01 New Year *" << QStringList{"2026.year"} << "";
    QTest::newRow("an older folder: the every-year file is merged over the years' flags")
        << "2026: 12-25 Xmas *"
        << "12-25 Christmas"
        << "open 2026"
        << "12-25 Christmas"
        << "2026: 12-25 Christmas *; 2040: 12-25 Christmas *"
        << QStringList{"2026.year", "ForeverRedDays.year"} << "";
    QTest::newRow("an every-year file another program wrote after a removal is the newer word")
        << "2026: 12-25 Christmas *"
        << "12-25 Christmas"
        << "unflag 2026 12-25; restart; file 12-25 Christmas; open 2027"
        << "12-25 Christmas"
        << "2026: 12-25 Christmas; 2027: 12-25 Christmas *" << QStringList{} << "";
    QTest::newRow("looking at years writes nothing")
        << "2026: 03-01 Fair, 12-25 Christmas *"
        << "12-25 Christmas"
        << "open 2026; open 2027; restart; open 2026"
        << "12-25 Christmas"
        << "2026: 03-01 Fair, 12-25 Christmas *; 2027: 03-01 -, 12-25 Christmas *"
        << QStringList{"2026.year", "2027.year", "ForeverRedDays.year", "ForeverRedDays.removed"} << "";
    QTest::newRow("a file that reads fine the second time loses no entry")
        << ""
        << "!01-01 New Year, 12-25 Christmas"
        << "open 2026; flag 2026 05-01 May Day"
        << "01-01 New Year, 05-01 May Day, 12-25 Christmas"
        << "2026: 01-01 New Year *; 2030: 01-01 New Year *, 05-01 May Day *, 12-25 Christmas *"
        << QStringList{"ForeverRedDays.year.damaged"} << "Could not read";
    QTest::newRow("a file that cannot be read again is moved aside, and the user is told where")
        << ""
        << "!!01-01 New Year"
        << "open 2026; flag 2026 05-01 May Day"
        << "05-01 May Day"
        << "2030: 01-01 -, 05-01 May Day *" << QStringList{}
        << "moved aside to " + QStringLiteral("%1.damaged");
}

// What "every year" means when years and the every-year file disagree: the last edit wins, flags reach
// every year, nothing a year holds of its own is overwritten, and looking writes nothing.
void TestYearRegistry::everyYearRuleTheLastEditWins()
{
    QFETCH(QString, years);
    QFETCH(QString, file);
    QFETCH(QString, edits);
    QFETCH(QString, fileAfter);
    QFETCH(QString, shows);
    QFETCH(QStringList, unchanged);
    QFETCH(QString, told);
    Folder f;
    for (const auto& [year, days] : yearsIn(years)) {
        YearData data;
        data.reset();
        data.m_settings = f.defaults;
        data.m_settings.m_stSelected = moment(year, 1, 1);
        for (const Day& d : days) {
            data.m_redDays.at(doy(year, d.month, d.day)) = everyYear(year, d.month, d.day);
            data.m_redDays.at(doy(year, d.month, d.day)).m_bEveryYear = d.flagged ? 1 : 0;
            data.m_redTexts.setAt(doy(year, d.month, d.day), d.text);
        }
        QVERIFY(f.store.saveYear(data).ok());
    }
    const int flaky = file.startsWith("!!") ? 1000 : file.startsWith('!') ? 1 : 0;
    if (file != "-")
        QVERIFY(f.store.saveForeverRedDays(everyYearFile(file.mid(flaky == 1000 ? 2 : flaky))).ok());
    std::map<QString, QByteArray> before;
    for (const QString& name : unchanged)
        before[name] = bytesOf(f.store.yearsDir() + '/' + name);

    g_failedEveryYearReads = flaky;
    DurableFile::setReadFunction(flakyRead);
    const QStringList messages = runEdits(f, edits, flaky > 1);
    DurableFile::setReadFunction(nullptr);

    ForeverRedDays onDisk;
    QVERIFY(f.store.loadForeverRedDays(onDisk).ok());
    QCOMPARE(describe(onDisk), fileAfter);
    YearRegistry after(f.store, f.defaults);
    QSignalSpy quiet(&after, &YearRegistry::problem);
    for (const auto& [year, days] : yearsIn(shows)) {
        const auto document = after.open(year);
        for (const Day& d : days) {
            const int i = doy(year, d.month, d.day);
            QCOMPARE(QString::fromUtf8(document->data().m_redTexts.at(i)), QString::fromUtf8(d.text));
            QCOMPARE(document->data().m_redDays.at(i).m_bEveryYear != 0, d.flagged);
        }
    }
    QCOMPARE(quiet.count(), 0);
    for (const auto& [name, bytes] : before)
        QVERIFY2(bytesOf(f.store.yearsDir() + '/' + name) == bytes, qPrintable(name));
    const QString expectedTold = told.arg(f.store.foreverRedDaysPath());
    QVERIFY2(told.isEmpty() ? messages.isEmpty()
                            : std::any_of(messages.cbegin(), messages.cend(),
                                          [&](const QString& m) { return m.contains(expectedTold); }),
             qPrintable(messages.join('\n')));
}

// 29 February has no day in a common year; the entry stays in the list and in the file.
void TestYearRegistry::everyYearEntriesWithoutADayThisYearSurvive()
{
    Folder f;
    {
        YearRegistry registry(f.store, f.defaults);
        auto leap = registry.open(2012);
        leap->setRedDay(doy(2012, 2, 29), everyYear(2012, 2, 29), "Leap");
        leap->setRedDay(doy(2012, 3, 1), everyYear(2012, 3, 1), "March");
    }
    YearRegistry registry(f.store, f.defaults);
    auto common = registry.open(2011);
    QCOMPARE(common->data().m_redTexts.at(doy(2011, 3, 1)), QByteArray("March"));
    common->setRedDay(doy(2011, 12, 24), everyYear(2011, 12, 24), "Eve");
    common.reset();
    ForeverRedDays file;
    QVERIFY(f.store.loadForeverRedDays(file).ok());
    QCOMPARE(file.m_foreverRedTexts.count(), 3);
    QCOMPARE(file.m_foreverRedTexts.at(0), QByteArray("Leap"));
    QCOMPARE(file.m_foreverRedTexts.at(2), QByteArray("Eve"));
}

void TestYearRegistry::aLostEveryYearFileIsRebuiltFromTheYears_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<int>("entries");
    QTest::newRow("no every-year file: the year's flagged days fill it") << false << 2;
    QTest::newRow("an every-year file that lacks them gets them too") << true << 2;
}

// Each year's close used to rebuild the every-year file from its flagged red days; a folder that lost the
// file must not lose its repeating holidays, and a day flagged in a year repeats whatever the file said
// before and whatever its text.
void TestYearRegistry::aLostEveryYearFileIsRebuiltFromTheYears()
{
    QFETCH(bool, fileExists);
    QFETCH(int, entries);
    Folder f;
    {
        YearData year;
        year.reset();
        year.m_settings = f.defaults;
        year.m_settings.m_stSelected = moment(2011, 1, 1);
        year.m_redDays.at(doy(2011, 12, 26)) = everyYear(2009, 12, 26);
        year.m_redTexts.setAt(doy(2011, 12, 26), "Boxing Day");
        year.m_redDays.at(doy(2011, 6, 1)) = everyYear(2011, 6, 1); // flagged, no text: still repeats
        QVERIFY(f.store.saveYear(year).ok());
        if (fileExists)
            QVERIFY(f.store.saveForeverRedDays(ForeverRedDays{}).ok());
    }
    {
        YearRegistry registry(f.store, f.defaults);
        registry.open(2011);
    }
    ForeverRedDays file;
    QVERIFY(f.store.loadForeverRedDays(file).ok());
    QCOMPARE(file.m_foreverRedTexts.count(), qsizetype(entries));
    QCOMPARE(file.m_foreverRedTexts.at(0), QByteArray());
    QCOMPARE(int(file.m_foreverRedDays.at(0).m_stDate.wMonth), 6);
    QCOMPARE(file.m_foreverRedTexts.at(1), QByteArray("Boxing Day"));
    QCOMPARE(int(file.m_foreverRedDays.at(1).m_stDate.wMonth), 12);
    QCOMPARE(int(file.m_foreverRedDays.at(1).m_stDate.wDay), 26);
}

void TestYearRegistry::aDamagedEveryYearFileIsRewrittenFromTheYears_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // Five all-zero records and their five texts: no entry names a date.
    QTest::newRow("five all-zero records") << (QByteArray("\x05\x00", 2) + QByteArray(5 * 24, '\0') +
                                               QByteArray("\x05\x00", 2) + QByteArray(5, '\0'));
    QTest::newRow("cut inside the texts")
        << (QByteArray("\x01\x00", 2) + QByteArray(24, '\0') + QByteArray("\x01\x00\x09", 3));
}

// A damaged file's bytes are kept beside it; what is written back is the usable entries and the years'
// flagged red days, so the next start finds a sound file instead of the same damage again.
void TestYearRegistry::aDamagedEveryYearFileIsRewrittenFromTheYears()
{
    QFETCH(QByteArray, bytes);
    Folder f;
    {
        QFile file(f.store.foreverRedDaysPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    {
        YearData year;
        year.reset();
        year.m_settings = f.defaults;
        year.m_settings.m_stSelected = moment(2011, 1, 1);
        year.m_redDays.at(doy(2011, 12, 25)) = everyYear(2011, 12, 25);
        year.m_redTexts.setAt(doy(2011, 12, 25), "Christmas");
        QVERIFY(f.store.saveYear(year).ok());
    }
    {
        YearRegistry registry(f.store, f.defaults);
        QSignalSpy problems(&registry, &YearRegistry::problem);
        registry.open(2011);
        QCOMPARE(problems.count(), 1);
        QCOMPARE(problems.at(0).at(0).value<StoreResult>().status, StoreResult::Status::Damaged);
    }
    QVERIFY(QFile::exists(f.store.foreverRedDaysPath() + ".damaged"));
    ForeverRedDays file;
    QVERIFY(f.store.loadForeverRedDays(file).ok());
    QCOMPARE(file.m_foreverRedTexts.count(), 1);
    QCOMPARE(file.m_foreverRedTexts.at(0), QByteArray("Christmas"));
    // And the next start is quiet.
    YearRegistry again(f.store, f.defaults);
    QSignalSpy problems(&again, &YearRegistry::problem);
    again.open(2012);
    QCOMPARE(problems.count(), 0);
}

// The data stay in memory after a failed save; the user hears it once, and the next save writes them.
void TestYearRegistry::aFailedSaveIsToldOnceAndTriedAgain()
{
    Folder f;
    YearRegistry registry(f.store, f.defaults);
    QSignalSpy problems(&registry, &YearRegistry::problem);
    auto doc = registry.open(2011);
    doc->setMemo(5, "precious");
    // A folder where the year file should be makes every save fail, even as root.
    QVERIFY(QDir().mkdir(f.store.yearPath(2011)));
    QVERIFY(!registry.save(*doc));
    QVERIFY(!registry.save(*doc));
    QCOMPARE(problems.count(), 1);
    const StoreResult told = problems.at(0).at(0).value<StoreResult>();
    QCOMPARE(told.status, StoreResult::Status::WriteFailed);
    QVERIFY(told.message.contains(f.store.yearPath(2011)));
    QVERIFY(doc->isUnsaved());
    // The save at a stop is the last word: what fails then is told again, even if told before.
    QVERIFY(!registry.saveAll());
    QCOMPARE(problems.count(), 2);
    QVERIFY(QDir().rmdir(f.store.yearPath(2011)));
    QVERIFY(registry.save(*doc));
    QVERIFY(!doc->isUnsaved());
    QCOMPARE(f.onDisk(2011).m_memos.at(5), QByteArray("precious"));
}

// A per-day index beyond the lists throws and leaves everything as it was.
void TestYearRegistry::editsOutsideTheListsChangeNothing()
{
    Folder f;
    YearRegistry registry(f.store, f.defaults);
    auto doc = registry.open(2011);
    const YearData before = doc->data();
    QSignalSpy changed(doc.get(), &YearDocument::changed);
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, doc->setMemo(370, "x"));
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, doc->setAlarm(-1, AlarmRecord{}, "x"));
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, doc->removeProject(0));
    QVERIFY_THROWS_EXCEPTION(InvalidArgument, doc->markAlarmFired(400));
    QVERIFY(doc->data() == before);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!doc->isUnsaved());
}

QTEST_MAIN(TestYearRegistry)
#include "tst_yearregistry.moc"
