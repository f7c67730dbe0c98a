#include "FuzzStorage.h"

#include "Calendar.h"
#include "DataStore.h"
#include "DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

enum Flag : std::uint8_t {
    kYearPresent = 1,
    kDefaultsPresent = 2,
    kEveryYearPresent = 4,
    kYearThroughSymlink = 8,
    kStaleTemporary = 16,
    kLeapYear = 32,
};

constexpr int kHeaderSize = 7;

bool broken(const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "fuzz_storage: %s %s\n", what, qPrintable(detail));
    return false;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

std::set<QString> filesIn(const QString& dir)
{
    const QStringList names =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return {names.begin(), names.end()};
}

struct Folder
{
    std::set<QString> names;
    std::set<QByteArray> contents;
};

Folder snapshot(const QStringList& dirs)
{
    Folder f;
    for (const QString& dir : dirs)
        for (const QString& name : filesIn(dir)) {
            f.names.insert(dir + QLatin1Char('/') + name);
            f.contents.insert(name.toUtf8() + '\0' + readFile(dir + QLatin1Char('/') + name));
        }
    return f;
}

bool sameFolder(const Folder& a, const Folder& b)
{
    return a.names == b.names && a.contents == b.contents;
}

// A report that is not Ok names the path and the reason, in its message too; a damaged file's copy holds
// the bytes that were on disk.
bool wellReported(const StoreResult& r, const QString& path, const QByteArray& onDisk, const char* what)
{
    if (r.path != path)
        return broken(what, QStringLiteral("reports path %1 instead of %2").arg(r.path, path));
    if (r.ok())
        return r.reason.isEmpty() && r.keptAs.isEmpty() ? true
                                                        : broken(what, QStringLiteral("ok with a reason"));
    if (r.reason.isEmpty() || !r.message.contains(r.path) || !r.message.contains(r.reason))
        return broken(what, QStringLiteral("report lacks path or reason: ") + r.message);
    if (r.status == StoreResult::Status::Damaged && !onDisk.isEmpty()) {
        if (r.keptAs.isEmpty())
            return broken(what, QStringLiteral("damaged file not kept: ") + r.message);
        if (readFile(r.keptAs) != onDisk)
            return broken(what, QStringLiteral("kept copy differs from the file: ") + r.keptAs);
    }
    return true;
}

bool sameAsLoad(const StoreResult& inspected, const StoreResult& loaded, const char* what)
{
    if (inspected.status != loaded.status || inspected.reason != loaded.reason || !inspected.keptAs.isEmpty())
        return broken(
            what,
            QStringLiteral("inspection says '%1', load says '%2'").arg(inspected.message, loaded.message));
    return true;
}

bool sameYear(YearData a, YearData b)
{
    a.m_settings.clearLinkSlots();
    b.m_settings.clearLinkSlots();
    return a == b;
}

