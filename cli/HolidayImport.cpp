#include "HolidayImport.h"

#include "Calendar.h"
#include "CommandLock.h"
#include "DataFolderLock.h"
#include "DataStore.h"
#include "ForeverRedDaysFileCodec.h"
#include "ICalendarFile.h"
#include "TextCodec.h"
#include "YearDocument.h"
#include "YearReader.h"
#include "YearRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

namespace {

constexpr int kMaxCopies = 100;

QString dateText(int year, const ImportedHoliday& h)
{
    return QStringLiteral("%1-%2-%3")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(h.month, 2, 10, QLatin1Char('0'))
        .arg(h.day, 2, 10, QLatin1Char('0'));
}

// Reads a whole file, or says why not. A missing file is empty bytes.
bool readFile(const QString& path, qsizetype limit, QByteArray& bytes, QString& reason)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    // Read one byte past the limit instead of trusting size(), which a pipe reports as 0.
    bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return false;
    }
    if (bytes.size() > limit) {
        bytes.clear();
        reason = QStringLiteral("it is larger than %1 MiB").arg(limit >> 20);
        return false;
    }
    return true;
}

// Keeps `bytes` (the current content of `path`) under the first free copy name; returns it, or empty with
// `reason`.
QString keepCopy(const QString& path, const QByteArray& bytes, QString& reason)
{
    for (int attempt = 1; attempt <= kMaxCopies; ++attempt) {
        const QString name = HolidayImport::copyName(path, attempt);
        if (QFileInfo::exists(name) || QFileInfo(name).isSymLink())
            continue;
        QSaveFile copy(name);
        if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size() || !copy.commit()) {
            reason = copy.errorString();
            return QString();
        }
        return name;
    }
    reason = QStringLiteral("there are already %1 copies from earlier imports").arg(kMaxCopies);
    return QString();
}

// One line per day of the plan, and the counts of what it does.
void report(const QList<HolidayPlan::Decision>& decisions, int year, QTextStream& out, int& added,
            int& replaced, int& skipped)
{
    using Action = HolidayPlan::Action;
    for (const HolidayPlan::Decision& d : decisions) {
        const QString date = dateText(year, d.holiday);
        const QString every = d.holiday.everyYear ? QStringLiteral(" (every year)") : QString();
        switch (d.action) {
        case Action::Add:
            out << QStringLiteral("added     %1 %2%3\n").arg(date, d.holiday.text, every);
            ++added;
            break;
        case Action::Replace:
            out << QStringLiteral("replaced  %1 %2%3 (was \"%4\")\n")
                       .arg(date, d.holiday.text, every, d.existing);
            ++replaced;
            break;
        case Action::Same:
            out << QStringLiteral("skipped   %1 %2: already there\n").arg(date, d.holiday.text);
            ++skipped;
            break;
        case Action::Keep:
            out << QStringLiteral(
                       "skipped   %1 %2: the day is already the red day \"%3\" (--replace replaces "
                       "it)\n")
                       .arg(date, d.holiday.text, d.existing);
            ++skipped;
            break;
        case Action::Taken:
            out << QStringLiteral("skipped   %1 %2: the calendar already gave this day \"%3\"\n")
                       .arg(date, d.holiday.text, d.existing);
            ++skipped;
            break;
        case Action::NoDay:
            out << QStringLiteral("skipped   %1 %2: %3 has no such day\n")
                       .arg(date, d.holiday.text)
                       .arg(year);
            ++skipped;
            break;
        case Action::Unheld:
            out << QStringLiteral("skipped   %1 %2: the year's file has no entry for this day\n")
                       .arg(date, d.holiday.text);
            ++skipped;
            break;
        }
    }
}

} // namespace

QString HolidayImport::copyName(const QString& path, int attempt)
{
    const QString base = path + QStringLiteral(".before-import");
    return attempt <= 1 ? base : base + QStringLiteral("-%1").arg(attempt);
}

int HolidayImport::run(const QString& dir, const QString& calendarPath, int year, bool replace,
                       QTextStream& out, QTextStream& err)
{
    QByteArray calendarText;
    QString reason;
    // Any readable file will do, a pipe too: `import-ics <(curl ...)` hands over a FIFO.
    const QFileInfo info(calendarPath);
    if (!info.exists() || info.isDir()) {
        err << QStringLiteral("tolva-cli: %1: %2\n")
                   .arg(calendarPath, info.isDir() ? QStringLiteral("a folder, not a calendar file")
                                                   : QStringLiteral("no such file"));
        return 1;
    }
    if (!readFile(calendarPath, ICalendarFile::kMaxInputSize, calendarText, reason)) {
        err << QStringLiteral("tolva-cli: %1: %2\n").arg(calendarPath, reason);
        return 1;
    }
    QList<ImportedHoliday> holidays;
    QStringList skippedEvents;
    QStringList warnings;
    if (!ICalendarFile::readHolidays(calendarText, year, holidays, skippedEvents, reason, &warnings)) {
        err << QStringLiteral("tolva-cli: %1: %2\n").arg(calendarPath, reason);
        return 1;
    }
    for (const QString& w : warnings)
        err << QStringLiteral("tolva-cli: %1: %2\n").arg(calendarPath, w);
    return store(dir, holidays, skippedEvents, year, replace, out, err);
}

