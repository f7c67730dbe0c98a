#include "DataFolderLock.h"

#include <QDir>
#include <QFileInfo>

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
    if (m_lock.tryLock(0)) {
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
