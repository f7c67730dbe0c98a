#include "DataStore.h"

#include "ArchiveError.h"
#include "Calendar.h"
#include "DurableFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <new>

#include <sys/stat.h>

namespace {

const QString kYearsFolder = QStringLiteral("YEARS");
const QString kExtension = QStringLiteral("year");
const QString kDefaultsBaseName = QStringLiteral("YearDefaults");
const QString kForeverRedDaysBaseName = QStringLiteral("ForeverRedDays");

StoreResult okResult(const QString& path)
{
    StoreResult r;
    r.path = path;
    return r;
}

StoreResult failure(StoreResult::Status status, const QString& path, const QString& reason,
                    const QString& message)
{
    StoreResult r;
    r.status = status;
    r.path = path;
    r.reason = reason;
    r.message = message;
    return r;
}

StoreResult writeFailed(const QString& path, const QString& reason)
{
    return failure(
        StoreResult::Status::WriteFailed, path, reason,
        QStringLiteral("Could not save %1: %2. The file on disk was not changed.").arg(path, reason));
}

// Said of a file whose bytes were neither loaded nor kept elsewhere (StoreResult::leftUnread).
const QString kLeftAlone =
    QStringLiteral(" The file is left as it is, and moved aside before anything is saved in its place.");

// How a load treats a damaged file: the planner keeps its bytes beside it, an inspection changes nothing.
enum class Keep { Bytes, Nothing };

// `whatWasUsed` says what the program works with instead, e.g. "Its readable part was loaded."
StoreResult damaged(const QString& path, const QString& reason, const QByteArray& bytes, Keep keep,
                    const QString& whatWasUsed)
{
    StoreResult r = failure(StoreResult::Status::Damaged, path, reason, QString());
    QString message = QStringLiteral("The file %1 is damaged (%2). %3").arg(path, reason, whatWasUsed);
    if (keep == Keep::Bytes && !bytes.isEmpty()) {
        QString copyReason;
        r.keptAs = DurableFile::keepCopy(path, bytes, copyReason);
        r.leftUnread = r.keptAs.isEmpty();
        if (r.keptAs.isEmpty())
            message += QStringLiteral(" A copy of the damaged file could not be kept: %1.").arg(copyReason) +
                       kLeftAlone;
        else
            message += QStringLiteral(" The damaged file was kept as %1.").arg(r.keptAs);
    }
    r.message = message;
    return r;
}

// A file that cannot be loaded at all (too large, or memory ran out): moved aside whole, so that the next
// save cannot replace it.
StoreResult unloadable(const QString& path, const QString& reason, Keep keep, const QString& whatWasUsed)
{
    StoreResult r = failure(StoreResult::Status::Damaged, path, reason, QString());
    QString message = QStringLiteral("The file %1 cannot be loaded: %2. %3").arg(path, reason, whatWasUsed);
    if (keep == Keep::Bytes) {
        QString moveReason;
        r.keptAs = DurableFile::moveAside(path, moveReason);
        r.leftUnread = r.keptAs.isEmpty();
        if (r.keptAs.isEmpty())
            message += QStringLiteral(" It could not be moved aside now: %1.").arg(moveReason) + kLeftAlone;
        else
            message += QStringLiteral(" It was moved aside whole to %1.").arg(r.keptAs);
    }
    r.message = message;
    return r;
}

const QString kOutOfMemory = QStringLiteral("there is not enough memory to load it");

StoreResult readFailed(const QString& path, const QString& reason, const QString& whatWasUsed)
{
    StoreResult r =
        failure(StoreResult::Status::ReadFailed, path, reason,
                QStringLiteral("Could not read %1: %2. %3").arg(path, reason, whatWasUsed) + kLeftAlone);
    r.leftUnread = true;
    return r;
}

StoreResult loadYearFile(const QString& path, YearData& year, const DisplaySettings& defaults, Keep keep);

// The newest damaged copy of `path`, or an empty string.
QString newestCopyOf(const QString& path)
{
    const QFileInfo info(path);
    const QFileInfoList copies = QDir(info.path())
                                     .entryInfoList({info.fileName() + QStringLiteral(".damaged"),
                                                     info.fileName() + QStringLiteral(".damaged-*")},
                                                    QDir::Files | QDir::Hidden | QDir::System, QDir::Time);
    return copies.isEmpty() ? QString() : copies.first().filePath();
}

// A year file that is missing while a copy of it is kept: an empty year must not start over its data.
StoreResult loadFromCopy(const QString& path, const QString& copy, YearData& year,
                         const DisplaySettings& defaults)
{
    const StoreResult fromCopy = loadYearFile(copy, year, defaults, Keep::Nothing);
    StoreResult r = failure(StoreResult::Status::Damaged, path,
                            QStringLiteral("it is missing, but its data is kept in %1").arg(copy), QString());
    r.keptAs = copy;
    r.message = QStringLiteral("The file %1 is missing, but its data is kept in %2. The year is shown from "
                               "that copy, which stays as it is; a change you make is saved as %1.")
                    .arg(path, copy);
    if (!fromCopy.ok())
        r.message += QLatin1Char(' ') + fromCopy.message;
    return r;
}

StoreResult loadYearFile(const QString& path, YearData& year, const DisplaySettings& defaults, Keep keep)
{
    const SYSTEMTIME selected = year.m_settings.m_stSelected;
    const QString fromDefaults = QStringLiteral("The year is shown from the defaults.");
    StoreResult result = okResult(path);
    try {
        QByteArray bytes;
        QString reason;
        switch (DurableFile::read(path, DataStore::kMaxFileSize, bytes, reason)) {
        case DurableFile::Read::Failed:
            result = readFailed(path, reason, fromDefaults);
            break;
        case DurableFile::Read::TooLarge:
            result = unloadable(path, reason, keep, fromDefaults);
            break;
        case DurableFile::Read::Missing:
            if (const QString copy = newestCopyOf(path); !copy.isEmpty()) {
                result = loadFromCopy(path, copy, year, defaults);
                year.m_settings.m_stSelected = selected;
                return result;
            }
            break;
        case DurableFile::Read::Done:
            break;
        }
        try {
            YearFileCodec::decode(bytes, year, defaults);
        } catch (const ArchiveError& e) {
            result =
                damaged(path, e.describe(), bytes, keep, QStringLiteral("Its readable part was loaded."));
        }
    } catch (const std::bad_alloc&) {
        // What was read is gone with the stack; the year must not keep a half-read state.
        year.reset();
        year.m_settings = defaults;
        result = unloadable(path, kOutOfMemory, keep, fromDefaults);
    }
    year.m_settings.m_stSelected = selected;
    return result;
}

StoreResult loadDefaultsFile(const QString& path, DisplaySettings& defaults, Keep keep)
{
    const QString builtIn = QStringLiteral("The built-in defaults are used.");
    defaults = DisplaySettings::builtInDefaults(Calendar::nowUtc());
    try {
        QByteArray bytes;
        QString reason;
        switch (DurableFile::read(path, DataStore::kMaxFileSize, bytes, reason)) {
        case DurableFile::Read::Missing:
            return okResult(path);
        case DurableFile::Read::Failed:
            return readFailed(path, reason, builtIn);
        case DurableFile::Read::TooLarge:
            return unloadable(path, reason, keep, builtIn);
        case DurableFile::Read::Done:
            break;
        }
        try {
            defaults = DefaultsFileCodec::decode(bytes);
            return okResult(path);
        } catch (const ArchiveError& e) {
            return damaged(path, e.describe(), bytes, keep, builtIn);
        }
    } catch (const std::bad_alloc&) {
        return unloadable(path, kOutOfMemory, keep, builtIn);
    }
}

StoreResult loadForeverRedDaysFile(const QString& path, ForeverRedDays& everyYear, Keep keep)
{
    const QString used = QStringLiteral("Its readable entries are used.");
    everyYear.clear();
    try {
        QByteArray bytes;
        QString reason;
        switch (DurableFile::read(path, DataStore::kMaxFileSize, bytes, reason)) {
        case DurableFile::Read::Missing:
            return okResult(path);
        case DurableFile::Read::Failed:
            return readFailed(path, reason, QStringLiteral("Red days that repeat every year are not shown."));
        case DurableFile::Read::TooLarge:
            return unloadable(path, reason, keep,
                              QStringLiteral("Red days that repeat every year are not shown."));
        case DurableFile::Read::Done:
            break;
        }
        QString damage;
        try {
            ForeverRedDaysFileCodec::decode(bytes, everyYear);
        } catch (const ArchiveError& e) {
            damage = e.describe();
        }
        const int badEntries = ForeverRedDaysFileCodec::damagedEntries(everyYear);
        if (damage.isEmpty() && badEntries > 0)
            damage = QStringLiteral("%1 of %2 entries name no date or have no text")
                         .arg(badEntries)
                         .arg(everyYear.m_foreverRedDays.count());
        if (damage.isEmpty())
            return okResult(path);
        return damaged(path, damage, bytes, keep, used);
    } catch (const std::bad_alloc&) {
        everyYear.clear();
        return unloadable(path, kOutOfMemory, keep,
                          QStringLiteral("Red days that repeat every year are not shown."));
    }
}

// Encodes and writes one data file; a file no load would read back is not written.
template <typename Encode> StoreResult saveFile(const QString& path, Encode encode)
{
    QByteArray bytes;
    try {
        bytes = encode();
    } catch (const std::bad_alloc&) {
        return writeFailed(path, QStringLiteral("there is not enough memory to save it"));
    }
    if (bytes.size() > DataStore::kMaxFileSize)
        return writeFailed(path, QStringLiteral("it would be %1 bytes, more than a data file can hold (%2)")
                                     .arg(bytes.size())
                                     .arg(DataStore::kMaxFileSize));
    return DurableFile::write(path, bytes);
}

} // namespace

