#include "DataStore.h"

#include "ArchiveError.h"
#include "Calendar.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kYearsFolder = QStringLiteral("YEARS");
const QString kExtension = QStringLiteral("year");
const QString kDefaultsBaseName = QStringLiteral("YearDefaults");
const QString kForeverRedDaysBaseName = QStringLiteral("ForeverRedDays");

// Copies of damaged files are numbered from .damaged-2 on, up to this many.
constexpr int kMaxDamagedCopies = 100;

DataStore::SyncFunction g_sync = ::fsync;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

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

bool syncDirectory(const QString& dir, QString& reason)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        reason = errnoText(errno);
        return false;
    }
    // Some file systems cannot sync a folder (EINVAL); the rename is as durable as they allow.
    const bool synced = g_sync(fd) == 0 || errno == EINVAL;
    if (!synced)
        reason = errnoText(errno);
    ::close(fd);
    return synced;
}

// The name QSaveFile writes for `path`: a symlink's final target, resolved the way QSaveFile::open does.
QString saveTarget(const QString& path)
{
    QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    int maxDepth = 128;
    while (--maxDepth && info.isSymLink())
        info.setFile(info.symLinkTarget());
    return maxDepth > 0 ? info.filePath() : path;
}

enum class FileRead { Missing, Failed, TooLarge, Read };

// Plain POSIX calls: a year is read at every switch, and QFile's extra stat calls cost as much as the read.
FileRead readWholeFile(const QString& path, QByteArray& bytes, QString& reason)
{
    // O_NONBLOCK: a FIFO in place of a data file must not hang the program.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return FileRead::Missing;
        reason = errnoText(errno);
        return FileRead::Failed;
    }
    struct stat st = {};
    FileRead outcome = FileRead::Failed;
    if (::fstat(fd, &st) != 0) {
        reason = errnoText(errno);
    } else if (S_ISDIR(st.st_mode)) {
        reason = QStringLiteral("it is a folder");
    } else if (!S_ISREG(st.st_mode)) {
        reason = QStringLiteral("it is not a regular file");
    } else if (st.st_size > DataStore::kMaxFileSize) {
        reason = QStringLiteral("it is %1 bytes, more than a data file can hold (%2)")
                     .arg(st.st_size)
                     .arg(DataStore::kMaxFileSize);
        outcome = FileRead::TooLarge;
    } else {
        outcome = FileRead::Read;
    }
    if (outcome != FileRead::Read) {
        ::close(fd);
        return outcome;
    }
    try {
        bytes.resize(qsizetype(st.st_size));
    } catch (...) {
        ::close(fd);
        throw;
    }
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, std::size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reason = errnoText(errno);
            ::close(fd);
            bytes.clear();
            return FileRead::Failed;
        }
        if (n == 0)
            break; // shrunk while being read: what was there is what we have
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
    return FileRead::Read;
}

bool sameContent(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.size() == bytes.size() && file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

QString damagedName(const QString& path, int i)
{
    return i > 1 ? path + QStringLiteral(".damaged-") + QString::number(i)
                 : path + QStringLiteral(".damaged");
}

// Keeps the bytes of a damaged file under a free sibling name (or the name of an identical earlier copy),
// written as durably as a save. Returns the name, or an empty string with `reason` set.
QString keepDamagedCopy(const QString& path, const QByteArray& bytes, QString& reason)
{
    for (int i = 1; i <= kMaxDamagedCopies; ++i) {
        const QString candidate = damagedName(path, i);
        if (QFileInfo::exists(candidate)) {
            if (sameContent(candidate, bytes))
                return candidate;
            continue;
        }
        const StoreResult written = DataStore::writeFileAtomically(candidate, bytes);
        if (written.ok())
            return candidate;
        reason = written.reason;
        return QString();
    }
    reason = QStringLiteral("there are already %1 copies of damaged files").arg(kMaxDamagedCopies);
    return QString();
}

// Renames the file at `path` (a symlink itself, not its target) to a free damaged name, never replacing
// one. It costs no memory and no disk space, whatever the file's size. Returns the name, or an empty
// string with `reason` set.
QString moveAside(const QString& path, QString& reason)
{
    const QByteArray from = QFile::encodeName(path);
    for (int i = 1; i <= kMaxDamagedCopies; ++i) {
        const QString candidate = damagedName(path, i);
        const QByteArray to = QFile::encodeName(candidate);
        int rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without the no-replace flag: a hard link never replaces either.
            rc = ::link(from.constData(), to.constData());
            if (rc == 0)
                ::unlink(from.constData());
        }
        if (rc == 0) {
            QString syncReason;
            syncDirectory(QFileInfo(path).absolutePath(), syncReason);
            return candidate;
        }
        if (errno != EEXIST) {
            reason = errnoText(errno);
            return QString();
        }
    }
    reason = QStringLiteral("there are already %1 copies of damaged files").arg(kMaxDamagedCopies);
    return QString();
}

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
        r.keptAs = keepDamagedCopy(path, bytes, copyReason);
        if (r.keptAs.isEmpty())
            message += QStringLiteral(" A copy of the damaged file could not be kept: %1.").arg(copyReason);
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
        r.keptAs = moveAside(path, moveReason);
        if (r.keptAs.isEmpty())
            message += QStringLiteral(" It could not be moved aside: %1.").arg(moveReason);
        else
            message += QStringLiteral(" It was moved aside whole to %1.").arg(r.keptAs);
    }
    r.message = message;
    return r;
}

