#pragma once

#include "DisplaySettings.h"

#include <QByteArray>

class ArchiveReader;
class ArchiveWriter;

// The bytes of YearDefaults.year in memory, without any file operation. The file is one settings list: a
// count of at least 1, then that many 1540-byte records, of which the first counts. A year file starts
// with the same item, so the year codec reads and writes it through here too.
class DefaultsFileCodec
{
public:
    static QByteArray encode(const DisplaySettings& defaults);
    // The first record; throws ArchiveError when there is none to read whole. Records announced beyond
    // the first need not be present.
    static DisplaySettings decode(const QByteArray& bytes);

    // One record, its link slots stored as zero.
    static void writeSettingsList(ArchiveWriter& out, const DisplaySettings& settings);
    // Reads the count and the first record into `settings` (untouched when that record is not whole) and
    // returns the count; the reader is left after the first record.
    static quint32 readFirstSettings(ArchiveReader& in, DisplaySettings& settings);
};
