#pragma once

#include "DefaultsFileCodec.h"
#include "DisplaySettings.h"
#include "ForeverRedDays.h"
#include "ForeverRedDaysFileCodec.h"
#include "StoreResult.h"
#include "YearData.h"
#include "YearFileCodec.h"

#include <QDir>
#include <QString>

// The data folder YEARS in the working directory captured at start-up, and the three kinds of file in it:
// one per year, the display defaults and the every-year red days. The byte formats are the codecs'
// (YearFileCodec, DefaultsFileCodec, ForeverRedDaysFileCodec) and the file handling DurableFile's; this
// class keeps the paths, loads and saves our files, and decides what happens to a damaged one. Every
// operation returns what became of it; nothing here shows messages.
//
// Saves are atomic and durable (DurableFile::write). A damaged file is loaded as far as it is readable and
// its bytes are kept beside it (2011.year.damaged) before anything can overwrite it.
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

    DataStore() = default;

    // Captures `workDir` as the folder that holds YEARS and creates YEARS when it is missing. A folder that
    // cannot be created is reported; the directory is captured all the same and later saves report
    // their own failures.
    //
    // Then removes the temporaries that interrupted saves left in YEARS (DurableFile's own names, never a
    // user's file). One that a save holds locked stays, and so does one younger than
    // DurableFile::kStaleTemporaryAgeSeconds, which covers the moment before a save locks its temporary.
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
    // gives `defaults` and no records; but a missing file whose bytes sit in a damaged copy beside it
    // (a save that could neither write it nor move it back) is shown from that copy, reported as damage.
    // m_settings.m_stSelected keeps the value the caller set, so the year stays the one asked for, also after
    // damage. kSave: writes `year` whole, link slots stored as zero.
    StoreResult LoadSaveYear(bool load, YearData& year, const DisplaySettings& defaults) const;

    // kLoad: the defaults from YearDefaults.year; a missing file gives the built-in defaults quietly, an
    // unreadable or damaged one gives them with a report. kSave: writes one record.
    StoreResult LoadSaveDefaults(bool load, DisplaySettings& defaults) const;

    // kLoad: reads ForeverRedDays.year into `everyYear` and merges it into `year` (see
    // ForeverRedDays::mergeInto). kSave: rebuilds `everyYear` from the red days of `year` flagged
    // every-year and the entries the last merge could not place, and writes it.
    StoreResult LoadSaveForeverRedDays(bool load, YearData& year, ForeverRedDays& everyYear) const;

    // The program's own callers use these: one direction each, a save takes a const year, and the
    // every-year file is read and written alone, without a year to merge into (YearRegistry keeps the
    // list for all open years).
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

    // Makes way for a save over a file that a load left unread (StoreResult::leftUnread): renames it to a
    // free damaged name, so that its bytes survive whatever is saved. A file that is gone is no obstacle;
    // one that is not a regular file, or cannot be moved, fails and must not be saved over.
    static StoreResult moveUnreadFileAside(const QString& path);
    // After `failed`, a save that followed moveUnreadFileAside: moves the file back from `keptAs` so that
    // it stays as it was (true), or, when that fails, makes the report name where its bytes are (false).
    static bool moveBackAfterFailedSave(const QString& keptAs, StoreResult& failed);

    // <workDir>/YEARS/ForeverRedDays.removed: which every-year red days were removed (EveryYearRemovals).
    QString everyYearRemovalsPath() const;

private:
    QString m_strWorkDir;
};