const QString kOutOfMemory = QStringLiteral("there is not enough memory to load it");

StoreResult readFailed(const QString& path, const QString& reason, const QString& whatWasUsed)
{
    return failure(StoreResult::Status::ReadFailed, path, reason,
                   QStringLiteral("Could not read %1: %2. %3").arg(path, reason, whatWasUsed));
}

StoreResult loadYearFile(const QString& path, YearData& year, const DisplaySettings& defaults, Keep keep)
{
    const SYSTEMTIME selected = year.m_settings.m_stSelected;
    const QString fromDefaults = QStringLiteral("The year is shown from the defaults.");
    StoreResult result = okResult(path);
    try {
        QByteArray bytes;
        QString reason;
        switch (readWholeFile(path, bytes, reason)) {
        case FileRead::Failed:
            result =
                readFailed(path, reason, fromDefaults + QStringLiteral(" Saving it will replace the file."));
            break;
        case FileRead::TooLarge:
            result = unloadable(path, reason, keep, fromDefaults);
            break;
        case FileRead::Missing:
        case FileRead::Read:
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
        switch (readWholeFile(path, bytes, reason)) {
        case FileRead::Missing:
            return okResult(path);
        case FileRead::Failed:
            return readFailed(path, reason, builtIn);
        case FileRead::TooLarge:
            return unloadable(path, reason, keep, builtIn);
        case FileRead::Read:
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
        switch (readWholeFile(path, bytes, reason)) {
        case FileRead::Missing:
            return okResult(path);
        case FileRead::Failed:
            return readFailed(path, reason, QStringLiteral("Red days that repeat every year are not shown."));
        case FileRead::TooLarge:
            return unloadable(path, reason, keep,
                              QStringLiteral("Red days that repeat every year are not shown."));
        case FileRead::Read:
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
    return DataStore::writeFileAtomically(path, bytes);
}

// <data file>.XXXXXX as QSaveFile names its temporary, for our three kinds of file and their damaged copies.
const QRegularExpression kTemporaryName(QStringLiteral(
    "^(?:[0-9]+|YearDefaults|ForeverRedDays)\\.year(?:\\.damaged(?:-[0-9]+)?)?\\.[A-Za-z0-9]{6}$"));

bool isStaleTemporary(const QString& path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st = {};
    const bool stale = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                       std::time(nullptr) - st.st_mtime >= DataStore::kStaleTemporaryAgeSeconds &&
                       ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    // The lock, if taken, goes with the descriptor; by then the name is gone.
    if (stale)
        ::unlink(QFile::encodeName(path).constData());
    ::close(fd);
    return stale;
}

void removeStaleTemporaries(const QString& dir)
{
    bool removed = false;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        if (kTemporaryName.match(it.fileName()).hasMatch() && isStaleTemporary(it.filePath()))
            removed = true;
    }
    QString reason;
    if (removed)
        syncDirectory(dir, reason);
}

} // namespace

StoreResult DataStore::CaptureWorkDir(const QString& workDir)
{
    m_strWorkDir = QFileInfo(workDir).absoluteFilePath();
    const QString dir = yearsDir();
    if (QFileInfo(dir).isDir()) {
        removeStaleTemporaries(dir);
        return okResult(dir);
    }
    if (::mkdir(QFile::encodeName(dir).constData(), 0777) != 0) {
        const QString reason = errnoText(errno);
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

StoreResult DataStore::writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QString target = saveTarget(path);
    // Unbuffered, so that write() reports what reached the file: Qt 6.4 commits a short file when a
    // buffered write comes up short (disk full, file-size limit) without raising an error.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return writeFailed(path, file.errorString());
    // Held until the descriptor closes after the rename: the stale-temporary clean-up of any process
    // leaves a locked temporary alone.
    ::flock(file.handle(), LOCK_EX | LOCK_NB);
    const qint64 written = file.write(bytes);
    if (written != bytes.size()) {
        const QString reason =
            written < 0 ? file.errorString()
                        : QStringLiteral("only %1 of %2 bytes could be written (disk full or file too large)")
                              .arg(written)
                              .arg(bytes.size());
        file.cancelWriting(); // the temporary goes with `file`
        return writeFailed(path, reason);
    }
    // QSaveFile::commit() syncs too but ignores a failure; a save the disk did not take is no save.
    if (g_sync(file.handle()) != 0) {
        const QString reason = errnoText(errno);
        file.cancelWriting();
        return writeFailed(path, reason);
    }
    if (!file.commit())
        return writeFailed(path, file.errorString());
    QString reason;
    if (!syncDirectory(QFileInfo(target).absolutePath(), reason))
        return failure(
            StoreResult::Status::WriteFailed, path, reason,
            QStringLiteral("%1 was saved, but the save may not survive a power cut: %2.").arg(path, reason));
    return okResult(path);
}

DataStore::SyncFunction DataStore::setSyncFunction(SyncFunction sync)
{
    const SyncFunction previous = g_sync;
    g_sync = sync ? sync : ::fsync;
    return previous;
}
