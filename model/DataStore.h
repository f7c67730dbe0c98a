#pragma once

#include "DefaultsFileCodec.h"
#include "DisplaySettings.h"
#include "ForeverRedDays.h"
#include "ForeverRedDaysFileCodec.h"
#include "StoreResult.h"
#include "YearData.h"
#include "YearFileCodec.h"

#include <QByteArray>
#include <QDir>
#include <QString>

// The data folder YEARS in the working directory captured at start-up, and the three kinds of file in it:
// one per year, the display defaults and the every-year red days. The byte formats are the codecs'
// (YearFileCodec, DefaultsFileCodec, ForeverRedDaysFileCodec); this class keeps the paths, reads and writes
// the files, and decides what happens to a damaged one. Every operation returns what became of it; nothing
// here shows messages.
//
// Saves are atomic and durable: a failed or interrupted save leaves the previous file whole, and a save
// reported as done has reached the disk (the file is synced before it replaces the old one, then the
// folder where the rename happened). A damaged file is loaded as far as it is readable and its bytes are
// kept beside it (2011.year.damaged) before anything can overwrite it.
//
// What a load may cost is bounded: a file above kMaxFileSize is not read, and the codecs treat counts no
// real file holds as damage, so a load peaks at a small multiple of the file's size. A file too large to
// read, or one that meets an allocation failure, is moved aside whole under the damaged name instead of
// copied: that costs neither memory nor disk space, and keeps a sparse file sparse. A damaged copy is
// therefore never larger than kMaxFileSize.
class DataStore
{
public:
    // The flag of the LoadSave operations.
    static constexpr bool kLoad = true;
    static constexpr bool kSave = false;

    // No data file comes near this: a year with 100 projects and a 100-character text in every day's three
    // texts is 170 KB. A save that would write more fails rather than leave a file no load would read.
    static constexpr qint64 kMaxFileSize = qint64(16) << 20;

    // A temporary <data file>.XXXXXX left by an interrupted save is removed when the folder is captured,
    // once it is at least this old and no save holds its lock (see CaptureWorkDir).
    static constexpr int kStaleTemporaryAgeSeconds = 60;

    DataStore() = default;

    // Captures `workDir` as the folder that holds YEARS and creates YEARS when it is missing. A folder that
    // cannot be created is reported; the directory is captured all the same and later saves report
    // their own failures.
    //
    // Then removes the temporaries that interrupted saves left in YEARS: names of a data file or of its
    // damaged copy followed by a dot and six letters, as QSaveFile makes them. Every save holds an
    // exclusive flock on its temporary until the rename, so one that is locked belongs to a save still
    // running in some process and stays; so does one younger than kStaleTemporaryAgeSeconds, which covers
    // the moment between a save creating its temporary and locking it.
    StoreResult CaptureWorkDir(const QString& workDir = QDir::currentPath());

    const QString& workDir() const { return m_strWorkDir; }
    QString yearsDir() const;
    // <workDir>/YEARS/<baseName>.year
    QString filePath(const QString& baseName) const;
    // The year in decimal without leading zeros: 999.year.
    QString yearPath(int year) const;
    QString defaultsPath() const;
    QString foreverRedDaysPath() const;

    // kLoad: reads the file of year.year() into `year`, replacing all its lists. A missing or empty file
    // gives `defaults` and no records. m_settings.m_stSelected keeps the value the caller set, so the year
    // stays the one asked for, also after damage. kSave: writes `year` whole, link slots stored as zero.
    StoreResult LoadSaveYear(bool load, YearData& year, const DisplaySettings& defaults) const;

    // kLoad: the defaults from YearDefaults.year; a missing file gives the built-in defaults quietly, an
    // unreadable or damaged one gives them with a report. kSave: writes one record.
    StoreResult LoadSaveDefaults(bool load, DisplaySettings& defaults) const;

    // kLoad: reads ForeverRedDays.year into `everyYear` and merges it into `year` (see
    // ForeverRedDays::mergeInto). kSave: rebuilds `everyYear` from the red days of `year` flagged
    // every-year and the entries the last merge could not place, and writes it.
    StoreResult LoadSaveForeverRedDays(bool load, YearData& year, ForeverRedDays& everyYear) const;

    StoreResult loadYear(YearData& year, const DisplaySettings& defaults) const; // LoadSaveYear(kLoad, ...)
    StoreResult saveYear(const YearData& year) const;                            // LoadSaveYear(kSave, ...)
    StoreResult loadDefaults(DisplaySettings& defaults) const;
    StoreResult saveDefaults(const DisplaySettings& defaults) const;
    // Reads ForeverRedDays.year into `everyYear` alone, merging it into no year; a missing file is no
    // entries. Entries no year can use (ForeverRedDaysFileCodec::damagedEntries) make the file damaged.
    StoreResult loadForeverRedDays(ForeverRedDays& everyYear) const;
    // Writes the two lists of `everyYear` exactly as they stand.
    StoreResult saveForeverRedDays(const ForeverRedDays& everyYear) const;

    // Read-only loads of any file, for tools that look at a folder without changing it: nothing is
    // created, copied, moved or written, and no YEARS folder is needed. They fill their argument exactly as
    // the loads above do (the year keeps the m_stSelected the caller set) and report the same status,
    // path and reason (a damaged file's byte offset and cause); keptAs stays empty.
    static StoreResult inspectYearFile(const QString& path, YearData& year, const DisplaySettings& defaults);
    static StoreResult inspectDefaultsFile(const QString& path, DisplaySettings& defaults);
    static StoreResult inspectForeverRedDaysFile(const QString& path, ForeverRedDays& everyYear);

    // The codecs under their earlier names, for callers written before the codecs stood apart.
    static QByteArray encodeYear(const YearData& year) { return YearFileCodec::encode(year); }
    static void decodeYear(const QByteArray& bytes, YearData& year, const DisplaySettings& defaults)
    {
        YearFileCodec::decode(bytes, year, defaults);
    }
    static QByteArray encodeDefaults(const DisplaySettings& defaults)
    {
        return DefaultsFileCodec::encode(defaults);
    }
    static DisplaySettings decodeDefaults(const QByteArray& bytes)
    {
        return DefaultsFileCodec::decode(bytes);
    }
    static QByteArray encodeForeverRedDays(const ForeverRedDays& everyYear)
    {
        return ForeverRedDaysFileCodec::encode(everyYear);
    }
    static void decodeForeverRedDays(const QByteArray& bytes, ForeverRedDays& everyYear)
    {
        ForeverRedDaysFileCodec::decode(bytes, everyYear);
    }

    // Replaces the file at `path` with `bytes` so that it is either the previous file or the new one,
    // whole and durable, never a part. A symlink is written through, as QSaveFile does: the new file
    // replaces the link's target, and the target's folder is the one synced.
    static StoreResult writeFileAtomically(const QString& path, const QByteArray& bytes);

    // The call that makes a file's or a folder's data durable, fsync by default. Tests put in one that
    // fails, to see a failed sync reported; returns the previous one.
    using SyncFunction = int (*)(int fd);
    static SyncFunction setSyncFunction(SyncFunction sync);

private:
    QString m_strWorkDir;
};
