#include "DurableFile.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Copies of damaged files are numbered from .damaged-2 on, up to this many.
constexpr int kMaxDamagedCopies = 100;

const QString kTemporaryTag = QStringLiteral(".tolva-save-");
const QRegularExpression kTemporaryName(QStringLiteral("^\\..+\\.tolva-save-[0-9a-f]{16}$"));

DurableFile::SyncFunction g_sync = ::fsync;
DurableFile::ReadFunction g_read = ::read;

StoreResult writeFailed(const QString& path, const QString& reason)
{
    StoreResult r;
    r.status = StoreResult::Status::WriteFailed;
    r.path = path;
    r.reason = reason;
    r.message = QStringLiteral("Could not save %1: %2. The file on disk was not changed.").arg(path, reason);
    return r;
}

// The name a write replaces for `path`: a symlink's final target.
QString finalTarget(const QString& path)
{
    QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    int maxDepth = 128;
    while (--maxDepth && info.isSymLink())
        info.setFile(info.symLinkTarget());
    return maxDepth > 0 ? info.filePath() : path;
}

QString notRegularReason(mode_t mode)
{
    return S_ISDIR(mode) ? QStringLiteral("it is a folder") : QStringLiteral("it is not a regular file");
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

} // namespace

// Every byte or a reason; a short write names how far it got.
bool DurableFile::writeAll(int fd, const QByteArray& bytes, QString& reason)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const QString why =
                n < 0 ? DurableFile::errnoText(errno) : QStringLiteral("nothing more was taken");
            reason = done == 0 ? why
                               : QStringLiteral("only %1 of %2 bytes could be written (%3)")
                                     .arg(done)
                                     .arg(bytes.size())
                                     .arg(why);
            return false;
        }
        done += n;
    }
    return true;
}

namespace {

bool isStaleTemporary(const QString& path, int minAgeSeconds = DurableFile::kStaleTemporaryAgeSeconds)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st = {};
    const bool stale = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                       std::time(nullptr) - st.st_mtime >= minAgeSeconds &&
                       ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    // The lock, if taken, goes with the descriptor; by then the name is gone.
    if (stale)
        ::unlink(QFile::encodeName(path).constData());
    ::close(fd);
    return stale;
}

} // namespace

QString DurableFile::errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool DurableFile::syncFolder(const QString& dir, QString& reason)
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

// Plain POSIX calls: a year is read at every switch, and QFile's extra stat calls cost as much as the read.
DurableFile::Read DurableFile::read(const QString& path, qint64 maxSize, QByteArray& bytes, QString& reason)
{
    // O_NONBLOCK: a FIFO in place of a data file must not hang the program.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return Read::Missing;
        reason = errnoText(errno);
        return Read::Failed;
    }
    struct stat st = {};
    Read outcome = Read::Failed;
    if (::fstat(fd, &st) != 0) {
        reason = errnoText(errno);
    } else if (!S_ISREG(st.st_mode)) {
        reason = notRegularReason(st.st_mode);
    } else if (st.st_size > maxSize) {
        reason = QStringLiteral("it is %1 bytes, more than a data file can hold (%2)")
                     .arg(st.st_size)
                     .arg(maxSize);
        outcome = Read::TooLarge;
    } else {
        outcome = Read::Done;
    }
    if (outcome != Read::Done) {
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
        const ssize_t n = g_read(fd, bytes.data() + got, std::size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reason = errnoText(errno);
            ::close(fd);
            bytes.clear();
            return Read::Failed;
        }
        if (n == 0)
            break; // shrunk while being read: what was there is what we have
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
    return Read::Done;
}

QString DurableFile::temporaryPathFor(const QString& path)
{
    const QFileInfo info(path);
    const QString suffix =
        QStringLiteral("%1").arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
    return info.path() + QStringLiteral("/.") + info.fileName() + kTemporaryTag + suffix;
}

bool DurableFile::isTemporaryName(const QString& fileName)
{
    return kTemporaryName.match(fileName).hasMatch();
}