bool sameSettings(DisplaySettings a, DisplaySettings b)
{
    a.clearLinkSlots();
    b.clearLinkSlots();
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Input
{
    std::uint8_t flags = 0;
    QByteArray year;
    QByteArray defaults;
    QByteArray everyYear;
};

Input split(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t header[kHeaderSize] = {};
    std::memcpy(header, data, std::min<std::size_t>(size, kHeaderSize));
    Input in;
    in.flags = header[0];
    const char* p = reinterpret_cast<const char*>(data) + std::min<std::size_t>(size, kHeaderSize);
    qsizetype left = qsizetype(size) - std::min<qsizetype>(qsizetype(size), kHeaderSize);
    const auto take = [&](const std::uint8_t* length) {
        const qsizetype n = std::min<qsizetype>(left, length[0] | (length[1] << 8) | (length[2] << 16));
        QByteArray bytes(p, n);
        p += n;
        left -= n;
        return bytes;
    };
    in.defaults = take(header + 1);
    in.everyYear = take(header + 4);
    in.year = QByteArray(p, left);
    return in;
}

bool run(const Input& in, const QString& root)
{
    const int yearNumber = in.flags & kLeapYear ? 2012 : 2011;
    const QString years = root + QStringLiteral("/YEARS");
    const QString elsewhere = root + QStringLiteral("/elsewhere");
    if (!QDir().mkpath(years) || !QDir().mkpath(elsewhere))
        return broken("scratch folder", root);

    DataStore store;
    const QString yearPath = years + QStringLiteral("/%1.year").arg(yearNumber);
    const QString defaultsPath = years + QStringLiteral("/YearDefaults.year");
    const QString everyYearPath = years + QStringLiteral("/ForeverRedDays.year");
    const QString target = elsewhere + QStringLiteral("/%1.year").arg(yearNumber);
    if (in.flags & kYearPresent) {
        if (in.flags & kYearThroughSymlink) {
            if (!writeFile(target, in.year) || !QFile::link(target, yearPath))
                return broken("set-up", target);
        } else if (!writeFile(yearPath, in.year)) {
            return broken("set-up", yearPath);
        }
    }
    if ((in.flags & kDefaultsPresent) && !writeFile(defaultsPath, in.defaults))
        return broken("set-up", defaultsPath);
    if ((in.flags & kEveryYearPresent) && !writeFile(everyYearPath, in.everyYear))
        return broken("set-up", everyYearPath);
    const QString stale = DurableFile::temporaryPathFor(yearPath);
    if (in.flags & kStaleTemporary) {
        const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
        if (!writeFile(stale, in.year.left(100)) ||
            ::utimensat(AT_FDCWD, QFile::encodeName(stale).constData(), times, 0) != 0)
            return broken("set-up", stale);
    }

    if (const StoreResult r = store.CaptureWorkDir(root); !r.ok() || r.path != years)
        return broken("capture", r.message);
    if (QFileInfo::exists(stale))
        return broken("stale temporary left", stale);

    const QByteArray yearOnDisk = readFile(yearPath);
    const QByteArray defaultsOnDisk = readFile(defaultsPath);
    const QByteArray everyYearOnDisk = readFile(everyYearPath);
    const Folder before = snapshot({years, elsewhere});

    // Inspections first: they must change nothing, and report what the loads then report.
    DisplaySettings inspectedDefaults{};
    const StoreResult inspectedDefaultsResult =
        DataStore::inspectDefaultsFile(defaultsPath, inspectedDefaults);
    const SYSTEMTIME asked = Calendar::makeDate(yearNumber, 3, 4);
    YearData inspectedYear;
    inspectedYear.reset();
    inspectedYear.m_settings.m_stSelected = asked;
    const DisplaySettings fixedDefaults = DisplaySettings::builtInDefaults(Calendar::makeDate(2000, 1, 1));
    const StoreResult inspectedYearResult =
        DataStore::inspectYearFile(yearPath, inspectedYear, fixedDefaults);
    ForeverRedDays inspectedEveryYear;
    const StoreResult inspectedEveryYearResult =
        DataStore::inspectForeverRedDaysFile(everyYearPath, inspectedEveryYear);
    if (!sameFolder(snapshot({years, elsewhere}), before))
        return broken("an inspection changed the folder");

    // The planner's loads, in its order.
    DisplaySettings defaults{};
    const StoreResult defaultsResult = store.loadDefaults(defaults);
    if (!wellReported(defaultsResult, defaultsPath, defaultsOnDisk, "defaults load") ||
        !sameAsLoad(inspectedDefaultsResult, defaultsResult, "defaults"))
        return false;
    if (std::memcmp(&inspectedDefaults, &defaults, offsetof(DisplaySettings, m_stSelected)) != 0)
        return broken("inspected defaults differ from loaded ones");

    YearData year;
    year.reset();
    year.m_settings.m_stSelected = asked;
    const StoreResult yearResult = store.loadYear(year, fixedDefaults);
    if (!wellReported(yearResult, yearPath, yearOnDisk, "year load") ||
        !sameAsLoad(inspectedYearResult, yearResult, "year"))
        return false;
    if (year.year() != yearNumber || !sameYear(inspectedYear, year))
        return broken("year load", QStringLiteral("inspected and loaded years differ, or the year changed"));

    ForeverRedDays everyYear;
    const StoreResult everyYearResult = store.LoadSaveForeverRedDays(DataStore::kLoad, year, everyYear);
    if (!wellReported(everyYearResult, everyYearPath, everyYearOnDisk, "every-year load") ||
        !sameAsLoad(inspectedEveryYearResult, everyYearResult, "every-year"))
        return false;
    if (year.year() != yearNumber)
        return broken("the merge changed the year");

    // Saves, as at the end of a session, then loads of what they wrote.
    std::set<QString> expected = {yearPath.section(QLatin1Char('/'), -1),
                                  defaultsPath.section(QLatin1Char('/'), -1),
                                  everyYearPath.section(QLatin1Char('/'), -1)};
    for (const StoreResult* r : {&defaultsResult, &yearResult, &everyYearResult})
        if (!r->keptAs.isEmpty())
            expected.insert(r->keptAs.section(QLatin1Char('/'), -1));

    if (const StoreResult r = store.saveYear(year); !r.ok())
        return broken("year save", r.message);
    if (const StoreResult r = store.LoadSaveForeverRedDays(DataStore::kSave, year, everyYear); !r.ok())
        return broken("every-year save", r.message);
    if (const StoreResult r = store.saveDefaults(defaults); !r.ok())
        return broken("defaults save", r.message);

    YearData again;
    again.reset();
    again.m_settings.m_stSelected = asked;
    if (const StoreResult r = store.loadYear(again, fixedDefaults); !r.ok())
        return broken("saved year reloads damaged", r.message);
    if (!sameYear(again, year))
        return broken("saved year reloads different");
    DisplaySettings defaultsAgain{};
    if (const StoreResult r = store.loadDefaults(defaultsAgain);
        !r.ok() || !sameSettings(defaultsAgain, defaults))
        return broken("saved defaults reload different", r.message);
    // Red days of the year flagged every-year are saved whatever their date, so the file may hold entries
    // no year can use; its form must be sound all the same.
    ForeverRedDays everyYearAgain;
    const StoreResult r = store.loadForeverRedDays(everyYearAgain);
    const bool onlyUnusableEntries = r.status == StoreResult::Status::Damaged &&
                                     !r.reason.startsWith(QStringLiteral("at byte")) &&
                                     ForeverRedDaysFileCodec::damagedEntries(everyYear) > 0;
    if (!r.ok() && !onlyUnusableEntries)
        return broken("saved every-year file reloads damaged", r.message);
    if (!(everyYearAgain.m_foreverRedDays == everyYear.m_foreverRedDays) ||
        !(everyYearAgain.m_foreverRedTexts == everyYear.m_foreverRedTexts))
        return broken("saved every-year file reloads different");
    if (!r.keptAs.isEmpty())
        expected.insert(r.keptAs.section(QLatin1Char('/'), -1));

    if (filesIn(years) != expected) {
        QStringList found;
        for (const QString& name : filesIn(years))
            found.append(name);
        return broken("stray or missing files", found.join(QLatin1Char(' ')));
    }
    std::set<QString> expectedElsewhere;
    if ((in.flags & kYearPresent) && (in.flags & kYearThroughSymlink))
        expectedElsewhere.insert(target.section(QLatin1Char('/'), -1));
    if (filesIn(elsewhere) != expectedElsewhere)
        return broken("stray or missing files beside the symlink's target");
    return true;
}

} // namespace

bool fuzzStorage(const std::uint8_t* data, std::size_t size, const QString& scratchDir)
{
    const QString root = scratchDir + QStringLiteral("/run");
    QDir(root).removeRecursively();
    const bool ok = run(split(data, size), root);
    QDir(root).removeRecursively();
    return ok;
}