StoreResult DataStore::CaptureWorkDir(const QString& workDir)
{
    m_strWorkDir = QFileInfo(workDir).absoluteFilePath();
    const QString dir = yearsDir();
    if (QFileInfo(dir).isDir()) {
        DurableFile::removeStaleTemporaries(dir);
        return okResult(dir);
    }
    if (::mkdir(QFile::encodeName(dir).constData(), 0777) != 0) {
        const QString reason = DurableFile::errnoText(errno);
        return failure(StoreResult::Status::FolderFailed, dir, reason,
                       QStringLiteral("Could not create the data folder %1: %2. Nothing can be saved.")
                           .arg(dir, reason));
    }
    return okResult(dir);
}

QString DataStore::yearsDir() const
{
    return m_strWorkDir + QLatin1Char('/') + kYearsFolder;
}

QString DataStore::filePath(const QString& baseName) const
{
    return QStringLiteral("%1/%2/%3.%4").arg(m_strWorkDir, kYearsFolder, baseName, kExtension);
}

QString DataStore::yearPath(int year) const
{
    return filePath(QString::number(year));
}

QString DataStore::defaultsPath() const
{
    return filePath(kDefaultsBaseName);
}

QString DataStore::foreverRedDaysPath() const
{
    return filePath(kForeverRedDaysBaseName);
}

