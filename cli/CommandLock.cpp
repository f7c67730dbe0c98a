#include "CommandLock.h"

#include "DataFolderLock.h"

#include <QDir>

bool lockForCommand(DataFolderLock& lock, const QString& yearsDir, const QString& nothing, bool syncing,
                    QString& error)
{
    switch (lock.tryLock()) {
    case DataFolderLock::Status::Locked:
        return true;
    case DataFolderLock::Status::InUse:
        error =
            QStringLiteral("a planner is working on %1%2; %3. Nothing was %4.")
                .arg(QDir::toNativeSeparators(yearsDir),
                     lock.holderPid() > 0 ? QStringLiteral(" (process %1)").arg(lock.holderPid()) : QString(),
                     syncing ? QStringLiteral("use its File > Sync Now, or close it first")
                             : QStringLiteral("close it first"),
                     nothing);
        return false;
    case DataFolderLock::Status::Failed:
    case DataFolderLock::Status::Unlocked:
        break;
    }
    error = QStringLiteral("%1 Nothing was %2.").arg(lock.message(), nothing);
    return false;
}
