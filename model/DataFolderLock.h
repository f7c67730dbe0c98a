#pragma once

#include <QString>

// One writer per data folder: a lock file in YEARS/ held for as long as a planner (or a writing command of
// tolva-cli) works on the folder. Two planners on one folder would each overwrite the other's years.
//
// The file is QLockFile's (the same name, the holder's process id, program and host in it, and a flock on
// it while held), so that holders of earlier versions and this one keep each other out; it is not synced
// to disk as QLockFile's is, which cost every start a disk flush: a file left damaged by a crash is taken
// over like a dead holder's.
//
// A lock left behind by a process that no longer runs on this host is taken over, and so is one its maker
// died before naming itself in; a lock has no age limit, because a planner may rightly stay open for weeks.
class DataFolderLock
{
public:
    enum class Status {
        Unlocked, // not tried yet, or released
        Locked,   // ours
        InUse,    // held by another running process
        Failed,   // the lock file cannot be made (folder missing or unwritable)
    };

    // `yearsDir` is the data folder itself (DataStore::yearsDir()).
    explicit DataFolderLock(const QString& yearsDir);
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    // Creates the data folder when it is missing (never its parent), then takes the lock without waiting.
    // A folder made here and still empty at unlock() is removed again: a command that wrote nothing
    // leaves no folder behind.
    Status tryLock();
    void unlock();

    Status status() const { return m_status; }
    bool isLocked() const { return m_status == Status::Locked; }
    QString lockFilePath() const { return m_path; }
    // After InUse: the holder's process id and host, when the lock file names them (else 0 and empty).
    qint64 holderPid() const { return m_holderPid; }
    QString holderHost() const { return m_holderHost; }
    // One or two sentences for the user about an InUse or Failed outcome.
    QString message() const;

    static QString fileName();

private:
    enum class Take { Taken, Held, Stale, Failed };
    Take create();
    // A lock file that is there already: whether it is another's, or left by a dead holder and removed.
    Take examine();

    QString m_yearsDir;
    QString m_path;
    int m_fd = -1;
    int m_errno = 0;
    Status m_status = Status::Unlocked;
    qint64 m_holderPid = 0;
    QString m_holderHost;
    bool m_createdFolder = false;
};
