#pragma once

#include <QString>

// What became of one load, save or folder operation, for the user interface to show. A load always leaves
// usable data behind (the defaults, or the readable part of a damaged file); a failed save leaves the
// previous file whole.
struct StoreResult
{
    enum class Status {
        Ok,
        Damaged,      // the file is damaged or cannot be loaded: its readable part (or the defaults) is
                      // used, and its bytes are kept (copied, or the file moved aside whole)
        ReadFailed,   // the file exists but cannot be read: the defaults are used
        WriteFailed,  // the file on disk was not replaced
        FolderFailed, // the data folder YEARS could not be created
    };

    Status status = Status::Ok;
    QString path;    // the file or folder concerned
    QString reason;  // why, in a few words ("at byte 1544: ...", "No space left on device")
    QString keptAs;  // where the bytes of a damaged file were kept; empty when nothing was kept
    QString message; // one or two sentences for the user, naming the path and the reason
    // A load left the file's bytes unread and kept nowhere else (it could not be read, or its copy could
    // not be made): what was loaded instead must not replace it. See DataStore::moveUnreadFileAside.
    bool leftUnread = false;

    bool ok() const { return status == Status::Ok; }
};
