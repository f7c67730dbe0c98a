#pragma once

#include "StoreResult.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// Whole files on a disk that may fail at any moment: read whole within a size limit, replaced atomically
// and durably, and kept aside when damaged. Knows nothing of what the files hold.
//
// A replacement writes a temporary beside the file, syncs it, renames it over the file and syncs the
// folder, so the file is either the previous one or the new one, whole. Temporaries are named
// .<file name>.tolva-save-<16 hex digits>, a name no user picks, so that the clean-up of interrupted saves
// can never take a file of the user's; each is flocked by its save until the rename.
class DurableFile
{
public:
    enum class Read { Missing, Failed, TooLarge, Done };

    // A temporary at least this old and not locked is left from an interrupted save.
    static constexpr int kStaleTemporaryAgeSeconds = 60;
    // A save that finds more than this many unlocked temporaries of its own file removes them: a crash
    // loop must not fill the disk before the next start-up's clean-up. Only those older than
    // kOwnTemporaryAgeSeconds, which covers the moment between a save's create and its lock.
    static constexpr int kFewTemporaries = 3;
    static constexpr int kOwnTemporaryAgeSeconds = 5;

    // Reads the regular file at `path` whole into `bytes`. Missing: no such file. TooLarge: above
    // `maxSize` (nothing read). Failed: `reason` says why (a folder, a FIFO or a device is no data file).
    static Read read(const QString& path, qint64 maxSize, QByteArray& bytes, QString& reason);

    // Replaces the file at `path` with `bytes`. A symlink is written through: its final target is
    // replaced and the target's folder synced. A target that exists and is not a regular file (a device,
    // a FIFO, a folder) is left alone and the write fails. A new file gets 0666 less the umask; a replaced
    // one keeps its mode and, where permitted, its owner. A `mode` of 0 or more is set on the temporary
    // before the rename instead, so the new content is never readable beyond it, even for a moment.
    static StoreResult write(const QString& path, const QByteArray& bytes, int mode = -1);

    // Keeps `bytes` (a damaged file's) under a free sibling name <path>.damaged, .damaged-2, ..., or under
    // the name of an identical earlier copy. Returns the name, or an empty string with `reason` set.
    static QString keepCopy(const QString& path, const QByteArray& bytes, QString& reason);
    // Renames the file at `path` (a symlink itself, not its target) to a free damaged name, never replacing
    // one: costs no memory or disk space, and works for a file that cannot be read. Returns the name, or
    // an empty string with `reason` set.
    static QString moveAside(const QString& path, QString& reason);
    // Renames a file moved aside back to `path`, never replacing a file there. False with `reason` set.
    static bool moveBack(const QString& keptAs, const QString& path, QString& reason);

    // A fresh temporary name for `path`, as write() uses.
    static QString temporaryPathFor(const QString& path);
    static bool isTemporaryName(const QString& fileName);
    // Removes temporaries that interrupted saves left in `dir`: old enough and locked by no save.
    static void removeStaleTemporaries(const QString& dir);
    // Removes the unlocked temporaries of `path` older than kOwnTemporaryAgeSeconds when there are more
    // than kFewTemporaries of them; returns how many went.
    static int removeOwnStaleTemporaries(const QString& path);

    static bool syncFolder(const QString& dir, QString& reason);
    static QString errnoText(int error);
    static bool writeAll(int fd, const QByteArray& bytes, QString& reason);

    // The call that makes data durable, fsync by default; tests put in one that fails. Returns the
    // previous one; null restores fsync.
    using SyncFunction = int (*)(int fd);
    static SyncFunction setSyncFunction(SyncFunction sync);
    // The call that reads a data file's bytes, read(2) by default; tests put in one that fails.
    using ReadFunction = ssize_t (*)(int fd, void* buffer, size_t count);
    static ReadFunction setReadFunction(ReadFunction read);
};