StoreResult DurableFile::write(const QString& path, const QByteArray& bytes, int mode)
{
    const QString target = finalTarget(path);
    struct stat st = {};
    const bool exists = ::stat(QFile::encodeName(target).constData(), &st) == 0;
    if (!exists && errno != ENOENT)
        return writeFailed(path, errnoText(errno));
    // Never replace a device, a FIFO or a folder by a regular file: that would break what it stands for.
    if (exists && !S_ISREG(st.st_mode))
        return writeFailed(path, notRegularReason(st.st_mode));

    removeOwnStaleTemporaries(target);
    QString temporary;
    QByteArray temporaryName;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temporary = temporaryPathFor(target);
        temporaryName = QFile::encodeName(temporary);
        fd = ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    mode < 0 ? 0666 : 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return writeFailed(path, errnoText(errno));
    // Held until the descriptor closes after the rename: the stale-temporary clean-up of any process
    // leaves a locked temporary alone.
    ::flock(fd, LOCK_EX | LOCK_NB);
    const auto fail = [&](const QString& reason) {
        ::unlink(temporaryName.constData());
        ::close(fd);
        return writeFailed(path, reason);
    };
    if (exists) {
        // A planner run by root on a user's folder must not leave root's files behind.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0 && errno != EPERM)
            return fail(errnoText(errno));
        if (mode < 0 && ::fchmod(fd, st.st_mode & 07777) != 0)
            return fail(errnoText(errno));
    }
    if (mode >= 0 && ::fchmod(fd, mode_t(mode) & 07777) != 0)
        return fail(errnoText(errno));
    QString reason;
    if (!writeAll(fd, bytes, reason))
        return fail(reason);
    if (g_sync(fd) != 0)
        return fail(errnoText(errno));
    if (::rename(temporaryName.constData(), QFile::encodeName(target).constData()) != 0)
        return fail(errnoText(errno));
    ::close(fd);
    if (!syncFolder(QFileInfo(target).absolutePath(), reason)) {
        StoreResult r = writeFailed(path, reason);
        r.message =
            QStringLiteral("%1 was saved, but the save may not survive a power cut: %2.").arg(path, reason);
        return r;
    }
    StoreResult ok;
    ok.path = path;
    return ok;
}

QString DurableFile::keepCopy(const QString& path, const QByteArray& bytes, QString& reason)
{
    for (int i = 1; i <= kMaxDamagedCopies; ++i) {
        const QString candidate = damagedName(path, i);
        if (QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink()) {
            if (sameContent(candidate, bytes))
                return candidate;
            continue;
        }
        const StoreResult written = write(candidate, bytes);
        if (written.ok())
            return candidate;
        reason = written.reason;
        return QString();
    }
    reason = QStringLiteral("there are already %1 copies of damaged files").arg(kMaxDamagedCopies);
    return QString();
}

namespace {

int renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray fromName = QFile::encodeName(from);
    const QByteArray toName = QFile::encodeName(to);
    int rc = ::renameat2(AT_FDCWD, fromName.constData(), AT_FDCWD, toName.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace flag: a hard link never replaces either.
        rc = ::link(fromName.constData(), toName.constData());
        if (rc == 0)
            ::unlink(fromName.constData());
    }
    return rc;
}

} // namespace

bool DurableFile::moveBack(const QString& keptAs, const QString& path, QString& reason)
{
    if (renameNoReplace(keptAs, path) != 0) {
        reason = errnoText(errno);
        return false;
    }
    QString syncReason;
    syncFolder(QFileInfo(path).absolutePath(), syncReason);
    return true;
}

QString DurableFile::moveAside(const QString& path, QString& reason)
{
    for (int i = 1; i <= kMaxDamagedCopies; ++i) {
        const QString candidate = damagedName(path, i);
        if (renameNoReplace(path, candidate) == 0) {
            QString syncReason;
            syncFolder(QFileInfo(path).absolutePath(), syncReason);
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

void DurableFile::removeStaleTemporaries(const QString& dir)
{
    bool removed = false;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        if (isTemporaryName(it.fileName()) && isStaleTemporary(it.filePath()))
            removed = true;
    }
    QString reason;
    if (removed)
        syncFolder(dir, reason);
}

int DurableFile::removeOwnStaleTemporaries(const QString& path)
{
    const QFileInfo info(path);
    const QString prefix = QLatin1Char('.') + info.fileName() + kTemporaryTag;
    QStringList own;
    QDirIterator it(info.path(), {prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        if (isTemporaryName(it.fileName()) && it.fileName().size() == prefix.size() + 16)
            own.append(it.filePath());
    }
    if (own.size() <= kFewTemporaries)
        return 0;
    int removed = 0;
    for (const QString& temporary : std::as_const(own))
        removed += isStaleTemporary(temporary, kOwnTemporaryAgeSeconds) ? 1 : 0;
    return removed;
}

DurableFile::SyncFunction DurableFile::setSyncFunction(SyncFunction sync)
{
    const SyncFunction previous = g_sync;
    g_sync = sync ? sync : ::fsync;
    return previous;
}

DurableFile::ReadFunction DurableFile::setReadFunction(ReadFunction read)
{
    const ReadFunction previous = g_read;
    g_read = read ? read : ::read;
    return previous;
}
