#include "DataStore.h"

#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "Calendar.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kYearsFolder = QStringLiteral("YEARS");
const QString kExtension = QStringLiteral("year");
const QString kDefaultsBaseName = QStringLiteral("YearDefaults");
const QString kForeverRedDaysBaseName = QStringLiteral("ForeverRedDays");

// Copies of damaged files are numbered from .damaged-2 on, up to this many.
constexpr int kMaxDamagedCopies = 100;
// No data file comes near this; a larger one is not read into memory at all.
constexpr qint64 kMaxFileSize = qint64(1) << 30;

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
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    if (!synced)
        reason = errnoText(errno);
    ::close(fd);
    return synced;
}

enum class FileRead { Missing, Failed, Read };

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
    QString why;
    if (::fstat(fd, &st) != 0)
        why = errnoText(errno);
    else if (S_ISDIR(st.st_mode))
        why = QStringLiteral("it is a folder");
    else if (!S_ISREG(st.st_mode))
        why = QStringLiteral("it is not a regular file");
    else if (st.st_size > kMaxFileSize)
        why = QStringLiteral("it is larger than any data file can be (%1 bytes)").arg(st.st_size);
    if (!why.isEmpty()) {
        reason = why;
        ::close(fd);
        return FileRead::Failed;
    }
    bytes.resize(qsizetype(st.st_size));
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, std::size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reason = errnoText(errno);
            ::close(fd);
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