int HolidayImport::store(const QString& dir, const QList<ImportedHoliday>& holidays,
                         const QStringList& skippedEvents, int year, bool replace, QTextStream& out,
                         QTextStream& err)
{
    QString reason;
    YearReader reader(dir);
    DataFolderLock lock(reader.yearsDir());
    if (!lockForCommand(lock, reader.yearsDir(), QStringLiteral("imported"), false, reason)) {
        err << QStringLiteral("tolva-cli: %1\n").arg(reason);
        return 1;
    }

    // The planner's own load would go on with the readable part of a damaged file and the save would then
    // drop the rest: refuse instead, while the files are untouched.
    if (!reader.read(year)) {
        err << QStringLiteral("tolva-cli: %1: %2. Nothing was imported; see tolva-cli check.\n")
                   .arg(QDir::toNativeSeparators(reader.problem().path), reader.problem().reason);
        return 1;
    }

    const QList<Decision> decisions = HolidayPlan::plan(reader.year(), holidays, replace);
    int added = 0, replaced = 0, skipped = 0;
    report(decisions, year, out, added, replaced, skipped);
    for (const QString& line : skippedEvents)
        out << QStringLiteral("skipped   %1\n").arg(line);
    skipped += int(skippedEvents.size());

    if (added + replaced == 0) {
        out << QStringLiteral("%1 added, %2 replaced, %3 skipped; nothing written\n")
                   .arg(added)
                   .arg(replaced)
                   .arg(skipped);
        return 0;
    }

    DataStore store;
    const StoreResult captured = store.CaptureWorkDir(dir);
    if (!captured.ok()) {
        err << QStringLiteral("tolva-cli: %1 Nothing was imported.\n").arg(captured.message);
        return 1;
    }
    DisplaySettings defaults{};
    const StoreResult defaultsResult = store.loadDefaults(defaults);
    if (!defaultsResult.ok()) {
        err << QStringLiteral("tolva-cli: %1 Nothing was imported.\n").arg(defaultsResult.message);
        return 1;
    }

    // Copies of what is about to be replaced, before anything is: the year file always, the every-year
    // file when an every-year red day is set or replaced.
    bool everyYearChanges = false;
    for (const Decision& d : decisions)
        if (d.action == Action::Add || d.action == Action::Replace)
            everyYearChanges = everyYearChanges || d.holiday.everyYear || d.wasEveryYear;
    QStringList paths{store.yearPath(year)};
    if (everyYearChanges)
        paths << store.foreverRedDaysPath();
    QStringList kept;
    for (const QString& path : paths) {
        QByteArray bytes;
        if (!readFile(path, DataStore::kMaxFileSize, bytes, reason)) {
            err << QStringLiteral("tolva-cli: %1: %2. Nothing was imported.\n").arg(path, reason);
            return 1;
        }
        if (bytes.isEmpty())
            continue;
        const QString copy = keepCopy(path, bytes, reason);
        if (copy.isEmpty()) {
            err << QStringLiteral("tolva-cli: no copy of %1 could be kept (%2). Nothing was imported.\n")
                       .arg(QDir::toNativeSeparators(path), reason);
            return 1;
        }
        kept << copy;
    }

    QList<StoreResult> problems;
    {
        YearRegistry registry(store, defaults);
        QObject::connect(&registry, &YearRegistry::problem, [&](const StoreResult& r) { problems << r; });
        std::shared_ptr<YearDocument> document = registry.open(year);
        // Under the lock and inspected a moment ago, the files can only have changed by hand in between;
        // the load then kept the damaged bytes beside the file, and the copies above hold them too.
        // The year keeps the selected day it was stored with.
        DisplaySettings settings = document->data().m_settings;
        settings.m_stSelected = reader.storedSelection();
        document->setViewSettings(settings);
        for (const Decision& d : decisions) {
            if (d.action != Action::Add && d.action != Action::Replace)
                continue;
            RedDayRecord record = document->data().m_redDays.at(d.dayIndex);
            record.m_bEveryYear = d.holiday.everyYear ? 1 : 0;
            record.m_stDate = Calendar::makeDate(year, d.holiday.month, d.holiday.day);
            document->setRedDay(d.dayIndex, record, TextCodec::encode(d.holiday.text));
        }
        // Letting go of the last reference saves the year and the every-year red days.
    }
    if (!problems.isEmpty()) {
        for (const StoreResult& p : problems)
            err << QStringLiteral("tolva-cli: %1\n").arg(p.message);
        return 1;
    }
    for (const QString& copy : kept)
        out << QStringLiteral("kept the previous file as %1\n").arg(QDir::toNativeSeparators(copy));
    out << QStringLiteral("%1 added, %2 replaced, %3 skipped\n").arg(added).arg(replaced).arg(skipped);
    return 0;
}
