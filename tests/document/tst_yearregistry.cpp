// One document per year, shared; saved when the last user lets go; every-year red days kept in step
// across the open years; problems told once.

#include "Calendar.h"
#include "DataStore.h"
#include "DurableFile.h"
#include "Moments.h"
#include "YearDocument.h"
#include "YearOnDisk.h"
#include "YearReader.h"
#include "YearRegistry.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <map>

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
int g_failedReads = 0;

ssize_t flakyRead(int fd, void* buffer, size_t count)
{
    const QString name = QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(fd)).symLinkTarget();
    if (name.endsWith("/ForeverRedDays.year") && g_failedReads > 0 && g_failedReads--)
        return errno = EIO, -1;
    return ::read(fd, buffer, count);
}

// "2026: 12-25=Xmas*, 03-01=Fair; file: 12-25=Xmas": year files (a star: repeats every year) and the
// every-year file ("!": its first read fails, "!!": every read of the first session), as an older version
// or another program writes them.
void writeFiles(const Folder& f, const QString& files)
{
    for (const QString& file : files.split(';', Qt::SkipEmptyParts)) {
        YearData year = f.onDisk(file.trimmed().startsWith("file") ? 2020 : file.trimmed().left(4).toInt());
        ForeverRedDays list;
        for (QString t : file.section(':', 1).remove('!').split(',', Qt::SkipEmptyParts)) {
            t = t.trimmed();
            const int month = t.left(2).toInt(), day = t.mid(3, 2).toInt(), i = doy(year.year(), month, day);
            year.m_redDays.at(i) = everyYear(year.year(), month, day);
            year.m_redDays.at(i).m_bEveryYear = t.endsWith('*') ? 1 : 0;
            year.m_redTexts.setAt(i, t.mid(6).remove('*').toUtf8());
            list.m_foreverRedDays.append(year.m_redDays.at(i));
            list.m_foreverRedTexts.append(year.m_redTexts.at(i));
        }
        QVERIFY(file.trimmed().startsWith("file") ? f.store.saveForeverRedDays(list).ok()
                                                  : f.store.saveYear(year).ok());
        g_failedReads = std::max(g_failedReads, file.count('!') > 1 ? 1000 : int(file.count('!')));
    }
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
    QTest::addColumn<QString>("files"); // see writeFiles
    QTest::addColumn<QString>("edits"); // open Y, flag Y MM-DD text, unflag Y MM-DD, restart, file: ...
    QTest::addColumn<QString>("shows"); // the every-year file, and what the years show, at the end
    QTest::addColumn<QStringList>("unchanged"); // files with the bytes they started with (or still none)
    QTest::addColumn<QString>("told");          // part of a message the user got; "" none at all
    const QStringList y2026 = {"2026.year"};
    QTest::newRow("an unflag is not undone by opening a year that carries the flag")
        << "2026: 12-25=Xmas*; 2027: 12-25=Xmas*; file: 12-25=Xmas*"
        << "unflag 2027 12-25; restart; open 2026"
        << "file: ; 2026: 12-25=; 2027: 12-25=Xmas; 2030: 12-25=" << y2026 << "";
    QTest::newRow("a year's own red day is never covered, nor removed with the entry")
        << "2026: 05-01=Own"
        << "flag 2027 05-01 May; restart; open 2026; restart; unflag 2027 05-01"
        << "file: ; 2026: 05-01=Own; 2027: 05-01=May; 2028: 05-01=" << y2026 << "";
    QTest::newRow("flagged again after a removal: in open years and later ones, not in the unflagged one")
        << "2026: 12-25=Xmas*; file: 12-25=Xmas*"
        << "unflag 2027 12-25; restart; open 2030; flag 2028 12-25 Yule"
        << "file: 12-25=Yule; 2026: 12-25=Yule*; 2027: 12-25=Xmas; 2031: 12-25=Yule*"
        << QStringList{"2026.year", "2030.year"} << "";
    QTest::newRow("an every-year file another program wrote after a removal is the newer word")
        << "2026: 12-25=Xmas*; file: 12-25=Xmas*"
        << "unflag 2026 12-25; restart; file: 12-25=Yule*"
        << "file: 12-25=Yule; 2026: 12-25=Xmas; 2027: 12-25=Yule*" << QStringList{} << "";
    QTest::newRow("looking at years writes nothing")
        << "2026: 03-01=Fair, 12-25=Xmas*; file: 12-25=Xmas*"
        << "open 2026; open 2027; restart; open 2026"
        << "file: 12-25=Xmas; 2026: 03-01=Fair, 12-25=Xmas*; 2027: 03-01=, 12-25=Xmas*"
        << QStringList{"2026.year", "2027.year", "ForeverRedDays.year", "ForeverRedDays.removed"} << "";
    QTest::newRow("a file that reads fine the second time loses no entry")
        << "file: !01-01=New Year*"
        << "flag 2026 05-01 May"
        << "file: 01-01=New Year, 05-01=May; 2030: 01-01=New Year*"
        << QStringList{"ForeverRedDays.year.damaged"} << "Could not";
    QTest::newRow("a file that cannot be read again is moved aside, and the user is told where")
        << "file: !!01-01=New Year*"
        << "flag 2026 05-01 May"
        << "file: 05-01=May; 2030: 01-01=, 05-01=May*" << QStringList{} << "moved aside to %1.damaged";
}