// Keeps the bytes of a damaged file under a free sibling name (or the name of an identical earlier copy),
// written as durably as a save. Returns the name, or an empty string with `reason` set.
QString keepDamagedCopy(const QString& path, const QByteArray& bytes, QString& reason)
{
    for (int i = 1; i <= kMaxDamagedCopies; ++i) {
        QString candidate = path + QStringLiteral(".damaged");
        if (i > 1)
            candidate += QLatin1Char('-') + QString::number(i);
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

// `whatWasUsed` says what the program works with instead, e.g. "Its readable part was loaded."
StoreResult damaged(const QString& path, const QString& reason, const QByteArray& bytes,
                    const QString& whatWasUsed)
{
    StoreResult r = failure(StoreResult::Status::Damaged, path, reason, QString());
    QString message = QStringLiteral("The file %1 is damaged (%2). %3").arg(path, reason, whatWasUsed);
    if (!bytes.isEmpty()) {
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

StoreResult readFailed(const QString& path, const QString& reason, const QString& whatWasUsed)
{
    return failure(StoreResult::Status::ReadFailed, path, reason,
                   QStringLiteral("Could not read %1: %2. %3").arg(path, reason, whatWasUsed));
}

} // namespace

StoreResult DataStore::CaptureWorkDir(const QString& workDir)
{
    m_strWorkDir = QFileInfo(workDir).absoluteFilePath();
    const QString dir = yearsDir();
    if (QFileInfo(dir).isDir())
        return okResult(dir);
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
    const QString path = yearPath(year.year());
    if (!load)
        return writeFileAtomically(path, encodeYear(year));

    const SYSTEMTIME selected = year.m_settings.m_stSelected;
    QByteArray bytes;
    QString reason;
    StoreResult result = okResult(path);
    switch (readWholeFile(path, bytes, reason)) {
    case FileRead::Failed:
        result = readFailed(
            path, reason,
            QStringLiteral("The year is shown from the defaults; saving it will replace the file."));
        [[fallthrough]];
    case FileRead::Missing:
        bytes.clear();
        break;
    case FileRead::Read:
        break;
    }
    try {
        decodeYear(bytes, year, defaults);
    } catch (const ArchiveError& e) {
        result = damaged(path, e.describe(), bytes, QStringLiteral("Its readable part was loaded."));
    }
    year.m_settings.m_stSelected = selected;
    return result;
}

StoreResult DataStore::LoadSaveDefaults(bool load, DisplaySettings& defaults) const
{
    const QString path = defaultsPath();
    if (!load)
        return writeFileAtomically(path, encodeDefaults(defaults));

    QByteArray bytes;
    QString reason;
    const QString builtIn = QStringLiteral("The built-in defaults are used.");
    switch (readWholeFile(path, bytes, reason)) {
    case FileRead::Missing:
        defaults = DisplaySettings::builtInDefaults(Calendar::nowUtc());
        return okResult(path);
    case FileRead::Failed:
        defaults = DisplaySettings::builtInDefaults(Calendar::nowUtc());
        return readFailed(path, reason, builtIn);
    case FileRead::Read:
        break;
    }
    try {
        defaults = decodeDefaults(bytes);
        return okResult(path);
    } catch (const ArchiveError& e) {
        defaults = DisplaySettings::builtInDefaults(Calendar::nowUtc());
        return damaged(path, e.describe(), bytes, builtIn);
    }
}

StoreResult DataStore::LoadSaveForeverRedDays(bool load, YearData& year, ForeverRedDays& everyYear) const
{
    const QString path = foreverRedDaysPath();
    if (!load) {
        everyYear.collectFrom(year);
        return writeFileAtomically(path, encodeForeverRedDays(everyYear));
    }

    everyYear.clear();
    QByteArray bytes;
    QString reason;
    switch (readWholeFile(path, bytes, reason)) {
    case FileRead::Missing:
        return okResult(path);
    case FileRead::Failed:
        return readFailed(path, reason, QStringLiteral("Red days that repeat every year are not shown."));
    case FileRead::Read:
        break;
    }
    QString damage;
    try {
        decodeForeverRedDays(bytes, everyYear);
    } catch (const ArchiveError& e) {
        damage = e.describe();
    }
    const int badEntries = everyYear.mergeInto(year);
    if (damage.isEmpty() && badEntries > 0)
        damage = QStringLiteral("%1 of %2 entries name no date or have no text")
                     .arg(badEntries)
                     .arg(everyYear.m_foreverRedDays.count());
    if (damage.isEmpty())
        return okResult(path);
    return damaged(path, damage, bytes, QStringLiteral("Its readable entries were used."));
}

StoreResult DataStore::loadYear(YearData& year, const DisplaySettings& defaults) const
{
    return LoadSaveYear(kLoad, year, defaults);
}

StoreResult DataStore::saveYear(const YearData& year) const
{
    return writeFileAtomically(yearPath(year.year()), encodeYear(year));
}

StoreResult DataStore::loadDefaults(DisplaySettings& defaults) const
{
    return LoadSaveDefaults(kLoad, defaults);
}

StoreResult DataStore::saveDefaults(const DisplaySettings& defaults) const
{
    return writeFileAtomically(defaultsPath(), encodeDefaults(defaults));
}

StoreResult DataStore::loadForeverRedDays(ForeverRedDays& everyYear) const
{
    const QString path = foreverRedDaysPath();
    everyYear.clear();
    QByteArray bytes;
    QString reason;
    switch (readWholeFile(path, bytes, reason)) {
    case FileRead::Missing:
        return okResult(path);
    case FileRead::Failed:
        return readFailed(path, reason, QStringLiteral("Red days that repeat every year are not shown."));
    case FileRead::Read:
        break;
    }
    try {
        decodeForeverRedDays(bytes, everyYear);
    } catch (const ArchiveError& e) {
        return damaged(path, e.describe(), bytes, QStringLiteral("Its readable entries were used."));
    }
    return okResult(path);
}

StoreResult DataStore::saveForeverRedDays(const ForeverRedDays& everyYear) const
{
    return writeFileAtomically(foreverRedDaysPath(), encodeForeverRedDays(everyYear));
}

QByteArray DataStore::encodeYear(const YearData& year)
{
    DisplaySettings settings = year.m_settings;
    settings.clearLinkSlots();

    qsizetype size = 2 + qsizetype(sizeof settings);
    size += 9 * 6 + year.m_dayMarks.count() * qsizetype(sizeof(DayMarkRecord)) +
            year.m_redDays.count() * qsizetype(sizeof(RedDayRecord)) +
            year.m_projects.count() * qsizetype(sizeof(ProjectRecord)) +
            year.m_alarms.count() * qsizetype(sizeof(AlarmRecord));
    for (const StringList* list : {&year.m_names, &year.m_memos, &year.m_alarmTexts, &year.m_redTexts})
        for (const QByteArray& s : *list)
            size += 1 + (s.size() < 0xFF ? 0 : 6) + s.size();

    ArchiveWriter out;
    out.reserve(size);
    out.writeCount(1);
    out.writeRaw(&settings, sizeof settings);
    out.writeRecordList(year.m_dayMarks);
    out.writeRecordList(year.m_redDays);
    out.writeRecordList(year.m_projects);
    out.writeRecordList(year.m_alarms);
    out.writeStringList(year.m_names);
    out.writeStringList(year.m_memos);
    out.writeStringList(year.m_alarmTexts);
    out.writeStringList(year.m_redTexts);
    return out.takeData();
}

namespace {

// Items 1 to 9 in file order, straight into `year`; `settingsRead` tells how far a failure got.
void readYearItems(ArchiveReader& in, YearData& year, bool& settingsRead)
{
    const quint32 n = in.readCount();
    if (n < 1)
        ArchiveReader::fail(0, QStringLiteral("the settings list is empty"));
    in.readRaw(&year.m_settings, sizeof(DisplaySettings));
    settingsRead = true;
    in.skip(qsizetype(n - 1) * qsizetype(sizeof(DisplaySettings)));
    in.readRecordList(year.m_dayMarks);
    in.readRecordList(year.m_redDays);
    in.readRecordList(year.m_projects);
    in.readRecordList(year.m_alarms);
    in.readStringList(year.m_names);
    in.readStringList(year.m_memos);
    in.readStringList(year.m_alarmTexts);
    in.readStringList(year.m_redTexts);
}

} // namespace

void DataStore::decodeYear(const QByteArray& bytes, YearData& year, const DisplaySettings& defaults)
{
    // An interrupted save on the old platform left an empty file: a missing year, not all-zero settings.
    if (bytes.isEmpty()) {
        year.reset();
        year.m_settings = defaults;
        return;
    }
    // A whole file replaces every item, so the lists are filled in place without a reset first.
    bool settingsRead = false;
    try {
        ArchiveReader in(bytes);
        readYearItems(in, year, settingsRead);
        return;
    } catch (const ArchiveError&) {
    }
    // Damaged: read again into a reset year, so that the items past the damage keep their reset state.
    year.reset();
    settingsRead = false;
    try {
        ArchiveReader in(bytes);
        readYearItems(in, year, settingsRead);
    } catch (const ArchiveError&) {
        if (!settingsRead)
            year.m_settings = defaults;
        throw;
    }
}

QByteArray DataStore::encodeDefaults(const DisplaySettings& defaults)
{
    DisplaySettings settings = defaults;
    settings.clearLinkSlots();
    ArchiveWriter out;
    out.writeCount(1);
    out.writeRaw(&settings, sizeof settings);
    return out.takeData();
}

DisplaySettings DataStore::decodeDefaults(const QByteArray& bytes)
{
    ArchiveReader in(bytes);
    if (in.readCount() < 1)
        ArchiveReader::fail(0, QStringLiteral("the settings list is empty"));
    DisplaySettings settings{};
    in.readRaw(&settings, sizeof settings);
    return settings;
}

QByteArray DataStore::encodeForeverRedDays(const ForeverRedDays& everyYear)
{
    ArchiveWriter out;
    out.writeRecordList(everyYear.m_foreverRedDays);
    out.writeStringList(everyYear.m_foreverRedTexts);
    return out.takeData();
}

void DataStore::decodeForeverRedDays(const QByteArray& bytes, ForeverRedDays& everyYear)
{
    everyYear.clear();
    if (bytes.isEmpty())
        return;
    ArchiveReader in(bytes);
    in.readRecordList(everyYear.m_foreverRedDays);
    in.readStringList(everyYear.m_foreverRedTexts);
}

StoreResult DataStore::writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    // Unbuffered, so that write() reports what reached the file: Qt 6.4 commits a short file when a
    // buffered write comes up short (disk full, file-size limit) without raising an error.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return writeFailed(path, file.errorString());
    const qint64 written = file.write(bytes);
    if (written != bytes.size()) {
        const QString reason =
            written < 0 ? file.errorString()
                        : QStringLiteral("only %1 of %2 bytes could be written (disk full or file too large)")
                              .arg(written)
                              .arg(bytes.size());
        file.cancelWriting();
        return writeFailed(path, reason);
    }
    if (!file.commit())
        return writeFailed(path, file.errorString());
    QString reason;
    if (!syncDirectory(QFileInfo(path).absolutePath(), reason))
        return failure(
            StoreResult::Status::WriteFailed, path, reason,
            QStringLiteral("%1 was saved, but the save may not survive a power cut: %2.").arg(path, reason));
    return okResult(path);
}
