#include "DataFolderLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <optional>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a lock file that names nobody must stay so, unheld, before it counts as a dead maker's: a maker
// holds it within microseconds of making it and names itself right after.
constexpr int kNamelessSettleMs = 200;
constexpr qint64 kMaxLockFileBytes = 4096;

struct Holder
{
    qint64 pid = 0;
    QString program;
    QString host;
};

QString programOf(qint64 pid)
{
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid))).fileName();
}

// The first lines of a lock file: process id, program, host. Nothing when they do not name a process.
std::optional<Holder> readHolder(int fd)
{
    QByteArray text(kMaxLockFileBytes, Qt::Uninitialized);
    const ssize_t got = ::pread(fd, text.data(), text.size(), 0);
    if (got <= 0)
        return std::nullopt;
    const QList<QByteArray> lines = text.left(got).split('\n');
    bool ok = false;
    Holder holder{lines.value(0).toLongLong(&ok), QString::fromUtf8(lines.value(1)),
                  QString::fromUtf8(lines.value(2))};
    if (!ok || holder.pid <= 0 || lines.size() < 3)
        return std::nullopt;
    return holder;
}

// A holder named in the file that still runs here (the same process id, running the same program), or
// on another host, where it cannot be told: such a lock is never taken over, whatever its flock says.
bool mayStillRun(const Holder& holder)
{
    if (!holder.host.isEmpty() && holder.host != QSysInfo::machineHostName())
        return true;
    if (::kill(pid_t(holder.pid), 0) == -1 && errno == ESRCH)
        return false;
    const QString program = programOf(holder.pid);
    return program.isEmpty() || holder.program.isEmpty() || program == holder.program;
}

} // namespace

DataFolderLock::DataFolderLock(const QString& yearsDir)
    : m_yearsDir(yearsDir), m_path(QDir(yearsDir).filePath(fileName()))
{
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
    m_errno = 0;
    // The folder that holds YEARS is the user's to name: a mistyped one fails here instead of appearing.
    if (!QFileInfo(m_yearsDir).isDir())
        m_createdFolder = QDir().mkdir(m_yearsDir) || m_createdFolder;
    Take take = create();
    if (take == Take::Held)
        take = examine();
    if (take == Take::Stale)
        take = create();
    m_status = take == Take::Taken ? Status::Locked : take == Take::Held ? Status::InUse : Status::Failed;
    return m_status;
}

DataFolderLock::Take DataFolderLock::create()
{
    const QByteArray name = QFile::encodeName(m_path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_errno = errno;
        return errno == EEXIST ? Take::Held : Take::Failed;
    }
    const qint64 pid = QCoreApplication::applicationPid();
    const QByteArray holder = QByteArray::number(pid) + '\n' + programOf(pid).toUtf8() + '\n' +
                              QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() +
                              '\n' + QSysInfo::bootUniqueId() + '\n';
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::write(fd, holder.constData(), holder.size()) != holder.size()) {
        m_errno = errno;
        ::unlink(name.constData());
        ::close(fd);
        return Take::Failed;
    }
    m_fd = fd;
    return Take::Taken;
}

DataFolderLock::Take DataFolderLock::examine()
{
    const QByteArray name = QFile::encodeName(m_path);
    for (int look = 0;; ++look) {
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            m_errno = errno;
            return errno == ENOENT ? Take::Stale : Take::Failed; // gone meanwhile: try again
        }
        const std::optional<Holder> holder = readHolder(fd);
        if (holder) {
            m_holderPid = holder->pid;
            m_holderHost = holder->host;
        }
        // Every holder, of this version or an earlier one, keeps a flock on the file while it runs; the
        // kernel drops it with the process.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || (holder && mayStillRun(*holder))) {
            ::close(fd);
            return Take::Held;
        }
        // Unheld and naming nobody: a maker killed before it named itself, or one naming itself right now.
        if (!holder && look == 0) {
            ::close(fd);
            QThread::msleep(kNamelessSettleMs);
            continue;
        }
        // Removed under our own flock, so that nobody takes this file meanwhile.
        struct stat open
        {
        }, named{};
        const bool same = ::fstat(fd, &open) == 0 && ::stat(name.constData(), &named) == 0 &&
                          open.st_ino == named.st_ino && open.st_dev == named.st_dev;
        const bool removed = same && ::unlink(name.constData()) == 0;
        ::close(fd);
        m_holderPid = 0;
        m_holderHost.clear();
        return removed || !same ? Take::Stale : Take::Failed;
    }
}

void DataFolderLock::unlock()
{
    if (m_status == Status::Locked && m_fd >= 0) {
        // Removed while still held, so that no other process can take the file between the two.
        ::unlink(QFile::encodeName(m_path).constData());
        ::close(m_fd);
        m_fd = -1;
    }
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
            .arg(QDir::toNativeSeparators(m_yearsDir),
                 m_errno == EACCES || m_errno == EPERM || m_errno == EROFS
                     ? QStringLiteral("permission denied")
                     : QStringLiteral("the lock file cannot be made"));
    case Status::Unlocked:
    case Status::Locked:
        break;
    }
    return {};
}
