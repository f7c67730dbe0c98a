#include "DataFolderLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a lock file that names nobody must stay so, unheld, before it counts as a dead maker's: the
// maker holds it within microseconds of making it and names itself right after.
constexpr int kNamelessSettleMs = 200;

// QLockFile's holder keeps a flock on its lock file; the kernel drops it with the process. Removes the
// file at `path` when nobody holds it and `remove`, under our own flock so no maker can take it meanwhile.
// Returns whether it was unheld, and sets `inode` to the file's identity.
bool unheld(const QString& path, bool remove, ino_t& inode)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info
    {
    };
    const bool free = ::fstat(fd, &info) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool same = inode == 0 || info.st_ino == inode;
    inode = info.st_ino;
    const bool taken = free && same && (!remove || ::unlink(name.constData()) == 0);
    ::close(fd);
    return taken;
}

} // namespace

DataFolderLock::DataFolderLock(const QString& yearsDir)
    : m_yearsDir(yearsDir), m_path(QDir(yearsDir).filePath(fileName())), m_lock(m_path)
{
    // Only a dead holder makes a lock stale, never its age.
    m_lock.setStaleLockTime(0);
}

DataFolderLock::~DataFolderLock()
{
    unlock();
}

QString DataFolderLock::fileName()
{
    // Not a data file name (those end in .year), so no load or clean-up ever takes it for one.
    return QStringLiteral("tolva.lock");
}

DataFolderLock::Status DataFolderLock::tryLock()
{
    if (m_status == Status::Locked)
        return m_status;
    m_holderPid = 0;
    m_holderHost.clear();
    // The folder that holds YEARS is the user's to name: a mistyped one fails here instead of appearing.
    if (!QFileInfo(m_yearsDir).isDir())
        m_createdFolder = QDir().mkdir(m_yearsDir) || m_createdFolder;
    // tryLock(0) removes the lock file of a process that no longer runs on this host and takes it.
    if (m_lock.tryLock(0) || (removeNamelessLock() && m_lock.tryLock(0))) {
        m_status = Status::Locked;
        return m_status;
    }
    if (m_lock.error() == QLockFile::LockFailedError) {
        QString app;
        m_lock.getLockInfo(&m_holderPid, &m_holderHost, &app);
        m_status = Status::InUse;
    } else {
        m_status = Status::Failed;
    }
    return m_status;
}

bool DataFolderLock::removeNamelessLock()
{
    // A maker killed between making the lock file and naming itself in it leaves a file that names no
    // process. QLockFile takes such a file over only by its age, which we do not limit, so it would keep
    // every planner out for good.
    ino_t inode = 0;
    for (int look = 0; look < 2; ++look) {
        qint64 pid = 0;
        QString host;
        QString app;
        if (m_lock.error() != QLockFile::LockFailedError || m_lock.getLockInfo(&pid, &host, &app) ||
            !unheld(m_path, false, inode))
            return false;
        if (look == 0)
            QThread::msleep(kNamelessSettleMs);
    }
    return unheld(m_path, true, inode);
}

void DataFolderLock::unlock()
{
    if (m_status == Status::Locked)
        m_lock.unlock();
    m_status = Status::Unlocked;
    // rmdir only takes an empty folder: one a year was written into stays.
    if (m_createdFolder && QDir().rmdir(m_yearsDir))
        m_createdFolder = false;
}

QString DataFolderLock::message() const
{
    switch (m_status) {
    case Status::InUse: {
        QString holder;
        if (m_holderPid > 0)
            holder = m_holderHost.isEmpty()
                         ? QStringLiteral(" (process %1)").arg(m_holderPid)
                         : QStringLiteral(" (process %1 on %2)").arg(m_holderPid).arg(m_holderHost);
        return QStringLiteral(
                   "The data folder %1 is in use by another running Tolva%2. Close that one first; "
                   "this one stops without changing anything.")
            .arg(QDir::toNativeSeparators(m_yearsDir), holder);
    }
    case Status::Failed:
        return QStringLiteral("Could not lock the data folder %1 (%2): another Tolva started on it would "
                              "not be kept out.")
            .arg(QDir::toNativeSeparators(m_yearsDir), m_lock.error() == QLockFile::PermissionError
                                                           ? QStringLiteral("permission denied")
                                                           : QStringLiteral("the lock file cannot be made"));
    case Status::Unlocked:
    case Status::Locked:
        break;
    }
    return {};
}