QString DataStore::everyYearRemovalsPath() const
{
    return yearsDir() + QStringLiteral("/ForeverRedDays.removed");
}

StoreResult DataStore::LoadSaveYear(bool load, YearData& year, const DisplaySettings& defaults) const
{
    return load ? loadYear(year, defaults) : saveYear(year);
}

StoreResult DataStore::LoadSaveDefaults(bool load, DisplaySettings& defaults) const
{
    return load ? loadDefaults(defaults) : saveDefaults(defaults);
}

StoreResult DataStore::LoadSaveForeverRedDays(bool load, YearData& year, ForeverRedDays& everyYear) const
{
    if (!load) {
        everyYear.collectFrom(year);
        return saveForeverRedDays(everyYear);
    }
    const StoreResult result = loadForeverRedDays(everyYear);
    everyYear.mergeInto(year);
    return result;
}

StoreResult DataStore::loadYear(YearData& year, const DisplaySettings& defaults) const
{
    return loadYearFile(yearPath(year.year()), year, defaults, Keep::Bytes);
}

StoreResult DataStore::saveYear(const YearData& year) const
{
    return saveFile(yearPath(year.year()), [&] { return YearFileCodec::encode(year); });
}

StoreResult DataStore::loadDefaults(DisplaySettings& defaults) const
{
    return loadDefaultsFile(defaultsPath(), defaults, Keep::Bytes);
}

StoreResult DataStore::saveDefaults(const DisplaySettings& defaults) const
{
    return saveFile(defaultsPath(), [&] { return DefaultsFileCodec::encode(defaults); });
}

StoreResult DataStore::loadForeverRedDays(ForeverRedDays& everyYear) const
{
    return loadForeverRedDaysFile(foreverRedDaysPath(), everyYear, Keep::Bytes);
}

StoreResult DataStore::saveForeverRedDays(const ForeverRedDays& everyYear) const
{
    return saveFile(foreverRedDaysPath(), [&] { return ForeverRedDaysFileCodec::encode(everyYear); });
}

StoreResult DataStore::inspectYearFile(const QString& path, YearData& year, const DisplaySettings& defaults)
{
    return loadYearFile(path, year, defaults, Keep::Nothing);
}

StoreResult DataStore::inspectDefaultsFile(const QString& path, DisplaySettings& defaults)
{
    return loadDefaultsFile(path, defaults, Keep::Nothing);
}

StoreResult DataStore::inspectForeverRedDaysFile(const QString& path, ForeverRedDays& everyYear)
{
    return loadForeverRedDaysFile(path, everyYear, Keep::Nothing);
}

StoreResult DataStore::moveUnreadFileAside(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        // Gone since, or now missing behind a dangling link: nothing is left to lose.
        if (errno == ENOENT)
            return okResult(path);
        const QString reason = DurableFile::errnoText(errno);
        return writeFailed(
            path, QStringLiteral("it could not be read before and cannot be checked now: %1").arg(reason));
    }
    if (!S_ISREG(st.st_mode))
        return writeFailed(path, S_ISDIR(st.st_mode) ? QStringLiteral("it is a folder")
                                                     : QStringLiteral("it is not a regular file"));
    QString reason;
    StoreResult r = okResult(path);
    r.keptAs = DurableFile::moveAside(path, reason);
    if (r.keptAs.isEmpty())
        return writeFailed(
            path, QStringLiteral("it could not be read and could not be moved aside (%1)").arg(reason));
    return r;
}

bool DataStore::moveBackAfterFailedSave(const QString& keptAs, StoreResult& failed)
{
    QString reason;
    if (DurableFile::moveBack(keptAs, failed.path, reason))
        return true;
    failed.keptAs = keptAs;
    failed.message = QStringLiteral("Could not save %1: %2. Its earlier content is kept as %3 (it could not "
                                    "be moved back: %4); nothing was written in its place.")
                         .arg(failed.path, failed.reason, keptAs, reason);
    return false;
}
