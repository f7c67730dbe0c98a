#pragma once

#include "DisplaySettings.h"
#include "ForeverRedDays.h"
#include "StoreResult.h"
#include "YearData.h"

#include <QByteArray>
#include <QDir>
#include <QString>

// The data folder YEARS in the working directory captured at start-up, and the three kinds of file in it:
// one per year, the display defaults and the every-year red days. Each file operation takes a flag, true
// to load and false to save, and returns what became of it; nothing here shows messages.
//
// Saves are atomic: a failed or interrupted save leaves the previous file whole. A damaged file is loaded
// as far as it is readable and its bytes are kept beside it (2011.year.damaged) before anything can
// overwrite it.
class DataStore
{
public:
    DataStore() = default;

    // Captures `workDir` as the folder that holds YEARS and creates YEARS when it is missing. A folder that
    // cannot be created is reported; the directory is captured all the same and later saves report
    // their own failures.
    StoreResult CaptureWorkDir(const QString& workDir = QDir::currentPath());

    const QString& workDir() const { return m_strWorkDir; }
    QString yearsDir() const;
    // <workDir>/YEARS/<baseName>.year
    QString filePath(const QString& baseName) const;
    // The year in decimal without leading zeros: 999.year.
    QString yearPath(int year) const;
    QString defaultsPath() const;
    QString foreverRedDaysPath() const;

    // Load (true): reads the file of year.year() into `year`, replacing all its lists. A missing or empty
    // file gives `defaults` and no records. m_settings.m_stSelected keeps the value the caller set, so the
    // year stays the one asked for. Save (false): writes `year` whole, link slots stored as zero.
    StoreResult LoadSaveYear(bool load, YearData& year, const DisplaySettings& defaults) const;

    // Load (true): the defaults from YearDefaults.year; a missing file gives the built-in defaults
    // quietly, an unreadable or damaged one gives them with a report. Save (false): writes one record.
    StoreResult LoadSaveDefaults(bool load, DisplaySettings& defaults) const;

    // Load (true): reads ForeverRedDays.year into `everyYear` and merges it into `year` (see
    // ForeverRedDays::mergeInto). Save (false): rebuilds `everyYear` from the red days of `year` flagged
    // every-year and the entries the last merge could not place, and writes it.
    StoreResult LoadSaveForeverRedDays(bool load, YearData& year, ForeverRedDays& everyYear) const;

    // The operations above under names that say what they do.
    static constexpr bool kLoad = true;
    static constexpr bool kSave = false;
    StoreResult loadYear(YearData& year, const DisplaySettings& defaults) const;
    StoreResult saveYear(const YearData& year) const;
    StoreResult loadDefaults(DisplaySettings& defaults) const;
    StoreResult saveDefaults(const DisplaySettings& defaults) const;
    // Reads ForeverRedDays.year into `everyYear` alone, merging it into no year; a missing file is no entries.
    StoreResult loadForeverRedDays(ForeverRedDays& everyYear) const;
    // Writes the two lists of `everyYear` exactly as they stand.
    StoreResult saveForeverRedDays(const ForeverRedDays& everyYear) const;

    // The byte formats in memory, shared by the file operations, the tests and the fuzzer. The decoders
    // throw ArchiveError at damage after leaving the readable part in place.
    static QByteArray encodeYear(const YearData& year);
    // Resets `year` and fills it from `bytes`; empty bytes, or settings that cannot be read whole, give
    // `defaults` as the settings.
    static void decodeYear(const QByteArray& bytes, YearData& year, const DisplaySettings& defaults);
    static QByteArray encodeDefaults(const DisplaySettings& defaults);
    // The first record of the settings list; throws when there is none to read whole.
    static DisplaySettings decodeDefaults(const QByteArray& bytes);
    static QByteArray encodeForeverRedDays(const ForeverRedDays& everyYear);
    // Clears `everyYear` and fills its two lists from `bytes` (empty bytes: no entries).
    static void decodeForeverRedDays(const QByteArray& bytes, ForeverRedDays& everyYear);

    // Replaces the file at `path` with `bytes` so that it is either the previous file or the new one,
    // whole and durable (the file and its folder are synced), never a part.
    static StoreResult writeFileAtomically(const QString& path, const QByteArray& bytes);

private:
    QString m_strWorkDir;
};