// What "every year" means when years and the every-year file disagree: the last edit wins, flags reach
// every year, nothing a year holds of its own is overwritten, and looking writes nothing.
void TestYearRegistry::everyYearRuleTheLastEditWins()
{
    QFETCH(QString, files);
    QFETCH(QString, edits);
    QFETCH(QString, shows);
    QFETCH(QStringList, unchanged);
    QFETCH(QString, told);
    Folder f;
    writeFiles(f, files);
    const auto bytes = [&](const QString& name) {
        QFile file(f.store.yearsDir() + '/' + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    };
    std::map<QString, QByteArray> before;
    for (const QString& name : unchanged)
        before[name] = bytes(name);

    DurableFile::setReadFunction(flakyRead);
    QStringList messages;
    std::map<int, std::shared_ptr<YearDocument>> held;
    std::unique_ptr<YearRegistry> registry;
    for (const QString& step : ("restart;" + edits).split(';', Qt::SkipEmptyParts)) {
        const QStringList w = step.trimmed().split(' ');
        const int year = w.value(1).toInt();
        const int d = doy(year, w.value(2).left(2).toInt(), w.value(2).mid(3).toInt());
        if (w.at(0) == "restart") {
            held.clear();
            g_failedReads = registry ? 0 : g_failedReads;
            registry = std::make_unique<YearRegistry>(f.store, f.defaults);
            QObject::connect(registry.get(), &YearRegistry::problem,
                             [&](const StoreResult& r) { messages << r.message; });
        } else if (w.at(0) == "file:") {
            writeFiles(f, step);
        } else if (auto& doc = held[year] = registry->open(year); w.at(0) != "open") {
            const bool flag = w.at(0) == "flag";
            const RedDayRecord r =
                flag ? everyYear(year, w.value(2).left(2).toInt(), w.value(2).mid(3).toInt())
                     : RedDayRecord{};
            doc->setRedDay(d, r, flag ? w.mid(3).join(' ').toUtf8() : doc->data().m_redTexts.at(d));
        }
    }
    held.clear();
    registry.reset();
    DurableFile::setReadFunction(nullptr);

    // tolva-cli's reader shows each year as the planner does, and writes nothing.
    QStringList read;
    for (const QString& y : shows.split(';', Qt::SkipEmptyParts)) {
        if (y.trimmed().startsWith("file"))
            continue;
        YearReader reader(f.dir.path());
        QVERIFY2(reader.read(y.trimmed().left(4).toInt()), qPrintable(reader.problem().message));
        QStringList days;
        for (const QString& t : y.section(':', 1).split(',')) {
            const YearData& data = reader.year();
            const int i = doy(data.year(), t.trimmed().left(2).toInt(), t.trimmed().mid(3, 2).toInt());
            days << t.trimmed().left(6) + QString::fromUtf8(data.m_redTexts.at(i)) +
                        (data.m_redDays.at(i).m_bEveryYear ? "*" : "");
        }
        read << y.section(':', 0, 0).trimmed() + ": " + days.join(", ");
    }

    YearRegistry after(f.store, f.defaults);
    QSignalSpy quiet(&after, &YearRegistry::problem);
    QStringList shown;
    for (const QString& y : shows.split(';', Qt::SkipEmptyParts)) {
        QStringList days;
        if (y.trimmed().startsWith("file")) {
            ForeverRedDays onDisk;
            QVERIFY(f.store.loadForeverRedDays(onDisk).ok());
            for (qsizetype i = 0; i < onDisk.m_foreverRedDays.count(); ++i)
                days << QString::asprintf("%02d-%02d=", onDisk.m_foreverRedDays.at(i).m_stDate.wMonth,
                                          onDisk.m_foreverRedDays.at(i).m_stDate.wDay) +
                            QString::fromUtf8(onDisk.m_foreverRedTexts.at(i));
        }
        for (const QString& t :
             y.trimmed().startsWith("file") ? QStringList() : y.section(':', 1).split(',')) {
            const auto document = after.open(y.trimmed().left(4).toInt());
            const YearData& data = document->data();
            const int i = doy(data.year(), t.trimmed().left(2).toInt(), t.trimmed().mid(3, 2).toInt());
            days << t.trimmed().left(6) + QString::fromUtf8(data.m_redTexts.at(i)) +
                        (data.m_redDays.at(i).m_bEveryYear ? "*" : "");
        }
        shown << y.section(':', 0, 0).trimmed() + ": " + days.join(", ");
    }
    QCOMPARE(shown.join("; "), shows);
    QCOMPARE(read, shown.filter(QRegularExpression("^\\d")));
    QCOMPARE(quiet.count(), 0);
    for (const auto& [name, content] : before)
        QVERIFY2(bytes(name) == content, qPrintable(name));
    const QString part = told.arg(f.store.foreverRedDaysPath());
    QVERIFY2(told.isEmpty() ? messages.isEmpty() : !messages.filter(part).isEmpty(),
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
